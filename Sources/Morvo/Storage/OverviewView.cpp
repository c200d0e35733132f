#include "Morvo/Storage/OverviewView.h"

#include "Morvo/State/AppState.h"
#include "Morvo/Storage/FileRow.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Storage/StorageMapView.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/Platform/Text.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace morvo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// One line of text that shrinks to `minimumScale` of its font before it is cut.
class FittingText : public QWidget {
public:
    FittingText(QString text, QFont font, double minimumScale, QWidget* parent = nullptr)
        : QWidget(parent), text_(std::move(text)), font_(std::move(font)), minimumScale_(minimumScale) {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setFixedHeight(static_cast<int>(std::ceil(QFontMetricsF(font_).height())));
    }
    void setText(const QString& text) {
        text_ = text;
        update();
    }
    const QString& text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font = font_;
        const double natural = QFontMetricsF(font).horizontalAdvance(text_);
        if (natural > width() && natural > 0)
            font.setPixelSize(std::max(1, static_cast<int>(font_.pixelSize() * std::max(minimumScale_, width() / natural))));
        painter.setFont(font);
        painter.setPen(Theme::text());
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignBottom,
                         QFontMetricsF(font).elidedText(text_, Qt::ElideRight, width()));
    }

private:
    QString text_;
    QFont font_;
    double minimumScale_;
};

// A filled circle in a category tint.
class Dot : public QWidget {
public:
    Dot(AdaptiveColor color, int size, QWidget* parent = nullptr) : QWidget(parent), color_(color) {
        setFixedSize(size, size);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_());
        painter.drawEllipse(QRectF(rect()));
    }

private:
    AdaptiveColor color_;
};

// The card behind the largest files: Theme::panel in a radius-12 shape with a 1-point border.
class ListCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        paintCard(*this, 12);
    }
};

// The parent-folder button's face: Theme::elevated in a radius-5 shape.
class ElevatedButtonStyle : public PlainButtonStyle {
public:
    void paintBackground(QPainter& painter, const QRectF& bounds, bool) const override {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedRect(bounds, 5), Theme::elevated());
        painter.restore();
    }
    QRectF focusRingRect(const QRectF& bounds) const override { return bounds; }
};

// The breadcrumbs' row. When the crumbs do not fit at their full width, the folders further up
// give way first, each down to a few characters, and the current folder (the last crumb, the one
// that says where the map is) keeps its full name as long as anything else can yield. Chevrons
// keep their size.
class BreadcrumbLayout : public QHBoxLayout {
public:
    static constexpr int ancestorMinimum = 28;  // "A…"
    static constexpr int currentMinimum = 64;

    QSize minimumSize() const override {
        int width = 0;
        int height = 0;
        const int n = count();
        for (int i = 0; i < n; ++i) {
            QLayoutItem* item = itemAt(i);
            width += minimumWidth(i, item);
            height = std::max(height, item->sizeHint().height());
        }
        return {width + std::max(0, n - 1) * spacing(), height};
    }

    void setGeometry(const QRect& rect) override {
        QLayout::setGeometry(rect);
        const int n = count();
        std::vector<int> widths(static_cast<std::size_t>(n));
        int total = std::max(0, n - 1) * spacing();
        for (int i = 0; i < n; ++i) total += widths[i] = itemAt(i)->sizeHint().width();
        int excess = total - rect.width();
        // Ancestors first, from the top of the tree down; the current folder last.
        const int last = lastCrumb();
        for (int i = 0; i < n && excess > 0; ++i) {
            if (i == last || !isCrumb(itemAt(i))) continue;
            const int give = std::min(excess, widths[i] - minimumWidth(i, itemAt(i)));
            if (give > 0) {
                widths[i] -= give;
                excess -= give;
            }
        }
        if (excess > 0 && last >= 0) widths[last] -= std::min(excess, widths[last] - minimumWidth(last, itemAt(last)));
        int x = rect.x();
        for (int i = 0; i < n; ++i) {
            const int h = std::min(rect.height(), itemAt(i)->sizeHint().height());
            itemAt(i)->setGeometry(QRect(x, rect.y() + (rect.height() - h) / 2, widths[i], h));
            x += widths[i] + spacing();
        }
    }

private:
    static bool isCrumb(QLayoutItem* item) { return qobject_cast<KitButton*>(item->widget()) != nullptr; }
    int lastCrumb() const {
        for (int i = count() - 1; i >= 0; --i)
            if (isCrumb(itemAt(i))) return i;
        return -1;
    }
    int minimumWidth(int index, QLayoutItem* item) const {
        const int hint = item->sizeHint().width();
        if (!isCrumb(item)) return hint;
        return std::min(hint, index == lastCrumb() ? currentMinimum : ancestorMinimum);
    }
};

