#include "MorvoCore/DiskScanner.h"

#include "MorvoCore/DiskScannerInternal.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

// How the walk stays exactly the single-threaded one whatever the number of threads:
// reader threads only read folders (names, lstat, category) into listings; the calling thread
// commits the entries of those listings in one fixed pre-order (each folder's entries in the
// order its listing holds them), and applies the node budget, the issue cap and the hard-link
// rule as it commits. A folder the committer reaches before any reader has it is read on the
// spot. Readers stay at most a window of entries ahead of the committer, so a budget cut
// leaves little read in vain and memory stays bounded.
//
// No folder needs more of its names than the node budget: the committer takes at most that many
// entries in all. A listing stops there (at the end of a read of names) and keeps a second handle
// on the folder positioned after what it took; should the committer go through every entry of
// such a listing within the budget (some could not be read), it lists the rest of the folder
// through that handle and goes on as if the listing had never been cut.

namespace morvo {

DiskScanner::DiskScanner(std::int64_t maxNodeCount, std::int64_t maxIssueCount)
    : maxNodeCount_(std::max<std::int64_t>(maxNodeCount, 1)), maxIssueCount_(std::max<std::int64_t>(maxIssueCount, 1)) {}

std::shared_ptr<const DiskSnapshot> DiskScanner::scan(const Url& url, const ProgressHandler& progress,
                                                      std::stop_token stop) const {
    return detail::scanWith({maxNodeCount_, maxIssueCount_, threads_}, DirectoryReader::system(), url, progress,
                            std::move(stop));
}

namespace detail {

namespace {

constexpr const char* kMountedVolumesMessage =
    "Mounted volumes are excluded from a startup-disk scan to avoid counting duplicate or external volumes. "
    "Scan a mounted volume directly to inspect it.";
constexpr std::int64_t kReadAheadWindow = 1 << 16;  // entries read but not yet committed
constexpr int kClockCheckInterval = 32;              // committed entries between looks at the clock
constexpr auto kChainPause = std::chrono::microseconds(100);

enum class Kind : std::uint8_t { regular, directory, symbolicLink, other };

// 48 bytes: readers write one per entry and the committer reads it on another core.
struct ReadEntry {
    std::uint32_t nameOffset = 0;
    std::uint16_t nameLength = 0;
    Kind kind = Kind::other;
    bool excluded = false;
    bool multiLink = false;  // a regular file with 2 or more names; its device and inode are in its chunk
    FileCategory category = FileCategory::other;
    std::uint16_t error = 0;  // errno of the lstat
    // A folder's index into its chunk's subfolders, a multi-linked file's into its chunk's links.
    std::int32_t child = -1;
    std::uint64_t pathHash = 0;  // the id index's hash, computed here rather than on the committer
    std::int64_t logicalSize = 0;
    std::int64_t allocatedSize = 0;
    std::int64_t modificationNanoseconds = 0;
};
static_assert(sizeof(ReadEntry) == 48);

struct InodeKey {
    std::uint64_t device;
    std::uint64_t number;
    friend bool operator==(const InodeKey&, const InodeKey&) = default;
};

static_assert(std::is_trivially_destructible_v<ReadEntry>, "listings are freed without running destructors");

// States of a listing or a chunk. Only the committer ever waits for one; it sets kWaiter on a
// claimed state first, so the reader that finishes wakes it only then (a wake-up is a system call).
// kChain marks what a reader going down a chain of lone subfolders claimed: the committer looks
// again after a pause rather than have the reader wake it at every level.
enum : std::uint32_t { kPending = 0, kClaimed = 1, kDone = 2, kWaiter = 4, kChain = 8 };
using State = std::atomic<std::uint32_t>;

// The task queue's lock. Every reader takes it for a few heap operations per folder; with a
// sleeping lock, waiters paid a futex wake-up and a scheduling delay far longer than the section.
class SpinMutex {
public:
    static void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

    void lock() {
        for (int spins = 0; held_.exchange(true, std::memory_order_acquire);) {
            while (held_.load(std::memory_order_relaxed)) {
                if (++spins < 128)
                    cpuRelax();
                else
                    std::this_thread::yield();  // the holder may be off its core
            }
        }
    }
    bool try_lock() { return !held_.load(std::memory_order_relaxed) && !held_.exchange(true, std::memory_order_acquire); }
    void unlock() { held_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> held_{false};
};

struct FolderJob;

constexpr std::uint32_t kChunkSize = 256;  // entries
// How many components of a folder's place in the commit order the queue compares exactly, and
// how many of them a task carries inline.
constexpr std::uint32_t kKept = 32;
constexpr std::uint32_t kHead = 8;

// A run of consecutive entries of one listing, read (lstat, category) as one piece of work, so
// that several readers can share a large folder.
struct Chunk {
    State state{kPending};
    std::vector<std::shared_ptr<FolderJob>> subfolders;  // of this chunk's folder entries
    std::vector<InodeKey> links;                         // of its multi-linked files
};

// One folder to read, and once read, its listing. A folder knows its parent and its own name,
// never its whole path: in a deep tree every pending folder holding its path made the scan
// quadratic in the depth. It is opened through its parent's descriptor, or failing that through
// the nearest ancestor that still has one.
//
// Lifetimes: a folder owns the jobs of its subfolders (through its chunks); `parent` is not an
// owning pointer. Every ancestor of a folder not yet listed is alive as long as the walk runs,
// because the committer releases a folder only after it has listed and left all of its
// subfolders; the scan joins the readers before it lets jobs go on any other way.
struct FolderJob {
    // The root; `rootPath` is its whole path.
    FolderJob(const DirectoryReader& r, std::string rootPath, PathTraits t)
        : reader(r), name(std::move(rootPath)), traits(t), hash(name), keepsHandle(true) {}
    // The subfolder `n` at entry `index` of `p`. With `pins`, it holds a use of `p`'s descriptor
    // (taken by the caller) until it is opened.
    FolderJob(FolderJob& p, std::string_view n, std::uint32_t index, std::uint64_t sequenceNumber, PathTraits t,
              bool pins)
        : reader(p.reader), parent(&p), name(n), depth(p.depth + 1), indexInParent(index),
          parentSequence(p.sequence), sequence(sequenceNumber), head(p.head), traits(t), hash(p.hash.descend(n)),
          pinsParent(pins) {
        if (depth <= kKept) head[depth - 1] = index;
    }
    // The rest of `previous`'s folder, to be listed through `rest`, a handle whose position is past
    // the names `previous` holds: the same folder, later in the same listing.
    FolderJob(const FolderJob& previous, int rest)
        : reader(previous.reader), parent(previous.parent), name(previous.name), depth(previous.depth),
          indexInParent(previous.indexInParent), parentSequence(previous.parentSequence), sequence(previous.sequence),
          head(previous.head), traits(previous.traits), hash(previous.hash), keepsHandle(previous.keepsHandle),
          cursor(rest) {}
    FolderJob(const FolderJob&) = delete;
    FolderJob& operator=(const FolderJob&) = delete;

