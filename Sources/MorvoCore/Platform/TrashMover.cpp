#include "MorvoCore/Platform/TrashMover.h"

#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/TrashNaming.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <random>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace morvo {

namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kMaxNameAttempts = 1000;
constexpr std::string_view kInfoSuffix = ".trashinfo";

std::vector<std::string> splitComponents(const std::string& path) {
    std::vector<std::string> out;
    std::size_t position = 0;
    while (position < path.size()) {
        std::size_t end = path.find('/', position);
        if (end == std::string::npos) end = path.size();
        if (end > position) out.push_back(path.substr(position, end - position));
        position = end + 1;
    }
    return out;
}

// A folder reached from "/" one component at a time, none of them a link; when asked for, with
// the device of every folder on the way (for finding the top of the item's volume).
struct OpenedFolder {
    Fd fd;
    std::vector<std::pair<std::string, std::uint64_t>> chain;  // path, device; "/" first
};

// The record of an open descriptor (O_PATH ones included).
int statFd(int fd, FileMetadata& out) {
    struct statx sx {};
    if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) != 0) return errno;
    out.mode = sx.stx_mode;
    out.device = (static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    out.inode = sx.stx_ino;
    out.uid = sx.stx_uid;
    out.linkCount = sx.stx_nlink;
    out.size = static_cast<std::int64_t>(sx.stx_size);
    return 0;
}

// Opens folder `name` in `parent` without following a link. A link there is reported as ELOOP;
// anything else that is not a folder keeps its own error (ENOTDIR).
Fd openFolderAt(int parent, const char* name, const std::string& pathForErrors) {
    Fd fd(::openat(parent, name, kDirectoryFlags));
    if (fd.valid()) return fd;
    int error = errno;
    if (error == ENOTDIR) {
        FileMetadata m;
        if (statAt(parent, name, m, false) == 0 && m.isSymbolicLink()) error = ELOOP;
    }
    throw PosixError(error, pathForErrors);
}

std::uint64_t deviceOf(int fd) {
    FileMetadata m;
    if (statFd(fd, m) != 0) return 0;
    return m.device;
}

OpenedFolder openWithoutLinks(const std::string& folder, bool withDevices = false) {
    OpenedFolder out;
    out.fd = Fd(::open("/", kDirectoryFlags));
    if (!out.fd.valid()) throw PosixError(errno, "/");
    FileMetadata m;
    if (withDevices) {
        if (statFd(out.fd.get(), m) != 0) throw PosixError(errno, "/");
        out.chain.emplace_back("/", m.device);
    }
    std::string soFar;
    for (const std::string& part : splitComponents(folder)) {
        soFar += "/" + part;
        if (part == "." || part == "..") throw PosixError(EINVAL, soFar);
        Fd next = openFolderAt(out.fd.get(), part.c_str(), soFar);
        if (withDevices) {
            if (statFd(next.get(), m) != 0) throw PosixError(errno, soFar);
            out.chain.emplace_back(soFar, m.device);
        }
        out.fd = std::move(next);
    }
    return out;
}

// Creates `name` inside `parent` as a private folder unless it exists, then opens it without
// following a link. The folder must belong to `uid` when `requireOwner`.
Fd makeFolder(int parent, const char* name, const std::string& pathForErrors, uid_t uid, bool requireOwner) {
    if (::mkdirat(parent, name, 0700) != 0 && errno != EEXIST) throw PosixError(errno, pathForErrors);
    Fd fd = openFolderAt(parent, name, pathForErrors);
    if (requireOwner) {
        FileMetadata m;
        if (statFd(fd.get(), m) != 0) throw PosixError(errno, pathForErrors);
        if (m.uid != uid) throw PosixError(EPERM, pathForErrors);
    }
    return fd;
}

void makeParents(const std::string& path) {
    std::string soFar;
    for (const std::string& part : splitComponents(path)) {
        soFar += "/" + part;
        if (::mkdir(soFar.c_str(), 0700) != 0 && errno != EEXIST) throw PosixError(errno, soFar);
    }
}

struct TrashLocation {
    std::string root;   // the trash folder (holding files/ and info/)
    std::string linkFreeRoot;  // the same folder by a path with no link on it: what the journal names
    Fd files;
    Fd info;
    std::string topdir; // empty for the home trash, whose info holds absolute paths
};

TrashLocation openTrashFolders(Fd trash, std::string root, uid_t uid, bool requireOwner) {
    TrashLocation location;
    location.files = makeFolder(trash.get(), "files", root + "/files", uid, requireOwner);
    location.info = makeFolder(trash.get(), "info", root + "/info", uid, requireOwner);
    location.root = std::move(root);
    location.linkFreeRoot = location.root;
    return location;
}

// A path that leads to the open folder `fd` through no link, for recovery, which follows none:
// what the kernel names the folder, when that path leads to this very folder; else `path`.
std::string linkFreePath(int fd, const std::string& path) {
    std::string candidate;
    char buffer[PATH_MAX];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(proc.c_str(), buffer, sizeof buffer);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) {
        candidate.assign(buffer, static_cast<std::size_t>(n));
    } else if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        candidate = resolved;
        std::free(resolved);
    }
    FileMetadata opened, reached;
    if (candidate.empty() || candidate[0] != '/' || statFd(fd, opened) != 0) return path;
    try {
        OpenedFolder folder = openWithoutLinks(candidate);
        if (statFd(folder.fd.get(), reached) != 0) return path;
    } catch (const PosixError&) {
        return path;
    }
    return opened.device == reached.device && opened.inode == reached.inode ? candidate : path;
}

