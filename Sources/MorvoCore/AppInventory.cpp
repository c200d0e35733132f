#include "MorvoCore/AppInventory.h"

#include "MorvoCore/Platform/DirectoryEnumerator.h"
#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/FileSystemQueries.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/PropertyList.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <unordered_set>

namespace morvo {

namespace {

constexpr std::array<std::string_view, 8> kindRawValues = {"caches", "preferences", "applicationSupport",
                                                           "containers", "logs", "savedState",
                                                           "webKit", "httpStorage"};
constexpr std::array<std::string_view, 8> kindTitles = {"Caches", "Preferences", "Application Support",
                                                        "App container", "Logs", "Saved application state",
                                                        "WebKit data", "HTTP storage"};
constexpr std::array<std::string_view, 8> kindFolders = {"Caches", "Preferences", "Application Support",
                                                         "Containers", "Logs", "Saved Application State",
                                                         "WebKit", "HTTPStorages"};
constexpr std::array<std::string_view, 8> kindCautions = {
    "Review before removing. Cached content may need to be downloaded or rebuilt.",
    "Contains settings and may include license or account preferences. Removing it can reset the app.",
    "May contain databases, projects, profiles, or other personal app data. Inspect and back up anything you "
    "need.",
    "May contain the app's documents, databases, and settings. This is persistent user data, not just a cache.",
    "May contain diagnostic history needed for troubleshooting. Review before removing.",
    "May contain open-window and document recovery state. Close the app and save your work first.",
    "May contain website storage, cookies, sessions, or offline content used by the app.",
    "May contain cookies, sessions, and network data used by the app.",
};

std::size_t index(AppRelatedKind kind) { return static_cast<std::size_t>(kind); }

} // namespace

std::string_view rawValue(AppRelatedKind kind) { return kindRawValues[index(kind)]; }

std::optional<AppRelatedKind> appRelatedKindFromRawValue(std::string_view raw) {
    for (AppRelatedKind kind : allAppRelatedKinds)
        if (rawValue(kind) == raw) return kind;
    return std::nullopt;
}

std::string_view title(AppRelatedKind kind) { return kindTitles[index(kind)]; }
std::string_view caution(AppRelatedKind kind) { return kindCautions[index(kind)]; }
std::string_view libraryFolder(AppRelatedKind kind) { return kindFolders[index(kind)]; }

AppRelatedFile::AppRelatedFile(Url url_, AppRelatedKind kind_, std::optional<std::string> title_,
                               std::string reason_, std::optional<std::string> caution_,
                               std::string ownerBundleIdentifier_)
    : url(std::move(url_)),
      kind(kind_),
      title(title_ ? std::move(*title_) : std::string(morvo::title(kind_))),
      reason(std::move(reason_)),
      caution(caution_ ? std::move(*caution_) : std::string(morvo::caution(kind_))),
      ownerBundleIdentifier(std::move(ownerBundleIdentifier_)) {}

namespace AppInventoryScanner {

namespace {

constexpr std::int64_t walkItemLimit = 50000;
constexpr std::int64_t relatedItemLimit = 50000;
constexpr std::int64_t infoPlistByteLimit = 1048576;
constexpr std::size_t warningCap = 100;

constexpr std::array<std::string_view, 5> protectedPrefixes = {"/System", "/usr", "/bin", "/sbin",
                                                               "/Library/Apple"};

bool isAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::size_t labelCount(std::string_view identifier) {
    return static_cast<std::size_t>(std::count(identifier.begin(), identifier.end(), '.')) + 1;
}

bool validIdentifier(std::string_view identifier) {
    if (identifier.empty() || identifier.size() >= 256) return false;
    if (labelCount(identifier) < 2) return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= identifier.size(); ++i) {
        if (i < identifier.size() && identifier[i] != '.') continue;
        std::string_view label = identifier.substr(start, i - start);
        if (label.empty() || !isAsciiAlnum(label.front())) return false;
        for (char c : label)
            if (!isAsciiAlnum(c) && c != '-') return false;
        start = i + 1;
    }
    return true;
}

// Apple's own and shared-group identifiers are never inventoried.
bool isExcludedIdentifier(std::string_view identifier) {
    const std::string lower = text::asciiLowercase(identifier);
    return lower == "com.apple" || lower.starts_with("com.apple.") || lower.starts_with("group.");
}

bool protectedPath(std::string_view p) {
    for (std::string_view prefix : protectedPrefixes)
        if (path::isWithin(p, prefix)) return true;
    return false;
}

std::string bundleStem(const Url& bundle) {
    std::string name = bundle.lastPathComponent();
    std::string_view extension = path::extension(name);
    if (!extension.empty()) name.resize(name.size() - extension.size() - 1);
    return name;
}

class Scan {
public:
    Scan(std::stop_token stop, const Environment& environment)
        : stop_(std::move(stop)), environment_(environment) {}

