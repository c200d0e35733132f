#pragma once
// The panel in which the user picks a folder, behind an interface that tests replace.

#include "MorvoCore/Platform/Url.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace morvo {

struct FolderPanelOptions {
    std::string title;
    std::string prompt;            // the accept button's label
    std::string message;           // a line of explanation shown in the panel
    Url directory;                 // where the panel starts
    bool canChooseFiles = false;
    bool canChooseDirectories = true;
    bool allowsMultipleSelection = false;
    bool showsHiddenFiles = true;
};

class FolderPanel {
public:
    virtual ~FolderPanel() = default;
    // Presents a free-standing panel and returns at once. `completion` runs later on the GUI
    // thread, once, with the chosen URL, or with none when the user cancelled.
    virtual void begin(const FolderPanelOptions& options, std::function<void(std::optional<Url>)> completion) = 0;
};

// A non-native QFileDialog.
std::shared_ptr<FolderPanel> makeDialogFolderPanel();

} // namespace morvo
