#include "MorvoCore/CleanupDiscovery.h"

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/Path.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

using namespace morvo;
namespace fs = std::filesystem;

namespace {

const char* kPartialReason =
    "This item was only partially scanned. Its size is incomplete, so cleanup is disabled until a complete scan "
    "succeeds.";
const char* kVendorReason =
    "Use this tool\u2019s own cleanup controls. This location is shown for visibility and cannot be added to "
    "Morvo\u2019s cleanup queue.";
const char* kAppleReason = "Apple application data is shown for visibility and protected from cleanup.";
const char* kUnmeasuredReason = "This item could not be measured. Cleanup is disabled until a complete scan succeeds.";

// A scratch home folder laid out like a macOS home.
class Home {
public:
    Home() {
        char pattern[] = "/tmp/morvo-discovery-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) std::abort();
        root_ = fs::canonical(made).string();
    }
    ~Home() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const std::string& root() const { return root_; }
    Url url() const { return Url::file(root_, true); }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }
    void dir(const std::string& relative) const { fs::create_directories(path(relative)); }
    void file(const std::string& relative, std::size_t bytes) const {
        fs::create_directories(fs::path(path(relative)).parent_path());
        std::ofstream(path(relative), std::ios::binary) << std::string(bytes, 'x');
    }
    void link(const std::string& relative, const std::string& target) const {
        fs::create_directories(fs::path(path(relative)).parent_path());
        fs::create_symlink(target, path(relative));
    }

private:
    std::string root_;
};

std::map<std::string, CleanupDiscoveryEntry> byPath(const CleanupDiscoveryResult& result) {
    std::map<std::string, CleanupDiscoveryEntry> out;
    for (const auto& e : result.entries) out.emplace(e.url.path, e);
    return out;
}

// A measurement that reads nothing: one node of `size` bytes.
std::shared_ptr<const DiskSnapshot> fakeSnapshot(const Url& url, std::int64_t size, bool partial = false,
                                                 std::vector<ScanIssue> issues = {}) {
    NodeFacts facts;
    facts.isDirectory = true;
    facts.logicalSize = size;
    facts.fileCount = 1;
    auto now = std::chrono::system_clock::now();
    return makeSingleNodeSnapshot(url.path, std::string(path::lastComponent(url.path)), facts, now, now,
                                  std::move(issues), partial);
}

int realLstat(const std::string& p, FileMetadata& out) {
    try {
        out = statPath(p);
        return 0;
    } catch (const PosixError& e) {
        return e.code();
    }
}

} // namespace

