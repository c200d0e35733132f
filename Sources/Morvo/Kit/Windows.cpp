#include "Morvo/Kit/Windows.h"
#include "Morvo/Kit/Cards.h"

#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/KeyboardFocus.h"
#include "Morvo/Platform/Fonts.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QGridLayout>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTextLine>

#include <algorithm>
#include <cmath>
#include <utility>

namespace morvo {

ThemedBackground::ThemedBackground(AdaptiveColor color, double opacity, QWidget* parent)
    : QWidget(parent), color_(color), opacity_(opacity) {}

void ThemedBackground::setBackground(AdaptiveColor color, double opacity) {
    color_ = color;
    opacity_ = opacity;
    update();
}

void ThemedBackground::setCornerRadius(double radius) {
    radius_ = radius;
    update();
}

void ThemedBackground::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (radius_ <= 0) {
        p.fillRect(rect(), color_(opacity_));
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(roundedRect(QRectF(rect()), radius_), color_(opacity_));
}

// ---------------------------------------------------------------------------------------------

namespace {
QString css(const QColor& color) { return color.name(QColor::HexArgb); }
QString css(const AdaptiveColor& color, AppAppearance appearance, double opacity = 1.0) {
    QColor c = color.resolve(appearance);
    c.setAlphaF(static_cast<float>(c.alphaF() * opacity));
    return css(c);
}
constexpr const char* kButtonKind = "morvoButtonKind";
} // namespace

ThemedMessageBox::ThemedMessageBox(QWidget* parent) : QMessageBox(parent) {
    setIcon(QMessageBox::NoIcon);
    setWindowTitle(QStringLiteral("Morvo"));
    setTextFormat(Qt::PlainText);
    Theme::track(this, [this] { applyTheme(); });
}

void ThemedMessageBox::setButtonKind(QAbstractButton* button, ButtonKind kind) {
    button->setProperty(kButtonKind, kind == ButtonKind::destructive ? QStringLiteral("destructive")
                                     : kind == ButtonKind::primary  ? QStringLiteral("primary")
                                                                    : QStringLiteral("quiet"));
    button->style()->unpolish(button);
    button->style()->polish(button);
}

ThemedMessageBox::ButtonKind ThemedMessageBox::buttonKind(const QAbstractButton* button) {
    const QString kind = button->property(kButtonKind).toString();
    if (kind == QStringLiteral("destructive")) return ButtonKind::destructive;
    if (kind == QStringLiteral("primary")) return ButtonKind::primary;
    return ButtonKind::quiet;
}

void ThemedMessageBox::applyTheme() {
    const AppAppearance a = Theme::current().appearance();
    // No focus border of the style sheet's own: the kit's ring shows the focus (after a key).
    setStyleSheet(QStringLiteral(
        "QMessageBox { background-color: %1; border: 1px solid %5; }"
        "QMessageBox QLabel { color: %2; background: transparent; }"
        "QMessageBox QLabel#qt_msgbox_informativelabel { color: %3; }"
        "QMessageBox QPushButton { color: %2; background-color: %4; border: 1px solid %5; border-radius: 8px;"
        "  padding: 7px 14px; min-width: 56px; }"
        "QMessageBox QPushButton:pressed { background-color: %6; }"
        "QMessageBox QPushButton[morvoButtonKind=\"primary\"] { color: %7; background-color: %8; border: 1px solid %8; }"
        "QMessageBox QPushButton[morvoButtonKind=\"primary\"]:pressed { background-color: %9; }"
        "QMessageBox QPushButton[morvoButtonKind=\"destructive\"] { color: %7; background-color: %10; border: 1px solid %10; }"
        "QMessageBox QPushButton[morvoButtonKind=\"destructive\"]:pressed { background-color: %11; }")
                      .arg(css(Theme::background, a), css(Theme::text, a), css(Theme::secondary, a),
                           css(Theme::quietButton, a), css(Theme::border, a), css(Theme::quietButtonPressed, a),
                           css(Theme::onAccent, a), css(Theme::accent, a), css(Theme::accent, a, 0.75))
                      .arg(css(Theme::warning, a), css(Theme::warning, a, 0.75)));
    if (auto* title = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) title->setFont(systemFont(15, QFont::DemiBold));
    if (auto* message = findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        message->setFont(systemFont(12));
        message->setTextFormat(Qt::PlainText);
    }
    for (QAbstractButton* button : buttons()) {
        button->setFont(systemFont(12, QFont::Medium));
        FocusRing::setShape(button, button, 8);
    }
}

void ThemedMessageBox::showEvent(QShowEvent* event) {
    QMessageBox::showEvent(event);
    applyTheme();
    fitSize();
}

bool ThemedMessageBox::event(QEvent* event) {
    const bool result = QMessageBox::event(event);
    // QMessageBox sizes itself again on every layout request; the desktop size wins.
    if (event->type() == QEvent::LayoutRequest && isVisible()) fitSize();
    return result;
}

void ThemedMessageBox::fitSize() {
    if (fitting_) return;
    fitting_ = true;
    // QMessageBox sizes itself against the screen (a third of a small screen's width at most);
    // a desktop alert keeps one width and grows in height with its wrapped message instead.
    QLayout* grid = layout();
    if (!grid) {
        fitting_ = false;
        return;
    }
    // QMessageBox builds a new grid whenever its texts change, with the platform's narrow margins
    // and an indent where the icon would be; the alert keeps even margins instead.
    grid->setContentsMargins(24, 22, 24, 20);
    grid->setSpacing(10);
    if (auto* cells = qobject_cast<QGridLayout*>(grid)) {
        for (int i = 0; i < cells->count(); ++i) {
            QSpacerItem* spacer = cells->itemAt(i)->spacerItem();
            int row = 0, column = 0, rows = 0, columns = 0;
            cells->getItemPosition(i, &row, &column, &rows, &columns);
            if (spacer && column == 0 && spacer->sizePolicy().horizontalPolicy() == QSizePolicy::Fixed)
                spacer->changeSize(0, 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
        }
        cells->setColumnStretch(cells->columnCount() - 1, 1);  // the texts take the width, not the empty indent
        cells->setHorizontalSpacing(0);                         // nor a gap after it
        cells->invalidate();
    }
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->objectName() != QStringLiteral("qt_msgbox_label") &&
            label->objectName() != QStringLiteral("qt_msgbox_informativelabel"))
            continue;
        label->setWordWrap(true);
        QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        label->setSizePolicy(policy);
        label->setMinimumWidth(0);
    }
    grid->activate();
    const int width = std::max(preferredWidth, grid->totalMinimumSize().width());
    const int height = grid->hasHeightForWidth() ? grid->totalHeightForWidth(width) : grid->totalMinimumSize().height();
    setFixedSize(width, height);
    fitting_ = false;
}

