#include "Morvo/Cleanup/CleanupWorkspaceView.h"

#include "Morvo/Cleanup/CleanupRows.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Platform/ByteCountFormatter.h"
#include "Morvo/Platform/Fonts.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "MorvoCore/Platform/Text.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>

#include "Morvo/Kit/ListKeys.h"
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace morvo {

namespace {

constexpr const char* standingText =
    "Moves to Trash; does not empty Trash. Space is not reclaimed until Trash is emptied.";

// The footer bar: Theme::sidebar at 0.45 with a 1-point Theme::border rule along its top.
class FooterBar : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Theme::sidebar(0.45));
        p.fillRect(QRect(0, 0, width(), 1), Theme::border());
    }
};

// The empty state's badge: the tray on a tinted rounded square.
class TrayBadge : public QWidget {
public:
    explicit TrayBadge(QWidget* parent = nullptr) : QWidget(parent) { setFixedSize(83, 83); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(roundedRect(QRectF(rect()), 21), Theme::accent(0.07));
        drawSymbol(p, QRectF(rect()), "tray", 30, Theme::accent());
    }
};

QWidget* cleanupMetric(const QString& label, TextLabel*& value) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(7);
    column->addWidget(new TextLabel(label, systemFont(8, QFont::DemiBold, FontDesign::standard, 1.1), Theme::muted));
    value = new TextLabel(QString(), systemFont(20, QFont::Medium, FontDesign::standard, -0.5), Theme::text);
    value->setMinimumScaleFactor(0.75);
    column->addWidget(value);
    return box;
}

} // namespace

QString CleanupWorkspaceView::queueCountText(std::size_t count) {
    return countText(static_cast<std::int64_t>(count), QStringLiteral("item"), QStringLiteral("items"));
}

QString CleanupWorkspaceView::knownSizeText(const CleanupState& state) {
    const auto& queue = state.queue();
    const bool anyKnown = std::any_of(queue.begin(), queue.end(), [](const CleanupCandidate& c) { return c.logicalSize.has_value(); });
    return anyKnown ? formatByteCount(state.queueBytes()) : QStringLiteral("\u2014");
}

QString CleanupWorkspaceView::resultSummary(const std::vector<CleanupOutcome>& results) {
    const auto moved = std::count_if(results.begin(), results.end(), [](const CleanupOutcome& o) {
        return rawValue(o.status) == "moved";
    });
    const auto notMoved = static_cast<std::int64_t>(results.size()) - moved;
    QString text = displayText(text::formatInteger(moved)) + QStringLiteral(" moved");
    if (notMoved > 0) text += QStringLiteral(" \u00B7 ") + displayText(text::formatInteger(notMoved)) + QStringLiteral(" not moved");
    return text;
}

