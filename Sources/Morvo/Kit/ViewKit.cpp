#include "Morvo/Kit/ViewKit.h"

#include "Morvo/Kit/Symbols.h"

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

std::string relativePath(const DiskNode& node, const DiskNode& root) {
    const std::string& rootPath = root.url.path;
    const std::string prefix = rootPath == "/" ? std::string("/") : rootPath + "/";
    const std::string& path = node.url.path;
    if (path.size() >= prefix.size() && path.compare(0, prefix.size(), prefix) == 0) return path.substr(prefix.size());
    return path;
}

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

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

// ---------------------------------------------------------------------------------------------

SelectableText::SelectableText(QString text, QFont font, AdaptiveColor color, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), color_(color) {
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleName(text_);
}

void SelectableText::setText(QString text) {
    if (text == text_) return;
    text_ = std::move(text);
    anchor_ = cursor_ = -1;
    heights_.clear();
    setAccessibleName(text_);
    updateGeometry();
    update();
}

void SelectableText::setForeground(AdaptiveColor color) {
    color_ = color;
    update();
}

void SelectableText::setLineSpacing(double spacing) {
    lineSpacing_ = spacing;
    heights_.clear();
    updateGeometry();
    update();
}

void SelectableText::setMaximumLines(int lines) {
    maxLines_ = lines;
    heights_.clear();
    updateGeometry();
    update();
}

void SelectableText::setPathBreaks(bool pathBreaks) {
    pathBreaks_ = pathBreaks;
    heights_.clear();
    updateGeometry();
    update();
}

namespace {

// Where a path's line that starts at `from` may end within `width`: after the last "/" or run of
// spaces that still fits (the spaces hang past the edge), or at the end of the text. Gives that
// position and the width of what it draws, or -1 when even the first name does not fit.
std::pair<int, double> pathLineEnd(const QString& text, int from, double width, const QFontMetricsF& metrics) {
    int best = -1;
    double bestWidth = 0;
    const int n = static_cast<int>(text.size());
    for (int end = from + 1; end <= n; ++end) {
        const QChar last = text[end - 1];
        const bool forced = last == QChar::LineSeparator;
        if (!forced && end < n && last != QLatin1Char('/') && !(last == QLatin1Char(' ') && text[end] != QLatin1Char(' ')))
            continue;
        int drawnEnd = forced ? end - 1 : end;
        while (drawnEnd > from && text[drawnEnd - 1] == QLatin1Char(' ')) --drawnEnd;
        const double drawn = metrics.horizontalAdvance(text.mid(from, drawnEnd - from));
        if (drawn > width) break;
        best = end;
        bestWidth = drawn;
        if (forced) break;
    }
    return {best, bestWidth};
}

// Lays out `line` of a path: up to the break that pathLineEnd chose. The layout itself breaks
// anywhere; a line width just past what the chosen part draws makes it end there.
void layoutPathLine(QTextLine& line, const QString& text, double width, const QFontMetricsF& metrics) {
    const auto [end, drawn] = pathLineEnd(text, line.textStart(), width, metrics);
    if (end < 0) {
        line.setLineWidth(width); // a name wider than the line: it breaks where the line is full
        return;
    }
    for (double slack = 0.5;; slack += 0.5) {
        line.setLineWidth(std::min(width, drawn + slack));
        if (line.textStart() + line.textLength() >= end || drawn + slack >= width) return;
    }
}

} // namespace

void SelectableText::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

double SelectableText::layoutText(QTextLayout& layout, double width, bool limited) const {
    QString shown = text_;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator); // same length: cursor positions still match
    layout.setText(shown);
    layout.setFont(font_);
    QTextOption option(alignment_);
    option.setWrapMode(pathBreaks_ ? QTextOption::WrapAnywhere : QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const QFontMetricsF metrics(font_);
    layout.beginLayout();
    double y = 0;
    int lines = 0;
    for (;;) {
        if (limited && maxLines_ > 0 && lines == maxLines_) break;
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        if (pathBreaks_) layoutPathLine(line, shown, std::max(1.0, width), metrics);
        else line.setLineWidth(std::max(1.0, width));
        if (lines > 0) y += lineSpacing_;
        line.setPosition(QPointF(0, y));
        y += line.height();
        ++lines;
    }
    layout.endLayout();
    return y;
}

