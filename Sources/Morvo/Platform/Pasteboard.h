#pragma once
// The general pasteboard (the desktop clipboard), behind an interface that tests replace.

#include <memory>
#include <string>

namespace morvo {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual void clearContents() = 0;
    // Puts `text` (path bytes or UTF-8) on the pasteboard as plain text.
    virtual void setString(const std::string& text) = 0;
};

// The application's QClipboard.
std::shared_ptr<Pasteboard> makeClipboardPasteboard();

} // namespace morvo
