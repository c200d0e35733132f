#include "Morvo/Storage/StorageMapView.h"

#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/Theme.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/Platform/Text.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QToolTip>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace morvo {

QColor mapColor(FileCategory category) {
    switch (category) {
    case FileCategory::applications: return QColor::fromRgbF(0.91f, 0.43f, 0.61f);
    case FileCategory::developer: return QColor::fromRgbF(0.58f, 0.46f, 1.0f);
    case FileCategory::documents: return QColor::fromRgbF(0.35f, 0.59f, 1.0f);
    case FileCategory::media: return QColor::fromRgbF(0.22f, 0.76f, 0.77f);
    case FileCategory::archives: return QColor::fromRgbF(0.91f, 0.69f, 0.34f);
    case FileCategory::other: break;
    }
    return QColor::fromRgbF(0.49f, 0.55f, 0.68f);
}

namespace mapgeometry {

TileLook tileLook(double width, double height) {
    TileLook look;
    look.isLarge = width > 155 && height > 120;
    look.cornerRadius = look.isLarge ? 10 : 7;
    look.showsContent = width > 64 && height > 38;
    look.contentInset = look.isLarge ? 17 : 10;
    look.spacing = look.isLarge ? 9 : 4;
    look.showsIcon = width > 115;
    look.showsSizeLine = height > 64;
    look.showsNestedMap = height > 200 && width > 190;
    look.showsFooter = look.isLarge;
    look.showsFileCount = width > 215;
    return look;
}

std::vector<Tile> layoutTiles(const std::vector<StorageMapEntry>& entries, double width, double height,
                              const std::function<std::vector<StorageMapEntry>(const StorageMapEntry&)>& nestedEntries) {
    std::vector<TreemapItem> items;
    items.reserve(entries.size());
    std::unordered_map<std::string_view, std::size_t> byID;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        items.push_back({entries[i].id, entries[i].bytes});
        byID.emplace(entries[i].id, i);
    }
    std::vector<Tile> tiles;
    for (const TreemapRectangle& r : TreemapLayout::rectangles(items, Rect{0, 0, width, height})) {
        auto found = byID.find(r.id);
        if (found == byID.end()) continue;
        if (!(r.rect.width > 7) || !(r.rect.height > 7)) continue;
        Tile tile;
        tile.entry = found->second;
        tile.cell = r.rect;
        tile.frame = Rect{r.rect.x + tileInset, r.rect.y + tileInset, std::max(0.0, r.rect.width - 2 * tileInset),
                          std::max(0.0, r.rect.height - 2 * tileInset)};
        if (r.rect.width > 195 && r.rect.height > 205 && nestedEntries) tile.children = nestedEntries(entries[tile.entry]);
        tiles.push_back(std::move(tile));
    }
    return tiles;
}

Rect nestedMapArea(double width, double height, const ContentMetrics& metrics) {
    const TileLook look = tileLook(width, height);
    const double inset = look.contentInset;
    const double top = inset + metrics.header + look.spacing + metrics.sizeLine + look.spacing + 7;
    double bottom = height - inset;
    if (look.showsFooter) bottom -= metrics.footer + look.spacing;
    const double areaWidth = std::max(0.0, width - 2 * inset);
    return Rect{inset, top, areaWidth, std::max(0.0, bottom - top)};
}

std::vector<NestedTile> layoutNestedTiles(const std::vector<StorageMapEntry>& children, double width, double height) {
    std::vector<TreemapItem> items;
    items.reserve(children.size());
    for (const StorageMapEntry& child : children) items.push_back({child.id, child.bytes});
    std::vector<NestedTile> tiles;
    for (const TreemapRectangle& r : TreemapLayout::rectangles(items, Rect{0, 0, width, height})) {
        if (!(r.rect.width > 9) || !(r.rect.height > 9)) continue;
        auto found = std::find_if(children.begin(), children.end(), [&](const StorageMapEntry& c) { return c.id == r.id; });
        if (found == children.end()) continue;
        NestedTile tile;
        tile.child = static_cast<std::size_t>(found - children.begin());
        tile.frame = Rect{r.rect.x + nestedTileInset, r.rect.y + nestedTileInset,
                          std::max(0.0, r.rect.width - 2 * nestedTileInset),
                          std::max(0.0, r.rect.height - 2 * nestedTileInset)};
        tile.showsLabel = r.rect.width > 90 && r.rect.height > 35;
        tiles.push_back(tile);
    }
    return tiles;
}

} // namespace mapgeometry

namespace {

using mapgeometry::TileLook;

QRectF toQRect(const Rect& r) { return QRectF(r.x, r.y, r.width, r.height); }

double lerp(double a, double b, double t) { return a + (b - a) * t; }

QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(static_cast<float>(std::clamp(alpha, 0.0, 1.0)));
    return c;
}

QColor white(double alpha) { return withAlpha(QColor(Qt::white), alpha); }

struct TileFonts {
    QFont name, size, footer, count, nestedLabel;
    double iconSize;
};

