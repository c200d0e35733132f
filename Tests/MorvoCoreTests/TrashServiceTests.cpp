#include "MorvoCore/TrashService.h"

#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/TrashRules.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

using namespace morvo;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kDiskSpace = "Moving to Trash does not immediately recover disk space.";
const std::string kMoved = "Moved to Trash. Disk space has not been counted as recovered.";
const std::string kChanged = "This item or its contents changed after review. Prepare a fresh preview.";
const std::string kLimit = "The review reached its item limit. Select fewer or smaller folders.";
const std::string kRunCancelled = "Cleanup cancelled. This item was not moved.";

class TempDir {
public:
    TempDir() {
        std::string tmpl = (fs::temp_directory_path() / "morvo-service-XXXXXX").string();
        path_ = mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string write(const std::string& relative, const std::string& bytes = "") const {
        std::string p = path_ + "/" + relative;
        fs::create_directories(fs::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    std::string mkdir(const std::string& relative) const {
        fs::create_directories(path_ + "/" + relative);
        return path_ + "/" + relative;
    }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The real freedesktop mover into a private data folder, with failures and pauses on demand.
class TestMover : public TrashMover {
public:
    explicit TestMover(const std::string& dataHome) : real_(options(dataHome)) {}
    std::set<std::string> failing;
    std::function<void(const Url&)> beforeMove;
    std::vector<std::string> calls;

    std::optional<Url> trashItem(const Url& item, const TrashItemIdentity& expected) override {
        calls.push_back(item.path);
        if (beforeMove) beforeMove(item);
        if (failing.contains(item.path)) throw PosixError(EACCES, item.path);
        return real_.trashItem(item, expected);
    }

private:
    static FreedesktopTrashMover::Options options(const std::string& dataHome) {
        FreedesktopTrashMover::Options o;
        o.dataHome = dataHome;
        o.uid = ::getuid();
        return o;
    }
    FreedesktopTrashMover real_;
};

struct Fixture {
    TempDir dir;
    std::shared_ptr<TestMover> mover = std::make_shared<TestMover>(dir / "data");
    TrashClock::time_point now = TrashClock::now();
    std::int64_t maxItems = 100000;

    std::unique_ptr<TrashService> service() {
        return std::make_unique<TrashService>(TrashPolicy({}, maxItems, 900, Url::file(dir / "home")), mover,
                                              [this] { return now; });
    }
};

std::vector<Url> urls(std::initializer_list<std::string> paths) {
    std::vector<Url> out;
    for (const auto& p : paths) out.push_back(Url::file(p));
    return out;
}

std::set<std::string> idsOf(const TrashPreview& preview) {
    std::set<std::string> ids;
    for (const auto& item : preview.items) ids.insert(item.id);
    return ids;
}

std::vector<std::string> messages(const TrashReport& report) {
    std::vector<std::string> out;
    for (const auto& r : report.results) out.push_back(r.message);
    return out;
}

} // namespace

TEST(TrashPreview, DropsDuplicatesAndNestedSelectionsWithWarnings) {
    Fixture f;
    auto& d = f.dir;
    d.write("a/b/c/file", "12345");
    d.write("a/b/d", "1");
    d.write("a/bc/x", "xy");
    fs::create_symlink(d / "a/b/d", d / "a/bc/link");
    auto service = f.service();
    auto preview = service->prepare(urls({d / "a/b", d / "a/b/c", d / "a/bc", d / "a/b/d", d / "a/b", d / "a/b/c/file"}), {});
    EXPECT_EQ(preview.serviceID, service->serviceID());
    EXPECT_EQ(preview.createdAt, f.now);
    EXPECT_FALSE(preview.isCancelled);
    ASSERT_EQ(preview.items.size(), 2u);
    const auto& outer = preview.items[0];
    EXPECT_EQ(outer.id, d / "a/b");
    EXPECT_EQ(outer.warnings,
              (std::vector<std::string>{"Includes 3 nested selections; each item will be moved only once.", kDiskSpace}));
    EXPECT_EQ(outer.logicalSize, 6);
    EXPECT_EQ(outer.fileCount, 2);
    EXPECT_TRUE(outer.canMove());
    EXPECT_TRUE(outer.fingerprint);
    const auto& sibling = preview.items[1];
    EXPECT_EQ(sibling.id, d / "a/bc");
    EXPECT_EQ(sibling.warnings,
              (std::vector<std::string>{"Contains 1 symbolic link. Only the links are moved; their targets are not followed.",
                                        kDiskSpace}));
    EXPECT_EQ(sibling.logicalSize, 2);

    auto one = service->prepare(urls({d / "a/b/c", d / "a/b/c/file"}), {});
    ASSERT_EQ(one.items.size(), 1u);
    EXPECT_EQ(one.items[0].warnings.front(), "Includes 1 nested selection; each item will be moved only once.");
    fs::create_symlink(d / "a/b/d", d / "a/bc/link2");
    EXPECT_EQ(service->prepare(urls({d / "a/bc"}), {}).items[0].warnings.front(),
              "Contains 2 symbolic links. Only the links are moved; their targets are not followed.");

    auto empty = service->prepare({}, {});
    EXPECT_TRUE(empty.items.empty());
    EXPECT_FALSE(empty.isCancelled);
    EXPECT_NE(empty.id, preview.id);
}

TEST(TrashPreview, BlockedItemsKeepNestedWarningButNoDiskSpaceNote) {
    Fixture f;
    f.dir.write("home/Documents/x");
    auto preview = f.service()->prepare(urls({f.dir / "home", f.dir / "home/Documents", f.dir / "missing"}), {});
    ASSERT_EQ(preview.items.size(), 2u);
    const auto& home = preview.items[0];
    EXPECT_EQ(home.blockedReason, "Your home folder and essential application-data locations are protected.");
    EXPECT_EQ(home.warnings, std::vector<std::string>{"Includes 1 nested selection; each item will be moved only once."});
    EXPECT_EQ(home.logicalSize, 0);
    EXPECT_EQ(home.fileCount, 0);
    EXPECT_FALSE(home.fingerprint);
    EXPECT_EQ(preview.items[1].blockedReason, "No such file or directory");
    EXPECT_TRUE(preview.items[1].warnings.empty());
}

// Info.plists read from disk: a list without a readable identifier leaves the identity
// unverified; only a file that is no property list at all gives the format error.
TEST(TrashPreview, BundleIdentityFromRealInfoPlists) {
    Fixture f;
    const std::string format = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
    const std::string unverified = "This application's identity could not be verified.";
    const std::pair<std::string, std::string> cases[] = {
        {"<plist version=\"1.0\"><array><string>com.example.a</string></array></plist>", unverified},
        {"<plist version=\"1.0\"><string>com.example.a</string></plist>", unverified},
        {"<plist version=\"1.0\"><dict><key>CFBundleName</key><string>A</string></dict></plist>", unverified},
        {"<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>", format},
    };
    int i = 0;
    for (const auto& [plist, reason] : cases) {
        const std::string name = "Apps/T" + std::to_string(i++) + ".app";
        const std::string app = f.dir / name;
        f.dir.write(name + "/Contents/Info.plist", plist);
        auto preview = f.service()->prepare(urls({app}), {});
        ASSERT_EQ(preview.items.size(), 1u);
        EXPECT_EQ(preview.items[0].blockedReason, reason) << plist;
    }
}

TEST(TrashPreview, OneBudgetForThePreview) {
    Fixture f;
    for (int i = 0; i < 6; ++i) {
        f.dir.write("one/f" + std::to_string(i));
        f.dir.write("two/f" + std::to_string(i));
    }
    f.maxItems = 10;
    auto preview = f.service()->prepare(urls({f.dir / "one", f.dir / "two"}), {});
    EXPECT_TRUE(preview.items[0].canMove());
    EXPECT_EQ(preview.items[1].blockedReason, kLimit);
}

TEST(TrashPreview, CancellationDuringTheSecondItem) {
    TempDir d;
    d.write("first/a");
    d.write("second/a");
    d.write("third/a");
    std::stop_source source;
    // Stops the preview as soon as the second item is looked at.
    struct StoppingFileSystem : TrashFileSystem {
        std::string trigger;
        std::stop_source* source = nullptr;
        TrashMetadata metadata(const std::string& p) const override {
            if (p == trigger) source->request_stop();
            return TrashFileSystem::system().metadata(p);
        }
        PropertyListStrings readPropertyList(const std::string& p, std::int64_t m) const override {
            return TrashFileSystem::system().readPropertyList(p, m);
        }
        std::optional<std::string> realPath(const std::string& p) const override {
            return TrashFileSystem::system().realPath(p);
        }
        const DirectoryReader& reader() const override { return DirectoryReader::system(); }
    } stopping;
    stopping.trigger = d / "second";
    stopping.source = &source;
    TrashPolicy policy({}, 100, 900, Url::file(d / "home"));
    auto preview = TrashService::prepareSynchronously(urls({d / "first", d / "second", d / "third"}), {}, policy,
                                                      Uuid::make(), source.get_token(), TrashClock::now(), stopping);
    ASSERT_EQ(preview.items.size(), 3u);
    EXPECT_TRUE(preview.items[0].canMove());
    EXPECT_EQ(preview.items[1].blockedReason, CancellationError().description());
    EXPECT_EQ(preview.items[2].blockedReason, "Preview cancelled. Review these items again.");
    EXPECT_TRUE(preview.items[2].warnings.empty());
    EXPECT_TRUE(preview.isCancelled);
}

TEST(TrashMove, MovesConfirmedItemsOnceAndReportsWhereTheyWent) {
    Fixture f;
    auto file = f.dir.write("work/notes.txt", "notes");
    f.dir.write("work/build/out.o", "obj");
    auto service = f.service();
    auto preview = service->prepare(urls({file, f.dir / "work/build", f.dir / "work/keep"}), {});
    f.dir.write("work/keep");  // appears after the review: still blocked by its review
    auto report = service->moveToTrash(preview, {file, f.dir / "work/build", f.dir / "work/keep"}, {}, {});
    ASSERT_EQ(report.results.size(), 3u);
    EXPECT_FALSE(report.wasCancelled);
    EXPECT_FALSE(report.previewAlreadyUsed);
    EXPECT_EQ(report.results[0].status, TrashItemStatus::moved);
    EXPECT_EQ(report.results[0].message, kMoved);
    EXPECT_EQ(report.results[0].logicalSize, 5);
    ASSERT_TRUE(report.results[0].trashURL);
    EXPECT_EQ(report.results[0].trashURL->path, f.dir / "data/Trash/files/notes.txt");
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(report.results[1].status, TrashItemStatus::moved);
    EXPECT_TRUE(fs::exists(f.dir / "data/Trash/files/build/out.o"));
    EXPECT_EQ(report.results[2].status, TrashItemStatus::skipped);
    EXPECT_EQ(report.results[2].message, "No such file or directory");  // blocked in the preview
    EXPECT_TRUE(fs::exists(f.dir / "work/keep"));

    auto again = service->moveToTrash(preview, {file}, {}, {});
    EXPECT_TRUE(again.previewAlreadyUsed);
    for (const auto& r : again.results) {
        EXPECT_EQ(r.status, TrashItemStatus::skipped);
        EXPECT_EQ(r.message, "This preview has already been submitted. Review remaining items again.");
        EXPECT_FALSE(r.trashURL);
    }
}

TEST(TrashMove, RefusedRunsTouchNothing) {
    Fixture f;
    auto file = f.dir.write("x/file", "data");
    auto service = f.service();
    auto other = f.service();
    auto preview = service->prepare(urls({file}), {});
    const auto start = f.now;

    struct Case {
        std::string name;
        std::function<TrashReport()> run;
        std::string message;
        bool cancelled;
    };
    TrashPreview foreign = other->prepare(urls({file}), {});
    foreign.createdAt = start - 10000s;
    TrashPreview cancelledPreview = preview;
    cancelledPreview.isCancelled = true;
    std::stop_source stopped;
    stopped.request_stop();
    const Case cases[] = {
        {"foreign and expired", [&] { return service->moveToTrash(foreign, {}, {}, {}); },
         "This preview belongs to another cleanup session. Review these items again.", false},
        {"cancelled preview", [&] { return service->moveToTrash(cancelledPreview, {file}, {}, {}); },
         "Cleanup was cancelled. No additional items were moved.", true},
        {"cancelled caller", [&] { return service->moveToTrash(preview, {file}, {}, {}, stopped.get_token()); },
         "Cleanup was cancelled. No additional items were moved.", true},
        {"outside confirmation", [&] { return service->moveToTrash(preview, {file, "/elsewhere"}, {}, {}); },
         "The confirmation contains an item outside this preview. Review these items again.", false},
        {"expired", [&] { f.now = start + 901s; return service->moveToTrash(preview, {file}, {}, {}); },
         "This preview expired. Review these items again.", false},
        {"from the future", [&] { f.now = start - 1s; return service->moveToTrash(preview, {file}, {}, {}); },
         "This preview expired. Review these items again.", false},
    };
    for (const auto& c : cases) {
        auto report = c.run();
        f.now = start;
        ASSERT_EQ(report.results.size(), 1u) << c.name;
        EXPECT_EQ(report.results[0].message, c.message) << c.name;
        EXPECT_EQ(report.results[0].status, TrashItemStatus::skipped) << c.name;
        EXPECT_EQ(report.results[0].logicalSize, 4) << c.name;
        EXPECT_EQ(report.wasCancelled, c.cancelled) << c.name;
        EXPECT_FALSE(report.previewAlreadyUsed) << c.name;
    }
    EXPECT_TRUE(f.mover->calls.empty());
    EXPECT_TRUE(fs::exists(file));

    // None of those runs used the preview up: at exactly its lifetime it still moves.
    f.now = start + 900s;
    auto report = service->moveToTrash(preview, {file}, {}, {});
    EXPECT_EQ(report.results[0].status, TrashItemStatus::moved);
    // Remembered while it lives, forgotten after.
    EXPECT_TRUE(service->moveToTrash(preview, {}, {}, {}).previewAlreadyUsed);
    f.now = start + 900s + 901s;
    EXPECT_FALSE(service->moveToTrash(preview, {}, {}, {}).previewAlreadyUsed);
}

TEST(TrashMove, OneRunAtATime) {
    Fixture f;
    auto a = f.dir.write("a", "a");
    auto b = f.dir.write("b", "b");
    auto service = f.service();
    auto first = service->prepare(urls({a}), {});
    auto second = service->prepare(urls({b}), {});
    std::mutex m;
    std::condition_variable cv;
    bool entered = false, released = false;
    f.mover->beforeMove = [&](const Url&) {
        std::unique_lock lock(m);
        entered = true;
        cv.notify_all();
        cv.wait(lock, [&] { return released; });
    };
    TrashReport firstReport;
    std::thread runner([&] { firstReport = service->moveToTrash(first, {a}, {}, {}); });
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return entered; });
    }
    auto refused = service->moveToTrash(second, {b}, {}, {});
    EXPECT_EQ(refused.results[0].message,
              "Another cleanup is in progress. Wait for it to finish before moving these items.");
    auto previewMeanwhile = service->prepare(urls({b}), {});  // previews still work
    EXPECT_TRUE(previewMeanwhile.items[0].canMove());
    {
        std::lock_guard lock(m);
        released = true;
    }
    cv.notify_all();
    runner.join();
    f.mover->beforeMove = nullptr;
    EXPECT_EQ(firstReport.results[0].status, TrashItemStatus::moved);
    EXPECT_EQ(service->moveToTrash(second, {b}, {}, {}).results[0].status, TrashItemStatus::moved);
}

