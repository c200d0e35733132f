#include "Morvo/Shell/InspectorView.h"

#include "Morvo/State/AppState.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Platform/Fonts.h"
#include "MorvoCore/Platform/Text.h"

#include <QDateTime>
#include <QEvent>
#include <QLocale>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <chrono>

namespace morvo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// The node's tile: the symbol over a faint rounded square of the category's tint.
class NodeTile : public QWidget {
public:
    NodeTile(QString symbol, AdaptiveColor tintColor, QWidget* parent)
        : QWidget(parent), symbol_(std::move(symbol)), tint_(tintColor) {
        setFixedSize(67, 67);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 16);
        p.fillPath(shape, tint_(0.08));
        p.setPen(QPen(tint_(0.14), 1));
        p.drawPath(shape);
        drawSymbol(p, QRectF(rect()), symbol_.toStdString(), 29, tint_());
    }

private:
    QString symbol_;
    AdaptiveColor tint_;
};

// A small filled circle in a colour.
class Dot : public QWidget {
public:
    Dot(double diameter, AdaptiveColor color, QWidget* parent) : QWidget(parent), d_(diameter), color_(color) {
        setFixedSize(static_cast<int>(std::ceil(diameter)), static_cast<int>(std::ceil(diameter)));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color_());
        p.drawEllipse(QRectF(0, 0, d_, d_));
    }

private:
    double d_;
    AdaptiveColor color_;
};

class ShareBar : public QWidget {
public:
    ShareBar(double fraction, AdaptiveColor tintColor, QWidget* parent)
        : QWidget(parent), fraction_(fraction), tint_(tintColor) {
        setFixedHeight(4);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setObjectName(QString());
        setProperty("fraction", fraction);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(roundedRect(QRectF(rect()), 2), Theme::elevated());
        const double w = std::max(0.0, width() * fraction_);
        if (w > 0) p.fillPath(roundedRect(QRectF(0, 0, w, height()), std::min(2.0, w / 2)), tint_());
    }

private:
    double fraction_;
    AdaptiveColor tint_;
};

QWidget* detailRow(const QString& label, const QString& value, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    auto* l = new TextLabel(label, systemFont(10), Theme::muted, row);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* v = new TextLabel(value, systemFont(10), Theme::secondary, row);
    v->setAlignment(Qt::AlignRight | Qt::AlignTop);
    v->setWordWrap(true);
    layout->addWidget(l, 0, Qt::AlignTop);
    layout->addStretch();
    layout->addWidget(v, 0, Qt::AlignTop);
    return row;
}

QString abbreviatedDate(Date date) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    const QDate day = QDateTime::fromMSecsSinceEpoch(ms).date();
    return QLocale().toString(day, QStringLiteral("MMM d, yyyy"));
}

} // namespace

const char* InspectorView::symbolName(const DiskNode& node) {
    return node.isDirectory ? "folder.fill" : categorySymbol(node.category);
}

double InspectorView::shareFraction(const DiskNode& node, const DiskNode& root) {
    const double divisor = std::max<double>(static_cast<double>(root.logicalSize), 1.0);
    return std::clamp(static_cast<double>(node.logicalSize) / divisor, 0.0, 1.0);
}

QString InspectorView::percentText(const DiskNode& node, const DiskNode& root) {
    const double divisor = std::max<double>(static_cast<double>(root.logicalSize), 1.0);
    return QLocale().toString(static_cast<double>(node.logicalSize) / divisor * 100.0, 'f', 1);
}

InspectorView::InspectorView(AppState& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    QWidget* content = transparentScrollContent(scroll_);
    scroll_->viewport()->installEventFilter(this);
    stack_ = new QVBoxLayout(content);
    stack_->setContentsMargins(22, 29, 22, 24);
    stack_->setSpacing(23);

    auto* header = new QHBoxLayout();
    header->addWidget(new SectionEyebrow(QStringLiteral("A closer look"), content));
    header->addStretch();
    header->addWidget(new SymbolView(QStringLiteral("sidebar.right"), 12, Theme::muted, content));
    stack_->addLayout(header);
    stack_->addStretch();
    outer->addWidget(scroll_);

    for (auto signal : {&AppState::selectedIDChanged, &AppState::snapshotChanged, &AppState::mapRootIDChanged,
                        &AppState::hasScannedFolderChanged})
        connect(&state_, signal, this, &InspectorView::rebuild);
    CleanupState& cleanup = state_.cleanup();
    for (auto signal : {&CleanupState::queueChanged, &CleanupState::isPreparingChanged, &CleanupState::isTrashingChanged})
        connect(&cleanup, signal, this, &InspectorView::rebuild);
    rebuild();
}

