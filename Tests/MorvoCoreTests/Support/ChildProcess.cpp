#include "Support/ChildProcess.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

namespace morvo::test {

namespace {

[[noreturn]] void endChild(const std::function<int()>& body) {
    int code = 125;
    try {
        code = body();
    } catch (...) {
    }
    std::fflush(nullptr);  // what the child printed (test failures among it) must not be lost
    ::_exit(code);
}

// Waits for `pid` to end; fills `end` from its status.
void reap(pid_t pid, ChildEnd& end) {
    int status = 0;
    for (;;) {
        if (::waitpid(pid, &status, 0) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (WIFEXITED(status)) {
            end.exited = true;
            end.code = WEXITSTATUS(status);
            return;
        }
        if (WIFSIGNALED(status)) {
            end.signal = WTERMSIG(status);
            return;
        }
    }
}

} // namespace

ChildEnd runChild(const std::function<int()>& body) {
    ChildEnd end;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return end;
    if (pid == 0) endChild(body);
    reap(pid, end);
    return end;
}

namespace {

#if defined(__x86_64__)
constexpr std::uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
constexpr std::uint32_t kArch = 0;
#endif

bool installFilter(std::vector<sock_filter>& program) {
    if (kArch == 0) return false;
    sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// Hands the calls that may change a file system to the tracer; lets every other call run.
bool traceFileChanges() {
    std::vector<long> changes{SYS_write,     SYS_pwrite64, SYS_writev,    SYS_pwritev, SYS_linkat,
                              SYS_renameat2, SYS_unlinkat, SYS_mkdirat,   SYS_fsync,   SYS_fdatasync,
                              SYS_ftruncate, SYS_fallocate, SYS_symlinkat};
#ifdef SYS_rename
    changes.insert(changes.end(), {SYS_rename, SYS_renameat, SYS_link, SYS_unlink, SYS_rmdir, SYS_mkdir, SYS_symlink,
                                   SYS_creat});
#endif
    const std::uint32_t creating = O_CREAT | O_TRUNC | (O_TMPFILE & ~O_DIRECTORY);
    std::vector<sock_filter> program{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (long number : changes) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(number), 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
    }
    // An open changes nothing unless it may create or truncate.
    std::vector<std::pair<long, std::uint32_t>> opens{{SYS_openat, 2}};
#ifdef SYS_open
    opens.push_back({SYS_open, 1});
#endif
    for (const auto& [number, flags] : opens) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(number), 0, 3));
        program.push_back(
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * flags)));
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, creating, 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
        program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    return installFilter(program);
}

} // namespace

ChildEnd runTraced(const std::function<int()>& body, const std::function<bool(const SyscallStop&)>& atStop,
                   Tracing tracing) {
    ChildEnd end;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return end;
    if (pid == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(kChildSkipped);
        ::raise(SIGSTOP);
        if (tracing == Tracing::fileChanges && !traceFileChanges()) ::_exit(kChildSkipped);
        endChild(body);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFSTOPPED(status)) {
        if (WIFEXITED(status)) end.exited = true, end.code = WEXITSTATUS(status);
        return end;
    }
    ::ptrace(PTRACE_SETOPTIONS, pid, nullptr,
             PTRACE_O_EXITKILL | (tracing == Tracing::everyCall ? PTRACE_O_TRACESYSGOOD : PTRACE_O_TRACESECCOMP));
    const int resume = tracing == Tracing::everyCall ? PTRACE_SYSCALL : PTRACE_CONT;
    long index = 0, lastNumber = -1;
    int deliver = 0;
    for (;;) {
        ::ptrace(static_cast<__ptrace_request>(resume), pid, nullptr, reinterpret_cast<void*>(static_cast<long>(deliver)));
        deliver = 0;
        if (::waitpid(pid, &status, 0) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (WIFEXITED(status)) {
            end.exited = true;
            end.code = WEXITSTATUS(status);
            break;
        }
        if (WIFSIGNALED(status)) {
            end.signal = WTERMSIG(status);
            break;
        }
        if (!WIFSTOPPED(status)) continue;
        const bool syscallStop = tracing == Tracing::everyCall ? WSTOPSIG(status) == (SIGTRAP | 0x80)
                                                               : status >> 8 == (SIGTRAP | (PTRACE_EVENT_SECCOMP << 8));
        if (!syscallStop) {
            if (WSTOPSIG(status) != SIGTRAP) deliver = WSTOPSIG(status);  // a signal of the child's own: passed on
            continue;
        }
        __ptrace_syscall_info info{};
        if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, reinterpret_cast<void*>(sizeof info), &info) <= 0) continue;
        SyscallStop stop;
        if (info.op == PTRACE_SYSCALL_INFO_ENTRY || info.op == PTRACE_SYSCALL_INFO_SECCOMP) {
            const auto& call = info.op == PTRACE_SYSCALL_INFO_ENTRY ? info.entry.nr : info.seccomp.nr;
            const auto* args = info.op == PTRACE_SYSCALL_INFO_ENTRY ? info.entry.args : info.seccomp.args;
            stop.entry = true;
            stop.number = lastNumber = static_cast<long>(call);
            for (int i = 0; i < 6; ++i) stop.args[i] = args[i];
            ++index;
        } else if (info.op == PTRACE_SYSCALL_INFO_EXIT) {
            stop.entry = false;
            stop.number = lastNumber;
            stop.result = info.exit.rval;
        } else {
            continue;
        }
        stop.index = index;
        if (!atStop(stop)) {
            ::kill(pid, SIGKILL);
            reap(pid, end);
            break;
        }
    }
    end.syscalls = index;
    return end;
}

bool refuseSyscalls(const std::vector<SyscallRefusal>& refusals) {
    std::vector<sock_filter> program{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    // One block per refusal, each ending in its answer; a mismatch jumps to the next block.
    for (const SyscallRefusal& r : refusals) {
        std::vector<sock_filter> block{BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                                       BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(r.number), 0, 0)};
        if (r.argument >= 0) {
            const std::uint32_t offset = offsetof(seccomp_data, args) + 8 * static_cast<std::uint32_t>(r.argument);
            for (std::uint32_t half = 0; half < 2; ++half) {  // little-endian: the low word first
                const auto mask = static_cast<std::uint32_t>(r.mask >> (32 * half));
                const auto value = static_cast<std::uint32_t>(r.value >> (32 * half));
                block.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset + 4 * half));
                block.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, mask));
                block.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, value, 0, 0));
            }
        }
        block.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<std::uint32_t>(r.error) & 0xffff)));
        const std::size_t last = block.size() - 1;
        for (std::size_t i = 0; i < last; ++i)
            if (BPF_CLASS(block[i].code) == BPF_JMP) block[i].jf = static_cast<std::uint8_t>(last - i);
        program.insert(program.end(), block.begin(), block.end());
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    return installFilter(program);
}

bool privateMounts() {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

bool mountTmpfs(const std::string& folder, const std::string& options, bool readOnly) {
    return ::mount("tmpfs", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
}

} // namespace morvo::test
