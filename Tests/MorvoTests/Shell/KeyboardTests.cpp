// The window from the keyboard alone: the focus ring, where the focus rests, the keys of every
// list, the Tab order of every section, the menus, and a new user's walk through a scan, the map,
// the queue, the review, the move and the rescan.
#include "Support/ShellTestSupport.h"

#include "Morvo/Applications/ApplicationsWorkspaceView.h"
#include "Morvo/Cleanup/CacheEntryRow.h"
#include "Morvo/Cleanup/CacheWorkspaceView.h"
#include "Morvo/State/CleanupDiscoveryState.h"
#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Cleanup/CleanupWorkspaceView.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "Morvo/Storage/LargeFilesView.h"
#include "Morvo/Applications/LeftoversWorkspaceView.h"
#include "Morvo/Shell/MorvoApp.h"
#include "Morvo/Shell/SidebarView.h"
#include "Morvo/Storage/StorageMapView.h"
#include "Morvo/Shell/WorkspaceHost.h"
#include "Morvo/Platform/Fonts.h"

#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QTest>
#include <QVBoxLayout>

#include <cmath>
#include <map>
#include <set>

#include <gtest/gtest.h>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

// A home with files, caches, three applications and the data of three removed ones.
class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const auto home = fixture.home.path();
        for (int i = 0; i < 12; ++i) writeFile(home / "Files" / ("file" + std::to_string(i) + ".bin"), 1000 * (i + 1));
        for (const char* cache : {"alpha", "beta", "gamma", "delta"}) writeFile(home / "Library/Caches" / cache / "c.bin", 4000);
        for (const char* app : {"Able", "Baker", "Charlie"}) {
            const std::string id = std::string("com.example.") + app;
            writeText(home / "Applications" / (std::string(app) + ".app") / "Contents/Info.plist", infoPlist(id));
            writeFile(home / "Library/Application Support" / id / "data.bin", 500);
            writeFile(home / "Library/Caches" / id / "c.bin", 500);
        }
        for (const char* gone : {"com.gone.One", "com.gone.Two", "com.gone.Three"}) {
            writeFile(home / "Library/Application Support" / gone / "data.bin", 700);
            writeFile(home / "Library/Caches" / gone / "c.bin", 700);
        }
        AppServices services = fixture.services();
        services.applicationRoots = std::vector<Url>{Url::file((home / "Applications").string(), true)};
        services.trashMover = std::make_shared<FolderTrashMover>(home.parent_path() / (home.filename().string() + "-trash"));
        state = std::make_unique<AppState>(services);
        view = std::make_unique<ContentView>(*state);
        view->resize(1340, 860);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    void TearDown() override {
        view.reset();
        state.reset();
    }

    // Presses `key` on whatever has the keyboard focus.
    static void press(int key, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr) << "nothing has the focus";
        QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
    }

    Fixture fixture;
    std::unique_ptr<AppState> state;
    std::unique_ptr<ContentView> view;
};

// --- The ring, measured on the screen's pixels ---------------------------------------------------

double luminance(QRgb rgb) {
    auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

// The contrast ratio of two colours, 1 to 21.
double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QImage grabWindow(QWidget* window) {
    QCoreApplication::processEvents();
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The rectangle of `widget` in its window.
QRect inWindow(const QWidget* widget, QRect rect) {
    return QRect(widget->mapTo(widget->window(), rect.topLeft()), rect.size());
}

// The four rays from the middle of `area` out through the middle of each edge to `reach` pixels
// past it, as the points outside `area`.
std::vector<std::vector<QPoint>> raysOut(QRect area, int reach) {
    const QPoint c = area.center();
    std::vector<std::vector<QPoint>> rays(4);
    for (int d = 1; d <= reach; ++d) {
        rays[0].push_back({area.left() - d, c.y()});
        rays[1].push_back({area.right() + d, c.y()});
        rays[2].push_back({c.x(), area.top() - d});
        rays[3].push_back({c.x(), area.bottom() + d});
    }
    return rays;
}

// Whether the pixels of `area` (in the window) are the same in both pictures, leaving out the
// `corner` × `corner` squares at its corners (outside a rounded shape, where a ring hugging the
// shape passes).
bool unchanged(const QImage& a, const QImage& b, QRect area, int corner = 0) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const bool inCorner = (x < area.left() + corner || x > area.right() - corner) &&
                                  (y < area.top() + corner || y > area.bottom() - corner);
            if (!inCorner && contrast(a.pixel(x, y), b.pixel(x, y)) > 1.05) return false;
        }
    return true;
}

