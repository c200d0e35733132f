// Both applications screens over the real inventory scanner and a fixture home laid out like a
// macOS home. When MORVO_SCREENSHOT_DIR is set, each screen is also saved there in the dark and
// the light appearance.

#include "Morvo/Applications/ApplicationsWorkspaceView.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "Morvo/Applications/LeftoversWorkspaceView.h"
#include "Morvo/Shell/MorvoApp.h"
#include "Morvo/Platform/Fonts.h"
#include "MorvoCore/Platform/FileMetadata.h"
#include "Support/SubstateFakes.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStyleFactory>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

class FixtureHome : public ::testing::Test {
protected:
    void SetUp() override {
        loadFonts();
        if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(style);
        QApplication::setFont(systemFont(13));

        home.bundle("Applications/Editor.app", "com.example.editor", "Editor");
        home.bundle("Applications/Viewer.app", "com.example.viewer", "Viewer");
        home.bundle("Applications/Sketch Pad.app", "com.example.sketchpad", "Sketch Pad");
        home.bundle("Applications/Notes.app", "com.example.notes", "Notes");
        home.bundle("More Apps/Notes.app", "com.example.notes", "Notes");
        home.file("Library/Caches/com.example.editor/Cache.db", 4096);
        home.file("Library/Preferences/com.example.editor.plist", 300);
        home.file("Library/Containers/com.example.editor/Data/Documents/draft.txt", 1200);
        home.file("Library/Saved Application State/com.example.editor.savedState/windows.plist", 80);
        home.file("Library/Caches/com.example.viewer/thumbs.db", 2048);
        home.file("Library/Caches/com.example.notes/index", 10);
        // Identifiers no installed application has.
        home.file("Library/Caches/com.gone.oldtool/data", 900);
        home.file("Library/Preferences/com.gone.oldtool.plist", 120);
        home.file("Library/Containers/com.gone.photoapp/Data/library.db", 5000);
        home.file("Library/Application Support/com.gone.photoapp/settings.json", 64);

        running->set({FakeRunningApplications::app("com.example.viewer")});
        state = std::make_unique<InventoryState>(InventoryStateServices{
            running, home.root(),
            std::vector<Url>{Url::file(home.path("Applications"), true), Url::file(home.path("More Apps"), true)},
            std::nullopt, {}, std::make_shared<ScriptedFolderPanel>()});
        cleanup = std::make_unique<CleanupState>(
            service, CleanupStateServices{running, home.root(), std::make_shared<RecordingWorkspace>(),
                                          std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))});
    }
    void TearDown() override {
        Theme::current().setAppearance(AppAppearance::dark);
        QApplication::setPalette(MorvoApp::palette(AppAppearance::dark));
    }

    // Saves `view` as <dir>/<name>-<appearance>.png in both appearances when asked to.
    void capture(QWidget& view, const QString& name) {
        const QString dir = qEnvironmentVariable("MORVO_SCREENSHOT_DIR");
        for (AppAppearance appearance : allAppAppearances) {
            Theme::current().setAppearance(appearance);
            QApplication::setPalette(MorvoApp::palette(appearance));
            QTest::qWait(30);
            const QPixmap shot = view.grab();
            EXPECT_FALSE(shot.isNull());
            if (!dir.isEmpty()) {
                QDir().mkpath(dir);
                const auto raw = rawValue(appearance);
                shot.save(dir + "/" + name + "-" + QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size())) + ".png");
            }
        }
    }

    TempFolder home;
    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<TrashService> service =
        std::make_shared<TrashService>(TrashPolicy({}, 100000, 900, Url::file("/nonexistent-home", true)));
    std::unique_ptr<InventoryState> state;
    std::unique_ptr<CleanupState> cleanup;
};

} // namespace

