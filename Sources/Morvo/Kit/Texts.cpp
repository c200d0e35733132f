#include "Morvo/Kit/Texts.h"
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

std::string relativePath(const DiskNode& node, const DiskNode& root) {
    const std::string& rootPath = root.url.path;
    const std::string prefix = rootPath == "/" ? std::string("/") : rootPath + "/";
    const std::string& path = node.url.path;
    if (path.size() >= prefix.size() && path.compare(0, prefix.size(), prefix) == 0) return path.substr(prefix.size());
    return path;
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

} // namespace morvo
