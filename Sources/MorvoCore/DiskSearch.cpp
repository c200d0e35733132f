#include "MorvoCore/DiskSearch.h"

#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvo {

namespace {

constexpr std::array<std::string_view, 3> sortLabels = {"Largest first", "Name", "Recently modified"};

using Index = DiskSnapshot::Index;

// Every node's path folded for case- and diacritic-insensitive matching, built once per
// snapshot. A child's folded path is its parent's folded path followed by the folded rest of
// its own path ("/" and its name): "/" is a starter and a character boundary, so folding the
// parts one by one gives the same bytes as folding the whole path. Only the rests are kept, one
// after another in one block (the root's rest is its whole path): a query then reads a few bytes
// per node, where whole paths would stream several times as much memory through the cache.
struct FoldedNames {
    static constexpr Index noFolder = DiskSnapshot::noIndex;
    static constexpr std::size_t kPadding = 16;   // zero bytes after the last rest: room for block reads
    static constexpr std::uint32_t kMaxRestLength = (std::uint32_t{1} << 30) - 1;

    // Read in index order only: a rest starts where the one before ends, and folders are
    // numbered in the order they come.
    struct Entry {
        std::uint32_t length : 30;   // of the rest
        std::uint32_t isFile : 1;    // neither a folder nor a link: the search reads the node only on a match
        std::uint32_t isFolder : 1;
        Index parentFolder;          // the parent's folder number, noFolder for the root
    };
    std::vector<Entry> entries;
    std::vector<char> text;
    Index folderCount = 0;
};
static_assert(sizeof(FoldedNames::Entry) == 8);

bool foldsToItself(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80 || (c >= 'A' && c <= 'Z')) return false;
    return true;
}

std::shared_ptr<const FoldedNames> buildFoldedNames(const DiskSnapshot& snapshot) {
    auto folded = std::make_shared<FoldedNames>();
    const std::size_t n = snapshot.nodeCount();
    folded->entries.resize(n);
    std::vector<char>& text = folded->text;
    text.reserve(n * 24 + FoldedNames::kPadding);
    std::string scratch;
    std::vector<Index> folderOf(n, FoldedNames::noFolder);   // while building only
    std::string joined;
    const bool rootIsSlash = snapshot.rootID() == "/";
    for (Index i = 0; i < n; ++i) {
        const auto p = snapshot.parent(i);
        // A child's id is its parent's id + "/" + name ("/" + name below "/"), and parents
        // precede their children.
        std::string_view rest = snapshot.rootID();
        if (p) {
            joined.clear();
            if (!(*p == DiskSnapshot::rootIndex && rootIsSlash)) joined.push_back('/');
            joined.append(snapshot.name(i));
            rest = joined;
        }
        if (!foldsToItself(rest)) {
            scratch = text::foldForSearch(rest);
            rest = scratch;
        }
        rest = rest.substr(0, std::min<std::size_t>(rest.size(), FoldedNames::kMaxRestLength));
        FoldedNames::Entry& entry = folded->entries[i];
        entry.length = static_cast<std::uint32_t>(rest.size());
        entry.isFile = !snapshot.isDirectory(i) && !snapshot.isSymbolicLink(i);
        entry.isFolder = snapshot.isDirectory(i);
        entry.parentFolder = p ? folderOf[*p] : FoldedNames::noFolder;
        if (entry.isFolder) folderOf[i] = folded->folderCount++;
        text.insert(text.end(), rest.begin(), rest.end());
    }
    text.resize(text.size() + FoldedNames::kPadding, '\0');
    return folded;
}

const FoldedNames& foldedNames(const DiskSnapshot& snapshot) {
    // The snapshot keeps the index for its lifetime; whichever search comes first builds it.
    auto value = snapshot.derived([&] { return std::static_pointer_cast<const void>(buildFoldedNames(snapshot)); });
    return *static_cast<const FoldedNames*>(value.get());
}

struct Match {
    std::int64_t key;   // size or modification time: larger first
    Index index;
};

// Whether `needle` (two bytes or more) lies wholly within text[0, length), where at least
// kPadding readable bytes follow text + length. The rests are short (a name): a byte loop loses
// most of its time to the mispredicted end of each one, so 16 starts are tried at once on the
// needle's first and last byte, and only candidates are compared in full.
bool containsWithin(const char* text, std::size_t length, std::string_view needle) {
    const std::size_t m = needle.size();
    if (length < m) return false;
    const std::size_t starts = length - m + 1;
    const char* const rest = needle.data() + 1;
    auto matchesAt = [&](std::size_t start) { return std::memcmp(text + start + 1, rest, m - 2) == 0; };
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    // Starts [start, start + 16): reads text[start, start + 16) and text[start + m - 1, start + m + 15),
    // at most 15 bytes past the text's end.
    for (std::size_t start = 0; start < starts; start += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + start));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + start + m - 1));
        unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        if (starts - start < 16) bits &= (1u << (starts - start)) - 1;
        for (; bits != 0; bits &= bits - 1)
            if (matchesAt(start + static_cast<std::size_t>(__builtin_ctz(bits)))) return true;
    }
    return false;
#else
    for (std::size_t start = 0; start < starts; ++start)
        if (text[start] == needle.front() && text[start + m - 1] == needle.back() && matchesAt(start)) return true;
    return false;
