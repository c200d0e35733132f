#include "Morvo/Applications/LeftoversWorkspaceView.h"

#include "Morvo/State/CleanupState.h"
#include "Morvo/Applications/InventoryViews.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace morvo {

namespace {

OptionalString ownerOf(const std::string& identifier) {
    return identifier.empty() ? OptionalString{} : OptionalString{identifier};
}

// The card of one group: Theme::panel at 0.45, radius 14, 1-point border.
class GroupCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath shape = roundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14);
        p.fillPath(shape, Theme::panel(0.45));
        p.setPen(QPen(Theme::border(), 1));
        p.drawPath(shape);
    }
};

// The footer: a rule along its top edge.
class Footer : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(QRectF(0, 0, width(), 1), Theme::border());
    }
};

} // namespace

std::vector<CleanupCandidate> leftoverCandidates(const AppInventoryResult& result, const InventoryIDSet& selectedIDs,
                                                 const std::function<bool(const std::string& owner)>& isRunning,
                                                 const std::function<bool(const Url&)>& isQueued) {
    std::vector<CleanupCandidate> out;
    // Suggestions from an incomplete scan are not trustworthy enough to queue.
    if (!result.isComplete) return out;
    for (const auto& group : result.leftovers) {
        for (const auto& file : group.files) {
            if (!selectedIDs.count(file.url.path)) continue;
            if (isRunning && isRunning(file.ownerBundleIdentifier)) continue;
            if (isQueued && isQueued(file.url)) continue;
            out.push_back(CleanupCandidate{file.url, file.title, file.reason + " " + file.caution,
                                           std::string(title(file.kind)), "folder", std::nullopt,
                                           file.ownerBundleIdentifier});
        }
    }
    return out;
}

LeftoversWorkspaceView::LeftoversWorkspaceView(InventoryState& state, CleanupState& cleanup, QWidget* parent)
    : InventoryWorkspace(state, cleanup, QStringLiteral("leftovers-workspace"), QStringLiteral("What’s left behind."),
                         QStringLiteral("Possible app leftovers, brought into view for a closer look."), parent) {
    QVBoxLayout* stack = this->stack();
    stack->addWidget(new InventoryInlineNote(
        QStringLiteral("info.circle"),
        QStringLiteral("Possible leftovers are suggestions. An app may live outside the folders checked, and these files "
                       "may contain settings or personal data. Nothing is selected automatically."),
        Theme::secondary));

    auto* host = new QWidget;
    mainSlot_ = new QVBoxLayout(host);
    mainSlot_->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(host, 1);

    auto* footer = new Footer;
    auto* foot = new QHBoxLayout(footer);
    foot->setContentsMargins(0, 13, 0, 0);
    foot->setSpacing(15);
    auto* counts = new QVBoxLayout;
    counts->setSpacing(5);
    ready_ = new TextLabel(QString(), systemFont(12, QFont::Medium), Theme::text);
    counts->addWidget(ready_);
    counts->addWidget(new TextLabel(QStringLiteral("Exact sizes and paths are checked again in the cleanup review."),
                                    systemFont(10), Theme::muted));
    foot->addLayout(counts);
    foot->addStretch(1);
    add_ = new KitButton(std::make_shared<AccentButtonStyle>());
    add_->setObjectName(QStringLiteral("leftovers-add-to-queue"));
    add_->addSymbol(QStringLiteral("plus"), 13).addText(QStringLiteral("Add selected to queue"));
    add_->setAccessibleName(QStringLiteral("Add selected to queue"));
    connect(add_, &QAbstractButton::clicked, this, &LeftoversWorkspaceView::addSelectedToQueue);
    foot->addWidget(add_);
    stack->addWidget(footer);

    connect(&state_, &InventoryState::resultChanged, this, &LeftoversWorkspaceView::rebuild);
    connect(&state_, &InventoryState::hasLoadedChanged, this, &LeftoversWorkspaceView::rebuild);
    for (auto signal : std::initializer_list<InventoryState::Signal>{&InventoryState::isLoadingChanged,
                                                                     &InventoryState::selectedLeftoverIDsChanged,
                                                                     &InventoryState::runningBundleIdentifiersChanged})
        connect(&state_, signal, this, &LeftoversWorkspaceView::refresh);
    for (auto signal : {&CleanupState::queueChanged, &CleanupState::isPreparingChanged, &CleanupState::isTrashingChanged})
        connect(&cleanup_, signal, this, &LeftoversWorkspaceView::refresh);
    rebuild();
}

InventoryEmptyState* LeftoversWorkspaceView::emptyState() const { return empty_; }
std::vector<QWidget*> LeftoversWorkspaceView::groupCards() const { return cards_; }
QString LeftoversWorkspaceView::readyText() const { return ready_->text(); }

std::vector<CleanupCandidate> LeftoversWorkspaceView::candidates() const {
    return leftoverCandidates(
        state_.result(), state_.selectedLeftoverIDs(),
        [this](const std::string& owner) { return state_.isRunning(ownerOf(owner)); },
        [this](const Url& url) { return cleanup_.contains(url); });
}

void LeftoversWorkspaceView::addSelectedToQueue() {
    // The queue cannot change during a scan, review or move; the button is disabled then anyway.
    if (isBusy()) return;
    // An application started since the last look must block its data.
    state_.refreshRunningApplications();
    queue(candidates(), "No new items were added. Review the selection and running applications.");
}

