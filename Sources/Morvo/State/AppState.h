#pragma once
// The application's one observable hub: the current scan and its derived results, the large-files
// search, the storage-map navigation, and the three sub-states it owns for the whole run.
//
// Lives on the GUI thread. Every observed property has a NOTIFY signal that fires only when the
// value changes, except `snapshot` and `progress`, which notify on every assignment. Assigning
// `query`, `category`, `minimumSize` or `sort` always schedules a search (140 ms debounce), also
// when the value is unchanged. Background work runs through TaskRunner and is applied only while
// the revision it started with is still current; destroying the state cancels it.

#include "Morvo/State/AppModels.h"
#include "Morvo/State/AppServices.h"
#include "Morvo/Platform/TaskRunner.h"
#include "MorvoCore/DiskModels.h"
#include "MorvoCore/DiskSearch.h"
#include "MorvoCore/Platform/Url.h"
#include "MorvoCore/Platform/Uuid.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvo {

class CleanupState;
class InventoryState;
class CleanupDiscoveryState;
class TrashService;

using SnapshotPtr = std::shared_ptr<const DiskSnapshot>;
using DiskNodeList = std::vector<DiskNode>;
// Logical bytes per category; a category without files has no key (readers treat it as 0).
using CategoryTotalsMap = std::map<FileCategory, std::int64_t>;
using OptionalFileCategory = std::optional<FileCategory>;
using OptionalScanProgress = std::optional<ScanProgress>;
using OptionalUrl = std::optional<Url>;
using OptionalString = std::optional<std::string>;
using OptionalAppSheet = std::optional<AppSheet>;

