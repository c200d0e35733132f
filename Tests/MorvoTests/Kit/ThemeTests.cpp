// Theme colours, category tints, relativePath and the kit's small views.
#include "Support/ShellTestSupport.h"

#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/Theme.h"
#include "Morvo/Kit/ViewKit.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace morvo;

namespace {

TEST(Theme, BestMatchPicksDarkOnlyForDark) {
    struct Case {
        AdaptiveColor color;
        std::optional<AppAppearance> match;
        QColor expected;
    } cases[] = {
        {Theme::background, AppAppearance::dark, QColor(0x10, 0x11, 0x17)},
        {Theme::background, AppAppearance::light, QColor(0xF5, 0xF6, 0xFA)},
        {Theme::background, std::nullopt, QColor(0xF5, 0xF6, 0xFA)},
        {Theme::border, AppAppearance::dark, QColor::fromRgbF(1, 1, 1, 0.075f)},
        {Theme::border, AppAppearance::light, QColor::fromRgbF(0x33 / 255.f, 0x3D / 255.f, 0x5A / 255.f, 0.14f)},
        {Theme::quietButton, AppAppearance::dark, QColor::fromRgbF(1, 1, 1, 0.045f)},
        {Theme::quietButton, AppAppearance::light, QColor::fromRgbF(0x33 / 255.f, 0x3D / 255.f, 0x5A / 255.f, 0.055f)},
        {Theme::quietButtonPressed, AppAppearance::dark, QColor::fromRgbF(1, 1, 1, 0.09f)},
        {Theme::quietButtonPressed, AppAppearance::light, QColor::fromRgbF(0x33 / 255.f, 0x3D / 255.f, 0x5A / 255.f, 0.1f)},
        {Theme::onAccent, AppAppearance::dark, QColor(0x1C, 0x16, 0x37)},
    };
    for (const auto& c : cases) {
        const QColor got = c.color.resolve(c.match);
        EXPECT_EQ(got.rgb(), c.expected.rgb());
        EXPECT_NEAR(got.alphaF(), c.expected.alphaF(), 0.002);
    }
}

TEST(Theme, TintsAndLiveSwitching) {
    EXPECT_EQ(tint(FileCategory::documents), Theme::blue);
    EXPECT_EQ(tint(FileCategory::archives), Theme::warning);
    EXPECT_EQ(tint(FileCategory::applications).resolve(AppAppearance::dark), QColor(0xDA, 0x99, 0xB4));
    EXPECT_EQ(tint(FileCategory::media).resolve(AppAppearance::light), QColor(0x28, 0x79, 0x71));

    Theme& theme = Theme::current();
    theme.setAppearance(AppAppearance::dark);
    QSignalSpy spy(&theme, &Theme::changed);
    EXPECT_EQ(Theme::accent(), QColor(0xB4, 0xA2, 0xFF));
    theme.setAppearance(AppAppearance::light);
    EXPECT_EQ(Theme::accent(), QColor(0x6B, 0x4B, 0xCE)) << "resolved at use, not cached";
    EXPECT_NEAR(Theme::accent(0.07).alphaF(), 0.07, 0.002);
    theme.setAppearance(AppAppearance::light);
    EXPECT_EQ(spy.count(), 1) << "no signal without a change";
    TextLabel label("x", systemFont(12), Theme::secondary);
    theme.setAppearance(AppAppearance::dark);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), Theme::secondary.resolve(AppAppearance::dark));
}

TEST(RelativePath, StripsTheRootAndItsSeparatorOnly) {
    auto node = [](const std::string& path) {
        DiskNode n;
        n.url = Url::file(path);
        return n;
    };
    struct Case {
        std::string root, path, expected;
    } cases[] = {
        {"/Users/me", "/Users/me/Documents/a.txt", "Documents/a.txt"},
        {"/Users/me", "/Users/me", "/Users/me"},
        {"/Users/me", "/Users/meg/a.txt", "/Users/meg/a.txt"},
        {"/Users/me", "/opt/x", "/opt/x"},
        {"/", "/etc/hosts", "etc/hosts"},
        {"/", "/", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(relativePath(node(c.path), node(c.root)), c.expected) << c.path;
}

TEST(ViewKit, SmallViewsShowWhatTheyAreGiven) {
    SectionEyebrow eyebrow("Scan notes · straße");
    EXPECT_EQ(eyebrow.displayedText(), "SCAN NOTES · STRASSE");

    MorvoMark mark(34);
    EXPECT_NEAR(mark.cornerRadius(), 9.86, 1e-9);
    EXPECT_NEAR(mark.symbolSize(), 23.12, 1e-9);

    int runs = 0;
    ActionButton plain("Reveal in Finder", std::nullopt, [&] { ++runs; });
    EXPECT_EQ(plain.systemImage(), "arrow.up.forward.app");
    EXPECT_EQ(plain.toolTip(), "Reveal in Finder");
    EXPECT_EQ(plain.accessibleName(), "Reveal in Finder");
    plain.click();
    EXPECT_EQ(runs, 1);

    EXPECT_TRUE(symbolGlyph("tray").has_value());
    EXPECT_FALSE(symbolGlyph("no.such.symbol").has_value());
    EXPECT_EQ(resolvedSymbolGlyph("no.such.symbol"), fallbackSymbolGlyph());
}

// "app.fill" stands for an application: one filled tile, not a grid of dots (a launcher).
TEST(Symbols, AppFillIsOneFilledTile) {
    loadFonts();
    QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        drawSymbol(p, QRectF(0, 0, 48, 48), "app.fill", 48, Qt::black);
    }
    // Every pixel of the middle half is covered, and the tile spans most of the box.
    int covered = 0, total = 0, left = 48, right = -1;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            const bool ink = qAlpha(image.pixel(x, y)) > 200;
            if (x >= 12 && x < 36 && y >= 12 && y < 36) {
                ++total;
                covered += ink;
            }
            if (ink && y == 24) left = std::min(left, x), right = std::max(right, x);
        }
    EXPECT_EQ(covered, total);
    EXPECT_GE(right - left + 1, 32);
}

