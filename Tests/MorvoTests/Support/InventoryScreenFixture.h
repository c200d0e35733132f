#pragma once
// Real InventoryState and CleanupState objects for the tests of the Applications and Leftovers
// screens: the inventory scan returns a result built in code (held at a gate on request), the
// cleanup's Trash service can be held too, and the desktop services only record.

#include "Morvo/State/CleanupState.h"
#include "Morvo/State/InventoryState.h"
#include "Support/SubstateFakes.h"

#include <QTest>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace morvo::testing::substates {

inline constexpr const char* inventoryHome = "/Users/ann";

struct InventoryScreen {
    explicit InventoryScreen(AppInventoryResult first) : next(std::move(first)) {}

    std::shared_ptr<FakeRunningApplications> running = std::make_shared<FakeRunningApplications>();
    std::mutex mutex;
    AppInventoryResult next;
    HoldableGate gate;
    std::shared_ptr<GatedTrashService> service =
        std::make_shared<GatedTrashService>(TrashPolicy({}, 100000, 900, Url::file(inventoryHome, true)));
    InventoryState state{InventoryStateServices{
        running, inventoryHome, std::vector<Url>{Url::file("/Applications", true)},
        Url::file("/Users/ann/Library", true),
        [this](const std::vector<Url>&, const Url&, std::stop_token stop) {
            AppInventoryResult out;
            {
                std::lock_guard lock(mutex);
                out = next;
            }
            if (!gate.pass(stop)) throw CancellationError();
            return out;
        },
        std::make_shared<ScriptedFolderPanel>()}};
    CleanupState cleanup{service, CleanupStateServices{running, inventoryHome, std::make_shared<RecordingWorkspace>(),
                                                       std::make_shared<FixedAppLocation>(Url::file("/opt/Morvo.app", true))}};

    ~InventoryScreen() {
        release();
        service->open();
        // Let the held work finish before the state objects go away.
        (void)QTest::qWaitFor([&] { return !cleanup.isPreparing() && !state.isLoading(); }, 5000);
        (void)waitForBackgroundTasks();
    }
    void hold() { gate.hold(); }
    void release() { gate.release(); }
    // Loads (the given result from now on, else the current one) and waits for the load to end.
    bool load(std::optional<AppInventoryResult> result = std::nullopt) {
        if (result) {
            std::lock_guard lock(mutex);
            next = *result;
        }
        state.load();
        return QTest::qWaitFor([&] { return !state.isLoading(); }, 5000);
    }
};

} // namespace morvo::testing::substates
