// The root window: top bar, status banner, footer, sheets and the scan-error alert.
#include "Support/ShellTestSupport.h"

#include "Morvo/Shell/AboutView.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/Shell/InspectorView.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Shell/ScanDetailsView.h"
#include "Morvo/Shell/SidebarView.h"

#include <QMessageBox>

#include <functional>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

class ContentViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        state = std::make_unique<AppState>(fixture.services());
        view = std::make_unique<ContentView>(*state);
        view->resize(1340, 860);
        view->show();
    }
    void TearDown() override {
        view.reset();
        state.reset();
    }
    CleanupCandidate candidate(const std::string& name) {
        writeFile(fixture.home.path() / name, 10);
        CleanupCandidate c;
        c.url = Url::file(fixture.home / name);
        c.title = name;
        c.reason = "test";
        c.kind = "File";
        c.symbol = "doc";
        return c;
    }

    Fixture fixture;
    std::unique_ptr<AppState> state;
    std::unique_ptr<ContentView> view;
};

TEST_F(ContentViewTest, BannerPrefersScanningThenNoticeThenPartial) {
    auto partial = makeSnapshot(fixture.home.string(), /*partial*/ true);
    ASSERT_TRUE(publish(*state, fixture, partial));
    EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::partial);
    EXPECT_TRUE(showsText(view.get(), "Some locations couldn't be included. These results are partial."));

    state->setSection(AppSection::caches);
    EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::none) << "partial row only beside the inspector";
    state->setSection(AppSection::overview);

    state->setNotice(std::string("Scan cancelled. Your previous results are still here."));
    EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::notice);
    EXPECT_TRUE(showsText(view.get(), "Scan cancelled. Your previous results are still here."));

    // A scan that never finishes on its own: the panel-free start with a blocking scan function.
    *fixture.nextSnapshot = nullptr;
    state->startScan(Url::file(fixture.home.string(), true), true);
    EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::scanning);
    EXPECT_EQ(view->scanningDetail(), "0 files found · previous results shown until complete");
    state->cancelScan();
    ASSERT_TRUE(waitFor([&] { return !state->isScanning(); }));
    EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::notice) << "the notice returns after the scan";

    QAbstractButton* dismiss = buttonLabelled(view.get(), "Dismiss");
    ASSERT_NE(dismiss, nullptr);
    dismiss->click();
    EXPECT_FALSE(state->notice());
    EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::partial);
    buttonLabelled(view.get(), "View details")->click();
    EXPECT_EQ(state->sheet(), AppSheet::scanDetails);
}

TEST_F(ContentViewTest, ScanningHeadlineNamesTheFolderOrDisk) {
    EXPECT_EQ(view->scanningHeadline(), "Scanning disk…");
    EXPECT_EQ(view->scanningDetail(), "0 files found · building your storage map");
    state->startScan(Url::file(fixture.home.string(), true), true);
    EXPECT_EQ(view->scanningHeadline(), QString::fromStdString("Scanning " + fixture.home.path().filename().string() + "…"));
    ASSERT_TRUE(waitFor([&] { return !state->isScanning(); }));
}

TEST_F(ContentViewTest, AfterAFailedFirstScanNoLineClaimsWorkInProgress) {
    const QString waiting = "Waiting for your scan to finish", indexing = "Your files are being indexed",
                  reading = "Reading the files on your Mac. Everything here comes from your storage.";
    state->startScan(Url::file("/no/such/path", true), false);
    ASSERT_TRUE(state->isScanning());
    EXPECT_EQ(view->footerStatus(), waiting);
    EXPECT_EQ(view->sidebar()->scanCard()->footerText(), indexing);
    EXPECT_TRUE(showsText(view.get(), reading));

    ASSERT_TRUE(waitFor([&] { return state->errorMessage().has_value(); }));
    state->setErrorMessage(std::nullopt);
    ASSERT_FALSE(state->isScanning());
    ASSERT_FALSE(state->hasScannedFolder());
    for (const QString& claim : {waiting, indexing, reading, QString("SCANNING"), QString("SCANNED")})
        EXPECT_FALSE(showsText(view.get(), claim) || view->footerStatus() == claim) << claim.toStdString();
    EXPECT_EQ(view->footerStatus(), "Choose a folder to begin scanning.");
    EXPECT_EQ(view->sidebar()->scanCard()->footerText(), "Not scanned");
    EXPECT_EQ(view->sidebar()->scanCard()->statusWord(), "YOUR MAC");
    EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::none);
}

