#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/TrashMover.h"
#include "MorvoCore/Platform/TrashNaming.h"
#include "MorvoCore/TrashService.h"
#include "Support/ChildProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

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

// ---------------------------------------------------------------------------------------------
// Crashes, full disks and a journal that cannot be kept

namespace {

using test::ChildEnd;
using test::kChildSkipped;
using test::SyscallStop;

std::string journalFolderOf(const std::string& stateHome) { return stateHome + "/morvo/trash-reservations"; }

// An item of a run, with bytes of its own (its path) so that it can be recognised in files/.
struct Item {
    std::string path;
    std::string bytes;
};

// What a Trash must look like after a run that ended, or after a crash and the next start: every
// item is there once, where it was or in files/; every record of ours is whole and stands beside
// its item; nothing half made stays in info/; the records of other programs are as they were.
void expectSoundTrash(const std::string& trash, const std::vector<Item>& items,
                      const std::map<std::string, std::string>& strangers, const std::string& label) {
    const std::string info = trash + "/info", files = trash + "/files";
    std::map<std::string, std::string> landed;  // bytes -> name in files/
    if (fs::exists(files))
        for (const auto& entry : fs::directory_iterator(files)) landed[slurp(entry.path())] = entry.path().filename();
    for (const auto& [name, bytes] : strangers) {
        EXPECT_TRUE(fs::exists(info + "/" + name)) << label << ": another program's " << name << " is gone";
        EXPECT_EQ(slurp(info + "/" + name), bytes) << label << ": " << name;
    }
    std::map<std::string, std::string> originalOf;  // bytes -> path
    for (const Item& item : items) originalOf[item.bytes] = item.path;
    std::size_t records = 0;
    if (fs::exists(info))
        for (const auto& entry : fs::directory_iterator(info)) {
            const std::string name = entry.path().filename();
            if (strangers.contains(name)) continue;
            ++records;
            const std::string record = slurp(entry.path());
            if (!name.ends_with(".trashinfo")) {
                ADD_FAILURE() << label << ": left in info/: " << name;
                continue;
            }
            const std::string stem = name.substr(0, name.size() - 10);
            const auto original = originalOf.find(slurp(files + "/" + stem));
            if (!fs::exists(files + "/" + stem) || original == originalOf.end()) {
                ADD_FAILURE() << label << ": record without its item: " << name << " holding \"" << record << "\"";
                continue;
            }
            const std::string head = "[Trash Info]\nPath=" + trashPercentEncode(original->second) + "\nDeletionDate=";
            EXPECT_TRUE(record.starts_with(head) && record.size() == head.size() + 20 && record.ends_with("\n"))
                << label << ": " << name << " holds \"" << record << "\"";
        }
    EXPECT_EQ(records, landed.size()) << label << ": items in files/ without their records";
    for (const Item& item : items) {
        const bool inPlace = fs::exists(item.path) && slurp(item.path) == item.bytes;
        EXPECT_NE(inPlace, landed.contains(item.bytes)) << label << ": " << item.path << (inPlace ? " is twice" : " is lost");
    }
}

// A run of four items into a fresh data home: two with the same name, one whose first name in the
// Trash is another program's, with records of others beside them (one whole, one without its
// item, one empty) that must stay as they are.
struct RunFixture {
    TempDir dir;
    std::string data = dir.path() + "/data", state = data + "-state", trash = data + "/Trash";
    std::vector<Item> items;
    std::map<std::string, std::string> strangers{
        {"d.txt.trashinfo", "[Trash Info]\nPath=/elsewhere/d.txt\nDeletionDate=2024-05-06T07:08:09\n"},
        {"lonely.trashinfo", "[Trash Info]\nPath=/elsewhere/lonely\nDeletionDate=2024-05-06T07:08:09\n"},
        {"empty.trashinfo", ""}};

