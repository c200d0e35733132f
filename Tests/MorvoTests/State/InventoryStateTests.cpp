#include "Morvo/State/InventoryState.h"
#include "Support/SubstateFakes.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <mutex>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

InstalledApp app(std::string name, std::string identifier, std::string bundlePath) {
    return InstalledApp{std::move(name), std::move(identifier), Url::file(bundlePath, true), {}};
}

AppInventoryResult resultOf(std::vector<InstalledApp> apps, bool complete = true) {
    AppInventoryResult result;
    result.apps = std::move(apps);
    result.isComplete = complete;
    if (!complete) result.warnings = {"Could not inspect something"};
    return result;
}

std::vector<std::string> ids(const std::vector<InstalledApp>& apps) {
    std::vector<std::string> out;
    for (const auto& a : apps) out.push_back(a.id());
    return out;
}

// An inventory state over a fake scan that runs what the test sets.
struct FakeInventory {
    using Next = std::function<AppInventoryResult(std::stop_token)>;
    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<ScriptedFolderPanel> panel = std::make_shared<ScriptedFolderPanel>();
    std::mutex mutex;
    Next nextScan = [](std::stop_token) { return AppInventoryResult{}; };
    std::vector<Url> lastRoots;
    InventoryState state{InventoryStateServices{
        running, "/Users/ann",
        std::vector<Url>{Url::file("/Applications", true), Url::file("/Users/ann/Applications", true)},
        Url::file("/Users/ann/Library", true),
        [this](const std::vector<Url>& roots, const Url&, std::stop_token stop) {
            Next run;
            {
                std::lock_guard lock(mutex);
                run = nextScan;
                lastRoots = roots;
            }
            return run(stop);
        },
        panel}};

    ~FakeInventory() { (void)waitForBackgroundTasks(); }

    void setNext(Next next) {
        std::lock_guard lock(mutex);
        nextScan = std::move(next);
    }
    void loadWith(AppInventoryResult result) {
        setNext([result](std::stop_token) { return result; });
        state.load();
        ASSERT_TRUE(waitUntil([&] { return !state.isLoading(); }, 5000));
    }
};

} // namespace

// The real inventory scanner over a fixture home laid out like a macOS home.
TEST(InventoryState, LoadsApplicationsAndTheirData) {
    TempFolder home;
    home.bundle("Applications/Editor.app", "com.example.editor", "Editor");
    home.bundle("Applications/Viewer.app", "com.example.viewer", "Viewer");
    home.file("Library/Caches/com.example.editor/blob", 10);
    home.file("Library/Preferences/com.example.gone.plist", 5);
    auto running = std::make_shared<FakeRunningApplications>();
    InventoryState state(InventoryStateServices{running, home.root(),
                                                std::vector<Url>{Url::file(home.path("Applications"), true)},
                                                std::nullopt, {}, std::make_shared<ScriptedFolderPanel>()});
    EXPECT_FALSE(state.hasStartedInitialLoad());
    EXPECT_EQ(state.selectedAppID(), std::nullopt);
    state.load();
    EXPECT_TRUE(state.hasStartedInitialLoad());
    EXPECT_TRUE(state.isLoading());
    ASSERT_TRUE(waitUntil([&] { return !state.isLoading(); }, 10000));
    ASSERT_TRUE(state.hasLoaded());
    ASSERT_EQ(state.result().apps.size(), 2u) << (state.result().warnings.empty() ? "" : state.result().warnings[0]);
    EXPECT_EQ(state.statusMessage(), "Checked 2 applications. Nothing has been added to your cleanup queue.");
    EXPECT_EQ(state.selectedAppID(), home.path("Applications/Editor.app"));
    EXPECT_EQ(state.result().apps[0].relatedFiles.size(), 1u);
    ASSERT_EQ(state.result().leftovers.size(), 1u);
    EXPECT_EQ(state.result().leftovers[0].bundleIdentifier, "com.example.gone");
    EXPECT_EQ(state.locationsDescription(), "~/Applications");
}

