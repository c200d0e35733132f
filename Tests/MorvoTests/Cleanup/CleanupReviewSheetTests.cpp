// The review sheet over a real CleanupState and Trash service: the ticked rows and their totals,
// the move button, the confirmation dialog, and leaving the review.

#include "Morvo/Cleanup/CleanupReviewSheet.h"
#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Support/SubstateFakes.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

struct SheetFixture {
    TempFolder folder;
    std::string home = folder.folder("home");
    std::shared_ptr<FolderMover> mover = std::make_shared<FolderMover>(folder.path("trash"));
    std::shared_ptr<GatedTrashService> service = std::make_shared<GatedTrashService>(
        TrashPolicy({}, 100000, 900, Url::file(home, true)), mover);
    CleanupState state{service, CleanupStateServices{std::make_shared<FakeRunningApplications>(), home,
                                                     std::make_shared<RecordingWorkspace>(),
                                                     std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))}};

    // A system folder, which the rules refuse.
    const std::string blocked = "/usr";

    // Queues `files` (name -> size) and, optionally, the refused folder.
    void prepare(const std::vector<std::pair<std::string, std::int64_t>>& files, bool withBlocked = true) {
        for (const auto& [name, size] : files) {
            const std::string path = folder.file("home/" + name, size);
            state.add(CleanupCandidate{Url::file(path), name, "Because", "File", "doc", size, {}});
        }
        if (withBlocked) state.add(CleanupCandidate{Url::file(blocked, true), "usr", "Because", "Folder", "folder", {}, {}});
        state.prepareReview();
        QTRY_VERIFY_WITH_TIMEOUT(state.review().has_value(), 5000);
    }
    std::string path(const std::string& name) const { return folder.path("home/" + name); }

    // `count` files named item0000…; every seventh has a long name, so that its path wraps.
    std::vector<std::string> prepareMany(int count) {
        std::vector<std::pair<std::string, std::int64_t>> files;
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "item%04d", i);
            std::string file = name;
            if (i % 7 == 3) file += "-" + std::string(120, 'w');
            files.emplace_back(file, 10 + i);
            paths.push_back(path(file));
        }
        prepare(files, /*withBlocked*/ false);
        return paths;
    }
};

QScrollBar* listScrollBar(CleanupReviewSheet& sheet) {
    return sheet.findChild<QScrollArea*>()->verticalScrollBar();
}

std::size_t rowWidgets(const CleanupReviewSheet& sheet) {
    std::size_t count = 0;
    for (auto* row : sheet.findChildren<CleanupPreviewItemRow*>())
        if (row->isVisibleTo(&sheet)) ++count;
    return count;
}

// Scrolls the list to `value` and lets the rows follow.
void scrollTo(CleanupReviewSheet& sheet, int value) {
    listScrollBar(sheet)->setValue(value);
    QCoreApplication::processEvents();
}

} // namespace

TEST(CleanupReviewSheet, PresetSelectionCountsOnlyMovableRows) {
    SheetFixture f;
    f.prepare({{"a", 1000}, {"b", 2000}, {"c", 3000}});
    CleanupReviewSheet sheet(f.state);
    EXPECT_EQ(sheet.objectName(), QStringLiteral("cleanup-review-sheet"));
    EXPECT_EQ(sheet.rowCount(), 4u);
    EXPECT_EQ(sheet.selectedCountText(), QStringLiteral("3 selected"));
    EXPECT_EQ(sheet.selectedBytesText(), formatByteCount(6000) + QStringLiteral(" logical size"));
    EXPECT_EQ(sheet.includedFilesText(), QStringLiteral("3 included files"));
    EXPECT_EQ(sheet.moveButton()->labelText(), QStringLiteral("Move 3 items to Trash…"));
    EXPECT_EQ(sheet.moveButton()->objectName(), QStringLiteral("cleanup-open-confirmation"));
    EXPECT_TRUE(sheet.moveButton()->isEnabled());

    CleanupPreviewItemRow* blocked = sheet.row(f.blocked);
    ASSERT_NE(blocked, nullptr);
    EXPECT_NE(blocked->blockedLine(), nullptr);
    EXPECT_FALSE(blocked->checkBox()->isEnabled());
    EXPECT_TRUE(sheet.row(f.path("a"))->checkBox()->isEnabled());

    ASSERT_EQ(sheet.noteLines().size(), 1u);
    EXPECT_EQ(sheet.noteLines()[0]->text(), QString::fromUtf8(cleanupReviewNote.data(), cleanupReviewNote.size()));
    EXPECT_EQ(sheet.placeholderText(), QString());
}

