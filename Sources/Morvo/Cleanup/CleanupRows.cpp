#include "Morvo/Cleanup/CleanupRows.h"

#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Symbols.h"
#include "MorvoCore/Platform/Text.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <unordered_set>
#include <utility>
#include <vector>

namespace morvo {

QString displayText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString countText(std::int64_t count, const QString& singular, const QString& plural) {
    return displayText(text::formatInteger(count)) + QLatin1Char(' ') + (count == 1 ? singular : plural);
}

// ---------------------------------------------------------------------------------------------

CleanupBusyRow::CleanupBusyRow(int spacing, std::function<void()> cancel, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(spacing);
    row->addWidget(new SmallSpinner);
    text_ = new TextLabel(QString(), systemFont(11), Theme::secondary);
    row->addWidget(text_);
    row->addStretch();
    cancel_ = new KitButton(std::make_shared<QuietButtonStyle>());
    cancel_->addText(QStringLiteral("Cancel"));
    cancel_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (cancel) connect(cancel_, &QAbstractButton::clicked, this, [cancel = std::move(cancel)] { cancel(); });
    row->addWidget(cancel_);
}

void CleanupBusyRow::setOperation(bool preparing, bool trashing) {
    const bool busy = preparing || trashing;
    setVisible(busy);
    text_->setText(!busy ? QString()
                         : trashing ? QStringLiteral("Moving selected items…") : QStringLiteral("Checking your selection…"));
    cancel_->setPartText(0, trashing ? QStringLiteral("Stop remaining") : QStringLiteral("Cancel"));
}

QString CleanupBusyRow::text() const { return text_->text(); }

// ---------------------------------------------------------------------------------------------

CardFrame::CardFrame(double radius, QWidget* parent) : QWidget(parent), radius_(radius) {
    FocusRing::setShape(this, this, radius);
}

void CardFrame::setHighlighted(bool highlighted) {
    if (highlighted == highlighted_) return;
    highlighted_ = highlighted;
    update();
}

void CardFrame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_);
    p.fillPath(shape, highlighted_ ? Theme::accent(0.055) : Theme::panel());
    p.setPen(QPen(highlighted_ ? Theme::accent(0.23) : Theme::border(), 1));
    p.drawPath(shape);
}

// ---------------------------------------------------------------------------------------------

SymbolTile::SymbolTile(QString symbol, AdaptiveColor tint, double fillOpacity, QSize size, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), tint_(tint), fillOpacity_(fillOpacity) {
    setFixedSize(size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolTile::set(QString symbol, AdaptiveColor tint) {
    if (symbol == symbol_ && tint == tint_) return;
    symbol_ = std::move(symbol);
    tint_ = tint;
    update();
}

void SymbolTile::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(roundedRect(QRectF(rect()), 9), tint_(fillOpacity_));
    drawSymbol(p, QRectF(rect()), symbol_.toStdString(), 17, tint_());
}

// ---------------------------------------------------------------------------------------------

SymbolLabel::SymbolLabel(QString symbol, QString text, double pixelSize, AdaptiveColor color, QWidget* parent)
    : QWidget(parent), color_(color) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    symbol_ = new SymbolView(std::move(symbol), pixelSize, color);
    label_ = new TextLabel(text, systemFont(pixelSize), color);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setAccessibleName(text);
    row->addWidget(symbol_, 0, Qt::AlignTop);
    row->addWidget(label_, 1);
    setAccessibleName(text);
}

void SymbolLabel::setText(const QString& text) {
    if (label_->text() == text) return;
    label_->setText(text);
    label_->setAccessibleName(text);
    setAccessibleName(text);
}

void SymbolLabel::setSymbol(const QString& symbol) { symbol_->setSymbol(symbol); }

void SymbolLabel::setColor(AdaptiveColor color) {
    if (color == color_) return;
    color_ = color;
    symbol_->setTint(color);
    label_->setForeground(color);
}

QString SymbolLabel::text() const { return label_->text(); }
QString SymbolLabel::symbol() const { return symbol_->symbol(); }

// ---------------------------------------------------------------------------------------------

// The stack's layout: the rows one under the other, each as high as it asks to be at the stack's
// width. When a row is added, the stack is laid out once in the space it had before it grows; a
// box layout squeezed every row into that space and then stretched it back, resizing every row of
// the list twice per add. Here rows keep their heights, and a row that stays put is not touched.
class RowLayout : public QLayout {
public:
    explicit RowLayout(QWidget* parent) : QLayout(parent) {}
    ~RowLayout() override {
        while (!items_.empty()) delete takeAt(static_cast<int>(items_.size()) - 1);
    }

