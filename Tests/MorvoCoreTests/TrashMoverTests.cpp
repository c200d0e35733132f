#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/TrashMover.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <atomic>
#include <thread>
#include <sys/wait.h>
#include <fcntl.h>
#include <stdio.h>

using namespace morvo;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    explicit TempDir(const std::string& base = fs::temp_directory_path().string()) {
        std::string tmpl = base + "/morvo-mover-XXXXXX";
        char* made = mkdtemp(tmpl.data());
        path_ = made ? made : "";
    }
    ~TempDir() {
        if (!path_.empty()) fs::remove_all(path_);
    }
    std::string write(const std::string& relative, const std::string& bytes) const {
        std::string p = path_ + "/" + relative;
        fs::create_directories(fs::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TrashItemIdentity identityOf(const std::string& path) {
    FileMetadata m = statPath(path);
    return {m.device, m.inode};
}

FreedesktopTrashMover::Options optionsFor(const std::string& dataHome) {
    FreedesktopTrashMover::Options options;
    options.dataHome = dataHome;
    options.stateHome = dataHome + "-state";
    options.uid = ::getuid();
    options.deletionDate = [] { return std::string("2024-05-06T07:08:09"); };
    return options;
}

FreedesktopTrashMover moverFor(const std::string& dataHome) { return FreedesktopTrashMover(optionsFor(dataHome)); }

std::size_t countEntries(const std::string& folder) {
    if (!fs::exists(folder)) return 0;
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(TrashMover, MovesIntoHomeTrashWithInfoAndKeepsBothOnCollision) {
    TempDir dir;
    const std::string dataHome = dir.path() + "/xdg/data";  // created with its parents
    auto mover = moverFor(dataHome);
    const std::string name = "my report#1\xE9.txt";
    const std::string first = dir.write("docs/" + name, "first");

    auto landed = mover.trashItem(Url::file(first), identityOf(first));
    const std::string trash = dataHome + "/Trash";
    ASSERT_TRUE(landed);
    EXPECT_EQ(landed->path, trash + "/files/" + name);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_EQ(slurp(trash + "/files/" + name), "first");
    std::string encodedDir;
    for (char c : dir.path() + "/docs/") encodedDir += c;  // temp paths hold only unreserved characters
    EXPECT_EQ(slurp(trash + "/info/" + name + ".trashinfo"),
              "[Trash Info]\nPath=" + encodedDir + "my%20report%231%E9.txt\nDeletionDate=2024-05-06T07:08:09\n");
    EXPECT_EQ(fs::status(trash).permissions() & fs::perms::all, fs::perms::owner_all);

    const std::string second = dir.write("docs/" + name, "second");
    auto again = mover.trashItem(Url::file(second), identityOf(second));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->path, trash + "/files/my report#1\xE9.2.txt");
    EXPECT_EQ(slurp(trash + "/files/" + name), "first");
    EXPECT_EQ(slurp(again->path), "second");
    EXPECT_TRUE(fs::exists(trash + "/info/my report#1\xE9.2.txt.trashinfo"));

    // A folder moves whole; a name taken only in info/ or only in files/ is skipped, untouched.
    dir.write("docs/folder/inner", "x");
    dir.write("xdg/data/Trash/info/folder.trashinfo", "someone else's");
    dir.write("xdg/data/Trash/files/folder.2", "stray");
    const std::string folder = dir.path() + "/docs/folder";
    auto moved = mover.trashItem(Url::file(folder), identityOf(folder));
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->path, trash + "/files/folder.3");
    EXPECT_TRUE(moved->isDirectory);
    EXPECT_EQ(slurp(trash + "/files/folder.3/inner"), "x");
    EXPECT_EQ(slurp(trash + "/info/folder.trashinfo"), "someone else's");
    EXPECT_EQ(slurp(trash + "/files/folder.2"), "stray");
    EXPECT_FALSE(fs::exists(trash + "/info/folder.2.trashinfo"));
    EXPECT_TRUE(fs::exists(trash + "/info/folder.3.trashinfo"));
}

TEST(TrashMover, RefusesAnItemThatIsNoLongerTheReviewedOne) {
    TempDir dir;
    auto mover = moverFor(dir.path() + "/data");
    const std::string item = dir.write("a/file", "data");
    const std::string other = dir.write("a/other", "other");
    EXPECT_THROW(mover.trashItem(Url::file(item), identityOf(other)), TrashItemChangedError);
    fs::create_symlink(item, dir.path() + "/a/link");
    EXPECT_THROW(mover.trashItem(Url::file(dir.path() + "/a/link"), identityOf(item)), TrashItemChangedError);

    // A folder on the way that is a link is not followed.
    fs::create_directory_symlink(dir.path() + "/a", dir.path() + "/b");
    try {
        mover.trashItem(Url::file(dir.path() + "/b/file"), identityOf(item));
        FAIL();
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), ELOOP);
    }
    EXPECT_EQ(slurp(item), "data");
    EXPECT_EQ(countEntries(dir.path() + "/data/Trash/info"), 0u);
    EXPECT_EQ(countEntries(dir.path() + "/data/Trash/files"), 0u);
}

