#include "Morvo/Platform/RunningApplications.h"
#include "Support/SubstateFakes.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace morvo;
using namespace morvo::testing::substates;
namespace fs = std::filesystem;

namespace {

std::optional<RunningApplication> find(const std::vector<RunningApplication>& apps, const std::string& bundle) {
    for (const auto& app : apps)
        if (app.bundleURL && app.bundleURL->path == bundle) return app;
    return std::nullopt;
}

} // namespace

TEST(RunningApplications, BundleOfAnExecutablePath) {
    struct Case {
        const char* exe;
        std::optional<std::string> bundle;
    };
    const Case cases[] = {
        {"/Apps/Foo.app/Contents/MacOS/foo", "/Apps/Foo.app"},
        {"/Apps/Foo.APP/Contents/MacOS/foo", "/Apps/Foo.APP"},
        {"/Apps/Foo.app/Contents/MacOS/foo (deleted)", "/Apps/Foo.app"},
        // A helper bundle inside another bundle is its own application.
        {"/Apps/Foo.app/Contents/Helpers/Bar.app/Contents/MacOS/bar", "/Apps/Foo.app/Contents/Helpers/Bar.app"},
        {"/Apps/Foo.app/Contents/Resources/tool", std::nullopt},
        {"/Apps/Foo.app/Contents/MacOS/", std::nullopt},
        {"/Apps/Foo/Contents/MacOS/foo", std::nullopt},
        {"/Apps/.app/Contents/MacOS/foo", std::nullopt},
        {"/usr/bin/sleep", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ProcRunningApplications::bundlePath(c.exe), c.bundle) << c.exe;
}

TEST(RunningApplications, OwnerRuleNeedsEqualityOrADotBoundary) {
    const std::set<std::string> running = {"com.example.app.helper", "org.sample"};
    EXPECT_TRUE(ownerIsRunning(running, "com.example.app"));
    EXPECT_TRUE(ownerIsRunning(running, "com.example.app.helper"));
    EXPECT_TRUE(ownerIsRunning(running, "org.sample"));
    EXPECT_FALSE(ownerIsRunning(running, "org.sam"));
    EXPECT_FALSE(ownerIsRunning(running, "com.example.ap"));
    EXPECT_FALSE(ownerIsRunning(running, "COM.EXAMPLE.APP"));
    EXPECT_FALSE(ownerIsRunning(running, std::nullopt));
}

// A /proc stand-in: only this user's processes whose executable lies in a bundle count; the
// identifier comes from the bundle's Info.plist, and an unreadable one leaves it out.
TEST(RunningApplications, ReadsThisUsersBundledProcesses) {
    TempFolder fixture;
    const std::string foo = fixture.bundle("Apps/Foo.app", "com.example.foo");
    const std::string bare = fixture.folder("Apps/Bare.app/Contents/MacOS");
    const std::string other = fixture.bundle("Apps/Other.app", "com.example.other");
    fixture.folder("proc/100");
    fs::create_symlink(foo + "/Contents/MacOS/foo", fixture.path("proc/100/exe"));
    fixture.folder("proc/101");
    fs::create_symlink("/usr/bin/sleep", fixture.path("proc/101/exe"));
    fixture.folder("proc/102");
    fs::create_symlink(fixture.path("Apps/Bare.app/Contents/MacOS/bare"), fixture.path("proc/102/exe"));
    fixture.folder("proc/103");
    fs::create_symlink(other + "/Contents/MacOS/other", fixture.path("proc/103/exe"));
    ASSERT_EQ(::chown(fixture.path("proc/103").c_str(), 65534, 65534), 0);
    fixture.folder("proc/self-ish");

    ProcRunningApplications reader(fixture.path("proc"), ::getuid(), std::chrono::milliseconds(60000));
    auto apps = reader.runningApplications();
    ASSERT_EQ(apps.size(), 2u);
    auto fooApp = find(apps, foo);
    ASSERT_TRUE(fooApp);
    EXPECT_EQ(fooApp->bundleIdentifier, "com.example.foo");
    auto bareApp = find(apps, fixture.path("Apps/Bare.app"));
    ASSERT_TRUE(bareApp);
    EXPECT_EQ(bareApp->bundleIdentifier, std::nullopt);
    (void)bare;
}

TEST(RunningApplications, PollAnnouncesLaunchesAndQuits) {
    TempFolder fixture;
    const std::string foo = fixture.bundle("Apps/Foo.app", "com.example.foo");
    fixture.folder("proc");
    ProcRunningApplications reader(fixture.path("proc"), ::getuid(), std::chrono::milliseconds(20));
    QSignalSpy changed(&reader, &RunningApplications::applicationsChanged);

    QTest::qWait(80);
    EXPECT_EQ(changed.count(), 0);  // nothing launched, nothing announced

    fixture.folder("proc/200");
    fs::create_symlink(foo + "/Contents/MacOS/foo", fixture.path("proc/200/exe"));
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 1; }));
    EXPECT_TRUE(find(reader.runningApplications(), foo));

    fs::remove_all(fixture.path("proc/200"));
    ASSERT_TRUE(waitUntil([&] { return changed.count() == 2; }));
    EXPECT_TRUE(reader.runningApplications().empty());
}

// The real /proc: a process started from inside a bundle is found with its identifier.
TEST(RunningApplications, FindsARealProcessInsideABundle) {
    TempFolder fixture;
    const std::string bundle = fixture.bundle("Sleeper.app", "com.example.sleeper");
    const std::string exe = bundle + "/Contents/MacOS/sleeper";
    fs::copy_file("/bin/sleep", exe);
    fs::permissions(exe, fs::perms::owner_all);

    ProcRunningApplications reader;
    EXPECT_FALSE(find(reader.runningApplications(), bundle));

    QProcess process;
    process.start(QString::fromStdString(exe), {"30"});
    ASSERT_TRUE(process.waitForStarted());
    auto app = find(reader.runningApplications(), bundle);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier, "com.example.sleeper");

    process.kill();
    process.waitForFinished();
    EXPECT_FALSE(find(reader.runningApplications(), bundle));
}
