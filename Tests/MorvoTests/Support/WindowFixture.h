#pragma once
// The whole application over a fixture home that has something on every screen: a scanned folder
// with long names four levels down, applications with their data, caches, logs and developer
// caches, and three queued items. For the screenshot and window-layout tests.

#include "Support/ShellTestSupport.h"

#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Shell/MorvoApp.h"
#include "Morvo/Platform/AppearanceStore.h"
#include "Morvo/Platform/Fonts.h"

#include <QApplication>
#include <QMainWindow>
#include <QSettings>
#include <QTest>
#include <QTemporaryDir>

#include <fstream>
#include <memory>

#include <gtest/gtest.h>

namespace morvo::shelltest {

// An application bundle whose Info.plist names `identifier` and `name`.
inline void writeBundle(const fs::path& bundle, const std::string& identifier, const std::string& name) {
    fs::create_directories(bundle / "Contents" / "MacOS");
    std::ofstream plist(bundle / "Contents" / "Info.plist");
    plist << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
          << "<key>CFBundleIdentifier</key><string>" << identifier << "</string>"
          << "<key>CFBundleName</key><string>" << name << "</string>"
          << "<key>CFBundleShortVersionString</key><string>2.1</string>"
          << "<key>CFBundleExecutable</key><string>" << name << "</string></dict></plist>\n";
    std::ofstream(bundle / "Contents" / "MacOS" / name) << "#!/bin/sh\n";
}

class WindowFixture : public ::testing::Test {
protected:
    fs::path home() const { return fixture.home.path(); }
    fs::path root() const { return home() / "Fixture"; }
    // The map root the fixture opens: four levels of long folder names.
    fs::path deep() const {
        return root() / "Client projects and everything that came with them" / "Spring campaign deliverables 2024" /
               "Final exports, renders and the colour-graded masters";
    }

    // Builds the home, starts the application on it and waits until the scan, the inventory and
    // the cache discovery are done; the map shows `deep()` and three items are queued.
    void start() {
        loadFonts();
        QApplication::setFont(systemFont(13));
        writeFile(root() / "Documents" / "report.pdf", 300000);
        writeFile(root() / "Media" / "clip.mp4", 2000000);
        writeFile(root() / "Projects" / "app" / "src" / "main.cpp", 50000);
        writeFile(root() / "backup.zip", 800000);
        writeFile(deep() / "Holiday edit final (2) colour graded.mov", 1500000);
        writeFile(deep() / "poster.png", 400000);
        writeBundle(home() / "Applications" / "Editor.app", "com.example.editor", "Editor");
        writeBundle(home() / "Applications" / "Viewer.app", "com.example.viewer", "Viewer");
        writeBundle(home() / "Applications" / "Sketch Pad.app", "com.example.sketchpad", "Sketch Pad");
        writeFile(home() / "Library" / "Caches" / "com.example.editor" / "Cache.db", 4096);
        writeFile(home() / "Library" / "Caches" / "com.example.viewer" / "thumbs.db", 2048);
        writeFile(home() / "Library" / "Preferences" / "com.example.editor.plist", 300);
        writeFile(home() / "Library" / "Containers" / "com.example.editor" / "Data" / "draft.txt", 1200);
        writeFile(home() / "Library" / "Logs" / "Editor" / "session.log", 52000);
        writeFile(home() / "Library" / "Caches" / "com.gone.oldtool" / "data", 900);
        writeFile(home() / "Library" / "Preferences" / "com.gone.oldtool.plist", 120);
        writeFile(home() / ".npm" / "_cacache" / "index-v5" / "00" / "entry", 70000);
        writeFile(home() / ".cache" / "pip" / "http" / "wheel", 90000);

        AppServices services = fixture.services();
        services.applicationRoots = std::vector<Url>{Url::file((home() / "Applications").string(), true)};
        settingsDir = std::make_unique<QTemporaryDir>();
        settings = std::make_shared<QSettings>(settingsDir->filePath("morvo.ini"), QSettings::IniFormat);
        app = std::make_unique<MorvoApp>(MorvoApp::Options{{"morvo", "--scan", root().string()}, services, settings});
        app->show();
        AppState& state = app->state();
        ASSERT_TRUE(waitFor([&] { return state.hasScannedFolder() && !state.categoryTotals().empty(); }));
        ASSERT_TRUE(waitFor([&] { return !state.inventory().isLoading(); }));
        state.cacheDiscovery().load();
        ASSERT_TRUE(waitFor([&] { return state.cacheDiscovery().hasLoaded() && !state.cacheDiscovery().isLoading(); }));
        state.navigate(deep().string());
        state.setSelectedID((deep() / "Holiday edit final (2) colour graded.mov").string());
        state.cleanup().add({Url::file((deep() / "poster.png").string()), "poster.png", "Selected from your storage scan",
                             "File", "photo.on.rectangle.angled", 400000, {}});
        state.cleanup().add({Url::file((home() / "Library" / "Caches" / "com.example.editor").string(), true),
                             "com.example.editor",
                             "App cache that the app rebuilds when needed; it is measured again before anything "
                             "moves, and nothing moves until you confirm.",
                             "Caches", "square.stack.3d.up", 4096, {}});
        state.cleanup().add({Url::file((home() / "Library" / "Logs" / "Editor" / "session.log").string()), "session.log",
                             "Diagnostic log", "Logs", "doc.text", std::nullopt, {}});
    }

    // Shows `section` and waits until nothing runs.
    void show(AppSection section) {
        AppState& state = app->state();
        state.setSection(section);
        ASSERT_TRUE(waitFor([&] {
            return !state.isScanning() && !state.isSearching() && !state.inventory().isLoading() &&
                   !state.cacheDiscovery().isLoading();
        }));
        settle();
    }

    static void settle() {
        QCoreApplication::processEvents();
        QTest::qWait(40);
    }

    void TearDown() override {
        if (app) app->appearance().setAppearance(AppAppearance::dark);
    }

    Fixture fixture;
    std::unique_ptr<QTemporaryDir> settingsDir;
    std::shared_ptr<QSettings> settings;
    std::unique_ptr<MorvoApp> app;
};

} // namespace morvo::shelltest
