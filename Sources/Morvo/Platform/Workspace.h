#pragma once
// The desktop's file manager and URL handlers. The state objects and views reach them only
// through this interface, so tests can replace it.

#include "MorvoCore/Platform/Url.h"

#include <memory>
#include <vector>

namespace morvo {

class Workspace {
public:
    virtual ~Workspace() = default;
    // Shows the file manager with `urls` selected.
    virtual void reveal(const std::vector<Url>& urls) = 0;
    // Opens `url` with the desktop's handler for its scheme; false when nothing took it.
    virtual bool open(const Url& url) = 0;
};

// The freedesktop implementation: the file manager's ShowItems over D-Bus, falling back to
// opening each item's parent folder; URLs through the desktop's handlers.
std::shared_ptr<Workspace> makeDesktopWorkspace();

} // namespace morvo
