#include "Morvo/Platform/Workspace.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

#include <set>
#include <string>

namespace morvo {

namespace {

// Our URL's text is already percent-encoded, so it goes through QUrl without re-encoding the
// path's bytes.
QUrl toQUrl(const Url& url) {
    return QUrl::fromEncoded(QByteArray::fromStdString(url.absoluteString()), QUrl::StrictMode);
}

class DesktopWorkspace : public Workspace {
public:
    void reveal(const std::vector<Url>& urls) override {
        if (urls.empty()) return;
        if (showItems(urls)) return;
        // No file manager answers the call: open the folders that hold the items instead.
        std::set<std::string> opened;
        for (const Url& url : urls) {
            Url parent = url.deletingLastPathComponent();
            if (opened.insert(parent.path).second) QDesktopServices::openUrl(toQUrl(Url::file(parent.path, true)));
        }
    }

    bool open(const Url& url) override { return QDesktopServices::openUrl(toQUrl(url)); }

private:
    static bool showItems(const std::vector<Url>& urls) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return false;
        QStringList uris;
        for (const Url& url : urls) uris << QString::fromLatin1(url.absoluteString());
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
            "ShowItems");
        call << uris << QString();
        QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        return reply.type() == QDBusMessage::ReplyMessage;
    }
};

} // namespace

std::shared_ptr<Workspace> makeDesktopWorkspace() { return std::make_shared<DesktopWorkspace>(); }

} // namespace morvo
