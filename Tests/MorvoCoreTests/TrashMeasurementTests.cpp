#include "MorvoCore/Platform/Digest.h"
#include "MorvoCore/TrashMeasurement.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
