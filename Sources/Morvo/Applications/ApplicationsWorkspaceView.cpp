#include "Morvo/Applications/ApplicationsWorkspaceView.h"

#include "Morvo/State/CleanupState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/ListKeys.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/Platform/Text.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace morvo {

std::vector<CleanupCandidate> applicationCandidates(const InstalledApp& app, const ApplicationCandidateInputs& inputs) {
    std::vector<CleanupCandidate> out;
    if (inputs.isRunning) return out;
    if (inputs.includeBundle)
        out.push_back(CleanupCandidate{app.bundleURL, app.name, "Application bundle explicitly selected for review.",
                                       "Application", "app.fill", std::nullopt,
                                       app.bundleIdentifier.empty() ? OptionalString{} : OptionalString{app.bundleIdentifier}});
    // Both copies may use the data of a shared identifier, so none of it is offered.
    if (!inputs.hasOtherCopy) {
        for (const auto& file : app.relatedFiles) {
            if (!inputs.selectedRelatedIDs.count(file.url.path)) continue;
            out.push_back(CleanupCandidate{file.url, file.title, file.reason + " " + file.caution,
                                           std::string(title(file.kind)), "folder", std::nullopt,
                                           file.ownerBundleIdentifier});
        }
    }
    if (inputs.isQueued)
        out.erase(std::remove_if(out.begin(), out.end(), [&](const CleanupCandidate& c) { return inputs.isQueued(c.url); }),
                  out.end());
    return out;
}

InventoryEmptyText applicationsEmptyText(bool hasLoaded, bool isLoading, const std::string& query) {
    if (hasLoaded)
        return {QStringLiteral("Find a familiar face."),
                query.empty() ? QStringLiteral("No removable applications were found in the checked folders.")
                              : QStringLiteral("No applications match this search.")};
    return {QStringLiteral("Scan applications"),
            isLoading ? QStringLiteral("Checking the applications installed on this Mac…")
                      : QStringLiteral("Scan your applications to see what’s installed on this Mac.")};
}

namespace {

constexpr double rowPadding = 10;
constexpr double rowIcon = 32;

QFont rowNameFont() { return systemFont(12, QFont::Medium); }
QFont rowSubtitleFont() { return systemFont(9); }

// A rounded card: a fill and a 1-point stroke of the same shape.
class Card : public QWidget {
public:
    Card(AdaptiveColor fill, double fillOpacity, double radius, QWidget* parent = nullptr)
        : QWidget(parent), fill_(fill), opacity_(fillOpacity), radius_(radius) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_);
        p.fillPath(shape, fill_(opacity_));
        p.setPen(QPen(Theme::border(), 1));
        p.drawPath(shape);
    }

private:
    AdaptiveColor fill_;
    double opacity_;
    double radius_;
};

// The footer of the detail pane: Theme::sidebar at 0.5 inside the pane's rounded shape, with a
// rule along its top edge.
class DetailFooter : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (QWidget* pane = parentWidget()) {
            QPainterPath shape = roundedRect(QRectF(pane->rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14);
            shape.translate(-QPointF(pos()));
            p.setClipPath(shape);
        }
        p.fillRect(rect(), Theme::sidebar(0.5));
        p.fillRect(QRectF(0, 0, width(), 1), Theme::border());
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------

ApplicationRow::ApplicationRow(const InstalledApp& app, QWidget* parent)
    : QAbstractButton(parent), id_(app.id()), name_(inventoryText(app.name)),
      bundleIdentifier_(inventoryText(app.bundleIdentifier)) {
    setObjectName(QStringLiteral("application-") + inventoryText(id_));
    setToolTip(inventoryText(id_));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    FocusRing::setShape(this, this, 9);
    icon_ = new InventoryAppIcon(app, rowIcon, this);
    setFlags(false, false);
}

void ApplicationRow::setFlags(bool selected, bool running) {
    selected_ = selected;
    running_ = running;
    setAccessibleName(name_ + QStringLiteral(", ") + inventoryText(id_) + (running ? QStringLiteral(", running") : QString()));
    update();
}

QString ApplicationRow::subtitleText() const { return running_ ? QStringLiteral("Running") : bundleIdentifier_; }

QSize ApplicationRow::sizeHint() const {
    const double lines = QFontMetricsF(rowNameFont()).height() + 5 + QFontMetricsF(rowSubtitleFont()).height();
    const double height = std::max(rowIcon, lines) + 2 * rowPadding;
    return {240, static_cast<int>(std::ceil(height))};
}

QSize ApplicationRow::minimumSizeHint() const { return {static_cast<int>(2 * rowPadding + rowIcon), sizeHint().height()}; }

void ApplicationRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    if (selected_) p.fillPath(roundedRect(bounds, 9), Theme::accent(0.09));
    icon_->move(static_cast<int>(rowPadding), static_cast<int>(std::round((height() - rowIcon) / 2)));