    ~FolderJob() {
        if (const int h = handle.load(std::memory_order_relaxed); h >= 0) reader.closeDirectory(h);
        for (const int h : {cursor, remainder})
            if (h >= 0) reader.closeDirectory(h);
        // Subfolders are let go here one at a time: freed recursively, a deep tree would take a
        // stack frame per level.
        try {
            std::vector<std::shared_ptr<FolderJob>> orphans;
            takeSubfolders(orphans);
            while (!orphans.empty()) {
                std::shared_ptr<FolderJob> job = std::move(orphans.back());
                orphans.pop_back();
                if (job.use_count() == 1) job->takeSubfolders(orphans);
            }
        } catch (...) {
            // Out of memory: what was not taken is freed the recursive way.
        }
    }

    const DirectoryReader& reader;
    FolderJob* const parent = nullptr;
    const std::string name;  // in the parent; the root's whole path
    const std::uint32_t depth = 0;
    const std::uint32_t indexInParent = 0;
    // Creation numbers of the parent and of this folder; they order the queue below kKept levels.
    const std::uint64_t parentSequence = 0;
    const std::uint64_t sequence = 0;
    // The first kKept entry indices from the root down to this folder (its place in the commit
    // order: the lexicographic order of these paths is the committer's pre-order).
    std::array<std::uint32_t, kKept> head{};
    const PathTraits traits;  // what this folder's path contributes to its entries' categories
    const PathHash hash;      // this folder's path, for its entries' id hashes
    const bool keepsHandle = false;  // the root's descriptor stays open: the last ancestor to open through
    const bool pinsParent = false;
    State state{kPending};  // of the listing: open and read the names
    int openError = 0;
    int readError = 0;
    int cursor = -1;     // for the rest of a cut listing: the handle to list through instead of opening
    int remainder = -1;  // when the listing was cut: a handle positioned after its names
    // The descriptor, open while it has users: each chunk until it is read, each pinning
    // subfolder until it is opened, and for the root the whole scan.
    std::atomic<int> handle{-1};
    std::atomic<std::uint32_t> handleUsers{0};
    // The listing: every name's entry (a chunk's part is valid once it is done), then the names,
    // in one block.
    std::unique_ptr<std::byte[]> listing;
    std::span<ReadEntry> entries;
    std::string_view names;
    Chunk firstChunk;
    std::unique_ptr<Chunk[]> laterChunks;  // chunks 1 and on
    std::uint32_t chunkCount = 0;

    Chunk& chunk(std::uint32_t c) { return c == 0 ? firstChunk : laterChunks[c - 1]; }
    std::string_view entryName(const ReadEntry& e) const { return names.substr(e.nameOffset, e.nameLength); }

    // Spelled out from the names up to the root, for the few texts that need it (issues). Only
    // for a folder whose ancestors are alive: the committer's own.
    std::string path() const {
        std::vector<const FolderJob*> chain;
        for (const FolderJob* j = this; j; j = j->parent) chain.push_back(j);
        std::string out = chain.back()->name;
        for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) out = path::join(out, (*it)->name);
        return out;
    }
    std::string childPath(const ReadEntry& e) const { return path::join(path(), entryName(e)); }

    // Lays out the listing for the `count` NUL-terminated names in `allNames`, one entry per name.
    void setListing(std::string_view allNames, std::size_t count) {
        listing = std::make_unique_for_overwrite<std::byte[]>(count * sizeof(ReadEntry) + allNames.size());
        auto* first = std::uninitialized_default_construct_n(reinterpret_cast<ReadEntry*>(listing.get()), count) - count;
        entries = std::span<ReadEntry>(first, count);
        char* text = reinterpret_cast<char*>(listing.get() + count * sizeof(ReadEntry));
        std::memcpy(text, allNames.data(), allNames.size());
        names = std::string_view(text, allNames.size());
        std::size_t offset = 0;
        for (auto& e : entries) {
            const std::size_t length = std::strlen(text + offset);
            e.nameOffset = static_cast<std::uint32_t>(offset);
            e.nameLength = static_cast<std::uint16_t>(length);
            offset += length + 1;
        }
        chunkCount = static_cast<std::uint32_t>((count + kChunkSize - 1) / kChunkSize);
        if (chunkCount > 1) laterChunks = std::make_unique<Chunk[]>(chunkCount - 1);
    }

    // Frees the listing once the committer is through with it. The chunk states stay: a reader
    // may still look at one (and find it done) through a stale task.
    void release() {
        entries = {};
        names = {};
        listing.reset();
        for (std::uint32_t c = 0; c < chunkCount; ++c) {
            std::vector<std::shared_ptr<FolderJob>>().swap(chunk(c).subfolders);
            std::vector<InodeKey>().swap(chunk(c).links);
        }
    }

private:
    void takeSubfolders(std::vector<std::shared_ptr<FolderJob>>& out) {
        for (std::uint32_t c = 0; c < chunkCount; ++c) {
            auto& subfolders = chunk(c).subfolders;
            for (auto& s : subfolders) out.push_back(std::move(s));
            subfolders.clear();
        }
    }
};

// A piece of reading: a folder's listing (chunk 0, which its reader follows with the chunks), or
// one further chunk of a listed folder. Its place in the commit order is the folder's, then for a
// chunk the index of its first entry; the first kHead components are copied in, so that the
// queue, which compares tasks under its lock, seldom looks into the jobs.
struct ReadTask {
    ReadTask() = default;
    ReadTask(std::shared_ptr<FolderJob> j, std::uint32_t c) : job(std::move(j)), chunk(c) {
        length = job->depth + (chunk ? 1 : 0);
        for (std::uint32_t i = 0; i < length && i < kHead; ++i) head[i] = component(i);
    }

