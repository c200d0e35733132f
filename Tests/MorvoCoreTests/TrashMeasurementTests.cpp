#include "MorvoCore/Platform/Digest.h"
#include "MorvoCore/TrashMeasurement.h"

#include "Support/FakeFileSystem.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

using namespace morvo;
namespace fs = std::filesystem;

namespace {

const std::string kLimit = "The review reached its item limit. Select fewer or smaller folders.";
const std::string kSpecial = "This selection contains a special filesystem entry that cannot be reviewed safely.";

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "morvo-measure-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string write(const std::string& relative, const std::string& bytes) const {
        std::string p = path_ + "/" + relative;
        fs::create_directories(fs::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    std::string mkdir(const std::string& relative) const {
        std::string p = path_ + "/" + relative;
        fs::create_directories(p);
        return p;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The real file system with a few faults that root cannot otherwise meet: a folder named
// "locked" cannot be opened, an entry named "mnt" lies on another device, files named "huge"
// report the largest size, and `changeRootOnSecondLook` makes the item's own record change.
class FaultyReader : public DirectoryReader {
public:
    const DirectoryReader& real = DirectoryReader::system();
    int openDirectory(const std::string& p) const override { return real.openDirectory(p); }
    int openDirectoryAt(int d, const char* name) const override {
        if (std::strcmp(name, "locked") == 0) return -EACCES;
        return real.openDirectoryAt(d, name);
    }
    int readNames(int d, std::string& names) const override { return real.readNames(d, names); }
    int statAt(int d, const char* name, FileMetadata& out) const override {
        int rc = real.statAt(d, name, out);
        if (rc == 0 && std::strcmp(name, "mnt") == 0) out.device += 1;
        if (rc == 0 && std::strcmp(name, "huge") == 0) out.size = INT64_MAX;
        return rc;
    }
    int statPath(const std::string& p, FileMetadata& out) const override { return real.statPath(p, out); }
    void closeDirectory(int d) const override { real.closeDirectory(d); }
};

class FaultyFileSystem : public TrashFileSystem {
public:
    mutable int looks = 0;
    std::string changeRootOnSecondLook;
    TrashMetadata metadata(const std::string& p) const override {
        TrashMetadata m = TrashFileSystem::system().metadata(p);
        if (p == changeRootOnSecondLook && ++looks >= 2) m.changedNanos += 1;
        return m;
    }
    PropertyListStrings readPropertyList(const std::string& p, std::int64_t max) const override {
        return TrashFileSystem::system().readPropertyList(p, max);
    }
    std::optional<std::string> realPath(const std::string& p) const override {
        return TrashFileSystem::system().realPath(p);
    }
    const DirectoryReader& reader() const override { return reader_; }

private:
    FaultyReader reader_;
};

std::string refusal(const std::string& path, std::int64_t budget = 100) {
    try {
        trash::measure(Url::file(path), budget);
        return "";
    } catch (const MorvoError& e) {
        return e.description();
    }
}

std::string refusalWith(const std::string& path, const TrashFileSystem& fs) {
    std::int64_t budget = 100;
    try {
        trash::measure(Url::file(path), budget, {}, fs);
        return "";
    } catch (const MorvoError& e) {
        return e.description();
    }
}

Sha256::Digest digestOf(const std::string& path) {
    std::int64_t budget = 100;
    return trash::measure(Url::file(path), budget).fingerprint.digest;
}

} // namespace

TEST(TrashMeasurement, FileDigestIsTheHashOfItsOneEntry) {
    TempDir dir;
    auto file = dir.write("ten.bin", "0123456789");
    std::int64_t budget = 5;
    auto m = trash::measure(Url::file(file), budget);
    EXPECT_EQ(m.bytes, 10);
    EXPECT_EQ(m.files, 1);
    EXPECT_EQ(m.linkCount, 0);
    EXPECT_EQ(budget, 4);
    const TrashMetadata record = trash::metadata(Url::file(file));
    EXPECT_EQ(m.fingerprint.root, record);
    EXPECT_EQ(record.size, 10);
    EXPECT_EQ(m.fingerprint.digest, Sha256::of(std::string(1, '\0') + record.signature() + std::string(1, '\0')));
}

TEST(TrashMeasurement, FolderCountsFilesAndLinksWithoutFollowingThem) {
    TempDir dir;
    dir.mkdir("empty");
    std::int64_t budget = 10;
    auto empty = trash::measure(Url::file(dir.path() + "/empty"), budget);
    EXPECT_EQ(budget, 9);
    EXPECT_EQ(empty.bytes + empty.files + empty.linkCount, 0);

    dir.write("outside/big", std::string(5000, 'x'));
    dir.write("item/a", "aa");
    dir.write("item/sub/b", "bbb");
    dir.write("item/.hidden", "c");
    fs::create_symlink(dir.path() + "/outside", dir.path() + "/item/sub/link");
    budget = 10;
    auto folder = trash::measure(Url::file(dir.path() + "/item"), budget);
    EXPECT_EQ(folder.files, 3);
    EXPECT_EQ(folder.linkCount, 1);
    EXPECT_EQ(folder.bytes, 6);  // the link's target is not visited
    EXPECT_EQ(budget, 10 - 6);   // item, a, sub, b, .hidden, link

    // A selected link is measured as the link itself.
    budget = 10;
    auto link = trash::measure(Url::file(dir.path() + "/item/sub/link"), budget);
    EXPECT_EQ(link.linkCount, 1);
    EXPECT_EQ(link.files, 0);
    EXPECT_EQ(budget, 9);
}

TEST(TrashMeasurement, BudgetCountsEveryEntryIncludingTheItem) {
    TempDir dir;
    dir.write("three/a", "");
    dir.write("three/b", "");
    dir.write("three/c", "");
    const std::string item = dir.path() + "/three";
    std::int64_t budget = 3;
    try {
        trash::measure(Url::file(item), budget);
        FAIL();
    } catch (const TrashFailure& e) {
        EXPECT_EQ(e.message(), kLimit);
    }
    EXPECT_EQ(budget, 0);  // consumed units stay consumed
    budget = 4;
    EXPECT_NO_THROW(trash::measure(Url::file(item), budget));
    EXPECT_EQ(budget, 0);
    budget = 0;
    EXPECT_EQ(refusal(dir.path() + "/three/a", 0), kLimit);
}

TEST(TrashMeasurement, DigestFollowsEveryChangeButAccess) {
    TempDir dir;
    auto file = dir.write("item/sub/file.txt", "hello");
    const std::string item = dir.path() + "/item";
    const auto original = digestOf(item);
    EXPECT_EQ(digestOf(item), original);

    // Reading moves only the access time, which is not recorded.
    {
        int fd = ::open(file.c_str(), O_RDONLY);
        char c;
        ASSERT_EQ(::read(fd, &c, 1), 1);
        ::close(fd);
    }
    EXPECT_EQ(digestOf(item), original);

    timespec mtime[2] = {{0, UTIME_OMIT}, {12345, 678}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), mtime, 0), 0);
    const auto touched = digestOf(item);
    EXPECT_NE(touched, original);

