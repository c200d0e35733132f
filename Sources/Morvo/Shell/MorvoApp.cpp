#include "Morvo/Shell/MorvoApp.h"

#include "Morvo/State/AppState.h"
#include "Morvo/Shell/AppearanceSettingsView.h"
#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Kit/KeyboardFocus.h"
#include "Morvo/Platform/AppearanceStore.h"
#include "Morvo/Kit/ViewKit.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QWindow>
#include <QVBoxLayout>

#include <algorithm>

namespace morvo {

namespace {

// Closing the main window quits, whatever other window (settings) is open.
class MainWindow : public QMainWindow {
protected:
    // With no focus in the content (the focused control went away), Tab starts its reading
    // order rather than the window's order of creation.
    bool focusNextPrevChild(bool next) override {
        if (QWidget* content = centralWidget()) return focusNextInReadingOrder(content, next);
        return QMainWindow::focusNextPrevChild(next);
    }

    void closeEvent(QCloseEvent* event) override {
        QMainWindow::closeEvent(event);
        if (event->isAccepted()) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w != this && w->isVisible()) w->close();
            QCoreApplication::quit();
        }
    }
};

class SettingsWindow : public QWidget {
public:
    explicit SettingsWindow(AppearanceStore& store) : QWidget(nullptr, Qt::Window) {
        setWindowTitle(QStringLiteral("Appearance"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(new AppearanceSettingsView(store, this));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Theme::background());
    }
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        // The first focus rests on the window, not on the first card's ring; Tab reaches the cards.
        if (!focusWidget()) setFocus(Qt::OtherFocusReason);
    }
};

// A menu title as shown: `text` without the "&" that marks its mnemonic ("&&" shows one "&").
QString shownTitle(const QString& text) {
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

} // namespace

MorvoApp::MorvoApp(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      state_(std::make_unique<AppState>(options_.services)),
      appearance_(new AppearanceStore(options_.settings, this)) {
    applyAppearance(appearance_->appearance());
    connect(appearance_, &AppearanceStore::appearanceChanged, this, &MorvoApp::applyAppearance);

    window_ = new MainWindow();
    window_->setObjectName(QStringLiteral("main"));
    window_->setWindowTitle(QStringLiteral("Morvo"));
    content_ = new ContentView(*state_, [this] { openSettings(); });
    window_->setCentralWidget(content_);
    buildMenus(window_->menuBar());
    // The minimum is the content's (ContentView); the window adds its menu bar to it.
    window_->resize(defaultWindowSize);
    connect(content_, &ContentView::shown, this, [this] {
        // After the window is up: the start-up task only issues calls, so it ends at once.
        QMetaObject::invokeMethod(this, &MorvoApp::runStartupTask, Qt::QueuedConnection);
    });
}

MorvoApp::~MorvoApp() {
    delete settings_.data();
    delete window_.data();
}

void MorvoApp::show() {
    if (!placed_) placeFirstWindow();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void MorvoApp::placeFirstWindow() {
    placed_ = true;
    // The first window fits the screen it opens on, frame included where the platform knows it
    // before the window is shown, so nothing of it starts out past a small screen's edge.
    window_->winId();
    const QMargins frame = window_->windowHandle() ? window_->windowHandle()->frameMargins() : QMargins();
    const QScreen* screen = window_->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), defaultWindowSize);
    window_->setGeometry(initialWindowGeometry(available.marginsRemoved(frame), window_->minimumSizeHint()));
}

void MorvoApp::openSettings() {
    if (!settings_) settings_ = new SettingsWindow(*appearance_);
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

QAction* MorvoApp::menuAction(const QString& title) const {
    if (!window_) return nullptr;
    for (QAction* action : window_->findChildren<QAction*>())
        if (shownTitle(action->text()) == title) return action;
    return nullptr;
}

QRect MorvoApp::initialWindowGeometry(const QRect& available, QSize minimum, QSize preferred) {
    const QSize size = preferred.boundedTo(available.size()).expandedTo(minimum);
    const int x = available.x() + std::max(0, (available.width() - size.width()) / 2);
    const int y = available.y() + std::max(0, (available.height() - size.height()) / 2);
    return {QPoint(x, y), size};
}

std::optional<std::string> MorvoApp::startupScanPath(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] != "--scan") continue;
        // Only the first --scan counts; without a following argument it is ignored.
        if (i + 1 < arguments.size()) return arguments[i + 1];
        return std::nullopt;
    }
    return std::nullopt;
}

void MorvoApp::runStartupTask() {
    AppState& state = *state_;
    if (const auto path = startupScanPath(options_.arguments)) {
        state.startScan(Url::file(*path, true), false);
    } else if (!state.hasScannedFolder() && !state.isScanning()) {
        state.startScan(Url::file(state.homeDirectory(), true), true);
    }
    if (!state.inventory().hasStartedInitialLoad()) state.inventory().load();
}

