#pragma once
// The small views and button styles every screen shares. Everything paints with the theme's
// colours at paint time (see Theme.h), so it follows the appearance without extra code.
//
//   auto* add = new KitButton(std::make_shared<QuietButtonStyle>());
//   add->addSymbol("tray.and.arrow.down").addText("Add to cleanup").addSpacer();
//   auto* card = new Panel(16);  card->contentLayout()->addWidget(...);
//   auto* eyebrow = new SectionEyebrow("Logical size");
//   auto* reveal = new ActionButton("Reveal in Finder", "arrow.up.forward.app", [] { ... });
//
// Accessibility: objectName carries the identifier, accessibleName the label,
// accessibleDescription the hint, toolTip the help text.

#include "Morvo/Kit/KeyboardFocus.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Theme.h"
#include "MorvoCore/DiskModels.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QLabel>
#include <QMarginsF>
#include <QMessageBox>
#include <QPainterPath>
#include <QTextLayout>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QAbstractScrollArea;
class QScrollArea;

namespace morvo {

// The location of `node` relative to `root`: the part after the root's path and "/" (after "/" alone
// for the root "/"); the whole path when the node is not below the root (the root itself included).
std::string relativePath(const DiskNode& node, const DiskNode& root);

// ---------------------------------------------------------------------------------------------
// Button styles: how a KitButton draws its background and what its label defaults to.

class ButtonStyle {
public:
    virtual ~ButtonStyle() = default;
    // Font of label parts that set none of their own.
    virtual QFont labelFont() const;
    // Colour of label parts that set none of their own (pressed: while the mouse holds it down).
    virtual QColor labelColor(bool pressed) const;
    // Space between the label and the button's edge.
    virtual QMarginsF padding() const { return {}; }
    virtual void paintBackground(QPainter& painter, const QRectF& bounds, bool pressed) const;
    // The shape the focus ring goes around, for the styled area `bounds`. A style without a face
    // of its own widens the label's box a little, so that the ring keeps clear of its glyphs.
    virtual QRectF focusRingRect(const QRectF& bounds) const { return bounds.adjusted(-4, -2, 4, 2); }
    virtual double focusRingRadius() const { return 5; }
};

// No background, no padding; label in Theme::text unless the parts say otherwise.
class PlainButtonStyle : public ButtonStyle {};

// System 12 medium in Theme::text at 0.9 (0.6 pressed); padding 13 x 9; Theme::quietButton fill
// (quietButtonPressed when pressed), radius 8, 1-point Theme::border stroke.
class QuietButtonStyle : public ButtonStyle {
public:
    QFont labelFont() const override;
    QColor labelColor(bool pressed) const override;
    QMarginsF padding() const override { return {13, 9, 13, 9}; }
    void paintBackground(QPainter& painter, const QRectF& bounds, bool pressed) const override;
    QRectF focusRingRect(const QRectF& bounds) const override { return bounds; }
    double focusRingRadius() const override { return 8; }
};

// System 12 semibold in Theme::onAccent; padding 16 x 11; Theme::accent fill (0.75 pressed),
// radius 9, no stroke.
class AccentButtonStyle : public ButtonStyle {
public:
    QFont labelFont() const override;
    QColor labelColor(bool pressed) const override;
    QMarginsF padding() const override { return {16, 11, 16, 11}; }
    void paintBackground(QPainter& painter, const QRectF& bounds, bool pressed) const override;
    QRectF focusRingRect(const QRectF& bounds) const override { return bounds; }
    double focusRingRadius() const override { return 9; }
};

// ---------------------------------------------------------------------------------------------
// A button whose label is a row of parts (symbols, texts, flexible spacers) drawn by a style.
// A disabled button is drawn at opacity 0.45. The focus ring goes around the styled area.

class KitButton : public QAbstractButton, public FocusRingShape {
    Q_OBJECT

public:
    explicit KitButton(std::shared_ptr<const ButtonStyle> style = nullptr, QWidget* parent = nullptr);

