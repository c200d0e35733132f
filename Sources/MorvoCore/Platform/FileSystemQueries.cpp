#include "MorvoCore/Platform/FileSystemQueries.h"

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/Path.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace morvo {

std::vector<std::string> contentsOfDirectory(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throw PosixError(errno, folder);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        int code = errno;
        ::close(fd);
        throw PosixError(code, folder);
    }
    std::unique_ptr<DIR, int (*)(DIR*)> owner(dir, &::closedir);
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) throw PosixError(errno, folder);
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names.emplace_back(entry->d_name);
    }
    return names;
}

std::optional<std::string> realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}

std::string currentUserHomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return path::normalize(home);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd record{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &record, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return path::normalize(found->pw_dir);
    return "/";
}

} // namespace morvo
