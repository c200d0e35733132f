#include "Morvo/Applications/InventoryViews.h"

#include "Morvo/State/CleanupState.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/ListKeys.h"
#include "Morvo/Kit/Symbols.h"
#include "MorvoCore/Platform/Text.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace morvo {

QString inventoryText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString inventoryStatusCaption(const InventoryState& state) {
    if (state.isLoading()) return QStringLiteral("CHECKING THIS MAC");
    if (state.hasLoaded())
        return inventoryText(text::formatInteger(static_cast<std::int64_t>(state.result().apps.size()))) +
               QStringLiteral(" APPLICATIONS CHECKED");
    return QStringLiteral("READY TO SCAN");
}

std::string inventoryAddedMessage(std::size_t count) {
    return "Added " + std::to_string(count) + (count == 1 ? " item" : " items") +
           " to your cleanup queue. Review the queue before anything moves.";
}

QWidget* inventoryQueuedBadge() {
    auto* badge = new QWidget;
    auto* row = new QHBoxLayout(badge);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    row->addWidget(new SymbolView(QStringLiteral("checkmark"), 10, Theme::mint));
    row->addWidget(new TextLabel(QStringLiteral("Queued"), systemFont(9, QFont::Medium), Theme::mint));
    return badge;
}

namespace {

// The disclosure of the scan notes: a turning chevron and the title.
class DisclosureButton : public QAbstractButton {
public:
    explicit DisclosureButton(QWidget* parent = nullptr) : QAbstractButton(parent) {
        setCheckable(true);
        setChecked(false);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
        FocusRing::setShape(this, this, 5);
    }
    QSize sizeHint() const override {
        const QFontMetricsF fm(font_);
        return {static_cast<int>(std::ceil(24 + fm.horizontalAdvance(text()))), static_cast<int>(std::ceil(fm.height() + 6))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor color = Theme::warning();
        p.save();
        const QPointF centre(6, height() / 2.0);
        p.translate(centre);
        if (isChecked()) p.rotate(90);
        drawSymbol(p, QRectF(-6, -6, 12, 12), "chevron.right", 10, color);
        p.restore();
        p.setFont(font_);
        p.setPen(color);
        p.drawText(QRectF(18, 0, width() - 18, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }

private:
    QFont font_ = systemFont(10, QFont::Medium);
};

// The scroll area of the scan notes: as tall as its notes need at its width, at most `limit`.
class NotesScrollArea : public QScrollArea {
public:
    explicit NotesScrollArea(int limit) : limit_(limit) { setMaximumHeight(limit); }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        const QLayout* content = widget() ? widget()->layout() : nullptr;
        if (!content) return 0;
        return std::min(limit_, content->totalHeightForWidth(width));
    }
    QSize sizeHint() const override {
        const int width = this->width() > 0 ? this->width() : 400;
        return {width, heightForWidth(width)};
    }
    QSize minimumSizeHint() const override { return {0, std::min(limit_, 20)}; }

private:
    int limit_;
};

} // namespace

// ---------------------------------------------------------------------------------------------

InventoryWrappedText::InventoryWrappedText(const QString& text, const QFont& font, AdaptiveColor color, double lineSpacing,
                                           QWidget* parent)
    : TextLabel(text, font, color, parent) {
    setWordWrap(true);
    setLineSpacing(lineSpacing);
}

QSize InventoryWrappedText::minimumSizeHint() const {
    const QFontMetricsF metrics(font());
    return {static_cast<int>(std::ceil(metrics.averageCharWidth() * 8)), static_cast<int>(std::ceil(metrics.height()))};
}

// ---------------------------------------------------------------------------------------------

InventoryPageHeader::InventoryPageHeader(InventoryState& state, const QString& title, const QString& subtitle,
                                         QWidget* parent)
    : QWidget(parent), state_(state) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(20);