int SelectableText::lineCount(int width) const {
    QTextLayout layout;
    layoutText(layout, width, false);
    return layout.lineCount();
}

QStringList SelectableText::lines(int width) const {
    QTextLayout layout;
    layoutText(layout, width, false);
    QStringList texts;
    for (int i = 0; i < layout.lineCount(); ++i) texts << text_.mid(layout.lineAt(i).textStart(), layout.lineAt(i).textLength());
    return texts;
}

int SelectableText::heightForWidth(int width) const {
    for (const auto& [w, h] : heights_)
        if (w == width) return h;
    QTextLayout layout;
    const int height = static_cast<int>(std::ceil(layoutText(layout, width, true)));
    if (heights_.size() == 16) heights_.erase(heights_.begin());
    heights_.emplace_back(width, height);
    return height;
}

QSize SelectableText::sizeHint() const {
    const QFontMetricsF fm(font_);
    const int natural = static_cast<int>(std::ceil(fm.horizontalAdvance(text_))) + 1;
    const int w = std::min(std::max(natural, 20), 400);
    return {w, heightForWidth(width() > 0 ? width() : w)};
}

QSize SelectableText::minimumSizeHint() const {
    return {20, static_cast<int>(std::ceil(QFontMetricsF(font_).height()))};
}

void SelectableText::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateGeometry();
}

int SelectableText::cursorAt(const QPointF& point) const {
    QTextLayout layout;
    layoutText(layout, width(), true);
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if (point.y() < line.y() + line.height() + lineSpacing_ / 2 || i == layout.lineCount() - 1)
            return line.xToCursor(point.x());
    }
    return 0;
}

QString SelectableText::selectedText() const {
    if (anchor_ < 0 || cursor_ < 0 || anchor_ == cursor_) return {};
    return text_.mid(std::min(anchor_, cursor_), std::abs(cursor_ - anchor_));
}

void SelectableText::selectAll() {
    anchor_ = 0;
    cursor_ = static_cast<int>(text_.size());
    update();
}

void SelectableText::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    QTextLayout layout;
    layoutText(layout, width(), true);
    QList<QTextLayout::FormatRange> selections;
    if (anchor_ >= 0 && cursor_ >= 0 && anchor_ != cursor_) {
        QTextLayout::FormatRange range;
        range.start = std::min(anchor_, cursor_);
        range.length = std::abs(cursor_ - anchor_);
        range.format.setBackground(Theme::accent(0.3));
        range.format.setForeground(Theme::text());
        selections << range;
    }
    p.setPen(color_());
    const int count = layout.lineCount();
    const bool cut = count > 0 && [&] {
        const QTextLine last = layout.lineAt(count - 1);
        return last.textStart() + last.textLength() < text_.size();
    }();
    if (!cut) {
        layout.draw(&p, QPointF(0, 0), selections);
        return;
    }
    // The last shown line ends in an ellipsis when the text goes on.
    for (int i = 0; i < count - 1; ++i) layout.lineAt(i).draw(&p, QPointF(0, 0));
    const QTextLine last = layout.lineAt(count - 1);
    p.setFont(font_);
    const QString rest = text_.mid(last.textStart());
    p.drawText(QPointF(0, last.y() + last.ascent()), QFontMetricsF(font_).elidedText(rest, Qt::ElideRight, width()));
}

void SelectableText::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    anchor_ = cursor_ = cursorAt(event->position());
    update();
}

void SelectableText::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || anchor_ < 0) return QWidget::mouseMoveEvent(event);
    cursor_ = cursorAt(event->position());
    update();
}

void SelectableText::mouseDoubleClickEvent(QMouseEvent*) { selectAll(); }

void SelectableText::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        if (const QString s = selectedText(); !s.isEmpty()) QGuiApplication::clipboard()->setText(s);
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SelectableText::contextMenuEvent(QContextMenuEvent* event) { event->ignore(); }

