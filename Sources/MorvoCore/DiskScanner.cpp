#include "MorvoCore/DiskScanner.h"

#include "MorvoCore/DiskScannerInternal.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

// How the walk stays exactly the single-threaded one whatever the number of threads:
// reader threads only read folders (names, lstat, category) into listings; the calling thread
// commits the entries of those listings in one fixed pre-order (each folder's entries in the
// order its listing holds them), and applies the node budget, the issue cap and the hard-link
// rule as it commits. A folder the committer reaches before any reader has it is read on the
// spot. Readers stay at most a window of entries ahead of the committer, so a budget cut
// leaves little read in vain and memory stays bounded.

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

enum class Kind : std::uint8_t { regular, directory, symbolicLink, other };

struct ReadEntry {
    std::uint32_t nameOffset = 0;
    std::uint16_t nameLength = 0;
    Kind kind = Kind::other;
    bool excluded = false;
    bool multiLink = false;  // a regular file with 2 or more names
    FileCategory category = FileCategory::other;
    std::int32_t error = 0;  // errno of the lstat
    std::int32_t child = -1; // index into the listing's subfolders
    std::uint64_t pathHash = 0;  // the id index's hash, computed here rather than on the committer
    std::int64_t logicalSize = 0;
    std::int64_t allocatedSize = 0;
    std::int64_t modificationNanoseconds = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

enum : std::uint8_t { kPending, kClaimed, kDone };

// The task queue's lock. Every reader takes it for a few heap operations per folder; with a
// sleeping lock, waiters paid a futex wake-up and a scheduling delay far longer than the section.
class SpinMutex {
    static void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

public:
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

// A run of consecutive entries of one listing, read (lstat, category) as one piece of work, so
// that several readers can share a large folder.
struct Chunk {
    std::atomic<std::uint8_t> state{kPending};
    std::vector<std::shared_ptr<FolderJob>> subfolders;  // of this chunk's folder entries
};

// One folder to read, and once read, its listing.
struct FolderJob {
    FolderJob(const DirectoryReader& r, std::string p, std::vector<std::uint32_t> o, PathTraits t)
        : reader(r), path(std::move(p)), order(std::move(o)), traits(t) {}
    ~FolderJob() {
        if (handle >= 0) reader.closeDirectory(handle);
    }

    const DirectoryReader& reader;
    std::string path;
    // Position in the commit order: the entry indices from the root down to this folder.
    // Lexicographic order of these is the pre-order in which the committer visits folders.
    std::vector<std::uint32_t> order;
    PathTraits traits;  // what this folder's path contributes to its entries' categories
    std::atomic<std::uint8_t> state{kPending};  // of the listing: open and read the names
    int openError = 0;
    int readError = 0;
    int handle = -1;  // open while chunks are left to read
    std::string names;
    std::vector<ReadEntry> entries;  // every name's entry; a chunk's part is valid once it is done
    std::unique_ptr<Chunk[]> chunks;
    std::uint32_t chunkCount = 0;
    std::atomic<std::uint32_t> chunksLeft{0};

