#include "Morvo/Platform/Workspace.h"

#include "Morvo/Platform/TaskRunner.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QProcess>

#include <set>
#include <string>

namespace morvo {

namespace {

// Our URL's text is already percent-encoded, so it goes through QUrl without re-encoding the
// path's bytes.
QUrl toQUrl(const Url& url) {
    return QUrl::fromEncoded(QByteArray::fromStdString(url.absoluteString()), QUrl::StrictMode);
}

// The real desktop. Both wait on it, up to their time-outs: they run on the hand-over queue.
bool callFileManager(const QString& method, const QStringList& uris) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1", method);
    call << uris << QString();
    QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool hasHandler(const QString& mimeType) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

// The steps of each request, run on the hand-over queue: each may wait on the desktop.
bool revealWith(const DesktopBridge& bridge, const std::vector<Url>& urls) {
    if (urls.empty()) return true;
    QStringList uris;
    for (const Url& url : urls) uris << QString::fromLatin1(url.absoluteString());
    if (bridge.callFileManager(QStringLiteral("ShowItems"), uris)) return true;
    // No file manager answers the call: open the folders that hold the items instead.
    if (!bridge.hasHandler(QStringLiteral("inode/directory"))) return false;
    std::set<std::string> opened;
    bool shown = true;
    for (const Url& url : urls) {
        Url parent = url.deletingLastPathComponent();
        if (opened.insert(parent.path).second) shown = bridge.openUrl(toQUrl(Url::file(parent.path, true))) && shown;
    }
    return shown;
}

bool openWith(const DesktopBridge& bridge, const Url& url) {
    if (!bridge.hasHandler(QStringLiteral("x-scheme-handler/") + QString::fromStdString(url.scheme))) return false;
    return bridge.openUrl(toQUrl(url));
}

bool revealInTrashWith(const DesktopBridge& bridge, const Url& trashedItem) {
    // The file manager's Trash view, where the item can be restored; the Trash's own folder
    // on disk offers no restore.
    const QString trash = QStringLiteral("trash:///");
    if (bridge.callFileManager(QStringLiteral("ShowFolders"), {trash})) return true;
    if (bridge.hasHandler(QStringLiteral("x-scheme-handler/trash")) && bridge.openUrl(QUrl(trash))) return true;
    return revealWith(bridge, {trashedItem});
}

class DesktopWorkspace : public Workspace {
public:
    explicit DesktopWorkspace(DesktopBridge bridge) {
        if (!bridge.callFileManager) bridge.callFileManager = callFileManager;
        if (!bridge.hasHandler) bridge.hasHandler = hasHandler;
        if (!bridge.openUrl) bridge.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
        bridge_ = std::make_shared<const DesktopBridge>(std::move(bridge));
    }

    // Each request holds the bridge itself, so it may outlive this object.
    void reveal(const std::vector<Url>& urls, Answer answer) override {
        runHandOver([bridge = bridge_, urls] { return revealWith(*bridge, urls); }, std::move(answer));
    }
    void open(const Url& url, Answer answer) override {
        runHandOver([bridge = bridge_, url] { return openWith(*bridge, url); }, std::move(answer));
    }
    void revealInTrash(const Url& trashedItem, Answer answer) override {
        runHandOver([bridge = bridge_, trashedItem] { return revealInTrashWith(*bridge, trashedItem); }, std::move(answer));
    }

private:
    std::shared_ptr<const DesktopBridge> bridge_;
};

} // namespace

std::shared_ptr<Workspace> makeDesktopWorkspace(DesktopBridge bridge) {
    return std::make_shared<DesktopWorkspace>(std::move(bridge));
}

} // namespace morvo
