#include "Morvo/Cleanup/CleanupReviewSheet.h"

#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/Platform/Text.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace morvo {

namespace {

constexpr const char* standingText =
    "Moves to Trash; does not empty Trash. Space is not reclaimed until Trash is emptied.";

QString itemsNoun(std::int64_t n) { return n == 1 ? QStringLiteral("item") : QStringLiteral("items"); }
QString plain(std::int64_t n) { return QString::number(n); }

} // namespace

CleanupReviewSheet::Totals CleanupReviewSheet::totals(const CleanupState& state) {
    Totals totals;
    for (const auto& row : state.selectedRows()) {
        ++totals.count;
        totals.bytes = saturatingAdd(totals.bytes, row.logicalSize);
        totals.files = saturatingAdd(totals.files, row.fileCount);
    }
    return totals;
}

QString CleanupReviewSheet::moveButtonText(std::int64_t count) {
    return QStringLiteral("Move ") + plain(count) + QLatin1Char(' ') + itemsNoun(count) + QStringLiteral(" to Trash…");
}

QString CleanupReviewSheet::confirmationTitle(std::int64_t count) {
    return QStringLiteral("Move ") + plain(count) + QLatin1Char(' ') + itemsNoun(count) + QStringLiteral(" to Trash?");
}

QString CleanupReviewSheet::confirmButtonText(std::int64_t count) {
    return QStringLiteral("Move ") + plain(count) + QLatin1Char(' ') + itemsNoun(count) + QStringLiteral(" to Trash");
}

QString CleanupReviewSheet::confirmationMessage(const Totals& totals) {
    return QStringLiteral("You selected ") + formatByteCount(totals.bytes) + QStringLiteral(" of logical file size across ") +
           displayText(text::formatInteger(totals.files)) + QStringLiteral(" included files. ") +
           QString::fromUtf8(standingText);
}

CleanupReviewSheet::CleanupReviewSheet(CleanupState& state, bool showsConfirmation, QWidget* parent)
    : QWidget(parent), state_(state) {
    qApp->installEventFilter(this);
    setObjectName(QStringLiteral("cleanup-review-sheet"));
    setFixedWidth(740);
    setAutoFillBackground(true);
    Theme::track(this, [this] {
        QPalette palette = this->palette();
        palette.setColor(QPalette::Window, Theme::background());
        palette.setColor(QPalette::WindowText, Theme::text());
        setPalette(palette);
    });
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    // Header.
    auto* header = new QVBoxLayout;
    header->setContentsMargins(25, 25, 25, 25);
    header->setSpacing(18);
    auto* top = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(7);
    titles->addWidget(new SectionEyebrow(QStringLiteral("Your final look")));
    titles->addWidget(new TextLabel(QStringLiteral("Review your selection"),
                                    systemFont(25, QFont::Medium, FontDesign::standard, -0.7), Theme::text));
    titles->addWidget(new TextLabel(QStringLiteral("Choose the exact items you want to move to Trash."), systemFont(12),
                                    Theme::secondary));
    top->addLayout(titles);
    top->addStretch();
    close_ = new KitButton(std::make_shared<QuietButtonStyle>());
    close_->addSymbol(QStringLiteral("xmark"), 11);
    close_->setAccessibleName(QStringLiteral("Close cleanup review"));
    close_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(close_, &QAbstractButton::clicked, this, &CleanupReviewSheet::dismiss);
    top->addWidget(close_, 0, Qt::AlignTop);
    header->addLayout(top);

    auto* summary = new QHBoxLayout;
    summary->setSpacing(18);
    selected_ = new SymbolLabel(QStringLiteral("checkmark.circle"), QString(), 11, Theme::accent);
    selected_->label()->setFont(systemFont(11, QFont::Medium));
    selected_->label()->setWordWrap(false);
    selected_->label()->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    selected_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    bytes_ = new TextLabel(QString(), systemFont(11, QFont::Medium), Theme::text);
    files_ = new TextLabel(QString(), systemFont(11, QFont::Medium), Theme::secondary);
    files_->setToolTip(QStringLiteral("Includes files nested inside the selected folders."));
    summary->addWidget(selected_);
    summary->addWidget(bytes_);
    summary->addWidget(files_);
    summary->addStretch();
    header->addLayout(summary);
    stack->addLayout(header);
    stack->addWidget(new Hairline(Qt::Horizontal));

    // The list.
    auto* scroll = new QScrollArea;
    scroll->setFocusPolicy(Qt::NoFocus);  // its rows' checkboxes take the focus
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setFixedHeight(340);
    // The application's style sheet draws its slim indicator in the theme's colours; a rule of its
    // own here would add its margins to the application's and leave the thumb no width.
    scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget;
    auto* entries = new QVBoxLayout(list);
    entries->setContentsMargins(21, 21, 21, 21);
    entries->setSpacing(10);
    notesBox_ = new QWidget;
    auto* notesLayout = new QVBoxLayout(notesBox_);
    notesLayout->setContentsMargins(0, 0, 0, 0);
    notesLayout->setSpacing(10);
    entries->addWidget(notesBox_);
    rows_ = new RowStack(10);
    entries->addWidget(rows_);
    placeholder_ = new TextLabel(QString(), systemFont(13), Theme::secondary);
    placeholder_->setAlignment(Qt::AlignHCenter);
    placeholder_->setContentsMargins(0, 60, 0, 60);
    entries->addWidget(placeholder_);
    entries->addStretch();
    scroll->setWidget(list);
    list->setAutoFillBackground(false);
    stack->addWidget(scroll);
    stack->addWidget(new Hairline(Qt::Horizontal));

    // Footer.
    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(25, 25, 25, 25);
    footer->setSpacing(18);
    footer->addWidget(new SymbolLabel(QStringLiteral("trash"), QString::fromUtf8(standingText), 11, Theme::secondary));

    busyRow_ = new CleanupBusyRow(11, [this] { state_.cancelOperation(); });
    idleRow_ = new QWidget;
    {
        auto* row = new QHBoxLayout(idleRow_);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(11);
        back_ = new KitButton(std::make_shared<QuietButtonStyle>());
        back_->addText(QStringLiteral("Back to queue"));
        back_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(back_, &QAbstractButton::clicked, this, &CleanupReviewSheet::dismiss);
        row->addWidget(back_);
        row->addStretch();
        move_ = new KitButton(std::make_shared<AccentButtonStyle>());
        move_->setSpacing(7);
        move_->addSymbol(QStringLiteral("trash")).addText(moveButtonText(0));
        move_->setObjectName(QStringLiteral("cleanup-open-confirmation"));
        move_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(move_, &QAbstractButton::clicked, this, [this] { setShowsConfirmation(true); });
        row->addWidget(move_);
    }
    footer->addWidget(busyRow_);
    footer->addWidget(idleRow_);
    stack->addLayout(footer);

    connect(&state_, &CleanupState::reviewChanged, this, [this] {
        updateRows();
        updateSelection();
    });
    connect(&state_, &CleanupState::selectedPreviewIDsChanged, this, &CleanupReviewSheet::updateSelection);
    connect(&state_, &CleanupState::isPreparingChanged, this, &CleanupReviewSheet::updateBusy);
    connect(&state_, &CleanupState::isTrashingChanged, this, &CleanupReviewSheet::updateBusy);

    updateRows();
    updateBusy();
    if (showsConfirmation) setShowsConfirmation(true);
}

