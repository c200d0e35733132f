// morvo-mark-icon SIZE OUTPUT.png: the application icon at SIZE by SIZE pixels, painted by
// MorvoMark on a tile of the window's background, so the icon in a menu or launcher is the mark
// the user sees in the app. The build runs it once per size of the installed icon theme.
#include "Morvo/Kit/Theme.h"
#include "Morvo/Kit/ViewKit.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SIZE OUTPUT.png\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || size < 8 || size > 1024) {
        std::fprintf(stderr, "%s: SIZE must be a number of pixels from 8 to 1024\n", argv[0]);
        return 2;
    }
    // The theme lives on the application object; the mark is paths only, so no display, platform
    // plugin or font is needed to paint it into an image.
    QCoreApplication app(argc, argv);
    morvo::Theme::current().setAppearance(morvo::AppAppearance::dark);

    const double side = static_cast<double>(size);
    QImage image(static_cast<int>(size), static_cast<int>(size), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF tile(0, 0, side, side);
        // The mark's own square is a light wash of the accent; on its own it would vanish on a
        // light panel, so it sits on the window's background as it does in the sidebar.
        painter.fillPath(morvo::roundedRect(tile, side * 0.29), morvo::Theme::background());
        morvo::MorvoMark::paint(painter, tile, side);
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