    void insertWidget(int index, QWidget* widget) {
        addChildWidget(widget);
        items_.insert(items_.begin() + std::clamp<qsizetype>(index, 0, qsizetype(items_.size())), new QWidgetItemV2(widget));
        invalidate();
    }
    void addItem(QLayoutItem* item) override {
        items_.push_back(item);
        invalidate();
    }
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override {
        return index >= 0 && index < count() ? items_[static_cast<std::size_t>(index)] : nullptr;
    }
    // Takes the items of `widgets` out, all in one pass.
    void removeWidgets(const std::unordered_set<QWidget*>& widgets) {
        std::erase_if(items_, [&](QLayoutItem* item) {
            if (!widgets.count(item->widget())) return false;
            delete item;
            return true;
        });
        invalidate();
    }
    QLayoutItem* takeAt(int index) override {
        if (index < 0 || index >= count()) return nullptr;
        QLayoutItem* item = items_[static_cast<std::size_t>(index)];
        items_.erase(items_.begin() + index);
        invalidate();
        return item;
    }

    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        for (const auto& [w, h] : heights_)
            if (w == width) return h;
        const QMargins m = contentsMargins();
        const int inner = width - m.left() - m.right();
        int height = m.top() + m.bottom(), shown = 0;
        for (QLayoutItem* item : items_)
            if (!item->isEmpty()) {
                height += rowHeight(item, inner);
                ++shown;
            }
        height += std::max(0, shown - 1) * spacing();
        if (heights_.size() == 4) heights_.erase(heights_.begin());
        heights_.emplace_back(width, height);
        return height;
    }
    int minimumHeightForWidth(int width) const override { return heightForWidth(width); }
    QSize sizeHint() const override {
        int width = 0;
        for (QLayoutItem* item : items_)
            if (!item->isEmpty()) width = std::max(width, item->sizeHint().width());
        const QMargins m = contentsMargins();
        width += m.left() + m.right();
        return {width, heightForWidth(width)};
    }
    QSize minimumSize() const override {
        int width = 0;
        for (QLayoutItem* item : items_)
            if (!item->isEmpty()) width = std::max(width, item->minimumSize().width());
        const QMargins m = contentsMargins();
        return {width + m.left() + m.right(), 0};
    }
    void invalidate() override {
        heights_.clear();
        QLayout::invalidate();
    }
    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        const QRect inner = rect.marginsRemoved(contentsMargins());
        int y = inner.top();
        for (QLayoutItem* item : items_) {
            if (item->isEmpty()) continue;
            const int height = rowHeight(item, inner.width());
            item->setGeometry(QRect(inner.left(), y, inner.width(), height));
            y += height + spacing();
        }
    }

private:
    static int rowHeight(QLayoutItem* item, int width) {
        const int height = item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
        return std::clamp(height, item->minimumSize().height(), std::max(item->minimumSize().height(), item->maximumSize().height()));
    }

    std::vector<QLayoutItem*> items_;
    mutable std::vector<std::pair<int, int>> heights_;  // width, height
};

RowStack::RowStack(int spacing, QWidget* parent) : QWidget(parent), layout_(new RowLayout(this)) {
    // Rows hang from the top: growing by a row at the end repaints only what is new.
    setAttribute(Qt::WA_StaticContents);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(spacing);
}

