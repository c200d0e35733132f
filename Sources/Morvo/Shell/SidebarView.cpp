#include "Morvo/Shell/SidebarView.h"

#include "Morvo/State/AppState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Platform/Fonts.h"
#include "MorvoCore/Platform/Text.h"

#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace morvo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

const char* sectionSymbol(AppSection section) {
    switch (section) {
    case AppSection::overview: return "square.grid.2x2";
    case AppSection::largeFiles: return "doc.text.magnifyingglass";
    case AppSection::cleanup: return "tray";
    case AppSection::caches: return "externaldrive.badge.timemachine";
    case AppSection::applications: return "square.stack.3d.up";
    case AppSection::leftovers: return "sparkles";
    }
    return "square.grid.2x2";
}

constexpr int kRowOuter = 12; // the row button's horizontal padding
constexpr int kLabelPadding = 13;

// A plain row of the sidebar's foot (Appearance, About Morvo).
class FootRow : public KitButton {
public:
    explicit FootRow(QWidget* parent) : KitButton(nullptr, parent) {}
};

} // namespace

// ---------------------------------------------------------------------------------------------

SidebarRow::SidebarRow(Kind kind, QString title, QString symbol, QWidget* parent)
    : QAbstractButton(parent), kind_(kind), title_(std::move(title)), symbol_(std::move(symbol)) {
    setAccessibleName(title_);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(kind_ == Kind::section ? 38 + 3 : 34);
}

void SidebarRow::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

void SidebarRow::setCategory(FileCategory category) {
    category_ = category;
    update();
}

void SidebarRow::setTotalText(QString text) {
    if (total_ == text) return;
    total_ = std::move(text);
    update();
}

QSize SidebarRow::sizeHint() const { return {205, height()}; }

QRectF SidebarRow::labelRect() const {
    const double labelHeight = kind_ == Kind::section ? 38 : 34;
    return QRectF(kRowOuter, 0, width() - 2 * kRowOuter, labelHeight);
}

void SidebarRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF label = labelRect();
    if (selected_) p.fillPath(roundedRect(label, 8), kind_ == Kind::section ? Theme::accent(0.09) : Theme::elevated());
    const QRectF content = label.adjusted(kLabelPadding, 0, -kLabelPadding, 0);

    if (kind_ == Kind::section) {
        const QColor fg = selected_ ? Theme::accent() : Theme::secondary();
        drawSymbol(p, QRectF(content.left(), content.top(), 16, content.height()), symbol_.toStdString(), 13, fg);
        const double textX = content.left() + 16 + 11;
        const double dotSpace = selected_ ? 4 + 8 : 0;
        p.setFont(systemFont(12, selected_ ? QFont::Medium : QFont::Normal));
        p.setPen(fg);
        const QRectF textRect(textX, content.top(), content.right() - textX - dotSpace, content.height());
        p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                   p.fontMetrics().elidedText(title_, Qt::ElideRight, static_cast<int>(textRect.width())));
        if (selected_) {
            p.setPen(Qt::NoPen);
            p.setBrush(Theme::accent());
            p.drawEllipse(QPointF(content.right() - 2, content.center().y()), 2, 2);
        }
    } else {
        const QColor fg = selected_ ? Theme::text() : Theme::secondary();
        p.setPen(Qt::NoPen);
        p.setBrush(tint(category_)());
        p.drawEllipse(QPointF(content.left() + 6, content.center().y()), 3, 3);
        const double textX = content.left() + 12 + 8;
        double right = content.right();
        if (!total_.isEmpty()) {
            const QFont mono = monospacedFont(8);
            p.setFont(mono);
            p.setPen(Theme::muted());
            const double w = QFontMetricsF(mono).horizontalAdvance(total_);
            p.drawText(QRectF(right - w - 1, content.top(), w + 1, content.height()), Qt::AlignVCenter | Qt::AlignRight,
                       total_);
            right -= w + 8;
        }
        p.setFont(systemFont(11));
        p.setPen(fg);
        const QRectF textRect(textX, content.top(), std::max(0.0, right - textX), content.height());
        p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                   p.fontMetrics().elidedText(title_, Qt::ElideRight, static_cast<int>(textRect.width())));
    }
}

// ---------------------------------------------------------------------------------------------