TEST(CleanupReviewSheet, UntickingFollowsIntoTotalsAndTheMoveButton) {
    SheetFixture f;
    f.prepare({{"a", 1000}, {"b", 2000}});
    CleanupReviewSheet sheet(f.state);
    QTest::mouseClick(sheet.row(f.path("a"))->checkBox(), Qt::LeftButton);
    EXPECT_FALSE(sheet.row(f.path("a"))->checkBox()->isSelected());
    EXPECT_EQ(sheet.selectedCountText(), QStringLiteral("1 selected"));
    EXPECT_EQ(sheet.includedFilesText(), QStringLiteral("1 included file"));
    EXPECT_EQ(sheet.moveButton()->labelText(), QStringLiteral("Move 1 item to Trash…"));

    QTest::mouseClick(sheet.row(f.path("b"))->checkBox(), Qt::LeftButton);
    EXPECT_EQ(sheet.selectedCountText(), QStringLiteral("0 selected"));
    EXPECT_EQ(sheet.selectedBytesText(), formatByteCount(0) + QStringLiteral(" logical size"));
    EXPECT_EQ(sheet.moveButton()->labelText(), QStringLiteral("Move 0 items to Trash…"));
    EXPECT_FALSE(sheet.moveButton()->isEnabled());

    // The blocked row refuses the tick; the state decides and the box stays clear.
    QTest::mouseClick(sheet.row(f.blocked)->checkBox(), Qt::LeftButton);
    EXPECT_FALSE(sheet.row(f.blocked)->checkBox()->isSelected());

    QTest::mouseClick(sheet.row(f.path("b"))->checkBox(), Qt::LeftButton);
    EXPECT_TRUE(sheet.moveButton()->isEnabled());
}

TEST(CleanupReviewSheet, AllBlockedReviewOffersNothingToMove) {
    SheetFixture f;
    f.prepare({});
    CleanupReviewSheet sheet(f.state);
    EXPECT_EQ(sheet.selectedCountText(), QStringLiteral("0 selected"));
    EXPECT_EQ(sheet.includedFilesText(), QStringLiteral("0 included files"));
    EXPECT_EQ(sheet.moveButton()->labelText(), QStringLiteral("Move 0 items to Trash…"));
    EXPECT_FALSE(sheet.moveButton()->isEnabled());
}

TEST(CleanupReviewSheet, TextsUsePlainCountsInTheButtonAndGroupedOnesInTheMessage) {
    EXPECT_EQ(CleanupReviewSheet::moveButtonText(1000), QStringLiteral("Move 1000 items to Trash…"));
    EXPECT_EQ(CleanupReviewSheet::confirmationTitle(1), QStringLiteral("Move 1 item to Trash?"));
    EXPECT_EQ(CleanupReviewSheet::confirmButtonText(2), QStringLiteral("Move 2 items to Trash"));
    EXPECT_EQ(CleanupReviewSheet::confirmationMessage({1, 5000, 1}),
              QStringLiteral("You selected ") + formatByteCount(5000) +
                  QStringLiteral(" of logical file size across 1 included files. Moves to Trash; does not empty Trash. "
                                 "Space is not reclaimed until Trash is emptied."));
}

TEST(CleanupReviewSheet, KeepReviewingClosesTheDialogAndMovesNothing) {
    SheetFixture f;
    f.prepare({{"a", 10}});
    CleanupReviewSheet sheet(f.state);
    sheet.show();
    QTest::mouseClick(sheet.moveButton(), Qt::LeftButton);
    ASSERT_TRUE(sheet.showsConfirmation());
    QMessageBox* dialog = sheet.confirmationDialog();
    EXPECT_EQ(dialog->text(), QStringLiteral("Move 1 item to Trash?"));
    ASSERT_NE(sheet.confirmButton(), nullptr);
    EXPECT_EQ(sheet.confirmButton()->text(), QStringLiteral("Move 1 item to Trash"));
    EXPECT_EQ(sheet.confirmButton()->objectName(), QStringLiteral("cleanup-confirm-trash"));
    EXPECT_EQ(dialog->buttonRole(sheet.confirmButton()), QMessageBox::DestructiveRole);
    EXPECT_EQ(sheet.keepReviewingButton()->text(), QStringLiteral("Keep reviewing"));

    sheet.keepReviewingButton()->click();
    EXPECT_FALSE(sheet.showsConfirmation());
    EXPECT_TRUE(f.state.review().has_value());
    EXPECT_TRUE(f.mover->movedPaths().empty());
}

