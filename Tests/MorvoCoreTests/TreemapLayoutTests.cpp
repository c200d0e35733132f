#include "MorvoCore/TreemapLayout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

using namespace morvo;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

std::vector<TreemapItem> weighted(std::initializer_list<double> weights) {
    std::vector<TreemapItem> items;
    for (double w : weights) items.push_back({"item" + std::to_string(items.size()), w});
    return items;
}

} // namespace

TEST(TreemapLayout, NothingToLayOutGivesNoRectangles) {
    struct Case {
        const char* what;
        std::vector<TreemapItem> items;
        Rect rect;
    };
    const Rect good{0, 0, 100, 100};
    const std::vector<Case> cases = {
        {"no items", {}, good},
        {"only unusable weights", weighted({0, -1, inf, -inf, notANumber}), good},
        {"zero width", weighted({1}), {0, 0, 0, 100}},
        {"zero height", weighted({1}), {0, 0, 100, 0}},
        {"infinite origin", weighted({1}), {inf, 0, 100, 100}},
        {"not-a-number origin", weighted({1}), {0, notANumber, 100, 100}},
        {"infinite size", weighted({1}), {0, 0, inf, 100}},
        {"not-a-number size", weighted({1}), {0, 0, 100, notANumber}},
        {"area overflows", weighted({1}), {0, 0, 1e200, 1e200}},
    };
    for (const Case& c : cases) EXPECT_TRUE(TreemapLayout::rectangles(c.items, c.rect).empty()) << c.what;
}

TEST(TreemapLayout, LaysOutStripsAlongTheShorterSide) {
    struct Case {
        const char* what;
        std::vector<TreemapItem> items;
        Rect rect;
        std::vector<TreemapRectangle> expected;
    };
    const std::vector<Case> cases = {
        {"single item takes the whole rectangle", weighted({7}), {10, 20, 30, 40}, {{"item0", {10, 20, 30, 40}}}},
        {"wide: a column at the left, the rest beside it",
         weighted({3, 1}),
         {0, 0, 400, 100},
         {{"item0", {0, 0, 300, 100}}, {"item1", {300, 0, 100, 100}}}},
        {"square: the first strip is a column",
         weighted({3, 1}),
         {0, 0, 100, 100},
         {{"item0", {0, 0, 75, 100}}, {"item1", {75, 0, 25, 100}}}},
        {"tall: the first strip is a row at the top",
         weighted({3, 1}),
         {0, 0, 100, 400},
         {{"item0", {0, 0, 100, 300}}, {"item1", {0, 300, 100, 100}}}},
        {"equal ratios grow the strip; lighter item listed last", weighted({1, 1}), {0, 0, 100, 100},
         {{"item0", {0, 0, 100, 50}}, {"item1", {0, 50, 100, 50}}}},
        {"negative width counts as its absolute value",
         weighted({3, 1}),
         {400, 0, -400, 100},
         {{"item0", {0, 0, 300, 100}}, {"item1", {300, 0, 100, 100}}}},
        {"heaviest first whatever the input order; bad weights dropped",
         {{"small", 1}, {"zero", 0}, {"big", 3}, {"notANumber", notANumber}},
         {0, 0, 400, 100},
         {{"big", {0, 0, 300, 100}}, {"small", {300, 0, 100, 100}}}},
    };
    for (const Case& c : cases) EXPECT_EQ(TreemapLayout::rectangles(c.items, c.rect), c.expected) << c.what;
}

