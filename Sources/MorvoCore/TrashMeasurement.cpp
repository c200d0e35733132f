#include "MorvoCore/TrashMeasurement.h"

#include "MorvoCore/Platform/Digest.h"
#include "MorvoCore/Platform/MountTable.h"
#include "MorvoCore/Platform/Path.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <set>
#include <cstdlib>
#include <utility>
#include <vector>

namespace morvo {

namespace {

class SystemTrashFileSystem final : public TrashFileSystem {
public:
    TrashMetadata metadata(const std::string& path) const override { return trashMetadata(statPath(path)); }
    PropertyListStrings readPropertyList(const std::string& path, std::int64_t maxBytes) const override {
        return readPropertyListStrings(path, maxBytes);
    }
    std::optional<std::string> realPath(const std::string& path) const override {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return std::nullopt;
        std::string out(resolved);
        std::free(resolved);
        return out;
    }
    const DirectoryReader& reader() const override { return DirectoryReader::system(); }
};

constexpr const char* kSpecialEntryMessage =
    "This selection contains a special filesystem entry that cannot be reviewed safely.";

// Reader threads of one measurement when the caller names no number: more gain little.
constexpr unsigned kMeasureThreads = 8;

void takeBudget(std::int64_t& remainingBudget) {
    if (remainingBudget <= 0) throw TrashFailure(trash::kItemLimitMessage);
    --remainingBudget;
}

// The last `level` components of `path`, joined by "/".
std::string relativePath(const std::string& path, int level) {
    std::size_t start = path.size();
    for (int i = 0; i < level && start != std::string::npos && start > 0; ++i) {
        start = path.rfind('/', start - 1);
    }
    if (start == std::string::npos) return path;
    return path.substr(start + 1);
}

// The folders of one item read by several threads at once. Readers only list folders (names and
// lstat records, each subfolder opened relative to its parent without following links; a large
// folder's records are read in slices by several readers); the calling thread then goes through
// the listings in the order the single-threaded walk yields them and applies every check there,
// so results and the first refusal do not depend on the number of threads. Anything out of the
// ordinary (a read error, cancellation) ends the reading; the calling thread goes as far as the
// listings read allow, and where it meets a folder left unread it measures the item again on one
// thread, which says exactly what the matter is.
//
// The walk never needs more entries than the budget and one: the entry after those is refused
// whatever follows it. Once that many names are listed, in all folders together, no further
// names are read and no further folder is opened; a listing cut there still serves the calling
// thread, which is refused before it passes the cut (or else measures again on one thread).
class ParallelWalk {
public:
    struct Listing;
    struct Listed {
        FileMetadata metadata;
        std::uint32_t nameOffset = 0;
        Listing* contents = nullptr;  // for a folder; null when it was left unread (a mount)
    };
    struct Listing {
        std::string names;  // NUL-terminated, as the reader lists them
        std::vector<Listed> entries;
        int handle = -1;
        bool allNames = false;               // the folder's every name is in `names`
        bool complete = false;               // every entry listed recorded, subfolders queued
        std::atomic<std::size_t> users{0};   // slices, then subfolder opens, still to use `handle`
        std::atomic<bool> broken{false};     // a record could not be read
    };

    ParallelWalk(const DirectoryReader& reader, std::uint64_t device, std::int64_t entryLimit, std::stop_token stop)
        : reader_(reader), device_(device), entryLimit_(entryLimit), stop_(std::move(stop)) {}

    ~ParallelWalk() {
        for (auto& t : threads_) t.join();
        for (const auto& listing : listings_)
            if (listing->handle >= 0) reader_.closeDirectory(listing->handle);
    }

    // Reads what it can below the folder at `path`; nullptr when that cannot be opened.
    const Listing* run(const std::string& path, unsigned threads) {
        threads_.reserve(threads);
        threadLimit_ = threads;
        const int handle = reader_.openDirectory(path);
        if (handle < 0) return nullptr;
        listings_.push_back(std::make_unique<Listing>());
        Listing* root = listings_.back().get();
        std::vector<Task> found;
        const bool ok = list(*root, handle, found);
        {
            std::lock_guard lock(mutex_);
            failed_ = !ok;
            queue_ = std::move(found);
        }
        work(true);
        for (auto& t : threads_) t.join();
        threads_.clear();
        return root;
    }

