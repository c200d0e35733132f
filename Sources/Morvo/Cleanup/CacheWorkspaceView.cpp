#include "Morvo/Cleanup/CacheWorkspaceView.h"

#include "Morvo/Cleanup/CacheEntryRow.h"
#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/Platform/Text.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>

#include "Morvo/Kit/ListKeys.h"
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_set>

namespace morvo {

// One summary card: title and symbol, the value, the subtitle.
class CacheMetricCard : public QWidget {
public:
    CacheMetricCard(const QString& title, const QString& subtitle, const QString& symbol, AdaptiveColor color) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(15, 15, 15, 15);
        column->setSpacing(11);
        auto* top = new QHBoxLayout;
        top->addWidget(new TextLabel(title, systemFont(8, QFont::DemiBold, FontDesign::standard, 1.1), Theme::muted));
        top->addStretch();
        top->addWidget(new SymbolView(symbol, 11, color));
        column->addLayout(top);
        value_ = new TextLabel(QString(), systemFont(23, QFont::Medium, FontDesign::rounded, -0.6), Theme::text);
        value_->setMinimumScaleFactor(0.75);
        column->addWidget(value_);
        subtitle_ = new TextLabel(subtitle, systemFont(9), Theme::secondary);
        subtitle_->setWordWrap(true);
        subtitle_->setMaximumLines(2);
        column->addWidget(subtitle_);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    }
    void set(const QString& value, const QString& subtitle) {
        value_->setText(value);
        subtitle_->setText(subtitle);
    }
    QString value() const { return value_->text(); }
    QString subtitle() const { return subtitle_->text(); }

protected:
    void paintEvent(QPaintEvent*) override {
        paintCard(*this, 12);
    }

private:
    TextLabel* value_;
    TextLabel* subtitle_;
};

// A message box: the symbol and the text in one colour on that colour at 0.05.
class CacheNoteBox : public QWidget {
public:
    CacheNoteBox() {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(12, 12, 12, 12);
        line_ = new SymbolLabel(QStringLiteral("info.circle"), QString(), 11, Theme::secondary);
        layout->addWidget(line_);
    }
    void set(const QString& text, AdaptiveColor color, const QString& symbol) {
        line_->setText(text);
        line_->setColor(color);
        line_->setSymbol(symbol);
        update();
    }
    QString text() const { return line_->text(); }
    AdaptiveColor color() const { return line_->color(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(roundedRect(QRectF(rect()), 9), line_->color()(0.05));
    }

private:
    SymbolLabel* line_;
};

namespace {

constexpr const char* standingText = "Caches may be rebuilt or downloaded again. Logs preserve diagnostic history.";

// A rounded background for plain containers (search box, progress row).
class RoundedBox : public QWidget {
public:
    RoundedBox(AdaptiveColor fill, double opacity, bool stroked) : fill_(fill), opacity_(opacity), stroked_(stroked) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 9);
        p.fillPath(shape, fill_(opacity_));
        if (stroked_) {
            p.setPen(QPen(Theme::border(), 1));
            p.drawPath(shape);
        }
    }

private:
    AdaptiveColor fill_;
    double opacity_;
    bool stroked_;
};

// A segment's label: 10 points clear of the segment's edge, so 8 inside the chosen fill.
class SegmentStyle : public PlainButtonStyle {
public:
    QMarginsF padding() const override { return {10, 0, 10, 0}; }
    // The ring goes around the chosen fill's shape, so it keeps to its own segment.
    QRectF focusRingRect(const QRectF& bounds) const override { return bounds.adjusted(2, 2, -2, -2); }
    double focusRingRadius() const override { return 6; }
};

