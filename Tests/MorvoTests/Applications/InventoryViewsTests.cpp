// The shared views of the applications screens against a real InventoryState over a scripted scan.

#include "Morvo/State/InventoryState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "Morvo/Kit/Symbols.h"
#include "MorvoCore/Platform/Errors.h"
#include "Support/SubstateFakes.h"

#include <QPixmap>
#include <QScrollArea>
#include <QTest>

#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

// An inventory over a scan that runs what the test sets; `hold` makes the next scans wait at a
// gate until `release`.
struct Inventory {
    using Next = std::function<AppInventoryResult(std::stop_token)>;
    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<ScriptedFolderPanel> panel = std::make_shared<ScriptedFolderPanel>();
    std::mutex mutex;
    Next next = [](std::stop_token) { return AppInventoryResult{}; };
    HoldableGate gate;
    InventoryState state{InventoryStateServices{
        running, "/Users/ann",
        std::vector<Url>{Url::file("/Applications", true), Url::file("/Users/ann/Applications", true)},
        Url::file("/Users/ann/Library", true),
        [this](const std::vector<Url>&, const Url&, std::stop_token stop) {
            Next run;
            {
                std::lock_guard lock(mutex);
                run = next;
            }
            if (!gate.pass(stop)) throw CancellationError();
            return run(stop);
        },
        panel}};

    ~Inventory() {
        release();
        (void)waitForBackgroundTasks();
    }
    void setNext(Next n) {
        std::lock_guard lock(mutex);
        next = std::move(n);
    }
    void hold() { gate.hold(); }
    void release() { gate.release(); }
    bool loadWith(AppInventoryResult result) {
        setNext([result](std::stop_token) { return result; });
        state.load();
        return QTest::qWaitFor([&] { return !state.isLoading(); }, 5000);
    }
};

AppInventoryResult withApps(int count, std::vector<std::string> warnings = {}) {
    AppInventoryResult result;
    for (int i = 0; i < count; ++i)
        result.apps.push_back(InstalledApp{"App " + std::to_string(i), "com.example.app" + std::to_string(i),
                                           Url::file("/Applications/App" + std::to_string(i) + ".app", true), {}});
    result.isComplete = warnings.empty();
    result.warnings = std::move(warnings);
    return result;
}

AppRelatedFile relatedFile(std::string path, std::string caution = "") {
    return AppRelatedFile(Url::file(path, true), AppRelatedKind::containers, "Sandbox container", "Kept by the app.",
                          std::move(caution), "com.example.editor");
}

} // namespace

TEST(InventoryPageHeader, CaptionAndScanButtonFollowTheScan) {
    Inventory inv;
    InventoryPageHeader header(inv.state, "Title", "Subtitle");
    EXPECT_EQ(header.captionText(), "READY TO SCAN");
    EXPECT_EQ(header.scanTitle(), "Scan applications");
    EXPECT_EQ(header.scanSymbol(), "magnifyingglass");
    EXPECT_EQ(header.scanButton()->objectName(), "inventory-scan-applications");
    EXPECT_TRUE(header.scanButton()->isEnabled());
    EXPECT_TRUE(header.addFolderButton()->isEnabled());
    EXPECT_EQ(header.addFolderButton()->toolTip(), "Check an additional applications folder");
    EXPECT_EQ(header.addFolderButton()->accessibleName(), "Scan an additional applications folder");
    EXPECT_EQ(header.locationsText(), "Locations: /Applications, ~/Applications");

    // The scan button starts a load; while it runs both buttons are disabled.
    inv.hold();
    header.scanButton()->click();
    ASSERT_TRUE(inv.state.isLoading());
    EXPECT_EQ(header.captionText(), "CHECKING THIS MAC");
    EXPECT_FALSE(header.scanButton()->isEnabled());
    EXPECT_FALSE(header.addFolderButton()->isEnabled());
    EXPECT_EQ(header.scanTitle(), "Scan applications");
    inv.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !inv.state.isLoading(); }, 5000));

    // A scan that found nothing still counts as checked.
    EXPECT_EQ(header.captionText(), "0 APPLICATIONS CHECKED");
    EXPECT_EQ(header.scanTitle(), "Scan again");
    EXPECT_EQ(header.scanSymbol(), "arrow.clockwise");
    EXPECT_TRUE(header.scanButton()->isEnabled());

    ASSERT_TRUE(inv.loadWith(withApps(3)));
    EXPECT_EQ(header.captionText(), "3 APPLICATIONS CHECKED");

    // The add-folder button opens the folder panel of the state.
    header.addFolderButton()->click();
    ASSERT_TRUE(inv.panel->lastOptions.has_value());
    EXPECT_EQ(inv.panel->lastOptions->title, "Choose an applications folder");
}

