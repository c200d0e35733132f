#pragma once
// The Cleanup section: the queue that the other screens fill, how much is in it, the outcomes of
// the last move, and "Review for Trash". It moves nothing: every control is one call on the
// shared CleanupState, and the review itself happens in the review sheet.

#include "Morvo/State/CleanupModels.h"

#include <QWidget>

#include <functional>
#include <string>

class QScrollArea;
class QStackedWidget;

namespace morvo {

class CleanupBusyRow;
class CleanupMessage;
class CleanupQueueRow;
class CleanupResultRow;
class CleanupState;
class KitButton;
class RowStack;
class TextLabel;

class CleanupWorkspaceView : public QWidget {
    Q_OBJECT

public:
    CleanupWorkspaceView(CleanupState& state, std::function<void()> findFiles, std::function<void()> findApplications,
                         QWidget* parent = nullptr);

    // "0 items", "1 item", "1,250 items".
    static QString queueCountText(std::size_t count);
    // The file-style sum of the known sizes, or "—" when no queued item has one.
    static QString knownSizeText(const CleanupState& state);
    // "3 moved · 2 not moved"; only "3 moved" when everything moved.
    static QString resultSummary(const std::vector<CleanupOutcome>& results);

    // The parts, for the window and for tests.
    QString shownQueueCount() const;
    QString shownKnownSize() const;
    QString shownResultSummary() const;
    KitButton* clearQueueButton() const { return clearQueue_; }
    KitButton* reviewButton() const { return review_; }
    KitButton* cancelButton() const;
    KitButton* findFilesButton() const { return findFilesButton_; }
    KitButton* findApplicationsButton() const { return findApplicationsButton_; }
    // The footer's busy text ("Checking your selection…", "Moving selected items…"); empty when idle.
    QString busyText() const;
    bool isShowingEmptyState() const;
    bool isShowingQueue() const;
    bool isShowingResults() const;
    // The information line at the top of the list; null when hidden.
    CleanupMessage* statusLine() const;
    CleanupQueueRow* queueRow(const std::string& id) const;
    CleanupResultRow* resultRow(const std::string& id) const;
    std::size_t queueRowCount() const;
    // The top padding above "Last review" (8 below a queue, 0 alone).
    int resultListTopPadding() const;

private:
    void updateQueue();
    void updateResults();
    void updateBusy();
    void updateStatus();
    void updateContent();

    CleanupState& state_;
    std::function<void()> findFiles_;
    std::function<void()> findApplications_;

    TextLabel* queueCount_;
    TextLabel* knownSize_;
    KitButton* clearQueue_;
    QStackedWidget* content_;
    QWidget* emptyState_;
    KitButton* findFilesButton_;
    KitButton* findApplicationsButton_;
    QScrollArea* scroll_;
    CleanupMessage* status_;
    QWidget* queueSection_;
    RowStack* queueRows_;
    QWidget* resultSection_;
    TextLabel* summary_;
    RowStack* resultRows_;
    CleanupBusyRow* busyRow_;
    QWidget* idleRow_;
    KitButton* review_;
};

} // namespace morvo