TEST(CleanupReviewSheet, DestructiveButtonMovesTheTickedRowsOnly) {
    SheetFixture f;
    f.prepare({{"a", 10}, {"b", 20}}, /*withBlocked*/ false);
    CleanupReviewSheet sheet(f.state);
    sheet.show();
    QTest::mouseClick(sheet.row(f.path("b"))->checkBox(), Qt::LeftButton);
    sheet.setShowsConfirmation(true);
    f.mover->holdMoves();
    sheet.confirmButton()->click();
    ASSERT_TRUE(f.mover->waitUntilHeld());
    EXPECT_FALSE(sheet.showsConfirmation());
    EXPECT_EQ(sheet.busyText(), QStringLiteral("Moving selected items…"));
    EXPECT_EQ(sheet.cancelButton()->labelText(), QStringLiteral("Stop remaining"));
    EXPECT_FALSE(sheet.closeButton()->isEnabled());
    EXPECT_FALSE(sheet.backButton()->isVisibleTo(&sheet));
    EXPECT_FALSE(sheet.row(f.path("a"))->checkBox()->isEnabled());
    f.mover->release();
    QTRY_VERIFY_WITH_TIMEOUT(!f.state.isTrashing(), 5000);
    EXPECT_EQ(f.mover->movedPaths(), (std::vector<std::string>{f.path("a")}));
    EXPECT_FALSE(f.state.review().has_value());
}

TEST(CleanupReviewSheet, ConfirmationThatArrivesTooLateDoesNothing) {
    SheetFixture f;
    f.prepare({{"a", 10}}, false);
    CleanupReviewSheet sheet(f.state);
    sheet.show();
    sheet.setShowsConfirmation(true);
    QPushButton* confirm = sheet.confirmButton();
    f.state.togglePreviewItem(f.path("a"));  // nothing ticked any more
    EXPECT_EQ(confirm->text(), QStringLiteral("Move 0 items to Trash"));
    confirm->click();
    EXPECT_FALSE(f.state.isTrashing());
    EXPECT_TRUE(f.mover->movedPaths().empty());
}

TEST(CleanupReviewSheet, BackAndCloseDropTheReviewAndKeepTheQueue) {
    for (bool useClose : {false, true}) {
        SheetFixture f;
        f.prepare({{"a", 10}});
        CleanupReviewSheet sheet(f.state);
        EXPECT_EQ(sheet.closeButton()->accessibleName(), QStringLiteral("Close cleanup review"));
        QTest::mouseClick(useClose ? sheet.closeButton() : sheet.backButton(), Qt::LeftButton);
        EXPECT_FALSE(f.state.review().has_value());
        EXPECT_EQ(f.state.queue().size(), 2u);
        EXPECT_TRUE(f.mover->movedPaths().empty());
        EXPECT_EQ(sheet.placeholderText(), QStringLiteral("There are no items to review."));
    }
}

TEST(CleanupReviewSheet, LongReviewBuildsOnlyTheRowsInViewAndShowsTheCurrentStateOnScroll) {
    SheetFixture f;
    const std::vector<std::string> paths = f.prepareMany(1500);
    CleanupReviewSheet sheet(f.state);
    sheet.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(sheet.rowCount(), paths.size());
    EXPECT_LT(sheet.findChildren<CleanupPreviewItemRow*>().size(), 40u) << "rows exist only for the view";
    ASSERT_NE(sheet.row(paths.front()), nullptr);
    EXPECT_EQ(sheet.row(paths.back()), nullptr);

    // Changes to rows out of view reach them when they come into view.
    f.state.togglePreviewItem(paths.back());
    EXPECT_EQ(sheet.selectedCountText(), QStringLiteral("1,499 selected"));
    scrollTo(sheet, listScrollBar(sheet)->maximum());
    QTRY_VERIFY_WITH_TIMEOUT(sheet.row(paths.back()) != nullptr && listScrollBar(sheet)->value() == listScrollBar(sheet)->maximum(), 5000);
    EXPECT_FALSE(sheet.row(paths.back())->checkBox()->isSelected());
    EXPECT_TRUE(sheet.row(paths[paths.size() - 2])->checkBox()->isSelected());
    EXPECT_EQ(sheet.row(paths.front()), nullptr);
    EXPECT_LT(sheet.findChildren<CleanupPreviewItemRow*>().size(), 40u);

    // While the move runs every row is disabled, the ones that come into view too.
    f.mover->holdMoves();
    f.state.confirmTrash();
    ASSERT_TRUE(f.mover->waitUntilHeld());
    EXPECT_FALSE(sheet.row(paths[paths.size() - 2])->checkBox()->isEnabled());
    scrollTo(sheet, listScrollBar(sheet)->maximum() / 2);
    const std::string middle = paths[paths.size() / 2];
    QTRY_VERIFY_WITH_TIMEOUT(sheet.row(middle) != nullptr, 5000);
    EXPECT_FALSE(sheet.row(middle)->checkBox()->isEnabled());
    EXPECT_LT(rowWidgets(sheet), 40u);
    f.state.cancelOperation();
    f.mover->release();
    QTRY_VERIFY_WITH_TIMEOUT(!f.state.isTrashing(), 10000);
}

