// The Leftovers screen against real InventoryState and CleanupState objects; the inventory scan
// returns results built in code.

#include "Morvo/State/CleanupState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "Morvo/Applications/LeftoversWorkspaceView.h"
#include "Support/InventoryScreenFixture.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::testing::substates;

namespace {

constexpr const char* home = inventoryHome;

AppRelatedFile item(const std::string& identifier, AppRelatedKind kind, const std::string& folder, std::string caution = "") {
    return AppRelatedFile(Url::file(std::string(home) + "/Library/" + folder + "/" + identifier, true), kind,
                          std::string(title(kind)), "Named after " + identifier + ".", std::move(caution), identifier);
}

// Two groups: "com.gone.alpha" (two items, a caution) and "com.gone.beta" (one item, no caution).
AppInventoryResult leftoversResult() {
    AppInventoryResult result;
    result.leftovers = {
        LeftoverGroup{"com.gone.alpha", "Alpha",
                      {item("com.gone.alpha", AppRelatedKind::caches, "Caches"),
                       item("com.gone.alpha", AppRelatedKind::preferences, "Preferences", "Holds settings.")},
                      "Check before removing."},
        LeftoverGroup{"com.gone.beta", "Beta", {item("com.gone.beta", AppRelatedKind::logs, "Logs")}, ""},
    };
    return result;
}

struct Screen : InventoryScreen {
    Screen() : InventoryScreen(leftoversResult()) {}
    std::string path(std::size_t group, std::size_t file) const {
        return state.result().leftovers.at(group).files.at(file).url.path;
    }
};

std::vector<std::string> paths(const std::vector<CleanupCandidate>& candidates) {
    std::vector<std::string> out;
    for (const auto& c : candidates) out.push_back(c.url.path);
    return out;
}

InventoryRelatedRow* rowFor(const LeftoversWorkspaceView& view, const std::string& path) {
    for (auto* row : view.rows())
        if (row->file().url.path == path) return row;
    return nullptr;
}

bool showsLabel(QWidget* root, const QString& text) {
    for (auto* label : root->findChildren<QLabel*>())
        if (label->text() == text && label->isVisibleTo(root)) return true;
    return false;
}

bool showsNote(QWidget* root, const QString& text) {
    for (auto* note : root->findChildren<InventoryInlineNote*>())
        if (note->text() == text && note->isVisibleTo(root)) return true;
    return false;
}

const QString runningNote =
    "An application using this identifier is running. Quit it before adding this data to the queue.";

} // namespace

TEST(LeftoverCandidates, TickedItemsInGroupOrderThatAreNeitherRunningNorQueued) {
    const AppInventoryResult result = leftoversResult();
    const std::string alphaCaches = result.leftovers[0].files[0].url.path;
    const std::string alphaPrefs = result.leftovers[0].files[1].url.path;
    const std::string betaLogs = result.leftovers[1].files[0].url.path;
    const InventoryIDSet all{betaLogs, alphaPrefs, alphaCaches};
    AppInventoryResult incomplete = result;
    incomplete.isComplete = false;

    auto none = [](const auto&) { return false; };
    struct Case {
        const char* name;
        const AppInventoryResult& result;
        InventoryIDSet selected;
        std::function<bool(const std::string&)> running;
        std::function<bool(const Url&)> queued;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"nothing ticked", result, {}, none, none, {}},
        {"group after group", result, all, none, none, {alphaCaches, alphaPrefs, betaLogs}},
        {"incomplete scan", incomplete, all, none, none, {}},
        {"owner running", result, all, [](const std::string& o) { return o == "com.gone.alpha"; }, none, {betaLogs}},
        {"already queued", result, all, none, [&](const Url& u) { return u.path == alphaPrefs; }, {alphaCaches, betaLogs}},
        {"unknown ticks", result, {"/nowhere"}, none, none, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(paths(leftoverCandidates(c.result, c.selected, c.running, c.queued)), c.expected) << c.name;

    const auto list = leftoverCandidates(result, {alphaCaches, alphaPrefs}, none, none);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], (CleanupCandidate{Url::file(alphaCaches, true), "Caches", "Named after com.gone.alpha. ", "Caches",
                                         "folder", std::nullopt, "com.gone.alpha"}));
    EXPECT_EQ(list[1].reason, "Named after com.gone.alpha. Holds settings.");
    EXPECT_EQ(list[1].kind, "Preferences");
}