// How a ring stands out around `area` (window coordinates) between the picture with it (`on`) and
// without it (`off`): on each side, the ring's strongest pixel against the surface it covers, and
// the strongest step from the control's fill (`fill`) to anything between the edge and that pixel.
struct RingContrast {
    double againstSurface = 21;
    double againstFill = 21;
};
RingContrast measureRing(const QImage& on, const QImage& off, QRect area, QRgb fill, int reach = 9) {
    RingContrast weakest;
    for (const auto& ray : raysOut(area, reach)) {
        double strongest = 0, fromFill = 0, best = 0;
        for (const QPoint& p : ray) {
            if (!on.rect().contains(p)) break;
            fromFill = std::max(fromFill, contrast(on.pixel(p), fill));
            const double change = contrast(on.pixel(p), off.pixel(p));
            if (change > strongest) {
                strongest = change;
                best = fromFill;
            }
        }
        weakest.againstSurface = std::min(weakest.againstSurface, strongest);
        weakest.againstFill = std::min(weakest.againstFill, best);
    }
    return weakest;
}

// Where the ring of the focused control goes: around the map's focused tile, else the control.
QRect ringArea(QWidget* focus) {
    if (auto* map = qobject_cast<StorageMapView*>(focus); map && map->focusedTileIndex())
        return inWindow(map, map->tileRect(*map->focusedTileIndex()));
    return inWindow(focus, focus->rect());
}

// Whether the focused control shows a ring that a sighted user sees: on each side of it, a pixel
// past its edge (or inside a row's own padding) changes by 3:1 or more when a click on `blank`
// (a spot of its window without a control) hides the ring. The click leaves the focus
// where it was; the next key shows the ring again.
::testing::AssertionResult showsRing(QPoint blank) {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) return ::testing::AssertionFailure() << "nothing has the focus";
    QWidget* window = focus->window();
    QCoreApplication::processEvents();  // the layout settles, the ring follows
    const QRect area = ringArea(focus);
    // Out to the box a field sits in; in through a row's own padding.
    const QRect region = area.adjusted(-64, -64, 64, 64) & window->rect();
    auto grab = [&] {
        QCoreApplication::processEvents();
        return window->grab(region).toImage().convertToFormat(QImage::Format_RGB32);
    };
    const QImage on = grab();
    QTest::mouseClick(window, Qt::LeftButton, {}, blank);
    const QImage off = grab();
    if (QApplication::focusWidget() != focus) return ::testing::AssertionFailure() << "the click moved the focus";
    const QPoint c = area.center();
    const std::vector<QPoint> inwards[] = {
        {QPoint(area.left(), c.y()), QPoint(c.x(), c.y())}, {QPoint(area.right(), c.y()), QPoint(c.x(), c.y())},
        {QPoint(c.x(), area.top()), QPoint(c.x(), c.y())}, {QPoint(c.x(), area.bottom()), QPoint(c.x(), c.y())}};
    auto rays = raysOut(area, 60);
    for (int side = 0; side < 4; ++side) {
        const QPoint from = inwards[side][0], to = inwards[side][1];
        const int steps = std::max(std::abs(to.x() - from.x()), std::abs(to.y() - from.y()));
        for (int i = 0; i <= std::min(steps, 24); ++i)
            rays[side].push_back(from + (to - from) * i / std::max(steps, 1));
        double strongest = 0;
        for (QPoint p : rays[side]) {
            p -= region.topLeft();
            if (on.rect().contains(p)) strongest = std::max(strongest, contrast(on.pixel(p), off.pixel(p)));
        }
        if (strongest < 3)
            return ::testing::AssertionFailure() << "side " << side << " changes by " << strongest << ":1 at most";
    }
    return ::testing::AssertionSuccess();
}

// A spot of the main window's top bar without a control.
QPoint topBarBlank(ContentView* content) {
    QWidget* bar = content->findChild<QWidget*>(QStringLiteral("scan-folder"))->parentWidget();
    return bar->mapTo(bar->window(), QPoint(bar->width() / 2, 4));
}

// The kit's controls on the window's background and on a card, in a window of their own.
struct KitControls {
    ThemedBackground window{Theme::background};
    KitButton* accent = new KitButton(std::make_shared<AccentButtonStyle>());
    KitButton* quiet = new KitButton(std::make_shared<QuietButtonStyle>());
    KitButton* plain = new KitButton;
    StateCheckBox* box = new StateCheckBox(nullptr);
    KitButton* accentOnCard = new KitButton(std::make_shared<AccentButtonStyle>());

    KitControls() {
        accent->addSymbol(QStringLiteral("plus")).addText(QStringLiteral("Scan folder"));
        quiet->addText(QStringLiteral("Copy path"));
        plain->addText(QStringLiteral("Clear queue"), systemFont(11, QFont::Medium), Theme::secondary);
        accentOnCard->addText(QStringLiteral("Review for Trash"));
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(30, 30, 30, 30);
        layout->setSpacing(24);
        for (QWidget* w : std::initializer_list<QWidget*>{accent, quiet, plain, box}) layout->addWidget(w, 0, Qt::AlignLeft);
        auto* card = new Panel(24);
        card->contentLayout()->addWidget(accentOnCard, 0, Qt::AlignLeft);
        layout->addWidget(card);
        window.resize(360, 360);
        window.show();
        window.activateWindow();
    }
    std::vector<QWidget*> controls() const { return {accent, quiet, plain, box, accentOnCard}; }
};