TEST(TrashMove, DependencyOrderPutsDataAfterItsApplication) {
    auto item = [](const std::string& id) {
        TrashPreviewItem i;
        i.id = id;
        i.url = Url::file(id);
        return i;
    };
    std::vector<TrashPreviewItem> items = {item("/d1"), item("/x"), item("/A"), item("/c1"), item("/c2"), item("/u")};
    auto order = TrashService::dependencyOrder(
        items, {"/d1", "/x", "/A", "/c1", "/c2", "/u"},
        {{"/d1", "/A"}, {"/c1", "/c2"}, {"/c2", "/c1"}, {"/u", "/notInPreview"}});
    std::vector<std::string> ids;
    for (const auto& i : order.items) ids.push_back(i.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"/x", "/A", "/u", "/d1", "/c1", "/c2"}));
    EXPECT_EQ(order.blocked.size(), 3u);
    EXPECT_EQ(order.blocked["/c1"], "This selection contains a dependency cycle. Review these items again.");
    EXPECT_EQ(order.blocked["/u"], "The related application's removal was not confirmed in this preview. Its data was kept.");
}

TEST(TrashMove, DataStaysWhenItsApplicationDoesNotMove) {
    Fixture f;
    const std::string app = f.dir / "Apps/Tool.app";
    f.dir.write("Apps/Tool.app/Contents/Info.plist",
                "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key>"
                "<string>com.example.tool</string></dict></plist>");
    const std::string cache = f.dir.mkdir("cache/com.example.tool");
    const std::string other = f.dir.write("other.log", "log");
    auto service = f.service();
    auto preview = service->prepare(urls({cache, app, other}), {});
    for (const auto& i : preview.items) ASSERT_TRUE(i.canMove()) << i.id << " " << *i.blockedReason;

    f.mover->failing = {app};
    auto report = service->moveToTrash(preview, {cache, app, other}, {}, {{cache, app}});
    ASSERT_EQ(report.results.size(), 3u);
    EXPECT_EQ(report.results[0].id, app);
    EXPECT_EQ(report.results[0].status, TrashItemStatus::failed);
    EXPECT_EQ(report.results[0].message, "macOS could not move this item to Trash: Permission denied");
    EXPECT_EQ(report.results[1].id, other);
    EXPECT_EQ(report.results[1].status, TrashItemStatus::moved);
    EXPECT_EQ(report.results[2].id, cache);
    EXPECT_EQ(report.results[2].message, "The related application was not successfully moved to Trash. Its data was kept.");
    EXPECT_TRUE(fs::exists(cache));
    EXPECT_TRUE(fs::exists(app));

    // Moved together when the application moves first; unconfirmed application keeps its data.
    auto fresh = service->prepare(urls({cache, app}), {});
    f.mover->failing.clear();
    auto unconfirmed = service->moveToTrash(fresh, {cache}, {}, {{cache, app}});
    EXPECT_EQ(messages(unconfirmed), (std::vector<std::string>{
                                          "The related application's removal was not confirmed in this preview. Its data was kept.",
                                          "This item was not confirmed."}));
    auto both = service->moveToTrash(service->prepare(urls({cache, app}), {}), {cache, app}, {}, {{cache, app}});
    EXPECT_EQ(messages(both), (std::vector<std::string>{kMoved, kMoved}));
    EXPECT_EQ(f.mover->calls.back(), cache);
}

