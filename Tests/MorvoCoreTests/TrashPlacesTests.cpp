// The places the Trash rules protect hold under every name they have: mounts that share a device
// with their parent, the home folder below a folder that is not /home, the Trash behind a link or
// a bind mount.
#include "MorvoCore/Platform/MountTable.h"
#include "MorvoCore/TrashRules.h"
#include "MorvoCore/TrashService.h"
#include "Support/FixtureTree.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace morvo;
using morvo::testing::FixtureTree;

namespace {

constexpr const char* kHome = "Your home folder and essential application-data locations are protected.";
constexpr const char* kManaged = "Trash and macOS-managed storage cannot be selected for cleanup.";
constexpr const char* kMountedItem = "A mounted volume cannot be moved to Trash.";
constexpr const char* kMountedInside = "This folder contains a mounted volume. Review that volume separately.";

// The first refusal of the rules, "" when the item may go.
std::string outcome(const std::string& path, const TrashPolicy& policy) {
    try {
        trash::validate(Url::file(path), {}, policy);
        return "";
    } catch (const std::exception& e) {
        return errorDescription(e);
    }
}

// The preview's verdict on one item: its blocked reason, "" when it may be moved.
std::string previewOutcome(const std::string& path, const TrashPolicy& policy) {
    TrashPreview preview =
        TrashService::prepareSynchronously({Url::file(path)}, {}, policy, Uuid::make(), {}, TrashClock::now());
    return preview.items.at(0).blockedReason.value_or("");
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) saved_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (saved_) setenv(name_, saved_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

// Bind mounts made in a mount namespace of this test process alone, undone before the fixture
// goes, so that removing the fixture never reaches through a mount.
class PrivateMounts {
public:
    PrivateMounts() {
        available_ = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }
    ~PrivateMounts() {
        for (auto it = targets_.rbegin(); it != targets_.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
    }
    bool available() const { return available_; }
    bool bind(const std::string& source, const std::string& target) {
        if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
        targets_.push_back(target);
        return true;
    }

private:
    bool available_ = false;
    std::vector<std::string> targets_;
};

} // namespace

TEST(TrashPlaces, BindMountsCountAsMountedVolumes) {
    FixtureTree tree;
    tree.file("source/kept.txt", "not reviewed");
    tree.file("source-file.txt", "also not reviewed");
    tree.file("project/notes.txt", "notes");
    tree.folder("project/mounted");
    tree.folder("mount-alone");
    tree.file("file-mount.txt", "");
    PrivateMounts mounts;
    if (!mounts.available()) GTEST_SKIP() << "no private mount namespace here";
    ASSERT_TRUE(mounts.bind(tree.path("source"), tree.path("project/mounted")));
    ASSERT_TRUE(mounts.bind(tree.path("source"), tree.path("mount-alone")));
    ASSERT_TRUE(mounts.bind(tree.path("source-file.txt"), tree.path("file-mount.txt")));

    const TrashPolicy policy({}, 1000, 900, Url::file(tree.path("home")));
    const std::pair<std::string, std::string> cases[] = {
        {"project", kMountedInside},        // a folder holding a bind mount of the same device
        {"mount-alone", kMountedItem},      // the bind mount itself
        {"file-mount.txt", kMountedItem},   // a file mounted over another
        {"project/notes.txt", ""},
        {"source", ""},
    };
    for (const auto& [relative, expected] : cases)
        EXPECT_EQ(previewOutcome(tree.path(relative), policy), expected) << relative;
}

TEST(TrashPlaces, MountPointsFromMountInfo) {
    const std::pair<std::string, std::set<std::string>> cases[] = {
        {"22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
         "40 22 0:35 / /mnt/My\\040Disk rw - vfat /dev/sdb1 rw\n"
         "41 22 8:1 /srv/data /home/ann/back\\134slash rw - ext4 /dev/sda1 rw\n"
         "short line\n",
         {"/", "/mnt/My Disk", "/home/ann/back\\slash"}},
        // A chroot's view: its own root is no mount point, only what is mounted inside it.
        {"301 300 0:5 / /proc rw,nosuid - proc proc rw\n"
         "302 300 0:6 / /dev rw - devtmpfs udev rw",
         {"/proc", "/dev"}},
        {"", {}},
        {"1 2 3:4 /\n", {}},                                  // no mount point field
        {"1 2 3:4 / /tab\\011and\\7 rw\n", {"/tab\tand\\7"}},  // a cut-off escape stays as written
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(parseMountPoints(text), expected) << text;

    // A kernel that cannot mark mount roots: the live table answers, for what it names.
    FileMetadata unknown;
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream live;
    live << in.rdbuf();
    const std::set<std::string> points = parseMountPoints(live.str());
    if (points.empty()) GTEST_SKIP() << "no mount table here";
    for (const std::string& point : points) EXPECT_TRUE(isMountRoot(unknown, point)) << point;
    EXPECT_FALSE(isMountRoot(unknown, "/no/such/mount/point"));
}

TEST(TrashPlaces, FoldersHoldingTheHomeFolderAreRefused) {
    FixtureTree tree;
    tree.folder("data/users/alice/Documents");
    tree.folder("data/users/bob");
    tree.symlink(tree.path("data/users"), "people");
    const TrashPolicy direct({}, 1000, 900, Url::file(tree.path("data/users/alice")));
    const TrashPolicy viaLink({}, 1000, 900, Url::file(tree.path("people/alice")));
    for (const TrashPolicy* policy : {&direct, &viaLink}) {
        EXPECT_EQ(outcome(tree.path("data/users"), *policy), kHome);
        EXPECT_EQ(outcome(tree.path("data"), *policy), kHome);
        EXPECT_EQ(outcome(tree.root(), *policy), kHome);
        EXPECT_EQ(outcome(tree.path("data/users/bob"), *policy), "");
        EXPECT_EQ(outcome(tree.path("data/users/alice/Documents"), *policy), "");
    }
}

TEST(TrashPlaces, TheTrashIsProtectedUnderEveryName) {
    FixtureTree tree;
    tree.file("share/Trash/files/old.txt", "trashed");
    tree.file("share/Trash/info/old.txt.trashinfo", "[Trash Info]\n");
    tree.symlink(tree.path("share"), "share-link");
    tree.folder("home");
    ScopedEnvironment xdg("XDG_DATA_HOME", tree.path("share-link"));
    const TrashPolicy policy({}, 1000, 900, Url::file(tree.path("home")));
    for (const char* relative : {"share/Trash", "share/Trash/files", "share/Trash/info", "share/Trash/files/old.txt",
                                 "share/Trash/info/old.txt.trashinfo"})
        EXPECT_EQ(outcome(tree.path(relative), policy), kManaged) << relative;

    // The Trash's files folder mounted elsewhere: what is inside is still in the Trash.
    tree.folder("elsewhere");
    PrivateMounts mounts;
    if (!mounts.available()) GTEST_SKIP() << "no private mount namespace here";
    ASSERT_TRUE(mounts.bind(tree.path("share/Trash/files"), tree.path("elsewhere")));
    EXPECT_EQ(outcome(tree.path("elsewhere/old.txt"), policy), kManaged);
}