// One segment of the area picker; the chosen one sits on a raised fill.
class Segment : public KitButton {
public:
    explicit Segment(const QString& title) : KitButton(std::make_shared<SegmentStyle>()) {
        // Every segment starts unchosen in the unchosen colour, so all unchosen ones match.
        addText(title, systemFont(11), Theme::secondary);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setContentHeight(24);
        setAccessibleName(title);
    }
    void setChosen(bool chosen) {
        if (chosen == chosen_) return;
        chosen_ = chosen;
        setPartColor(0, chosen ? Theme::text : Theme::secondary);
        update();
    }
    bool isChosen() const { return chosen_; }

protected:
    void paintExtraBackground(QPainter& p, const QRectF& rect) override {
        if (!chosen_) return;
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(roundedRect(rect.adjusted(2, 2, -2, -2), 6), Theme::accent(0.2));
        p.restore();
    }

private:
    bool chosen_ = false;
};

// The segments' track.
class SegmentTrack : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8);
        p.fillPath(shape, Theme::elevated());
        p.setPen(QPen(Theme::border(), 1));
        p.drawPath(shape);
    }
};

// The scan-notes label: a turning triangle and "Scan notes · N".
class DisclosureButton : public KitButton {
public:
    DisclosureButton() : KitButton(std::make_shared<PlainButtonStyle>()) {
        setOuterMargins(QMarginsF(14, 0, 0, 0));
        setCheckable(true);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        KitButton::paintEvent(event);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::warning());
        const QPointF c(5, height() / 2.0);
        QPolygonF triangle;
        if (isChecked()) triangle << QPointF(c.x() - 4, c.y() - 2) << QPointF(c.x() + 4, c.y() - 2) << QPointF(c.x(), c.y() + 3);
        else triangle << QPointF(c.x() - 2, c.y() - 4) << QPointF(c.x() - 2, c.y() + 4) << QPointF(c.x() + 3, c.y());
        p.drawPolygon(triangle);
    }
};

KitButton* accentButton(const QString& text, const QString& symbol, bool symbolFirst) {
    auto* button = new KitButton(std::make_shared<AccentButtonStyle>());
    if (symbolFirst) button->addSymbol(symbol, 12).addText(text);
    else button->addText(text).addSymbol(symbol, 12);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

} // namespace