// A path breaks after a "/" or at a space; inside a name only when that name alone is wider than
// the line. The lines together are the path, and a copy gives the path exactly.
TEST(ViewKit, PathTextBreaksBetweenNamesAndCopiesThePathExactly) {
    loadFonts();
    const std::string deep = "/home/me/Fixture/Client projects and everything that came with them/Spring campaign "
                             "deliverables 2024/Final exports, renders and the colour-graded masters/"
                             "Holiday edit final (2) colour graded.mov";
    const std::string longName = "/Users/me/" + std::string(120, 'a') + "/file";
    struct Case {
        std::string path;
        std::vector<QString> whole; // names that fit a line and so must stay on one
    } cases[] = {
        {deep, {"Fixture", "everything", "graded.mov", "deliverables", "colour-graded"}},
        {"/home/me/Library/Caches/com.example.editor/Cache.db", {"Library", "com.example.editor", "Cache.db"}},
        {longName, {"file"}},
    };
    const QFontMetricsF metrics(monospacedFont(10));
    for (const Case& c : cases) {
        PathText text(Url::file(c.path));
        const QString path = QString::fromStdString(c.path);
        for (int width : {120, 181, 230, 466}) {
            const QStringList lines = text.lines(width);
            EXPECT_EQ(lines.join(QString()), path) << width << ": the lines are the path, nothing added or lost";
            int at = 0;
            for (int i = 0; i + 1 < lines.size(); ++i) {
                at += static_cast<int>(lines[i].size());
                const QChar before = path[at - 1];
                if (before == QLatin1Char('/') || before == QLatin1Char(' ')) continue;
                // Mid-name: only where the name (between "/" and spaces) is wider than the line.
                int from = at, to = at;
                while (from > 0 && path[from - 1] != QLatin1Char('/') && path[from - 1] != QLatin1Char(' ')) --from;
                while (to < path.size() && path[to] != QLatin1Char('/') && path[to] != QLatin1Char(' ')) ++to;
                EXPECT_GT(metrics.horizontalAdvance(path.mid(from, to - from)), width)
                    << "broken inside \"" << path.mid(from, to - from).toStdString() << "\" at " << width;
            }
            for (const QString& name : c.whole) {
                if (metrics.horizontalAdvance(name) > width) continue;
                EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(name); }))
                    << name.toStdString() << " split at " << width;
            }
        }
    }

    PathText text(Url::file(longName));
    EXPECT_EQ(text.accessibleName(), QString::fromStdString("Path: " + longName));
    EXPECT_GT(text.lineCount(200), 2) << "a name wider than the line still wraps";
    EXPECT_GT(text.heightForWidth(200), text.heightForWidth(2000));
    text.resize(200, text.heightForWidth(200));
    text.show();
    text.setFocus();
    text.selectAll();
    QTest::keyClick(&text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), longName);
}

// Heights are kept per width only for the text as it is: each change of what is laid out is
// measured anew.
TEST(ViewKit, SelectableTextMeasuresAgainAfterEveryChange) {
    loadFonts();
    SelectableText text(QStringLiteral("short"), systemFont(12), Theme::text);
    const int oneLine = text.heightForWidth(120);
    EXPECT_EQ(text.heightForWidth(120), oneLine);
    text.setText(QStringLiteral("a longer text that takes several lines at this width"));
    const int wrapped = text.heightForWidth(120);
    EXPECT_GT(wrapped, oneLine);
    text.setLineSpacing(6);
    EXPECT_GT(text.heightForWidth(120), wrapped);
    text.setMaximumLines(1);
    EXPECT_EQ(text.heightForWidth(120), oneLine);
    PathText path(Url::file("/a/b"));
    const int before = path.heightForWidth(60);
    path.setUrl(Url::file("/" + std::string(40, 'x') + "/" + std::string(40, 'y')));
    EXPECT_GT(path.heightForWidth(60), before);
}

// A list of texts keeps its Tab stop, so its keys scroll it, and the focus ring goes around it
// while it has the focus.
TEST(ViewKit, TextListShowsItsFocusRing) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* before = new QLineEdit;
    auto* list = new QScrollArea;
    list->setWidget(new QLabel(QStringLiteral("A note")));
    showFocusRing(list);
    layout->addWidget(before);
    layout->addWidget(list);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    before->setFocus();
    QCoreApplication::processEvents();
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(list->hasFocus());
    QCoreApplication::processEvents();
    const double out = FocusRing::gap + FocusRing::width;
    EXPECT_EQ(FocusRing::geometry(&window), list->geometry().adjusted(-out, -out, out, out));
    QTest::keyClick(list, Qt::Key_Backtab);
    QCoreApplication::processEvents();
    EXPECT_EQ(FocusRing::geometry(&window), before->geometry().adjusted(-out - 4, -out - 3, out + 4, out + 3))
        << "the ring follows the focus (a field's ring keeps clear of its text)";
}

} // namespace
