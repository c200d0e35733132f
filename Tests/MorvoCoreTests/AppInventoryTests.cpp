#include "MorvoCore/AppInventory.h"

#include "MorvoCore/Platform/Errors.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <algorithm>

using namespace morvo;
namespace fs = std::filesystem;

namespace {

const char* kIncomplete =
    "Discovery was incomplete. Possible leftovers are hidden because an unreadable or unidentified app could "
    "still own these files.";

// A scratch folder laid out like a home: Applications roots and a Library.
class Fixture {
public:
    Fixture() {
        char pattern[] = "/tmp/morvo-inventory-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) std::abort();
        root_ = fs::canonical(made).string();
    }
    ~Fixture() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }
    Url url(const std::string& relative) const { return Url::file(path(relative), true); }
    Url library() const { return url("Library"); }

    void dir(const std::string& relative) const { fs::create_directories(path(relative)); }
    void file(const std::string& relative, const std::string& contents = "") const {
        fs::create_directories(fs::path(path(relative)).parent_path());
        std::ofstream(path(relative), std::ios::binary) << contents;
    }
    void link(const std::string& relative, const std::string& target) const {
        fs::create_directories(fs::path(path(relative)).parent_path());
        fs::create_symlink(target, path(relative));
    }

    static std::string xmlPlist(const std::map<std::string, std::string>& values) {
        std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
        for (const auto& [k, v] : values) s += "<key>" + k + "</key><string>" + v + "</string>\n";
        return s + "</dict>\n</plist>\n";
    }
    static std::string binaryPlist(const std::map<std::string, std::string>& values) {
        plist_t dict = plist_new_dict();
        for (const auto& [k, v] : values) plist_dict_set_item(dict, k.c_str(), plist_new_string(v.c_str()));
        char* data = nullptr;
        uint32_t length = 0;
        plist_to_bin(dict, &data, &length);
        std::string out(data, length);
        std::free(data);
        plist_free(dict);
        return out;
    }

    // An application bundle at `relative` ("Applications/Editor.app").
    void app(const std::string& relative, const std::string& identifier, const std::string& name = "",
             bool binary = false) const {
        std::map<std::string, std::string> values{{"CFBundleIdentifier", identifier}};
        if (!name.empty()) values["CFBundleName"] = name;
        file(relative + "/Contents/Info.plist", binary ? binaryPlist(values) : xmlPlist(values));
    }

private:
    std::string root_;
};

std::vector<std::string> names(const AppInventoryResult& result) {
    std::vector<std::string> out;
    for (const auto& app : result.apps) out.push_back(app.name);
    return out;
}

} // namespace

TEST(AppInventoryRecords, KindsAndDefaults) {
    EXPECT_FALSE(appRelatedKindFromRawValue("Caches").has_value());
    EXPECT_EQ(appRelatedKindFromRawValue("caches"), AppRelatedKind::caches);
    for (AppRelatedKind kind : allAppRelatedKinds) EXPECT_EQ(appRelatedKindFromRawValue(rawValue(kind)), kind);
    EXPECT_EQ(rawValue(AppRelatedKind::applicationSupport), "applicationSupport");
    EXPECT_EQ(title(AppRelatedKind::containers), "App container");
    EXPECT_EQ(libraryFolder(AppRelatedKind::httpStorage), "HTTPStorages");
    EXPECT_EQ(caution(AppRelatedKind::containers),
              "May contain the app's documents, databases, and settings. This is persistent user data, not just a "
              "cache.");

    AppRelatedFile defaulted(Url::file("/L/x.savedState", true), AppRelatedKind::savedState, std::nullopt, "r",
                             std::nullopt, "x.y");
    EXPECT_EQ(defaulted.title, "Saved application state");
    EXPECT_EQ(defaulted.caution, caution(AppRelatedKind::savedState));
    EXPECT_EQ(defaulted.id(), "/L/x.savedState");
    AppRelatedFile given(Url::file("/L/x", true), AppRelatedKind::caches, "T", "r", "C", "x.y");
    EXPECT_EQ(given.title, "T");
    EXPECT_EQ(given.caution, "C");

    InstalledApp a{"Editor", "org.example.editor", Url::file("/Applications/Editor.app", true), {}};
    InstalledApp b{"Editor", "org.example.editor", Url::file("/Users/u/Applications/Editor.app", true), {}};
    EXPECT_NE(a.id(), b.id());
    EXPECT_NE(a, b);
    LeftoverGroup lower{"org.example.old", "t", {}, "c"}, upper{"org.Example.Old", "t", {}, "c"};
    EXPECT_NE(lower.id(), upper.id());
}