void RowStack::sync(const std::vector<std::string>& ids, const std::function<QWidget*(std::size_t)>& make,
                    const std::function<void(QWidget*, std::size_t)>& update) {
    std::unordered_map<std::string, QWidget*> next;
    next.reserve(ids.size());
    std::vector<QWidget*> ordered;
    ordered.reserve(ids.size());
    std::vector<std::string> nextIDs;
    nextIDs.reserve(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (next.count(ids[i])) continue;  // one row per id
        QWidget* widget = nullptr;
        if (auto found = rows_.find(ids[i]); found != rows_.end()) {
            widget = found->second;
            rows_.erase(found);
            update(widget, i);
        } else {
            widget = make(i);
        }
        next.emplace(ids[i], widget);
        ordered.push_back(widget);
        nextIDs.push_back(ids[i]);
    }
    // Dropped rows leave the list at once and are deleted later: one of them may hold the button
    // whose click brought us here. They stay children until then: taking each out of the window
    // (a new parent) would restyle all of its widgets, which for a long list took a while.
    if (!rows_.empty()) {
        std::unordered_set<QWidget*> dropped;
        for (auto& [id, widget] : rows_) dropped.insert(widget);
        layout_->removeWidgets(dropped);
        for (QWidget* widget : dropped) {
            widget->hide();
            widget->deleteLater();
        }
    }
    rows_ = std::move(next);
    ids_ = std::move(nextIDs);

    // Usually the rows that stay keep their order (items appended, removed or changed): then only
    // the new rows are inserted. Inserting costs a walk of the layout, so a full rebuild, which
    // inserts every row, is kept for real reorders.
    std::vector<QWidget*> current;
    current.reserve(static_cast<std::size_t>(layout_->count()));
    for (int i = 0; i < layout_->count(); ++i) current.push_back(layout_->itemAt(i)->widget());
    std::unordered_map<QWidget*, bool> isKept;
    isKept.reserve(current.size());
    for (QWidget* widget : current) isKept.emplace(widget, true);
    std::size_t kept = 0;
    bool sameOrder = true;
    for (QWidget* widget : ordered) {
        if (!isKept.count(widget)) continue;
        if (kept >= current.size() || current[kept] != widget) {
            sameOrder = false;
            break;
        }
        ++kept;
    }
    sameOrder = sameOrder && kept == current.size();
    if (sameOrder) {
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            if (isKept.count(ordered[i])) continue;
            layout_->insertWidget(static_cast<int>(i), ordered[i]);
            ordered[i]->show();
        }
        return;
    }
    while (layout_->count() > 0) delete layout_->takeAt(layout_->count() - 1);
    for (QWidget* widget : ordered) {
        layout_->insertWidget(layout_->count(), widget);
        widget->show();
    }
}

QWidget* RowStack::row(const std::string& id) const {
    auto found = rows_.find(id);
    return found == rows_.end() ? nullptr : found->second;
}

// ---------------------------------------------------------------------------------------------

CleanupMessage::CleanupMessage(QString text, QString symbol, AdaptiveColor color, QWidget* parent)
    : QWidget(parent), color_(color) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(13, 13, 13, 13);
    line_ = new SymbolLabel(std::move(symbol), std::move(text), 11, color);
    line_->label()->setLineSpacing(3);
    layout->addWidget(line_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void CleanupMessage::setText(const QString& text) { line_->setText(text); }
QString CleanupMessage::text() const { return line_->text(); }
QString CleanupMessage::symbol() const { return line_->symbol(); }

void CleanupMessage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(roundedRect(QRectF(rect()), 9), color_(0.055));
}

// ---------------------------------------------------------------------------------------------

namespace {

// A card's layout that keeps its height for the last few widths it was asked about, until its
// content changes. A list asks every card for its height whenever a card comes or goes, and at
// more than one width; the box layout remembers one width only, and each miss lays the card's
// wrapped texts out again.
class CardLayout : public QHBoxLayout {
public:
    explicit CardLayout(QWidget* card) : QHBoxLayout(card) {}

