#pragma once
// The one object through which anything reaches the Trash. It previews a selection (every item
// checked, measured and fingerprinted) and later moves the confirmed items of that preview after
// checking each of them again. Its own state (previews already submitted, whether a move runs) is
// serialised; the file-system work runs on the caller's thread, which should not be the GUI's.

#include "MorvoCore/Platform/TrashMover.h"
#include "MorvoCore/Platform/Uuid.h"
#include "MorvoCore/TrashMeasurement.h"
#include "MorvoCore/TrashRecords.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

namespace morvo {

class TrashService {
public:
    using Clock = std::function<TrashClock::time_point()>;

    // A null mover selects the freedesktop.org Trash of the current user. `clock` (for tests)
    // defaults to the system clock.
    explicit TrashService(TrashPolicy policy, std::shared_ptr<TrashMover> mover = nullptr, Clock clock = {});
    virtual ~TrashService() = default;
    TrashService(const TrashService&) = delete;
    TrashService& operator=(const TrashService&) = delete;

    const TrashPolicy& policy() const { return policy_; }
    const Uuid& serviceID() const { return serviceID_; }

    // Never fails: each item's problem becomes its blocked reason.
    virtual TrashPreview prepare(const std::vector<Url>& urls, const std::vector<Url>& protectedURLs,
                                 std::stop_token stop = {});

    // Never fails: refusals, re-check failures and Trash failures are results in the report.
    virtual TrashReport moveToTrash(const TrashPreview& preview, const std::set<std::string>& confirmedIDs,
                                    const std::vector<Url>& protectedURLs,
                                    const std::map<std::string, std::string>& dependencies,
                                    std::stop_token stop = {});

    static TrashPreview prepareSynchronously(const std::vector<Url>& urls, const std::vector<Url>& protectedURLs,
                                             const TrashPolicy& policy, const Uuid& serviceID,
                                             std::stop_token stop = {},
                                             TrashClock::time_point createdAt = TrashClock::now(),
                                             const TrashFileSystem& fs = TrashFileSystem::system());

    static TrashReport moveSynchronously(const TrashPreview& preview, const std::set<std::string>& confirmedIDs,
                                         const std::vector<Url>& protectedURLs,
                                         const std::map<std::string, std::string>& dependencies,
                                         const TrashPolicy& policy, TrashMover& mover, std::stop_token stop = {},
                                         const TrashFileSystem& fs = TrashFileSystem::system());

    struct DependencyOrder {
        std::vector<TrashPreviewItem> items;              // data items after their application item
        std::map<std::string, std::string> blocked;       // item id -> message
    };
    static DependencyOrder dependencyOrder(const std::vector<TrashPreviewItem>& items,
                                           const std::set<std::string>& confirmedIDs,
                                           const std::map<std::string, std::string>& dependencies);

private:
    const TrashPolicy policy_;
    const std::shared_ptr<TrashMover> mover_;
    const Clock clock_;
    const Uuid serviceID_;

    std::mutex mutex_;  // guards usedPreviews_ and isMoving_
    std::unordered_map<Uuid, TrashClock::time_point> usedPreviews_;
    bool isMoving_ = false;
};

} // namespace morvo
