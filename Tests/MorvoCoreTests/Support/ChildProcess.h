#pragma once
// Forked children for tests that need a process to die, a system call to fail, or a mount of its
// own: the child runs a function and ends with its result as the exit code; the parent sees how it
// ended. Nothing here is reentrant across threads of the parent.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morvo::test {

struct ChildEnd {
    bool exited = false;  // else it was killed by `signal`
    int code = -1;
    int signal = 0;
    long syscalls = 0;  // the system calls it entered while traced
};

// Runs `body` in a forked child and waits for it. An exception escaping `body` ends it with 125.
ChildEnd runChild(const std::function<int()>& body);

// One stop of a traced child: at the entry of a system call, or at its exit with its result.
struct SyscallStop {
    bool entry = true;
    long index = 0;  // 1-based number of the call entered last
    long number = 0;
    std::uint64_t args[6] = {};
    std::int64_t result = 0;  // at an exit: the return value (-errno on failure)
};

// Which stops of a traced child its tracer sees.
enum class Tracing {
    everyCall,    // the entry and the exit of every system call
    fileChanges,  // only the entry of each call that may change a file system (writes, creations,
                  // links, renames, removals, syncs); what the files hold can differ only there
};

// Runs `body` in a forked child stopped as `tracing` says; `atStop` sees each stop while the child
// waits and returns false to kill it right there (at an entry: before the call happens). Returns
// how the child ended.
ChildEnd runTraced(const std::function<int()>& body, const std::function<bool(const SyscallStop&)>& atStop,
                   Tracing tracing = Tracing::everyCall);

// What the kernel should answer instead of running a system call: `error` whenever call `number`
// has (args[argument] & mask) == value; argument -1 matches every such call.
struct SyscallRefusal {
    long number;
    int argument;
    std::uint64_t mask;
    std::uint64_t value;
    int error;
};
// Installs the refusals for the rest of this process's life (a seccomp filter); false when the
// kernel refuses the filter.
bool refuseSyscalls(const std::vector<SyscallRefusal>& refusals);

// Gives this process a mount namespace of its own (private all the way down), so that what it
// mounts is seen by it and its children only. False when that is not allowed (not root, say).
bool privateMounts();
// Mounts a fresh tmpfs at `folder` with `options` ("size=16k", ...); false on failure.
bool mountTmpfs(const std::string& folder, const std::string& options, bool readOnly = false);

// The exit code a child returns when the premise of its test does not hold here.
inline constexpr int kChildSkipped = 77;

} // namespace morvo::test