    auto* left = new QVBoxLayout;
    left->setSpacing(8);
    left->addWidget(new TextLabel(title, systemFont(27, QFont::Medium, FontDesign::standard, -0.8), Theme::text));
    auto* sub = new InventoryWrappedText(subtitle, systemFont(12), Theme::secondary, 3);
    left->addWidget(sub);
    locations_ = new TextLabel(QString(), systemFont(9), Theme::muted);
    locations_->setWordWrap(true);
    locations_->setMaximumLines(2);
    locations_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    left->addWidget(locations_);
    row->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    right->setSpacing(10);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    addFolder_ = new KitButton(std::make_shared<QuietButtonStyle>());
    addFolder_->addSymbol(QStringLiteral("folder.badge.plus"), 14);
    addFolder_->setToolTip(QStringLiteral("Check an additional applications folder"));
    addFolder_->setAccessibleName(QStringLiteral("Scan an additional applications folder"));
    connect(addFolder_, &QAbstractButton::clicked, this, [this] { state_.chooseApplicationsFolder(); });
    buttons->addWidget(addFolder_);
    scan_ = new KitButton(std::make_shared<AccentButtonStyle>());
    scan_->setObjectName(QStringLiteral("inventory-scan-applications"));
    scan_->addSymbol(QStringLiteral("magnifyingglass"), 13).addText(QStringLiteral("Scan applications"));
    connect(scan_, &QAbstractButton::clicked, this, [this] { state_.load(); });
    buttons->addWidget(scan_);
    right->addLayout(buttons);
    caption_ = new TextLabel(QString(), systemFont(8, QFont::DemiBold, FontDesign::standard, 1), Theme::muted);
    caption_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    right->addWidget(caption_, 0, Qt::AlignRight);
    right->addStretch(1);
    row->addLayout(right, 0);
    row->setAlignment(right, Qt::AlignTop);
    row->setAlignment(left, Qt::AlignTop);

    connect(&state_, &InventoryState::isLoadingChanged, this, &InventoryPageHeader::refresh);
    connect(&state_, &InventoryState::hasLoadedChanged, this, &InventoryPageHeader::refresh);
    connect(&state_, &InventoryState::resultChanged, this, &InventoryPageHeader::refresh);
    refresh();
}

QString InventoryPageHeader::scanTitle() const { return scan_->parts().at(1).value; }
QString InventoryPageHeader::scanSymbol() const { return scan_->parts().at(0).value; }
QString InventoryPageHeader::captionText() const { return caption_->text(); }
QString InventoryPageHeader::locationsText() const { return locations_->text(); }

void InventoryPageHeader::refresh() {
    const bool loading = state_.isLoading();
    addFolder_->setEnabled(!loading);
    scan_->setEnabled(!loading);
    const bool again = state_.hasLoaded();
    scan_->setPartText(0, again ? QStringLiteral("arrow.clockwise") : QStringLiteral("magnifyingglass"));
    scan_->setPartText(1, again ? QStringLiteral("Scan again") : QStringLiteral("Scan applications"));
    scan_->setAccessibleName(scanTitle());
    caption_->setText(inventoryStatusCaption(state_));
    // The folders change when one is added, which always starts a load.
    locations_->setText(QStringLiteral("Locations: ") + inventoryText(state_.locationsDescription()));
}

// ---------------------------------------------------------------------------------------------

InventoryInlineNote::InventoryInlineNote(const QString& symbol, const QString& text, AdaptiveColor color, QWidget* parent)
    : QWidget(parent), color_(color) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(7);
    icon_ = new SymbolView(symbol, 13, color);
    row->addWidget(icon_, 0, Qt::AlignTop);
    label_ = new InventoryWrappedText(text, systemFont(11), color, 3);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);  // the height follows the width it gets
    label_->setSizePolicy(policy);
    row->addWidget(label_, 1);
    setContent(symbol, text, color);
}

void InventoryInlineNote::setContent(const QString& symbol, const QString& text, AdaptiveColor color) {
    symbol_ = symbol;
    text_ = text;
    color_ = color;
    icon_->setSymbol(symbol);
    icon_->setTint(color);
    label_->setText(text);
    label_->setForeground(color);
    setAccessibleName(text);
    update();
}

void InventoryInlineNote::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(roundedRect(QRectF(rect()), 9), color_(0.05));
}

// ---------------------------------------------------------------------------------------------

