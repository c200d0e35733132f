#include "MorvoCore/DiskModels.h"

#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"
#include "MorvoCore/Platform/Uuid.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include <sys/mman.h>

namespace morvo {

namespace {

constexpr std::size_t kParallelIndexThreshold = 1 << 16;  // nodes; below this one thread is quicker

// Eight bytes a step: building the id index hashes every path of a snapshot once, and a
// byte-at-a-time hash made that a visible share of a scan. The length is mixed in last, so a
// folder's path can be hashed once and each child's name added to it (PathHash).
constexpr std::uint64_t kHashSeed = 0x9E3779B97F4A7C15ull;

std::uint64_t absorbWords(std::uint64_t h, const char* p, std::size_t words) {
    for (; words > 0; p += 8, --words) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
    }
    return h;
}

std::uint64_t finishHash(std::uint64_t h, const char* tail, std::size_t tailLength, std::size_t totalLength) {
    std::uint64_t w = 0;
    std::memcpy(&w, tail, tailLength);
    h = (h ^ w ^ (static_cast<std::uint64_t>(totalLength) * 0xFF51AFD7ED558CCDull)) * 0x94D049BB133111EBull;
    h ^= h >> 31;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return h;
}

std::uint64_t hashBytes(std::string_view s) {
    const std::size_t words = s.size() / 8;
    return finishHash(absorbWords(kHashSeed, s.data(), words), s.data() + words * 8, s.size() % 8, s.size());
}

std::int64_t toNanoseconds(Date d) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(d.time_since_epoch()).count();
}

// The builder's large arrays fill front to back on the committing thread; huge pages spare it most
// of the page faults. Only whole huge pages inside the array are advised.
void adviseHugePages(void* data, std::size_t bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

} // namespace

ScanIssue makeScanIssue(std::string path, std::string message) {
    return ScanIssue{Uuid::make().string(), std::move(path), std::move(message)};
}

std::string ScanError::description() const {
    switch (kind_) {
    case Kind::cannotEnumerate:
        return "Morvo couldn\u2019t read " + path_ + ". Choose another folder or check its access permissions.";
    case Kind::notAFileURL:
        return "Choose a folder or volume on this Mac.";
    }
    return {};
}

// MARK: - DiskSnapshot

std::string DiskSnapshot::path(Index i) const {
    std::string out;
    appendPath(i, out);
    return out;
}

void DiskSnapshot::appendPath(Index i, std::string& out) const {
    const std::size_t start = out.size();
    out.resize(start + records_[i].pathLength);
    // Filled from the end: each name, then its separator, and the root's path first of all.
    char* end = out.data() + out.size();
    for (Index k = i; k != rootIndex;) {
        const Record& r = records_[k];
        end -= r.nameLength;
        std::memcpy(end, arena_.data() + r.nameOffset, r.nameLength);
        k = r.parent;
        if (!(k == rootIndex && rootIsSlash_)) *--end = '/';
    }
    std::memcpy(out.data() + start, rootID_.data(), rootID_.size());
}

bool DiskSnapshot::pathEquals(Index i, std::string_view id) const {
    if (id.size() != records_[i].pathLength) return false;
    std::size_t end = id.size();
    for (Index k = i; k != rootIndex;) {
        const Record& r = records_[k];
        end -= r.nameLength;
        if (std::memcmp(id.data() + end, arena_.data() + r.nameOffset, r.nameLength) != 0) return false;
        k = r.parent;
        if (!(k == rootIndex && rootIsSlash_) && id[--end] != '/') return false;
    }
    return id.substr(0, end) == rootID_;
}