TEST(CleanupDiscoveryScanner, FindsAndMeasuresAreasAndDeveloperCaches) {
    Home h;
    h.file("Library/Caches/org.example.editor/blob", 300);
    h.file("Library/Caches/org.example.editor/sub/more", 100);
    h.dir("Library/Caches/com.apple.Safari");
    h.dir("Library/Caches/COM.APPLE");
    h.file("Library/Caches/com.applesauce.x/a", 5);
    h.file("Library/Caches/.hidden-cache", 7);
    h.link("Library/Caches/linked", h.path("Library/Caches/org.example.editor"));
    h.file("Library/Logs/com.example.app.log", 11);
    h.dir("Library/Logs/a..b.c");
    h.dir("Library/Logs/two.parts");
    h.dir("Library/Logs/com.example.app.log.d/com.example.app.log");
    h.file("Library/Developer/Xcode/DerivedData/Proj-abc/Build/x.o", 1000);
    h.file(".npm/_cacache/index-v5/aa", 40);
    h.file(".gradle/caches/modules-2/x.jar", 50);
    h.file(".cargo/registry/cache/index/c.crate", 60);
    h.dir(".kube/cache/discovery");
    h.dir(".kube/cache/http");
    h.file(".minikube/cache/images/img", 70);
    h.file(".cache/uv/wheels/w", 80);
    h.file("Library/Containers/com.docker.docker/Data/log/vm/console.log", 90);

    CleanupDiscoveryResult result = CleanupDiscoveryScanner::scan(h.url(), 100000, 2000);
    EXPECT_TRUE(result.isComplete);
    EXPECT_TRUE(result.warnings.empty()) << testing::PrintToString(result.warnings);
    auto entries = byPath(result);
    EXPECT_EQ(entries.size(), 18u);
    EXPECT_FALSE(entries.contains(h.path("Library/Caches/linked")));
    EXPECT_FALSE(entries.contains(h.path("Library/Developer/Xcode/DerivedData")));

    const auto& editor = entries.at(h.path("Library/Caches/org.example.editor"));
    EXPECT_EQ(editor.title, "org.example.editor");
    EXPECT_EQ(editor.area, CleanupArea::caches);
    EXPECT_EQ(editor.logicalSize, 400);
    EXPECT_EQ(editor.fileCount, 2);
    EXPECT_EQ(editor.ownerBundleIdentifier, "org.example.editor");
    EXPECT_FALSE(editor.blockedReason.has_value());
    EXPECT_EQ(editor.note, "");
    EXPECT_FALSE(editor.documentationURL.has_value());
    EXPECT_EQ(editor.id(), h.path("Library/Caches/org.example.editor"));

    EXPECT_EQ(entries.at(h.path("Library/Caches/com.apple.Safari")).blockedReason, kAppleReason);
    EXPECT_EQ(entries.at(h.path("Library/Caches/COM.APPLE")).blockedReason, kAppleReason);
    EXPECT_FALSE(entries.at(h.path("Library/Caches/com.applesauce.x")).blockedReason.has_value());
    EXPECT_EQ(entries.at(h.path("Library/Caches/.hidden-cache")).logicalSize, 7);

    EXPECT_EQ(entries.at(h.path("Library/Logs/com.example.app.log")).ownerBundleIdentifier, "com.example.app");
    EXPECT_EQ(entries.at(h.path("Library/Logs/com.example.app.log")).area, CleanupArea::logs);
    EXPECT_FALSE(entries.at(h.path("Library/Logs/a..b.c")).ownerBundleIdentifier.has_value());
    EXPECT_FALSE(entries.at(h.path("Library/Logs/two.parts")).ownerBundleIdentifier.has_value());
    EXPECT_EQ(entries.at(h.path("Library/Logs/com.example.app.log.d")).ownerBundleIdentifier, "com.example.app.log.d");

    const auto& derived = entries.at(h.path("Library/Developer/Xcode/DerivedData/Proj-abc"));
    const DeveloperCacheLocation& xcode = DeveloperCacheLocations::all()[6];
    EXPECT_EQ(derived.area, CleanupArea::developer);
    EXPECT_EQ(derived.ownerBundleIdentifier, "com.apple.dt.Xcode");
    EXPECT_EQ(derived.note, xcode.note);
    EXPECT_EQ(derived.documentationURL, xcode.documentationURL);
    EXPECT_FALSE(derived.blockedReason.has_value());

    // Each developer-tool cache a Linux home really has is found, under its row's title and policy.
    for (const DeveloperCacheLocation& row : DeveloperCacheLocations::all()) {
        if (row.id == "xcode-derived-data") continue;
        SCOPED_TRACE(row.id);
        ASSERT_TRUE(entries.contains(h.path(row.relativeHomePath)));
        const auto& e = entries.at(h.path(row.relativeHomePath));
        EXPECT_EQ(e.title, row.title);
        EXPECT_EQ(e.area, CleanupArea::developer);
        EXPECT_EQ(e.note, row.note);
        EXPECT_EQ(e.documentationURL, row.documentationURL);
        EXPECT_EQ(e.blockedReason.has_value(), row.cleanupPolicy == DeveloperCacheCleanupPolicy::vendorManaged);
        if (e.blockedReason) {
            EXPECT_EQ(*e.blockedReason, kVendorReason);
        }
    }
    EXPECT_EQ(entries.at(h.path(".cache/uv")).logicalSize, 80);
    EXPECT_FALSE(entries.at(h.path(".npm/_cacache")).ownerBundleIdentifier.has_value());

    // Largest first.
    for (std::size_t i = 1; i < result.entries.size(); ++i)
        EXPECT_GE(result.entries[i - 1].logicalSize, result.entries[i].logicalSize);
    EXPECT_EQ(result.entries.front().url.path, h.path("Library/Developer/Xcode/DerivedData/Proj-abc"));
}

