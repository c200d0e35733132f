#include "Morvo/Kit/Buttons.h"
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
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace morvo {

// ---------------------------------------------------------------------------------------------

QFont ButtonStyle::labelFont() const { return systemFont(12); }
QColor ButtonStyle::labelColor(bool) const { return Theme::text(); }
void ButtonStyle::paintBackground(QPainter&, const QRectF&, bool) const {}

QFont QuietButtonStyle::labelFont() const { return systemFont(12, QFont::Medium); }
QColor QuietButtonStyle::labelColor(bool pressed) const { return Theme::text(pressed ? 0.6 : 0.9); }
void QuietButtonStyle::paintBackground(QPainter& p, const QRectF& bounds, bool pressed) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = roundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 8);
    p.fillPath(shape, pressed ? Theme::quietButtonPressed() : Theme::quietButton());
    p.setPen(QPen(Theme::border(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.restore();
}

QFont AccentButtonStyle::labelFont() const { return systemFont(12, QFont::DemiBold); }
QColor AccentButtonStyle::labelColor(bool) const { return Theme::onAccent(); }
void AccentButtonStyle::paintBackground(QPainter& p, const QRectF& bounds, bool pressed) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(roundedRect(bounds, 9), Theme::accent(pressed ? 0.75 : 1.0));
    p.restore();
}

// ---------------------------------------------------------------------------------------------

KitButton::KitButton(std::shared_ptr<const ButtonStyle> style, QWidget* parent)
    : QAbstractButton(parent), style_(style ? std::move(style) : std::make_shared<PlainButtonStyle>()) {
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    FocusRing::install();
}

KitButton& KitButton::addSymbol(const QString& name, double pixelSize, std::optional<AdaptiveColor> color) {
    Part part;
    part.kind = Part::Kind::symbol;
    part.value = name;
    part.symbolPixelSize = pixelSize;
    part.color = color;
    parts_.push_back(std::move(part));
    partsChanged();
    return *this;
}

KitButton& KitButton::addText(const QString& text, std::optional<QFont> font, std::optional<AdaptiveColor> color) {
    Part part;
    part.kind = Part::Kind::text;
    part.value = text;
    part.font = std::move(font);
    part.color = color;
    parts_.push_back(std::move(part));
    partsChanged();
    return *this;
}

KitButton& KitButton::addSpacer() {
    Part part;
    part.kind = Part::Kind::spacer;
    parts_.push_back(std::move(part));
    partsChanged();
    return *this;
}

KitButton& KitButton::clearParts() {
    parts_.clear();
    partsChanged();
    return *this;
}

void KitButton::setPartText(int index, const QString& value) {
    if (index < 0 || index >= static_cast<int>(parts_.size()) || parts_[index].value == value) return;
    parts_[index].value = value;
    partsChanged();
}

void KitButton::setPartColor(int index, std::optional<AdaptiveColor> color, double opacity) {
    if (index < 0 || index >= static_cast<int>(parts_.size())) return;
    parts_[index].color = color;
    parts_[index].opacity = opacity;
    update();
}

void KitButton::setButtonStyle(std::shared_ptr<const ButtonStyle> style) {
    style_ = style ? std::move(style) : std::make_shared<PlainButtonStyle>();
    updateGeometry();
    update();
}

void KitButton::setSpacing(double spacing) {
    spacing_ = spacing;
    updateGeometry();
    update();
}

void KitButton::setOuterMargins(QMarginsF margins) {
    outer_ = margins;
    updateGeometry();
    update();
}

void KitButton::setContentHeight(double height) {
    contentHeight_ = height;
    updateGeometry();
    update();
}

QString KitButton::labelText() const {
    QStringList texts;
    for (const Part& part : parts_)
        if (part.kind == Part::Kind::text && !part.value.isEmpty()) texts << part.value;
    return texts.join(QLatin1Char(' '));
}

void KitButton::partsChanged() {
    // The label is the accessible name until a caller sets one of its own.
    const QString name = labelText();
    const QString autoName = property("morvo.autoAccessibleName").toString();
    if (accessibleName().isEmpty() || accessibleName() == autoName) {
        setAccessibleName(name);
        setProperty("morvo.autoAccessibleName", name);
    }
    updateGeometry();
    update();
}

QFont KitButton::partFont(const Part& part) const { return part.font ? *part.font : style_->labelFont(); }

double KitButton::partWidth(const Part& part) const {
    switch (part.kind) {
    case Part::Kind::spacer: return 0;
    case Part::Kind::symbol: {
        const double px = part.symbolPixelSize > 0 ? part.symbolPixelSize : partFont(part).pixelSize();
        return std::ceil(px * 1.2);
    }
    case Part::Kind::text: return std::ceil(QFontMetricsF(partFont(part)).horizontalAdvance(part.value));
    }
    return 0;
}

QSize KitButton::sizeHint() const {
    double width = 0;
    double height = 0;
    int counted = 0;
    for (const Part& part : parts_) {
        width += partWidth(part);
        if (counted++ > 0) width += spacing_;
        if (part.kind == Part::Kind::symbol) {
            const double px = part.symbolPixelSize > 0 ? part.symbolPixelSize : partFont(part).pixelSize();
            height = std::max(height, px * 1.2);
        } else if (part.kind == Part::Kind::text) {
            height = std::max(height, QFontMetricsF(partFont(part)).height());
        }
    }
    const QMarginsF pad = style_->padding();
    width += pad.left() + pad.right();
    height = contentHeight_ > 0 ? contentHeight_ : height + pad.top() + pad.bottom();
    width += outer_.left() + outer_.right();
    height += outer_.top() + outer_.bottom();
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

QSize KitButton::minimumSizeHint() const {
    QSize hint = sizeHint();
    // Texts may be elided, so only the fixed parts count toward the minimum width.
    double fixed = style_->padding().left() + style_->padding().right() + outer_.left() + outer_.right();
    for (const Part& part : parts_)
        if (part.kind == Part::Kind::symbol) fixed += partWidth(part) + spacing_;
    return {static_cast<int>(std::ceil(fixed)), hint.height()};
}

QRectF KitButton::styledRect() const {
    QRectF styled = QRectF(rect()).marginsRemoved(outer_);
    if (contentHeight_ > 0 && styled.height() > contentHeight_)
        styled = QRectF(styled.left(), styled.center().y() - contentHeight_ / 2, styled.width(), contentHeight_);
    return styled;
}

QRectF KitButton::focusRingRect() const { return style_->focusRingRect(styledRect()); }
double KitButton::focusRingRadius() const { return style_->focusRingRadius(); }

void KitButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (!isEnabled()) p.setOpacity(0.45);
    const QRectF styled = styledRect();
    const bool pressed = isDown();
    style_->paintBackground(p, styled, pressed);
    paintExtraBackground(p, styled);

    const QRectF label = styled.marginsRemoved(style_->padding());
    double fixed = 0;
    int spacers = 0;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        fixed += partWidth(parts_[i]);
        if (i > 0) fixed += spacing_;
        if (parts_[i].kind == Part::Kind::spacer) ++spacers;
    }
    const double free = std::max(0.0, label.width() - fixed);
    const double perSpacer = spacers > 0 ? free / spacers : 0;
    // Without a spacer the label is centred; texts shrink (elided) when space runs out.
    double overflow = std::max(0.0, fixed - label.width());
    double x = spacers > 0 ? label.left() : label.left() + free / 2;
    const QColor defaultColor = style_->labelColor(pressed);
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const Part& part = parts_[i];
        if (i > 0) x += spacing_;
        if (part.kind == Part::Kind::spacer) {
            x += perSpacer;
            continue;
        }
        double w = partWidth(part);
        QColor color = part.color ? (*part.color)() : defaultColor;
        if (part.color && pressed && dynamic_cast<const QuietButtonStyle*>(style_.get())) color.setAlphaF(color.alphaF() * 0.67f);
        if (part.opacity != 1.0) color.setAlphaF(static_cast<float>(color.alphaF() * part.opacity));
        if (part.kind == Part::Kind::symbol) {
            const double px = part.symbolPixelSize > 0 ? part.symbolPixelSize : partFont(part).pixelSize();
            drawSymbol(p, QRectF(x, label.top(), w, label.height()), part.value.toStdString(), px, color);
        } else {
            if (overflow > 0) {
                const double cut = std::min(overflow, w);
                w -= cut;
                overflow -= cut;
            }
            const QFont font = partFont(part);
            p.setFont(font);
            p.setPen(color);
            const QString shown = QFontMetricsF(font).elidedText(part.value, Qt::ElideRight, w + 0.5);
            p.drawText(QRectF(x, label.top(), w + 1, label.height()), Qt::AlignVCenter | Qt::AlignLeft, shown);
        }
        x += w;
    }
}

