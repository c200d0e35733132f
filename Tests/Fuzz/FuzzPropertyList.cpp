// Any bytes: a value or PropertyListError, nothing else; what comes back is valid UTF-8.
#include "FuzzSupport.h"
#include "MorvoCore/Platform/PropertyList.h"
#include "MorvoCore/Platform/PropertyListError.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const morvo::PropertyListStrings read = morvo::parsePropertyListStrings(bytes);
        for (const auto& [key, value] : read.values)
            if (!validUtf8(key) || !validUtf8(value)) std::abort();
        // The same bytes give the same answer.
        if (morvo::parsePropertyListStrings(bytes).values != read.values) std::abort();
    } catch (const morvo::PropertyListError&) {
    }
    return 0;
}
