#include "Morvo/State/CleanupDiscoveryState.h"

#include "Morvo/State/CleanupState.h"
#include "Morvo/State/ObservedProperty.h"
#include "MorvoCore/Platform/FileSystemQueries.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>

namespace morvo {
namespace {

CleanupDiscoveryResult emptyResult() {
    CleanupDiscoveryResult result;
    result.isComplete = false;
    return result;
}

struct AreaWording {
    const char* kind;
    const char* symbol;
    const char* reason;
};

AreaWording wording(CleanupArea area) {
    switch (area) {
    case CleanupArea::caches:
        return {"Caches", "square.stack.3d.up",
                "App cache selected for review. The app may download or rebuild this data on its next launch."};
    case CleanupArea::logs:
        return {"Logs", "doc.text",
                "Log files selected for review. Removing them discards diagnostic history that may be useful for "
                "troubleshooting."};
    case CleanupArea::developer:
        return {"Developer", "curlybraces",
                "Developer cache selected for review. Tools may rebuild or download data on the next run; close "
                "active builds first."};
    }
    return {"Caches", "square.stack.3d.up", ""};
}

std::int64_t saturatingSum(const std::vector<CleanupDiscoveryEntry>& entries) {
    std::int64_t sum = 0;
    for (const auto& entry : entries)
        if (entry.logicalSize > 0) sum = saturatingAdd(sum, entry.logicalSize);
    return sum;
}

} // namespace

CleanupDiscoveryState::CleanupDiscoveryState(QObject* parent)
    : CleanupDiscoveryState(CleanupDiscoveryStateServices{}, parent) {}

CleanupDiscoveryState::CleanupDiscoveryState(CleanupDiscoveryStateServices services, QObject* parent)
    : LoadState(parent), result_(emptyResult()), services_(std::move(services)) {
    if (!services_.runningApplications) services_.runningApplications = std::make_shared<ProcRunningApplications>();
    if (services_.homeDirectory.empty()) services_.homeDirectory = currentUserHomeDirectory();
    if (!services_.scan)
        services_.scan = [](const Url& home, std::int64_t maxNodes, std::int64_t maxEntries, std::stop_token stop) {
            return CleanupDiscoveryScanner::scan(home, maxNodes, maxEntries, stop);
        };
    refreshRunningApplications();
    connect(services_.runningApplications.get(), &RunningApplications::applicationsChanged, this,
            &CleanupDiscoveryState::refreshRunningApplications, Qt::QueuedConnection);
}

CleanupDiscoveryState::~CleanupDiscoveryState() {
    loadTask_.cancel();
    disconnect(services_.runningApplications.get(), nullptr, this, nullptr);
}

// --- observed setters -------------------------------------------------------------------------

void CleanupDiscoveryState::setResult(CleanupDiscoveryResult value) {
    result_ = std::move(value);
    emit resultChanged();
}

void CleanupDiscoveryState::setQuery(const std::string& value) {
    assignObserved(this, query_, value, &CleanupDiscoveryState::queryChanged);
}

void CleanupDiscoveryState::setArea(const OptionalCleanupArea& value) {
    assignObserved(this, area_, value, &CleanupDiscoveryState::areaChanged);
}

void CleanupDiscoveryState::setSelectedIDs(const DiscoveryIDSet& value) {
    assignObserved(this, selectedIDs_, value, &CleanupDiscoveryState::selectedIDsChanged);
}

void CleanupDiscoveryState::setRunningBundleIdentifiers(DiscoveryBundleIDSet value) {
    assignObserved(this, runningBundleIdentifiers_, std::move(value), &CleanupDiscoveryState::runningBundleIdentifiersChanged);
}

// --- loading ------------------------------------------------------------------------------------

void CleanupDiscoveryState::load() {
    const Uuid revision = beginLoad();
    refreshRunningApplications();

    auto scan = services_.scan;
    const Url home = Url::file(services_.homeDirectory, true);
    auto task = std::make_shared<TaskHandle>();
    *task = runTask<CleanupDiscoveryResult>(
        this, TaskPriority::utility,
        [scan, home](std::stop_token stop) { return scan(home, maxNodesPerRoot, maxEntriesPerRoot, stop); },
        [this, revision, task](TaskResult<CleanupDiscoveryResult> outcome) {
            apply(revision, *task, std::move(outcome));
        });
    loadTask_ = *task;
}

void CleanupDiscoveryState::apply(const Uuid& revision, const TaskHandle& task,
                                  TaskResult<CleanupDiscoveryResult> outcome) {
    if (revision_ != revision) return;
    setLoading(false);
    if (outcome.value) {
        if (task.isCancelled()) return;
        const bool complete = outcome.value->isComplete;
        setResult(std::move(*outcome.value));
        setHasLoaded(true);
        setSelectedIDs({});
        if (!complete)
            setStatusMessage(std::string("Some locations couldn\u2019t be checked completely. Affected items are "
                                         "unavailable for cleanup; review the scan notes."));
        return;
    }
    showFailure(outcome.error);
}

void CleanupDiscoveryState::cancel() {
    abandonLoad();
    setStatusMessage(hasLoaded() ? std::string("Scan cancelled. Previous results are still here.")
                                 : std::string("Scan cancelled. Start another scan when you\u2019re ready."));
}

void CleanupDiscoveryState::refreshRunningApplications() {
    DiscoveryBundleIDSet identifiers;
    for (const auto& app : services_.runningApplications->runningApplications())
        if (app.bundleIdentifier) identifiers.insert(*app.bundleIdentifier);
    setRunningBundleIdentifiers(std::move(identifiers));
}

// --- derived ------------------------------------------------------------------------------------

std::vector<CleanupDiscoveryEntry> CleanupDiscoveryState::filteredEntries() const {
    const std::string needle = text::trim(query_);
    std::vector<CleanupDiscoveryEntry> out;
    for (const auto& entry : result_.entries) {
        if (area_ && entry.area != *area_) continue;
        if (!needle.empty() && !text::containsCaseInsensitive(entry.title, needle) &&
            !text::containsCaseInsensitive(entry.url.path, needle))
            continue;
        out.push_back(entry);
    }
    std::stable_sort(out.begin(), out.end(), [](const CleanupDiscoveryEntry& a, const CleanupDiscoveryEntry& b) {
        if (a.logicalSize != b.logicalSize) return a.logicalSize > b.logicalSize;
        return a.url.path < b.url.path;
    });
    return out;
}

std::optional<std::string> CleanupDiscoveryState::blockedReason(const CleanupDiscoveryEntry& entry) const {
    if (entry.blockedReason) return entry.blockedReason;
    if (entry.isPartial)
        return std::string("This item couldn\u2019t be read completely. Scan again before reviewing it for cleanup.");
    if (!entry.ownerBundleIdentifier) return std::nullopt;
    if (ownerIsRunning(runningBundleIdentifiers_, entry.ownerBundleIdentifier))
        return std::string("The owning application is running. Quit it before adding this item to the queue.");
    return std::nullopt;
}

std::vector<CleanupDiscoveryEntry> CleanupDiscoveryState::selectedEntries() const {
    std::vector<CleanupDiscoveryEntry> out;
    for (const auto& entry : result_.entries)
        if (selectedIDs_.count(entry.id()) && !blockedReason(entry)) out.push_back(entry);
    return out;
}

std::int64_t CleanupDiscoveryState::totalBytes() const { return saturatingSum(result_.entries); }

std::int64_t CleanupDiscoveryState::selectedBytes() const { return saturatingSum(selectedEntries()); }

// --- selection and queueing -------------------------------------------------------------------

void CleanupDiscoveryState::toggle(const std::string& id) {
    if (isLoading()) return;
    auto entry = std::find_if(result_.entries.begin(), result_.entries.end(),
                              [&](const CleanupDiscoveryEntry& e) { return e.id() == id; });
    if (entry == result_.entries.end() || blockedReason(*entry)) return;
    DiscoveryIDSet next = selectedIDs_;
    if (!next.erase(id)) next.insert(id);
    setSelectedIDs(next);
}

void CleanupDiscoveryState::queueSelected(CleanupState& cleanup) {
    if (isLoading() || cleanup.isPreparing() || cleanup.isTrashing()) return;
    refreshRunningApplications();
    std::vector<CleanupDiscoveryEntry> fresh;
    for (auto& entry : selectedEntries())
        if (!cleanup.contains(entry.url)) fresh.push_back(std::move(entry));
    if (fresh.empty()) {
        setStatusMessage(
            std::string("No new items were added. Check the selection and close any running owner applications."));
        return;
    }
    DiscoveryIDSet remaining = selectedIDs_;
    for (const auto& entry : fresh) {
        const AreaWording words = wording(entry.area);
        std::string reason = words.reason;
        if (!entry.note.empty()) reason += " " + entry.note;
        cleanup.add(CleanupCandidate{entry.url, entry.title, std::move(reason), words.kind, words.symbol,
                                     entry.logicalSize, entry.ownerBundleIdentifier});
        remaining.erase(entry.id());
    }
    setSelectedIDs(remaining);
    const std::size_t n = fresh.size();
    setStatusMessage("Added " + std::to_string(n) + (n == 1 ? " item" : " items") +
                     " to the cleanup queue. Review the exact selection before moving anything to Trash.");
}

} // namespace morvo