int DiskSnapshot::comparePaths(Index a, Index b) const {
    if (a == b) return 0;
    auto depth = [this](Index k) {
        std::size_t d = 0;
        for (; k != rootIndex; k = records_[k].parent) ++d;
        return d;
    };
    // Up to the nearest common folder, noting its children on the way to a and to b.
    std::size_t da = depth(a), db = depth(b);
    Index x = a, y = b, belowA = noIndex, belowB = noIndex;
    for (; da > db; --da) belowA = std::exchange(x, records_[x].parent);
    for (; db > da; --db) belowB = std::exchange(y, records_[y].parent);
    while (x != y) {
        belowA = std::exchange(x, records_[x].parent);
        belowB = std::exchange(y, records_[y].parent);
    }
    if (belowA == noIndex) return -1;  // a holds b: its path is a prefix of b's
    if (belowB == noIndex) return 1;
    // Both paths are the common folder's path, a separator, then these two names and what follows.
    const std::string_view na = name(belowA), nb = name(belowB);
    const std::size_t common = std::min(na.size(), nb.size());
    if (const int order = std::memcmp(na.data(), nb.data(), common); order != 0) return order;
    // One name is a prefix of the other: after it the path ends, or goes on with a "/".
    auto after = [](Index node, Index below, std::string_view n, std::size_t at) -> int {
        if (at < n.size()) return static_cast<unsigned char>(n[at]);
        return node == below ? -1 : '/';
    };
    const int ca = after(a, belowA, na, common), cb = after(b, belowB, nb, common);
    if (ca != cb) return ca < cb ? -1 : 1;
    // Two siblings of one name (no file system makes them): spell the paths out.
    return path(a).compare(path(b));
}

std::string_view DiskSnapshot::name(Index i) const {
    if (i == rootIndex) return rootName_;
    const Record& r = records_[i];
    return std::string_view(arena_).substr(r.nameOffset, r.nameLength);
}

std::optional<Date> DiskSnapshot::modificationDate(Index i) const {
    const Record& r = records_[i];
    if (!(r.flags & kHasDate)) return std::nullopt;
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(r.modificationNanoseconds)));
}

std::optional<DiskSnapshot::Index> DiskSnapshot::parent(Index i) const {
    Index p = records_[i].parent;
    if (p == noIndex) return std::nullopt;
    return p;
}

std::span<const DiskSnapshot::Index> DiskSnapshot::children(Index i) const {
    const Record& r = records_[i];
    return std::span<const Index>(childIndex_.data() + r.childrenBegin, r.childrenCount);
}

DiskNode DiskSnapshot::nodeWithoutChildren(Index i) const {
    DiskNode n;
    n.id = std::string(path(i));
    n.url = Url{"file", "", n.id, isDirectory(i)};
    n.name = std::string(name(i));
    n.isDirectory = isDirectory(i);
    n.isSymbolicLink = isSymbolicLink(i);
    n.logicalSize = logicalSize(i);
    n.allocatedSize = allocatedSize(i);
    n.fileCount = fileCount(i);
    if (auto p = parent(i)) n.parentID = std::string(path(*p));
    n.modificationDate = modificationDate(i);
    n.category = category(i);
    return n;
}

DiskNode DiskSnapshot::node(Index i) const {
    DiskNode n = nodeWithoutChildren(i);
    auto kids = children(i);
    n.children.reserve(kids.size());
    const std::string prefix = n.id == "/" ? n.id : n.id + "/";
    for (Index c : kids) n.children.emplace_back(prefix).append(name(c));
    spelledOutChildIDs_->fetch_add(kids.size(), std::memory_order_relaxed);
    return n;
}

std::optional<DiskSnapshot::Index> DiskSnapshot::indexOf(std::string_view id) const {
    if (hashSlots_.empty()) return std::nullopt;
    const std::size_t mask = hashSlots_.size() - 1;
    const std::uint64_t hash = hashBytes(id);
    const auto low = static_cast<std::uint32_t>(hash);
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        Index candidate = hashSlots_[slot];
        if (candidate == noIndex) return std::nullopt;
        if (records_[candidate].pathHash == low && pathEquals(candidate, id)) return candidate;
    }
}

std::optional<DiskNode> DiskSnapshot::node(std::string_view id) const {
    if (auto i = indexOf(id)) return node(*i);
    return std::nullopt;
}

std::uint64_t DiskSnapshot::hashPath(std::string_view path) { return hashBytes(path); }

PathHash::PathHash(std::string_view folder) {
    std::string prefix(folder);
    if (prefix != "/") prefix.push_back('/');
    length_ = prefix.size();
    const std::size_t words = length_ / 8;
    state_ = absorbWords(kHashSeed, prefix.data(), words);
    pendingLength_ = static_cast<std::uint8_t>(length_ % 8);
    std::memcpy(pending_, prefix.data() + words * 8, pendingLength_);
}

