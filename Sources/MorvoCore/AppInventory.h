#pragma once
// The application inventory: installed application bundles under a list of application folders,
// the data each bundle identifier keeps in the user's Library folder, and the possible leftovers of
// identifiers that no installed application owns. File-system problems become warnings (and an
// incomplete result); only cancellation throws.

#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Url.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace morvo {

// The order is significant: related items of one application are listed kind by kind in it.
enum class AppRelatedKind : unsigned char {
    caches, preferences, applicationSupport, containers, logs, savedState, webKit, httpStorage
};

inline constexpr std::array<AppRelatedKind, 8> allAppRelatedKinds = {
    AppRelatedKind::caches,     AppRelatedKind::preferences, AppRelatedKind::applicationSupport,
    AppRelatedKind::containers, AppRelatedKind::logs,        AppRelatedKind::savedState,
    AppRelatedKind::webKit,     AppRelatedKind::httpStorage};

std::string_view rawValue(AppRelatedKind kind);
// The case whose raw value equals `raw` exactly; nullopt otherwise.
std::optional<AppRelatedKind> appRelatedKindFromRawValue(std::string_view raw);
std::string_view title(AppRelatedKind kind);
std::string_view caution(AppRelatedKind kind);
// The folder under the user Library where items of the kind live ("Saved Application State", ...).
std::string_view libraryFolder(AppRelatedKind kind);

struct AppRelatedFile {
    Url url;
    AppRelatedKind kind = AppRelatedKind::caches;
    std::string title;
    std::string reason;
    std::string caution;
    std::string ownerBundleIdentifier;  // exactly as spelled in the item's name

    AppRelatedFile() = default;
    // An absent title or caution takes the kind's.
    AppRelatedFile(Url url, AppRelatedKind kind, std::optional<std::string> title, std::string reason,
                   std::optional<std::string> caution, std::string ownerBundleIdentifier);

    const std::string& id() const { return url.path; }
    friend bool operator==(const AppRelatedFile&, const AppRelatedFile&) = default;
};

struct InstalledApp {
    std::string name;
    std::string bundleIdentifier;  // as written in Info.plist
    Url bundleURL;                 // the ".app" folder
    std::vector<AppRelatedFile> relatedFiles;

    const std::string& id() const { return bundleURL.path; }
    friend bool operator==(const InstalledApp&, const InstalledApp&) = default;
};

struct LeftoverGroup {
    std::string bundleIdentifier;  // case kept: identifiers differing in case are two groups
    std::string title;
    std::vector<AppRelatedFile> files;  // kind by kind
    std::string caution;

    const std::string& id() const { return bundleIdentifier; }
    friend bool operator==(const LeftoverGroup&, const LeftoverGroup&) = default;
};

struct AppInventoryResult {
    std::vector<InstalledApp> apps;        // by name, then bundle path
    std::vector<LeftoverGroup> leftovers;  // by identifier; empty unless complete
    std::vector<std::string> warnings;     // at most 100, plus one summary line when incomplete
    bool isComplete = true;                // no warning at all was raised
};

namespace AppInventoryScanner {

// What the scan reads the file system through. Tests replace members to inject faults; an empty
// member means the real thing.
struct Environment {
    // lstat of `path`: 0 and `out` filled, or an errno value.
    std::function<int(const std::string& path, FileMetadata& out)> lstat;
};

// "/Applications", then <home>/Applications unless its lstat fails with ENOENT.
std::vector<Url> defaultRoots(const Url& home);
std::vector<Url> defaultRoots();  // for the current user's home folder
// <home>/Library as a directory URL.
Url defaultUserLibrary(const Url& home);
Url defaultUserLibrary();  // for the current user's home folder

// Scans on the calling thread. Throws only CancellationError.
AppInventoryResult scan(const std::vector<Url>& applicationRoots, const Url& userLibrary,
                        std::stop_token stop = {}, const Environment& environment = {});

} // namespace AppInventoryScanner

} // namespace morvo