    std::string_view name(const ReadEntry& e) const { return std::string_view(names).substr(e.nameOffset, e.nameLength); }
    std::string childPath(const ReadEntry& e) const { return path::join(path, name(e)); }
    // Frees the listing once the committer is through with it. The chunk array stays: a reader
    // may still look at a chunk's state (and find it done) through a stale task.
    void release() {
        std::string().swap(names);
        std::vector<ReadEntry>().swap(entries);
        for (std::uint32_t c = 0; c < chunkCount; ++c) std::vector<std::shared_ptr<FolderJob>>().swap(chunks[c].subfolders);
    }
};

// A piece of reading: a folder's listing (chunk 0, which its reader follows with the chunks), or
// one further chunk of a listed folder.
struct ReadTask {
    std::shared_ptr<FolderJob> job;
    std::uint32_t chunk = 0;
};

constexpr std::uint32_t kChunkSize = 256;

// Orders tasks by when the committer needs them: a listing at its folder's position, chunk c at
// the position of its first entry, and before the folder that entry may be.
struct CommitsLater {
    bool operator()(const ReadTask& a, const ReadTask& b) const { return before(b, a); }
    static bool before(const ReadTask& a, const ReadTask& b) {
        const auto& x = a.job->order;
        const auto& y = b.job->order;
        const std::size_t xn = x.size() + (a.chunk ? 1 : 0), yn = y.size() + (b.chunk ? 1 : 0);
        for (std::size_t i = 0; i < xn && i < yn; ++i) {
            const std::uint32_t xi = i < x.size() ? x[i] : a.chunk * kChunkSize;
            const std::uint32_t yi = i < y.size() ? y[i] : b.chunk * kChunkSize;
            if (xi != yi) return xi < yi;
        }
        // A key that is a prefix of another is needed first (an ancestor's part before its
        // descendants). Equal keys: chunk c of a folder and the subfolder at its first entry;
        // the chunk holds that entry, so it comes first.
        if (xn != yn) return xn < yn;
        return a.chunk && !b.chunk;
    }
};

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
         bool hasReaders)
        : reader_(reader), rootIsStartupDisk_(rootPath == "/"), rootDevice_(rootDevice), stop_(std::move(stop)),
          hasReaders_(hasReaders) {}

    bool cancelled() const { return stop_.stop_requested(); }

    std::shared_ptr<FolderJob> makeJob(std::string path, std::vector<std::uint32_t> order, PathTraits traits) const {
        return std::make_shared<FolderJob>(reader_, std::move(path), std::move(order), traits);
    }

    // Makes `job`'s listing (its names, not yet their entries) available: lists it here if nobody
    // has claimed it, else waits for the reader that has.
    void obtainListing(const std::shared_ptr<FolderJob>& job) {
        std::uint8_t expected = kPending;
        if (job->state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) {
            list(job);
            return;
        }
        waitUntilDone(job->state);
    }

    // Makes the entries of chunk `c` of a listed folder available, the same way.
    void obtainChunk(const std::shared_ptr<FolderJob>& job, std::uint32_t c) {
        if (!readChunk(job, c)) waitUntilDone(job->chunks[c].state);
    }

    void noteConsumed(std::int64_t count) { consumed_.fetch_add(count, std::memory_order_relaxed); }

    void readerLoop() {
        std::string scratch;
        for (;;) {
            ReadTask task;
            {
                std::unique_lock lock(mutex_);
                for (;;) {
                    if (quit_) return;
                    if (!tasks_.empty() && readAhead() < kReadAheadWindow) break;
                    if (tasks_.empty())
                        workAvailable_.wait(lock);
                    else  // waiting for the committer to catch up; it does not signal, so look again soon
                        workAvailable_.wait_for(lock, std::chrono::microseconds(500));
                }
                std::pop_heap(tasks_.begin(), tasks_.end(), CommitsLater{});
                task = std::move(tasks_.back());
                tasks_.pop_back();
            }
            if (task.chunk == 0) {
                std::uint8_t expected = kPending;
                if (!task.job->state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) continue;
                list(task.job);
                // The lister goes on through its folder; other readers take chunks off the queue.
                for (std::uint32_t c = 0; c < task.job->chunkCount; ++c) {
                    if (abandoned() || (c > 0 && readAhead() >= kReadAheadWindow)) break;
                    readChunk(task.job, c);
                }
            } else {
                readChunk(task.job, task.chunk);
            }
        }
    }

    void stopReaders() {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
            abandoned_.store(true, std::memory_order_relaxed);
            tasks_.clear();
        }
        workAvailable_.notify_all();
    }