std::uint64_t PathHash::child(std::string_view name) const {
    const std::size_t n = pendingLength_ + name.size();
    char local[8 + 256];
    std::string spill;
    char* buffer = local;
    if (n > sizeof local) {
        spill.resize(n);
        buffer = spill.data();
    }
    std::memcpy(buffer, pending_, pendingLength_);
    std::memcpy(buffer + pendingLength_, name.data(), name.size());
    const std::size_t words = n / 8;
    return finishHash(absorbWords(state_, buffer, words), buffer + words * 8, n % 8, length_ + name.size());
}

PathHash PathHash::descend(std::string_view name) const {
    std::string buffer(pending_, pendingLength_);
    buffer.append(name);
    buffer.push_back('/');
    PathHash out;
    const std::size_t words = buffer.size() / 8;
    out.state_ = absorbWords(state_, buffer.data(), words);
    out.length_ = length_ + name.size() + 1;
    out.pendingLength_ = static_cast<std::uint8_t>(buffer.size() % 8);
    std::memcpy(out.pending_, buffer.data() + words * 8, out.pendingLength_);
    return out;
}

double DiskSnapshot::duration() const { return std::chrono::duration<double>(finishedAt - startedAt).count(); }

CategoryTotals DiskSnapshot::categoryTotals() const {
    CategoryTotals totals;
    for (const Record& r : records_) {
        if (r.flags & (kDirectory | kSymbolicLink)) continue;
        totals[r.category] = saturatingAdd(totals[r.category], r.logicalSize);
    }
    return totals;
}

std::vector<DiskNode> DiskSnapshot::files(std::string_view query, std::int64_t minimumSize,
                                          std::optional<FileCategory> category,
                                          std::optional<std::string_view> within) const {
    const std::string trimmed = text::trim(query);
    std::string prefix;
    if (within) prefix = *within == "/" ? std::string("/") : std::string(*within) + "/";
    std::vector<Index> matches;
    for (Index i = 0; i < records_.size(); ++i) {
        const Record& r = records_[i];
        if (r.flags & (kDirectory | kSymbolicLink)) continue;
        if (r.logicalSize < minimumSize) continue;
        if (category && *category != r.category) continue;
        if (within && !path(i).starts_with(prefix)) continue;
        if (!trimmed.empty() && !text::containsCaseInsensitive(name(i), trimmed) &&
            !text::containsCaseInsensitive(path(i), trimmed))
            continue;
        matches.push_back(i);
    }
    std::sort(matches.begin(), matches.end(), [this](Index a, Index b) {
        if (logicalSize(a) != logicalSize(b)) return logicalSize(a) > logicalSize(b);
        return comparePaths(a, b) < 0;
    });
    std::vector<DiskNode> out;
    out.reserve(matches.size());
    for (Index i : matches) out.push_back(node(i));
    return out;
}

std::shared_ptr<const void> DiskSnapshot::derived(const std::function<std::shared_ptr<const void>()>& make) const {
    std::call_once(derived_->once, [&] { derived_->value = make(); });
    return derived_->value;
}

// MARK: - DiskSnapshotBuilder

DiskSnapshotBuilder::DiskSnapshotBuilder(std::string rootPath, std::string rootName, const NodeFacts& root)
    : snapshot_(std::make_shared<DiskSnapshot>()) {
    snapshot_->rootIsSlash_ = rootPath == "/";
    snapshot_->rootName_ = std::move(rootName);
    DiskSnapshot::Record record;
    record.nameOffset = 0;   // the root's path is rootID_; it has no name in the arena
    record.pathLength = static_cast<std::uint32_t>(rootPath.size());
    record.nameLength = 0;
    record.pathHash = static_cast<std::uint32_t>(hashBytes(rootPath));
    snapshot_->rootID_ = std::move(rootPath);
    fill(record, root);
    snapshot_->records_.push_back(record);
}

void DiskSnapshotBuilder::reserve(std::size_t nodes, std::size_t nameBytes) {
    snapshot_->records_.reserve(nodes);
    snapshot_->childIndex_.reserve(nodes);
    snapshot_->arena_.reserve(nameBytes);
    adviseHugePages(snapshot_->records_.data(), snapshot_->records_.capacity() * sizeof(DiskSnapshot::Record));
    adviseHugePages(snapshot_->arena_.data(), snapshot_->arena_.capacity());
    // The id index's table, cleared now, while a walk is starting and threads are idle, rather
    // than in finish(), when everything waits for it. Up to 2^18 nodes; finish() makes another
    // when more arrive.
    std::size_t slots = 16;
    while (slots < 2 * std::min<std::size_t>(nodes, std::size_t{1} << 18)) slots <<= 1;
    snapshot_->hashSlots_.assign(slots, DiskSnapshot::noIndex);
}