// Which row of `rows` holds the focus, or -1.
int focusedRow(const std::vector<QWidget*>& rows) {
    QWidget* focus = QApplication::focusWidget();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (focus && (rows[i] == focus || rows[i]->isAncestorOf(focus))) return static_cast<int>(i);
    return -1;
}

template <class Row>
std::vector<QWidget*> visibleRows(QWidget* root) {
    std::vector<QWidget*> rows;
    for (Row* row : root->findChildren<Row*>())
        if (row->isVisible()) rows.push_back(row);
    std::sort(rows.begin(), rows.end(), [root](QWidget* a, QWidget* b) { return a->mapTo(root, QPoint()).y() < b->mapTo(root, QPoint()).y(); });
    return rows;
}

// The ring stands apart from an accent fill and from the surface around it, in both appearances,
// and lies outside the control: not one pixel of the control changes when it shows.
TEST(FocusRing, StandsApartFromTheFillAndTheSurfaceOutsideTheControl) {
    KitControls kit;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&kit.window));
    const auto controls = kit.controls();
    for (AppAppearance appearance : allAppAppearances) {
        Theme::current().setAppearance(appearance);
        for (std::size_t i = 0; i < controls.size(); ++i) {
            QWidget* control = controls[i];
            SCOPED_TRACE(std::string(title(appearance)) + " " + control->accessibleName().toStdString());
            // Without the focus.
            QTest::mouseClick(&kit.window, Qt::LeftButton, {}, QPoint(4, 4));
            kit.window.setFocus(Qt::OtherFocusReason);
            const QImage off = grabWindow(&kit.window);
            // Reached with Tab: the ring.
            QWidget* before = controls[(i + controls.size() - 1) % controls.size()];
            before->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(before, Qt::Key_Tab);
            ASSERT_EQ(QApplication::focusWidget(), control);
            const QImage on = grabWindow(&kit.window);

            // The checkbox's box lies a point inside its rectangle.
            const int inset = control == kit.box ? 1 : 0;
            const QRect shape = inWindow(control, control->rect().adjusted(inset, inset, -inset, -inset));
            const int corner = std::min({9, shape.width() / 3, shape.height() / 3});
            EXPECT_TRUE(unchanged(on, off, shape, corner)) << "the ring lies outside the control, off its glyphs";
            // The fill: just inside the control's top edge (above a label's glyphs).
            const QRgb fill = off.pixel(shape.center().x(), shape.top() + 1);
            const RingContrast ring = measureRing(on, off, shape, fill);
            EXPECT_GE(ring.againstSurface, 3.0) << "the ring against the surface around the control";
            EXPECT_GE(ring.againstFill, 3.0) << "the ring (or the band that parts it) against the control's fill";
        }
    }
    Theme::current().setAppearance(AppAppearance::dark);
}

// The ring follows the keyboard: none for focus that the program or a click gives, one after Tab
// and the arrows, gone again after a click.
TEST_F(KeyboardTest, TheRingShowsOnlyAfterTheKeyboardMovedTheFocus) {
    KitControls kit;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&kit.window));
    QTest::mouseClick(&kit.window, Qt::LeftButton, {}, QPoint(4, 4));
    kit.accent->setFocus(Qt::OtherFocusReason);
    const QImage none = grabWindow(&kit.window);
    kit.quiet->setFocus(Qt::OtherFocusReason);
    EXPECT_TRUE(unchanged(grabWindow(&kit.window), none, kit.window.rect())) << "the program's focus shows no ring";
    QTest::keyClick(kit.quiet, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), kit.plain);
    EXPECT_FALSE(unchanged(grabWindow(&kit.window), none, kit.window.rect())) << "Tab shows the ring";
    QTest::mouseClick(&kit.window, Qt::LeftButton, {}, QPoint(4, 4));
    kit.accent->setFocus(Qt::OtherFocusReason);
    EXPECT_TRUE(unchanged(grabWindow(&kit.window), none, kit.window.rect())) << "a click hides it";

    // An alert that opens gives its default button the focus: no ring before a key.
    ThemedMessageBox alert(&kit.window);
    alert.setText(QStringLiteral("Couldn't finish the scan"));
    QAbstractButton* ok = alert.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert.show();
    alert.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&alert));
    ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == ok; }));
    const QImage opened = grabWindow(&alert);
    alert.setFocus(Qt::OtherFocusReason);
    EXPECT_TRUE(unchanged(grabWindow(&alert), opened, alert.rect())) << "the default button shows no ring";
    alert.hide();

    // In the window: a row clicked takes the focus without a ring; Down moves it to the next row
    // with the ring.
    state->startScan(Url::file(fixture.home.string(), true), true);
    ASSERT_TRUE(settle(*state));
    for (const char* name : {"file0.bin", "file1.bin"})
        state->cleanup().add({Url::file(fixture.home / (std::string("Files/") + name)), name, "", "File", "doc", 1000, {}});
    state->setSection(AppSection::cleanup);
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    const auto rows = visibleRows<CleanupQueueRow>(view.get());
    ASSERT_EQ(rows.size(), 2u);
    const QImage before = grabWindow(view.get());
    QTest::mouseClick(rows[0], Qt::LeftButton, {}, QPoint(rows[0]->width() / 2, 6));
    ASSERT_EQ(QApplication::focusWidget(), rows[0]);
    EXPECT_TRUE(unchanged(grabWindow(view.get()), before, inWindow(rows[0], rows[0]->rect().adjusted(-6, -6, 6, 6))))
        << "a click shows no ring";
    press(Qt::Key_Down);
    ASSERT_EQ(QApplication::focusWidget(), rows[1]);
    EXPECT_TRUE(showsRing(topBarBlank(view.get())));

    // A click on a section row while a control of the section has the focus: the focus rests on
    // the new section, so no control of it shows a ring.
    press(Qt::Key_Tab);
    ASSERT_TRUE(state->section() == AppSection::cleanup && view->workspaceHost()->currentWorkspace()->isAncestorOf(QApplication::focusWidget()));
    QTest::mouseClick(view->sidebar()->sectionRow(AppSection::overview), Qt::LeftButton);
    ASSERT_EQ(state->section(), AppSection::overview);
    QTest::mouseClick(view->sidebar()->sectionRow(AppSection::cleanup), Qt::LeftButton);
    ASSERT_EQ(state->section(), AppSection::cleanup);
    EXPECT_EQ(QApplication::focusWidget(), view->workspaceHost()->currentWorkspace());
}