SidebarView::SidebarView(AppState& state, std::function<void()> openSettings, QWidget* parent)
    : QWidget(parent), state_(state), openSettings_(std::move(openSettings)) {
    setObjectName(QString());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Brand header.
    auto* brand = new QHBoxLayout();
    brand_ = brand;
    brand->setContentsMargins(24, 29, 0, 25);
    brand->setSpacing(10);
    brand->addWidget(new MorvoMark(34, this));
    brand->addWidget(new TextLabel(QStringLiteral("morvo"), systemFont(26, QFont::DemiBold, FontDesign::rounded, -1),
                                   Theme::text, this));
    brand->addStretch();
    column->addLayout(brand);

    // Navigation list.
    auto* scroll = new QScrollArea(this);
    QWidget* list = transparentScrollContent(scroll);
    list_ = list;
    auto* rows = new QVBoxLayout(list);
    rows_ = rows;
    rows->setContentsMargins(0, 0, 0, 18);
    rows->setSpacing(0);

    auto addCaption = [&](const char* text, int top, int bottom) {
        auto* eyebrow = new SectionEyebrow(QString::fromUtf8(text), list);
        eyebrow->setContentsMargins(0, 0, 0, 0);
        rows->addSpacing(top);
        if (top > 0) captionGaps_.push_back(rows->itemAt(rows->count() - 1)->spacerItem());
        auto* line = new QHBoxLayout();
        line->setContentsMargins(25, 0, 0, 0);
        line->addWidget(eyebrow);
        rows->addLayout(line);
        rows->addSpacing(bottom);
    };
    auto addSection = [&](AppSection section) {
        auto* row = new SidebarRow(SidebarRow::Kind::section, qs(rawValue(section)), QString::fromLatin1(sectionSymbol(section)), list);
        connect(row, &QAbstractButton::clicked, this, [this, section] {
            state_.setSection(section);
            state_.setCategory(std::nullopt);
        });
        sectionRows_.emplace_back(section, row);
        rows->addWidget(row);
    };

    addCaption("Workspace", 0, 12);
    addSection(AppSection::overview);
    addSection(AppSection::largeFiles);
    addCaption("Make room", 22, 10);
    for (AppSection s : {AppSection::cleanup, AppSection::caches, AppSection::applications, AppSection::leftovers})
        addSection(s);
    addCaption("Collections", 22, 10);
    for (FileCategory category : allFileCategories) {
        auto* row = new SidebarRow(SidebarRow::Kind::category, qs(displayName(category)), QString(), list);
        row->setCategory(category);
        connect(row, &QAbstractButton::clicked, this, [this, category] { state_.showFiles(category); });
        categoryRows_.emplace_back(category, row);
        rows->addWidget(row);
    }
    rows->addStretch();
    column->addWidget(scroll, 1);

    // Scan card.
    card_ = new ScanCard(state_, this);
    auto* cardLine = new QHBoxLayout();
    cardLine_ = cardLine;
    cardLine->setContentsMargins(16, 0, 16, 20);
    cardLine->addWidget(card_);
    column->addLayout(cardLine);

    // Appearance row.
    auto* appearance = new FootRow(this);
    appearance->setSpacing(9);
    const QFont rowFont = systemFont(11);
    appearance->addSymbol(QStringLiteral("paintpalette"), 11, Theme::secondary)
        .addText(QStringLiteral("Appearance"), rowFont, Theme::secondary)
        .addSpacer()
        .addSymbol(QStringLiteral("gearshape"), 10, Theme::secondary);
    appearance->setOuterMargins(QMarginsF(24, 0, 24, 15));
    appearance->setToolTip(QStringLiteral("Choose Light or Dark appearance (Ctrl+,)"));
    connect(appearance, &QAbstractButton::clicked, this, [this] {
        if (openSettings_) openSettings_();
    });
    column->addWidget(appearance);

    // About row.
    auto* about = new FootRow(this);
    about->addSymbol(QStringLiteral("sparkle"), 11, Theme::muted)
        .addText(QStringLiteral("About Morvo"), rowFont, Theme::muted)
        .addSpacer()
        .addText(QStringLiteral(MORVO_SHORT_VERSION), monospacedFont(10), Theme::muted);
    about->setAccessibleName(QStringLiteral("About Morvo"));
    about->setOuterMargins(QMarginsF(24, 0, 24, 22));
    connect(about, &QAbstractButton::clicked, this, [this] { state_.setSheet(AppSheet::about); });
    column->addWidget(about);

    appearanceRow_ = appearance;
    aboutRow_ = about;

    connect(&state_, &AppState::sectionChanged, this, &SidebarView::refreshSelection);
    connect(&state_, &AppState::categoryChanged, this, &SidebarView::refreshSelection);
    connect(&state_, &AppState::categoryTotalsChanged, this, &SidebarView::refreshTotals);
    refreshSelection();
    refreshTotals();
}

