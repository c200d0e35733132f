// The cards of the cleanup flow: what each shows for its item, and that actions reach only the
// closures they were given.

#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Kit/Symbols.h"
#include "MorvoCore/Platform/Text.h"

#include <QAction>
#include <QLayout>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;

namespace {

CleanupCandidate candidate(std::optional<std::int64_t> size, std::string path = "/home/u/Library/Caches/My App") {
    return CleanupCandidate{Url::file(path), "My App", "Rebuilt on demand", "Caches", "square.stack.3d.up", size, {}};
}

CleanupPreviewRow previewRow(std::int64_t files, std::optional<std::string> blocked = {},
                             std::vector<std::string> warnings = {}) {
    CleanupPreviewRow row;
    row.id = "/home/u/Old Stuff";
    row.url = Url::file(row.id, true);
    row.title = "Old Stuff";
    row.logicalSize = 2048;
    row.fileCount = files;
    row.blockedReason = std::move(blocked);
    row.warnings = std::move(warnings);
    row.reason = "Selected from your storage scan";
    return row;
}

QString grouped(std::int64_t n) { return QString::fromStdString(text::formatInteger(n)); }

} // namespace

TEST(CleanupQueueRow, SizeTextIsTheByteCountOrAskForTheReview) {
    struct Case {
        std::optional<std::int64_t> size;
        QString expected;
    };
    const Case cases[] = {
        {std::nullopt, QStringLiteral("Check in review")},
        {0, formatByteCount(0)},
        {1234567, formatByteCount(1234567)},
    };
    for (const auto& c : cases) {
        CleanupQueueRow row(candidate(c.size), false, {}, {});
        EXPECT_EQ(row.shownSizeText(), c.expected);
    }
    EXPECT_NE(formatByteCount(0), QStringLiteral("Check in review"));
}

TEST(CleanupQueueRow, RemoveAndRevealReachTheirClosuresAndDisabledBlocksOnlyRemove) {
    int removed = 0;
    int revealed = 0;
    CleanupQueueRow row(candidate(10, "/tmp/a b/c"), false, [&] { ++removed; }, [&] { ++revealed; });
    EXPECT_EQ(row.objectName(), QStringLiteral("cleanup-queue-item-/tmp/a b/c"));
    EXPECT_EQ(row.removeButton()->accessibleName(), QStringLiteral("Remove My App from cleanup queue"));
    EXPECT_EQ(row.removeButton()->toolTip(), QStringLiteral("Remove from queue"));
    EXPECT_EQ(row.detailText(), QStringLiteral("Caches · Rebuilt on demand"));
    QTest::mouseClick(row.removeButton(), Qt::LeftButton);
    EXPECT_EQ(removed, 1);

    std::unique_ptr<QMenu> menu(row.makeContextMenu());
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("Reveal in Finder"));
    EXPECT_EQ(menu->actions()[1]->text(), QStringLiteral("Remove from queue"));
    menu->actions()[1]->trigger();
    EXPECT_EQ(removed, 2);

    row.setRowDisabled(true);
    EXPECT_FALSE(row.removeButton()->isEnabled());
    menu.reset(row.makeContextMenu());
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    EXPECT_FALSE(menu->actions()[1]->isEnabled());
    menu->actions()[0]->trigger();
    menu->actions()[1]->trigger();
    EXPECT_EQ(revealed, 1);
    EXPECT_EQ(removed, 2);
}

TEST(CleanupPreviewItemRow, CountTextUsesTheSingularOnlyForOne) {
    const std::pair<std::int64_t, QString> cases[] = {
        {0, QStringLiteral("0 included files")},
        {1, QStringLiteral("1 included file")},
        {2, QStringLiteral("2 included files")},
        {1234, grouped(1234) + QStringLiteral(" included files")},
    };
    for (const auto& [files, expected] : cases) {
        CleanupPreviewItemRow row(previewRow(files), false, false, {});
        EXPECT_EQ(row.shownCountText(), expected) << files;
    }
}

TEST(CleanupPreviewItemRow, CheckboxShowsTheGivenValueAndOnlyAsks) {
    int toggles = 0;
    CleanupPreviewItemRow row(previewRow(3), true, false, [&] { ++toggles; });
    StateCheckBox* box = row.checkBox();
    EXPECT_EQ(box->objectName(), QStringLiteral("cleanup-select-/home/u/Old Stuff"));
    EXPECT_EQ(box->accessibleName(), QStringLiteral("Include Old Stuff in Trash selection"));
    EXPECT_TRUE(row.isHighlighted());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(toggles, 1);
    EXPECT_TRUE(box->isSelected()) << "the owner did not change the selection";
    row.setSelected(false);
    EXPECT_FALSE(box->isSelected());
    EXPECT_FALSE(row.isHighlighted());
    EXPECT_EQ(row.blockedLine(), nullptr);
    EXPECT_TRUE(row.warningLines().empty());
}