void InspectorView::rebuild() {
    // Hidden with its section, it catches up when shown.
    if (isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide)) {
        stale_ = true;
        return;
    }
    stale_ = false;
    if (body_) {
        // Dropped later: a button inside may be the sender of the change being handled.
        body_->hide();
        stack_->removeWidget(body_);
        body_->setParent(nullptr);
        body_->deleteLater();
    }
    QWidget* parent = stack_->parentWidget();
    const DiskSnapshot& snapshot = *state_.snapshot();
    const auto index = state_.selectedIndex();
    gaps_.clear();
    body_ = index ? makeDetails(snapshot.nodeWithoutChildren(*index), snapshot.children(*index).size(), parent)
                  : makeEmptyPrompt(parent);
    stack_->insertWidget(1, body_);
    body_->show();
    fitSpacing();
}

void InspectorView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) rebuild();
}

bool InspectorView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == scroll_->viewport()) fitSpacing();
    return QWidget::eventFilter(watched, event);
}

void InspectorView::setSpacingScale(double scale) {
    auto scaled = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };
    stack_->setSpacing(scaled(23));
    stack_->setContentsMargins(22, scaled(29), 22, scaled(24));
    for (const auto& [layout, spacing] : gaps_) {
        layout->setSpacing(scaled(spacing));
        layout->invalidate();
    }
    stack_->invalidate();
    if (body_) body_->updateGeometry();
}

// The details of a node with a long name and path are taller than the column of the default
// window, which would put the actions below the fold. Rather than scroll there, the vertical gaps
// give way, down to half their size; only a column shorter than that scrolls.
void InspectorView::fitSpacing() {
    const int width = scroll_->viewport()->width();
    const int available = scroll_->viewport()->height();
    auto height = [&] {
        const int h = stack_->totalHeightForWidth(width);
        return h >= 0 ? h : stack_->totalSizeHint().height();
    };
    setSpacingScale(1.0);
    const int full = height();
    if (gaps_.empty() || full <= available) return;
    setSpacingScale(0.0);
    const int bare = height();
    constexpr double smallest = 0.5;
    const double scale = full > bare ? std::clamp(double(available - bare) / (full - bare), smallest, 1.0) : 1.0;
    setSpacingScale(std::floor(scale * 100) / 100);
}

QWidget* InspectorView::makeEmptyPrompt(QWidget* parent) {
    auto* prompt = new QWidget(parent);
    auto* layout = new QVBoxLayout(prompt);
    layout->setContentsMargins(0, 60, 0, 60);
    layout->setSpacing(14);
    layout->setAlignment(Qt::AlignHCenter);
    auto* symbol = new SymbolView(QStringLiteral("cursorarrow.click"), 32, Theme::accent, prompt);
    layout->addWidget(symbol, 0, Qt::AlignHCenter);
    auto* title = new TextLabel(QStringLiteral("Follow your curiosity."), systemFont(15, QFont::Medium), Theme::text, prompt);
    title->setAlignment(Qt::AlignHCenter);
    layout->addWidget(title);
    auto* hint = new TextLabel(QStringLiteral("Select a block or file to see its details here."), systemFont(11),
                               Theme::secondary, prompt);
    hint->setAlignment(Qt::AlignHCenter);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    return prompt;
}

