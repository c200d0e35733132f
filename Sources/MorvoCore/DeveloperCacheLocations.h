#pragma once
// The three Library areas that cache discovery lists child by child, and the fixed table of
// developer-tool cache folders that it measures as a whole. Pure values; no file-system access.

#include "MorvoCore/Platform/Url.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvo {

// Declaration order is also the order in which discovery visits the areas.
enum class CleanupArea : unsigned char { caches, logs, developer };

inline constexpr std::array<CleanupArea, 3> allCleanupAreas = {CleanupArea::caches, CleanupArea::logs,
                                                               CleanupArea::developer};

std::string_view rawValue(CleanupArea area);
// Exactly "caches", "logs" or "developer" (case-sensitive); nullopt for anything else.
std::optional<CleanupArea> cleanupAreaFromRawValue(std::string_view raw);
std::string_view title(CleanupArea area);
// Relative to the home folder, e.g. "Library/Caches".
std::string_view relativePath(CleanupArea area);
// The absolute form of `home` with relativePath(area) appended, as a directory URL.
Url location(CleanupArea area, const Url& home);

enum class DeveloperCacheCleanupPolicy : unsigned char {
    reviewAndTrash,  // entries may be queued and moved like any other discovery entry
    vendorManaged,   // measured and shown only; entries always carry a blocked reason
};

std::string_view rawValue(DeveloperCacheCleanupPolicy policy);
std::optional<DeveloperCacheCleanupPolicy> developerCacheCleanupPolicyFromRawValue(std::string_view raw);

struct DeveloperCacheLocation {
    std::string id;                // stable kebab-case key, unique in the table
    std::string title;             // also the title of the discovery entry built for it
    std::string relativeHomePath;  // relative to the home folder, no leading "/"
    std::string note;
    DeveloperCacheCleanupPolicy cleanupPolicy = DeveloperCacheCleanupPolicy::reviewAndTrash;
    Url documentationURL;          // always a valid absolute https URL

    friend bool operator==(const DeveloperCacheLocation&, const DeveloperCacheLocation&) = default;
};

namespace DeveloperCacheLocations {
// The nine rows, always in the same order. Built once on first use (thread-safe), never changed.
const std::vector<DeveloperCacheLocation>& all();
} // namespace DeveloperCacheLocations

} // namespace morvo