    const double textLeft = rowPadding + rowIcon + 11;
    const double dot = selected_ ? 4 + 11 : 0;
    const double textWidth = std::max(0.0, width() - textLeft - rowPadding - dot);
    const QFontMetricsF nameMetrics(rowNameFont());
    const QFontMetricsF subMetrics(rowSubtitleFont());
    const double block = nameMetrics.height() + 5 + subMetrics.height();
    const double top = (height() - block) / 2;
    p.setFont(rowNameFont());
    p.setPen(Theme::text());
    p.drawText(QRectF(textLeft, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
               nameMetrics.elidedText(name_, Qt::ElideRight, textWidth));
    p.setFont(rowSubtitleFont());
    p.setPen(running_ ? Theme::warning() : Theme::muted());
    p.drawText(QRectF(textLeft, top + nameMetrics.height() + 5, textWidth, subMetrics.height()),
               Qt::AlignLeft | Qt::AlignVCenter, subMetrics.elidedText(subtitleText(), Qt::ElideMiddle, textWidth));
    if (selected_) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::accent());
        p.drawEllipse(QRectF(width() - rowPadding - 4, height() / 2.0 - 2, 4, 4));
    }
}

// ---------------------------------------------------------------------------------------------

// The detail pane of one application: header, running note, bundle box, related data and the
// footer with the count and the add button. Built once per application; the flags follow the
// state through refresh().
class ApplicationsWorkspaceView::Detail : public Card {
public:
    Detail(ApplicationsWorkspaceView& view, InstalledApp app)
        : Card(Theme::panel, 0.34, 14), view_(view), app_(std::move(app)) {
        InventoryState& state = view_.state_;
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        auto* pane = new QVBoxLayout(this);
        pane->setContentsMargins(0, 0, 0, 0);
        pane->setSpacing(0);

        auto* scroll = inventoryRowsScrollArea();
        auto* content = new QWidget;
        content->setAutoFillBackground(false);
        auto* stack = new QVBoxLayout(content);
        stack->setContentsMargins(20, 20, 20, 20);
        stack->setSpacing(21);

        // Header.
        auto* head = new QHBoxLayout;
        head->setSpacing(15);
        head->addWidget(new InventoryAppIcon(app_, 55));
        auto* names = new QVBoxLayout;
        names->setSpacing(7);
        names->addWidget(new SelectableText(inventoryText(app_.name),
                                            systemFont(23, QFont::Medium, FontDesign::standard, -0.6), Theme::text));
        names->addWidget(new SelectableText(inventoryText(app_.bundleIdentifier),
                                            systemFont(10, QFont::Normal, FontDesign::monospaced), Theme::secondary));
        head->addLayout(names, 1);
        stack->addLayout(head);

        runningNote_ = new InventoryInlineNote(
            QStringLiteral("pause.circle"),
            QStringLiteral("Quit ") + inventoryText(app_.name) +
                QStringLiteral(" before adding this application or its data to the cleanup queue."),
            Theme::warning);
        stack->addWidget(runningNote_);

        // Bundle section.
        auto* bundle = new QVBoxLayout;
        bundle->setSpacing(12);
        bundle->addWidget(new SectionEyebrow(QStringLiteral("The application")));
        auto* box = new Card(Theme::panel, 1.0, 11);
        auto* boxRow = new QHBoxLayout(box);
        boxRow->setContentsMargins(14, 14, 14, 14);
        boxRow->setSpacing(11);
        include_ = new StateCheckBox([this] {
            InventoryState& s = view_.state_;
            s.setIncludeSelectedApp(!s.includeSelectedApp());
        });
        include_->setObjectName(QStringLiteral("application-include-bundle"));
        include_->setText(QStringLiteral("Include application bundle"));
        include_->setAccessibleName(QStringLiteral("Include ") + inventoryText(app_.name) +
                                    QStringLiteral(" application bundle"));
        boxRow->addWidget(include_, 0, Qt::AlignTop);
        auto* boxText = new QVBoxLayout;
        boxText->setSpacing(7);
        auto* boxTitle = new QHBoxLayout;
        boxTitle->addWidget(new TextLabel(QStringLiteral("Application bundle"), systemFont(12, QFont::Medium), Theme::text));
        boxTitle->addStretch(1);
        bundleQueued_ = inventoryQueuedBadge();
        boxTitle->addWidget(bundleQueued_);
        boxText->addLayout(boxTitle);
        boxText->addWidget(new InventoryPath(app_.bundleURL));
        boxText->addWidget(new TextLabel(QStringLiteral("Its size will be checked in the cleanup review."), systemFont(10),
                                         Theme::muted));
        boxRow->addLayout(boxText, 1);
        bundle->addWidget(box);
        stack->addLayout(bundle);

        // Related data.
        auto* related = new QVBoxLayout;
        related->setSpacing(12);
        auto* caption = new QHBoxLayout;
        caption->addWidget(new SectionEyebrow(QStringLiteral("Related data")));
        caption->addStretch(1);
        caption->addWidget(new TextLabel(QStringLiteral("OPT IN"), systemFont(8, QFont::DemiBold, FontDesign::standard, 1),
                                         Theme::accent));
        related->addLayout(caption);
        hasOtherCopy_ = state.hasOtherCopy(app_);
        if (hasOtherCopy_) {
            related->addWidget(new InventoryInlineNote(
                QStringLiteral("square.on.square"),
                QStringLiteral("Another copy of this application is installed. Related data stays out of this selection "
                               "because both copies may use it."),
                Theme::secondary));
        } else if (app_.relatedFiles.empty()) {
            auto* none = new InventoryWrappedText(QStringLiteral("No exact matches found in the checked Library locations."),
                                                  systemFont(11), Theme::secondary, 3);
            none->setContentsMargins(0, 9, 0, 9);
            related->addWidget(none);
        } else {
            auto* intro = new InventoryWrappedText(
                QStringLiteral("These locations match the app’s identifier. They may contain preferences or personal "
                               "data; select only what you intend to remove."),
                systemFont(10), Theme::secondary, 3);
            related->addWidget(intro);
            for (const auto& file : app_.relatedFiles) {
                const std::string id = file.url.path;
                auto* row = new InventoryRelatedRow(file, false, false, false, [this, id] { view_.state_.toggleRelated(id); });
                rows_.push_back(row);
                related->addWidget(row);
            }
        }
        stack->addLayout(related);
        stack->addStretch(1);
        scroll->setWidget(content);
        content->setAutoFillBackground(false);  // setWidget turns it on
        pane->addWidget(scroll, 1);

        // Footer.
        auto* footer = new DetailFooter;
        auto* foot = new QHBoxLayout(footer);
        foot->setContentsMargins(18, 18, 18, 18);
        foot->setSpacing(12);
        auto* counts = new QVBoxLayout;
        counts->setSpacing(5);
        ready_ = new TextLabel(QString(), systemFont(11, QFont::Medium), Theme::text);
        counts->addWidget(ready_);
        counts->addWidget(new TextLabel(QStringLiteral("Related data is always your choice."), systemFont(9), Theme::muted));
        foot->addLayout(counts);
        foot->addSpacing(8);
        foot->addStretch(1);
        add_ = new KitButton(std::make_shared<AccentButtonStyle>());
        add_->setObjectName(QStringLiteral("application-add-to-queue"));
        add_->addSymbol(QStringLiteral("plus"), 13).addText(QStringLiteral("Add to cleanup queue"));
        add_->setAccessibleName(QStringLiteral("Add to cleanup queue"));
        connect(add_, &QAbstractButton::clicked, this, [this] { view_.addSelectedToQueue(); });
        foot->addWidget(add_);
        pane->addWidget(footer);

        refresh();
    }