// Twenty applications, their data and leftover identifiers: the whole result at once.
TEST(AppInventoryScanner, FullInventoryOfAFixtureHome) {
    Fixture f;
    std::vector<std::string> expectedNames;
    for (int i = 1; i <= 20; ++i) {
        std::string n = std::to_string(i);
        std::string root = i % 2 ? "Applications" : "UserApps/Nested";
        f.app(root + "/App" + n + ".app", "org.example.app" + n, "App " + n, /*binary=*/i % 3 == 0);
    }
    // Related data of installed apps, across kinds.
    f.dir("Library/Caches/org.example.app1");
    f.file("Library/Preferences/org.example.app1.plist");
    f.dir("Library/Saved Application State/org.example.app1.savedState");
    f.dir("Library/Containers/org.example.app2");
    f.dir("Library/HTTPStorages/org.example.app20");
    // Not attached, not leftovers: a helper of an installed app, a case variant, a two-label name.
    f.dir("Library/Caches/org.example.app1.agent");
    f.dir("Library/Caches/org.Example.App2");
    f.dir("Library/Caches/example.editor");
    // Skipped without a warning.
    f.dir("Library/Caches/.org.example.hidden");
    f.dir("Library/Caches/com.apple.Safari");
    f.dir("Library/Caches/group.org.example.shared");
    f.dir("Library/Caches/not_an_identifier.x.y");
    f.dir("Library/Preferences/org.example.app3.plist");  // a folder, not a file
    f.file("Library/Caches/org.example.app3");            // a file, not a folder
    f.dir("Library/Preferences/org.example.app4");        // no ".plist" ending
    // Five leftover identifiers.
    f.dir("Library/Caches/org.example.old");
    f.dir("Library/Logs/org.example.old");
    f.dir("Library/Application Support/net.example.gone10");
    f.dir("Library/Application Support/net.example.gone9");
    f.file("Library/Preferences/io.example.tool.plist");
    f.dir("Library/WebKit/com.applesauce.browser");
    f.dir("Library/Logs/org.Example.Old");  // a case variant is a group of its own

    AppInventoryResult result = AppInventoryScanner::scan({f.url("Applications"), f.url("UserApps")}, f.library());
    EXPECT_TRUE(result.isComplete);
    EXPECT_TRUE(result.warnings.empty()) << result.warnings.front();

    std::vector<std::string> expected;
    for (int i = 1; i <= 20; ++i) expected.push_back("App " + std::to_string(i));
    EXPECT_EQ(names(result), expected);  // digit runs compare by value

    auto find = [&](const std::string& id) -> const InstalledApp& {
        for (const auto& app : result.apps)
            if (app.bundleIdentifier == id) return app;
        ADD_FAILURE() << id;
        return result.apps.front();
    };
    const InstalledApp& app1 = find("org.example.app1");
    ASSERT_EQ(app1.relatedFiles.size(), 3u);
    EXPECT_EQ(app1.relatedFiles[0].kind, AppRelatedKind::caches);
    EXPECT_EQ(app1.relatedFiles[0].url.path, f.path("Library/Caches/org.example.app1"));
    EXPECT_EQ(app1.relatedFiles[0].reason,
              "Exact bundle-identifier path match for org.example.app1. Confirm the contents before removing anything.");
    EXPECT_EQ(app1.relatedFiles[0].title, "Caches");
    EXPECT_EQ(app1.relatedFiles[0].ownerBundleIdentifier, "org.example.app1");
    EXPECT_EQ(app1.relatedFiles[1].kind, AppRelatedKind::preferences);
    EXPECT_EQ(app1.relatedFiles[1].url.path, f.path("Library/Preferences/org.example.app1.plist"));
    EXPECT_EQ(app1.relatedFiles[2].kind, AppRelatedKind::savedState);
    EXPECT_EQ(find("org.example.app2").relatedFiles.size(), 1u);
    EXPECT_EQ(find("org.example.app20").relatedFiles.at(0).title, "HTTP storage");
    EXPECT_TRUE(find("org.example.app3").relatedFiles.empty());
    EXPECT_TRUE(find("org.example.app4").relatedFiles.empty());
    EXPECT_EQ(find("org.example.app6").bundleURL.path, f.path("UserApps/Nested/App6.app"));

    std::vector<std::string> groups;
    for (const auto& g : result.leftovers) groups.push_back(g.bundleIdentifier);
    EXPECT_EQ(groups, (std::vector<std::string>{"com.applesauce.browser", "io.example.tool", "net.example.gone9",
                                                "net.example.gone10", "org.Example.Old", "org.example.old"}));
    const LeftoverGroup& old = result.leftovers.back();
    EXPECT_EQ(old.title, "Possible leftover");
    EXPECT_EQ(old.caution,
              "Ownership is unverified. The app may have moved, may be installed outside the scanned folders, or may "
              "be a helper for another app. Review each path; nothing is selected automatically.");
    ASSERT_EQ(old.files.size(), 2u);
    EXPECT_EQ(old.files[0].kind, AppRelatedKind::caches);
    EXPECT_EQ(old.files[1].kind, AppRelatedKind::logs);
    EXPECT_EQ(old.files[1].reason,
              "No matching app identity was found in the selected application folders. This does not prove that the "
              "file is unused.");
    EXPECT_EQ(old.files[1].caution, caution(AppRelatedKind::logs));
    EXPECT_EQ(old.files[1].ownerBundleIdentifier, "org.example.old");
}

