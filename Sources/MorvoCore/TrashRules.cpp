#include "MorvoCore/TrashRules.h"

#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"
#include "MorvoCore/Platform/TrashMover.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <string>

namespace morvo::trash {

namespace {

constexpr const char* kSystemMessage = "System locations and shared application roots are protected.";
constexpr const char* kManagedMessage = "Trash and macOS-managed storage cannot be selected for cleanup.";
constexpr const char* kHomeMessage = "Your home folder and essential application-data locations are protected.";
constexpr const char* kIdentityMessage = "This application's identity could not be verified.";

// "/home" stands beside "/Users": the Linux place of the users' folders.
constexpr std::array<std::string_view, 9> kExactProtectedPaths = {
    "/", "/Applications", "/Applications/Utilities", "/Users", "/Volumes", "/private", "/private/tmp", "/tmp",
    "/home"};

// The second half holds the Linux system locations.
constexpr std::array<std::string_view, 22> kProtectedSystemRoots = {
    "/System", "/bin", "/sbin", "/usr",  "/etc",  "/private/etc", "/private/var", "/dev",
    "/cores",  "/Library", "/Network",
    "/root",   "/boot", "/proc", "/sys", "/run", "/var", "/opt", "/srv", "/snap", "/media", "/mnt"};

// "lost+found" is the file system's own, like the macOS volume folders.
constexpr std::array<std::string_view, 6> kManagedStorageNames = {
    ".trash", ".trashes", ".documentrevisions-v100", ".spotlight-v100", ".fseventsd", "lost+found"};

constexpr std::array<std::string_view, 9> kEssentialLibraryFolders = {
    "Application Support", "Caches", "Developer", "Preferences", "Containers",
    "Logs",                "WebKit", "HTTPStorages", "Saved Application State"};

constexpr std::array<std::string_view, 5> kPrivateLibraryFolders = {"Group Containers", "Keychains", "Mail",
                                                                     "Messages", "Safari"};

constexpr std::array<std::string_view, 7> kApplicationDataFolders = {
    "Application Support", "Caches", "Preferences", "Logs", "WebKit", "HTTPStorages", "Saved Application State"};

[[noreturn]] void refuse(const char* message) { throw TrashFailure(message); }

bool equalIgnoringCase(std::string_view a, std::string_view b) { return text::caseInsensitiveCompare(a, b) == 0; }

bool isAppleIdentifier(std::string_view lowered) {
    return lowered == "com.apple" || lowered.starts_with("com.apple.");
}

// The components below "/" (Swift's pathComponents without its leading "/").
std::vector<std::string_view> components(std::string_view path) {
    std::vector<std::string_view> out;
    std::size_t position = 0;
    while (position < path.size()) {
        std::size_t end = path.find('/', position);
        if (end == std::string_view::npos) end = path.size();
        if (end > position) out.push_back(path.substr(position, end - position));
        position = end + 1;
    }
    return out;
}

// What follows `root` in `path`, for a path that protectedContains(root, path) admits: the
// components after as many as the root has. Lower-casing may change how many bytes a name takes
// (the Kelvin sign becomes "k"), never how many components a path has, so the path is cut where
// its own components say, not at the root's length.
std::string_view restBelow(std::string_view root, std::string_view path) {
    std::size_t position = 0;
    auto skipSlashes = [&] {
        while (position < path.size() && path[position] == '/') ++position;
    };
    for (std::size_t skip = components(root).size(); skip > 0; --skip) {
        skipSlashes();
        position = path.find('/', position);
        if (position == std::string_view::npos) return {};
    }
    skipSlashes();
    return path.substr(position);
}

// ".Trash-1000": a per-volume trash folder of one user.
bool isVolumeTrashName(std::string_view lowered) {
    if (!lowered.starts_with(".trash-") || lowered.size() == 7) return false;
    for (char c : lowered.substr(7))
        if (c < '0' || c > '9') return false;
    return true;
}

std::string library(const std::string& home, std::string_view name) {
    return home + "/Library/" + std::string(name);
}

void validateBundleIdentity(const std::string& bundlePath, const TrashFileSystem& fs) {
    const Url info = Url::file(bundlePath + "/Contents/Info.plist");
    validateAncestors(info, fs);
    const TrashMetadata m = metadata(info, fs);
    constexpr std::int64_t kLimit = 2000000;
    if (m.type() != S_IFREG || m.size >= kLimit) refuse(kIdentityMessage);
    const PropertyListStrings plist = fs.readPropertyList(info.path, kLimit - 1);
    auto identifier = plist.string("CFBundleIdentifier");
    if (!identifier || identifier->empty()) refuse(kIdentityMessage);
    if (isAppleIdentifier(text::lowercase(*identifier))) refuse("Apple applications are protected from cleanup.");
}

bool holdsIdentity(const std::vector<ProtectedPlaces::Identity>& identities, const TrashMetadata& m) {
    for (const auto& identity : identities)
        if (identity.device == m.device && identity.inode == m.inode) return true;
    return false;
}

void addUnique(std::vector<std::string>& list, std::string value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(std::move(value));
}

} // namespace

bool protectedContains(std::string_view root, std::string_view candidate) {
    const std::string r = text::lowercase(root);
    const std::string c = text::lowercase(candidate);
    if (r == c) return true;
    if (r == "/") return c.starts_with("/");
    return c.size() > r.size() && c.starts_with(r) && c[r.size()] == '/';
}

bool validIdentifier(std::string_view identifier) {
    if (identifier.empty() || identifier.size() > 255) return false;
    auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t pieces = 0;
    std::size_t position = 0;
    for (;;) {
        std::size_t end = identifier.find('.', position);
        std::string_view piece =
            identifier.substr(position, end == std::string_view::npos ? std::string_view::npos : end - position);
        ++pieces;
        if (piece.empty() || !isLetter(piece.front()) || piece.back() == '-') return false;
        for (char c : piece)
            if (!isLetter(c) && !isDigit(c) && c != '-') return false;
        if (end == std::string_view::npos) break;
        position = end + 1;
    }
    return pieces >= 2;
}

ProtectedPlaces ProtectedPlaces::gather(const TrashPolicy& policy, const TrashFileSystem& fs) {
    ProtectedPlaces places;
    places.home = path::normalize(policy.homeDirectory().path);
    auto identityOf = [&fs](const std::string& path) -> std::optional<Identity> {
        try {
            const TrashMetadata m = fs.metadata(path);
            if (m.type() == S_IFDIR) return Identity{m.device, m.inode};
        } catch (const PosixError&) {
        }
        return std::nullopt;
    };
    auto addIdentity = [](std::vector<Identity>& list, std::optional<Identity> identity) {
        if (identity && std::find(list.begin(), list.end(), *identity) == list.end()) list.push_back(*identity);
    };

    addUnique(places.homePaths, places.home);
    if (auto canonical = fs.realPath(places.home)) addUnique(places.homePaths, path::normalize(*canonical));
    for (const std::string& home : places.homePaths) addIdentity(places.homeIdentities, identityOf(home));

    // The Trash the mover uses, and the one under the policy's home folder.
    for (const std::string& trash : {homeTrashDirectory(), places.home + "/.local/share/Trash"}) {
        addUnique(places.trashPaths, trash);
        if (auto canonical = fs.realPath(trash)) addUnique(places.trashPaths, path::normalize(*canonical));
    }
    for (const std::string& trash : places.trashPaths)
        for (const std::string& folder : {trash, trash + "/files", trash + "/info"})
            addIdentity(places.trashIdentities, identityOf(folder));
    return places;
}

void validate(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
              const TrashFileSystem& fs) {
    validate(url, protectedURLs, policy, ProtectedPlaces::gather(policy, fs), fs);
}

namespace {

void validateItem(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
                  const ProtectedPlaces& places, FolderRecords* known, const TrashFileSystem& fs) {
    // 1. Local file.
    const bool localHost = url.host.empty() || url.host == "localhost";
    if (!url.isFileURL() || !localHost || !url.path.starts_with("/"))
        refuse("Only local files and folders can be moved to Trash.");
    const std::string path = path::normalize(url.path);
    const Url item = Url::file(path, url.isDirectory);
    const std::vector<std::string_view> parts = components(path);

    // 2. Relative components.
    for (auto part : parts)
        if (part == "." || part == "..")
            refuse("Choose the original item instead of a path containing relative components.");

    // 3-6. No link on the way, and a plain file or folder.
    std::vector<TrashMetadata> ancestors;
    validateAncestors(item, fs, &ancestors, known);
    // The walk's last record is the item's own lstat; only "/" has none.
    const TrashMetadata record = ancestors.empty() ? metadata(item, fs) : ancestors.back();
    if (record.type() == S_IFLNK)
        refuse("Symbolic links cannot be selected for cleanup. Choose and review the original item directly.");
    if (record.type() != S_IFREG && record.type() != S_IFDIR) refuse("This filesystem entry cannot be moved safely.");

    // 7-9. System locations and the users' folders.
    for (auto exact : kExactProtectedPaths)
        if (equalIgnoringCase(path, exact)) refuse(kSystemMessage);
    for (auto root : kProtectedSystemRoots)
        if (protectedContains(root, path)) refuse(kSystemMessage);
    if (!parts.empty() && text::lowercase(parts.front()).starts_with("lib")) refuse(kSystemMessage);  // /lib, /lib64, ...
    if (parts.size() == 2) {
        const std::string second = text::lowercase(parts.front());
        if (second == "users" || second == "home") refuse(kSystemMessage);
    }

    // 10. Trash and managed storage, the user's own Trash included.
    for (auto part : parts) {
        const std::string lowered = text::lowercase(part);
        for (auto name : kManagedStorageNames)
            if (lowered == name) refuse(kManagedMessage);
        if (isVolumeTrashName(lowered)) refuse(kManagedMessage);
    }
    // The user's Trash under every name: a path inside it, or the Trash, its files or its info
    // folder as the item or as a folder on the way to it.
    const std::string& home = places.home;
    for (const std::string& trash : places.trashPaths)
        if (protectedContains(trash, path)) refuse(kManagedMessage);
    if (holdsIdentity(places.trashIdentities, record)) refuse(kManagedMessage);
    for (const TrashMetadata& ancestor : ancestors)
        if (holdsIdentity(places.trashIdentities, ancestor)) refuse(kManagedMessage);

    // 11-12. The home folder and its essential Library folders.
    if (equalIgnoringCase(path, home) || equalIgnoringCase(path, home + "/Library") ||
        equalIgnoringCase(path, home + "/Applications"))
        refuse(kHomeMessage);
    for (auto name : kEssentialLibraryFolders)
        if (equalIgnoringCase(path, library(home, name))) refuse(kHomeMessage);
    // The home folder under any other name, and every folder that holds it.
    for (const std::string& homePath : places.homePaths)
        if (protectedContains(path, homePath)) refuse(kHomeMessage);
    if (record.type() == S_IFDIR && holdsIdentity(places.homeIdentities, record)) refuse(kHomeMessage);
    for (auto name : kPrivateLibraryFolders)
        if (protectedContains(library(home, name), path)) refuse(kHomeMessage);

    // 13. Only whole third-party containers.
    const std::string containersRoot = home + "/Library/Containers";
    if (protectedContains(containersRoot, path)) {
        const std::string_view rest = restBelow(containersRoot, path);
        if (!validIdentifier(rest) || isAppleIdentifier(text::lowercase(rest)))
            refuse("Only a complete, explicitly reviewed third-party application container can be selected.");
    }

    // 14. Apple's own application data.
    for (auto name : kApplicationDataFolders) {
        const std::string folder = library(home, name);
        if (!protectedContains(folder, path) || text::lowercase(path) == text::lowercase(folder)) continue;
        std::string_view first;
        for (auto part : components(restBelow(folder, path))) {
            first = part;
            break;
        }
        if (isAppleIdentifier(text::lowercase(first))) refuse("Apple application data is protected from cleanup.");
    }

    // 15. Running applications and whatever else the caller protects now.
    for (const Url& guarded : protectedURLs) {
        if (!guarded.isFileURL()) continue;
        const std::string guardedPath = path::normalize(guarded.path);
        if (protectedContains(path, guardedPath) || protectedContains(guardedPath, path))
            refuse("This item contains, or belongs to, a protected or running application.");
    }

    // 16. Permitted folders, when the policy names any (case-sensitive, nothing resolved).
    if (!policy.allowedRoots().empty()) {
        bool inside = false;
        for (const Url& root : policy.allowedRoots()) {
            if (!root.isFileURL()) continue;
            const std::string rootPath = path::normalize(root.path);
            if (rootPath != path && (rootPath == "/" || path.starts_with(rootPath + "/"))) {
                inside = true;
                break;
            }
        }
        if (!inside) refuse("This item is outside the permitted cleanup folders.");
    }

    // 17. A mounted volume's root: another device than its parent's, or a mount of the same
    // device (a bind mount), whatever it holds.
    if (path != "/") {
        bool mounted = fs.isMountRoot(path);
        if (!mounted && record.type() == S_IFDIR)
            mounted = metadata(item.deletingLastPathComponent(), fs).device != record.device;
        if (mounted) refuse("A mounted volume cannot be moved to Trash.");
    }

    // 18. Application bundles, whole and not Apple's.
    bool inDataFolder = protectedContains(containersRoot, path);
    for (auto name : kApplicationDataFolders)
        inDataFolder = inDataFolder || protectedContains(library(home, name), path);
    if (!inDataFolder) {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (!text::lowercase(parts[i]).ends_with(".app")) continue;
            if (i + 1 != parts.size())
                refuse("Select the complete application bundle instead of one of its internal files.");
            validateBundleIdentity(path, fs);
            return;
        }
    }

    // 19. Nothing else inside Applications.
    if (protectedContains("/Applications", path))
        refuse("Only complete third-party application bundles can be selected inside Applications.");
}

} // namespace

void validate(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
              const ProtectedPlaces& places, const TrashFileSystem& fs) {
    validateItem(url, protectedURLs, policy, places, nullptr, fs);
}

void validate(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
              const ProtectedPlaces& places, FolderRecords& known, const TrashFileSystem& fs) {
    validateItem(url, protectedURLs, policy, places, &known, fs);
}

} // namespace morvo::trash