TEST(CleanupDiscoveryScanner, HomeProblemsEndTheScanWithOneWarning) {
    Home h;
    h.dir("real/home/Library/Caches/x");
    h.link("linked", h.path("real"));
    struct Case {
        Url home;
        std::string warning;
    };
    const Case cases[] = {
        {Url::parse("https://example.com/home"), "Choose a home folder on this Mac."},
        {Url::file(h.path("linked/home"), true),
         "Could not inspect the home folder at " + h.path("linked/home") +
             ": Symbolic-link locations are excluded: " + h.path("linked")},
        {Url::file(h.path("missing"), true),
         "Could not inspect the home folder at " + h.path("missing") + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        CleanupDiscoveryResult result = CleanupDiscoveryScanner::scan(c.home, 100000, 2000);
        EXPECT_TRUE(result.entries.empty());
        EXPECT_FALSE(result.isComplete);
        EXPECT_EQ(result.warnings, std::vector<std::string>{c.warning});
    }

    // A relative home folder while the current folder is deleted cannot be named: the same
    // warning, not an error out of the scan.
    const int saved = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(saved, 0);
    h.dir("gone");
    ASSERT_EQ(::chdir(h.path("gone").c_str()), 0);
    ASSERT_EQ(::rmdir(h.path("gone").c_str()), 0);
    CleanupDiscoveryResult result;
    EXPECT_NO_THROW(result = CleanupDiscoveryScanner::scan(Url::file("home", true), 100000, 2000));
    ASSERT_EQ(::fchdir(saved), 0);
    ::close(saved);
    EXPECT_TRUE(result.entries.empty());
    EXPECT_FALSE(result.isComplete);
    EXPECT_EQ(result.warnings, std::vector<std::string>{"Could not inspect the home folder at home: The relative path "
                                                        "\u201Chome\u201D can\u2019t be used because the current "
                                                        "folder is no longer available."});
}

TEST(CleanupDiscoveryScanner, LinkedOrMissingAreaRoots) {
    Home h;
    h.dir("elsewhere/org.example.a");
    h.link("Library/Caches", h.path("elsewhere"));
    h.file("Library/Developer/Xcode/DerivedData", 3);  // a file where a folder belongs
    h.file(".npm/_cacache/x", 10);
    // No Library/Logs at all: that is normal.
    CleanupDiscoveryResult result = CleanupDiscoveryScanner::scan(h.url(), 100000, 2000);
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "Could not inspect Caches at " + h.path("Library/Caches") +
                      ": Symbolic-link locations are excluded: " + h.path("Library/Caches"),
                  "Could not inspect Developer at " + h.path("Library/Developer/Xcode/DerivedData") +
                      ": The location is not a directory: " + h.path("Library/Developer/Xcode/DerivedData")}));
    EXPECT_FALSE(result.isComplete);
    ASSERT_EQ(result.entries.size(), 1u);
    EXPECT_EQ(result.entries[0].title, "npm package cache");

    Home quiet;
    quiet.dir("Library/Caches/org.example.a");
    CleanupDiscoveryResult complete = CleanupDiscoveryScanner::scan(quiet.url(), 100000, 2000);
    EXPECT_TRUE(complete.isComplete);
    EXPECT_TRUE(complete.warnings.empty());
    EXPECT_EQ(complete.entries.size(), 1u);
}

