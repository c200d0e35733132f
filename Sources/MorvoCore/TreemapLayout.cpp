#include "MorvoCore/TreemapLayout.h"

#include <algorithm>
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

    // Positions of the usable items, heaviest first; equal weights keep their input order.
    std::vector<std::size_t> order;
    order.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i)
        if (std::isfinite(items[i].weight) && items[i].weight > 0) order.push_back(i);
    if (order.empty()) return {};
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return items[a].weight > items[b].weight; });

    const double largest = items[order.front()].weight;
    double scaledSum = 0;
    for (std::size_t i : order) scaledSum += items[i].weight / largest;

    std::vector<WeightedArea> areas;
    areas.reserve(order.size());
    for (std::size_t i : order) {
        const double area = totalArea * ((items[i].weight / largest) / scaledSum);
        if (std::isfinite(area) && area > 0) areas.push_back({&items[i].id, area});
    }
    if (areas.empty()) return {};

    Rect free = bounds;
    Strip strip;
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
        const double first = areas[strip.begin].area;
        const double grown = worst(strip.sum + areas[i].area, first, areas[i].area, side);
        const double current = worst(strip.sum, first, areas[strip.end - 1].area, side);
        if (grown <= current) {
            strip.end = i + 1;
            strip.sum += areas[i].area;
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
