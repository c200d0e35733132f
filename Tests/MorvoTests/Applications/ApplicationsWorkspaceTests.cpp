// The Applications screen against real InventoryState and CleanupState objects; the inventory scan
// returns results built in code.

#include "Morvo/Applications/ApplicationsWorkspaceView.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "Support/InventoryScreenFixture.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

constexpr const char* home = inventoryHome;

AppRelatedFile related(const std::string& identifier, AppRelatedKind kind, const std::string& folder,
                       std::string caution = "") {
    return AppRelatedFile(Url::file(std::string(home) + "/Library/" + folder + "/" + identifier, true), kind,
                          std::string(title(kind)), "Kept by " + identifier + ".", std::move(caution), identifier);
}

InstalledApp app(std::string name, std::string identifier, std::string bundlePath, std::vector<AppRelatedFile> files = {}) {
    return InstalledApp{std::move(name), std::move(identifier), Url::file(bundlePath, true), std::move(files)};
}

// Editor with three related items, Viewer with none, two copies of Notes, and an identifier-less
// Tool; in name order.
AppInventoryResult sampleResult() {
    AppInventoryResult result;
    result.apps = {
        app("Editor", "com.example.editor", "/Applications/Editor.app",
            {related("com.example.editor", AppRelatedKind::caches, "Caches"),
             related("com.example.editor", AppRelatedKind::containers, "Containers", "May hold documents."),
             related("com.example.editor", AppRelatedKind::savedState, "Saved Application State")}),
        app("Notes", "com.example.notes", "/Applications/Notes.app",
            {related("com.example.notes", AppRelatedKind::caches, "Caches")}),
        app("Notes", "com.example.notes", "/Users/ann/Applications/Notes.app"),
        app("Tool", "", "/Applications/Tool.app"),
        app("Viewer", "com.example.viewer", "/Applications/Viewer.app"),
    };
    return result;
}

struct Screen : InventoryScreen {
    Screen() : InventoryScreen(sampleResult()) {}
    void select(const std::string& bundlePath) { state.setSelectedAppID(bundlePath); }
};

std::vector<std::string> rowIDs(const ApplicationsWorkspaceView& view) {
    std::vector<std::string> out;
    for (auto* row : view.rows()) out.push_back(row->appID());
    return out;
}

std::vector<std::string> paths(const std::vector<CleanupCandidate>& candidates) {
    std::vector<std::string> out;
    for (const auto& c : candidates) out.push_back(c.url.path);
    return out;
}

InventoryRelatedRow* relatedRow(QWidget* view, const std::string& path) {
    for (auto* row : view->findChildren<InventoryRelatedRow*>())
        if (row->file().url.path == path) return row;
    return nullptr;
}

InventoryInlineNote* noteWithText(QWidget* view, const QString& text) {
    for (auto* note : view->findChildren<InventoryInlineNote*>())
        if (note->text() == text && note->isVisibleTo(view)) return note;
    return nullptr;
}

void typeQuery(ApplicationsWorkspaceView& view, const QString& text) {
    view.searchField()->clear();
    QTest::keyClicks(view.searchField(), text);
}

} // namespace

// ---------------------------------------------------------------------------------------------