CacheWorkspaceView::CacheWorkspaceView(CleanupDiscoveryState& state, CleanupState& cleanup, QWidget* parent)
    : QWidget(parent), state_(state), cleanup_(cleanup) {
    setObjectName(QStringLiteral("cache-workspace"));
    auto* body = new QVBoxLayout(this);
    body->setContentsMargins(26, 26, 26, 26);
    body->setSpacing(18);

    // Header.
    auto* header = new QHBoxLayout;
    header->setSpacing(20);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(8);
    titles->addWidget(new TextLabel(QStringLiteral("A fresh start, in the details."),
                                    systemFont(27, QFont::Medium, FontDesign::standard, -0.8), Theme::text));
    titles->addWidget(new TextLabel(QStringLiteral("App caches, logs, and developer caches found on your Mac."),
                                    systemFont(12), Theme::secondary));
    header->addLayout(titles);
    header->addStretch();
    scan_ = accentButton(QStringLiteral("Scan caches"), QStringLiteral("arrow.clockwise"), true);
    scan_->setObjectName(QStringLiteral("cache-scan"));
    connect(scan_, &QAbstractButton::clicked, this, [this] { state_.load(); });
    header->addWidget(scan_, 0, Qt::AlignTop);
    body->addLayout(header);

    // Scan notice: progress, error or status, and the scan notes.
    auto* notice = new QVBoxLayout;
    notice->setSpacing(9);
    progressRow_ = new RoundedBox(Theme::accent, 0.055, false);
    {
        auto* row = new QHBoxLayout(progressRow_);
        row->setContentsMargins(12, 12, 12, 12);
        row->setSpacing(11);
        row->addWidget(new SmallSpinner);
        progressText_ = new TextLabel(QString(), systemFont(11), Theme::secondary);
        row->addWidget(progressText_);
        row->addStretch();
        cancelScan_ = new KitButton(std::make_shared<PlainButtonStyle>());
        cancelScan_->addText(QStringLiteral("Cancel"), systemFont(11, QFont::Medium), Theme::accent);
        cancelScan_->setObjectName(QStringLiteral("cache-cancel-scan"));
        cancelScan_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(cancelScan_, &QAbstractButton::clicked, this, [this] { state_.cancel(); });
        row->addWidget(cancelScan_);
    }
    notice->addWidget(progressRow_);
    noteBox_ = new CacheNoteBox;
    notice->addWidget(noteBox_);
    scanNotes_ = new QWidget;
    {
        auto* column = new QVBoxLayout(scanNotes_);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        scanNotesToggle_ = new DisclosureButton;
        scanNotesToggle_->addText(QString(), systemFont(10, QFont::Medium), Theme::warning);
        column->addWidget(scanNotesToggle_, 0, Qt::AlignLeft);
        scanNotesList_ = new QScrollArea;
        scanNotesList_->setFrameShape(QFrame::NoFrame);
        showFocusRing(scanNotesList_);
        scanNotesList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scanNotesList_->setWidgetResizable(true);
        scanNotesList_->viewport()->setAutoFillBackground(false);
        scanNotesContent_ = new QWidget;
        auto* lines = new QVBoxLayout(scanNotesContent_);
        lines->setContentsMargins(0, 8, 0, 0);
        lines->setSpacing(8);
        lines->addStretch();
        scanNotesList_->setWidget(scanNotesContent_);
        scanNotesContent_->setAutoFillBackground(false);
        scanNotesList_->setVisible(false);
        column->addWidget(scanNotesList_);
        connect(scanNotesToggle_, &QAbstractButton::toggled, this, [this](bool open) {
            scanNotesList_->setVisible(open);
            updateNotice();
        });
    }
    notice->addWidget(scanNotes_);
    body->addLayout(notice);

    // Summary cards.
    auto* summaries = new QHBoxLayout;
    summaries->setSpacing(14);
    cards_[0] = new CacheMetricCard(QStringLiteral("MEASURED SIZE"), QStringLiteral("Logical size, before review"),
                                    QStringLiteral("chart.pie"), Theme::accent);
    cards_[1] = new CacheMetricCard(QStringLiteral("LOCATIONS FOUND"), QStringLiteral("Only locations present on this Mac"),
                                    QStringLiteral("folder"), Theme::mint);
    cards_[2] = new CacheMetricCard(QStringLiteral("YOUR SELECTION"), QString(), QStringLiteral("checkmark.circle"),
                                    Theme::warning);
    for (auto* card : cards_) summaries->addWidget(card, 1);
    body->addLayout(summaries);

    // Search and area filter.
    auto* filters = new QHBoxLayout;
    filters->setSpacing(18);
    auto* searchBox = new RoundedBox(Theme::panel, 1.0, true);
    {
        auto* row = new QHBoxLayout(searchBox);
        row->setContentsMargins(12, 12, 12, 12);
        row->setSpacing(9);
        row->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), 13, Theme::muted));
        search_ = makeSearchField(QStringLiteral("cache-search"), QStringLiteral("Search cache locations"),
                                  QStringLiteral("Find a cache, app, or path…"), 12);
        connect(search_, &QLineEdit::textEdited, this, [this](const QString& text) { state_.setQuery(text.toStdString()); });
        row->addWidget(search_, 1);
        clearSearch_ = new KitButton(std::make_shared<PlainButtonStyle>());
        clearSearch_->addSymbol(QStringLiteral("xmark.circle.fill"), 13, Theme::muted);
        clearSearch_->setAccessibleName(QStringLiteral("Clear cache search"));
        clearSearch_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(clearSearch_, &QAbstractButton::clicked, this, [this] { state_.setQuery(std::string()); });
        row->addWidget(clearSearch_);
    }
    FocusRing::setShape(search_, searchBox, 9);
    filters->addWidget(searchBox, 1);

    picker_ = new QWidget;
    picker_->setObjectName(QStringLiteral("cache-category"));
    picker_->setAccessibleName(QStringLiteral("Cache category"));
    picker_->setFixedWidth(335);
    {
        auto* row = new QHBoxLayout(picker_);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(6);
        row->addWidget(new TextLabel(QStringLiteral("Cache category"), systemFont(11), Theme::secondary));
        auto* track = new SegmentTrack;
        auto* segments = new QHBoxLayout(track);
        segments->setContentsMargins(2, 2, 2, 2);
        segments->setSpacing(0);
        const std::pair<QString, std::optional<CleanupArea>> options[] = {
            {QStringLiteral("All"), std::nullopt},
            {QStringLiteral("App caches"), CleanupArea::caches},
            {QStringLiteral("Logs"), CleanupArea::logs},
            {QStringLiteral("Developer"), CleanupArea::developer},
        };
        for (const auto& [title, area] : options) {
            auto* segment = new Segment(title);
            connect(segment, &QAbstractButton::clicked, this, [this, area = area] { state_.setArea(area); });
            segments->addWidget(segment);
            segments_.push_back(segment);
        }
        row->addWidget(track, 1);
    }
    filters->addWidget(picker_);
    body->addLayout(filters);

    // List header, list and empty state.
    listHeader_ = new QWidget;
    {
        auto* row = new QHBoxLayout(listHeader_);
        row->setContentsMargins(0, 0, 0, 0);
        listCount_ = new TextLabel(QString(), systemFont(11, QFont::Medium), Theme::text);
        row->addWidget(listCount_);
        row->addStretch();
        row->addWidget(new TextLabel(QStringLiteral("LARGEST FIRST"), systemFont(8, QFont::DemiBold, FontDesign::standard, 1.1),
                                     Theme::muted));
    }
    body->addWidget(listHeader_);
    list_ = new QScrollArea;
    new ListKeys(list_, ListKeys::Rows{[](QWidget* w) { return qobject_cast<CacheEntryRow*>(w) != nullptr; },
                                       [](QWidget* row) -> QWidget* {
                                           auto* entry = static_cast<CacheEntryRow*>(row);
                                           // A blocked entry cannot be ticked: its reveal button takes the focus.
                                           if (entry->checkBox()->isEnabled()) return entry->checkBox();
                                           return entry->revealButton();
                                       },
                                       [](QWidget* row) {
                                           StateCheckBox* check = static_cast<CacheEntryRow*>(row)->checkBox();
                                           if (check->isEnabled()) check->click();
                                       }});
    list_->setFocusPolicy(Qt::NoFocus);  // its rows take the focus
    list_->setFrameShape(QFrame::NoFrame);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setWidgetResizable(true);
    list_->viewport()->setAutoFillBackground(false);
    auto* listContent = new QWidget;
    auto* listColumn = new QVBoxLayout(listContent);
    listColumn->setContentsMargins(0, 0, 0, 5);
    rows_ = new RowStack(8);
    listColumn->addWidget(rows_);
    listColumn->addStretch();
    list_->setWidget(listContent);
    listContent->setAutoFillBackground(false);
    body->addWidget(list_, 1);

    empty_ = new QWidget;
    {
        auto* outer = new QVBoxLayout(empty_);
        outer->setContentsMargins(25, 25, 25, 25);
        outer->setSpacing(14);
        outer->addStretch();
        emptySymbol_ = new SymbolView(QString(), 35, Theme::accent);
        emptySymbol_->setTint(Theme::accent, 0.65);
        outer->addWidget(emptySymbol_, 0, Qt::AlignHCenter);
        emptyTitle_ = new TextLabel(QString(), systemFont(18, QFont::Medium, FontDesign::standard, -0.3), Theme::text);
        emptyTitle_->setAlignment(Qt::AlignHCenter);
        outer->addWidget(emptyTitle_, 0, Qt::AlignHCenter);
        emptyMessage_ = new TextLabel(QString(), systemFont(12), Theme::secondary);
        emptyMessage_->setAlignment(Qt::AlignHCenter);
        emptyMessage_->setWordWrap(true);
        emptyMessage_->setLineSpacing(4);
        emptyMessage_->setMaximumWidth(410);
        // Centred between stretches rather than by alignment, so that the layout gives the text
        // the height of its wrapped lines at the width it is drawn at.
        auto* messageRow = new QHBoxLayout;
        messageRow->addStretch(1);
        messageRow->addWidget(emptyMessage_, 100);
        messageRow->addStretch(1);
        outer->addLayout(messageRow);
        outer->addStretch();
    }
    body->addWidget(empty_, 1);

    // Footer.
    auto* footer = new QWidget;
    {
        auto* row = new QHBoxLayout(footer);
        row->setContentsMargins(0, 16, 0, 0);
        row->setSpacing(18);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(6);
        texts->addWidget(new TextLabel(QStringLiteral("Choose what to review."), systemFont(12, QFont::Medium), Theme::text));
        auto* standing = new TextLabel(QString::fromUtf8(standingText), systemFont(10), Theme::secondary);
        standing->setWordWrap(true);
        texts->addWidget(standing);
        row->addLayout(texts, 1);
        clearSelection_ = new KitButton(std::make_shared<PlainButtonStyle>());
        clearSelection_->addText(QStringLiteral("Clear selection"), systemFont(10), Theme::secondary);
        clearSelection_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(clearSelection_, &QAbstractButton::clicked, this, [this] { state_.setSelectedIDs({}); });
        row->addWidget(clearSelection_);
        add_ = accentButton(QStringLiteral("Add 0 to queue"), QStringLiteral("plus"), true);
        add_->setObjectName(QStringLiteral("cache-add-to-queue"));
        connect(add_, &QAbstractButton::clicked, this, [this] { state_.queueSelected(cleanup_); });
        row->addWidget(add_);
    }
    auto* rule = new Hairline(Qt::Horizontal);
    auto* footerBox = new QVBoxLayout;
    footerBox->setSpacing(0);
    footerBox->addWidget(rule);
    footerBox->addWidget(footer);
    body->addLayout(footerBox);

    for (auto signal : std::initializer_list<CleanupDiscoveryState::Signal>{&CleanupDiscoveryState::resultChanged,
                                                                            &CleanupDiscoveryState::hasLoadedChanged,
                                                                            &CleanupDiscoveryState::isLoadingChanged,
                                                                            &CleanupDiscoveryState::errorMessageChanged,
                                                                            &CleanupDiscoveryState::statusMessageChanged,
                                                                            &CleanupDiscoveryState::queryChanged,
                                                                            &CleanupDiscoveryState::areaChanged,
                                                                            &CleanupDiscoveryState::selectedIDsChanged,
                                                                            &CleanupDiscoveryState::runningBundleIdentifiersChanged})
        connect(&state_, signal, this, &CacheWorkspaceView::refresh);
    for (auto signal : {&CleanupState::queueChanged, &CleanupState::isPreparingChanged, &CleanupState::isTrashingChanged})
        connect(&cleanup_, signal, this, &CacheWorkspaceView::refresh);
    // A new search or area is a new list: it opens at its first card, not at the old offset.
    for (auto signal : {&CleanupDiscoveryState::queryChanged, &CleanupDiscoveryState::areaChanged})
        connect(&state_, signal, this, [this] { list_->ensureVisible(0, 0, 0, 0); });
    refresh();
}