TEST(TrashMove, AnythingChangedAfterReviewIsSkipped) {
    Fixture f;
    auto& d = f.dir;
    const std::string edited = d.write("edited.txt", "v1");
    const std::string grown = d.mkdir("grown");
    const std::string linked = d.write("linked.txt", "same");
    const std::string swapped = d.write("swapped.txt", "same");
    const std::string vanished = d.write("vanished.txt", "bye");
    const std::string steady = d.write("steady.txt", "ok");
    auto service = f.service();
    auto preview = service->prepare(urls({edited, grown, linked, swapped, vanished, steady}), {});

    d.write("edited.txt", "v2");
    timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
    utimensat(AT_FDCWD, edited.c_str(), later, 0);
    d.write("grown/new");
    fs::remove(linked);
    fs::create_symlink(steady, linked);
    const std::string replacement = d.write("replacement", "same");
    fs::rename(replacement, swapped);  // another inode under the reviewed name
    fs::remove(vanished);

    auto report = service->moveToTrash(preview, idsOf(preview), {}, {});
    EXPECT_EQ(messages(report),
              (std::vector<std::string>{
                  kChanged, kChanged,
                  "Could not revalidate this item: This path passes through a symbolic link. Choose the original location directly.",
                  kChanged, "Could not revalidate this item: No such file or directory", kMoved}));
    for (std::size_t i = 0; i + 1 < report.results.size(); ++i)
        EXPECT_EQ(report.results[i].status, TrashItemStatus::skipped);
    EXPECT_TRUE(fs::exists(edited) && fs::exists(grown / fs::path("new")) && fs::exists(swapped));
    EXPECT_EQ(f.mover->calls, std::vector<std::string>{steady});
}