TEST(ApplicationCandidates, FollowTheBundleTheTicksTheOtherCopyAndTheQueue) {
    const InstalledApp editor = sampleResult().apps[0];
    const std::string cachesPath = editor.relatedFiles[0].url.path;
    const std::string containerPath = editor.relatedFiles[1].url.path;
    const std::string statePath = editor.relatedFiles[2].url.path;
    // Ticks are a set; candidates come in the order of the application's related files.
    const InventoryIDSet ticked{statePath, cachesPath};

    struct Case {
        const char* name;
        ApplicationCandidateInputs inputs;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"bundle only", {false, true, false, {}, {}}, {editor.bundleURL.path}},
        {"bundle then ticks in file order", {false, true, false, ticked, {}},
         {editor.bundleURL.path, cachesPath, statePath}},
        {"ticks without the bundle", {false, false, false, ticked, {}}, {cachesPath, statePath}},
        {"nothing chosen", {false, false, false, {}, {}}, {}},
        {"running", {true, true, false, ticked, {}}, {}},
        {"other copy keeps only the bundle", {false, true, true, ticked, {}}, {editor.bundleURL.path}},
        {"other copy without the bundle", {false, false, true, ticked, {}}, {}},
        {"queued paths dropped", {false, true, false, ticked, [&](const Url& u) { return u.path != statePath; }},
         {statePath}},
        {"unknown ticks ignored", {false, false, false, {containerPath + "/inner", "/elsewhere"}, {}}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(paths(applicationCandidates(editor, c.inputs)), c.expected) << c.name;
}

TEST(ApplicationCandidates, CarryTheRecordsFieldsForTheQueue) {
    const InstalledApp editor = sampleResult().apps[0];
    const auto list = applicationCandidates(editor, {false, true, false, {editor.relatedFiles[0].url.path,
                                                                          editor.relatedFiles[1].url.path}, {}});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (CleanupCandidate{editor.bundleURL, "Editor", "Application bundle explicitly selected for review.",
                                         "Application", "app.fill", std::nullopt, "com.example.editor"}));
    // An empty caution still leaves the space after the reason.
    EXPECT_EQ(list[1], (CleanupCandidate{editor.relatedFiles[0].url, "Caches", "Kept by com.example.editor. ", "Caches",
                                         "folder", std::nullopt, "com.example.editor"}));
    EXPECT_EQ(list[2].reason, "Kept by com.example.editor. May hold documents.");
    EXPECT_EQ(list[2].kind, "App container");

    // No identifier: the bundle has no owner.
    const InstalledApp tool = sampleResult().apps[3];
    EXPECT_EQ(applicationCandidates(tool, {false, true, false, {}, {}}).at(0).ownerBundleID, std::nullopt);
}

TEST(ApplicationsEmptyText, DependsOnTheScanAndTheQueryAsTyped) {
    struct Case {
        bool hasLoaded, isLoading;
        std::string query;
        const char* title;
        const char* message;
    };
    const std::vector<Case> cases = {
        {true, false, "zz", "Find a familiar face.", "No applications match this search."},
        {true, false, " ", "Find a familiar face.", "No applications match this search."},
        {true, false, "", "Find a familiar face.", "No removable applications were found in the checked folders."},
        {true, true, "", "Find a familiar face.", "No removable applications were found in the checked folders."},
        {false, true, "zz", "Scan applications", "Checking the applications installed on this Mac…"},
        {false, false, "", "Scan applications", "Scan your applications to see what’s installed on this Mac."},
    };
    for (const auto& c : cases) {
        const auto text = applicationsEmptyText(c.hasLoaded, c.isLoading, c.query);
        EXPECT_EQ(text.title, QString::fromUtf8(c.title)) << c.query;
        EXPECT_EQ(text.message, QString::fromUtf8(c.message)) << c.query;
    }
}

// ---------------------------------------------------------------------------------------------

TEST(ApplicationsWorkspace, FirstShowStartsTheLoadOnceAndTheDetailFollowsIt) {
    Screen w;
    w.hold();
    auto view = std::make_unique<ApplicationsWorkspaceView>(w.state, w.cleanup);
    EXPECT_EQ(view->objectName(), "applications-workspace");
    EXPECT_FALSE(w.state.hasStartedInitialLoad());
    view->show();
    ASSERT_TRUE(w.state.isLoading());
    ASSERT_NE(view->emptyState(), nullptr);
    EXPECT_EQ(view->emptyState()->symbol(), "app.dashed");
    EXPECT_EQ(view->emptyState()->title(), "Scan applications");
    EXPECT_EQ(view->emptyState()->message(), "Checking the applications installed on this Mac…");

    // Cancelled before it completes.
    w.state.cancel();
    EXPECT_EQ(view->emptyState()->message(), "Scan your applications to see what’s installed on this Mac.");

    // A later view does not scan again.
    w.release();
    view.reset();
    auto again = std::make_unique<ApplicationsWorkspaceView>(w.state, w.cleanup);
    again->show();
    EXPECT_FALSE(w.state.isLoading());

    ASSERT_TRUE(w.load());
    EXPECT_EQ(again->emptyState(), nullptr);
    ASSERT_NE(again->selectedApp(), nullptr);
    EXPECT_EQ(again->selectedApp()->name, "Editor");
    EXPECT_EQ(again->listCountText(), "5");
}