InventoryScanNotice::InventoryScanNotice(InventoryState& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(9);

    auto* progress = new ThemedBackground(Theme::accent, 0.055);
    progress->setCornerRadius(9);
    progress_ = progress;
    auto* bar = new QHBoxLayout(progress_);
    bar->setContentsMargins(12, 12, 12, 12);
    bar->setSpacing(10);
    bar->addWidget(new SmallSpinner(16, 1.8));
    bar->addWidget(new TextLabel(QStringLiteral("Checking applications and related files…"), systemFont(11), Theme::secondary));
    bar->addStretch(1);
    cancel_ = new KitButton;
    cancel_->addText(QStringLiteral("Cancel"), systemFont(11), Theme::accent);
    cancel_->setCursor(Qt::PointingHandCursor);
    connect(cancel_, &QAbstractButton::clicked, this, [this] { state_.cancel(); });
    bar->addWidget(cancel_);
    stack->addWidget(progress_);

    note_ = new InventoryInlineNote(QStringLiteral("info.circle"), QString(), Theme::secondary);
    stack->addWidget(note_);

    notes_ = new QWidget;
    auto* notes = new QVBoxLayout(notes_);
    notes->setContentsMargins(3, 0, 3, 0);
    notes->setSpacing(0);
    notesToggle_ = new DisclosureButton;
    notes->addWidget(notesToggle_, 0, Qt::AlignLeft);
    notesArea_ = new NotesScrollArea(130);
    makeTransparent(notesArea_);
    showFocusRing(notesArea_);
    notesArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    notesArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    notesList_ = new QWidget;
    notesList_->setAutoFillBackground(false);
    auto* list = new QVBoxLayout(notesList_);
    list->setContentsMargins(0, 7, 0, 0);
    list->setSpacing(8);
    notesArea_->setWidget(notesList_);
    notesList_->setAutoFillBackground(false);  // setWidget turns it on
    notesArea_->setVisible(false);
    notes->addWidget(notesArea_);
    connect(notesToggle_, &QAbstractButton::toggled, notesArea_, &QWidget::setVisible);
    stack->addWidget(notes_);

    connect(&state_, &InventoryState::isLoadingChanged, this, &InventoryScanNotice::refreshMessage);
    connect(&state_, &InventoryState::errorMessageChanged, this, &InventoryScanNotice::refreshMessage);
    connect(&state_, &InventoryState::statusMessageChanged, this, &InventoryScanNotice::refreshMessage);
    connect(&state_, &InventoryState::resultChanged, this, &InventoryScanNotice::refreshNotes);
    refreshNotes();
    refreshMessage();
}

QString InventoryScanNotice::notesTitle() const { return notesToggle_->text(); }
bool InventoryScanNotice::notesExpanded() const { return notesToggle_->isChecked(); }

QStringList InventoryScanNotice::noteTexts() const {
    QStringList out;
    for (auto* text : notesList_->findChildren<SelectableText*>(QString(), Qt::FindDirectChildrenOnly)) out << text->text();
    return out;
}

void InventoryScanNotice::refreshMessage() {
    if (state_.isLoading()) {
        shown_ = Shown::progress;
    } else if (const auto& error = state_.errorMessage()) {
        shown_ = Shown::error;
        note_->setContent(QStringLiteral("exclamationmark.circle"), inventoryText(*error), Theme::warning);
    } else if (const auto& status = state_.statusMessage()) {
        shown_ = Shown::status;
        note_->setContent(QStringLiteral("info.circle"), inventoryText(*status), Theme::secondary);
    } else {
        shown_ = Shown::nothing;
    }
    progress_->setVisible(shown_ == Shown::progress);
    note_->setVisible(shown_ == Shown::error || shown_ == Shown::status);
    updateOwnVisibility();
}

void InventoryScanNotice::updateOwnVisibility() {
    // Nothing to show takes no room (and no spacing) in the screen's stack. Shown again only when
    // hidden here, so a notice not yet placed in a window never opens one of its own.
    const bool wanted = shown_ != Shown::nothing || !state_.result().warnings.empty();
    if (!wanted) hide();
    else if (isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide)) show();
}

void InventoryScanNotice::refreshNotes() {
    const auto& warnings = state_.result().warnings;
    for (auto* child : notesList_->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) delete child;
    auto* list = static_cast<QVBoxLayout*>(notesList_->layout());
    // One text per warning, by position, so equal warnings each get their own line.
    for (const auto& warning : warnings) {
        auto* text = new SelectableText(inventoryText(warning), systemFont(10), Theme::secondary, notesList_);
        list->addWidget(text);
    }
    notesArea_->updateGeometry();
    notesToggle_->setText(QStringLiteral("Scan notes · ") + QString::number(warnings.size()));
    notesToggle_->setAccessibleName(notesToggle_->text());
    notesToggle_->updateGeometry();
    notes_->setVisible(!warnings.empty());
    updateOwnVisibility();
}

// ---------------------------------------------------------------------------------------------

