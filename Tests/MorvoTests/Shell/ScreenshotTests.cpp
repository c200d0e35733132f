// Pictures of every screen for a look by eye: each section, both sheets, the review sheet with its
// move confirmation, the scan-error alert and the settings window, at the window's minimum (its
// content's 1100×740 under the menu bar, about as tall as a 1366×768 screen), 1340×860 and
// 1920×1080, dark and light, written as PNGs under <build>/screenshots. A sheet or dialog is drawn
// over the main window where the platform would place it (a sheet at the top, an alert centred).
// The test also checks that each picture was written and that the window takes the asked size.
#include "Support/WindowFixture.h"

#include "Morvo/Cleanup/CleanupReviewSheet.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Shell/MorvoApp.h"
#include "Morvo/Platform/AppearanceStore.h"
#include "Morvo/Platform/Fonts.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMenuBar>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>


#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

// `over` drawn on `base` at `topLeft`, with a soft shadow as the platform draws under a sheet.
QPixmap composite(const QPixmap& base, const QPixmap& over, QPoint topLeft) {
    QPixmap out = base;
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 1; i <= 12; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 10));
        p.drawRoundedRect(QRectF(QRect(topLeft, over.size() / over.devicePixelRatio())).adjusted(-i, -i + 4, i, i + 4), 10 + i, 10 + i);
    }
    p.drawPixmap(topLeft, over);
    return out;
}

class Screenshots : public WindowFixture {};

TEST_F(Screenshots, EveryScreenAtThreeSizesInBothAppearances) {
    ASSERT_NO_FATAL_FAILURE(start());
    AppState& state = app->state();

    const QString dir = QCoreApplication::applicationDirPath() + "/../../screenshots";
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    QMainWindow* window = app->mainWindow();
    int written = 0;
    auto save = [&](const QPixmap& pixmap, const QString& name) {
        EXPECT_TRUE(pixmap.save(dir + "/" + name + ".png")) << name.toStdString();
        ++written;
    };
    // Where a sheet sits: at the top of the content, under the menu bar, centred across the window.
    auto sheetOrigin = [&](const QPixmap& sheet) {
        const int top = window->menuBar()->isVisible() ? window->menuBar()->height() : 0;
        return QPoint((window->width() - sheet.width()) / 2, top);
    };
    auto centred = [&](const QPixmap& dialog) {
        return QPoint((window->width() - dialog.width()) / 2, (window->height() - dialog.height()) / 3);
    };

    const QSize sizes[] = {window->minimumSize(), {1340, 860}, {1920, 1080}};
    for (AppAppearance a : allAppAppearances) {
        app->appearance().setAppearance(a);
        for (QSize size : sizes) {
            const QString suffix = QStringLiteral("-%1x%2-%3").arg(size.width()).arg(size.height())
                                       .arg(a == AppAppearance::dark ? "dark" : "light");
            window->resize(size);
            settle();
            EXPECT_EQ(window->size(), size) << "the window takes " << size.width() << "x" << size.height();
            for (AppSection section : allAppSections) {
                show(section);
                QString name = QString::fromUtf8(rawValue(section).data(), int(rawValue(section).size())).toLower();
                name.replace(QRegularExpression("[^a-z]+"), "-");
                save(window->grab(), "section-" + name + suffix);
            }

            state.setSection(AppSection::overview);
            settle();
            const QPixmap overview = window->grab();
            for (AppSheet sheet : {AppSheet::scanDetails, AppSheet::about}) {
                state.setSheet(sheet);
                settle();
                ASSERT_NE(app->contentView()->presentedSheet(), nullptr);
                const QPixmap shot = app->contentView()->presentedSheet()->grab();
                save(composite(overview, shot, sheetOrigin(shot)),
                     (sheet == AppSheet::about ? "sheet-about" : "sheet-scan-details") + suffix);
                state.setSheet(std::nullopt);
                settle();
            }

            // The review sheet over the cleanup section, then its move confirmation over both.
            state.setSection(AppSection::cleanup);
            settle();
            const QPixmap cleanupShot = window->grab();
            state.cleanup().prepareReview();
            ASSERT_TRUE(waitFor([&] { return state.cleanup().review().has_value() && !state.cleanup().isPreparing(); }));
            settle();
            QDialog* reviewDialog = app->contentView()->presentedReviewSheet();
            ASSERT_NE(reviewDialog, nullptr);
            const QPixmap review = reviewDialog->grab();
            const QPixmap withReview = composite(cleanupShot, review, sheetOrigin(review));
            save(withReview, "sheet-review" + suffix);
            auto* reviewSheet = reviewDialog->findChild<CleanupReviewSheet*>();
            ASSERT_NE(reviewSheet, nullptr);
            reviewSheet->setShowsConfirmation(true);
            settle();
            ASSERT_NE(reviewSheet->confirmationDialog(), nullptr);
            const QPixmap confirmation = reviewSheet->confirmationDialog()->grab();
            save(composite(withReview, confirmation, centred(confirmation)), "dialog-move-confirmation" + suffix);
            reviewSheet->setShowsConfirmation(false);
            state.cleanup().invalidatePreview();
            ASSERT_TRUE(waitFor([&] { return app->contentView()->presentedReviewSheet() == nullptr; }));

            // The scan-error alert over the overview.
            state.setSection(AppSection::overview);
            state.setErrorMessage(std::string("Choose a folder or volume on this Mac. The folder “Client projects and "
                                              "everything that came with them” could not be read: Permission denied."));
            settle();
            ASSERT_NE(app->contentView()->presentedAlert(), nullptr);
            const QPixmap alert = app->contentView()->presentedAlert()->grab();
            save(composite(window->grab(), alert, centred(alert)), "dialog-scan-error" + suffix);
            state.setErrorMessage(std::nullopt);
            settle();

            app->openSettings();
            settle();
            save(app->settingsWindow()->grab(), "settings" + suffix);
            app->settingsWindow()->close();
        }
    }
    app->appearance().setAppearance(AppAppearance::dark);
    EXPECT_EQ(written, 2 * 3 * (static_cast<int>(allAppSections.size()) + 6));
}

} // namespace
