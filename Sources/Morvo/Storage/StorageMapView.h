#pragma once
// The storage map: one folder of a scan as a treemap of rounded tiles, one per child of positive
// size (the 39 largest and a group tile past 40), a miniature map inside large folder tiles.
// One painted widget. Entries are made once per folder of a snapshot and kept for every map of
// that snapshot (a large folder's on a worker, the map staying blank meanwhile), the layout again
// only when the size changes too, and a new selection or hover only repaints.

#include "Morvo/Kit/KeyboardFocus.h"
#include "Morvo/Storage/StorageMapEntry.h"
#include "Morvo/Platform/TaskRunner.h"
#include "MorvoCore/DiskModels.h"
#include "MorvoCore/TreemapLayout.h"

#include <QColor>
#include <QPointF>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class QAccessibleInterface;
class QMenu;
class QVariantAnimation;

namespace morvo {

// The opaque tile colour of a category in the dark appearance.
QColor mapColor(FileCategory category);

namespace mapgeometry {

inline constexpr double tileInset = 2.5;  // half the gap between neighbouring tiles
inline constexpr double nestedTileInset = 2.0;

// One tile of the map.
struct Tile {
    std::size_t entry = 0;                  // index into the entries laid out
    Rect cell;                              // the treemap's rectangle
    Rect frame;                             // the tile: the cell inset by 2.5 on each side
    std::vector<StorageMapEntry> children;  // entries of the nested map; empty when none is computed
};

// What a tile of a given size shows.
struct TileLook {
    bool isLarge = false;
    double cornerRadius = 7;
    bool showsContent = false;
    double contentInset = 10;
    double spacing = 4;
    bool showsIcon = false;
    bool showsSizeLine = false;
    bool showsNestedMap = false;  // when it has children
    bool showsFooter = false;
    bool showsFileCount = false;  // in the footer of a folder tile
    friend bool operator==(const TileLook&, const TileLook&) = default;
};

TileLook tileLook(double width, double height);

// Lays `entries` out in a width x height map. Cells of 7 points or less on a side stay empty gaps;
// `nestedEntries` is asked only for cells wider than 195 and higher than 205.
std::vector<Tile> layoutTiles(const std::vector<StorageMapEntry>& entries, double width, double height,
                              const std::function<std::vector<StorageMapEntry>(const StorageMapEntry&)>& nestedEntries);

// Heights of a large tile's rows, measured from the fonts in use.
struct ContentMetrics {
    double header = 0;
    double sizeLine = 0;
    double footer = 0;  // the footer row and the 3 points above it
};

// Where the nested map goes in a tile of width x height (tile coordinates): inside the content
// inset, below the header, the size line and 7 points of padding, above the footer.
Rect nestedMapArea(double width, double height, const ContentMetrics& metrics);

// One tile of a nested map.
struct NestedTile {
    std::size_t child = 0;
    Rect frame;  // the cell inset by 2 on each side, in the nested area's coordinates
    bool showsLabel = false;
};

std::vector<NestedTile> layoutNestedTiles(const std::vector<StorageMapEntry>& children, double width, double height);

} // namespace mapgeometry

class StorageMapView : public QWidget, public FocusRingShape {
    Q_OBJECT

public:
    using Callback = std::function<void(const std::string& nodeID)>;

    // Folders whose entries, with their folder tiles' nested entries, take more than this many
    // children to make are ranked on a worker.
    static constexpr std::size_t rankedInBackground = 20000;

    explicit StorageMapView(QWidget* parent = nullptr);
    StorageMapView(std::shared_ptr<const DiskSnapshot> snapshot, std::string rootID,
                   std::optional<std::string> selectedID, Callback onSelect, Callback onOpen,
                   QWidget* parent = nullptr);
    ~StorageMapView() override;

    // Each setter does only the work its change needs.
    void setSnapshot(std::shared_ptr<const DiskSnapshot> snapshot);
    void setRootID(std::string rootID);
    // Both at once, rebuilding the entries no more than once.
    void setContent(std::shared_ptr<const DiskSnapshot> snapshot, std::string rootID);
    void setSelectedID(std::optional<std::string> selectedID);
    void setOnSelect(Callback onSelect) { onSelect_ = std::move(onSelect); }
    void setOnOpen(Callback onOpen) { onOpen_ = std::move(onOpen); }
    // Hover changes then apply at once instead of easing over 0.16 s.
    void setReduceMotion(bool reduceMotion) { reduceMotion_ = reduceMotion; }

