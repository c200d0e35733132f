// The cleanup road through the real core: a scanned fixture folder, items queued from the scan,
// the review sheet presented by the root window, one item unticked, the confirmation, and the
// freedesktop Trash under a temporary XDG_DATA_HOME. Also renders the screens to PNG files when
// MORVO_SCREENSHOT_DIR names a folder.

#include "Morvo/State/AppState.h"
#include "Morvo/Cleanup/CacheWorkspaceView.h"
#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/Cleanup/CleanupReviewSheet.h"
#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Cleanup/CleanupWorkspaceView.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Shell/WorkspaceHost.h"
#include "Support/SubstateFakes.h"

#include <QDialog>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>

using namespace morvo;
using namespace morvo::testing::substates;
namespace fs = std::filesystem;

namespace {

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (previous_) ::setenv(name_, previous_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

std::optional<DiskNode> nodeAt(const AppState& state, const std::string& path) {
    return state.snapshot()->node(path);
}

} // namespace

TEST(CleanupEndToEnd, ExactlyTheTickedItemsReachTheTrashAndTheScanFollows) {
    TempFolder folder;
    const std::string home = folder.folder("home");
    const std::string dataHome = folder.folder("data");
    ScopedEnvironment xdg("XDG_DATA_HOME", dataHome);
    const std::string a = folder.file("home/files/a.bin", 4000);
    const std::string b = folder.file("home/files/b.bin", 5000);
    const std::string dir = folder.folder("home/files/old");
    folder.file("home/files/old/inner.txt", 300);

    AppServices services;
    services.workspace = std::make_shared<RecordingWorkspace>();
    services.runningApplications = std::make_shared<FakeRunningApplications>();
    services.appLocation = std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true));
    services.folderPanel = std::make_shared<ScriptedFolderPanel>();
    services.homeDirectory = home;
    services.applicationRoots = std::vector<Url>{};
    AppState state(services);
    const std::string root = folder.path("home/files");
    state.startScan(Url::file(root, true), false);
    QTRY_VERIFY_WITH_TIMEOUT(!state.isScanning() && state.hasScannedFolder(), 10000);

    ContentView content(state);
    content.resize(1340, 860);
    content.show();
    state.setSection(AppSection::cleanup);
    auto* workspace = qobject_cast<CleanupWorkspaceView*>(content.workspaceHost()->currentWorkspace());
    ASSERT_NE(workspace, nullptr);

    for (const std::string& path : {a, b, dir}) {
        auto node = nodeAt(state, path);
        ASSERT_TRUE(node) << path;
        state.queueForCleanup(*node);
    }
    ASSERT_EQ(workspace->queueRowCount(), 3u);
    EXPECT_EQ(workspace->shownQueueCount(), QStringLiteral("3 items"));

    QTest::mouseClick(workspace->reviewButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(content.presentedReviewSheet() != nullptr, 5000);
    auto* sheet = content.presentedReviewSheet()->findChild<CleanupReviewSheet*>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->selectedCountText(), QStringLiteral("3 selected"));
    QTest::mouseClick(sheet->row(b)->checkBox(), Qt::LeftButton);
    EXPECT_EQ(sheet->moveButton()->labelText(), QStringLiteral("Move 2 items to Trash…"));
    QTest::mouseClick(sheet->moveButton(), Qt::LeftButton);
    ASSERT_NE(sheet->confirmButton(), nullptr);
    EXPECT_EQ(sheet->confirmButton()->text(), QStringLiteral("Move 2 items to Trash"));
    sheet->confirmButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!state.cleanup().isTrashing() && !state.cleanup().results().empty(), 10000);

    // The Trash holds exactly the two ticked items; the unticked one is where it was.
    std::set<std::string> trashed;
    for (const auto& item : fs::directory_iterator(dataHome + "/Trash/files")) trashed.insert(item.path().filename());
    EXPECT_EQ(trashed, (std::set<std::string>{"a.bin", "old"}));
    EXPECT_TRUE(fs::exists(b));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(dir));

    std::map<std::string, CleanupOutcomeStatus> outcomes;
    for (const auto& outcome : state.cleanup().results()) outcomes[outcome.id] = outcome.status;
    EXPECT_EQ(outcomes[a], CleanupOutcomeStatus::moved);
    EXPECT_EQ(outcomes[dir], CleanupOutcomeStatus::moved);
    EXPECT_TRUE(!outcomes.count(b) || outcomes[b] != CleanupOutcomeStatus::moved);
    EXPECT_EQ(workspace->shownResultSummary().left(7), QStringLiteral("2 moved"));
    ASSERT_NE(workspace->resultRow(a), nullptr);
    EXPECT_NE(workspace->resultRow(a)->revealButton(), nullptr);
    EXPECT_EQ(workspace->shownQueueCount(), QStringLiteral("1 item"));
    ASSERT_NE(workspace->queueRow(b), nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(content.presentedReviewSheet() == nullptr, 5000);

    // The storage view scans the folder again: the moved items are gone from it, b stays.
    QTRY_VERIFY_WITH_TIMEOUT(!state.isScanning() && !nodeAt(state, a).has_value(), 10000);
    EXPECT_FALSE(nodeAt(state, dir).has_value());
    EXPECT_TRUE(nodeAt(state, b).has_value());
}

