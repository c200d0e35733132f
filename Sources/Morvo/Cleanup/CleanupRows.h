#pragma once
// The cards of the cleanup flow (a queued item, a measured review item, the outcome of one move),
// the tinted message line, and the small pieces that the cleanup and cache screens share: the
// busy line of a running review or move, the card frame and a list that keeps its
// row widgets by id.
//
// Rows hold no state of their own and call no state object: every action is a closure that the
// listing screen supplies, and the setters exist so that a screen can reuse a row for the same id
// instead of building it again.

#include "Morvo/State/CleanupModels.h"
#include "Morvo/Kit/Theme.h"
#include "Morvo/Kit/ViewKit.h"

#include <QAbstractButton>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QMenu;
class QVBoxLayout;

namespace morvo {

class RowLayout;
class SymbolView;

// Display text of a byte string (names and paths are shown as UTF-8; never turned back).
QString displayText(std::string_view text);
// `count` grouped by the user's locale, a space, and `singular` for exactly 1, else `plural`.
QString countText(std::int64_t count, const QString& singular, const QString& plural);

// The footer line of a running review or move: a spinner, what runs ("Checking your selection…",
// or "Moving selected items…" while trashing) and a button that asks `cancel` ("Cancel", or "Stop
// remaining" while trashing). Shown only while one of the two runs.
class CleanupBusyRow : public QWidget {
    Q_OBJECT

public:
    CleanupBusyRow(int spacing, std::function<void()> cancel, QWidget* parent = nullptr);
    void setOperation(bool preparing, bool trashing);
    QString text() const;
    KitButton* cancelButton() const { return cancel_; }

private:
    TextLabel* text_;
    KitButton* cancel_;
};

// A rounded card: Theme::panel with a Theme::border stroke, or, highlighted, Theme::accent at
// 0.055 with an accent stroke at 0.23.
class CardFrame : public QWidget {
    Q_OBJECT

public:
    explicit CardFrame(double radius, QWidget* parent = nullptr);
    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return highlighted_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double radius_;
    bool highlighted_ = false;
};

// A symbol on a tinted rounded square (the leading tile of queue and cache rows).
class SymbolTile : public QWidget {
    Q_OBJECT

public:
    SymbolTile(QString symbol, AdaptiveColor tint, double fillOpacity, QSize size, QWidget* parent = nullptr);
    void set(QString symbol, AdaptiveColor tint);
    QString symbol() const { return symbol_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    AdaptiveColor tint_;
    double fillOpacity_;
};

// A symbol followed by wrapping text, both in one colour.
class SymbolLabel : public QWidget {
    Q_OBJECT

public:
    SymbolLabel(QString symbol, QString text, double pixelSize, AdaptiveColor color, QWidget* parent = nullptr);
    void setText(const QString& text);
    void setSymbol(const QString& symbol);
    void setColor(AdaptiveColor color);
    QString text() const;
    QString symbol() const;
    AdaptiveColor color() const { return color_; }
    TextLabel* label() const { return label_; }

private:
    SymbolView* symbol_;
    TextLabel* label_;
    AdaptiveColor color_;
};

// Rows kept by id: `sync` reuses the widget of every id it already has (calling `update`), makes
// the missing ones (`make`), drops the rest and restores the order. A change of one item touches
// only its row, so lists of thousands stay responsive.
class RowStack : public QWidget {
    Q_OBJECT

public:
    explicit RowStack(int spacing, QWidget* parent = nullptr);
    void sync(const std::vector<std::string>& ids, const std::function<QWidget*(std::size_t)>& make,
              const std::function<void(QWidget*, std::size_t)>& update);
    QWidget* row(const std::string& id) const;
    const std::vector<std::string>& ids() const { return ids_; }
    std::size_t count() const { return ids_.size(); }

private:
    RowLayout* layout_;
    std::vector<std::string> ids_;
    std::unordered_map<std::string, QWidget*> rows_;
};

// ---------------------------------------------------------------------------------------------

// The tinted message line: the symbol and the text in `color`, on `color` at 0.055.
class CleanupMessage : public QWidget {
    Q_OBJECT

public:
    CleanupMessage(QString text, QString symbol, AdaptiveColor color, QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const;
    QString symbol() const;
    AdaptiveColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SymbolLabel* line_;
    AdaptiveColor color_;
};

// The full path of an item inside a cleanup row.
class CleanupExactPath : public PathText {
    Q_OBJECT

public:
    explicit CleanupExactPath(const Url& url, QWidget* parent = nullptr) : PathText(url, parent) {}
};

// One queued candidate. `remove` comes from the × button and the menu; `reveal` from the menu.
class CleanupQueueRow : public CardFrame {
    Q_OBJECT

public:
    CleanupQueueRow(CleanupCandidate item, bool disabled, std::function<void()> remove, std::function<void()> reveal,
                    QWidget* parent = nullptr);
    void setItem(const CleanupCandidate& item);
    void setRowDisabled(bool disabled);
    const CleanupCandidate& item() const { return item_; }
    bool rowDisabled() const { return disabled_; }

