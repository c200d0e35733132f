#include "Morvo/Platform/Fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QStringList>

namespace morvo {

namespace {

const char* const kInterDir = "/usr/share/fonts/opentype/inter/";
const char* const kInterFaces[] = {"Inter-Thin.otf",     "Inter-ExtraLight.otf", "Inter-Light.otf",
                                   "Inter-Regular.otf",  "Inter-Medium.otf",     "Inter-SemiBold.otf",
                                   "Inter-Bold.otf",     "Inter-ExtraBold.otf",  "Inter-Black.otf"};
const char* const kMonoFiles[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
                                  "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"};
const char* const kSymbolFile = "/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf";

struct Families {
    QString system;
    QString monospaced;
    QString symbols;
    LoadedFonts loaded;
    bool done = false;
};

Families& families() {
    // Font registration is process-wide in Qt itself; this only remembers what was registered.
    static Families f;
    return f;
}

QString addFont(const QString& path) {
    if (!QFile::exists(path)) return {};
    const int id = QFontDatabase::addApplicationFont(path);
    if (id < 0) return {};
    const QStringList names = QFontDatabase::applicationFontFamilies(id);
    return names.isEmpty() ? QString() : names.first();
}

} // namespace

LoadedFonts loadFonts() {
    Families& f = families();
    if (f.done) return f.loaded;
    f.done = true;
    for (const char* face : kInterFaces) {
        const QString family = addFont(QString::fromLatin1(kInterDir) + QString::fromLatin1(face));
        if (!family.isEmpty() && f.system.isEmpty()) f.system = family;
    }
    for (const char* file : kMonoFiles) {
        const QString family = addFont(QString::fromLatin1(file));
        if (!family.isEmpty() && f.monospaced.isEmpty()) f.monospaced = family;
    }
    f.symbols = addFont(QString::fromLatin1(kSymbolFile));
    f.loaded = {!f.system.isEmpty(), !f.monospaced.isEmpty(), !f.symbols.isEmpty()};
    if (f.system.isEmpty()) f.system = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    if (f.monospaced.isEmpty()) f.monospaced = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    if (f.symbols.isEmpty()) f.symbols = f.system;
    return f.loaded;
}

QString systemFontFamily() {
    loadFonts();
    return families().system;
}

QString monospacedFontFamily() {
    loadFonts();
    return families().monospaced;
}

QString symbolFontFamily() {
    loadFonts();
    return families().symbols;
}

QFont systemFont(double pixelSize, QFont::Weight weight, FontDesign design, double tracking) {
    QFont font(design == FontDesign::monospaced ? monospacedFontFamily() : systemFontFamily());
    font.setPixelSize(qMax(1, qRound(pixelSize)));
    font.setWeight(weight);
    if (design == FontDesign::monospaced) font.setStyleHint(QFont::Monospace);
    if (tracking != 0.0) font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

} // namespace morvo