SidebarRow* SidebarView::sectionRow(AppSection section) const {
    for (const auto& [s, row] : sectionRows_)
        if (s == section) return row;
    return nullptr;
}

SidebarRow* SidebarView::categoryRow(FileCategory category) const {
    for (const auto& [c, row] : categoryRows_)
        if (c == category) return row;
    return nullptr;
}

void SidebarView::refreshSelection() {
    const AppSection current = state_.section();
    const auto category = state_.category();
    for (const auto& [section, row] : sectionRows_) {
        const bool workspaceRow = section == AppSection::overview || section == AppSection::largeFiles;
        // While a category filter is set its row is the highlighted one, not the workspace row.
        row->setSelected(section == current && (!workspaceRow || !category));
    }
    for (const auto& [c, row] : categoryRows_) row->setSelected(category == c);
}

void SidebarView::refreshTotals() {
    const auto& totals = state_.categoryTotals();
    for (const auto& [c, row] : categoryRows_) {
        auto it = totals.find(c);
        row->setTotalText(it != totals.end() && it->second > 0 ? formatByteCount(it->second) : QString());
    }
}

void SidebarView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::sidebar());
}

namespace {
// The vertical gaps of the column: brand top and bottom, above "Make room" and above
// "Collections", under the list, under the card, under the Appearance and the About rows.
constexpr int kBrandTop = 29, kBrandBottom = 25, kCaptionTop = 22, kListBottom = 18, kCardBottom = 20,
              kAppearanceBottom = 15, kAboutBottom = 22;
constexpr int kGaps = kBrandTop + kBrandBottom + 2 * kCaptionTop + kListBottom + kCardBottom + kAppearanceBottom + kAboutBottom;
constexpr double kSmallestGapScale = 0.5;
int scaled(int gap, double scale) { return static_cast<int>(std::lround(gap * scale)); }
} // namespace

void SidebarView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitGaps();
}

void SidebarView::fitGaps() {
    // Everything but the gaps, measured at the gaps now applied.
    int gapsNow = 0;
    for (QSpacerItem* gap : captionGaps_) gapsNow += gap->sizeHint().height();
    gapsNow += rows_->contentsMargins().bottom();
    const int listWithoutGaps = list_->sizeHint().height() - gapsNow;
    const int brandWithoutGaps = brand_->sizeHint().height() - brand_->contentsMargins().top() - brand_->contentsMargins().bottom();
    const int rowsWithoutGaps = appearanceRow_->sizeHint().height() - scaled(kAppearanceBottom, gapScale_) +
                                aboutRow_->sizeHint().height() - scaled(kAboutBottom, gapScale_);
    const int fixed = brandWithoutGaps + listWithoutGaps + card_->sizeHint().height() + rowsWithoutGaps;
    const double room = static_cast<double>(height() - fixed) / kGaps;
    applyGaps(std::clamp(room, kSmallestGapScale, 1.0));
}

void SidebarView::applyGaps(double scale) {
    if (std::abs(scale - gapScale_) < 1e-3) return;
    gapScale_ = scale;
    brand_->setContentsMargins(24, scaled(kBrandTop, scale), 0, scaled(kBrandBottom, scale));
    for (QSpacerItem* gap : captionGaps_) gap->changeSize(0, scaled(kCaptionTop, scale), QSizePolicy::Minimum, QSizePolicy::Fixed);
    rows_->setContentsMargins(0, 0, 0, scaled(kListBottom, scale));
    rows_->invalidate();
    cardLine_->setContentsMargins(16, 0, 16, scaled(kCardBottom, scale));
    appearanceRow_->setOuterMargins(QMarginsF(24, 0, 24, scaled(kAppearanceBottom, scale)));
    aboutRow_->setOuterMargins(QMarginsF(24, 0, 24, scaled(kAboutBottom, scale)));
}

