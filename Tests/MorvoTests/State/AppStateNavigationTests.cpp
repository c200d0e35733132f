// Navigation through the scanned tree and the actions on one node: breadcrumbs, navigate,
// showFiles, copying a path, queueing a node with its owning application, privacy settings.

#include "Support/AppStateTestSupport.h"

#include "Morvo/State/CleanupState.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace morvo::appstatetest {
namespace {

class AppStateNavigationTest : public ScannedStateTest {};

TEST_F(AppStateNavigationTest, BreadcrumbsFollowParentsUpToSixtyFourNodes) {
    fs::path root = home->path() / "deep";
    fs::path leaf = root;
    for (int i = 0; i < 70; ++i) leaf /= "d";
    writeFile(leaf / "f.txt", 1);
    auto state = scannedState(root);

    // At the root, and with a map root the snapshot lacks: the root alone.
    EXPECT_EQ(state->breadcrumbs().size(), 1u);
    state->setMapRootID("/not/in/the/snapshot");
    EXPECT_EQ(state->mapRoot().id, root.string());
    ASSERT_EQ(state->breadcrumbs().size(), 1u);
    EXPECT_EQ(state->breadcrumbs()[0].id, root.string());

    state->navigate(leaf.string());
    const auto crumbs = state->breadcrumbs();
    ASSERT_EQ(crumbs.size(), 64u);
    EXPECT_EQ(crumbs.back().id, leaf.string());
    EXPECT_NE(crumbs.front().id, root.string());
    for (std::size_t i = 1; i < crumbs.size(); ++i) EXPECT_EQ(crumbs[i].parentID, crumbs[i - 1].id);
}

TEST_F(AppStateNavigationTest, NavigateSelectsAndFoldersBecomeTheMapRoot) {
    fs::path root = home->path() / "scan";
    writeFile(root / "sub/f.txt", 5);
    auto state = scannedState(root);
    const std::string sub = (root / "sub").string();
    const std::string file = (root / "sub/f.txt").string();

    state->setSection(AppSection::cleanup);
    state->navigate(sub);
    EXPECT_EQ(state->selectedID(), sub);
    EXPECT_EQ(state->mapRootID(), sub);
    EXPECT_EQ(state->section(), AppSection::overview);
    ASSERT_EQ(state->breadcrumbs().size(), 2u);

    state->setSection(AppSection::largeFiles);
    state->navigate(file);
    EXPECT_EQ(state->selectedID(), file);
    EXPECT_EQ(state->selectedNode()->id, file);
    EXPECT_EQ(state->mapRootID(), sub);
    EXPECT_EQ(state->section(), AppSection::largeFiles);

    QSignalSpy selectionSpy(state.get(), &AppState::selectedIDChanged);
    state->navigate("/elsewhere");
    state->setSelectedID(file);   // unchanged: no notification
    EXPECT_EQ(selectionSpy.count(), 0);
    EXPECT_EQ(state->selectedID(), file);

    state->setSelectedID(std::string("/gone"));
    EXPECT_EQ(state->selectedNode(), std::nullopt);
}

TEST_F(AppStateNavigationTest, ShowFilesSetsTheFilterAndTheSection) {
    auto state = std::make_unique<AppState>(services.make(home->string()));
    ASSERT_TRUE(settle(*state));
    state->setCategory(FileCategory::media);
    ASSERT_TRUE(settle(*state));

    QSignalSpy searchingSpy(state.get(), &AppState::isSearchingChanged);
    state->showFiles(std::nullopt);
    EXPECT_EQ(state->category(), std::nullopt);
    EXPECT_EQ(state->section(), AppSection::largeFiles);
    EXPECT_TRUE(state->isSearching());
    ASSERT_TRUE(settle(*state));
}

TEST_F(AppStateNavigationTest, CopyPathClearsThenPutsThePath) {
    auto state = std::make_unique<AppState>(services.make(home->string()));
    state->copyPath(state->snapshot()->root());
    EXPECT_EQ(services.pasteboard->operations, (std::vector<std::string>{"clear", "set:" + home->string()}));
}

TEST_F(AppStateNavigationTest, PrivacySettingsOpenTheFullDiskAccessPage) {
    auto state = std::make_unique<AppState>(services.make(home->string()));
    state->openPrivacySettings();
    ASSERT_EQ(services.workspace->opened.size(), 1u);
    EXPECT_EQ(services.workspace->opened[0].absoluteString(),
              "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles");
}

// Which nodes are queued as an application with an owner, and with what kind and symbol.
TEST_F(AppStateNavigationTest, QueueForCleanupGuessesTheOwningApplication) {
    fs::path root = home->path() / "scan";
    auto makeApp = [](const fs::path& bundle, const std::string& identifier) {
        writeText(bundle / "Contents/Info.plist", infoPlist(identifier));
    };
    makeApp(root / "Tools/Editor.APP", "com.example.editor");
    makeApp(home->path() / "Library/Application Support/Helper.app", "com.example.helper");
    makeApp(home->path() / "LIBRARY/Other.app", "com.example.other");
    writeText(root / "Tools/Plain.app/Contents/readme.txt", "no plist");
    makeApp(root / "Tools/Nameless.app", "");
    fs::create_directories(root / "Tools/Linked.app/Contents");
    writeText(root / "real-Info.plist", infoPlist("com.example.linked"));
    fs::create_symlink(root / "real-Info.plist", root / "Tools/Linked.app/Contents/Info.plist");
    fs::create_directories(root / "Tools/Huge.app/Contents");
    {
        std::string plist = infoPlist("com.example.huge");
        plist.insert(plist.find("</plist>"), std::string(2000000 - plist.size(), ' '));
        writeText(root / "Tools/Huge.app/Contents/Info.plist", plist);
        ASSERT_EQ(fs::file_size(root / "Tools/Huge.app/Contents/Info.plist"), 2000000u);
    }
    fs::create_directories(root / "Folder");
    fs::create_symlink(root / "Folder", root / "FolderLink");
    writeFile(root / "movie.mp4", 10);

    auto state = std::make_unique<AppState>(services.make(home->string()));
    struct Case {
        fs::path scanRoot;
        fs::path item;
        std::string kind;
        std::string symbol;
        std::optional<std::string> owner;
    };
    const Case cases[] = {
        {root, root / "Tools/Editor.APP", "Application", "app.fill", "com.example.editor"},
        {home->path() / "Library", home->path() / "Library/Application Support/Helper.app", "Folder", "folder", std::nullopt},
        {home->path() / "LIBRARY", home->path() / "LIBRARY/Other.app", "Folder", "folder", std::nullopt},
        {root, root / "Tools/Plain.app", "Folder", "folder", std::nullopt},
        {root, root / "Tools/Nameless.app", "Folder", "folder", std::nullopt},
        {root, root / "Tools/Linked.app", "Folder", "folder", std::nullopt},
        {root, root / "Tools/Huge.app", "Folder", "folder", std::nullopt},
        {root, root / "FolderLink", "File", "square.grid.2x2", std::nullopt},
        {root, root / "movie.mp4", "File", "photo.on.rectangle.angled", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item.string());
        if (state->snapshot()->rootID() != c.scanRoot.string()) {
            state->startScan(Url::file(c.scanRoot.string(), true), false);
            ASSERT_TRUE(settle(*state));
        }
        const auto node = state->snapshot()->node(c.item.string());
        ASSERT_TRUE(node);
        state->queueForCleanup(*node);
        const CleanupQueue& queue = state->cleanup().queue();
        auto it = std::find_if(queue.begin(), queue.end(),
                               [&](const CleanupCandidate& q) { return q.url.path == c.item.string(); });
        ASSERT_NE(it, queue.end());
        EXPECT_EQ(it->kind, c.kind);
        EXPECT_EQ(it->symbol, c.symbol);
        EXPECT_EQ(it->ownerBundleID, c.owner);
        EXPECT_EQ(it->title, node->name);
        EXPECT_EQ(it->reason, "Selected from your storage scan");
        EXPECT_EQ(it->logicalSize, node->logicalSize);
    }
}

} // namespace
} // namespace morvo::appstatetest