    const InstalledApp& app() const { return app_; }
    StateCheckBox* includeCheckBox() const { return include_; }
    KitButton* addButton() const { return add_; }
    QString readyText() const { return ready_->text(); }

    void refresh() {
        const InventoryState& state = view_.state_;
        const CleanupState& cleanup = view_.cleanup_;
        const bool running = state.isRunning(app_);
        const bool busy = view_.isBusy();
        runningNote_->setVisible(running);
        include_->setSelected(state.includeSelectedApp());
        include_->setEnabled(!running && !busy);
        bundleQueued_->setVisible(cleanup.contains(app_.bundleURL));
        for (auto* row : rows_) {
            const auto& file = row->file();
            row->setFlags(state.selectedRelatedIDs().count(file.url.path) > 0, running || busy, cleanup.contains(file.url));
        }
        const auto count = view_.candidates(app_).size();
        ready_->setText(QString::number(count) + QStringLiteral(" ready to add"));
        add_->setEnabled(count > 0 && !busy);
    }

private:
    ApplicationsWorkspaceView& view_;
    InstalledApp app_;
    bool hasOtherCopy_ = false;
    InventoryInlineNote* runningNote_;
    StateCheckBox* include_;
    QWidget* bundleQueued_;
    std::vector<InventoryRelatedRow*> rows_;
    TextLabel* ready_;
    KitButton* add_;
};

