#pragma once
// The Leftovers section: the possible leftovers of removed applications, one card per bundle
// identifier, whose items the user ticks and adds to the cleanup queue. Nothing is selected by the
// screen itself; the selection lives in InventoryState.

#include "Morvo/State/CleanupModels.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "MorvoCore/AppInventory.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QVBoxLayout;

namespace morvo {

class CleanupState;
class InventoryEmptyState;
class InventoryInlineNote;
class InventoryPageHeader;
class InventoryRelatedRow;
class InventoryScanNotice;
class KitButton;
class TextLabel;

// The ticked leftover items that can be queued now, group after group: nothing for an incomplete
// result; an item whose owner runs or whose path is queued is left out.
std::vector<CleanupCandidate> leftoverCandidates(const AppInventoryResult& result, const InventoryIDSet& selectedIDs,
                                                 const std::function<bool(const std::string& owner)>& isRunning,
                                                 const std::function<bool(const Url&)>& isQueued);

class LeftoversWorkspaceView : public InventoryWorkspace {
    Q_OBJECT

public:
    LeftoversWorkspaceView(InventoryState& state, CleanupState& cleanup, QWidget* parent = nullptr);

    // The empty state of the main area, or null while groups are listed.
    InventoryEmptyState* emptyState() const;
    // The cards, in result order.
    std::vector<QWidget*> groupCards() const;
    std::vector<InventoryRelatedRow*> rows() const { return rows_; }
    KitButton* addButton() const { return add_; }
    QString readyText() const;

    std::vector<CleanupCandidate> candidates() const;
    // The add button's action.
    void addSelectedToQueue();

private:
    void rebuild();
    void refresh();
    QWidget* leftoverGroup(const LeftoverGroup& group);

    QVBoxLayout* mainSlot_;
    QWidget* mainArea_ = nullptr;
    InventoryEmptyState* empty_ = nullptr;
    std::vector<QWidget*> cards_;
    std::vector<std::pair<std::string, InventoryInlineNote*>> runningNotes_;
    std::vector<InventoryRelatedRow*> rows_;
    TextLabel* ready_;
    KitButton* add_;
};

} // namespace morvo
