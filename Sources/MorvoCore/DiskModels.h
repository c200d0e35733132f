#pragma once
// The values that carry one scan from the scanner to everything that shows or searches it.
//
// A snapshot stores its nodes compactly: every name once in one arena, parents and children by
// index, and a hash index from id (path) to node. Paths are spelled out on request from the
// names up to the root, and `DiskNode` values are made on request.
// A snapshot is immutable once built and travels as std::shared_ptr<const DiskSnapshot>.

#include "MorvoCore/FileCategory.h"
#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/Url.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace morvo {

using Date = std::chrono::system_clock::time_point;

struct DiskNode {
    std::string id;                 // absolute path
    Url url;
    std::string name;
    bool isDirectory = false;
    bool isSymbolicLink = false;
    std::int64_t logicalSize = 0;
    std::int64_t allocatedSize = 0;
    std::int64_t fileCount = 0;
    std::vector<std::string> children;   // ids, in the order the walk met them
    std::optional<std::string> parentID;
    std::optional<Date> modificationDate;
    FileCategory category = FileCategory::other;

    friend bool operator==(const DiskNode&, const DiskNode&) = default;
};

struct ScanProgress {
    std::int64_t fileCount = 0;
    std::int64_t itemCount = 0;
    std::int64_t logicalBytes = 0;
    std::string currentPath;
    friend bool operator==(const ScanProgress&, const ScanProgress&) = default;
};

struct ScanIssue {
    std::string id;       // a fresh UUID string
    std::string path;
    std::string message;
    friend bool operator==(const ScanIssue&, const ScanIssue&) = default;
};

// Makes an issue with a fresh id.
ScanIssue makeScanIssue(std::string path, std::string message);

class ScanError : public MorvoError {
public:
    enum class Kind { cannotEnumerate, notAFileURL };
    static ScanError cannotEnumerate(std::string rootPath) { return ScanError(Kind::cannotEnumerate, std::move(rootPath)); }
    static ScanError notAFileURL() { return ScanError(Kind::notAFileURL, {}); }
    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }
    std::string description() const override;

private:
    ScanError(Kind kind, std::string path) : kind_(kind), path_(std::move(path)) {}
    Kind kind_;
    std::string path_;
};

// Bytes per category, indexed by the category's position in allFileCategories.
struct CategoryTotals {
    std::array<std::int64_t, 6> bytes{};
    std::int64_t operator[](FileCategory c) const { return bytes[static_cast<std::size_t>(c)]; }
    std::int64_t& operator[](FileCategory c) { return bytes[static_cast<std::size_t>(c)]; }
    friend bool operator==(const CategoryTotals&, const CategoryTotals&) = default;
};

// What the builder records about one node besides its path.
struct NodeFacts {
    bool isDirectory = false;
    bool isSymbolicLink = false;
    std::int64_t logicalSize = 0;
    std::int64_t allocatedSize = 0;
    std::int64_t fileCount = 0;
    std::optional<Date> modificationDate;
    FileCategory category = FileCategory::other;
};

class DiskSnapshotBuilder;

// DiskSnapshot::hashPath of the paths inside one folder, with the folder's part hashed once.
class PathHash {
public:
    explicit PathHash(std::string_view folder);  // a normalised path
    std::uint64_t child(std::string_view name) const;  // hashPath(folder + "/" + name)
    // The state for the subfolder `name`, from this one's: no need to spell out its path.
    PathHash descend(std::string_view name) const;

private:
    PathHash() = default;
    std::uint64_t state_ = 0;
    std::size_t length_ = 0;
    char pending_[8] = {};
    std::uint8_t pendingLength_ = 0;
};

class DiskSnapshot {
public:
    using Index = std::uint32_t;
    static constexpr Index noIndex = UINT32_MAX;
    static constexpr std::size_t kMaxNameLength = UINT16_MAX;

    Date startedAt{};
    Date finishedAt{};
    std::vector<ScanIssue> issues;
    std::int64_t visitedFileCount = 0;
    std::int64_t skippedLinkCount = 0;
    bool isPartial = false;

    const std::string& rootID() const { return rootID_; }
    std::size_t nodeCount() const { return records_.size(); }
    static constexpr Index rootIndex = 0;

    DiskNode root() const { return node(rootIndex); }
    // Spells out the id of every child: a folder may hold hundreds of thousands. Readers that need
    // no child ids take nodeWithoutChildren() and children().
    DiskNode node(Index index) const;
    // The node's fields with `children` left empty.
    DiskNode nodeWithoutChildren(Index index) const;
    std::optional<DiskNode> node(std::string_view id) const;
    std::optional<Index> indexOf(std::string_view id) const;
    bool contains(std::string_view id) const { return indexOf(id).has_value(); }

    // Reads by index. A path is spelled out from the names up to the root; the other reads copy nothing.
    std::string path(Index i) const;
    void appendPath(Index i, std::string& out) const;
    std::size_t pathLength(Index i) const { return records_[i].pathLength; }
    bool pathEquals(Index i, std::string_view id) const;
    // Byte order of two nodes' paths (negative, 0 or positive), without spelling them out.
    int comparePaths(Index a, Index b) const;
    std::string_view name(Index i) const;
    bool isDirectory(Index i) const { return records_[i].flags & kDirectory; }
    bool isSymbolicLink(Index i) const { return records_[i].flags & kSymbolicLink; }
    bool isRegularFile(Index i) const { return records_[i].flags & kRegularFile; }
    std::int64_t logicalSize(Index i) const { return records_[i].logicalSize; }
    std::int64_t allocatedSize(Index i) const { return records_[i].allocatedSize; }
    std::int64_t fileCount(Index i) const { return records_[i].fileCount; }
    FileCategory category(Index i) const { return records_[i].category; }
    std::optional<Date> modificationDate(Index i) const;
    std::optional<Index> parent(Index i) const;
    std::span<const Index> children(Index i) const;