QString durationText(double seconds) { return QLocale().toString(seconds, 'f', 1) + QStringLiteral("s"); }

void clearLayout(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget()) w->deleteLater();
        if (QLayout* inner = item->layout()) clearLayout(inner);
        delete item;
    }
}

} // namespace

// --- MetricView ----------------------------------------------------------------------------------

MetricView::MetricView(QString title, QString value, QString subtitle, QString symbol, AdaptiveColor color,
                       QWidget* parent)
    : QWidget(parent), value_(std::move(value)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->setSpacing(12);

    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    titleLabel_ = new TextLabel(title, systemFont(8, QFont::DemiBold, FontDesign::standard, 1.1), Theme::secondary);
    top->addWidget(titleLabel_);
    top->addStretch(1);
    top->addWidget(new SymbolView(symbol, 11, color));
    layout->addLayout(top);

    valueText_ = new FittingText(value_, systemFont(23, QFont::Medium, FontDesign::rounded, -0.7), 0.7);
    layout->addWidget(valueText_);

    subtitleLabel_ = new TextLabel(subtitle, systemFont(9), Theme::muted);
    layout->addWidget(subtitleLabel_);
}

void MetricView::setValue(const QString& value) {
    if (value == value_) return;
    value_ = value;
    static_cast<FittingText*>(valueText_)->setText(value);
}

QString MetricView::title() const { return titleLabel_->text(); }
QString MetricView::subtitle() const { return subtitleLabel_->text(); }

void MetricView::paintEvent(QPaintEvent*) {
    paintCard(*this, 12);
}

// --- OverviewView --------------------------------------------------------------------------------

OverviewView::OverviewView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea;
    makeTransparent(scroll_);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll_);

    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    auto* content = new QVBoxLayout(page);
    content->setContentsMargins(26, 26, 26, 26);
    content->setSpacing(22);

    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    header->addWidget(new TextLabel(QStringLiteral("A little clarity. A lot of space."),
                                    systemFont(27, QFont::Medium, FontDesign::standard, -0.8), Theme::text));
    subtitle_ = new TextLabel(QString(), systemFont(12), Theme::secondary);
    header->addWidget(subtitle_);
    content->addLayout(header);

    buildFirstScan(content);
    buildMetrics(content);
    buildStorageMap(content);
    buildLargestFiles(content);
    content->addStretch(1);
    scroll_->setWidget(page);
    page->setAutoFillBackground(false);  // setWidget turns it on; the window's background shows through

    connect(&state_, &AppState::hasScannedFolderChanged, this, &OverviewView::updateShape);
    connect(&state_, &AppState::isScanningChanged, this, &OverviewView::updateFirstScan);
    connect(&state_, &AppState::isScanningChanged, this, &OverviewView::updateShape);
    connect(&state_, &AppState::progressChanged, this, &OverviewView::updateFirstScan);
    connect(&state_, &AppState::scanURLChanged, this, &OverviewView::updateFirstScan);
    connect(&state_, &AppState::snapshotChanged, this, [this] {
        updateFirstScan();
        updateMetrics();
        updateMapPanel();
        updateLargestFiles();
    });
    connect(&state_, &AppState::mapRootIDChanged, this, &OverviewView::updateMapPanel);
    connect(&state_, &AppState::selectedIDChanged, this, &OverviewView::updateSelection);
    connect(&state_, &AppState::overviewFilesChanged, this, &OverviewView::updateLargestFiles);

    updateShape();
    updateFirstScan();
    updateMetrics();
    updateMapPanel();
    updateLargestFiles();
}

QWidget* OverviewView::firstScanPanel() const { return firstScan_; }