private:
    static void waitUntilDone(std::atomic<std::uint8_t>& state) {
        for (std::uint8_t s = state.load(std::memory_order_acquire); s != kDone; s = state.load(std::memory_order_acquire))
            state.wait(s, std::memory_order_acquire);
    }

    bool abandoned() const { return cancelled() || abandoned_.load(std::memory_order_relaxed); }

    std::int64_t readAhead() const {
        return read_.load(std::memory_order_relaxed) - consumed_.load(std::memory_order_relaxed);
    }

    void post(const std::shared_ptr<FolderJob>& job, std::uint32_t firstChunk, std::uint32_t endChunk,
              const std::vector<std::shared_ptr<FolderJob>>* subfolders) {
        if (!hasReaders_) return;
        const std::size_t added = (endChunk - firstChunk) + (subfolders ? subfolders->size() : 0);
        // Most chunks hold no folder: nothing to post, and no reader to wake.
        if (added == 0) return;
        {
            std::lock_guard lock(mutex_);
            if (quit_) return;
            for (std::uint32_t c = firstChunk; c < endChunk; ++c) {
                tasks_.push_back(ReadTask{job, c});
                std::push_heap(tasks_.begin(), tasks_.end(), CommitsLater{});
            }
            if (subfolders)
                for (const auto& sub : *subfolders) {
                    tasks_.push_back(ReadTask{sub, 0});
                    std::push_heap(tasks_.begin(), tasks_.end(), CommitsLater{});
                }
        }
        // Wake only as many readers as there is new work for.
        if (added == 1)
            workAvailable_.notify_one();
        else
            workAvailable_.notify_all();
    }

    // Opens the folder and reads its names; the entries are left to the chunks.
    void list(const std::shared_ptr<FolderJob>& job) {
        try {
            int handle = reader_.openDirectory(job->path);
            if (handle < 0) {
                job->openError = -handle;
            } else {
                job->handle = handle;
                job->readError = reader_.readNames(handle, job->names);
                const std::size_t count = std::count(job->names.begin(), job->names.end(), '\0');
                job->entries.resize(count);
                std::size_t offset = 0;
                for (auto& e : job->entries) {
                    const std::size_t length = std::strlen(job->names.data() + offset);
                    e.nameOffset = static_cast<std::uint32_t>(offset);
                    e.nameLength = static_cast<std::uint16_t>(length);
                    offset += length + 1;
                }
                job->chunkCount = static_cast<std::uint32_t>((count + kChunkSize - 1) / kChunkSize);
                job->chunks = std::make_unique<Chunk[]>(job->chunkCount);
                job->chunksLeft.store(job->chunkCount, std::memory_order_relaxed);
                if (job->chunkCount == 0) closeHandle(*job);
            }
        } catch (...) {
            job->openError = ENOMEM;
            job->entries.clear();
            job->chunkCount = 0;
            closeHandle(*job);
        }
        if (job->chunkCount > 1) post(job, 1, job->chunkCount, nullptr);
        job->state.store(kDone, std::memory_order_release);
        job->state.notify_all();
    }

    void closeHandle(FolderJob& job) {
        if (job.handle >= 0) reader_.closeDirectory(job.handle);
        job.handle = -1;
    }

    // Reads chunk `c` if nobody has claimed it; false when somebody had.
    bool readChunk(const std::shared_ptr<FolderJob>& job, std::uint32_t c) {
        Chunk& chunk = job->chunks[c];
        std::uint8_t expected = kPending;
        if (!chunk.state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) return false;
        const std::size_t begin = std::size_t{c} * kChunkSize;
        const std::size_t end = std::min(job->entries.size(), begin + kChunkSize);
        try {
            readEntries(*job, chunk, begin, end);
        } catch (...) {
            for (std::size_t i = begin; i < end; ++i) job->entries[i].error = ENOMEM;
            chunk.subfolders.clear();
        }
        read_.fetch_add(static_cast<std::int64_t>(end - begin), std::memory_order_relaxed);
        post(job, 0, 0, &chunk.subfolders);
        // Only the last chunk to finish touches the handle, and nothing reads it afterwards.
        if (job->chunksLeft.fetch_sub(1, std::memory_order_acq_rel) == 1) closeHandle(*job);
        chunk.state.store(kDone, std::memory_order_release);
        chunk.state.notify_all();
        return true;
    }

    void readEntries(FolderJob& job, Chunk& chunk, std::size_t begin, std::size_t end) {
        std::string path = job.path;
        if (path != "/") path.push_back('/');
        const std::size_t prefix = path.size();
        FileMetadata m;
        for (std::size_t i = begin; i < end; ++i) {
            if (abandoned()) break;  // the committer throws or has stopped; nobody reads the rest
            ReadEntry& e = job.entries[i];
            const char* name = job.names.data() + e.nameOffset;
            path.resize(prefix);
            path.append(name, e.nameLength);
            if (rootIsStartupDisk_ && isExcludedFromStartupDisk(path)) {
                e.excluded = true;
                continue;
            }
            e.pathHash = DiskSnapshot::hashPath(path);
            e.error = reader_.statBasicAt(job.handle, name, m);
            if (e.error != 0) continue;
            e.kind = kindOf(m);
            if (e.kind == Kind::regular) {
                e.logicalSize = std::max<std::int64_t>(m.size, 0);
                e.allocatedSize = blocksToBytes(m.blocks);
                e.multiLink = m.linkCount >= 2;
                e.device = m.device;
                e.inode = m.inode;
            }
            e.modificationNanoseconds = toNanoseconds(m.modification);
            if (e.kind == Kind::directory && rootIsStartupDisk_ && m.device != rootDevice_) {
                e.excluded = true;
                continue;
            }
            const std::string_view entryName(name, e.nameLength);
            e.category = classifyChild(job.traits, entryName, e.kind == Kind::directory);
            if (e.kind == Kind::directory) {
                e.child = static_cast<std::int32_t>(chunk.subfolders.size());
                std::vector<std::uint32_t> order;
                order.reserve(job.order.size() + 1);
                order = job.order;
                order.push_back(static_cast<std::uint32_t>(i));
                chunk.subfolders.push_back(makeJob(path, std::move(order), appendingComponent(job.traits, entryName)));
            }
        }
    }

    const DirectoryReader& reader_;
    const bool rootIsStartupDisk_;
    const std::uint64_t rootDevice_;
    const std::stop_token stop_;
    const bool hasReaders_;

    SpinMutex mutex_;
    std::condition_variable_any workAvailable_;
    // Reading waiting for a reader, as a heap whose top is what the committer reaches first.
    std::vector<ReadTask> tasks_;
    bool quit_ = false;
    std::atomic<bool> abandoned_{false};
    std::atomic<std::int64_t> read_{0};
    std::atomic<std::int64_t> consumed_{0};
};