// A command that opens a section leaves the focus on the section, as the window's first focus
// rests on the window: never on one of its controls ("Clear queue" empties the queue on Space).
TEST_F(KeyboardTest, SectionCommandsLeaveTheFocusOnTheSection) {
    view.reset();
    state.reset();
    QTemporaryDir settingsDir;
    auto settings = std::make_shared<QSettings>(settingsDir.filePath("morvo.ini"), QSettings::IniFormat);
    AppServices services = fixture.services();
    services.applicationRoots = std::vector<Url>{Url::file((fixture.home.path() / "Applications").string(), true)};
    MorvoApp app({{"morvo"}, services, settings});
    AppState& s = app.state();
    app.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app.mainWindow()));
    ASSERT_TRUE(waitFor([&] { return s.hasScannedFolder() && !s.isScanning() && !s.inventory().isLoading(); }));
    s.cleanup().add({Url::file(fixture.home / "Files/file0.bin"), "file0.bin", "", "File", "doc", 1000, {}});
    auto sectionView = [&] { return app.contentView()->workspaceHost()->currentWorkspace(); };

    struct Case {
        const char* command;
        AppSection from;
        bool fromSidebar;  // the focus on the sidebar's row, else on the section's first control
        AppSection opens;
    } cases[] = {
        {"Ctrl+Shift+K", AppSection::overview, false, AppSection::cleanup},
        {"Ctrl+Shift+K", AppSection::overview, true, AppSection::cleanup},
        {"Ctrl+Shift+K", AppSection::cleanup, false, AppSection::cleanup},
        {"Scan Applications", AppSection::largeFiles, false, AppSection::applications},
        {"Scan Caches and Logs", AppSection::leftovers, true, AppSection::caches},
    };
    // The window's own focus: the offscreen platform lets the window go inactive when a section
    // draws application icons.
    auto focus = [&] { return app.mainWindow()->focusWidget(); };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " from " + std::string(rawValue(c.from)));
        s.setSection(c.from);
        QCoreApplication::processEvents();
        if (c.fromSidebar) {
            app.contentView()->sidebar()->sectionRow(c.from)->setFocus(Qt::TabFocusReason);
        } else {
            sectionView()->setFocus(Qt::OtherFocusReason);
            QTest::keyClick(sectionView(), Qt::Key_Tab);
            ASSERT_TRUE(sectionView()->isAncestorOf(focus()));
        }
        if (std::string(c.command) == "Ctrl+Shift+K") QTest::keyClick(focus(), Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
        else app.menuAction(c.command)->trigger();
        ASSERT_EQ(s.section(), c.opens);
        EXPECT_EQ(focus(), sectionView());
        QTest::keyClick(focus(), Qt::Key_Tab);
        EXPECT_TRUE(sectionView()->isAncestorOf(focus())) << "Tab goes on into the section";
    }
}

