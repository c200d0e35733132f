// The `morvo` executable: one main window that scans at launch.
#include "Morvo/MorvoApp.h"
#include "Morvo/Platform/Fonts.h"

#include <QApplication>
#include <QStyleFactory>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Arguments stay bytes: a --scan path is never re-encoded.
    std::vector<std::string> arguments(argv, argv + argc);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvo"));
    QApplication::setOrganizationName(QStringLiteral("Morvo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Morvo"));
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(style);
    morvo::loadFonts();
    QApplication::setFont(morvo::systemFont(13));

    morvo::MorvoApp morvo({std::move(arguments), {}, nullptr});
    morvo.show();
    return app.exec();
}