void OverviewView::buildFirstScan(QVBoxLayout* content) {
    firstScan_ = new Panel(30);
    auto* stack = firstScan_->contentLayout();
    stack->setSpacing(24);

    auto* top = new QHBoxLayout;
    top->setSpacing(17);
    top->addWidget(new SymbolView(QStringLiteral("internaldrive"), 38, Theme::accent), 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(7);
    firstScanHeading_ = new TextLabel(QString(), systemFont(21, QFont::Medium, FontDesign::standard, -0.5), Theme::text);
    texts->addWidget(firstScanHeading_);
    firstScanPath_ = new PathText(state_.snapshot()->nodeWithoutChildren(DiskSnapshot::rootIndex).url);
    texts->addWidget(firstScanPath_);
    top->addLayout(texts, 1);
    stack->addLayout(top);

    scanningPart_ = new QWidget;
    auto* scanning = new QVBoxLayout(scanningPart_);
    scanning->setContentsMargins(0, 0, 0, 0);
    scanning->setSpacing(24);
    progressBar_ = new QProgressBar;
    progressBar_->setRange(0, 0);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedHeight(5);
    Theme::track(progressBar_, [bar = progressBar_] {
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Highlight, Theme::accent());
        palette.setColor(QPalette::Base, Theme::elevated());
        palette.setColor(QPalette::Window, Theme::elevated());
        bar->setPalette(palette);
    });
    scanning->addWidget(progressBar_);
    auto* counts = new QHBoxLayout;
    filesFound_ = new TextLabel(QString(), systemFont(12), Theme::secondary);
    bytesIndexed_ = new TextLabel(QString(), systemFont(12), Theme::secondary);
    counts->addWidget(filesFound_);
    counts->addStretch(1);
    counts->addWidget(bytesIndexed_);
    scanning->addLayout(counts);
    scanning->addWidget(
        new TextLabel(QStringLiteral("Names and sizes only. Your files stay on this Mac."), systemFont(11), Theme::muted));
    stack->addWidget(scanningPart_);

    idlePart_ = new QWidget;
    auto* idle = new QVBoxLayout(idlePart_);
    idle->setContentsMargins(0, 0, 0, 0);
    idle->setSpacing(24);
    idle->addWidget(new TextLabel(QStringLiteral("Scan a folder or disk to build its storage map and find large files."),
                                  systemFont(12), Theme::secondary));
    auto* choose = new KitButton(std::make_shared<AccentButtonStyle>());
    choose->addText(QStringLiteral("Choose a folder"));
    connect(choose, &QAbstractButton::clicked, this, [this] { state_.chooseFolder(); });
    idle->addWidget(choose, 0, Qt::AlignLeft);
    stack->addWidget(idlePart_);

    content->addWidget(firstScan_);
}