    // Component i < min(length, kKept).
    std::uint32_t component(std::uint32_t i) const { return i < job->depth ? job->head[i] : chunk * kChunkSize; }

    // Below the inline components, the task's last component and the job it indexes into.
    std::uint64_t ownerSequence() const { return chunk ? job->sequence : job->parentSequence; }
    std::uint32_t last() const { return chunk ? chunk * kChunkSize : job->indexInParent; }

    std::shared_ptr<FolderJob> job;
    std::uint32_t chunk = 0;
    std::uint32_t length = 0;
    std::array<std::uint32_t, kHead> head{};
};

// Orders tasks by when the committer needs them: a listing at its folder's position, chunk c at
// the position of its first entry, and before the folder that entry may be.
struct CommitsLater {
    bool operator()(const ReadTask& a, const ReadTask& b) const { return before(b, a); }
    static bool before(const ReadTask& a, const ReadTask& b) {
        const std::uint32_t n = std::min(a.length, b.length);
        const std::uint32_t inlined = std::min(n, kHead);
        for (std::uint32_t i = 0; i < inlined; ++i)
            if (a.head[i] != b.head[i]) return a.head[i] < b.head[i];
        for (std::uint32_t i = inlined; i < std::min(n, kKept); ++i) {
            const std::uint32_t x = a.component(i), y = b.component(i);
            if (x != y) return x < y;
        }
        if (n > kKept) {
            // Deeper than the kept part: parts of the same folder in entry order, and of two
            // folders the one made later first. That follows the pre-order closely enough (the
            // later folder is mostly the deeper one) in constant time and memory per task; the
            // exact order would cost the depth. Only the readers' order depends on it, never the
            // snapshot.
            const std::uint64_t x = a.ownerSequence(), y = b.ownerSequence();
            if (x != y) return x > y;
            const std::uint32_t p = a.last(), q = b.last();
            if (p != q) return p < q;
        } else if (a.length != b.length) {
            // A key that is a prefix of another is needed first (an ancestor's part before its
            // descendants).
            return a.length < b.length;
        }
        // Equal keys: chunk c of a folder and the subfolder at its first entry; the chunk holds
        // that entry, so it comes first.
        return a.chunk && !b.chunk;
    }
};

// Readers run a few steps below the committing thread. There is one more thread than cores, and
// the committer must keep up with eight readers: when the scheduler put it on a core beside a
// reader at equal weight, it fell behind, the readers stopped at the read-ahead window, and the
// scan ended with the committer working through the window alone.
constexpr int kReaderNiceStep = 5;

int readerNice() {
    errno = 0;
    const int own = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    if (errno != 0) return 0;
    return std::min(own + kReaderNiceStep, 19);
}

void lowerThisThreadTo(int nice) {
    // Lowering a priority needs no privilege; a failure only leaves the thread where it was.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), nice);
}

bool isExcludedFromStartupDisk(std::string_view path) {
    return path == "/Volumes" || path == "/System/Volumes" || path == "/proc" || path == "/sys" || path == "/dev" ||
           path == "/run";
}

std::int64_t blocksToBytes(std::int64_t blocks) {
    if (blocks <= 0) return 0;
    std::int64_t bytes;
    return __builtin_mul_overflow(blocks, std::int64_t{512}, &bytes) ? INT64_MAX : bytes;
}

std::int64_t toNanoseconds(const FileTimestamp& t) {
    std::int64_t ns;
    if (__builtin_mul_overflow(t.seconds, std::int64_t{1000000000}, &ns) ||
        __builtin_add_overflow(ns, static_cast<std::int64_t>(t.nanoseconds), &ns))
        return t.seconds < 0 ? INT64_MIN : INT64_MAX;
    return ns;
}

NodeFacts factsFor(Kind kind, std::int64_t logical, std::int64_t allocated, std::int64_t mtime, FileCategory category) {
    NodeFacts facts;
    facts.isDirectory = kind == Kind::directory;
    facts.isSymbolicLink = kind == Kind::symbolicLink;
    facts.logicalSize = kind == Kind::regular ? logical : 0;
    facts.allocatedSize = kind == Kind::regular ? allocated : 0;
    facts.fileCount = kind == Kind::regular ? 1 : 0;
    facts.modificationDate = Date(std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(mtime)));
    facts.category = category;
    return facts;
}

Kind kindOf(const FileMetadata& m) {
    if (m.isRegular()) return Kind::regular;
    if (m.isDirectory()) return Kind::directory;
    if (m.isSymbolicLink()) return Kind::symbolicLink;
    return Kind::other;
}

// What reader threads and the committer share.
class Walk {
public:
    Walk(const DirectoryReader& reader, std::string rootPath, std::uint64_t rootDevice, std::stop_token stop,
         bool hasReaders, std::int64_t maxNodes)
        : reader_(reader), rootIsStartupDisk_(rootPath == "/"), rootDevice_(rootDevice), stop_(std::move(stop)),
          hasReaders_(hasReaders), handleBudget_(handleBudget()),
          namesPerListing_(static_cast<std::size_t>(std::max<std::int64_t>(maxNodes, 1))) {}
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;
    ~Walk() {
        for (const int h : toClose_) reader_.closeDirectory(h);
    }

    bool cancelled() const { return stop_.stop_requested(); }

    std::shared_ptr<FolderJob> makeRoot(std::string path, PathTraits traits) const {
        return std::make_shared<FolderJob>(reader_, std::move(path), traits);
    }