    AppInventoryResult run(const std::vector<Url>& applicationRoots, const Url& userLibrary) {
        checkRoots(applicationRoots);
        walk();
        std::map<std::string, std::vector<AppRelatedFile>> related = collectRelatedData(userLibrary);
        attach(related);
        std::vector<LeftoverGroup> leftovers = findLeftovers(related);
        checkCancellation();
        return AppInventoryResult{std::move(apps_), std::move(leftovers), std::move(warnings_), isComplete_};
    }

private:
    void checkCancellation() const {
        if (stop_.stop_requested()) throw CancellationError();
    }

    void warn(std::string text) {
        isComplete_ = false;
        if (warnings_.size() < warningCap) warnings_.push_back(std::move(text));
    }

    // lstat without following links; throws PosixError.
    FileMetadata metadata(const std::string& p) const {
        if (environment_.lstat) {
            FileMetadata out;
            if (int code = environment_.lstat(p, out)) throw PosixError(code, p);
            return out;
        }
        return statPath(p);
    }

    // The first component of `p`, from "/" down, that is a symbolic link.
    std::optional<std::string> symbolicLinkAncestor(std::string_view p) const {
        std::string prefix = "/";
        std::string_view rest = p;
        while (!rest.empty()) {
            std::size_t slash = rest.find('/');
            std::string_view component = rest.substr(0, slash);
            rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
            if (component.empty()) continue;
            checkCancellation();
            prefix = path::join(prefix, component);
            if (metadata(prefix).isSymbolicLink()) return prefix;
        }
        return std::nullopt;
    }

    void checkRoots(const std::vector<Url>& roots) {
        if (roots.empty()) {
            warn("No application folders were selected. Possible leftovers are hidden until application discovery "
                 "succeeds.");
            return;
        }
        for (const Url& root : roots) {
            checkCancellation();
            if (!root.isFileURL()) {
                warn("An application location is not a local folder: " + root.absoluteString());
                continue;
            }
            std::string absolute = root.path;
            try {
                absolute = path::absolute(root.path);
                if (auto link = symbolicLinkAncestor(absolute)) {
                    warn("Symbolic-link application location was excluded: " + *link);
                    continue;
                }
            } catch (const std::exception& error) {
                // A cancellation here becomes a warning too; the next check ends the scan.
                warn("Could not verify application folder " + absolute + ": " + errorDescription(error));
                continue;
            }
            pending_.push_back(absolute);
        }
    }

    bool symbolicLinkMayHideApplication(const std::string& link) const {
        std::optional<std::string> resolved = realPath(link);
        if (!resolved) return true;
        const std::string target = path::normalize(*resolved);
        if (protectedPath(target)) return false;
        if (text::asciiLowercase(path::extension(target)) == "app") return true;
        try {
            return !metadata(target).isRegular();
        } catch (const std::exception&) {
            return true;
        }
    }

    void walk() {
        std::int64_t itemCount = 0;
        while (!pending_.empty()) {
            std::string current = std::move(pending_.back());
            pending_.pop_back();
            checkCancellation();
            if (!visited_.insert(current).second) continue;
            if (protectedPath(current)) {
                warn("Protected system location was excluded: " + current);
                continue;
            }
            std::vector<std::string> names;
            try {
                FileMetadata status = metadata(current);
                if (status.isSymbolicLink()) {
                    warn("Symbolic-link application location was excluded: " + current);
                    continue;
                }
                if (!status.isDirectory()) {
                    warn("Application location is not a directory: " + current);
                    continue;
                }
                if (text::asciiLowercase(path::extension(current)) == "app") {
                    inspectApp(Url::file(current, true));
                    continue;
                }
                names = contentsOfDirectory(current);
            } catch (const CancellationError&) {
                throw;
            } catch (const std::exception& error) {
                warn("Could not read application folder " + current + ": " + errorDescription(error));
                continue;
            }
            for (const std::string& name : names) {
                checkCancellation();
                if (++itemCount > walkItemLimit) {
                    warn("Application discovery reached its 50,000-item limit. Select a smaller application "
                         "folder; possible leftovers are hidden.");
                    pending_.clear();
                    return;
                }
                const std::string child = path::join(current, name);
                FileMetadata status;
                try {
                    status = metadata(child);
                } catch (const std::exception& error) {
                    warn("Could not inspect " + child + ": " + errorDescription(error));
                    continue;
                }
                if (!status.isSymbolicLink()) {
                    if (status.isDirectory()) pending_.push_back(child);
                    continue;
                }
                if (symbolicLinkMayHideApplication(child))
                    warn("Symbolic link was excluded from application discovery: " + child);
            }
        }
    }

