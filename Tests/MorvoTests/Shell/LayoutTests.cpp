// Layout and truncation at real sizes: cards as tall as what they draw, texts that are not cut,
// the current folder's crumb kept whole, a list that starts at its top after a search, and a
// window whose content keeps its 1100×740 minimum with every section still usable there.
#include "Support/WindowFixture.h"

#include "Morvo/Cleanup/CacheEntryRow.h"
#include "Morvo/Cleanup/CacheWorkspaceView.h"
#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Shell/ContentView.h"
#include "Morvo/Shell/InspectorView.h"
#include "Morvo/Storage/OverviewView.h"
#include "Morvo/Shell/ScanDetailsView.h"
#include "Morvo/Shell/SidebarView.h"
#include "Morvo/Shell/WorkspaceHost.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QMessageBox>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

using namespace morvo;
using namespace morvo::shelltest;

namespace {

// `child`'s rectangle in `ancestor`'s coordinates.
QRect rectIn(const QWidget* child, const QWidget* ancestor) {
    return QRect(child->mapTo(ancestor, QPoint(0, 0)), child->size());
}

// Where what `child` draws ends in `ancestor`: a text ends after its wrapped lines, whatever
// height the layout gave it.
int drawnBottom(const QWidget* child, const QWidget* ancestor) {
    const int lines = child->heightForWidth(child->width());
    return rectIn(child, ancestor).top() + (lines > 0 ? std::min(lines, child->height()) : child->height());
}

// The lowest edge of what the visible widgets inside `card` draw.
int contentBottom(const QWidget* card) {
    int bottom = 0;
    for (const QWidget* child : card->findChildren<QWidget*>())
        if (child->isVisibleTo(card)) bottom = std::max(bottom, drawnBottom(child, card));
    return bottom;
}

template <class T>
T* shownWithText(QWidget* root, const QString& text) {
    for (auto* w : root->findChildren<T*>())
        if (w->text() == text && w->isVisibleTo(root)) return w;
    return nullptr;
}

// Cards of the cleanup flow end 15 points under their last line, whatever wraps, and a review
// row's lock and warning lines follow its detail line by the column's 8 points.
TEST(CardHeights, WrappedLinesReserveOnlyWhatTheyDraw) {
    loadFonts();
    QApplication::setFont(systemFont(13));
    const std::string longPath = "/home/u/Library/Caches/a folder with a long name/and another one below it/"
                                 "and a third so that the path wraps at narrow widths/file.bin";
    const std::string reason = "App cache that the app rebuilds when needed; it is measured again before anything "
                               "moves, and nothing moves until you confirm.";
    CleanupPreviewRow preview;
    preview.id = longPath;
    preview.url = Url::file(longPath);
    preview.title = "file.bin";
    preview.logicalSize = 2048;
    preview.fileCount = 1;
    preview.reason = reason;
    preview.blockedReason = "Morvo can't move items inside the system's own folders.";
    preview.warnings = {"Moving to Trash does not immediately recover disk space."};

    for (int width : {460, 700, 1000}) {
        QWidget host;
        auto* column = new QVBoxLayout(&host);
        column->setContentsMargins(0, 0, 0, 0);
        auto* queueRow = new CleanupQueueRow({Url::file(longPath), "file.bin", reason, "Caches", "doc.text", 1000, {}},
                                             false, {}, {});
        auto* reviewRow = new CleanupPreviewItemRow(preview, true, false, {});
        column->addWidget(queueRow);
        column->addWidget(reviewRow);
        column->addStretch(1);
        host.resize(width, 1200);
        host.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(queueRow->height() - contentBottom(queueRow), 15) << "queue card at " << width;
        EXPECT_EQ(reviewRow->height() - contentBottom(reviewRow), 15) << "review card at " << width;
        auto* reasonLabel = shownWithText<QLabel>(reviewRow, QString::fromStdString(reason));
        ASSERT_NE(reasonLabel, nullptr);
        ASSERT_NE(reviewRow->blockedLine(), nullptr);
        EXPECT_EQ(rectIn(reviewRow->blockedLine(), reviewRow).top() - drawnBottom(reasonLabel, reviewRow), 8)
            << "gap before the lock line at " << width;
    }
}

// The scan notes' list scrolls within 220 points, and the panel around it adds its 14-point
// padding on top of that; a short list takes only what it needs.
TEST(ScanNotes, ListScrollsWithin220AndThePaddingComesOnTop) {
    loadFonts();
    QApplication::setFont(systemFont(13));
    Fixture fixture;
    AppState state(fixture.services());
    for (int count : {1, 250}) {
        std::vector<ScanIssue> issues;
        for (int i = 0; i < count; ++i)
            issues.push_back(makeScanIssue(fixture.home / ("locked " + std::to_string(i)), "Permission denied"));
        ASSERT_TRUE(publish(state, fixture, makeSnapshot(fixture.home.string(), true, issues)));
        // Held as the sheet holds it: at the size it asks for.
        QWidget sheet;
        auto* holder = new QVBoxLayout(&sheet);
        holder->setSizeConstraint(QLayout::SetFixedSize);
        auto* view = new ScanDetailsView(state, [] {});
        holder->addWidget(view);
        sheet.show();
        QCoreApplication::processEvents();
        QScrollArea* list = nullptr;
        for (auto* area : view->findChildren<QScrollArea*>())
            if (area->isVisibleTo(view)) list = area;
        ASSERT_NE(list, nullptr);
        QWidget* box = list->parentWidget();
        EXPECT_EQ(box->height(), list->height() + 28) << count;
        if (count == 250) {
            EXPECT_EQ(list->height(), 220);
            EXPECT_GT(list->verticalScrollBar()->maximum(), 0);
        } else {
            EXPECT_EQ(list->height(), list->widget()->sizeHint().height()) << "as tall as its one note";
            EXPECT_EQ(list->verticalScrollBar()->maximum(), 0);
        }
    }
}

class WindowLayout : public WindowFixture {
protected:
    QMainWindow* window() const { return app->mainWindow(); }
    CacheWorkspaceView* caches() const { return window()->findChild<CacheWorkspaceView*>(); }
    // The caches list: the scroll area that holds the entry cards.
    QScrollArea* cacheList() const {
        for (auto* area : caches()->findChildren<QScrollArea*>())
            if (!area->widget()->findChildren<CacheEntryRow*>().isEmpty()) return area;
        return nullptr;
    }
};

// The window goes down to its content's 1100×740 under the menu bar, and there the status bar is
// whole, no section needs more height than it gets and the caches list shows its first card whole.
// There and at the default size every row of the sidebar is in view, none under the scan card, and
// the card and the two rows under it end inside the window.
TEST_F(WindowLayout, MinimumWindowFitsAndEverySectionStillFits) {
    ASSERT_NO_FATAL_FAILURE(start());
    window()->resize(900, 600);
    settle();
    ContentView* content = app->contentView();
    EXPECT_EQ(content->size(), QSize(1100, 740)) << "the content keeps its minimum";
    EXPECT_EQ(window()->height(), 740 + window()->menuBar()->height());
    for (AppSection section : allAppSections) {
        show(section);
        const QRect shown = rectIn(content, window());
        EXPECT_EQ(shown.bottom() + 1, window()->height()) << rawValue(section);
        EXPECT_LE(content->minimumSizeHint().height(), content->height()) << rawValue(section);
        QWidget* host = content->workspaceHost();
        EXPECT_LE(host->minimumSizeHint().height(), host->height()) << rawValue(section);
    }
    show(AppSection::caches);
    QScrollArea* list = cacheList();
    ASSERT_NE(list, nullptr);
    auto rows = list->widget()->findChildren<CacheEntryRow*>();
    ASSERT_FALSE(rows.isEmpty());
    int firstHeight = 0;
    for (auto* row : rows) firstHeight = std::max(firstHeight, row->y() == 0 ? row->height() : 0);
    EXPECT_GE(list->viewport()->height(), firstHeight);

    // The card and the two rows under it stay pinned inside the window at every height; at the
    // default size every row of the list is in view, none under the card. In the shortest window
    // the list's gaps are at half and the rows it cannot hold are reached by scrolling it.
    SidebarView* sidebar = content->sidebar();
    QWidget* about = nullptr;
    for (auto* button : sidebar->findChildren<KitButton*>())
        if (button->accessibleName() == QStringLiteral("About Morvo")) about = button;
    ASSERT_NE(about, nullptr);
    for (QSize size : {window()->minimumSize(), QSize(1340, 860)}) {
        window()->resize(size);
        show(AppSection::overview);
        EXPECT_EQ(rectIn(about, window()).bottom() + 1, window()->height()) << size.height();
        const QRect card = rectIn(sidebar->scanCard(), sidebar);
        for (FileCategory category : allFileCategories) {
            SidebarRow* row = sidebar->categoryRow(category);
            if (size.height() == 860) {
                EXPECT_LE(rectIn(row, sidebar).bottom(), card.top()) << displayName(category);
                EXPECT_EQ(row->visibleRegion().boundingRect().height(), row->height()) << displayName(category) << " in view";
            }
        }
    }
    window()->resize(window()->minimumSize());
    show(AppSection::overview);
    EXPECT_DOUBLE_EQ(sidebar->gapScale(), 0.5);
    auto* navigation = sidebar->findChild<QScrollArea*>();
    ASSERT_NE(navigation, nullptr);
    SidebarRow* last = sidebar->categoryRow(FileCategory::other);
    navigation->ensureWidgetVisible(last, 0, 0);
    settle();
    EXPECT_EQ(last->visibleRegion().boundingRect().height(), last->height()) << "the list scrolls to its last row";
}

// With long folder names the crumbs further up give way and the current folder keeps its name.
TEST_F(WindowLayout, CurrentFolderCrumbKeepsItsName) {
    ASSERT_NO_FATAL_FAILURE(start());
    for (QSize size : {QSize(1100, 740), QSize(1340, 860)}) {
        window()->resize(size);
        show(AppSection::overview);
        auto* overview = window()->findChild<OverviewView*>();
        ASSERT_NE(overview, nullptr);
        const auto crumbs = overview->breadcrumbButtons();
        ASSERT_EQ(crumbs.size(), 4u);
        KitButton* current = crumbs.back();
        EXPECT_EQ(current->labelText(), QStringLiteral("Final exports, renders and the colour-graded masters"));
        EXPECT_GE(current->width(), current->sizeHint().width()) << size.width();
        EXPECT_LT(crumbs.front()->width(), crumbs.front()->sizeHint().width()) << "an ancestor gives way first";
    }
}

// "No matches in this view." shows its whole message, and a search that narrows the list opens
// it at its first card.
TEST_F(WindowLayout, CacheSearchShowsTheWholeEmptyMessageAndStartsAtTheTop) {
    ASSERT_NO_FATAL_FAILURE(start());
    window()->resize(1100, 740);
    show(AppSection::caches);
    CleanupDiscoveryState& discovery = app->state().cacheDiscovery();
    QScrollArea* list = cacheList();
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->verticalScrollBar()->maximum(), 0) << "the fixture's list scrolls at this size";
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());

    discovery.setQuery("Library");
    settle();
    ASSERT_GT(list->verticalScrollBar()->maximum(), 0) << "the narrowed list still scrolls";
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);

    discovery.setQuery("no such cache anywhere");
    const QString message = QStringLiteral(
        "Try another search or category. Scan notes explain any locations that couldn\u2019t be read.");
    for (QSize size : {QSize(1100, 740), QSize(1340, 860), QSize(1920, 1080)}) {
        window()->resize(size);
        settle();
        auto* label = shownWithText<QLabel>(caches(), message);
        ASSERT_NE(label, nullptr);
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "both sentences at " << size.width();
        EXPECT_LE(label->width(), 410);
    }
}

