// The section and sheet enumerations and the real desktop services behind the application state:
// the folder dialog, the clipboard and the application's own location.

#include "Support/AppStateTestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLabel>

#include <set>

#include <gtest/gtest.h>

namespace morvo::appstatetest {
namespace {

TEST(AppModelsTest, RawValuesRoundTripAndNothingElseParses) {
    const std::pair<AppSection, const char*> sections[] = {
        {AppSection::overview, "Overview"},         {AppSection::largeFiles, "Large files"},
        {AppSection::cleanup, "Cleanup"},           {AppSection::caches, "Caches & logs"},
        {AppSection::applications, "Applications"}, {AppSection::leftovers, "Leftovers"},
    };
    for (std::size_t i = 0; i < std::size(sections); ++i) {
        EXPECT_EQ(allAppSections[i], sections[i].first);   // sidebar order
        EXPECT_EQ(rawValue(sections[i].first), sections[i].second);
        EXPECT_EQ(appSectionFromRawValue(sections[i].second), sections[i].first);
        EXPECT_EQ(showsInspector(sections[i].first), i < 2);
    }
    EXPECT_EQ(rawValue(AppSheet::scanDetails), "scanDetails");
    EXPECT_EQ(appSheetFromRawValue("about"), AppSheet::about);
    for (const char* wrong : {"overview", "Large Files", "", "About", "scandetails"}) {
        EXPECT_EQ(appSectionFromRawValue(wrong), std::nullopt) << wrong;
        EXPECT_EQ(appSheetFromRawValue(wrong), std::nullopt) << wrong;
    }
}

TEST(AppLocationTest, AnExecutableInsideABundleBelongsToTheBundle) {
    struct Case {
        const char* executable;
        const char* bundle;
        bool isDirectory;
    };
    const Case cases[] = {
        {"/opt/Morvo.app/Contents/MacOS/morvo", "/opt/Morvo.app", true},
        {"/opt//Morvo.app/Contents/MacOS/morvo", "/opt/Morvo.app", true},
        {"/usr/bin/morvo", "/usr/bin/morvo", false},
        {"/opt/Morvo.app/Contents/Resources/morvo", "/opt/Morvo.app/Contents/Resources/morvo", false},
        {"/opt/Morvo/Contents/MacOS/morvo", "/opt/Morvo/Contents/MacOS/morvo", false},
    };
    for (const Case& c : cases) {
        const Url url = bundleURLForExecutable(c.executable);
        EXPECT_EQ(url.path, c.bundle) << c.executable;
        EXPECT_EQ(url.isDirectory, c.isDirectory) << c.executable;
    }
    const auto location = makeProcessAppLocation();
    EXPECT_TRUE(location->bundleURL().path.starts_with("/"));
    EXPECT_EQ(location->shortVersion(), std::string(MORVO_VERSION));
    EXPECT_EQ(location->buildVersion(), std::string(MORVO_BUILD));
}

TEST(AppLocationTest, HomeFolderComesFromTheEnvironment) {
    const QByteArray saved = qgetenv("HOME");
    qputenv("HOME", "/tmp//someone/");
    EXPECT_EQ(userHomeDirectory(), "/tmp/someone");
    qputenv("HOME", saved);
}

TEST(PasteboardTest, ClipboardReceivesThePath) {
    auto pasteboard = makeClipboardPasteboard();
    pasteboard->clearContents();
    pasteboard->setString("/tmp/some folder/ünïcode.txt");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("/tmp/some folder/ünïcode.txt"));
}

// The desktop workspace over a scripted desktop: what it asks for, and whether it reports success
// only when something on the desktop took the request.
TEST(DesktopWorkspaceTest, ReportsSuccessOnlyWhenTheDesktopTookTheRequest) {
    struct Desktop {
        bool fileManager = false;
        std::set<QString> handlers;
        bool opens = true;
    };
    struct Calls {
        QStringList fileManager, opened;
    };
    auto workspaceFor = [](const Desktop& desktop, std::shared_ptr<Calls> calls) {
        DesktopBridge bridge;
        bridge.callFileManager = [desktop, calls](const QString& method, const QStringList& uris) {
            calls->fileManager << method + " " + uris.join(" ");
            return desktop.fileManager;
        };
        bridge.hasHandler = [desktop](const QString& type) { return desktop.handlers.count(type) > 0; };
        bridge.openUrl = [desktop, calls](const QUrl& url) {
            calls->opened << url.toString();
            return desktop.opens;
        };
        return makeDesktopWorkspace(std::move(bridge));
    };
    const Url item = Url::file("/home/ann/.local/share/Trash/files/a b.log");
    const Url mail = Url::parse("mailto:hello@morvo.app");
    struct Case {
        const char* name;
        Desktop desktop;
        bool revealed, mailed, trashShown;
        QStringList opened;  // what went to the desktop's opener, in order
    } cases[] = {
        {"file manager service", {true, {}, true}, true, false, true, {}},
        {"nothing at all", {false, {}, true}, false, false, false, {}},
        {"opener only, with handlers",
         {false, {"inode/directory", "x-scheme-handler/mailto", "x-scheme-handler/trash"}, true},
         true, true, true,
         {"file:///home/ann/.local/share/Trash/files/", "mailto:hello@morvo.app", "trash:///"}},
        {"no trash handler: the item's folder",
         {false, {"inode/directory"}, true}, true, false, true,
         {"file:///home/ann/.local/share/Trash/files/", "file:///home/ann/.local/share/Trash/files/"}},
        {"handlers but the opener fails",
         {false, {"inode/directory", "x-scheme-handler/mailto", "x-scheme-handler/trash"}, false},
         false, false, false,
         {"file:///home/ann/.local/share/Trash/files/", "mailto:hello@morvo.app", "trash:///",
          "file:///home/ann/.local/share/Trash/files/"}},
    };
    for (const Case& c : cases) {
        auto calls = std::make_shared<Calls>();
        auto workspace = workspaceFor(c.desktop, calls);
        std::vector<bool> answers;
        auto record = [&answers](bool taken) { answers.push_back(taken); };
        workspace->reveal({item}, record);
        workspace->open(mail, record);
        workspace->revealInTrash(item, record);
        ASSERT_TRUE(waitFor([&] { return answers.size() == 3; })) << c.name;
        EXPECT_EQ(answers, (std::vector<bool>{c.revealed, c.mailed, c.trashShown})) << c.name << ": answered in order";
        EXPECT_EQ(calls->fileManager.value(0), "ShowItems file:///home/ann/.local/share/Trash/files/a%20b.log") << c.name;
        EXPECT_EQ(calls->fileManager.value(1), "ShowFolders trash:///") << c.name << ": the Trash view first";
        EXPECT_EQ(calls->opened, c.opened) << c.name;
    }
}

QFileDialog* openDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
    return nullptr;
}

