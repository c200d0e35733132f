#include "MorvoCore/Platform/TrashMover.h"

#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/TrashNaming.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
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

void checkIdentity(int parent, const std::string& name, const TrashItemIdentity& expected, const std::string& path) {
    FileMetadata now;
    int error = statAt(parent, name.c_str(), now);
    if (error != 0) throw PosixError(error, path);
    if (now.isSymbolicLink() || now.device != expected.device || now.inode != expected.inode)
        throw TrashItemChangedError();
}

} // namespace

FreedesktopTrashMover::FreedesktopTrashMover(Options options) : options_(std::move(options)) {}

FreedesktopTrashMover::Options FreedesktopTrashMover::optionsFromEnvironment() {
    Options options;
    options.uid = ::getuid();
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        options.dataHome = path::normalize(xdg);
        return options;
    }
    std::string home;
    const char* env = std::getenv("HOME");
    if (env && env[0] == '/') {
        home = env;
    } else {
        // The reentrant lookup: this runs on worker threads.
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(options.uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
            found->pw_dir[0] == '/')
            home = found->pw_dir;
        else
            home = "/";
    }
    options.dataHome = path::normalize(path::join(path::normalize(home), ".local/share"));
    return options;
}

std::optional<Url> FreedesktopTrashMover::trashItem(const Url& item, const TrashItemIdentity& expected) {
    if (!item.isFileURL() || !item.path.starts_with("/")) throw PosixError(EINVAL, item.path);
    const std::string path = path::normalize(item.path);
    const std::string name(path::lastComponent(path));
    if (path == "/" || name.empty() || name == "." || name == "..") throw PosixError(EINVAL, path);

    // Held open from here to the rename: the item is renamed out of this very folder.
    OpenedFolder parent = openWithoutLinks(std::string(path::parent(path)));
    checkIdentity(parent.fd.get(), name, expected, path);
    FileMetadata itemRecord;
    if (int error = statAt(parent.fd.get(), name.c_str(), itemRecord); error != 0) throw PosixError(error, path);

    TrashLocation location;
    bool useHome = false;
    try {
        location = homeTrash(options_.dataHome, options_.uid);
        useHome = deviceOf(location.files.get()) == itemRecord.device;
    } catch (const PosixError&) {
        // Without a usable home Trash an item on the home volume cannot go anywhere; an item on
        // another volume can still use that volume's trash.
        if (nearestExistingDevice(options_.dataHome) == itemRecord.device) throw;
    }
    if (!useHome) location = volumeTrash(parent, itemRecord.device, options_.uid);
    if (deviceOf(location.files.get()) != itemRecord.device) throw PosixError(EXDEV, path);

    std::string originalPath = path;
    if (!location.topdir.empty()) {
        originalPath = location.topdir == "/" ? path.substr(1) : path.substr(location.topdir.size() + 1);
    }
    const std::string date = options_.deletionDate ? options_.deletionDate() : localDeletionDate();
    const std::string content = trashInfoContent(originalPath, date);

    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate = trashCandidateName(name, attempt);
        const std::string infoName = candidate + std::string(kInfoSuffix);
        Fd info(::openat(location.info.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         0600));
        if (!info.valid()) {
            if (errno == EEXIST) continue;
            throw PosixError(errno, location.root + "/info/" + infoName);
        }
        if (!writeAll(info.get(), content)) {
            const int error = errno;
            removeOwnInfo(location.info.get(), infoName, info.get());
            throw PosixError(error, location.root + "/info/" + infoName);
        }
        try {
            checkIdentity(parent.fd.get(), name, expected, path);
        } catch (...) {
            removeOwnInfo(location.info.get(), infoName, info.get());
            throw;
        }
        if (::renameat2(parent.fd.get(), name.c_str(), location.files.get(), candidate.c_str(), RENAME_NOREPLACE) == 0)
            return Url::file(location.root + "/files/" + candidate, itemRecord.isDirectory());
        const int error = errno;
        removeOwnInfo(location.info.get(), infoName, info.get());
        if (error == EEXIST) continue;
        throw PosixError(error, path);
    }
    throw PosixError(EEXIST, path);
}

std::string homeTrashDirectory() {
    return path::join(FreedesktopTrashMover::optionsFromEnvironment().dataHome, "Trash");
}

std::shared_ptr<TrashMover> makeDefaultTrashMover() {
    return std::make_shared<FreedesktopTrashMover>(FreedesktopTrashMover::optionsFromEnvironment());
}

} // namespace morvo