    explicit RunFixture(bool linkedDataHome = false) {
        for (const char* relative : {"docs/a.txt", "docs/b.txt", "other/a.txt", "docs/d.txt"}) {
            const std::string path = dir.path() + "/" + relative;
            items.push_back({dir.write(relative, path), path});
        }
        const std::string realData = linkedDataHome ? "real-data" : "data";
        for (const auto& [name, bytes] : strangers) dir.write(realData + "/Trash/info/" + name, bytes);
        if (linkedDataHome) fs::create_directory_symlink(dir.path() + "/real-data", data);
    }
    std::vector<Url> run() const {
        std::vector<Url> out;
        for (const Item& item : items) out.push_back(Url::file(item.path));
        return out;
    }
    // Moves the run as the service does: planned, then item by item, going on after a refusal.
    void move(const FreedesktopTrashMover::Options& options) const {
        FreedesktopTrashMover mover(options);
        mover.plan(run());
        for (const Item& item : items) {
            try {
                mover.trashItem(Url::file(item.path), identityOf(item.path));
            } catch (const MorvoError&) {
            }
        }
    }
};

// Makes this process's file systems refuse unnamed files, as some do (FAT, older kernels).
bool refuseUnnamedFiles() {
    const std::uint64_t unnamed = O_TMPFILE & ~O_DIRECTORY;
    std::vector<test::SyscallRefusal> refusals{{SYS_openat, 2, unnamed, unnamed, EOPNOTSUPP}};
#ifdef SYS_open
    refusals.push_back({SYS_open, 1, unnamed, unnamed, EOPNOTSUPP});
#endif
    return test::refuseSyscalls(refusals);
}

// The descriptor this process holds on its journal under `stateHome`, or -1.
int journalDescriptor(const std::string& stateHome) {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const fs::path target = fs::read_symlink(entry.path(), error);
        if (!error && target.string().starts_with(journalFolderOf(stateHome) + "/"))
            return std::stoi(entry.path().filename().string());
    }
    return -1;
}

std::string readAll(int fd) {
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
    return out;
}

} // namespace

// Wherever a run is stopped for good, the next start leaves a sound Trash: the run is killed right
// before each of its calls that change a file, in turn, then recovered and checked.
TEST(TrashMoverCrash, KilledBeforeAnyCallOfARunLeavesASoundTrashAfterTheNextStart) {
    struct Mode {
        const char* label;
        bool refuseUnnamedFiles;
        bool linkedDataHome;
    };
    for (const Mode& mode : {Mode{"unnamed records", false, false}, Mode{"no unnamed files", true, false},
                             Mode{"data home through a link", false, true}}) {
        long calls = 0;
        for (long k = 1; k < 100000 && calls == 0; ++k) {
            RunFixture f(mode.linkedDataHome);
            const ChildEnd end = test::runTraced(
                [&] {
                    if (mode.refuseUnnamedFiles && !refuseUnnamedFiles()) return kChildSkipped;
                    f.move(optionsFor(f.data));
                    return 0;
                },
                [k](const SyscallStop& stop) { return stop.index != k; }, test::Tracing::fileChanges);
            if (end.exited && end.code == kChildSkipped) GTEST_SKIP() << "no tracing or no system call filter here";
            const std::string label = std::string(mode.label) + ", killed before change " + std::to_string(k);
            FreedesktopTrashMover::recoverInterruptedMoves(f.state);
            expectSoundTrash(f.trash, f.items, f.strangers, label);
            EXPECT_EQ(countEntries(journalFolderOf(f.state)), 0u) << label;
            if (::testing::Test::HasFailure()) return;
            if (end.exited) {
                ASSERT_EQ(end.code, 0) << mode.label;
                for (const Item& item : f.items) EXPECT_FALSE(fs::exists(item.path)) << mode.label << ": " << item.path;
                calls = end.syscalls;
            }
        }
        EXPECT_GT(calls, 10) << mode.label;
    }
}

