#pragma once
// The small views the Applications and Leftovers screens share: the base of both screens, the page
// header with the scan controls, the scan notice (progress, error or status, and the scan notes), the selectable row of
// one related or leftover data item and the scroll area of a list of them, an application's icon, a tinted note and the centred empty
// state of a list. The header and notice read and drive the shared InventoryState; the others
// only present the values they are given (the icon fetches its image itself).

#include "Morvo/State/CleanupModels.h"
#include "Morvo/Kit/Theme.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/AppInventory.h"

#include <QAbstractButton>
#include <QIcon>
#include <QWidget>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QScrollArea;
class QVBoxLayout;

namespace morvo {

class CleanupState;
class InventoryState;
class KitButton;
class SymbolView;
class TextLabel;

// Display text of a name, path or message (UTF-8 bytes shown as they are; never turned back).
QString inventoryText(std::string_view text);

// The header's status caption: "CHECKING THIS MAC" while loading, else "<count> APPLICATIONS
// CHECKED" (count grouped by the locale) once loaded, else "READY TO SCAN".
QString inventoryStatusCaption(const InventoryState& state);

// "Added <n> item(s) to your cleanup queue. Review the queue before anything moves." with `count`
// in plain digits and "item" only for exactly 1.
std::string inventoryAddedMessage(std::size_t count);

// The mint "Queued" mark (a checkmark and the word) of an item already in the cleanup queue.
QWidget* inventoryQueuedBadge();

// Wrapped text with extra line spacing whose height follows its width: its minimum is one line,
// so a long text in a wide column does not keep the height it would need in a narrow one.
class InventoryWrappedText : public TextLabel {
    Q_OBJECT

public:
    InventoryWrappedText(const QString& text, const QFont& font, AdaptiveColor color, double lineSpacing,
                         QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;
};

// The header of both screens: title, subtitle and the scanned locations on the left; the
// add-folder and scan buttons with the status caption on the right.
class InventoryPageHeader : public QWidget {
    Q_OBJECT

public:
    InventoryPageHeader(InventoryState& state, const QString& title, const QString& subtitle,
                        QWidget* parent = nullptr);

    KitButton* addFolderButton() const { return addFolder_; }
    KitButton* scanButton() const { return scan_; }
    // The scan button's text and symbol.
    QString scanTitle() const;
    QString scanSymbol() const;
    QString captionText() const;
    QString locationsText() const;

private:
    void refresh();

    InventoryState& state_;
    TextLabel* locations_;
    KitButton* addFolder_;
    KitButton* scan_;
    TextLabel* caption_;
};

// A label of `text` with a symbol, in `color`, on `color` at 0.05 in a rounded rectangle.
class InventoryInlineNote : public QWidget {
    Q_OBJECT

public:
    InventoryInlineNote(const QString& symbol, const QString& text, AdaptiveColor color, QWidget* parent = nullptr);
    void setContent(const QString& symbol, const QString& text, AdaptiveColor color);
    QString symbol() const { return symbol_; }
    QString text() const { return text_; }
    AdaptiveColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QString text_;
    AdaptiveColor color_;
    SymbolView* icon_;
    InventoryWrappedText* label_;
};

// The scan status block: at most one of progress, error and status (in that priority), then the
// scan notes of the last result, collapsed at first.
class InventoryScanNotice : public QWidget {
    Q_OBJECT

public:
    enum class Shown { nothing, progress, error, status };

    explicit InventoryScanNotice(InventoryState& state, QWidget* parent = nullptr);

    Shown shown() const { return shown_; }
    InventoryInlineNote* note() const { return note_; }
    KitButton* cancelButton() const { return cancel_; }
    // The disclosure of the scan notes; hidden when the last result has no warnings.
    QAbstractButton* notesToggle() const { return notesToggle_; }
    QString notesTitle() const;
    bool notesExpanded() const;
    QScrollArea* notesArea() const { return notesArea_; }
    // The warning texts shown in the notes, in order.
    QStringList noteTexts() const;

private:
    void refreshMessage();
    void refreshNotes();
    void updateOwnVisibility();