// ---------------------------------------------------------------------------------------------

namespace {
class CategoryBar : public QWidget {
public:
    CategoryBar(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
        setFixedHeight(4);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        std::vector<std::int64_t> totals;
        for (FileCategory c : allFileCategories) {
            auto it = state_.categoryTotals().find(c);
            totals.push_back(it == state_.categoryTotals().end() ? 0 : it->second);
        }
        const auto widths = ScanCard::segmentWidths(totals, width());
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        double x = 0;
        bool first = true;
        for (std::size_t i = 0; i < widths.size(); ++i) {
            if (widths[i] <= 0) continue;
            if (!first) x += 2;
            first = false;
            p.fillPath(roundedRect(QRectF(x, 0, widths[i], height()), 2), tint(allFileCategories[i])());
            x += widths[i];
        }
    }

private:
    AppState& state_;
};
} // namespace

ScanCard::ScanCard(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(12);
    auto* top = new QHBoxLayout();
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(new SymbolView(QStringLiteral("internaldrive"), 19, Theme::accent, this));
    top->addStretch();
    status_ = new TextLabel(QString(), systemFont(8, QFont::DemiBold, FontDesign::standard, 1), Theme::muted, this);
    top->addWidget(status_);
    stack->addLayout(top);
    name_ = new TextLabel(QString(), systemFont(11, QFont::Medium), Theme::text, this);
    name_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    stack->addWidget(name_);
    size_ = new TextLabel(QString(), systemFont(22, QFont::Medium, FontDesign::rounded, -0.8), Theme::text, this);
    stack->addWidget(size_);
    bar_ = new CategoryBar(state_, this);
    stack->addWidget(bar_);
    footer_ = new TextLabel(QString(), systemFont(10), Theme::secondary, this);
    stack->addWidget(footer_);

    for (auto signal : {&AppState::isScanningChanged, &AppState::hasScannedFolderChanged, &AppState::snapshotChanged,
                        &AppState::categoryTotalsChanged})
        connect(&state_, signal, this, &ScanCard::refresh);
    refresh();
}

QString ScanCard::statusWord() const {
    if (state_.isScanning()) return QStringLiteral("SCANNING");
    if (state_.hasScannedFolder())
        return state_.snapshot() && state_.snapshot()->isPartial ? QStringLiteral("PARTIAL SCAN") : QStringLiteral("SCANNED");
    return QStringLiteral("YOUR MAC");
}

QString ScanCard::rootName() const {
    if (!state_.snapshot()) return {};
    const std::string_view name = state_.snapshot()->name(DiskSnapshot::rootIndex);
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QString ScanCard::sizeText() const {
    if (!state_.hasScannedFolder() || !state_.snapshot()) return QStringLiteral("—");
    return formatByteCount(state_.snapshot()->logicalSize(DiskSnapshot::rootIndex));
}

QString ScanCard::footerText() const {
    if (!state_.hasScannedFolder() || !state_.snapshot()) {
        // Only a running scan is indexing anything; after a failed or cancelled first scan nothing is.
        return state_.isScanning() ? QStringLiteral("Your files are being indexed") : QStringLiteral("Not scanned");
    }
    return QString::fromStdString(text::formatInteger(state_.snapshot()->visitedFileCount)) +
           QStringLiteral(" files in this scan");
}

std::vector<double> ScanCard::segmentWidths(const std::vector<std::int64_t>& totals, double width) {
    double total = 0;
    for (std::int64_t t : totals) total += static_cast<double>(t);
    const double divisor = std::max(total, 1.0);
    std::vector<double> widths;
    for (std::int64_t t : totals) {
        const double share = static_cast<double>(t) / divisor;
        widths.push_back(share > 0 ? std::max(1.0, share * (width - 10)) : 0.0);
    }
    return widths;
}

void ScanCard::refresh() {
    status_->setText(statusWord());
    const QString name = rootName();
    name_->setText(QFontMetricsF(name_->font()).elidedText(name, Qt::ElideRight, std::max(20, width() - 32)));
    name_->setToolTip(name);
    size_->setText(sizeText());
    footer_->setText(footerText());
    bar_->update();
}

void ScanCard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refresh();
}

void ScanCard::paintEvent(QPaintEvent*) {
    paintCard(*this, 12);
}

} // namespace morvo