// Another program takes the item out of the Trash between the rename and the check of what landed:
// the mover says what happened and takes back its record, which would point at nothing.
TEST(TrashMover, ItemTakenOutOfTheTrashRightAfterTheMoveIsReportedWithoutAStrayRecord) {
    TempDir dir;
    const std::string item = dir.write("docs/report.txt", "report");
    const std::string trash = dir.path() + "/data/Trash";
    fs::create_directories(dir.path() + "/taken");
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    bool taken = false;
    const ChildEnd end = test::runTraced(
        [&] {
            ::close(channel[0]);
            auto mover = moverFor(dir.path() + "/data");
            try {
                mover.trashItem(Url::file(item), identityOf(item));
            } catch (const MorvoError& error) {
                const std::string text = error.description();
                return ::write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
            }
            return 1;
        },
        [&](const SyscallStop& stop) {
            if (!stop.entry && stop.number == SYS_renameat2 && stop.result == 0 && !taken) {
                taken = true;
                fs::rename(trash + "/files/report.txt", dir.path() + "/taken/report.txt");
            }
            return true;
        });
    ::close(channel[1]);
    const std::string description = readAll(channel[0]);
    ::close(channel[0]);
    if (end.exited && end.code == kChildSkipped) GTEST_SKIP() << "no tracing here";
    ASSERT_TRUE(taken);
    ASSERT_TRUE(end.exited && end.code == 0) << description;
    EXPECT_EQ(description,
              "Another program took it out of the Trash right after the move, before it could be checked; it is no "
              "longer in the Trash.");
    EXPECT_EQ(countEntries(trash + "/info"), 0u);
    EXPECT_EQ(slurp(dir.path() + "/taken/report.txt"), "report");
}

// Where the journal cannot be kept, every item still moves, with its record, and nothing is left
// in the state folder.
TEST(TrashMoverCrash, MovesGoOnWhenTheJournalCannotBeKept) {
    auto fill = [](const std::string& folder) {
        std::ofstream out(folder + "/filler", std::ios::binary);
        const std::string page(4096, 'x');
        for (int i = 0; i < 4096 && out.write(page.data(), static_cast<std::streamsize>(page.size())); ++i) {
        }
        return true;
    };
    struct Case {
        const char* label;
        std::string stateHome;  // below the test folder
        std::function<bool(const std::string& stateHome)> prepare;
        bool planned;
    };
    const Case cases[] = {
        {"state folder that cannot be made", "not-a-folder/state",
         [](const std::string& state) {
             std::ofstream(std::string(path::parent(state))) << "a file";
             return true;
         },
         true},
        {"read-only state file system", "state",
         [](const std::string& state) { return fs::create_directories(state) && test::mountTmpfs(state, "size=64k", true); },
         true},
        {"full state file system", "state",
         [&](const std::string& state) {
             return fs::create_directories(state) && test::mountTmpfs(state, "size=16k") && fill(state);
         },
         true},
        {"state file system filling up in the middle of the run", "state",
         [](const std::string& state) { return fs::create_directories(state) && test::mountTmpfs(state, "size=8k"); },
         false},
    };
    int skipped = 0;
    for (const Case& c : cases) {
        TempDir dir;
        const std::string state = dir.path() + "/" + c.stateHome, data = dir.path() + "/data";
        std::vector<Item> items;
        for (int i = 0; i < 40; ++i) {
            const std::string relative = "docs/f" + std::to_string(i) + ".txt";
            items.push_back({dir.write(relative, dir.path() + "/" + relative), dir.path() + "/" + relative});
        }
        const ChildEnd end = test::runChild([&] {
            if (!test::privateMounts() || !c.prepare(state)) return kChildSkipped;
            {
                FreedesktopTrashMover::Options options = optionsFor(data);
                options.stateHome = state;
                FreedesktopTrashMover mover(options);
                std::vector<Url> run;
                for (const Item& item : items) run.push_back(Url::file(item.path));
                if (c.planned) mover.plan(run);
                for (const Item& item : items) {
                    try {
                        auto landed = mover.trashItem(Url::file(item.path), identityOf(item.path));
                        EXPECT_TRUE(landed && slurp(landed->path) == item.bytes) << c.label << ": " << item.path;
                    } catch (const MorvoError& error) {
                        ADD_FAILURE() << c.label << ": " << item.path << ": " << error.description();
                    }
                }
            }
            expectSoundTrash(data + "/Trash", items, {}, c.label);
            EXPECT_EQ(countEntries(journalFolderOf(state)), 0u) << c.label;
            return ::testing::Test::HasFailure() ? 1 : 0;
        });
        if (end.exited && end.code == kChildSkipped) {
            ++skipped;
            continue;
        }
        EXPECT_TRUE(end.exited && end.code == 0) << c.label << ": exit " << end.code << ", signal " << end.signal;
    }
    if (skipped == static_cast<int>(std::size(cases))) GTEST_SKIP() << "no private mounts here";
}