    struct Part {
        enum class Kind { symbol, text, spacer } kind = Kind::text;
        QString value;                      // symbol name or text
        std::optional<QFont> font;          // text font, or the symbol's size via pixelSize
        double symbolPixelSize = 0;         // 0: the label font's pixel size
        std::optional<AdaptiveColor> color; // else the style's label colour
        double opacity = 1.0;
    };

    // Builders; each returns the button for chaining.
    KitButton& addSymbol(const QString& name, double pixelSize = 0, std::optional<AdaptiveColor> color = {});
    KitButton& addText(const QString& text, std::optional<QFont> font = {}, std::optional<AdaptiveColor> color = {});
    KitButton& addSpacer();
    KitButton& clearParts();
    // Replaces the text of the first text part (or of the symbol of the first symbol part).
    void setPartText(int index, const QString& value);
    void setPartColor(int index, std::optional<AdaptiveColor> color, double opacity = 1.0);
    const std::vector<Part>& parts() const { return parts_; }

    void setButtonStyle(std::shared_ptr<const ButtonStyle> style);
    const ButtonStyle& buttonStyle() const { return *style_; }
    // Space between parts (default 8, the platform's default stack spacing).
    void setSpacing(double spacing);
    // Extra margins around the styled label (e.g. a row's outer padding); default none.
    void setOuterMargins(QMarginsF margins);
    // Fixed height of the styled area (0 = from the content).
    void setContentHeight(double height);

    // Texts of the text parts joined with a space: the accessible name unless one was set.
    QString labelText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    QRectF focusRingRect() const override;
    double focusRingRadius() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // Drawn under the label after the style's background (rows draw their selection here).
    virtual void paintExtraBackground(QPainter& painter, const QRectF& styledRect) {}

private:
    // The area the style draws: the button less its outer margins, at the content height.
    QRectF styledRect() const;
    double partWidth(const Part& part) const;
    QFont partFont(const Part& part) const;
    void partsChanged();

    std::shared_ptr<const ButtonStyle> style_;
    std::vector<Part> parts_;
    double spacing_ = 8;
    QMarginsF outer_;
    double contentHeight_ = 0;
};

// The shared button of row and inspector actions: the title with its symbol ("arrow.up.forward.app"
// when none is given); its tooltip is the title. It sets no style of its own (plain) — callers
// give it one with setButtonStyle, or `setIconOnly(true)` for an icon-only button.
class ActionButton : public KitButton {
    Q_OBJECT

public:
    ActionButton(QString title, std::optional<QString> systemImage, std::function<void()> action,
                 QWidget* parent = nullptr);