void CacheWorkspaceView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!state_.hasStartedInitialLoad()) state_.load();
}

bool CacheWorkspaceView::isBusy() const { return state_.isLoading() || cleanup_.isPreparing() || cleanup_.isTrashing(); }

std::int64_t CacheWorkspaceView::pendingCount() const {
    std::unordered_set<std::string> queued;
    for (const auto& candidate : cleanup_.queue()) queued.insert(candidate.url.path);
    std::int64_t count = 0;
    for (const auto& entry : state_.selectedEntries())
        if (!queued.count(entry.url.path)) ++count;
    return count;
}

void CacheWorkspaceView::refresh() {
    updateHeader();
    updateNotice();
    updateCards();
    updateFilters();
    updateList();
    updateFooter();
}

void CacheWorkspaceView::updateHeader() { scan_->setEnabled(!isBusy()); }

void CacheWorkspaceView::updateNotice() {
    const bool loading = state_.isLoading();
    progressRow_->setVisible(loading);
    progressText_->setText(!loading ? QString()
                           : state_.hasLoaded()
                               ? QStringLiteral("Checking cache locations… showing previous results until complete.")
                               : QStringLiteral("Checking cache locations on this Mac…"));
    if (!loading && state_.errorMessage()) {
        noteBox_->set(displayText(*state_.errorMessage()), Theme::warning, QStringLiteral("exclamationmark.circle"));
        noteBox_->setVisible(true);
    } else if (!loading && state_.statusMessage()) {
        noteBox_->set(displayText(*state_.statusMessage()), Theme::secondary, QStringLiteral("info.circle"));
        noteBox_->setVisible(true);
    } else {
        noteBox_->setVisible(false);
    }

    const auto& warnings = state_.result().warnings;
    scanNotes_->setVisible(!warnings.empty());
    scanNotesToggle_->setPartText(0, QStringLiteral("Scan notes \u00B7 %1").arg(static_cast<qlonglong>(warnings.size())));
    if (warnings != shownWarnings_) {
        for (TextLabel* label : warningLabels_) label->deleteLater();
        warningLabels_.clear();
        auto* lines = static_cast<QVBoxLayout*>(scanNotesContent_->layout());
        for (std::size_t i = 0; i < warnings.size(); ++i) {
            auto* label = new TextLabel(displayText(warnings[i]), systemFont(10), Theme::secondary);
            label->setWordWrap(true);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            lines->insertWidget(static_cast<int>(i), label);
            warningLabels_.push_back(label);
        }
        shownWarnings_ = warnings;
    }
    // At most 110 points tall; shorter lists take only what they need.
    const int width = std::max(200, this->width() - 52);
    scanNotesList_->setFixedHeight(std::min(110, scanNotesContent_->layout()->heightForWidth(width) > 0
                                                     ? scanNotesContent_->layout()->heightForWidth(width)
                                                     : scanNotesContent_->sizeHint().height()));
}