TEST(LeftoversWorkspace, EmptyStatesFollowTheScan) {
    Screen s;
    s.hold();
    auto view = std::make_unique<LeftoversWorkspaceView>(s.state, s.cleanup);
    EXPECT_EQ(view->objectName(), "leftovers-workspace");
    ASSERT_NE(view->emptyState(), nullptr);
    EXPECT_EQ(view->emptyState()->symbol(), "sparkle.magnifyingglass");
    EXPECT_EQ(view->emptyState()->title(), "Scan applications");
    EXPECT_EQ(view->emptyState()->message(), "Scan installed applications before reviewing possible leftover data.");
    EXPECT_TRUE(showsNote(view.get(), "Possible leftovers are suggestions. An app may live outside the folders checked, "
                                      "and these files may contain settings or personal data. Nothing is selected "
                                      "automatically."));
    EXPECT_EQ(view->readyText(), "0 ready to add");
    EXPECT_FALSE(view->addButton()->isEnabled());

    // Shown for the first time: the first scan starts.
    view->show();
    ASSERT_TRUE(s.state.isLoading());
    EXPECT_EQ(view->emptyState()->message(), "Checking installed applications and their Library locations on this Mac…");
    s.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.state.isLoading(); }, 5000));
    EXPECT_EQ(view->emptyState(), nullptr);
    EXPECT_EQ(view->groupCards().size(), 2u);

    // A complete scan without leftovers.
    ASSERT_TRUE(s.load(AppInventoryResult{}));
    ASSERT_NE(view->emptyState(), nullptr);
    EXPECT_EQ(view->emptyState()->title(), "A little less to wonder about.");
    EXPECT_EQ(view->emptyState()->message(), "No possible leftovers were found in the checked locations.");

    // An incomplete one: no suggestions and nothing to add, whatever is ticked.
    AppInventoryResult incomplete;
    incomplete.isComplete = false;
    incomplete.warnings = {"Couldn’t read ~/Library/Containers"};
    ASSERT_TRUE(s.load(incomplete));
    EXPECT_EQ(view->emptyState()->title(), "More context is needed.");
    EXPECT_EQ(view->emptyState()->message(),
              "Leftover suggestions are hidden because some app or Library locations couldn’t be checked. Review the "
              "scan notes and scan again.");
    s.state.toggleLeftover("/Users/ann/Library/Caches/com.gone.alpha");
    EXPECT_EQ(view->readyText(), "0 ready to add");
    EXPECT_FALSE(view->addButton()->isEnabled());
}

TEST(LeftoversWorkspace, CardsShowTheirItemsCautionAndRunningOwner) {
    Screen s;
    ASSERT_TRUE(s.load());
    LeftoversWorkspaceView view(s.state, s.cleanup);
    ASSERT_EQ(view.groupCards().size(), 2u);
    QWidget* alpha = view.groupCards()[0];
    QWidget* beta = view.groupCards()[1];
    EXPECT_TRUE(showsLabel(alpha, "POSSIBLE LEFTOVERS"));
    EXPECT_TRUE(showsLabel(alpha, "Check before removing."));
    EXPECT_EQ(alpha->findChildren<InventoryRelatedRow*>().size(), 2u);
    EXPECT_EQ(beta->findChildren<InventoryRelatedRow*>().size(), 1u);
    // Nothing is ticked by the screen.
    for (auto* row : view.rows()) EXPECT_FALSE(row->isSelected());
    EXPECT_FALSE(showsNote(alpha, runningNote));
    EXPECT_FALSE(showsNote(beta, runningNote));

    // A running application with a child identifier of alpha blocks alpha's items only.
    s.state.toggleLeftover(s.path(0, 0));
    s.running->set({FakeRunningApplications::app("com.gone.alpha.agent")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return showsNote(alpha, runningNote); }, 2000));
    EXPECT_FALSE(showsNote(beta, runningNote));
    EXPECT_FALSE(rowFor(view, s.path(0, 0))->checkBox()->isEnabled());
    EXPECT_TRUE(rowFor(view, s.path(1, 0))->checkBox()->isEnabled());
    // Ticked before it started, it still does not count.
    EXPECT_TRUE(rowFor(view, s.path(0, 0))->isSelected());
    EXPECT_EQ(view.readyText(), "0 ready to add");
    EXPECT_FALSE(view.addButton()->isEnabled());
}

