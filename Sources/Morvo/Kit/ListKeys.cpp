#include "Morvo/Kit/ListKeys.h"

#include "Morvo/Kit/KeyboardFocus.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>

namespace morvo {

ListKeys::ListKeys(QScrollArea* scroll, Rows rows) : QObject(scroll), scroll_(scroll), rows_(std::move(rows)) {
    // Buttons inside a row take the arrow keys for themselves, so the keys are seen before any
    // widget of the list handles them.
    qApp->installEventFilter(this);
}

std::vector<QWidget*> ListKeys::rows() const {
    std::vector<QWidget*> found;
    QWidget* content = scroll_->widget();
    if (!content) return found;
    for (QWidget* w : content->findChildren<QWidget*>())
        if (rows_.isRow(w) && w->isVisibleTo(content)) found.push_back(w);
    std::stable_sort(found.begin(), found.end(), [content](QWidget* a, QWidget* b) {
        return a->mapTo(content, QPoint()).y() < b->mapTo(content, QPoint()).y();
    });
    return found;
}

QWidget* ListKeys::rowOf(QWidget* widget) const {
    QWidget* content = scroll_->widget();
    for (QWidget* w = widget; w && w != content; w = w->parentWidget())
        if (rows_.isRow(w)) return w;
    return nullptr;
}

void ListKeys::moveTo(QWidget* row) {
    QWidget* target = rows_.focusTarget ? rows_.focusTarget(row) : row;
    if (!target) target = row;
    scroll_->ensureWidgetVisible(row, 0, 0);
    FocusRing::keysMovedFocus();  // the keys never reach the ring's own filter
    target->setFocus(Qt::OtherFocusReason);
}

bool ListKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !scroll_->isAncestorOf(widget)) return false;
    QWidget* row = rowOf(widget);
    if (!row) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & ~(Qt::KeypadModifier)) return false;

    const std::vector<QWidget*> all = rows();
    const auto at = std::find(all.begin(), all.end(), row);
    if (at == all.end()) return false;
    const auto index = static_cast<std::ptrdiff_t>(at - all.begin());
    const auto last = static_cast<std::ptrdiff_t>(all.size()) - 1;
    QWidget* content = scroll_->widget();
    auto top = [content](QWidget* w) { return w->mapTo(content, QPoint()).y(); };
    const int page = std::max(1, scroll_->viewport()->height());

    switch (key->key()) {
    case Qt::Key_Up: moveTo(all[static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, index - 1))]); return true;
    case Qt::Key_Down: moveTo(all[static_cast<std::size_t>(std::min(last, index + 1))]); return true;
    case Qt::Key_Home: moveTo(all.front()); return true;
    case Qt::Key_End: moveTo(all.back()); return true;
    case Qt::Key_PageDown: {
        // The last row that starts within a page below this one, and at least the next row.
        std::ptrdiff_t next = std::min(last, index + 1);
        for (std::ptrdiff_t i = next; i <= last; ++i)
            if (top(all[static_cast<std::size_t>(i)]) <= top(row) + page) next = i;
        moveTo(all[static_cast<std::size_t>(next)]);
        return true;
    }
    case Qt::Key_PageUp: {
        std::ptrdiff_t previous = std::max<std::ptrdiff_t>(0, index - 1);
        for (std::ptrdiff_t i = previous; i >= 0; --i)
            if (top(all[static_cast<std::size_t>(i)]) >= top(row) - page) previous = i;
        moveTo(all[static_cast<std::size_t>(previous)]);
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (rows_.activate) rows_.activate(row);
        return true;
    default: return false;
    }
}

} // namespace morvo