TEST_F(ContentViewTest, FooterAndTitleFollowTheSection) {
    EXPECT_EQ(view->footerStatus(), "Choose a folder to begin scanning.") << "no scan has started";
    ASSERT_TRUE(publish(*state, fixture, makeSnapshot(fixture.home.string())));
    EXPECT_EQ(view->footerStatus(), "2 files · 3.2s scan");
    EXPECT_EQ(view->titleText(), QString::fromStdString(fixture.home.path().filename().string()));

    struct Case {
        AppSection section;
        const char* footer;
    } cases[] = {
        {AppSection::cleanup, "Your selection · your confirmation"},
        {AppSection::caches, "Local caches · review before removal"},
    };
    for (const auto& c : cases) {
        state->setSection(c.section);
        EXPECT_EQ(view->footerStatus(), c.footer);
        EXPECT_TRUE(showsText(view.get(), c.footer));
        EXPECT_EQ(view->titleText(), "Morvo");
        EXPECT_TRUE(view->inspector()->isHidden());
    }
    state->setSection(AppSection::applications);
    state->inventory().load();
    EXPECT_EQ(view->footerStatus(), "Checking this Mac’s applications…");
    ASSERT_TRUE(waitFor([&] { return !state->inventory().isLoading(); }));
    EXPECT_EQ(view->footerStatus(), state->inventory().result().isComplete ? "0 applications · scanned locations checked"
                                                                            : "0 applications · see scan notes");
    state->setSection(AppSection::largeFiles);
    EXPECT_FALSE(view->inspector()->isHidden());
}

// A folder may hold hundreds of thousands of entries: nothing the window redraws on a change may
// spell out the ids of a folder's children (DiskSnapshot::node does, AppState::mapRoot and the
// other node-valued members with it).
TEST_F(ContentViewTest, NoChangeMakesTheWindowSpellOutAFoldersChildren) {
    NodeFacts dir;
    dir.isDirectory = true;
    NodeFacts file;
    file.fileCount = 1;
    const std::string root = fixture.home.string();
    DiskSnapshotBuilder builder(root, "home", dir);
    const auto big = builder.add(0, "big", dir);
    for (int i = 0; i < 300; ++i) {
        file.logicalSize = file.allocatedSize = 1000 + i;
        builder.add(0, "f" + std::to_string(i), file);
        builder.add(big, "g" + std::to_string(i), file);
    }
    builder.accumulateTotals();
    const auto now = std::chrono::system_clock::now();
    auto snapshot = builder.finish(now, now, {}, 600, 0, true);
    ASSERT_TRUE(publish(*state, fixture, snapshot));
    ASSERT_TRUE(waitFor([&] { return !state->isSearching() && !state->overviewFiles().empty(); }));

    auto settle = [] { QTest::qWait(5); };
    for (AppSection section : allAppSections) {
        state->setSection(section);
        settle();
    }
    state->setSection(AppSection::overview);
    state->navigate(root);  // the scanned folder, selected: the inspector and the map show it
    settle();
    state->navigate(root + "/big");
    settle();
    state->setSelectedID(root + "/big/g7");
    state->setSheet(AppSheet::scanDetails);
    settle();
    state->setSheet(std::nullopt);
    for (AppSection section : {AppSection::overview, AppSection::cleanup}) {
        state->setSection(section);
        for (int i = 0; i < 3; ++i) state->cleanup().add(candidate("q" + std::to_string(i) + rawValue(section).front()));
        settle();
    }
    state->setSection(AppSection::largeFiles);
    state->navigate(root);
    view->resize(1200, 800);
    state->setNotice("A notice");
    settle();
    EXPECT_EQ(view->titleText(), "home");
    EXPECT_EQ(snapshot->spelledOutChildIDs(), 0u);
}