TEST(AppInventoryScanner, BundleIdentityRules) {
    Fixture f;
    f.dir("Library");
    f.app("A/Plain.app", "org.example.plain");
    f.file("A/Display.app/Contents/Info.plist",
           Fixture::xmlPlist({{"CFBundleIdentifier", "org.example.display"},
                              {"CFBundleDisplayName", "  Shown Name \n"},
                              {"CFBundleName", "Hidden"}}));
    f.file("A/Spaces.app/Contents/Info.plist",
           Fixture::xmlPlist({{"CFBundleIdentifier", "org.example.spaces"}, {"CFBundleDisplayName", "   "},
                              {"CFBundleName", "Fallback"}}));
    f.file("A/NoName.app/Contents/Info.plist", Fixture::xmlPlist({{"CFBundleIdentifier", " org.example.noname"}}));
    f.app("A/Bare.app", "org.example.bare");  // no names at all
    f.app("A/Upper.APP", "org.example.upper", "Upper");
    f.app("A/Apple.app", "com.apple.Safari", "Apple");
    f.app("A/AppleRoot.app", "COM.APPLE", "AppleRoot");
    f.app("A/Group.app", "Group.org.example", "Group");
    f.app("A/Sauce.app", "com.applesauce.x", "Sauce");
    f.app("A/Twin.app", "org.example.twin", "Twin");
    f.app("B/Twin.app", "org.example.twin", "Twin");
    f.file("A/notes.txt", "x");

    AppInventoryResult result = AppInventoryScanner::scan({f.url("B"), f.url("A")}, f.library());
    // The identifier " org.example.noname" (leading space) is invalid.
    ASSERT_EQ(result.warnings.size(), 2u) << testing::PrintToString(result.warnings);
    EXPECT_EQ(result.warnings[0], "Could not verify the app identity at " + f.path("A/NoName.app") +
                                      ": the bundle identifier is missing or invalid.");
    EXPECT_EQ(result.warnings[1], kIncomplete);
    EXPECT_FALSE(result.isComplete);
    EXPECT_EQ(names(result), (std::vector<std::string>{"Bare", "Fallback", "Plain", "Sauce", "Shown Name", "Twin",
                                                       "Twin", "Upper"}));
    EXPECT_EQ(result.apps[5].bundleURL.path, f.path("A/Twin.app"));  // equal names: by path
    EXPECT_EQ(result.apps[6].bundleURL.path, f.path("B/Twin.app"));
}

TEST(AppInventoryScanner, RootThatIsABundleAndRootGivenTwice) {
    Fixture f;
    f.app("Apps/Solo.app", "org.example.solo", "Solo");
    AppInventoryResult result =
        AppInventoryScanner::scan({f.url("Apps/Solo.app"), f.url("Apps"), f.url("Apps")}, f.library());
    EXPECT_EQ(names(result), (std::vector<std::string>{"Solo"}));
    // The missing Library is a problem of its own.
    ASSERT_EQ(result.warnings.size(), 2u);
    EXPECT_EQ(result.warnings[0],
              "Could not inspect the user Library at " + f.path("Library") + ": No such file or directory");
}