TEST(ApplicationsWorkspace, RowsNameTheirAppAndSelectItOnClick) {
    Screen w;
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    ASSERT_EQ(rowIDs(view), (std::vector<std::string>{"/Applications/Editor.app", "/Applications/Notes.app",
                                                      "/Users/ann/Applications/Notes.app", "/Applications/Tool.app",
                                                      "/Applications/Viewer.app"}));
    auto* viewer = view.findChild<ApplicationRow*>("application-/Applications/Viewer.app");
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->toolTip(), "/Applications/Viewer.app");
    EXPECT_EQ(viewer->accessibleName(), "Viewer, /Applications/Viewer.app");
    EXPECT_EQ(viewer->subtitleText(), "com.example.viewer");
    EXPECT_FALSE(viewer->isSelectedRow());
    EXPECT_TRUE(view.rows()[0]->isSelectedRow());

    viewer->click();
    EXPECT_EQ(w.state.selectedAppID(), "/Applications/Viewer.app");
    EXPECT_TRUE(viewer->isSelectedRow());
    EXPECT_FALSE(view.rows()[0]->isSelectedRow());
    ASSERT_NE(view.selectedApp(), nullptr);
    EXPECT_EQ(view.selectedApp()->name, "Viewer");
}

TEST(ApplicationsWorkspace, SearchKeepsAListedSelectionElsePicksTheFirstMatch) {
    Screen w;
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    EXPECT_TRUE(view.clearSearchButton()->isHidden());
    w.select("/Applications/Viewer.app");
    w.state.toggleRelated("/x");

    // Still matching: kept, with its choices.
    typeQuery(view, "view");
    EXPECT_EQ(w.state.query(), "view");
    EXPECT_EQ(rowIDs(view), std::vector<std::string>{"/Applications/Viewer.app"});
    EXPECT_EQ(w.state.selectedAppID(), "/Applications/Viewer.app");
    EXPECT_EQ(w.state.selectedRelatedIDs(), InventoryIDSet{"/x"});
    EXPECT_FALSE(view.clearSearchButton()->isHidden());

    // No longer matching: the first match (here by bundle identifier).
    typeQuery(view, "example.n");
    EXPECT_EQ(w.state.selectedAppID(), "/Applications/Notes.app");
    EXPECT_EQ(view.listCountText(), "2");

    // Nothing matches: no selection and the search's empty state.
    typeQuery(view, "zzz");
    EXPECT_TRUE(view.rows().empty());
    EXPECT_EQ(w.state.selectedAppID(), std::nullopt);
    ASSERT_NE(view.emptyState(), nullptr);
    EXPECT_EQ(view.emptyState()->title(), "Find a familiar face.");
    EXPECT_EQ(view.emptyState()->message(), "No applications match this search.");

    // Clearing restores the list and, with no selection, picks the first application.
    view.clearSearchButton()->click();
    EXPECT_EQ(w.state.query(), "");
    EXPECT_EQ(view.searchField()->text(), "");
    EXPECT_EQ(view.rows().size(), 5u);
    EXPECT_EQ(w.state.selectedAppID(), "/Applications/Editor.app");
    EXPECT_EQ(view.emptyState(), nullptr);
}

