#include "MorvoCore/Platform/PropertyListError.h"
#include "MorvoCore/TrashRules.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

using namespace morvo;

namespace {

const std::string kSystem = "System locations and shared application roots are protected.";
const std::string kManaged = "Trash and macOS-managed storage cannot be selected for cleanup.";
const std::string kHome = "Your home folder and essential application-data locations are protected.";
const std::string kContainer = "Only a complete, explicitly reviewed third-party application container can be selected.";
const std::string kAppleData = "Apple application data is protected from cleanup.";
const std::string kAppleApp = "Apple applications are protected from cleanup.";
const std::string kIdentity = "This application's identity could not be verified.";
const std::string kInternal = "Select the complete application bundle instead of one of its internal files.";
const std::string kInsideApplications = "Only complete third-party application bundles can be selected inside Applications.";
const std::string kRelative = "Choose the original item instead of a path containing relative components.";
const std::string kLinkAncestor = "This path passes through a symbolic link. Choose the original location directly.";
const std::string kNotLocal = "Only local files and folders can be moved to Trash.";
const std::string kRunning = "This item contains, or belongs to, a protected or running application.";
const std::string kOutside = "This item is outside the permitted cleanup folders.";
const std::string kMounted = "A mounted volume cannot be moved to Trash.";

// Presents a file system that this machine cannot hold (the macOS layout): every added path gets
// its missing ancestors as folders on device 1.
class FakeFileSystem : public TrashFileSystem {
public:
    void add(const std::string& path, unsigned type, std::uint64_t device = 1, std::int64_t size = 0) {
        for (std::string p = path; p != "/" && !p.empty(); p = p.substr(0, std::max<std::size_t>(p.rfind('/'), 1))) {
            if (p == path) continue;
            if (!records_.contains(p)) records_[p] = make(S_IFDIR, 1, 0);
        }
        if (!records_.contains("/")) records_["/"] = make(S_IFDIR, 1, 0);
        records_[path] = make(type, device, size);
    }
    void dir(const std::string& path, std::uint64_t device = 1) { add(path, S_IFDIR, device); }
    void bundle(const std::string& path, std::optional<std::string> identifier, std::int64_t plistSize = 500) {
        dir(path);
        add(path + "/Contents/Info.plist", S_IFREG, 1, plistSize);
        if (identifier) plists_[path + "/Contents/Info.plist"].values["CFBundleIdentifier"] = *identifier;
        else plists_[path + "/Contents/Info.plist"];
    }
    void setRealPath(const std::string& path, const std::string& real) { real_[path] = real; }
    void sameObject(const std::string& a, const std::string& b) { records_[a].inode = records_[b].inode; }

    TrashMetadata metadata(const std::string& path) const override {
        auto it = records_.find(path);
        if (it == records_.end()) throw PosixError(ENOENT, path);
        return it->second;
    }
    PropertyListStrings readPropertyList(const std::string& path, std::int64_t) const override {
        auto it = plists_.find(path);
        if (it == plists_.end()) throw PropertyListError(path);
        return it->second;
    }
    std::optional<std::string> realPath(const std::string& path) const override {
        auto it = real_.find(path);
        if (it != real_.end()) return it->second;
        return records_.contains(path) ? std::optional<std::string>(path) : std::nullopt;
    }
    const DirectoryReader& reader() const override { return DirectoryReader::system(); }

private:
    TrashMetadata make(unsigned type, std::uint64_t device, std::int64_t size) {
        TrashMetadata m;
        m.mode = static_cast<std::uint16_t>(type | 0755);
        m.device = device;
        m.inode = ++nextInode_;
        m.size = size;
        m.links = 1;
        return m;
    }
    std::map<std::string, TrashMetadata> records_;
    std::map<std::string, PropertyListStrings> plists_;
    std::map<std::string, std::string> real_;
    std::uint64_t nextInode_ = 100;
};

// "" when the item passes, else the refusal's text.
std::string outcome(const Url& url, const TrashFileSystem& fs, const TrashPolicy& policy,
                    const std::vector<Url>& protectedURLs = {}) {
    try {
        trash::validate(url, protectedURLs, policy, fs);
        return "";
    } catch (const MorvoError& e) {
        return e.description();
    }
}

TrashPolicy annPolicy(std::vector<Url> allowed = {}) {
    return TrashPolicy(std::move(allowed), 100000, 900, Url::file("/Users/ann"));
}

} // namespace