// The area picker's unchosen segments all share one colour after a change; a card's value may
// shrink to three quarters of its size before it is cut; the scan-error alert is wide enough for
// its title and message.
TEST_F(WindowLayout, PickerCardValuesAndAlertFit) {
    ASSERT_NO_FATAL_FAILURE(start());
    window()->resize(1100, 740);
    show(AppSection::caches);
    CleanupDiscoveryState& discovery = app->state().cacheDiscovery();
    discovery.setArea(CleanupArea::logs);
    discovery.setArea(std::nullopt);
    settle();
    std::vector<std::optional<AdaptiveColor>> unchosen;
    for (int i = 1; i < 4; ++i) {
        auto* segment = qobject_cast<KitButton*>(caches()->areaSegment(i));
        ASSERT_NE(segment, nullptr);
        unchosen.push_back(segment->parts().front().color);
        const double text = QFontMetricsF(*segment->parts().front().font).horizontalAdvance(segment->labelText());
        EXPECT_GE(segment->width() - text, 20) << "label clear of the fill and the track";
    }
    EXPECT_EQ(unchosen[0], unchosen[1]);
    EXPECT_EQ(unchosen[1], unchosen[2]);

    auto* value = shownWithText<QLabel>(caches(), caches()->cardValue(0));
    ASSERT_NE(value, nullptr);
    EXPECT_LE(value->minimumSizeHint().width(), std::ceil(value->sizeHint().width() * 0.76));

    app->state().setErrorMessage(std::string("Choose a folder or volume on this Mac."));
    settle();
    QMessageBox* alert = app->contentView()->presentedAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_GE(alert->width(), 400);
    auto* title = shownWithText<QLabel>(alert, QStringLiteral("Couldn't finish the scan"));
    ASSERT_NE(title, nullptr);
    EXPECT_GE(title->width(), title->sizeHint().width());
    EXPECT_NE(alert->windowTitle(), title->text()) << "the title is shown once";
    // Its texts sit in even margins, clear of the edges.
    const QRect text = rectIn(title, alert);
    EXPECT_GE(text.left(), 20);
    EXPECT_EQ(alert->width() - 1 - text.right(), text.left()) << text.left();
    EXPECT_GE(text.top(), 20);
    app->state().setErrorMessage(std::nullopt);
}

