#include "Morvo/Storage/StorageMapView.h"

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::mapgeometry;

namespace {

StorageMapEntry entry(const std::string& id, double bytes, bool isDirectory = false) {
    StorageMapEntry e;
    e.id = id;
    e.nodeID = id;
    e.name = id;
    e.bytes = bytes;
    e.isDirectory = isDirectory;
    return e;
}

void expectRect(const Rect& r, double x, double y, double w, double h) {
    EXPECT_DOUBLE_EQ(r.x, x);
    EXPECT_DOUBLE_EQ(r.y, y);
    EXPECT_DOUBLE_EQ(r.width, w);
    EXPECT_DOUBLE_EQ(r.height, h);
}

} // namespace

TEST(StorageMapGeometry, TileLookThresholdsAreStrict) {
    struct Case {
        double w, h;
        bool large, content, icon, sizeLine, nested, fileCount;
    };
    const Case cases[] = {
        {156, 121, true, true, true, true, false, false},   // just large
        {155, 121, false, true, true, true, false, false},  // not wider than 155
        {156, 120, false, true, true, true, false, false},  // not higher than 120
        {65, 39, false, true, false, false, false, false},  // just shows content
        {64, 39, false, false, false, false, false, false},
        {65, 38, false, false, false, false, false, false},
        {100, 60, false, true, false, false, false, false},  // header only, no icon
        {120, 70, false, true, true, true, false, false},    // icon, name, size; no footer
        {200, 130, true, true, true, true, false, false},    // footer without file count
        {220, 130, true, true, true, true, false, true},     // footer with file count
        {191, 201, true, true, true, true, true, false},     // room for a nested map
        {190, 201, true, true, true, true, false, false},
        {191, 200, true, true, true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        const TileLook look = tileLook(c.w, c.h);
        EXPECT_EQ(look.isLarge, c.large);
        EXPECT_EQ(look.showsFooter, c.large);
        EXPECT_EQ(look.cornerRadius, c.large ? 10 : 7);
        EXPECT_EQ(look.contentInset, c.large ? 17 : 10);
        EXPECT_EQ(look.spacing, c.large ? 9 : 4);
        EXPECT_EQ(look.showsContent, c.content);
        EXPECT_EQ(look.showsIcon, c.icon);
        EXPECT_EQ(look.showsSizeLine, c.sizeLine);
        EXPECT_EQ(look.showsNestedMap, c.nested);
        EXPECT_EQ(look.showsFileCount, c.fileCount);
    }
}

TEST(StorageMapGeometry, TilesAreInsetAndSmallCellsStayEmpty) {
    // One entry fills the whole map, so the cell is the map itself.
    auto tiles = layoutTiles({entry("/r/a", 10)}, 7, 100, nullptr);
    EXPECT_TRUE(tiles.empty());
    tiles = layoutTiles({entry("/r/a", 10)}, 100, 7, nullptr);
    EXPECT_TRUE(tiles.empty());

    tiles = layoutTiles({entry("/r/a", 10)}, 7.5, 100, nullptr);
    ASSERT_EQ(tiles.size(), 1u);
    expectRect(tiles[0].frame, 2.5, 2.5, 2.5, 95);
    EXPECT_FALSE(tileLook(tiles[0].frame.width, tiles[0].frame.height).showsContent);

    // Two equal entries side by side: 5 points apart, 2.5 from every edge.
    tiles = layoutTiles({entry("/r/a", 10), entry("/r/b", 10)}, 400, 200, nullptr);
    ASSERT_EQ(tiles.size(), 2u);
    expectRect(tiles[0].frame, 2.5, 2.5, 195, 195);
    expectRect(tiles[1].frame, 202.5, 2.5, 195, 195);
    EXPECT_EQ(tiles[0].entry, 0u);
    EXPECT_EQ(tiles[1].entry, 1u);
}

TEST(StorageMapGeometry, NestedEntriesOnlyForLargeCells) {
    int asked = 0;
    auto nested = [&](const StorageMapEntry& e) {
        ++asked;
        return std::vector<StorageMapEntry>{entry(e.id + "/child", 1)};
    };
    auto tiles = layoutTiles({entry("/r/a", 10, true)}, 196, 206, nested);
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(asked, 1);
    expectRect(tiles[0].frame, 2.5, 2.5, 191, 201);
    EXPECT_EQ(tiles[0].children.size(), 1u);
    EXPECT_TRUE(tileLook(191, 201).showsNestedMap);

    for (auto [w, h] : {std::pair{195.0, 206.0}, std::pair{196.0, 205.0}}) {
        asked = 0;
        tiles = layoutTiles({entry("/r/a", 10, true)}, w, h, nested);
        ASSERT_EQ(tiles.size(), 1u);
        EXPECT_EQ(asked, 0) << w << " x " << h;
        EXPECT_TRUE(tiles[0].children.empty());
    }
}

TEST(StorageMapGeometry, RectanglesWithoutAnEntryDrawNothing) {
    // An entry of no weight gets no rectangle and so no tile.
    auto tiles = layoutTiles({entry("/r/a", 0), entry("/r/b", 10)}, 300, 300, nullptr);
    ASSERT_EQ(tiles.size(), 1u);
    EXPECT_EQ(tiles[0].entry, 1u);
    EXPECT_TRUE(layoutTiles({}, 300, 300, nullptr).empty());
    EXPECT_TRUE(layoutTiles({entry("/r/a", 10)}, 0, 300, nullptr).empty());
}

TEST(StorageMapGeometry, NestedMapSitsBetweenSizeLineAndFooter) {
    const ContentMetrics metrics{16, 30, 15};
    const Rect area = nestedMapArea(300, 260, metrics);
    // 17 inset + header 16 + 9 + size 30 + 9 + 7 padding; bottom: 260 - 17 - footer 15 - 9.
    expectRect(area, 17, 88, 266, 219 - 88);
    // Nothing left over: an empty area rather than a negative one.
    EXPECT_EQ(nestedMapArea(191, 100, {80, 30, 15}).height, 0);
}

TEST(StorageMapGeometry, NestedTilesAreInsetAndLabelledWhenRoomy) {
    auto one = layoutNestedTiles({entry("/r/a/x", 5)}, 200, 100);
    ASSERT_EQ(one.size(), 1u);
    expectRect(one[0].frame, 2, 2, 196, 96);
    EXPECT_TRUE(one[0].showsLabel);

    EXPECT_FALSE(layoutNestedTiles({entry("/r/a/x", 5)}, 90, 100)[0].showsLabel);
    EXPECT_FALSE(layoutNestedTiles({entry("/r/a/x", 5)}, 100, 35)[0].showsLabel);
    EXPECT_TRUE(layoutNestedTiles({entry("/r/a/x", 5)}, 9, 100).empty());
    ASSERT_EQ(layoutNestedTiles({entry("/r/a/x", 5)}, 9.5, 9.5).size(), 1u);

    auto two = layoutNestedTiles({entry("/r/a/x", 3), entry("nested:/r/a", 1)}, 200, 100);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].child, 0u);
    EXPECT_EQ(two[1].child, 1u);
    EXPECT_NEAR(two[0].frame.width + 4, 150, 1e-9);
}
