#include "MorvoCore/TrashService.h"

#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"
#include "MorvoCore/TrashMeasurement.h"
#include "MorvoCore/TrashRules.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace morvo {

namespace {

constexpr const char* kPreviewCancelled = "Preview cancelled. Review these items again.";
constexpr const char* kCleanupCancelled = "Cleanup cancelled. This item was not moved.";
constexpr const char* kDiskSpaceWarning = "Moving to Trash does not immediately recover disk space.";

std::string keyOf(const Url& url) { return url.isFileURL() ? path::normalize(url.path) : url.absoluteString(); }

std::string plural(std::size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

} // namespace

TrashService::TrashService(TrashPolicy policy, std::shared_ptr<TrashMover> mover, Clock clock)
    : policy_(std::move(policy)),
      mover_(mover ? std::move(mover) : makeDefaultTrashMover()),
      clock_(clock ? std::move(clock) : Clock([] { return TrashClock::now(); })),
      serviceID_(Uuid::make()) {}

TrashPreview TrashService::prepare(const std::vector<Url>& urls, const std::vector<Url>& protectedURLs,
                                   std::stop_token stop) {
    return prepareSynchronously(urls, protectedURLs, policy_, serviceID_, stop, clock_());
}

TrashPreview TrashService::prepareSynchronously(const std::vector<Url>& urls, const std::vector<Url>& protectedURLs,
                                                const TrashPolicy& policy, const Uuid& serviceID,
                                                std::stop_token stop, TrashClock::time_point createdAt,
                                                const TrashFileSystem& fs) {
    // One entry per key, the first URL of each.
    std::vector<std::pair<std::string, Url>> unique;
    std::unordered_set<std::string> seen;
    for (const Url& url : urls) {
        std::string key = keyOf(url);
        if (seen.insert(key).second) unique.emplace_back(std::move(key), url);
    }

    // A selection inside another selection is moved with it, so it is not an item of its own.
    // Only file URLs nest, byte-wise as path::isBelow says; rather than comparing every pair, each
    // key looks up its own ancestors among the keys.
    std::unordered_map<std::string_view, std::size_t> fileKeys;
    for (std::size_t i = 0; i < unique.size(); ++i)
        if (unique[i].second.isFileURL()) fileKeys.emplace(unique[i].first, i);
    // Calls `visit(index)` for each selected key that `key` lies strictly below, once each.
    auto forEachSelectedAncestor = [&fileKeys](std::string_view key, auto&& visit) {
        auto look = [&](std::string_view ancestor) {
            if (auto found = fileKeys.find(ancestor); found != fileKeys.end()) visit(found->second);
        };
        // Every absolute path lies below "/"; any other ancestor is a prefix ending before a "/".
        if (key.size() > 1 && key.front() == '/' && key[1] != '/') look("/");
        for (std::size_t slash = key.find('/'); slash != std::string_view::npos; slash = key.find('/', slash + 1))
            look(key.substr(0, slash));
    };
    std::vector<std::size_t> nestedCounts(unique.size(), 0);
    std::vector<bool> isNested(unique.size(), false);
    for (std::size_t i = 0; i < unique.size(); ++i) {
        if (!unique[i].second.isFileURL()) continue;
        forEachSelectedAncestor(unique[i].first, [&](std::size_t outer) {
            isNested[i] = true;
            ++nestedCounts[outer];
        });
    }
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < unique.size(); ++i)
        if (!isNested[i]) kept.push_back(i);

    TrashPreview preview;
    preview.id = Uuid::make();
    preview.createdAt = createdAt;
    preview.serviceID = serviceID;
    std::int64_t remainingBudget = policy.maxItems();
    const trash::ProtectedPlaces places = trash::ProtectedPlaces::gather(policy, fs);
    trash::FolderRecords folders;