TEST(InventoryState, ReloadKeepsAPresentSelectionAndResetsTheRest) {
    FakeInventory f;
    f.loadWith(resultOf({app("Alpha", "com.a", "/Applications/Alpha.app"), app("Beta", "com.b", "/Applications/Beta.app")}));
    EXPECT_EQ(f.state.selectedAppID(), "/Applications/Alpha.app");

    f.state.setSelectedAppID("/Applications/Beta.app");
    f.state.setIncludeSelectedApp(false);
    f.state.toggleRelated("/Users/ann/Library/Caches/com.b");
    f.state.toggleLeftover("/Users/ann/Library/Caches/com.gone");
    f.loadWith(resultOf({app("Alpha", "com.a", "/Applications/Alpha.app"), app("Beta", "com.b", "/Applications/Beta.app")}));
    EXPECT_EQ(f.state.selectedAppID(), "/Applications/Beta.app");
    EXPECT_TRUE(f.state.includeSelectedApp());
    EXPECT_TRUE(f.state.selectedRelatedIDs().empty());
    EXPECT_TRUE(f.state.selectedLeftoverIDs().empty());

    // The selected application is gone: the first filtered one is selected.
    f.loadWith(resultOf({app("Alpha", "com.a", "/Applications/Alpha.app")}));
    EXPECT_EQ(f.state.selectedAppID(), "/Applications/Alpha.app");

    // Nothing matches the query: no selection.
    f.state.setQuery("zzz");
    f.loadWith(resultOf({app("Alpha", "com.a", "/Applications/Alpha.app")}));
    EXPECT_EQ(f.state.selectedAppID(), std::nullopt);
}

TEST(InventoryState, SelectingAnotherAppResetsItsChoices) {
    FakeInventory f;
    f.state.setSelectedAppID("/A.app");
    f.state.toggleRelated("/x");
    f.state.setIncludeSelectedApp(false);
    QSignalSpy related(&f.state, &InventoryState::selectedRelatedIDsChanged);
    f.state.setSelectedAppID("/A.app");  // same value: nothing else changes
    EXPECT_EQ(f.state.selectedRelatedIDs(), (InventoryIDSet{"/x"}));
    EXPECT_FALSE(f.state.includeSelectedApp());
    EXPECT_EQ(related.count(), 0);
    f.state.setSelectedAppID("/B.app");
    EXPECT_TRUE(f.state.selectedRelatedIDs().empty());
    EXPECT_TRUE(f.state.includeSelectedApp());

    f.state.toggleLeftover("/l");
    f.state.toggleLeftover("/l");
    EXPECT_TRUE(f.state.selectedLeftoverIDs().empty());
}

TEST(InventoryState, IncompleteFailedAndCancelledLoads) {
    Gate gate;  // outlives the fixture, which waits for the scan that reads it
    FakeInventory f;
    f.loadWith(resultOf({app("Alpha", "com.a", "/Applications/Alpha.app")}, false));
    EXPECT_EQ(f.state.statusMessage(),
              "Some locations couldn\u2019t be checked. See the scan notes before reviewing these results.");

    f.setNext([](std::stop_token) -> AppInventoryResult { throw PosixError(EACCES, "/Applications"); });
    f.state.load();
    EXPECT_EQ(f.state.statusMessage(), std::nullopt);
    ASSERT_TRUE(waitUntil([&] { return !f.state.isLoading(); }));
    EXPECT_EQ(f.state.errorMessage(), "Permission denied");
    EXPECT_EQ(f.state.result().apps.size(), 1u);
    EXPECT_EQ(f.state.selectedAppID(), "/Applications/Alpha.app");

    f.setNext([&](std::stop_token stop) {
        gate.wait(stop);
        return resultOf({});
    });
    f.state.load();
    EXPECT_EQ(f.state.errorMessage(), std::nullopt);
    f.state.cancel();
    EXPECT_FALSE(f.state.isLoading());
    EXPECT_EQ(f.state.statusMessage(), "Scan cancelled. Previous results are still available.");
    QTest::qWait(50);
    EXPECT_EQ(f.state.result().apps.size(), 1u);  // the cancelled scan's result is dropped
}

TEST(InventoryState, CancelBeforeAnyLoadCompleted) {
    Gate gate;  // outlives the fixture, which waits for the scan that reads it
    FakeInventory f;
    f.setNext([&](std::stop_token stop) {
        gate.wait(stop);
        throw CancellationError();
        return AppInventoryResult{};
    });
    f.state.load();
    f.state.cancel();
    EXPECT_EQ(f.state.statusMessage(), "Scan cancelled. Scan applications when you\u2019re ready.");
    EXPECT_FALSE(f.state.hasLoaded());
}