QWidget* InspectorView::makeDetails(const DiskNode& node, std::size_t directItems, QWidget* parent) {
    const DiskNode root = state_.snapshot()->nodeWithoutChildren(DiskSnapshot::rootIndex);
    const AdaptiveColor nodeTint = tint(node.category);
    auto* details = new QWidget(parent);
    auto* stack = new QVBoxLayout(details);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(23);
    gaps_.push_back({stack, 23});

    // Identity.
    auto* identity = new QVBoxLayout();
    identity->setSpacing(15);
    gaps_.push_back({identity, 15});
    identity->addWidget(new NodeTile(QString::fromLatin1(symbolName(node)), nodeTint, details));
    auto* name = new SelectableText(qs(node.name), systemFont(19, QFont::Medium, FontDesign::standard, -0.4), Theme::text, details);
    name->setMaximumLines(3);
    identity->addWidget(name);
    auto* captionRow = new QHBoxLayout();
    captionRow->setSpacing(6);
    captionRow->addWidget(new Dot(5, nodeTint, details));
    const QString category = qs(displayName(node.category));
    captionRow->addWidget(new TextLabel(node.isDirectory ? QStringLiteral("Folder · ") + category : category,
                                        systemFont(10), Theme::secondary, details));
    captionRow->addStretch();
    identity->addLayout(captionRow);
    stack->addLayout(identity);

    stack->addWidget(new Hairline(Qt::Horizontal, details));

    // Size.
    auto* size = new QVBoxLayout();
    size->setSpacing(10);
    gaps_.push_back({size, 10});
    size->addWidget(new SectionEyebrow(QStringLiteral("Logical size"), details));
    size->addWidget(new TextLabel(formatByteCount(node.logicalSize), systemFont(31, QFont::Light, FontDesign::standard, -1),
                                  Theme::text, details));
    size->addWidget(new ShareBar(shareFraction(node, root), nodeTint, details));
    size->addWidget(new TextLabel(percentText(node, root) + QStringLiteral("% of this scan"), systemFont(10), Theme::muted, details));
    stack->addLayout(size);

    // Facts.
    auto* facts = new QVBoxLayout();
    facts->setSpacing(14);
    gaps_.push_back({facts, 14});
    facts->addWidget(detailRow(QStringLiteral("Allocated"), formatByteCount(node.allocatedSize), details));
    if (node.isDirectory) {
        facts->addWidget(detailRow(QStringLiteral("Files inside"), QString::fromStdString(text::formatInteger(node.fileCount)), details));
        facts->addWidget(detailRow(QStringLiteral("Direct items"),
                                   QString::fromStdString(text::formatInteger(static_cast<std::int64_t>(directItems))),
                                   details));
    }
    if (node.modificationDate) facts->addWidget(detailRow(QStringLiteral("Modified"), abbreviatedDate(*node.modificationDate), details));
    if (node.isSymbolicLink) facts->addWidget(detailRow(QStringLiteral("Type"), QStringLiteral("Symbolic link"), details));
    stack->addLayout(facts);

    // Location.
    auto* location = new QVBoxLayout();
    location->setSpacing(10);
    gaps_.push_back({location, 10});
    location->addWidget(new SectionEyebrow(QStringLiteral("Location"), details));
    auto* box = new ThemedBackground(Theme::panel, 1.0, details);
    box->setCornerRadius(8);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(11, 11, 11, 11);
    boxLayout->addWidget(new PathText(node.url, box));
    location->addWidget(box);
    stack->addLayout(location);

    // Actions.
    auto* actions = new QVBoxLayout();
    actions->setSpacing(9);
    gaps_.push_back({actions, 9});
    CleanupState& cleanup = state_.cleanup();
    const bool queued = cleanup.contains(node.url);
    auto* add = new KitButton(std::make_shared<QuietButtonStyle>(), details);
    add->setObjectName(QStringLiteral("add-to-cleanup"));
    add->addSymbol(queued ? QStringLiteral("checkmark") : QStringLiteral("tray.and.arrow.down"))
        .addText(queued ? QStringLiteral("In cleanup queue") : QStringLiteral("Add to cleanup"))
        .addSpacer();
    add->setEnabled(!queued && !cleanup.isPreparing() && !cleanup.isTrashing());
    connect(add, &QAbstractButton::clicked, this, [this, node] { state_.queueForCleanup(node); });
    actions->addWidget(add);

    if (node.isDirectory) {
        auto* explore = new KitButton(std::make_shared<AccentButtonStyle>(), details);
        explore->addText(QStringLiteral("Explore folder")).addSpacer().addSymbol(QStringLiteral("arrow.right"));
        explore->setEnabled(node.id != state_.mapRootID());
        const std::string id = node.id;
        connect(explore, &QAbstractButton::clicked, this, [this, id] { state_.navigate(id); });
        actions->addWidget(explore);
    } else if (node.parentID) {
        auto* map = new KitButton(std::make_shared<AccentButtonStyle>(), details);
        map->addText(QStringLiteral("Show folder on map")).addSpacer().addSymbol(QStringLiteral("square.grid.2x2"));
        const std::string parentID = *node.parentID;
        connect(map, &QAbstractButton::clicked, this, [this, parentID] { state_.navigate(parentID); });
        actions->addWidget(map);
    }

    auto* reveal = new ActionButton(QStringLiteral("Reveal in Finder"), QStringLiteral("arrow.up.forward.app"),
                                    [this, url = node.url] {
                                        if (state_.hasScannedFolder()) state_.workspace().reveal({url});
                                    },
                                    details);
    reveal->setButtonStyle(std::make_shared<QuietButtonStyle>());
    actions->addWidget(reveal, 0, Qt::AlignHCenter);
    auto* copy = new ActionButton(QStringLiteral("Copy path"), QStringLiteral("doc.on.doc"),
                                  [this, node] { state_.copyPath(node); }, details);
    copy->setButtonStyle(std::make_shared<QuietButtonStyle>());
    actions->addWidget(copy, 0, Qt::AlignHCenter);
    stack->addLayout(actions);

    // Note.
    auto* note = new QHBoxLayout();
    note->setSpacing(6);
    note->addWidget(new SymbolView(QStringLiteral("info.circle"), 10, Theme::muted, details), 0, Qt::AlignTop);
    auto* noteText = new TextLabel(
        QStringLiteral("Allocated size is an estimate. Shared blocks and snapshots can affect actual disk usage."),
        systemFont(10), Theme::muted, details);
    noteText->setWordWrap(true);
    noteText->setLineSpacing(3);
    note->addWidget(noteText, 1);
    stack->addLayout(note);
    return details;
}

void InspectorView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::sidebar(0.35));
}

} // namespace morvo
