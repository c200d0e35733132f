#include "Morvo/Storage/FileRow.h"
#include "Morvo/Platform/ByteCountFormatter.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;

namespace {

DiskNode node(const std::string& path, std::int64_t size = 1536, bool isDirectory = false) {
    DiskNode n;
    n.id = path;
    n.url = Url::file(path, isDirectory);
    n.name = path == "/" ? "/" : path.substr(path.rfind('/') + 1);
    n.isDirectory = isDirectory;
    n.logicalSize = size;
    n.category = FileCategory::media;
    return n;
}

} // namespace

TEST(FileRow, LocationIsRelativeToTheScannedFolder) {
    struct Case {
        const char* root;
        const char* path;
        const char* location;
    };
    const Case cases[] = {
        {"/Volumes/Data", "/Volumes/Data/Movies/clip.mov", "Movies/clip.mov"},
        {"/Volumes/Data", "/Volumes/Data", "/Volumes/Data"},                  // the root itself
        {"/Volumes/Data", "/Volumes/DataBackup/clip.mov", "/Volumes/DataBackup/clip.mov"},  // a sibling
        {"/Volumes/Data", "/elsewhere/clip.mov", "/elsewhere/clip.mov"},
        {"/", "/Users/a/clip.mov", "Users/a/clip.mov"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const FileRowContent content = FileRowContent::make(node(c.path), node(c.root, 0, true));
        EXPECT_EQ(content.location.toStdString(), c.location);
    }
    const FileRowContent zero = FileRowContent::make(node("/r/empty.txt", 0), node("/r", 0, true));
    EXPECT_EQ(zero.size, formatByteCount(0));
    EXPECT_EQ(zero.accessibleLabel(), "empty.txt, " + formatByteCount(0));
}

TEST(FileRow, CompactRowIsSixPointsShorter) {
    EXPECT_EQ(FileRow::rowHeight(false) - FileRow::rowHeight(true), 6);
    FileRow compact(node("/r/a.mov"), node("/r", 0, true), false, true, {});
    FileRow regular(node("/r/a.mov"), node("/r", 0, true), false, false, {});
    EXPECT_EQ(regular.sizeHint().height() - compact.sizeHint().height(), 6);
}

TEST(FileRow, ClickAnywhereRunsTheActionAndSelectionOnlyRepaints) {
    int clicks = 0;
    FileRow row(node("/r/a.mov"), node("/r", 0, true), false, false, [&] { ++clicks; });
    row.resize(600, row.sizeHint().height());
    row.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&row));
    EXPECT_EQ(row.accessibleName(), "a.mov, " + formatByteCount(1536));
    QTest::mouseClick(&row, Qt::LeftButton, {}, QPoint(300, row.height() / 2));  // the spacer
    QTest::mouseClick(&row, Qt::LeftButton, {}, QPoint(2, 2));                  // the padding
    EXPECT_EQ(clicks, 2);

    row.setSelected(true);
    EXPECT_TRUE(row.isSelected());
}

TEST(FileRow, LongTextsLeaveTheSizeAndChevronInTheRow) {
    const FileRowContent content =
        FileRowContent::make(node("/r/" + std::string(400, 'n') + "/" + std::string(300, 'x') + ".mov"), node("/r", 0, true));
    const QRectF rect(0, 0, 400, FileRow::rowHeight(false));
    const FileRow::Layout l = FileRow::layout(rect, content, false);
    EXPECT_TRUE(rect.contains(l.chevron));
    EXPECT_TRUE(rect.contains(l.size));
    EXPECT_LE(l.name.right() + 10, l.size.left());
    EXPECT_EQ(l.location.width(), l.name.width());
    EXPECT_DOUBLE_EQ(rect.right() - l.chevron.right(), FileRow::horizontalPadding);
    EXPECT_DOUBLE_EQ(l.icon.left(), FileRow::horizontalPadding);
    EXPECT_DOUBLE_EQ(l.icon.width(), 31);
    EXPECT_DOUBLE_EQ(l.icon.height(), 34);
}
