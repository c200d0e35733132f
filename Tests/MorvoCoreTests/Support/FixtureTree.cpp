#include "Support/FixtureTree.h"

#include <fcntl.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace morvo::testing {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw std::runtime_error("fixture: " + what + " " + path + ": " + std::strerror(errno));
}

// Removes everything inside the open folder `fd` (and closes it), relative to descriptors so that
// trees deeper than the path limit go too. Folders are opened up first in case a test locked them.
void emptyFolder(int fd) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.emplace_back(e->d_name);
    for (const auto& name : names) {
        struct stat st {};
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            ::fchmodat(fd, name.c_str(), 0700, 0);
            int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) emptyFolder(child);
            ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(fd, name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

} // namespace

FixtureTree::FixtureTree() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/morvo-fixture-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!::mkdtemp(buffer.data())) fail("mkdtemp", pattern);
    char resolved[PATH_MAX];
    if (!::realpath(buffer.data(), resolved)) fail("realpath", buffer.data());
    root_ = resolved;
}

FixtureTree::~FixtureTree() {
    ::chmod(root_.c_str(), 0700);
    int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) emptyFolder(fd);
    ::rmdir(root_.c_str());
}

std::string FixtureTree::path(std::string_view relative) const {
    if (relative.empty()) return root_;
    return root_ + "/" + std::string(relative);
}

void FixtureTree::makeParents(std::string_view relative) {
    for (std::size_t slash = relative.find('/'); slash != std::string_view::npos;
         slash = relative.find('/', slash + 1)) {
        std::string p = path(relative.substr(0, slash));
        if (::mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) fail("mkdir", p);
    }
}

std::string FixtureTree::folder(std::string_view relative) {
    makeParents(relative);
    std::string p = path(relative);
    if (::mkdir(p.c_str(), 0755) != 0 && errno != EEXIST) fail("mkdir", p);
    return p;
}

std::string FixtureTree::file(std::string_view relative, std::int64_t size, char fill) {
    return file(relative, std::string(static_cast<std::size_t>(size), fill));
}

std::string FixtureTree::file(std::string_view relative, std::string_view contents) {
    makeParents(relative);
    std::string p = path(relative);
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail("open", p);
    for (std::size_t done = 0; done < contents.size();) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n <= 0) fail("write", p);
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return p;
}

std::string FixtureTree::sparseFile(std::string_view relative, std::int64_t logicalSize, std::int64_t dataBytes) {
    std::string p = file(relative, dataBytes);
    if (::truncate(p.c_str(), logicalSize) != 0) fail("truncate", p);
    return p;
}

std::string FixtureTree::hardLink(std::string_view existing, std::string_view relative) {
    makeParents(relative);
    std::string p = path(relative);
    if (::link(path(existing).c_str(), p.c_str()) != 0) fail("link", p);
    return p;
}

std::string FixtureTree::symlink(std::string_view target, std::string_view relative) {
    makeParents(relative);
    std::string p = path(relative);
    if (::symlink(std::string(target).c_str(), p.c_str()) != 0) fail("symlink", p);
    return p;
}

std::string FixtureTree::fifo(std::string_view relative) {
    makeParents(relative);
    std::string p = path(relative);
    if (::mkfifo(p.c_str(), 0644) != 0) fail("mkfifo", p);
    return p;
}

void FixtureTree::chmod(std::string_view relative, mode_t mode) {
    std::string p = path(relative);
    if (::chmod(p.c_str(), mode) != 0) fail("chmod", p);
}

FixtureTree::Stat FixtureTree::stat(std::string_view relative) const {
    std::string p = path(relative);
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) fail("lstat", p);
    return Stat{st.st_size, st.st_blocks, st.st_dev, st.st_ino, st.st_nlink};
}

} // namespace morvo::testing
