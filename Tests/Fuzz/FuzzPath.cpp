// Path normalisation and the component helpers over any bytes.
#include "FuzzSupport.h"
#include "MorvoCore/Platform/Path.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace morvo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // Two paths from one input: split at the first NUL.
    const auto cut = input.find('\0');
    const std::string a = input.substr(0, cut);
    const std::string b = cut == std::string::npos ? std::string() : input.substr(cut + 1);

    const std::string n = path::normalize(a);
    CHECK(path::normalize(n) == n);
    CHECK(n.find("//") == std::string::npos);
    CHECK(n.size() <= 1 || n.back() != '/');
    CHECK(n.empty() == a.empty());

    const std::string abs = path::absolute(a);  // the fuzzer runs in an existing folder
    CHECK(!abs.empty() && abs.front() == '/');
    CHECK(path::normalize(abs) == abs);

    const std::string_view last = path::lastComponent(n);
    const std::string_view parent = path::parent(n);
    CHECK(last.size() <= n.size());
    if (n != "/" && !parent.empty()) {
        CHECK(path::join(parent, last) == n);
        CHECK(path::isBelow(n, parent));
    }
    const std::string_view ext = path::extension(n);
    CHECK(ext.size() < last.size() || ext.empty());
    CHECK(ext.find('/') == std::string_view::npos);

    CHECK(path::isWithin(n, n));
    CHECK(!path::isBelow(n, n));
    const std::string nb = path::normalize(b);
    if (!nb.empty() && nb != "/" && nb.find('\0') == std::string::npos) {
        const std::string joined = path::normalize(path::join(n, nb));
        if (!n.empty() && n.front() == '/' && nb.front() != '/') CHECK(path::isBelow(joined, n));
    }
    if (path::isBelow(n, nb)) CHECK(path::isWithin(n, nb) && n.size() > nb.size());
    return 0;
}