TEST(CleanupDiscoveryScanner, ListingLimitPerArea) {
    Home h;
    h.link("Library/Caches/only-a-link", "/nonexistent");
    CleanupDiscoveryResult single = CleanupDiscoveryScanner::scan(h.url(), 100000, 0);
    EXPECT_TRUE(single.isComplete);  // one child fits a limit of 0, raised to 1
    EXPECT_TRUE(single.entries.empty());

    h.dir("Library/Caches/org.example.a");
    CleanupDiscoveryResult over = CleanupDiscoveryScanner::scan(h.url(), 100000, 0);
    EXPECT_EQ(over.warnings, (std::vector<std::string>{"Caches reached its 1-entry listing limit. Some locations "
                                                       "were not measured."}));
    EXPECT_FALSE(over.isComplete);
    EXPECT_LE(over.entries.size(), 1u);

    // The real limit, with measurement stubbed out so the test stays quick.
    Home many;
    for (int i = 0; i <= 2000; ++i) many.file("Library/Logs/l" + std::to_string(i), 0);
    CleanupDiscoveryScanner::Environment environment;
    environment.measure = [](const Url& url, std::int64_t, std::int64_t, std::stop_token) {
        return fakeSnapshot(url, 1);
    };
    CleanupDiscoveryResult big = CleanupDiscoveryScanner::scan(many.url(), 100000, 2000, {}, environment);
    EXPECT_EQ(big.entries.size(), 2000u);
    EXPECT_EQ(big.warnings, (std::vector<std::string>{"Logs reached its 2,000-entry listing limit. Some locations "
                                                      "were not measured."}));
}

TEST(CleanupDiscoveryScanner, MeasurementOutcomes) {
    Home h;
    h.dir("Library/Caches/org.example.partial");
    h.dir("Library/Caches/org.example.noted");
    h.dir("Library/Caches/org.example.denied");
    h.dir(".npm/_cacache");
    h.dir(".cache/uv");
    CleanupDiscoveryScanner::Environment environment;
    environment.lstat = [&](const std::string& p, FileMetadata& out) {
        if (p == h.path("Library/Caches/org.example.denied")) return EACCES;
        return realLstat(p, out);
    };
    environment.measure = [&](const Url& url, std::int64_t maxNodes, std::int64_t maxIssues,
                              std::stop_token) -> std::shared_ptr<const DiskSnapshot> {
        EXPECT_EQ(maxNodes, 1);  // 0 raised to 1
        EXPECT_EQ(maxIssues, 40);
        if (url.path == h.path(".npm/_cacache")) throw PosixError(EACCES, url.path);
        if (url.path == h.path("Library/Caches/org.example.partial"))
            return fakeSnapshot(url, 9, true, {makeScanIssue(url.path + "/deep", "Scan limit reached")});
        if (url.path == h.path("Library/Caches/org.example.noted"))
            return fakeSnapshot(url, 8, false, {makeScanIssue(url.path + "/odd", "Skipped")});
        if (url.path == h.path(".cache/uv")) return fakeSnapshot(url, 7, true);
        return fakeSnapshot(url, 1);
    };
    CleanupDiscoveryResult result = CleanupDiscoveryScanner::scan(h.url(), 0, 2000, {}, environment);
    EXPECT_FALSE(result.isComplete);
    std::set<std::string> warnings(result.warnings.begin(), result.warnings.end());
    EXPECT_EQ(warnings, (std::set<std::string>{
                            "Caches: " + h.path("Library/Caches/org.example.partial/deep") + " \u2014 Scan limit reached",
                            "Caches: " + h.path("Library/Caches/org.example.noted/odd") + " \u2014 Skipped",
                            "Could not inspect " + h.path("Library/Caches/org.example.denied") + ": Permission denied",
                            "Could not measure npm package cache at " + h.path(".npm/_cacache") +
                                ": Permission denied"}));
    auto entries = byPath(result);
    EXPECT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries.at(h.path("Library/Caches/org.example.partial")).blockedReason, kPartialReason);
    EXPECT_TRUE(entries.at(h.path("Library/Caches/org.example.partial")).isPartial);
    EXPECT_FALSE(entries.at(h.path("Library/Caches/org.example.noted")).blockedReason.has_value());
    EXPECT_EQ(entries.at(h.path(".cache/uv")).blockedReason, kPartialReason);  // partial wins over vendor
    const auto& npm = entries.at(h.path(".npm/_cacache"));
    EXPECT_EQ(npm.title, "npm package cache");
    EXPECT_EQ(npm.logicalSize, 0);
    EXPECT_EQ(npm.fileCount, 0);
    EXPECT_TRUE(npm.isPartial);
    EXPECT_EQ(npm.blockedReason, kUnmeasuredReason);
    EXPECT_EQ(npm.note, DeveloperCacheLocations::all()[0].note);

    // Issues of a complete measurement are reported but leave the result complete.
    Home clean;
    clean.dir("Library/Caches/org.example.noted");
    CleanupDiscoveryScanner::Environment noted;
    noted.measure = [](const Url& url, std::int64_t, std::int64_t, std::stop_token) {
        return fakeSnapshot(url, 8, false, {makeScanIssue(url.path + "/odd", "Skipped")});
    };
    CleanupDiscoveryResult withIssues = CleanupDiscoveryScanner::scan(clean.url(), 10, 10, {}, noted);
    EXPECT_TRUE(withIssues.isComplete);
    EXPECT_EQ(withIssues.warnings.size(), 1u);
}