    // Makes `job`'s listing (its names, not yet their entries) available: lists it here if nobody
    // has claimed it, else waits for the reader that has.
    void obtainListing(const std::shared_ptr<FolderJob>& job) {
        std::uint32_t expected = kPending;
        if (job->state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) {
            list(job);
            return;
        }
        waitUntilDone(job->state);
    }

    // On the committer, through with every entry of the cut listing `job`: lists the rest of its
    // folder, at most `names` names of it (or to the end of a read of names).
    std::shared_ptr<FolderJob> listRest(FolderJob& job, std::size_t names) {
        auto rest = std::make_shared<FolderJob>(job, std::exchange(job.remainder, -1));
        rest->state.store(kClaimed, std::memory_order_relaxed);
        list(rest, kPending, names);
        return rest;
    }

    // Makes the entries of chunk `c` of a listed folder available, the same way.
    void obtainChunk(const std::shared_ptr<FolderJob>& job, std::uint32_t c) {
        if (!readChunk(job, c)) waitUntilDone(job->chunk(c).state);
    }

    // On the committer, every so many entries.
    void noteConsumed(std::int64_t count) {
        consumed_.fetch_add(count, std::memory_order_relaxed);
        closeLeftHandles();
    }

    void readerLoop() {
        // The subfolders of the last chunk this reader read, posted with its next take from the
        // queue: one turn of the lock instead of two.
        std::vector<ReadTask> found;
        for (;;) {
            ReadTask task;
            int wake = 0;
            {
                std::unique_lock lock(mutex_);
                wake = pushLocked(found);
                for (;;) {
                    if (quit_) return;
                    if (!tasks_.empty() && readAhead() < kReadAheadWindow) break;
                    ++sleepers_;
                    if (tasks_.empty())
                        workAvailable_.wait(lock);
                    else  // waiting for the committer to catch up; it does not signal, so look again soon
                        workAvailable_.wait_for(lock, std::chrono::microseconds(500));
                    --sleepers_;
                }
                std::pop_heap(tasks_.begin(), tasks_.end(), CommitsLater{});
                task = std::move(tasks_.back());
                tasks_.pop_back();
                queued_.store(tasks_.size(), std::memory_order_relaxed);
                // This reader takes one of the tasks it just posted itself.
                wake = std::max(wake - 1, 0);
            }
            notify(wake);
            std::shared_ptr<FolderJob> next;  // a subfolder this reader claimed to go on with
            if (task.chunk == 0) {
                std::uint32_t expected = kPending;
                if (!task.job->state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) continue;
                listAndRead(task.job, found, next);
            } else {
                readChunk(task.job, task.chunk, &found, &next);
            }
            // Down a chain of lone subfolders with nothing else queued, one reader goes on alone:
            // handing each level to another thread cost a wake-up per level.
            inChain = next != nullptr;
            while (next) {
                const std::shared_ptr<FolderJob> job = std::move(next);
                listAndRead(job, found, next);
            }
            inChain = false;
        }
    }

    void stopReaders() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
            abandoned_.store(true, std::memory_order_relaxed);
            tasks_.clear();
            queued_.store(0, std::memory_order_relaxed);
        }
        workAvailable_.notify_all();
    }

private:
    void waitUntilDone(State& state) {
        std::uint32_t s = state.load(std::memory_order_acquire);
        for (int spins = 0; s != kDone && spins < 64; ++spins) {
            SpinMutex::cpuRelax();
            s = state.load(std::memory_order_acquire);
        }
        while (s != kDone) {
            if (s & kChain) {
                // The reader reads a level every few microseconds: the levels read meanwhile are
                // committed in one go.
                std::this_thread::sleep_for(kChainPause);
                closeLeftHandles();
                s = state.load(std::memory_order_acquire);
                continue;
            }
            if (!(s & kWaiter) && !state.compare_exchange_weak(s, s | kWaiter, std::memory_order_acq_rel)) continue;
            state.wait(s | kWaiter, std::memory_order_acquire);
            s = state.load(std::memory_order_acquire);
        }
    }

    static void markDone(State& state) {
        if (state.exchange(kDone, std::memory_order_acq_rel) & kWaiter) state.notify_all();
    }

    bool abandoned() const { return cancelled() || abandoned_.load(std::memory_order_relaxed); }

    std::int64_t readAhead() const {
        return read_.load(std::memory_order_relaxed) - consumed_.load(std::memory_order_relaxed);
    }

    // Moves `tasks` into the queue; the caller holds the lock. Returns how many sleeping readers
    // there is new work for.
    // Tasks that find no room are dropped: the committer reads what nobody queued when it gets there.
    int pushLocked(std::vector<ReadTask>& tasks) noexcept {
        if (tasks.empty()) return 0;
        try {
            for (auto& t : tasks) {
                if (quit_) break;
                tasks_.push_back(std::move(t));
                std::push_heap(tasks_.begin(), tasks_.end(), CommitsLater{});
            }
        } catch (...) {
        }
        queued_.store(tasks_.size(), std::memory_order_relaxed);
        const int wake = quit_ ? 0 : static_cast<int>(std::min<std::size_t>(tasks.size(), static_cast<std::size_t>(sleepers_)));
        tasks.clear();
        return wake;
    }

    void notify(int wake) {
        if (wake == 1)
            workAvailable_.notify_one();
        else if (wake > 1)
            workAvailable_.notify_all();
    }

    void postTasks(std::vector<ReadTask>& tasks) {
        if (tasks.empty()) return;
        int wake;
        {
            std::lock_guard lock(mutex_);
            wake = pushLocked(tasks);
        }
        notify(wake);
    }

    // Queues chunks [firstChunk, endChunk) of `job`. The tasks are made before the lock is taken.
    void postChunks(const std::shared_ptr<FolderJob>& job, std::uint32_t firstChunk, std::uint32_t endChunk) {
        if (!hasReaders_ || firstChunk >= endChunk) return;
        std::vector<ReadTask> tasks;
        try {
            tasks.reserve(endChunk - firstChunk);
            for (std::uint32_t c = firstChunk; c < endChunk; ++c) tasks.emplace_back(job, c);
        } catch (...) {
            // Whatever was made is queued; the rest is read by the lister or the committer.
        }
        postTasks(tasks);
    }