    int heightForWidth(int width) const override { return measured(width).height; }
    int minimumHeightForWidth(int width) const override { return measured(width).minimum; }
    void invalidate() override {
        heights_.clear();
        QHBoxLayout::invalidate();
    }

private:
    struct Heights {
        int width, height, minimum;
    };
    const Heights& measured(int width) const {
        for (const Heights& h : heights_)
            if (h.width == width) return h;
        if (heights_.size() == 4) heights_.erase(heights_.begin());
        heights_.push_back({width, QHBoxLayout::heightForWidth(width), 0});
        // The box layout derives its minimum from its height for the width it measured last,
        // asking for that height again first (which now finds it here).
        heights_.back().minimum = QHBoxLayout::minimumHeightForWidth(width);
        return heights_.back();
    }
    mutable std::vector<Heights> heights_;
};

QHBoxLayout* cardLayout(QWidget* card, int spacing) {
    auto* row = new CardLayout(card);
    row->setContentsMargins(15, 15, 15, 15);
    row->setSpacing(spacing);
    row->setAlignment(Qt::AlignTop);
    return row;
}

TextLabel* wrapping(const QString& text, const QFont& font, AdaptiveColor color) {
    auto* label = new TextLabel(text, font, color);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A new policy drops the height-for-width that word wrap set; without it the layout reserves
    // the label's size-hint height (its text wrapped at a guessed width) instead of what it draws.
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    label->setSizePolicy(policy);
    return label;
}

TextLabel* fixedText(const QString& text, const QFont& font, AdaptiveColor color) {
    auto* label = new TextLabel(text, font, color);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

SelectableText* titleText(const QString& text, const QFont& font) {
    auto* title = new SelectableText(text, font, Theme::text);
    title->setSizePolicy([] {
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        return policy;
    }());
    return title;
}

} // namespace

CleanupQueueRow::CleanupQueueRow(CleanupCandidate item, bool disabled, std::function<void()> remove,
                                 std::function<void()> reveal, QWidget* parent)
    : CardFrame(12, parent), item_(std::move(item)), disabled_(disabled), removeAction_(std::move(remove)),
      revealAction_(std::move(reveal)) {
    setObjectName(QStringLiteral("cleanup-queue-item-") + displayText(item_.url.path));
    auto* row = cardLayout(this, 13);

    tile_ = new SymbolTile(displayText(item_.symbol), Theme::accent, 0.07, QSize(37, 39));
    row->addWidget(tile_, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(7);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(10);
    title_ = titleText(displayText(item_.title), systemFont(13, QFont::Medium));
    size_ = fixedText(sizeText(item_), monospacedFont(11, QFont::Medium), Theme::secondary);
    titleLine->addWidget(title_, 1, Qt::AlignTop);
    titleLine->addWidget(size_, 0, Qt::AlignTop);
    column->addLayout(titleLine);

    path_ = new CleanupExactPath(item_.url);
    column->addWidget(path_);

    auto* detail = new QHBoxLayout;
    detail->setSpacing(5);
    kind_ = fixedText(displayText(item_.kind), systemFont(10, QFont::Medium), Theme::secondary);
    reason_ = wrapping(displayText(item_.reason), systemFont(10), Theme::secondary);
    detail->addWidget(kind_, 0, Qt::AlignTop);
    detail->addWidget(fixedText(QStringLiteral("·"), systemFont(10), Theme::secondary), 0, Qt::AlignTop);
    detail->addWidget(reason_, 1, Qt::AlignTop);
    column->addLayout(detail);
    row->addLayout(column, 1);

    remove_ = new KitButton(std::make_shared<PlainButtonStyle>());
    remove_->addSymbol(QStringLiteral("xmark"), 10, Theme::muted);
    remove_->setFixedSize(22, 22);
    remove_->setToolTip(QStringLiteral("Remove from queue"));
    remove_->setAccessibleName(QStringLiteral("Remove ") + displayText(item_.title) + QStringLiteral(" from cleanup queue"));
    remove_->setEnabled(!disabled_);
    connect(remove_, &QAbstractButton::clicked, this, [this] {
        if (removeAction_) removeAction_();
    });
    row->addWidget(remove_, 0, Qt::AlignTop);
}

QString CleanupQueueRow::sizeText(const CleanupCandidate& item) {
    return item.logicalSize ? formatByteCount(*item.logicalSize) : QStringLiteral("Check in review");
}

void CleanupQueueRow::setItem(const CleanupCandidate& item) {
    if (item == item_) return;
    item_ = item;
    setObjectName(QStringLiteral("cleanup-queue-item-") + displayText(item_.url.path));
    tile_->set(displayText(item_.symbol), Theme::accent);
    title_->setText(displayText(item_.title));
    size_->setText(sizeText(item_));
    path_->setUrl(item_.url);
    kind_->setText(displayText(item_.kind));
    reason_->setText(displayText(item_.reason));
    remove_->setAccessibleName(QStringLiteral("Remove ") + displayText(item_.title) + QStringLiteral(" from cleanup queue"));
}

void CleanupQueueRow::setRowDisabled(bool disabled) {
    if (disabled == disabled_) return;
    disabled_ = disabled;
    remove_->setEnabled(!disabled_);
}

QString CleanupQueueRow::shownSizeText() const { return size_->text(); }
QString CleanupQueueRow::detailText() const { return kind_->text() + QStringLiteral(" · ") + reason_->text(); }

QMenu* CleanupQueueRow::makeContextMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    QAction* reveal = menu->addAction(symbolIcon("arrow.up.forward.app", Theme::text()), QStringLiteral("Reveal in Finder"));
    connect(reveal, &QAction::triggered, this, [this] {
        if (revealAction_) revealAction_();
    });
    QAction* remove = menu->addAction(QStringLiteral("Remove from queue"));
    remove->setEnabled(!disabled_);
    connect(remove, &QAction::triggered, this, [this] {
        if (removeAction_ && !disabled_) removeAction_();
    });
    return menu;
}

void CleanupQueueRow::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = makeContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// ---------------------------------------------------------------------------------------------

CleanupPreviewItemRow::CleanupPreviewItemRow(CleanupPreviewRow item, bool selected, bool disabled,
                                             std::function<void()> toggle, QWidget* parent)
    : CardFrame(12, parent), item_(std::move(item)), selected_(selected) {
    setObjectName(QStringLiteral("cleanup-review-item-") + displayText(item_.id));
    auto* row = cardLayout(this, 12);

    check_ = new StateCheckBox(std::move(toggle));
    check_->setObjectName(QStringLiteral("cleanup-select-") + displayText(item_.id));
    check_->setAccessibleName(QStringLiteral("Include ") + displayText(item_.title) + QStringLiteral(" in Trash selection"));
    check_->setSelected(selected);
    check_->setEnabled(!disabled);
    auto* checkColumn = new QVBoxLayout;
    checkColumn->setContentsMargins(0, 1, 0, 0);
    checkColumn->addWidget(check_);
    checkColumn->addStretch();
    row->addLayout(checkColumn);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    auto* titleLine = new QHBoxLayout;
    titleLine->setSpacing(10);
    title_ = titleText(displayText(item_.title), systemFont(13, QFont::Medium));
    size_ = fixedText(formatByteCount(item_.logicalSize), monospacedFont(11, QFont::Medium), Theme::secondary);
    titleLine->addWidget(title_, 1, Qt::AlignTop);
    titleLine->addWidget(size_, 0, Qt::AlignTop);
    column->addLayout(titleLine);

    path_ = new CleanupExactPath(item_.url);
    column->addWidget(path_);

    auto* detail = new QHBoxLayout;
    detail->setSpacing(7);
    count_ = fixedText(countText(item_.fileCount), systemFont(10), Theme::muted);
    reason_ = wrapping(displayText(item_.reason), systemFont(10), Theme::secondary);
    detail->addWidget(count_, 0, Qt::AlignTop);
    detail->addWidget(fixedText(QStringLiteral("·"), systemFont(10), Theme::muted), 0, Qt::AlignTop);
    detail->addWidget(reason_, 1, Qt::AlignTop);
    column->addLayout(detail);

    notes_ = new QVBoxLayout;
    notes_->setContentsMargins(0, 0, 0, 0);
    notes_->setSpacing(8);
    column->addLayout(notes_);
    row->addLayout(column, 1);

    rebuildNotes();
    updateLook();
}

QString CleanupPreviewItemRow::countText(std::int64_t fileCount) {
    return displayText(text::formatInteger(fileCount)) + QStringLiteral(" included ") +
           (fileCount == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

void CleanupPreviewItemRow::setItem(const CleanupPreviewRow& item) {
    if (item == item_) return;
    const bool notesChanged = item.blockedReason != item_.blockedReason || item.warnings != item_.warnings;
    item_ = item;
    setObjectName(QStringLiteral("cleanup-review-item-") + displayText(item_.id));
    check_->setObjectName(QStringLiteral("cleanup-select-") + displayText(item_.id));
    check_->setAccessibleName(QStringLiteral("Include ") + displayText(item_.title) + QStringLiteral(" in Trash selection"));
    title_->setText(displayText(item_.title));
    size_->setText(formatByteCount(item_.logicalSize));
    path_->setUrl(item_.url);
    count_->setText(countText(item_.fileCount));
    reason_->setText(displayText(item_.reason));
    if (notesChanged) rebuildNotes();
    updateLook();
}

void CleanupPreviewItemRow::setSelected(bool selected) {
    selected_ = selected;
    check_->setSelected(selected);
    updateLook();
}

void CleanupPreviewItemRow::setRowDisabled(bool disabled) { check_->setEnabled(!disabled); }

void CleanupPreviewItemRow::updateLook() { setHighlighted(selected_ && !item_.blockedReason); }

void CleanupPreviewItemRow::rebuildNotes() {
    if (blocked_) blocked_->deleteLater();
    blocked_ = nullptr;
    for (SymbolLabel* line : warnings_) line->deleteLater();
    warnings_.clear();
    if (item_.blockedReason) {
        blocked_ = new SymbolLabel(QStringLiteral("lock"), displayText(*item_.blockedReason), 10, Theme::warning);
        notes_->addWidget(blocked_);
    }
    for (const std::string& warning : item_.warnings) {
        auto* line = new SymbolLabel(QStringLiteral("info.circle"), displayText(warning), 10, Theme::secondary);
        notes_->addWidget(line);
        warnings_.push_back(line);
    }
}

QString CleanupPreviewItemRow::shownSizeText() const { return size_->text(); }
QString CleanupPreviewItemRow::shownCountText() const { return count_->text(); }
SymbolLabel* CleanupPreviewItemRow::blockedLine() const { return blocked_; }
std::vector<SymbolLabel*> CleanupPreviewItemRow::warningLines() const { return warnings_; }

// ---------------------------------------------------------------------------------------------

QString CleanupResultRow::statusLabel(CleanupOutcomeStatus status) {
    switch (status) {
    case CleanupOutcomeStatus::moved: return QStringLiteral("Moved to Trash");
    case CleanupOutcomeStatus::failed: return QStringLiteral("Couldn\u2019t move");
    case CleanupOutcomeStatus::skipped: return QStringLiteral("Skipped");
    }
    return QStringLiteral("Skipped");
}

QString CleanupResultRow::statusSymbol(CleanupOutcomeStatus status) {
    return status == CleanupOutcomeStatus::moved ? QStringLiteral("checkmark.circle") : QStringLiteral("exclamationmark.circle");
}

AdaptiveColor CleanupResultRow::statusColor(CleanupOutcomeStatus status) {
    return status == CleanupOutcomeStatus::moved ? Theme::mint : Theme::warning;
}

CleanupResultRow::CleanupResultRow(CleanupOutcome item, std::function<void()> reveal, QWidget* parent)
    : CardFrame(12, parent), item_(std::move(item)), revealAction_(std::move(reveal)) {
    auto* row = cardLayout(this, 12);
    symbol_ = new SymbolView(statusSymbol(item_.status), 17, statusColor(item_.status));
    auto* symbolColumn = new QVBoxLayout;
    symbolColumn->setContentsMargins(0, 1, 0, 0);
    symbolColumn->addWidget(symbol_);
    symbolColumn->addStretch();
    row->addLayout(symbolColumn);

    auto* column = new QVBoxLayout;
    column->setSpacing(8);
    auto* titleLine = new QHBoxLayout;
    title_ = titleText(displayText(item_.title), systemFont(12, QFont::Medium));
    status_ = fixedText(statusLabel(item_.status), systemFont(9, QFont::Medium), statusColor(item_.status));
    titleLine->addWidget(title_, 1, Qt::AlignTop);
    titleLine->addWidget(status_, 0, Qt::AlignTop);
    column->addLayout(titleLine);
    path_ = new CleanupExactPath(item_.url);
    column->addWidget(path_);
    message_ = wrapping(displayText(item_.message), systemFont(10), Theme::secondary);
    column->addWidget(message_);

    reveal_ = new ActionButton(QStringLiteral("Reveal in Trash"), QStringLiteral("arrow.up.forward.app"), [this] {
        if (revealAction_) revealAction_();
    });
    reveal_->setButtonStyle(std::make_shared<QuietButtonStyle>());
    reveal_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    column->addWidget(reveal_, 0, Qt::AlignLeft);
    row->addLayout(column, 1);
    setItem(item_);
}

void CleanupResultRow::setItem(const CleanupOutcome& item) {
    item_ = item;
    symbol_->setSymbol(statusSymbol(item_.status));
    symbol_->setTint(statusColor(item_.status));
    title_->setText(displayText(item_.title));
    status_->setText(statusLabel(item_.status));
    status_->setForeground(statusColor(item_.status));
    path_->setUrl(item_.url);
    message_->setText(displayText(item_.message));
    reveal_->setObjectName(QStringLiteral("cleanup-reveal-trash-") + displayText(item_.id));
    reveal_->setAccessibleName(QStringLiteral("Reveal ") + displayText(item_.title) + QStringLiteral(" in Trash"));
    reveal_->setVisible(item_.status == CleanupOutcomeStatus::moved && item_.trashURL.has_value());
}

QString CleanupResultRow::shownStatusText() const { return status_->text(); }

ActionButton* CleanupResultRow::revealButton() const {
    return item_.status == CleanupOutcomeStatus::moved && item_.trashURL ? reveal_ : nullptr;
}

} // namespace morvo
