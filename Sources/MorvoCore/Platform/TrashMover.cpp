#include "MorvoCore/Platform/TrashMover.h"

#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/TrashNaming.h"

#include <fcntl.h>
#include <sys/file.h>
#include <dirent.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
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

// A folder reached from "/" one component at a time, none of them a link; with the device of
// every folder on the way (for finding the top of the item's volume).
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

OpenedFolder openWithoutLinks(const std::string& folder) {
    OpenedFolder out;
    out.fd = Fd(::open("/", kDirectoryFlags));
    if (!out.fd.valid()) throw PosixError(errno, "/");
    FileMetadata m;
    if (statFd(out.fd.get(), m) != 0) throw PosixError(errno, "/");
    out.chain.emplace_back("/", m.device);
    std::string soFar;
    for (const std::string& part : splitComponents(folder)) {
        soFar += "/" + part;
        if (part == "." || part == "..") throw PosixError(EINVAL, soFar);
        Fd next = openFolderAt(out.fd.get(), part.c_str(), soFar);
        if (statFd(next.get(), m) != 0) throw PosixError(errno, soFar);
        out.chain.emplace_back(soFar, m.device);
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
    Fd files;
    Fd info;
    std::string topdir; // empty for the home trash, whose info holds absolute paths
};

TrashLocation openTrashFolders(Fd trash, std::string root, uid_t uid, bool requireOwner) {
    TrashLocation location;
    location.files = makeFolder(trash.get(), "files", root + "/files", uid, requireOwner);
    location.info = makeFolder(trash.get(), "info", root + "/info", uid, requireOwner);
    location.root = std::move(root);
    return location;
}

TrashLocation homeTrash(const std::string& dataHome, uid_t uid) {
    makeParents(dataHome);
    Fd data(::open(dataHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!data.valid()) throw PosixError(errno, dataHome);
    const std::string root = path::join(dataHome, "Trash");
    Fd trash = makeFolder(data.get(), "Trash", root, uid, false);
    return openTrashFolders(std::move(trash), root, uid, false);
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

// Removes the info file this mover created and still holds open, and nothing else: when the
// name now points at another object, it is left alone.
void removeOwnInfo(int infoFolder, const std::string& infoName, int createdFd) {
    FileMetadata created, current;
    if (statFd(createdFd, created) != 0) return;
    if (statAt(infoFolder, infoName.c_str(), current) != 0) return;
    if (created.device != current.device || created.inode != current.inode) return;
    ::unlinkat(infoFolder, infoName.c_str(), 0);
}

FileMetadata checkIdentity(int parent, const std::string& name, const TrashItemIdentity& expected,
                           const std::string& path) {
    FileMetadata now;
    int error = statAt(parent, name.c_str(), now);
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

} // namespace

std::string TrashItemReplacedError::description() const {
    return "Another item took its place after review and went to the Trash instead, as \u201C" +
           std::string(path::lastComponent(landedPath_)) + "\u201D. It could not be put back (" +
           PosixError(moveBackError_, landedPath_).description() + "); restore it from the Trash.";
}

// The mover's notes of the restore records it is about to create, one line per step, each on disk
// before the step that may need undoing:
//   reserve ID INFO FILES CONTENT   (percent-encoded; synced before INFO is created)
//   created ID DEVICE INODE         (INFO exists and is this file)
//   done ID                         (settled: the item moved, or the record was taken back)
// The journal is locked while its mover lives, so that recovery leaves a running mover's alone.
class FreedesktopTrashMover::Journal {
public:
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
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) throw PosixError(errno, path::join(folder, name_));
        // The journal's own name must outlive a crash too.
        if (::fsync(fd_.get()) != 0 || ::fsync(folder_.get()) != 0) throw PosixError(errno, folder);
        path_ = path::join(folder, name_);
    }

    ~Journal() {
        std::lock_guard lock(mutex_);
        if (open_ == 0) ::unlinkat(folder_.get(), name_.c_str(), 0);
    }

    struct Record {
        std::string info, files, content;
    };
    // Writes down every record with one synced write and returns the first one's id, the others
    // following in order. The first is in use from here; the others once adopted.
    std::uint64_t reserve(const std::vector<Record>& records) {
        std::lock_guard lock(mutex_);
        const std::uint64_t first = lastID_ + 1;
        std::string lines;
        for (const Record& r : records)
            lines += "reserve " + std::to_string(++lastID_) + " " + trashPercentEncode(r.info) + " " +
                     trashPercentEncode(r.files) + " " + trashPercentEncode(r.content) + "\n";
        append(lines);
        if (::fdatasync(fd_.get()) != 0) throw PosixError(errno, path_);
        ++open_;
        return first;
    }
    // A reservation written down ahead is in use from here (settled by done()).
    void adopt() {
        std::lock_guard lock(mutex_);
        ++open_;
    }
    void created(std::uint64_t id, int fd) {
        FileMetadata m;
        if (statFd(fd, m) != 0) return;
        std::lock_guard lock(mutex_);
        append("created " + std::to_string(id) + " " + std::to_string(m.device) + " " + std::to_string(m.inode) + "\n");
    }
    void done(std::uint64_t id) {
        std::lock_guard lock(mutex_);
        append("done " + std::to_string(id) + "\n");
        --open_;
    }

private:
    void append(const std::string& line) {
        if (!writeAll(fd_.get(), line)) throw PosixError(errno, path_);
    }

    std::mutex mutex_;
    Fd folder_;
    Fd fd_;
    std::string name_;
    std::string path_;
    std::uint64_t lastID_ = 0;
    int open_ = 0;
};

namespace {

struct Reservation {
    std::string info, files, content;
    std::uint64_t device = 0, inode = 0;
    bool created = false, done = false;
};

// Removes the record of one unsettled reservation when it is exactly what the mover left.
bool takeBack(const Reservation& r) {
    // Only an info/NAME.trashinfo beside files/NAME inside one Trash folder.
    const std::string infoName(path::lastComponent(r.info)), fileName(path::lastComponent(r.files));
    const std::string infoFolder(path::parent(r.info)), filesFolder(path::parent(r.files));
    if (!r.info.starts_with("/") || !r.files.starts_with("/") || r.info != path::normalize(r.info) ||
        r.files != path::normalize(r.files) || fileName.empty() || fileName == "." || fileName == ".." ||
        infoName != fileName + std::string(kInfoSuffix) || path::lastComponent(infoFolder) != "info" ||
        path::lastComponent(filesFolder) != "files" || path::parent(infoFolder) != path::parent(filesFolder))
        return false;
    try {
        OpenedFolder info = openWithoutLinks(infoFolder);
        FileMetadata now;
        if (statAt(info.fd.get(), infoName.c_str(), now, false) != 0) return false;
        if (!now.isRegular() || now.device != r.device || now.inode != r.inode) return false;
        Fd record(::openat(info.fd.get(), infoName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!record.valid()) return false;
        FileMetadata opened;
        if (statFd(record.get(), opened) != 0 || opened.inode != r.inode || opened.device != r.device) return false;
        if (readSmallFile(record.get(), r.content.size()) != r.content) return false;
        OpenedFolder files = openWithoutLinks(filesFolder);
        FileMetadata item;
        if (statAt(files.fd.get(), fileName.c_str(), item, false) != ENOENT) return false;
        return ::unlinkat(info.fd.get(), infoName.c_str(), 0) == 0;
    } catch (const PosixError&) {
        return false;
    }
}

} // namespace

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
        std::optional<std::string> text = readSmallFile(journal.get(), 64u << 20);
        if (!text) continue;
        std::map<std::string, Reservation> reservations;
        std::size_t position = 0;
        while (position < text->size()) {
            std::size_t end = text->find('\n', position);
            if (end == std::string::npos) break;  // a line cut short by the crash
            const std::vector<std::string_view> words = splitWords(std::string_view(*text).substr(position, end - position));
            position = end + 1;
            if (words.size() == 5 && words[0] == "reserve") {
                auto info = percentDecode(words[2]), files = percentDecode(words[3]), content = percentDecode(words[4]);
                if (info && files && content) reservations[std::string(words[1])] = {*info, *files, *content};
            } else if (words.size() == 4 && words[0] == "created") {
                auto found = reservations.find(std::string(words[1]));
                if (found == reservations.end()) continue;
                try {
                    found->second.device = std::stoull(std::string(words[2]));
                    found->second.inode = std::stoull(std::string(words[3]));
                    found->second.created = true;
                } catch (const std::exception&) {
                }
            } else if (words.size() == 2 && words[0] == "done") {
                if (auto found = reservations.find(std::string(words[1])); found != reservations.end())
                    found->second.done = true;
            }
        }
        for (const auto& [id, reservation] : reservations)
            if (reservation.created && !reservation.done && takeBack(reservation)) ++removed;
        ::unlinkat(folderFd.get(), name.c_str(), 0);
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

} // namespace

struct FreedesktopTrashMover::State {
    std::mutex mutex;
    std::shared_ptr<const OpenHomeTrash> home;
    std::vector<std::string> planned;                           // normalized, in order
    std::unordered_map<std::string, std::size_t> plannedIndex;  // path -> its first place
    struct Ahead {
        std::uint64_t id;
        std::string files, originalPath, content;
        std::chrono::steady_clock::time_point writtenAt;
    };
    std::unordered_map<std::string, Ahead> ahead;  // by info path

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
            std::string info = location.root + "/info/" + candidate + std::string(kInfoSuffix);
            if (!taken.insert(info).second) continue;
            records.push_back({std::move(info), location.root + "/files/" + candidate, trashInfoContent(*original, date)});
            originals.push_back(std::move(*original));
        }
    }

    void rememberAhead(const std::vector<Journal::Record>& records, std::vector<std::string>& originals,
                       std::uint64_t firstID) {
        std::lock_guard lock(mutex);
        const auto now = std::chrono::steady_clock::now();
        for (std::size_t i = 1; i < records.size(); ++i)
            ahead[records[i].info] = {firstID + i, records[i].files, std::move(originals[i - 1]), records[i].content, now};
    }
};

