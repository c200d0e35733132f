#pragma once
// Windows and scroll areas of the view kit: the themed background and message box, the
// application's style sheet for the controls the kit does not draw, the search field, transparent
// scroll areas, a text list's focus ring, and what counts as the user's input.

#include "Morvo/Kit/Theme.h"

#include <QMessageBox>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QAbstractScrollArea;
class QLineEdit;
class QScrollArea;

namespace morvo {


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


// Whether `event` is the user's input (a click, the wheel, a key, a context menu): what a window
// behind an open presentation ignores.
bool isUserInput(const QEvent& event);

} // namespace morvo