TEST(TrashMove, LastMomentChecksAndRunBudget) {
    Fixture f;
    auto& d = f.dir;
    for (int i = 0; i < 4; ++i) {
        d.write("A/f" + std::to_string(i));
        d.write("B/f" + std::to_string(i));
    }
    f.maxItems = 10;
    auto service = f.service();
    auto preview = service->prepare(urls({d / "A", d / "B"}), {});
    ASSERT_TRUE(preview.items[1].canMove());
    d.write("A/extra");  // A now takes 6 of the run's 10 units
    auto report = service->moveToTrash(preview, idsOf(preview), {}, {});
    EXPECT_EQ(messages(report), (std::vector<std::string>{kChanged, "Could not revalidate this item: " + kLimit}));

    // The item was replaced between the last check and the move: the mover notices.
    const std::string file = d.write("late.txt", "x");
    auto late = service->prepare(urls({file}), {});
    struct ChangedMover : TrashMover {
        std::optional<Url> trashItem(const Url&, const TrashItemIdentity&) override { throw TrashItemChangedError(); }
    } changed;
    TrashPolicy policy({}, 100, 900, Url::file(d / "home"));
    auto result = TrashService::moveSynchronously(late, {file}, {}, {}, policy, changed);
    EXPECT_EQ(result.results[0].status, TrashItemStatus::skipped);
    EXPECT_EQ(result.results[0].message, "This item changed after review. Prepare a fresh preview.");
    EXPECT_TRUE(fs::exists(file));

    // A preview item without a fingerprint is never moved.
    TrashPreview stripped = late;
    stripped.items[0].fingerprint.reset();
    auto none = TrashService::moveSynchronously(stripped, {file}, {}, {}, policy, changed);
    EXPECT_EQ(none.results[0].message, "No complete preview is available.");
}

