#pragma once
// The one-line row of a scanned file: tinted category icon, name, location relative to the scanned
// folder, size and a chevron. It keeps no state: the caller gives the node, the root, whether it is
// selected and compact, and the action a click runs.
//
// The painting is shared: the overview shows FileRow widgets, the large-files list paints the same
// rows through its item delegate so that only visible rows cost anything.

#include "MorvoCore/DiskModels.h"

#include <QAbstractButton>
#include <QString>

#include <functional>

class QPainter;

namespace morvo {

// What a row shows, as texts.
struct FileRowContent {
    QString name;
    QString location;
    QString size;
    FileCategory category = FileCategory::other;

    static FileRowContent make(const DiskNode& node, const DiskNode& root);
    // "name, size".
    QString accessibleLabel() const { return name + QStringLiteral(", ") + size; }
};

class FileRow : public QAbstractButton {
    Q_OBJECT

public:
    FileRow(const DiskNode& node, const DiskNode& root, bool selected, bool compact, std::function<void()> action,
            QWidget* parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return selected_; }
    bool isCompact() const { return compact_; }
    const FileRowContent& content() const { return content_; }
    const std::string& nodeID() const { return nodeID_; }

    static constexpr double horizontalPadding = 13;
    static double verticalPadding(bool compact) { return compact ? 9 : 12; }
    // The row's full height; the compact row is 6 points shorter.
    static int rowHeight(bool compact);
    static void paint(QPainter& painter, const QRectF& rect, const FileRowContent& content, bool selected, bool compact);

    // Where the parts of a row go inside `rect`.
    struct Layout {
        QRectF icon, name, location, size, chevron;
    };
    static Layout layout(const QRectF& rect, const FileRowContent& content, bool compact);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The whole padded row takes clicks, gaps included.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

private:
    FileRowContent content_;
    std::string nodeID_;
    bool selected_;
    bool compact_;
    std::function<void()> action_;
};

} // namespace morvo