    // The records read.
    std::int64_t entries() const { return entries_.load(std::memory_order_relaxed); }
    // The names listed, over all folders: the entries the item has at least.
    std::size_t names() const { return names_.load(std::memory_order_relaxed); }

private:
    // Opens and lists a folder (`slice` empty), or reads the records of one slice of a listing.
    struct Task {
        Listing* listing;
        std::size_t begin = 0, end = 0;  // the slice; for an open, `begin` is the entry in `listing`
        bool open = false;
        Listing* folder = nullptr;       // for an open: where its listing goes
    };
    static constexpr std::size_t kSlice = 256;
    // Helpers start only once the item has shown enough entries to be worth them.
    static constexpr std::size_t kNamesBeforeHelpers = 1024;

    void work(bool caller) {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (caller && threads_.empty() && threadLimit_ > 1 && !failed_ && queue_.size() > 1 &&
                names_.load(std::memory_order_relaxed) >= kNamesBeforeHelpers) {
                for (unsigned i = 1; i < threadLimit_; ++i) threads_.emplace_back([this] { work(false); });
            }
            cv_.wait(lock, [&] { return failed_ || !queue_.empty() || busy_ == 0; });
            if (failed_ || (queue_.empty() && busy_ == 0)) {
                cv_.notify_all();
                return;
            }
            Task task = queue_.back();
            queue_.pop_back();
            ++busy_;
            lock.unlock();
            std::vector<Task> found;
            const bool ok = task.open ? open(task, found) : readSlice(task, found);
            lock.lock();
            --busy_;
            if (!ok) failed_ = true;
            for (const Task& t : found) queue_.push_back(t);
            if (!found.empty() || failed_ || busy_ == 0) cv_.notify_all();
        }
    }

    void release(Listing& listing) {
        if (listing.users.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            reader_.closeDirectory(listing.handle);
            listing.handle = -1;
        }
    }

    bool open(const Task& task, std::vector<Task>& found) {
        Listing& parent = *task.listing;
        if (enough()) {
            // Left unread: the calling thread is refused before it gets here, or walks again.
            release(parent);
            return true;
        }
        const int handle = reader_.openDirectoryAt(parent.handle, parent.names.data() + parent.entries[task.begin].nameOffset);
        release(parent);
        if (handle < 0) return false;
        return list(*task.folder, handle, found);
    }

    // Whether the names listed already cover every entry the calling thread can take.
    bool enough() const { return static_cast<std::int64_t>(names_.load(std::memory_order_relaxed)) > entryLimit_; }

    // Lists the names of an open folder (taking its handle), as far as the walk needs them, and
    // cuts their records into slices.
    bool list(Listing& listing, int handle, std::vector<Task>& found) {
        listing.handle = handle;
        while (!listing.allNames && !enough()) {
            if (stop_.stop_requested()) return false;
            const std::size_t before = listing.names.size();
            if (reader_.readMoreNames(handle, listing.names, listing.allNames) != 0) return false;
            names_.fetch_add(static_cast<std::size_t>(
                                 std::count(listing.names.begin() + static_cast<std::ptrdiff_t>(before),
                                            listing.names.end(), '\0')),
                             std::memory_order_relaxed);
        }
        listing.entries.reserve(static_cast<std::size_t>(std::count(listing.names.begin(), listing.names.end(), '\0')));
        for (std::size_t offset = 0; offset < listing.names.size();) {
            listing.entries.emplace_back().nameOffset = static_cast<std::uint32_t>(offset);
            offset += std::strlen(listing.names.data() + offset) + 1;
        }
        const std::size_t count = listing.entries.size();
        if (count == 0) return finish(listing, found);
        const std::size_t slices = (count + kSlice - 1) / kSlice;
        listing.users.store(slices, std::memory_order_release);
        // The first slice here, the others for whoever is free.
        for (std::size_t s = slices; s-- > 1;)
            found.push_back({&listing, s * kSlice, std::min(count, (s + 1) * kSlice)});
        return readSlice({&listing, 0, std::min(count, kSlice)}, found);
    }