    // Lists a folder this reader has claimed and goes on through its chunks; other readers take
    // chunks off the queue. `next` may get a subfolder of the last chunk, claimed (see readChunk).
    void listAndRead(const std::shared_ptr<FolderJob>& job, std::vector<ReadTask>& found,
                     std::shared_ptr<FolderJob>& next) {
        list(job, inChain ? kClaimed | kChain : kClaimed);
        for (std::uint32_t c = 0; c < job->chunkCount; ++c) {
            // Chunk 0 is this reader's already: it is read (and marked done) in any case.
            if (c > 0 && (abandoned() || readAhead() >= kReadAheadWindow)) break;
            if (!found.empty()) postTasks(found);  // an earlier chunk's: others may take them now
            readChunk(job, c, &found, c + 1 == job->chunkCount ? &next : nullptr, c == 0);
        }
    }

    // Opens the folder and reads its names, up to `names` of them (the budget when 0); the entries
    // are left to the chunks. With `firstChunkClaim`, chunk 0 is claimed for the caller (that
    // state) before the listing is done: the committer then waits for it rather than reads it
    // beside the reader about to.
    void list(const std::shared_ptr<FolderJob>& job, std::uint32_t firstChunkClaim = kPending, std::size_t names = 0) {
        const int handle = job->cursor >= 0 ? std::exchange(job->cursor, -1)
                           : job->parent    ? openBelow(*job)
                                            : reader_.openDirectory(job->name);
        if (handle < 0) {
            job->openError = -handle;
        } else {
            job->handle.store(handle, std::memory_order_relaxed);
            openHandles_.fetch_add(1, std::memory_order_relaxed);
            try {
                // Read into a buffer this thread keeps, then copy once at the exact size.
                thread_local std::string scratch;
                scratch.clear();
                const std::size_t wanted = names != 0 ? names : namesPerListing_;
                bool atEnd = false;
                std::size_t count = 0;
                while (!atEnd && count < wanted && !abandoned()) {
                    const std::size_t before = scratch.size();
                    job->readError = reader_.readMoreNames(handle, scratch, atEnd);
                    count += static_cast<std::size_t>(std::count(scratch.begin() + static_cast<std::ptrdiff_t>(before),
                                                                 scratch.end(), '\0'));
                }
                if (!atEnd && !abandoned()) {
                    // Cut: the rest stays unread unless the committer asks for it.
                    const int rest = reader_.duplicate(handle);
                    if (rest >= 0)
                        job->remainder = rest;
                    else
                        job->readError = -rest;  // the listing broke off here
                }
                job->setListing(scratch, count);
                if (scratch.capacity() > (std::size_t{1} << 20)) std::string().swap(scratch);
            } catch (...) {
                job->openError = ENOMEM;
                job->entries = {};
                job->chunkCount = 0;
            }
            const std::uint32_t users = job->chunkCount + (job->keepsHandle ? 1 : 0);
            job->handleUsers.store(users, std::memory_order_release);
            if (users == 0) closeHandle(*job);
        }
        if (job->chunkCount > 1) postChunks(job, 1, job->chunkCount);
        // Nobody looks at a chunk's state before the listing is done.
        if (firstChunkClaim != kPending && job->chunkCount > 0)
            job->firstChunk.state.store(firstChunkClaim, std::memory_order_relaxed);
        markDone(job->state);
    }

    // Opens a subfolder relative to an open ancestor: its parent when it pins the parent's
    // descriptor, else the nearest ancestor whose descriptor is still open, one name at a time
    // (never with O_NOFOLLOW lifted). The root's stays open, so there always is one.
    int openBelow(FolderJob& job) {
        FolderJob& parent = *job.parent;
        if (job.pinsParent) {
            const int handle = reader_.openDirectoryAt(parent.handle.load(std::memory_order_relaxed), job.name.c_str());
            releaseHandle(parent);
            return handle;
        }
        thread_local std::vector<const FolderJob*> between;  // below the ancestor, nearest it last
        between.clear();
        between.push_back(&job);
        FolderJob* ancestor = &parent;
        while (!acquireHandle(*ancestor)) {
            between.push_back(ancestor);
            ancestor = ancestor->parent;
            if (!ancestor) return -EBADF;  // not reached: the root keeps its descriptor
        }
        const int base = ancestor->handle.load(std::memory_order_relaxed);
        int handle = base;
        for (auto it = between.rbegin(); it != between.rend(); ++it) {
            const int next = reader_.openDirectoryAt(handle, (*it)->name.c_str());
            if (handle != base) reader_.closeDirectory(handle);
            handle = next;
            if (handle < 0) break;
        }
        releaseHandle(*ancestor);
        return handle;
    }

    // A use of an open descriptor; false once it is closed (or before it is open).
    static bool acquireHandle(FolderJob& job) {
        std::uint32_t users = job.handleUsers.load(std::memory_order_relaxed);
        while (users > 0)
            if (job.handleUsers.compare_exchange_weak(users, users + 1, std::memory_order_acquire)) return true;
        return false;
    }

    void releaseHandle(FolderJob& job) {
        if (job.handleUsers.fetch_sub(1, std::memory_order_acq_rel) == 1) closeHandle(job);
    }

    void closeHandle(FolderJob& job) {
        const int handle = job.handle.exchange(-1, std::memory_order_relaxed);
        if (handle < 0) return;
        if (inChain && openHandles_.load(std::memory_order_relaxed) < handleBudget_) {
            // Down a chain the reader's close is the one call of a level nothing waits for:
            // the committer, idle meanwhile, makes it.
            try {
                std::lock_guard lock(closeMutex_);
                toClose_.push_back(handle);
                closeCount_.store(toClose_.size(), std::memory_order_relaxed);
                return;
            } catch (...) {
            }
        }
        reader_.closeDirectory(handle);
        openHandles_.fetch_sub(1, std::memory_order_relaxed);
    }

