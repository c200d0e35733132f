#pragma once
// Fixtures for the shell's view tests: an AppState over fake desktop services and a temporary
// home, snapshots built in code, and widget lookups by identifier, label and tooltip.

#include "Support/AppStateTestSupport.h"

#include "Morvo/State/AppState.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/DiskModels.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

#include <memory>

namespace morvo::shelltest {

using namespace appstatetest;

struct Fixture {
    TempDir home;
    std::shared_ptr<FakeWorkspace> workspace = std::make_shared<FakeWorkspace>();
    std::shared_ptr<FakeFolderPanel> panel = std::make_shared<FakeFolderPanel>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    // What the next scans return; when unset the real scanner runs.
    std::shared_ptr<std::shared_ptr<const DiskSnapshot>> nextSnapshot = std::make_shared<std::shared_ptr<const DiskSnapshot>>();

    AppServices services() const {
        AppServices s;
        s.workspace = workspace;
        s.folderPanel = panel;
        s.pasteboard = pasteboard;
        s.appLocation = std::make_shared<FakeAppLocation>();
        s.runningApplications = std::make_shared<FakeRunningApplications>();
        s.homeDirectory = home.string();
        s.applicationRoots = std::vector<Url>{};
        auto next = nextSnapshot;
        s.scan = [next](const Url& url, const DiskScanner::ProgressHandler& progress, std::stop_token stop)
            -> std::shared_ptr<const DiskSnapshot> {
            if (*next) return *next;
            return DiskScanner(250000, 100).scan(url, progress, stop);
        };
        return s;
    }
};

// A snapshot of `root` with a folder "Projects" (one 4000-byte developer file) and a 1000-byte
// document at the top.
inline std::shared_ptr<const DiskSnapshot> makeSnapshot(const std::string& root, bool partial = false,
                                                        std::vector<ScanIssue> issues = {}) {
    NodeFacts dir;
    dir.isDirectory = true;
    DiskSnapshotBuilder builder(root, Url::file(root).lastPathComponent(), dir);
    auto projects = builder.add(0, "Projects", dir);
    NodeFacts code;
    code.logicalSize = code.allocatedSize = 4000;
    code.fileCount = 1;
    code.category = FileCategory::developer;
    builder.add(projects, "main.cpp", code);
    NodeFacts doc;
    doc.logicalSize = doc.allocatedSize = 1000;
    doc.fileCount = 1;
    doc.category = FileCategory::documents;
    builder.add(0, "notes.txt", doc);
    builder.accumulateTotals();
    const auto now = std::chrono::system_clock::now();
    return builder.finish(now - std::chrono::milliseconds(3200), now, std::move(issues), 2, 0, partial);
}

// Scans `snapshot` through the state and waits until it is published.
inline bool publish(AppState& state, Fixture& fixture, std::shared_ptr<const DiskSnapshot> snapshot) {
    *fixture.nextSnapshot = snapshot;
    state.startScan(Url::file(snapshot->rootID(), true), true);
    return waitFor([&] { return !state.isScanning() && state.snapshot() == snapshot; });
}

template <class T = QAbstractButton>
T* byIdentifier(QWidget* root, const QString& identifier) {
    return root->findChild<T*>(identifier);
}

// The visible button whose accessible name or tooltip is `label`.
inline QAbstractButton* buttonLabelled(QWidget* root, const QString& label) {
    for (auto* b : root->findChildren<QAbstractButton*>())
        if ((b->accessibleName() == label || b->toolTip() == label) && !b->isHidden()) return b;
    return nullptr;
}

// Whether a visible (not hidden) text label shows exactly `text`.
inline bool showsText(QWidget* root, const QString& text) {
    for (auto* l : root->findChildren<QLabel*>())
        if (l->text() == text && !l->isHidden()) return true;
    for (auto* s : root->findChildren<SelectableText*>())
        if (s->text() == text && !s->isHidden()) return true;
    for (auto* e : root->findChildren<SectionEyebrow*>())
        if (e->text() == text && !e->isHidden()) return true;
    return false;
}

} // namespace morvo::shelltest
