#include "Morvo/Platform/Workspace.h"

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

class DesktopWorkspace : public Workspace {
public:
    explicit DesktopWorkspace(DesktopBridge bridge) : bridge_(std::move(bridge)) {
        if (!bridge_.callFileManager) bridge_.callFileManager = callFileManager;
        if (!bridge_.hasHandler) bridge_.hasHandler = hasHandler;
        if (!bridge_.openUrl) bridge_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    }

    bool reveal(const std::vector<Url>& urls) override {
        if (urls.empty()) return true;
        QStringList uris;
        for (const Url& url : urls) uris << QString::fromLatin1(url.absoluteString());
        if (bridge_.callFileManager(QStringLiteral("ShowItems"), uris)) return true;
        // No file manager answers the call: open the folders that hold the items instead.
        if (!bridge_.hasHandler(QStringLiteral("inode/directory"))) return false;
        std::set<std::string> opened;
        bool shown = true;
        for (const Url& url : urls) {
            Url parent = url.deletingLastPathComponent();
            if (opened.insert(parent.path).second) shown = bridge_.openUrl(toQUrl(Url::file(parent.path, true))) && shown;
        }
        return shown;
    }

    bool open(const Url& url) override {
        if (!bridge_.hasHandler(QStringLiteral("x-scheme-handler/") + QString::fromStdString(url.scheme))) return false;
        return bridge_.openUrl(toQUrl(url));
    }

    bool revealInTrash(const Url& trashedItem) override {
        // The file manager's Trash view, where the item can be restored; the Trash's own folder
        // on disk offers no restore.
        const QString trash = QStringLiteral("trash:///");
        if (bridge_.callFileManager(QStringLiteral("ShowFolders"), {trash})) return true;
        if (bridge_.hasHandler(QStringLiteral("x-scheme-handler/trash")) && bridge_.openUrl(QUrl(trash))) return true;
        return reveal({trashedItem});
    }

private:
    DesktopBridge bridge_;
};

} // namespace

std::shared_ptr<Workspace> makeDesktopWorkspace(DesktopBridge bridge) {
    return std::make_shared<DesktopWorkspace>(std::move(bridge));
}

} // namespace morvo