void DiskSnapshotBuilder::fill(DiskSnapshot::Record& record, const NodeFacts& facts) {
    record.flags = (facts.isDirectory ? DiskSnapshot::kDirectory : 0) |
                   (facts.isSymbolicLink ? DiskSnapshot::kSymbolicLink : 0) |
                   (facts.fileCount > 0 && !facts.isDirectory ? DiskSnapshot::kRegularFile : 0) |
                   (facts.modificationDate ? DiskSnapshot::kHasDate : 0);
    record.logicalSize = facts.logicalSize;
    record.allocatedSize = facts.allocatedSize;
    record.fileCount = facts.fileCount;
    record.modificationNanoseconds = facts.modificationDate ? toNanoseconds(*facts.modificationDate) : 0;
    record.category = facts.category;
}

DiskSnapshotBuilder::Index DiskSnapshotBuilder::add(Index parent, std::string_view name, const NodeFacts& facts,
                                                    std::optional<std::uint64_t> pathHash) {
    if (name.size() > DiskSnapshot::kMaxNameLength) throw std::length_error("name too long for a snapshot node");
    DiskSnapshot& s = *snapshot_;
    if (s.arena_.capacity() - s.arena_.size() < name.size()) {
        // Growing past the reservation: move to a larger array that is advised like the first.
        s.arena_.reserve(std::max(s.arena_.capacity() * 2, s.arena_.size() + name.size()));
        adviseHugePages(s.arena_.data(), s.arena_.capacity());
    }
    if (s.records_.size() == s.records_.capacity()) {
        s.records_.reserve(s.records_.capacity() * 2 + 16);
        adviseHugePages(s.records_.data(), s.records_.capacity() * sizeof(DiskSnapshot::Record));
    }
    const DiskSnapshot::Record& p = s.records_[parent];
    const bool joinsWithSlash = !(parent == DiskSnapshot::rootIndex && s.rootIsSlash_);
    const std::uint64_t pathLength = std::uint64_t{p.pathLength} + (joinsWithSlash ? 1 : 0) + name.size();
    if (pathLength > UINT32_MAX) throw std::length_error("path too long for a snapshot node");
    DiskSnapshot::Record record;
    record.nameOffset = s.arena_.size();
    s.arena_.append(name);
    record.pathLength = static_cast<std::uint32_t>(pathLength);
    record.nameLength = static_cast<std::uint16_t>(name.size());
    record.parent = parent;
    fill(record, facts);
    s.records_.push_back(record);
    const auto index = static_cast<Index>(s.records_.size() - 1);
    s.records_.back().pathHash = static_cast<std::uint32_t>(pathHash ? *pathHash : hashBytes(s.path(index)));
    return index;
}

void DiskSnapshotBuilder::closeFolder(Index folder, std::span<const Index> children) {
    DiskSnapshot& s = *snapshot_;
    foldersClosed_ = true;
    auto& f = s.records_[folder];
    f.childrenBegin = static_cast<Index>(s.childIndex_.size());
    f.childrenCount = static_cast<Index>(children.size());
    s.childIndex_.insert(s.childIndex_.end(), children.begin(), children.end());
    std::int64_t logical = f.logicalSize, allocated = f.allocatedSize, count = f.fileCount;
    for (Index c : children) {
        const auto& r = s.records_[c];
        logical = saturatingAdd(logical, r.logicalSize);
        allocated = saturatingAdd(allocated, r.allocatedSize);
        count = saturatingAdd(count, r.fileCount);
    }
    f.logicalSize = logical;
    f.allocatedSize = allocated;
    f.fileCount = count;
}

void DiskSnapshotBuilder::accumulateTotals() {
    if (foldersClosed_) return;
    auto& records = snapshot_->records_;
    for (std::size_t i = records.size(); i-- > 1;) {
        auto& r = records[i];
        if (r.parent == DiskSnapshot::noIndex) continue;
        auto& p = records[r.parent];
        p.logicalSize = saturatingAdd(p.logicalSize, r.logicalSize);
        p.allocatedSize = saturatingAdd(p.allocatedSize, r.allocatedSize);
        p.fileCount = saturatingAdd(p.fileCount, r.fileCount);
    }
}

