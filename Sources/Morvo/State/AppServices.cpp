#include "Morvo/State/AppServices.h"

#include "Morvo/Platform/AppLocation.h"
#include "Morvo/Platform/FolderPanel.h"
#include "Morvo/Platform/Pasteboard.h"
#include "Morvo/Platform/RunningApplications.h"
#include "Morvo/Platform/Workspace.h"
#include "MorvoCore/Platform/Path.h"

namespace morvo {

AppServices AppServices::withDefaults() const {
    AppServices out = *this;
    if (!out.workspace) out.workspace = makeDesktopWorkspace();
    if (!out.folderPanel) out.folderPanel = makeDialogFolderPanel();
    if (!out.pasteboard) out.pasteboard = makeClipboardPasteboard();
    if (!out.appLocation) out.appLocation = makeProcessAppLocation();
    if (!out.runningApplications) out.runningApplications = std::make_shared<ProcRunningApplications>();
    out.homeDirectory = out.homeDirectory.empty() ? userHomeDirectory() : path::normalize(out.homeDirectory);
    if (!out.scan) {
        out.scan = [](const Url& url, const DiskScanner::ProgressHandler& progress, std::stop_token stop) {
            return DiskScanner(250000, 100).scan(url, progress, stop);
        };
    }
    return out;
}

} // namespace morvo