    for (const std::size_t index : kept) {
        const auto* entry = &unique[index];
        TrashPreviewItem item;
        item.id = entry->first;
        item.url = entry->second;
        if (stop.stop_requested()) {
            item.blockedReason = kPreviewCancelled;
            preview.items.push_back(std::move(item));
            continue;
        }
        const std::size_t nestedCount = nestedCounts[index];
        if (nestedCount >= 1)
            item.warnings.push_back("Includes " + plural(nestedCount, "nested selection") +
                                    "; each item will be moved only once.");
        try {
            trash::validate(item.url, protectedURLs, policy, places, folders, fs);
            trash::Measurement measured = trash::measure(item.url, remainingBudget, stop, fs);
            if (measured.linkCount >= 1)
                item.warnings.push_back("Contains " + plural(static_cast<std::size_t>(measured.linkCount), "symbolic link") +
                                        ". Only the links are moved; their targets are not followed.");
            item.warnings.push_back(kDiskSpaceWarning);
            item.logicalSize = measured.bytes;
            item.fileCount = measured.files;
            item.fingerprint = measured.fingerprint;
        } catch (const std::exception& error) {
            item.blockedReason = errorDescription(error);
        }
        preview.items.push_back(std::move(item));
    }
    preview.isCancelled = stop.stop_requested();
    return preview;
}

TrashReport TrashService::moveToTrash(const TrashPreview& preview, const std::set<std::string>& confirmedIDs,
                                      const std::vector<Url>& protectedURLs,
                                      const std::map<std::string, std::string>& dependencies, std::stop_token stop) {
    {
        std::lock_guard lock(mutex_);
        const TrashClock::time_point now = clock_();
        const double lifetime = policy_.previewLifetime();
        auto age = [&](TrashClock::time_point then) { return std::chrono::duration<double>(now - then).count(); };
        std::erase_if(usedPreviews_, [&](const auto& entry) { return !(age(entry.second) <= lifetime); });
        const bool alreadyUsed = usedPreviews_.contains(preview.id);

        const char* refusal = nullptr;
        if (preview.serviceID != serviceID_) {
            refusal = "This preview belongs to another cleanup session. Review these items again.";
        } else if (alreadyUsed) {
            refusal = "This preview has already been submitted. Review remaining items again.";
        } else if (isMoving_) {
            refusal = "Another cleanup is in progress. Wait for it to finish before moving these items.";
        } else if (preview.isCancelled || stop.stop_requested()) {
            refusal = "Cleanup was cancelled. No additional items were moved.";
        } else if (age(preview.createdAt) > lifetime || preview.createdAt > now) {
            refusal = "This preview expired. Review these items again.";
        } else {
            std::unordered_set<std::string> ids;
            for (const auto& item : preview.items) ids.insert(item.id);
            for (const auto& id : confirmedIDs)
                if (!ids.contains(id)) {
                    refusal = "The confirmation contains an item outside this preview. Review these items again.";
                    break;
                }
        }
        if (refusal) {
            TrashReport report;
            for (const auto& item : preview.items)
                report.results.push_back({item.id, item.url, TrashItemStatus::skipped, std::nullopt, refusal,
                                          item.logicalSize});
            report.wasCancelled = stop.stop_requested() || preview.isCancelled;
            report.previewAlreadyUsed = alreadyUsed;
            return report;
        }
        usedPreviews_[preview.id] = now;
        isMoving_ = true;
    }
    struct ClearMoving {
        TrashService* service;
        ~ClearMoving() {
            std::lock_guard lock(service->mutex_);
            service->isMoving_ = false;
        }
    } clearMoving{this};
    return moveSynchronously(preview, confirmedIDs, protectedURLs, dependencies, policy_, *mover_, stop);
}

TrashService::DependencyOrder TrashService::dependencyOrder(const std::vector<TrashPreviewItem>& items,
                                                            const std::set<std::string>& confirmedIDs,
                                                            const std::map<std::string, std::string>& dependencies) {
    DependencyOrder out;
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < items.size(); ++i) index.emplace(items[i].id, i);
    std::vector<int> pending(items.size(), 0);
    std::unordered_map<std::string, std::vector<std::size_t>> dependents;
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto dependency = dependencies.find(items[i].id);
        if (dependency == dependencies.end()) continue;
        const std::string& application = dependency->second;
        if (index.contains(application) && confirmedIDs.contains(application)) {
            pending[i] = 1;
            dependents[application].push_back(i);
        } else {
            out.blocked[items[i].id] =
                "The related application's removal was not confirmed in this preview. Its data was kept.";
        }
    }
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (pending[i] == 0) order.push_back(i);
    for (std::size_t k = 0; k < order.size(); ++k) {
        auto found = dependents.find(items[order[k]].id);
        if (found == dependents.end()) continue;
        for (std::size_t d : found->second)
            if (--pending[d] == 0) order.push_back(d);
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        if (pending[i] > 0) {
            out.blocked[items[i].id] = "This selection contains a dependency cycle. Review these items again.";
            order.push_back(i);
        }
    out.items.reserve(order.size());
    for (std::size_t i : order) out.items.push_back(items[i]);
    return out;
}

