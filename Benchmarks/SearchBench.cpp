#include "BenchCommands.h"

#include "MorvoCore/DiskScanner.h"
#include "MorvoCore/DiskSearch.h"
#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/Url.h"
#include "MorvoCore/TreemapLayout.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <random>
#include <string>
#include <vector>

namespace morvo::bench {

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

bool parseCount(const char* text, long long& out) {
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || value < 1) return false;
    out = value;
    return true;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int searchCommand(int argc, char** argv) {
    std::vector<const char*> positional;
    long long repeat = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
            if (!parseCount(argv[++i], repeat)) {
                std::fprintf(stderr, "search: --repeat needs a positive count\n");
                return 2;
            }
        } else {
            positional.push_back(argv[i]);
        }
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "usage: morvo-bench search PATH QUERY [--repeat N]\n");
        return 2;
    }

    std::shared_ptr<const DiskSnapshot> snapshot;
    try {
        snapshot = DiskScanner(250000, 100).scan(Url::file(positional[0]), [](const ScanProgress&) {});
    } catch (const MorvoError& error) {
        std::fprintf(stderr, "search: %s\n", error.description().c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "search: %s\n", error.what());
        return 1;
    }

    // The folded-path index is built once per snapshot; it is timed on its own.
    const auto indexStart = Clock::now();
    DiskSearch::prepare(*snapshot);
    const double indexMs = millisecondsSince(indexStart);

    std::vector<double> times;
    std::int64_t matches = 0;
    for (long long run = 0; run < repeat; ++run) {
        const auto start = Clock::now();
        const FileSearchResult result =
            DiskSearch::find(*snapshot, positional[1], std::nullopt, 0, FileSort::size, 500);
        times.push_back(millisecondsSince(start));
        matches = result.totalCount;
    }
    std::fprintf(stderr, "folded-path index: %.3f ms\n", indexMs);
    std::printf("{\"nodes\":%zu,\"matches\":%lld,\"medianMs\":%.3f}\n", snapshot->nodeCount(),
                static_cast<long long>(matches), median(times));
    return 0;
}

int treemapCommand(int argc, char** argv) {
    long long items = -1;
    long long repeat = 200;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--items") == 0 && hasValue) {
            if (!parseCount(argv[++i], items)) items = -1;
        } else if (std::strcmp(argv[i], "--repeat") == 0 && hasValue) {
            if (!parseCount(argv[++i], repeat)) repeat = -1;
        } else {
            items = -1;
            break;
        }
    }
    if (items < 1 || repeat < 1) {
        std::fprintf(stderr, "usage: morvo-bench treemap --items N [--repeat R]\n");
        return 2;
    }

    // Sizes spread like a folder's children: a few large, many small (log-normal), fixed seed.
    std::mt19937_64 random(20240601);
    std::lognormal_distribution<double> size(10.0, 3.0);
    std::vector<TreemapItem> input;
    input.reserve(static_cast<std::size_t>(items));
    for (long long k = 0; k < items; ++k)
        input.push_back({"/bench/item-" + std::to_string(k), std::floor(size(random)) + 1});
    const Rect bounds{0, 0, 1024, 768};

    std::vector<double> times;
    std::size_t laidOut = 0;
    for (long long run = 0; run < repeat; ++run) {
        const auto start = Clock::now();
        const auto rects = TreemapLayout::rectangles(input, bounds);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        laidOut = rects.size();
    }
    if (laidOut == 0) std::fprintf(stderr, "treemap: nothing was laid out\n");
    std::printf("{\"items\":%lld,\"medianUs\":%.1f}\n", items, median(times));
    return 0;
}

} // namespace morvo::bench
