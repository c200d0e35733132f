#include "Morvo/Kit/KeyboardFocus.h"

#include "Morvo/Kit/Theme.h"
#include "Morvo/Kit/ViewKit.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QBoxLayout>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <unordered_set>
#include <vector>

namespace morvo {

namespace {

// --- Reading order -------------------------------------------------------------------------------

bool isStop(const QWidget* w) {
    return !w->isWindow() && w->isVisible() && w->isEnabled() && !w->focusProxy() &&
           (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

// The widgets of `layout` (and of the layouts inside it) that are children of `owner`, in the
// order the layout places them.
void layoutWidgets(QLayout* layout, QWidget* owner, std::vector<QWidget*>& out) {
    std::vector<QLayoutItem*> items;
    for (int i = 0; i < layout->count(); ++i) items.push_back(layout->itemAt(i));
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        auto cell = [grid](QLayoutItem* item) {
            int row = 0, column = 0, rows = 0, columns = 0;
            grid->getItemPosition(grid->indexOf(item), &row, &column, &rows, &columns);
            return std::pair(row, column);
        };
        std::stable_sort(items.begin(), items.end(), [&](QLayoutItem* a, QLayoutItem* b) { return cell(a) < cell(b); });
    } else if (auto* box = qobject_cast<QBoxLayout*>(layout)) {
        if (box->direction() == QBoxLayout::RightToLeft || box->direction() == QBoxLayout::BottomToTop)
            std::reverse(items.begin(), items.end());
    }
    for (QLayoutItem* item : items) {
        if (QWidget* w = item->widget()) {
            if (w->parentWidget() == owner) out.push_back(w);
        } else if (QLayout* inner = item->layout()) {
            layoutWidgets(inner, owner, out);
        }
    }
}

std::vector<QWidget*> orderedChildren(QWidget* widget) {
    std::vector<QWidget*> ordered;
    if (QLayout* layout = widget->layout()) layoutWidgets(layout, widget, ordered);
    const std::unordered_set<QWidget*> placed(ordered.begin(), ordered.end());
    std::vector<QWidget*> rest;
    for (QObject* object : widget->children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && !child->isWindow() && !placed.count(child)) rest.push_back(child);
    }
    std::stable_sort(rest.begin(), rest.end(), [](QWidget* a, QWidget* b) {
        const QPoint pa = a->pos(), pb = b->pos();
        return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    ordered.insert(ordered.end(), rest.begin(), rest.end());
    return ordered;
}

// Every widget under `widget` in reading order. Hidden parts are left out, except the one that
// holds `keep` (a control being hidden still has its place to move on from).
void walk(QWidget* widget, const QWidget* keep, std::vector<QWidget*>& out) {
    out.push_back(widget);
    for (QWidget* child : orderedChildren(widget)) {
        if (child->isHidden() && !(keep && (child == keep || child->isAncestorOf(keep)))) continue;
        walk(child, keep, out);
    }
}

// --- The ring ------------------------------------------------------------------------------------

constexpr const char* kFrameProperty = "morvoFocusRingFrame";
constexpr const char* kRadiusProperty = "morvoFocusRingRadius";

bool isNavigationKey(const QKeyEvent& key) {
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (key.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

// The ring itself: a child of the focused control's window, over everything else in it.
class RingOverlay : public QWidget {
public:
    explicit RingOverlay(QWidget* window) : QWidget(window) {
        setObjectName(QStringLiteral("morvo-focus-ring"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

    // `outer`: the ring's outer edge in the window; `radius`: the control's corner radius.
    void setRing(const QRectF& outer, double radius) {
        const QRect bounds = outer.toAlignedRect();
        if (outer == outer_ && radius == radius_ && bounds == geometry()) return;
        outer_ = outer;
        radius_ = radius;
        setGeometry(bounds);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::NoBrush);
        const QRectF outer = outer_.translated(-QPointF(pos()));
        const double w = FocusRing::width, g = FocusRing::gap;
        p.setPen(QPen(Theme::background(), g));
        p.drawPath(roundedRect(outer.adjusted(w + g / 2, w + g / 2, -(w + g / 2), -(w + g / 2)), radius_ + g / 2));
        p.setPen(QPen(Theme::accent(), w));
        p.drawPath(roundedRect(outer.adjusted(w / 2, w / 2, -w / 2, -w / 2), radius_ + g + w / 2));
    }

private:
    QRectF outer_;
    double radius_ = 0;
};

class RingController : public QObject {
public:
    explicit RingController(QApplication* app) : QObject(app) {
        app->installEventFilter(this);
        connect(app, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            target_ = now;
            refresh();
        });
        target_ = QApplication::focusWidget();
    }

    bool keyboard() const { return keyboard_; }

    void setKeyboard(bool keyboard) {
        if (keyboard == keyboard_) return;
        keyboard_ = keyboard;
        refresh();
    }

    QRect geometry(const QWidget* window) const {
        if (!overlay_ || overlay_->parentWidget() != window || overlay_->isHidden()) return {};
        return overlay_->geometry();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            // Seen unless a filter before this one took it (a list's keys say so themselves).
            if (isNavigationKey(*static_cast<QKeyEvent*>(event))) setKeyboard(true);
            break;
        case QEvent::FocusIn:
            // The platform gives focus for Tab also when a dialog opens: only a click says more.
            if (static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason) setKeyboard(false);
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            setKeyboard(false);
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::ParentChange:
        case QEvent::LayoutRequest:
        case QEvent::EnabledChange:
            if (target_ && watched->isWidgetType() && affects(static_cast<QWidget*>(watched))) schedule();
            break;
        case QEvent::Paint:
            // A control may move its ring without moving itself (the map's focused tile).
            if (target_ && watched == target_.data()) schedule();
            break;
        case QEvent::ChildAdded:
            // A new child of the window would lie over the ring.
            if (overlay_ && watched == overlay_->parentWidget()) schedule();
            break;
        default:
            break;
        }
        return false;
    }

private:
    bool affects(QWidget* widget) const {
        return widget == target_.data() || widget->isAncestorOf(target_) || widget == frameOf(target_);
    }

    void schedule() {
        if (pending_) return;
        pending_ = true;
        QTimer::singleShot(0, this, [this] {
            pending_ = false;
            refresh();
        });
    }

    // The widget the ring goes around for `control`: the frame it was given while that is still
    // the control or one of its ancestors (compared, never touched, as it may be gone), else itself.
    static QWidget* frameOf(QWidget* control) {
        if (!control) return nullptr;
        auto* frame = static_cast<QWidget*>(control->property(kFrameProperty).value<QObject*>());
        for (QWidget* w = control; w && frame; w = w->parentWidget())
            if (w == frame) return frame;
        return control;
    }

    void refresh() {
        QWidget* control = target_;
        QWidget* window = control ? control->window() : nullptr;
        const bool wanted = keyboard_ && control && window && window->windowType() != Qt::Popup && control->isVisible() &&
                            (control->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
        QRectF shape;
        double radius = 6;
        QWidget* frame = frameOf(control);
        if (wanted) {
            if (auto* custom = dynamic_cast<const FocusRingShape*>(control); custom && frame == control) {
                shape = custom->focusRingRect();
                radius = custom->focusRingRadius();
            } else if (frame == control && qobject_cast<QLineEdit*>(control)) {
                // A frameless field is its line of text: the ring keeps clear of the glyphs.
                shape = QRectF(control->rect()).adjusted(-4, -3, 4, 3);
            } else {
                shape = QRectF(frame->rect());
                const QVariant given = control->property(kRadiusProperty);
                if (given.isValid()) radius = given.toDouble();
            }
        }
        if (!wanted || shape.isEmpty()) return hideRing();

        shape = QRectF(frame->mapTo(window, shape.topLeft()), shape.size());
        // The ring stays inside the scroll areas that show the control, as the control does.
        QRectF clip(QPointF(0, 0), QSizeF(window->size()));
        for (QWidget* w = frame; w && w != window; w = w->parentWidget()) {
            auto* area = qobject_cast<QAbstractScrollArea*>(w->parentWidget());
            if (area && area->viewport() == w) clip &= QRectF(w->mapTo(window, QPointF(0, 0)), QSizeF(w->size()));
        }
        if ((shape & clip).isEmpty()) return hideRing();
        const double out = FocusRing::gap + FocusRing::width;
        const QRectF ring = shape.adjusted(-out, -out, out, out) & clip;

        if (!overlay_ || overlay_->parentWidget() != window) {
            delete overlay_.data();
            overlay_ = new RingOverlay(window);
        }
        overlay_->setRing(ring, radius);
        if (window->children().isEmpty() || window->children().constLast() != overlay_.data()) overlay_->raise();
        overlay_->show();
    }

    void hideRing() {
        if (overlay_) overlay_->hide();
    }

    bool keyboard_ = false;
    bool pending_ = false;
    QPointer<QWidget> target_;
    QPointer<RingOverlay> overlay_;
};

RingController* controller() {
    static QPointer<RingController> instance;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!instance && app) instance = new RingController(app);
    return instance;
}

} // namespace

void FocusRing::install() { controller(); }

void FocusRing::setShape(QWidget* control, QWidget* frame, double radius) {
    install();
    control->setProperty(kFrameProperty, QVariant::fromValue(static_cast<QObject*>(frame)));
    control->setProperty(kRadiusProperty, radius);
}

void FocusRing::keysMovedFocus() {
    if (RingController* c = controller()) c->setKeyboard(true);
}

bool FocusRing::isKeyboardNavigation() {
    RingController* c = controller();
    return c && c->keyboard();
}

QRect FocusRing::geometry(const QWidget* window) {
    RingController* c = controller();
    return c ? c->geometry(window) : QRect();
}

bool focusNextInReadingOrder(QWidget* root, bool forward) {
    QWidget* from = root->window()->focusWidget();
    if (from && from != root && !root->isAncestorOf(from)) from = nullptr;
    std::vector<QWidget*> order;
    walk(root, from, order);
    const auto n = static_cast<std::ptrdiff_t>(order.size());
    const auto at = std::find(order.begin(), order.end(), from);
    const std::ptrdiff_t start = at == order.end() ? (forward ? -1 : n) : at - order.begin();
    QWidget* target = nullptr;
    for (std::ptrdiff_t step = 1; step <= n && !target; ++step) {
        const std::ptrdiff_t i = ((start + (forward ? step : -step)) % n + n) % n;
        QWidget* candidate = order[static_cast<std::size_t>(i)];
        if (candidate != root && candidate != from && isStop(candidate)) target = candidate;
    }
    if (!target) return false;
    // Away from a control that is hidden or disabled, the move is the program's, not the keys'.
    const bool leaving = from && from != root && (!from->isVisible() || !from->isEnabled());
    target->setFocus(leaving ? Qt::OtherFocusReason : forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    // Into view with room for its ring.
    const int room = static_cast<int>(std::ceil(FocusRing::gap + FocusRing::width));
    for (QWidget* w = target->parentWidget(); w && w != root->window(); w = w->parentWidget())
        if (auto* area = qobject_cast<QScrollArea*>(w); area && area->widget() && area->widget()->isAncestorOf(target))
            area->ensureWidgetVisible(target, room, room);
    return true;
}

} // namespace morvo