TEST(ApplicationsWorkspace, ANewlyPickedAppStartsWithItsBundleOnlyAndTicksFollowTheState) {
    Screen w;
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    const auto& editor = w.state.result().apps[0];
    ASSERT_NE(view.includeBundleCheckBox(), nullptr);
    EXPECT_EQ(view.includeBundleCheckBox()->objectName(), "application-include-bundle");
    EXPECT_EQ(view.includeBundleCheckBox()->accessibleName(), "Include Editor application bundle");
    EXPECT_TRUE(view.includeBundleCheckBox()->isSelected());
    EXPECT_EQ(view.readyText(), "1 ready to add");

    auto* container = view.findChild<QAbstractButton*>(QString::fromStdString("inventory-include-" + editor.relatedFiles[1].url.path));
    ASSERT_NE(container, nullptr);
    container->click();
    EXPECT_TRUE(w.state.selectedRelatedIDs().count(editor.relatedFiles[1].url.path));
    EXPECT_TRUE(relatedRow(&view, editor.relatedFiles[1].url.path)->isSelected());
    EXPECT_EQ(view.readyText(), "2 ready to add");

    // Unticking the bundle and the item leaves nothing to add.
    view.includeBundleCheckBox()->click();
    EXPECT_FALSE(w.state.includeSelectedApp());
    container->click();
    EXPECT_EQ(view.readyText(), "0 ready to add");
    EXPECT_FALSE(view.addButton()->isEnabled());

    // Picking another app starts over with its bundle ticked.
    view.findChild<ApplicationRow*>("application-/Applications/Viewer.app")->click();
    EXPECT_TRUE(w.state.includeSelectedApp());
    EXPECT_TRUE(view.includeBundleCheckBox()->isSelected());
    EXPECT_TRUE(w.state.selectedRelatedIDs().empty());
    EXPECT_TRUE(view.detail()->findChildren<InventoryRelatedRow*>().empty());
}

TEST(ApplicationsWorkspace, ARunningAppCanQueueNothing) {
    Screen w;
    w.running->set({FakeRunningApplications::app("com.example.editor.helper")});
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    w.state.toggleRelated(w.state.result().apps[0].relatedFiles[0].url.path);

    auto* row = view.findChild<ApplicationRow*>("application-/Applications/Editor.app");
    EXPECT_EQ(row->subtitleText(), "Running");
    EXPECT_EQ(row->accessibleName(), "Editor, /Applications/Editor.app, running");
    EXPECT_NE(noteWithText(&view, "Quit Editor before adding this application or its data to the cleanup queue."), nullptr);
    EXPECT_FALSE(view.includeBundleCheckBox()->isEnabled());
    for (auto* related : view.findChildren<InventoryRelatedRow*>()) EXPECT_FALSE(related->checkBox()->isEnabled());
    EXPECT_EQ(view.readyText(), "0 ready to add");
    EXPECT_FALSE(view.addButton()->isEnabled());

    // Quitting it frees the rows again.
    w.running->set({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.includeBundleCheckBox()->isEnabled(); }, 2000));
    EXPECT_EQ(row->subtitleText(), "com.example.editor");
    EXPECT_EQ(noteWithText(&view, "Quit Editor before adding this application or its data to the cleanup queue."), nullptr);
    EXPECT_EQ(view.readyText(), "2 ready to add");
}

TEST(ApplicationsWorkspace, RelatedSectionShowsTheOtherCopyNoteOrNoMatches) {
    Screen w;
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    const QString otherCopy = "Another copy of this application is installed. Related data stays out of this selection "
                              "because both copies may use it.";

    w.select("/Applications/Notes.app");
    EXPECT_NE(noteWithText(&view, otherCopy), nullptr);
    EXPECT_EQ(relatedRow(view.detail(), w.state.result().apps[1].relatedFiles[0].url.path), nullptr);
    // Even a tick made elsewhere does not count: only the bundle.
    w.state.toggleRelated(w.state.result().apps[1].relatedFiles[0].url.path);
    EXPECT_EQ(view.readyText(), "1 ready to add");

    // No identifier: never another copy, and no related data.
    w.select("/Applications/Tool.app");
    EXPECT_EQ(noteWithText(&view, otherCopy), nullptr);
    bool noMatches = false;
    for (auto* label : view.detail()->findChildren<QLabel*>())
        noMatches |= label->text() == "No exact matches found in the checked Library locations.";
    EXPECT_TRUE(noMatches);
}