TEST_F(ContentViewTest, TopBarButtonsFollowQueueSectionAndWork) {
    EXPECT_EQ(buttonLabelled(view.get(), "Open cleanup queue"), nullptr) << "hidden while the queue is empty";
    state->cleanup().add(candidate("a.log"));
    QAbstractButton* queue = buttonLabelled(view.get(), "Open cleanup queue");
    ASSERT_NE(queue, nullptr);
    EXPECT_EQ(queue->accessibleName(), "Cleanup queue, 1 item");
    state->cleanup().add(candidate("b.log"));
    EXPECT_EQ(queue->accessibleName(), "Cleanup queue, 2 items");

    state->setCategory(FileCategory::media);
    queue->click();
    EXPECT_EQ(state->section(), AppSection::cleanup);
    EXPECT_FALSE(state->category());
    EXPECT_EQ(buttonLabelled(view.get(), "Refresh this view (Ctrl+R)"), nullptr) << "no refresh in Cleanup";

    state->setSection(AppSection::overview);
    QAbstractButton* refresh = buttonLabelled(view.get(), "Refresh this view (Ctrl+R)");
    auto* scan = byIdentifier(view.get(), "scan-folder");
    ASSERT_TRUE(refresh && scan);
    EXPECT_EQ(refresh->accessibleName(), "Refresh this view") << "a symbol alone says nothing to a screen reader";
    state->startScan(Url::file(fixture.home.string(), true), true);
    EXPECT_FALSE(refresh->isEnabled());
    EXPECT_TRUE(scan->isEnabled()) << "a running scan leaves Scan folder enabled";
    ASSERT_TRUE(waitFor([&] { return !state->isScanning(); }));
    EXPECT_TRUE(refresh->isEnabled());

    scan->click();
    EXPECT_EQ(fixture.panel->shown.size(), 1u);

    auto* contact = byIdentifier(view.get(), "contact-email");
    ASSERT_NE(contact, nullptr);
    EXPECT_EQ(contact->toolTip(), "Email " + ContentView::supportAddress());
    EXPECT_EQ(contact->accessibleDescription(), "Opens your email app to contact Morvo support.");
    contact->click();
    ASSERT_EQ(fixture.workspace->opened.size(), 1u);
    EXPECT_EQ(fixture.workspace->opened[0].scheme, "mailto");
}

TEST_F(ContentViewTest, HandOversTheDesktopCannotTakeAreSaidInTheStatusLine) {
    ASSERT_TRUE(publish(*state, fixture, makeSnapshot(fixture.home.string())));
    state->setSelectedID(fixture.home / "notes.txt");
    fixture.workspace->available = false;
    CleanupOutcome moved;
    moved.id = fixture.home / "old.log";
    moved.status = CleanupOutcomeStatus::moved;
    moved.trashURL = Url::file(fixture.home / ".local/share/Trash/files/old.log");
    struct Case {
        const char* name;
        std::function<void()> act;
        QString notice;
    } cases[] = {
        {"contact", [&] { byIdentifier(view.get(), "contact-email")->click(); },
         "No email app is set up on this desktop. You can write to " + ContentView::supportAddress() + "."},
        {"reveal", [&] { buttonLabelled(view->inspector(), "Reveal in Finder")->click(); },
         "No file manager on this desktop could show the item."},
        {"reveal in Trash", [&] { state->cleanup().revealTrash(moved); },
         "No file manager on this desktop could show the Trash."},
    };
    for (const Case& c : cases) {
        state->setNotice(std::nullopt);
        c.act();
        EXPECT_EQ(QString::fromStdString(state->notice().value_or("")), c.notice) << c.name;
        EXPECT_EQ(view->bannerRow(), ContentView::BannerRow::notice) << c.name;
        EXPECT_TRUE(showsText(view.get(), c.notice)) << c.name;
    }
    ASSERT_EQ(fixture.workspace->revealedInTrash.size(), 1u) << "a moved item is shown through the Trash";
    EXPECT_EQ(fixture.workspace->revealedInTrash[0], *moved.trashURL);

    fixture.workspace->available = true;
    state->setNotice(std::nullopt);
    byIdentifier(view.get(), "contact-email")->click();
    EXPECT_FALSE(state->notice()) << "a hand-over that worked says nothing";
}