    fs::rename(file, dir.path() + "/item/sub/renamed.txt");
    const auto renamed = digestOf(item);
    EXPECT_NE(renamed, touched);

    dir.write("item/sub/new", "");
    EXPECT_NE(digestOf(item), renamed);
}

TEST(TrashMeasurement, RefusesWhatCannotBeReviewedSafely) {
    TempDir dir;
    dir.write("pipe-inside/a", "");
    ASSERT_EQ(mkfifo((dir.path() + "/pipe-inside/fifo").c_str(), 0600), 0);
    EXPECT_EQ(refusal(dir.path() + "/pipe-inside"), kSpecial);
    EXPECT_EQ(refusal(dir.path() + "/pipe-inside/fifo"), kSpecial);

    dir.write("real/sub/x", "");
    fs::create_directory_symlink(dir.path() + "/real", dir.path() + "/via-link");
    EXPECT_EQ(refusal(dir.path() + "/via-link/sub"),
              "This path passes through a symbolic link. Choose the original location directly.");
    EXPECT_EQ(refusal(dir.path() + "/missing"), PosixError(ENOENT, "").description());

    FaultyFileSystem faulty;
    dir.write("mounted/mnt/file", "");
    EXPECT_EQ(refusalWith(dir.path() + "/mounted", faulty),
              "This folder contains a mounted volume. Review that volume separately.");
    dir.write("unreadable/locked/file", "");
    dir.write("unreadable/other", "");
    EXPECT_EQ(refusalWith(dir.path() + "/unreadable", faulty), PosixError(EACCES, "").description());
    dir.write("overflow/huge", "");
    dir.write("overflow/more/huge", "");
    EXPECT_EQ(refusalWith(dir.path() + "/overflow", faulty), "The reported file size is too large to review safely.");
    dir.write("single/huge", "");
    EXPECT_EQ(refusalWith(dir.path() + "/single", faulty), "");  // one such file still fits

    faulty.changeRootOnSecondLook = dir.path() + "/single";
    EXPECT_EQ(refusalWith(dir.path() + "/single", faulty), "This item changed during review. Prepare a fresh preview.");
}