TEST(TrashRules, MacLayoutTable) {
    FakeFileSystem fs;
    const std::string lib = "/Users/ann/Library";
    const std::pair<std::string, std::string> cases[] = {
        {"/", kSystem},
        {"/private/tmp", kSystem},
        {"/private/tmp/build", ""},
        {"/tmp", kSystem},
        {"/Volumes", kSystem},
        {"/USERS", kSystem},
        {"/Users/ann", kSystem},
        {"/Users/Shared", kSystem},
        {"/Users/ann/Documents", ""},
        {"/System/Library/Fonts", kSystem},
        {"/usr/local/bin/tool", kSystem},
        {"/Library/Caches", kSystem},
        {"/private/var/folders", kSystem},
        {"/Users/ann/Documents/.Trash/x", kManaged},
        {"/Volumes/Disk/.Spotlight-V100", kManaged},
        {"/Users/ann/Documents/.DocumentRevisions-V100", kManaged},
        {lib, kHome},
        {"/Users/ann/Applications", kHome},
        {lib + "/Caches", kHome},
        {"/users/ANN/library/caches", kHome},
        {lib + "/Saved Application State", kHome},
        {lib + "/Caches/com.example.tool", ""},
        {lib + "/Caches/com.apple.Safari", kAppleData},
        {lib + "/Caches/Com.Apple.Music", kAppleData},
        {lib + "/Caches/com.apple", kAppleData},
        {lib + "/Caches/com.applesauce", ""},
        {lib + "/Preferences/com.apple.dock.plist", kAppleData},
        {lib + "/Preferences/com.example.tool.plist", ""},
        {lib + "/Logs/com.apple.xpc/log.txt", kAppleData},
        {lib + "/Developer", kHome},
        {lib + "/Developer/Xcode/DerivedData/Project-abc", ""},
        {lib + "/Developer/com.apple.thing", ""},  // no Apple-data test below Developer
        {lib + "/Containers/com.example.app", ""},
        {lib + "/Containers/com.example.app/Data", kContainer},
        {lib + "/Containers/com.apple.mail", kContainer},
        {lib + "/Containers/com..example", kContainer},
        {lib + "/Mail/V10", kHome},
        {lib + "/Keychains/login.keychain-db", kHome},
        {lib + "/Group Containers/group.x", kHome},
        {lib + "/Application Support/Tool/Helper.app", ""},  // bundles inside data folders are not checked
        {"/Applications/Tool.app", ""},
        {"/Applications/Apple.app", kAppleApp},
        {"/Applications/Tool.app/Contents", kInternal},
        {"/Applications/Docs", kInsideApplications},
        {"/Applications/Big.app", kIdentity},
        {"/Applications/Odd.app", kIdentity},
        {"/Users/ann/Downloads/Tool.app", ""},
        {"/Users/ann/Documents/./x", kRelative},
        {"/Users/ann/../bob/x", kRelative},
        // The Linux layout beside it.
        {"/home", kSystem},
        {"/home/ann", kSystem},
        {"/home/ann/Documents", ""},
        {"/root/notes", kSystem},
        {"/var/tmp/x", kSystem},
        {"/boot/vmlinuz", kSystem},
        {"/lib64/libc.so", kSystem},
        {"/media/usb/file", kSystem},
        {"/mnt/disk", kSystem},
        {"/srv/data", kSystem},
        {"/data/lost+found/x", kManaged},
        {"/data/.Trash-1000/files/x", kManaged},
        {"/data/.trash-1000", kManaged},
        {"/data/.Trash-me", ""},
        {"/Users/ann/.local/share/Trash", kManaged},
        {"/Users/ann/.local/share/Trash/files/x", kManaged},
        {"/Users/ann/.local/share/other", ""},
    };
    for (const auto& [path, expected] : cases) {
        if (path.ends_with(".app")) continue;
        fs.dir(path);
    }
    fs.add(lib + "/Preferences/com.apple.dock.plist", S_IFREG);
    fs.add(lib + "/Preferences/com.example.tool.plist", S_IFREG);
    fs.add(lib + "/Logs/com.apple.xpc/log.txt", S_IFREG);
    fs.add("/usr/local/bin/tool", S_IFREG);
    fs.dir(lib + "/Application Support/Tool/Helper.app");
    fs.bundle("/Applications/Tool.app", "com.example.tool");
    fs.bundle("/Applications/Apple.app", "com.apple.tool");
    fs.bundle("/Applications/Big.app", "com.example.big", 2000000);
    fs.bundle("/Applications/Odd.app", std::nullopt);
    fs.bundle("/Users/ann/Downloads/Tool.app", "com.example.tool");
    fs.dir("/Applications/Tool.app/Contents");

    for (const auto& [path, expected] : cases) EXPECT_EQ(outcome(Url::file(path), fs, annPolicy()), expected) << path;

    // An identity that is exactly 1 byte under the limit is read.
    fs.bundle("/Applications/Edge.app", "com.example.edge", 1999999);
    EXPECT_EQ(outcome(Url::file("/Applications/Edge.app"), fs, annPolicy()), "");
    // Errors of reading the bundle's identity pass through unchanged.
    fs.dir("/Applications/Bare.app");
    EXPECT_EQ(outcome(Url::file("/Applications/Bare.app"), fs, annPolicy()), PosixError(ENOENT, "").description());
}