TrashReport TrashService::moveSynchronously(const TrashPreview& preview, const std::set<std::string>& confirmedIDs,
                                            const std::vector<Url>& protectedURLs,
                                            const std::map<std::string, std::string>& dependencies,
                                            const TrashPolicy& policy, TrashMover& mover, std::stop_token stop,
                                            const TrashFileSystem& fs) {
    TrashReport report;
    std::unordered_map<std::string, TrashItemStatus> statuses;
    std::int64_t budget = policy.maxItems();
    const DependencyOrder ordered = dependencyOrder(preview.items, confirmedIDs, dependencies);
    const trash::ProtectedPlaces places = trash::ProtectedPlaces::gather(policy, fs);
    {
        std::vector<Url> planned;
        for (const TrashPreviewItem& item : ordered.items)
            if (confirmedIDs.contains(item.id) && !ordered.blocked.contains(item.id) && !item.blockedReason &&
                item.fingerprint)
                planned.push_back(item.url);
        mover.plan(planned);
    }

    for (const TrashPreviewItem& item : ordered.items) {
        TrashItemResult result{item.id, item.url, TrashItemStatus::skipped, std::nullopt, {}, item.logicalSize};
        auto decide = [&]() -> std::string {
            if (stop.stop_requested()) return kCleanupCancelled;
            if (!confirmedIDs.contains(item.id)) return "This item was not confirmed.";
            if (auto blocked = ordered.blocked.find(item.id); blocked != ordered.blocked.end()) return blocked->second;
            if (auto dependency = dependencies.find(item.id); dependency != dependencies.end()) {
                auto status = statuses.find(dependency->second);
                if (status == statuses.end() || status->second != TrashItemStatus::moved)
                    return "The related application was not successfully moved to Trash. Its data was kept.";
            }
            if (item.blockedReason) return *item.blockedReason;
            if (!item.fingerprint) return "No complete preview is available.";
            if (stop.stop_requested()) return kCleanupCancelled;

            // Checked again right before the move: the item must be exactly what was reviewed.
            auto recheckFailure = [](const std::exception& error) -> std::string {
                if (dynamic_cast<const CancellationError*>(&error)) return kCleanupCancelled;
                return "Could not revalidate this item: " + errorDescription(error);
            };
            try {
                trash::validate(item.url, protectedURLs, policy, places, fs);
                trash::Measurement measured = trash::measure(item.url, budget, stop, fs);
                if (!(measured.fingerprint == *item.fingerprint))
                    return "This item or its contents changed after review. Prepare a fresh preview.";
            } catch (const std::exception& error) {
                return recheckFailure(error);
            }
            TrashMetadata fresh;
            try {
                if (stop.stop_requested()) throw CancellationError();
                trash::validateAncestors(item.url, fs);
                fresh = trash::metadata(item.url, fs);
            } catch (const std::exception& error) {
                return recheckFailure(error);
            }
            if (!(fresh == item.fingerprint->root)) return "This item changed after review. Prepare a fresh preview.";
            if (stop.stop_requested()) return kCleanupCancelled;

            try {
                result.trashURL = mover.trashItem(item.url, {fresh.device, fresh.inode});
                result.status = TrashItemStatus::moved;
                return "Moved to Trash. Disk space has not been counted as recovered.";
            } catch (const TrashItemChangedError&) {
                return "This item changed after review. Prepare a fresh preview.";
            } catch (const std::exception& error) {
                result.status = TrashItemStatus::failed;
                return "macOS could not move this item to Trash: " + errorDescription(error);
            } catch (...) {
                result.status = TrashItemStatus::failed;
                return "macOS could not move this item to Trash: Unknown error";
            }
        };
        result.message = decide();
        if (result.status != TrashItemStatus::moved) result.trashURL.reset();
        statuses[item.id] = result.status;
        report.results.push_back(std::move(result));
    }
    report.wasCancelled = stop.stop_requested();
    return report;
}

} // namespace morvo