TEST(TrashMove, CancellationMidRunKeepsWhatMovedAndStops) {
    Fixture f;
    auto a = f.dir.write("a", "a");
    auto b = f.dir.write("b", "b");
    auto service = f.service();
    auto preview = service->prepare(urls({a, b}), {});
    std::stop_source source;
    f.mover->beforeMove = [&](const Url&) { source.request_stop(); };
    auto report = service->moveToTrash(preview, {a, b}, {}, {}, source.get_token());
    EXPECT_EQ(report.results[0].status, TrashItemStatus::moved);
    EXPECT_EQ(report.results[1].status, TrashItemStatus::skipped);
    EXPECT_EQ(report.results[1].message, kRunCancelled);
    EXPECT_TRUE(report.wasCancelled);
    EXPECT_TRUE(fs::exists(b));
}

TEST(TrashMove, ProtectedItemsAreRecheckedAtMoveTime) {
    Fixture f;
    auto app = f.dir.mkdir("running/Helper");
    auto service = f.service();
    auto preview = service->prepare(urls({app}), {});
    ASSERT_TRUE(preview.items[0].canMove());
    auto report = service->moveToTrash(preview, {app}, {Url::file(app + "/bin")}, {});
    EXPECT_EQ(report.results[0].message,
              "Could not revalidate this item: This item contains, or belongs to, a protected or running application.");
    EXPECT_TRUE(fs::exists(app));
}