TEST(InventoryState, RunningApplicationsByPathAndIdentifier) {
    FakeInventory f;
    f.running->set({FakeRunningApplications::app("com.example.tool.helper"),
                    FakeRunningApplications::app(std::nullopt, "/Applications/./Plain.app"),
                    FakeRunningApplications::app("org.sampler")});
    ASSERT_TRUE(waitUntil([&] { return f.state.runningBundleIdentifiers().size() == 2; }));
    EXPECT_EQ(f.state.runningBundlePaths(), (InventoryIDSet{"/Applications/Plain.app"}));

    EXPECT_TRUE(f.state.isRunning(app("Plain", "", "/Applications/Plain.app")));
    EXPECT_TRUE(f.state.isRunning(app("Tool", "com.example.tool", "/Applications/Tool.app")));
    EXPECT_FALSE(f.state.isRunning(app("Sample", "org.sample", "/Applications/Sample.app")));
    EXPECT_FALSE(f.state.isRunning(app("Empty", "", "/Applications/Empty.app")));
    EXPECT_TRUE(f.state.isRunning(std::optional<std::string>("com.example.tool")));
    EXPECT_FALSE(f.state.isRunning(std::optional<std::string>()));

    f.running->set({});
    ASSERT_TRUE(waitUntil([&] { return f.state.runningBundleIdentifiers().empty(); }));
}

TEST(InventoryState, OtherCopiesAndFiltering) {
    FakeInventory f;
    f.loadWith(resultOf({
        app("Editor", "com.example.editor", "/Applications/Editor.app"),
        app("Editor", "com.example.editor", "/Users/ann/Applications/Editor.app"),
        app("Lonely", "com.example.lonely", "/Applications/Lonely.app"),
        app("NoID", "", "/Applications/NoID.app"),
        app("NoID", "", "/Applications/NoID 2.app"),
    }));
    EXPECT_TRUE(f.state.hasOtherCopy(f.state.result().apps[0]));
    EXPECT_FALSE(f.state.hasOtherCopy(f.state.result().apps[2]));
    EXPECT_FALSE(f.state.hasOtherCopy(f.state.result().apps[3]));

    f.state.setQuery("   ");
    EXPECT_EQ(f.state.filteredApps().size(), 5u);
    f.state.setQuery(" LONELY\n");
    EXPECT_EQ(ids(f.state.filteredApps()), (std::vector<std::string>{"/Applications/Lonely.app"}));
    f.state.setQuery("example.ed");  // by identifier
    EXPECT_EQ(f.state.filteredApps().size(), 2u);
    f.state.setQuery("ann/app");  // by bundle path
    EXPECT_EQ(ids(f.state.filteredApps()), (std::vector<std::string>{"/Users/ann/Applications/Editor.app"}));
}

TEST(InventoryState, ChoosingAnApplicationsFolder) {
    FakeInventory f;
    EXPECT_EQ(f.state.locationsDescription(), "/Applications, ~/Applications");
    f.state.chooseApplicationsFolder();
    ASSERT_TRUE(f.panel->lastOptions);
    EXPECT_EQ(f.panel->lastOptions->title, "Choose an applications folder");
    EXPECT_EQ(f.panel->lastOptions->message, "Check this folder for applications alongside the standard app locations.");
    EXPECT_EQ(f.panel->lastOptions->prompt, "Scan folder");
    EXPECT_EQ(f.panel->lastOptions->directory.path, "/Applications");
    EXPECT_FALSE(f.panel->lastOptions->canChooseFiles);
    EXPECT_FALSE(f.panel->lastOptions->allowsMultipleSelection);

    // Cancelled: nothing happens.
    f.panel->pending(std::nullopt);
    QTest::qWait(20);
    EXPECT_FALSE(f.state.hasStartedInitialLoad());

    // A folder that is already a root (after standardising) adds nothing but still loads.
    f.state.chooseApplicationsFolder();
    f.panel->pending(Url::file("/Users/ann/Applications/../Applications", true));
    ASSERT_TRUE(waitUntil([&] { return f.state.hasStartedInitialLoad(); }));
    ASSERT_TRUE(waitUntil([&] { return !f.state.isLoading(); }));
    EXPECT_EQ(f.state.applicationRoots().size(), 2u);

    f.state.chooseApplicationsFolder();
    f.panel->pending(Url::file("/Volumes/Apps", true));
    ASSERT_TRUE(waitUntil([&] { return f.state.applicationRoots().size() == std::size_t(3); }));
    ASSERT_TRUE(waitUntil([&] { return !f.state.isLoading(); }));
    EXPECT_EQ(f.lastRoots.size(), 3u);
    EXPECT_EQ(f.state.locationsDescription(), "/Applications, ~/Applications, /Volumes/Apps");
}
