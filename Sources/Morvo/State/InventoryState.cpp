#include "Morvo/State/InventoryState.h"

#include "Morvo/State/ObservedProperty.h"
#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/FileSystemQueries.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>

namespace morvo {
namespace {

// The path with "." and ".." components resolved lexically, as a standardised file URL has it.
std::string standardizedPath(std::string_view input) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('/', start);
        if (end == std::string_view::npos) end = input.size();
        std::string_view part = input.substr(start, end - start);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out;
    for (auto part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

AppInventoryResult emptyResult() {
    AppInventoryResult result;
    result.isComplete = false;
    return result;
}

} // namespace

InventoryState::InventoryState(QObject* parent) : InventoryState(InventoryStateServices{}, parent) {}

InventoryState::InventoryState(InventoryStateServices services, QObject* parent)
    : LoadState(parent), result_(emptyResult()), services_(std::move(services)) {
    if (!services_.runningApplications) services_.runningApplications = std::make_shared<ProcRunningApplications>();
    if (services_.homeDirectory.empty()) services_.homeDirectory = currentUserHomeDirectory();
    if (!services_.folderPanel) services_.folderPanel = makeDialogFolderPanel();
    const Url home = Url::file(services_.homeDirectory, true);
    applicationRoots_ = services_.applicationRoots ? *services_.applicationRoots : AppInventoryScanner::defaultRoots(home);
    if (!services_.userLibrary) services_.userLibrary = AppInventoryScanner::defaultUserLibrary(home);
    if (!services_.scan)
        services_.scan = [](const std::vector<Url>& roots, const Url& library, std::stop_token stop) {
            return AppInventoryScanner::scan(roots, library, stop);
        };

    // The first application of the (empty) initial result.
    setSelectedAppID(result_.apps.empty() ? OptionalString{} : OptionalString{result_.apps.front().id()});
    refreshRunningApplications();
    // Queued: the refresh runs as its own GUI-thread step after the notification, and never once
    // this state is gone.
    connect(services_.runningApplications.get(), &RunningApplications::applicationsChanged, this,
            &InventoryState::refreshRunningApplications, Qt::QueuedConnection);
}

InventoryState::~InventoryState() {
    loadTask_.cancel();
    disconnect(services_.runningApplications.get(), nullptr, this, nullptr);
}

// --- observed setters -------------------------------------------------------------------------

void InventoryState::setResult(AppInventoryResult value) {
    result_ = std::move(value);
    emit resultChanged();
}

void InventoryState::setQuery(const std::string& value) {
    assignObserved(this, query_, value, &InventoryState::queryChanged);
}

void InventoryState::setSelectedAppID(const OptionalString& value) {
    if (!assignObserved(this, selectedAppID_, value, &InventoryState::selectedAppIDChanged)) return;
    setSelectedRelatedIDs({});
    setIncludeSelectedApp(true);
}

void InventoryState::setIncludeSelectedApp(bool value) {
    assignObserved(this, includeSelectedApp_, value, &InventoryState::includeSelectedAppChanged);
}

void InventoryState::setSelectedRelatedIDs(InventoryIDSet value) {
    assignObserved(this, selectedRelatedIDs_, std::move(value), &InventoryState::selectedRelatedIDsChanged);
}

void InventoryState::setSelectedLeftoverIDs(InventoryIDSet value) {
    assignObserved(this, selectedLeftoverIDs_, std::move(value), &InventoryState::selectedLeftoverIDsChanged);
}

// --- loading ------------------------------------------------------------------------------------

void InventoryState::load() {
    const Uuid revision = beginLoad();
    refreshRunningApplications();

    auto scan = services_.scan;
    auto roots = applicationRoots_;
    auto library = *services_.userLibrary;
    auto task = std::make_shared<TaskHandle>();
    *task = runTask<AppInventoryResult>(
        this, TaskPriority::utility,
        [scan, roots, library](std::stop_token stop) { return scan(roots, library, stop); },
        [this, revision, task](TaskResult<AppInventoryResult> outcome) { apply(revision, *task, std::move(outcome)); });
    loadTask_ = *task;
}

void InventoryState::apply(const Uuid& revision, const TaskHandle& task, TaskResult<AppInventoryResult> outcome) {
    if (revision_ != revision) return;
    if (outcome.value) {
        if (task.isCancelled()) {
            setLoading(false);
            return;
        }
        const OptionalString previous = selectedAppID_;
        setResult(std::move(*outcome.value));
        setHasLoaded(true);
        setSelectedRelatedIDs({});
        setSelectedLeftoverIDs({});
        setIncludeSelectedApp(true);
        const auto apps = filteredApps();
        OptionalString next;
        if (previous && std::any_of(apps.begin(), apps.end(), [&](const InstalledApp& a) { return a.id() == *previous; }))
            next = previous;
        else if (!apps.empty())
            next = apps.front().id();
        setSelectedAppID(next);
        setLoading(false);
        if (result_.isComplete)
            setStatusMessage("Checked " + text::formatInteger(static_cast<std::int64_t>(result_.apps.size())) +
                             " applications. Nothing has been added to your cleanup queue.");
        else
            setStatusMessage(std::string("Some locations couldn\u2019t be checked. See the scan notes before reviewing "
                                         "these results."));
        return;
    }
    setLoading(false);
    showFailure(outcome.error);
}

void InventoryState::cancel() {
    abandonLoad();
    setStatusMessage(hasLoaded() ? std::string("Scan cancelled. Previous results are still available.")
                                 : std::string("Scan cancelled. Scan applications when you\u2019re ready."));
}

void InventoryState::chooseApplicationsFolder() {
    FolderPanelOptions options;
    options.title = "Choose an applications folder";
    options.message = "Check this folder for applications alongside the standard app locations.";
    options.prompt = "Scan folder";
    options.directory = Url::file("/Applications", true);
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    options.showsHiddenFiles = false;
    QPointer<InventoryState> guard(this);
    services_.folderPanel->begin(options, [guard](std::optional<Url> folder) {
        if (!folder || !guard) return;
        // A step of its own on the GUI thread: the panel's completion may still run inside the panel.
        QMetaObject::invokeMethod(
            guard.data(),
            [guard, url = *folder]() {
                if (guard) guard->addApplicationsFolder(url);
            },
            Qt::QueuedConnection);
    });
}

void InventoryState::addApplicationsFolder(const Url& folder) {
    const std::string wanted = standardizedPath(folder.path);
    bool known = std::any_of(applicationRoots_.begin(), applicationRoots_.end(),
                             [&](const Url& root) { return standardizedPath(root.path) == wanted; });
    if (!known) applicationRoots_.push_back(folder);
    load();
}

// --- running applications -----------------------------------------------------------------------

void InventoryState::refreshRunningApplications() {
    InventoryIDSet identifiers;
    InventoryIDSet paths;
    for (const auto& app : services_.runningApplications->runningApplications()) {
        if (app.bundleIdentifier) identifiers.insert(*app.bundleIdentifier);
        if (app.bundleURL) paths.insert(standardizedPath(app.bundleURL->path));
    }
    if (identifiers != runningBundleIdentifiers_) {
        runningBundleIdentifiers_ = std::move(identifiers);
        emit runningBundleIdentifiersChanged();
    }
    if (paths != runningBundlePaths_) {
        runningBundlePaths_ = std::move(paths);
        emit runningBundlePathsChanged();
    }
}

bool InventoryState::isRunning(const InstalledApp& app) const {
    if (runningBundlePaths_.count(standardizedPath(app.bundleURL.path))) return true;
    return isRunning(app.bundleIdentifier.empty() ? OptionalString{} : OptionalString{app.bundleIdentifier});
}

bool InventoryState::isRunning(const std::optional<std::string>& ownerBundleIdentifier) const {
    return ownerIsRunning(runningBundleIdentifiers_, ownerBundleIdentifier);
}

bool InventoryState::hasOtherCopy(const InstalledApp& app) const {
    if (app.bundleIdentifier.empty()) return false;
    return std::any_of(result_.apps.begin(), result_.apps.end(), [&](const InstalledApp& other) {
        return other.bundleURL.path != app.bundleURL.path && !other.bundleIdentifier.empty() &&
               other.bundleIdentifier == app.bundleIdentifier;
    });
}

// --- selection ----------------------------------------------------------------------------------

void InventoryState::toggleRelated(const std::string& id) {
    if (!selectedRelatedIDs_.erase(id)) selectedRelatedIDs_.insert(id);
    emit selectedRelatedIDsChanged();
}

void InventoryState::toggleLeftover(const std::string& id) {
    if (!selectedLeftoverIDs_.erase(id)) selectedLeftoverIDs_.insert(id);
    emit selectedLeftoverIDsChanged();
}

// --- derived ------------------------------------------------------------------------------------

std::vector<InstalledApp> InventoryState::filteredApps() const {
    const std::string needle = text::trim(query_);
    if (needle.empty()) return result_.apps;
    std::vector<InstalledApp> out;
    for (const auto& app : result_.apps) {
        if (text::containsCaseInsensitive(app.name, needle) ||
            (!app.bundleIdentifier.empty() && text::containsCaseInsensitive(app.bundleIdentifier, needle)) ||
            text::containsCaseInsensitive(app.bundleURL.path, needle))
            out.push_back(app);
    }
    return out;
}

std::string InventoryState::locationsDescription() const {
    const std::string& home = services_.homeDirectory;
    std::string out;
    for (const auto& root : applicationRoots_) {
        if (!out.empty()) out += ", ";
        const std::string& p = root.path;
        if (home != "/" && p == home)
            out += "~";
        else if (home != "/" && path::isBelow(p, home))
            out += "~" + p.substr(home.size());
        else
            out += p;
    }
    return out;
}

} // namespace morvo