void CleanupReviewSheet::dismiss() {
    if (!state_.isTrashing()) state_.invalidatePreview();
}

void CleanupReviewSheet::updateRows() {
    const auto& review = state_.review();
    static const std::vector<CleanupPreviewRow> none;
    const auto& rows = review ? review->items : none;

    const std::vector<std::string> notes = review ? review->notes : std::vector<std::string>{};
    if (notes != shownNotes_) {
        for (CleanupMessage* note : notes_) note->deleteLater();
        notes_.clear();
        for (const auto& note : notes) {
            auto* line = new CleanupMessage(displayText(note), QStringLiteral("info.circle"), Theme::secondary);
            notesBox_->layout()->addWidget(line);
            notes_.push_back(line);
        }
        shownNotes_ = notes;
    }
    notesBox_->setVisible(!notes_.empty());

    std::vector<std::string> ids;
    ids.reserve(rows.size());
    for (const auto& row : rows) ids.push_back(row.id);
    const bool busy = state_.isPreparing() || state_.isTrashing();
    const auto& selected = state_.selectedPreviewIDs();
    rows_->sync(
        ids,
        [&](std::size_t i) -> QWidget* {
            const CleanupPreviewRow& row = rows[i];
            const std::string id = row.id;
            return new CleanupPreviewItemRow(row, selected.count(id) > 0, busy || row.blockedReason.has_value(),
                                             [this, id] { state_.togglePreviewItem(id); });
        },
        [&](QWidget* widget, std::size_t i) {
            auto* row = static_cast<CleanupPreviewItemRow*>(widget);
            row->setItem(rows[i]);
            row->setSelected(selected.count(rows[i].id) > 0);
            row->setRowDisabled(busy || rows[i].blockedReason.has_value());
        });
    rows_->setVisible(!rows.empty());
    placeholder_->setText(!rows.empty() ? QString()
                          : state_.isPreparing() ? QStringLiteral("Checking items…")
                                                 : QStringLiteral("There are no items to review."));
    placeholder_->setVisible(rows.empty());
    updateSelection();
}

