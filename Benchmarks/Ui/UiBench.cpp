// morvo-ui-bench PATH: how long the GUI thread is held while the whole window works on a scan of
// PATH. Runs offscreen (no display needed): once the application is up, it scans PATH, then a
// fixed script plays user input into the real window, and the GUI thread's figures come out as
// one JSON object.
//
// Two measures, both on the GUI thread:
// - per event: each input of the script, from its delivery until the events it posted (layout,
//   paint, deferred deletes) are handled;
// - stalls: a 5 ms timer records the longest gap between its ticks, from the scan's start to the
//   end, so that work arriving from workers (the scan's result, searches, the review) counts too.
//
// The desktop's file manager answers only after 2 s, as one whose service is installed but not
// yet running does.

#include "Morvo/State/AppState.h"
#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Cleanup/CleanupWorkspaceView.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Storage/LargeFilesView.h"
#include "Morvo/Shell/MorvoApp.h"
#include "Morvo/Storage/OverviewView.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Shell/SidebarView.h"
#include "Morvo/Storage/StorageMapView.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Shell/WorkspaceHost.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QListView>
#include <QMenu>
#include <QSettings>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace morvo;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

// The longest gap between ticks of a 5 ms timer, per phase.
class StallMeter : public QObject {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const auto now = Clock::now();
            longest_ = std::max(longest_, std::chrono::duration<double, std::milli>(now - last_).count());
            last_ = now;
        });
    }
    void start() {
        last_ = Clock::now();
        timer_.start();
    }
    // The longest gap since the last call, and a new phase.
    double takeLongest() {
        const double out = longest_;
        longest_ = 0;
        return out;
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    double longest_ = 0;
};

// The GUI thread's own processor time: on a busy machine it tells the work from the waiting.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Timings {
    std::map<std::string, std::vector<double>> byStep, cpuByStep;
    std::vector<double> all, cpu;
};

// Delivers one input and handles what it posted; its time is one event.
void timed(Timings& timings, const std::string& step, const std::function<void()>& input) {
    const auto start = Clock::now();
    const double cpuStart = threadCpuMs();
    input();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    const double ms = msSince(start), cpu = threadCpuMs() - cpuStart;
    timings.byStep[step].push_back(ms);
    timings.all.push_back(ms);
    timings.cpuByStep[step].push_back(cpu);
    timings.cpu.push_back(cpu);
}

// Runs the event loop for `ms` milliseconds.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds; false after `timeoutMs`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        settle(2);
    }
    return true;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank.
    const auto rank = static_cast<std::size_t>(std::max(1.0, std::ceil(p / 100.0 * values.size())));
    return values[std::min(rank, values.size()) - 1];
}

std::string figures(const std::vector<double>& values, const std::vector<double>& cpu) {
    char buffer[240];
    std::snprintf(buffer, sizeof buffer,
                  "\"events\":%zu,\"medianMs\":%.2f,\"p99Ms\":%.2f,\"maxMs\":%.2f,\"cpuMedianMs\":%.2f,\"cpuMaxMs\":%.2f",
                  values.size(), percentile(values, 50), percentile(values, 99),
                  values.empty() ? 0.0 : *std::max_element(values.begin(), values.end()), percentile(cpu, 50),
                  cpu.empty() ? 0.0 : *std::max_element(cpu.begin(), cpu.end()));
    return buffer;
}

template <class T>
T* find(QWidget* root) {
    if (auto* self = qobject_cast<T*>(root)) return self;
    return root ? root->findChild<T*>() : nullptr;
}

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center()); }