PathText::PathText(const Url& url, QWidget* parent) : SelectableText(QString(), monospacedFont(10), Theme::secondary, parent) {
    setLineSpacing(3);
    setPathBreaks(true);
    setUrl(url);
}

void PathText::setUrl(const Url& url) {
    // Display only: the path's bytes are shown as UTF-8; no path is ever rebuilt from this text.
    setText(QString::fromUtf8(url.path.data(), static_cast<qsizetype>(url.path.size())));
    setAccessibleName(QStringLiteral("Path: ") + text());
}

// ---------------------------------------------------------------------------------------------

TextLabel::TextLabel(const QString& text, const QFont& font, AdaptiveColor color, QWidget* parent)
    : QLabel(parent), color_(color) {
    setTextFormat(Qt::PlainText);
    setText(text);
    setFont(font);
    Theme::track(this, [this] { applyColor(); });
}

void TextLabel::setForeground(AdaptiveColor color, double opacity) {
    color_ = color;
    opacity_ = opacity;
    applyColor();
}

void TextLabel::applyColor() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color_(opacity_));
    pal.setColor(QPalette::Text, color_(opacity_));
    pal.setColor(QPalette::Highlight, Theme::accent(0.3));
    pal.setColor(QPalette::HighlightedText, Theme::text());
    setPalette(pal);
    update();
}

void TextLabel::setLineSpacing(double spacing) {
    lineSpacing_ = spacing;
    updateGeometry();
    update();
}

void TextLabel::setMaximumLines(int lines) {
    maxLines_ = lines;
    updateGeometry();
    update();
}

void TextLabel::setMinimumScaleFactor(double factor) {
    minimumScale_ = std::clamp(factor, 0.1, 1.0);
    updateGeometry();
    update();
}

double TextLabel::shownScale() const {
    if (minimumScale_ >= 1.0 || wordWrap()) return 1.0;
    const double natural = QFontMetricsF(font()).horizontalAdvance(text());
    const double room = contentsRect().width();
    if (natural <= room || natural <= 0) return 1.0;
    return std::max(minimumScale_, room / natural);
}

QSize TextLabel::minimumSizeHint() const {
    QSize hint = QLabel::minimumSizeHint();
    if (minimumScale_ < 1.0 && !wordWrap()) {
        const QMargins m = contentsMargins();
        const double natural = QFontMetricsF(font()).horizontalAdvance(text());
        hint.setWidth(static_cast<int>(std::ceil(natural * minimumScale_)) + m.left() + m.right());
    }
    return hint;
}

bool TextLabel::event(QEvent* e) { return QLabel::event(e); }

namespace {
// Height of `text` wrapped at `width` with extra `spacing` between lines, at most `maxLines`.
double wrappedHeight(const QString& text, const QFont& font, double width, double spacing, int maxLines) {
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    int lines = 0;
    for (;;) {
        if (maxLines > 0 && lines == maxLines) break;
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (lines > 0) y += spacing;
        y += line.height();
        ++lines;
    }
    layout.endLayout();
    return y;
}
} // namespace

int TextLabel::heightForWidth(int width) const {
    const bool selectable = textInteractionFlags() & Qt::TextSelectableByMouse;
    if ((lineSpacing_ <= 0 && maxLines_ <= 0) || !wordWrap() || selectable) return QLabel::heightForWidth(width);
    const QMargins m = contentsMargins();
    return static_cast<int>(std::ceil(wrappedHeight(text(), font(), width - m.left() - m.right(), lineSpacing_, maxLines_))) +
           m.top() + m.bottom();
}

QSize TextLabel::sizeHint() const {
    QSize hint = QLabel::sizeHint();
    const bool selectable = textInteractionFlags() & Qt::TextSelectableByMouse;
    if ((lineSpacing_ > 0 || maxLines_ > 0) && wordWrap() && !selectable) hint.setHeight(heightForWidth(hint.width()));
    return hint;
}