void CacheWorkspaceView::updateCards() {
    const bool loaded = state_.hasLoaded();
    cards_[0]->set(loaded ? formatByteCount(state_.totalBytes()) : QStringLiteral("\u2014"),
                   QStringLiteral("Logical size, before review"));
    cards_[1]->set(loaded ? displayText(text::formatInteger(static_cast<std::int64_t>(state_.result().entries.size())))
                          : QStringLiteral("\u2014"),
                   QStringLiteral("Only locations present on this Mac"));
    const auto selected = static_cast<std::int64_t>(state_.selectedEntries().size());
    cards_[2]->set(displayText(text::formatInteger(selected)) + QStringLiteral(" items"),
                   formatByteCount(state_.selectedBytes()) + QStringLiteral(" logical size"));
}

void CacheWorkspaceView::updateFilters() {
    const QString query = displayText(state_.query());
    if (search_->text() != query) search_->setText(query);
    clearSearch_->setVisible(!state_.query().empty());
    const auto& area = state_.area();
    const std::optional<CleanupArea> values[] = {std::nullopt, CleanupArea::caches, CleanupArea::logs,
                                                 CleanupArea::developer};
    for (std::size_t i = 0; i < segments_.size(); ++i) static_cast<Segment*>(segments_[i])->setChosen(values[i] == area);
}