TEST(AppInventoryScanner, InfoPlistProblemsBecomeWarnings) {
    Fixture f;
    f.dir("Library");
    const std::string verify = "Could not verify the app identity at ";
    // Exactly 1 MiB is read; one byte more is refused.
    std::string body = Fixture::xmlPlist({{"CFBundleIdentifier", "org.example.big"}, {"CFBundleName", "Big"}});
    f.file("A/Big.app/Contents/Info.plist", body + std::string(1048576 - body.size(), ' '));
    f.file("A/Huge.app/Contents/Info.plist", body + std::string(1048577 - body.size(), ' '));
    f.file("A/Garbage.app/Contents/Info.plist", "<plist><dict><key>x</key>");
    f.file("A/Array.app/Contents/Info.plist", "<plist version=\"1.0\"><array><string>a</string></array></plist>");
    f.file("A/NoId.app/Contents/Info.plist", Fixture::xmlPlist({{"CFBundleName", "NoId"}}));
    f.dir("A/NoPlist.app/Contents");
    f.dir("A/Empty.app");
    f.dir("A/Fifo.app/Contents");
    ASSERT_EQ(mkfifo(f.path("A/Fifo.app/Contents/Info.plist").c_str(), 0644), 0);
    f.app("Elsewhere/Real.app", "org.example.real", "Real");
    f.dir("A/LinkedContents.app");
    f.link("A/LinkedContents.app/Contents", f.path("Elsewhere/Real.app/Contents"));
    f.dir("A/LinkedPlist.app/Contents");
    f.link("A/LinkedPlist.app/Contents/Info.plist", f.path("Elsewhere/Real.app/Contents/Info.plist"));

    AppInventoryResult result = AppInventoryScanner::scan({f.url("A")}, f.library());
    EXPECT_EQ(names(result), (std::vector<std::string>{"Big"}));
    std::set<std::string> warnings(result.warnings.begin(), result.warnings.end());
    const std::string format = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
    const std::set<std::string> expected = {
        verify + f.path("A/Huge.app") + ": Info.plist is unexpectedly large.",
        "Could not read the app identity at " + f.path("A/Garbage.app") + ": " + format,
        verify + f.path("A/Array.app") + ": the bundle identifier is missing or invalid.",
        verify + f.path("A/NoId.app") + ": the bundle identifier is missing or invalid.",
        "Could not read the app identity at " + f.path("A/NoPlist.app") + ": No such file or directory",
        "Could not read the app identity at " + f.path("A/Empty.app") + ": No such file or directory",
        verify + f.path("A/Fifo.app") + ": metadata is missing or uses a symbolic link.",
        verify + f.path("A/LinkedContents.app") + ": metadata is missing or uses a symbolic link.",
        verify + f.path("A/LinkedPlist.app") + ": metadata is missing or uses a symbolic link.",
        kIncomplete,
    };
    EXPECT_EQ(warnings, expected);
    EXPECT_EQ(result.warnings.back(), kIncomplete);
}

TEST(AppInventoryScanner, RootAndWalkWarnings) {
    Fixture f;
    f.dir("Library");
    f.app("Real/Inside/Tool.app", "org.example.tool", "Tool");
    f.link("Through", f.path("Real"));
    f.file("NotAFolder");
    f.dir("Walk");
    f.link("Walk/dangling", f.path("missing"));
    f.link("Walk/to-dir", f.path("Real"));
    f.link("Walk/to-bundle", f.path("Real/Inside/Tool.app"));
    f.link("Walk/to-protected", "/usr/bin");
    f.link("Walk/to-file", f.path("NotAFolder"));
    f.file("Walk/readme.txt");

    Url mail = Url::parse("mailto:someone@example.com");
    AppInventoryResult result = AppInventoryScanner::scan(
        {mail, f.url("Through/Inside"), Url::file("/usr/share", true), f.url("NotAFolder"),
         f.url("Missing"), f.url("Walk")},
        f.library());
    // The stack visits the last root first.
    const std::vector<std::string> expected = {
        "An application location is not a local folder: mailto:someone@example.com",
        "Symbolic-link application location was excluded: " + f.path("Through"),
        "Could not verify application folder " + f.path("Missing") + ": No such file or directory",
        "Symbolic link was excluded from application discovery: " + f.path("Walk/dangling"),
        "Symbolic link was excluded from application discovery: " + f.path("Walk/to-bundle"),
        "Symbolic link was excluded from application discovery: " + f.path("Walk/to-dir"),
        "Application location is not a directory: " + f.path("NotAFolder"),
        "Protected system location was excluded: /usr/share",
        kIncomplete,
    };
    std::vector<std::string> got = result.warnings;
    // Link warnings of one folder follow the listing order; compare them as a set.
    std::sort(got.begin() + 3, got.begin() + 6);
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(result.apps.empty());
}