TEST(TrashMover, FailedRenameLeavesTheItemAndRemovesOnlyItsOwnInfo) {
    TempDir dir;
    // The Trash inside the folder being moved: the kernel refuses to move a folder into itself.
    const std::string folder = dir.path() + "/project";
    dir.write("project/keep.txt", "keep");
    dir.write("project/data/Trash/info/other.trashinfo", "other");
    auto mover = moverFor(folder + "/data");
    try {
        mover.trashItem(Url::file(folder), identityOf(folder));
        FAIL();
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), EINVAL);
        EXPECT_EQ(e.path(), folder);
    }
    EXPECT_EQ(slurp(folder + "/keep.txt"), "keep");
    EXPECT_EQ(countEntries(folder + "/data/Trash/info"), 1u);
    EXPECT_EQ(slurp(folder + "/data/Trash/info/other.trashinfo"), "other");
    EXPECT_EQ(countEntries(folder + "/data/Trash/files"), 0u);
}

TEST(TrashMover, LongNamesAreShortenedToFitTheInfoFile) {
    TempDir dir;
    auto mover = moverFor(dir.path() + "/data");
    std::string name(240, 'n');
    name += "\xC3\xA9\xC3\xA9.txt";  // 248 bytes; the cut falls inside a two-byte character
    const std::string item = dir.write(name, "long");
    auto landed = mover.trashItem(Url::file(item), identityOf(item));
    ASSERT_TRUE(landed);
    const std::string stored = std::string(path::lastComponent(landed->path));
    EXPECT_LE(stored.size() + 10, 255u);
    EXPECT_EQ(stored, std::string(240, 'n') + ".txt");
    EXPECT_EQ(slurp(landed->path), "long");
    EXPECT_TRUE(fs::exists(dir.path() + "/data/Trash/info/" + stored + ".trashinfo"));

    // A legal name that is not UTF-8 at all is shortened too, not emptied.
    const std::string raw = dir.write(std::string(250, '\x80'), "raw");
    landed = mover.trashItem(Url::file(raw), identityOf(raw));
    ASSERT_TRUE(landed);
    EXPECT_EQ(std::string(path::lastComponent(landed->path)), std::string(245, '\x80'));
    EXPECT_EQ(slurp(landed->path), "raw");
}