// ---------------------------------------------------------------------------------------------

ApplicationsWorkspaceView::ApplicationsWorkspaceView(InventoryState& state, CleanupState& cleanup, QWidget* parent)
    : InventoryWorkspace(state, cleanup, QStringLiteral("applications-workspace"),
                         QStringLiteral("Apps, with a little perspective."),
                         QStringLiteral("See each application and choose exactly what belongs in your cleanup queue."),
                         parent) {
    QVBoxLayout* stack = this->stack();

    auto* columns = new QHBoxLayout;
    columns->setSpacing(18);

    // The list pane.
    auto* list = new Card(Theme::panel, 1.0, 14);
    list->setFixedWidth(285);
    auto* pane = new QVBoxLayout(list);
    pane->setContentsMargins(0, 0, 0, 0);
    pane->setSpacing(0);
    auto* searchRow = new QHBoxLayout;
    searchRow->setContentsMargins(15, 15, 15, 15);
    searchRow->setSpacing(8);
    searchRow->addWidget(new SymbolView(QStringLiteral("magnifyingglass"), 13, Theme::muted));
    search_ = makeSearchField(QStringLiteral("applications-search"), QStringLiteral("Search applications"),
                              QStringLiteral("Find an application…"), 11);
    connect(search_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        state_.setQuery(std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    });
    searchRow->addWidget(search_, 1);
    clearSearch_ = new KitButton;
    clearSearch_->addSymbol(QStringLiteral("xmark.circle.fill"), 13, Theme::muted);
    clearSearch_->setAccessibleName(QStringLiteral("Clear application search"));
    clearSearch_->setCursor(Qt::PointingHandCursor);
    connect(clearSearch_, &QAbstractButton::clicked, this, [this] { state_.setQuery(std::string()); });
    searchRow->addWidget(clearSearch_);
    pane->addLayout(searchRow);
    pane->addWidget(new Hairline(Qt::Horizontal));
    auto* caption = new QHBoxLayout;
    caption->setContentsMargins(15, 15, 15, 9);
    caption->addWidget(new SectionEyebrow(QStringLiteral("Applications")));
    caption->addStretch(1);
    count_ = new TextLabel(QString(), systemFont(10, QFont::Normal, FontDesign::monospaced), Theme::muted);
    caption->addWidget(count_);
    pane->addLayout(caption);
    auto* scroll = new QScrollArea;
    makeTransparent(scroll);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    new ListKeys(scroll, ListKeys::Rows{[](QWidget* w) { return qobject_cast<ApplicationRow*>(w) != nullptr; }, {},
                                        [](QWidget* row) { static_cast<ApplicationRow*>(row)->click(); }});
    listContent_ = new QWidget;
    listContent_->setAutoFillBackground(false);
    listLayout_ = new QVBoxLayout(listContent_);
    listLayout_->setContentsMargins(7, 0, 7, 10);
    listLayout_->setSpacing(4);
    listLayout_->addStretch(1);
    scroll->setWidget(listContent_);
    listContent_->setAutoFillBackground(false);  // setWidget turns it on
    pane->addWidget(scroll, 1);
    columns->addWidget(list);

    auto* detailHost = new QWidget;
    detailSlot_ = new QVBoxLayout(detailHost);
    detailSlot_->setContentsMargins(0, 0, 0, 0);
    columns->addWidget(detailHost, 1);
    stack->addLayout(columns, 1);

    connect(&state_, &InventoryState::resultChanged, this, [this] {
        rebuildList();
        rebuildDetail();
    });
    connect(&state_, &InventoryState::queryChanged, this, &ApplicationsWorkspaceView::queryChanged);
    connect(&state_, &InventoryState::selectedAppIDChanged, this, [this] {
        refreshRows();
        rebuildDetail();
    });
    for (auto signal : {&InventoryState::runningBundleIdentifiersChanged, &InventoryState::runningBundlePathsChanged}) {
        connect(&state_, signal, this, [this] {
            refreshRows();
            refreshDetail();
        });
    }
    for (auto signal : std::initializer_list<InventoryState::Signal>{&InventoryState::includeSelectedAppChanged,
                                                                     &InventoryState::selectedRelatedIDsChanged,
                                                                     &InventoryState::isLoadingChanged,
                                                                     &InventoryState::hasLoadedChanged})
        connect(&state_, signal, this, &ApplicationsWorkspaceView::refreshDetail);
    for (auto signal : {&CleanupState::queueChanged, &CleanupState::isPreparingChanged, &CleanupState::isTrashingChanged})
        connect(&cleanup_, signal, this, &ApplicationsWorkspaceView::refreshDetail);

    const QString query = inventoryText(state_.query());
    search_->setText(query);
    clearSearch_->setVisible(!state_.query().empty());
    rebuildList();
    rebuildDetail();
}