    // The size text: the file-style count of the size, or "Check in review" without one.
    static QString sizeText(const CleanupCandidate& item);
    QString shownSizeText() const;
    QString detailText() const;   // kind · reason
    KitButton* removeButton() const { return remove_; }
    // The card's menu ("Reveal in Finder", "Remove from queue"); the caller owns it.
    QMenu* makeContextMenu(QWidget* parent = nullptr);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    CleanupCandidate item_;
    bool disabled_;
    std::function<void()> removeAction_;
    std::function<void()> revealAction_;
    SymbolTile* tile_;
    SelectableText* title_;
    TextLabel* size_;
    CleanupExactPath* path_;
    TextLabel* kind_;
    TextLabel* reason_;
    KitButton* remove_;
};

// One measured review item with the checkbox that includes it in the move.
class CleanupPreviewItemRow : public CardFrame {
    Q_OBJECT

public:
    CleanupPreviewItemRow(CleanupPreviewRow item, bool selected, bool disabled, std::function<void()> toggle,
                          QWidget* parent = nullptr);
    void setItem(const CleanupPreviewRow& item);
    void setSelected(bool selected);
    void setRowDisabled(bool disabled);
    const CleanupPreviewRow& item() const { return item_; }

    // "1 included file", "2 included files" (grouped by the locale).
    static QString countText(std::int64_t fileCount);
    StateCheckBox* checkBox() const { return check_; }
    QString shownSizeText() const;
    QString shownCountText() const;
    // The "lock" line; null when the item is not blocked.
    SymbolLabel* blockedLine() const;
    // One "info.circle" line per warning, in order.
    std::vector<SymbolLabel*> warningLines() const;

private:
    void rebuildNotes();
    void updateLook();

    CleanupPreviewRow item_;
    bool selected_;
    StateCheckBox* check_;
    SelectableText* title_;
    TextLabel* size_;
    CleanupExactPath* path_;
    TextLabel* count_;
    TextLabel* reason_;
    QVBoxLayout* notes_;
    SymbolLabel* blocked_ = nullptr;
    std::vector<SymbolLabel*> warnings_;
};

// The outcome of one item of the last move; "Reveal in Trash" for a moved item whose place is known.
class CleanupResultRow : public CardFrame {
    Q_OBJECT

public:
    CleanupResultRow(CleanupOutcome item, std::function<void()> reveal, QWidget* parent = nullptr);
    void setItem(const CleanupOutcome& item);
    const CleanupOutcome& item() const { return item_; }

    // "Moved to Trash", "Couldn’t move", "Skipped".
    static QString statusLabel(CleanupOutcomeStatus status);
    static QString statusSymbol(CleanupOutcomeStatus status);
    static AdaptiveColor statusColor(CleanupOutcomeStatus status);
    QString shownStatusText() const;
    SymbolView* statusSymbolView() const { return symbol_; }
    // Null unless the item moved and its place in the Trash is known.
    ActionButton* revealButton() const;

private:
    CleanupOutcome item_;
    std::function<void()> revealAction_;
    SymbolView* symbol_;
    SelectableText* title_;
    TextLabel* status_;
    CleanupExactPath* path_;
    TextLabel* message_;
    ActionButton* reveal_;
};

} // namespace morvo