InventoryRelatedRow::InventoryRelatedRow(AppRelatedFile file, bool selected, bool disabled, bool queued,
                                         std::function<void()> toggle, QWidget* parent)
    : QWidget(parent), file_(std::move(file)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(13, 13, 13, 13);
    row->setSpacing(11);
    const QString title = inventoryText(file_.title);
    const QString path = inventoryText(file_.url.path);
    check_ = new StateCheckBox(std::move(toggle));
    check_->setText(QStringLiteral("Include ") + title);
    check_->setAccessibleName(QStringLiteral("Include ") + title + QStringLiteral(", ") + path);
    check_->setObjectName(QStringLiteral("inventory-include-") + path);
    row->addWidget(check_, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout;
    column->setSpacing(7);
    auto* line = new QHBoxLayout;
    line->setSpacing(0);
    line->addWidget(new TextLabel(title, systemFont(12, QFont::Medium), Theme::text));
    line->addSpacing(10);
    line->addStretch(1);
    queuedBadge_ = inventoryQueuedBadge();
    line->addWidget(queuedBadge_);
    kind_ = new TextLabel(inventoryText(morvo::title(file_.kind)), systemFont(9), Theme::muted);
    line->addWidget(kind_);
    column->addLayout(line);
    auto* reason = new InventoryWrappedText(inventoryText(file_.reason), systemFont(10), Theme::secondary, 3);
    column->addWidget(reason);
    if (!file_.caution.empty()) {
        caution_ = new InventoryWrappedText(inventoryText(file_.caution), systemFont(10), Theme::muted, 3);
        column->addWidget(caution_);
    }
    column->addWidget(new InventoryPath(file_.url));
    row->addLayout(column, 1);

    selected_ = !selected;  // forces the first update
    queued_ = !queued;
    setFlags(selected, disabled, queued);
}

void InventoryRelatedRow::setFlags(bool selected, bool disabled, bool queued) {
    check_->setSelected(selected);
    check_->setEnabled(!disabled);
    if (queued != queued_) {
        queued_ = queued;
        queuedBadge_->setVisible(queued);
        kind_->setVisible(!queued);
    }
    if (selected != selected_) {
        selected_ = selected;
        update();
    }
}

QString InventoryRelatedRow::trailingText() const {
    return queued_ ? QStringLiteral("Queued") : kind_->text();
}

void InventoryRelatedRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10);
    p.fillPath(shape, selected_ ? Theme::accent(0.055) : Theme::panel());
    p.setPen(QPen(selected_ ? Theme::accent(0.22) : Theme::border(), 1));
    p.drawPath(shape);
}

// ---------------------------------------------------------------------------------------------

QIcon InventoryAppIcon::platformIcon(const std::string& bundlePath) {
    QFileIconProvider provider;
    const QIcon icon = provider.icon(QFileInfo(QFile::decodeName(QByteArray::fromStdString(bundlePath))));
    if (icon.isNull()) return {};
    // A bundle with no icon of its own comes back as the plain folder icon; the placeholder
    // says "application" better than that does.
    const QIcon folder = provider.icon(QAbstractFileIconProvider::Folder);
    const QImage image = icon.pixmap(32).toImage();
    if (image.isNull()) return {};
    if (!folder.isNull() && image == folder.pixmap(32).toImage()) return {};
    return icon;
}

InventoryAppIcon::InventoryAppIcon(const InstalledApp& app, double size, QWidget* parent)
    : InventoryAppIcon(app, size, &InventoryAppIcon::platformIcon, parent) {}

InventoryAppIcon::InventoryAppIcon(const InstalledApp& app, double size, IconSource source, QWidget* parent)
    : QWidget(parent), path_(app.bundleURL.path), size_(size), source_(std::move(source)) {
    const int side = static_cast<int>(std::ceil(size));
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize InventoryAppIcon::sizeHint() const {
    const int side = static_cast<int>(std::ceil(size_));
    return {side, side};
}

void InventoryAppIcon::setApp(const InstalledApp& app) {
    if (app.bundleURL.path == path_) return;
    path_ = app.bundleURL.path;
    icon_ = QIcon();
    ++generation_;  // a fetch still pending for the old path is dropped
    fetchScheduled_ = false;
    update();
}

void InventoryAppIcon::scheduleFetch() {
    if (fetchScheduled_ || !source_) return;
    fetchScheduled_ = true;
    const unsigned generation = generation_;
    // A step of its own on the GUI thread; dropped with the view.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != generation_) return;
        icon_ = source_(path_);
        update();
    });
}

