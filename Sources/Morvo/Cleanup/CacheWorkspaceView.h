#pragma once
// The "Caches & logs" section: the cache, log and developer-cache locations the discovery scan
// found, three summary cards, search and area filter, one card per location, the progress, error
// and scan notes of the scan, and "Add N to queue". Every control is one call or assignment on
// CleanupDiscoveryState; the cleanup state is only read (busy flags, what is queued). The first
// time the view is shown with no discovery started, it starts one.

#include "MorvoCore/CleanupDiscovery.h"

#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QAbstractButton;
class QLineEdit;
class QScrollArea;

namespace morvo {

class CacheEntryRow;
class CacheMetricCard;
class CacheNoteBox;
class SymbolView;
class CleanupDiscoveryState;
class CleanupState;
class KitButton;
class RowStack;
class TextLabel;

class CacheWorkspaceView : public QWidget {
    Q_OBJECT

public:
    CacheWorkspaceView(CleanupDiscoveryState& state, CleanupState& cleanup, QWidget* parent = nullptr);

    // Selected, unblocked entries not yet in the queue.
    std::int64_t pendingCount() const;
    bool isBusy() const;

    // The parts, for tests.
    QString cardValue(int card) const;      // 0 measured size, 1 locations found, 2 your selection
    QString cardSubtitle(int card) const;
    QLineEdit* searchField() const { return search_; }
    KitButton* clearSearchButton() const { return clearSearch_; }
    // The picker ("cache-category") and its segments in order: All, App caches, Logs, Developer.
    QWidget* areaPicker() const { return picker_; }
    QAbstractButton* areaSegment(int index) const;
    KitButton* scanButton() const { return scan_; }
    KitButton* cancelScanButton() const { return cancelScan_; }
    KitButton* clearSelectionButton() const { return clearSelection_; }
    KitButton* addButton() const { return add_; }
    // The progress text while scanning; empty otherwise.
    QString progressText() const;
    // The error or status note shown; empty when none (or while the progress row shows).
    QString noteText() const;
    bool noteIsError() const;
    // The scan-notes group: its label, whether it is shown and expanded, the warnings listed.
    QAbstractButton* scanNotesToggle() const;
    bool scanNotesShown() const;
    bool scanNotesExpanded() const;
    std::vector<QString> scanNoteTexts() const;
    // The list header's count ("3 locations"); empty when the list is hidden.
    QString listCountText() const;
    bool isShowingEmptyState() const;
    QString emptyTitle() const;
    QString emptyMessage() const;
    CacheEntryRow* row(const std::string& id) const;
    std::vector<std::string> rowIDs() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateHeader();
    void updateNotice();
    void updateCards();
    void updateFilters();
    void updateList();
    void updateFooter();
    void refresh();

    CleanupDiscoveryState& state_;
    CleanupState& cleanup_;

    KitButton* scan_;
    QWidget* progressRow_;
    TextLabel* progressText_;
    KitButton* cancelScan_;
    CacheNoteBox* noteBox_;
    QWidget* scanNotes_;
    KitButton* scanNotesToggle_;
    QScrollArea* scanNotesList_;
    QWidget* scanNotesContent_;
    std::vector<std::string> shownWarnings_;
    std::vector<TextLabel*> warningLabels_;
    CacheMetricCard* cards_[3];
    QLineEdit* search_;
    KitButton* clearSearch_;
    QWidget* picker_;
    std::vector<QAbstractButton*> segments_;
    QWidget* listHeader_;
    TextLabel* listCount_;
    QScrollArea* list_;
    RowStack* rows_;
    QWidget* empty_;
    SymbolView* emptySymbol_;
    TextLabel* emptyTitle_;
    TextLabel* emptyMessage_;
    KitButton* clearSelection_;
    KitButton* add_;
};

} // namespace morvo
