#pragma once
// Fakes of the desktop services and small fixture helpers for the AppState tests.

#include "Morvo/State/AppState.h"
#include "Morvo/Platform/AppLocation.h"
#include "Morvo/Platform/FolderPanel.h"
#include "Morvo/Platform/Pasteboard.h"
#include "Morvo/Platform/RunningApplications.h"
#include "Morvo/Platform/Workspace.h"
#include "MorvoCore/DiskScanner.h"
#include "MorvoCore/Platform/TrashMover.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <stdlib.h>

namespace morvo {

// Reaches AppState's private refresh after a move.
class AppStateTestPeer {
public:
    static void refreshAfterCleanup(AppState& state, const std::vector<Url>& moved) { state.refreshAfterCleanup(moved); }
};

namespace appstatetest {

namespace fs = std::filesystem;

// A temporary folder, removed with everything in it when the test ends.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "morvo-appstate-XXXXXX").string();
        char* made = mkdtemp(pattern.data());
        path_ = made ? fs::path(made) : fs::path();
        // The scanner and the Trash rules see canonical paths.
        path_ = fs::canonical(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string string() const { return path_.string(); }
    std::string operator/(const std::string& relative) const { return (path_ / relative).string(); }

private:
    fs::path path_;
};

inline void writeFile(const fs::path& file, std::int64_t size, char fill = 'x') {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string block(static_cast<std::size_t>(std::min<std::int64_t>(size, 65536)), fill);
    for (std::int64_t left = size; left > 0; left -= static_cast<std::int64_t>(block.size()))
        out.write(block.data(), static_cast<std::streamsize>(std::min<std::int64_t>(left, block.size())));
}

inline void writeText(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
}

inline std::string infoPlist(const std::string& identifier) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" +
           identifier + "</string></dict></plist>\n";
}

inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Records what it is asked and answers at once; `available` false plays a desktop with no file
// manager or handler.
class FakeWorkspace : public Workspace {
public:
    void reveal(const std::vector<Url>& urls, Answer answer) override {
        revealed.push_back(urls);
        if (answer) answer(available);
    }
    void open(const Url& url, Answer answer) override {
        opened.push_back(url);
        if (answer) answer(available);
    }
    void revealInTrash(const Url& item, Answer answer) override {
        revealedInTrash.push_back(item);
        if (answer) answer(available);
    }
    bool available = true;
    std::vector<std::vector<Url>> revealed;
    std::vector<Url> opened;
    std::vector<Url> revealedInTrash;
};

class FakeFolderPanel : public FolderPanel {
public:
    void begin(const FolderPanelOptions& options, std::function<void(std::optional<Url>)> completion) override {
        shown.push_back(options);
        pending = std::move(completion);
    }
    // Ends the panel as the user would: with a folder, or cancelled.
    void finish(std::optional<Url> chosen) {
        auto done = std::move(pending);
        pending = nullptr;
        if (done) done(std::move(chosen));
    }
    std::vector<FolderPanelOptions> shown;
    std::function<void(std::optional<Url>)> pending;
};

class FakePasteboard : public Pasteboard {
public:
    void clearContents() override { operations.push_back("clear"); }
    void setString(const std::string& text) override { operations.push_back("set:" + text); }
    std::vector<std::string> operations;
};

class FakeAppLocation : public AppLocation {
public:
    Url bundleURL() const override { return Url::file("/opt/morvo-test/Morvo.app", true); }
    std::optional<std::string> shortVersion() const override { return std::nullopt; }
    std::optional<std::string> buildVersion() const override { return std::nullopt; }
};

class FakeRunningApplications : public RunningApplications {
public:
    std::vector<RunningApplication> runningApplications() const override { return apps; }
    std::vector<RunningApplication> apps;
};

// Moves an item into a test folder instead of the user's Trash.
class FolderTrashMover : public TrashMover {
public:
    explicit FolderTrashMover(fs::path trash) : trash_(std::move(trash)) { fs::create_directories(trash_); }
    std::optional<Url> trashItem(const Url& item, const TrashItemIdentity&) override {
        fs::path target = trash_ / fs::path(item.path).filename();
        fs::rename(item.path, target);
        return Url::file(target.string());
    }

private:
    fs::path trash_;
};

// The mover of tests that move nothing: never touches the user's Trash.
class RefusingTrashMover : public TrashMover {
public:
    std::optional<Url> trashItem(const Url& item, const TrashItemIdentity&) override {
        throw PosixError(EPERM, item.path);
    }
};

// A scan function that holds the scan of one folder at a gate: it reports `early`, waits for
// release(), reports `late`, then scans for real. Other folders scan at once.
class GatedScan {
public:
    explicit GatedScan(std::string gatedPath) : gatedPath_(std::move(gatedPath)) {}
    ~GatedScan() { release(); waitUntilFinished(); }

    AppServices::ScanFunction function() {
        return [this](const Url& url, const DiskScanner::ProgressHandler& progress, std::stop_token stop) {
            DiskScanner scanner(AppState::scanNodeLimit, AppState::scanIssueLimit);
            if (url.path != gatedPath_) return scanner.scan(url, progress, stop);
            {
                std::unique_lock lock(mutex_);
                ++entered_;
            }
            progress(early);
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return released_; });
            }
            progress(late);
            auto snapshot = scanner.scan(url, {}, {});
            std::unique_lock lock(mutex_);
            ++finished_;
            changed_.notify_all();
            return snapshot;
        };
    }
    bool hasEntered() {
        std::unique_lock lock(mutex_);
        return entered_ > 0;
    }
    void release() {
        std::unique_lock lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    // Waits for every gated scan that started to return.
    void waitUntilFinished() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_ == entered_; });
    }

    ScanProgress early{1, 1, 1, "early"};
    ScanProgress late{2, 2, 2, "late"};

private:
    std::string gatedPath_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
    int entered_ = 0;
    int finished_ = 0;
};

// The services of a state under test: fakes everywhere, the given home, the real scanner unless
// a scan function is given, and no application folders.
struct TestServices {
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<FakeFolderPanel> folderPanel = std::make_shared<FakeFolderPanel>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeAppLocation> appLocation = std::make_shared<FakeAppLocation>();
    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::shared_ptr<TrashMover> mover = std::make_shared<RefusingTrashMover>();

    AppServices make(const std::string& home, AppServices::ScanFunction scan = {}) const {
        AppServices services;
        services.workspace = workspace;
        services.folderPanel = folderPanel;
        services.pasteboard = pasteboard;
        services.appLocation = appLocation;
        services.runningApplications = running;
        services.trashMover = mover;
        services.homeDirectory = home;
        services.applicationRoots = std::vector<Url>{};
        services.scan = std::move(scan);
        return services;
    }
};

// Waits until the state has no scan and no search in flight.
inline bool settle(const AppState& state) {
    return waitFor([&] { return !state.isScanning() && !state.isSearching(); });
}

// A fixture with a fresh temporary home and fake services; scannedState(folder) gives a state that
// has scanned `folder` and settled.
class ScannedStateTest : public ::testing::Test {
protected:
    void SetUp() override { home = std::make_unique<TempDir>(); }

    std::unique_ptr<AppState> scannedState(const fs::path& folder) {
        auto state = std::make_unique<AppState>(services.make(home->string()));
        state->startScan(Url::file(folder.string(), true), false);
        EXPECT_TRUE(settle(*state));
        return state;
    }

    TestServices services;
    std::unique_ptr<TempDir> home;
};

} // namespace appstatetest
} // namespace morvo
