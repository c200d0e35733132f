#pragma once
// The Large files section: the search field, the size and sort pickers, the summary of what
// matched and the list of up to 500 results. The screen never searches, sorts or cuts anything:
// it assigns the search text and filters to AppState (which searches on a worker) and draws what
// AppState publishes. Only visible rows are painted (a list view over a small model).

#include "MorvoCore/DiskModels.h"

#include <QWidget>

#include <vector>

class QAbstractButton;
class QComboBox;
class QLineEdit;
class QListView;
class QMenu;

namespace morvo {

class AppState;
class FileListModel;
class KitButton;
class SearchBar;
class TextLabel;

class LargeFilesView : public QWidget {
    Q_OBJECT

public:
    // `searchFocused`: whether the search field starts with keyboard focus.
    explicit LargeFilesView(AppState& state, bool searchFocused = false, QWidget* parent = nullptr);

    // The parts, for the window and for tests.
    QString titleText() const;
    QLineEdit* searchField() const { return searchField_; }
    KitButton* clearButton() const { return clearButton_; }
    QWidget* busyIndicator() const { return busy_; }
    QComboBox* sizePicker() const { return sizePicker_; }
    QComboBox* sortPicker() const { return sortPicker_; }
    KitButton* resetButton() const { return resetButton_; }
    QString matchCountText() const;
    QString matchBytesText() const;
    // Empty while every match is listed.
    QString capNoticeText() const;
    QWidget* emptyState() const { return emptyState_; }
    KitButton* clearFiltersButton() const { return clearFilters_; }
    QListView* list() const { return list_; }
    // Whether the search bar draws its focused outline.
    bool searchFocused() const;

    // The context menu of the row at `row`; the caller owns it. None for a row that does not exist.
    QMenu* makeRowMenu(int row, QWidget* parent = nullptr);

    // Values of the size options, in menu order.
    static const std::vector<std::int64_t>& sizeOptions();

private:
    void updateTitle();
    void updateQuery();
    void updateFilters();
    void updateSummary();
    void updateResults();
    void syncCurrentRow();

    AppState& state_;
    TextLabel* title_;
    SearchBar* searchBar_;
    QLineEdit* searchField_;
    KitButton* clearButton_;
    QWidget* busy_;
    QComboBox* sizePicker_;
    QComboBox* sortPicker_;
    KitButton* resetButton_;
    TextLabel* count_;
    TextLabel* bytes_;
    TextLabel* capNotice_;
    QWidget* emptyState_;
    KitButton* clearFilters_;
    QWidget* listArea_;
    QListView* list_;
    FileListModel* model_;
    bool syncingCurrent_ = false;
};

} // namespace morvo