    // Closes the descriptors left to the committer.
    void closeLeftHandles() {
        if (closeCount_.load(std::memory_order_relaxed) == 0) return;
        std::vector<int> handles;
        {
            std::lock_guard lock(closeMutex_);
            handles.swap(toClose_);
            closeCount_.store(0, std::memory_order_relaxed);
        }
        for (const int h : handles) reader_.closeDirectory(h);
        openHandles_.fetch_sub(static_cast<std::int64_t>(handles.size()), std::memory_order_relaxed);
        // The vector's room goes back for the next ones, if nobody has made new room meanwhile.
        handles.clear();
        std::lock_guard lock(closeMutex_);
        if (toClose_.empty()) toClose_.swap(handles);
    }

    // How many descriptors a scan keeps open for subfolders still to be opened through them;
    // past it, only each chunk's first subfolder pins its parent's, and the others open
    // through an older ancestor. A quarter of the process's limit, which other work shares.
    static std::int64_t handleBudget() {
        rlimit limit{};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 256;
        return std::clamp<std::int64_t>(static_cast<std::int64_t>(limit.rlim_cur / 4), 16, 1 << 16);
    }

    // Reads chunk `c` if nobody has claimed it; false when somebody had. The listing tasks of its
    // subfolders are queued, or with `found`, added to it for the caller to queue. With `next`,
    // a lone subfolder found while nothing else is queued is claimed instead, before the chunk
    // is done (so that the committer waits for it rather than lists it), for the caller to list.
    bool readChunk(const std::shared_ptr<FolderJob>& job, std::uint32_t c, std::vector<ReadTask>* found = nullptr,
                   std::shared_ptr<FolderJob>* next = nullptr, bool claimed = false) {
        Chunk& chunk = job->chunk(c);
        std::uint32_t expected = kPending;
        if (!claimed && !chunk.state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel))
            return false;
        const std::size_t begin = std::size_t{c} * kChunkSize;
        const std::size_t end = std::min(job->entries.size(), begin + kChunkSize);
        try {
            readEntries(*job, chunk, begin, end);
        } catch (...) {
            for (std::size_t i = begin; i < end; ++i) job->entries[i].error = ENOMEM;
            chunk.subfolders.clear();
        }
        read_.fetch_add(static_cast<std::int64_t>(end - begin), std::memory_order_relaxed);
        if (next && chunk.subfolders.size() == 1 && queued_.load(std::memory_order_relaxed) == 0 && !abandoned() &&
            readAhead() < kReadAheadWindow) {
            std::uint32_t pending = kPending;
            if (chunk.subfolders.front()->state.compare_exchange_strong(pending, kClaimed | kChain,
                                                                        std::memory_order_acq_rel))
                *next = chunk.subfolders.front();
        }
        // The tasks hold their own references: once the chunk is done the committer may free
        // its subfolder list.
        if (hasReaders_ && !chunk.subfolders.empty() && !(next && *next)) {
            std::vector<ReadTask> local;
            auto& out = found ? *found : local;
            try {
                for (const auto& sub : chunk.subfolders) out.emplace_back(sub, 0);
            } catch (...) {
                // Unqueued folders are listed by the committer when it reaches them.
            }
            if (!found) postTasks(local);
        }
        releaseHandle(*job);
        markDone(chunk.state);
        return true;
    }

    void readEntries(FolderJob& job, Chunk& chunk, std::size_t begin, std::size_t end) {
        // The paths left out of a scan of "/" have at most two components: only the root's
        // entries and their entries are spelled out, and only in that scan.
        const bool checksExclusion = rootIsStartupDisk_ && job.depth <= 1;
        const std::string folder = checksExclusion && job.depth == 1 ? path::join("/", job.name) : std::string("/");
        const int handle = job.handle.load(std::memory_order_relaxed);
        bool pinned = false;  // this chunk has let a subfolder pin the folder's descriptor
        FileMetadata m;
        for (std::size_t i = begin; i < end; ++i) {
            if (abandoned()) break;  // the committer throws or has stopped; nobody reads the rest
            ReadEntry& e = job.entries[i];
            const char* name = job.names.data() + e.nameOffset;
            const std::string_view entryName(name, e.nameLength);
            if (checksExclusion && isExcludedFromStartupDisk(path::join(folder, entryName))) {
                e.excluded = true;
                continue;
            }
            e.pathHash = job.hash.child(entryName);
            e.error = static_cast<std::uint16_t>(reader_.statBasicAt(handle, name, m));
            if (e.error != 0) continue;
            e.kind = kindOf(m);
            if (e.kind == Kind::regular) {
                e.logicalSize = std::max<std::int64_t>(m.size, 0);
                e.allocatedSize = blocksToBytes(m.blocks);
                if (m.linkCount >= 2) {
                    chunk.links.push_back(InodeKey{m.device, m.inode});
                    e.child = static_cast<std::int32_t>(chunk.links.size() - 1);
                    e.multiLink = true;
                }
            }
            e.modificationNanoseconds = toNanoseconds(m.modification);
            if (e.kind == Kind::directory && rootIsStartupDisk_ && m.device != rootDevice_) {
                e.excluded = true;
                continue;
            }
            e.category = classifyChild(job.traits, entryName, e.kind == Kind::directory);
            if (e.kind == Kind::directory) {
                e.child = static_cast<std::int32_t>(chunk.subfolders.size());
                // This chunk's use of the descriptor keeps it open while pins are added.
                const bool pins = !pinned || openHandles_.load(std::memory_order_relaxed) < handleBudget_;
                chunk.subfolders.push_back(std::make_shared<FolderJob>(
                    job, entryName, static_cast<std::uint32_t>(i), sequence_.fetch_add(1, std::memory_order_relaxed),
                    appendingComponent(job.traits, entryName), pins));
                if (pins) job.handleUsers.fetch_add(1, std::memory_order_relaxed);
                pinned = true;
            }
        }
    }

    const DirectoryReader& reader_;
    const bool rootIsStartupDisk_;
    const std::uint64_t rootDevice_;
    const std::stop_token stop_;
    const bool hasReaders_;
    const std::int64_t handleBudget_;
    const std::size_t namesPerListing_;  // most names one listing reads: the node budget

    SpinMutex mutex_;
    std::condition_variable_any workAvailable_;
    // Reading waiting for a reader, as a heap whose top is what the committer reaches first.
    std::vector<ReadTask> tasks_;
    bool quit_ = false;
    int sleepers_ = 0;  // readers waiting on workAvailable_
    std::atomic<bool> abandoned_{false};
    std::atomic<std::int64_t> read_{0};
    std::atomic<std::int64_t> consumed_{0};
    std::atomic<std::int64_t> openHandles_{0};  // of jobs
    std::atomic<std::uint64_t> sequence_{1};    // the root is 0
    std::atomic<std::size_t> queued_{0};        // tasks_.size(), for a look without the lock
    // Descriptors a reader going down a chain left for the committer to close.
    SpinMutex closeMutex_;
    std::vector<int> toClose_;
    std::atomic<std::size_t> closeCount_{0};
    static thread_local bool inChain;  // this reader is going on with a subfolder it claimed
};