// ---------------------------------------------------------------------------------------------

ActionButton::ActionButton(QString title, std::optional<QString> systemImage, std::function<void()> action,
                           QWidget* parent)
    : KitButton(nullptr, parent), title_(std::move(title)),
      systemImage_(systemImage.value_or(QStringLiteral("arrow.up.forward.app"))) {
    setToolTip(title_);
    rebuild();
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

void ActionButton::setIconOnly(bool iconOnly) {
    if (iconOnly_ == iconOnly) return;
    iconOnly_ = iconOnly;
    rebuild();
}

void ActionButton::rebuild() {
    clearParts();
    addSymbol(systemImage_);
    if (!iconOnly_) addText(title_);
    setAccessibleName(title_);
}

// ---------------------------------------------------------------------------------------------

StateCheckBox::StateCheckBox(std::function<void()> toggle, QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::ArrowCursor);
    FocusRing::install();
    if (toggle) connect(this, &QAbstractButton::clicked, this, [toggle = std::move(toggle)] { toggle(); });
}

void StateCheckBox::setSelected(bool selected) {
    if (selected == isChecked()) return;
    // The value comes from the owner; it is not a user's change.
    const bool blocked = blockSignals(true);
    setChecked(selected);
    blockSignals(blocked);
    update();
}

void StateCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.45);
    const QRectF box = QRectF(rect()).adjusted(1, 1, -1, -1);
    const QPainterPath shape = roundedRect(box, 4);
    if (isChecked()) {
        p.fillPath(shape, Theme::accent());
        p.setPen(QPen(Theme::onAccent(), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const double x = box.left(), y = box.top(), w = box.width(), h = box.height();
        QPainterPath tick;
        tick.moveTo(x + w * 0.24, y + h * 0.52);
        tick.lineTo(x + w * 0.43, y + h * 0.71);
        tick.lineTo(x + w * 0.77, y + h * 0.31);
        p.drawPath(tick);
    } else {
        p.fillPath(shape, Theme::elevated());
        p.setPen(QPen(Theme::secondary(0.6), 1));
        p.drawPath(shape);
    }
}

// ---------------------------------------------------------------------------------------------

SmallSpinner::SmallSpinner(int diameter, double penWidth, QWidget* parent) : QWidget(parent), penWidth_(penWidth) {
    setFixedSize(diameter, diameter);
    timer_.setInterval(60);
    connect(&timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 30) % 360;
        update();
    });
}

void SmallSpinner::showEvent(QShowEvent*) { timer_.start(); }
void SmallSpinner::hideEvent(QHideEvent*) { timer_.stop(); }

void SmallSpinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Theme::secondary(), penWidth_, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -angle_ * 16, 270 * 16);
}

} // namespace morvo
