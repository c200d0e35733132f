#include "BenchCommands.h"

#include "MorvoCore/TrashService.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace morvo::bench {

namespace {

bool parseItems(int argc, char** argv, const char* command, long long& items) {
    char* end = nullptr;
    errno = 0;
    if (argc == 2) items = std::strtoll(argv[1], &end, 10);
    if (argc != 2 || errno != 0 || end == argv[1] || *end != 0 || items < 1) {
        std::fprintf(stderr, "usage: morvo-bench %s N\n", command);
        return false;
    }
    return true;
}

// A fresh folder of the bench's own under $TMPDIR (or /tmp); removed with its contents when the
// command ends: nothing in it is anybody else's.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* label) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base == '/' ? base : "/tmp") + "/morvo-bench-" + label + "-XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// N files of 16 bytes in `folder`, as file URLs in the order made.
bool makeFiles(const std::string& folder, long long count, std::vector<Url>& urls) {
    urls.reserve(static_cast<std::size_t>(count));
    for (long long i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%07lld.txt", i);
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, "sixteen bytes..\n", 16) != 16) {
            std::fprintf(stderr, "cannot make %s: %s\n", path.c_str(), std::strerror(errno));
            if (fd >= 0) ::close(fd);
            return false;
        }
        ::close(fd);
        urls.push_back(Url::file(path));
    }
    return true;
}

// The application's policy: no allowed roots, 100,000 items, 900 seconds, the home folder.
TrashPolicy applicationPolicy() {
    const char* home = std::getenv("HOME");
    return TrashPolicy({}, 100000, 900, Url::file(home && home[0] == '/' ? home : "/"));
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

// Makes N small files in a fresh folder and previews them as one selection with the service the
// application builds; "seconds" is the preview call alone.
int prepareCommand(int argc, char** argv) {
    long long count = 0;
    if (!parseItems(argc, argv, "prepare", count)) return 2;
    ScratchFolder folder("prepare");
    std::vector<Url> urls;
    if (!folder.ok() || !makeFiles(folder.path(), count, urls)) return 1;

    TrashService service(applicationPolicy());
    const auto start = std::chrono::steady_clock::now();
    const TrashPreview preview = service.prepare(urls, {});
    const double seconds = secondsSince(start);
    std::printf("{\"items\":%zu,\"seconds\":%.6f}\n", preview.items.size(), seconds);
    return 0;
}

// The same with a fresh Trash ($XDG_DATA_HOME in a second folder beside the files, so on their
// file system), then moves every item of the preview; "seconds" is the preview and the move.
int moveCommand(int argc, char** argv) {
    long long count = 0;
    if (!parseItems(argc, argv, "move", count)) return 2;
    ScratchFolder folder("move");
    ScratchFolder dataHome("data");
    std::vector<Url> urls;
    if (!folder.ok() || !dataHome.ok() || !makeFiles(folder.path(), count, urls)) return 1;
    if (::setenv("XDG_DATA_HOME", dataHome.path().c_str(), 1) != 0) return 1;

    TrashService service(applicationPolicy());
    const auto start = std::chrono::steady_clock::now();
    const TrashPreview preview = service.prepare(urls, {});
    std::set<std::string> confirmed;
    for (const auto& item : preview.items)
        if (item.canMove()) confirmed.insert(item.id);
    const TrashReport report = service.moveToTrash(preview, confirmed, {}, {});
    const double seconds = secondsSince(start);
    std::size_t moved = 0;
    for (const auto& result : report.results) moved += result.status == TrashItemStatus::moved ? 1 : 0;
    std::printf("{\"items\":%zu,\"moved\":%zu,\"seconds\":%.6f}\n", preview.items.size(), moved, seconds);
    return 0;
}

} // namespace morvo::bench