    const std::string& rootID() const { return rootID_; }
    const std::optional<std::string>& selectedID() const { return selectedID_; }
    const std::vector<StorageMapEntry>& entries() const { return entries_; }
    // The tiles at the current size.
    const std::vector<mapgeometry::Tile>& tiles() const;
    bool isEmptyState() const { return entries_.empty() && !isRanking(); }
    // The folder's entries are still being made on a worker.
    bool isRanking() const { return ranking_.isValid(); }

    // The drawn tile whose rounded shape holds `point`, if any.
    std::optional<std::size_t> tileAt(QPointF point) const;
    // The tile of entry `id`, if drawn.
    std::optional<std::size_t> tileIndex(const std::string& id) const;
    bool isSelected(std::size_t tile) const;
    // 0 at rest, 1 fully hovered; in between while the hover eases.
    double hoverProgress(std::size_t tile) const;

    QString toolTipText(std::size_t tile) const;
    QString accessibleLabel(std::size_t tile) const;
    QString accessibleHint(std::size_t tile) const;
    // Named accessibility actions of a tile, in order; empty for the group tile.
    QStringList accessibleActionNames(std::size_t tile) const;
    void performAccessibleAction(std::size_t tile, const QString& name);
    // The tile's context menu; none for the group tile. The caller owns the menu.
    QMenu* makeContextMenu(std::size_t tile, QWidget* parent = nullptr);
    // The accessibility element of a drawn tile (kept until the entries change).
    QAccessibleInterface* accessibleTile(std::size_t tile) const;
    QRect tileRect(std::size_t tile) const;
    // The node tile the keyboard is on (Tab, arrows, Home/End); none before the map had focus.
    std::optional<std::size_t> focusedTileIndex() const { return focusedTile(); }
    // The focus ring goes around the keyboard's tile (around the map while it has none).
    QRectF focusRingRect() const override;
    double focusRingRadius() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void rebuildEntries();
    void entriesChanged();
    void rankInBackground(DiskSnapshot::Index folder);
    std::vector<std::size_t> buttonTiles() const;
    std::optional<std::size_t> focusedTile() const;
    void setFocusedTile(std::optional<std::size_t> tile);
    bool stepFocus(int step);
    void invalidateLayout();
    std::vector<StorageMapEntry> nestedEntries(const StorageMapEntry& entry);
    QColor tileColor(const StorageMapEntry& entry) const;
    void setHoveredEntry(std::optional<std::string> id);
    void animateHover(const std::string& id, double target);
    void select(std::size_t tile);
    void open(std::size_t tile);
    void paintTile(QPainter& painter, const mapgeometry::Tile& tile, bool selected, double hover) const;
    void paintEmptyState(QPainter& painter) const;

    std::shared_ptr<const DiskSnapshot> snapshot_;
    std::string rootID_;
    std::optional<std::string> selectedID_;
    Callback onSelect_;
    Callback onOpen_;
    bool reduceMotion_ = false;

    std::vector<StorageMapEntry> entries_;
    TaskHandle ranking_;              // valid while the shown folder is ranked on a worker
    std::uint64_t rankingRevision_ = 0;
    mutable std::vector<mapgeometry::Tile> tiles_;
    mutable bool tilesValid_ = false;
    mutable QSize tilesSize_;

    std::optional<std::string> hoveredID_;
    std::optional<std::string> focusedID_;  // entry id of the keyboard's tile
    std::unordered_map<std::string, double> hover_;  // entry id -> progress; absent = 0
    std::map<std::string, QVariantAnimation*> animations_;

    void dropAccessibleTiles();
    mutable std::unordered_map<std::string, unsigned> accessibleTiles_;  // entry id -> QAccessible::Id

    std::optional<std::size_t> pressedTile_;
    bool pressIsDoubleClick_ = false;
};

} // namespace morvo