TEST(LeftoversWorkspace, AddingQueuesTheTickedItemsAndReportsIt) {
    Screen s;
    ASSERT_TRUE(s.load());
    LeftoversWorkspaceView view(s.state, s.cleanup);

    rowFor(view, s.path(1, 0))->checkBox()->click();
    EXPECT_TRUE(s.state.selectedLeftoverIDs().count(s.path(1, 0)));
    EXPECT_EQ(view.readyText(), "1 ready to add");
    ASSERT_TRUE(view.addButton()->isEnabled());
    view.addButton()->click();
    ASSERT_EQ(s.cleanup.queue().size(), 1u);
    EXPECT_EQ(s.cleanup.queue()[0].ownerBundleID, "com.gone.beta");
    EXPECT_EQ(s.state.statusMessage(), "Added 1 item to your cleanup queue. Review the queue before anything moves.");
    // The tick stays; the item now shows as queued and no longer counts.
    EXPECT_TRUE(s.state.selectedLeftoverIDs().count(s.path(1, 0)));
    EXPECT_EQ(rowFor(view, s.path(1, 0))->trailingText(), "Queued");
    EXPECT_EQ(view.readyText(), "0 ready to add");
    EXPECT_FALSE(view.addButton()->isEnabled());

    s.state.toggleLeftover(s.path(0, 0));
    s.state.toggleLeftover(s.path(0, 1));
    view.addButton()->click();
    EXPECT_EQ(s.cleanup.queue().size(), 3u);
    EXPECT_EQ(s.state.statusMessage(), "Added 2 items to your cleanup queue. Review the queue before anything moves.");

    // Tapped with nothing left to add.
    view.addSelectedToQueue();
    EXPECT_EQ(s.state.statusMessage(), "No new items were added. Review the selection and running applications.");
    EXPECT_EQ(view.notice()->shown(), InventoryScanNotice::Shown::status);
}

TEST(LeftoversWorkspace, AnOwnerStartedSinceTheLastLookBlocksTheAdd) {
    Screen s;
    ASSERT_TRUE(s.load());
    LeftoversWorkspaceView view(s.state, s.cleanup);
    s.state.toggleLeftover(s.path(1, 0));
    const bool blocked = s.running->blockSignals(true);
    s.running->set({FakeRunningApplications::app("com.gone.beta")});
    s.running->blockSignals(blocked);
    ASSERT_TRUE(view.addButton()->isEnabled());
    view.addButton()->click();
    EXPECT_TRUE(s.cleanup.queue().empty());
    EXPECT_EQ(s.state.statusMessage(), "No new items were added. Review the selection and running applications.");
}

TEST(LeftoversWorkspace, RowsAndTheAddButtonAreDisabledWhileBusy) {
    Screen s;
    ASSERT_TRUE(s.load());
    LeftoversWorkspaceView view(s.state, s.cleanup);
    s.state.toggleLeftover(s.path(0, 0));
    ASSERT_TRUE(view.addButton()->isEnabled());

    // A new scan: the previous groups stay, disabled.
    s.hold();
    s.state.load();
    EXPECT_EQ(view.groupCards().size(), 2u);
    for (auto* row : view.rows()) EXPECT_FALSE(row->checkBox()->isEnabled());
    EXPECT_FALSE(view.addButton()->isEnabled());
    s.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.state.isLoading(); }, 5000));
    // The new result empties the ticks.
    EXPECT_TRUE(s.state.selectedLeftoverIDs().empty());
    for (auto* row : view.rows()) EXPECT_TRUE(row->checkBox()->isEnabled());

    // A review being prepared.
    s.state.toggleLeftover(s.path(0, 0));
    s.cleanup.add(CleanupCandidate{Url::file("/Users/ann/old.log"), "old.log", "r", "File", "doc", 1, std::nullopt});
    s.service->hold();
    s.cleanup.prepareReview();
    ASSERT_TRUE(s.cleanup.isPreparing());
    for (auto* row : view.rows()) EXPECT_FALSE(row->checkBox()->isEnabled());
    EXPECT_FALSE(view.addButton()->isEnabled());
}