void CleanupReviewSheet::updateSelection() {
    const Totals t = totals(state_);
    selected_->setText(displayText(text::formatInteger(t.count)) + QStringLiteral(" selected"));
    bytes_->setText(formatByteCount(t.bytes) + QStringLiteral(" logical size"));
    files_->setText(CleanupPreviewItemRow::countText(t.files));
    const auto& selected = state_.selectedPreviewIDs();
    for (const auto& id : rows_->ids())
        static_cast<CleanupPreviewItemRow*>(rows_->row(id))->setSelected(selected.count(id) > 0);
    move_->setPartText(1, moveButtonText(t.count));
    move_->setEnabled(state_.canConfirm());
    updateConfirmation();
}

void CleanupReviewSheet::updateBusy() {
    const bool busy = state_.isPreparing() || state_.isTrashing();
    busyRow_->setOperation(state_.isPreparing(), state_.isTrashing());
    idleRow_->setVisible(!busy);
    close_->setEnabled(!busy);
    if (const auto& review = state_.review()) {
        for (const auto& row : review->items)
            if (auto* widget = static_cast<CleanupPreviewItemRow*>(rows_->row(row.id)))
                widget->setRowDisabled(busy || row.blockedReason.has_value());
    }
    move_->setEnabled(state_.canConfirm());
    if (state_.review() && state_.review()->items.empty())
        placeholder_->setText(state_.isPreparing() ? QStringLiteral("Checking items…")
                                                   : QStringLiteral("There are no items to review."));
}

void CleanupReviewSheet::setShowsConfirmation(bool shows) {
    if (shows == showsConfirmation()) return;
    if (!shows) {
        dialog_->done(QMessageBox::Cancel);
        return;
    }
    // Not modal to the window system, which would also block the menu bar and the commands'
    // shortcuts; the sheet itself ignores the pointer and the keys while the dialog is open
    // (see eventFilter).
    auto* box = new ThemedMessageBox(this);
    box->setWindowModality(Qt::NonModal);
    confirm_ = box->addButton(QString(), QMessageBox::DestructiveRole);
    confirm_->setObjectName(QStringLiteral("cleanup-confirm-trash"));
    ThemedMessageBox::setButtonKind(confirm_, ThemedMessageBox::ButtonKind::destructive);
    keep_ = box->addButton(QStringLiteral("Keep reviewing"), QMessageBox::RejectRole);
    box->setDefaultButton(keep_);
    box->setEscapeButton(keep_);
    connect(confirm_, &QAbstractButton::clicked, this, [this] {
        // The state may have changed since the dialog opened.
        if (state_.canConfirm()) state_.confirmTrash();
    });
    connect(box, &QDialog::finished, this, [this, box] {
        if (dialog_ == box) dialog_ = nullptr;
        box->deleteLater();
    });
    dialog_ = box;
    updateConfirmation();
    box->show();
    box->raise();
    box->activateWindow();
}

bool CleanupReviewSheet::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(*event)) return false;
    if (!dialog_ || !dialog_->isVisible()) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // The sheet's own window: the sheet, its children and the frame that holds it.
    if (!widget || widget->window() != window()) return false;
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
        dialog_->raise();
        dialog_->activateWindow();
    }
    return true;
}

void CleanupReviewSheet::updateConfirmation() {
    if (!dialog_) return;
    const Totals t = totals(state_);
    dialog_->setText(confirmationTitle(t.count));
    dialog_->setInformativeText(confirmationMessage(t));
    if (confirm_) confirm_->setText(confirmButtonText(t.count));
}

bool CleanupReviewSheet::showsConfirmation() const { return dialog_ != nullptr; }
QPushButton* CleanupReviewSheet::confirmButton() const { return dialog_ ? confirm_.data() : nullptr; }
QPushButton* CleanupReviewSheet::keepReviewingButton() const { return dialog_ ? keep_.data() : nullptr; }

QString CleanupReviewSheet::selectedCountText() const { return selected_->text(); }
QString CleanupReviewSheet::selectedBytesText() const { return bytes_->text(); }
QString CleanupReviewSheet::includedFilesText() const { return files_->text(); }
QString CleanupReviewSheet::busyText() const { return busyRow_->text(); }
KitButton* CleanupReviewSheet::cancelButton() const { return busyRow_->cancelButton(); }
QString CleanupReviewSheet::placeholderText() const { return placeholder_->isHidden() ? QString() : placeholder_->text(); }

CleanupPreviewItemRow* CleanupReviewSheet::row(const std::string& id) const {
    return static_cast<CleanupPreviewItemRow*>(rows_->row(id));
}

std::size_t CleanupReviewSheet::rowCount() const { return rows_->count(); }
std::vector<CleanupMessage*> CleanupReviewSheet::noteLines() const { return notes_; }

} // namespace morvo