void TextLabel::paintEvent(QPaintEvent* event) {
    if (minimumScale_ < 1.0 && !wordWrap()) {
        // One line, scaled down to fit, then cut with an ellipsis below the smallest scale.
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        QFont scaled = font();
        const double scale = shownScale();
        if (scale < 1.0) {
            if (scaled.pixelSize() > 0) scaled.setPixelSize(std::max(1, static_cast<int>(std::floor(scaled.pixelSize() * scale))));
            else scaled.setPointSizeF(scaled.pointSizeF() * scale);
        }
        const QRect room = contentsRect();
        p.setFont(scaled);
        p.setPen(color_(opacity_));
        p.drawText(room, static_cast<int>(alignment()), QFontMetricsF(scaled).elidedText(text(), Qt::ElideRight, room.width()));
        return;
    }
    const bool selectable = textInteractionFlags() & Qt::TextSelectableByMouse;
    if ((lineSpacing_ <= 0 && maxLines_ <= 0) || !wordWrap() || selectable) {
        if (maxLines_ > 0 && wordWrap()) {
            const QFontMetricsF fm(font());
            setMaximumHeight(static_cast<int>(std::ceil(fm.lineSpacing() * maxLines_)));
        }
        return QLabel::paintEvent(event);
    }
    // Wrapped text with extra line spacing or a line limit: laid out here.
    QPainter p(this);
    p.setPen(color_(opacity_));
    QString shown = text();
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator); // hard breaks stay breaks
    QTextLayout layout(shown, font());
    QTextOption option(alignment());
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    double y = 0;
    int lines = 0;
    const QFontMetricsF fm(font());
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width());
        line.setPosition(QPointF(0, y));
        y += line.height() + lineSpacing_;
        ++lines;
        if (maxLines_ > 0 && lines == maxLines_) break;
    }
    layout.endLayout();
    for (int i = 0; i < layout.lineCount(); ++i) {
        QTextLine line = layout.lineAt(i);
        const bool last = i == layout.lineCount() - 1;
        if (last && line.textStart() + line.textLength() < shown.size()) {
            const QString rest = shown.mid(line.textStart());
            p.setFont(font());
            p.drawText(QPointF(0, line.y() + line.ascent()), fm.elidedText(rest, Qt::ElideRight, width()));
        } else {
            line.draw(&p, QPointF(0, 0));
        }
    }
}

// ---------------------------------------------------------------------------------------------

Hairline::Hairline(Qt::Orientation orientation, QWidget* parent) : QWidget(parent) {
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Hairline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::border());
}

ThemedBackground::ThemedBackground(AdaptiveColor color, double opacity, QWidget* parent)
    : QWidget(parent), color_(color), opacity_(opacity) {}

void ThemedBackground::setBackground(AdaptiveColor color, double opacity) {
    color_ = color;
    opacity_ = opacity;
    update();
}

void ThemedBackground::setCornerRadius(double radius) {
    radius_ = radius;
    update();
}

void ThemedBackground::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (radius_ <= 0) {
        p.fillRect(rect(), color_(opacity_));
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(roundedRect(QRectF(rect()), radius_), color_(opacity_));
}

// ---------------------------------------------------------------------------------------------

namespace {
QString css(const QColor& color) { return color.name(QColor::HexArgb); }
QString css(const AdaptiveColor& color, AppAppearance appearance, double opacity = 1.0) {
    QColor c = color.resolve(appearance);
    c.setAlphaF(static_cast<float>(c.alphaF() * opacity));
    return css(c);
}
constexpr const char* kButtonKind = "morvoButtonKind";
} // namespace

ThemedMessageBox::ThemedMessageBox(QWidget* parent) : QMessageBox(parent) {
    setIcon(QMessageBox::NoIcon);
    setWindowTitle(QStringLiteral("Morvo"));
    setTextFormat(Qt::PlainText);
    Theme::track(this, [this] { applyTheme(); });
}

void ThemedMessageBox::setButtonKind(QAbstractButton* button, ButtonKind kind) {
    button->setProperty(kButtonKind, kind == ButtonKind::destructive ? QStringLiteral("destructive")
                                     : kind == ButtonKind::primary  ? QStringLiteral("primary")
                                                                    : QStringLiteral("quiet"));
    button->style()->unpolish(button);
    button->style()->polish(button);
}