TEST(FolderPanelTest, DialogShowsTheOptionsAndReportsTheChoiceOnce) {
    TempDir home;
    fs::create_directories(home.path() / "pick");
    auto panel = makeDialogFolderPanel();
    FolderPanelOptions options;
    options.title = "Choose a folder or disk to scan";
    options.prompt = "Scan folder";
    options.message = "Scanning reads file names and sizes.";
    options.directory = Url::file(home.string(), true);

    struct Outcome {
        int calls = 0;
        std::optional<Url> url;
    };
    auto run = [&](bool accept) {
        auto outcome = std::make_shared<Outcome>();
        panel->begin(options, [outcome](std::optional<Url> url) {
            ++outcome->calls;
            outcome->url = std::move(url);
        });
        QFileDialog* dialog = nullptr;
        EXPECT_TRUE(waitFor([&] { return (dialog = openDialog()) != nullptr; }));
        if (!dialog) return outcome;
        EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(options.title));
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
        EXPECT_TRUE(dialog->filter().testFlag(QDir::Hidden));
        EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Scan folder");
        EXPECT_EQ(QDir(dialog->directory()).absolutePath(), QString::fromStdString(home.string()));
        auto* message = dialog->findChild<QLabel*>("folder-panel-message");
        EXPECT_TRUE(message && message->text() == QString::fromUtf8(options.message));
        if (accept) {
            dialog->selectFile(QString::fromStdString((home.path() / "pick").string()));
            QMetaObject::invokeMethod(dialog, "accept");
        } else {
            dialog->reject();
        }
        QTest::qWait(20);
        return outcome;
    };

    auto cancelled = run(false);
    EXPECT_EQ(cancelled->calls, 1);
    EXPECT_EQ(cancelled->url, std::nullopt);

    auto chosen = run(true);
    EXPECT_EQ(chosen->calls, 1);
    ASSERT_TRUE(chosen->url);
    EXPECT_EQ(chosen->url->path, (home.path() / "pick").string());
}

} // namespace
} // namespace morvo::appstatetest
