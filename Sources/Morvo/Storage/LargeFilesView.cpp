#include "Morvo/Storage/LargeFilesView.h"

#include "Morvo/State/AppState.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Storage/FileRow.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/DiskSearch.h"
#include "MorvoCore/Platform/Text.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace morvo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int rowSpacing = 1;

} // namespace

// The listed files, each with its row texts worked out once per result.
class FileListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void reset(const std::vector<DiskNode>& files, const DiskNode& root) {
        beginResetModel();
        files_ = files;
        contents_.clear();
        contents_.reserve(files_.size());
        for (const DiskNode& node : files_) contents_.push_back(FileRowContent::make(node, root));
        endResetModel();
    }
    const DiskNode& node(int row) const { return files_[static_cast<std::size_t>(row)]; }
    const FileRowContent& content(int row) const { return contents_[static_cast<std::size_t>(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(files_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return content(index.row()).accessibleLabel();
        return {};
    }

private:
    std::vector<DiskNode> files_;
    std::vector<FileRowContent> contents_;
};

namespace {

// Paints each result as a FileRow, selected by AppState's selection rather than the view's.
class FileRowDelegate : public QStyledItemDelegate {
public:
    FileRowDelegate(const FileListModel& model, const AppState& state, QObject* parent)
        : QStyledItemDelegate(parent), model_(model), state_(state) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QRectF rect = QRectF(option.rect).adjusted(0, 0, 0, -rowSpacing);
        const bool selected = state_.selectedID() == model_.node(index.row()).id;
        FileRow::paint(*painter, rect, model_.content(index.row()), selected, false);
    }
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(200, FileRow::rowHeight(false) + rowSpacing);
    }

private:
    const FileListModel& model_;
    const AppState& state_;
};

// The rounded surface the list sits on: Theme::panel at half opacity.
class ListSurface : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedRect(QRectF(rect()), 12), Theme::panel(0.5));
    }
};

} // namespace

// The search bar: the field and its companions on Theme::panel, outlined in the accent while the
// field has focus.
class SearchBar : public QWidget {
public:
    explicit SearchBar(QWidget* parent = nullptr) : QWidget(parent) {}
    void setFocused(bool focused) {
        if (focused == focused_) return;
        focused_ = focused;
        update();
    }
    bool isFocused() const { return focused_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10);
        painter.fillPath(shape, Theme::panel());
        painter.setPen(QPen(focused_ ? Theme::accent(0.45) : Theme::border(), 1));
        painter.drawPath(shape);
    }

private:
    bool focused_ = false;
};

const std::vector<std::int64_t>& LargeFilesView::sizeOptions() {
    static const std::vector<std::int64_t> values = {0, 100000000, 1000000000, 5000000000};
    return values;
}

