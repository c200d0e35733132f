#pragma once
// Measuring one item for the Trash: its files, links and bytes, and a fingerprint of the exact
// state of every entry, so that a move can tell whether anything changed since the review. Also
// the file-system primitives the safety rules use (the lstat record and the ancestor walk).

#include "MorvoCore/Platform/DirectoryReader.h"
#include "MorvoCore/Platform/PropertyList.h"
#include "MorvoCore/Platform/Url.h"
#include "MorvoCore/TrashRecords.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

namespace morvo {

// The file-system reads of the safety rules and the measurement, behind one interface so that
// tests can present locations this machine does not have (or cannot refuse to root).
class TrashFileSystem {
public:
    virtual ~TrashFileSystem() = default;
    // lstat of `path`; throws PosixError (errno, path).
    virtual TrashMetadata metadata(const std::string& path) const = 0;
    // The bounded property-list read of PropertyList.h.
    virtual PropertyListStrings readPropertyList(const std::string& path, std::int64_t maxBytes) const = 0;
    // realpath(3); nullopt when it cannot be resolved.
    virtual std::optional<std::string> realPath(const std::string& path) const = 0;
    // Where folders are walked.
    virtual const DirectoryReader& reader() const = 0;
    // Whether `path` is the root of a mount, a bind mount of a folder on the same device included.
    // False when it cannot be read. The default asks the system.
    virtual bool isMountRoot(const std::string& path) const;

    static const TrashFileSystem& system();
};

TrashMetadata trashMetadata(const FileMetadata& m);

namespace trash {

struct Measurement {
    std::int64_t bytes = 0;      // logical bytes of the regular files
    std::int64_t files = 0;      // regular files, the item itself included when it is one
    std::int64_t linkCount = 0;  // symbolic links met, never followed
    TrashFingerprint fingerprint;
};

inline constexpr const char* kItemLimitMessage =
    "The review reached its item limit. Select fewer or smaller folders.";
inline constexpr const char* kSymbolicLinkAncestorMessage =
    "This path passes through a symbolic link. Choose the original location directly.";

// lstat of the URL's path; throws PosixError with errno and the path.
TrashMetadata metadata(const Url& url, const TrashFileSystem& fs = TrashFileSystem::system());
// The records of the folders above the items already checked in one review, by path: siblings
// share them, so each folder is read once per review. Never used for the checks right before a
// move, which read everything again.
using FolderRecords = std::unordered_map<std::string, TrashMetadata>;

// Refuses a path any component of which below "/" (the last one included) is a symbolic link.
// With `records`, the lstat record of each component is appended there, "/" left out. With
// `known`, the folders above the last component are taken from there when present and added
// when read (the last component is always read).
void validateAncestors(const Url& url, const TrashFileSystem& fs = TrashFileSystem::system(),
                       std::vector<TrashMetadata>* records = nullptr, FolderRecords* known = nullptr);
// Walks and fingerprints one item, taking one unit of `remainingBudget` per entry (the item
// included). Throws TrashFailure for a refusal, PosixError for what cannot be read and
// CancellationError when `stop` is requested. A folder is read by up to `threads` threads (0: one
// per core, at most 8); the result does not depend on their number.
Measurement measure(const Url& url, std::int64_t& remainingBudget, std::stop_token stop = {},
                    const TrashFileSystem& fs = TrashFileSystem::system(), unsigned threads = 0);

} // namespace trash
} // namespace morvo