namespace {

// The preview as it was first written: every selection compared with every other. The service
// must give exactly this, item for item.
TrashPreview referencePreview(const std::vector<Url>& selection, const TrashPolicy& policy) {
    auto keyOf = [](const Url& url) { return url.isFileURL() ? path::normalize(url.path) : url.absoluteString(); };
    std::vector<std::pair<std::string, Url>> unique;
    std::set<std::string> seen;
    for (const Url& url : selection)
        if (seen.insert(keyOf(url)).second) unique.emplace_back(keyOf(url), url);
    auto contains = [](const auto& outer, const auto& inner) {
        return outer.second.isFileURL() && inner.second.isFileURL() && outer.first != inner.first &&
               path::isWithin(inner.first, outer.first);
    };
    TrashPreview preview;
    std::int64_t budget = policy.maxItems();
    for (const auto& candidate : unique) {
        bool nested = false;
        for (const auto& other : unique) nested = nested || contains(other, candidate);
        if (nested) continue;
        TrashPreviewItem item;
        item.id = candidate.first;
        item.url = candidate.second;
        std::size_t count = 0;
        for (const auto& other : unique) count += contains(candidate, other) ? 1 : 0;
        if (count >= 1)
            item.warnings.push_back("Includes " + std::to_string(count) + " nested selection" + (count == 1 ? "" : "s") +
                                    "; each item will be moved only once.");
        try {
            trash::validate(item.url, {}, policy);
            trash::Measurement m = trash::measure(item.url, budget, {}, TrashFileSystem::system(), 1);
            if (m.linkCount >= 1)
                item.warnings.push_back("Contains " + std::to_string(m.linkCount) + " symbolic link" +
                                        (m.linkCount == 1 ? "" : "s") +
                                        ". Only the links are moved; their targets are not followed.");
            item.warnings.push_back(kDiskSpace);
            item.logicalSize = m.bytes;
            item.fileCount = m.files;
            item.fingerprint = m.fingerprint;
        } catch (const std::exception& error) {
            item.blockedReason = errorDescription(error);
        }
        preview.items.push_back(std::move(item));
    }
    return preview;
}

} // namespace