TEST(TrashMeasurement, CancellationIsThrownBeforeTheWalk) {
    TempDir dir;
    dir.write("item/a", "");
    std::stop_source source;
    source.request_stop();
    std::int64_t budget = 10;
    EXPECT_THROW(trash::measure(Url::file(dir.path() + "/item"), budget, source.get_token()), CancellationError);
    EXPECT_EQ(budget, 10);
}

TEST(TrashMeasurement, AncestorWalkReportsTheFailingPath) {
    TempDir dir;
    try {
        trash::validateAncestors(Url::file(dir.path() + "/nope/deeper"));
        FAIL();
    } catch (const PosixError& e) {
        EXPECT_EQ(e.code(), ENOENT);
        EXPECT_EQ(e.path(), dir.path() + "/nope");
    }
    EXPECT_NO_THROW(trash::validateAncestors(Url::file("/")));
}

namespace {

// The digest as the single walk of the first version made it: every entry with its path relative
// to the item, sorted by that path.
Sha256::Digest referenceDigest(const std::string& item) {
    std::vector<std::pair<std::string, TrashMetadata>> entries{{"", trash::metadata(Url::file(item))}};
    auto walk = DirectoryEnumerator::make(item, DirectoryEnumerator::Options::none, nullptr);
    while (auto entry = walk->next()) entries.emplace_back(entry->path.substr(item.size() + 1), trashMetadata(entry->metadata));
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Sha256 hash;
    const char zero = '\0';
    for (const auto& [relative, record] : entries) {
        hash.update(relative);
        hash.update(&zero, 1);
        hash.update(record.signature());
        hash.update(&zero, 1);
    }
    return hash.finish();
}

// Enough entries in one folder for the measurement to share the reading out.
void writeMany(const TempDir& dir, const std::string& folder, int count) {
    for (int i = 0; i < count; ++i) dir.write(folder + "/f" + std::to_string(i), std::string(i % 7, 'x'));
}

struct Outcome {
    std::string refusal;
    std::int64_t budgetLeft = 0;
    std::optional<trash::Measurement> measured;
};

Outcome measureWith(const std::string& path, std::int64_t budget, unsigned threads,
                    const TrashFileSystem& fs = TrashFileSystem::system()) {
    Outcome out;
    try {
        out.measured = trash::measure(Url::file(path), budget, {}, fs, threads);
    } catch (const MorvoError& e) {
        out.refusal = e.description();
    }
    out.budgetLeft = budget;
    return out;
}

} // namespace