// Stops and joins the reader threads however the scan ends.
struct ReaderPool {
    Walk& walk;
    std::vector<std::thread> threads;
    ~ReaderPool() {
        walk.stopReaders();
        for (auto& t : threads) t.join();
    }
};

struct InodeKey {
    std::uint64_t device;
    std::uint64_t number;
    friend bool operator==(const InodeKey&, const InodeKey&) = default;
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
    auto chargedAllocation = [&](bool multiLink, std::uint64_t device, std::uint64_t inode, std::int64_t allocated) {
        if (!multiLink) return allocated;
        return seenInodes.insert(InodeKey{device, inode}).second ? allocated : std::int64_t{0};
    };

    const Kind rootKind = kindOf(rootMetadata);
    const std::int64_t rootAllocated =
        rootKind == Kind::regular ? chargedAllocation(rootMetadata.linkCount >= 2, rootMetadata.device,
                                                      rootMetadata.inode, blocksToBytes(rootMetadata.blocks))
                                  : 0;
    const NodeFacts rootFacts = factsFor(rootKind, std::max<std::int64_t>(rootMetadata.size, 0), rootAllocated,
                                         toNanoseconds(rootMetadata.modification),
                                         classify(rootPath, rootKind == Kind::directory));
    DiskSnapshotBuilder builder(rootPath, rootPath == "/" ? std::string("Macintosh HD")
                                                          : std::string(path::lastComponent(rootPath)),
                                rootFacts);