TEST(InventoryScanNotice, ShowsProgressThenErrorThenStatusByPriority) {
    Inventory inv;
    InventoryScanNotice notice(inv.state);
    EXPECT_EQ(notice.shown(), InventoryScanNotice::Shown::nothing);
    EXPECT_TRUE(notice.isHidden());

    inv.state.setStatusMessage(std::string("Added 1 item."));
    EXPECT_EQ(notice.shown(), InventoryScanNotice::Shown::status);
    EXPECT_EQ(notice.note()->text(), "Added 1 item.");
    EXPECT_EQ(notice.note()->symbol(), "info.circle");
    EXPECT_EQ(notice.note()->color(), Theme::secondary);

    // A failed scan: its error is shown (the load cleared the status).
    inv.setNext([](std::stop_token) -> AppInventoryResult { throw PosixError(EACCES, "/Applications"); });
    inv.state.load();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !inv.state.isLoading(); }, 5000));
    ASSERT_TRUE(inv.state.errorMessage().has_value());
    EXPECT_EQ(notice.shown(), InventoryScanNotice::Shown::error);
    EXPECT_EQ(notice.note()->text().toStdString(), *inv.state.errorMessage());
    EXPECT_EQ(notice.note()->symbol(), "exclamationmark.circle");
    EXPECT_EQ(notice.note()->color(), Theme::warning);

    // The error outranks a status set after it.
    inv.state.setStatusMessage(std::string("Something else"));
    EXPECT_EQ(notice.shown(), InventoryScanNotice::Shown::error);

    // Progress outranks both; Cancel ends the scan with the state's message.
    inv.hold();
    inv.state.load();
    inv.state.setStatusMessage(std::string("Set during the scan"));
    EXPECT_EQ(notice.shown(), InventoryScanNotice::Shown::progress);
    EXPECT_TRUE(notice.note()->isHidden());
    notice.cancelButton()->click();
    EXPECT_FALSE(inv.state.isLoading());
    EXPECT_EQ(notice.shown(), InventoryScanNotice::Shown::status);
    EXPECT_EQ(notice.note()->text(), "Scan cancelled. Scan applications when you’re ready.");
}

TEST(InventoryScanNotice, ScanNotesListEveryWarningAndStayDuringANewScan) {
    Inventory inv;
    InventoryScanNotice notice(inv.state);
    EXPECT_TRUE(notice.notesToggle()->parentWidget()->isHidden());

    std::vector<std::string> warnings(40, "Couldn’t read /Applications/Locked.app");
    warnings.push_back("Another note");
    ASSERT_TRUE(inv.loadWith(withApps(1, warnings)));
    EXPECT_FALSE(notice.notesToggle()->parentWidget()->isHidden());
    EXPECT_EQ(notice.notesTitle(), "Scan notes · 41");
    // Equal warnings each keep their own line, in order.
    const QStringList texts = notice.noteTexts();
    ASSERT_EQ(texts.size(), 41);
    EXPECT_EQ(texts.front(), "Couldn’t read /Applications/Locked.app");
    EXPECT_EQ(texts.back(), "Another note");
    // Collapsed at first; opening it shows a scrolling list of at most 130 points.
    EXPECT_FALSE(notice.notesExpanded());
    EXPECT_TRUE(notice.notesArea()->isHidden());
    notice.notesToggle()->click();
    EXPECT_TRUE(notice.notesExpanded());
    EXPECT_FALSE(notice.notesArea()->isHidden());
    EXPECT_EQ(notice.notesArea()->maximumHeight(), 130);

    // The notes of the last result stay while another scan runs, beside the progress. (The next
    // result is set before the scan starts: the scan takes it before it waits at the gate.)
    inv.setNext([](std::stop_token) { return withApps(1); });
    inv.hold();
    inv.state.load();
    EXPECT_EQ(notice.shown(), InventoryScanNotice::Shown::progress);
    EXPECT_FALSE(notice.notesToggle()->parentWidget()->isHidden());
    inv.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !inv.state.isLoading(); }, 5000));
    EXPECT_TRUE(notice.notesToggle()->parentWidget()->isHidden());
}