TEST(CleanupPreviewItemRow, BlockedSelectedRowKeepsThePanelLookAndShowsEveryWarning) {
    CleanupPreviewItemRow row(previewRow(1, "Protected folder", {"Changed recently", "Changed recently"}), true, true, {});
    EXPECT_FALSE(row.isHighlighted());
    ASSERT_NE(row.blockedLine(), nullptr);
    EXPECT_EQ(row.blockedLine()->text(), QStringLiteral("Protected folder"));
    EXPECT_EQ(row.blockedLine()->symbol(), QStringLiteral("lock"));
    ASSERT_EQ(row.warningLines().size(), 2u);
    EXPECT_EQ(row.warningLines()[1]->text(), QStringLiteral("Changed recently"));
    EXPECT_FALSE(row.checkBox()->isEnabled());

    // Reused for a new measurement of the same item, the notes follow it.
    row.setItem(previewRow(1));
    EXPECT_EQ(row.blockedLine(), nullptr);
    EXPECT_TRUE(row.warningLines().empty());
    EXPECT_TRUE(row.isHighlighted());
}

TEST(CleanupResultRow, StatusDecidesLabelSymbolColourAndTheRevealButton) {
    struct Case {
        CleanupOutcomeStatus status;
        bool hasTrashURL;
        QString label;
        QString symbol;
        AdaptiveColor color;
        bool reveal;
    };
    const Case cases[] = {
        {CleanupOutcomeStatus::moved, true, QStringLiteral("Moved to Trash"), QStringLiteral("checkmark.circle"), Theme::mint, true},
        {CleanupOutcomeStatus::moved, false, QStringLiteral("Moved to Trash"), QStringLiteral("checkmark.circle"), Theme::mint, false},
        {CleanupOutcomeStatus::failed, true, QStringLiteral("Couldn\u2019t move"), QStringLiteral("exclamationmark.circle"), Theme::warning, false},
        {CleanupOutcomeStatus::skipped, false, QStringLiteral("Skipped"), QStringLiteral("exclamationmark.circle"), Theme::warning, false},
    };
    for (const auto& c : cases) {
        CleanupOutcome outcome{"/tmp/x y", Url::file("/tmp/x y"), "x y", c.status, "Done",
                               c.hasTrashURL ? std::optional<Url>(Url::file("/t/files/x y")) : std::nullopt};
        int revealed = 0;
        CleanupResultRow row(outcome, [&] { ++revealed; });
        EXPECT_EQ(row.shownStatusText(), c.label);
        EXPECT_EQ(row.statusSymbolView()->symbol(), c.symbol);
        EXPECT_EQ(row.statusSymbolView()->tint(), c.color);
        ASSERT_EQ(row.revealButton() != nullptr, c.reveal) << c.label.toStdString();
        if (!c.reveal) continue;
        EXPECT_EQ(row.revealButton()->objectName(), QStringLiteral("cleanup-reveal-trash-/tmp/x y"));
        EXPECT_EQ(row.revealButton()->accessibleName(), QStringLiteral("Reveal x y in Trash"));
        EXPECT_EQ(row.revealButton()->title(), QStringLiteral("Reveal in Trash"));
        QTest::mouseClick(row.revealButton(), Qt::LeftButton);
        EXPECT_EQ(revealed, 1);
    }
}

TEST(RowStack, ReusesRowsByIdAndFollowsTheOrder) {
    RowStack stack(4);
    int made = 0;
    std::vector<std::string> updated;
    auto sync = [&](std::vector<std::string> ids) {
        stack.sync(
            ids,
            [&](std::size_t i) {
                ++made;
                auto* w = new QWidget;
                w->setObjectName(QString::fromStdString(ids[i]));
                return w;
            },
            [&](QWidget*, std::size_t i) { updated.push_back(ids[i]); });
    };
    sync({"a", "b", "c"});
    QWidget* b = stack.row("b");
    sync({"c", "b", "d", "b"});
    EXPECT_EQ(made, 4);
    EXPECT_EQ(stack.row("b"), b);
    EXPECT_EQ(stack.row("a"), nullptr);
    EXPECT_EQ(stack.ids(), (std::vector<std::string>{"c", "b", "d"}));
    EXPECT_EQ(updated, (std::vector<std::string>{"c", "b"}));
    auto* layout = stack.layout();
    ASSERT_EQ(layout->count(), 3);
    EXPECT_EQ(layout->itemAt(0)->widget()->objectName(), QStringLiteral("c"));
    EXPECT_EQ(layout->itemAt(2)->widget()->objectName(), QStringLiteral("d"));
}

TEST(CleanupQueueRow, GrowsWhenANewItemWrapsOntoMoreLines) {
    CleanupQueueRow row(candidate(10), false, {}, {});
    row.resize(420, 100);
    row.show();
    const int before = row.heightForWidth(420);
    EXPECT_EQ(row.heightForWidth(420), before);
    CleanupCandidate longer = candidate(10);
    longer.reason = "Rebuilt on demand by the application the next time it starts, so moving it costs nothing "
                    "but the time it takes to build it again";
    row.setItem(longer);
    QCoreApplication::sendPostedEvents();  // the layout request of the new texts
    EXPECT_GT(row.heightForWidth(420), before) << "the height measured for the old item is not kept";
}

TEST(CleanupMessage, ShowsItsTextSymbolAndColour) {
    CleanupMessage message(QStringLiteral("Preview cancelled. No files were moved."), QStringLiteral("info.circle"),
                           Theme::secondary);
    EXPECT_EQ(message.text(), QStringLiteral("Preview cancelled. No files were moved."));
    EXPECT_EQ(message.symbol(), QStringLiteral("info.circle"));
    EXPECT_EQ(message.color(), Theme::secondary);
    EXPECT_TRUE(message.objectName().isEmpty());
}
