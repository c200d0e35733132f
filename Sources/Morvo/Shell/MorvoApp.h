#pragma once
// The application: owns the one AppState for the whole run, the appearance setting, the main
// window with its menus and the settings window; applies the appearance to the whole
// application and runs the start-up task when the main window's content is shown.

#include "Morvo/State/AppServices.h"
#include "Morvo/Kit/Theme.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSettings>
#include <QSize>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
#include <QMainWindow>
class QMenuBar;
class QPalette;
class QWidget;

namespace morvo {

class AppState;
class AppearanceStore;
class ContentView;

class MorvoApp : public QObject {
    Q_OBJECT

public:
    struct Options {
        std::vector<std::string> arguments;       // the process's arguments, the executable first
        AppServices services;                     // empty members: the real desktop services
        std::shared_ptr<QSettings> settings;      // null: the application's standard settings
    };

    explicit MorvoApp(Options options, QObject* parent = nullptr);
    ~MorvoApp() override;

    AppState& state() const { return *state_; }
    AppearanceStore& appearance() const { return *appearance_; }
    QMainWindow* mainWindow() const { return window_; }
    ContentView* contentView() const { return content_; }
    // The settings window, when it has been opened.
    QWidget* settingsWindow() const { return settings_; }

    // Shows the main window and brings the application to the front; the first time, it places the
    // window on its screen (initialWindowGeometry).
    void show();
    void openSettings();
    // The menu item titled `title` as shown (without its mnemonic's "&"; for tests and tools), or null.
    QAction* menuAction(const QString& title) const;

    // The size the first window asks for, menu bar included.
    static constexpr QSize defaultWindowSize{1340, 860};
    // Where the first window opens: `preferred` within the screen's `available` area, never smaller
    // than `minimum`, centred on it; a window larger than the area keeps its top left corner in it.
    static QRect initialWindowGeometry(const QRect& available, QSize minimum, QSize preferred = defaultWindowSize);

    // The path right after the first "--scan", when one follows it.
    static std::optional<std::string> startupScanPath(const std::vector<std::string>& arguments);
    // Scans the --scan path, or else the home folder when nothing is scanned or scanning; then the
    // first inventory load unless one has started.
    void runStartupTask();

    // The application palette of an appearance, for the platform's own controls.
    static QPalette palette(AppAppearance appearance);

private:
    void buildMenus(QMenuBar* bar);
    void placeFirstWindow();
    void applyAppearance(AppAppearance appearance);

    Options options_;
    std::unique_ptr<AppState> state_;
    AppearanceStore* appearance_;
    QPointer<QMainWindow> window_;
    ContentView* content_ = nullptr;
    QPointer<QWidget> settings_;
    std::vector<QAction*> appearanceActions_;
    bool placed_ = false;
};

} // namespace morvo