TEST(CleanupReviewSheet, RowsOfALongReviewStackWithTheirOwnHeights) {
    SheetFixture f;
    const std::vector<std::string> paths = f.prepareMany(300);
    CleanupReviewSheet sheet(f.state);
    sheet.show();
    QCoreApplication::processEvents();
    // Each row in view has the height it asks for at its width, 10 below the one before it, at
    // the top and at the bottom of the list; the list ends with its last row.
    for (bool bottom : {false, true}) {
        if (bottom) {
            // The rows not yet seen are measured meanwhile; the end stays put once they are.
            QTRY_VERIFY_WITH_TIMEOUT(
                [&] {
                    scrollTo(sheet, listScrollBar(sheet)->maximum());
                    CleanupPreviewItemRow* last = sheet.row(paths.back());
                    return last && last->geometry().bottom() + 1 == last->parentWidget()->height();
                }(),
                5000);
        }
        std::vector<CleanupPreviewItemRow*> shown;
        for (const std::string& path : paths)
            if (CleanupPreviewItemRow* row = sheet.row(path); row && row->isVisibleTo(&sheet)) shown.push_back(row);
        ASSERT_GT(shown.size(), 3u);
        bool wraps = false;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            EXPECT_EQ(shown[i]->height(), shown[i]->heightForWidth(shown[i]->width())) << i;
            if (i > 0) {
            EXPECT_EQ(shown[i]->y(), shown[i - 1]->geometry().bottom() + 1 + 10) << i;
        }
            wraps = wraps || shown[i]->height() != shown[0]->height();
        }
        EXPECT_TRUE(wraps) << "long paths take more lines";
        if (!bottom) {
            EXPECT_EQ(shown.front()->y(), 0);
        }
    }
}

// The rows come last in the sheet's Tab order, after the footer's buttons.
TEST(CleanupReviewSheet, TabWalksEveryRowInOrderBeyondTheView) {
    SheetFixture f;
    const std::vector<std::string> paths = f.prepareMany(40);
    CleanupReviewSheet sheet(f.state);
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    sheet.moveButton()->setFocus(Qt::TabFocusReason);
    auto tab = [](bool forward) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, forward ? Qt::NoModifier : Qt::ShiftModifier);
    };
    for (const std::string& path : paths) {
        tab(true);
        CleanupPreviewItemRow* row = sheet.row(path);
        ASSERT_NE(row, nullptr) << path;
        ASSERT_EQ(QApplication::focusWidget(), row->checkBox()) << path;
        EXPECT_EQ(row->checkBox()->visibleRegion().boundingRect(), row->checkBox()->rect()) << "scrolled into view: " << path;
    }
    tab(true);
    EXPECT_EQ(QApplication::focusWidget(), sheet.closeButton());
    tab(false);
    ASSERT_NE(sheet.row(paths.back()), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), sheet.row(paths.back())->checkBox());

    // Back from the first row to the move button, then forward into the list from its top while
    // its end is in view.
    scrollTo(sheet, 0);
    sheet.row(paths.front())->checkBox()->setFocus(Qt::TabFocusReason);
    tab(false);
    EXPECT_EQ(QApplication::focusWidget(), sheet.moveButton());
    scrollTo(sheet, listScrollBar(sheet)->maximum());
    tab(true);
    ASSERT_NE(sheet.row(paths.front()), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), sheet.row(paths.front())->checkBox());
}
