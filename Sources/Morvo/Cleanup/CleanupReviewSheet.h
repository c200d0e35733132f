#pragma once
// The modal step between "Review for Trash" and the move: every item of the prepared review with
// its measured size, a checkbox per item, the totals of the selection, and an explicit
// confirmation dialog whose destructive button alone starts the move. The sheet never sets the
// review; it only drops it ("Back to queue", the close button).

#include "Morvo/State/CleanupModels.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <string>

#include <QMessageBox>
#include <QPushButton>

namespace morvo {

class CleanupBusyRow;
class CleanupMessage;
class CleanupPreviewItemRow;
class CleanupState;
class KitButton;
class ReviewRowList;
class SymbolLabel;
class TextLabel;

class CleanupReviewSheet : public QWidget {
    Q_OBJECT

public:
    // `showsConfirmation`: whether the confirmation dialog is open from the start.
    explicit CleanupReviewSheet(CleanupState& state, bool showsConfirmation = false, QWidget* parent = nullptr);

    struct Totals {
        std::int64_t count = 0;   // ticked rows without a blocked reason
        std::int64_t bytes = 0;   // their logical sizes, saturating
        std::int64_t files = 0;   // their included files
    };
    static Totals totals(const CleanupState& state);
    // "Move 3 items to Trash…" (n as plain digits).
    static QString moveButtonText(std::int64_t count);
    // "Move 3 items to Trash?"
    static QString confirmationTitle(std::int64_t count);
    // "Move 3 items to Trash"
    static QString confirmButtonText(std::int64_t count);
    static QString confirmationMessage(const Totals& totals);

    // Opens or closes the confirmation dialog.
    void setShowsConfirmation(bool shows);
    bool showsConfirmation() const;
    // The open dialog and its two buttons; null while it is closed.
    QMessageBox* confirmationDialog() const { return dialog_; }
    QPushButton* confirmButton() const;
    QPushButton* keepReviewingButton() const;

    // The parts, for tests.
    QString selectedCountText() const;
    QString selectedBytesText() const;
    QString includedFilesText() const;
    KitButton* closeButton() const { return close_; }
    KitButton* backButton() const { return back_; }
    KitButton* moveButton() const { return move_; }
    KitButton* cancelButton() const;
    QString busyText() const;
    // "Checking items…" or "There are no items to review."; empty while rows are listed.
    QString placeholderText() const;
    // The row widget of `id`; null while the row is out of view (rows are made as they come
    // into view and reused as they leave it).
    CleanupPreviewItemRow* row(const std::string& id) const;
    // The rows of the review, in view or not.
    std::size_t rowCount() const;
    std::vector<CleanupMessage*> noteLines() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void updateRows();
    void updateRow(CleanupPreviewItemRow* widget, const CleanupPreviewRow& row);
    void updateSelection();
    void updateBusy();
    void updateConfirmation();
    void dismiss();

    CleanupState& state_;
    KitButton* close_;
    SymbolLabel* selected_;
    TextLabel* bytes_;
    TextLabel* files_;
    QWidget* notesBox_;
    std::vector<CleanupMessage*> notes_;
    std::vector<std::string> shownNotes_;
    ReviewRowList* rows_;
    TextLabel* placeholder_;
    CleanupBusyRow* busyRow_;
    QWidget* idleRow_;
    KitButton* back_;
    KitButton* move_;
    QPointer<QMessageBox> dialog_;
    QPointer<QPushButton> confirm_;
    QPointer<QPushButton> keep_;
};

} // namespace morvo