TileFonts tileFonts(bool large) {
    TileFonts f;
    f.name = systemFont(large ? 13 : 11, QFont::DemiBold);
    f.size = large ? systemFont(25, QFont::Medium, FontDesign::rounded, -0.6) : systemFont(12, QFont::Normal, FontDesign::rounded);
    f.footer = systemFont(8, QFont::DemiBold, FontDesign::standard, 1.1);
    f.count = systemFont(9);
    f.nestedLabel = systemFont(9, QFont::Medium);
    f.iconSize = large ? 12 : 10;
    return f;
}

// The name on at most `maxLines` lines, cut in the middle when it does not fit.
QStringList nameLines(const QString& name, const QFont& font, double width, int maxLines) {
    if (width <= 0) return {};
    QFontMetricsF metrics(font);
    if (maxLines <= 1) return {metrics.elidedText(name, Qt::ElideMiddle, width)};
    auto wrap = [&](const QString& text) {
        QStringList lines;
        QTextLayout layout(text, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << text.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        return lines;
    };
    QStringList lines = wrap(name);
    if (lines.size() <= maxLines) return lines;
    // Keep as many characters from both ends as still fit.
    int low = 0, high = static_cast<int>(name.size());
    QStringList best{QStringLiteral("…")};
    while (low <= high) {
        const int keep = (low + high) / 2;
        const int head = (keep + 1) / 2, tail = keep / 2;
        const QString candidate = name.left(head) + QStringLiteral("…") + name.right(tail);
        QStringList attempt = wrap(candidate);
        if (attempt.size() <= maxLines) {
            best = attempt;
            low = keep + 1;
        } else {
            high = keep - 1;
        }
    }
    return best;
}

// The size text scaled down to at most 75 % so that it fits, then cut.
void drawShrinkingText(QPainter& painter, const QRectF& rect, const QString& text, QFont font, const QColor& color) {
    QFontMetricsF metrics(font);
    const double natural = metrics.horizontalAdvance(text);
    if (natural > rect.width() && natural > 0) {
        const double scale = std::max(0.75, rect.width() / natural);
        font.setPixelSize(std::max(1, static_cast<int>(std::floor(font.pixelSize() * scale))));
        metrics = QFontMetricsF(font);
    }
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(text, Qt::ElideRight, rect.width()));
}

std::string_view iconSymbol(const StorageMapEntry& entry) {
    if (entry.isGroup()) return "square.grid.2x2.fill";
    if (entry.isDirectory) return "folder.fill";
    switch (entry.category) {
    case FileCategory::applications: return "app.fill";
    case FileCategory::developer: return "curlybraces";
    case FileCategory::documents: return "doc.fill";
    case FileCategory::media: return "photo.fill";
    case FileCategory::archives: return "archivebox.fill";
    case FileCategory::other: break;
    }
    return "doc.fill";
}

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QPainterPath tileShape(const QRectF& frame, double radius) { return roundedRect(frame, radius); }

QAccessibleInterface* storageMapAccessibleFactory(const QString& className, QObject* object);

} // namespace

// -----------------------------------------------------------------------------------------------