TrashLocation homeTrash(const std::string& dataHome, uid_t uid) {
    makeParents(dataHome);
    Fd data(::open(dataHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!data.valid()) throw PosixError(errno, dataHome);
    const std::string root = path::join(dataHome, "Trash");
    Fd trash = makeFolder(data.get(), "Trash", root, uid, false);
    const std::string linkFree = linkFreePath(trash.get(), root);
    TrashLocation location = openTrashFolders(std::move(trash), root, uid, false);
    location.linkFreeRoot = linkFree;
    return location;
}

// The device of `path` or of its nearest existing ancestor.
std::uint64_t nearestExistingDevice(std::string path) {
    for (;;) {
        FileMetadata m;
        if (statAt(AT_FDCWD, path.c_str(), m) == 0) return m.device;
        if (path == "/" || path.empty()) return 0;
        path = std::string(path::parent(path));
    }
}

// `parent` is opened with its devices.
TrashLocation volumeTrash(const OpenedFolder& parent, std::uint64_t device, uid_t uid) {
    // The top of the volume: the highest folder on the way that is still on the item's device.
    std::string topdir;
    for (auto it = parent.chain.rbegin(); it != parent.chain.rend() && it->second == device; ++it) topdir = it->first;
    if (topdir.empty()) throw PosixError(EXDEV, parent.chain.back().first);
    OpenedFolder top = openWithoutLinks(topdir);
    const std::string uidName = std::to_string(uid);

    // $topdir/.Trash/$uid, only when .Trash is a real folder with the sticky bit.
    FileMetadata shared;
    if (statAt(top.fd.get(), ".Trash", shared) == 0 && shared.isDirectory() && (shared.mode & S_ISVTX)) {
        try {
            Fd sharedFd(::openat(top.fd.get(), ".Trash", kDirectoryFlags));
            if (sharedFd.valid()) {
                const std::string root = path::join(path::join(topdir, ".Trash"), uidName);
                Fd own = makeFolder(sharedFd.get(), uidName.c_str(), root, uid, true);
                TrashLocation location = openTrashFolders(std::move(own), root, uid, true);
                location.topdir = topdir;
                return location;
            }
        } catch (const PosixError&) {
            // Not usable: fall back to the per-user folder, as the layout asks.
        }
    }
    const std::string name = ".Trash-" + uidName;
    const std::string root = path::join(topdir, name);
    Fd own = makeFolder(top.fd.get(), name.c_str(), root, uid, true);
    TrashLocation location = openTrashFolders(std::move(own), root, uid, true);
    location.topdir = topdir;
    return location;
}

std::string localDeletionDate() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &local);
    return buffer;
}

bool writeAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Removes the file this mover created in `folder` and still holds open, and nothing else: when the
// name now points at another object, it is left alone.
void removeOwnEntry(int folder, const std::string& name, int createdFd) {
    FileMetadata created, current;
    if (statFd(createdFd, created) != 0) return;
    if (statAt(folder, name.c_str(), current, false) != 0) return;
    if (created.device != current.device || created.inode != current.inode) return;
    ::unlinkat(folder, name.c_str(), 0);
}

FileMetadata checkIdentity(int parent, const std::string& name, const TrashItemIdentity& expected,
                           const std::string& path) {
    FileMetadata now;
    int error = statAt(parent, name.c_str(), now, false);
    if (error != 0) throw PosixError(error, path);
    if (now.isSymbolicLink() || now.device != expected.device || now.inode != expected.inode)
        throw TrashItemChangedError();
    return now;
}


// Undoes trashPercentEncode; a malformed escape makes the whole value unusable.
std::optional<std::string> percentDecode(std::string_view text) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size() || digit(text[i + 1]) < 0 || digit(text[i + 2]) < 0) return std::nullopt;
        out.push_back(static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2])));
        i += 2;
    }
    return out;
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t position = 0;
    while (position <= line.size()) {
        std::size_t end = line.find(' ', position);
        if (end == std::string_view::npos) end = line.size();
        words.push_back(line.substr(position, end - position));
        position = end + 1;
    }
    return words;
}

constexpr std::string_view kJournalSuffix = ".journal";

std::string journalFolder(const std::string& stateHome) { return path::join(stateHome, "morvo/trash-reservations"); }

// Reads a small file of ours whole, without following a link; nullopt when it is larger than
// `limit` or cannot be read.
std::optional<std::string> readSmallFile(int fd, std::size_t limit) {
    std::string out;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) return out;
        out.append(buffer, static_cast<std::size_t>(n));
        if (out.size() > limit) return std::nullopt;
    }
}

std::optional<std::uint64_t> parseNumber(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// A private temporary name of a record in the making, where the file system has no unnamed files;
// never a record's name (that ends in ".trashinfo").
constexpr std::string_view kTemporaryPrefix = ".morvo-";
constexpr std::string_view kTemporarySuffix = ".tmp";

bool isTemporaryName(std::string_view name) {
    return name.size() > kTemporaryPrefix.size() + kTemporarySuffix.size() && name.starts_with(kTemporaryPrefix) &&
           name.ends_with(kTemporarySuffix);
}

// Errors with which a file system refuses unnamed files (O_TMPFILE), rather than this folder.
bool refusesUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

} // namespace

std::string TrashItemReplacedError::description() const {
    return "Another item took its place after review and went to the Trash instead, as \u201C" +
           std::string(path::lastComponent(landedPath_)) + "\u201D. It could not be put back (" +
           PosixError(moveBackError_, landedPath_).description() + "); restore it from the Trash.";
}

std::string TrashItemVanishedError::description() const {
    return "Another program took it out of the Trash right after the move, before it could be checked; it is no "
           "longer in the Trash.";
}