// An item on another volume goes to that volume's own trash (or is refused); its bytes survive.
TEST(TrashMover, ItemOnAnotherDeviceUsesThatVolumesTrash) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
    // The expectations below take /dev/shm as the top of its volume (it is not in a bare chroot).
    if (statPath("/dev/shm").device == statPath("/dev").device) GTEST_SKIP() << "/dev/shm is not a mount point";
    TempDir home;
    TempDir volume("/dev/shm");
    ASSERT_FALSE(volume.path().empty());
    if (statPath(volume.path()).device == statPath(home.path()).device) GTEST_SKIP() << "same device";
    auto mover = moverFor(home.path() + "/data");
    const std::string item = volume.write("report.txt", "on tmpfs");
    const std::string uidTrash = "/dev/shm/.Trash-" + std::to_string(::getuid());
    const bool hadTrash = fs::exists(uidTrash);
    try {
        auto landed = mover.trashItem(Url::file(item), identityOf(item));
        ASSERT_TRUE(landed);
        EXPECT_EQ(path::parent(landed->path), uidTrash + "/files");
        EXPECT_EQ(slurp(landed->path), "on tmpfs");
        const std::string info = uidTrash + "/info/" + std::string(path::lastComponent(landed->path)) + ".trashinfo";
        // Paths in a volume's trash are relative to the volume's top.
        EXPECT_NE(slurp(info).find("\nPath=" + volume.path().substr(std::string("/dev/shm/").size()) + "/report.txt\n"),
                  std::string::npos);
        EXPECT_EQ(fs::status(uidTrash).permissions() & fs::perms::all, fs::perms::owner_all);
        fs::remove(landed->path);
        fs::remove(info);
    } catch (const PosixError&) {
        EXPECT_EQ(slurp(item), "on tmpfs");
    }
    EXPECT_EQ(countEntries(home.path() + "/data/Trash/files"), 0u);
    if (!hadTrash) fs::remove_all(uidTrash);
}