TEST(CleanupDiscoveryScanner, EqualSizesSortByPathTheSameWayEveryRun) {
    Home h;
    for (const char* name : {"b10", "b9", "B9", "a"}) h.file(std::string("Library/Caches/") + name, 4);
    h.file("Library/Caches/big", 50);
    CleanupDiscoveryResult result = CleanupDiscoveryScanner::scan(h.url(), 100, 100);
    std::vector<std::string> order;
    for (const auto& e : result.entries) order.push_back(e.title);
    // Digit runs by value; "B9" and "b9" compare equal for the collator and fall back to byte order.
    EXPECT_EQ(order, (std::vector<std::string>{"big", "a", "B9", "b9", "b10"}));
}

TEST(CleanupDiscoveryScanner, Cancellation) {
    Home h;
    h.dir("Library/Caches/org.example.a");
    h.dir("Library/Logs/org.example.b");
    std::stop_source cancelled;
    cancelled.request_stop();
    EXPECT_THROW(CleanupDiscoveryScanner::scan(h.url(), 10, 10, cancelled.get_token()), CancellationError);

    // Cancelled inside a measurement, and after the last measurement finished.
    for (const std::string& trigger : {h.path("Library/Caches/org.example.a"), h.path("Library/Logs/org.example.b")}) {
        std::stop_source source;
        CleanupDiscoveryScanner::Environment environment;
        environment.measure = [&](const Url& url, std::int64_t, std::int64_t, std::stop_token) {
            if (url.path == trigger) source.request_stop();
            return fakeSnapshot(url, 1);
        };
        EXPECT_THROW(CleanupDiscoveryScanner::scan(h.url(), 10, 10, source.get_token(), environment),
                     CancellationError)
            << trigger;
    }
    // A cancellation thrown by the disk scanner is passed on, not turned into a warning.
    CleanupDiscoveryScanner::Environment throwing;
    throwing.measure = [](const Url&, std::int64_t, std::int64_t,
                          std::stop_token) -> std::shared_ptr<const DiskSnapshot> { throw CancellationError(); };
    EXPECT_THROW(CleanupDiscoveryScanner::scan(h.url(), 10, 10, {}, throwing), CancellationError);
}