int fail(const char* what) {
    std::fprintf(stderr, "morvo-ui-bench: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvo-ui-bench PATH\n");
        return 2;
    }
    const std::string path = std::filesystem::absolute(argv[1]).lexically_normal().string();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(style);
    loadFonts();
    QApplication::setFont(systemFont(13));

    // A home of its own, so that the applications and caches sections find the same (nothing)
    // on every machine.
    QTemporaryDir home;
    std::filesystem::create_directories(std::filesystem::path(home.path().toStdString()) / "Applications");
    AppServices services;
    services.homeDirectory = home.path().toStdString();
    services.applicationRoots = std::vector<Url>{Url::file(home.path().toStdString() + "/Applications", true)};
    DesktopBridge bridge;
    bridge.callFileManager = [](const QString&, const QStringList&) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        return true;
    };
    bridge.hasHandler = [](const QString&) { return true; };
    bridge.openUrl = [](const QUrl&) { return true; };
    services.workspace = makeDesktopWorkspace(bridge);
    auto settings = std::make_shared<QSettings>(home.filePath(QStringLiteral("morvo.ini")), QSettings::IniFormat);

    StallMeter stalls;
    Timings timings;

    // The window comes up and scans its (empty) home folder; then the measures start.
    MorvoApp app(MorvoApp::Options{{"morvo"}, services, settings});
    app.show();
    AppState& state = app.state();
    ContentView* content = app.contentView();
    WorkspaceHost* host = content->workspaceHost();
    SidebarView* sidebar = content->sidebar();
    if (!waitUntil([&] { return state.hasScannedFolder() && !state.isScanning() && !state.inventory().isLoading(); }, 60000))
        return fail("the window did not come up");
    settle(300);
    stalls.start();

    // The scan of PATH, its totals and the first search.
    const auto started = Clock::now();
    state.startScan(Url::file(path, true), false);
    if (!waitUntil([&] { return !state.isScanning(); }, 600000) || state.snapshot()->rootID() != path)
        return fail("the scan did not finish");
    const double scanSeconds = msSince(started) / 1000;
    if (!waitUntil([&] { return !state.isSearching() && !state.overviewFiles().empty(); }, 60000))
        return fail("no files after the scan");
    settle(300);
    // The longest stall of each phase: the scan, then each step of the script.
    std::vector<std::pair<std::string, double>> phaseStalls{{"scan", stalls.takeLongest()}};
    auto endPhase = [&](const char* name) { phaseStalls.emplace_back(name, stalls.takeLongest()); };

    // 1. Through the six sections.
    for (AppSection section : {AppSection::largeFiles, AppSection::cleanup, AppSection::caches, AppSection::applications,
                               AppSection::leftovers, AppSection::overview}) {
        timed(timings, "section", [&] { click(sidebar->sectionRow(section)); });
        settle(250);
    }
    endPhase("section");

    // 2. Fifty rows of the large-files list, with the arrow keys.
    timed(timings, "section", [&] { click(sidebar->sectionRow(AppSection::largeFiles)); });
    if (!waitUntil([&] { return !state.isSearching() && !state.files().empty(); }, 60000))
        return fail("no large files");
    settle(100);
    auto* files = find<LargeFilesView>(host->currentWorkspace());
    if (!files) return fail("no large-files list");
    files->list()->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 50; ++i) {
        timed(timings, "arrow", [&] { QTest::keyClick(files->list(), Qt::Key_Down); });
        settle(16);
    }
    settle(100);
    endPhase("arrow");

    // 3. The map on the scanned folder, then one level down.
    timed(timings, "section", [&] { click(sidebar->sectionRow(AppSection::overview)); });
    settle(150);
    auto* overview = find<OverviewView>(host->currentWorkspace());
    if (!overview) return fail("no overview");
    timed(timings, "map", [&] { click(overview->breadcrumbButtons().front()); });
    settle(150);
    StorageMapView* map = overview->storageMap();
    // Entries may still be on their way from a worker.
    waitUntil([&] { return !map->entries().empty(); }, 10000);
    std::optional<std::size_t> folderTile;
    for (std::size_t t = 0; t < map->tiles().size(); ++t)
        if (map->entries()[map->tiles()[t].entry].isDirectory) {
            folderTile = t;
            break;
        }
    if (folderTile) {
        const QRect rect = map->tileRect(*folderTile);
        // What the platform delivers for a double click: press, release, double-click press, release.
        timed(timings, "map", [&] {
            QTest::mouseClick(map, Qt::LeftButton, Qt::NoModifier, rect.center());
            QTest::mouseDClick(map, Qt::LeftButton, Qt::NoModifier, rect.center());
            QTest::mouseRelease(map, Qt::LeftButton, Qt::NoModifier, rect.center());
        });
        settle(150);
    }
    endPhase("map");

    // 4. Two hundred items into the queue, one by one, with Cleanup shown.
    timed(timings, "section", [&] { click(sidebar->sectionRow(AppSection::cleanup)); });
    settle(150);
    std::vector<DiskNode> candidates(state.files().begin(),
                                     state.files().begin() + std::min<std::size_t>(200, state.files().size()));
    for (const DiskNode& node : candidates) {
        timed(timings, "queue", [&] { state.queueForCleanup(node); });
        settle(5);
    }
    settle(200);
    endPhase("queue");

    // 5. The review, opened and closed.
    auto* cleanup = find<CleanupWorkspaceView>(host->currentWorkspace());
    if (!cleanup) return fail("no cleanup workspace");
    timed(timings, "review", [&] { click(cleanup->reviewButton()); });
    if (!waitUntil([&] { return content->presentedReviewSheet() && content->presentedReviewSheet()->isVisible(); }, 60000))
        return fail("the review did not open");

    settle(200);
    timed(timings, "review", [&] { QTest::keyClick(content->presentedReviewSheet(), Qt::Key_Escape); });
    settle(200);
    endPhase("review");

    // 6. Reveal a queued item; the file manager takes 2 s to answer.
    CleanupQueueRow* row = cleanup->queueRow(candidates.front().url.path);
    if (!row) return fail("no queue row");
    std::unique_ptr<QMenu> menu(row->makeContextMenu());
    QAction* reveal = menu->actions().front();
    timed(timings, "reveal", [&] { reveal->trigger(); });
    // A hand-over that returned at once answers in the background meanwhile.
    settle(2500);
    endPhase("reveal");

    std::string steps, stallsText;
    double maxStall = 0;
    for (const auto& [name, values] : timings.byStep) {
        if (!steps.empty()) steps += ",";
        steps += "\"" + name + "\":{" + figures(values, timings.cpuByStep[name]) + "}";
    }
    for (const auto& [name, ms] : phaseStalls) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%s\"%s\":%.1f", stallsText.empty() ? "" : ",", name.c_str(), ms);
        stallsText += buffer;
        maxStall = std::max(maxStall, ms);
    }
    std::printf("{\"events\":%zu,\"medianMs\":%.2f,\"p99Ms\":%.2f,\"maxStallMs\":%.1f,"
                "\"cpuMedianMs\":%.2f,\"cpuP99Ms\":%.2f,\"scanSeconds\":%.2f,\"stallsMs\":{%s},\"steps\":{%s}}\n",
                timings.all.size(), percentile(timings.all, 50), percentile(timings.all, 99), maxStall,
                percentile(timings.cpu, 50), percentile(timings.cpu, 99), scanSeconds, stallsText.c_str(), steps.c_str());
    return 0;
}
