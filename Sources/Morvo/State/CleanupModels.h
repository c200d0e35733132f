#pragma once
// The records of the cleanup queue and of a review and move run, plus the rules that tie an
// item under the user's Library folder to the application that owns it.

#include "MorvoCore/Platform/Url.h"
#include "MorvoCore/Platform/Uuid.h"

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvo {

using OptionalString = std::optional<std::string>;

// One item of the cleanup queue, whatever its source. Its id is its path.
struct CleanupCandidate {
    Url url;
    std::string title;
    std::string reason;
    std::string kind;     // "Application" marks an application bundle
    std::string symbol;   // symbol name of the row's icon
    std::optional<std::int64_t> logicalSize;
    std::optional<std::string> ownerBundleID;

    const std::string& id() const { return url.path; }
    friend bool operator==(const CleanupCandidate&, const CleanupCandidate&) = default;
};

enum class CleanupOutcomeStatus : unsigned char { moved, failed, skipped };

inline constexpr std::array<CleanupOutcomeStatus, 3> allCleanupOutcomeStatuses = {
    CleanupOutcomeStatus::moved, CleanupOutcomeStatus::failed, CleanupOutcomeStatus::skipped};

std::string_view rawValue(CleanupOutcomeStatus status);
// Exactly "moved", "failed" or "skipped"; nothing for any other string.
std::optional<CleanupOutcomeStatus> cleanupOutcomeStatusFromRawValue(std::string_view raw);

// One row of a prepared review.
struct CleanupPreviewRow {
    std::string id;                         // the preview item's path
    Url url;
    std::string title;                      // queued candidate's title, else the last path component
    std::int64_t logicalSize = 0;
    std::int64_t fileCount = 0;
    std::optional<std::string> blockedReason;
    std::vector<std::string> warnings;
    std::string reason;                     // queued candidate's reason, else "Selected for cleanup"
    friend bool operator==(const CleanupPreviewRow&, const CleanupPreviewRow&) = default;
};

// The review shown before confirmation; its id is the id of the preview it was built from.
struct CleanupReview {
    Uuid id;
    std::vector<CleanupPreviewRow> items;
    std::vector<std::string> notes;
    friend bool operator==(const CleanupReview&, const CleanupReview&) = default;
};

// The one note every review carries.
inline constexpr std::string_view cleanupReviewNote =
    "Morvo checks each item again before moving it. Changed or unavailable items stay in place.";

// The outcome of one item of a move run, as shown.
struct CleanupOutcome {
    std::string id;
    Url url;
    std::string title;
    CleanupOutcomeStatus status = CleanupOutcomeStatus::skipped;
    std::string message;
    std::optional<Url> trashURL;            // set only for a moved item whose new place is known
    friend bool operator==(const CleanupOutcome&, const CleanupOutcome&) = default;
};

// The data folders an application with a given bundle identifier may own under the user's
// Library folder (`homeDirectory` + "/Library").
namespace CleanupAppDataPaths {

// Eight locations (nine for the Xcode identifier); none for "", ".", ".." or an identifier
// holding "/".
std::vector<Url> urls(std::string_view bundleIdentifier, std::string_view homeDirectory);
// The identifier whose data location holds `url`, if any. The Library folders match regardless
// of letter case.
std::optional<std::string> owner(const Url& url, std::string_view homeDirectory);
// `url` is one of `owner`'s data locations or lies inside one (compared lower-cased).
bool contains(const Url& url, std::string_view owner, std::string_view homeDirectory);

} // namespace CleanupAppDataPaths

// For the state objects that turn a failed task into a message: the error's user-facing
// description, and whether it is the cancellation error.
std::string errorDescription(const std::exception_ptr& error);
bool isCancellationError(const std::exception_ptr& error);

} // namespace morvo
