#include "MorvoCore/DiskSearch.h"

#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <climits>
#include <memory>

namespace morvo {

namespace {

constexpr std::array<std::string_view, 3> sortLabels = {"Largest first", "Name", "Recently modified"};

using Index = DiskSnapshot::Index;

// Every node's path folded for case- and diacritic-insensitive matching, built once per
// snapshot. A child's folded path is its parent's folded path followed by the folded rest of
// its own path ("/" and its name): "/" is a starter and a character boundary, so folding the
// parts one by one gives the same bytes as folding the whole path, and each name is folded once.
// A path that folds to itself (lower-case ASCII, the common case below a lower-case folder) is
// read from the snapshot, which owns this index and outlives it; only the others are copied.
struct FoldedPaths {
    struct Entry {
        const char* data;
        std::uint32_t length;
        Index parent;   // kept beside the path: the matcher asks for it at every node
    };
    std::vector<Entry> entries;
    std::vector<std::unique_ptr<char[]>> chunks;   // never move once written
    std::size_t chunkFree = 0;
    char* chunkEnd = nullptr;

    std::string_view path(Index i) const { return {entries[i].data, entries[i].length}; }

    char* allocate(std::size_t bytes) {
        if (bytes > chunkFree) {
            const std::size_t size = std::max<std::size_t>(bytes, std::size_t(1) << 20);
            chunks.push_back(std::make_unique<char[]>(size));
            chunkEnd = chunks.back().get();
            chunkFree = size;
        }
        char* out = chunkEnd;
        chunkEnd += bytes;
        chunkFree -= bytes;
        return out;
    }
};

bool foldsToItself(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80 || (c >= 'A' && c <= 'Z')) return false;
    return true;
}

std::shared_ptr<const FoldedPaths> buildFoldedPaths(const DiskSnapshot& snapshot) {
    auto folded = std::make_shared<FoldedPaths>();
    const std::size_t n = snapshot.nodeCount();
    folded->entries.resize(n);
    std::string scratch;
    for (Index i = 0; i < n; ++i) {
        const std::string_view path = snapshot.path(i);
        const auto p = snapshot.parent(i);
        FoldedPaths::Entry& entry = folded->entries[i];
        entry.parent = p ? *p : DiskSnapshot::noIndex;
        // A child's id is its parent's id + "/" + name, and parents precede their children, so
        // the parent's folded path is already there.
        const std::string_view parentPath = p ? snapshot.path(*p) : std::string_view();
        const std::string_view parentFolded = p ? folded->path(*p) : std::string_view();
        const std::string_view rest = path.substr(parentPath.size());
        const bool parentShared = !p || parentFolded.data() == parentPath.data();
        if (parentShared && foldsToItself(rest)) {
            entry.data = path.data();
            entry.length = static_cast<std::uint32_t>(path.size());
            continue;
        }
        scratch = foldsToItself(rest) ? std::string(rest) : text::foldForSearch(rest);
        char* out = folded->allocate(parentFolded.size() + scratch.size());
        std::copy(parentFolded.begin(), parentFolded.end(), out);
        std::copy(scratch.begin(), scratch.end(), out + parentFolded.size());
        entry.data = out;
        entry.length = static_cast<std::uint32_t>(parentFolded.size() + scratch.size());
    }
    return folded;
}

const FoldedPaths& foldedPaths(const DiskSnapshot& snapshot) {
    // The snapshot keeps the index for its lifetime; whichever search comes first builds it.
    auto value = snapshot.derived([&] { return std::static_pointer_cast<const void>(buildFoldedPaths(snapshot)); });
    return *static_cast<const FoldedPaths*>(value.get());
}

struct Match {
    std::int64_t key;   // size or modification time: larger first
    Index index;
};

// Finds which nodes' folded paths contain `needle`. Nodes come parent first, so a node matches
// when its parent does, or when the needle occurs in the part of its path that its parent's path
// does not already cover (an occurrence ending past the parent's last byte). That reads each
// name plus a few bytes instead of every full path.
class PathMatcher {
public:
    PathMatcher(const FoldedPaths& folded, std::string_view needle)
        : folded_(folded), needle_(needle), matched_(folded.entries.size(), 0) {}