void InventoryAppIcon::paintEvent(QPaintEvent*) {
    scheduleFetch();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF square(0, 0, size_, size_);
    if (!icon_.isNull()) {
        const qreal ratio = devicePixelRatioF();
        const QPixmap pixmap = icon_.pixmap(QSize(static_cast<int>(std::ceil(size_)), static_cast<int>(std::ceil(size_))), ratio);
        QSizeF shown = pixmap.deviceIndependentSize();
        shown.scale(square.size(), Qt::KeepAspectRatio);
        const QRectF target(square.center().x() - shown.width() / 2, square.center().y() - shown.height() / 2,
                            shown.width(), shown.height());
        p.drawPixmap(target, pixmap, QRectF(pixmap.rect()));
        return;
    }
    p.fillPath(roundedRect(square, size_ * 0.22), Theme::accent(0.075));
    drawSymbol(p, square, "app.fill", size_ * 0.61, Theme::accent());
}

// ---------------------------------------------------------------------------------------------

InventoryEmptyState::InventoryEmptyState(const QString& symbol, const QString& title, const QString& message,
                                         QWidget* parent)
    : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(25, 25, 25, 25);
    stack->setSpacing(15);
    stack->addStretch(1);
    symbol_ = new SymbolView(symbol, 38, Theme::accent);
    symbol_->setTint(Theme::accent, 0.7);
    stack->addWidget(symbol_, 0, Qt::AlignHCenter);
    title_ = new TextLabel(title, systemFont(19, QFont::Medium, FontDesign::standard, -0.4), Theme::text);
    title_->setAlignment(Qt::AlignHCenter);
    stack->addWidget(title_, 0, Qt::AlignHCenter);
    message_ = new InventoryWrappedText(message, systemFont(12), Theme::secondary, 4);
    message_->setAlignment(Qt::AlignHCenter);
    message_->setMaximumWidth(390);
    // Centred between stretches rather than by alignment, so the text keeps the height its
    // wrapped lines need.
    auto* messageRow = new QHBoxLayout;
    messageRow->addStretch(1);
    messageRow->addWidget(message_, 100);
    messageRow->addStretch(1);
    stack->addLayout(messageRow);
    stack->addStretch(1);
    setContent(symbol, title, message);
}

void InventoryEmptyState::setContent(const QString& symbol, const QString& title, const QString& message) {
    symbol_->setSymbol(symbol);
    title_->setText(title);
    message_->setText(message);
    message_->updateGeometry();
}

QString InventoryEmptyState::symbol() const { return symbol_->symbol(); }
QString InventoryEmptyState::title() const { return title_->text(); }
QString InventoryEmptyState::message() const { return message_->text(); }

// ---------------------------------------------------------------------------------------------

InventoryWorkspace::InventoryWorkspace(InventoryState& state, CleanupState& cleanup, const QString& objectName,
                                       const QString& title, const QString& subtitle, QWidget* parent)
    : QWidget(parent), state_(state), cleanup_(cleanup), stack_(new QVBoxLayout(this)) {
    setObjectName(objectName);
    stack_->setContentsMargins(26, 26, 26, 26);
    stack_->setSpacing(18);
    header_ = new InventoryPageHeader(state_, title, subtitle);
    stack_->addWidget(header_);
    notice_ = new InventoryScanNotice(state_);
    stack_->addWidget(notice_);
}

bool InventoryWorkspace::isBusy() const {
    return state_.isLoading() || cleanup_.isPreparing() || cleanup_.isTrashing();
}

void InventoryWorkspace::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!state_.hasStartedInitialLoad()) state_.load();
}

void InventoryWorkspace::queue(const std::vector<CleanupCandidate>& candidates, const std::string& noneAdded) {
    if (candidates.empty()) {
        state_.setStatusMessage(noneAdded);
        return;
    }
    for (const auto& candidate : candidates) cleanup_.add(candidate);
    state_.setStatusMessage(inventoryAddedMessage(candidates.size()));
}

QScrollArea* inventoryRowsScrollArea() {
    auto* scroll = new QScrollArea;
    makeTransparent(scroll);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    new ListKeys(scroll, ListKeys::Rows{[](QWidget* w) { return qobject_cast<InventoryRelatedRow*>(w) != nullptr; },
                                        [](QWidget* row) -> QWidget* { return static_cast<InventoryRelatedRow*>(row)->checkBox(); },
                                        [](QWidget* row) {
                                            StateCheckBox* check = static_cast<InventoryRelatedRow*>(row)->checkBox();
                                            if (check->isEnabled()) check->click();
                                        }});
    return scroll;
}

} // namespace morvo