TEST(TrashPreview, SameItemsAsComparingEveryPair) {
    Fixture f;
    auto& d = f.dir;
    d.write("a/b/c/file", "12345");
    d.write("a/b/d", "1");
    d.write("a/b c/x", "xy");
    d.write("a/b-c/y", "xyz");
    d.write("a/bc", "z");
    d.write("home/Documents/x", "1");
    fs::create_symlink(d / "a/b/d", d / "a/b c/link");
    auto file = [&](const std::string& p) { return Url::file(d / p); };
    auto raw = [](std::string p) {  // a file URL exactly as given, relative or with extra slashes
        Url url;
        url.scheme = "file";
        url.path = std::move(p);
        return url;
    };
    const std::vector<std::vector<Url>> selections = {
        {file("a/b"), file("a/b/c"), file("a/b"), file("a/b/c/file"), file("a/b/d")},
        {file("a/b/c/file"), file("a/b/c"), file("a/b")},  // inner ones first
        {file("a/b"), file("a/b c"), file("a/b-c"), file("a/bc"), file("a/b c/x")},
        {raw(d / "a/b/"), file("a/b"), raw(d / "a//b//c"), raw(d / "a/b c/")},
        {Url::parse("https://example.com" + d / "a"), file("a/b"), Url::parse("https://example.com" + d / "a/b/c"),
         Url::parse("mailto:someone@example.com"), Url::parse("mailto:someone@example.com")},
        {raw("a"), raw("a/b"), raw("a/b c"), file("a/bc")},
        {file("home"), file("home/Documents"), file("home/Documents/x"), file("missing"), file("missing/below")},
        {raw("/"), file("a/b"), file("a/bc")},
        {raw(""), file("a/b"), raw("a")},
    };
    const TrashPolicy policy({}, f.maxItems, 900, Url::file(d / "home"));
    for (std::size_t i = 0; i < selections.size(); ++i) {
        SCOPED_TRACE("selection " + std::to_string(i));
        const TrashPreview expected = referencePreview(selections[i], policy);
        const TrashPreview actual = TrashService::prepareSynchronously(selections[i], {}, policy, Uuid::make());
        ASSERT_EQ(actual.items.size(), expected.items.size());
        for (std::size_t k = 0; k < expected.items.size(); ++k) {
            const auto& a = actual.items[k];
            const auto& e = expected.items[k];
            EXPECT_EQ(a.id, e.id);
            EXPECT_EQ(a.url.absoluteString(), e.url.absoluteString());
            EXPECT_EQ(a.warnings, e.warnings);
            EXPECT_EQ(a.blockedReason, e.blockedReason);
            EXPECT_EQ(a.logicalSize, e.logicalSize);
            EXPECT_EQ(a.fileCount, e.fileCount);
            EXPECT_EQ(a.fingerprint, e.fingerprint);
        }
    }
}
