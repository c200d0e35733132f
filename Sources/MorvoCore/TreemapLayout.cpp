#include "MorvoCore/TreemapLayout.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <climits>
#include <cmath>
#include <cstddef>
#include <string_view>

namespace morvo {

namespace {

// An item after scaling to the rectangle's area.
// The id is kept as the bytes of the item's own string, read once while the item's line is at
// hand; copying it into the result then touches only the characters.
struct WeightedArea {
    const char* id;
    std::size_t idLength;
    double area;
    std::string_view idView() const { return {id, idLength}; }
};

// Rectangles are appended in the sorted order, which jumps around the input; the characters of
// an id a few places ahead are asked for early.
constexpr std::size_t kPrefetchAhead = 8;

void appendRectangle(const std::vector<WeightedArea>& areas, std::size_t k, const Rect& rect,
                     std::vector<TreemapRectangle>& result) {
    if (k + kPrefetchAhead < areas.size()) __builtin_prefetch(areas[k + kPrefetchAhead].id);
    result.emplace_back(std::string(areas[k].idView()), rect);
}

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

// LSD radix sort on bits [from, to) of each value's key: linear, and stable by construction.
// The digits have up to 11 bits and are all counted in one pass; a digit that every key shares
// needs no pass.
template <class T, class KeyOf>
void radixSort(std::vector<T>& values, int from, int to, KeyOf keyOf) {
    constexpr int kDigitBits = 11;
    constexpr std::size_t kBuckets = std::size_t{1} << kDigitBits;
    const std::size_t n = values.size();
    const int digits = (to - from + kDigitBits - 1) / kDigitBits;
    auto digit = [from](std::uint64_t key, int d) {
        return static_cast<std::size_t>((key >> from >> (kDigitBits * d)) & (kBuckets - 1));
    };
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(digits) * kBuckets);
    for (const T& v : values) {
        const std::uint64_t key = keyOf(v);
        for (int d = 0; d < digits; ++d) ++counts[static_cast<std::size_t>(d) * kBuckets + digit(key, d)];
    }
    std::vector<T> buffer(n);
    for (int d = 0; d < digits; ++d) {
        std::uint32_t* count = counts.data() + static_cast<std::size_t>(d) * kBuckets;
        if (count[digit(keyOf(values.front()), d)] == n) continue;
        std::uint32_t running = 0;
        for (std::size_t b = 0; b < kBuckets; ++b) {
            const std::uint32_t here = count[b];
            count[b] = running;
            running += here;
        }
        for (const T& v : values) buffer[count[digit(keyOf(v), d)]++] = v;
        values.swap(buffer);
    }
}

// Stable sort by key. The layout runs on every redraw of the storage map, so large inputs take a
// radix sort instead of a comparison sort, on only the bits in which the keys differ. Where those
// bits and the position fit in 64 together (sizes in bytes do), one word per item is sorted.
void sortHeaviestFirst(std::vector<Ranked>& order) {
    const std::size_t n = order.size();
    if (n < 256 || n > UINT32_MAX) {
        std::stable_sort(order.begin(), order.end(), [](const Ranked& a, const Ranked& b) { return a.key < b.key; });
        return;
    }
    std::uint64_t some = 0, every = ~std::uint64_t{0};
    for (const Ranked& r : order) {
        some |= r.key;
        every &= r.key;
    }
    const std::uint64_t varying = some ^ every;
    if (varying == 0) return;  // all keys equal: input order is the order
    const int low = std::countr_zero(varying);
    const int high = 64 - std::countl_zero(varying);
    const int positionBits = std::bit_width(static_cast<std::uint64_t>(order.back().position));
    if ((high - low) + positionBits <= 64) {
        const std::uint64_t keyMask = high - low == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (high - low)) - 1;
        const std::uint64_t positionMask = (std::uint64_t{1} << positionBits) - 1;
        std::vector<std::uint64_t> packed(n);
        for (std::size_t k = 0; k < n; ++k)
            packed[k] = ((order[k].key >> low) & keyMask) << positionBits | order[k].position;
        radixSort(packed, positionBits, positionBits + (high - low), [](std::uint64_t v) { return v; });
        // The bits left out are the same in every key.
        const std::uint64_t shared = every & ~(keyMask << low);
        for (std::size_t k = 0; k < n; ++k)
            order[k] = {(((packed[k] >> positionBits) & keyMask) << low) | shared,
                        static_cast<std::size_t>(packed[k] & positionMask)};
        return;
    }
    radixSort(order, low, high, [](const Ranked& r) { return r.key; });
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
            appendRectangle(areas, k, Rect{minX, y, thickness, length < 0 ? 0 : length}, result);
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
            appendRectangle(areas, k, Rect{x, minY, length < 0 ? 0 : length, thickness}, result);
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

    // Scaled weights first, in place; then their areas, keeping the usable ones.
    const double largest = items[order.front().position].weight;
    std::vector<WeightedArea> areas(order.size());
    double scaledSum = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const TreemapItem& item = items[order[k].position];
        areas[k] = {item.id.data(), item.id.size(), item.weight / largest};
        scaledSum += areas[k].area;
    }
    std::size_t kept = 0;
    for (std::size_t k = 0; k < areas.size(); ++k) {
        const double area = totalArea * (areas[k].area / scaledSum);
        if (std::isfinite(area) && area > 0) areas[kept++] = {areas[k].id, areas[k].idLength, area};
    }
    areas.resize(kept);
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
