#include "MorvoCore/Platform/FileMetadata.h"

#include "MorvoCore/Platform/Errors.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace morvo {

bool FileMetadata::isRegular() const { return type() == S_IFREG; }
bool FileMetadata::isDirectory() const { return type() == S_IFDIR; }
bool FileMetadata::isSymbolicLink() const { return type() == S_IFLNK; }

int statAt(int directoryFd, const char* name, FileMetadata& out, bool withBirthTime) {
    struct statx sx;  // the kernel writes all of it on success; clearing it first cost every entry of a scan
    const unsigned mask = withBirthTime ? (STATX_BASIC_STATS | STATX_BTIME) : STATX_BASIC_STATS;
    if (statx(directoryFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, mask, &sx) != 0) return errno;
    out.mode = sx.stx_mode;
    out.device = (static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    out.inode = sx.stx_ino;
    out.linkCount = sx.stx_nlink;
    out.uid = sx.stx_uid;
    out.gid = sx.stx_gid;
    out.size = static_cast<std::int64_t>(sx.stx_size);
    out.blocks = static_cast<std::int64_t>(sx.stx_blocks);
    out.modification = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    out.statusChange = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
    out.birth = (sx.stx_mask & STATX_BTIME) ? FileTimestamp{sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec} : FileTimestamp{};
    out.mountRootKnown = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0;
    out.mountRoot = (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    return 0;
}

FileMetadata statPath(const std::string& path) {
    FileMetadata m;
    if (path.empty()) throw PosixError(ENOENT, path);
    int rc = statAt(AT_FDCWD, path.c_str(), m);
    if (rc != 0) throw PosixError(rc, path);
    return m;
}

} // namespace morvo
