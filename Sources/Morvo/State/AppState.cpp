#include "Morvo/State/AppState.h"

#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/State/CleanupModels.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/State/ObservedProperty.h"
#include "Morvo/Platform/AppLocation.h"
#include "Morvo/Platform/FolderPanel.h"
#include "Morvo/Platform/Pasteboard.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Kit/Theme.h"
#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/PropertyList.h"
#include "MorvoCore/Platform/Text.h"
#include "MorvoCore/TrashService.h"

#include <QPointer>

#include <algorithm>
#include <chrono>
#include <exception>
#include <functional>

namespace morvo {

namespace {

constexpr const char* cancelledNotice = "Scan cancelled. Your previous results are still here.";
constexpr const char* movedRootIssue = "This scanned folder was moved to Trash. Choose another folder to continue.";
constexpr const char* movedRootNotice = "The scanned folder was moved to Trash. Choose another folder to continue.";
constexpr const char* privacySettingsURL = "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";
constexpr std::int64_t infoPlistSizeLimit = 1999999;

// Whether a move of `moved` touches the folder at `scanned`: the same path, inside it, or around it.
bool touches(const std::string& moved, const std::string& scanned) {
    return moved == scanned || path::isBelow(moved, scanned) || path::isBelow(scanned, moved);
}

bool touchesAny(const std::vector<Url>& moved, const std::string& scanned) {
    return std::any_of(moved.begin(), moved.end(), [&](const Url& url) { return touches(url.path, scanned); });
}

bool existsAt(const std::string& path) {
    try {
        statPath(path);
        return true;
    } catch (const PosixError&) {
        return false;
    }
}

// Every hand-over to the desktop goes through this wrapper, so that one the desktop cannot take
// is said in the window's status line (the notice) instead of passing in silence. `begin` is
// called as each hand-over starts and gives what says its failure when the answer comes.
class ReportingWorkspace : public Workspace {
public:
    using Reporter = std::function<void(std::string failure)>;

    ReportingWorkspace(std::shared_ptr<Workspace> inner, std::function<Reporter()> begin)
        : inner_(std::move(inner)), begin_(std::move(begin)) {}

