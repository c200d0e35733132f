#pragma once
// The values the Trash service takes and returns, and the records that carry an item's
// fingerprint. All are plain values, safe to hand between threads.

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/Url.h"
#include "MorvoCore/Platform/Uuid.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvo {

using TrashClock = std::chrono::system_clock;

// The safety settings a service is built with. maxItems is at least 1 and previewLifetime at
// least 1 second (a NaN gives 1).
class TrashPolicy {
public:
    TrashPolicy(std::vector<Url> allowedRoots, std::int64_t maxItems, double previewLifetime, Url homeDirectory);

    const std::vector<Url>& allowedRoots() const { return allowedRoots_; }
    std::int64_t maxItems() const { return maxItems_; }
    double previewLifetime() const { return previewLifetime_; }
    const Url& homeDirectory() const { return homeDirectory_; }

private:
    std::vector<Url> allowedRoots_;
    std::int64_t maxItems_;
    double previewLifetime_;
    Url homeDirectory_;
};

// A refusal of the Trash service: the message is the user-facing text.
class TrashFailure : public MorvoError {
public:
    explicit TrashFailure(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }
    std::string description() const override { return message_; }

private:
    std::string message_;
};

// One lstat record, every field that a change to the entry would touch (access time left out).
struct TrashMetadata {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint16_t mode = 0;
    std::int64_t size = 0;
    std::uint64_t links = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanos = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanos = 0;
    std::int64_t bornSeconds = 0;
    std::int64_t bornNanos = 0;
    std::int64_t blocks = 0;

    // The twelve fields in order, decimal, joined by ":".
    std::string signature() const;
    std::uint32_t type() const { return mode & 0170000u; }

    friend bool operator==(const TrashMetadata&, const TrashMetadata&) = default;
};

struct TrashFingerprint {
    std::array<std::uint8_t, 32> digest{};  // SHA-256 over the item's sorted entry list
    TrashMetadata root;                     // the item's own record at the start of the walk

    friend bool operator==(const TrashFingerprint&, const TrashFingerprint&) = default;
};

struct TrashPreviewItem {
    std::string id;  // the item's path for a file URL, else its absolute string
    Url url;
    std::int64_t logicalSize = 0;
    std::int64_t fileCount = 0;
    std::optional<std::string> blockedReason;
    std::vector<std::string> warnings;
    std::optional<TrashFingerprint> fingerprint;  // present exactly when not blocked

    bool canMove() const { return !blockedReason.has_value(); }
};

struct TrashPreview {
    Uuid id;
    TrashClock::time_point createdAt;
    std::vector<TrashPreviewItem> items;
    bool isCancelled = false;
    Uuid serviceID;
};

enum class TrashItemStatus : unsigned char { moved, failed, skipped };

std::string_view rawValue(TrashItemStatus status);
std::optional<TrashItemStatus> trashItemStatusFromRawValue(std::string_view raw);

struct TrashItemResult {
    std::string id;
    Url url;
    TrashItemStatus status = TrashItemStatus::skipped;
    std::optional<Url> trashURL;  // only for moved items, when the mover said where
    std::string message;          // never empty
    std::int64_t logicalSize = 0;
};

struct TrashReport {
    std::vector<TrashItemResult> results;
    bool wasCancelled = false;
    bool previewAlreadyUsed = false;
};

} // namespace morvo