thread_local bool Walk::inChain = false;

// Stops and joins the reader threads however the scan ends.
struct ReaderPool {
    Walk& walk;
    std::vector<std::thread> threads;
    void join() {
        walk.stopReaders();
        for (auto& t : threads) t.join();
        threads.clear();
    }
    ~ReaderPool() { join(); }
};

struct InodeKeyHash {
    std::size_t operator()(const InodeKey& k) const noexcept {
        return std::hash<std::uint64_t>{}(k.device * 0x9E3779B97F4A7C15ull ^ k.number);
    }
};

} // namespace

std::shared_ptr<const DiskSnapshot> scanWith(const ScanSettings& settings, const DirectoryReader& reader,
                                             const Url& url, const DiskScanner::ProgressHandler& progress,
                                             std::stop_token stop) {
    if (stop.stop_requested()) throw CancellationError();
    if (!url.isFileURL()) throw ScanError::notAFileURL();
    const Date startedAt = std::chrono::system_clock::now();
    const std::int64_t maxNodes = std::max<std::int64_t>(settings.maxNodeCount, 1);
    const std::size_t maxIssues = static_cast<std::size_t>(std::max<std::int64_t>(settings.maxIssueCount, 1));
    auto report = [&](std::int64_t files, std::int64_t items, std::int64_t bytes, std::string_view current) {
        if (progress) progress(ScanProgress{files, items, bytes, std::string(current)});
    };

    if (url.path.empty()) throw PosixError(ENOENT, url.path);
    const std::string rootPath = path::absolute(url.path);
    FileMetadata rootMetadata;
    if (int error = reader.statPath(rootPath, rootMetadata)) throw PosixError(error, rootPath);

    std::unordered_set<InodeKey, InodeKeyHash> seenInodes;
    // The size rule's hard-link half: only the first name met of a multi-linked file is charged
    // its blocks.
    auto chargeOnce = [&](bool multiLink, InodeKey key, std::int64_t allocated) {
        if (!multiLink) return allocated;
        return seenInodes.insert(key).second ? allocated : std::int64_t{0};
    };
    auto chargedAllocation = [&](const ReadEntry& e, const Chunk& chunk) {
        return e.multiLink ? chargeOnce(true, chunk.links[static_cast<std::size_t>(e.child)], e.allocatedSize)
                           : e.allocatedSize;
    };

    const Kind rootKind = kindOf(rootMetadata);
    const std::int64_t rootAllocated =
        rootKind == Kind::regular ? chargeOnce(rootMetadata.linkCount >= 2, InodeKey{rootMetadata.device, rootMetadata.inode},
                                               blocksToBytes(rootMetadata.blocks))
                                  : 0;
    const NodeFacts rootFacts = factsFor(rootKind, std::max<std::int64_t>(rootMetadata.size, 0), rootAllocated,
                                         toNanoseconds(rootMetadata.modification),
                                         classify(rootPath, rootKind == Kind::directory));
    DiskSnapshotBuilder builder(rootPath, rootPath == "/" ? std::string("Macintosh HD")
                                                          : std::string(path::lastComponent(rootPath)),
                                rootFacts);

    std::vector<ScanIssue> issues;
    bool partial = false;
    // Deep paths are spelled out only for issues that are kept.
    auto keepsIssue = [&] {
        partial = true;
        return issues.size() < maxIssues;
    };
    auto addIssue = [&](std::string path, std::string message) {
        if (keepsIssue()) issues.push_back(makeScanIssue(std::move(path), std::move(message)));
    };
    auto addErrorIssue = [&](auto&& spellPath, int error) {
        if (!keepsIssue()) return;
        std::string p = spellPath();
        std::string message = PosixError(error, p).description();
        issues.push_back(makeScanIssue(std::move(p), std::move(message)));
    };
    std::int64_t files = rootFacts.fileCount;
    std::int64_t bytes = rootFacts.logicalSize;
    std::int64_t links = rootKind == Kind::symbolicLink ? 1 : 0;

    report(files, 1, bytes, rootPath);

    if (rootKind == Kind::directory) {
        const unsigned threads =
            settings.threads == 0 ? std::max(1u, std::thread::hardware_concurrency()) : settings.threads;
        Walk walk(reader, rootPath, rootMetadata.device, stop, threads > 1, maxNodes);
        auto rootJob = walk.makeRoot(rootPath, pathTraits(rootPath));
        walk.obtainListing(rootJob);
        if (rootJob->openError != 0) throw ScanError::cannotEnumerate(rootPath);
        if (rootJob->readError != 0) addIssue(rootPath, PosixError(rootJob->readError, rootPath).description());

        struct Frame {
            std::shared_ptr<FolderJob> job;
            std::size_t next;
            std::size_t readyEnd;  // entries before this are read
            DiskSnapshot::Index node;
            std::size_t firstChild;  // where this folder's nodes start in `children`
        };
        // Made before the readers, so that a throw joins them before it lets go of the jobs.
        std::vector<Frame> frames;
        ReaderPool pool{walk, {}};
        if (threads > 1) {
            pool.threads.reserve(threads);
            const int nice = readerNice();
            for (unsigned i = 0; i < threads; ++i)
                pool.threads.emplace_back([&walk, nice] {
                    lowerThisThreadTo(nice);
                    walk.readerLoop();
                });
        }

        // The nodes added to each open folder so far, innermost folder last. A folder is closed
        // (its children list and totals given to the builder) as its frame ends.
        std::vector<DiskSnapshot::Index> children;
        children.reserve(1 << 12);
        // A listing is freed only once all of it was committed: after a budget cut, readers may
        // still be reading the rest of it.
        auto closeFrame = [&](bool releaseListing) {
            const Frame& f = frames.back();
            builder.closeFolder(f.node, std::span<const DiskSnapshot::Index>(children).subspan(f.firstChild));
            children.resize(f.firstChild);
            if (releaseListing) f.job->release();
            frames.pop_back();
        };
        // The readers' first folders come from the root's first entries; the builder's arrays are
        // set up while they read. Mostly address space (room for names averaging 32 bytes):
        // pages are touched as nodes arrive.
        if (rootJob->chunkCount > 0) walk.obtainChunk(rootJob, 0);
        const auto expected = static_cast<std::size_t>(std::min<std::int64_t>(maxNodes, 1 << 20));
        builder.reserve(expected, expected * 32);
        frames.push_back({rootJob, 0, 0, DiskSnapshot::rootIndex, 0});
        rootJob.reset();

        bool limitReached = false;
        auto lastReport = std::chrono::steady_clock::time_point::min();
        int clockCountdown = 1;
        std::int64_t unpublished = 0;

        while (!frames.empty()) {
            Frame& frame = frames.back();
            FolderJob& job = *frame.job;
            if (frame.next == job.entries.size()) {
                if (job.remainder < 0) {
                    closeFrame(true);
                    continue;
                }
                // A cut listing gone through within the budget: on with the rest of the folder, as
                // much of it as the budget can still take and one more to tell the limit.
                if (walk.cancelled()) throw CancellationError();
                const auto left = static_cast<std::size_t>(std::max<std::int64_t>(
                    maxNodes - static_cast<std::int64_t>(builder.size()), 0));
                auto rest = walk.listRest(job, left + 1);
                job.release();
                frame.job = std::move(rest);  // `job` is gone
                frame.next = 0;
                frame.readyEnd = 0;
                if (const int error = frame.job->openError != 0 ? frame.job->openError : frame.job->readError)
                    addErrorIssue([&] { return frame.job->path(); }, error);
                continue;
            }
            if (frame.next == frame.readyEnd) {
                const auto c = static_cast<std::uint32_t>(frame.next / kChunkSize);
                walk.obtainChunk(frame.job, c);
                frame.readyEnd = std::min(job.entries.size(), (std::size_t{c} + 1) * kChunkSize);
            }
            const std::size_t position = frame.next++;
            const ReadEntry& e = job.entries[position];
            if (++unpublished == 256) {
                walk.noteConsumed(unpublished);
                unpublished = 0;
            }
            if (walk.cancelled()) throw CancellationError();
            if (static_cast<std::int64_t>(builder.size()) >= maxNodes) {
                limitReached = true;
                break;
            }
            if (e.excluded) {
                if (keepsIssue()) issues.push_back(makeScanIssue(job.childPath(e), kMountedVolumesMessage));
                continue;
            }
            if (e.error != 0) {
                addErrorIssue([&] { return job.childPath(e); }, e.error);
                continue;
            }
            std::shared_ptr<FolderJob> child;
            if (e.kind == Kind::directory) {
                child = job.chunk(static_cast<std::uint32_t>(position / kChunkSize)).subfolders[static_cast<std::size_t>(e.child)];
                walk.obtainListing(child);
                if (walk.cancelled()) throw CancellationError();
                if (child->openError != 0) {
                    addErrorIssue([&] { return child->path(); }, child->openError);
                    child->release();
                    continue;
                }
            }
            const std::int64_t allocated = e.kind == Kind::regular
                                               ? chargedAllocation(e, job.chunk(static_cast<std::uint32_t>(position / kChunkSize)))
                                               : 0;
            const DiskSnapshot::Index parentNode = frame.node;
            const auto index = builder.add(parentNode, job.entryName(e),
                                           factsFor(e.kind, e.logicalSize, allocated, e.modificationNanoseconds,
                                                    e.category),
                                           e.pathHash);
            children.push_back(index);
            if (e.kind == Kind::regular) {
                files += 1;
                bytes = saturatingAdd(bytes, e.logicalSize);
            } else if (e.kind == Kind::symbolicLink) {
                links += 1;
            }
            if (--clockCountdown == 0) {
                clockCountdown = kClockCheckInterval;
                const auto now = std::chrono::steady_clock::now();
                if (lastReport == std::chrono::steady_clock::time_point::min() ||
                    now - lastReport >= std::chrono::milliseconds(100)) {
                    report(files, static_cast<std::int64_t>(builder.size()), bytes, builder.path(index));
                    lastReport = now;
                }
            }
            if (child) {
                // `frame` and `e` die with the push below.
                if (child->readError != 0)
                    addErrorIssue([&] { return child->path(); }, child->readError);
                frames.push_back({std::move(child), 0, 0, index, children.size()});
            }
        }
        // Readers may be listing folders below the open frames, through their ancestors: they
        // stop before those go.
        if (limitReached) pool.join();
        while (!frames.empty()) closeFrame(false);

        if (limitReached)
            addIssue(rootPath, "The scan reached its " + text::formatInteger(maxNodes) +
                                   "-item memory limit. Scan a smaller folder to explore the remaining files.");
        // The readers have nothing left to read: let them go now and join them after the
        // snapshot is finished, rather than wait for every one of them first.
        walk.stopReaders();
        if (stop.stop_requested()) throw CancellationError();
        report(files, static_cast<std::int64_t>(builder.size()), bytes, rootPath);
        return builder.finish(startedAt, std::chrono::system_clock::now(), std::move(issues), files, links, partial);
    }

    if (stop.stop_requested()) throw CancellationError();
    builder.accumulateTotals();  // a lone root; folders get their totals as the walk leaves them
    report(files, static_cast<std::int64_t>(builder.size()), bytes, rootPath);
    return builder.finish(startedAt, std::chrono::system_clock::now(), std::move(issues), files, links, partial);
}

} // namespace detail

} // namespace morvo