ThemedMessageBox::ButtonKind ThemedMessageBox::buttonKind(const QAbstractButton* button) {
    const QString kind = button->property(kButtonKind).toString();
    if (kind == QStringLiteral("destructive")) return ButtonKind::destructive;
    if (kind == QStringLiteral("primary")) return ButtonKind::primary;
    return ButtonKind::quiet;
}

void ThemedMessageBox::applyTheme() {
    const AppAppearance a = Theme::current().appearance();
    // No focus border of the style sheet's own: the kit's ring shows the focus (after a key).
    setStyleSheet(QStringLiteral(
        "QMessageBox { background-color: %1; border: 1px solid %5; }"
        "QMessageBox QLabel { color: %2; background: transparent; }"
        "QMessageBox QLabel#qt_msgbox_informativelabel { color: %3; }"
        "QMessageBox QPushButton { color: %2; background-color: %4; border: 1px solid %5; border-radius: 8px;"
        "  padding: 7px 14px; min-width: 56px; }"
        "QMessageBox QPushButton:pressed { background-color: %6; }"
        "QMessageBox QPushButton[morvoButtonKind=\"primary\"] { color: %7; background-color: %8; border: 1px solid %8; }"
        "QMessageBox QPushButton[morvoButtonKind=\"primary\"]:pressed { background-color: %9; }"
        "QMessageBox QPushButton[morvoButtonKind=\"destructive\"] { color: %7; background-color: %10; border: 1px solid %10; }"
        "QMessageBox QPushButton[morvoButtonKind=\"destructive\"]:pressed { background-color: %11; }")
                      .arg(css(Theme::background, a), css(Theme::text, a), css(Theme::secondary, a),
                           css(Theme::quietButton, a), css(Theme::border, a), css(Theme::quietButtonPressed, a),
                           css(Theme::onAccent, a), css(Theme::accent, a), css(Theme::accent, a, 0.75))
                      .arg(css(Theme::warning, a), css(Theme::warning, a, 0.75)));
    if (auto* title = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) title->setFont(systemFont(15, QFont::DemiBold));
    if (auto* message = findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        message->setFont(systemFont(12));
        message->setTextFormat(Qt::PlainText);
    }
    for (QAbstractButton* button : buttons()) {
        button->setFont(systemFont(12, QFont::Medium));
        FocusRing::setShape(button, button, 8);
    }
}

void ThemedMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    applyTheme();
    fitSize();
}

bool ThemedMessageBox::event(QEvent* event) {
    const bool result = QMessageBox::event(event);
    // QMessageBox sizes itself again on every layout request; the desktop size wins.
    if (event->type() == QEvent::LayoutRequest && isVisible()) fitSize();
    return result;
}

void ThemedMessageBox::fitSize() {
    if (fitting_) return;
    fitting_ = true;
    // QMessageBox sizes itself against the screen (a third of a small screen's width at most);
    // a desktop alert keeps one width and grows in height with its wrapped message instead.
    QLayout* grid = layout();
    if (!grid) {
        fitting_ = false;
        return;
    }
    // QMessageBox builds a new grid whenever its texts change, with the platform's narrow margins
    // and an indent where the icon would be; the alert keeps even margins instead.
    grid->setContentsMargins(24, 22, 24, 20);
    grid->setSpacing(10);
    if (auto* cells = qobject_cast<QGridLayout*>(grid)) {
        for (int i = 0; i < cells->count(); ++i) {
            QSpacerItem* spacer = cells->itemAt(i)->spacerItem();
            int row = 0, column = 0, rows = 0, columns = 0;
            cells->getItemPosition(i, &row, &column, &rows, &columns);
            if (spacer && column == 0 && spacer->sizePolicy().horizontalPolicy() == QSizePolicy::Fixed)
                spacer->changeSize(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
        }
        cells->setColumnStretch(cells->columnCount() - 1, 1);  // the texts take the width, not the empty indent
        cells->setHorizontalSpacing(0);                         // nor a gap after it
        cells->invalidate();
    }
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName() != QStringLiteral("qt_msgbox_label") &&
            label->objectName() != QStringLiteral("qt_msgbox_informativelabel"))
            continue;
        label->setWordWrap(true);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        label->setSizePolicy(policy);
        label->setMinimumWidth(0);
    }
    grid->activate();
    const int width = std::max(preferredWidth, grid->totalMinimumSize().width());
    const int height = grid->hasHeightForWidth() ? grid->totalHeightForWidth(width) : grid->totalMinimumSize().height();
    setFixedSize(width, height);
    fitting_ = false;
}

