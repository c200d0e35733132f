#pragma once
// The Applications section: the searchable list of installed applications and the detail of the
// picked one with its bundle and related data, from which the user adds exactly what they chose
// to the cleanup queue. Everything shown and changed lives in InventoryState and CleanupState;
// the screen keeps nothing of its own.

#include "Morvo/State/CleanupModels.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "MorvoCore/AppInventory.h"

#include <QAbstractButton>
#include <QWidget>

#include <functional>
#include <vector>

class QLineEdit;
class QScrollArea;
class QVBoxLayout;

namespace morvo {

class CleanupState;
class InventoryAppIcon;
class StateCheckBox;
class InventoryEmptyState;
class InventoryPageHeader;
class InventoryScanNotice;
class KitButton;
class TextLabel;

// What the candidates of one application depend on besides the application itself.
struct ApplicationCandidateInputs {
    bool isRunning = false;
    bool includeBundle = true;
    bool hasOtherCopy = false;
    InventoryIDSet selectedRelatedIDs;
    std::function<bool(const Url&)> isQueued;  // empty: nothing is queued
};

// The bundle first (when included), then the ticked related items in their order (none when
// another copy shares the identifier); nothing for a running application; already queued paths
// dropped. Sizes are left for the review to measure.
std::vector<CleanupCandidate> applicationCandidates(const InstalledApp& app, const ApplicationCandidateInputs& inputs);

// Title and message of the detail area when no application is selected.
struct InventoryEmptyText {
    QString title;
    QString message;
};
InventoryEmptyText applicationsEmptyText(bool hasLoaded, bool isLoading, const std::string& query);

// One application in the list: icon, name and bundle identifier (or "Running"), a dot when
// selected. Clicking selects it.
class ApplicationRow : public QAbstractButton {
    Q_OBJECT

public:
    ApplicationRow(const InstalledApp& app, QWidget* parent = nullptr);
    void setFlags(bool selected, bool running);
    const std::string& appID() const { return id_; }
    bool isSelectedRow() const { return selected_; }
    // "Running", or the bundle identifier.
    QString subtitleText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string id_;
    QString name_;
    QString bundleIdentifier_;
    bool selected_ = false;
    bool running_ = false;
    InventoryAppIcon* icon_;
};

class ApplicationsWorkspaceView : public InventoryWorkspace {
    Q_OBJECT

public:
    ApplicationsWorkspaceView(InventoryState& state, CleanupState& cleanup, QWidget* parent = nullptr);

    // The parts, for the window and for tests.
    QLineEdit* searchField() const { return search_; }
    KitButton* clearSearchButton() const { return clearSearch_; }
    QString listCountText() const;
    // The rows of the listed (filtered) applications, in order.
    std::vector<ApplicationRow*> rows() const;
    // The empty state of the detail area, or null while an application is shown.
    InventoryEmptyState* emptyState() const;
    // The detail pane of the selected application, or null.
    QWidget* detail() const;
    StateCheckBox* includeBundleCheckBox() const;
    KitButton* addButton() const;
    // "<n> ready to add" of the detail footer; empty without a selection.
    QString readyText() const;

    // The selected application: the one of the whole result with the selected id.
    const InstalledApp* selectedApp() const;
    std::vector<CleanupCandidate> candidates(const InstalledApp& app) const;
    // The add button's action.
    void addSelectedToQueue();

private:
    class Detail;

    void rebuildList();
    void applyFilter();
    void refreshRows();
    void rebuildDetail();
    void refreshDetail();
    void queryChanged();

    QLineEdit* search_;
    KitButton* clearSearch_;
    TextLabel* count_;
    QWidget* listContent_;
    QVBoxLayout* listLayout_;
    std::vector<ApplicationRow*> allRows_;  // one per application of the result
    std::vector<ApplicationRow*> rows_;     // the listed ones, in order
    QVBoxLayout* detailSlot_;
    QWidget* detailArea_ = nullptr;  // the Detail or the empty state
    Detail* detail_ = nullptr;
    InventoryEmptyState* empty_ = nullptr;
};

} // namespace morvo
