#pragma once
// The lstat record of an item, read with statx(AT_SYMLINK_NOFOLLOW). Device and link count are
// kept at 64 bits; birth time is 0 when the file system does not report it.

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace morvo {

struct FileTimestamp {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    friend bool operator==(const FileTimestamp&, const FileTimestamp&) = default;
};

struct FileMetadata {
    std::uint32_t mode = 0;          // st_mode: type and permission bits
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t linkCount = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::int64_t size = 0;           // st_size
    std::int64_t blocks = 0;         // 512-byte blocks
    FileTimestamp modification;
    FileTimestamp statusChange;
    FileTimestamp birth;             // 0 when unknown
    // Whether the entry is the root of a mount (a bind mount on the same device included), when
    // the kernel says so; mountRootKnown is false on kernels that cannot tell.
    bool mountRoot = false;
    bool mountRootKnown = false;

    bool isRegular() const;
    bool isDirectory() const;
    bool isSymbolicLink() const;
    std::uint32_t type() const { return mode & 0170000u; }
};

// lstat of `path`; throws PosixError (errno, path).
FileMetadata statPath(const std::string& path);
// statx relative to an open directory; returns 0 or an errno value. Without `withBirthTime` the
// birth time is not asked for (it costs the kernel extra work) and stays 0.
int statAt(int directoryFd, const char* name, FileMetadata& out, bool withBirthTime = true);

} // namespace morvo