// A Trash on a disk that fills up during a run, with the journal on the same disk: what fits
// moves, what does not stays where it was with the disk's own error, and nothing half made is left.
TEST(TrashMoverCrash, TrashFillingUpMovesWhatFitsAndLeavesNothingHalfMade) {
    TempDir dir;
    const std::string disk = dir.path() + "/disk";
    std::vector<Item> items;
    const ChildEnd end = test::runChild([&] {
        if (!test::privateMounts() || !fs::create_directories(disk) || !test::mountTmpfs(disk, "size=64k"))
            return kChildSkipped;
        for (int i = 0; i < 10; ++i) {  // a page each, and as many records as fit
            const std::string path = disk + "/docs/f" + std::to_string(i) + ".txt";
            items.push_back({dir.write("disk/docs/f" + std::to_string(i) + ".txt", path), path});
        }
        std::size_t moved = 0, full = 0;
        {
            FreedesktopTrashMover::Options options = optionsFor(disk + "/data");
            options.stateHome = disk + "/state";
            FreedesktopTrashMover mover(options);
            std::vector<Url> run;
            for (const Item& item : items) run.push_back(Url::file(item.path));
            mover.plan(run);
            for (const Item& item : items) {
                try {
                    moved += mover.trashItem(Url::file(item.path), identityOf(item.path)) ? 1 : 0;
                } catch (const PosixError& error) {
                    EXPECT_EQ(error.code(), ENOSPC) << item.path << ": " << error.description();
                    full += error.code() == ENOSPC ? 1 : 0;
                }
            }
        }
        EXPECT_GT(moved, 0u);
        EXPECT_GT(full, 0u);
        FreedesktopTrashMover::recoverInterruptedMoves(disk + "/state");
        expectSoundTrash(disk + "/data/Trash", items, {}, "full disk");
        return ::testing::Test::HasFailure() ? 1 : 0;
    });
    if (end.exited && end.code == kChildSkipped) GTEST_SKIP() << "no private mounts here";
    EXPECT_TRUE(end.exited && end.code == 0) << "exit " << end.code << ", signal " << end.signal;
}

// A journal that starts failing in the middle of a run (its disk full, or an I/O error) ends
// neither the run nor the process: every item still moves, and the next start finds a sound Trash.
TEST(TrashMoverCrash, JournalFailingInTheMiddleOfARunEndsNothing) {
    for (int error : {ENOSPC, EIO}) {
        RunFixture f;
        const ChildEnd end = test::runChild([&] {
            FreedesktopTrashMover mover(optionsFor(f.data));
            mover.plan(f.run());
            for (const Item& item : f.items) {
                mover.trashItem(Url::file(item.path), identityOf(item.path));
                if (&item != &f.items.front()) continue;
                const auto fd = static_cast<std::uint64_t>(journalDescriptor(f.state));
                std::vector<test::SyscallRefusal> refusals;
                for (long call : {SYS_write, SYS_pwrite64, SYS_writev, SYS_fdatasync, SYS_fsync, SYS_ftruncate})
                    refusals.push_back({call, 0, 0xffffffffu, fd, error});
                if (fd == static_cast<std::uint64_t>(-1) || !test::refuseSyscalls(refusals)) return kChildSkipped;
            }
            return 0;
        });
        if (end.exited && end.code == kChildSkipped) GTEST_SKIP() << "no system call filter here";
        EXPECT_TRUE(end.exited && end.code == 0) << std::strerror(error) << ": exit " << end.code << ", signal " << end.signal;
        FreedesktopTrashMover::recoverInterruptedMoves(f.state);
        expectSoundTrash(f.trash, f.items, f.strangers, std::strerror(error));
        for (const Item& item : f.items) EXPECT_FALSE(fs::exists(item.path)) << std::strerror(error) << ": " << item.path;
    }
}

// A long session's journal stays small; recovery meanwhile leaves the live journal alone.
TEST(TrashMover, JournalOfALongSessionStaysSmall) {
    TempDir dir;
    const std::string data = dir.path() + "/data", state = data + "-state";
    std::vector<Url> run;
    for (int i = 0; i < 3000; ++i) run.push_back(Url::file(dir.write("docs/f" + std::to_string(i) + ".txt", "x")));
    auto mover = moverFor(data);
    mover.plan(run);
    std::uintmax_t largest = 0;
    for (std::size_t i = 0; i < run.size(); ++i) {
        ASSERT_TRUE(mover.trashItem(run[i], identityOf(run[i].path)));
        if (i % 50 == 0)
            for (const auto& entry : fs::directory_iterator(journalFolderOf(state)))
                largest = std::max(largest, fs::file_size(entry.path()));
        if (i == 1500) {
            EXPECT_EQ(FreedesktopTrashMover::recoverInterruptedMoves(state), 0u);
        }
    }
    EXPECT_LT(largest, 512u * 1024);
    EXPECT_EQ(countEntries(data + "/Trash/info"), run.size());
    EXPECT_EQ(countEntries(data + "/Trash/files"), run.size());
}