// Titles carry the desktop's mnemonics: "&" marks the letter that Alt (in a menu, the letter
// alone) chooses; it is not shown.
void MorvoApp::buildMenus(QMenuBar* bar) {
    AppState& state = *state_;
    // The section commands leave the focus on the section, never on one of its controls.
    auto openSection = [this, &state](AppSection section) {
        state.setSection(section);
        state.setCategory(std::nullopt);
        if (content_) content_->focusSection();
    };
    auto add = [this](QMenu* menu, const QString& title, QKeySequence key, auto&& slot) {
        QAction* action = menu->addAction(title);
        if (!key.isEmpty()) action->setShortcut(key);
        action->setShortcutContext(Qt::ApplicationShortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };

    QMenu* app = bar->addMenu(QStringLiteral("&Morvo"));
    add(app, QStringLiteral("&About Morvo"), {}, [&state] { state.setSheet(AppSheet::about); });
    add(app, QStringLiteral("&Settings…"), QKeySequence(QStringLiteral("Ctrl+,")), [this] { openSettings(); });
    app->addSeparator();
    add(app, QStringLiteral("&Quit Morvo"), QKeySequence(QStringLiteral("Ctrl+Q")), [this] {
        if (window_) window_->close();
    });

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    add(file, QStringLiteral("Scan &Folder…"), QKeySequence(QStringLiteral("Ctrl+O")), [&state] { state.chooseFolder(); });
    add(file, QStringLiteral("Scan &Home Folder"), {}, [&state] { state.startScan(Url::file(state.homeDirectory(), true), false); });
    add(file, QStringLiteral("&Rescan"), QKeySequence(QStringLiteral("Ctrl+R")), [&state] { state.rescan(); });
    file->addSeparator();
    add(file, QStringLiteral("Review Cleanup &Queue"), QKeySequence(QStringLiteral("Ctrl+Shift+K")),
        [openSection] { openSection(AppSection::cleanup); });
    add(file, QStringLiteral("Scan &Applications"), {}, [openSection, &state] {
        openSection(AppSection::applications);
        state.inventory().load();
    });
    add(file, QStringLiteral("Scan &Caches and Logs"), {}, [openSection, &state] {
        openSection(AppSection::caches);
        state.cacheDiscovery().load();
    });

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    QMenu* appearanceMenu = view->addMenu(QStringLiteral("&Appearance"));
    auto* group = new QActionGroup(appearanceMenu);
    group->setExclusive(true);
    for (AppAppearance a : allAppAppearances) {
        const auto t = title(a);
        QAction* action =
            appearanceMenu->addAction(QStringLiteral("&") + QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size())));
        action->setCheckable(true);
        action->setChecked(a == appearance_->appearance());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, a] { appearance_->setAppearance(a); });
        appearanceActions_.push_back(action);
    }

    // F10 opens the first menu, as on the desktop.
    auto* menuKey = new QAction(window_);
    menuKey->setShortcut(QKeySequence(Qt::Key_F10));
    menuKey->setShortcutContext(Qt::WindowShortcut);
    connect(menuKey, &QAction::triggered, bar, [bar] {
        if (!bar->actions().isEmpty()) bar->setActiveAction(bar->actions().constFirst());
    });
    window_->addAction(menuKey);
}

void MorvoApp::applyAppearance(AppAppearance appearance) {
    QApplication::setPalette(palette(appearance));
    // The style sheet first: setting it polishes every widget again, which puts back the palettes
    // they had; the theme's change then gives each widget its colours of the new appearance.
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) app->setStyleSheet(applicationStyleSheet(appearance));
    Theme::current().setAppearance(appearance);
    for (std::size_t i = 0; i < appearanceActions_.size(); ++i)
        appearanceActions_[i]->setChecked(allAppAppearances[i] == appearance);
}

QPalette MorvoApp::palette(AppAppearance appearance) {
    auto c = [appearance](const AdaptiveColor& color, double opacity = 1.0) {
        QColor resolved = color.resolve(appearance);
        resolved.setAlphaF(static_cast<float>(resolved.alphaF() * opacity));
        return resolved;
    };
    QPalette p;
    p.setColor(QPalette::Window, c(Theme::background));
    p.setColor(QPalette::WindowText, c(Theme::text));
    p.setColor(QPalette::Base, c(Theme::panel));
    p.setColor(QPalette::AlternateBase, c(Theme::elevated));
    p.setColor(QPalette::Text, c(Theme::text));
    p.setColor(QPalette::PlaceholderText, c(Theme::muted));
    p.setColor(QPalette::Button, c(Theme::elevated));
    p.setColor(QPalette::ButtonText, c(Theme::text));
    p.setColor(QPalette::BrightText, c(Theme::onAccent));
    p.setColor(QPalette::Highlight, c(Theme::accent));
    p.setColor(QPalette::HighlightedText, c(Theme::onAccent));
    p.setColor(QPalette::Link, c(Theme::accent));
    p.setColor(QPalette::ToolTipBase, c(Theme::panel));
    p.setColor(QPalette::ToolTipText, c(Theme::text));
    p.setColor(QPalette::Light, c(Theme::elevated));
    p.setColor(QPalette::Midlight, c(Theme::elevated));
    p.setColor(QPalette::Mid, c(Theme::muted));
    p.setColor(QPalette::Dark, c(Theme::sidebar));
    p.setColor(QPalette::Shadow, QColor(0, 0, 0, 90));
    p.setColor(QPalette::Disabled, QPalette::Text, c(Theme::muted));
    p.setColor(QPalette::Disabled, QPalette::WindowText, c(Theme::muted));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, c(Theme::muted));
    return p;
}

} // namespace morvo