    // The records of a listing are read in full even past the limit: the names listed bound
    // them, and a cut listing is complete for the calling thread only with all of them.
    bool readSlice(const Task& task, std::vector<Task>& found) {
        Listing& listing = *task.listing;
        if (stop_.stop_requested()) listing.broken.store(true, std::memory_order_relaxed);
        for (std::size_t i = task.begin; i < task.end && !listing.broken.load(std::memory_order_relaxed); ++i) {
            Listed& entry = listing.entries[i];
            if (reader_.statAt(listing.handle, listing.names.data() + entry.nameOffset, entry.metadata) != 0)
                listing.broken.store(true, std::memory_order_relaxed);
            else
                entries_.fetch_add(1, std::memory_order_relaxed);
        }
        if (listing.users.fetch_sub(1, std::memory_order_acq_rel) != 1) return true;
        // The last slice done: every record of the folder is in.
        if (listing.broken.load(std::memory_order_relaxed)) return false;
        return finish(listing, found);
    }

    // The folder's records are all read: it is complete, and its subfolders are to be opened.
    bool finish(Listing& listing, std::vector<Task>& found) {
        listing.complete = true;
        std::size_t subfolders = 0;
        for (const Listed& entry : listing.entries)
            if (entry.metadata.isDirectory() && !isOtherMount(entry.metadata)) ++subfolders;
        if (subfolders == 0) {
            reader_.closeDirectory(listing.handle);
            listing.handle = -1;
            return true;
        }
        listing.users.store(subfolders, std::memory_order_release);
        std::vector<Task> opens;
        {
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < listing.entries.size(); ++i) {
                const FileMetadata& m = listing.entries[i].metadata;
                if (!m.isDirectory() || isOtherMount(m)) continue;
                listings_.push_back(std::make_unique<Listing>());
                listing.entries[i].contents = listings_.back().get();
                opens.push_back({&listing, i, 0, true, listings_.back().get()});
            }
        }
        // Last first, so that the walk goes deep rather than wide and few folders stay open.
        found.insert(found.end(), opens.rbegin(), opens.rend());
        return true;
    }

    // A mount met below the item is left unread: the item is refused there.
    bool isOtherMount(const FileMetadata& m) const {
        return m.device != device_ || (m.mountRootKnown && m.mountRoot);
    }

    const DirectoryReader& reader_;
    const std::uint64_t device_;
    const std::int64_t entryLimit_;
    const std::stop_token stop_;
    unsigned threadLimit_ = 1;
    std::atomic<std::int64_t> entries_{0};
    std::atomic<std::size_t> names_{0};

    std::mutex mutex_;  // guards what follows
    std::condition_variable cv_;
    std::vector<std::unique_ptr<Listing>> listings_;
    std::vector<Task> queue_;
    std::size_t busy_ = 0;
    bool failed_ = false;
    std::vector<std::thread> threads_;  // started and joined by the calling thread only
};

} // namespace

bool TrashFileSystem::isMountRoot(const std::string& path) const {
    FileMetadata m;
    if (statAt(AT_FDCWD, path.c_str(), m, false) != 0) return false;
    return morvo::isMountRoot(m, path);
}

const TrashFileSystem& TrashFileSystem::system() {
    static const SystemTrashFileSystem instance;
    return instance;
}

TrashMetadata trashMetadata(const FileMetadata& m) {
    TrashMetadata t;
    t.device = m.device;
    t.inode = m.inode;
    t.mode = static_cast<std::uint16_t>(m.mode);
    t.size = m.size;
    t.links = m.linkCount;
    t.modifiedSeconds = m.modification.seconds;
    t.modifiedNanos = m.modification.nanoseconds;
    t.changedSeconds = m.statusChange.seconds;
    t.changedNanos = m.statusChange.nanoseconds;
    t.bornSeconds = m.birth.seconds;
    t.bornNanos = m.birth.nanoseconds;
    t.blocks = m.blocks;
    return t;
}

