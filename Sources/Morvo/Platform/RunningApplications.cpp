#include "Morvo/Platform/RunningApplications.h"

#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/PropertyList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

namespace morvo {
namespace {

// Info.plist files of 2,000,000 bytes and more are not read, as elsewhere for bundle lookups.
constexpr std::int64_t maxInfoPlistBytes = 1999999;
constexpr auto defaultPollInterval = std::chrono::milliseconds(1500);

bool allDigits(const char* name) {
    if (!*name) return false;
    for (const char* p = name; *p; ++p)
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    return true;
}

std::optional<std::string> readLink(const std::string& path) {
    std::string buffer(4096, '\0');
    for (;;) {
        ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return std::nullopt;
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        if (buffer.size() >= (1u << 20)) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

ProcRunningApplications::ProcRunningApplications(QObject* parent)
    : ProcRunningApplications("/proc", ::getuid(), defaultPollInterval, parent) {}

ProcRunningApplications::ProcRunningApplications(std::string procRoot, unsigned uid,
                                                 std::chrono::milliseconds pollInterval, QObject* parent)
    : RunningApplications(parent), procRoot_(std::move(procRoot)), uid_(uid), timer_(this) {
    lastSeen_ = bundlePaths();
    timer_.setInterval(pollInterval);
    connect(&timer_, &QTimer::timeout, this, &ProcRunningApplications::poll);
    timer_.start();
}

std::optional<std::string> ProcRunningApplications::bundlePath(const std::string& executablePath) {
    static constexpr std::string_view marker = "/Contents/MacOS/";
    std::string_view exe = executablePath;
    // A replaced or moved-away executable reads as "<path> (deleted)"; the process still runs
    // from its bundle's old place.
    static constexpr std::string_view deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.substr(exe.size() - deleted.size()) == deleted)
        exe.remove_suffix(deleted.size());
    // The innermost bundle counts: helpers nested inside another bundle are their own application.
    std::size_t at = exe.rfind(marker);
    while (at != std::string_view::npos) {
        std::string_view bundle = exe.substr(0, at);
        bool hasExecutable = exe.size() > at + marker.size();
        if (hasExecutable && bundle.size() > 4 && equalsIgnoringASCIICase(bundle.substr(bundle.size() - 4), ".app") &&
            bundle.front() == '/' && path::lastComponent(bundle).size() > 4)
            return path::normalize(bundle);
        if (at == 0) break;
        at = exe.rfind(marker, at - 1);
    }
    return std::nullopt;
}

std::set<std::string> ProcRunningApplications::bundlePaths() const {
    std::set<std::string> bundles;
    DIR* dir = ::opendir(procRoot_.c_str());
    if (!dir) return bundles;
    while (dirent* entry = ::readdir(dir)) {
        if (!allDigits(entry->d_name)) continue;
        const std::string processPath = procRoot_ + "/" + entry->d_name;
        struct stat info {};
        if (::stat(processPath.c_str(), &info) != 0 || info.st_uid != uid_) continue;
        auto exe = readLink(processPath + "/exe");
        if (!exe) continue;
        if (auto bundle = bundlePath(*exe)) bundles.insert(*bundle);
    }
    ::closedir(dir);
    return bundles;
}

std::vector<RunningApplication> ProcRunningApplications::runningApplications() const {
    std::vector<RunningApplication> result;
    auto bundles = bundlePaths();
    // Forget identifiers of bundles that no longer run, so a relaunched (perhaps updated) bundle
    // is read again.
    for (auto it = identifiers_.begin(); it != identifiers_.end();)
        it = bundles.count(it->first) ? std::next(it) : identifiers_.erase(it);
    for (const auto& bundle : bundles) {
        auto found = identifiers_.find(bundle);
        if (found == identifiers_.end()) {
            std::optional<std::string> identifier;
            try {
                auto plist = readPropertyListStrings(bundle + "/Contents/Info.plist", maxInfoPlistBytes);
                identifier = plist.string("CFBundleIdentifier");
                if (identifier && identifier->empty()) identifier.reset();
            } catch (const std::exception&) {
                // An unreadable Info.plist leaves the application without an identifier; its
                // bundle still counts as running.
            }
            found = identifiers_.emplace(bundle, identifier).first;
        }
        result.push_back(RunningApplication{found->second, Url::file(bundle, true)});
    }
    return result;
}

void ProcRunningApplications::poll() {
    auto now = bundlePaths();
    if (now == lastSeen_) return;
    lastSeen_ = std::move(now);
    emit applicationsChanged();
}

bool ownerIsRunning(const std::set<std::string>& runningIdentifiers, const std::optional<std::string>& owner) {
    if (!owner) return false;
    for (const auto& identifier : runningIdentifiers) {
        if (identifier == *owner) return true;
        if (identifier.size() > owner->size() && identifier.compare(0, owner->size(), *owner) == 0 &&
            identifier[owner->size()] == '.')
            return true;
    }
    return false;
}

} // namespace morvo