StorageMapView::StorageMapView(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(storageMapAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;
    setMouseTracking(true);
    // Node tiles are buttons: Tab reaches each in turn, Space or Return selects it.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Storage map"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setContextMenuPolicy(Qt::DefaultContextMenu);
}

StorageMapView::StorageMapView(std::shared_ptr<const DiskSnapshot> snapshot, std::string rootID,
                               std::optional<std::string> selectedID, Callback onSelect, Callback onOpen,
                               QWidget* parent)
    : StorageMapView(parent) {
    snapshot_ = std::move(snapshot);
    rootID_ = std::move(rootID);
    selectedID_ = std::move(selectedID);
    onSelect_ = std::move(onSelect);
    onOpen_ = std::move(onOpen);
    rebuildEntries();
}

StorageMapView::~StorageMapView() {
    dropAccessibleTiles();
    for (auto& [id, animation] : animations_) animation->stop();
}

void StorageMapView::setSnapshot(std::shared_ptr<const DiskSnapshot> snapshot) {
    if (snapshot == snapshot_) return;
    snapshot_ = std::move(snapshot);
    rebuildEntries();
}

void StorageMapView::setRootID(std::string rootID) {
    if (rootID == rootID_) return;
    rootID_ = std::move(rootID);
    rebuildEntries();
}

void StorageMapView::setContent(std::shared_ptr<const DiskSnapshot> snapshot, std::string rootID) {
    if (snapshot == snapshot_ && rootID == rootID_) return;
    snapshot_ = std::move(snapshot);
    rootID_ = std::move(rootID);
    rebuildEntries();
}

void StorageMapView::setSelectedID(std::optional<std::string> selectedID) {
    if (selectedID == selectedID_) return;
    selectedID_ = std::move(selectedID);
    update();
}

namespace {

// The entries made for the folders of the newest snapshot a map showed, and the nested entries of
// their folder tiles, for every map: the Overview makes a new map each time it is shown. Used on
// the GUI thread only.
struct EntryCache {
    std::weak_ptr<const DiskSnapshot> snapshot;
    std::unordered_map<std::string, std::vector<StorageMapEntry>> entries;
    std::unordered_map<std::string, std::vector<StorageMapEntry>> nested;

    void keep(std::unordered_map<std::string, std::vector<StorageMapEntry>>& in, std::string id,
              std::vector<StorageMapEntry> value) {
        if (in.size() >= 4096) in.clear();  // folders; a map shows one at a time
        in.insert_or_assign(std::move(id), std::move(value));
    }
};

EntryCache& sharedEntryCache() {
    static EntryCache cache;
    return cache;
}

// The cache, made the one of `snapshot` if it was another's.
EntryCache& entryCache(const std::shared_ptr<const DiskSnapshot>& snapshot) {
    EntryCache& cache = sharedEntryCache();
    if (cache.snapshot.lock() != snapshot) {
        cache = EntryCache();
        cache.snapshot = snapshot;
    }
    return cache;
}

// The children a folder's entries and its folder tiles' nested entries are made from.
std::size_t rankingWork(const DiskSnapshot& snapshot, DiskSnapshot::Index folder) {
    const auto children = snapshot.children(folder);
    std::size_t work = children.size();
    for (DiskSnapshot::Index child : children)
        if (snapshot.isDirectory(child) && snapshot.logicalSize(child) > 0) work += snapshot.children(child).size();
    return work;
}

} // namespace

void StorageMapView::rebuildEntries() {
    ranking_.cancel();
    ranking_ = TaskHandle();
    ++rankingRevision_;
    entries_.clear();
    if (snapshot_) {
        EntryCache& cache = entryCache(snapshot_);
        if (auto cached = cache.entries.find(rootID_); cached != cache.entries.end()) {
            entries_ = cached->second;
        } else if (auto index = snapshot_->indexOf(rootID_)) {
            if (rankingWork(*snapshot_, *index) > rankedInBackground) {
                rankInBackground(*index);
            } else {
                entries_ = StorageMapEntry::make(*snapshot_, snapshot_->children(*index), 40, "group:" + rootID_);
                cache.keep(cache.entries, rootID_, entries_);
            }
        }
    }
    entriesChanged();
}

// A folder with hundreds of thousands of children takes a while to rank when many of them tie:
// that runs on a worker, with the nested entries of its folder tiles. The result is kept for the
// snapshot it was made from even when this map is gone by then; it is shown only while it is
// still the newest request of this map.
void StorageMapView::rankInBackground(DiskSnapshot::Index folder) {
    struct Ranked {
        std::vector<StorageMapEntry> entries;
        std::vector<std::pair<std::string, std::vector<StorageMapEntry>>> nested;
    };
    const std::uint64_t revision = rankingRevision_;
    std::shared_ptr<const DiskSnapshot> snapshot = snapshot_;
    const std::string rootID = rootID_;
    QPointer<StorageMapView> self(this);
    ranking_ = runTask<Ranked>(
        QCoreApplication::instance(), TaskPriority::userInitiated,
        [snapshot, folder, rootID](std::stop_token stop) {
            Ranked out;
            out.entries = StorageMapEntry::make(*snapshot, snapshot->children(folder), 40, "group:" + rootID);
            for (const StorageMapEntry& entry : out.entries) {
                if (stop.stop_requested()) break;
                if (!entry.isDirectory || !entry.nodeID) continue;
                if (auto index = snapshot->indexOf(*entry.nodeID))
                    out.nested.emplace_back(*entry.nodeID, StorageMapEntry::make(*snapshot, snapshot->children(*index), 2,
                                                                                "nested:" + *entry.nodeID));
            }
            return out;
        },
        [self, revision, snapshot, rootID](TaskResult<Ranked> result) {
            const bool shown = self && self->rankingRevision_ == revision && self->snapshot_ == snapshot;
            if (EntryCache& cache = sharedEntryCache(); result.value && cache.snapshot.lock() == snapshot) {
                for (auto& [id, nested] : result.value->nested) cache.keep(cache.nested, std::move(id), std::move(nested));
                cache.keep(cache.entries, rootID, result.value->entries);
            }
            if (!shown) return;
            self->ranking_ = TaskHandle();
            // Without a result (out of memory) the map shows its empty state.
            if (result.value) self->entries_ = std::move(result.value->entries);
            self->entriesChanged();
        });
}

void StorageMapView::entriesChanged() {
    // Hover belongs to tiles that stay on the map; the others start at rest when they come back.
    std::unordered_map<std::string, double> kept;
    for (const StorageMapEntry& e : entries_)
        if (auto found = hover_.find(e.id); found != hover_.end()) kept.emplace(found->first, found->second);
    hover_ = std::move(kept);
    if (hoveredID_ && !hover_.contains(*hoveredID_)) hoveredID_.reset();
    pressedTile_.reset();
    dropAccessibleTiles();
    invalidateLayout();
}

void StorageMapView::invalidateLayout() {
    tilesValid_ = false;
    update();
    if (QAccessible::isActive()) {
        QAccessibleEvent reordered(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&reordered);
    }
}

std::vector<StorageMapEntry> StorageMapView::nestedEntries(const StorageMapEntry& entry) {
    if (!entry.isDirectory || !entry.nodeID || !snapshot_) return {};
    EntryCache& cache = entryCache(snapshot_);
    if (auto cached = cache.nested.find(*entry.nodeID); cached != cache.nested.end()) return cached->second;
    std::vector<StorageMapEntry> result;
    if (auto index = snapshot_->indexOf(*entry.nodeID))
        result = StorageMapEntry::make(*snapshot_, snapshot_->children(*index), 2, "nested:" + *entry.nodeID);
    cache.keep(cache.nested, *entry.nodeID, result);
    return result;
}

const std::vector<mapgeometry::Tile>& StorageMapView::tiles() const {
    if (!tilesValid_ || tilesSize_ != size()) {
        auto* self = const_cast<StorageMapView*>(this);
        tiles_ = mapgeometry::layoutTiles(entries_, width(), height(),
                                          [self](const StorageMapEntry& e) { return self->nestedEntries(e); });
        tilesSize_ = size();
        tilesValid_ = true;
    }
    return tiles_;
}

std::optional<std::size_t> StorageMapView::tileAt(QPointF point) const {
    const auto& all = tiles();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const QRectF frame = toQRect(all[i].frame);
        if (!frame.contains(point)) continue;
        const TileLook look = mapgeometry::tileLook(frame.width(), frame.height());
        if (tileShape(frame, look.cornerRadius).contains(point)) return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> StorageMapView::tileIndex(const std::string& id) const {
    const auto& all = tiles();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (entries_[all[i].entry].id == id) return i;
    return std::nullopt;
}

bool StorageMapView::isSelected(std::size_t tile) const {
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    return e.nodeID && selectedID_ && *e.nodeID == *selectedID_;
}

double StorageMapView::hoverProgress(std::size_t tile) const {
    auto found = hover_.find(entries_[tiles()[tile].entry].id);
    return found == hover_.end() ? 0.0 : found->second;
}

QString StorageMapView::toolTipText(std::size_t tile) const {
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    QString text = qs(e.name) + QStringLiteral(" \u00B7 ") + e.sizeLabel();
    if (e.isGroup())
        text += QStringLiteral("\nGrouped to keep the map readable. Use the file list to inspect individual items.");
    else if (e.isDirectory)
        text += QStringLiteral("\nDouble-click to explore");
    return text;
}

QString StorageMapView::accessibleLabel(std::size_t tile) const {
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    if (e.isGroup()) return qs(e.name) + QStringLiteral(", ") + e.sizeLabel() + QStringLiteral(", grouped for display");
    return qs(e.name) + QStringLiteral(", ") + e.sizeLabel() + (e.isDirectory ? QStringLiteral(", folder") : QStringLiteral(", file"));
}

QString StorageMapView::accessibleHint(std::size_t tile) const {
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    if (e.isGroup()) return {};
    return e.isDirectory ? QStringLiteral("Select for details. Double-click to explore folder.")
                         : QStringLiteral("Select to view file details.");
}

QStringList StorageMapView::accessibleActionNames(std::size_t tile) const {
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    if (e.isGroup()) return {};
    return {QStringLiteral("View details"), e.isDirectory ? QStringLiteral("Open folder") : QStringLiteral("Select file")};
}

void StorageMapView::performAccessibleAction(std::size_t tile, const QString& name) {
    if (tile >= tiles().size()) return;
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    if (e.isGroup()) return;
    if (name == QStringLiteral("View details") || name == QStringLiteral("Select file"))
        select(tile);
    else if (name == QStringLiteral("Open folder") && e.isDirectory)
        open(tile);
}

QMenu* StorageMapView::makeContextMenu(std::size_t tile, QWidget* parent) {
    if (tile >= tiles().size()) return nullptr;
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    if (e.isGroup()) return nullptr;
    auto* menu = new QMenu(parent);
    const std::string nodeID = *e.nodeID;
    const QColor iconColor = Theme::text();
    if (e.isDirectory) {
        menu->addAction(symbolIcon("folder", iconColor), QStringLiteral("Open folder"), this, [this, nodeID] {
            if (onOpen_) onOpen_(nodeID);
        });
    }
    menu->addAction(symbolIcon("info.circle", iconColor), QStringLiteral("View details"), this, [this, nodeID] {
        if (onSelect_) onSelect_(nodeID);
    });
    return menu;
}

void StorageMapView::select(std::size_t tile) {
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    if (!e.nodeID) return;
    const std::string nodeID = *e.nodeID;  // the callback may rebuild the map
    if (onSelect_) onSelect_(nodeID);
}

void StorageMapView::open(std::size_t tile) {
    const StorageMapEntry& e = entries_[tiles()[tile].entry];
    if (!e.nodeID) return;
    const std::string nodeID = *e.nodeID;
    if (onOpen_) onOpen_(nodeID);
}


// --- accessibility -------------------------------------------------------------------------------

namespace {

// One tile as an accessibility element: its label, hint and named actions.
class TileAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TileAccessible(StorageMapView* map, std::string entryID) : map_(map), id_(std::move(entryID)) {}

    bool isValid() const override { return map_ && map_->tileIndex(id_).has_value(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return map_ ? map_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return map_ ? QAccessible::queryAccessibleInterface(map_) : nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override {
        auto tile = index();
        if (!tile) return {};
        switch (t) {
        case QAccessible::Name: return map_->accessibleLabel(*tile);
        case QAccessible::Description: return map_->accessibleHint(*tile);
        case QAccessible::Help: return map_->toolTipText(*tile);
        default: return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        auto tile = index();
        if (!tile) return {};
        const QRect local = map_->tileRect(*tile);
        return QRect(map_->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override {
        auto tile = index();
        return tile && map_->accessibleActionNames(*tile).isEmpty() ? QAccessible::StaticText : QAccessible::Button;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        auto tile = index();
        if (!tile) {
            s.invalid = true;
            return s;
        }
        s.selectable = !map_->accessibleActionNames(*tile).isEmpty();
        s.selected = map_->isSelected(*tile);
        s.focusable = s.selectable;
        s.focused = map_->hasFocus() && map_->focusedTileIndex() == tile;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override {
        auto tile = index();
        return tile ? map_->accessibleActionNames(*tile) : QStringList();
    }
    void doAction(const QString& name) override {
        if (auto tile = index()) map_->performAccessibleAction(*tile, name);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    std::optional<std::size_t> index() const { return map_ ? map_->tileIndex(id_) : std::nullopt; }
    QPointer<StorageMapView> map_;
    std::string id_;
};

// The map as one container whose children are its tiles.
class StorageMapAccessible : public QAccessibleWidget {
public:
    explicit StorageMapAccessible(StorageMapView* map) : QAccessibleWidget(map, QAccessible::Grouping) {}
    StorageMapView* map() const { return static_cast<StorageMapView*>(widget()); }
    int childCount() const override { return static_cast<int>(map()->tiles().size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        return map()->accessibleTile(static_cast<std::size_t>(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (map()->accessibleTile(static_cast<std::size_t>(i)) == child) return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        auto tile = map()->tileAt(QPointF(map()->mapFromGlobal(QPoint(x, y))));
        return tile ? map()->accessibleTile(*tile) : nullptr;
    }
};

QAccessibleInterface* storageMapAccessibleFactory(const QString&, QObject* object) {
    if (auto* map = qobject_cast<StorageMapView*>(object)) return new StorageMapAccessible(map);
    return nullptr;
}

} // namespace

QAccessibleInterface* StorageMapView::accessibleTile(std::size_t tile) const {
    const auto& all = tiles();
    if (tile >= all.size()) return nullptr;
    const std::string& id = entries_[all[tile].entry].id;
    if (auto found = accessibleTiles_.find(id); found != accessibleTiles_.end())
        return QAccessible::accessibleInterface(found->second);
    auto* element = new TileAccessible(const_cast<StorageMapView*>(this), id);
    accessibleTiles_.emplace(id, QAccessible::registerAccessibleInterface(element));
    return element;
}

QRect StorageMapView::tileRect(std::size_t tile) const { return toQRect(tiles()[tile].frame).toAlignedRect(); }

QRectF StorageMapView::focusRingRect() const {
    if (auto tile = focusedTile()) return toQRect(tiles()[*tile].frame);
    return QRectF(rect());
}

double StorageMapView::focusRingRadius() const {
    if (auto tile = focusedTile()) {
        const QRectF frame = toQRect(tiles()[*tile].frame);
        return mapgeometry::tileLook(frame.width(), frame.height()).cornerRadius;
    }
    return 10;
}

void StorageMapView::dropAccessibleTiles() {
    for (auto& [id, accessibleID] : accessibleTiles_) QAccessible::deleteAccessibleInterface(accessibleID);
    accessibleTiles_.clear();
}

// --- input ---------------------------------------------------------------------------------------

void StorageMapView::mousePressEvent(QMouseEvent* event) {
    pressedTile_.reset();
    pressIsDoubleClick_ = false;
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    auto tile = tileAt(event->position());
    if (tile && !entries_[tiles()[*tile].entry].isGroup()) pressedTile_ = tile;
    event->accept();
}

void StorageMapView::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
    pressIsDoubleClick_ = pressedTile_.has_value();
}

void StorageMapView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressedTile_) return QWidget::mouseReleaseEvent(event);
    const std::size_t pressed = *pressedTile_;
    const bool isDoubleClick = pressIsDoubleClick_;
    pressedTile_.reset();
    pressIsDoubleClick_ = false;
    if (tileAt(event->position()) != pressed) return;
    const StorageMapEntry entry = entries_[tiles()[pressed].entry];
    // Every click selects; the second click of a double click then opens a folder.
    if (onSelect_) onSelect_(*entry.nodeID);
    if (isDoubleClick && entry.isDirectory && onOpen_) onOpen_(*entry.nodeID);
}

void StorageMapView::mouseMoveEvent(QMouseEvent* event) {
    // The same rounded shape that takes clicks.
    std::optional<std::string> hovered;
    if (auto tile = tileAt(event->position())) hovered = entries_[tiles()[*tile].entry].id;
    setHoveredEntry(hovered);
    QWidget::mouseMoveEvent(event);
}

void StorageMapView::leaveEvent(QEvent* event) {
    setHoveredEntry(std::nullopt);
    QWidget::leaveEvent(event);
}

void StorageMapView::setHoveredEntry(std::optional<std::string> id) {
    if (id == hoveredID_) return;
    if (hoveredID_) animateHover(*hoveredID_, 0.0);
    hoveredID_ = std::move(id);
    if (hoveredID_) animateHover(*hoveredID_, 1.0);
}

void StorageMapView::animateHover(const std::string& id, double target) {
    if (auto running = animations_.find(id); running != animations_.end()) {
        running->second->stop();
        running->second->deleteLater();
        animations_.erase(running);
    }
    const double current = hover_.contains(id) ? hover_[id] : 0.0;
    if (reduceMotion_ || current == target) {
        if (target == 0.0) hover_.erase(id);
        else hover_[id] = target;
        update();
        return;
    }
    auto* animation = new QVariantAnimation(this);
    animation->setDuration(160);
    animation->setEasingCurve(QEasingCurve::OutQuad);
    animation->setStartValue(current);
    animation->setEndValue(target);
    connect(animation, &QVariantAnimation::valueChanged, this, [this, id](const QVariant& value) {
        hover_[id] = value.toDouble();
        update();
    });
    connect(animation, &QVariantAnimation::finished, this, [this, id, target, animation] {
        if (target == 0.0) hover_.erase(id);
        if (auto found = animations_.find(id); found != animations_.end() && found->second == animation) animations_.erase(found);
        animation->deleteLater();
        update();
    });
    animations_[id] = animation;
    animation->start();
}

std::vector<std::size_t> StorageMapView::buttonTiles() const {
    std::vector<std::size_t> buttons;
    const auto& all = tiles();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (!entries_[all[i].entry].isGroup()) buttons.push_back(i);
    return buttons;
}

std::optional<std::size_t> StorageMapView::focusedTile() const {
    if (!focusedID_) return std::nullopt;
    auto tile = tileIndex(*focusedID_);
    if (tile && entries_[tiles()[*tile].entry].isGroup()) return std::nullopt;
    return tile;
}

void StorageMapView::setFocusedTile(std::optional<std::size_t> tile) {
    std::optional<std::string> id;
    if (tile) id = entries_[tiles()[*tile].entry].id;
    if (id == focusedID_) return;
    focusedID_ = std::move(id);
    update();
    if (QAccessible::isActive() && tile) {
        QAccessibleEvent focused(accessibleTile(*tile), QAccessible::Focus);
        QAccessible::updateAccessibility(&focused);
    }
}

// Moves the keyboard's tile by `step` in tile order; false when it would leave the map.
bool StorageMapView::stepFocus(int step) {
    const auto buttons = buttonTiles();
    if (buttons.empty()) return false;
    const auto current = focusedTile();
    auto at = current ? std::find(buttons.begin(), buttons.end(), *current) : buttons.end();
    std::ptrdiff_t index = at == buttons.end() ? (step > 0 ? -1 : static_cast<std::ptrdiff_t>(buttons.size()))
                                               : at - buttons.begin();
    index += step;
    if (index < 0 || index >= static_cast<std::ptrdiff_t>(buttons.size())) return false;
    setFocusedTile(buttons[static_cast<std::size_t>(index)]);
    return true;
}

void StorageMapView::focusInEvent(QFocusEvent* event) {
    const auto buttons = buttonTiles();
    if (!buttons.empty() && !focusedTile()) {
        if (event->reason() == Qt::BacktabFocusReason) setFocusedTile(buttons.back());
        else if (event->reason() == Qt::TabFocusReason) setFocusedTile(buttons.front());
        else {
            auto selected = selectedID_ ? tileIndex(*selectedID_) : std::nullopt;
            setFocusedTile(selected && std::find(buttons.begin(), buttons.end(), *selected) != buttons.end() ? *selected
                                                                                                            : buttons.front());
        }
    } else if (event->reason() == Qt::TabFocusReason && !buttons.empty()) {
        setFocusedTile(buttons.front());
    } else if (event->reason() == Qt::BacktabFocusReason && !buttons.empty()) {
        setFocusedTile(buttons.back());
    }
    QWidget::focusInEvent(event);
}

void StorageMapView::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

bool StorageMapView::focusNextPrevChild(bool next) {
    // Tab walks the tiles before it leaves the map.
    if (hasFocus() && stepFocus(next ? 1 : -1)) return true;
    return QWidget::focusNextPrevChild(next);
}

void StorageMapView::keyPressEvent(QKeyEvent* event) {
    const auto buttons = buttonTiles();
    if (buttons.empty()) return QWidget::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down: stepFocus(1); return;
    case Qt::Key_Left:
    case Qt::Key_Up: stepFocus(-1); return;
    case Qt::Key_Home: setFocusedTile(buttons.front()); return;
    case Qt::Key_End: setFocusedTile(buttons.back()); return;
    case Qt::Key_Space:
    case Qt::Key_Select:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto tile = focusedTile()) select(*tile);
        return;
    default: return QWidget::keyPressEvent(event);
    }
}

void StorageMapView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        // The menu key opens the menu of the keyboard's tile.
        auto tile = focusedTile();
        if (!tile) return;
        std::unique_ptr<QMenu> menu(makeContextMenu(*tile, this));
        if (menu) menu->exec(mapToGlobal(tileRect(*tile).center()));
        return;
    }
    auto tile = tileAt(event->pos());
    if (!tile) return;
    std::unique_ptr<QMenu> menu(makeContextMenu(*tile, this));
    if (!menu) return;
    menu->exec(event->globalPos());
}

bool StorageMapView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (auto tile = tileAt(help->pos())) {
            QToolTip::showText(help->globalPos(), toolTipText(*tile), this, tileRect(*tile));
            return true;
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

void StorageMapView::resizeEvent(QResizeEvent* event) {
    tilesValid_ = false;
    QWidget::resizeEvent(event);
}

// --- painting ------------------------------------------------------------------------------------

QColor StorageMapView::tileColor(const StorageMapEntry& entry) const {
    return Theme::current().isDark() ? mapColor(entry.category) : tint(entry.category)();
}

void StorageMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (isRanking()) return;  // blank until the folder's entries arrive
    if (entries_.empty()) {
        paintEmptyState(painter);
        return;
    }
    const auto& all = tiles();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const StorageMapEntry& e = entries_[all[i].entry];
        auto hover = hover_.find(e.id);
        paintTile(painter, all[i], isSelected(i), hover == hover_.end() ? 0.0 : hover->second);
    }
}

void StorageMapView::paintEmptyState(QPainter& painter) const {
    const QFont title = systemFont(15, QFont::Medium);
    const QFont detail = systemFont(12);
    const QString titleText = QStringLiteral("Nothing taking up space");
    const QString detailText = QStringLiteral("This folder has no readable, non-empty files.");
    const double symbolHeight = 30, spacing = 12;
    const double titleHeight = QFontMetricsF(title).height(), detailHeight = QFontMetricsF(detail).height();
    const double total = symbolHeight + spacing + titleHeight + spacing + detailHeight;
    double y = (height() - total) / 2;
    const QRectF full(0, 0, width(), height());
    drawSymbol(painter, QRectF(0, y, width(), symbolHeight), "square.grid.2x2", 30, Theme::muted());
    y += symbolHeight + spacing;
    painter.setFont(title);
    painter.setPen(Theme::text());
    painter.drawText(QRectF(0, y, full.width(), titleHeight), Qt::AlignCenter, titleText);
    y += titleHeight + spacing;
    painter.setFont(detail);
    painter.setPen(Theme::secondary());
    painter.drawText(QRectF(0, y, full.width(), detailHeight), Qt::AlignCenter, detailText);
}

void StorageMapView::paintTile(QPainter& painter, const mapgeometry::Tile& tile, bool selected, double hover) const {
    const StorageMapEntry& e = entries_[tile.entry];
    const QRectF frame = toQRect(tile.frame);
    if (frame.width() <= 0 || frame.height() <= 0) return;
    const TileLook look = mapgeometry::tileLook(frame.width(), frame.height());
    const bool dark = Theme::current().isDark();
    const QColor c = tileColor(e);
    const QPainterPath shape = tileShape(frame, look.cornerRadius);

    painter.save();
    painter.setClipPath(shape);

    QLinearGradient gradient(frame.topLeft(), frame.bottomRight());
    gradient.setColorAt(0, withAlpha(c, dark ? lerp(0.34, 0.47, hover) : lerp(0.12, 0.19, hover)));
    gradient.setColorAt(1, withAlpha(c, dark ? lerp(0.18, 0.27, hover) : lerp(0.055, 0.1, hover)));
    painter.fillPath(shape, gradient);

    if (look.showsContent) {
        const TileFonts fonts = tileFonts(look.isLarge);
        const QRectF content = frame.adjusted(look.contentInset, look.contentInset, -look.contentInset, -look.contentInset);
        double y = content.top();

        // Header: icon, name, open arrow.
        const bool showsArrow = look.isLarge && e.isDirectory && hover > 0;
        double nameLeft = content.left();
        double nameRight = content.right();
        if (look.showsIcon) nameLeft += fonts.iconSize + 7;
        const double arrowSize = 10;
        if (showsArrow) nameRight -= arrowSize + 7;
        const QStringList lines = nameLines(qs(e.name), fonts.name, nameRight - nameLeft, look.isLarge ? 2 : 1);
        const QFontMetricsF nameMetrics(fonts.name);
        const double nameHeight = std::max<qsizetype>(1, lines.size()) * nameMetrics.height();
        const double headerHeight = std::max(nameHeight, look.showsIcon ? fonts.iconSize + 1 : 0.0);
        if (look.showsIcon)
            drawSymbol(painter, QRectF(content.left(), y + 1, fonts.iconSize, fonts.iconSize), iconSymbol(e), fonts.iconSize,
                       withAlpha(c, 0.95));
        painter.setFont(fonts.name);
        painter.setPen(dark ? white(lerp(0.88, 1.0, hover)) : Theme::text());
        for (qsizetype i = 0; i < lines.size(); ++i)
            painter.drawText(QRectF(nameLeft, y + i * nameMetrics.height(), nameRight - nameLeft, nameMetrics.height()),
                             Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
        if (showsArrow) {
            const QColor arrow = dark ? white(0.5) : Theme::secondary();
            drawSymbol(painter, QRectF(content.right() - arrowSize, y, arrowSize, nameMetrics.height()), "arrow.up.right",
                       arrowSize, withAlpha(arrow, arrow.alphaF() * hover));
        }
        y += headerHeight + look.spacing;

        // Size line.
        const double sizeHeight = QFontMetricsF(fonts.size).height();
        if (look.showsSizeLine) {
            const QColor sizeColor = dark ? white(look.isLarge ? 0.96 : 0.57) : (look.isLarge ? Theme::text() : Theme::secondary());
            drawShrinkingText(painter, QRectF(content.left(), y, content.width(), sizeHeight), e.sizeLabel(), fonts.size,
                              sizeColor);
        }

        // Footer, at the bottom of the content.
        const QFontMetricsF footerMetrics(fonts.footer), countMetrics(fonts.count);
        const double footerRow = std::max({4.0, footerMetrics.height(), countMetrics.height()});
        if (look.showsFooter) {
            const QColor footerColor = dark ? white(0.42) : Theme::secondary();
            const double rowTop = content.bottom() - footerRow;
            const double mid = rowTop + footerRow / 2;
            painter.setPen(Qt::NoPen);
            painter.setBrush(c);
            painter.drawEllipse(QRectF(content.left(), mid - 2, 4, 4));
            painter.setBrush(Qt::NoBrush);
            QString countText;
            if (e.isDirectory && look.showsFileCount)
                countText = QString::fromStdString(text::formatInteger(e.itemCount)) + QStringLiteral(" files");
            const double countWidth = countText.isEmpty() ? 0 : countMetrics.horizontalAdvance(countText);
            const double labelLeft = content.left() + 4 + 5;
            const double labelWidth = std::max(0.0, content.right() - labelLeft - (countText.isEmpty() ? 0 : countWidth + 4));
            painter.setFont(fonts.footer);
            painter.setPen(footerColor);
            const QString category = QString::fromUtf8(displayName(e.category).data(),
                                                       static_cast<qsizetype>(displayName(e.category).size())).toUpper();
            painter.drawText(QRectF(labelLeft, rowTop, labelWidth, footerRow), Qt::AlignLeft | Qt::AlignVCenter,
                             footerMetrics.elidedText(category, Qt::ElideRight, labelWidth));
            if (!countText.isEmpty()) {
                painter.setFont(fonts.count);
                painter.drawText(QRectF(content.right() - countWidth, rowTop, countWidth, footerRow),
                                 Qt::AlignRight | Qt::AlignVCenter, countText);
            }
        }

        // Nested map.
        if (look.showsNestedMap && !tile.children.empty()) {
            const Rect local = mapgeometry::nestedMapArea(
                frame.width(), frame.height(), {headerHeight, look.showsSizeLine ? sizeHeight : 0.0, footerRow + 3});
            const QRectF area(frame.left() + local.x, frame.top() + local.y, local.width, local.height);
            const QColor fill = withAlpha(c, dark ? 0.1 : 0.035);
            const QColor stroke = withAlpha(c, 0.13);
            const QColor label = dark ? white(0.27) : Theme::secondary();
            const QFontMetricsF labelMetrics(fonts.nestedLabel);
            for (const auto& nested : mapgeometry::layoutNestedTiles(tile.children, area.width(), area.height())) {
                const QRectF r = toQRect(nested.frame).translated(area.topLeft());
                if (r.width() <= 0 || r.height() <= 0) continue;
                const QPainterPath nestedShape = roundedRect(r, 5);
                painter.fillPath(nestedShape, fill);
                painter.setPen(QPen(stroke, 1));
                painter.setBrush(Qt::NoBrush);
                painter.drawPath(roundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 4.5));
                if (nested.showsLabel) {
                    const QRectF text = r.adjusted(8, 8, -8, -8);
                    painter.setFont(fonts.nestedLabel);
                    painter.setPen(label);
                    painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom,
                                     labelMetrics.elidedText(qs(tile.children[nested.child].name), Qt::ElideMiddle, text.width()));
                }
            }
        }
    }

    // Border inside the edge.
    const double lineWidth = selected ? 2 : 1;
    const QColor borderColor = withAlpha(c, selected ? 0.98 : lerp(0.26, 0.7, hover));
    const double half = lineWidth / 2;
    painter.setPen(QPen(borderColor, lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(roundedRect(frame.adjusted(half, half, -half, -half), std::max(0.0, look.cornerRadius - half)));
    painter.restore();
}

} // namespace morvo