TEST_F(KeyboardTest, ListsTakeTheKeysOfThePlatformsLists) {
    state->startScan(Url::file(fixture.home.string(), true), true);
    ASSERT_TRUE(settle(*state));
    state->inventory().load();
    state->cacheDiscovery().load();
    ASSERT_TRUE(waitFor([&] { return !state->inventory().isLoading() && !state->cacheDiscovery().isLoading(); }));
    for (const char* name : {"file0.bin", "file1.bin", "file2.bin"}) {
        CleanupCandidate c;
        c.url = Url::file(fixture.home / (std::string("Files/") + name));
        c.title = name;
        state->cleanup().add(c);
    }
    state->inventory().setSelectedAppID(state->inventory().result().apps.front().id());

    // Each list: how to show it, its rows top to bottom, what Space and Return did to a row.
    struct List {
        const char* name;
        AppSection section;
        std::function<std::vector<QWidget*>()> rows;
        std::function<bool(int row)> activated;  // null: the rows have no action of their own
    };
    auto* host = view.get();
    auto fileIndex = [&](int row) { return state->files()[static_cast<std::size_t>(row)].id; };
    const List lists[] = {
        {"queue", AppSection::cleanup, [&] { return visibleRows<CleanupQueueRow>(host); }, nullptr},
        {"caches", AppSection::caches, [&] { return visibleRows<CacheEntryRow>(host); },
         [&](int row) {
             auto* entry = static_cast<CacheEntryRow*>(visibleRows<CacheEntryRow>(host)[static_cast<std::size_t>(row)]);
             return state->cacheDiscovery().selectedIDs().count(entry->entry().url.path) > 0;
         }},
        {"applications", AppSection::applications, [&] { return visibleRows<ApplicationRow>(host); },
         [&](int row) {
             auto* app = static_cast<ApplicationRow*>(visibleRows<ApplicationRow>(host)[static_cast<std::size_t>(row)]);
             return state->inventory().selectedAppID() == app->objectName().mid(12).toStdString();
         }},
        {"leftovers", AppSection::leftovers, [&] { return visibleRows<InventoryRelatedRow>(host); },
         [&](int row) {
             auto* related = static_cast<InventoryRelatedRow*>(visibleRows<InventoryRelatedRow>(host)[static_cast<std::size_t>(row)]);
             return related->checkBox()->isSelected();
         }},
    };
    for (const List& list : lists) {
        state->setSection(list.section);
        QTest::qWait(50);
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        const auto rows = list.rows();
        ASSERT_GE(rows.size(), 3u) << list.name;
        const int last = static_cast<int>(rows.size()) - 1;
        QWidget* first = rows[0];
        if (auto* entry = qobject_cast<CacheEntryRow*>(first)) entry->checkBox()->setFocus();
        else if (auto* related = qobject_cast<InventoryRelatedRow*>(first)) related->checkBox()->setFocus();
        else first->setFocus();
        ASSERT_EQ(focusedRow(rows), 0) << list.name;
        struct Step {
            int key;
            int row;
        } steps[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_Up, 1}, {Qt::Key_End, last},
                     {Qt::Key_Down, last}, {Qt::Key_Home, 0}, {Qt::Key_Up, 0}};
        for (const Step& s : steps) {
            press(s.key);
            EXPECT_EQ(focusedRow(list.rows()), s.row) << list.name << " " << QKeySequence(s.key).toString().toStdString();
        }
        press(Qt::Key_PageDown);
        EXPECT_GT(focusedRow(list.rows()), 0) << list.name << ": Page Down";
        press(Qt::Key_PageUp);
        EXPECT_EQ(focusedRow(list.rows()), 0) << list.name << ": Page Up";
        if (!list.activated) continue;
        press(Qt::Key_Down);
        EXPECT_FALSE(list.activated(1)) << list.name;
        press(Qt::Key_Return);
        EXPECT_TRUE(list.activated(1)) << list.name << ": Return";
        press(Qt::Key_Down);
        press(Qt::Key_Space);
        EXPECT_TRUE(list.activated(2)) << list.name << ": Space";
    }

    // The files list: the selection follows the current row.
    state->setSection(AppSection::largeFiles);
    QTest::qWait(50);
    auto* files = host->findChild<LargeFilesView*>()->list();
    ASSERT_GE(state->files().size(), 12u);
    files->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(files->currentIndex().row(), 0) << "focus lands on the first row";
    EXPECT_EQ(state->selectedID(), fileIndex(0));
    struct Step {
        int key;
        int row;
    } steps[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2}, {Qt::Key_End, static_cast<int>(state->files().size()) - 1},
                 {Qt::Key_Home, 0}, {Qt::Key_PageDown, -1}, {Qt::Key_Up, -2}};
    int previous = 0;
    for (const Step& s : steps) {
        press(s.key);
        const int current = files->currentIndex().row();
        if (s.row >= 0) EXPECT_EQ(current, s.row) << QKeySequence(s.key).toString().toStdString();
        else if (s.row == -1) EXPECT_GT(current, previous + 1) << "Page Down moves a page";
        else EXPECT_EQ(current, previous - 1);
        EXPECT_EQ(state->selectedID(), fileIndex(current)) << QKeySequence(s.key).toString().toStdString();
        previous = current;
    }
}

// Presses Tab on the focused widget until `wanted` holds for it, checking after every Tab that
// the control shows its ring (hidden by a click on `blank`, a spot of its window without a
// control); the names of the stops passed go to `trail` for the failure message.
bool tabTo(const std::function<bool(QWidget*)>& wanted, std::string& trail, QPoint blank, int limit = 80) {
    trail.clear();
    for (int i = 0; i < limit; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (focus && wanted(focus)) return true;
        if (!focus) return false;
        trail += std::string(focus->metaObject()->className()) + "(" + focus->accessibleName().toStdString() + ") ";
        // The scroll areas draw no focus ring; their controls take the focus instead.
        if (qobject_cast<QAbstractScrollArea*>(focus)) ADD_FAILURE() << "Tab stopped on a scroll area: " << trail;
        QTest::keyClick(focus, Qt::Key_Tab);
        EXPECT_TRUE(showsRing(blank)) << "after " << trail;
    }
    return false;
}