QString ApplicationsWorkspaceView::listCountText() const { return count_->text(); }
std::vector<ApplicationRow*> ApplicationsWorkspaceView::rows() const { return rows_; }
InventoryEmptyState* ApplicationsWorkspaceView::emptyState() const { return empty_; }
QWidget* ApplicationsWorkspaceView::detail() const { return detail_; }
StateCheckBox* ApplicationsWorkspaceView::includeBundleCheckBox() const { return detail_ ? detail_->includeCheckBox() : nullptr; }
KitButton* ApplicationsWorkspaceView::addButton() const { return detail_ ? detail_->addButton() : nullptr; }
QString ApplicationsWorkspaceView::readyText() const { return detail_ ? detail_->readyText() : QString(); }

const InstalledApp* ApplicationsWorkspaceView::selectedApp() const {
    const auto& selected = state_.selectedAppID();
    if (!selected) return nullptr;
    for (const auto& app : state_.result().apps)
        if (app.id() == *selected) return &app;
    return nullptr;
}

std::vector<CleanupCandidate> ApplicationsWorkspaceView::candidates(const InstalledApp& app) const {
    ApplicationCandidateInputs inputs;
    inputs.isRunning = state_.isRunning(app);
    inputs.includeBundle = state_.includeSelectedApp();
    inputs.hasOtherCopy = state_.hasOtherCopy(app);
    inputs.selectedRelatedIDs = state_.selectedRelatedIDs();
    inputs.isQueued = [this](const Url& url) { return cleanup_.contains(url); };
    return applicationCandidates(app, inputs);
}

void ApplicationsWorkspaceView::addSelectedToQueue() {
    // The queue cannot change during a scan, review or move; the button is disabled then anyway.
    if (isBusy()) return;
    // An application started since the last look must block what it uses.
    state_.refreshRunningApplications();
    const InstalledApp* selected = selectedApp();
    if (!selected) return;
    const InstalledApp app = *selected;
    queue(candidates(app),
          "No new items were added. Check the selection and close the application if it\u2019s running.");
}

