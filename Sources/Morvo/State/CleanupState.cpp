#include "Morvo/State/CleanupState.h"

#include "Morvo/State/ObservedProperty.h"
#include "MorvoCore/Platform/FileSystemQueries.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <unordered_map>

namespace morvo {
namespace {

constexpr const char* previewCancelledMessage = "Preview cancelled. No files were moved.";

std::string lastComponentOf(const Url& url) { return url.lastPathComponent(); }

std::unordered_map<std::string, const CleanupCandidate*> indexByPath(const CleanupQueue& queue) {
    std::unordered_map<std::string, const CleanupCandidate*> index;
    for (const auto& candidate : queue) index.emplace(candidate.url.path, &candidate);
    return index;
}

CleanupOutcomeStatus outcomeStatus(TrashItemStatus status) {
    // Through the raw value, so that each service status lands on the case of the same name.
    return cleanupOutcomeStatusFromRawValue(rawValue(status)).value_or(CleanupOutcomeStatus::skipped);
}

} // namespace

CleanupState::CleanupState(std::shared_ptr<TrashService> service, QObject* parent)
    : CleanupState(std::move(service), CleanupStateServices{}, parent) {}

CleanupState::CleanupState(std::shared_ptr<TrashService> service, CleanupStateServices services, QObject* parent)
    : QObject(parent), service_(std::move(service)), services_(std::move(services)) {
    if (!services_.runningApplications) services_.runningApplications = std::make_shared<ProcRunningApplications>();
    if (services_.homeDirectory.empty()) services_.homeDirectory = currentUserHomeDirectory();
    if (!services_.workspace) services_.workspace = makeDesktopWorkspace();
    if (!services_.appLocation) services_.appLocation = makeProcessAppLocation();
}

CleanupState::~CleanupState() { operation_.cancel(); }

// --- observed setters -------------------------------------------------------------------------

void CleanupState::setQueue(CleanupQueue queue) {
    queue_ = std::move(queue);
    emit queueChanged();
}

void CleanupState::setPreparing(bool value) {
    assignObserved(this, isPreparing_, value, &CleanupState::isPreparingChanged);
}

void CleanupState::setTrashing(bool value) {
    assignObserved(this, isTrashing_, value, &CleanupState::isTrashingChanged);
}

void CleanupState::setStatusMessage(OptionalString value) {
    assignObserved(this, statusMessage_, std::move(value), &CleanupState::statusMessageChanged);
}

void CleanupState::setReview(OptionalCleanupReview value) {
    review_ = std::move(value);
    emit reviewChanged();
}

void CleanupState::setSelectedPreviewIDs(CleanupIDSet value) {
    assignObserved(this, selectedPreviewIDs_, std::move(value), &CleanupState::selectedPreviewIDsChanged);
}

void CleanupState::setResults(CleanupOutcomes value) {
    results_ = std::move(value);
    emit resultsChanged();
}

// --- queue ----------------------------------------------------------------------------------------

void CleanupState::add(const CleanupCandidate& candidate) {
    if (isTrashing_ || isPreparing_) return;
    auto existing = std::find_if(queue_.begin(), queue_.end(),
                                 [&](const CleanupCandidate& c) { return c.url.path == candidate.url.path; });
    if (existing == queue_.end()) {
        // Appended in place rather than by copying the queue, so queuing items one by one stays linear.
        queue_.push_back(candidate);
        emit queueChanged();
        invalidatePreview();
        return;
    }
    // Only an owner learnt later improves an entry; anything else leaves it and the review alone.
    if (existing->ownerBundleID || !candidate.ownerBundleID) return;
    CleanupQueue next = queue_;
    CleanupCandidate& merged = next[static_cast<std::size_t>(existing - queue_.begin())];
    merged.title = candidate.title;
    merged.reason = candidate.reason;
    merged.kind = candidate.kind;
    merged.symbol = candidate.symbol;
    if (!merged.logicalSize) merged.logicalSize = candidate.logicalSize;
    merged.ownerBundleID = candidate.ownerBundleID;
    setQueue(std::move(next));
    invalidatePreview();
}

bool CleanupState::contains(const Url& url) const {
    return std::any_of(queue_.begin(), queue_.end(), [&](const CleanupCandidate& c) { return c.url.path == url.path; });
}

void CleanupState::remove(const std::string& id) {
    if (isTrashing_ || isPreparing_) return;
    CleanupQueue next;
    next.reserve(queue_.size());
    for (const auto& candidate : queue_)
        if (candidate.id() != id) next.push_back(candidate);
    setQueue(std::move(next));
    invalidatePreview();
}

void CleanupState::clear() {
    if (isTrashing_) return;
    operation_.cancel();
    revision_ = Uuid::make();
    setPreparing(false);
    setQueue({});
    invalidatePreview();
}

void CleanupState::invalidatePreview() {
    setReview(std::nullopt);
    setSelectedPreviewIDs({});
    prepared_.reset();
}

std::int64_t CleanupState::queueBytes() const {
    std::int64_t sum = 0;
    for (const auto& candidate : queue_)
        if (candidate.logicalSize) sum = saturatingAdd(sum, *candidate.logicalSize);
    return sum;
}

bool CleanupState::canPrepare() const { return !queue_.empty() && !isPreparing_ && !isTrashing_; }

bool CleanupState::canConfirm() const {
    return review_.has_value() && !selectedRows().empty() && !isTrashing_ && !isPreparing_;
}

std::vector<CleanupPreviewRow> CleanupState::selectedRows() const {
    std::vector<CleanupPreviewRow> rows;
    if (!review_) return rows;
    for (const auto& row : review_->items)
        if (selectedPreviewIDs_.count(row.id) && !row.blockedReason) rows.push_back(row);
    return rows;
}

void CleanupState::togglePreviewItem(const std::string& id) {
    if (isTrashing_ || !review_) return;
    bool selectable = std::any_of(review_->items.begin(), review_->items.end(),
                                  [&](const CleanupPreviewRow& row) { return row.id == id && !row.blockedReason; });
    if (!selectable) return;
    CleanupIDSet next = selectedPreviewIDs_;
    if (!next.erase(id)) next.insert(id);
    setSelectedPreviewIDs(std::move(next));
}

void CleanupState::cancelOperation() {
    operation_.cancel();
    if (!isPreparing_) return;  // a running move is only asked to stop; its report ends it
    revision_ = Uuid::make();
    setPreparing(false);
    setStatusMessage(std::string(previewCancelledMessage));
}

void CleanupState::revealTrash(const CleanupOutcome& outcome) {
    if (!outcome.trashURL) return;
    services_.workspace->revealInTrash(*outcome.trashURL);
}

// --- protection and dependencies ----------------------------------------------------------------

std::vector<Url> CleanupState::runningAppProtection() const {
    std::vector<Url> urls;
    std::set<std::string> identifiers;
    for (const auto& app : services_.runningApplications->runningApplications()) {
        if (app.bundleURL) urls.push_back(*app.bundleURL);
        if (app.bundleIdentifier) identifiers.insert(*app.bundleIdentifier);
    }
    urls.push_back(services_.appLocation->bundleURL());
    for (const auto& identifier : identifiers)
        for (auto& url : CleanupAppDataPaths::urls(identifier, services_.homeDirectory)) urls.push_back(std::move(url));
    for (const auto& candidate : queue_) {
        OptionalString owner = candidate.ownerBundleID
                                   ? candidate.ownerBundleID
                                   : CleanupAppDataPaths::owner(candidate.url, services_.homeDirectory);
        if (owner && ownerIsRunning(identifiers, owner)) urls.push_back(candidate.url);
    }
    return urls;
}

std::map<std::string, std::string> CleanupState::dependencyMap() const {
    std::map<std::string, std::string> dependencies;
    for (const auto& app : queue_) {
        if (app.kind != "Application" || !selectedPreviewIDs_.count(app.url.path) || !app.ownerBundleID) continue;
        for (const auto& data : queue_) {
            if (data.url.path == app.url.path || data.kind == "Application") continue;
            if (data.ownerBundleID == app.ownerBundleID ||
                CleanupAppDataPaths::contains(data.url, *app.ownerBundleID, services_.homeDirectory))
                dependencies[data.url.path] = app.url.path;
        }
    }
    return dependencies;
}

// --- review ---------------------------------------------------------------------------------------

void CleanupState::prepareReview() {
    if (!canPrepare()) return;
    setStatusMessage(std::nullopt);
    setPreparing(true);
    const Uuid revision = Uuid::make();
    revision_ = revision;
    std::vector<Url> protectedURLs = runningAppProtection();
    CleanupQueue snapshot = queue_;
    std::vector<Url> urls;
    urls.reserve(snapshot.size());
    for (const auto& candidate : snapshot) urls.push_back(candidate.url);

    auto service = service_;
    auto task = std::make_shared<TaskHandle>();
    *task = runTask<TrashPreview>(
        this, TaskPriority::userInitiated,
        [service, urls = std::move(urls), protectedURLs = std::move(protectedURLs)](std::stop_token stop) {
            return service->prepare(urls, protectedURLs, stop);
        },
        [this, revision, task, snapshot = std::move(snapshot)](TaskResult<TrashPreview> result) mutable {
            if (revision_ != revision) return;
            setPreparing(false);
            if (task->isCancelled() || isCancellationError(result.error) || (result.value && result.value->isCancelled)) {
                setStatusMessage(std::string(previewCancelledMessage));
                return;
            }
            if (!result.value) {
                // The service reports item problems inside the preview; should it fail outright,
                // there is nothing to review and the reason is shown instead.
                setStatusMessage(errorDescription(result.error));
                return;
            }
            applyPreview(std::move(*result.value), snapshot);
        });
    operation_ = *task;
}

void CleanupState::applyPreview(TrashPreview preview, const CleanupQueue& snapshot) {
    const auto byPath = indexByPath(snapshot);
    CleanupReview review;
    review.id = preview.id;
    CleanupIDSet selected;
    for (const auto& item : preview.items) {
        CleanupPreviewRow row;
        row.id = item.id;
        row.url = item.url;
        auto found = byPath.find(item.id);
        row.title = found != byPath.end() ? found->second->title : lastComponentOf(item.url);
        row.reason = found != byPath.end() ? found->second->reason : std::string("Selected for cleanup");
        row.logicalSize = item.logicalSize;
        row.fileCount = item.fileCount;
        row.blockedReason = item.blockedReason;
        row.warnings = item.warnings;
        if (!row.blockedReason) selected.insert(row.id);
        review.items.push_back(std::move(row));
    }
    review.notes = {std::string(cleanupReviewNote)};
    prepared_ = std::move(preview);
    setSelectedPreviewIDs(std::move(selected));
    setReview(std::move(review));
}

// --- move -------------------------------------------------------------------------------------------

void CleanupState::confirmTrash() {
    if (!canConfirm()) return;
    if (!prepared_ || !review_ || review_->id != prepared_->id) return;
    setTrashing(true);
    setResults({});
    std::vector<Url> protectedURLs = runningAppProtection();
    auto dependencies = dependencyMap();
    revision_ = Uuid::make();
    CleanupQueue snapshot = queue_;

    auto service = service_;
    auto task = std::make_shared<TaskHandle>();
    *task = runTask<TrashReport>(
        this, TaskPriority::userInitiated,
        [service, preview = *prepared_, confirmed = selectedPreviewIDs_, protectedURLs = std::move(protectedURLs),
         dependencies = std::move(dependencies)](std::stop_token stop) {
            return service->moveToTrash(preview, confirmed, protectedURLs, dependencies, stop);
        },
        [this, task, snapshot = std::move(snapshot)](TaskResult<TrashReport> result) mutable {
            // Always applied, whatever happened meanwhile: a move that ran must clear isTrashing
            // and show what moved, also after "Stop remaining".
            applyReport(snapshot, std::move(result.value), task->isCancelled());
        });
    operation_ = *task;
}

void CleanupState::applyReport(const CleanupQueue& snapshot, std::optional<TrashReport> report, bool stopRequested) {
    setTrashing(false);
    // The service reports every problem inside its report; should it fail outright, nothing is
    // known to have moved and the run counts as stopped.
    TrashReport applied = report ? std::move(*report) : TrashReport{{}, stopRequested || !report, false};
    const auto byPath = indexByPath(snapshot);
    CleanupOutcomes outcomes;
    std::vector<Url> moved;
    for (const auto& item : applied.results) {
        CleanupOutcome outcome;
        outcome.id = item.id;
        outcome.url = item.url;
        auto found = byPath.find(item.id);
        outcome.title = found != byPath.end() ? found->second->title : lastComponentOf(item.url);
        outcome.status = outcomeStatus(item.status);
        outcome.message = item.message;
        outcome.trashURL = outcome.status == CleanupOutcomeStatus::moved ? item.trashURL : std::nullopt;
        if (outcome.status == CleanupOutcomeStatus::moved) moved.push_back(item.url);
        outcomes.push_back(std::move(outcome));
    }
    setResults(std::move(outcomes));

    CleanupQueue remaining;
    for (const auto& candidate : queue_) {
        bool gone = std::any_of(moved.begin(), moved.end(), [&](const Url& m) {
            return candidate.url.path == m.path || path::isBelow(candidate.url.path, m.path);
        });
        if (!gone) remaining.push_back(candidate);
    }
    setQueue(std::move(remaining));
    invalidatePreview();

    const std::string n = std::to_string(moved.size());
    if (applied.wasCancelled)
        setStatusMessage("Stopped remaining items. " + n + " moved to Trash; see each result below.");
    else
        setStatusMessage(n + (moved.size() == 1 ? " item" : " items") + " moved to Trash. Your Trash has not been emptied.");
    if (!moved.empty() && didMoveFiles_) didMoveFiles_(moved);
}

} // namespace morvo