TEST(AppInventoryScanner, EmptyRootListStillReadsLibraryButOffersNoLeftovers) {
    Fixture f;
    f.dir("Library/Caches/org.example.old");
    AppInventoryResult result = AppInventoryScanner::scan({}, f.library());
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{"No application folders were selected. Possible leftovers are hidden until "
                                        "application discovery succeeds.",
                                        kIncomplete}));
    EXPECT_FALSE(result.isComplete);
    EXPECT_TRUE(result.leftovers.empty());
}

TEST(AppInventoryScanner, LibraryChecks) {
    Fixture f;
    f.dir("Apps");
    f.dir("RealLibrary");
    f.link("LinkedLibrary", f.path("RealLibrary"));
    f.file("FileLibrary");
    struct Case {
        Url library;
        std::string warning;
    };
    const Case cases[] = {
        {Url::parse("https://example.com/Library"), "The user Library must be a local folder."},
        {f.url("LinkedLibrary"), "Symbolic-link user Library location was excluded: " + f.path("LinkedLibrary")},
        {f.url("LinkedLibrary/Sub"),
         "Symbolic-link user Library location was excluded: " + f.path("LinkedLibrary")},
        {f.url("FileLibrary"), "The user Library is not a regular directory: " + f.path("FileLibrary")},
    };
    for (const Case& c : cases) {
        AppInventoryResult result = AppInventoryScanner::scan({f.url("Apps")}, c.library);
        EXPECT_EQ(result.warnings, (std::vector<std::string>{c.warning, kIncomplete})) << c.warning;
    }
}

TEST(AppInventoryScanner, RelatedDataWarnings) {
    Fixture f;
    f.app("Apps/Editor.app", "org.example.editor", "Editor");
    f.dir("Library/Caches/org.example.editor");
    f.link("Library/Application Support/org.example.editor", f.path("Library/Caches/org.example.editor"));
    f.file("Library/Logs");  // a file where a folder belongs
    f.dir("Library/Containers/org.example.denied");
    f.dir("Library/WebKit");

    AppInventoryScanner::Environment environment;
    environment.lstat = [&](const std::string& p, FileMetadata& out) {
        if (p == f.path("Library/WebKit")) return EACCES;
        if (p == f.path("Library/Containers/org.example.denied")) return EACCES;
        try {
            out = statPath(p);
            return 0;
        } catch (const PosixError& e) {
            return e.code();
        }
    };
    AppInventoryResult result = AppInventoryScanner::scan({f.url("Apps")}, f.library(), {}, environment);
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "Symbolic-link related data was excluded: " + f.path("Library/Application Support/org.example.editor"),
                  "Could not inspect related data at " + f.path("Library/Containers/org.example.denied") +
                      ": Permission denied",
                  "Related-data location is not a regular directory and was excluded: " + f.path("Library/Logs"),
                  "Could not read related-data folder " + f.path("Library/WebKit") + ": Permission denied",
                  kIncomplete}));
    ASSERT_EQ(result.apps.size(), 1u);
    ASSERT_EQ(result.apps[0].relatedFiles.size(), 1u);  // the real folder stays attached
    EXPECT_EQ(result.apps[0].relatedFiles[0].kind, AppRelatedKind::caches);
    EXPECT_TRUE(result.leftovers.empty());
}

