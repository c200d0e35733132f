#include "BenchCommands.h"

#include "MorvoCore/DiskScanner.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace morvo::bench {

namespace {

bool parseCount(const char* text, long long& out) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != 0) return false;
    out = value;
    return true;
}

int usage() {
    std::fprintf(stderr, "usage: morvo-bench scan [--max-nodes N] [--max-issues N] [--threads N] PATH\n");
    return 2;
}

} // namespace

// Scans PATH as the application does (250,000 nodes, 100 issues by default) and prints the root's
// totals; "seconds" is the scan call alone.
int scanCommand(int argc, char** argv) {
    long long maxNodes = 250000, maxIssues = 100, threads = 0;
    const char* target = nullptr;
    for (int i = 1; i < argc; ++i) {
        long long* option = nullptr;
        if (std::strcmp(argv[i], "--max-nodes") == 0) option = &maxNodes;
        else if (std::strcmp(argv[i], "--max-issues") == 0) option = &maxIssues;
        else if (std::strcmp(argv[i], "--threads") == 0) option = &threads;
        if (option) {
            if (i + 1 >= argc || !parseCount(argv[i + 1], *option)) return usage();
            ++i;
        } else if (!target && argv[i][0] != '-') {
            target = argv[i];
        } else {
            return usage();
        }
    }
    if (!target || threads < 0) return usage();

    DiskScanner scanner(maxNodes, maxIssues);
    scanner.withThreads(static_cast<unsigned>(threads));
    try {
        const auto start = std::chrono::steady_clock::now();
        auto snapshot = scanner.scan(Url::file(target), [](const ScanProgress&) {});
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const DiskSnapshot& s = *snapshot;
        const auto root = DiskSnapshot::rootIndex;
        std::printf("{\"nodes\":%zu,\"files\":%lld,\"links\":%lld,\"logicalBytes\":%lld,\"allocatedBytes\":%lld,"
                    "\"partial\":%s,\"issues\":%zu,\"seconds\":%.6f}\n",
                    s.nodeCount(), static_cast<long long>(s.fileCount(root)),
                    static_cast<long long>(s.skippedLinkCount), static_cast<long long>(s.logicalSize(root)),
                    static_cast<long long>(s.allocatedSize(root)), s.isPartial ? "true" : "false", s.issues.size(),
                    seconds);
        return 0;
    } catch (const MorvoError& error) {
        std::fprintf(stderr, "scan: %s\n", error.description().c_str());
        return 1;
    }
}

} // namespace morvo::bench