TEST(TrashMeasurement, SameResultWhateverTheNumberOfThreads) {
    TempDir dir;
    writeMany(dir, "item/wide", 1500);
    writeMany(dir, "item/b/deep/er/still", 300);
    dir.write("item/b c/x", "12");
    dir.write("item/b-c/.hidden", "123");
    dir.write("item/bc", "1234");
    dir.mkdir("item/empty");
    fs::create_symlink(dir.path() + "/item/bc", dir.path() + "/item/b/link");
    const std::string item = dir.path() + "/item";
    const Sha256::Digest reference = referenceDigest(item);

    for (unsigned threads : {1u, 2u, 8u, 0u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const Outcome o = measureWith(item, 5000, threads);
        ASSERT_TRUE(o.measured) << o.refusal;
        EXPECT_EQ(o.measured->fingerprint.digest, reference);
        EXPECT_EQ(o.measured->fingerprint.root, trash::metadata(Url::file(item)));
        EXPECT_EQ(o.measured->files, 1500 + 300 + 3);
        EXPECT_EQ(o.measured->linkCount, 1);
        EXPECT_EQ(o.budgetLeft, 5000 - (1 + 1500 + 300 + 3 + 1 + 8));  // the item, files, link, folders
    }
}

TEST(TrashMeasurement, SameRefusalWhateverTheNumberOfThreads) {
    TempDir dir;
    FaultyFileSystem faulty;
    for (const char* name : {"mounted", "unreadable", "overflow", "special", "limit"}) writeMany(dir, name + std::string("/wide"), 1300);
    dir.write("mounted/sub/mnt/file", "");
    dir.write("unreadable/sub/locked/file", "");
    dir.write("overflow/a/huge", "");
    dir.write("overflow/z/huge", "");
    ASSERT_EQ(mkfifo((dir.path() + "/special/fifo").c_str(), 0600), 0);
    struct Case {
        const char* item;
        std::int64_t budget;
        std::string refusal;
    };
    const std::vector<Case> cases = {
        {"mounted", 5000, "This folder contains a mounted volume. Review that volume separately."},
        {"unreadable", 5000, PosixError(EACCES, "").description()},
        {"overflow", 5000, "The reported file size is too large to review safely."},
        {"special", 5000, kSpecial},
        {"limit", 1000, kLimit},   // reached inside the wide folder
        {"limit", 1302, ""},       // exactly enough
        {"limit", 1301, kLimit},   // one short: the last entry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.item) + " " + std::to_string(c.budget));
        const Outcome single = measureWith(dir.path() + "/" + c.item, c.budget, 1, faulty);
        EXPECT_EQ(single.refusal, c.refusal);
        for (unsigned threads : {2u, 8u}) {
            const Outcome shared = measureWith(dir.path() + "/" + c.item, c.budget, threads, faulty);
            EXPECT_EQ(shared.refusal, single.refusal);
            EXPECT_EQ(shared.budgetLeft, single.budgetLeft);
            if (single.measured && shared.measured)
                EXPECT_EQ(shared.measured->fingerprint.digest, single.measured->fingerprint.digest);
        }
    }
}

using morvo::testing::FakeFileSystem;

namespace {

// The measurement over a made-up tree.
class FakeTrashFileSystem final : public TrashFileSystem {
public:
    explicit FakeTrashFileSystem(const FakeFileSystem& tree) : tree_(tree) {}
    TrashMetadata metadata(const std::string& p) const override {
        FileMetadata m;
        if (int error = tree_.statPath(p, m)) throw PosixError(error, p);
        return trashMetadata(m);
    }
    PropertyListStrings readPropertyList(const std::string&, std::int64_t) const override { return {}; }
    std::optional<std::string> realPath(const std::string& p) const override { return p; }
    const DirectoryReader& reader() const override { return tree_; }
    bool isMountRoot(const std::string&) const override { return false; }

private:
    const FakeFileSystem& tree_;
};

} // namespace

// An item many times the budget is read only as far as the budget reaches, and gives the same
// refusal (the first in the walk's order) and leaves the same budget on any threads.
TEST(TrashMeasurement, ItemFarLargerThanTheBudgetIsReadOnlyAsFarAsTheBudget) {
    FakeFileSystem tree;
    auto add = [&](const std::string& p, std::uint32_t type = S_IFREG) {
        FileMetadata& m = type == S_IFDIR ? tree.folder(p) : tree.file(p, 3);
        if (type == S_IFIFO) m.mode = S_IFIFO | 0600;
        m.mountRootKnown = true;
    };
    auto addMany = [&](const std::string& folder, int count) {
        add(folder, S_IFDIR);
        for (int i = 0; i < count; ++i) add(folder + "/f" + std::to_string(i));
    };
    add("/m", S_IFDIR);
    addMany("/m/flat", 2000);
    // The pipe comes before the budget in the walk's order, however the folders are read.
    add("/m/pipe-early", S_IFDIR);
    addMany("/m/pipe-early/a", 50);
    add("/m/pipe-early/b", S_IFDIR);
    add("/m/pipe-early/b/fifo", S_IFIFO);
    addMany("/m/pipe-early/b/more", 1000);
    // The pipe lies past the budget.
    add("/m/pipe-late", S_IFDIR);
    addMany("/m/pipe-late/a", 1000);
    add("/m/pipe-late/fifo", S_IFIFO);
    addMany("/m/fits", 90);
    const FakeTrashFileSystem fake(tree);

    struct Case {
        const char* item;
        std::int64_t budget;
        std::string refusal;
        std::int64_t budgetLeft;
    };
    const std::vector<Case> cases = {
        {"/m/flat", 100, kLimit, 0},
        {"/m/flat", 1500, kLimit, 0},  // the limit met far into the folder, past several slices
        {"/m/flat", 1, kLimit, 0},
        {"/m/pipe-early", 100, kSpecial, 100 - 54},  // the item, a and its 50, b, and the pipe, refused
        {"/m/pipe-late", 100, kLimit, 0},
        {"/m/fits", 91, "", 0},
    };
    for (const Case& c : cases) {
        for (unsigned threads : {1u, 2u, 8u}) {
            SCOPED_TRACE(std::string(c.item) + " budget " + std::to_string(c.budget) + " threads " +
                         std::to_string(threads));
            const std::size_t namesBefore = tree.namesRead(), statsBefore = tree.stats();
            const Outcome o = measureWith(c.item, c.budget, threads, fake);
            EXPECT_EQ(o.refusal, c.refusal);
            EXPECT_EQ(o.budgetLeft, c.budgetLeft);
            // Several folders may be listed at once, each past the budget by up to a read.
            const std::size_t names = tree.namesRead() - namesBefore;
            EXPECT_LE(names, static_cast<std::size_t>(c.budget) + (threads + 2) * tree.namesPerRead);
            EXPECT_LE(tree.stats() - statsBefore, names + 10);  // and the item's own, and its folders'
            EXPECT_EQ(tree.openHandles(), 0u);
        }
    }
}