LargeFilesView::LargeFilesView(AppState& state, bool searchFocused, QWidget* parent) : QWidget(parent), state_(state) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(26, 26, 26, 26);
    stack->setSpacing(19);

    // Header.
    auto* header = new QVBoxLayout;
    header->setSpacing(7);
    title_ = new TextLabel(QString(), systemFont(27, QFont::Medium, FontDesign::standard, -0.8), Theme::text);
    header->addWidget(title_);
    header->addWidget(new TextLabel(QStringLiteral("The files that make a difference, all in one place."), systemFont(12),
                                    Theme::secondary));
    stack->addLayout(header);

    // Search bar.
    searchBar_ = new SearchBar;
    auto* bar = new QHBoxLayout(searchBar_);
    bar->setContentsMargins(14, 14, 14, 14);
    bar->setSpacing(11);
    bar->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), 14, Theme::accent));
    searchField_ = makeSearchField(QStringLiteral("file-search"), QStringLiteral("Search files"),
                                   QStringLiteral("Search file names or paths…"), 13);
    searchField_->setAttribute(Qt::WA_MacShowFocusRect, false);
    FocusRing::setShape(searchField_, searchBar_, 10);
    connect(qApp, &QApplication::focusChanged, searchBar_,
            [bar = searchBar_, field = searchField_](QWidget*, QWidget* now) { bar->setFocused(now == field); });
    connect(searchField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        state_.setQuery(std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    });
    bar->addWidget(searchField_, 1);
    clearButton_ = new KitButton;
    clearButton_->addSymbol(QStringLiteral("xmark.circle.fill"), 13, Theme::muted);
    clearButton_->setAccessibleName(QStringLiteral("Clear search"));
    connect(clearButton_, &QAbstractButton::clicked, this, [this] { state_.setQuery(std::string()); });
    bar->addWidget(clearButton_);
    busy_ = new SmallSpinner;
    busy_->setAccessibleName(QStringLiteral("Searching"));
    bar->addWidget(busy_);
    stack->addWidget(searchBar_);

    // Filters.
    auto* filters = new QHBoxLayout;
    filters->setSpacing(12);
    sizePicker_ = new QComboBox;
    sizePicker_->setAccessibleName(QStringLiteral("Size"));
    sizePicker_->setFont(systemFont(11));
    sizePicker_->setFixedWidth(131);
    FocusRing::setShape(sizePicker_, sizePicker_, 7);
    for (const char* label : {"Any size", "100 MB and up", "1 GB and up", "5 GB and up"}) sizePicker_->addItem(QString::fromUtf8(label));
    connect(sizePicker_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(sizeOptions().size())) state_.setMinimumSize(sizeOptions()[index]);
    });
    filters->addWidget(sizePicker_);
    sortPicker_ = new QComboBox;
    sortPicker_->setAccessibleName(QStringLiteral("Sort files"));
    sortPicker_->setFont(systemFont(11));
    sortPicker_->setFixedWidth(155);
    FocusRing::setShape(sortPicker_, sortPicker_, 7);
    for (FileSort sort : allFileSorts) sortPicker_->addItem(qs(rawValue(sort)));
    connect(sortPicker_, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(allFileSorts.size())) state_.setSort(allFileSorts[index]);
    });
    filters->addWidget(sortPicker_);
    filters->addStretch(1);
    resetButton_ = new KitButton;
    resetButton_->addText(QStringLiteral("Reset"), systemFont(11), Theme::accent);
    connect(resetButton_, &QAbstractButton::clicked, this, [this] { state_.resetFilters(); });
    filters->addWidget(resetButton_);
    stack->addLayout(filters);

    // Summary.
    auto* summary = new QHBoxLayout;
    summary->setSpacing(8);  // the default stack spacing, not the 19 of the column around it
    count_ = new TextLabel(QString(), systemFont(11, QFont::Medium), Theme::text);
    bytes_ = new TextLabel(QString(), systemFont(11), Theme::muted);
    capNotice_ = new TextLabel(QString(), systemFont(9), Theme::muted);
    summary->addWidget(count_);
    summary->addWidget(bytes_);
    summary->addStretch(1);
    summary->addWidget(capNotice_);
    stack->addLayout(summary);

    // Results: the empty state or the list.
    emptyState_ = new QWidget;
    auto* empty = new QVBoxLayout(emptyState_);
    empty->setSpacing(13);
    empty->addStretch(1);
    auto* symbol = new SymbolView(QStringLiteral("doc.text.magnifyingglass"), 37, Theme::accent);
    symbol->setTint(Theme::accent, 0.65);
    empty->addWidget(symbol, 0, Qt::AlignHCenter);
    empty->addWidget(new TextLabel(QStringLiteral("A little more room to look."), systemFont(17, QFont::Medium), Theme::text),
                     0, Qt::AlignHCenter);
    auto* hint = new TextLabel(QStringLiteral("No files match these filters. Try another name or a smaller size."),
                               systemFont(12), Theme::secondary);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignHCenter);
    empty->addWidget(hint);
    clearFilters_ = new KitButton(std::make_shared<QuietButtonStyle>());
    clearFilters_->addText(QStringLiteral("Clear filters"));
    connect(clearFilters_, &QAbstractButton::clicked, this, [this] { state_.resetFilters(); });
    empty->addWidget(clearFilters_, 0, Qt::AlignHCenter);
    empty->addStretch(1);
    stack->addWidget(emptyState_, 1);

    listArea_ = new ListSurface;
    auto* area = new QVBoxLayout(listArea_);
    area->setContentsMargins(0, 0, 0, 0);
    model_ = new FileListModel(this);
    list_ = new QListView;
    list_->setModel(model_);
    list_->setItemDelegate(new FileRowDelegate(*model_, state_, list_));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setUniformItemSizes(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setMouseTracking(false);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->viewport()->setAutoFillBackground(false);
    list_->setAutoFillBackground(false);
    list_->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    FocusRing::setShape(list_, listArea_, 12);
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) state_.setSelectedID(model_->node(index.row()).id);
    });
    // As in the platform's lists, the selection follows the keyboard's current row (arrows,
    // Home/End, Page Up/Down), and Return selects the current row.
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (index.isValid() && !syncingCurrent_) state_.setSelectedID(model_->node(index.row()).id);
    });
    connect(list_, &QListView::activated, this, [this](const QModelIndex& index) {
        if (index.isValid()) state_.setSelectedID(model_->node(index.row()).id);
    });
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = list_->indexAt(pos);
        if (!index.isValid()) return;
        std::unique_ptr<QMenu> menu(makeRowMenu(index.row(), this));
        if (menu) menu->exec(list_->viewport()->mapToGlobal(pos));
    });
    area->addWidget(list_);
    stack->addWidget(listArea_, 1);

    connect(&state_, &AppState::categoryChanged, this, [this] {
        updateTitle();
        updateFilters();
    });
    connect(&state_, &AppState::queryChanged, this, [this] {
        updateQuery();
        updateFilters();
    });
    connect(&state_, &AppState::minimumSizeChanged, this, &LargeFilesView::updateFilters);
    connect(&state_, &AppState::sortChanged, this, &LargeFilesView::updateFilters);
    connect(&state_, &AppState::isSearchingChanged, this, [this] { busy_->setVisible(state_.isSearching()); });
    connect(&state_, &AppState::matchingCountChanged, this, &LargeFilesView::updateSummary);
    connect(&state_, &AppState::matchingBytesChanged, this, &LargeFilesView::updateSummary);
    connect(&state_, &AppState::filesChanged, this, &LargeFilesView::updateResults);
    connect(&state_, &AppState::snapshotChanged, this, &LargeFilesView::updateResults);
    connect(&state_, &AppState::selectedIDChanged, list_->viewport(), [this] {
        syncCurrentRow();
        list_->viewport()->update();
    });

    updateTitle();
    updateQuery();
    updateFilters();
    busy_->setVisible(state_.isSearching());
    updateResults();
    if (searchFocused) searchField_->setFocus(Qt::OtherFocusReason);
}

