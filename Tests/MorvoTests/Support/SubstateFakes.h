#pragma once
// Fixtures and fakes for the tests of the cleanup, discovery and inventory states: a throw-away
// home folder, running applications set by the test, a mover into a folder of the fixture, a
// Trash service whose calls can be held at a gate, and recording desktop services.

#include "Morvo/Platform/AppLocation.h"
#include "Morvo/Platform/FolderPanel.h"
#include "Morvo/Platform/RunningApplications.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Platform/TaskRunner.h"
#include "MorvoCore/TrashService.h"

#include <QDeadlineTimer>
#include <QTest>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace morvo::testing::substates {

// Runs the event loop until `condition` holds or `timeoutMs` pass; true when it held. (QTRY_*
// report their failures to QTest, which a GoogleTest run never sees.)
template <class Condition>
bool waitUntil(Condition condition, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(5);
    }
    return true;
}

// Waits (at most `timeoutMs` per pool) until no background task of the state objects runs. A
// state only asks its task to stop, so a fixture that the task's work reads (a fake scan, a gate)
// must wait for it before it goes. True when both pools are idle.
inline bool waitForBackgroundTasks(int timeoutMs = 5000) {
    return taskPool(TaskPriority::utility).waitForDone(timeoutMs) &&
           taskPool(TaskPriority::userInitiated).waitForDone(timeoutMs);
}

// A temporary folder, removed with its contents at the end of the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& root() const { return root_; }
    std::string path(std::string_view relative) const;
    std::string folder(std::string_view relative);
    std::string file(std::string_view relative, std::int64_t size = 0);
    std::string file(std::string_view relative, std::string_view contents);
    // An application bundle with a Contents/Info.plist naming `identifier` (and `name`).
    std::string bundle(std::string_view relative, std::string_view identifier, std::string_view name = {});
    bool exists(std::string_view relative) const;

private:
    std::string root_;
};

class FakeRunningApplications : public RunningApplications {
public:
    std::vector<RunningApplication> runningApplications() const override { return apps_; }
    // Replaces the list and announces the change, as a launch or quit would.
    void set(std::vector<RunningApplication> apps);
    static RunningApplication app(std::optional<std::string> identifier, std::optional<std::string> bundlePath = {});

private:
    std::vector<RunningApplication> apps_;
};

// Moves items into `trashFolder` by rename; fails for paths in `failing`.
class FolderMover : public TrashMover {
public:
    explicit FolderMover(std::string trashFolder) : trashFolder_(std::move(trashFolder)) {}
    std::optional<Url> trashItem(const Url& item, const TrashItemIdentity& expected) override;
    void failFor(const std::string& path) { failing_.insert(path); }
    std::vector<std::string> movedPaths() const;

    // When set, each move waits until release() (the test can stop a run mid-way).
    void holdMoves() { hold_ = true; }
    void release();
    // Blocks until a move waits at the gate.
    bool waitUntilHeld(int timeoutMs = 5000);

private:
    std::string trashFolder_;
    std::set<std::string> failing_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool hold_ = false;
    bool released_ = false;
    bool waiting_ = false;
    std::vector<std::string> moved_;
};

// A Trash service whose prepare can be held until the test opens the gate.
class GatedTrashService : public TrashService {
public:
    using TrashService::TrashService;
    TrashPreview prepare(const std::vector<Url>& urls, const std::vector<Url>& protectedURLs,
                         std::stop_token stop) override;
    void hold() { std::lock_guard lock(mutex_); held_ = true; }
    void open();
    int prepareCalls() const { std::lock_guard lock(mutex_); return calls_; }
    std::set<std::string> lastConfirmed() const { std::lock_guard lock(mutex_); return confirmed_; }
    std::map<std::string, std::string> lastDependencies() const { std::lock_guard lock(mutex_); return dependencies_; }
    std::vector<Url> lastProtected() const { std::lock_guard lock(mutex_); return protected_; }
    TrashReport moveToTrash(const TrashPreview& preview, const std::set<std::string>& confirmedIDs,
                            const std::vector<Url>& protectedURLs,
                            const std::map<std::string, std::string>& dependencies, std::stop_token stop) override;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int calls_ = 0;
    std::set<std::string> confirmed_;
    std::map<std::string, std::string> dependencies_;
    std::vector<Url> protected_;
};

class RecordingWorkspace : public Workspace {
public:
    void reveal(const std::vector<Url>& urls, Answer answer) override {
        revealed.push_back(urls);
        if (answer) answer(true);
    }
    void open(const Url&, Answer answer) override {
        if (answer) answer(true);
    }
    void revealInTrash(const Url& item, Answer answer) override {
        revealedInTrash.push_back(item);
        if (answer) answer(true);
    }
    std::vector<std::vector<Url>> revealed;
    std::vector<Url> revealedInTrash;
};

class FixedAppLocation : public AppLocation {
public:
    explicit FixedAppLocation(Url bundle) : bundle_(std::move(bundle)) {}
    Url bundleURL() const override { return bundle_; }
    std::optional<std::string> shortVersion() const override { return std::nullopt; }
    std::optional<std::string> buildVersion() const override { return std::nullopt; }

private:
    Url bundle_;
};

// Keeps the last request; the test answers it.
class ScriptedFolderPanel : public FolderPanel {
public:
    void begin(const FolderPanelOptions& options, std::function<void(std::optional<Url>)> completion) override {
        lastOptions = options;
        pending = std::move(completion);
    }
    std::optional<FolderPanelOptions> lastOptions;
    std::function<void(std::optional<Url>)> pending;
};

// A gate a fake scan can wait at.
class Gate {
public:
    void open();
    // Waits until open() or the stop token fires; true when opened.
    bool wait(std::stop_token stop);

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    bool open_ = false;
};

// The gate of a fake scan that a test can close: hold() puts a closed gate in place, release()
// opens it, and a scan that took the held gate at its start waits for it in pass().
class HoldableGate {
public:
    void hold();
    void release();
    // Waits at the gate held now, if any; false when `stop` fires first.
    bool pass(std::stop_token stop);

private:
    std::mutex mutex_;
    std::shared_ptr<Gate> held_;
};

} // namespace morvo::testing::substates
