#include "Morvo/Shell/AppearanceSettingsView.h"

#include "Morvo/Platform/AppearanceStore.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Platform/Fonts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QVBoxLayout>

namespace morvo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QColor fixed(std::uint32_t rgb, double opacity = 1.0) {
    QColor c(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF));
    c.setAlphaF(static_cast<float>(opacity));
    return c;
}

constexpr double kPaletteHeight = 102;
constexpr double kCardPadding = 13;

// A card reads as a button whose value says whether it is the chosen appearance.
class AppearanceCardAccessible : public QAccessibleWidget {
public:
    explicit AppearanceCardAccessible(AppearanceCard* card) : QAccessibleWidget(card, QAccessible::Button) {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }
    AppearanceCard* card() const { return static_cast<AppearanceCard*>(widget()); }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return AppearanceCard::accessibleValue(card()->isChecked());
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.selected = card()->isChecked();
        return s;
    }
    QStringList actionNames() const override { return QStringList(pressAction()) + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override {
        if (name == pressAction()) card()->click();
        else QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* appearanceCardAccessibleFactory(const QString&, QObject* object) {
    if (auto* card = qobject_cast<AppearanceCard*>(object)) return new AppearanceCardAccessible(card);
    return nullptr;
}

} // namespace

QString AppearanceCard::accessibleValue(bool selected) {
    return selected ? QStringLiteral("Selected") : QStringLiteral("Not selected");
}

AppearanceCard::AppearanceCard(AppAppearance appearance, QWidget* parent)
    : QAbstractButton(parent), appearance_(appearance) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(appearanceCardAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setCheckable(true);
    setAutoExclusive(false);
    FocusRing::setShape(this, this, 14);
    setObjectName(QStringLiteral("appearance-") + qs(rawValue(appearance)));
    setAccessibleName(QStringLiteral("Use ") + qs(title(appearance)) + QStringLiteral(" appearance"));
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(static_cast<int>(kCardPadding * 2 + kPaletteHeight + 14 + 18));
    connect(this, &QAbstractButton::toggled, this, [this] {
        if (!QAccessible::isActive()) return;
        QAccessible::State changed;
        changed.selected = true;
        QAccessibleStateChangeEvent stateEvent(this, changed);
        QAccessible::updateAccessibility(&stateEvent);
        QAccessibleValueChangeEvent valueEvent(this, accessibleValue(isChecked()));
        QAccessible::updateAccessibility(&valueEvent);
    });
}

QSize AppearanceCard::sizeHint() const { return {214, height()}; }

void AppearanceCard::paintPalette(QPainter& p, const QRectF& rect) const {
    const bool isDark = appearance_ == AppAppearance::dark;
    const std::uint32_t accent = isDark ? 0xB4A2FF : 0x6B4BCE;
    const std::uint32_t sidebar = isDark ? 0x15161E : 0xEEF0F6;
    const std::uint32_t background = isDark ? 0x101117 : 0xF5F6FA;
    const std::uint32_t mint = isDark ? 0x83D7BD : 0x227461;

    p.save();
    const QPainterPath clip = roundedRect(rect, 8);
    p.setClipPath(clip);
    p.fillRect(rect, fixed(background));
    // Sidebar column: 54 wide, padded 11.
    const QRectF side(rect.left(), rect.top(), 54, rect.height());
    p.fillRect(side, fixed(sidebar));
    const QRectF sideContent = side.adjusted(11, 11, -11, -11);
    drawSymbol(p, QRectF(sideContent.left(), sideContent.top(), 18, 18), "sparkle", 16, fixed(accent));
    double y = sideContent.top() + 18 + 9;
    p.fillPath(roundedRect(QRectF(sideContent.left(), y, sideContent.width(), 6), 3), fixed(accent, 0.3));
    y += 6 + 9;
    p.fillPath(roundedRect(QRectF(sideContent.left(), y, sideContent.width(), 6), 3), fixed(accent, 0.15));
    // Content column, padded 11: a title bar, two tiles, a footer bar.
    const QRectF content = QRectF(side.right(), rect.top(), rect.right() - side.right(), rect.height()).adjusted(11, 11, -11, -11);
    p.fillPath(roundedRect(QRectF(content.left(), content.top(), 45, 6), 3), fixed(accent, 0.65));
    const double tilesTop = content.top() + 6 + 9;
    const double tilesBottom = content.bottom() - 7 - 9;
    const double tileWidth = (content.width() - 5) / 2;
    p.fillPath(roundedRect(QRectF(content.left(), tilesTop, tileWidth, tilesBottom - tilesTop), 5),
               fixed(accent, isDark ? 0.23 : 0.13));
    p.fillPath(roundedRect(QRectF(content.left() + tileWidth + 5, tilesTop, tileWidth, tilesBottom - tilesTop), 5),
               fixed(mint, 0.18));
    p.fillPath(roundedRect(QRectF(content.left(), content.bottom() - 7, content.width(), 7), 3), fixed(accent, 0.1));
    p.restore();
    p.setPen(QPen(Theme::border(), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(roundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 8));
}

void AppearanceCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool selected = isChecked();
    const QRectF card = QRectF(rect()).adjusted(1, 1, -1, -1);
    const QPainterPath shape = roundedRect(card, 14);
    p.fillPath(shape, Theme::panel());
    if (selected) p.setPen(QPen(Theme::accent(), 2));
    else p.setPen(QPen(Theme::border(), 1));
    p.drawPath(shape);

    const QRectF inner = card.adjusted(kCardPadding - 1, kCardPadding - 1, -(kCardPadding - 1), -(kCardPadding - 1));
    paintPalette(p, QRectF(inner.left(), inner.top(), inner.width(), kPaletteHeight));

    const QRectF titleRow(inner.left(), inner.top() + kPaletteHeight + 14, inner.width(), 18);
    drawSymbol(p, QRectF(titleRow.left(), titleRow.top(), 16, titleRow.height()),
               appearance_ == AppAppearance::dark ? "moon.stars" : "sun.max", 13, Theme::text());
    p.setFont(systemFont(13, QFont::DemiBold));
    p.setPen(Theme::text());
    p.drawText(QRectF(titleRow.left() + 16 + 8, titleRow.top(), titleRow.width() - 48, titleRow.height()),
               Qt::AlignVCenter | Qt::AlignLeft, qs(title(appearance_)));
    drawSymbol(p, QRectF(titleRow.right() - 16, titleRow.top(), 16, titleRow.height()),
               selected ? "checkmark.circle.fill" : "circle", 13, selected ? Theme::accent() : Theme::muted());
}

AppearanceSettingsView::AppearanceSettingsView(AppearanceStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    setFixedWidth(500);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(24);
    stack->setSizeConstraint(QLayout::SetFixedSize);

    auto* header = new QHBoxLayout();
    header->setSpacing(13);
    header->addWidget(new MorvoMark(42, this));
    auto* titles = new QVBoxLayout();
    titles->setSpacing(4);
    titles->addWidget(new TextLabel(QStringLiteral("Appearance"), systemFont(23, QFont::DemiBold, FontDesign::rounded), Theme::text, this));
    titles->addWidget(new TextLabel(QStringLiteral("A different light. The same clarity."), systemFont(12), Theme::secondary, this));
    header->addLayout(titles);
    header->addStretch();
    stack->addLayout(header);

    auto* cards = new QHBoxLayout();
    cards->setSpacing(16);
    for (AppAppearance a : allAppAppearances) {
        auto* card = new AppearanceCard(a, this);
        card->setFixedWidth((500 - 56 - 16) / 2);
        connect(card, &QAbstractButton::clicked, this, [this, a] {
            store_.setAppearance(a);
            refresh(); // a click on the chosen card must not untick it
        });
        cards_[a == AppAppearance::dark ? 0 : 1] = card;
        cards->addWidget(card);
    }
    stack->addLayout(cards);

    auto* note = new QHBoxLayout();
    note->setSpacing(9);
    note->addWidget(new SymbolView(QStringLiteral("checkmark.circle"), 11, Theme::mint, this), 0, Qt::AlignTop);
    auto* noteText = new TextLabel(
        QStringLiteral("Dark is the default. Your choice is saved on this Mac and applies to every view."), systemFont(11),
        Theme::secondary, this);
    noteText->setWordWrap(true);
    noteText->setLineSpacing(3);
    noteText->setFixedWidth(500 - 56 - 9 - 14);
    note->addWidget(noteText, 1);
    stack->addLayout(note);

    connect(&store_, &AppearanceStore::appearanceChanged, this, &AppearanceSettingsView::refresh);
    refresh();
}

AppearanceCard* AppearanceSettingsView::card(AppAppearance appearance) const {
    return cards_[appearance == AppAppearance::dark ? 0 : 1];
}

void AppearanceSettingsView::refresh() {
    for (AppearanceCard* card : cards_) card->setChecked(card->appearance() == store_.appearance());
}

void AppearanceSettingsView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::background());
}

} // namespace morvo
