#include "Morvo/Kit/Cards.h"


#include "Morvo/Kit/Symbols.h"
#include "Morvo/Platform/Fonts.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QGridLayout>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTextLine>

#include <algorithm>
#include <cmath>
#include <utility>

namespace morvo {

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// ---------------------------------------------------------------------------------------------

Panel::Panel(double padding, QWidget* parent) : QWidget(parent), padding_(padding), layout_(new QVBoxLayout(this)) {
    const int m = static_cast<int>(std::lround(padding));
    layout_->setContentsMargins(m, m, m, m);
    layout_->setSpacing(0);
}

void Panel::paintEvent(QPaintEvent*) {
    paintCard(*this, 16);
}

// ---------------------------------------------------------------------------------------------

namespace {
QFont eyebrowFont() { return systemFont(9, QFont::DemiBold, FontDesign::standard, 1.7); }
} // namespace

SectionEyebrow::SectionEyebrow(QString text, QWidget* parent) : QWidget(parent), text_(std::move(text)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(text_);
}

void SectionEyebrow::setText(QString text) {
    if (text == text_) return;
    text_ = std::move(text);
    setAccessibleName(text_);
    updateGeometry();
    update();
}

QString SectionEyebrow::displayedText() const { return text_.toUpper(); }

QSize SectionEyebrow::sizeHint() const {
    const QFontMetricsF fm(eyebrowFont());
    return {static_cast<int>(std::ceil(fm.horizontalAdvance(displayedText()))), static_cast<int>(std::ceil(fm.height()))};
}

void SectionEyebrow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(eyebrowFont());
    p.setPen(Theme::muted());
    const QString shown = QFontMetricsF(eyebrowFont()).elidedText(displayedText(), Qt::ElideRight, width());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

// ---------------------------------------------------------------------------------------------

MorvoMark::MorvoMark(double size, QWidget* parent) : QWidget(parent), size_(size) {
    const int side = static_cast<int>(std::lround(size));
    setFixedSize(side, side);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void MorvoMark::paint(QPainter& p, const QRectF& rect, double size) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF square(rect.center().x() - size / 2, rect.center().y() - size / 2, size, size);
    p.fillPath(roundedRect(square, size * 0.29), Theme::accent(0.12));
    drawSymbol(p, square, "sparkle", size * 0.68, Theme::accent());
    p.restore();
}

void MorvoMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(rect()), size_);
}

void paintCard(QWidget& widget, double radius) {
    QPainter p(&widget);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = roundedRect(QRectF(widget.rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius);
    p.fillPath(shape, Theme::panel());
    p.setPen(QPen(Theme::border(), 1));
    p.drawPath(shape);
}

} // namespace morvo