TEST(ApplicationsWorkspace, AddingQueuesTheChoiceAndReportsIt) {
    Screen w;
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    const auto editor = w.state.result().apps[0];

    // The bundle alone: one item.
    view.addButton()->click();
    ASSERT_EQ(w.cleanup.queue().size(), 1u);
    EXPECT_EQ(w.cleanup.queue()[0].url.path, "/Applications/Editor.app");
    EXPECT_EQ(w.state.statusMessage(), "Added 1 item to your cleanup queue. Review the queue before anything moves.");
    EXPECT_EQ(view.notice()->shown(), InventoryScanNotice::Shown::status);
    EXPECT_EQ(view.readyText(), "0 ready to add");
    EXPECT_FALSE(view.addButton()->isEnabled());
    // The selection stays as it was.
    EXPECT_TRUE(w.state.includeSelectedApp());

    // With the bundle queued only the ticked items are added.
    w.state.toggleRelated(editor.relatedFiles[0].url.path);
    w.state.toggleRelated(editor.relatedFiles[2].url.path);
    EXPECT_EQ(view.readyText(), "2 ready to add");
    view.addButton()->click();
    EXPECT_EQ(w.cleanup.queue().size(), 3u);
    EXPECT_EQ(w.state.statusMessage(), "Added 2 items to your cleanup queue. Review the queue before anything moves.");
    EXPECT_EQ(relatedRow(&view, editor.relatedFiles[0].url.path)->trailingText(), "Queued");
    EXPECT_EQ(relatedRow(&view, editor.relatedFiles[1].url.path)->trailingText(), "App container");

    // Nothing left to add.
    view.addSelectedToQueue();
    EXPECT_EQ(w.state.statusMessage(),
              "No new items were added. Check the selection and close the application if it’s running.");
}

TEST(ApplicationsWorkspace, AnAppStartedSinceTheLastLookBlocksTheAdd) {
    Screen w;
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    ASSERT_TRUE(view.addButton()->isEnabled());
    // Launched, but not yet noticed by the state (the change is delivered later).
    const bool blocked = w.running->blockSignals(true);
    w.running->set({FakeRunningApplications::app(std::nullopt, "/Applications/Editor.app")});
    w.running->blockSignals(blocked);
    view.addButton()->click();
    EXPECT_TRUE(w.cleanup.queue().empty());
    EXPECT_EQ(w.state.statusMessage(),
              "No new items were added. Check the selection and close the application if it’s running.");
    EXPECT_FALSE(view.addButton()->isEnabled());
}

TEST(ApplicationsWorkspace, ABusyCleanupDisablesEditingButNotTheSearch) {
    Screen w;
    ASSERT_TRUE(w.load());
    ApplicationsWorkspaceView view(w.state, w.cleanup);
    w.cleanup.add(CleanupCandidate{Url::file("/Users/ann/old.log"), "old.log", "r", "File", "doc", 1, std::nullopt});
    w.service->hold();
    w.cleanup.prepareReview();
    ASSERT_TRUE(w.cleanup.isPreparing());
    EXPECT_TRUE(view.isBusy());
    EXPECT_FALSE(view.includeBundleCheckBox()->isEnabled());
    EXPECT_FALSE(view.addButton()->isEnabled());
    for (auto* related : view.findChildren<InventoryRelatedRow*>()) EXPECT_FALSE(related->checkBox()->isEnabled());
    EXPECT_TRUE(view.searchField()->isEnabled());
    // Refused while busy, without claiming anything was added.
    const auto before = w.state.statusMessage();
    view.addSelectedToQueue();
    EXPECT_EQ(w.cleanup.queue().size(), 1u);
    EXPECT_EQ(w.state.statusMessage(), before);

    w.service->open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.cleanup.isPreparing(); }, 5000));
    EXPECT_TRUE(view.addButton()->isEnabled());
}