    // Seconds from startedAt to finishedAt.
    double duration() const;
    // Logical bytes per category over every node that is neither a directory nor a link.
    CategoryTotals categoryTotals() const;
    // Files (not folders, not links) at least `minimumSize` bytes, of `category` when given, inside
    // the scope `within` when given, whose name or path contains the trimmed query
    // (case-insensitively); largest first, ties by id. No limit.
    std::vector<DiskNode> files(std::string_view query, std::int64_t minimumSize,
                                std::optional<FileCategory> category,
                                std::optional<std::string_view> within) const;

    // How many child ids node() has spelled out for this snapshot, by any thread (lets a test
    // check that a reader never walks a folder's children).
    std::uint64_t spelledOutChildIDs() const { return spelledOutChildIDs_->load(std::memory_order_relaxed); }

    // The hash of an id that the id index uses; a walk may compute it off the committing thread.
    static std::uint64_t hashPath(std::string_view path);

    // A value derived from this snapshot on first use, by whichever thread asks first, then kept
    // for the snapshot's lifetime (the search keeps its folded-path index here).
    std::shared_ptr<const void> derived(const std::function<std::shared_ptr<const void>()>& make) const;

private:
    friend class DiskSnapshotBuilder;
    enum : std::uint8_t { kDirectory = 1, kSymbolicLink = 2, kRegularFile = 4, kHasDate = 8 };

    // 64 bytes: a scan writes one per node, and every byte of them is memory the kernel clears.
    struct Record {
        std::uint64_t nameOffset = 0;   // in arena_
        std::uint32_t pathLength = 0;
        std::uint16_t nameLength = 0;   // a name is at most kMaxNameLength bytes
        std::uint8_t flags = 0;
        FileCategory category = FileCategory::other;
        Index parent = noIndex;
        Index childrenBegin = 0;
        Index childrenCount = 0;
        std::uint32_t pathHash = 0;     // low half of hashPath(path)
        std::int64_t logicalSize = 0;
        std::int64_t allocatedSize = 0;
        std::int64_t fileCount = 0;
        std::int64_t modificationNanoseconds = 0;
    };
    static_assert(sizeof(Record) == 64);

    struct DerivedSlot {
        std::once_flag once;
        std::shared_ptr<const void> value;
    };

    std::string rootID_;
    std::string rootName_;
    bool rootIsSlash_ = false;          // children of "/" join their names without another "/"
    std::string arena_;                 // every name but the root's, back to back
    std::vector<Record> records_;       // index 0 is the root
    std::vector<Index> childIndex_;     // children of every node, grouped by parent
    std::vector<Index> hashSlots_;      // open addressing over records_, noIndex = empty
    std::shared_ptr<DerivedSlot> derived_ = std::make_shared<DerivedSlot>();
    std::shared_ptr<std::atomic<std::uint64_t>> spelledOutChildIDs_ = std::make_shared<std::atomic<std::uint64_t>>(0);
};

// Assembles a snapshot node by node. Nodes are added parent first; each node's children keep the
// order in which they were added.
class DiskSnapshotBuilder {
public:
    using Index = DiskSnapshot::Index;

    // `rootPath` must be normalised; `rootName` is the root's display name.
    DiskSnapshotBuilder(std::string rootPath, std::string rootName, const NodeFacts& root);

    // Adds a child named `name` below `parent`; its id is parent's path + "/" + name. `pathHash`,
    // when given, is DiskSnapshot::hashPath of that id. A name longer than kMaxNameLength bytes
    // (no file system allows one) is refused with std::length_error.
    Index add(Index parent, std::string_view name, const NodeFacts& facts,
              std::optional<std::uint64_t> pathHash = std::nullopt);
    std::size_t size() const { return snapshot_->records_.size(); }
    void reserve(std::size_t nodes, std::size_t nameBytes);
    std::string path(Index i) const { return snapshot_->path(i); }
    Index parent(Index i) const { return snapshot_->records_[i].parent; }

    // Adds every node's logical size, allocated size and file count to its parent's, last added
    // first, so every folder holds the totals of its subtree. Sums saturate.
    void accumulateTotals();

    // For a walk that finishes folders bottom-up: gives `folder` its children list (exactly the
    // nodes added below it, in the order added) and, as its totals, the sums of theirs, which
    // must be final. Once a folder is closed this way, every node with children must be, and
    // neither accumulateTotals() nor finish() builds the lists or totals again.
    void closeFolder(Index folder, std::span<const Index> children);

    // Builds the children lists (unless folders were closed) and the id index. The builder is
    // spent afterwards.
    std::shared_ptr<const DiskSnapshot> finish(Date startedAt, Date finishedAt, std::vector<ScanIssue> issues,
                                               std::int64_t visitedFileCount, std::int64_t skippedLinkCount,
                                               bool isPartial);

private:
    void fill(DiskSnapshot::Record& record, const NodeFacts& facts);
    void buildChildrenLists();
    std::shared_ptr<DiskSnapshot> snapshot_;
    bool foldersClosed_ = false;
};

// A snapshot holding only `root` (a placeholder or a stand-in after cleanup).
std::shared_ptr<const DiskSnapshot> makeSingleNodeSnapshot(std::string rootPath, std::string rootName,
                                                           const NodeFacts& root, Date startedAt, Date finishedAt,
                                                           std::vector<ScanIssue> issues, bool isPartial);

} // namespace morvo
