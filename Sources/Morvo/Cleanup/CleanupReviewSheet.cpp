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
#include <QElapsedTimer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_map>

namespace morvo {

namespace {

constexpr const char* standingText =
    "Moves to Trash; does not empty Trash. Space is not reclaimed until Trash is emptied.";

QString itemsNoun(std::int64_t n) { return n == 1 ? QStringLiteral("item") : QStringLiteral("items"); }
QString plain(std::int64_t n) { return QString::number(n); }

// Drops the size caches of `layout` and of every layout inside it. A hidden widget's layout is never
// activated, so a change of its texts alone would leave the inner layouts' sizes as they were.
void invalidateAll(QLayout* layout) {
    layout->invalidate();
    for (int i = 0; i < layout->count(); ++i)
        if (QLayout* inner = layout->itemAt(i)->layout()) invalidateAll(inner);
}

} // namespace

// The review's rows, of which only those in view (and a few either side) have widgets. The rows'
// heights are those of a real row at the list's width: a row is measured on one spare widget that
// is never shown, when it comes into view or, for the rest, a slice at a time while the GUI
// thread is idle; until then its height is the mean of those measured. Widgets that leave the
// view are kept and given the next row that comes into it.
class ReviewRowList : public QWidget {
public:
    using Make = std::function<CleanupPreviewItemRow*(const CleanupPreviewRow&, QWidget* parent)>;
    using Update = std::function<void(CleanupPreviewItemRow*, const CleanupPreviewRow&)>;

    ReviewRowList(QScrollArea* scroll, int spacing, Make make, Update update)
        : scroll_(scroll), spacing_(spacing), make_(std::move(make)), update_(std::move(update)) {
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
        measureTimer_.setInterval(0);
        connect(&measureTimer_, &QTimer::timeout, this, &ReviewRowList::measureSome);
        connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { place(); });
        connect(scroll_->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
            if (pendingShift_ == 0) return;
            QScrollBar* bar = scroll_->verticalScrollBar();
            const int shift = pendingShift_;
            pendingShift_ = 0;
            bar->setValue(bar->value() + shift);
        });
    }

    void setRows(const std::vector<CleanupPreviewRow>& rows) {
        std::vector<CleanupPreviewRow> next;
        std::unordered_map<std::string, std::size_t> index;
        next.reserve(rows.size());
        index.reserve(rows.size());
        for (const auto& row : rows)
            if (index.emplace(row.id, next.size()).second) next.push_back(row);  // one row per id
        const bool same = next == rows_;
        rows_ = std::move(next);
        index_ = std::move(index);
        if (!same) {
            caches_.clear();
            offsetsWidth_ = -1;
            // Widgets keep their place in the focus chain; the ones in view are given their rows
            // again by place(), by id where they can be.
            std::unordered_map<std::size_t, CleanupPreviewItemRow*> built;
            for (auto& [at, widget] : built_) {
                auto found = index_.find(widget->item().id);
                if (found != index_.end() && !built.count(found->second)) {
                    built.emplace(found->second, widget);
                    update_(widget, rows_[found->second]);
                } else {
                    retire(widget);
                }
            }
            built_ = std::move(built);
            updateGeometry();
        }
        place();
        if (!rows_.empty()) measureTimer_.start();
    }

    std::size_t count() const { return rows_.size(); }
    const CleanupPreviewRow& item(std::size_t at) const { return rows_[at]; }

    CleanupPreviewItemRow* widget(const std::string& id) const {
        auto found = index_.find(id);
        if (found == index_.end()) return nullptr;
        auto built = built_.find(found->second);
        return built == built_.end() ? nullptr : built->second;
    }
    template <class F> void forEachBuilt(F&& f) const {
        for (const auto& [at, widget] : built_) f(widget, rows_[at]);
    }
    // The row whose checkbox is `widget`.
    std::optional<std::size_t> indexOfCheckBox(const QWidget* widget) const {
        for (const auto& [at, row] : built_)
            if (row->checkBox() == widget) return at;
        return std::nullopt;
    }

    // Scrolls row `at` into view, makes it and gives its checkbox the focus.
    void focusRow(std::size_t at, Qt::FocusReason reason) {
        const int width = this->width();
        const std::vector<int>& offsets = offsetsFor(width);
        const int top = mapTo(scroll_->widget(), QPoint(0, 0)).y() + offsets[at];
        const int height = heightAt(width, at);
        scroll_->ensureVisible(0, top + height / 2, 0, height / 2);
        place();
        CleanupPreviewItemRow* row = built_.count(at) ? built_.at(at) : nullptr;
        if (!row) return;
        // Rows measured on the way change the list's height; the scroll view follows before the
        // checkbox is scrolled to, or a row at the end could stay below its reach.
        for (int pass = 0; pass < 3; ++pass) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        row->checkBox()->setFocus(reason);
        scroll_->ensureWidgetVisible(row->checkBox());
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        if (rows_.empty()) return 0;
        const std::vector<int>& offsets = const_cast<ReviewRowList*>(this)->offsetsFor(width);
        return offsets.back() + const_cast<ReviewRowList*>(this)->heightAt(width, rows_.size() - 1);
    }
    QSize sizeHint() const override { return {0, heightForWidth(width())}; }
    QSize minimumSizeHint() const override { return {0, 0}; }

