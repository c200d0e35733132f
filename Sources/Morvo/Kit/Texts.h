#pragma once
// Texts and paths of the view kit: selectable text that wraps (paths break after "/" and at
// spaces), PathText, TextLabel with its themed colour and scaling, the hairline rule, and the
// relative path of a node below a root.

#include "Morvo/Kit/Theme.h"
#include "MorvoCore/DiskModels.h"

#include <QFont>
#include <QLabel>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

class QTextLayout;

namespace morvo {

// The location of `node` relative to `root`: the part after the root's path and "/" (after "/" alone
// for the root "/"); the whole path when the node is not below the root (the root itself included).
std::string relativePath(const DiskNode& node, const DiskNode& root);


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

} // namespace morvo