// A journal grown past what recovery reads (an older mover's, say) is still acted on from its end,
// where the unsettled work of a crash stands, and is then removed.
TEST(TrashMover, OversizeJournalIsRecoveredFromItsEnd) {
    TempDir dir;
    const std::string data = dir.path() + "/data", state = data + "-state";
    const std::string item = dir.write("docs/report.txt", "report");
    const ChildEnd end = test::runChild([&] {
        FreedesktopTrashMover::Options options = optionsFor(data);
        options.beforeRename = [] { ::_exit(0); };
        FreedesktopTrashMover mover(options);
        mover.trashItem(Url::file(item), identityOf(item));
        return 3;
    });
    ASSERT_TRUE(end.exited && end.code == 0);
    const std::string record = data + "/Trash/info/report.txt.trashinfo";
    ASSERT_TRUE(fs::exists(record));
    ASSERT_EQ(countEntries(journalFolderOf(state)), 1u);
    const std::string journal = fs::directory_iterator(journalFolderOf(state))->path();
    const std::string lines = slurp(journal);
    {
        const int fd = ::open((journal + ".new").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 65 << 20), 0);  // a hole stands for the settled lines of a long life
        ASSERT_EQ(::lseek(fd, 0, SEEK_END), 65 << 20);
        const std::string tail = "\n" + lines;
        ASSERT_EQ(::write(fd, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
        ::close(fd);
        fs::rename(journal + ".new", journal);
    }
    EXPECT_EQ(FreedesktopTrashMover::recoverInterruptedMoves(state), 1u);
    EXPECT_FALSE(fs::exists(record));
    EXPECT_EQ(countEntries(journalFolderOf(state)), 0u);
    EXPECT_EQ(slurp(item), "report");
}

// Work that recovery cannot reach yet (the trash of a volume that is not mounted now) waits for a
// later start, also when that recovery is itself stopped anywhere; the rest is done at once. Once
// the volume is back, its record is taken back too and no journal is left.
TEST(TrashMoverCrash, RecoveryKeepsWhatItCannotReachForALaterStart) {
    const ChildEnd end = test::runChild([] {
        if (!test::privateMounts()) return kChildSkipped;
        // Round k stops the first recovery before its k-th change; the last round lets it finish.
        long rounds = 0;
        for (long k = 1; k < 10000; rounds = k++) {
            TempDir dir;
            const std::string volume = dir.path() + "/volume", data = dir.path() + "/data", state = data + "-state";
            fs::create_directories(volume);
            if (!test::mountTmpfs(volume, "size=1m")) return kChildSkipped;
            const std::vector<Item> onDisk{{dir.write("moved.txt", "moved"), "moved"}, {dir.write("left.txt", "left"), "left"}};
            const std::vector<Item> onVolume{{dir.write("volume/report.txt", "report"), "report"}};
            // One mover moves an item and stops for good right before the rename of the next one,
            // on the volume; another stops so with an item on the disk.
            for (const std::vector<std::string>& run : {std::vector<std::string>{onDisk[0].path, onVolume[0].path},
                                                         std::vector<std::string>{onDisk[1].path}}) {
                const ChildEnd crashed = test::runChild([&] {
                    FreedesktopTrashMover::Options options = optionsFor(data);
                    int renames = 0;
                    options.beforeRename = [&renames, &run] {
                        if (++renames == static_cast<int>(run.size())) ::_exit(0);
                    };
                    FreedesktopTrashMover mover(options);
                    for (const std::string& item : run) mover.trashItem(Url::file(item), identityOf(item));
                    return 3;
                });
                EXPECT_TRUE(crashed.exited && crashed.code == 0) << k;
            }
            const std::string volumeTrash = volume + "/.Trash-" + std::to_string(::getuid());
            EXPECT_TRUE(fs::exists(volumeTrash + "/info/report.txt.trashinfo")) << k;
            if (!test::mountTmpfs(volume, "size=64k")) return kChildSkipped;  // the volume is away
            const ChildEnd stopped = test::runTraced(
                [&] {
                    FreedesktopTrashMover::recoverInterruptedMoves(state);
                    return 0;
                },
                [k](const SyscallStop& stop) { return stop.index != k; }, test::Tracing::fileChanges);
            FreedesktopTrashMover::recoverInterruptedMoves(state);
            const std::string label = "recovery stopped before change " + std::to_string(k);
            expectSoundTrash(data + "/Trash", onDisk, {}, label);
            EXPECT_TRUE(fs::exists(onDisk[1].path)) << label;
            EXPECT_EQ(::umount2(volume.c_str(), 0), 0);  // and back
            FreedesktopTrashMover::recoverInterruptedMoves(state);
            expectSoundTrash(volumeTrash, onVolume, {}, label);
            EXPECT_EQ(countEntries(volumeTrash + "/info"), 0u) << label;
            EXPECT_EQ(countEntries(journalFolderOf(state)), 0u) << label;
            ::umount2(volume.c_str(), MNT_DETACH);
            if (::testing::Test::HasFailure() || stopped.exited) break;
        }
        EXPECT_GT(rounds, 3);  // the recovery had changes to make, and was stopped before each
        return ::testing::Test::HasFailure() ? 1 : 0;
    });
    if (end.exited && end.code == kChildSkipped) GTEST_SKIP() << "no private mounts or tracing here";
    EXPECT_TRUE(end.exited && end.code == 0) << "exit " << end.code << ", signal " << end.signal;
}

// A run of the service killed at random moments, then the application's next start: the Trash is
// sound after every one of many runs.
TEST(TrashMoverCrash, ServiceRunKilledAtRandomMomentsLeavesASoundTrashAfterTheNextStart) {
    constexpr int kRuns = 10;
    constexpr int kItems = 400;
    std::mt19937 random(std::random_device{}());
    double runSeconds = 0;  // a whole run, timed by the first round, which is not killed
    for (int round = 0; round <= kRuns; ++round) {
        TempDir dir;
        const std::string data = dir.path() + "/data", state = dir.path() + "/state";
        std::vector<Item> items;
        std::vector<Url> urls;
        for (int i = 0; i < kItems; ++i) {
            const std::string path = dir.path() + "/docs/f" + std::to_string(i) + ".txt";
            items.push_back({dir.write("docs/f" + std::to_string(i) + ".txt", path), path});
            urls.push_back(Url::file(path));
        }
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::setenv("XDG_DATA_HOME", data.c_str(), 1);
            ::setenv("XDG_STATE_HOME", state.c_str(), 1);
            TrashService service(TrashPolicy({Url::file(dir.path())}, 100000, 900, Url::file(dir.path() + "/home")));
            const TrashPreview preview = service.prepare(urls, {});
            std::set<std::string> confirmed;
            for (const auto& item : preview.items) confirmed.insert(item.id);
            if (::write(ready[1], "r", 1) != 1) ::_exit(1);
            service.moveToTrash(preview, confirmed, {}, {});
            ::_exit(0);
        }
        ::close(ready[1]);
        char signal = 0;
        ASSERT_EQ(::read(ready[0], &signal, 1), 1);
        ::close(ready[0]);
        const auto started = std::chrono::steady_clock::now();
        if (round > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(
                std::uniform_real_distribution<double>(0, runSeconds)(random)));
            ::kill(child, SIGKILL);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (round == 0) {
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            runSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        }

        const char* savedData = std::getenv("XDG_DATA_HOME");
        const char* savedState = std::getenv("XDG_STATE_HOME");
        const std::string oldData = savedData ? savedData : "", oldState = savedState ? savedState : "";
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        makeDefaultTrashMover();  // the next start
        savedData ? ::setenv("XDG_DATA_HOME", oldData.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
        savedState ? ::setenv("XDG_STATE_HOME", oldState.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");

        const std::string label = "round " + std::to_string(round);
        expectSoundTrash(data + "/Trash", items, {}, label);
        EXPECT_EQ(countEntries(journalFolderOf(state)), 0u) << label;
        if (::testing::Test::HasFailure()) return;
    }
}