protected:
    void resizeEvent(QResizeEvent*) override { place(); }
    void showEvent(QShowEvent*) override { place(); }

private:
    struct Heights {
        int width = 0;
        std::vector<int> heights;  // -1 until measured
        std::size_t measured = 0;
        long long measuredSum = 0;
        std::size_t cursor = 0;    // where the idle measuring goes on
        int estimate() const { return measured ? static_cast<int>(measuredSum / static_cast<long long>(measured)) : 0; }
    };

    Heights& heightsFor(int width) {
        for (Heights& heights : caches_)
            if (heights.width == width) return heights;
        // A few widths: the list is laid out with and without the scroll bar.
        if (caches_.size() == 3) caches_.erase(caches_.begin());
        caches_.push_back(Heights{width, std::vector<int>(rows_.size(), -1)});
        if (!rows_.empty()) {
            measure(caches_.back(), 0);
            measureTimer_.start();
        }
        return caches_.back();
    }

    // Measures row `at` unless it is; true when its height was not known.
    bool measure(Heights& heights, std::size_t at) {
        if (heights.heights[at] >= 0) return false;
        if (!measurer_) {
            measurer_ = make_(rows_[at], this);
            measurer_->hide();
        } else {
            update_(measurer_, rows_[at]);
            invalidateAll(measurer_->layout());
        }
        const int height = measurer_->heightForWidth(heights.width);
        heights.heights[at] = height;
        ++heights.measured;
        heights.measuredSum += height;
        if (heights.width == offsetsWidth_) offsetsWidth_ = -1;
        return true;
    }

    int heightAt(int width, std::size_t at) {
        const Heights& heights = heightsFor(width);
        return heights.heights[at] >= 0 ? heights.heights[at] : heights.estimate();
    }

    const std::vector<int>& offsetsFor(int width) {
        if (width != offsetsWidth_) {
            Heights& heights = heightsFor(width);
            offsets_.resize(rows_.size());
            const int estimate = heights.estimate();
            int y = 0;
            for (std::size_t i = 0; i < rows_.size(); ++i) {
                offsets_[i] = y;
                y += (heights.heights[i] >= 0 ? heights.heights[i] : estimate) + spacing_;
            }
            offsetsWidth_ = width;
        }
        return offsets_;
    }

    // The rows that meet the scroll view's viewport, `margin` more either side.
    std::pair<std::size_t, std::size_t> rangeInView(int width) {
        const std::vector<int>& offsets = offsetsFor(width);
        const int top = scroll_->verticalScrollBar()->value() - mapTo(scroll_->widget(), QPoint(0, 0)).y();
        const int bottom = top + scroll_->viewport()->height();
        auto first = static_cast<std::size_t>(std::upper_bound(offsets.begin(), offsets.end(), top) - offsets.begin());
        first = first > 0 ? first - 1 : 0;
        auto last = static_cast<std::size_t>(std::lower_bound(offsets.begin(), offsets.end(), bottom) - offsets.begin());
        constexpr std::size_t margin = 2;
        first = first > margin ? first - margin : 0;
        last = std::min(rows_.size(), last + margin);
        return {first, last};
    }

    void place() {
        if (rows_.empty()) {
            for (auto& [at, widget] : built_) retire(widget);
            built_.clear();
            return;
        }
        const int width = this->width();
        Heights& heights = heightsFor(width);
        auto [first, last] = rangeInView(width);
        // The rows that come into view are measured first; that may change what is in view.
        for (int pass = 0; pass < 4; ++pass) {
            bool changed = false;
            for (std::size_t i = first; i < last; ++i) changed = measure(heights, i) || changed;
            if (!changed) break;
            std::tie(first, last) = rangeInView(width);
            updateGeometry();
        }
        const std::vector<int>& offsets = offsetsFor(width);

        QWidget* focus = QApplication::focusWidget();
        for (auto it = built_.begin(); it != built_.end();) {
            const bool keep = (it->first >= first && it->first < last) || (focus && it->second->isAncestorOf(focus));
            if (keep) {
                ++it;
                continue;
            }
            retire(it->second);
            it = built_.erase(it);
        }
        std::vector<CleanupPreviewItemRow*> fresh;
        for (std::size_t i = first; i < last; ++i) {
            CleanupPreviewItemRow*& widget = built_[i];
            if (widget) continue;
            if (!spare_.empty()) {
                widget = spare_.back();
                spare_.pop_back();
                update_(widget, rows_[i]);
            } else {
                widget = make_(rows_[i], this);
            }
            fresh.push_back(widget);
        }
        for (auto& [at, widget] : built_) {
            widget->setGeometry(0, offsets[at], width, heightAt(width, at));
            if (widget->isHidden()) widget->show();
        }
        // A row that comes into view is laid out at once, so that its checkbox is where it is
        // drawn for a focus change that follows right away.
        for (CleanupPreviewItemRow* widget : fresh)
            if (widget->isVisible() && widget->layout()) widget->layout()->activate();
    }

    void retire(CleanupPreviewItemRow* widget) {
        widget->hide();
        spare_.push_back(widget);
        // A few spares are enough to scroll with; the rest go.
        while (spare_.size() > 8) {
            spare_.front()->deleteLater();
            spare_.erase(spare_.begin());
        }
    }

    // Measures the rows not yet seen, a few milliseconds at a time, keeping what is in view in place.
    void measureSome() {
        const int width = this->width();
        Heights& heights = heightsFor(width);
        const std::size_t firstInView = built_.empty() ? 0 : std::min_element(built_.begin(), built_.end())->first;
        const int estimate = heights.estimate();
        QElapsedTimer clock;
        clock.start();
        int shift = 0;
        bool changed = false;
        while (heights.cursor < rows_.size() && clock.elapsed() < 4) {
            const std::size_t at = heights.cursor++;
            if (!measure(heights, at)) continue;
            changed = true;
            if (at < firstInView) shift += heights.heights[at] - estimate;
        }
        if (heights.cursor >= rows_.size()) measureTimer_.stop();
        if (!changed) return;
        pendingShift_ += shift;
        updateGeometry();
        place();
    }

    QScrollArea* scroll_;
    int spacing_;
    Make make_;
    Update update_;
    std::vector<CleanupPreviewRow> rows_;
    std::unordered_map<std::string, std::size_t> index_;
    std::vector<Heights> caches_;
    std::vector<int> offsets_;
    int offsetsWidth_ = -1;
    std::unordered_map<std::size_t, CleanupPreviewItemRow*> built_;
    std::vector<CleanupPreviewItemRow*> spare_;
    CleanupPreviewItemRow* measurer_ = nullptr;
    QTimer measureTimer_;
    int pendingShift_ = 0;
};

