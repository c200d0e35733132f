#pragma once
// Cards and panels of the view kit: Panel (padded content on a rounded card), the section
// eyebrow, the application's mark, and the painting of a card and of a rounded rectangle.

#include "Morvo/Kit/Theme.h"

#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;
class QVBoxLayout;

namespace morvo {

// ---------------------------------------------------------------------------------------------

// A card: the content padded by `padding` on all edges over Theme::panel in a rounded rectangle of
// radius 16, stroked with a 1-point Theme::border.
class Panel : public QWidget {
    Q_OBJECT

public:
    explicit Panel(double padding, QWidget* parent = nullptr);
    // The layout holding the content (a vertical box with margins = padding, spacing 0).
    QVBoxLayout* contentLayout() const { return layout_; }
    double padding() const { return padding_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double padding_;
    QVBoxLayout* layout_;
};

// A small caption: the text upper-cased, system 9 semibold, tracking 1.7, Theme::muted.
class SectionEyebrow : public QWidget {
    Q_OBJECT

public:
    explicit SectionEyebrow(QString text, QWidget* parent = nullptr);
    void setText(QString text);
    QString text() const { return text_; }
    // What is drawn: the text upper-cased.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

// The logo: a `size`-square rounded rectangle (radius size x 0.29) of Theme::accent at 0.12 under
// the "sparkle" symbol at size x 0.68 in Theme::accent.
class MorvoMark : public QWidget {
    Q_OBJECT

public:
    explicit MorvoMark(double size, QWidget* parent = nullptr);
    double markSize() const { return size_; }
    double cornerRadius() const { return size_ * 0.29; }
    double symbolSize() const { return size_ * 0.68; }
    static void paint(QPainter& painter, const QRectF& rect, double size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double size_;
};
// Paints `widget` as a card: Theme::panel in its rectangle, inset half a pixel, rounded by
// `radius`, stroked with a 1-point Theme::border. For a paintEvent.
void paintCard(QWidget& widget, double radius);

// Rounded-rectangle helper: the path of a rectangle with corner radius `radius`.
QPainterPath roundedRect(const QRectF& rect, double radius);

} // namespace morvo
