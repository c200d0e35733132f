#pragma once
// The state behind the caches-and-logs section: runs the discovery scan of the home folder on the
// utility pool, keeps its result, filters it, keeps the ticked entries, decides what may not be
// queued (also from the running applications) and queues the ticked entries.

#include "Morvo/State/CleanupModels.h"
#include "Morvo/State/LoadState.h"
#include "Morvo/Platform/RunningApplications.h"
#include "Morvo/Platform/TaskRunner.h"
#include "MorvoCore/CleanupDiscovery.h"
#include "MorvoCore/DeveloperCacheLocations.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace morvo {

class CleanupState;

using OptionalCleanupArea = std::optional<CleanupArea>;
using DiscoveryIDSet = std::set<std::string>;
using DiscoveryBundleIDSet = std::set<std::string>;

struct CleanupDiscoveryStateServices {
    using Scan = std::function<CleanupDiscoveryResult(const Url& home, std::int64_t maxNodesPerRoot,
                                                      std::int64_t maxEntriesPerRoot, std::stop_token stop)>;
    // Null or empty members get the real ones.
    std::shared_ptr<RunningApplications> runningApplications;   // the /proc reader
    std::string homeDirectory;                                   // the user's home folder
    Scan scan;                                                   // unset: CleanupDiscoveryScanner::scan
};

class CleanupDiscoveryState : public LoadState {
    Q_OBJECT
    Q_PROPERTY(morvo::CleanupDiscoveryResult result READ result NOTIFY resultChanged)
    Q_PROPERTY(std::string query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(morvo::OptionalCleanupArea area READ area WRITE setArea NOTIFY areaChanged)
    Q_PROPERTY(morvo::DiscoveryIDSet selectedIDs READ selectedIDs WRITE setSelectedIDs NOTIFY selectedIDsChanged)
    Q_PROPERTY(morvo::DiscoveryBundleIDSet runningBundleIdentifiers READ runningBundleIdentifiers NOTIFY runningBundleIdentifiersChanged)

public:
    static constexpr std::int64_t maxNodesPerRoot = 100000;
    static constexpr std::int64_t maxEntriesPerRoot = 2000;

    // One of the change signals, its own or its loading half's, as a list of them to connect holds it.
    using Signal = void (CleanupDiscoveryState::*)();

    explicit CleanupDiscoveryState(QObject* parent = nullptr);
    explicit CleanupDiscoveryState(CleanupDiscoveryStateServices services, QObject* parent = nullptr);
    ~CleanupDiscoveryState() override;

    // Observed, with the loading properties.
    const CleanupDiscoveryResult& result() const { return result_; }
    const std::string& query() const { return query_; }
    const OptionalCleanupArea& area() const { return area_; }
    const DiscoveryIDSet& selectedIDs() const { return selectedIDs_; }
    const DiscoveryBundleIDSet& runningBundleIdentifiers() const { return runningBundleIdentifiers_; }

    // Settable by the view.
    void setQuery(const std::string& value);
    void setArea(const OptionalCleanupArea& value);
    void setSelectedIDs(const DiscoveryIDSet& value);

    void load();
    void cancel();
    void refreshRunningApplications();

    // Derived.
    std::vector<CleanupDiscoveryEntry> filteredEntries() const;
    std::optional<std::string> blockedReason(const CleanupDiscoveryEntry& entry) const;
    std::vector<CleanupDiscoveryEntry> selectedEntries() const;
    std::int64_t totalBytes() const;
    std::int64_t selectedBytes() const;

    void toggle(const std::string& id);
    void queueSelected(CleanupState& cleanup);

signals:
    void resultChanged();
    void queryChanged();
    void areaChanged();
    void selectedIDsChanged();
    void runningBundleIdentifiersChanged();

private:
    void setResult(CleanupDiscoveryResult value);
    void setRunningBundleIdentifiers(DiscoveryBundleIDSet value);
    void apply(const Uuid& revision, const TaskHandle& task, TaskResult<CleanupDiscoveryResult> outcome);

    CleanupDiscoveryResult result_;
    std::string query_;
    OptionalCleanupArea area_;
    DiscoveryIDSet selectedIDs_;
    DiscoveryBundleIDSet runningBundleIdentifiers_;
    CleanupDiscoveryStateServices services_;
};

} // namespace morvo