// Renders the screens for a look by eye: MORVO_SCREENSHOT_DIR=/some/folder.
TEST(CleanupEndToEnd, Screenshots) {
    const char* out = std::getenv("MORVO_SCREENSHOT_DIR");
    if (!out) GTEST_SKIP() << "MORVO_SCREENSHOT_DIR not set";
    loadFonts();
    TempFolder folder;
    const std::string home = folder.folder("home");
    auto mover = std::make_shared<FolderMover>(folder.folder("trash"));
    auto service = std::make_shared<GatedTrashService>(TrashPolicy({}, 100000, 900, Url::file(home, true)), mover);
    auto running = std::make_shared<FakeRunningApplications>();
    CleanupState cleanup(service, CleanupStateServices{running, home, std::make_shared<RecordingWorkspace>(),
                                                       std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))});
    const std::string video = folder.file("home/Movies/Holiday edit final (2).mov", 734000000 / 1000);
    const std::string logs = folder.file("home/Library/Logs/Some Tool/session.log", 52000);
    const std::string cache = folder.folder("home/Library/Caches/com.example.viewer");
    folder.file("home/Library/Caches/com.example.viewer/a", 120000);
    folder.file("home/Library/Caches/com.example.viewer/b", 80000);
    cleanup.add({Url::file("/usr", true), "usr", "Selected from your storage scan", "Folder", "folder", {}, {}});
    cleanup.add({Url::file(video), "Holiday edit final (2).mov", "Selected from your storage scan", "File",
                 "photo.on.rectangle.angled", 734000, {}});
    cleanup.add({Url::file(cache, true), "com.example.viewer", "App cache that the app rebuilds when needed", "Caches",
                 "square.stack.3d.up", 200000, {}});
    cleanup.add({Url::file(logs), "session.log", "Diagnostic log", "Logs", "doc.text", std::nullopt, {}});

    CleanupDiscoveryResult discovery;
    auto e = [](std::string path, std::string title, CleanupArea area, std::int64_t size, std::int64_t files) {
        CleanupDiscoveryEntry entry;
        entry.url = Url::file(path, true);
        entry.title = std::move(title);
        entry.area = area;
        entry.logicalSize = size;
        entry.fileCount = files;
        return entry;
    };
    discovery.entries = {e(cache, "com.example.viewer", CleanupArea::caches, 2400000000, 18234),
                         e(home + "/Library/Developer/Xcode/DerivedData", "Xcode DerivedData", CleanupArea::developer,
                           912000000, 4400),
                         e(home + "/Library/Logs/Some Tool", "Some Tool", CleanupArea::logs, 52000, 1)};
    discovery.entries[1].note = "Build products; rebuilt by the next build.";
    discovery.entries[1].documentationURL = Url::parse("https://developer.example.com/derived-data");
    discovery.entries.push_back(e(home + "/Library/Caches/com.example.partial", "com.example.partial",
                                  CleanupArea::caches, 4000, 12));
    discovery.entries.back().isPartial = true;
    discovery.warnings = {"Couldn’t read Library/Caches/com.locked: Permission denied"};
    CleanupDiscoveryState caches(CleanupDiscoveryStateServices{
        running, home, [discovery](const Url&, std::int64_t, std::int64_t, std::stop_token) { return discovery; }});
    caches.load();
    QTRY_VERIFY_WITH_TIMEOUT(caches.hasLoaded(), 5000);
    caches.setSelectedIDs({cache});
    caches.queueSelected(cleanup);

    auto grab = [&](QWidget& widget, const std::string& name) {
        widget.show();
        QCoreApplication::processEvents();
        QTest::qWait(50);
        widget.grab().save(QString::fromStdString(std::string(out) + "/" + name + ".png"));
    };
    for (AppAppearance appearance : allAppAppearances) {
        Theme::current().setAppearance(appearance);
        const std::string suffix = "-" + std::string(rawValue(appearance));
        {
            CleanupWorkspaceView view(cleanup, {}, {});
            view.setAutoFillBackground(true);
            QPalette palette;
            palette.setColor(QPalette::Window, Theme::background());
            view.setPalette(palette);
            view.resize(1000, 760);
            grab(view, "cleanup-workspace" + suffix);
        }
        cleanup.prepareReview();
        QTRY_VERIFY_WITH_TIMEOUT(cleanup.review().has_value(), 5000);
        {
            CleanupReviewSheet sheet(cleanup);
            sheet.adjustSize();
            grab(sheet, "cleanup-review-sheet" + suffix);
        }
        cleanup.togglePreviewItem(logs);
        mover->failFor(cache);
        cleanup.confirmTrash();
        QTRY_VERIFY_WITH_TIMEOUT(!cleanup.isTrashing(), 5000);
        {
            CleanupWorkspaceView view(cleanup, {}, {});
            view.setAutoFillBackground(true);
            QPalette palette;
            palette.setColor(QPalette::Window, Theme::background());
            view.setPalette(palette);
            view.resize(1000, 900);
            view.show();
            QCoreApplication::processEvents();
            for (auto* scroll : view.findChildren<QScrollArea*>())
                scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
            grab(view, "cleanup-results" + suffix);
        }
        {
            CacheWorkspaceView view(caches, cleanup);
            view.setAutoFillBackground(true);
            QPalette palette;
            palette.setColor(QPalette::Window, Theme::background());
            view.setPalette(palette);
            view.resize(1100, 900);
            grab(view, "cache-workspace" + suffix);
        }
        // Put the moved file back for the second appearance's run.
        if (!fs::exists(video)) folder.file("home/Movies/Holiday edit final (2).mov", 734000);
        cleanup.add({Url::file(video), "Holiday edit final (2).mov", "Selected from your storage scan", "File",
                     "photo.on.rectangle.angled", 734000, {}});
    }
}
