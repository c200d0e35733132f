#include "Morvo/Storage/FileRow.h"

#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/Theme.h"
#include "Morvo/Kit/ViewKit.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace morvo {

namespace {

constexpr double iconWidth = 31, iconHeight = 34, spacing = 12, textSpacing = 5, minimumGap = 10;

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QFont nameFont() { return systemFont(12, QFont::Medium); }
QFont locationFont() { return systemFont(9); }
QFont sizeFont() { return systemFont(11, QFont::Medium, FontDesign::monospaced); }
constexpr double chevronSize = 8;

double contentHeight() {
    const double text = QFontMetricsF(nameFont()).height() + textSpacing + QFontMetricsF(locationFont()).height();
    return std::max(iconHeight, text);
}

} // namespace

FileRowContent FileRowContent::make(const DiskNode& node, const DiskNode& root) {
    return FileRowContent{qs(node.name), qs(relativePath(node, root)), formatByteCount(node.logicalSize), node.category};
}

FileRow::FileRow(const DiskNode& node, const DiskNode& root, bool selected, bool compact, std::function<void()> action,
                 QWidget* parent)
    : QAbstractButton(parent), content_(FileRowContent::make(node, root)), nodeID_(node.id), selected_(selected),
      compact_(compact), action_(std::move(action)) {
    setAccessibleName(content_.accessibleLabel());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setShape(this, this, 9);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (action_) action_();
    });
}

void FileRow::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
}

int FileRow::rowHeight(bool compact) {
    return static_cast<int>(std::ceil(contentHeight() + 2 * verticalPadding(compact)));
}

QSize FileRow::sizeHint() const { return QSize(420, rowHeight(compact_)); }
QSize FileRow::minimumSizeHint() const { return QSize(160, rowHeight(compact_)); }

void FileRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, rect(), content_, selected_, compact_);
}

FileRow::Layout FileRow::layout(const QRectF& rect, const FileRowContent& content, bool compact) {
    Layout l;
    const QRectF inner = rect.adjusted(horizontalPadding, verticalPadding(compact), -horizontalPadding,
                                       -verticalPadding(compact));
    const double midY = inner.center().y();
    l.icon = QRectF(inner.left(), midY - iconHeight / 2, iconWidth, iconHeight);
    l.chevron = QRectF(inner.right() - chevronSize, midY - chevronSize, chevronSize, 2 * chevronSize);
    const QFontMetricsF sizeMetrics(sizeFont());
    const double sizeWidth = std::ceil(sizeMetrics.horizontalAdvance(content.size));
    l.size = QRectF(l.chevron.left() - spacing - sizeWidth, midY - sizeMetrics.height() / 2, sizeWidth, sizeMetrics.height());
    // The text column takes what is left between the icon and the size, keeping at least 10 points
    // (the stack's spacing of 12 here) before the size.
    const double textLeft = l.icon.right() + spacing;
    const double textWidth = std::max(0.0, l.size.left() - std::max(spacing, minimumGap) - textLeft);
    const QFontMetricsF nameMetrics(nameFont()), locationMetrics(locationFont());
    const double top = midY - (nameMetrics.height() + textSpacing + locationMetrics.height()) / 2;
    l.name = QRectF(textLeft, top, textWidth, nameMetrics.height());
    l.location = QRectF(textLeft, top + nameMetrics.height() + textSpacing, textWidth, locationMetrics.height());
    return l;
}

void FileRow::paint(QPainter& painter, const QRectF& rect, const FileRowContent& content, bool selected, bool compact) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (selected) painter.fillPath(roundedRect(rect, 9), Theme::accent(0.08));
    const Layout l = layout(rect, content, compact);
    const QColor tintColor = tint(content.category)();

    QColor iconBackground = tintColor;
    iconBackground.setAlphaF(iconBackground.alphaF() * 0.07f);
    painter.fillPath(roundedRect(l.icon, 7), iconBackground);
    drawSymbol(painter, l.icon, categorySymbol(content.category), 14, tintColor);

    drawSymbol(painter, l.chevron, "chevron.right", chevronSize, Theme::muted());
    painter.setFont(sizeFont());
    painter.setPen(Theme::secondary());
    painter.drawText(l.size, Qt::AlignRight | Qt::AlignVCenter, content.size);

    const QFont name = nameFont(), location = locationFont();
    painter.setFont(name);
    painter.setPen(Theme::text());
    painter.drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(name).elidedText(content.name, Qt::ElideRight, l.name.width()));
    painter.setFont(location);
    painter.setPen(Theme::muted());
    painter.drawText(l.location, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(location).elidedText(content.location, Qt::ElideMiddle, l.location.width()));
    painter.restore();
}

} // namespace morvo