void OverviewView::buildMetrics(QVBoxLayout* content) {
    metrics_ = new QWidget;
    auto* row = new QHBoxLayout(metrics_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    metricViews_ = {
        new MetricView(QStringLiteral("SCANNED SIZE"), QString(), QStringLiteral("Logical file size"),
                       QStringLiteral("chart.pie"), Theme::accent),
        new MetricView(QStringLiteral("FILES INDEXED"), QString(), QStringLiteral("Ready to explore"),
                       QStringLiteral("doc.on.doc"), Theme::mint),
        new MetricView(QStringLiteral("SCAN TIME"), QString(), QStringLiteral("Processed on this Mac"),
                       QStringLiteral("bolt"), Theme::warning),
    };
    for (MetricView* metric : metricViews_) row->addWidget(metric, 1);
    content->addWidget(metrics_);
}

void OverviewView::buildStorageMap(QVBoxLayout* content) {
    mapPanel_ = new Panel(18);
    auto* stack = mapPanel_->contentLayout();
    stack->setSpacing(15);

    auto* title = new QHBoxLayout;
    auto* titles = new QVBoxLayout;
    titles->setSpacing(6);
    titles->addWidget(new TextLabel(QStringLiteral("Storage map"), systemFont(15, QFont::DemiBold), Theme::text));
    titles->addWidget(new TextLabel(QStringLiteral("Every block tells a story. Larger blocks use more space."),
                                    systemFont(10), Theme::secondary));
    title->addLayout(titles);
    title->addStretch(1);
    mapSize_ = new TextLabel(QString(), systemFont(14, QFont::Medium, FontDesign::rounded), Theme::secondary);
    title->addWidget(mapSize_, 0, Qt::AlignTop);
    stack->addLayout(title);

    auto* navigation = new QHBoxLayout;
    navigation->setSpacing(7);
    parentButton_ = new KitButton(std::make_shared<ElevatedButtonStyle>());
    parentButton_->addSymbol(QStringLiteral("arrow.up"), 10);
    parentButton_->setFixedSize(24, 22);
    parentButton_->setToolTip(QStringLiteral("Go to parent folder"));
    parentButton_->setAccessibleName(QStringLiteral("Go to parent folder"));
    connect(parentButton_, &QAbstractButton::clicked, this, [this] {
        const DiskSnapshot& snapshot = *state_.snapshot();
        if (auto parent = snapshot.parent(state_.mapRootIndex())) state_.navigate(snapshot.path(*parent));
    });
    navigation->addWidget(parentButton_);
    breadcrumbLayout_ = new BreadcrumbLayout;
    breadcrumbLayout_->setSpacing(7);
    navigation->addLayout(breadcrumbLayout_);
    navigation->addStretch(1);
    navigation->addWidget(new TextLabel(QStringLiteral("Double-click to explore"), systemFont(9), Theme::muted));
    stack->addLayout(navigation);

    map_ = new StorageMapView(
        state_.snapshot(), state_.mapRootID(), state_.selectedID(),
        [this](const std::string& id) { state_.setSelectedID(id); }, [this](const std::string& id) { state_.navigate(id); });
    map_->setFixedHeight(267);
    stack->addWidget(map_);

    auto* legend = new QHBoxLayout;
    legend->setSpacing(13);
    for (FileCategory category : allFileCategories) {
        auto* item = new QHBoxLayout;
        item->setSpacing(5);
        item->addWidget(new Dot(tint(category), 5), 0, Qt::AlignVCenter);
        item->addWidget(new TextLabel(qs(displayName(category)), systemFont(9), Theme::secondary));
        legend->addLayout(item);
    }
    legend->addStretch(1);
    stack->addLayout(legend);

    content->addWidget(mapPanel_);
}

void OverviewView::buildLargestFiles(QVBoxLayout* content) {
    largestFiles_ = new QWidget;
    auto* stack = new QVBoxLayout(largestFiles_);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(13);

    auto* header = new QHBoxLayout;
    header->addWidget(new TextLabel(QStringLiteral("Room to rediscover"), systemFont(15, QFont::DemiBold), Theme::text));
    header->addStretch(1);
    auto* viewAll = new KitButton;
    viewAll->setSpacing(5);
    viewAll->addText(QStringLiteral("View all files"), systemFont(10, QFont::Medium), Theme::accent);
    viewAll->addSymbol(QStringLiteral("arrow.up.right"), 10, Theme::accent);
    connect(viewAll, &QAbstractButton::clicked, this, [this] { state_.showFiles(std::nullopt); });
    header->addWidget(viewAll);
    stack->addLayout(header);

    auto* card = new ListCard;
    listLayout_ = new QVBoxLayout(card);
    listLayout_->setContentsMargins(0, 0, 0, 0);
    listLayout_->setSpacing(0);
    stack->addWidget(card);

    content->addWidget(largestFiles_);
}

std::vector<KitButton*> OverviewView::breadcrumbButtons() const {
    std::vector<KitButton*> buttons;
    for (int i = 0; i < breadcrumbLayout_->count(); ++i)
        if (auto* button = qobject_cast<KitButton*>(breadcrumbLayout_->itemAt(i)->widget())) buttons.push_back(button);
    return buttons;
}

void OverviewView::updateShape() {
    const bool scanned = state_.hasScannedFolder();
    // "Reading" only while a scan runs: after a failed or stopped first scan nothing is read.
    subtitle_->setText(scanned || !state_.isScanning()
                           ? QStringLiteral("Your files, seen from a different perspective.")
                           : QStringLiteral("Reading the files on your Mac. Everything here comes from your storage."));
    firstScan_->setVisible(!scanned);
    metrics_->setVisible(scanned);
    mapPanel_->setVisible(scanned);
    largestFiles_->setVisible(scanned);
}

void OverviewView::updateFirstScan() {
    const bool scanning = state_.isScanning();
    firstScanHeading_->setText(scanning ? QStringLiteral("Getting to know your storage.") : QStringLiteral("Choose where to look."));
    firstScanPath_->setUrl(state_.scanURL() ? *state_.scanURL()
                                           : state_.snapshot()->nodeWithoutChildren(DiskSnapshot::rootIndex).url);
    scanningPart_->setVisible(scanning);
    idlePart_->setVisible(!scanning);
    const auto& progress = state_.progress();
    filesFound_->setText(qs(text::formatInteger(progress ? progress->fileCount : 0)) + QStringLiteral(" files found"));
    bytesIndexed_->setText(formatByteCount(progress ? progress->logicalBytes : 0) + QStringLiteral(" indexed so far"));
}

void OverviewView::updateMetrics() {
    const DiskSnapshot& snapshot = *state_.snapshot();
    metricViews_[0]->setValue(formatByteCount(snapshot.logicalSize(DiskSnapshot::rootIndex)));
    metricViews_[1]->setValue(qs(text::formatInteger(snapshot.visitedFileCount)));
    metricViews_[2]->setValue(durationText(snapshot.duration()));
}

void OverviewView::updateMapPanel() {
    const DiskSnapshot& snapshot = *state_.snapshot();
    const DiskSnapshot::Index mapRoot = state_.mapRootIndex();
    mapSize_->setText(formatByteCount(snapshot.logicalSize(mapRoot)));
    parentButton_->setEnabled(snapshot.parent(mapRoot).has_value());
    map_->setContent(state_.snapshot(), state_.mapRootID());
    map_->setSelectedID(state_.selectedID());
    updateBreadcrumbs();
}

void OverviewView::updateBreadcrumbs() {
    clearLayout(breadcrumbLayout_);
    const DiskSnapshot& snapshot = *state_.snapshot();
    const std::vector<DiskSnapshot::Index> crumbs = state_.breadcrumbIndexes();
    const std::size_t first = crumbs.size() > 4 ? crumbs.size() - 4 : 0;
    for (std::size_t i = first; i < crumbs.size(); ++i) {
        if (i > first) breadcrumbLayout_->addWidget(new SymbolView(QStringLiteral("chevron.right"), 8, Theme::muted));
        auto* button = new KitButton;
        const std::string id = snapshot.path(crumbs[i]);
        button->addText(qs(snapshot.name(crumbs[i])), systemFont(10, QFont::Medium),
                        id == state_.mapRootID() ? Theme::text : Theme::secondary);
        connect(button, &QAbstractButton::clicked, this, [this, id] { state_.navigate(id); });
        breadcrumbLayout_->addWidget(button);
    }
}

void OverviewView::updateLargestFiles() {
    clearLayout(listLayout_);
    rows_.clear();
    dividers_ = 0;
    const auto& files = state_.overviewFiles();
    if (files.empty()) {
        auto* empty = new TextLabel(QStringLiteral("No files to show yet."), systemFont(12), Theme::secondary);
        empty->setContentsMargins(20, 20, 20, 20);
        listLayout_->addWidget(empty);
        return;
    }
    const DiskNode root = state_.snapshot()->nodeWithoutChildren(DiskSnapshot::rootIndex);
    const std::size_t shown = std::min<std::size_t>(files.size(), 3);
    for (std::size_t i = 0; i < shown; ++i) {
        const std::string id = files[i].id;
        auto* row = new FileRow(files[i], root, state_.selectedID() == id, true, [this, id] { state_.setSelectedID(id); });
        rows_.push_back(row);
        listLayout_->addWidget(row);
        if (i + 1 < shown) {
            auto* divider = new QHBoxLayout;
            divider->setContentsMargins(49, 0, 0, 0);
            divider->addWidget(new Hairline(Qt::Horizontal));
            listLayout_->addLayout(divider);
            ++dividers_;
        }
    }
}

void OverviewView::updateSelection() {
    map_->setSelectedID(state_.selectedID());
    for (FileRow* row : rows_) row->setSelected(state_.selectedID() == row->nodeID());
}

} // namespace morvo