TEST_F(ContentViewTest, SheetsFollowTheStateAndDismissalClearsIt) {
    state->setSheet(AppSheet::about);
    ASSERT_NE(view->presentedSheet(), nullptr);
    EXPECT_NE(view->presentedSheet()->findChild<AboutView*>(), nullptr);
    EXPECT_TRUE(showsText(view->presentedSheet(), "Version 0.4.1 · Build 9"));

    state->setSheet(AppSheet::scanDetails);
    ASSERT_NE(view->presentedSheet(), nullptr);
    EXPECT_NE(view->presentedSheet()->findChild<ScanDetailsView*>(), nullptr);
    EXPECT_EQ(view->presentedSheet()->focusWidget(), view->presentedSheet()) << "no control's ring before a key";
    view->presentedSheet()->reject(); // Escape
    EXPECT_FALSE(state->sheet());
    QTest::qWait(1);
    EXPECT_EQ(view->presentedSheet(), nullptr);

    state->setSheet(AppSheet::about);
    buttonLabelled(view->presentedSheet(), "Keep exploring")->click();
    EXPECT_FALSE(state->sheet());
}

TEST_F(ContentViewTest, ScanErrorAlertClearsTheMessage) {
    state->setErrorMessage(std::string("Choose a folder or volume on this Mac."));
    QMessageBox* alert = view->presentedAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Couldn't finish the scan");
    EXPECT_EQ(alert->informativeText(), "Choose a folder or volume on this Mac.");
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons()[0]->text(), "OK");
    alert->buttons()[0]->click();
    EXPECT_FALSE(state->errorMessage());
}

TEST_F(ContentViewTest, TheReviewSheetStaysWhileItsReviewIsBeingPrepared) {
    state->cleanup().add(candidate("old.log"));
    state->cleanup().prepareReview();
    ASSERT_TRUE(waitFor([&] { return state->cleanup().review().has_value(); }));
    QDialog* sheet = view->presentedReviewSheet();
    ASSERT_NE(sheet, nullptr);

    // Preparing again: busy until the worker's result is applied on the next turn of the event loop.
    state->cleanup().prepareReview();
    ASSERT_TRUE(state->cleanup().isPreparing());
    sheet->reject(); // Escape
    EXPECT_FALSE(sheet->close()) << "the window's close button";
    EXPECT_TRUE(state->cleanup().review().has_value());
    EXPECT_TRUE(state->cleanup().isPreparing()) << "the preparation was not dropped";
    ASSERT_TRUE(waitFor([&] { return !state->cleanup().isPreparing(); }));
    ASSERT_NE(view->presentedReviewSheet(), nullptr);
    view->presentedReviewSheet()->reject();
    EXPECT_FALSE(state->cleanup().review()) << "dismissal works again once nothing is busy";
}

TEST_F(ContentViewTest, ClosingTheReviewSheetInvalidatesThePreview) {
    state->cleanup().add(candidate("old.log"));
    state->cleanup().prepareReview();
    ASSERT_TRUE(waitFor([&] { return state->cleanup().review().has_value(); }));
    ASSERT_NE(view->presentedReviewSheet(), nullptr);
    view->presentedReviewSheet()->reject();
    EXPECT_FALSE(state->cleanup().review());
    QTest::qWait(1);
    EXPECT_EQ(view->presentedReviewSheet(), nullptr);
}

} // namespace