QWidget* LeftoversWorkspaceView::leftoverGroup(const LeftoverGroup& group) {
    auto* card = new GroupCard;
    auto* stack = new QVBoxLayout(card);
    stack->setContentsMargins(19, 19, 19, 19);
    stack->setSpacing(14);

    auto* head = new QHBoxLayout;
    head->setSpacing(12);
    auto* tile = new ThemedBackground(Theme::accent, 0.07);
    tile->setCornerRadius(9);
    tile->setFixedSize(39, 40);
    auto* tileLayout = new QVBoxLayout(tile);
    tileLayout->setContentsMargins(0, 0, 0, 0);
    tileLayout->addWidget(new SymbolView(QStringLiteral("square.stack.3d.up"), 18, Theme::accent), 0, Qt::AlignCenter);
    head->addWidget(tile, 0, Qt::AlignTop);
    auto* names = new QVBoxLayout;
    names->setSpacing(6);
    names->addWidget(new SelectableText(inventoryText(group.title), systemFont(15, QFont::Medium), Theme::text));
    names->addWidget(new SelectableText(inventoryText(group.bundleIdentifier),
                                        systemFont(10, QFont::Normal, FontDesign::monospaced), Theme::secondary));
    head->addLayout(names, 1);
    head->addWidget(new TextLabel(QStringLiteral("POSSIBLE LEFTOVERS"),
                                  systemFont(8, QFont::DemiBold, FontDesign::standard, 1), Theme::warning),
                    0, Qt::AlignTop);
    stack->addLayout(head);

    if (!group.caution.empty()) {
        auto* caution = new InventoryWrappedText(inventoryText(group.caution), systemFont(11), Theme::secondary, 3);
        stack->addWidget(caution);
    }
    auto* running = new InventoryInlineNote(
        QStringLiteral("pause.circle"),
        QStringLiteral("An application using this identifier is running. Quit it before adding this data to the queue."),
        Theme::warning);
    stack->addWidget(running);
    runningNotes_.emplace_back(group.bundleIdentifier, running);

    for (const auto& file : group.files) {
        const std::string id = file.url.path;
        auto* row = new InventoryRelatedRow(file, false, false, false, [this, id] { state_.toggleLeftover(id); });
        stack->addWidget(row);
        rows_.push_back(row);
    }
    return card;
}

void LeftoversWorkspaceView::rebuild() {
    if (mainArea_) {
        mainSlot_->removeWidget(mainArea_);
        mainArea_->hide();
        mainArea_->deleteLater();
    }
    mainArea_ = nullptr;
    empty_ = nullptr;
    cards_.clear();
    rows_.clear();
    runningNotes_.clear();

    const auto& result = state_.result();
    if (!state_.hasLoaded()) {
        empty_ = new InventoryEmptyState(QStringLiteral("sparkle.magnifyingglass"), QStringLiteral("Scan applications"), QString());
        mainArea_ = empty_;
    } else if (result.leftovers.empty()) {
        if (result.isComplete)
            empty_ = new InventoryEmptyState(QStringLiteral("sparkle.magnifyingglass"),
                                             QStringLiteral("A little less to wonder about."),
                                             QStringLiteral("No possible leftovers were found in the checked locations."));
        else
            empty_ = new InventoryEmptyState(
                QStringLiteral("sparkle.magnifyingglass"), QStringLiteral("More context is needed."),
                QStringLiteral("Leftover suggestions are hidden because some app or Library locations couldn’t be "
                               "checked. Review the scan notes and scan again."));
        mainArea_ = empty_;
    } else {
        auto* scroll = inventoryRowsScrollArea();
        auto* content = new QWidget;
        content->setAutoFillBackground(false);
        auto* list = new QVBoxLayout(content);
        list->setContentsMargins(0, 0, 0, 5);
        list->setSpacing(19);
        for (const auto& group : result.leftovers) {
            QWidget* card = leftoverGroup(group);
            list->addWidget(card);
            cards_.push_back(card);
        }
        list->addStretch(1);
        scroll->setWidget(content);
        content->setAutoFillBackground(false);  // setWidget turns it on
        mainArea_ = scroll;
    }
    mainSlot_->addWidget(mainArea_);
    refresh();
}

void LeftoversWorkspaceView::refresh() {
    const bool busy = isBusy();
    if (empty_ && !state_.hasLoaded())
        empty_->setContent(QStringLiteral("sparkle.magnifyingglass"), QStringLiteral("Scan applications"),
                           state_.isLoading()
                               ? QStringLiteral("Checking installed applications and their Library locations on this Mac…")
                               : QStringLiteral("Scan installed applications before reviewing possible leftover data."));
    for (const auto& [identifier, note] : runningNotes_) note->setVisible(state_.isRunning(ownerOf(identifier)));
    for (auto* row : rows_) {
        const auto& file = row->file();
        row->setFlags(state_.selectedLeftoverIDs().count(file.url.path) > 0,
                      busy || state_.isRunning(ownerOf(file.ownerBundleIdentifier)), cleanup_.contains(file.url));
    }
    const auto count = candidates().size();
    ready_->setText(QString::number(count) + QStringLiteral(" ready to add"));
    add_->setEnabled(count > 0 && !busy);
}

} // namespace morvo
