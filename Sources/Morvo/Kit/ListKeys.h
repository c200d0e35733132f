#pragma once
// The keys of a list for a column of row widgets in a scroll area: Up and Down move the keyboard
// focus to the previous or next row, Home and End to the first or last, Page Up and Page Down by
// a page of the scroll area, each row scrolled into view; Return runs the row's action and Space
// the focused control's own (a checkbox ticks, a row button selects). Keys pressed anywhere
// inside a row count for that row.

#include <QObject>

#include <functional>
#include <vector>

class QScrollArea;
class QWidget;

namespace morvo {

class ListKeys : public QObject {
    Q_OBJECT

public:
    struct Rows {
        // The row that `widget` is (a row of this list), or null.
        std::function<bool(QWidget* widget)> isRow;
        // The widget of `row` that takes the keyboard focus.
        std::function<QWidget*(QWidget* row)> focusTarget;
        // Return on `row`; none: Return does nothing.
        std::function<void(QWidget* row)> activate;
    };

    // Lives as long as `scroll`.
    ListKeys(QScrollArea* scroll, Rows rows);

    // The visible rows, top to bottom.
    std::vector<QWidget*> rows() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* rowOf(QWidget* widget) const;
    void moveTo(QWidget* row);

    QScrollArea* scroll_;
    Rows rows_;
};

} // namespace morvo