    InventoryState& state_;
    Shown shown_ = Shown::nothing;
    QWidget* progress_;
    KitButton* cancel_;
    InventoryInlineNote* note_;
    QWidget* notes_;
    QAbstractButton* notesToggle_;
    QScrollArea* notesArea_;
    QWidget* notesList_;
};

// One related or leftover data item as a card: checkbox, title with the kind or "Queued", reason,
// caution and the full path. A disabled row draws the same card; only its checkbox is disabled.
class InventoryRelatedRow : public QWidget {
    Q_OBJECT

public:
    InventoryRelatedRow(AppRelatedFile file, bool selected, bool disabled, bool queued, std::function<void()> toggle,
                        QWidget* parent = nullptr);

    void setFlags(bool selected, bool disabled, bool queued);
    const AppRelatedFile& file() const { return file_; }
    StateCheckBox* checkBox() const { return check_; }
    bool isSelected() const { return selected_; }
    bool isQueued() const { return queued_; }
    // "Queued" when queued, else the kind's title.
    QString trailingText() const;
    // Whether the caution line is part of the row.
    bool showsCaution() const { return caution_ != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppRelatedFile file_;
    bool selected_ = false;
    bool queued_ = false;
    StateCheckBox* check_;
    TextLabel* kind_;
    QWidget* queuedBadge_;
    TextLabel* caution_ = nullptr;
};

// A transparent scroll area without scroll bars for a list of related or leftover rows: the arrow
// keys move between the rows' checkboxes and Space ticks the focused row's, where it is enabled.
QScrollArea* inventoryRowsScrollArea();

// An application's icon in a `size` square: the platform's icon for the bundle once fetched, else
// the "app.fill" placeholder. The fetch runs on the GUI thread after the view is first painted
// (so only icons scrolled into view are fetched) and again when the application changes.
class InventoryAppIcon : public QWidget {
    Q_OBJECT

public:
    // The icon of the bundle at a path; a null icon means none.
    using IconSource = std::function<QIcon(const std::string& bundlePath)>;
    // The file icon provider's icon, unless it is only the generic folder icon.
    static QIcon platformIcon(const std::string& bundlePath);

    InventoryAppIcon(const InstalledApp& app, double size, QWidget* parent = nullptr);
    InventoryAppIcon(const InstalledApp& app, double size, IconSource source, QWidget* parent = nullptr);

    void setApp(const InstalledApp& app);
    const std::string& bundlePath() const { return path_; }
    bool hasIcon() const { return !icon_.isNull(); }
    double iconSize() const { return size_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void scheduleFetch();

    std::string path_;
    double size_;
    IconSource source_;
    QIcon icon_;
    bool fetchScheduled_ = false;
    unsigned generation_ = 0;
};

// The full path of an item: the kit's selectable path text.
class InventoryPath : public PathText {
    Q_OBJECT

public:
    explicit InventoryPath(const Url& url, QWidget* parent = nullptr) : PathText(url, parent) {}
};

// A centred symbol, title and message for an empty list; centres itself in the space it gets.
class InventoryEmptyState : public QWidget {
    Q_OBJECT

public:
    InventoryEmptyState(const QString& symbol, const QString& title, const QString& message, QWidget* parent = nullptr);
    void setContent(const QString& symbol, const QString& title, const QString& message);
    QString symbol() const;
    QString title() const;
    QString message() const;

private:
    SymbolView* symbol_;
    TextLabel* title_;
    TextLabel* message_;
};

// What the Applications and Leftovers screens share: their column with the page header and the
// scan notice, the first load when first shown, and queueing what the user picked.
class InventoryWorkspace : public QWidget {
    Q_OBJECT

public:
    InventoryPageHeader* header() const { return header_; }
    InventoryScanNotice* notice() const { return notice_; }
    // A scan, review or move runs: the queue cannot change.
    bool isBusy() const;

protected:
    InventoryWorkspace(InventoryState& state, CleanupState& cleanup, const QString& objectName, const QString& title,
                       const QString& subtitle, QWidget* parent);
    // The screen's column; the header and the notice are its first two items.
    QVBoxLayout* stack() const { return stack_; }
    void showEvent(QShowEvent* event) override;
    // Adds `candidates` to the queue and says how many were added, or says `noneAdded` when there
    // are none.
    void queue(const std::vector<CleanupCandidate>& candidates, const std::string& noneAdded);

    InventoryState& state_;
    CleanupState& cleanup_;

private:
    QVBoxLayout* stack_;
    InventoryPageHeader* header_;
    InventoryScanNotice* notice_;
};

} // namespace morvo
