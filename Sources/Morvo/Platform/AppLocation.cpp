#include "Morvo/Platform/AppLocation.h"

#include "MorvoCore/Platform/FileSystemQueries.h"
#include "MorvoCore/Platform/Path.h"

#include <cstdlib>
#include <limits.h>
#include <unistd.h>

#include <string_view>
#include <vector>

namespace morvo {

namespace {

std::string executablePath() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

class ProcessAppLocation : public AppLocation {
public:
    ProcessAppLocation() : bundle_(bundleURLForExecutable(executablePath())) {}
    Url bundleURL() const override { return bundle_; }
#ifdef MORVO_VERSION
    std::optional<std::string> shortVersion() const override { return std::string(MORVO_VERSION); }
#else
    std::optional<std::string> shortVersion() const override { return std::nullopt; }
#endif
#ifdef MORVO_BUILD
    std::optional<std::string> buildVersion() const override { return std::string(MORVO_BUILD); }
#else
    std::optional<std::string> buildVersion() const override { return std::nullopt; }
#endif

private:
    Url bundle_;
};

} // namespace

Url bundleURLForExecutable(const std::string& executable) {
    const std::string normalized = path::normalize(executable);
    const std::string_view macOS = path::parent(normalized);
    const std::string_view contents = path::parent(macOS);
    const std::string_view bundle = path::parent(contents);
    if (path::lastComponent(macOS) == "MacOS" && path::lastComponent(contents) == "Contents" &&
        path::extension(bundle) == "app" && bundle != "/")
        return Url::file(bundle, true);
    return Url::file(normalized, false);
}

std::string userHomeDirectory() { return currentUserHomeDirectory(); }

std::shared_ptr<AppLocation> makeProcessAppLocation() { return std::make_shared<ProcessAppLocation>(); }

} // namespace morvo