void CacheWorkspaceView::updateList() {
    const auto entries = state_.filteredEntries();
    const bool empty = entries.empty();
    listHeader_->setVisible(!empty);
    list_->setVisible(!empty);
    empty_->setVisible(empty);
    listCount_->setText(countText(static_cast<std::int64_t>(entries.size()), QStringLiteral("location"),
                                  QStringLiteral("locations")));
    if (state_.isLoading()) {
        emptySymbol_->setSymbol(QStringLiteral("sparkle.magnifyingglass"));
        emptyTitle_->setText(QStringLiteral("Looking beneath the surface…"));
        emptyMessage_->setText(QStringLiteral("Morvo is reading file names and sizes."));
    } else if (state_.hasLoaded()) {
        emptySymbol_->setSymbol(QStringLiteral("square.stack.3d.up"));
        emptyTitle_->setText(QStringLiteral("No matches in this view."));
        emptyMessage_->setText(QStringLiteral(
            "Try another search or category. Scan notes explain any locations that couldn\u2019t be read."));
    } else {
        emptySymbol_->setSymbol(QStringLiteral("square.stack.3d.up"));
        emptyTitle_->setText(QStringLiteral("Your cache locations, in view."));
        emptyMessage_->setText(QStringLiteral("Scan caches to find the locations that exist on this Mac."));
    }

    // One lookup table per refresh, so a list of thousands costs one pass.
    std::unordered_set<std::string> queued;
    for (const auto& candidate : cleanup_.queue()) queued.insert(candidate.url.path);
    const auto& selected = state_.selectedIDs();
    const bool busy = isBusy();
    std::vector<std::string> ids;
    ids.reserve(entries.size());
    for (const auto& entry : entries) ids.push_back(entry.url.path);
    rows_->sync(
        ids,
        [&](std::size_t i) -> QWidget* {
            const CleanupDiscoveryEntry& entry = entries[i];
            const std::string id = entry.url.path;
            const Url url = entry.url;
            return new CacheEntryRow(
                entry, selected.count(id) > 0, state_.blockedReason(entry), busy, queued.count(id) > 0,
                [this, id] { state_.toggle(id); }, [this, url] { cleanup_.workspace().reveal({url}); },
                [this](const Url& link) { cleanup_.workspace().open(link); });
        },
        [&](QWidget* widget, std::size_t i) {
            const CleanupDiscoveryEntry& entry = entries[i];
            auto* row = static_cast<CacheEntryRow*>(widget);
            row->setEntry(entry);
            row->setState(selected.count(entry.url.path) > 0, state_.blockedReason(entry), busy,
                          queued.count(entry.url.path) > 0);
        });
}