    void reveal(const std::vector<Url>& urls, Answer answer) override {
        inner_->reveal(urls, relay("No file manager on this desktop could show the item.", std::move(answer)));
    }
    void open(const Url& url, Answer answer) override {
        std::string failure = url.scheme == "mailto"
                                  ? "No email app is set up on this desktop. You can write to " + url.path + "."
                                  : "No app on this desktop opens " + url.absoluteString() + ".";
        inner_->open(url, relay(std::move(failure), std::move(answer)));
    }
    void revealInTrash(const Url& trashedItem, Answer answer) override {
        inner_->revealInTrash(trashedItem, relay("No file manager on this desktop could show the Trash.", std::move(answer)));
    }

private:
    Answer relay(std::string failure, Answer answer) {
        return [report = begin_ ? begin_() : Reporter(), failure = std::move(failure), answer = std::move(answer)](bool taken) {
            if (!taken && report) report(failure);
            if (answer) answer(taken);
        };
    }
    std::shared_ptr<Workspace> inner_;
    std::function<Reporter()> begin_;
};

NodeFacts factsOf(const DiskNode& node) {
    NodeFacts facts;
    facts.isDirectory = node.isDirectory;
    facts.isSymbolicLink = node.isSymbolicLink;
    facts.logicalSize = node.logicalSize;
    facts.allocatedSize = node.allocatedSize;
    facts.fileCount = node.fileCount;
    facts.modificationDate = node.modificationDate;
    facts.category = node.category;
    return facts;
}

} // namespace

AppState::AppState(AppServices services, QObject* parent)
    : QObject(parent), services_(services.withDefaults()) {
    const std::string& home = services_.homeDirectory;
    QPointer<AppState> reportTo(this);
    services_.workspace = std::make_shared<ReportingWorkspace>(services_.workspace, [reportTo]() {
        ReportingWorkspace::Reporter report;
        if (!reportTo) return report;
        const std::uint64_t handOver = ++reportTo->handOverSerial_;
        const std::uint64_t said = reportTo->noticeSerial_;
        report = [reportTo, handOver, said](std::string failure) {
            // A newer hand-over answers for itself, and a notice said meanwhile is newer news.
            if (!reportTo || reportTo->handOverSerial_ != handOver) return;
            if (reportTo->notice_ && reportTo->noticeSerial_ != said) return;
            reportTo->setNotice(std::move(failure));
        };
        return report;
    });

    scanRevision_ = Uuid::make();
    searchRevision_ = Uuid::make();
    searchTimer_.setSingleShot(true);
    searchTimer_.setTimerType(Qt::PreciseTimer);   // monotonic, and no coarse slack on 140 ms
    searchTimer_.setInterval(searchDebounceMilliseconds);
    connect(&searchTimer_, &QTimer::timeout, this, &AppState::runPendingSearch);

    InventoryStateServices inventoryServices;
    inventoryServices.runningApplications = services_.runningApplications;
    inventoryServices.homeDirectory = home;
    inventoryServices.applicationRoots = services_.applicationRoots;
    inventoryServices.folderPanel = services_.folderPanel;
    inventory_ = std::make_unique<InventoryState>(std::move(inventoryServices));

    TrashPolicy policy({}, 100000, 900.0, Url::file(home, true));
    trashService_ = std::make_shared<TrashService>(policy, services_.trashMover);

    CleanupStateServices cleanupServices;
    cleanupServices.runningApplications = services_.runningApplications;
    cleanupServices.homeDirectory = home;
    cleanupServices.workspace = services_.workspace;
    cleanupServices.appLocation = services_.appLocation;
    cleanup_ = std::make_unique<CleanupState>(trashService_, std::move(cleanupServices));

    CleanupDiscoveryStateServices discoveryServices;
    discoveryServices.runningApplications = services_.runningApplications;
    discoveryServices.homeDirectory = home;
    cacheDiscovery_ = std::make_unique<CleanupDiscoveryState>(std::move(discoveryServices));

    NodeFacts rootFacts;
    rootFacts.isDirectory = true;
    const Date now = std::chrono::system_clock::now();
    snapshot_ = makeSingleNodeSnapshot(home, std::string(path::lastComponent(home)), rootFacts, now,
                                       std::chrono::system_clock::now(), {}, false);
    ++snapshotGeneration_;
    mapRootID_ = home;

    updateCategoryTotals();
    scheduleSearch();

    QPointer<AppState> self(this);
    cleanup_->setDidMoveFiles([self](const std::vector<Url>& moved) {
        if (self) self->refreshAfterCleanup(moved);
    });
}

AppState::~AppState() {
    // Nothing that is still running may apply to this object: the revisions change and the
    // tasks are asked to stop; their results find the object gone and are dropped.
    scanTask_.cancel();
    searchWorker_.cancel();
    searchTimer_.stop();
    if (cleanup_) cleanup_->setDidMoveFiles({});
}

// MARK: Observed properties

void AppState::setSnapshot(SnapshotPtr value) {
    snapshot_ = std::move(value);
    ++snapshotGeneration_;
    emit snapshotChanged();
}

void AppState::setHasScannedFolder(bool value) {
    assignObserved(this, hasScannedFolder_, value, &AppState::hasScannedFolderChanged);
}

void AppState::setSection(AppSection value) {
    assignObserved(this, section_, value, &AppState::sectionChanged);
}

void AppState::setMapRootID(const std::string& value) {
    assignObserved(this, mapRootID_, value, &AppState::mapRootIDChanged);
}

void AppState::setSelectedID(const std::optional<std::string>& value) {
    assignObserved(this, selectedID_, value, &AppState::selectedIDChanged);
}

void AppState::setQuery(const std::string& value) {
    assignObserved(this, query_, value, &AppState::queryChanged);
    scheduleSearch();
}

void AppState::setCategory(std::optional<FileCategory> value) {
    assignObserved(this, category_, value, &AppState::categoryChanged);
    scheduleSearch();
}

void AppState::setMinimumSize(std::int64_t value) {
    assignObserved(this, minimumSize_, value, &AppState::minimumSizeChanged);
    scheduleSearch();
}

void AppState::setSort(FileSort value) {
    assignObserved(this, sort_, value, &AppState::sortChanged);
    scheduleSearch();
}

void AppState::setFiles(std::vector<DiskNode> value) {
    assignObserved(this, files_, std::move(value), &AppState::filesChanged);
}

void AppState::setOverviewFiles(std::vector<DiskNode> value) {
    assignObserved(this, overviewFiles_, std::move(value), &AppState::overviewFilesChanged);
}

void AppState::setMatchingCount(std::int64_t value) {
    assignObserved(this, matchingCount_, value, &AppState::matchingCountChanged);
}

void AppState::setMatchingBytes(std::int64_t value) {
    assignObserved(this, matchingBytes_, value, &AppState::matchingBytesChanged);
}

void AppState::setIsSearching(bool value) {
    assignObserved(this, isSearching_, value, &AppState::isSearchingChanged);
}

void AppState::setIsScanning(bool value) {
    assignObserved(this, isScanning_, value, &AppState::isScanningChanged);
}

void AppState::setProgress(std::optional<ScanProgress> value) {
    progress_ = std::move(value);
    emit progressChanged();
}

void AppState::setScanURL(std::optional<Url> value) {
    assignObserved(this, scanURL_, std::move(value), &AppState::scanURLChanged);
}

void AppState::setErrorMessage(const std::optional<std::string>& value) {
    assignObserved(this, errorMessage_, value, &AppState::errorMessageChanged);
}

void AppState::setNotice(const std::optional<std::string>& value) {
    if (value) ++noticeSerial_;
    assignObserved(this, notice_, value, &AppState::noticeChanged);
}

void AppState::setSheet(std::optional<AppSheet> value) {
    assignObserved(this, sheet_, value, &AppState::sheetChanged);
}

void AppState::setCategoryTotals(CategoryTotalsMap value) {
    assignObserved(this, categoryTotals_, std::move(value), &AppState::categoryTotalsChanged);
}

// MARK: Scanning

void AppState::startScan(const Url& url, bool preservingSection) {
    if (cleanup_->isTrashing()) return;
    scanTask_.cancel();
    const Uuid revision = Uuid::make();
    scanRevision_ = revision;
    setIsScanning(true);
    setScanURL(url);
    setProgress(std::nullopt);
    setErrorMessage(std::nullopt);
    setNotice(std::nullopt);

    QPointer<QObject> guard(this);
    AppServices::ScanFunction scan = services_.scan;
    // Each report becomes one small task on the GUI thread; a report whose scan is no longer the
    // current one is dropped there.
    DiskScanner::ProgressHandler report = [guard, revision](const ScanProgress& progress) {
        postToGuiThread(guard, [guard, revision, progress] {
            auto* state = static_cast<AppState*>(guard.data());
            if (state->scanRevision_ == revision) state->setProgress(progress);
        });
    };
    scanTask_ = runTask<SnapshotPtr>(
        this, TaskPriority::userInitiated,
        [scan, url, report](std::stop_token stop) { return scan(url, report, stop); },
        [this, revision, preservingSection](TaskResult<SnapshotPtr> result) {
            applyScanResult(revision, preservingSection, std::move(result));
        });
}

void AppState::applyScanResult(const Uuid& revision, bool preservingSection, TaskResult<SnapshotPtr> result) {
    if (scanRevision_ != revision) return;
    if (result.error) {
        setIsScanning(false);
        if (isCancellationError(result.error))
            setNotice(std::string(cancelledNotice));
        else
            setErrorMessage(errorDescription(result.error));
        return;
    }
    if (scanTask_.isCancelled() || !result.value || !*result.value) return;

    SnapshotPtr snapshot = std::move(*result.value);
    const auto rootChildren = snapshot->children(DiskSnapshot::rootIndex);
    std::optional<std::string> firstChild;
    if (!rootChildren.empty()) firstChild = snapshot->path(rootChildren.front());
    setSnapshot(snapshot);
    setHasScannedFolder(true);
    clearDerivedResults();
    setMapRootID(snapshot->rootID());
    setSelectedID(firstChild);
    setIsScanning(false);
    setQuery("");
    setCategory(std::nullopt);
    setMinimumSize(0);
    if (!preservingSection) setSection(AppSection::overview);
    updateCategoryTotals();
    scheduleSearch();
}

void AppState::cancelScan() {
    scanRevision_ = Uuid::make();
    scanTask_.cancel();
    setIsScanning(false);
    setProgress(std::nullopt);
    setNotice(std::string(cancelledNotice));
}

void AppState::chooseFolder() {
    if (cleanup_->isTrashing()) return;
    FolderPanelOptions options;
    options.title = "Choose a folder or disk to scan";
    options.prompt = "Scan folder";
    options.message = "Scanning reads file names and sizes. Cleanup is a separate action that always requires your review.";
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    options.showsHiddenFiles = true;
    options.directory = Url::file(services_.homeDirectory, true);
    QPointer<AppState> self(this);
    services_.folderPanel->begin(options, [self](std::optional<Url> chosen) {
        if (!chosen || !self) return;
        // The scan starts from the event loop, not from inside the panel's completion.
        QMetaObject::invokeMethod(
            self.data(),
            [self, url = *chosen] {
                if (self) self->startScan(url, false);
            },
            Qt::QueuedConnection);
    });
}

void AppState::rescan() {
    switch (section_) {
    case AppSection::overview:
    case AppSection::largeFiles: startScan(snapshot_->nodeWithoutChildren(DiskSnapshot::rootIndex).url, true); break;
    case AppSection::cleanup: break;
    case AppSection::caches: cacheDiscovery_->load(); break;
    case AppSection::applications:
    case AppSection::leftovers: inventory_->load(); break;
    }
}

void AppState::refreshAfterCleanup(const std::vector<Url>& movedURLs) {
    if (inventory_->hasLoaded()) inventory_->load();
    if (cacheDiscovery_->hasLoaded()) cacheDiscovery_->load();

    const DiskNode root = snapshot_->nodeWithoutChildren(DiskSnapshot::rootIndex);
    const std::string& rootPath = root.url.path;

    // A scan of another folder that is still running will replace the snapshot anyway: leave it
    // alone unless the move touched the folder it is reading.
    if (isScanning_ && scanURL_ && scanURL_->path != rootPath) {
        if (touchesAny(movedURLs, scanURL_->path)) startScan(*scanURL_, true);
        return;
    }

    if (!hasScannedFolder_) return;
    if (!touchesAny(movedURLs, rootPath)) return;

    if (existsAt(rootPath)) {
        startScan(root.url, true);
        return;
    }

    scanTask_.cancel();
    scanRevision_ = Uuid::make();
    setIsScanning(false);
    NodeFacts facts = factsOf(root);
    facts.logicalSize = 0;
    facts.allocatedSize = 0;
    facts.fileCount = 0;
    const Date startedAt = std::chrono::system_clock::now();
    DiskSnapshotBuilder builder(root.id, root.name, facts);
    std::vector<ScanIssue> issues{makeScanIssue(rootPath, movedRootIssue)};
    setSnapshot(builder.finish(startedAt, std::chrono::system_clock::now(), std::move(issues), 0, 0, true));
    setMapRootID(root.id);
    setSelectedID(std::nullopt);
    clearDerivedResults();
    scheduleSearch();
    setNotice(std::string(movedRootNotice));
}

// MARK: Search, filters and totals

void AppState::resetFilters() {
    setQuery("");
    setCategory(std::nullopt);
    setMinimumSize(0);
    setSort(FileSort::size);
}

void AppState::scheduleSearch() {
    searchTimer_.stop();
    searchWorker_.cancel();
    searchRevision_ = Uuid::make();
    setIsSearching(true);
    searchTimer_.start();
}

void AppState::runPendingSearch() {
    const Uuid revision = searchRevision_;
    SnapshotPtr snapshot = snapshot_;
    std::string query = query_;
    std::optional<FileCategory> category = category_;
    std::int64_t minimumSize = minimumSize_;
    FileSort sort = sort_;
    searchWorker_ = runTask<FileSearchResult>(
        this, TaskPriority::userInitiated,
        [snapshot, query, category, minimumSize, sort](std::stop_token stop) {
            return DiskSearch::find(*snapshot, query, category, minimumSize, sort, fileListLimit, stop);
        },
        [this, revision](TaskResult<FileSearchResult> result) {
            if (searchRevision_ != revision || !result.value) return;
            setFiles(std::move(result.value->files));
            setMatchingCount(result.value->totalCount);
            setMatchingBytes(result.value->totalBytes);
            setIsSearching(false);
        });
}

void AppState::updateCategoryTotals() {
    SnapshotPtr snapshot = snapshot_;
    const std::uint64_t generation = snapshotGeneration_;
    struct Totals {
        CategoryTotalsMap totals;
        std::vector<DiskNode> top;
    };
    runTask<Totals>(
        this, TaskPriority::utility,
        [snapshot](std::stop_token) {
            Totals out;
            for (DiskSnapshot::Index i = 0; i < snapshot->nodeCount(); ++i) {
                if (snapshot->isDirectory(i) || snapshot->isSymbolicLink(i)) continue;
                std::int64_t& sum = out.totals[snapshot->category(i)];
                sum = saturatingAdd(sum, snapshot->logicalSize(i));
            }
            out.top = DiskSearch::find(*snapshot, "", std::nullopt, 0, FileSort::size, overviewFileLimit).files;
            return out;
        },
        [this, generation](TaskResult<Totals> result) {
            if (snapshotGeneration_ != generation || !result.value) return;
            setCategoryTotals(std::move(result.value->totals));
            setOverviewFiles(std::move(result.value->top));
        });
}

void AppState::clearDerivedResults() {
    setFiles({});
    setOverviewFiles({});
    setCategoryTotals({});
    setMatchingCount(0);
    setMatchingBytes(0);
}

// MARK: Navigation and item actions

std::optional<DiskNode> AppState::selectedNode() const {
    if (auto index = selectedIndex()) return snapshot_->node(*index);
    return std::nullopt;
}

DiskNode AppState::mapRoot() const { return snapshot_->node(mapRootIndex()); }

std::vector<DiskNode> AppState::breadcrumbs() const {
    std::vector<DiskNode> chain;
    for (DiskSnapshot::Index i : breadcrumbIndexes()) chain.push_back(snapshot_->node(i));
    return chain;
}

std::optional<DiskSnapshot::Index> AppState::selectedIndex() const {
    if (!selectedID_) return std::nullopt;
    return snapshot_->indexOf(*selectedID_);
}

DiskSnapshot::Index AppState::mapRootIndex() const {
    return snapshot_->indexOf(mapRootID_).value_or(DiskSnapshot::rootIndex);
}

std::vector<DiskSnapshot::Index> AppState::breadcrumbIndexes() const {
    std::vector<DiskSnapshot::Index> chain;
    std::optional<DiskSnapshot::Index> current = mapRootIndex();
    while (current && static_cast<int>(chain.size()) < breadcrumbLimit) {
        chain.push_back(*current);
        current = snapshot_->parent(*current);
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

void AppState::navigate(const std::string& id) {
    const std::optional<DiskSnapshot::Index> index = snapshot_->indexOf(id);
    if (!index) return;
    setSelectedID(id);
    if (snapshot_->isDirectory(*index)) {
        setMapRootID(id);
        setSection(AppSection::overview);
    }
}

void AppState::showFiles(std::optional<FileCategory> category) {
    setCategory(category);
    setSection(AppSection::largeFiles);
}

void AppState::copyPath(const DiskNode& node) {
    services_.pasteboard->clearContents();
    services_.pasteboard->setString(node.url.path);
}

void AppState::queueForCleanup(const DiskNode& node) {
    const std::optional<std::string> owner = applicationIdentifierForCleanup(node);
    std::string kind;
    std::string symbol;
    if (owner) {
        kind = "Application";
        symbol = "app.fill";
    } else if (node.isDirectory) {
        kind = "Folder";
        symbol = "folder";
    } else {
        kind = "File";
        symbol = std::string(categorySymbol(node.category));
    }
    CleanupCandidate candidate;
    candidate.url = node.url;
    candidate.title = node.name;
    candidate.reason = "Selected from your storage scan";
    candidate.kind = std::move(kind);
    candidate.symbol = std::move(symbol);
    candidate.logicalSize = node.logicalSize;
    candidate.ownerBundleID = owner;
    cleanup_->add(candidate);
}

std::optional<std::string> AppState::applicationIdentifierForCleanup(const DiskNode& node) const {
    if (!node.isDirectory || node.isSymbolicLink) return std::nullopt;
    if (text::lowercase(node.url.pathExtension()) != "app") return std::nullopt;

    const std::string lowered = text::lowercase(node.url.path);
    const std::string roots[] = {text::lowercase(path::join(services_.homeDirectory, "Library")), "/library",
                                 "/system/library"};
    for (const std::string& root : roots)
        if (path::isWithin(lowered, root)) return std::nullopt;

    const std::string infoPlist = path::join(path::join(node.url.path, "Contents"), "Info.plist");
    try {
        FileMetadata metadata = statPath(infoPlist);
        if (!metadata.isRegular() || metadata.size > infoPlistSizeLimit) return std::nullopt;
        PropertyListStrings info = readPropertyListStrings(infoPlist, infoPlistSizeLimit);
        std::optional<std::string> identifier = info.string("CFBundleIdentifier");
        if (!identifier || identifier->empty()) return std::nullopt;
        return identifier;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void AppState::openPrivacySettings() {
    Url url = Url::parse(privacySettingsURL);
    if (url.scheme.empty()) return;
    services_.workspace->open(url);
}

} // namespace morvo
