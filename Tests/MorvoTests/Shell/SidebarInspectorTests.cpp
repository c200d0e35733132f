// The sidebar's selection rules, category rows and scan card; the inspector's rows and actions.
#include "Support/ShellTestSupport.h"

#include "Morvo/Shell/AboutView.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Shell/InspectorView.h"
#include "Morvo/Shell/SidebarView.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

class ShellViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        state = std::make_unique<AppState>(fixture.services());
    }
    Fixture fixture;
    std::unique_ptr<AppState> state;
};

TEST_F(ShellViewTest, SidebarHighlightsTheCategoryOverTheWorkspaceRow) {
    int settingsOpened = 0;
    SidebarView sidebar(*state, [&] { ++settingsOpened; });
    EXPECT_TRUE(sidebar.sectionRow(AppSection::overview)->isSelected());

    sidebar.categoryRow(FileCategory::media)->click();
    EXPECT_EQ(state->section(), AppSection::largeFiles);
    EXPECT_EQ(state->category(), FileCategory::media);
    EXPECT_FALSE(sidebar.sectionRow(AppSection::largeFiles)->isSelected());
    EXPECT_TRUE(sidebar.categoryRow(FileCategory::media)->isSelected());

    state->setSection(AppSection::caches);
    EXPECT_TRUE(sidebar.sectionRow(AppSection::caches)->isSelected()) << "Make room rows ignore the category";
    EXPECT_TRUE(sidebar.categoryRow(FileCategory::media)->isSelected()) << "in any section";

    state->setSection(AppSection::largeFiles);
    sidebar.sectionRow(AppSection::largeFiles)->click();
    EXPECT_FALSE(state->category());
    EXPECT_TRUE(sidebar.sectionRow(AppSection::largeFiles)->isSelected());
    EXPECT_FALSE(sidebar.categoryRow(FileCategory::media)->isSelected());

    buttonLabelled(&sidebar, "About Morvo")->click();
    EXPECT_EQ(state->sheet(), AppSheet::about);
    buttonLabelled(&sidebar, "Choose Light or Dark appearance (Ctrl+,)")->click();
    EXPECT_EQ(settingsOpened, 1);
}

TEST_F(ShellViewTest, ScanCardAndTotalsFollowTheScan) {
    SidebarView sidebar(*state, {});
    ScanCard* card = sidebar.scanCard();
    EXPECT_EQ(card->statusWord(), "YOUR MAC");
    EXPECT_EQ(card->sizeText(), "—");
    EXPECT_EQ(card->footerText(), "Not scanned") << "nothing is being indexed before a scan starts";
    EXPECT_TRUE(sidebar.categoryRow(FileCategory::developer)->totalText().isEmpty());

    ASSERT_TRUE(publish(*state, fixture, makeSnapshot(fixture.home.string(), true)));
    ASSERT_TRUE(waitFor([&] { return !state->categoryTotals().empty(); }));
    EXPECT_EQ(card->statusWord(), "PARTIAL SCAN");
    EXPECT_EQ(card->footerText(), "2 files in this scan");
    EXPECT_EQ(sidebar.categoryRow(FileCategory::developer)->totalText(), "4 KB");
    EXPECT_TRUE(sidebar.categoryRow(FileCategory::media)->totalText().isEmpty()) << "no size for an empty category";

    // Segments: none for empty categories, at least 1 point for a tiny share, nothing at all for all-zero.
    const auto widths = ScanCard::segmentWidths({0, 1, 999999, 0, 0, 0}, 110);
    EXPECT_EQ(widths[0], 0);
    EXPECT_EQ(widths[1], 1);
    EXPECT_NEAR(widths[2], 100, 0.01);
    for (double w : ScanCard::segmentWidths({0, 0, 0, 0, 0, 0}, 110)) EXPECT_EQ(w, 0);
}