namespace trash {

TrashMetadata metadata(const Url& url, const TrashFileSystem& fs) {
    if (!url.isFileURL() || url.path.empty()) throw PosixError(EINVAL, url.path);
    return fs.metadata(path::normalize(url.path));
}

void validateAncestors(const Url& url, const TrashFileSystem& fs, std::vector<TrashMetadata>* records,
                       FolderRecords* known) {
    const std::string full = path::normalize(url.path);
    std::string soFar;
    std::size_t position = 0;
    while (position < full.size()) {
        while (position < full.size() && full[position] == '/') ++position;
        if (position >= full.size()) break;
        std::size_t end = full.find('/', position);
        if (end == std::string::npos) end = full.size();
        soFar.push_back('/');
        soFar.append(full, position, end - position);
        position = end;
        const bool last = full.find_first_not_of('/', position) == std::string::npos;
        FolderRecords* cache = last ? nullptr : known;
        TrashMetadata m;
        if (auto found = cache ? cache->find(soFar) : FolderRecords::iterator(); cache && found != cache->end()) {
            m = found->second;
        } else {
            m = fs.metadata(soFar);
            // Only what passed is kept: a link or an error is met again by every item below it.
            if (cache && m.type() != S_IFLNK) cache->emplace(soFar, m);
        }
        if (m.type() == S_IFLNK) throw TrashFailure(kSymbolicLinkAncestorMessage);
        if (records) records->push_back(m);
    }
}

Measurement measure(const Url& url, std::int64_t& remainingBudget, std::stop_token stop, const TrashFileSystem& fs,
                    unsigned threads) {
    if (stop.stop_requested()) throw CancellationError();
    const std::string itemPath = path::normalize(url.path);
    const TrashMetadata root = metadata(url, fs);
    takeBudget(remainingBudget);

    Measurement result;
    std::vector<std::pair<std::string, TrashMetadata>> entries;
    entries.emplace_back(std::string(), root);

    switch (root.type()) {
    case S_IFREG:
        result.files = 1;
        result.bytes = std::max<std::int64_t>(root.size, 0);
        break;
    case S_IFLNK: result.linkCount = 1; break;
    case S_IFDIR: break;
    default: throw TrashFailure(kSpecialEntryMessage);
    }

    if (root.type() == S_IFDIR) {
        // The walk opens every folder relative to its parent without following links, so no
        // folder below the item can be a link; what lies above it is checked once, at the first
        // entry.
        bool ancestorsChecked = false;
        std::optional<std::set<std::string>> mountPoints;
        // Whether the entry list is kept for the digest: not when more entries were listed than
        // the budget admits, so that the item is refused whatever the walk meets first.
        bool keepEntries = true;
        // The checks of one entry in the order of the walk; `pathOf()` gives its full path and
        // `relative` the path below the item, needed only while the entries are kept.
        auto accept = [&](const FileMetadata& found, std::string relative, auto&& pathOf) {
            if (stop.stop_requested()) throw CancellationError();
            if (!ancestorsChecked) {
                validateAncestors(url, fs);
                ancestorsChecked = true;
            }
            const TrashMetadata m = trashMetadata(found);
            // A bind mount of a folder on the same device is a mount too: moving the folder would
            // take the mount's contents along.
            if (m.device != root.device ||
                (found.mountRootKnown ? found.mountRoot : isMountRoot(found, pathOf(), &mountPoints)))
                throw TrashFailure("This folder contains a mounted volume. Review that volume separately.");
            takeBudget(remainingBudget);
            if (keepEntries) entries.emplace_back(std::move(relative), m);
            switch (m.type()) {
            case S_IFREG:
                if (m.size >= 0 && __builtin_add_overflow(result.bytes, m.size, &result.bytes))
                    throw TrashFailure("The reported file size is too large to review safely.");
                ++result.files;
                break;
            case S_IFLNK: ++result.linkCount; break;
            case S_IFDIR: break;
            default: throw TrashFailure(kSpecialEntryMessage);
            }
        };

        bool walked = false;
        const unsigned threadCount =
            threads != 0 ? threads : std::clamp(std::thread::hardware_concurrency(), 1u, kMeasureThreads);
        if (threadCount > 1) {
            ParallelWalk walk(fs.reader(), root.device, remainingBudget, stop);
            const ParallelWalk::Listing* top = walk.run(itemPath, threadCount);
            if (top && top->complete) {
                const std::int64_t budgetBefore = remainingBudget;
                const Measurement resultBefore = result;
                // Depth first, each folder's entries in the order listed, a folder before its
                // contents: the single-threaded walk's order.
                struct Frame {
                    const ParallelWalk::Listing* listing;
                    std::size_t next;
                    std::string relative;
                };
                std::vector<Frame> frames{{top, 0, std::string()}};
                walked = true;
                keepEntries = static_cast<std::int64_t>(walk.names()) <= budgetBefore;
                if (keepEntries) entries.reserve(static_cast<std::size_t>(walk.entries()) + 1);
                while (!frames.empty()) {
                    Frame& frame = frames.back();
                    const bool pastTheListing = frame.next >= frame.listing->entries.size();
                    if (pastTheListing && frame.listing->allNames) {
                        frames.pop_back();
                        continue;
                    }
                    const ParallelWalk::Listed* listed = pastTheListing ? nullptr : &frame.listing->entries[frame.next++];
                    const ParallelWalk::Listing* contents = listed ? listed->contents : nullptr;
                    if (!listed || (listed->metadata.isDirectory() && !(contents && contents->complete))) {
                        // Left unread: this walk cannot tell what the single-threaded one meets here.
                        remainingBudget = budgetBefore;
                        result = resultBefore;
                        entries.resize(1);
                        keepEntries = true;
                        walked = false;
                        break;
                    }
                    const char* name = frame.listing->names.data() + listed->nameOffset;
                    // At its exact size: the entry list keeps it.
                    auto spell = [&] {
                        if (frame.relative.empty()) return std::string(name);
                        const std::size_t length = std::strlen(name);
                        std::string out;
                        out.reserve(frame.relative.size() + 1 + length);
                        out.append(frame.relative).append(1, '/').append(name, length);
                        return out;
                    };
                    std::string relative = keepEntries || contents ? spell() : std::string();
                    std::string below = contents ? relative : std::string();
                    accept(listed->metadata, std::move(relative), [&] { return path::join(itemPath, spell()); });
                    if (contents) frames.push_back({contents, 0, std::move(below)});
                }
                if (walked && !keepEntries) {
                    // Not reached: more entries than the budget admits were all taken. Should the
                    // folders have changed under the walk, the digest is not made without them.
                    remainingBudget = budgetBefore;
                    result = resultBefore;
                    keepEntries = true;
                    walked = false;
                }
            }
        }

        if (!walked) {
            std::optional<PosixError> walkError;
            auto enumerator = makeDirectoryEnumerator(
                itemPath, DirectoryEnumerator::Options::none,
                [&walkError](const std::string&, const PosixError& error) {
                    walkError = error;
                    return false;
                },
                fs.reader());
            if (!enumerator) throw TrashFailure("The folder could not be read completely.");
            while (auto entry = enumerator->next()) {
                if (stop.stop_requested()) throw CancellationError();
                if (walkError) throw *walkError;
                if (!ancestorsChecked) {
                    validateAncestors(url, fs);
                    ancestorsChecked = true;
                }
                if (entry->statError != 0) throw PosixError(entry->statError, entry->path);
                accept(entry->metadata, relativePath(entry->path, enumerator->level()),
                       [&]() -> const std::string& { return entry->path; });
            }
            if (walkError) throw *walkError;
        }
    }

    if (stop.stop_requested()) throw CancellationError();
    if (metadata(url, fs) != root) throw TrashFailure("This item changed during review. Prepare a fresh preview.");

    // By relative path (each is unique), then in that order into the digest. An order of indices
    // is sorted rather than the entries themselves, which are large to move.
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&entries](std::size_t a, std::size_t b) {
        const int c = entries[a].first.compare(entries[b].first);
        return c < 0 || (c == 0 && a < b);
    });
    Sha256 hash;
    const char zero = '\0';
    for (const std::size_t i : order) {
        const auto& [relative, record] = entries[i];
        hash.update(relative);
        hash.update(&zero, 1);
        hash.update(record.signature());
        hash.update(&zero, 1);
    }
    result.fingerprint.digest = hash.finish();
    result.fingerprint.root = root;
    return result;
}

} // namespace trash
} // namespace morvo