CleanupReviewSheet::Totals CleanupReviewSheet::totals(const CleanupState& state) {
    Totals totals;
    if (!state.review()) return totals;
    const auto& selected = state.selectedPreviewIDs();
    for (const auto& row : state.review()->items) {
        if (row.blockedReason || !selected.count(row.id)) continue;
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
    rows_ = new ReviewRowList(
        scroll, 10,
        [this](const CleanupPreviewRow& row, QWidget* parent) {
            const bool busy = state_.isPreparing() || state_.isTrashing();
            const std::string id = row.id;
            auto* widget = new CleanupPreviewItemRow(row, state_.selectedPreviewIDs().count(id) > 0,
                                                     busy || row.blockedReason.has_value(),
                                                     [this, id] { state_.togglePreviewItem(id); });
            widget->setParent(parent);
            return widget;
        },
        [this](CleanupPreviewItemRow* widget, const CleanupPreviewRow& row) { updateRow(widget, row); });
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

    connect(&state_, &CleanupState::reviewChanged, this, &CleanupReviewSheet::updateRows);  // and the selection
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

    rows_->setRows(rows);
    rows_->setVisible(!rows.empty());
    placeholder_->setText(!rows.empty() ? QString()
                          : state_.isPreparing() ? QStringLiteral("Checking items…")
                                                 : QStringLiteral("There are no items to review."));
    placeholder_->setVisible(rows.empty());
    updateSelection();
}

// Gives a made row another item (or the same one again) and the state's flags for it.
void CleanupReviewSheet::updateRow(CleanupPreviewItemRow* widget, const CleanupPreviewRow& row) {
    // A row lets go of its old note lines later; hidden now, they take no room meanwhile.
    std::vector<SymbolLabel*> oldNotes = widget->warningLines();
    if (SymbolLabel* blocked = widget->blockedLine()) oldNotes.push_back(blocked);
    const bool notesChange = row.blockedReason != widget->item().blockedReason || row.warnings != widget->item().warnings;
    widget->setItem(row);
    if (notesChange)
        for (SymbolLabel* line : oldNotes) line->hide();
    widget->setSelected(state_.selectedPreviewIDs().count(row.id) > 0);
    widget->setRowDisabled(state_.isPreparing() || state_.isTrashing() || row.blockedReason.has_value());
}

void CleanupReviewSheet::updateSelection() {
    const Totals t = totals(state_);
    selected_->setText(displayText(text::formatInteger(t.count)) + QStringLiteral(" selected"));
    bytes_->setText(formatByteCount(t.bytes) + QStringLiteral(" logical size"));
    files_->setText(CleanupPreviewItemRow::countText(t.files));
    const auto& selected = state_.selectedPreviewIDs();
    rows_->forEachBuilt([&](CleanupPreviewItemRow* widget, const CleanupPreviewRow& row) {
        widget->setSelected(selected.count(row.id) > 0);
    });
    move_->setPartText(1, moveButtonText(t.count));
    move_->setEnabled(state_.canConfirm());
    updateConfirmation();
}

void CleanupReviewSheet::updateBusy() {
    const bool busy = state_.isPreparing() || state_.isTrashing();
    busyRow_->setOperation(state_.isPreparing(), state_.isTrashing());
    idleRow_->setVisible(!busy);
    close_->setEnabled(!busy);
    rows_->forEachBuilt([&](CleanupPreviewItemRow* widget, const CleanupPreviewRow& row) {
        widget->setRowDisabled(busy || row.blockedReason.has_value());
    });
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

CleanupPreviewItemRow* CleanupReviewSheet::row(const std::string& id) const { return rows_->widget(id); }

std::size_t CleanupReviewSheet::rowCount() const { return rows_->count(); }

// Tab and Shift+Tab walk the rows in their order, those out of view included, as if every row
// had its widget. Where the rows stand among the sheet's other controls is left to the window's
// own Tab order.
bool CleanupReviewSheet::focusNextPrevChild(bool next) {
    QWidget* focus = QApplication::focusWidget();
    const Qt::FocusReason reason = next ? Qt::TabFocusReason : Qt::BacktabFocusReason;
    // The first row from `at` on (backwards for Shift+Tab) whose checkbox takes the focus.
    auto enabledFrom = [&](std::ptrdiff_t at) -> std::optional<std::size_t> {
        if (state_.isPreparing() || state_.isTrashing()) return std::nullopt;
        for (; at >= 0 && at < static_cast<std::ptrdiff_t>(rows_->count()); at += next ? 1 : -1)
            if (!rows_->item(static_cast<std::size_t>(at)).blockedReason) return static_cast<std::size_t>(at);
        return std::nullopt;
    };
    const auto from = focus && isAncestorOf(focus) ? rows_->indexOfCheckBox(focus) : std::nullopt;
    if (from) {
        if (const auto target = enabledFrom(static_cast<std::ptrdiff_t>(*from) + (next ? 1 : -1))) {
            rows_->focusRow(*target, reason);
            return true;
        }
    }
    bool moved = QWidget::focusNextPrevChild(next);
    if (!moved) return false;
    if (from) {
        // Out of the rows: past any other row that has a widget.
        for (int guard = 0; guard < 64 && rows_->indexOfCheckBox(QApplication::focusWidget()); ++guard)
            if (!QWidget::focusNextPrevChild(next)) break;
        return true;
    }
    // Into the rows: at the first one (the last for Shift+Tab), wherever the list is scrolled.
    if (const auto landed = rows_->indexOfCheckBox(QApplication::focusWidget())) {
        if (const auto target = enabledFrom(next ? 0 : static_cast<std::ptrdiff_t>(rows_->count()) - 1);
            target && *target != *landed)
            rows_->focusRow(*target, reason);
    }
    return true;
}

std::vector<CleanupMessage*> CleanupReviewSheet::noteLines() const { return notes_; }

} // namespace morvo