// A home folder spelled with a letter whose lower-case form has another length in bytes (the
// Kelvin sign U+212A, three bytes, lower-cases to "k"): what lies below the data folders and the
// containers root is still cut at its components.
TEST(TrashRules, NamesBelowDataFoldersWhenLowerCasingChangesLengths) {
    const std::string kelvin = "\xE2\x84\xAA";
    struct Case {
        std::string home, path, expected;
    };
    const Case cases[] = {
        {"/Users/Kim", "/Users/" + kelvin + "im/Library/Caches/com.apple.Safari", kAppleData},
        {"/Users/Kim", "/Users/" + kelvin + "im/Library/Caches/com.example.tool", ""},
        {"/Users/Kim", "/Users/" + kelvin + "im/Library/Containers/com.example.app", ""},
        {"/Users/Kim", "/Users/" + kelvin + "im/Library/Containers/com.apple.mail", kContainer},
        {"/Users/" + kelvin + "im", "/Users/Kim/Library/Caches/com.apple.Safari", kAppleData},
        {"/Users/" + kelvin + "im", "/Users/Kim/Library/Preferences/x", ""},
        {"/Users/" + kelvin + "im", "/Users/Kim/Library/Containers/com.example.app", ""},
    };
    for (const Case& c : cases) {
        FakeFileSystem fs;
        fs.dir(c.home);
        fs.dir(c.path);
        const TrashPolicy policy({}, 100000, 900, Url::file(c.home));
        std::string result;
        try {
            trash::validate(Url::file(c.path), {}, policy, fs);
        } catch (const std::exception& e) {
            result = errorDescription(e);
        }
        EXPECT_EQ(result, c.expected) << c.home << " " << c.path;
    }
}

