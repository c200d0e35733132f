// The `morvo` executable: one main window that scans at launch.
#include "Morvo/Shell/MorvoApp.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Platform/TaskRunner.h"

#include <QApplication>
#include <QStyleFactory>

#include <memory>
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

    auto application = std::make_unique<morvo::MorvoApp>(morvo::MorvoApp::Options{std::move(arguments), {}, nullptr});
    application->show();
    const int status = app.exec();
    // As the event loop ended, the work still running was asked to stop and given a moment;
    // whatever did not end by then must not see the application torn down under it.
    application.reset();
    morvo::endProcessIfWorkRemains(status);
    return status;
}