namespace {

// A journal that has grown past this is emptied as soon as nothing in it is in flight.
constexpr std::int64_t kJournalCompactAt = 256 << 10;
// Recovery reads at most this much of a journal, from its end: where the unsettled work of a mover
// that stopped stands. Journals of this mover never grow near it; an older mover's might have.
constexpr std::int64_t kRecoveryWindow = 8 << 20;

} // namespace

// The mover's journal: what it is about to name in a Trash, one line per step, each written before
// the step that may need undoing, so that the next start can take back what a mover that stopped
// for good left half done:
//   reserve ID INFO FILES CONTENT   the record INFO of an item to land at FILES, holding CONTENT
//                                   (percent-encoded); synced, for a planned run many at once
//   temp ID DEVICE PATH             only where unnamed files are refused: PATH is about to be made
//   created ID DEVICE INODE         this file holds the whole CONTENT and is not yet named INFO
//   done ID                         settled: the item moved, or the record was taken back
// A record gets its name only once its content is complete and its file is written down, so no
// step of a move leaves a record that recovery cannot recognise. The journal is locked while its
// mover lives, so that recovery leaves a running mover's alone; it is emptied whenever it has
// grown large and nothing is in flight. Nothing here throws after it is made: a journal that
// cannot be written is no longer used, and the moves go on without it.
class FreedesktopTrashMover::Journal {
public:
    struct Record {
        std::string info, files, content;
    };
    struct Reserved {
        std::uint64_t first = 0;       // the id of the first record; the others follow in order
        std::uint64_t generation = 0;  // what adopt() needs to use one of the others
    };

    // One reservation in use: settled when it ends, whatever happened.
    class Ticket {
    public:
        Ticket() = default;
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;
        ~Ticket() {
            if (journal_) journal_->done(id_);
        }
        void hold(std::shared_ptr<Journal> journal, std::uint64_t id) {
            journal_ = std::move(journal);
            id_ = id;
        }
        // The record's content is complete in `fd`, which is not yet named.
        void created(int fd) {
            FileMetadata m;
            if (!journal_ || statFd(fd, m) != 0) return;
            journal_->note("created " + std::to_string(id_) + " " + std::to_string(m.device) + " " +
                           std::to_string(m.inode) + "\n");
        }
        // `path` (on `device`) is about to be made as the record's temporary name.
        void temporary(std::uint64_t device, const std::string& path) {
            if (journal_)
                journal_->note("temp " + std::to_string(id_) + " " + std::to_string(device) + " " +
                               trashPercentEncode(path) + "\n");
        }

    private:
        std::shared_ptr<Journal> journal_;
        std::uint64_t id_ = 0;
    };

    // A new journal under `stateHome`; nullptr when its folder or its file cannot be made.
    static std::shared_ptr<Journal> open(const std::string& stateHome) {
        try {
            return std::shared_ptr<Journal>(new Journal(stateHome));
        } catch (const std::exception&) {
            return nullptr;
        }
    }

    ~Journal() {
        std::lock_guard lock(mutex_);
        if (open_ == 0) ::unlinkat(folder_.get(), name_.c_str(), 0);
    }

    bool usable() {
        std::lock_guard lock(mutex_);
        return !broken_;
    }

    // Writes down every record with one synced write; the first is in use from here, the others
    // once adopted. Nothing when the journal cannot take them.
    std::optional<Reserved> reserve(const std::vector<Record>& records) {
        std::lock_guard lock(mutex_);
        if (broken_) return std::nullopt;
        const std::uint64_t first = lastID_ + 1;
        std::string lines;
        for (const Record& r : records)
            lines += "reserve " + std::to_string(++lastID_) + " " + trashPercentEncode(r.info) + " " +
                     trashPercentEncode(r.files) + " " + trashPercentEncode(r.content) + "\n";
        if (!append(std::move(lines))) return std::nullopt;
        if (::fdatasync(fd_.get()) != 0) {
            broken_ = true;
            return std::nullopt;
        }
        ++open_;
        return Reserved{first, generation_};
    }

    // A reservation written down ahead is in use from here (settled by done()); false when its line
    // is gone with an emptied journal, or the journal can no longer be written.
    bool adopt(std::uint64_t generation) {
        std::lock_guard lock(mutex_);
        if (broken_ || generation != generation_) return false;
        ++open_;
        return true;
    }

