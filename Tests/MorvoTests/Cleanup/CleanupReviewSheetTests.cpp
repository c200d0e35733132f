// The review sheet over a real CleanupState and Trash service: the ticked rows and their totals,
// the move button, the confirmation dialog, and leaving the review.

#include "Morvo/Cleanup/CleanupReviewSheet.h"
#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Support/SubstateFakes.h"

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
};

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
