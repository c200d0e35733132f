#pragma once
// The card of one discovered cache, log or developer-cache location: the checkbox that ticks it
// for the queue, where it lives, how large it is, why it may not be queued, a link to a developer
// tool's documentation, and "Reveal in Finder". It decides nothing: the workspace passes the
// selection, the blocked reason, the busy state and whether the entry is already queued.

#include "Morvo/Cleanup/CleanupRows.h"
#include "MorvoCore/CleanupDiscovery.h"

#include <functional>
#include <optional>
#include <string>

class QMenu;

namespace morvo {

class CacheEntryRow : public CardFrame {
    Q_OBJECT

public:
    using OpenLink = std::function<void(const Url&)>;

    // `openLink` opens the documentation link with the desktop's handler.
    CacheEntryRow(CleanupDiscoveryEntry entry, bool selected, std::optional<std::string> blockedReason, bool disabled,
                  bool queued, std::function<void()> toggle, std::function<void()> reveal, OpenLink openLink,
                  QWidget* parent = nullptr);

    // Reuse for the same id with new values.
    void setEntry(const CleanupDiscoveryEntry& entry);
    void setState(bool selected, const std::optional<std::string>& blockedReason, bool disabled, bool queued);
    const CleanupDiscoveryEntry& entry() const { return entry_; }

    struct AreaLook {
        QString symbol;
        AdaptiveColor tint;
        QString label;
    };
    static AreaLook look(CleanupArea area);
    // "1 file", "2 files", with " · partial measurement" when the measurement is incomplete.
    static QString countLine(const CleanupDiscoveryEntry& entry);

    // The parts, for tests.
    StateCheckBox* checkBox() const { return check_; }
    QString shownCountLine() const;
    QString shownSizeText() const;
    QString shownAreaLabel() const;
    bool showsQueuedMark() const;
    // Null when hidden.
    TextLabel* noteLine() const;
    KitButton* documentationLink() const;
    SymbolLabel* blockedLine() const;
    ActionButton* revealButton() const { return reveal_; }
    // The card's menu ("Reveal in Finder"); the caller owns it.
    QMenu* makeContextMenu(QWidget* parent = nullptr);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void applyEntry();
    void applyState();

    CleanupDiscoveryEntry entry_;
    bool selected_;
    std::optional<std::string> blockedReason_;
    bool disabled_;
    bool queued_;
    std::function<void()> revealAction_;
    OpenLink openLink_;

    StateCheckBox* check_;
    SymbolTile* tile_;
    SelectableText* title_;
    TextLabel* area_;
    SymbolLabel* queuedMark_;
    PathText* path_;
    TextLabel* count_;
    TextLabel* note_;
    KitButton* link_;
    SymbolLabel* blocked_;
    TextLabel* size_;
    ActionButton* reveal_;
};

} // namespace morvo