// The inspector's details, with a long name and path, are whole at the default size; with room to
// spare they keep their full spacing (the add and explore buttons 9 points apart).
TEST_F(WindowLayout, InspectorFitsTheDefaultWindow) {
    ASSERT_NO_FATAL_FAILURE(start());
    for (QSize size : {QSize(1340, 860), QSize(1920, 1080)}) {
        window()->resize(size);
        show(AppSection::overview);
        auto* inspector = window()->findChild<InspectorView*>();
        ASSERT_NE(inspector, nullptr);
        auto* area = inspector->findChild<QScrollArea*>();
        ASSERT_NE(area, nullptr);
        EXPECT_LE(contentBottom(area->widget()), area->viewport()->height()) << size.width();
        EXPECT_EQ(area->verticalScrollBar()->value(), 0);
        if (size.width() == 1920) {
            QWidget* add = inspector->findChild<QWidget*>(QStringLiteral("add-to-cleanup"));
            ASSERT_NE(add, nullptr);
            QWidget* next = nullptr;
            for (auto* button : inspector->findChildren<KitButton*>())
                if (button->isVisibleTo(inspector) && rectIn(button, inspector).top() > rectIn(add, inspector).bottom() &&
                    (!next || button->y() < next->y()))
                    next = button;
            ASSERT_NE(next, nullptr);
            EXPECT_EQ(rectIn(next, inspector).top() - rectIn(add, inspector).bottom() - 1, 9);
        }
    }
}

