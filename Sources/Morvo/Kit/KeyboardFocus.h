#pragma once
// The keyboard focus: the one focus ring of the application, and Tab in reading order (the main
// window's content uses it).
//
// The ring is drawn over the focused control's window, around the control's shape and outside
// it: a 2-point band of Theme::background next to the shape, then a 2-point band of
// Theme::accent. No one colour stands 3:1 apart from both the accent fill and the window's
// background (they are only 8.6:1 apart in the dark appearance, 5.5:1 in the light one), so the
// inner band parts the ring from a filled control and the outer band from the surface around it.
// The ring shows only while the user moves the focus with the keyboard (Tab, Backtab, the arrows,
// Home, End, Page Up, Page Down); a click hides it, and focus that the program or a click gives
// shows none until the next of those keys.
//
//   class Row : public QAbstractButton, public FocusRingShape {
//       QRectF focusRingRect() const override { return cardRect(); }
//       double focusRingRadius() const override { return 9; }
//   };
//   FocusRing::setShape(searchField, searchBar, 10);   // the ring goes around the field's box
//
// A control without a shape of its own gets the ring around its rectangle.

#include <QRect>
#include <QRectF>

class QWidget;

namespace morvo {

// A control whose visible shape is not its whole rectangle (a row with outer padding, a checkbox
// in a larger hit area, the map's focused tile) says where the ring goes around.
class FocusRingShape {
public:
    // The shape in the control's own coordinates; an empty rectangle draws no ring.
    virtual QRectF focusRingRect() const = 0;
    virtual double focusRingRadius() const = 0;

protected:
    virtual ~FocusRingShape() = default;
};

class FocusRing {
public:
    static constexpr double gap = 2;    // the inner band, in Theme::background
    static constexpr double width = 2;  // the outer band, in Theme::accent

    // Starts the ring for the application; later calls do nothing. The kit's controls call it.
    static void install();
    // The ring of `control` goes around `frame` (which draws the control's box, as a search bar
    // around its field) with corner radius `radius`; `frame` may be the control itself.
    static void setShape(QWidget* control, QWidget* frame, double radius);
    // Code that moves the focus for a key it takes for itself (a list's arrows) says so here.
    static void keysMovedFocus();
    // Whether the focus was last moved by the keyboard.
    static bool isKeyboardNavigation();
    // The outer edge of the ring drawn in `window` now, in the window's coordinates; empty when
    // the window shows none.
    static QRect geometry(const QWidget* window);
};

// Moves the focus from the focus widget of `root`'s window to the next (or previous) control of
// `root` that Tab stops at, wrapping around, and scrolls it into view. The stops are the shown,
// enabled controls that take Tab focus, in reading order: the widgets depth first, each one's
// children in the order its layout places them (a box's items in turn, a grid's row by row),
// then the children outside its layout, top to bottom and left to right. From a widget that is no
// stop (`root` itself, a section's view, a control being hidden), the focus goes to the first
// stop after (or before) it. False when `root` has no stop.
bool focusNextInReadingOrder(QWidget* root, bool forward);

} // namespace morvo