#endif
}

// Finds which nodes' folded paths contain `needle`, reading only each node's rest. Nodes come
// parent first, so a node matches when its parent does; or when the needle lies within its rest;
// or when it begins in the parent's path and ends in the rest. For that last case each folder
// keeps, while it is current, the set of lengths j (0 < j < needle length) for which its folded
// path ends with the needle's first j bytes.
class PathMatcher {
public:
    PathMatcher(const FoldedNames& folded, std::string_view needle)
        : folded_(folded), needle_(needle), words_((needle.size() + 63) / 64),
          folderMatched_(folded.folderCount, 0), ends_(static_cast<std::size_t>(folded.folderCount) * words_, 0) {}

    // Whether the next node matches; it takes every node once, in index order.
    bool next() {
        const FoldedNames::Entry& entry = folded_.entries[node_++];
        const std::string_view rest(folded_.text.data() + offset_, entry.length);
        offset_ += entry.length;
        const Index parent = entry.parentFolder;
        bool hit;
        if (parent != FoldedNames::noFolder && folderMatched_[parent])
            hit = true;
        else
            hit = within(rest) || (parent != FoldedNames::noFolder && straddles(parent, rest));
        if (entry.isFolder) {
            const Index folder = folders_++;
            folderMatched_[folder] = hit;
            if (!hit) noteEnds(folder, parent, rest);
        }
        return hit;
    }

private:
    bool within(std::string_view rest) const {
        if (needle_.size() == 1) return std::memchr(rest.data(), needle_.front(), rest.size()) != nullptr;
        return containsWithin(rest.data(), rest.size(), needle_);
    }

    const std::uint64_t* endsOf(Index folder) const { return ends_.data() + static_cast<std::size_t>(folder) * words_; }
    static bool has(const std::uint64_t* set, std::size_t j) { return (set[j / 64] >> (j % 64)) & 1; }

    // The parent's path ends with needle[0, j) and the rest starts with needle[j, m).
    bool straddles(Index parent, std::string_view rest) const {
        const std::uint64_t* set = endsOf(parent);
        const std::size_t m = needle_.size();
        for (std::size_t w = 0; w < words_; ++w)
            for (std::uint64_t bits = set[w]; bits != 0; bits &= bits - 1) {
                const std::size_t j = w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
                if (rest.size() >= m - j && std::memcmp(rest.data(), needle_.data() + j, m - j) == 0) return true;
            }
        return false;
    }

    // The lengths j for which path(folder) = path(parent) + rest ends with needle[0, j).
    void noteEnds(Index folder, Index parent, std::string_view rest) {
        std::uint64_t* set = ends_.data() + static_cast<std::size_t>(folder) * words_;
        const std::size_t m = needle_.size();
        const std::size_t length = rest.size();
        for (std::size_t j = 1; j < m; ++j) {
            bool ends;
            if (j <= length)
                ends = rest[length - 1] == needle_[j - 1] &&
                       std::memcmp(rest.data() + length - j, needle_.data(), j) == 0;
            else   // the whole rest closes needle[0, j); the parent's path must end with the part before
                ends = parent != FoldedNames::noFolder && has(endsOf(parent), j - length) &&
                       std::memcmp(rest.data(), needle_.data() + (j - length), length) == 0;
            if (ends) set[j / 64] |= std::uint64_t{1} << (j % 64);
        }
    }

    const FoldedNames& folded_;
    std::string_view needle_;
    std::size_t words_;
    Index node_ = 0;
    std::size_t offset_ = 0;   // of the next node's rest
    Index folders_ = 0;        // folders taken so far
    std::vector<std::uint8_t> folderMatched_;
    std::vector<std::uint64_t> ends_;   // per folder, `words_` words of lengths
};

// Nodes between looks at the stop token.
constexpr Index kStopCheckInterval = 4096;

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

void DiskSearch::prepare(const DiskSnapshot& snapshot) { (void)foldedNames(snapshot); }

FileSearchResult DiskSearch::find(const DiskSnapshot& snapshot, std::string_view query,
                                  std::optional<FileCategory> category, std::int64_t minimumSize, FileSort sort,
                                  std::int64_t limit, std::stop_token stop) {
    const std::string trimmed = text::trim(query);
    const std::string needle = trimmed.empty() ? std::string() : text::foldForSearch(trimmed);
    // A query of combining marks alone folds to nothing, which every path contains.
    const bool filtersText = !needle.empty();
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
            if (i % kStopCheckInterval == 0 && stop.stop_requested()) return {};
            if (consider(i)) add(i);
        }
    } else {
        if (stop.stop_requested()) return {};   // before a first search builds the index
        const FoldedNames& folded = foldedNames(snapshot);
        PathMatcher matcher(folded, needle);
        // The text is looked at first: it reads the compact index, and a node's own record only
        // when its path matches.
        for (Index i = 0; i < n; ++i) {
            if (i % kStopCheckInterval == 0 && stop.stop_requested()) return {};
            const bool hit = matcher.next();   // also for folders: their children ask about them
            if (hit && folded.entries[i].isFile && consider(i)) add(i);
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
    auto byId = [&](const Match& a, const Match& b) { return snapshot.comparePaths(a.index, b.index) < 0; };
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