    // Must be called for every node whose children are asked about, in index order.
    bool matches(Index i) {
        bool hit;
        const Index parent = folded_.entries[i].parent;
        if (parent != DiskSnapshot::noIndex && matched_[parent]) {
            hit = true;
        } else {
            const std::string_view path = folded_.path(i);
            std::size_t from = 0;
            if (parent != DiskSnapshot::noIndex) {
                const std::size_t covered = folded_.entries[parent].length;
                from = covered >= needle_.size() ? covered - needle_.size() + 1 : 0;
            }
            hit = path.size() >= from + needle_.size() && path.substr(from).find(needle_) != std::string_view::npos;
        }
        matched_[i] = hit;
        return hit;
    }

private:
    const FoldedPaths& folded_;
    std::string_view needle_;
    std::vector<std::uint8_t> matched_;
};

std::int64_t modificationKey(const DiskSnapshot& snapshot, Index i) {
    // A missing date counts as the distant past: below every date a file can carry.
    auto date = snapshot.modificationDate(i);
    return date ? static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                date->time_since_epoch()).count())
                : INT64_MIN;
}

} // namespace

std::string_view rawValue(FileSort sort) { return sortLabels[static_cast<std::size_t>(sort)]; }

std::optional<FileSort> fileSortFromRawValue(std::string_view raw) {
    for (std::size_t i = 0; i < sortLabels.size(); ++i)
        if (sortLabels[i] == raw) return allFileSorts[i];
    return std::nullopt;
}

void DiskSearch::prepare(const DiskSnapshot& snapshot) { (void)foldedPaths(snapshot); }

FileSearchResult DiskSearch::find(const DiskSnapshot& snapshot, std::string_view query,
                                  std::optional<FileCategory> category, std::int64_t minimumSize, FileSort sort,
                                  std::int64_t limit, std::stop_token stop) {
    const std::string trimmed = text::trim(query);
    const std::string needle = trimmed.empty() ? std::string() : text::foldForSearch(trimmed);
    const bool filtersText = !trimmed.empty();
    const bool byModification = sort == FileSort::modified;
    const std::size_t n = snapshot.nodeCount();

    std::vector<Match> matches;
    std::int64_t totalBytes = 0;
    auto consider = [&](Index i) {
        if (snapshot.isDirectory(i) || snapshot.isSymbolicLink(i)) return false;
        const std::int64_t size = snapshot.logicalSize(i);
        if (size < minimumSize) return false;
        if (category && *category != snapshot.category(i)) return false;
        return true;
    };
    auto add = [&](Index i) {
        const std::int64_t size = snapshot.logicalSize(i);
        matches.push_back({byModification ? modificationKey(snapshot, i) : size, i});
        totalBytes = saturatingAdd(totalBytes, size);
    };

    if (!filtersText) {
        for (Index i = 0; i < n; ++i) {
            if (stop.stop_requested()) return {};
            if (consider(i)) add(i);
        }
    } else {
        if (stop.stop_requested()) return {};   // before a first search builds the index
        const FoldedPaths& folded = foldedPaths(snapshot);
        PathMatcher matcher(folded, needle);
        for (Index i = 0; i < n; ++i) {
            if (stop.stop_requested()) return {};
            if (snapshot.isDirectory(i)) {
                matcher.matches(i);   // its children ask about it
            } else if (consider(i) && matcher.matches(i)) {
                add(i);
            }
        }
    }
    if (stop.stop_requested()) return {};

    FileSearchResult result;
    result.totalCount = static_cast<std::int64_t>(matches.size());
    result.totalBytes = totalBytes;
    const std::size_t page = static_cast<std::size_t>(std::clamp<std::int64_t>(limit, 0, static_cast<std::int64_t>(matches.size())));
    if (page == 0) return result;

    // Ties go to the smaller id; ids are unique, so the order is total and a partial sort
    // yields exactly the head of the full stable sort.
    auto byId = [&](const Match& a, const Match& b) { return snapshot.path(a.index) < snapshot.path(b.index); };
    auto byKey = [&](const Match& a, const Match& b) {
        if (a.key != b.key) return a.key > b.key;
        return byId(a, b);
    };
    auto byName = [&](const Match& a, const Match& b) {
        const int order = text::localizedStandardCompare(snapshot.name(a.index), snapshot.name(b.index));
        if (order != 0) return order < 0;
        return byId(a, b);
    };
    auto sortHead = [&](auto less) {
        if (page < matches.size())
            std::partial_sort(matches.begin(), matches.begin() + static_cast<std::ptrdiff_t>(page), matches.end(), less);
        else
            std::sort(matches.begin(), matches.end(), less);
    };
    if (sort == FileSort::name)
        sortHead(byName);
    else
        sortHead(byKey);

    result.files.reserve(page);
    for (std::size_t k = 0; k < page; ++k) result.files.push_back(snapshot.node(matches[k].index));
    return result;
}

} // namespace morvo