TEST(TrashRules, LinksSpecialFilesAndVanishedItems) {
    FakeFileSystem fs;
    fs.add("/Users/ann/Downloads/link", S_IFLNK);
    fs.add("/Users/ann/Downloads/linked-folder", S_IFLNK);
    fs.add("/Users/ann/Downloads/linked-folder/file", S_IFREG);
    fs.add("/Users/ann/Downloads/pipe", S_IFIFO);
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/link"), fs, annPolicy()), kLinkAncestor);
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/linked-folder/file"), fs, annPolicy()), kLinkAncestor);
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/pipe"), fs, annPolicy()),
              "This filesystem entry cannot be moved safely.");
    try {
        trash::validate(Url::file("/Users/ann/Downloads/gone"), {}, annPolicy(), fs);
        FAIL();
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), ENOENT);
        EXPECT_EQ(e.path(), "/Users/ann/Downloads/gone");
    }
}

TEST(TrashRules, OnlyLocalFileUrls) {
    FakeFileSystem fs;
    fs.dir("/Users/ann/Documents/x");
    Url local = Url::file("/Users/ann/Documents/x");
    EXPECT_EQ(outcome(local, fs, annPolicy()), "");
    Url named = local;
    named.host = "localhost";
    EXPECT_EQ(outcome(named, fs, annPolicy()), "");
    named.host = "LOCALHOST";
    EXPECT_EQ(outcome(named, fs, annPolicy()), kNotLocal);
    named.host = "server";
    EXPECT_EQ(outcome(named, fs, annPolicy()), kNotLocal);
    EXPECT_EQ(outcome(Url::parse("https://example.com/x"), fs, annPolicy()), kNotLocal);
    Url relative = local;
    relative.path = "Users/ann";
    EXPECT_EQ(outcome(relative, fs, annPolicy()), kNotLocal);
    // Paths are normalised before any rule: a trailing or doubled slash does not dodge one.
    Url unnormalised = local;
    unnormalised.path = "/Users//ann/";
    fs.dir("/Users/ann");
    EXPECT_EQ(outcome(unnormalised, fs, annPolicy()), kSystem);
}

TEST(TrashRules, ProtectedItemsAllowedRootsAndMountedVolumes) {
    FakeFileSystem fs;
    fs.dir("/Users/ann/Downloads/x");
    fs.dir("/Users/ann/downloads/x");
    fs.dir("/Users/ann/Apps/Editor.app/Contents");
    fs.dir("/Users/ann/Volumes/disk", 7);  // a mount point: its parent lies on device 1

    const Url parentProtected = Url::file("/Users/ann/Apps");
    EXPECT_EQ(outcome(Url::file("/Users/ann/Apps"), fs, annPolicy(), {Url::file("/Users/ann/Apps/Editor.app")}), kRunning);
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/x"), fs, annPolicy(), {Url::file("/users/ann/downloads")}), kRunning);
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/x"), fs, annPolicy(), {Url::parse("https://x/Users")}), "");
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/x"), fs, annPolicy(), {Url::file("/Users/ann/Down")}), "");

    auto allowed = annPolicy({Url::file("/Users/ann/Downloads")});
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads"), fs, allowed), kOutside);
    EXPECT_EQ(outcome(Url::file("/Users/ann/downloads/x"), fs, allowed), kOutside);
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/x"), fs, allowed), "");
    EXPECT_EQ(outcome(Url::file("/Users/ann/Downloads/x"), fs, annPolicy({Url::file("/")})), "");

    EXPECT_EQ(outcome(Url::file("/Users/ann/Volumes/disk"), fs, annPolicy()), kMounted);
}