TEST_F(ShellViewTest, VersionAndBuildAgreeBetweenTheAboutSheetAndTheSidebar) {
    AboutView about(*makeProcessAppLocation(), [] {});
    EXPECT_TRUE(showsText(&about, "Version 0.4.1 · Build 9"));
    SidebarView sidebar(*state, {});
    auto* row = qobject_cast<KitButton*>(buttonLabelled(&sidebar, "About Morvo"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->parts().back().value, "0.4");
}

TEST_F(ShellViewTest, InspectorShowsThePromptThenTheSelectedNode) {
    InspectorView inspector(*state);
    EXPECT_TRUE(showsText(&inspector, "Follow your curiosity."));
    ASSERT_TRUE(publish(*state, fixture, makeSnapshot(fixture.home.string())));
    const std::string root = fixture.home.string();

    state->setSelectedID(root);
    EXPECT_TRUE(showsText(&inspector, "100.0% of this scan"));
    EXPECT_TRUE(showsText(&inspector, "Files inside"));
    EXPECT_TRUE(showsText(&inspector, "Direct items"));
    QAbstractButton* explore = buttonLabelled(&inspector, "Explore folder");
    ASSERT_NE(explore, nullptr);
    EXPECT_FALSE(explore->isEnabled()) << "the root is the map root";

    state->setSelectedID(root + "/Projects");
    explore = buttonLabelled(&inspector, "Explore folder");
    ASSERT_TRUE(explore && explore->isEnabled());
    EXPECT_TRUE(showsText(&inspector, "Folder · Other"));
    state->setSection(AppSection::largeFiles);
    explore->click();
    EXPECT_EQ(state->mapRootID(), root + "/Projects");
    EXPECT_EQ(state->section(), AppSection::overview);

    state->setSelectedID(root + "/notes.txt");
    EXPECT_TRUE(showsText(&inspector, "20.0% of this scan"));
    EXPECT_FALSE(showsText(&inspector, "Files inside"));
    EXPECT_FALSE(showsText(&inspector, "Modified")) << "no date, no row";
    EXPECT_TRUE(showsText(&inspector, "Path: " + QString::fromStdString(root + "/notes.txt")) ||
                showsText(&inspector, QString::fromStdString(root + "/notes.txt")));
    auto* add = byIdentifier(&inspector, "add-to-cleanup");
    ASSERT_TRUE(add && add->isEnabled());
    add->click();
    EXPECT_TRUE(state->cleanup().contains(Url::file(root + "/notes.txt")));
    add = byIdentifier(&inspector, "add-to-cleanup");
    EXPECT_FALSE(add->isEnabled());
    EXPECT_EQ(add->accessibleName(), "In cleanup queue");

    buttonLabelled(&inspector, "Reveal in Finder")->click();
    ASSERT_EQ(fixture.workspace->revealed.size(), 1u);
    EXPECT_EQ(fixture.workspace->revealed[0][0].path, root + "/notes.txt");
    buttonLabelled(&inspector, "Copy path")->click();
    EXPECT_FALSE(fixture.pasteboard->operations.empty());
    buttonLabelled(&inspector, "Show folder on map")->click();
    EXPECT_EQ(state->mapRootID(), root);

    state->setSelectedID(std::string("/not/in/snapshot"));
    EXPECT_TRUE(showsText(&inspector, "Follow your curiosity."));

    // Hidden with its section, it catches up when shown again.
    inspector.hide();
    state->setSelectedID(root + "/Projects");
    inspector.show();
    EXPECT_TRUE(showsText(&inspector, "Folder · Other"));
}

TEST(InspectorShare, EmptyRootGivesZero) {
    DiskNode root, node;
    EXPECT_EQ(InspectorView::percentText(node, root), "0.0");
    EXPECT_EQ(InspectorView::shareFraction(node, root), 0.0);
    root.logicalSize = 100;
    node.logicalSize = 250;
    EXPECT_EQ(InspectorView::shareFraction(node, root), 1.0) << "bar capped";
    EXPECT_EQ(InspectorView::percentText(node, root), "250.0") << "percentage not capped";
}

} // namespace