TEST(AppInventoryScanner, WarningsAreCappedButTheSummaryLineIsAlwaysAdded) {
    Fixture f;
    f.dir("Library");
    for (int i = 0; i < 105; ++i) f.link("Apps/dangling" + std::to_string(i), f.path("nowhere"));
    AppInventoryResult result = AppInventoryScanner::scan({f.url("Apps")}, f.library());
    ASSERT_EQ(result.warnings.size(), 101u);
    EXPECT_EQ(result.warnings.back(), kIncomplete);
    EXPECT_FALSE(result.isComplete);
}

TEST(AppInventoryScanner, WalkLimitOfFiftyThousandEntries) {
    Fixture f;
    f.dir("Library/Caches/org.example.old");
    f.dir("Apps/Many");
    for (int i = 0; i < 49999; ++i) f.file("Apps/Many/f" + std::to_string(i));
    // "Many" itself is the 50,000th entry.
    AppInventoryResult atLimit = AppInventoryScanner::scan({f.url("Apps")}, f.library());
    EXPECT_TRUE(atLimit.isComplete);
    EXPECT_EQ(atLimit.leftovers.size(), 1u);

    f.file("Apps/Many/one-more");
    AppInventoryResult over = AppInventoryScanner::scan({f.url("Apps")}, f.library());
    EXPECT_EQ(over.warnings, (std::vector<std::string>{"Application discovery reached its 50,000-item limit. Select a "
                                                       "smaller application folder; possible leftovers are hidden.",
                                                       kIncomplete}));
    EXPECT_TRUE(over.leftovers.empty());
}

TEST(AppInventoryScanner, LibraryLimitKeepsWhatWasFound) {
    Fixture f;
    f.app("Apps/Editor.app", "org.example.editor", "Editor");
    f.dir("Library/Caches/org.example.editor");
    // Hidden names are counted too; the Caches entry above is the first of 50,001.
    for (int i = 0; i < 50000; ++i) f.file("Library/Logs/.n" + std::to_string(i));
    AppInventoryResult result = AppInventoryScanner::scan({f.url("Apps")}, f.library());
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "Related-data discovery reached its 50,000-item limit. Possible leftovers are hidden.", kIncomplete}));
    ASSERT_EQ(result.apps.size(), 1u);
    EXPECT_EQ(result.apps[0].relatedFiles.size(), 1u);
}

TEST(AppInventoryScanner, Cancellation) {
    Fixture f;
    f.app("Apps/Editor.app", "org.example.editor", "Editor");
    f.dir("Library/Caches/org.example.old");

    std::stop_source cancelled;
    cancelled.request_stop();
    EXPECT_THROW(AppInventoryScanner::scan({f.url("Apps")}, f.library(), cancelled.get_token()), CancellationError);

    // Cancelled while the Library is being read.
    for (const std::string& trigger : {f.path("Apps/Editor.app"), f.path("Library/Caches"),
                                      f.path("Library/Caches/org.example.old")}) {
        std::stop_source source;
        AppInventoryScanner::Environment environment;
        environment.lstat = [&](const std::string& p, FileMetadata& out) {
            if (p == trigger) source.request_stop();
            try {
                out = statPath(p);
                return 0;
            } catch (const PosixError& e) {
                return e.code();
            }
        };
        EXPECT_THROW(AppInventoryScanner::scan({f.url("Apps")}, f.library(), source.get_token(), environment),
                     CancellationError)
            << trigger;
    }
}

TEST(AppInventoryScanner, DefaultRootsAndLibrary) {
    Fixture f;
    f.dir("home");
    auto paths = [](const std::vector<Url>& urls) {
        std::vector<std::string> out;
        for (const Url& u : urls) out.push_back(u.path);
        return out;
    };
    // "/Applications" is listed exactly when this machine has it; a missing folder is left out.
    std::vector<std::string> system;
    if (::access("/Applications", F_OK) == 0) system.push_back("/Applications");
    EXPECT_EQ(paths(AppInventoryScanner::defaultRoots(f.url("home"))), system);
    f.file("home/Applications");  // a file still stays so that the walk reports it
    auto withUser = system;
    withUser.push_back(f.path("home/Applications"));
    EXPECT_EQ(paths(AppInventoryScanner::defaultRoots(f.url("home"))), withUser);
    Url library = AppInventoryScanner::defaultUserLibrary(f.url("home"));
    EXPECT_EQ(library.path, f.path("home/Library"));
    EXPECT_TRUE(library.isDirectory);
}