TEST_F(FixtureHome, ApplicationsScreenListsTheBundlesWithTheirLibraryData) {
    ApplicationsWorkspaceView view(*state, *cleanup);
    view.resize(1100, 780);
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->hasLoaded() && !state->isLoading(); }, 10000));
    ASSERT_TRUE(state->result().isComplete) << (state->result().warnings.empty() ? "" : state->result().warnings[0]);

    std::vector<std::string> names;
    for (const auto& app : state->result().apps) names.push_back(app.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Editor", "Notes", "Notes", "Sketch Pad", "Viewer"}));
    EXPECT_EQ(view.rows().size(), 5u);
    EXPECT_EQ(view.header()->locationsText(), "Locations: ~/Applications, ~/More Apps");
    EXPECT_EQ(view.findChild<ApplicationRow*>(QString::fromStdString("application-" + home.path("Applications/Viewer.app")))
                  ->subtitleText(),
              "Running");

    // Editor is picked first; its four data items are offered, none ticked.
    ASSERT_NE(view.selectedApp(), nullptr);
    EXPECT_EQ(view.selectedApp()->name, "Editor");
    std::vector<QString> kinds;
    for (auto* row : view.detail()->findChildren<InventoryRelatedRow*>()) kinds.push_back(row->trailingText());
    EXPECT_EQ(kinds, (std::vector<QString>{"Caches", "Preferences", "App container", "Saved application state"}));

    // Queue the bundle, then tick the container: the screenshot shows both states.
    view.addButton()->click();
    state->toggleRelated(home.path("Library/Containers/com.example.editor"));
    EXPECT_EQ(view.readyText(), "1 ready to add");
    capture(view, "applications");

    // The running Viewer offers nothing; the second Notes keeps its data out.
    state->setSelectedAppID(home.path("Applications/Viewer.app"));
    EXPECT_EQ(view.readyText(), "0 ready to add");
    capture(view, "applications-running");
    state->setSelectedAppID(home.path("More Apps/Notes.app"));
    EXPECT_TRUE(view.detail()->findChildren<InventoryRelatedRow*>().empty());
    EXPECT_EQ(view.readyText(), "1 ready to add");
    capture(view, "applications-other-copy");
}

TEST_F(FixtureHome, LeftoversScreenGroupsDataOfIdentifiersNoAppHas) {
    LeftoversWorkspaceView view(*state, *cleanup);
    view.resize(1100, 780);
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->hasLoaded() && !state->isLoading(); }, 10000));
    ASSERT_TRUE(state->result().isComplete);

    std::vector<std::string> groups;
    for (const auto& group : state->result().leftovers) groups.push_back(group.bundleIdentifier);
    EXPECT_EQ(groups, (std::vector<std::string>{"com.gone.oldtool", "com.gone.photoapp"}));
    ASSERT_EQ(view.groupCards().size(), 2u);
    EXPECT_EQ(view.rows().size(), 4u);

    // One item queued, one more ticked.
    state->toggleLeftover(home.path("Library/Caches/com.gone.oldtool"));
    view.addButton()->click();
    EXPECT_EQ(cleanup->queue().size(), 1u);
    state->toggleLeftover(home.path("Library/Containers/com.gone.photoapp"));
    EXPECT_EQ(view.readyText(), "1 ready to add");
    capture(view, "leftovers");
}

TEST_F(FixtureHome, AnUnreadableLibraryFolderHidesTheLeftoversAndListsTheScanNotes) {
    const std::string containers = home.path("Library/Containers");
    state = std::make_unique<InventoryState>(InventoryStateServices{
        running, home.root(), std::vector<Url>{Url::file(home.path("Applications"), true)}, std::nullopt,
        [containers](const std::vector<Url>& roots, const Url& library, std::stop_token stop) {
            AppInventoryScanner::Environment environment;
            environment.lstat = [containers](const std::string& path, FileMetadata& out) {
                if (path == containers) return EACCES;
                try {
                    out = statPath(path);
                    return 0;
                } catch (const PosixError& error) {
                    return error.code();
                }
            };
            return AppInventoryScanner::scan(roots, library, stop, environment);
        },
        std::make_shared<ScriptedFolderPanel>()});
    LeftoversWorkspaceView view(*state, *cleanup);
    view.resize(1100, 780);
    view.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state->hasLoaded() && !state->isLoading(); }, 10000));
    ASSERT_FALSE(state->result().isComplete);
    ASSERT_FALSE(state->result().warnings.empty());

    ASSERT_NE(view.emptyState(), nullptr);
    EXPECT_EQ(view.emptyState()->title(), "More context is needed.");
    EXPECT_EQ(view.notice()->notesTitle(),
              "Scan notes · " + QString::number(static_cast<qsizetype>(state->result().warnings.size())));
    view.notice()->notesToggle()->click();
    EXPECT_TRUE(view.notice()->notesExpanded());
    EXPECT_EQ(view.readyText(), "0 ready to add");
    capture(view, "leftovers-incomplete");
}