namespace {
// The pickers' chevron in `color`, as a picture file for the style sheet (drawn once per colour,
// kept in a folder that lives as long as the application).
QString chevronFile(const QColor& color) {
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chevron-%1.png").arg(color.name(QColor::HexArgb).mid(1)));
    if (!QFileInfo::exists(path)) {
        QPixmap pixmap(20, 12);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(color, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(5, 3.5), QPointF(10, 8.5), QPointF(15, 3.5)}));
        p.end();
        pixmap.save(path);
    }
    return path;
}
} // namespace

QString applicationStyleSheet(AppAppearance a) {
    return QStringLiteral(
               "QToolTip { color: %1; background-color: %2; border: 1px solid %3; border-radius: 6px; padding: 4px 7px; }"
               "QScrollBar:vertical { background: transparent; width: 10px; margin: 0; border: none; }"
               "QScrollBar:horizontal { background: transparent; height: 10px; margin: 0; border: none; }"
               "QScrollBar::handle:vertical { background: %4; border-radius: 3px; min-height: 28px; margin: 2px 2px 2px 2px; }"
               "QScrollBar::handle:horizontal { background: %4; border-radius: 3px; min-width: 28px; margin: 2px; }"
               "QScrollBar::handle:hover, QScrollBar::handle:pressed { background: %5; }"
               "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }"
               "QScrollBar::up-arrow, QScrollBar::down-arrow, QScrollBar::left-arrow, QScrollBar::right-arrow"
               " { width: 0; height: 0; background: none; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"
               "QComboBox { color: %1; background-color: %6; border: 1px solid %3; border-radius: 7px;"
               "  padding: 3px 8px 3px 10px; }"
               "QComboBox:hover { background-color: %7; }"
               "QComboBox:on { background-color: %7; }"
               "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: center right; width: 20px;"
               "  border: none; background: transparent; }"
               "QComboBox::down-arrow { image: url(%9); width: 10px; height: 6px; }"
               "QComboBox QAbstractItemView { color: %1; background-color: %2; border: 1px solid %3; padding: 4px;"
               "  outline: 0; selection-background-color: %8; selection-color: %1; }")
        .arg(css(Theme::text, a), css(Theme::panel, a), css(Theme::border, a), css(Theme::secondary, a, 0.4),
             css(Theme::secondary, a, 0.65), css(Theme::quietButton, a), css(Theme::quietButtonPressed, a),
             css(Theme::accent, a, 0.18), chevronFile(Theme::secondary.resolve(a)));
}

// ---------------------------------------------------------------------------------------------

QLineEdit* makeSearchField(const QString& objectName, const QString& accessibleName, const QString& placeholder,
                           double pixelSize) {
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setAccessibleName(accessibleName);
    field->setPlaceholderText(placeholder);
    field->setFrame(false);
    field->setFont(systemFont(pixelSize));
    Theme::track(field, [field] {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        palette.setColor(QPalette::Text, Theme::text());
        palette.setColor(QPalette::PlaceholderText, Theme::muted());
        field->setPalette(palette);
    });
    return field;
}

void makeTransparent(QScrollArea* area) {
    // The controls inside take the focus; the area itself would be a Tab stop with no ring.
    area->setFocusPolicy(Qt::NoFocus);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setAutoFillBackground(false);
    area->viewport()->setAutoFillBackground(false);
    area->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
}

QWidget* transparentScrollContent(QScrollArea* scroll) {
    scroll->setFocusPolicy(Qt::NoFocus);  // as in makeTransparent
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget;
    scroll->setWidget(content);
    content->setAutoFillBackground(false);  // setWidget turns it on
    return content;
}

void showFocusRing(QAbstractScrollArea* area) {
    area->setFocusPolicy(Qt::StrongFocus);
    FocusRing::setShape(area, area, 8);
}

bool isUserInput(const QEvent& event) {
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
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