namespace {
// The pickers' chevron in `color`, as a picture file for the style sheet (drawn once per colour,
// kept in a folder that lives as long as the application).
QString chevronFile(const QColor& color) {
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("chevron-%1.png").arg(color.name(QColor::HexArgb).mid(1)));
    if (!QFileInfo::exists(path)) {
        QPixmap pixmap(20, 12);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(color, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(5, 3.5), QPointF(10, 8.5), QPointF(15, 3.5)}));
        p.end();
        pixmap.save(path);
    }
    return path;
}
} // namespace

QString applicationStyleSheet(AppAppearance a) {
    return QStringLiteral(
               "QToolTip { color: %1; background-color: %2; border: 1px solid %3; border-radius: 6px; padding: 4px 7px; }"
               "QScrollBar:vertical { background: transparent; width: 10px; margin: 0; border: none; }"
               "QScrollBar:horizontal { background: transparent; height: 10px; margin: 0; border: none; }"
               "QScrollBar::handle:vertical { background: %4; border-radius: 3px; min-height: 28px; margin: 2px 2px 2px 2px; }"
               "QScrollBar::handle:horizontal { background: %4; border-radius: 3px; min-width: 28px; margin: 2px; }"
               "QScrollBar::handle:hover, QScrollBar::handle:pressed { background: %5; }"
               "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }"
               "QScrollBar::up-arrow, QScrollBar::down-arrow, QScrollBar::left-arrow, QScrollBar::right-arrow"
               " { width: 0; height: 0; background: none; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"
               "QComboBox { color: %1; background-color: %6; border: 1px solid %3; border-radius: 7px;"
               "  padding: 3px 8px 3px 10px; }"
               "QComboBox:hover { background-color: %7; }"
               "QComboBox:on { background-color: %7; }"
               "QComboBox::drop-down { subcontrol-origin: padding; subcontrol-position: center right; width: 20px;"
               "  border: none; background: transparent; }"
               "QComboBox::down-arrow { image: url(%9); width: 10px; height: 6px; }"
               "QComboBox QAbstractItemView { color: %1; background-color: %2; border: 1px solid %3; padding: 4px;"
               "  outline: 0; selection-background-color: %8; selection-color: %1; }")
        .arg(css(Theme::text, a), css(Theme::panel, a), css(Theme::border, a), css(Theme::secondary, a, 0.4),
             css(Theme::secondary, a, 0.65), css(Theme::quietButton, a), css(Theme::quietButtonPressed, a),
             css(Theme::accent, a, 0.18), chevronFile(Theme::secondary.resolve(a)));
}

// ---------------------------------------------------------------------------------------------

QLineEdit* makeSearchField(const QString& objectName, const QString& accessibleName, const QString& placeholder,
                           double pixelSize) {
    auto* field = new QLineEdit;
    field->setObjectName(objectName);
    field->setAccessibleName(accessibleName);
    field->setPlaceholderText(placeholder);
    field->setFrame(false);
    field->setFont(systemFont(pixelSize));
    Theme::track(field, [field] {
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        palette.setColor(QPalette::Text, Theme::text());
        palette.setColor(QPalette::PlaceholderText, Theme::muted());
        field->setPalette(palette);
    });
    return field;
}

void makeTransparent(QScrollArea* area) {
    // The controls inside take the focus; the area itself would be a Tab stop with no ring.
    area->setFocusPolicy(Qt::NoFocus);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setAutoFillBackground(false);
    area->viewport()->setAutoFillBackground(false);
    area->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
}

QWidget* transparentScrollContent(QScrollArea* scroll) {
    scroll->setFocusPolicy(Qt::NoFocus);  // as in makeTransparent
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget;
    scroll->setWidget(content);
    content->setAutoFillBackground(false);  // setWidget turns it on
    return content;
}

void showFocusRing(QAbstractScrollArea* area) {
    area->setFocusPolicy(Qt::StrongFocus);
    FocusRing::setShape(area, area, 8);
}

bool isUserInput(const QEvent& event) {
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

} // namespace morvo
