#pragma once
// System symbol names (the names the views use, e.g. "tray", "arrow.clockwise") mapped through
// one fixed table to glyphs of the Material Icons font, drawn in a tint. An unknown name draws the
// fallback glyph, so a missing mapping shows as a visible placeholder rather than nothing.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <optional>
#include <string_view>

#include "Morvo/Kit/Theme.h"

class QPainter;

namespace morvo {

// The glyph for `name`, or nothing when the table has no entry.
std::optional<QChar> symbolGlyph(std::string_view name);
// The glyph drawn for names the table lacks.
QChar fallbackSymbolGlyph();
// symbolGlyph(name) or the fallback.
QChar resolvedSymbolGlyph(std::string_view name);

// The icon font at `pixelSize` (weight is ignored by the single-weight font but kept for callers).
QFont symbolFont(double pixelSize);

// Draws the symbol centred in `rect` at `pixelSize` in `color`.
void drawSymbol(QPainter& painter, const QRectF& rect, std::string_view name, double pixelSize, const QColor& color);
// An icon of the symbol, `pixelSize` square, in `color` (for menus and QAction).
QIcon symbolIcon(std::string_view name, const QColor& color, int pixelSize = 16);

// A symbol as a widget: paints the glyph in its tint at paint time, so it follows the theme.
// Hidden from accessibility unless given an accessible name.
class SymbolView : public QWidget {
    Q_OBJECT

public:
    SymbolView(QString name, double pixelSize, AdaptiveColor tint, QWidget* parent = nullptr);

    void setSymbol(QString name);
    QString symbol() const { return name_; }
    void setTint(AdaptiveColor tint, double opacity = 1.0);
    AdaptiveColor tint() const { return tint_; }
    void setPixelSize(double pixelSize);
    // Fixed frame width (e.g. the sidebar's 16-point icon column); 0 = as wide as the glyph.
    void setFrameWidth(int width);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString name_;
    double pixelSize_;
    AdaptiveColor tint_;
    double opacity_ = 1.0;
    int frameWidth_ = 0;
};

} // namespace morvo