    QString title() const { return title_; }
    QString systemImage() const { return systemImage_; }
    void setIconOnly(bool iconOnly);

private:
    void rebuild();
    QString title_;
    QString systemImage_;
    bool iconOnly_ = false;
};

// ---------------------------------------------------------------------------------------------

// A checkbox that shows exactly the value it is given; a click only asks `toggle`, so a request
// the owner refuses leaves the box as it was.
class StateCheckBox : public QAbstractButton, public FocusRingShape {
    Q_OBJECT

public:
    explicit StateCheckBox(std::function<void()> toggle, QWidget* parent = nullptr);
    void setSelected(bool selected);
    bool isSelected() const { return isChecked(); }
    QSize sizeHint() const override { return {16, 16}; }
    QSize minimumSizeHint() const override { return sizeHint(); }
    QRectF focusRingRect() const override { return QRectF(rect()).adjusted(1, 1, -1, -1); }
    double focusRingRadius() const override { return 4; }

protected:
    void nextCheckState() override {}
    void paintEvent(QPaintEvent* event) override;
};

// A small indeterminate progress indicator: an arc in Theme::secondary that turns while shown.
class SmallSpinner : public QWidget {
    Q_OBJECT

public:
    explicit SmallSpinner(int diameter = 14, double penWidth = 1.6, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    double penWidth_;
    int angle_ = 0;
};

// ---------------------------------------------------------------------------------------------

// A card: the content padded by `padding` on all edges over Theme::panel in a rounded rectangle of
// radius 16, stroked with a 1-point Theme::border.
class Panel : public QWidget {
    Q_OBJECT

public:
    explicit Panel(double padding, QWidget* parent = nullptr);
    // The layout holding the content (a vertical box with margins = padding, spacing 0).
    QVBoxLayout* contentLayout() const { return layout_; }
    double padding() const { return padding_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double padding_;
    QVBoxLayout* layout_;
};

// A small caption: the text upper-cased, system 9 semibold, tracking 1.7, Theme::muted.
class SectionEyebrow : public QWidget {
    Q_OBJECT

public:
    explicit SectionEyebrow(QString text, QWidget* parent = nullptr);
    void setText(QString text);
    QString text() const { return text_; }
    // What is drawn: the text upper-cased.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

// The logo: a `size`-square rounded rectangle (radius size x 0.29) of Theme::accent at 0.12 under
// the "sparkle" symbol at size x 0.68 in Theme::accent.
class MorvoMark : public QWidget {
    Q_OBJECT

public:
    explicit MorvoMark(double size, QWidget* parent = nullptr);
    double markSize() const { return size_; }
    double cornerRadius() const { return size_ * 0.29; }
    double symbolSize() const { return size_ * 0.68; }
    static void paint(QPainter& painter, const QRectF& rect, double size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double size_;
};

// Selectable plain text that wraps over as many lines as it needs (at word boundaries, or anywhere
// when a word is longer than the line), optionally cut after `maximumLines` lines with an ellipsis.
// Drag or double-click to select; Ctrl+C copies the selection, exactly as the text has it (line
// breaks are only drawn, never put into the text). No context menu.
class SelectableText : public QWidget {
    Q_OBJECT

public:
    SelectableText(QString text, QFont font, AdaptiveColor color, QWidget* parent = nullptr);
    void setText(QString text);
    QString text() const { return text_; }
    void setForeground(AdaptiveColor color);
    void setLineSpacing(double spacing);
    void setMaximumLines(int lines);               // 0 = no limit
    // Paths: lines break after a "/" and after spaces, inside a name only when that name alone is
    // wider than the line.
    void setPathBreaks(bool pathBreaks);
    void setAlignment(Qt::Alignment alignment);
    QString selectedText() const;
    void selectAll();
    // Lines the text takes at `width` (before the maximum), and the text of each.
    int lineCount(int width) const;
    QStringList lines(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    double layoutText(QTextLayout& layout, double width, bool limited) const;
    int cursorAt(const QPointF& point) const;
    QString text_;
    QFont font_;
    AdaptiveColor color_;
    double lineSpacing_ = 0;
    int maxLines_ = 0;
    bool pathBreaks_ = false;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    int anchor_ = -1;
    int cursor_ = -1;
    // Heights already laid out, by width, for the text as it is: a list's layout asks every row
    // again, at several widths, whenever a row comes or goes.
    mutable std::vector<std::pair<int, int>> heights_;
};

// A full path, verbatim: selectable monospaced text (system 10) in Theme::secondary, line spacing 3,
// wrapping over as many lines as it needs at the full width, after a "/" or at a space, and inside a
// name only when it alone is wider than the line. Accessible name "Path: " + path.
class PathText : public SelectableText {
    Q_OBJECT

public:
    explicit PathText(const Url& url, QWidget* parent = nullptr);
    void setUrl(const Url& url);
};

// ---------------------------------------------------------------------------------------------
// Helpers for plain texts and rules.

// A label whose font and foreground come from the kit and whose colour follows the theme.
// Plain text only (never rich text: names and paths are shown verbatim).
class TextLabel : public QLabel {
    Q_OBJECT

public:
    TextLabel(const QString& text, const QFont& font, AdaptiveColor color = Theme::text, QWidget* parent = nullptr);
    void setForeground(AdaptiveColor color, double opacity = 1.0);
    AdaptiveColor foreground() const { return color_; }
    double foregroundOpacity() const { return opacity_; }
    // Extra space between wrapped lines in pixels (applies when word wrap is on).
    void setLineSpacing(double spacing);
    // Cut to at most `lines` lines with an ellipsis (0 = no limit).
    void setMaximumLines(int lines);
    // One line that shrinks down to `factor` of its font size to fit its width before it is cut
    // with an ellipsis (1 = never shrinks). For values on cards.
    void setMinimumScaleFactor(double factor);
    // The font scale the text is drawn at in the current width (1 when it fits).
    double shownScale() const;

    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void applyColor();
    AdaptiveColor color_;
    double opacity_ = 1.0;
    double lineSpacing_ = 0;
    int maxLines_ = 0;
    double minimumScale_ = 1.0;
};

// A 1-pixel rule in Theme::border (vertical or horizontal).
class Hairline : public QWidget {
    Q_OBJECT

public:
    explicit Hairline(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Fills the widget's background with `color` (at `opacity`) at paint time, following the theme.
// For plain container widgets that need a background colour.
class ThemedBackground : public QWidget {
    Q_OBJECT

public:
    explicit ThemedBackground(AdaptiveColor color, double opacity = 1.0, QWidget* parent = nullptr);
    void setBackground(AdaptiveColor color, double opacity = 1.0);
    // Rounded corners of the fill (0 = square).
    void setCornerRadius(double radius);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AdaptiveColor color_;
    double opacity_;
    double radius_ = 0;
};

// An alert or confirmation in the application's look: the title (the message box's text) in
// system 15 semibold, the message (its informative text) in system 12 Theme::secondary, no icon,
// on Theme::background, buttons drawn like the kit's: quiet by default, the accent for the one
// marked primary, Theme::warning for the one marked destructive. It is as wide as a desktop alert
// (about 440 points) and as tall as its wrapped texts; its window title is the application's
// name, so the title is never shown twice. Follows the appearance while open.
class ThemedMessageBox : public QMessageBox {
    Q_OBJECT

public:
    explicit ThemedMessageBox(QWidget* parent = nullptr);
    enum class ButtonKind { quiet, primary, destructive };
    // How `button` (one of this box's) is drawn.
    static void setButtonKind(QAbstractButton* button, ButtonKind kind);
    static ButtonKind buttonKind(const QAbstractButton* button);
    static constexpr int preferredWidth = 440;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void applyTheme();
    void fitSize();
    bool fitting_ = false;
};

// The style sheet of the platform's own controls that the kit does not draw: tooltips, scroll
// bars (a slim thumb, no arrow buttons), drop-down pickers and their lists, in `appearance`.
// The application sets it whenever the appearance changes.
QString applicationStyleSheet(AppAppearance appearance);

// A frameless search field in system `pixelSize` over a transparent base (the box around it draws
// the background); its text and placeholder colours follow the theme.
QLineEdit* makeSearchField(const QString& objectName, const QString& accessibleName, const QString& placeholder,
                           double pixelSize);

// Makes `area` frameless and resizable with no fill of its own, so the window's background shows
// through it. (Its content widget still needs setAutoFillBackground(false) after setWidget.)
void makeTransparent(QScrollArea* area);

// Makes `scroll` a frameless, resizable area with neither scroll bar nor fill and gives it an
// unfilled content widget, which it returns: for columns that scroll by wheel or touch only.
QWidget* transparentScrollContent(QScrollArea* scroll);

// For a list of texts with no control to take the focus: `area` stays a Tab stop, so its keys
// scroll it, and the focus ring goes around it.
void showFocusRing(QAbstractScrollArea* area);

// Paints `widget` as a card: Theme::panel in its rectangle, inset half a pixel, rounded by
// `radius`, stroked with a 1-point Theme::border. For a paintEvent.
void paintCard(QWidget& widget, double radius);

// Whether `event` is the user's input (a click, the wheel, a key, a context menu): what a window
// behind an open presentation ignores.
bool isUserInput(const QEvent& event);

// Rounded-rectangle helper: the path of a rectangle with corner radius `radius`.
QPainterPath roundedRect(const QRectF& rect, double radius);

} // namespace morvo