void FreedesktopTrashMover::plan(const std::vector<Url>& items) {
    std::lock_guard lock(state_->mutex);
    state_->planned.clear();
    state_->plannedIndex.clear();
    state_->ahead.clear();
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
        volume = volumeTrash(parent, itemRecord.device, options_.uid);
        if (deviceOf(volume.files.get()) != itemRecord.device) throw PosixError(EXDEV, path);
        location = &volume;
    }

    const std::optional<std::string> originalPath = originalPathIn(path, location->topdir);
    if (!originalPath) throw PosixError(EXDEV, path);
    std::string content;  // the record's text, fixed by the first reservation
    auto dateNow = [this] { return options_.deletionDate ? options_.deletionDate() : localDeletionDate(); };

    if (!options_.stateHome.empty() && !journal_) journal_ = std::make_unique<Journal>(options_.stateHome);

    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate = trashCandidateName(name, attempt);
        const std::string infoName = candidate + std::string(kInfoSuffix);
        const std::string infoPath = location->root + "/info/" + infoName;
        const std::string landedPath = location->root + "/files/" + candidate;
        // Written down (and on disk) before the record exists, settled whatever happens after.
        // The first name tried was usually written down ahead, with the planned items before it.
        std::uint64_t id = 0;
        if (!journal_) {
            if (content.empty()) content = trashInfoContent(*originalPath, dateNow());
        } else if (auto ahead = attempt == 1 ? state_->takeAhead(infoPath, landedPath, *originalPath) : std::nullopt) {
            content = std::move(ahead->content);
            id = ahead->id;
            journal_->adopt();
        } else {
            const std::string date = dateNow();
            if (content.empty()) content = trashInfoContent(*originalPath, date);
            std::vector<Journal::Record> records{{infoPath, landedPath, content}};
            std::vector<std::string> originals;
            if (attempt == 1) state_->planAfter(path, *location, date, records, originals);
            id = journal_->reserve(records);
            state_->rememberAhead(records, originals, id);
        }
        struct Settle {
            Journal* journal;
            std::uint64_t id;
            ~Settle() {
                if (journal) journal->done(id);
            }
        } settle{journal_.get(), id};

        Fd info(::openat(location->info.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         0600));
        if (!info.valid()) {
            if (errno == EEXIST) continue;
            throw PosixError(errno, infoPath);
        }
        if (settle.journal) settle.journal->created(settle.id, info.get());
        if (!writeAll(info.get(), content)) {
            const int error = errno;
            removeOwnInfo(location->info.get(), infoName, info.get());
            throw PosixError(error, infoPath);
        }
        try {
            checkIdentity(parent.fd.get(), name, expected, path);
        } catch (...) {
            removeOwnInfo(location->info.get(), infoName, info.get());
            throw;
        }
        if (options_.beforeRename) options_.beforeRename();
        if (::renameat2(parent.fd.get(), name.c_str(), location->files.get(), candidate.c_str(), RENAME_NOREPLACE) != 0) {
            const int error = errno;
            removeOwnInfo(location->info.get(), infoName, info.get());
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
        if (landedError == 0 &&
            ::renameat2(location->files.get(), candidate.c_str(), parent.fd.get(), name.c_str(), RENAME_NOREPLACE) == 0) {
            removeOwnInfo(location->info.get(), infoName, info.get());
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
