#include "Morvo/Platform/Pasteboard.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>

namespace morvo {

namespace {

class ClipboardPasteboard : public Pasteboard {
public:
    void clearContents() override {
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->clear();
    }
    void setString(const std::string& text) override {
        // Path bytes are decoded the way the file system names are, for the text other programs read.
        if (QClipboard* clipboard = QGuiApplication::clipboard())
            clipboard->setText(QFile::decodeName(QByteArray::fromStdString(text)));
    }
};

} // namespace

std::shared_ptr<Pasteboard> makeClipboardPasteboard() { return std::make_shared<ClipboardPasteboard>(); }

} // namespace morvo
