#pragma once
// The one search over a snapshot behind the large-files list and the overview's largest files.

#include "MorvoCore/DiskModels.h"

#include <array>
#include <optional>
#include <stop_token>
#include <string_view>

namespace morvo {

enum class FileSort { size, name, modified };

inline constexpr std::array<FileSort, 3> allFileSorts = {FileSort::size, FileSort::name, FileSort::modified};
// "Largest first", "Name", "Recently modified": also the sort menu's labels.
std::string_view rawValue(FileSort sort);
std::optional<FileSort> fileSortFromRawValue(std::string_view raw);

struct FileSearchResult {
    std::vector<DiskNode> files;     // the first `limit` matches in order
    std::int64_t totalCount = 0;     // every match
    std::int64_t totalBytes = 0;     // logical bytes of every match, saturating
    friend bool operator==(const FileSearchResult&, const FileSearchResult&) = default;
};

namespace DiskSearch {

// Files (neither folders nor links) at least `minimumSize` bytes, of `category` when given, whose
// path contains the trimmed query ignoring case and diacritics; ordered by `sort` with ties on
// the id. A query that is empty once diacritics are ignored (white space, or combining marks
// alone such as U+0301) is contained in every path, so it matches every file. A stop request
// yields the empty result.
FileSearchResult find(const DiskSnapshot& snapshot, std::string_view query, std::optional<FileCategory> category,
                      std::int64_t minimumSize, FileSort sort, std::int64_t limit, std::stop_token stop = {});

// Builds the snapshot's folded-path index now instead of on the first text query (it is built
// once per snapshot either way). Thread-safe.
void prepare(const DiskSnapshot& snapshot);

} // namespace DiskSearch

} // namespace morvo