class AppState : public QObject {
    Q_OBJECT
    Q_PROPERTY(morvo::SnapshotPtr snapshot READ snapshot NOTIFY snapshotChanged)
    Q_PROPERTY(bool hasScannedFolder READ hasScannedFolder NOTIFY hasScannedFolderChanged)
    Q_PROPERTY(morvo::AppSection section READ section WRITE setSection NOTIFY sectionChanged)
    Q_PROPERTY(std::string mapRootID READ mapRootID WRITE setMapRootID NOTIFY mapRootIDChanged)
    Q_PROPERTY(morvo::OptionalString selectedID READ selectedID WRITE setSelectedID NOTIFY selectedIDChanged)
    Q_PROPERTY(std::string query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(morvo::OptionalFileCategory category READ category WRITE setCategory NOTIFY categoryChanged)
    Q_PROPERTY(qint64 minimumSize READ minimumSize WRITE setMinimumSize NOTIFY minimumSizeChanged)
    Q_PROPERTY(morvo::FileSort sort READ sort WRITE setSort NOTIFY sortChanged)
    Q_PROPERTY(morvo::DiskNodeList files READ files NOTIFY filesChanged)
    Q_PROPERTY(morvo::DiskNodeList overviewFiles READ overviewFiles NOTIFY overviewFilesChanged)
    Q_PROPERTY(qint64 matchingCount READ matchingCount NOTIFY matchingCountChanged)
    Q_PROPERTY(qint64 matchingBytes READ matchingBytes NOTIFY matchingBytesChanged)
    Q_PROPERTY(bool isSearching READ isSearching NOTIFY isSearchingChanged)
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(morvo::OptionalScanProgress progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(morvo::OptionalUrl scanURL READ scanURL NOTIFY scanURLChanged)
    Q_PROPERTY(morvo::OptionalString errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(morvo::OptionalString notice READ notice WRITE setNotice NOTIFY noticeChanged)
    Q_PROPERTY(morvo::OptionalAppSheet sheet READ sheet WRITE setSheet NOTIFY sheetChanged)
    Q_PROPERTY(morvo::CategoryTotalsMap categoryTotals READ categoryTotals NOTIFY categoryTotalsChanged)

public:
    // Limits of a user's scan and of the lists derived from it.
    static constexpr std::int64_t scanNodeLimit = 250000;
    static constexpr std::int64_t scanIssueLimit = 100;
    static constexpr std::int64_t fileListLimit = 500;
    static constexpr std::int64_t overviewFileLimit = 3;
    static constexpr int searchDebounceMilliseconds = 140;
    static constexpr int breadcrumbLimit = 64;

    // Empty members of `services` get the real desktop implementations.
    explicit AppState(AppServices services = {}, QObject* parent = nullptr);
    ~AppState() override;

    // Observed state.
    const SnapshotPtr& snapshot() const { return snapshot_; }
    bool hasScannedFolder() const { return hasScannedFolder_; }
    AppSection section() const { return section_; }
    void setSection(AppSection value);
    const std::string& mapRootID() const { return mapRootID_; }
    void setMapRootID(const std::string& value);
    const std::optional<std::string>& selectedID() const { return selectedID_; }
    void setSelectedID(const std::optional<std::string>& value);

    const std::string& query() const { return query_; }
    void setQuery(const std::string& value);                   // schedules a search
    std::optional<FileCategory> category() const { return category_; }
    void setCategory(std::optional<FileCategory> value);        // schedules a search
    std::int64_t minimumSize() const { return minimumSize_; }
    void setMinimumSize(std::int64_t value);                    // schedules a search
    FileSort sort() const { return sort_; }
    void setSort(FileSort value);                               // schedules a search

    const std::vector<DiskNode>& files() const { return files_; }
    const std::vector<DiskNode>& overviewFiles() const { return overviewFiles_; }
    std::int64_t matchingCount() const { return matchingCount_; }
    std::int64_t matchingBytes() const { return matchingBytes_; }
    bool isSearching() const { return isSearching_; }
    bool isScanning() const { return isScanning_; }
    const std::optional<ScanProgress>& progress() const { return progress_; }
    const std::optional<Url>& scanURL() const { return scanURL_; }
    const std::optional<std::string>& errorMessage() const { return errorMessage_; }
    void setErrorMessage(const std::optional<std::string>& value);
    const std::optional<std::string>& notice() const { return notice_; }
    void setNotice(const std::optional<std::string>& value);
    std::optional<AppSheet> sheet() const { return sheet_; }
    void setSheet(std::optional<AppSheet> value);
    const CategoryTotalsMap& categoryTotals() const { return categoryTotals_; }

    // Derived on each read from the observed fields above.
    // The node of `selectedID`; none when unset or not in the snapshot.
    std::optional<DiskNode> selectedNode() const;
    // The node of `mapRootID`, or the snapshot's root when the snapshot lacks that id.
    DiskNode mapRoot() const;
    // From the topmost collected ancestor down to `mapRoot`, at most 64 nodes.
    std::vector<DiskNode> breadcrumbs() const;
    // The same, as indexes into `snapshot`. The nodes above spell out the ids of all their
    // children, which for a large folder is far too slow for a view that redraws; views read
    // these and the snapshot's accessors instead.
    std::optional<DiskSnapshot::Index> selectedIndex() const;
    DiskSnapshot::Index mapRootIndex() const;
    std::vector<DiskSnapshot::Index> breadcrumbIndexes() const;

    // The sub-states, created with the state and kept for its lifetime.
    CleanupState& cleanup() const { return *cleanup_; }
    InventoryState& inventory() const { return *inventory_; }
    CleanupDiscoveryState& cacheDiscovery() const { return *cacheDiscovery_; }

    // The desktop services in use (the views reveal items and read the version through them).
    // A hand-over the desktop cannot take is said in `notice` when its answer arrives.
    Workspace& workspace() const { return *services_.workspace; }
    AppLocation& appLocation() const { return *services_.appLocation; }
    const AppServices& services() const { return services_; }
    // The user's home folder (normalised path).
    const std::string& homeDirectory() const { return services_.homeDirectory; }

    // Scanning. Each returns at once.
    // Starts a scan of `url`, replacing a running one; does nothing while the cleanup moves files.
    void startScan(const Url& url, bool preservingSection);
    // Stops the running scan (if any) and keeps the previous results.
    void cancelScan();
    // Asks for a folder or disk in a panel and scans it; does nothing while the cleanup moves files.
    void chooseFolder();
    // Repeats the work of the current section.
    void rescan();

    // Search and filters.
    // query "", category none, minimumSize 0, sort size, each scheduling a search.
    void resetFilters();

    // Navigation and item actions.
    // Selects the node; a folder also becomes the map root and brings the Overview section.
    void navigate(const std::string& id);
    // Sets the category filter and shows the Large files section.
    void showFiles(std::optional<FileCategory> category);
    void copyPath(const DiskNode& node);
    // Adds the node to the cleanup queue, with its owning application when it is an app bundle.
    void queueForCleanup(const DiskNode& node);
    void openPrivacySettings();

signals:
    void snapshotChanged();
    void hasScannedFolderChanged();
    void sectionChanged();
    void mapRootIDChanged();
    void selectedIDChanged();
    void queryChanged();
    void categoryChanged();
    void minimumSizeChanged();
    void sortChanged();
    void filesChanged();
    void overviewFilesChanged();
    void matchingCountChanged();
    void matchingBytesChanged();
    void isSearchingChanged();
    void isScanningChanged();
    void progressChanged();
    void scanURLChanged();
    void errorMessageChanged();
    void noticeChanged();
    void sheetChanged();
    void categoryTotalsChanged();

private:
    // Tests reach the private refresh after a move through this peer.
    friend class AppStateTestPeer;

    void setSnapshot(SnapshotPtr value);
    void setHasScannedFolder(bool value);
    void setFiles(std::vector<DiskNode> value);
    void setOverviewFiles(std::vector<DiskNode> value);
    void setMatchingCount(std::int64_t value);
    void setMatchingBytes(std::int64_t value);
    void setIsSearching(bool value);
    void setIsScanning(bool value);
    void setProgress(std::optional<ScanProgress> value);
    void setScanURL(std::optional<Url> value);
    void setCategoryTotals(CategoryTotalsMap value);

    void scheduleSearch();
    void runPendingSearch();
    void updateCategoryTotals();
    void clearDerivedResults();
    void applyScanResult(const Uuid& revision, bool preservingSection, TaskResult<SnapshotPtr> result);
    void refreshAfterCleanup(const std::vector<Url>& movedURLs);
    std::optional<std::string> applicationIdentifierForCleanup(const DiskNode& node) const;

    AppServices services_;

    SnapshotPtr snapshot_;
    bool hasScannedFolder_ = false;
    AppSection section_ = AppSection::overview;
    std::string mapRootID_;
    std::optional<std::string> selectedID_;
    std::string query_;
    std::optional<FileCategory> category_;
    std::int64_t minimumSize_ = 0;
    FileSort sort_ = FileSort::size;
    std::vector<DiskNode> files_;
    std::vector<DiskNode> overviewFiles_;
    std::int64_t matchingCount_ = 0;
    std::int64_t matchingBytes_ = 0;
    bool isSearching_ = false;
    bool isScanning_ = false;
    std::optional<ScanProgress> progress_;
    std::optional<Url> scanURL_;
    std::optional<std::string> errorMessage_;
    std::optional<std::string> notice_;
    std::optional<AppSheet> sheet_;
    CategoryTotalsMap categoryTotals_;

    // Bumped on every assignment of `snapshot`; a totals pass applies only to its own generation.
    std::uint64_t snapshotGeneration_ = 0;
    // Hand-overs to the desktop answer late: a failure is said only while its hand-over is the
    // newest one and no other notice has been said since it began.
    std::uint64_t handOverSerial_ = 0;
    std::uint64_t noticeSerial_ = 0;   // bumped by every notice said

    TaskHandle scanTask_;
    QTimer searchTimer_;          // the pending debounced search
    TaskHandle searchWorker_;
    Uuid scanRevision_;
    Uuid searchRevision_;

    std::shared_ptr<TrashService> trashService_;
    std::unique_ptr<InventoryState> inventory_;
    std::unique_ptr<CleanupState> cleanup_;
    std::unique_ptr<CleanupDiscoveryState> cacheDiscovery_;
};

} // namespace morvo
