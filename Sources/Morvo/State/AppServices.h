#pragma once
// The desktop services and outside facts the state objects depend on, gathered so that the
// application passes the real ones and tests pass fakes. Nothing here is a global.

#include "MorvoCore/DiskModels.h"
#include "MorvoCore/DiskScanner.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace morvo {

class Workspace;
class FolderPanel;
class Pasteboard;
class AppLocation;
class RunningApplications;
class TrashMover;

struct AppServices {
    // Runs one user's scan of `url`: the real one is DiskScanner(250000, 100).scan(...).
    using ScanFunction = std::function<std::shared_ptr<const DiskSnapshot>(
        const Url& url, const DiskScanner::ProgressHandler& progress, std::stop_token stop)>;

    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<FolderPanel> folderPanel;
    std::shared_ptr<Pasteboard> pasteboard;
    std::shared_ptr<AppLocation> appLocation;
    std::shared_ptr<RunningApplications> runningApplications;
    std::shared_ptr<TrashMover> trashMover;   // none: the Trash service's default mover
    std::string homeDirectory;                // empty: the user's home folder
    ScanFunction scan;                        // empty: the real scanner with the user's limits
    // Folders searched for applications; unset: the inventory scanner's standard ones.
    std::optional<std::vector<Url>> applicationRoots;

    // A copy with every empty member replaced by the real desktop implementation
    // (trashMover stays empty: the service then uses its own default).
    AppServices withDefaults() const;
};

} // namespace morvo