    // Settles reservation `id`. Its line goes out with the next line written: a reservation that
    // recovery finds unsettled is checked against what is on disk anyway, so a late line costs
    // recovery one look, and the run one write per item less.
    void done(std::uint64_t id) noexcept {
        std::lock_guard lock(mutex_);
        --open_;
        if (broken_) return;
        // Nothing in flight: no line is needed any more, so a journal grown large starts again.
        if (open_ == 0 && size_ > kJournalCompactAt) {
            if (::ftruncate(fd_.get(), 0) == 0) {
                size_ = 0;
                settledSize_ = 0;
                ++generation_;  // the reservations written down ahead went with their lines
            } else {
                broken_ = true;
            }
            return;
        }
        constexpr std::size_t kLongestLine = 32;
        if (settledSize_ + kLongestLine > sizeof settled_) {
            if (!writeOut(std::string_view(settled_, settledSize_))) return;
            settledSize_ = 0;
        }
        char* out = settled_ + settledSize_;
        std::memcpy(out, "done ", 5);
        out = std::to_chars(out + 5, out + kLongestLine - 1, id).ptr;
        *out++ = '\n';
        settledSize_ = static_cast<std::size_t>(out - settled_);
    }

private:
    explicit Journal(const std::string& stateHome) {
        const std::string folder = journalFolder(stateHome);
        makeParents(folder);
        // Readable, not O_PATH: its entries are synced through it.
        folder_ = Fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder_.valid()) throw PosixError(errno, folder);
        std::random_device random;
        for (int attempt = 0; attempt < 100 && !fd_.valid(); ++attempt) {
            name_ = std::to_string(::getpid()) + "-" + std::to_string(random()) + std::string(kJournalSuffix);
            fd_ = Fd(::openat(folder_.get(), name_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              0600));
            if (!fd_.valid() && errno != EEXIST) throw PosixError(errno, path::join(folder, name_));
        }
        if (!fd_.valid()) throw PosixError(EEXIST, folder);
        // Locked, and its own name able to outlive a crash, or not used at all.
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0 || ::fsync(fd_.get()) != 0 || ::fsync(folder_.get()) != 0) {
            const int error = errno;
            ::unlinkat(folder_.get(), name_.c_str(), 0);
            throw PosixError(error, folder);
        }
    }

    void note(std::string line) {
        std::lock_guard lock(mutex_);
        append(std::move(line));
    }

    // Writes `text` after the done lines that wait.
    bool append(std::string text) {
        if (broken_) return false;
        if (settledSize_ > 0) {
            text.insert(0, settled_, settledSize_);
            settledSize_ = 0;
        }
        return writeOut(text);
    }

    // After a failed write nothing more is written: a line cut short stays the last one, and
    // recovery reads only whole lines.
    bool writeOut(std::string_view text) noexcept {
        if (broken_) return false;
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t n = ::write(fd_.get(), text.data() + written, text.size() - written);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                broken_ = true;
                return false;
            }
            written += static_cast<std::size_t>(n);
            size_ += n;
        }
        return true;
    }

    std::mutex mutex_;
    Fd folder_;
    Fd fd_;
    std::string name_;
    std::uint64_t lastID_ = 0;
    std::uint64_t generation_ = 0;
    std::int64_t size_ = 0;
    char settled_[1024];  // done lines not yet written
    std::size_t settledSize_ = 0;
    int open_ = 0;
    bool broken_ = false;
};