TEST(TrashRules, TheUsersTrashWhereverTheEnvironmentPutsIt) {
    FakeFileSystem fs;
    fs.dir("/srvx/xdg/Trash/files/x");
    fs.dir("/srvx/xdg/other");
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/srvx/xdg", 1);
    EXPECT_EQ(outcome(Url::file("/srvx/xdg/Trash/files/x"), fs, annPolicy()), kManaged);
    EXPECT_EQ(outcome(Url::file("/srvx/xdg/Trash"), fs, annPolicy()), kManaged);
    EXPECT_EQ(outcome(Url::file("/srvx/xdg/other"), fs, annPolicy()), "");
    if (saved) setenv("XDG_DATA_HOME", previous.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
}

TEST(TrashRules, HomeFolderUnderAnotherName) {
    FakeFileSystem fs;
    fs.dir("/Users/ann");
    fs.dir("/data/ann");
    fs.dir("/srvx/ann-bind");
    fs.dir("/data/other");
    fs.setRealPath("/Users/ann", "/data/ann");
    fs.sameObject("/srvx/ann-bind", "/data/ann");
    EXPECT_EQ(outcome(Url::file("/data/ann"), fs, annPolicy()), kHome);       // canonical path
    EXPECT_EQ(outcome(Url::file("/srvx/ann-bind"), fs, annPolicy()), kHome);  // same device and inode
    EXPECT_EQ(outcome(Url::file("/data/other"), fs, annPolicy()), "");
}

// The same rules on this machine's real file system.
TEST(TrashRules, RealLinuxFixtures) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "morvo-rules-XXXXXX").string();
    const std::string root = mkdtemp(tmpl.data());
    const std::string home = root + "/home-real";
    std::filesystem::create_directories(home + "/Documents");
    std::ofstream(home + "/Documents/report.txt") << "x";
    std::filesystem::create_directory_symlink(home, root + "/home-link");
    std::filesystem::create_symlink(home + "/Documents/report.txt", home + "/Documents/shortcut");
    ASSERT_EQ(mkfifo((home + "/fifo").c_str(), 0600), 0);

    TrashPolicy viaLink({}, 10, 900, Url::file(root + "/home-link"));
    TrashPolicy direct({}, 10, 900, Url::file(home));
    const auto& fs = TrashFileSystem::system();
    EXPECT_EQ(outcome(Url::file(home + "/Documents/report.txt"), fs, direct), "");
    EXPECT_EQ(outcome(Url::file(home + "/Documents"), fs, direct), "");
    EXPECT_EQ(outcome(Url::file(home), fs, direct), kHome);
    EXPECT_EQ(outcome(Url::file(home), fs, viaLink), kHome);  // the home's canonical name
    EXPECT_EQ(outcome(Url::file(home + "/Documents/shortcut"), fs, direct), kLinkAncestor);
    EXPECT_EQ(outcome(Url::file(root + "/home-link/Documents"), fs, direct), kLinkAncestor);
    EXPECT_EQ(outcome(Url::file(home + "/fifo"), fs, direct), "This filesystem entry cannot be moved safely.");
    std::filesystem::remove_all(root);
}

TEST(TrashRules, ProtectedContainsIgnoresCaseAndWholeComponents) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"/Users/ann", "/Users/ann", true},   {"/Users/ann", "/users/ANN/x", true},
        {"/Users/ann", "/Users/anna", false}, {"/", "/anything", true},
        {"/", "relative", false},             {"/a/b", "/a", false},
    };
    for (const auto& [root, candidate, expected] : cases)
        EXPECT_EQ(trash::protectedContains(root, candidate), expected) << root << " " << candidate;
}

TEST(TrashRules, ValidIdentifierSyntax) {
    const std::pair<std::string, bool> cases[] = {
        {"a.b", true},        {"x-1.y2", true},  {"com.example.App-2", true}, {"abc", false},
        {"1a.b", false},      {"a-.b", false},   {"a.b_c", false},            {"a..b", false},
        {".a.b", false},      {"a.b.", false},   {"", false},                 {"a.-b", false},
        {"\xC3\xA9.b", false}, {"a." + std::string(253, 'b'), true}, {"a." + std::string(254, 'b'), false},
    };
    for (const auto& [identifier, expected] : cases) EXPECT_EQ(trash::validIdentifier(identifier), expected) << identifier;
}