    void inspectApp(const Url& bundle) {
        const std::string contents = path::join(bundle.path, "Contents");
        const std::string infoPlist = path::join(contents, "Info.plist");
        const std::string& b = bundle.path;
        PropertyListStrings plist;
        try {
            FileMetadata contentsStatus = metadata(contents);
            if (!contentsStatus.isDirectory() || !metadata(infoPlist).isRegular()) {
                warn("Could not verify the app identity at " + b + ": metadata is missing or uses a symbolic link.");
                return;
            }
            if (metadata(infoPlist).size > infoPlistByteLimit) {
                warn("Could not verify the app identity at " + b + ": Info.plist is unexpectedly large.");
                return;
            }
            // The bounded reader refuses a file that became a link, a non-file or too large meanwhile.
            plist = readPropertyListStrings(infoPlist, infoPlistByteLimit, stop_);
        } catch (const CancellationError&) {
            throw;
        } catch (const std::exception& error) {
            warn("Could not read the app identity at " + b + ": " + errorDescription(error));
            return;
        }
        std::optional<std::string> identifier = plist.string("CFBundleIdentifier");
        if (!identifier || !validIdentifier(*identifier)) {
            warn("Could not verify the app identity at " + b + ": the bundle identifier is missing or invalid.");
            return;
        }
        if (isExcludedIdentifier(*identifier)) return;
        std::string name;
        for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
            if (auto value = plist.string(key)) {
                name = text::trim(*value);
                if (!name.empty()) break;
            }
        }
        if (name.empty()) name = bundleStem(bundle);
        apps_.push_back(InstalledApp{std::move(name), std::move(*identifier), bundle, {}});
    }

    // Library items whose names are bundle identifiers, by identifier (plain byte order of keys).
    std::map<std::string, std::vector<AppRelatedFile>> collectRelatedData(const Url& userLibrary) {
        std::map<std::string, std::vector<AppRelatedFile>> related;
        if (!userLibrary.isFileURL()) {
            warn("The user Library must be a local folder.");
            return related;
        }
        std::string library = userLibrary.path;
        try {
            library = path::absolute(userLibrary.path);
            if (auto link = symbolicLinkAncestor(library)) {
                warn("Symbolic-link user Library location was excluded: " + *link);
                return related;
            }
            if (!metadata(library).isDirectory()) {
                warn("The user Library is not a regular directory: " + library);
                return related;
            }
        } catch (const std::exception& error) {
            warn("Could not inspect the user Library at " + library + ": " + errorDescription(error));
            return related;
        }

        std::int64_t itemCount = 0;
        for (AppRelatedKind kind : allAppRelatedKinds) {
            checkCancellation();
            const std::string folder = path::join(library, libraryFolder(kind));
            FileMetadata folderStatus;
            try {
                folderStatus = metadata(folder);
            } catch (const PosixError& error) {
                if (error.code() != ENOENT)
                    warn("Could not read related-data folder " + folder + ": " + error.description());
                continue;
            }
            if (!folderStatus.isDirectory()) {
                warn("Related-data location is not a regular directory and was excluded: " + folder);
                continue;
            }
            auto enumerator = DirectoryEnumerator::make(
                folder, DirectoryEnumerator::Options::skipsSubdirectoryDescendants,
                [this](const std::string& failed, const PosixError& error) {
                    warn("Could not read related-data folder " + failed + ": " + error.description());
                    return false;
                });
            if (!enumerator) {
                warn("Could not enumerate related-data folder " + folder);
                continue;
            }
            const bool wantsFile = kind == AppRelatedKind::preferences;
            const std::string_view suffix = kind == AppRelatedKind::preferences  ? std::string_view(".plist")
                                            : kind == AppRelatedKind::savedState ? std::string_view(".savedState")
                                                                                 : std::string_view();
            while (auto entry = enumerator->next()) {
                checkCancellation();
                if (++itemCount > relatedItemLimit) {
                    warn("Related-data discovery reached its 50,000-item limit. Possible leftovers are hidden.");
                    return related;
                }
                std::string_view name = path::lastComponent(entry->path);
                if (name.starts_with(".")) continue;
                if (!suffix.empty()) {
                    if (!name.ends_with(suffix)) continue;
                    name.remove_suffix(suffix.size());
                }
                if (!validIdentifier(name) || isExcludedIdentifier(name)) continue;
                const std::string item = path::join(folder, path::lastComponent(entry->path));
                FileMetadata status;
                try {
                    status = metadata(item);
                } catch (const std::exception& error) {
                    warn("Could not inspect related data at " + item + ": " + errorDescription(error));
                    continue;
                }
                if (status.isSymbolicLink()) {
                    warn("Symbolic-link related data was excluded: " + item);
                    continue;
                }
                if (wantsFile ? !status.isRegular() : !status.isDirectory()) continue;
                std::string identifier(name);
                related[identifier].emplace_back(
                    Url::file(item, !wantsFile), kind, std::nullopt,
                    "Exact bundle-identifier path match for " + identifier +
                        ". Confirm the contents before removing anything.",
                    std::nullopt, identifier);
            }
        }
        return related;
    }

