#include "MorvoCore/Platform/DirectoryReader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace morvo {

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The layout getdents64 fills in; glibc 2.36 has no wrapper for it.
struct LinuxDirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

class SystemDirectoryReader final : public DirectoryReader {
public:
    int openDirectory(const std::string& path) const override {
        if (path.empty()) return -ENOENT;
        if (path.size() < PATH_MAX) {
            int fd = ::open(path.c_str(), kDirectoryFlags);
            return fd >= 0 ? fd : -errno;
        }
        return openLongPath(path);
    }

    int openDirectoryAt(int directory, const char* name) const override {
        int fd = ::openat(directory, name, kDirectoryFlags);
        return fd >= 0 ? fd : -errno;
    }

    int readNames(int directory, std::string& names) const override {
        for (bool atEnd = false; !atEnd;)
            if (int error = readMoreNames(directory, names, atEnd)) return error;
        return 0;
    }

    // One getdents64 call: a buffer's worth of names, some hundreds of them.
    int readMoreNames(int directory, std::string& names, bool& atEnd) const override {
        alignas(8) char buffer[32 * 1024];
        atEnd = false;
        long n;
        do n = ::syscall(SYS_getdents64, directory, buffer, sizeof buffer);
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            atEnd = true;
            return n == 0 ? 0 : errno;
        }
        for (long offset = 0; offset < n;) {
            auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + offset);
            offset += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            names.append(name, std::strlen(name) + 1);
        }
        return 0;
    }

    int duplicate(int directory) const override {
        int fd = ::fcntl(directory, F_DUPFD_CLOEXEC, 0);
        return fd >= 0 ? fd : -errno;
    }

    int statAt(int directory, const char* name, FileMetadata& out) const override {
        return morvo::statAt(directory, name, out);
    }

    int statBasicAt(int directory, const char* name, FileMetadata& out) const override {
        return morvo::statAt(directory, name, out, false);
    }

    int statPath(const std::string& path, FileMetadata& out) const override {
        if (path.empty()) return ENOENT;
        if (path.size() < PATH_MAX) return morvo::statAt(AT_FDCWD, path.c_str(), out);
        auto slash = path.rfind('/');
        int parent = openDirectory(path.substr(0, slash == 0 ? 1 : slash));
        if (parent < 0) return -parent;
        int rc = morvo::statAt(parent, path.c_str() + slash + 1, out);
        ::close(parent);
        return rc;
    }

    void closeDirectory(int directory) const override { ::close(directory); }

private:
    // A path longer than the kernel takes in one call is opened a piece at a time, each piece
    // relative to the folder the previous one opened.
    int openLongPath(const std::string& path) const {
        int base = AT_FDCWD;
        std::size_t start = 0;
        while (start < path.size()) {
            std::size_t end = path.size();
            if (end - start >= PATH_MAX) {
                end = path.rfind('/', start + PATH_MAX - 2);
                if (end == std::string::npos || end <= start) {
                    if (base != AT_FDCWD) ::close(base);
                    return -ENAMETOOLONG;
                }
            }
            std::string piece(end > start ? std::string_view(path).substr(start, end - start) : std::string_view("/"));
            const bool last = end == path.size();
            int fd = ::openat(base, piece.c_str(), last ? kDirectoryFlags : (O_PATH | O_DIRECTORY | O_CLOEXEC));
            int error = errno;
            if (base != AT_FDCWD) ::close(base);
            if (fd < 0) return -error;
            base = fd;
            start = end + 1;
        }
        return base;
    }
};

} // namespace

const DirectoryReader& DirectoryReader::system() {
    static const SystemDirectoryReader reader;
    return reader;
}

} // namespace morvo
