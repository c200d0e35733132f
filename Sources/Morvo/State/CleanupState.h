#pragma once
// The cleanup queue and everything that follows from it: the prepared review, the confirmed move
// to the Trash and the outcomes of the last run. Lives on the GUI thread; the Trash service's
// work runs on the user-initiated pool.

#include "Morvo/State/CleanupModels.h"
#include "Morvo/Platform/AppLocation.h"
#include "Morvo/Platform/RunningApplications.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Platform/TaskRunner.h"
#include "MorvoCore/TrashService.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace morvo {

using CleanupQueue = std::vector<CleanupCandidate>;
using CleanupOutcomes = std::vector<CleanupOutcome>;
using CleanupIDSet = std::set<std::string>;
using OptionalCleanupReview = std::optional<CleanupReview>;

// What the cleanup state needs from outside. Null or empty members get the real ones.
struct CleanupStateServices {
    std::shared_ptr<RunningApplications> runningApplications;   // the /proc reader
    std::string homeDirectory;                                   // the user's home folder
    std::shared_ptr<Workspace> workspace;                        // reveals a moved item
    std::shared_ptr<AppLocation> appLocation;                    // this application, always protected
};

class CleanupState : public QObject {
    Q_OBJECT
    Q_PROPERTY(morvo::CleanupQueue queue READ queue NOTIFY queueChanged)
    Q_PROPERTY(bool isPreparing READ isPreparing NOTIFY isPreparingChanged)
    Q_PROPERTY(bool isTrashing READ isTrashing NOTIFY isTrashingChanged)
    Q_PROPERTY(morvo::OptionalString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(morvo::OptionalCleanupReview review READ review NOTIFY reviewChanged)
    Q_PROPERTY(morvo::CleanupIDSet selectedPreviewIDs READ selectedPreviewIDs NOTIFY selectedPreviewIDsChanged)
    Q_PROPERTY(morvo::CleanupOutcomes results READ results NOTIFY resultsChanged)

public:
    using MovedFilesHandler = std::function<void(const std::vector<Url>& movedURLs)>;

    explicit CleanupState(std::shared_ptr<TrashService> service, QObject* parent = nullptr);
    CleanupState(std::shared_ptr<TrashService> service, CleanupStateServices services, QObject* parent = nullptr);
    ~CleanupState() override;

    // Observed.
    const CleanupQueue& queue() const { return queue_; }
    bool isPreparing() const { return isPreparing_; }
    bool isTrashing() const { return isTrashing_; }
    const OptionalString& statusMessage() const { return statusMessage_; }
    const OptionalCleanupReview& review() const { return review_; }
    const CleanupIDSet& selectedPreviewIDs() const { return selectedPreviewIDs_; }
    const CleanupOutcomes& results() const { return results_; }

    // Called after a run that moved at least one item, with the moved URLs in report order,
    // after `isTrashing` was cleared.
    void setDidMoveFiles(MovedFilesHandler handler) { didMoveFiles_ = std::move(handler); }
    TrashService& service() const { return *service_; }
    RunningApplications& runningApplications() const { return *services_.runningApplications; }
    // The file manager the cleanup and cache views reveal items through.
    Workspace& workspace() const { return *services_.workspace; }

    // Queue.
    void add(const CleanupCandidate& candidate);
    bool contains(const Url& url) const;
    void remove(const std::string& id);
    void clear();
    void invalidatePreview();
    std::int64_t queueBytes() const;
    bool canPrepare() const;
    bool canConfirm() const;
    std::vector<CleanupPreviewRow> selectedRows() const;
    void togglePreviewItem(const std::string& id);
    void cancelOperation();
    void revealTrash(const CleanupOutcome& outcome);

    // Review and move.
    void prepareReview();
    void confirmTrash();

    // The protected locations handed to the service: running bundles and their data folders,
    // this application, and queued items whose owner runs. Order carries no meaning.
    std::vector<Url> runningAppProtection() const;
    // Data item path -> application item path, for the selected queued applications.
    std::map<std::string, std::string> dependencyMap() const;

signals:
    void queueChanged();
    void isPreparingChanged();
    void isTrashingChanged();
    void statusMessageChanged();
    void reviewChanged();
    void selectedPreviewIDsChanged();
    void resultsChanged();

private:
    void setQueue(CleanupQueue queue);
    void setPreparing(bool value);
    void setTrashing(bool value);
    void setStatusMessage(OptionalString value);
    void setReview(OptionalCleanupReview value);
    void setSelectedPreviewIDs(CleanupIDSet value);
    void setResults(CleanupOutcomes value);
    void applyPreview(TrashPreview preview, const CleanupQueue& snapshot);
    void applyReport(const CleanupQueue& snapshot, std::optional<TrashReport> report, bool stopRequested);

    CleanupQueue queue_;
    bool isPreparing_ = false;
    bool isTrashing_ = false;
    OptionalString statusMessage_;
    OptionalCleanupReview review_;
    CleanupIDSet selectedPreviewIDs_;
    CleanupOutcomes results_;
    MovedFilesHandler didMoveFiles_;
    TaskHandle operation_;
    Uuid revision_ = Uuid::make();
    std::shared_ptr<TrashService> service_;
    std::optional<TrashPreview> prepared_;
    CleanupStateServices services_;
};

} // namespace morvo
