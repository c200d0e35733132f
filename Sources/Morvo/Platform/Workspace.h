#pragma once
// The desktop's file manager and URL handlers. The state objects and views reach them only
// through this interface, so tests can replace it.
//
// A hand-over never makes its caller wait on the desktop: each call returns at once, and
// `answer`, when given, is called later on the GUI thread with whether something on the desktop
// took the request. (A workspace that knows the answer at once, such as a test's, may call it
// before returning.)

#include "MorvoCore/Platform/Url.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

namespace morvo {

class Workspace {
public:
    using Answer = std::function<void(bool taken)>;

    virtual ~Workspace() = default;
    // Shows the file manager with `urls` selected; answers false when nothing on the desktop could
    // show them.
    virtual void reveal(const std::vector<Url>& urls, Answer answer = {}) = 0;
    // Opens `url` with the desktop's handler for its scheme; answers false when nothing took it.
    virtual void open(const Url& url, Answer answer = {}) = 0;
    // Shows an item that was moved to the Trash; answers false when nothing could show it.
    virtual void revealInTrash(const Url& trashedItem, Answer answer = {}) { reveal({trashedItem}, std::move(answer)); }
};

// What the freedesktop implementation asks of the desktop; tests and benchmarks replace them.
// Each may wait on the desktop: the workspace calls them off the GUI thread, one request at a
// time, in the order the requests were made.
struct DesktopBridge {
    // Calls a method of the file manager's org.freedesktop.FileManager1 service with URIs; false
    // when no file manager answered.
    std::function<bool(const QString& method, const QStringList& uris)> callFileManager;
    // Whether the desktop has a default handler for a MIME type ("x-scheme-handler/mailto",
    // "inode/directory"). Asked first because launching the desktop's opener succeeds whether or
    // not anything then takes the URL.
    std::function<bool(const QString& mimeType)> hasHandler;
    // Hands the URL to the desktop's opener; false when it could not be launched.
    std::function<bool(const QUrl& url)> openUrl;
};

// The freedesktop implementation: the file manager's ShowItems over D-Bus, falling back to
// opening each item's parent folder; moved items through the file manager's Trash view
// ("trash:///"), where restoring works; URLs through the desktop's handlers. Empty members of
// `bridge` get the real desktop.
std::shared_ptr<Workspace> makeDesktopWorkspace(DesktopBridge bridge = {});

} // namespace morvo
