#include "Morvo/State/CleanupModels.h"

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

namespace morvo {

std::string_view rawValue(CleanupOutcomeStatus status) {
    switch (status) {
    case CleanupOutcomeStatus::moved: return "moved";
    case CleanupOutcomeStatus::failed: return "failed";
    case CleanupOutcomeStatus::skipped: return "skipped";
    }
    return "skipped";
}

std::optional<CleanupOutcomeStatus> cleanupOutcomeStatusFromRawValue(std::string_view raw) {
    for (auto status : allCleanupOutcomeStatuses)
        if (rawValue(status) == raw) return status;
    return std::nullopt;
}

namespace CleanupAppDataPaths {
namespace {

struct DataFolder {
    std::string_view folder;
    std::string_view suffix;
};

constexpr std::array<DataFolder, 8> dataFolders = {{
    {"Caches", ""},
    {"Preferences", ".plist"},
    {"Application Support", ""},
    {"Containers", ""},
    {"Logs", ""},
    {"Saved Application State", ".savedState"},
    {"WebKit", ""},
    {"HTTPStorages", ""},
}};

std::string libraryFolder(std::string_view home) { return path::join(path::normalize(home), "Library"); }

bool endsWithIgnoringASCIICase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    auto tail = text.substr(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(tail[i]) != lower(suffix[i])) return false;
    }
    return true;
}

// The length of the leading part of `path` that is `base` apart from letter case, when `path`
// continues with "/" after it. Measured on `path` itself: lower-casing may change the length of
// a name, so an offset taken from a lower-cased copy could cut the original in the wrong place.
std::optional<std::size_t> matchedPrefixLength(std::string_view path, std::string_view base) {
    std::size_t components = 0;
    for (char c : base)
        if (c == '/') ++components;
    // `base` is absolute: its component count is its number of slashes. Find the slash in `path`
    // that follows the same number of components.
    std::size_t seen = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        if (seen == components) {
            if (text::lowercase(path.substr(0, i)) == text::lowercase(base)) return i;
            return std::nullopt;
        }
        ++seen;
    }
    return std::nullopt;
}

} // namespace

std::vector<Url> urls(std::string_view bundleIdentifier, std::string_view homeDirectory) {
    std::vector<Url> result;
    if (bundleIdentifier.empty() || bundleIdentifier == "." || bundleIdentifier == ".." ||
        bundleIdentifier.find('/') != std::string_view::npos)
        return result;
    const std::string library = libraryFolder(homeDirectory);
    for (const auto& row : dataFolders) {
        std::string name(bundleIdentifier);
        name += row.suffix;
        result.push_back(Url::file(path::join(path::join(library, row.folder), name), row.suffix.empty()));
    }
    if (text::lowercase(bundleIdentifier) == "com.apple.dt.xcode")
        result.push_back(Url::file(path::join(library, "Developer/Xcode/DerivedData"), true));
    return result;
}

std::optional<std::string> owner(const Url& url, std::string_view homeDirectory) {
    const std::string library = libraryFolder(homeDirectory);
    const std::string& itemPath = url.path;
    for (const auto& row : dataFolders) {
        const std::string base = path::join(library, row.folder);
        auto prefix = matchedPrefixLength(itemPath, base);
        if (!prefix) continue;
        std::string_view rest = std::string_view(itemPath).substr(*prefix + 1);
        while (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);
        if (rest.empty()) continue;
        std::string_view piece = rest.substr(0, rest.find('/'));
        if (row.suffix.empty()) return std::string(piece);
        if (!endsWithIgnoringASCIICase(piece, row.suffix)) continue;
        piece.remove_suffix(row.suffix.size());
        if (piece.empty()) return std::nullopt;
        return std::string(piece);
    }
    return std::nullopt;
}

bool contains(const Url& url, std::string_view ownerIdentifier, std::string_view homeDirectory) {
    const std::string itemPath = text::lowercase(url.path);
    for (const auto& location : urls(ownerIdentifier, homeDirectory)) {
        const std::string base = text::lowercase(location.path);
        if (itemPath == base || path::isBelow(itemPath, base)) return true;
    }
    return false;
}

} // namespace CleanupAppDataPaths

std::string errorDescription(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return morvo::errorDescription(e);
    } catch (...) {
        return "The operation couldn\u2019t be completed.";
    }
}

bool isCancellationError(const std::exception_ptr& error) {
    if (!error) return false;
    try {
        std::rethrow_exception(error);
    } catch (const CancellationError&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace morvo
