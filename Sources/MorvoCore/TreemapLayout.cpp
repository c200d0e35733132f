#include "MorvoCore/TreemapLayout.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstddef>

namespace morvo {

namespace {

// An item after scaling to the rectangle's area.
struct WeightedArea {
    const std::string* id;
    double area;
};

// A rectangle with non-negative width and height, so that min/max reads are plain.
Rect standardized(Rect r) {
    if (r.width < 0) {
        r.x += r.width;
        r.width = -r.width;
    }
    if (r.height < 0) {
        r.y += r.height;
        r.height = -r.height;
    }
    return r;
}

// An item's place in the order: `key` sorts ascending as the weight sorts descending.
struct Ranked {
    std::uint64_t key;
    std::size_t position;
};

// For finite weights above 0 the IEEE bit pattern grows with the value; inverted, it falls.
std::uint64_t heavierFirstKey(double weight) { return ~std::bit_cast<std::uint64_t>(weight); }

// Stable sort by key. The layout runs on every redraw of the storage map, so large inputs take a
// byte-wise radix sort (linear, stable by construction) instead of a comparison sort; bytes that
// every key shares are skipped.
void sortHeaviestFirst(std::vector<Ranked>& order) {
    if (order.size() < 256) {
        std::stable_sort(order.begin(), order.end(), [](const Ranked& a, const Ranked& b) { return a.key < b.key; });
        return;
    }
    std::vector<Ranked> buffer(order.size());
    for (int shift = 0; shift < 64; shift += 8) {
        std::array<std::size_t, 256> count{};
        for (const Ranked& r : order) ++count[(r.key >> shift) & 0xFF];
        if (count[(order.front().key >> shift) & 0xFF] == order.size()) continue;
        std::size_t running = 0;
        for (std::size_t& c : count) {
            const std::size_t here = c;
            c = running;
            running += here;
        }
        for (const Ranked& r : order) buffer[count[(r.key >> shift) & 0xFF]++] = r;
        order.swap(buffer);
    }
}

// The strip being grown: its areas are a contiguous run of the sorted areas, so it is kept as
// a range plus the running sum; first and last are enough for its worst aspect ratio.
struct Strip {
    std::size_t begin = 0;
    std::size_t end = 0;
    double sum = 0;
    bool empty() const { return begin == end; }
};

double worst(double sum, double first, double last, double side) {
    const double t = sum / side;
    return std::max(first / t / t, t / (last / t));
}

// Lays one strip along the shorter side of `free` and shrinks `free` by the strip's thickness.
void place(const std::vector<WeightedArea>& areas, const Strip& strip, Rect& free, bool isLast,
           std::vector<TreemapRectangle>& result) {
    if (strip.empty()) return;
    double s = 0;
    for (std::size_t k = strip.begin; k < strip.end; ++k) s += areas[k].area;
    if (!(s > 0)) return;

    const double minX = free.x, minY = free.y, width = free.width, height = free.height;
    if (height <= width) {
        // A column along the left edge.
        const double thickness = isLast ? width : std::min(width, s / height);
        if (!(thickness > 0)) return;
        const double maxY = minY + height;
        double y = minY;
        for (std::size_t k = strip.begin; k < strip.end; ++k) {
            const double length = k + 1 == strip.end ? maxY - y : (areas[k].area / s) * height;
            result.push_back({*areas[k].id, Rect{minX, y, thickness, length < 0 ? 0 : length}});
            y += length;
        }
        const double rest = width - thickness;
        free = Rect{minX + thickness, minY, rest < 0 ? 0 : rest, height};
    } else {
        // A row along the top edge.
        const double thickness = isLast ? height : std::min(height, s / width);
        if (!(thickness > 0)) return;
        const double maxX = minX + width;
        double x = minX;
        for (std::size_t k = strip.begin; k < strip.end; ++k) {
            const double length = k + 1 == strip.end ? maxX - x : (areas[k].area / s) * width;
            result.push_back({*areas[k].id, Rect{x, minY, length < 0 ? 0 : length, thickness}});
            x += length;
        }
        const double rest = height - thickness;
        free = Rect{minX, minY + thickness, width, rest < 0 ? 0 : rest};
    }
}

} // namespace

std::vector<TreemapRectangle> TreemapLayout::rectangles(const std::vector<TreemapItem>& items, const Rect& in) {
    if (!std::isfinite(in.x) || !std::isfinite(in.y) || !std::isfinite(in.width) || !std::isfinite(in.height))
        return {};
    const Rect bounds = standardized(in);
    if (!(bounds.width > 0) || !(bounds.height > 0)) return {};
    const double totalArea = bounds.width * bounds.height;
    if (!std::isfinite(totalArea) || !(totalArea > 0)) return {};

    // The usable items, heaviest first; equal weights keep their input order.
    std::vector<Ranked> order;
    order.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        if (std::isfinite(items[i].weight) && items[i].weight > 0) order.push_back({heavierFirstKey(items[i].weight), i});
    if (order.empty()) return {};
    sortHeaviestFirst(order);

    const double largest = items[order.front().position].weight;
    double scaledSum = 0;
    for (const Ranked& r : order) scaledSum += items[r.position].weight / largest;

    std::vector<WeightedArea> areas;
    areas.reserve(order.size());
    for (const Ranked& r : order) {
        const double area = totalArea * ((items[r.position].weight / largest) / scaledSum);
        if (std::isfinite(area) && area > 0) areas.push_back({&items[r.position].id, area});
    }
    if (areas.empty()) return {};

    Rect free = bounds;
    Strip strip;
    double currentWorst = 0;
    std::vector<TreemapRectangle> result;
    result.reserve(areas.size());
    for (std::size_t i = 0; i < areas.size();) {
        const double side = std::min(free.width, free.height);
        if (!(side > 0)) break;
        if (strip.empty()) {
            strip = Strip{i, i + 1, areas[i].area};
            ++i;
            continue;
        }
        // The free rectangle, and so the side, only changes when a strip is placed; a grown
        // strip's ratio is the next comparison's current one.
        const double first = areas[strip.begin].area;
        if (strip.end - strip.begin == 1) currentWorst = worst(strip.sum, first, first, side);
        const double grown = worst(strip.sum + areas[i].area, first, areas[i].area, side);
        if (grown <= currentWorst) {
            strip.end = i + 1;
            strip.sum += areas[i].area;
            currentWorst = grown;
            ++i;
        } else {
            place(areas, strip, free, false, result);
            strip = Strip{i, i, 0};
        }
    }
    if (!strip.empty()) place(areas, strip, free, true, result);
    return result;
}

} // namespace morvo
