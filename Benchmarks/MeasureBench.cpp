#include "BenchCommands.h"

#include "MorvoCore/TrashMeasurement.h"
#include "MorvoCore/TrashService.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace morvo::bench {

namespace {

int usage() {
    std::fprintf(stderr, "usage: morvo-bench measure [--max-items N] PATH\n");
    return 2;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

} // namespace

// Prepares a Trash preview of the one item PATH as the application does (100,000 entries by
// default) and prints how many entries the item has (at most the limit), the preparation's time
// and its blocked reason (null when the item could be moved). "seconds" is the preview alone.
int measureCommand(int argc, char** argv) {
    long long maxItems = 100000;
    const char* target = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--max-items") == 0) {
            if (i + 1 >= argc) return usage();
            char* end = nullptr;
            errno = 0;
            maxItems = std::strtoll(argv[++i], &end, 10);
            if (errno != 0 || *end != 0) return usage();
        } else if (!target && argv[i][0] != '-') {
            target = argv[i];
        } else {
            return usage();
        }
    }
    if (!target) return usage();

    const char* home = std::getenv("HOME");
    TrashPolicy policy({}, maxItems, 900, Url::file(home && home[0] == '/' ? home : "/"));
    const Url item = Url::file(target);

    const auto start = std::chrono::steady_clock::now();
    TrashPreview preview = TrashService::prepareSynchronously({item}, {}, policy, Uuid::make());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // The entry count, untimed, up to the limit (as far as the walk gets): a walk without one
    // would hold the whole of a large item and outweigh the preview it stands beside. An item
    // the preview found over the limit has used it all.
    const auto& reason = preview.items.empty() ? std::optional<std::string>() : preview.items.front().blockedReason;
    std::int64_t budget = maxItems;
    if (reason != std::optional<std::string>(trash::kItemLimitMessage)) {
        try {
            trash::measure(item, budget);
        } catch (const MorvoError&) {
        }
    } else {
        budget = 0;
    }
    const long long entries = static_cast<long long>(maxItems - budget);

    std::printf("{\"entries\":%lld,\"seconds\":%.6f,\"blocked\":%s}\n", entries, seconds,
                reason ? jsonString(*reason).c_str() : "null");
    return 0;
}

} // namespace morvo::bench
