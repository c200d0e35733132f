#pragma once
// The right-hand column of the Overview and Large files sections: the selected node's identity,
// size and share of the scan, facts, location and actions, or a prompt when nothing is selected.
// Rebuilt from AppState whenever what it shows changes, or, while hidden, when it is shown again.

#include "MorvoCore/DiskModels.h"

#include <QWidget>

#include <string>
#include <utility>
#include <vector>

class QBoxLayout;
class QScrollArea;
class QVBoxLayout;

namespace morvo {

class AppState;

class InspectorView : public QWidget {
    Q_OBJECT

public:
    explicit InspectorView(AppState& state, QWidget* parent = nullptr);

    // The symbol of a node's tile.
    static const char* symbolName(const DiskNode& node);
    // "12.3" for 12.34 %: the node's share of the root, one fraction digit, locale decimal mark.
    static QString percentText(const DiskNode& node, const DiskNode& root);
    // The share bar's fraction, 0...1.
    static double shareFraction(const DiskNode& node, const DiskNode& root);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuild();
    QWidget* makeEmptyPrompt(QWidget* parent);
    // `node` without its children's ids; `directItems` counts them.
    QWidget* makeDetails(const DiskNode& node, std::size_t directItems, QWidget* parent);
    // Scales the details' vertical gaps and the column's top and bottom padding.
    void setSpacingScale(double scale);
    void fitSpacing();

    AppState& state_;
    QVBoxLayout* stack_;
    QWidget* body_ = nullptr;
    bool stale_ = false;  // a change came while hidden
    QScrollArea* scroll_;
    // The details' layouts and their full spacing.
    std::vector<std::pair<QBoxLayout*, int>> gaps_;
};

} // namespace morvo
