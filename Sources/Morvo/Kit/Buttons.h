#pragma once
// Buttons of the view kit: the button styles (plain, quiet, accent), KitButton with its row of
// symbols, texts and spacers, ActionButton, the StateCheckBox that shows exactly the value it is
// given, and the small spinner.

#include "Morvo/Kit/KeyboardFocus.h"
#include "Morvo/Kit/Theme.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QMarginsF>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace morvo {

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


} // namespace morvo
