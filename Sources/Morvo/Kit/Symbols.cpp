#include "Morvo/Kit/Symbols.h"

#include "Morvo/Platform/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <array>
#include <utility>

namespace morvo {

namespace {

struct SymbolEntry {
    std::string_view name;
    char16_t glyph;
};

// Symbol name -> Material Icons code point. Sorted by name for binary search.
constexpr std::array kSymbols = std::to_array<SymbolEntry>({
    {"app.dashed", 0xe835},                     // check_box_outline_blank
    {"app.fill", 0xe5c3},                       // apps (drawn as an application tile, see below)
    {"archivebox.fill", 0xe149},                // archive
    {"arrow.clockwise", 0xe5d5},                // refresh
    {"arrow.right", 0xe5c8},                    // arrow_forward
    {"arrow.up", 0xe5d8},                       // arrow_upward
    {"arrow.up.forward.app", 0xe89e},           // open_in_new
    {"arrow.up.right", 0xf1e1},                 // north_east
    {"bolt", 0xea0b},                           // bolt
    {"chart.pie", 0xe6c4},                      // pie_chart
    {"checkmark", 0xe5ca},                      // check
    {"checkmark.circle", 0xe92d},               // check_circle_outline
    {"checkmark.circle.fill", 0xe86c},          // check_circle
    {"chevron.right", 0xe5cc},                  // chevron_right
    {"circle", 0xe836},                         // radio_button_unchecked
    {"curlybraces", 0xead3},                    // data_object
    {"cursorarrow.click", 0xe762},              // ads_click
    {"doc", 0xe873},                            // description
    {"doc.fill", 0xe873},                       // description
    {"doc.on.doc", 0xe14d},                     // content_copy
    {"doc.text", 0xef42},                       // article
    {"doc.text.magnifyingglass", 0xe880},       // find_in_page
    {"envelope", 0xe0e1},                       // mail_outline
    {"exclamationmark.circle", 0xe001},         // error_outline
    {"exclamationmark.shield", 0xf014},         // gpp_maybe
    {"externaldrive.badge.timemachine", 0xebe7},// manage_history
    {"folder", 0xe2c8},                         // folder_open
    {"folder.badge.plus", 0xe2cc},              // create_new_folder
    {"folder.fill", 0xe2c7},                    // folder
    {"gearshape", 0xe8b8},                      // settings
    {"hammer", 0xe869},                         // build
    {"info.circle", 0xe88f},                    // info_outline
    {"internaldrive", 0xe875},                  // dns: a drive, not the "storage" bars that read as a list or menu button
    {"lock", 0xe897},                           // lock
    {"lock.shield", 0xe8e8},                    // verified_user
    {"magnifyingglass", 0xe8b6},                // search
    {"moon.stars", 0xe51c},                     // dark_mode
    {"paintpalette", 0xe40a},                   // palette
    {"pause.circle", 0xe036},                   // pause_circle_outline
    {"photo", 0xe410},                          // photo
    {"photo.fill", 0xe410},                     // photo
    {"photo.on.rectangle.angled", 0xe413},      // photo_library
    {"plus", 0xe145},                           // add
    {"shippingbox", 0xe1a1},                    // inventory_2
    {"sidebar.right", 0xe949},                  // vertical_split: a panel drawn, not the sidebar toggle of a toolbar
    {"sparkle", 0xe65f},                        // auto_awesome (drawn as a four-point star, see below)
    {"sparkle.magnifyingglass", 0xf02f},        // manage_search
    {"sparkles", 0xe65f},                       // auto_awesome
    {"square.grid.2x2", 0xe9b0},                // grid_view
    {"square.grid.2x2.fill", 0xe9b0},           // grid_view
    {"square.on.square", 0xe3e0},               // filter_none
    {"square.stack.3d.up", 0xe53b},             // layers
    {"sun.max", 0xe518},                        // light_mode
    {"trash", 0xe92e},                          // delete_outline
    {"tray", 0xe156},                           // inbox
    {"tray.and.arrow.down", 0xe168},            // move_to_inbox
    {"xmark", 0xe5cd},                          // close
    {"xmark.circle.fill", 0xe5c9},              // cancel
});

constexpr char16_t kFallbackGlyph = 0xe8fd; // help_outline

constexpr bool sortedByName() {
    for (std::size_t i = 1; i < kSymbols.size(); ++i)
        if (!(kSymbols[i - 1].name < kSymbols[i].name)) return false;
    return true;
}
static_assert(sortedByName(), "symbol table must stay sorted by name");

// The mark's sparkle: a four-point star with concave sides, which the icon font lacks.
QPainterPath sparklePath(const QRectF& box) {
    const QPointF c = box.center();
    const double r = std::min(box.width(), box.height()) / 2.0;
    const double k = r * 0.16;
    QPainterPath path;
    path.moveTo(c.x(), c.y() - r);
    path.cubicTo(c.x() + k * 0.6, c.y() - k * 2.2, c.x() + k * 2.2, c.y() - k * 0.6, c.x() + r, c.y());
    path.cubicTo(c.x() + k * 2.2, c.y() + k * 0.6, c.x() + k * 0.6, c.y() + k * 2.2, c.x(), c.y() + r);
    path.cubicTo(c.x() - k * 0.6, c.y() + k * 2.2, c.x() - k * 2.2, c.y() + k * 0.6, c.x() - r, c.y());
    path.cubicTo(c.x() - k * 2.2, c.y() - k * 0.6, c.x() - k * 0.6, c.y() - k * 2.2, c.x(), c.y() - r);
    path.closeSubpath();
    return path;
}

} // namespace

std::optional<QChar> symbolGlyph(std::string_view name) {
    auto it = std::lower_bound(kSymbols.begin(), kSymbols.end(), name,
                               [](const SymbolEntry& e, std::string_view n) { return e.name < n; });
    if (it == kSymbols.end() || it->name != name) return std::nullopt;
    return QChar(it->glyph);
}

QChar fallbackSymbolGlyph() { return QChar(kFallbackGlyph); }

QChar resolvedSymbolGlyph(std::string_view name) { return symbolGlyph(name).value_or(fallbackSymbolGlyph()); }

QFont symbolFont(double pixelSize) {
    QFont font(symbolFontFamily());
    font.setPixelSize(std::max(1, static_cast<int>(pixelSize + 0.5)));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

void drawSymbol(QPainter& painter, const QRectF& rect, std::string_view name, double pixelSize, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (name == "sparkle") {
        const double side = pixelSize * 0.92;
        const QRectF box(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(sparklePath(box));
    } else if (name == "app.fill") {
        // An application's tile: one filled rounded square. The font's "apps" is a grid of dots,
        // which reads as a launcher.
        const double side = pixelSize * 0.8;
        const QRectF box(rect.center().x() - side / 2, rect.center().y() - side / 2, side, side);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawRoundedRect(box, side * 0.225, side * 0.225);
    } else {
        painter.setFont(symbolFont(pixelSize));
        painter.setPen(color);
        painter.drawText(rect, Qt::AlignCenter, QString(resolvedSymbolGlyph(name)));
    }
    painter.restore();
}

QIcon symbolIcon(std::string_view name, const QColor& color, int pixelSize) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(pixelSize * scale, pixelSize * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        drawSymbol(p, QRectF(0, 0, pixelSize, pixelSize), name, pixelSize, color);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

SymbolView::SymbolView(QString name, double pixelSize, AdaptiveColor tint, QWidget* parent)
    : QWidget(parent), name_(std::move(name)), pixelSize_(pixelSize), tint_(tint) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setSymbol(QString name) {
    if (name == name_) return;
    name_ = std::move(name);
    update();
}

void SymbolView::setTint(AdaptiveColor tint, double opacity) {
    tint_ = tint;
    opacity_ = opacity;
    update();
}

void SymbolView::setPixelSize(double pixelSize) {
    pixelSize_ = pixelSize;
    updateGeometry();
    update();
}

void SymbolView::setFrameWidth(int width) {
    frameWidth_ = width;
    updateGeometry();
}

QSize SymbolView::sizeHint() const {
    const int side = static_cast<int>(pixelSize_ * 1.15 + 0.5);
    return {frameWidth_ > 0 ? frameWidth_ : side, side};
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawSymbol(p, QRectF(rect()), name_.toStdString(), pixelSize_, tint_(opacity_));
}

} // namespace morvo
