// The application entry: start-up arguments, the start-up task, menu commands, appearance
// storage and switching. (The pictures of every window are ScreenshotTests.cpp.)
#include "Support/ShellTestSupport.h"

#include "Morvo/Shell/AppearanceSettingsView.h"
#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/Cleanup/CleanupReviewSheet.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Shell/MorvoApp.h"
#include "Morvo/Shell/SidebarView.h"
#include "Morvo/Platform/AppearanceStore.h"
#include "Morvo/Platform/Fonts.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>
#include <QRegularExpression>
#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

TEST(StartupArguments, OnlyTheArgumentAfterTheFirstScanCounts) {
    struct Case {
        std::vector<std::string> args;
        std::optional<std::string> path;
    } cases[] = {
        {{"morvo"}, std::nullopt},
        {{"morvo", "--scan", "/data"}, "/data"},
        {{"morvo", "--scan"}, std::nullopt},
        {{"morvo", "--scan", "--scan"}, "--scan"},
        {{"morvo", "--scan", "/a", "--scan", "/b"}, "/a"},
        {{"morvo", "--SCAN", "/a"}, std::nullopt},
        {{"--scan", "/exe-is-not-an-argument"}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(MorvoApp::startupScanPath(c.args), c.path) << c.args.size();
}

class MorvoAppTest : public ::testing::Test {
protected:
    std::unique_ptr<MorvoApp> make(std::vector<std::string> args) {
        settingsDir = std::make_unique<QTemporaryDir>();
        settings = std::make_shared<QSettings>(settingsDir->filePath("morvo.ini"), QSettings::IniFormat);
        return std::make_unique<MorvoApp>(MorvoApp::Options{std::move(args), fixture.services(), settings});
    }
    Fixture fixture;
    std::unique_ptr<QTemporaryDir> settingsDir;
    std::shared_ptr<QSettings> settings;
};

TEST_F(MorvoAppTest, StartupScansTheHomeFolderAndLoadsTheInventory) {
    // The cleanup section starts no work of its own when shown (the caches section would start
    // its own discovery), so what runs here is the start-up task's doing alone.
    auto app = make({"morvo"});
    app->state().setSection(AppSection::cleanup);
    app->show();
    ASSERT_TRUE(waitFor([&] { return app->state().hasScannedFolder(); }));
    EXPECT_EQ(app->state().snapshot()->rootID(), fixture.home.string());
    EXPECT_EQ(app->state().section(), AppSection::cleanup) << "the home scan preserves the section";
    EXPECT_TRUE(app->state().inventory().hasStartedInitialLoad());
    EXPECT_FALSE(app->state().cacheDiscovery().hasStartedInitialLoad());
    EXPECT_EQ(app->mainWindow()->windowTitle(), "Morvo");

    // Shown again with something scanned: the home folder is not scanned again.
    app->mainWindow()->hide();
    app->show();
    QTest::qWait(20);
    EXPECT_FALSE(app->state().isScanning());
}

// The first window asks for 1340×860, takes what the screen's free area allows, never less than
// its minimum, and sits in the middle of that area.
TEST(WindowPlacement, DefaultSizeFitsTheAvailableAreaAndIsCentred) {
    const QSize minimum(1100, 764);
    struct Case {
        const char* screen;
        QRect available, expected;
    } cases[] = {
        {"full HD", {0, 0, 1920, 1080}, {290, 110, 1340, 860}},
        {"a second screen to the right", {1920, 0, 2560, 1440}, {2530, 290, 1340, 860}},
        {"1366x768, no panel", {0, 0, 1366, 768}, {13, 0, 1340, 768}},
        {"1366x768 under a panel", {0, 27, 1366, 741}, {13, 27, 1340, 764}},
        {"smaller than the minimum", {0, 0, 1024, 600}, {0, 0, 1100, 764}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MorvoApp::initialWindowGeometry(c.available, minimum), c.expected) << c.screen;
}

// The real window on the screen it opens on (ctest gives this binary a 1366×768 screen): the
// content keeps its own 1100×740 minimum under the menu bar, and the first window lies within
// the screen's free area.
TEST_F(MorvoAppTest, FirstWindowFitsTheScreenAndTheMinimumIsTheContents) {
    auto app = make({"morvo"});
    QMainWindow* window = app->mainWindow();
    const QRect available = window->screen()->availableGeometry();
    const int menuBar = window->menuBar()->sizeHint().height();
    ASSERT_GT(menuBar, 0);
    EXPECT_EQ(window->minimumSizeHint(), QSize(1100, 740 + menuBar));
    app->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QMargins frame = window->windowHandle()->frameMargins();
    EXPECT_EQ(window->geometry(), MorvoApp::initialWindowGeometry(available - frame, window->minimumSizeHint()));
    if (available.width() >= 1100 + frame.left() + frame.right() &&
        available.height() >= 740 + menuBar + frame.top() + frame.bottom()) {
        EXPECT_TRUE(available.contains(window->frameGeometry())) << "within " << available.width() << "x" << available.height();
    }

    window->resize(900, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(app->contentView()->size(), QSize(1100, 740)) << "the content never gets smaller";
    ASSERT_TRUE(waitFor([&] { return !app->state().isScanning() && !app->state().inventory().isLoading(); }));
}

TEST_F(MorvoAppTest, StartupScansTheScanArgumentWithoutPreservingTheSection) {
    writeFile(fixture.home.path() / "target" / "file.bin", 5000);
    auto app = make({"morvo", "--scan", fixture.home / "target"});
    app->state().setSection(AppSection::caches);
    app->show();
    ASSERT_TRUE(waitFor([&] { return app->state().hasScannedFolder(); }));
    EXPECT_EQ(app->state().snapshot()->rootID(), fixture.home / "target");
    EXPECT_EQ(app->state().section(), AppSection::overview);
    EXPECT_TRUE(app->state().inventory().hasStartedInitialLoad());
}

TEST_F(MorvoAppTest, MenuCommandsDriveTheState) {
    auto app = make({"morvo"});
    AppState& state = app->state();
    for (const char* title : {"Scan Folder…", "Scan Home Folder", "Rescan", "Review Cleanup Queue", "Scan Applications",
                              "Scan Caches and Logs", "About Morvo", "Dark", "Light"})
        ASSERT_NE(app->menuAction(title), nullptr) << title;
    EXPECT_EQ(app->menuAction("Scan Folder…")->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(app->menuAction("Rescan")->shortcut(), QKeySequence("Ctrl+R"));
    EXPECT_EQ(app->menuAction("Review Cleanup Queue")->shortcut(), QKeySequence("Ctrl+Shift+K"));

    state.setSection(AppSection::cleanup);
    state.setCategory(FileCategory::media);
    app->menuAction("Review Cleanup Queue")->trigger();
    EXPECT_EQ(state.section(), AppSection::cleanup);
    EXPECT_FALSE(state.category());

    app->menuAction("Scan Applications")->trigger();
    EXPECT_EQ(state.section(), AppSection::applications);
    EXPECT_TRUE(state.inventory().hasStartedInitialLoad());

    app->menuAction("Scan Caches and Logs")->trigger();
    EXPECT_EQ(state.section(), AppSection::caches);
    EXPECT_TRUE(state.cacheDiscovery().hasStartedInitialLoad());

    app->menuAction("About Morvo")->trigger();
    EXPECT_EQ(state.sheet(), AppSheet::about);
    state.setSheet(std::nullopt);

    app->menuAction("Scan Folder…")->trigger();
    EXPECT_EQ(fixture.panel->shown.size(), 1u);

    state.setSection(AppSection::largeFiles);
    app->menuAction("Scan Home Folder")->trigger();
    EXPECT_TRUE(state.isScanning());
    EXPECT_EQ(state.scanURL()->path, fixture.home.string());
    ASSERT_TRUE(waitFor([&] { return !state.isScanning(); }));
    EXPECT_EQ(state.section(), AppSection::overview) << "not preserving the section";
    ASSERT_TRUE(waitFor([&] { return !state.inventory().isLoading() && !state.cacheDiscovery().isLoading(); }));
}

TEST_F(MorvoAppTest, MenusAndShortcutsStayAvailableWhileASheetOrTheAlertIsShown) {
    auto app = make({"morvo"});
    AppState& state = app->state();
    app->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app->mainWindow()));
    ASSERT_TRUE(waitFor([&] { return state.hasScannedFolder() && !state.isScanning(); }));
    writeFile(fixture.home.path() / "old.log", 10);
    CleanupCandidate queued;
    queued.url = Url::file(fixture.home / "old.log");
    queued.title = "old.log";
    state.cleanup().add(queued);
    ContentView* content = app->contentView();
    QMenuBar* bar = app->mainWindow()->menuBar();

    auto reviewSheet = [&]() -> CleanupReviewSheet* {
        QDialog* dialog = content->presentedReviewSheet();
        return dialog ? dialog->findChild<CleanupReviewSheet*>() : nullptr;
    };

    struct Case {
        const char* name;
        std::function<void()> present, close;
        std::function<QWidget*()> shown;
    } cases[] = {
        {"about", [&] { state.setSheet(AppSheet::about); }, [&] { state.setSheet(std::nullopt); },
         [&] { return content->presentedSheet(); }},
        {"scan details", [&] { state.setSheet(AppSheet::scanDetails); }, [&] { state.setSheet(std::nullopt); },
         [&] { return content->presentedSheet(); }},
        {"alert", [&] { state.setErrorMessage(std::string("Choose a folder or volume on this Mac.")); },
         [&] { state.setErrorMessage(std::nullopt); }, [&] { return content->presentedAlert(); }},
        {"review", [&] { state.cleanup().prepareReview(); }, [&] { state.cleanup().invalidatePreview(); },
         [&] { return content->presentedReviewSheet(); }},
        {"move confirmation",
         [&] {
             state.cleanup().prepareReview();
             ASSERT_TRUE(waitFor([&] { return reviewSheet() && state.cleanup().canConfirm(); }));
             reviewSheet()->setShowsConfirmation(true);
         },
         [&] { state.cleanup().invalidatePreview(); },
         [&]() -> QWidget* { return reviewSheet() ? reviewSheet()->confirmationDialog() : nullptr; }},
    };
    for (const Case& c : cases) {
        state.setSection(AppSection::overview);
        c.present();
        ASSERT_TRUE(waitFor([&] { return c.shown() && c.shown()->isVisible(); })) << c.name;
        QWidget* shown = c.shown();
        shown->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(shown)) << c.name;

        // The shortcut of "Review Cleanup Queue", typed in the sheet.
        QTest::keyClick(shown, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(state.section(), AppSection::cleanup) << c.name << ": the shortcut did nothing";

        // The menu bar takes a click through the window system and opens the File menu.
        const QPoint file = bar->actionGeometry(bar->actions().value(1)).center();
        QTest::mouseClick(app->mainWindow()->windowHandle(), Qt::LeftButton, {}, bar->mapTo(app->mainWindow(), file));
        EXPECT_TRUE(waitFor([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; }, 1000))
            << c.name << ": the menu did not open";
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();

        // The window's own content still waits for the sheet.
        QAbstractButton* overview = content->sidebar()->sectionRow(AppSection::overview);
        QTest::mouseClick(app->mainWindow()->windowHandle(), Qt::LeftButton, {},
                          overview->mapTo(app->mainWindow(), overview->rect().center()));
        EXPECT_EQ(state.section(), AppSection::cleanup) << c.name << ": the content took a click behind the sheet";
        if (CleanupReviewSheet* sheet = reviewSheet(); sheet && sheet->showsConfirmation()) {
            // Nor does the review sheet behind its confirmation take one.
            QWidget* back = sheet->backButton();
            QTest::mouseClick(back->window()->windowHandle(), Qt::LeftButton, {},
                              back->mapTo(back->window(), back->rect().center()));
            EXPECT_TRUE(sheet->showsConfirmation() && state.cleanup().review()) << "the review left its confirmation";
        }
        c.close();
        ASSERT_TRUE(waitFor([&] { return !c.shown(); })) << c.name;
    }
}

TEST_F(MorvoAppTest, AppearanceIsStoredAndSwitchesEveryWindow) {
    auto app = make({"morvo"});
    EXPECT_EQ(Theme::current().appearance(), AppAppearance::dark) << "dark when nothing is stored";
    EXPECT_TRUE(app->menuAction("Dark")->isChecked());
    app->openSettings();
    auto* settingsView = app->settingsWindow()->findChild<AppearanceSettingsView*>();
    ASSERT_NE(settingsView, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(app->settingsWindow()));
    EXPECT_EQ(QApplication::focusWidget(), app->settingsWindow()) << "no card's ring before a key";

    app->menuAction("Light")->trigger();
    EXPECT_EQ(settings->value("morvo.appearance").toString(), "light");
    EXPECT_EQ(Theme::current().appearance(), AppAppearance::light);
    EXPECT_TRUE(settingsView->card(AppAppearance::light)->isChecked());
    EXPECT_FALSE(settingsView->card(AppAppearance::dark)->isChecked());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), Theme::background.resolve(AppAppearance::light));

    settingsView->card(AppAppearance::dark)->click();
    EXPECT_EQ(settings->value("morvo.appearance").toString(), "dark");
    EXPECT_TRUE(app->menuAction("Dark")->isChecked());
    EXPECT_EQ(Theme::current().appearance(), AppAppearance::dark);
}

TEST(AppearanceStore, UnknownOrMissingValuesReadAsDark) {
    QTemporaryDir dir;
    auto settings = std::make_shared<QSettings>(dir.filePath("a.ini"), QSettings::IniFormat);
    struct Case {
        std::optional<QString> stored;
        AppAppearance expected;
    } cases[] = {{std::nullopt, AppAppearance::dark}, {"blue", AppAppearance::dark}, {"Light", AppAppearance::dark},
                 {"light", AppAppearance::light}, {"dark", AppAppearance::dark}};
    for (const auto& c : cases) {
        if (c.stored) settings->setValue("morvo.appearance", *c.stored);
        else settings->remove("morvo.appearance");
        AppearanceStore store(settings);
        EXPECT_EQ(store.appearance(), c.expected) << (c.stored ? c.stored->toStdString() : "missing");
    }
    settings->setValue("morvo.appearance", "blue");
    AppearanceStore store(settings);
    AppearanceSettingsView view(store);
    EXPECT_TRUE(view.card(AppAppearance::dark)->isChecked());
    EXPECT_EQ(view.card(AppAppearance::light)->objectName(), "appearance-light");
    EXPECT_EQ(view.card(AppAppearance::light)->accessibleName(), "Use Light appearance");
    auto value = [&](AppAppearance a) {
        QAccessibleInterface* card = QAccessible::queryAccessibleInterface(view.card(a));
        return card ? card->text(QAccessible::Value) : QString();
    };
    auto selected = [&](AppAppearance a) { return QAccessible::queryAccessibleInterface(view.card(a))->state().selected; };
    EXPECT_EQ(value(AppAppearance::dark), "Selected");
    EXPECT_EQ(value(AppAppearance::light), "Not selected");
    EXPECT_TRUE(selected(AppAppearance::dark));
    EXPECT_FALSE(selected(AppAppearance::light));
    view.card(AppAppearance::light)->click();
    EXPECT_EQ(settings->value("morvo.appearance").toString(), "light");
    view.card(AppAppearance::light)->click();
    EXPECT_TRUE(view.card(AppAppearance::light)->isChecked()) << "clicking the chosen card keeps it chosen";
    EXPECT_EQ(value(AppAppearance::light), "Selected");
    EXPECT_EQ(value(AppAppearance::dark), "Not selected");
}

} // namespace
