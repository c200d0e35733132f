#pragma once
// Squarified treemap layout: pure geometry over weighted items.

#include <string>
#include <vector>

namespace morvo {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct TreemapItem {
    std::string id;
    double weight = 0;
    friend bool operator==(const TreemapItem&, const TreemapItem&) = default;
};

struct TreemapRectangle {
    std::string id;
    Rect rect;
    friend bool operator==(const TreemapRectangle&, const TreemapRectangle&) = default;
};

namespace TreemapLayout {

// One rectangle per laid-out item (finite weights above 0), largest weight first.
std::vector<TreemapRectangle> rectangles(const std::vector<TreemapItem>& items, const Rect& in);

} // namespace TreemapLayout

} // namespace morvo