// A menu's title as shown: without the "&" that marks its mnemonic.
std::string shown(const QString& title) {
    QString text = title;
    return text.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1")).toStdString();
}

// A stop's name in a Tab sequence: its accessible name (its identifier for a row without one),
// the home folder written "~".
std::string stopName(QWidget* w, const std::string& home) {
    if (qobject_cast<StorageMapView*>(w)) return "map";
    QString name = w->accessibleName().isEmpty() ? w->objectName() : w->accessibleName();
    if (name.endsWith(QStringLiteral("s scan"))) return "footer: scan line";  // its duration varies
    if (name.isEmpty()) name = QString::fromLatin1(w->metaObject()->className());
    return name.replace(QString::fromStdString(home), QStringLiteral("~")).toStdString();
}

// Every control of `root` that Tab should reach: shown, enabled, taking Tab focus.
std::set<QWidget*> controlsOf(QWidget* root) {
    std::set<QWidget*> found;
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !w->focusProxy())
            found.insert(w);
    return found;
}

bool labelled(QWidget* w, const QString& label) {
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button) return false;
    if (button->accessibleName() == label || button->toolTip() == label || button->text() == label) return true;
    auto* kit = qobject_cast<KitButton*>(w);
    return kit && kit->labelText() == label;
}

// A new user's walk with the keyboard alone, through the menus and their shortcuts, Tab, arrows,
// Space and Return. After every Tab the control shows its ring; every section's Tab order is its
// reading order and reaches each control once.
TEST_F(KeyboardTest, ANewUserWalksTheWholeApplicationWithTheKeyboard) {
    QTemporaryDir settingsDir;
    auto settings = std::make_shared<QSettings>(settingsDir.filePath("morvo.ini"), QSettings::IniFormat);
    view.reset();
    state.reset();
    const auto home = fixture.home.path();
    writeFile(home / "Files" / "Old" / "huge.iso", 200000);
    AppServices services = fixture.services();
    services.applicationRoots = std::vector<Url>{Url::file((home / "Applications").string(), true)};
    services.trashMover = std::make_shared<FolderTrashMover>(home.parent_path() / (home.filename().string() + "-trash"));
    MorvoApp app({{"morvo"}, services, settings});
    AppState& s = app.state();
    app.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app.mainWindow()));
    ASSERT_TRUE(waitFor([&] { return s.hasScannedFolder() && !s.isScanning(); })) << "the start-up scan of the home folder";
    ASSERT_TRUE(waitFor([&] { return !s.inventory().isLoading(); }));
    EXPECT_EQ(QApplication::focusWidget(), app.contentView()) << "no control shows a ring before the first key";
    std::string trail;
    // Keys go where the platform sends them: to an open menu, else to the focus.
    auto key = [](int k, Qt::KeyboardModifiers m = {}) {
        QWidget* focus = QApplication::activePopupWidget();
        if (!focus) focus = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, static_cast<Qt::Key>(k), m);
    };
    const QPoint blank = topBarBlank(app.contentView());
    auto activate = [&] {
        app.mainWindow()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(app.mainWindow()));
    };

    // 0. The menus: Alt and the mnemonic open one (the titles show no "&"), F10 the first.
    QMenuBar* bar = app.mainWindow()->menuBar();
    std::vector<std::string> titles;
    for (QAction* menu : bar->actions()) titles.push_back(shown(menu->text()));
    EXPECT_EQ(titles, (std::vector<std::string>{"Morvo", "File", "View"}));
    auto openMenu = [] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu ? shown(menu->title()) : std::string("none");
    };
    // Escape closes the menu; on X11 the menu bar keeps the keys until a second Escape.
    auto leaveMenus = [&] {
        for (int i = 0; i < 3 && (QApplication::activePopupWidget() || qobject_cast<QMenuBar*>(QApplication::focusWidget())); ++i)
            key(Qt::Key_Escape);
        EXPECT_EQ(openMenu(), "none");
        activate();
        EXPECT_EQ(QApplication::focusWidget(), app.contentView()) << "the focus is back where it was";
    };
    key(Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(openMenu(), "File") << "Alt+F";
    leaveMenus();
    key(Qt::Key_F10);
    EXPECT_EQ(openMenu(), "Morvo") << "F10";
    leaveMenus();

    // 1. Scan a folder: Ctrl+O, the panel answers with the folder the user picked.
    key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(fixture.panel->shown.size(), 1u);
    fixture.panel->finish(Url::file((home / "Files").string(), true));
    ASSERT_TRUE(waitFor([&] { return s.snapshot()->rootID() == (home / "Files").string() && !s.isScanning(); }));
    ASSERT_TRUE(settle(s));
    s.cacheDiscovery().load();
    ASSERT_TRUE(waitFor([&] { return s.cacheDiscovery().hasLoaded() && !s.cacheDiscovery().isLoading(); }));
    activate();

    // 2. Every section, opened from its sidebar row with Space: one full Tab cycle from the row
    //    reads sidebar, top bar, the section top to bottom, inspector, footer, and reaches every
    //    control once (the storage map once per tile).
    // The scan selected the root's first child, which the file system's order picks; the
    // inspector shows the same one on every run.
    s.setSelectedID((home / "Files" / "file1.bin").string());
    const std::vector<std::string> top = {"Overview", "Large files", "Cleanup", "Caches & logs", "Applications",
                                          "Leftovers", "Applications", "Developer", "Documents", "Media", "Archives",
                                          "Other", "Appearance", "About Morvo", "Contact me"};
    const std::vector<std::string> inspector = {"Add to cleanup", "Show folder on map", "Reveal in Finder", "Copy path",
                                                "footer: scan line"};
    auto include = [](std::initializer_list<const char*> names) {
        std::vector<std::string> stops;
        for (const char* name : names) {
            stops.push_back(std::string("Include ") + name + ", ~/Library/Caches/" + name);
            stops.push_back(std::string("Reveal ") + name + " in Finder");
        }
        return stops;
    };
    auto join = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const std::map<AppSection, std::vector<std::string>> readingOrder = {
        {AppSection::overview,
         join({top,
               {"Refresh this view", "Scan folder", "Files", "map", "View all files", "huge.iso, 200 KB",
                "file11.bin, 12 KB", "file10.bin, 11 KB"},
               inspector})},
        {AppSection::largeFiles,
         join({top, {"Refresh this view", "Scan folder", "Search files", "Size", "Sort files", "QListView"}, inspector})},
        {AppSection::cleanup, join({top, {"Scan folder", "Find large files", "Review applications"}})},
        {AppSection::caches,
         join({top, {"Refresh this view", "Scan folder", "Scan caches", "Search cache locations", "All", "App caches", "Logs", "Developer"},
               include({"alpha", "beta", "delta", "gamma", "com.gone.One", "com.gone.Three", "com.gone.Two",
                        "com.example.Able", "com.example.Baker", "com.example.Charlie"})})},
        {AppSection::applications,
         join({top,
               {"Refresh this view", "Scan folder", "Scan an additional applications folder", "Scan again",
                "Search applications", "Able, ~/Applications/Able.app", "Baker, ~/Applications/Baker.app",
                "Charlie, ~/Applications/Charlie.app", "Include Able application bundle",
                "Include Caches, ~/Library/Caches/com.example.Able",
                "Include Application Support, ~/Library/Application Support/com.example.Able",
                "Add to cleanup queue"}})},
        {AppSection::leftovers,
         join({top,
               {"Refresh this view", "Scan folder", "Scan an additional applications folder", "Scan again"},
               [] {
                   std::vector<std::string> stops;
                   for (const char* id : {"com.gone.One", "com.gone.Three", "com.gone.Two"}) {
                       stops.push_back(std::string("Include Caches, ~/Library/Caches/") + id);
                       stops.push_back(std::string("Include Application Support, ~/Library/Application Support/") + id);
                   }
                   return stops;
               }()})},
    };
    for (AppSection section : allAppSections) {
        const std::string title(rawValue(section));
        SCOPED_TRACE(title);
        ASSERT_TRUE(tabTo([&](QWidget* w) { return qobject_cast<SidebarRow*>(w) && static_cast<SidebarRow*>(w)->kind() == SidebarRow::Kind::section && w->accessibleName().toStdString() == title; }, trail, blank)) << trail;
        QWidget* row = QApplication::focusWidget();
        key(Qt::Key_Space);
        ASSERT_EQ(s.section(), section);
        ASSERT_TRUE(waitFor([&] { return !s.isSearching() && !s.inventory().isLoading() && !s.cacheDiscovery().isLoading(); }));
        activate();
        ASSERT_EQ(QApplication::focusWidget(), row) << "Space leaves the focus on the row";
        std::vector<QWidget*> cycle;
        std::vector<std::string> names;
        for (int i = 0; i < 200; ++i) {
            key(Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            EXPECT_TRUE(showsRing(blank)) << stopName(focus, home.string());
            cycle.push_back(focus);
            // The storage map is one stop per tile: one name for them all.
            if (names.empty() || names.back() != "map" || !qobject_cast<StorageMapView*>(focus))
                names.push_back(stopName(focus, home.string()));
            if (focus == row) break;
        }
        ASSERT_EQ(cycle.back(), row) << "Tab comes back round to the row";
        // From the top of the window: the cycle turned to start at the first sidebar row.
        std::rotate(names.begin(), std::find(names.begin(), names.end(), "Overview"), names.end());
        EXPECT_EQ(names, readingOrder.at(section));
        std::vector<QWidget*> distinct;
        for (QWidget* w : cycle)
            if (distinct.empty() || distinct.back() != w || !qobject_cast<StorageMapView*>(w)) distinct.push_back(w);
        const std::set<QWidget*> reached(distinct.begin(), distinct.end());
        EXPECT_EQ(reached.size(), distinct.size()) << "each control once";
        EXPECT_EQ(reached, controlsOf(app.contentView())) << "every control";
    }

    // 3. Explore: back to the Overview; Tab to the storage map, arrows to the folder "Old", Space
    //    selects it.
    ASSERT_TRUE(tabTo([](QWidget* w) { return qobject_cast<SidebarRow*>(w) && w->accessibleName() == "Overview"; }, trail, blank)) << trail;
    key(Qt::Key_Space);
    ASSERT_EQ(s.section(), AppSection::overview);
    ASSERT_TRUE(tabTo([](QWidget* w) { return qobject_cast<StorageMapView*>(w) != nullptr; }, trail, blank)) << trail;
    auto* map = qobject_cast<StorageMapView*>(QApplication::focusWidget());
    const std::string old = (home / "Files" / "Old").string();
    key(Qt::Key_End);
    for (int i = 0; i < 40 && map->focusedTileIndex() != map->tileIndex(old); ++i) key(Qt::Key_Left);
    ASSERT_EQ(map->focusedTileIndex(), map->tileIndex(old));
    EXPECT_TRUE(showsRing(blank)) << "the arrows' tile";
    key(Qt::Key_Space);
    EXPECT_EQ(s.selectedID(), old);
    // The inspector's "Explore folder" opens it on the map.
    ASSERT_TRUE(tabTo([](QWidget* w) { return labelled(w, "Explore folder"); }, trail, blank)) << trail;
    key(Qt::Key_Space);
    EXPECT_EQ(s.mapRootID(), old);

    // 4. Queue: on to the map again, the file tile, Space; Tab to "Add to cleanup", Space.
    ASSERT_TRUE(tabTo([](QWidget* w) { return qobject_cast<StorageMapView*>(w) != nullptr; }, trail, blank)) << trail;
    map = qobject_cast<StorageMapView*>(QApplication::focusWidget());
    key(Qt::Key_Home);
    key(Qt::Key_Space);
    const std::string iso = old + "/huge.iso";
    EXPECT_EQ(s.selectedID(), iso);
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "add-to-cleanup"; }, trail, blank)) << trail;
    key(Qt::Key_Space);
    ASSERT_TRUE(s.cleanup().contains(Url::file(iso)));

    // 5. Review: the File menu from the keyboard (Alt+F, then Q) opens the queue and leaves the
    //    focus on it; Tab to "Review for Trash", Space.
    key(Qt::Key_F, Qt::AltModifier);
    ASSERT_EQ(openMenu(), "File");
    key(Qt::Key_Q);
    ASSERT_EQ(s.section(), AppSection::cleanup);
    activate();
    EXPECT_EQ(QApplication::focusWidget(), app.contentView()->workspaceHost()->currentWorkspace());
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "cleanup-prepare-review"; }, trail, blank)) << trail;
    key(Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return app.contentView()->presentedReviewSheet() && !s.cleanup().isPreparing(); }));
    QDialog* sheet = app.contentView()->presentedReviewSheet();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    ASSERT_EQ(s.cleanup().selectedRows().size(), 1u) << "the item is ticked";

    // 6. Move: Tab to the move button, Space opens the confirmation; Tab to the confirm button, Space.
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "cleanup-open-confirmation"; }, trail, QPoint(4, 4))) << trail;
    key(Qt::Key_Space);
    QMessageBox* confirmation = nullptr;
    ASSERT_TRUE(waitFor([&] { return (confirmation = sheet->findChild<QMessageBox*>()) && confirmation->isVisible(); }));
    // The X11 platform activates a modal window when it is shown; the offscreen one does not.
    confirmation->activateWindow();
    ASSERT_TRUE(waitFor([&] { return QApplication::activeWindow() == confirmation; }));
    ASSERT_TRUE(tabTo([](QWidget* w) { return w->objectName() == "cleanup-confirm-trash"; }, trail, QPoint(4, 4))) << trail;
    key(Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return !s.cleanup().isTrashing() && !s.cleanup().results().empty(); }));
    EXPECT_EQ(s.cleanup().results()[0].status, CleanupOutcomeStatus::moved);
    EXPECT_FALSE(fs::exists(iso));

    // 7. Rescan: the move already rescanned the folder; Ctrl+R scans it again from the keyboard.
    ASSERT_TRUE(waitFor([&] { return app.contentView()->presentedReviewSheet() == nullptr && !s.isScanning(); }));
    activate();
    ASSERT_TRUE(tabTo([](QWidget* w) { return qobject_cast<SidebarRow*>(w) && w->accessibleName() == "Overview"; }, trail, blank))
        << trail;
    key(Qt::Key_Space);
    ASSERT_EQ(s.section(), AppSection::overview);
    key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(s.isScanning());
    ASSERT_TRUE(settle(s));
    EXPECT_FALSE(s.snapshot()->indexOf(iso).has_value());
}

} // namespace
