// Quitting while a move to the Trash runs: a child process runs the application's state objects,
// its Trash service and the freedesktop mover over a temporary home and data folder, starts a move
// of 10,000 files and is told to quit in the middle of it. Afterwards every file is either where it
// was or in the Trash with its restore record, and the Trash holds nothing else.

#include "Support/AppStateTestSupport.h"

#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/TaskRunner.h"
#include "MorvoCore/Platform/TrashMover.h"

#include <QProcess>
#include <QSocketNotifier>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace morvo::appstatetest {
namespace {

constexpr int itemCount = 10000;
constexpr const char* childVariable = "MORVO_QUIT_CHILD";
constexpr const char* movingLine = "quit-child: moving";
constexpr const char* quittingLine = "quit-child: quitting at ";

// The system's monotonic clock, the same in both processes.
qint64 monotonicMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string itemName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "item-%05d.txt", i);
    return name;
}

std::string itemContent(const std::string& name) { return "the file " + name + "\n"; }

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.insert(it->path().filename().string());
    return names;
}

// The application's state over fakes of the desktop and the real Trash, ended as `morvo` ends.
// Each rename waits a while, as on a slow disk, so that the quit comes while an item is in hand.
TEST(QuitDuringMove, Child) {
    if (qEnvironmentVariableIsEmpty(childVariable)) GTEST_SKIP() << "the child of QuitDuringMove.NothingIsLost";
    const std::string home = qEnvironmentVariable("HOME").toStdString();

    AppServices services;
    services.workspace = std::make_shared<FakeWorkspace>();
    services.folderPanel = std::make_shared<FakeFolderPanel>();
    services.pasteboard = std::make_shared<FakePasteboard>();
    services.appLocation = std::make_shared<FakeAppLocation>();
    services.runningApplications = std::make_shared<FakeRunningApplications>();
    services.homeDirectory = home;
    services.applicationRoots = std::vector<Url>{};
    FreedesktopTrashMover::Options options = FreedesktopTrashMover::optionsFromEnvironment();
    options.beforeRename = [] { std::this_thread::sleep_for(std::chrono::milliseconds(150)); };
    services.trashMover = std::make_shared<FreedesktopTrashMover>(options);
    auto state = std::make_unique<AppState>(services);
    CleanupState& cleanup = state->cleanup();
    for (int i = 0; i < itemCount; ++i) {
        const std::string name = itemName(i);
        cleanup.add({Url::file(home + "/items/" + name), name, "Selected from your storage scan", "File", "doc.text",
                     static_cast<std::int64_t>(itemContent(name).size()), std::nullopt});
    }
    ASSERT_EQ(cleanup.queue().size(), static_cast<std::size_t>(itemCount));
    cleanup.prepareReview();
    ASSERT_TRUE(waitFor([&] { return cleanup.review().has_value(); }, 120000));
    ASSERT_EQ(cleanup.selectedRows().size(), static_cast<std::size_t>(itemCount));
    cleanup.confirmTrash();
    ASSERT_TRUE(cleanup.isTrashing());

    // "quit" on the standard input ends the event loop, as closing the window does.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)).find("quit") != std::string::npos) {
            std::cout << quittingLine << monotonicMilliseconds() << std::endl;
            QCoreApplication::quit();
        }
    });
    std::cout << movingLine << std::endl;
    const int status = QCoreApplication::exec();
    // The end of the process as main() has it: the application's objects go, then the check.
    state.reset();
    endProcessIfWorkRemains(status);
}

TEST(QuitDuringMove, NothingIsLost) {
    TempDir root;
    const fs::path home = root.path() / "home";
    const fs::path items = home / "items";
    const fs::path dataHome = home / ".local/share";
    fs::create_directories(items);
    fs::create_directories(home / "empty");
    for (int i = 0; i < itemCount; ++i) writeText(items / itemName(i), itemContent(itemName(i)));
    const fs::path trash = dataHome / "Trash";

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(childVariable, "1");
    environment.insert("HOME", QString::fromStdString(home.string()));
    environment.insert("XDG_DATA_HOME", QString::fromStdString(dataHome.string()));
    environment.insert("XDG_STATE_HOME", QString::fromStdString((home / ".local/state").string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / ".config").string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=QuitDuringMove.Child")});
    ASSERT_TRUE(child.waitForStarted());

    QByteArray output;
    ASSERT_TRUE(waitFor(
        [&] {
            output += child.readAllStandardOutput();
            return output.contains(movingLine) || child.state() == QProcess::NotRunning;
        },
        180000))
        << output.toStdString();
    ASSERT_TRUE(output.contains(movingLine)) << output.toStdString();
    // A few items in the Trash, the move well under way.
    ASSERT_TRUE(waitFor([&] { return namesIn(trash / "files").size() >= 3; }, 30000));

    const qint64 asked = monotonicMilliseconds();
    child.write("quit\n");
    child.closeWriteChannel();
    ASSERT_TRUE(child.waitForFinished(30000));
    const qint64 ended = monotonicMilliseconds();
    output += child.readAllStandardOutput();
    // Measured, not asserted: from the request, and from the moment the child's event loop took it
    // (both clocks are the system's monotonic clock).
    const qsizetype at = output.indexOf(quittingLine);
    const qint64 taken = at < 0 ? -1 : output.mid(at + qsizetype(std::strlen(quittingLine))).split('\n').value(0).toLongLong();
    std::cout << "quit during the move: process ended " << ended - asked << " ms after the request, "
              << (taken < 0 ? -1 : ended - taken) << " ms after the event loop took it" << std::endl;
    RecordProperty("quitMilliseconds", static_cast<int>(ended - asked));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();

    const std::set<std::string> inPlace = namesIn(items);
    const std::set<std::string> trashed = namesIn(trash / "files");
    const std::set<std::string> records = namesIn(trash / "info");
    EXPECT_GE(trashed.size(), 3u);
    EXPECT_LT(trashed.size(), static_cast<std::size_t>(itemCount)) << "the quit came during the move";
    EXPECT_EQ(inPlace.size() + trashed.size(), static_cast<std::size_t>(itemCount));
    EXPECT_EQ(records.size(), trashed.size()) << "one restore record per trashed item, none for an item left in place";
    for (int i = 0; i < itemCount; ++i) {
        const std::string name = itemName(i);
        const bool here = inPlace.count(name) > 0;
        const bool inTrash = trashed.count(name) > 0;
        ASSERT_NE(here, inTrash) << name << " is in exactly one place";
        const fs::path file = here ? items / name : trash / "files" / name;
        EXPECT_EQ(readAll(file), itemContent(name)) << file;
        if (inTrash) {
            const std::string record = readAll(trash / "info" / (name + ".trashinfo"));
            EXPECT_NE(record.find("\nPath=" + (items / name).string() + "\n"), std::string::npos) << name << ": " << record;
        }
    }
}

} // namespace
} // namespace morvo::appstatetest
