#include "BenchCommands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The reference the scanner is measured against: the least a parallel walk has to do. Threads
// take folders off one shared stack, list them with getdents64 and statx every entry; each
// thread keeps a plain tree record (name, parent, sizes) per entry. No order, no budget, no
// categories, no snapshot.

namespace morvo::bench {

namespace {

struct Dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

struct Record {
    std::uint32_t nameOffset;
    std::uint32_t parent;
    std::int64_t size;
    std::int64_t blocks;
    std::int64_t mtime;
};

struct Folder {
    std::string path;
    std::uint32_t record;
};

struct Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<Folder> stack;
    int busy = 0;
    bool done = false;
};

struct Local {
    std::vector<Record> records;
    std::string names;
    std::int64_t bytes = 0;
    std::int64_t entries = 0;
};

void walkFolder(const Folder& folder, Local& local, std::vector<Folder>& found) {
    int fd = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    alignas(8) char buffer[32 * 1024];
    for (;;) {
        long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (long offset = 0; offset < n;) {
            auto* d = reinterpret_cast<const Dirent64*>(buffer + offset);
            offset += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            struct statx sx {};
            if (statx(fd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &sx) != 0) continue;
            const auto index = static_cast<std::uint32_t>(local.records.size());
            local.records.push_back({static_cast<std::uint32_t>(local.names.size()), folder.record,
                                     static_cast<std::int64_t>(sx.stx_size), static_cast<std::int64_t>(sx.stx_blocks),
                                     sx.stx_mtime.tv_sec});
            local.names.append(name, std::strlen(name) + 1);
            ++local.entries;
            if (S_ISDIR(sx.stx_mode)) {
                std::string child = folder.path;
                if (child.back() != '/') child.push_back('/');
                child.append(name);
                found.push_back({std::move(child), index});
            } else if (S_ISREG(sx.stx_mode)) {
                local.bytes += static_cast<std::int64_t>(sx.stx_size);
            }
        }
    }
    ::close(fd);
}

void worker(Shared& shared, Local& local) {
    std::vector<Folder> found;
    for (;;) {
        Folder folder;
        {
            std::unique_lock lock(shared.mutex);
            shared.wake.wait(lock, [&] { return shared.done || !shared.stack.empty(); });
            if (shared.stack.empty()) return;
            folder = std::move(shared.stack.back());
            shared.stack.pop_back();
            ++shared.busy;
        }
        found.clear();
        walkFolder(folder, local, found);
        {
            std::lock_guard lock(shared.mutex);
            for (auto& f : found) shared.stack.push_back(std::move(f));
            --shared.busy;
            if (shared.busy == 0 && shared.stack.empty()) shared.done = true;
        }
        if (shared.done || found.size() > 1)
            shared.wake.notify_all();
        else if (!found.empty())
            shared.wake.notify_one();
    }
}

} // namespace

int walkCommand(int argc, char** argv) {
    long threads = 8;
    const char* target = nullptr;
    bool valid = true;
    for (int i = 1; i < argc && valid; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::strtol(argv[++i], nullptr, 10);
        else if (!target && argv[i][0] != '-')
            target = argv[i];
        else
            valid = false;
    }
    if (!valid || !target || threads < 1) {
        std::fprintf(stderr, "usage: morvo-bench walk [--threads N] PATH\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    Shared shared;
    shared.stack.push_back({target, 0});
    std::vector<Local> locals(static_cast<std::size_t>(threads));
    std::vector<std::thread> pool;
    for (long t = 0; t < threads; ++t) pool.emplace_back([&, t] { worker(shared, locals[static_cast<std::size_t>(t)]); });
    for (auto& t : pool) t.join();
    std::int64_t entries = 0, bytes = 0;
    for (const auto& l : locals) entries += l.entries, bytes += l.bytes;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("{\"entries\":%lld,\"logicalBytes\":%lld,\"seconds\":%.6f}\n", static_cast<long long>(entries),
                static_cast<long long>(bytes), seconds);
    return 0;
}

} // namespace morvo::bench