QString LargeFilesView::titleText() const { return title_->text(); }
QString LargeFilesView::matchCountText() const { return count_->text(); }
QString LargeFilesView::matchBytesText() const { return bytes_->text(); }
QString LargeFilesView::capNoticeText() const { return capNotice_->isHidden() ? QString() : capNotice_->text(); }
bool LargeFilesView::searchFocused() const { return searchBar_->isFocused(); }

void LargeFilesView::updateTitle() {
    const auto category = state_.category();
    title_->setText(category ? qs(displayName(*category)) : QStringLiteral("Find your space."));
}

void LargeFilesView::updateQuery() {
    const QString query = qs(state_.query());
    if (searchField_->text() != query) searchField_->setText(query);
    clearButton_->setVisible(!state_.query().empty());
}

void LargeFilesView::updateFilters() {
    const auto& sizes = sizeOptions();
    const auto size = std::find(sizes.begin(), sizes.end(), state_.minimumSize());
    sizePicker_->setCurrentIndex(size == sizes.end() ? -1 : static_cast<int>(size - sizes.begin()));
    const auto sort = std::find(allFileSorts.begin(), allFileSorts.end(), state_.sort());
    sortPicker_->setCurrentIndex(static_cast<int>(sort - allFileSorts.begin()));
    // The sort order alone is not a filter worth resetting.
    resetButton_->setVisible(state_.category().has_value() || state_.minimumSize() > 0 || !state_.query().empty());
}

void LargeFilesView::updateSummary() {
    const std::int64_t count = state_.matchingCount();
    count_->setText(qs(text::formatInteger(count)) + (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files")));
    bytes_->setText(QStringLiteral("· ") + formatByteCount(state_.matchingBytes()) + QStringLiteral(" logical size"));
    const auto listed = static_cast<std::int64_t>(state_.files().size());
    capNotice_->setText(QStringLiteral("Showing first %1").arg(listed));
    capNotice_->setVisible(listed < count);
}

void LargeFilesView::syncCurrentRow() {
    // The current row is the selected file's, so that the keys start from the selection.
    QModelIndex wanted;
    if (const auto& selected = state_.selectedID())
        for (int row = 0; row < model_->rowCount(); ++row)
            if (model_->node(row).id == *selected) {
                wanted = model_->index(row);
                break;
            }
    if (wanted == list_->currentIndex()) return;
    syncingCurrent_ = true;
    list_->selectionModel()->setCurrentIndex(wanted, QItemSelectionModel::NoUpdate);
    syncingCurrent_ = false;
}

void LargeFilesView::updateResults() {
    model_->reset(state_.files(), state_.snapshot()->nodeWithoutChildren(DiskSnapshot::rootIndex));
    syncCurrentRow();
    const bool empty = state_.files().empty();
    emptyState_->setVisible(empty);
    listArea_->setVisible(!empty);
    updateSummary();
}

QMenu* LargeFilesView::makeRowMenu(int row, QWidget* parent) {
    if (row < 0 || row >= model_->rowCount()) return nullptr;
    const DiskNode node = model_->node(row);
    auto* menu = new QMenu(parent);
    menu->setToolTipsVisible(true);
    CleanupState& cleanup = state_.cleanup();
    const bool queued = cleanup.contains(node.url);
    QAction* queue = menu->addAction(queued ? QStringLiteral("In cleanup queue") : QStringLiteral("Add to cleanup"));
    queue->setEnabled(!queued && !cleanup.isPreparing() && !cleanup.isTrashing());
    connect(queue, &QAction::triggered, this, [this, node] { state_.queueForCleanup(node); });

    const QColor iconColor = Theme::text();
    QAction* reveal = menu->addAction(symbolIcon("arrow.up.forward.app", iconColor), QStringLiteral("Reveal in Finder"));
    reveal->setToolTip(QStringLiteral("Reveal in Finder"));
    connect(reveal, &QAction::triggered, this, [this, node] {
        if (state_.hasScannedFolder()) state_.workspace().reveal({node.url});
    });
    QAction* copy = menu->addAction(symbolIcon("doc.on.doc", iconColor), QStringLiteral("Copy path"));
    copy->setToolTip(QStringLiteral("Copy path"));
    connect(copy, &QAction::triggered, this, [this, node] { state_.copyPath(node); });
    return menu;
}

} // namespace morvo