std::shared_ptr<const DiskSnapshot> DiskSnapshotBuilder::finish(Date startedAt, Date finishedAt,
                                                                std::vector<ScanIssue> issues,
                                                                std::int64_t visitedFileCount,
                                                                std::int64_t skippedLinkCount, bool isPartial) {
    DiskSnapshot& s = *snapshot_;
    s.startedAt = startedAt;
    s.finishedAt = finishedAt;
    s.issues = std::move(issues);
    s.visitedFileCount = visitedFileCount;
    s.skippedLinkCount = skippedLinkCount;
    s.isPartial = isPartial;

    const std::size_t n = s.records_.size();

    // The id index: open addressing, at most half full.
    std::size_t slots = 16;
    while (slots < n * 2) slots <<= 1;
    // A table cleared by reserve() serves when it is large enough and at most four times too large.
    if (s.hashSlots_.size() < slots || s.hashSlots_.size() > 4 * slots)
        s.hashSlots_.assign(slots, DiskSnapshot::noIndex);
    slots = s.hashSlots_.size();
    const std::size_t mask = slots - 1;
    // Slots come from the stored low half of each hash unless the table is wider than that.
    const bool wide = slots > (std::size_t{1} << 32);
    // A large table is filled by several threads at once, each claiming free slots atomically,
    // while the calling thread builds the children lists (other fields of the same records).
    // Where a node lands then depends on timing, but not whether a lookup finds it.
    const unsigned threads = n >= kParallelIndexThreshold ? std::min(8u, std::thread::hardware_concurrency()) : 1;
    auto insertRange = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            std::size_t slot = (wide ? hashBytes(s.path(static_cast<Index>(i))) : s.records_[i].pathHash) & mask;
            for (;; slot = (slot + 1) & mask) {
                std::atomic_ref<Index> cell(s.hashSlots_[slot]);
                Index empty = DiskSnapshot::noIndex;
                if (cell.load(std::memory_order_relaxed) == empty &&
                    cell.compare_exchange_strong(empty, static_cast<Index>(i), std::memory_order_relaxed))
                    break;
            }
        }
    };
    std::vector<std::thread> helpers;
    unsigned handedOut = 1;  // ranges 1 .. handedOut-1 have a helper
    try {
        helpers.reserve(threads - 1);
        for (; handedOut < threads; ++handedOut)
            helpers.emplace_back(insertRange, n * handedOut / threads, n * (handedOut + 1) / threads);
    } catch (...) {
        // No thread to be had: the calling thread fills the ranges left over.
    }

    // Children, grouped by parent in insertion order (a counting sort).
    if (!foldersClosed_) buildChildrenLists();

    for (unsigned t = handedOut; t < threads; ++t) insertRange(n * t / threads, n * (t + 1) / threads);
    insertRange(0, n / threads);
    for (auto& h : helpers) h.join();
    return std::move(snapshot_);
}

void DiskSnapshotBuilder::buildChildrenLists() {
    DiskSnapshot& s = *snapshot_;
    const std::size_t n = s.records_.size();
    for (auto& r : s.records_) r.childrenCount = 0;
    for (std::size_t i = 1; i < n; ++i) s.records_[s.records_[i].parent].childrenCount++;
    Index running = 0;
    for (auto& r : s.records_) {
        r.childrenBegin = running;
        running += r.childrenCount;
        r.childrenCount = 0;
    }
    s.childIndex_.assign(n > 0 ? n - 1 : 0, 0);
    for (std::size_t i = 1; i < n; ++i) {
        auto& p = s.records_[s.records_[i].parent];
        s.childIndex_[p.childrenBegin + p.childrenCount++] = static_cast<Index>(i);
    }
}

std::shared_ptr<const DiskSnapshot> makeSingleNodeSnapshot(std::string rootPath, std::string rootName,
                                                           const NodeFacts& root, Date startedAt, Date finishedAt,
                                                           std::vector<ScanIssue> issues, bool isPartial) {
    DiskSnapshotBuilder builder(std::move(rootPath), std::move(rootName), root);
    return builder.finish(startedAt, finishedAt, std::move(issues), root.fileCount, root.isSymbolicLink ? 1 : 0,
                          isPartial);
}

} // namespace morvo