    std::vector<ScanIssue> issues;
    bool partial = false;
    auto addIssue = [&](std::string path, std::string message) {
        partial = true;
        if (issues.size() < maxIssues) issues.push_back(makeScanIssue(std::move(path), std::move(message)));
    };
    std::int64_t files = rootFacts.fileCount;
    std::int64_t bytes = rootFacts.logicalSize;
    std::int64_t links = rootKind == Kind::symbolicLink ? 1 : 0;

    report(files, 1, bytes, rootPath);

    if (rootKind == Kind::directory) {
        const unsigned threads =
            settings.threads == 0 ? std::max(1u, std::thread::hardware_concurrency()) : settings.threads;
        Walk walk(reader, rootPath, rootMetadata.device, stop, threads > 1);
        auto rootJob = walk.makeJob(rootPath, {}, pathTraits(rootPath));
        walk.obtainListing(rootJob);
        if (rootJob->openError != 0) throw ScanError::cannotEnumerate(rootPath);
        if (rootJob->readError != 0) addIssue(rootPath, PosixError(rootJob->readError, rootPath).description());
        // Reserved address space only (room for paths averaging 128 bytes); pages are touched as nodes arrive.
        const auto expected = static_cast<std::size_t>(std::min<std::int64_t>(maxNodes, 1 << 20));
        builder.reserve(expected, expected * 128);

        ReaderPool pool{walk, {}};
        if (threads > 1) {
            pool.threads.reserve(threads);
            for (unsigned i = 0; i < threads; ++i) pool.threads.emplace_back([&walk] { walk.readerLoop(); });
        }

        struct Frame {
            std::shared_ptr<FolderJob> job;
            std::size_t next;
            std::size_t readyEnd;  // entries before this are read
            DiskSnapshot::Index node;
            std::size_t firstChild;  // where this folder's nodes start in `children`
        };
        std::vector<Frame> frames;
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
                closeFrame(true);
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
                addIssue(job.childPath(e), kMountedVolumesMessage);
                continue;
            }
            if (e.error != 0) {
                std::string p = job.childPath(e);
                addIssue(p, PosixError(e.error, p).description());
                continue;
            }
            std::shared_ptr<FolderJob> child;
            if (e.kind == Kind::directory) {
                child = job.chunks[position / kChunkSize].subfolders[static_cast<std::size_t>(e.child)];
                walk.obtainListing(child);
                if (walk.cancelled()) throw CancellationError();
                if (child->openError != 0) {
                    addIssue(child->path, PosixError(child->openError, child->path).description());
                    child->release();
                    continue;
                }
            }
            const std::int64_t allocated = e.kind == Kind::regular
                                               ? chargedAllocation(e.multiLink, e.device, e.inode, e.allocatedSize)
                                               : 0;
            const DiskSnapshot::Index parentNode = frame.node;
            const auto index = builder.add(parentNode, job.name(e),
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
                    addIssue(child->path, PosixError(child->readError, child->path).description());
                frames.push_back({std::move(child), 0, 0, index, children.size()});
            }
        }
        while (!frames.empty()) closeFrame(false);  // what the node budget cut short

        if (limitReached)
            addIssue(rootPath, "The scan reached its " + text::formatInteger(maxNodes) +
                                   "-item memory limit. Scan a smaller folder to explore the remaining files.");
    }

    if (stop.stop_requested()) throw CancellationError();
    builder.accumulateTotals();  // only a lone root; folders got their totals as the walk left them
    report(files, static_cast<std::int64_t>(builder.size()), bytes, rootPath);
    return builder.finish(startedAt, std::chrono::system_clock::now(), std::move(issues), files, links, partial);
}

} // namespace detail

} // namespace morvo