namespace {

using Reservation = UnsettledTrashReservation;

// What recovery did with one reservation.
struct Settled {
    bool finished = true;  // else it could not be decided now and waits for a later start
    bool removedRecord = false;
};

// Whether a folder that could not be opened (with `error`) is out of reach now rather than absent:
// it is absent when the volume it was on is there and the folder is not; never through a link.
bool outOfReach(int error, const std::string& folder, std::uint64_t device) {
    if (error == ELOOP) return false;
    if (error == ENOENT || error == ENOTDIR) return nearestExistingDevice(folder) != device;
    return true;
}

// The text of the open file `fd` (described by `m`) when it is at most `limit` bytes and reads
// whole; `tooLarge` is set when it is larger.
std::optional<std::string> readOwnFile(int fd, const FileMetadata& m, std::size_t limit, bool& tooLarge) {
    tooLarge = m.size < 0 || static_cast<std::uint64_t>(m.size) > limit;
    if (tooLarge) return std::nullopt;
    std::optional<std::string> text = readSmallFile(fd, limit);
    if (!text) tooLarge = true;  // it grew meanwhile: not as the mover left it
    return text;
}

// Takes back what one unsettled reservation left: its record, when it is exactly what the mover
// made (the info/NAME.trashinfo beside an absent files/NAME, reached without links, with the
// recorded device, inode and content), and its temporary file. Nothing else is touched.
Settled settle(const Reservation& r) {
    Settled out;
    if (!r.created && r.temporary.empty()) return out;  // nothing was ever named
    const std::string infoName(path::lastComponent(r.info)), fileName(path::lastComponent(r.files));
    const std::string infoFolder(path::parent(r.info)), filesFolder(path::parent(r.files));
    if (!r.info.starts_with("/") || !r.files.starts_with("/") || r.info != path::normalize(r.info) ||
        r.files != path::normalize(r.files) || fileName.empty() || fileName == "." || fileName == ".." ||
        infoName != fileName + std::string(kInfoSuffix) || path::lastComponent(infoFolder) != "info" ||
        path::lastComponent(filesFolder) != "files" || path::parent(infoFolder) != path::parent(filesFolder))
        return out;
    const std::uint64_t device = r.created ? r.device : r.temporaryDevice;

    OpenedFolder info;
    try {
        info = openWithoutLinks(infoFolder);
    } catch (const PosixError& e) {
        out.finished = !outOfReach(e.code(), infoFolder, device);
        return out;
    }
    FileMetadata folder;
    if (statFd(info.fd.get(), folder) != 0) {
        out.finished = false;
        return out;
    }
    if (folder.device != device) return out;  // another volume stands there now: nothing in it is ours

    const std::string temporaryName(path::lastComponent(r.temporary));
    if (!r.temporary.empty() && path::parent(r.temporary) == infoFolder && isTemporaryName(temporaryName)) {
        FileMetadata t;
        const int error = statAt(info.fd.get(), temporaryName.c_str(), t, false);
        if (error != 0 && error != ENOENT) out.finished = false;
        if (error == 0 && t.isRegular() && t.linkCount == 1 && (!r.created || t.inode == r.inode)) {
            Fd file(::openat(info.fd.get(), temporaryName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            FileMetadata opened;
            bool tooLarge = false;
            std::optional<std::string> text;
            if (file.valid() && statFd(file.get(), opened) == 0 && opened.inode == t.inode)
                text = readOwnFile(file.get(), opened, r.content.size(), tooLarge);
            // Any part of the content, as far as the mover got with it.
            if (text && r.content.starts_with(*text)) {
                if (::unlinkat(info.fd.get(), temporaryName.c_str(), 0) != 0) out.finished = false;
            } else if (!text && !tooLarge) {
                out.finished = false;
            }
        }
    }
    if (!r.created) return out;

    FileMetadata now;
    const int error = statAt(info.fd.get(), infoName.c_str(), now, false);
    if (error != 0) {
        if (error != ENOENT) out.finished = false;
        return out;
    }
    if (!now.isRegular() || now.device != r.device || now.inode != r.inode) return out;  // another's
    Fd record(::openat(info.fd.get(), infoName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    FileMetadata opened;
    if (!record.valid() || statFd(record.get(), opened) != 0) {
        out.finished = false;
        return out;
    }
    if (opened.device != r.device || opened.inode != r.inode) return out;
    bool tooLarge = false;
    const std::optional<std::string> text = readOwnFile(record.get(), opened, r.content.size(), tooLarge);
    if (!text) {
        out.finished = tooLarge;
        return out;
    }
    if (*text != r.content) return out;  // rewritten since: no longer what the mover left

    int itemError = 0;
    try {
        OpenedFolder files = openWithoutLinks(filesFolder);
        FileMetadata item;
        itemError = statAt(files.fd.get(), fileName.c_str(), item, false);
    } catch (const PosixError& e) {
        itemError = e.code() == ENOTDIR ? ENOENT : e.code();
    }
    if (itemError == 0 || itemError == ELOOP) return out;  // the item is there, or cannot be told
    if (itemError != ENOENT) {
        out.finished = false;
        return out;
    }
    if (::unlinkat(info.fd.get(), infoName.c_str(), 0) == 0) out.removedRecord = true;
    else out.finished = false;
    return out;
}


// The last `window` bytes of the open file `fd` of `size` bytes, from the first whole line on;
// nullopt when it cannot be read.
std::optional<std::string> readTail(int fd, std::int64_t size, std::int64_t window) {
    const std::int64_t start = size > window ? size - window : 0;
    std::string text(static_cast<std::size_t>(size - start), '\0');
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::pread(fd, text.data() + done, text.size() - done, static_cast<off_t>(start) + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    if (start > 0) {
        const std::size_t newline = text.find('\n');
        text.erase(0, newline == std::string::npos ? text.size() : newline + 1);
    }
    return text;
}

// Puts the lines of work that must wait into a journal of their own (locked while it is written),
// then removes the old one; the old one stays when that fails, so nothing is lost either way.
void keepForLater(int folder, const std::string& oldName, const std::string& lines) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = std::to_string(::getpid()) + "-" + std::to_string(random()) + std::string(kJournalSuffix);
        Fd fd(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST) continue;
            return;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && writeAll(fd.get(), lines) && ::fdatasync(fd.get()) == 0 &&
            ::fsync(folder) == 0) {
            ::unlinkat(folder, oldName.c_str(), 0);
            return;
        }
        ::unlinkat(folder, name.c_str(), 0);
        return;
    }
}

} // namespace

std::vector<UnsettledTrashReservation> unsettledTrashReservations(std::string_view text) {
    std::map<std::uint64_t, Reservation> open;
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t end = text.find('\n', position);
        if (end == std::string_view::npos) break;  // a line cut short by the crash
        const std::string_view line = text.substr(position, end - position + 1);
        const std::vector<std::string_view> words = splitWords(line.substr(0, line.size() - 1));
        position = end + 1;
        const std::optional<std::uint64_t> id = words.size() >= 2 ? parseNumber(words[1]) : std::nullopt;
        if (!id) continue;
        if (words.size() == 5 && words[0] == "reserve") {
            auto info = percentDecode(words[2]), files = percentDecode(words[3]), content = percentDecode(words[4]);
            if (info && files && content) open[*id] = {*info, *files, *content, 0, 0, false, {}, 0, std::string(line)};
            continue;
        }
        const auto found = open.find(*id);
        if (found == open.end()) continue;
        Reservation& r = found->second;
        if (words.size() == 2 && words[0] == "done") {
            open.erase(found);
        } else if (words.size() == 4 && words[0] == "created") {
            const auto device = parseNumber(words[2]), inode = parseNumber(words[3]);
            if (!device || !inode) continue;
            r.device = *device;
            r.inode = *inode;
            r.created = true;
            r.lines += line;
        } else if (words.size() == 4 && words[0] == "temp") {
            const auto device = parseNumber(words[2]);
            const auto temporary = percentDecode(words[3]);
            if (!device || !temporary) continue;
            r.temporaryDevice = *device;
            r.temporary = *temporary;
            r.lines += line;
        }
    }
    std::vector<Reservation> out;
    out.reserve(open.size());
    for (auto& [id, r] : open) out.push_back(std::move(r));
    return out;
}

std::size_t FreedesktopTrashMover::recoverInterruptedMoves(const std::string& stateHome) {
    if (stateHome.empty()) return 0;
    const std::string folder = journalFolder(stateHome);
    Fd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folderFd.valid()) return 0;
    std::vector<std::string> journals;
    {
        const int listing = ::openat(folderFd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;  // owns `listing` from here
        if (!dir) {
            if (listing >= 0) ::close(listing);
            return 0;
        }
        while (dirent* entry = ::readdir(dir)) {
            std::string_view name = entry->d_name;
            if (name.ends_with(kJournalSuffix)) journals.emplace_back(name);
        }
        ::closedir(dir);
    }
    std::size_t removed = 0;
    for (const std::string& name : journals) {
        Fd journal(::openat(folderFd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!journal.valid()) continue;
        FileMetadata m;
        if (statFd(journal.get(), m) != 0 || !m.isRegular()) continue;
        if (::flock(journal.get(), LOCK_EX | LOCK_NB) != 0) continue;  // its mover still runs
        const std::optional<std::string> text = readTail(journal.get(), m.size, kRecoveryWindow);
        if (!text) continue;  // kept, for a start that can read it
        std::string waiting;
        for (const Reservation& reservation : unsettledTrashReservations(*text)) {
            const Settled settled = settle(reservation);
            if (settled.removedRecord) ++removed;
            if (!settled.finished) waiting += reservation.lines;
        }
        if (waiting.empty()) ::unlinkat(folderFd.get(), name.c_str(), 0);
        else if (static_cast<std::size_t>(m.size) > waiting.size()) keepForLater(folderFd.get(), name, waiting);
    }
    return removed;
}

namespace {

// The home Trash, opened once and used for as long as its folders are still the ones its names
// lead to.
struct OpenHomeTrash {
    TrashLocation location;
    FileMetadata files, info;

    bool stillNamed() const {
        auto same = [](const std::string& path, const FileMetadata& opened) {
            FileMetadata now;
            return statAt(AT_FDCWD, path.c_str(), now, false) == 0 && now.isDirectory() &&
                   now.device == opened.device && now.inode == opened.inode;
        };
        return same(location.root + "/files", files) && same(location.root + "/info", info);
    }
};

// The Path= value of `path` in a trash whose top folder is `topdir` (empty: the home trash).
std::optional<std::string> originalPathIn(const std::string& path, const std::string& topdir) {
    if (topdir.empty()) return path;
    if (topdir == "/") return path.substr(1);
    if (path.size() <= topdir.size() + 1 || !path.starts_with(topdir) || path[topdir.size()] != '/') return std::nullopt;
    return path.substr(topdir.size() + 1);
}

// How many planned items one synced write reserves ahead, and for how long such a reservation is
// used: its deletion date is the time it was written down.
constexpr std::size_t kReservedAhead = 128;
constexpr auto kAheadLifetime = std::chrono::seconds(2);

// How unnamed records get their name: by the descriptor itself (older kernels want a privilege
// for that), else through /proc, else not at all (a temporary name instead).
enum class Linking { emptyPath, proc, none };

} // namespace

struct FreedesktopTrashMover::State {
    std::mutex mutex;
    std::shared_ptr<const OpenHomeTrash> home;
    std::vector<std::string> planned;                           // normalized, in order
    std::unordered_map<std::string, std::size_t> plannedIndex;  // path -> its first place
    struct Ahead {
        std::uint64_t id, generation;
        std::shared_ptr<Journal> journal;
        std::string files, originalPath, content;
        std::chrono::steady_clock::time_point writtenAt;
    };
    std::unordered_map<std::string, Ahead> ahead;  // by the record's path in the journal
    std::shared_ptr<Journal> journal;
    std::size_t journalRetryIn = 0;  // items moved without a journal before it is tried again
    std::atomic<Linking> linking{Linking::emptyPath};
    std::unordered_set<std::uint64_t> withoutUnnamedFiles;  // devices whose file system refuses them
    std::string temporaryPrefix;  // private to this mover
    std::uint64_t temporaries = 0;

    State() {
        std::random_device random;
        temporaryPrefix = std::string(kTemporaryPrefix) + std::to_string(::getpid()) + "-" +
                          std::to_string(random()) + std::to_string(random()) + "-";
    }

    std::shared_ptr<const OpenHomeTrash> homeTrashFor(const Options& options) {
        std::lock_guard lock(mutex);
        if (home && home->stillNamed()) return home;
        home.reset();
        auto opened = std::make_shared<OpenHomeTrash>();
        opened->location = homeTrash(options.dataHome, options.uid);
        if (statFd(opened->location.files.get(), opened->files) != 0 ||
            statFd(opened->location.info.get(), opened->info) != 0)
            throw PosixError(errno, opened->location.root);
        home = std::move(opened);
        return home;
    }

    // The journal to write in, or none: the journal only serves recovery, so where it cannot be
    // kept the moves go on without it, and it is tried again at the next run or some items later.
    std::shared_ptr<Journal> journalFor(const std::string& stateHome) {
        if (stateHome.empty()) return nullptr;
        std::lock_guard lock(mutex);
        if (journal && journal->usable()) return journal;
        if (journal) {
            journal.reset();  // removed once its last reservation is settled
            ahead.clear();
            journalRetryIn = kReservedAhead;
        }
        if (journalRetryIn > 0) {
            --journalRetryIn;
            return nullptr;
        }
        journal = Journal::open(stateHome);
        if (!journal) journalRetryIn = kReservedAhead;
        return journal;
    }

    // The reservation written down ahead for exactly this record, when there is a fresh one.
    std::optional<Ahead> takeAhead(const std::string& info, const std::string& files, const std::string& originalPath) {
        std::lock_guard lock(mutex);
        auto found = ahead.find(info);
        if (found == ahead.end()) return std::nullopt;
        Ahead taken = std::move(found->second);
        ahead.erase(found);
        if (taken.files != files || taken.originalPath != originalPath ||
            std::chrono::steady_clock::now() - taken.writtenAt > kAheadLifetime)
            return std::nullopt;
        return taken;
    }

    // The records of the planned items after `path` that would go to `location` under their own
    // names, appended to `records` (whose first entry is the current item's).
    void planAfter(const std::string& path, const TrashLocation& location, const std::string& date,
                   std::vector<Journal::Record>& records, std::vector<std::string>& originals) {
        std::lock_guard lock(mutex);
        ahead.clear();
        auto found = plannedIndex.find(path);
        if (found == plannedIndex.end()) return;
        std::unordered_set<std::string> taken{records.front().info};
        const std::size_t end = std::min(planned.size(), found->second + 1 + kReservedAhead);
        for (std::size_t i = found->second + 1; i < end; ++i) {
            const std::string& next = planned[i];
            const std::string name(path::lastComponent(next));
            if (next == "/" || name.empty() || name == "." || name == "..") continue;
            std::optional<std::string> original = originalPathIn(next, location.topdir);
            if (!original) continue;
            const std::string candidate = trashCandidateName(name, 1);
            std::string info = location.linkFreeRoot + "/info/" + candidate + std::string(kInfoSuffix);
            if (!taken.insert(info).second) continue;
            records.push_back(
                {std::move(info), location.linkFreeRoot + "/files/" + candidate, trashInfoContent(*original, date)});
            originals.push_back(std::move(*original));
        }
    }

    void rememberAhead(const std::vector<Journal::Record>& records, std::vector<std::string>& originals,
                       const std::shared_ptr<Journal>& written, const Journal::Reserved& reserved) {
        std::lock_guard lock(mutex);
        const auto now = std::chrono::steady_clock::now();
        for (std::size_t i = 1; i < records.size(); ++i)
            ahead[records[i].info] = {reserved.first + i, reserved.generation, written, records[i].files,
                                      std::move(originals[i - 1]), records[i].content, now};
    }

    bool unnamedFilesOn(std::uint64_t device) {
        std::lock_guard lock(mutex);
        return !withoutUnnamedFiles.contains(device);
    }

    std::string nextTemporaryName() {
        std::lock_guard lock(mutex);
        return temporaryPrefix + std::to_string(++temporaries) + std::string(kTemporarySuffix);
    }

    // Names the unnamed file `fd` `name` in `folder`: 0, EEXIST when the name is taken, another
    // errno when the folder refuses, or -1 when this system cannot name unnamed files.
    int linkUnnamed(int fd, int folder, const std::string& name) {
        if (linking.load() == Linking::emptyPath) {
            if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
            const int error = errno;
            if (error != ENOENT && error != EPERM) return error;
            linking = Linking::proc;  // refused for want of the privilege, or no such folder: /proc tells
        }
        if (linking.load() == Linking::proc) {
            char proc[40];
            std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
            if (::linkat(AT_FDCWD, proc, folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
            const int error = errno;
            // ENOENT from the folder, not from a missing /proc.
            if (error != ENOENT || ::faccessat(AT_FDCWD, proc, F_OK, AT_SYMLINK_NOFOLLOW) == 0) return error;
            linking = Linking::none;
        }
        return -1;
    }

    // Gives the record `content` the name `infoName` in the info folder `info` (on `device`; its
    // path for the journal is `journalFolder`), never replacing anything and only once the content
    // is complete and its file written down under `ticket`. Returns the record's file, open, or an
    // invalid one when the name is taken; throws PosixError (for `infoPath`) when it cannot be made.
    Fd publish(int info, const std::string& infoName, const std::string& infoPath, const std::string& journalFolder,
               std::uint64_t device, const std::string& content, Journal::Ticket& ticket) {
        if (unnamedFilesOn(device)) {
            Fd record(::openat(info, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
            if (!record.valid()) {
                if (!refusesUnnamedFiles(errno)) throw PosixError(errno, infoPath);
                std::lock_guard lock(mutex);
                withoutUnnamedFiles.insert(device);
            } else {
                if (!writeAll(record.get(), content)) throw PosixError(errno, infoPath);
                ticket.created(record.get());
                const int error = linkUnnamed(record.get(), info, infoName);
                if (error == 0) return record;
                if (error == EEXIST) return Fd();
                if (error > 0) throw PosixError(error, infoPath);
            }
        }
        // A private temporary name, written down before it exists and renamed to the record's name
        // once the content is complete.
        const std::string temporary = nextTemporaryName();
        ticket.temporary(device, journalFolder + temporary);
        Fd record(::openat(info, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!record.valid()) throw PosixError(errno, infoPath);
        if (!writeAll(record.get(), content)) {
            const int error = errno;
            removeOwnEntry(info, temporary, record.get());
            throw PosixError(error, infoPath);
        }
        ticket.created(record.get());
        if (::renameat2(info, temporary.c_str(), info, infoName.c_str(), RENAME_NOREPLACE) == 0) return record;
        const int error = errno;
        removeOwnEntry(info, temporary, record.get());
        if (error == EEXIST) return Fd();
        throw PosixError(error, infoPath);
    }
};

void FreedesktopTrashMover::plan(const std::vector<Url>& items) {
    std::lock_guard lock(state_->mutex);
    state_->planned.clear();
    state_->plannedIndex.clear();
    state_->ahead.clear();
    state_->journalRetryIn = 0;  // a new run tries the journal again at once
    for (const Url& item : items) {
        if (!item.isFileURL() || !item.path.starts_with("/")) continue;
        state_->plannedIndex.emplace(path::normalize(item.path), state_->planned.size());
        state_->planned.push_back(path::normalize(item.path));
    }
}

FreedesktopTrashMover::FreedesktopTrashMover(Options options)
    : options_(std::move(options)), state_(std::make_unique<State>()) {}

FreedesktopTrashMover::~FreedesktopTrashMover() = default;

FreedesktopTrashMover::Options FreedesktopTrashMover::optionsFromEnvironment() {
    Options options;
    options.uid = ::getuid();
    auto home = [&options]() -> std::string {
        const char* env = std::getenv("HOME");
        if (env && env[0] == '/') return path::normalize(env);
        // The reentrant lookup: this runs on worker threads.
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(options.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
            found->pw_dir[0] == '/')
            return path::normalize(found->pw_dir);
        return "/";
    };
    auto xdg = [&home](const char* variable, const char* fallback) {
        const char* value = std::getenv(variable);
        if (value && value[0] == '/') return path::normalize(value);
        return path::normalize(path::join(home(), fallback));
    };
    options.dataHome = xdg("XDG_DATA_HOME", ".local/share");
    options.stateHome = xdg("XDG_STATE_HOME", ".local/state");
    return options;
}

std::optional<Url> FreedesktopTrashMover::trashItem(const Url& item, const TrashItemIdentity& expected) {
    if (!item.isFileURL() || !item.path.starts_with("/")) throw PosixError(EINVAL, item.path);
    const std::string path = path::normalize(item.path);
    const std::string name(path::lastComponent(path));
    if (path == "/" || name.empty() || name == "." || name == "..") throw PosixError(EINVAL, path);

    // Held open from here to the rename: the item is renamed out of this very folder.
    OpenedFolder parent = openWithoutLinks(std::string(path::parent(path)));
    const FileMetadata itemRecord = checkIdentity(parent.fd.get(), name, expected, path);

    std::shared_ptr<const OpenHomeTrash> home;
    TrashLocation volume;
    const TrashLocation* location = nullptr;
    try {
        home = state_->homeTrashFor(options_);
        if (home->files.device == itemRecord.device) location = &home->location;
    } catch (const PosixError&) {
        // Without a usable home Trash an item on the home volume cannot go anywhere; an item on
        // another volume can still use that volume's trash.
        if (nearestExistingDevice(options_.dataHome) == itemRecord.device) throw;
    }
    if (!location) {
        volume = volumeTrash(openWithoutLinks(std::string(path::parent(path)), true), itemRecord.device, options_.uid);
        if (deviceOf(volume.files.get()) != itemRecord.device) throw PosixError(EXDEV, path);
        location = &volume;
    }

    const std::optional<std::string> originalPath = originalPathIn(path, location->topdir);
    if (!originalPath) throw PosixError(EXDEV, path);
    std::string content;  // the record's text, fixed by the first reservation
    auto dateNow = [this] { return options_.deletionDate ? options_.deletionDate() : localDeletionDate(); };
    const std::shared_ptr<Journal> journal = state_->journalFor(options_.stateHome);
    const std::string journalInfo = location->linkFreeRoot + "/info/";

    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate = trashCandidateName(name, attempt);
        const std::string infoName = candidate + std::string(kInfoSuffix);
        const std::string infoPath = location->root + "/info/" + infoName;
        const std::string landedPath = location->root + "/files/" + candidate;
        // Written down (and on disk) before the record has a name, settled whatever happens after.
        // The first name tried was usually written down ahead, with the planned items before it.
        Journal::Ticket ticket;
        if (journal) {
            const std::string recordPath = journalInfo + infoName;
            const std::string itemPath = location->linkFreeRoot + "/files/" + candidate;
            std::optional<State::Ahead> ahead =
                attempt == 1 ? state_->takeAhead(recordPath, itemPath, *originalPath) : std::nullopt;
            if (ahead && ahead->journal->adopt(ahead->generation)) {
                content = std::move(ahead->content);
                ticket.hold(std::move(ahead->journal), ahead->id);
            } else {
                const std::string date = dateNow();
                if (content.empty()) content = trashInfoContent(*originalPath, date);
                std::vector<Journal::Record> records{{recordPath, itemPath, content}};
                std::vector<std::string> originals;
                if (attempt == 1) state_->planAfter(path, *location, date, records, originals);
                if (const auto reserved = journal->reserve(records)) {
                    ticket.hold(journal, reserved->first);
                    state_->rememberAhead(records, originals, journal, *reserved);
                }
            }
        }
        if (content.empty()) content = trashInfoContent(*originalPath, dateNow());

        const Fd info = state_->publish(location->info.get(), infoName, infoPath, journalInfo, itemRecord.device,
                                        content, ticket);
        if (!info.valid()) continue;  // the name is taken
        try {
            checkIdentity(parent.fd.get(), name, expected, path);
        } catch (...) {
            removeOwnEntry(location->info.get(), infoName, info.get());
            throw;
        }
        if (options_.beforeRename) options_.beforeRename();
        if (::renameat2(parent.fd.get(), name.c_str(), location->files.get(), candidate.c_str(), RENAME_NOREPLACE) != 0) {
            const int error = errno;
            removeOwnEntry(location->info.get(), infoName, info.get());
            if (error == EEXIST) continue;
            throw PosixError(error, path);
        }

        // The rename went by name: make sure what landed is the reviewed object. Another one that
        // took the name in the meantime is put back where it was.
        FileMetadata landed;
        const int landedError = statAt(location->files.get(), candidate.c_str(), landed, false);
        if (landedError == 0 && !landed.isSymbolicLink() && landed.device == expected.device &&
            landed.inode == expected.inode)
            return Url::file(landedPath, itemRecord.isDirectory());
        if (landedError == ENOENT) {
            // Taken out of the Trash at once by another program: its record would point at nothing.
            removeOwnEntry(location->info.get(), infoName, info.get());
            throw TrashItemVanishedError();
        }
        if (landedError == 0 &&
            ::renameat2(location->files.get(), candidate.c_str(), parent.fd.get(), name.c_str(), RENAME_NOREPLACE) == 0) {
            removeOwnEntry(location->info.get(), infoName, info.get());
            throw TrashItemChangedError();
        }
        // It stays in the Trash with its record, so it can be restored from there.
        throw TrashItemReplacedError(landedPath, landedError != 0 ? landedError : errno);
    }
    throw PosixError(EEXIST, path);
}

std::string homeTrashDirectory() {
    return path::join(FreedesktopTrashMover::optionsFromEnvironment().dataHome, "Trash");
}

std::shared_ptr<TrashMover> makeDefaultTrashMover() {
    FreedesktopTrashMover::Options options = FreedesktopTrashMover::optionsFromEnvironment();
    // What an earlier run left half done is settled before this one moves anything.
    FreedesktopTrashMover::recoverInterruptedMoves(options.stateHome);
    return std::make_shared<FreedesktopTrashMover>(std::move(options));
}

} // namespace morvo
