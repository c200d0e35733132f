#pragma once
// One tile's worth of a folder on the storage map: the largest children get an entry each and,
// past the caller's limit, the smallest are folded into one group entry that stands for them all.

#include "MorvoCore/DiskModels.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morvo {

struct StorageMapEntry {
    std::string id;                     // the node's id, or the caller's group id
    std::optional<std::string> nodeID;  // absent only for the group entry
    std::string name;
    double bytes = 0;
    FileCategory category = FileCategory::other;
    bool isDirectory = false;
    std::int64_t itemCount = 0;

    bool isGroup() const { return !nodeID.has_value(); }

    // `bytes` as a file-style byte-count text.
    QString sizeLabel() const;
    // The byte count `sizeLabel` formats: clamped to the largest double below 2^63, then truncated.
    static std::int64_t byteCount(double bytes);

    // Entries for `from` (distinct ids, any order): nodes of size 0 or less are dropped, the rest
    // sorted largest first with ties by id; at most `limit` entries, the last one then being the
    // group `groupID` of every node that did not get its own.
    static std::vector<StorageMapEntry> make(const std::vector<DiskNode>& from, int limit, const std::string& groupID);
    // The same over nodes of `snapshot` given by index, without building DiskNode values (a folder
    // may hold hundreds of thousands of children).
    static std::vector<StorageMapEntry> make(const DiskSnapshot& snapshot, std::span<const DiskSnapshot::Index> nodes,
                                             int limit, const std::string& groupID);

    friend bool operator==(const StorageMapEntry&, const StorageMapEntry&) = default;
};

// Plain string order of two ids: code points, canonically equivalent texts equal. Texts that are
// equal that way but differ in their bytes (possible on Linux) fall back to byte order, so the
// order stays total.
bool storageMapIDLess(std::string_view a, std::string_view b);

} // namespace morvo