    void attach(const std::map<std::string, std::vector<AppRelatedFile>>& related) {
        for (InstalledApp& app : apps_)
            if (auto it = related.find(app.bundleIdentifier); it != related.end()) app.relatedFiles = it->second;
        std::sort(apps_.begin(), apps_.end(), [](const InstalledApp& a, const InstalledApp& b) {
            int order = text::localizedStandardCompare(a.name, b.name);
            if (order != 0) return order < 0;
            return a.bundleURL.path < b.bundleURL.path;
        });
    }

    std::vector<LeftoverGroup> findLeftovers(const std::map<std::string, std::vector<AppRelatedFile>>& related) {
        std::vector<LeftoverGroup> groups;
        if (!isComplete_) {
            // Added past the cap on purpose: it explains why no leftovers are shown.
            warnings_.push_back(
                "Discovery was incomplete. Possible leftovers are hidden because an unreadable or unidentified app "
                "could still own these files.");
            return groups;
        }
        std::unordered_set<std::string> installed;
        for (const InstalledApp& app : apps_) installed.insert(text::asciiLowercase(app.bundleIdentifier));
        for (const auto& [identifier, files] : related) {
            checkCancellation();
            if (labelCount(identifier) < 3) continue;
            const std::string lower = text::asciiLowercase(identifier);
            if (installed.contains(lower)) continue;
            bool helper = false;
            for (const std::string& owner : installed)
                if (lower.size() > owner.size() && lower.starts_with(owner) && lower[owner.size()] == '.') {
                    helper = true;
                    break;
                }
            if (helper) continue;
            LeftoverGroup group{identifier, "Possible leftover", {},
                                "Ownership is unverified. The app may have moved, may be installed outside the "
                                "scanned folders, or may be a helper for another app. Review each path; nothing is "
                                "selected automatically."};
            for (const AppRelatedFile& file : files)
                group.files.emplace_back(file.url, file.kind, std::nullopt,
                                         "No matching app identity was found in the selected application folders. "
                                         "This does not prove that the file is unused.",
                                         std::nullopt, identifier);
            groups.push_back(std::move(group));
        }
        // The map already holds the identifiers in byte order, so collator ties keep that order.
        std::stable_sort(groups.begin(), groups.end(), [](const LeftoverGroup& a, const LeftoverGroup& b) {
            return text::localizedStandardCompare(a.bundleIdentifier, b.bundleIdentifier) < 0;
        });
        return groups;
    }

    const std::stop_token stop_;
    const Environment& environment_;
    std::vector<std::string> warnings_;
    bool isComplete_ = true;
    std::vector<std::string> pending_;
    std::set<std::string> visited_;
    std::vector<InstalledApp> apps_;
};

} // namespace

std::vector<Url> defaultRoots(const Url& home) {
    // Only a missing folder is left out; anything else stays so that the walk reports it. A
    // Linux machine usually has no /Applications at all, and reporting that on every inventory
    // would mark each one incomplete and hide the leftovers for good.
    std::vector<Url> roots;
    auto addUnlessMissing = [&roots](const std::string& folder) {
        try {
            statPath(folder);
            roots.push_back(Url::file(folder, true));
        } catch (const PosixError& error) {
            if (error.code() != ENOENT) roots.push_back(Url::file(folder, true));
        }
    };
    addUnlessMissing("/Applications");
    addUnlessMissing(path::join(path::absolute(home.path), "Applications"));
    return roots;
}

std::vector<Url> defaultRoots() { return defaultRoots(Url::file(currentUserHomeDirectory(), true)); }

Url defaultUserLibrary(const Url& home) { return Url::file(path::join(path::absolute(home.path), "Library"), true); }

Url defaultUserLibrary() { return defaultUserLibrary(Url::file(currentUserHomeDirectory(), true)); }

AppInventoryResult scan(const std::vector<Url>& applicationRoots, const Url& userLibrary, std::stop_token stop,
                        const Environment& environment) {
    if (stop.stop_requested()) throw CancellationError();
    AppInventoryResult result = Scan(stop, environment).run(applicationRoots, userLibrary);
    if (stop.stop_requested()) throw CancellationError();
    return result;
}

} // namespace AppInventoryScanner

} // namespace morvo