CleanupWorkspaceView::CleanupWorkspaceView(CleanupState& state, std::function<void()> findFiles,
                                           std::function<void()> findApplications, QWidget* parent)
    : QWidget(parent), state_(state), findFiles_(std::move(findFiles)), findApplications_(std::move(findApplications)) {
    setObjectName(QStringLiteral("cleanup-workspace"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    // Header.
    auto* header = new QVBoxLayout;
    header->setContentsMargins(26, 26, 26, 23);
    header->setSpacing(21);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(7);
    titles->addWidget(new TextLabel(QStringLiteral("Make room, thoughtfully."),
                                    systemFont(27, QFont::Medium, FontDesign::standard, -0.8), Theme::text));
    titles->addWidget(new TextLabel(QStringLiteral("A considered collection. Review every item before it moves."),
                                    systemFont(12), Theme::secondary));
    header->addLayout(titles);
    auto* metrics = new QHBoxLayout;
    metrics->setSpacing(22);
    metrics->addWidget(cleanupMetric(QStringLiteral("IN YOUR QUEUE"), queueCount_));
    auto* divider = new Hairline(Qt::Vertical);
    divider->setFixedHeight(33);
    metrics->addWidget(divider, 0, Qt::AlignVCenter);
    metrics->addWidget(cleanupMetric(QStringLiteral("KNOWN LOGICAL SIZE"), knownSize_));
    metrics->addStretch();
    clearQueue_ = new KitButton(std::make_shared<PlainButtonStyle>());
    clearQueue_->addText(QStringLiteral("Clear queue"), systemFont(11), Theme::secondary);
    clearQueue_->setObjectName(QStringLiteral("cleanup-clear-queue"));
    clearQueue_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(clearQueue_, &QAbstractButton::clicked, this, [this] { state_.clear(); });
    metrics->addWidget(clearQueue_, 0, Qt::AlignVCenter);
    header->addLayout(metrics);
    stack->addLayout(header);

    // Content: the empty state, or the scroll area with the message, the queue and the results.
    content_ = new QStackedWidget;
    emptyState_ = new QWidget;
    {
        auto* outer = new QVBoxLayout(emptyState_);
        outer->setContentsMargins(28, 28, 28, 28);
        outer->addStretch();
        auto* column = new QVBoxLayout;
        column->setSpacing(15);
        column->addWidget(new TrayBadge, 0, Qt::AlignHCenter);
        auto* title = new TextLabel(QStringLiteral("A little space to decide."),
                                    systemFont(19, QFont::Medium, FontDesign::standard, -0.3), Theme::text);
        title->setAlignment(Qt::AlignHCenter);
        column->addWidget(title, 0, Qt::AlignHCenter);
        auto* message = new TextLabel(QStringLiteral("Add files or app leftovers to your queue.\n"
                                                     "Review the full paths and confirm what moves to Trash."),
                                      systemFont(12), Theme::secondary);
        message->setAlignment(Qt::AlignHCenter);
        message->setWordWrap(true);
        message->setLineSpacing(4);
        column->addWidget(message, 0, Qt::AlignHCenter);
        auto* buttons = new QHBoxLayout;
        buttons->setContentsMargins(0, 5, 0, 0);
        buttons->setSpacing(10);
        buttons->addStretch();
        findFilesButton_ = new KitButton(std::make_shared<AccentButtonStyle>());
        findFilesButton_->addText(QStringLiteral("Find large files"));
        connect(findFilesButton_, &QAbstractButton::clicked, this, [this] {
            if (findFiles_) findFiles_();
        });
        findApplicationsButton_ = new KitButton(std::make_shared<QuietButtonStyle>());
        findApplicationsButton_->addText(QStringLiteral("Review applications"));
        connect(findApplicationsButton_, &QAbstractButton::clicked, this, [this] {
            if (findApplications_) findApplications_();
        });
        buttons->addWidget(findFilesButton_);
        buttons->addWidget(findApplicationsButton_);
        buttons->addStretch();
        column->addLayout(buttons);
        outer->addLayout(column);
        outer->addStretch();
    }
    content_->addWidget(emptyState_);

    scroll_ = new QScrollArea;
    new ListKeys(scroll_, ListKeys::Rows{[](QWidget* w) { return qobject_cast<CleanupQueueRow*>(w) != nullptr; }, {}, {}});
    QWidget* list = transparentScrollContent(scroll_);
    // The list grows at its end as items are queued: only what is new needs painting.
    list->setAttribute(Qt::WA_StaticContents);
    auto* entries = new QVBoxLayout(list);
    entries->setContentsMargins(26, 0, 26, 26);
    entries->setSpacing(18);
    status_ = new CleanupMessage(QString(), QStringLiteral("info.circle"), Theme::secondary);
    entries->addWidget(status_);

    queueSection_ = new QWidget;
    queueSection_->setAttribute(Qt::WA_StaticContents);
    {
        auto* column = new QVBoxLayout(queueSection_);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(12);
        auto* eyebrow = new QHBoxLayout;
        eyebrow->addWidget(new SectionEyebrow(QStringLiteral("Ready for review")));
        eyebrow->addStretch();
        column->addLayout(eyebrow);
        queueRows_ = new RowStack(9);
        column->addWidget(queueRows_);
    }
    entries->addWidget(queueSection_);

    resultSection_ = new QWidget;
    {
        auto* column = new QVBoxLayout(resultSection_);
        column->setContentsMargins(0, 8, 0, 0);
        column->setSpacing(13);
        auto* titleLine = new QHBoxLayout;
        titleLine->addWidget(new TextLabel(QStringLiteral("Last review"), systemFont(15, QFont::DemiBold), Theme::text),
                             0, Qt::AlignBaseline);
        titleLine->addStretch();
        summary_ = new TextLabel(QString(), systemFont(10), Theme::secondary);
        titleLine->addWidget(summary_, 0, Qt::AlignBaseline);
        column->addLayout(titleLine);
        resultRows_ = new RowStack(9);
        column->addWidget(resultRows_);
    }
    entries->addWidget(resultSection_);
    entries->addStretch();
    content_->addWidget(scroll_);
    stack->addWidget(content_, 1);

    // Footer.
    auto* footer = new FooterBar;
    auto* footerColumn = new QVBoxLayout(footer);
    footerColumn->setContentsMargins(26, 19, 26, 19);
    footerColumn->setSpacing(13);
    auto* standing = new QHBoxLayout;
    standing->setSpacing(14);
    standing->addWidget(new SymbolView(QStringLiteral("trash"), 15, Theme::accent), 0, Qt::AlignVCenter);
    auto* standingLabel = new TextLabel(QString::fromUtf8(standingText), systemFont(10), Theme::secondary);
    standingLabel->setWordWrap(true);
    standing->addWidget(standingLabel, 1);
    footerColumn->addLayout(standing);

    busyRow_ = new CleanupBusyRow(10, [this] { state_.cancelOperation(); });
    busyRow_->cancelButton()->setObjectName(QStringLiteral("cleanup-cancel-operation"));
    idleRow_ = new QWidget;
    {
        auto* row = new QHBoxLayout(idleRow_);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(10);
        row->addWidget(new TextLabel(QStringLiteral("Nothing moves until you confirm."), systemFont(10), Theme::muted));
        row->addStretch();
        review_ = new KitButton(std::make_shared<AccentButtonStyle>());
        review_->addText(QStringLiteral("Review for Trash")).addSymbol(QStringLiteral("arrow.right"), 11);
        review_->setObjectName(QStringLiteral("cleanup-prepare-review"));
        review_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(review_, &QAbstractButton::clicked, this, [this] { state_.prepareReview(); });
        row->addWidget(review_);
    }
    footerColumn->addWidget(busyRow_);
    footerColumn->addWidget(idleRow_);
    stack->addWidget(footer);

    connect(&state_, &CleanupState::queueChanged, this, [this] {
        updateQueue();
        updateContent();
        updateBusy();
    });
    connect(&state_, &CleanupState::resultsChanged, this, [this] {
        updateResults();
        updateContent();
    });
    connect(&state_, &CleanupState::isPreparingChanged, this, &CleanupWorkspaceView::updateBusy);
    connect(&state_, &CleanupState::isTrashingChanged, this, &CleanupWorkspaceView::updateBusy);
    connect(&state_, &CleanupState::statusMessageChanged, this, &CleanupWorkspaceView::updateStatus);

    updateQueue();
    updateResults();
    updateStatus();
    updateBusy();
    updateContent();
}

void CleanupWorkspaceView::updateQueue() {
    const auto& queue = state_.queue();
    queueCount_->setText(queueCountText(queue.size()));
    knownSize_->setText(knownSizeText(state_));
    clearQueue_->setVisible(!queue.empty());

    std::vector<std::string> ids;
    ids.reserve(queue.size());
    for (const auto& candidate : queue) ids.push_back(candidate.id());
    const bool busy = state_.isPreparing() || state_.isTrashing();
    queueRows_->sync(
        ids,
        [&](std::size_t i) -> QWidget* {
            const CleanupCandidate& item = queue[i];
            const std::string id = item.url.path;
            const Url url = item.url;
            auto* row = new CleanupQueueRow(
                item, busy, [this, id] { state_.remove(id); }, [this, url] { state_.workspace().reveal({url}); });
            // The card itself is the list's keyboard stop.
            row->setFocusPolicy(Qt::StrongFocus);
            return row;
        },
        [&](QWidget* row, std::size_t i) {
            auto* queueRow = static_cast<CleanupQueueRow*>(row);
            queueRow->setItem(queue[i]);
            queueRow->setRowDisabled(busy);
        });
    queueSection_->setVisible(!queue.empty());
    resultSection_->layout()->setContentsMargins(0, queue.empty() ? 0 : 8, 0, 0);
}

void CleanupWorkspaceView::updateResults() {
    const auto& results = state_.results();
    summary_->setText(resultSummary(results));
    std::vector<std::string> ids;
    ids.reserve(results.size());
    for (const auto& outcome : results) ids.push_back(outcome.id);
    resultRows_->sync(
        ids,
        [&](std::size_t i) -> QWidget* {
            // Looked up at click time, so that a reused row reveals the outcome it shows.
            const std::string id = results[i].id;
            return new CleanupResultRow(results[i], [this, id] {
                for (const auto& outcome : state_.results())
                    if (outcome.id == id) return state_.revealTrash(outcome);
            });
        },
        [&](QWidget* row, std::size_t i) { static_cast<CleanupResultRow*>(row)->setItem(results[i]); });
    resultSection_->setVisible(!results.empty());
}

void CleanupWorkspaceView::updateStatus() {
    const auto& message = state_.statusMessage();
    status_->setText(message ? displayText(*message) : QString());
    status_->setVisible(message.has_value());
}

void CleanupWorkspaceView::updateBusy() {
    const bool busy = state_.isPreparing() || state_.isTrashing();
    busyRow_->setOperation(state_.isPreparing(), state_.isTrashing());
    idleRow_->setVisible(!busy);
    review_->setEnabled(state_.canPrepare());
    clearQueue_->setEnabled(!busy);
    for (const auto& id : queueRows_->ids()) static_cast<CleanupQueueRow*>(queueRows_->row(id))->setRowDisabled(busy);
}

void CleanupWorkspaceView::updateContent() {
    const bool empty = state_.queue().empty() && state_.results().empty();
    content_->setCurrentWidget(empty ? emptyState_ : static_cast<QWidget*>(scroll_));
}

QString CleanupWorkspaceView::shownQueueCount() const { return queueCount_->text(); }
QString CleanupWorkspaceView::shownKnownSize() const { return knownSize_->text(); }
QString CleanupWorkspaceView::shownResultSummary() const { return summary_->text(); }
QString CleanupWorkspaceView::busyText() const { return busyRow_->text(); }
KitButton* CleanupWorkspaceView::cancelButton() const { return busyRow_->cancelButton(); }
bool CleanupWorkspaceView::isShowingEmptyState() const { return content_->currentWidget() == emptyState_; }
bool CleanupWorkspaceView::isShowingQueue() const { return !isShowingEmptyState() && !queueSection_->isHidden(); }
bool CleanupWorkspaceView::isShowingResults() const { return !isShowingEmptyState() && !resultSection_->isHidden(); }
CleanupMessage* CleanupWorkspaceView::statusLine() const { return status_->isHidden() ? nullptr : status_; }

CleanupQueueRow* CleanupWorkspaceView::queueRow(const std::string& id) const {
    return static_cast<CleanupQueueRow*>(queueRows_->row(id));
}

CleanupResultRow* CleanupWorkspaceView::resultRow(const std::string& id) const {
    return static_cast<CleanupResultRow*>(resultRows_->row(id));
}

std::size_t CleanupWorkspaceView::queueRowCount() const { return queueRows_->count(); }
int CleanupWorkspaceView::resultListTopPadding() const { return resultSection_->layout()->contentsMargins().top(); }

} // namespace morvo