// Every sheet draws its own edge, a 1-point Theme::border line like the alerts', so that it stands
// apart from the window behind it on a desktop that draws no frame, in both appearances.
TEST_F(WindowLayout, SheetsDrawTheirEdgeInBothAppearances) {
    ASSERT_NO_FATAL_FAILURE(start());
    AppState& state = app->state();
    ContentView* content = app->contentView();
    struct Case {
        const char* name;
        std::function<void()> present, close;
        std::function<QDialog*()> shown;
    } cases[] = {
        {"about", [&] { state.setSheet(AppSheet::about); }, [&] { state.setSheet(std::nullopt); },
         [&] { return content->presentedSheet(); }},
        {"scan details", [&] { state.setSheet(AppSheet::scanDetails); }, [&] { state.setSheet(std::nullopt); },
         [&] { return content->presentedSheet(); }},
        {"review", [&] { state.cleanup().prepareReview(); }, [&] { state.cleanup().invalidatePreview(); },
         [&] { return state.cleanup().isPreparing() ? nullptr : content->presentedReviewSheet(); }},
    };
    auto blend = [](QColor over, QColor under) {
        const double a = over.alphaF();
        return QColor::fromRgbF(over.redF() * a + under.redF() * (1 - a), over.greenF() * a + under.greenF() * (1 - a),
                                over.blueF() * a + under.blueF() * (1 - a));
    };
    auto near = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 && std::abs(a.blue() - b.blue()) <= 2;
    };
    for (AppAppearance appearance : allAppAppearances) {
        app->appearance().setAppearance(appearance);
        const QColor background = Theme::background.resolve(appearance);
        const QColor edge = blend(Theme::border.resolve(appearance), background);
        for (const Case& c : cases) {
            c.present();
            ASSERT_TRUE(waitFor([&] { return c.shown() && c.shown()->isVisible(); })) << c.name;
            settle();
            const QImage image = c.shown()->grab().toImage();
            const int w = image.width(), h = image.height();
            // Points 12 pixels from a corner: the sheets' padding is wider, so only the edge is there.
            const std::pair<QPoint, QPoint> sides[] = {{{0, 12}, {3, 12}},
                                                       {{w - 1, 12}, {w - 4, 12}},
                                                       {{12, 0}, {12, 3}},
                                                       {{12, h - 1}, {12, h - 4}}};
            for (const auto& [onEdge, inside] : sides) {
                const QColor drawn = image.pixelColor(onEdge);
                EXPECT_TRUE(near(drawn, edge)) << c.name << " in " << title(appearance) << ": edge at " << onEdge.x() << ","
                                               << onEdge.y() << " is " << drawn.name().toStdString() << ", not "
                                               << edge.name().toStdString();
                EXPECT_TRUE(near(image.pixelColor(inside), background)) << c.name << " inside at " << inside.x() << "," << inside.y();
            }
            c.close();
            ASSERT_TRUE(waitFor([&] { return !c.shown(); })) << c.name;
        }
    }
}

// The review's list shows its scroll indicator (a thumb is drawn) when its items overflow it.
TEST_F(WindowLayout, ReviewListShowsItsScrollIndicator) {
    ASSERT_NO_FATAL_FAILURE(start());
    show(AppSection::cleanup);
    CleanupState& cleanup = app->state().cleanup();
    cleanup.prepareReview();
    ASSERT_TRUE(waitFor([&] { return cleanup.review().has_value() && !cleanup.isPreparing(); }));
    settle();
    QDialog* sheet = app->contentView()->presentedReviewSheet();
    ASSERT_NE(sheet, nullptr);
    auto* list = sheet->findChild<QScrollArea*>();
    ASSERT_NE(list, nullptr);
    QScrollBar* bar = list->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0) << "the fixture's three items overflow the list";
    ASSERT_TRUE(bar->isVisible());
    const QImage drawn = bar->grab().toImage();
    bool thumb = false;
    for (int y = 0; y < drawn.height() && !thumb; ++y)
        for (int x = 0; x < drawn.width() && !thumb; ++x) thumb = qAlpha(drawn.pixel(x, y)) > 0;
    EXPECT_TRUE(thumb);
    cleanup.invalidatePreview();
}

} // namespace