void ApplicationsWorkspaceView::rebuildList() {
    for (auto* row : allRows_) {
        listLayout_->removeWidget(row);
        row->deleteLater();
    }
    allRows_.clear();
    // One row per application of the result; the search only shows and hides them, so typing
    // builds no widgets.
    const auto& apps = state_.result().apps;
    allRows_.reserve(apps.size());
    int index = 0;
    for (const auto& app : apps) {
        auto* row = new ApplicationRow(app, listContent_);
        const std::string id = app.id();
        connect(row, &QAbstractButton::clicked, this, [this, id] { state_.setSelectedAppID(id); });
        listLayout_->insertWidget(index++, row);
        allRows_.push_back(row);
    }
    applyFilter();
}

void ApplicationsWorkspaceView::applyFilter() {
    const auto apps = state_.filteredApps();
    std::unordered_set<std::string_view> listed;
    for (const auto& app : apps) listed.insert(app.id());
    rows_.clear();
    // The filtered list keeps the result's order, so the shown rows are in list order. The layout
    // waits until every row is shown or hidden, instead of redoing itself for each one.
    listLayout_->setEnabled(false);
    for (auto* row : allRows_) {
        const bool shown = listed.count(row->appID()) > 0;
        if (row->isHidden() == shown) row->setVisible(shown);
        if (shown) rows_.push_back(row);
    }
    listLayout_->setEnabled(true);
    listLayout_->activate();
    count_->setText(inventoryText(text::formatInteger(static_cast<std::int64_t>(apps.size()))));
    refreshRows();
}

void ApplicationsWorkspaceView::refreshRows() {
    const auto& selected = state_.selectedAppID();
    std::unordered_map<std::string_view, const InstalledApp*> byID;
    for (const auto& app : state_.result().apps) byID.emplace(app.id(), &app);
    for (auto* row : allRows_) {
        const auto found = byID.find(row->appID());
        const bool running = found != byID.end() && state_.isRunning(*found->second);
        row->setFlags(selected && *selected == row->appID(), running);
    }
}

void ApplicationsWorkspaceView::rebuildDetail() {
    const InstalledApp* selected = selectedApp();
    if (selected && detail_ && detail_->app() == *selected) {
        detail_->refresh();
        return;
    }
    if (detailArea_) {
        detailSlot_->removeWidget(detailArea_);
        detailArea_->hide();
        detailArea_->deleteLater();
    }
    detail_ = nullptr;
    empty_ = nullptr;
    if (selected) {
        detail_ = new Detail(*this, *selected);
        detailArea_ = detail_;
    } else {
        const auto text = applicationsEmptyText(state_.hasLoaded(), state_.isLoading(), state_.query());
        empty_ = new InventoryEmptyState(QStringLiteral("app.dashed"), text.title, text.message);
        detailArea_ = empty_;
    }
    detailSlot_->addWidget(detailArea_);
}

void ApplicationsWorkspaceView::refreshDetail() {
    if (detail_) {
        detail_->refresh();
    } else if (empty_) {
        const auto text = applicationsEmptyText(state_.hasLoaded(), state_.isLoading(), state_.query());
        empty_->setContent(QStringLiteral("app.dashed"), text.title, text.message);
    }
}

void ApplicationsWorkspaceView::queryChanged() {
    const QString query = inventoryText(state_.query());
    if (search_->text() != query) search_->setText(query);
    clearSearch_->setVisible(!state_.query().empty());
    applyFilter();
    // Keep the selection while it is still listed, else pick the first match (or none).
    const auto apps = state_.filteredApps();
    const auto& selected = state_.selectedAppID();
    const bool listed = selected && std::any_of(apps.begin(), apps.end(),
                                                [&](const InstalledApp& app) { return app.id() == *selected; });
    if (!listed) state_.setSelectedAppID(apps.empty() ? OptionalString{} : OptionalString{apps.front().id()});
    refreshDetail();
}

} // namespace morvo