TEST(InventoryRelatedRow, ShowsKindOrQueuedAndLeavesTheValueToItsOwner) {
    int toggles = 0;
    InventoryRelatedRow row(relatedFile("/Users/ann/Library/Containers/com.example.editor"), false, false, false,
                            [&] { ++toggles; });
    EXPECT_EQ(row.checkBox()->objectName(), "inventory-include-/Users/ann/Library/Containers/com.example.editor");
    EXPECT_EQ(row.checkBox()->accessibleName(),
              "Include Sandbox container, /Users/ann/Library/Containers/com.example.editor");
    EXPECT_EQ(row.trailingText(), "App container");
    EXPECT_FALSE(row.showsCaution());

    // A click asks the owner; the box keeps showing the value it was given.
    row.checkBox()->click();
    EXPECT_EQ(toggles, 1);
    EXPECT_FALSE(row.checkBox()->isSelected());
    row.setFlags(true, false, false);
    EXPECT_TRUE(row.checkBox()->isSelected());

    row.setFlags(true, false, true);
    EXPECT_EQ(row.trailingText(), "Queued");

    // Disabled: only the checkbox is.
    row.setFlags(false, true, false);
    EXPECT_FALSE(row.checkBox()->isEnabled());
    EXPECT_TRUE(row.isEnabled());
    row.checkBox()->click();
    EXPECT_EQ(toggles, 1);

    InventoryRelatedRow cautious(relatedFile("/x", "May hold documents."), false, false, false, {});
    EXPECT_TRUE(cautious.showsCaution());
}

TEST(InventoryAppIcon, ShowsThePlaceholderUntilTheIconOfItsOwnAppArrives) {
    std::vector<std::string> asked;
    QPixmap red(16, 16);
    red.fill(Qt::red);
    const QIcon icon(red);
    auto source = [&](const std::string& path) {
        asked.push_back(path);
        return path == "/Applications/None.app" ? QIcon() : icon;
    };
    InstalledApp editor{"Editor", "com.example.editor", Url::file("/Applications/Editor.app", true), {}};
    InventoryAppIcon view(editor, 32, source);
    EXPECT_EQ(view.size(), QSize(32, 32));
    EXPECT_FALSE(view.hasIcon());
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.hasIcon(); }, 2000));
    EXPECT_EQ(asked, std::vector<std::string>{"/Applications/Editor.app"});

    // Another application: placeholder again, then that application's own fetch.
    InstalledApp none{"None", "", Url::file("/Applications/None.app", true), {}};
    view.setApp(none);
    EXPECT_FALSE(view.hasIcon());
    view.repaint();
    QTest::qWait(20);
    EXPECT_EQ(asked.back(), "/Applications/None.app");
    EXPECT_FALSE(view.hasIcon());
}

TEST(InventoryAppIcon, AFolderWithoutAnIconOfItsOwnGetsThePlaceholder) {
    TempFolder home;
    const std::string bundle = home.bundle("Applications/Plain.app", "com.example.plain", "Plain");
    EXPECT_TRUE(InventoryAppIcon::platformIcon(bundle).isNull());
}
