#pragma once
// A throw-away folder tree for tests: made under $TMPDIR (or /tmp), removed with everything in
// it when the fixture goes away. Relative paths may hold any bytes except NUL, so names that are
// not valid UTF-8 can be made; missing parent folders are created. Every maker returns the
// absolute path of what it made. Failures abort the test with a message.

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace morvo::testing {

class FixtureTree {
public:
    FixtureTree();
    ~FixtureTree();
    FixtureTree(const FixtureTree&) = delete;
    FixtureTree& operator=(const FixtureTree&) = delete;

    // The fixture's own folder (absolute, canonical, no trailing "/").
    const std::string& root() const { return root_; }
    // root() + "/" + relative; root() for "".
    std::string path(std::string_view relative) const;

    std::string folder(std::string_view relative);
    // A regular file of `size` bytes of `fill`.
    std::string file(std::string_view relative, std::int64_t size = 0, char fill = 'x');
    std::string file(std::string_view relative, std::string_view contents);
    // A file of `logicalSize` bytes of which only the first `dataBytes` are written (a hole after).
    std::string sparseFile(std::string_view relative, std::int64_t logicalSize, std::int64_t dataBytes = 0);
    // A further name for the existing `existing` (both relative).
    std::string hardLink(std::string_view existing, std::string_view relative);
    // A symbolic link holding `target` verbatim (relative or absolute; need not exist).
    std::string symlink(std::string_view target, std::string_view relative);
    std::string fifo(std::string_view relative);
    void chmod(std::string_view relative, mode_t mode);

    // lstat of a fixture item.
    struct Stat {
        std::int64_t size = 0;
        std::int64_t blocks = 0;  // 512-byte units
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t links = 0;
    };
    Stat stat(std::string_view relative) const;

private:
    void makeParents(std::string_view relative);
    std::string root_;
};

} // namespace morvo::testing