void CacheWorkspaceView::updateFooter() {
    const bool busy = isBusy();
    const std::int64_t pending = pendingCount();
    clearSelection_->setVisible(!state_.selectedIDs().empty());
    clearSelection_->setEnabled(!busy);
    add_->setPartText(1, QStringLiteral("Add %1 to queue").arg(static_cast<qlonglong>(pending)));
    add_->setEnabled(pending > 0 && !busy);
}

QString CacheWorkspaceView::cardValue(int card) const { return cards_[card]->value(); }
QString CacheWorkspaceView::cardSubtitle(int card) const { return cards_[card]->subtitle(); }
QAbstractButton* CacheWorkspaceView::areaSegment(int index) const { return segments_.at(static_cast<std::size_t>(index)); }
QString CacheWorkspaceView::progressText() const { return progressRow_->isHidden() ? QString() : progressText_->text(); }
QString CacheWorkspaceView::noteText() const { return noteBox_->isHidden() ? QString() : noteBox_->text(); }
bool CacheWorkspaceView::noteIsError() const { return !noteBox_->isHidden() && noteBox_->color() == Theme::warning; }
QAbstractButton* CacheWorkspaceView::scanNotesToggle() const { return scanNotesToggle_; }
bool CacheWorkspaceView::scanNotesShown() const { return !scanNotes_->isHidden(); }
bool CacheWorkspaceView::scanNotesExpanded() const { return !scanNotesList_->isHidden(); }

std::vector<QString> CacheWorkspaceView::scanNoteTexts() const {
    std::vector<QString> texts;
    for (TextLabel* label : warningLabels_) texts.push_back(label->text());
    return texts;
}

QString CacheWorkspaceView::listCountText() const { return listHeader_->isHidden() ? QString() : listCount_->text(); }
bool CacheWorkspaceView::isShowingEmptyState() const { return !empty_->isHidden(); }
QString CacheWorkspaceView::emptyTitle() const { return emptyTitle_->text(); }
QString CacheWorkspaceView::emptyMessage() const { return emptyMessage_->text(); }
CacheEntryRow* CacheWorkspaceView::row(const std::string& id) const { return static_cast<CacheEntryRow*>(rows_->row(id)); }
std::vector<std::string> CacheWorkspaceView::rowIDs() const { return rows_->ids(); }

} // namespace morvo
