#pragma once
// The state behind the Applications and Leftovers sections: runs the application inventory scan on
// the utility pool, keeps its result, the search text and the user's selection, the extra
// application folders the user added, and the running applications.

#include "Morvo/State/CleanupModels.h"
#include "Morvo/State/LoadState.h"
#include "Morvo/Platform/FolderPanel.h"
#include "Morvo/Platform/RunningApplications.h"
#include "Morvo/Platform/TaskRunner.h"
#include "MorvoCore/AppInventory.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace morvo {

using InventoryIDSet = std::set<std::string>;

struct InventoryStateServices {
    using Scan = std::function<AppInventoryResult(const std::vector<Url>& applicationRoots, const Url& userLibrary,
                                                  std::stop_token stop)>;
    // Null or empty members get the real ones.
    std::shared_ptr<RunningApplications> runningApplications;   // the /proc reader
    std::string homeDirectory;                                   // the user's home folder
    std::optional<std::vector<Url>> applicationRoots;            // unset: the scanner's default roots
    std::optional<Url> userLibrary;                              // unset: the scanner's default Library
    Scan scan;                                                   // unset: AppInventoryScanner::scan
    std::shared_ptr<FolderPanel> folderPanel;                    // the folder dialog
};

class InventoryState : public LoadState {
    Q_OBJECT
    Q_PROPERTY(morvo::AppInventoryResult result READ result NOTIFY resultChanged)
    Q_PROPERTY(morvo::OptionalString statusMessage READ statusMessage WRITE setStatusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(std::string query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(morvo::OptionalString selectedAppID READ selectedAppID WRITE setSelectedAppID NOTIFY selectedAppIDChanged)
    Q_PROPERTY(bool includeSelectedApp READ includeSelectedApp WRITE setIncludeSelectedApp NOTIFY includeSelectedAppChanged)
    Q_PROPERTY(morvo::InventoryIDSet selectedRelatedIDs READ selectedRelatedIDs NOTIFY selectedRelatedIDsChanged)
    Q_PROPERTY(morvo::InventoryIDSet selectedLeftoverIDs READ selectedLeftoverIDs NOTIFY selectedLeftoverIDsChanged)
    Q_PROPERTY(morvo::InventoryIDSet runningBundleIdentifiers READ runningBundleIdentifiers NOTIFY runningBundleIdentifiersChanged)
    Q_PROPERTY(morvo::InventoryIDSet runningBundlePaths READ runningBundlePaths NOTIFY runningBundlePathsChanged)

public:
    // One of the change signals, its own or its loading half's, as a list of them to connect holds it.
    using Signal = void (InventoryState::*)();

    explicit InventoryState(QObject* parent = nullptr);
    explicit InventoryState(InventoryStateServices services, QObject* parent = nullptr);
    ~InventoryState() override;

    // Observed, with the loading properties.
    const AppInventoryResult& result() const { return result_; }
    const std::string& query() const { return query_; }
    const OptionalString& selectedAppID() const { return selectedAppID_; }
    bool includeSelectedApp() const { return includeSelectedApp_; }
    const InventoryIDSet& selectedRelatedIDs() const { return selectedRelatedIDs_; }
    const InventoryIDSet& selectedLeftoverIDs() const { return selectedLeftoverIDs_; }
    const InventoryIDSet& runningBundleIdentifiers() const { return runningBundleIdentifiers_; }
    const InventoryIDSet& runningBundlePaths() const { return runningBundlePaths_; }

    // Not observed.
    const std::vector<Url>& applicationRoots() const { return applicationRoots_; }
    RunningApplications& runningApplications() const { return *services_.runningApplications; }

    // Settable by the views.
    using LoadState::setStatusMessage;
    void setQuery(const std::string& value);
    // A different value empties the related selection and includes the app again.
    void setSelectedAppID(const OptionalString& value);
    void setIncludeSelectedApp(bool value);

    void load();
    void cancel();
    void chooseApplicationsFolder();
    // Adds `folder` to the application roots unless one has the same standardised path, then loads.
    void addApplicationsFolder(const Url& folder);
    void refreshRunningApplications();

    bool isRunning(const InstalledApp& app) const;
    bool isRunning(const std::optional<std::string>& ownerBundleIdentifier) const;
    bool hasOtherCopy(const InstalledApp& app) const;
    void toggleRelated(const std::string& id);
    void toggleLeftover(const std::string& id);

    // Derived.
    std::vector<InstalledApp> filteredApps() const;
    std::string locationsDescription() const;

signals:
    void resultChanged();
    void queryChanged();
    void selectedAppIDChanged();
    void includeSelectedAppChanged();
    void selectedRelatedIDsChanged();
    void selectedLeftoverIDsChanged();
    void runningBundleIdentifiersChanged();
    void runningBundlePathsChanged();

private:
    void setResult(AppInventoryResult value);
    void setSelectedRelatedIDs(InventoryIDSet value);
    void setSelectedLeftoverIDs(InventoryIDSet value);
    void apply(const Uuid& revision, const TaskHandle& task, TaskResult<AppInventoryResult> outcome);

    AppInventoryResult result_;
    std::string query_;
    OptionalString selectedAppID_;
    bool includeSelectedApp_ = true;
    InventoryIDSet selectedRelatedIDs_;
    InventoryIDSet selectedLeftoverIDs_;
    InventoryIDSet runningBundleIdentifiers_;
    InventoryIDSet runningBundlePaths_;
    std::vector<Url> applicationRoots_;
    InventoryStateServices services_;
};

} // namespace morvo