TEST(TreemapLayout, EqualWeightsKeepInputOrder) {
    std::vector<TreemapItem> items = {{"c", 2}, {"a", 5}, {"b", 2}, {"d", 2}, {"e", 5}};
    auto rects = TreemapLayout::rectangles(items, {0, 0, 300, 200});
    std::vector<std::string> ids;
    for (const auto& r : rects) ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"a", "e", "c", "b", "d"}));

    // Many items (the large-input sort), few distinct weights: heaviest first, ties in input order.
    // Whole numbers leave most of the mantissa unused; tenths, some of them one step up, use all
    // of it down to the last bit.
    std::mt19937 random(3);
    for (const bool tenths : {false, true}) {
        std::vector<TreemapItem> many;
        for (int k = 0; k < 3000; ++k) {
            const double w = std::ldexp(1.0 + random() % 4, static_cast<int>(random() % 3) * 20);
            const double tenth = random() % 3 == 0 ? std::nextafter(w / 10, 1e300) : w / 10;
            many.push_back({std::to_string(k), tenths ? tenth : w});
        }
        std::vector<TreemapItem> expected = many;
        std::stable_sort(expected.begin(), expected.end(), [](auto& a, auto& b) { return a.weight > b.weight; });
        rects = TreemapLayout::rectangles(many, {0, 0, 1e6, 1e6});
        ASSERT_EQ(rects.size(), expected.size());
        for (std::size_t k = 0; k < rects.size(); ++k) ASSERT_EQ(rects[k].id, expected[k].id) << k << " tenths " << tenths;
    }
}

TEST(TreemapLayout, ItemThatUnderflowsGetsNoRectangleAndOthersStillFill) {
    auto rects = TreemapLayout::rectangles({{"huge", 1e300}, {"tiny", 1e-300}, {"half", 5e299}}, {0, 0, 90, 60});
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0].id, "huge");
    EXPECT_EQ(rects[1].id, "half");
    double area = 0;
    for (const auto& r : rects) area += r.rect.width * r.rect.height;
    EXPECT_NEAR(area, 90.0 * 60.0, 1e-9);
}

// Random weights and rectangles: the tiles stay inside, never overlap, cover the area and come
// heaviest first.
TEST(TreemapLayout, TilesPartitionTheRectangle) {
    std::mt19937_64 random(7);
    std::lognormal_distribution<double> weight(3.0, 2.0);
    std::uniform_real_distribution<double> extent(1.0, 2000.0);
    std::uniform_int_distribution<int> count(1, 600);
    for (int round = 0; round < 60; ++round) {
        std::vector<TreemapItem> items;
        const int n = count(random);
        for (int k = 0; k < n; ++k) items.push_back({"i" + std::to_string(k), std::ceil(weight(random))});
        const Rect bounds{extent(random) - 1000, extent(random) - 1000, extent(random), extent(random)};
        const auto rects = TreemapLayout::rectangles(items, bounds);
        ASSERT_EQ(rects.size(), items.size()) << "round " << round;

        const double total = bounds.width * bounds.height;
        const double eps = total * 1e-9;
        std::map<std::string, double> weightOf;
        for (const auto& item : items) weightOf[item.id] = item.weight;
        double area = 0;
        for (std::size_t k = 0; k < rects.size(); ++k) {
            const Rect& r = rects[k].rect;
            area += r.width * r.height;
            EXPECT_GE(r.width, 0);
            EXPECT_GE(r.height, 0);
            EXPECT_GE(r.x, bounds.x - 1e-6);
            EXPECT_GE(r.y, bounds.y - 1e-6);
            EXPECT_LE(r.x + r.width, bounds.x + bounds.width + 1e-6);
            EXPECT_LE(r.y + r.height, bounds.y + bounds.height + 1e-6);
            if (k > 0) {
                EXPECT_GE(weightOf[rects[k - 1].id], weightOf[rects[k].id]);
            }
            for (std::size_t m = 0; m < k; ++m) {
                const Rect& o = rects[m].rect;
                const double dx = std::min(r.x + r.width, o.x + o.width) - std::max(r.x, o.x);
                const double dy = std::min(r.y + r.height, o.y + o.height) - std::max(r.y, o.y);
                EXPECT_FALSE(dx > 1e-6 && dy > 1e-6 && dx * dy > eps)
                    << rects[m].id << " overlaps " << rects[k].id << " in round " << round;
            }
        }
        EXPECT_NEAR(area, total, total * 1e-9) << "round " << round;
    }
}