TEST(TrashMover, HomeTrashFollowsTheEnvironment) {
    const char* savedXdg = std::getenv("XDG_DATA_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";
    setenv("HOME", "/home/ann/", 1);
    setenv("XDG_DATA_HOME", "/data/ann//share", 1);
    EXPECT_EQ(homeTrashDirectory(), "/data/ann/share/Trash");
    setenv("XDG_DATA_HOME", "relative/share", 1);  // not absolute: ignored
    EXPECT_EQ(homeTrashDirectory(), "/home/ann/.local/share/Trash");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(homeTrashDirectory(), "/home/ann/.local/share/Trash");
    EXPECT_EQ(FreedesktopTrashMover::optionsFromEnvironment().uid, ::getuid());
    if (savedXdg) setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    if (savedHome) setenv("HOME", home.c_str(), 1);
    else unsetenv("HOME");
}

// What stands where a Trash folder belongs is reported as what it is.
TEST(TrashMover, TrashPlaceTakenByAFileOrALink) {
    struct Case {
        const char* label;
        bool link;
        int expected;
        bool usedBefore = false;  // the mover used the real Trash before it was replaced
    };
    for (const Case& c : {Case{"regular file", false, ENOTDIR}, Case{"link to a folder", true, ELOOP},
                          Case{"link, after a move", true, ELOOP, true}}) {
        TempDir dir;
        const std::string data = dir.path() + "/data";
        auto mover = moverFor(data);
        if (c.usedBefore) {
            const std::string first = dir.write("first.txt", "first");
            ASSERT_TRUE(mover.trashItem(Url::file(first), identityOf(first)));
            fs::rename(data + "/Trash", dir.path() + "/old-trash");
        }
        if (c.link) {
            fs::create_directories(dir.path() + "/elsewhere");
            fs::create_directories(data);
            fs::create_directory_symlink(dir.path() + "/elsewhere", data + "/Trash");
        } else {
            dir.write("data/Trash", "not a folder");
        }
        const std::string item = dir.write("item.txt", "kept");
        try {
            mover.trashItem(Url::file(item), identityOf(item));
            ADD_FAILURE() << c.label;
        } catch (const PosixError& e) {
            EXPECT_EQ(e.code(), c.expected) << c.label;
            EXPECT_EQ(e.path(), data + "/Trash") << c.label;
        }
        EXPECT_EQ(slurp(item), "kept") << c.label;
    }
}

// A process that keeps swapping two names in the item's folder: whatever the mover reports as
// moved must be the reviewed object, and neither object is ever lost.
TEST(TrashMover, NameSwappedAtTheRenameIsPutBack) {
    TempDir dir;
    const std::string reviewed = dir.write("race/a", "reviewed");
    dir.write("race/b", "other");
    const TrashItemIdentity identity = identityOf(reviewed);
    const std::string trash = dir.path() + "/data/Trash";
    auto mover = moverFor(dir.path() + "/data");

    std::atomic<bool> stop{false};
    const int folder = ::open((dir.path() + "/race").c_str(), O_PATH | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    std::thread swapper([&] {
        for (int i = 0; i < 5'000'000 && !stop.load(std::memory_order_relaxed); ++i)
            ::renameat2(folder, "a", folder, "b", RENAME_EXCHANGE);
    });
    int moved = 0, refused = 0, wrong = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        try {
            auto landed = mover.trashItem(Url::file(reviewed), identity);
            ++moved;
            if (identityOf(landed->path).inode != identity.inode) ++wrong;
            // Back for the next trial, by a name the swapper leaves alone until both exist.
            const std::string name(path::lastComponent(landed->path));
            ASSERT_EQ(::rename(landed->path.c_str(), (dir.path() + "/race/a").c_str()), 0);
            fs::remove(trash + "/info/" + name + ".trashinfo");
        } catch (const TrashItemChangedError&) {
            ++refused;
        }
    }
    stop = true;
    swapper.join();
    ::close(folder);
    EXPECT_EQ(wrong, 0) << moved << " moved, " << refused << " refused";
    EXPECT_EQ(countEntries(trash + "/files"), 0u);
    EXPECT_EQ(countEntries(trash + "/info"), 0u);
    std::set<std::string> contents{slurp(dir.path() + "/race/a"), slurp(dir.path() + "/race/b")};
    EXPECT_EQ(contents, (std::set<std::string>{"reviewed", "other"}));
}

// A mover that stops for good between creating the restore record and the rename leaves a record
// that points at nothing; the next start takes back that record and no other.
TEST(TrashMover, RecordLeftByAnInterruptedMoveIsTakenBackAtTheNextStart) {
    TempDir dir;
    const std::string data = dir.path() + "/data";
    const std::string trash = data + "/Trash";
    const std::string item = dir.write("docs/report.txt", "report");
    dir.write("data/Trash/info/stray.trashinfo", "[Trash Info]\nPath=/stray\nDeletionDate=2024-05-06T07:08:09\n");

    auto crashAt = [&](bool afterRename) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FreedesktopTrashMover::Options options = optionsFor(data);
            if (afterRename) options.deletionDate = [] { return std::string("2024-05-06T07:08:10"); };
            else options.beforeRename = [] { ::_exit(0); };
            FreedesktopTrashMover mover(options);
            try {
                mover.trashItem(Url::file(item), identityOf(item));
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(afterRename ? 0 : 3);  // quick exit: the journal is not settled or removed
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    };

    crashAt(false);
    ASSERT_TRUE(fs::exists(trash + "/info/report.txt.trashinfo"));
    EXPECT_EQ(slurp(item), "report");
    EXPECT_EQ(FreedesktopTrashMover::recoverInterruptedMoves(data + "-state"), 1u);
    EXPECT_FALSE(fs::exists(trash + "/info/report.txt.trashinfo"));
    EXPECT_TRUE(fs::exists(trash + "/info/stray.trashinfo"));  // never ours: left alone
    EXPECT_EQ(countEntries(data + "-state/morvo/trash-reservations"), 0u);

    // A move that finished (the item is in files/) keeps its record even when the mover ended
    // before settling its journal.
    crashAt(true);
    ASSERT_TRUE(fs::exists(trash + "/files/report.txt"));
    EXPECT_EQ(FreedesktopTrashMover::recoverInterruptedMoves(data + "-state"), 0u);
    EXPECT_TRUE(fs::exists(trash + "/info/report.txt.trashinfo"));
    EXPECT_EQ(slurp(trash + "/files/report.txt"), "report");
}

// A planned run writes its reservations down ahead, several at once; a mover that stops for good
// in the middle of such a run leaves only the record of the item it was moving, and the next start
// takes back that one alone.
TEST(TrashMover, ReservationsWrittenAheadForARunAreRecoveredLikeSingleOnes) {
    TempDir dir;
    const std::string data = dir.path() + "/data";
    const std::string trash = data + "/Trash";
    const std::string a = dir.write("docs/a.txt", "a");
    const std::string otherA = dir.write("other/a.txt", "other a");  // a's name is taken by then
    const std::string d = dir.write("docs/d.txt", "d");
    const std::string b = dir.write("docs/b.txt", "b");
    const std::string stranger = "[Trash Info]\nPath=/elsewhere/d.txt\nDeletionDate=2024-05-06T07:08:09\n";
    dir.write("data/Trash/info/d.txt.trashinfo", stranger);  // d's first name is someone else's
    const std::vector<Url> run{Url::file(a), Url::file(otherA), Url::file(d), Url::file(b)};

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FreedesktopTrashMover::Options options = optionsFor(data);
        int renames = 0;
        options.beforeRename = [&renames] {
            if (++renames == 4) ::_exit(0);  // stops for good right before b's rename
        };
        FreedesktopTrashMover mover(options);
        mover.plan(run);
        try {
            for (const Url& item : run) mover.trashItem(item, identityOf(item.path));
        } catch (...) {
            ::_exit(2);
        }
        ::_exit(3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(slurp(trash + "/files/a.txt"), "a");
    EXPECT_EQ(slurp(trash + "/files/a.2.txt"), "other a");
    EXPECT_EQ(slurp(trash + "/files/d.2.txt"), "d");
    EXPECT_NE(slurp(trash + "/info/a.2.txt.trashinfo").find("/other/a.txt"), std::string::npos);
    ASSERT_TRUE(fs::exists(trash + "/info/b.txt.trashinfo"));
    EXPECT_EQ(slurp(b), "b");

    EXPECT_EQ(FreedesktopTrashMover::recoverInterruptedMoves(data + "-state"), 1u);
    EXPECT_FALSE(fs::exists(trash + "/info/b.txt.trashinfo"));
    EXPECT_EQ(slurp(trash + "/info/d.txt.trashinfo"), stranger);
    for (const char* record : {"a.txt", "a.2.txt", "d.2.txt"})
        EXPECT_TRUE(fs::exists(trash + "/info/" + std::string(record) + ".trashinfo")) << record;
    EXPECT_EQ(countEntries(trash + "/info"), 4u);

    // A run that ends normally settles every reservation and leaves no journal.
    {
        auto mover = moverFor(data);
        mover.plan({Url::file(b)});
        ASSERT_TRUE(mover.trashItem(Url::file(b), identityOf(b)));
    }
    EXPECT_EQ(slurp(trash + "/files/b.txt"), "b");
    EXPECT_EQ(countEntries(data + "-state/morvo/trash-reservations"), 0u);
}

TEST(TrashMover, RecoveryLeavesRecordsThatAreNoLongerTheMoversAlone) {
    TempDir dir;
    const std::string data = dir.path() + "/data";
    const std::string trash = data + "/Trash";
    const std::string first = dir.write("one.txt", "1");
    const std::string second = dir.write("two.txt", "2");
    for (const std::string& item : {first, second}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FreedesktopTrashMover::Options options = optionsFor(data);
            options.beforeRename = [] { ::_exit(0); };
            FreedesktopTrashMover mover(options);
            try {
                mover.trashItem(Url::file(item), identityOf(item));
            } catch (...) {
            }
            ::_exit(3);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // One record rewritten by someone else, one replaced by another file of the same content.
    std::ofstream(trash + "/info/one.txt.trashinfo", std::ios::app) << "X-Note=kept\n";
    const std::string twoInfo = trash + "/info/two.txt.trashinfo";
    std::ofstream(twoInfo + ".new") << slurp(twoInfo);  // made while the old one stands: another inode
    fs::rename(twoInfo + ".new", twoInfo);
    EXPECT_EQ(FreedesktopTrashMover::recoverInterruptedMoves(data + "-state"), 0u);
    EXPECT_TRUE(fs::exists(trash + "/info/one.txt.trashinfo"));
    EXPECT_TRUE(fs::exists(twoInfo));
}
