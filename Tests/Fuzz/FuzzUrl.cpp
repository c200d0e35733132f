// URL parsing and the file URL's spelling over any bytes.
#include "FuzzSupport.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Url.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace morvo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    const Url parsed = Url::parse(input);
    (void)parsed.absoluteString();
    (void)parsed.lastPathComponent();
    (void)parsed.pathExtension();
    (void)parsed.deletingLastPathComponent();
    if (parsed.isFileURL()) CHECK(path::normalize(parsed.path) == parsed.path);

    // A file URL spells its path so that parsing the spelling gives the same path back.
    const Url file = Url::file(input);
    CHECK(!file.path.empty() && file.path.front() == '/');
    CHECK(path::normalize(file.path) == file.path);
    const std::string spelled = file.absoluteString();
    CHECK(spelled.rfind("file://", 0) == 0);
    const Url again = Url::parse(spelled);
    CHECK(again.isFileURL());
    CHECK(again.path == file.path);
    CHECK(again == file);

    const Url child = file.appending(input);
    CHECK(path::normalize(child.path) == child.path);
    const Url up = file.deletingLastPathComponent();
    CHECK(up.path.size() <= file.path.size());
    return 0;
}
