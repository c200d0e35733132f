#pragma once
// The application's fonts: Inter stands in for the system font, DejaVu Sans Mono for monospaced
// text, and the Material Icons font draws the symbols (see Symbols.h). `loadFonts()` adds the
// packaged files to the application's font database once, at start-up; when a file is missing
// the platform's default font is used instead. Sizes are pixel sizes (points are logical pixels).

#include <QFont>
#include <QString>

namespace morvo {

enum class FontDesign { standard, rounded, monospaced };

struct LoadedFonts {
    bool system = false;      // Inter loaded
    bool monospaced = false;  // the monospaced family loaded
    bool symbols = false;     // the icon font loaded
};

// Idempotent; needs a QGuiApplication.
LoadedFonts loadFonts();

QString systemFontFamily();
QString monospacedFontFamily();
QString symbolFontFamily();

// The system font at `pixelSize` with `weight`; `rounded` has no packaged face and uses the
// standard one. `tracking` is extra letter spacing in pixels (negative tightens).
QFont systemFont(double pixelSize, QFont::Weight weight = QFont::Normal,
                 FontDesign design = FontDesign::standard, double tracking = 0.0);
inline QFont monospacedFont(double pixelSize, QFont::Weight weight = QFont::Normal) {
    return systemFont(pixelSize, weight, FontDesign::monospaced);
}

} // namespace morvo
