#include "Morvo/Shell/ScanDetailsView.h"

#include "Morvo/State/AppState.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Platform/Fonts.h"
#include "MorvoCore/Platform/Text.h"

#include <QPainter>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

namespace morvo {

namespace {

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString grouped(std::int64_t n) { return QString::fromStdString(text::formatInteger(n)); }
const QString kDash = QStringLiteral("—");

void dropLater(QWidget* widget) {
    if (!widget) return;
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

} // namespace

ScanDetailsView::ScanDetailsView(AppState& state, std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), state_(state), dismiss_(std::move(dismiss)) {
    setFixedWidth(550);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(18);

    auto* header = new QHBoxLayout();
    header->addWidget(new TextLabel(QStringLiteral("About this scan"), systemFont(23, QFont::Medium), Theme::text, this));
    header->addStretch();
    auto* close = new KitButton(std::make_shared<QuietButtonStyle>(), this);
    close->addSymbol(QStringLiteral("xmark"));
    close->setAccessibleName(QStringLiteral("Close"));
    connect(close, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    header->addWidget(close);
    stack->addLayout(header);

    subtitleHolder_ = new QVBoxLayout();
    subtitleHolder_->setContentsMargins(0, 0, 0, 0);
    stack->addLayout(subtitleHolder_);

    auto* summary = new QHBoxLayout();
    summary->setContentsMargins(0, 8, 0, 8);
    summary->setSpacing(30);
    auto addSummary = [&](const QString& caption) {
        auto* column = new QVBoxLayout();
        column->setSpacing(6);
        column->addWidget(new SectionEyebrow(caption, this));
        auto* value = new TextLabel(QString(), systemFont(20, QFont::Medium, FontDesign::rounded), Theme::text, this);
        column->addWidget(value);
        summary->addLayout(column);
        return value;
    };
    files_ = addSummary(QStringLiteral("Files"));
    links_ = addSummary(QStringLiteral("Skipped links"));
    status_ = addSummary(QStringLiteral("Status"));
    summary->addStretch();
    stack->addLayout(summary);

    auto* about = new TextLabel(
        QStringLiteral("Storage scanning reads metadata only and doesn't follow symbolic links or upload results. "
                       "Selected items move to Trash only after your review and confirmation. Logical size can differ "
                       "from allocated disk space, and neither guarantees recoverable space."),
        systemFont(12), Theme::secondary, this);
    about->setWordWrap(true);
    about->setLineSpacing(4);
    stack->addWidget(about);

    notesHolder_ = new QVBoxLayout();
    notesHolder_->setContentsMargins(0, 0, 0, 0);
    notesHolder_->setSpacing(18);
    stack->addLayout(notesHolder_);

    auto* buttons = new QHBoxLayout();
    auto* privacy = new KitButton(std::make_shared<QuietButtonStyle>(), this);
    privacy->addText(QStringLiteral("Full Disk Access settings"));
    connect(privacy, &QAbstractButton::clicked, this, [this] { state_.openPrivacySettings(); });
    buttons->addWidget(privacy);
    buttons->addStretch();
    auto* done = new KitButton(std::make_shared<AccentButtonStyle>(), this);
    done->addText(QStringLiteral("Done"));
    connect(done, &QAbstractButton::clicked, this, [this] { dismiss_(); });
    buttons->addWidget(done);
    stack->addLayout(buttons);
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] { dismiss_(); });
    }

    auto* footnote = new TextLabel(
        QStringLiteral("You choose whether to grant access. Protected locations may still be unavailable."),
        systemFont(10), Theme::muted, this);
    footnote->setWordWrap(true);
    stack->addWidget(footnote);

    for (auto signal : {&AppState::isScanningChanged, &AppState::scanURLChanged, &AppState::progressChanged,
                        &AppState::hasScannedFolderChanged})
        connect(&state_, signal, this, &ScanDetailsView::refresh);
    connect(&state_, &AppState::snapshotChanged, this, [this] {
        refresh();
        rebuildNotes();
    });
    refresh();
    rebuildNotes();
}

QString ScanDetailsView::filesValue() const {
    if (state_.isScanning()) return state_.progress() ? grouped(state_.progress()->fileCount) : kDash;
    if (state_.hasScannedFolder() && state_.snapshot()) return grouped(state_.snapshot()->visitedFileCount);
    return kDash;
}

QString ScanDetailsView::skippedLinksValue() const {
    if (state_.hasScannedFolder() && !state_.isScanning() && state_.snapshot())
        return grouped(state_.snapshot()->skippedLinkCount);
    return kDash;
}

QString ScanDetailsView::statusValue() const {
    if (state_.isScanning()) return QStringLiteral("Scanning");
    if (state_.hasScannedFolder())
        return state_.snapshot() && state_.snapshot()->isPartial ? QStringLiteral("Partial") : QStringLiteral("Complete");
    return QStringLiteral("Not scanned");
}

QString ScanDetailsView::subtitleText() const {
    if (state_.isScanning() && state_.scanURL()) return qs(state_.scanURL()->path);
    if (state_.hasScannedFolder() && state_.snapshot()) return qs(state_.snapshot()->rootID());
    return state_.isScanning() ? QStringLiteral("Preparing scan…") : QStringLiteral("Choose a folder to begin scanning.");
}

void ScanDetailsView::refresh() {
    files_->setText(filesValue());
    links_->setText(skippedLinksValue());
    status_->setText(statusValue());

    std::optional<Url> path;
    if (state_.isScanning() && state_.scanURL()) path = *state_.scanURL();
    else if (state_.hasScannedFolder() && state_.snapshot()) path = state_.snapshot()->nodeWithoutChildren(DiskSnapshot::rootIndex).url;
    const QString text = subtitleText();
    if (subtitle_ && subtitle_->property("subtitle").toString() == text &&
        subtitle_->property("isPath").toBool() == path.has_value())
        return;
    dropLater(subtitle_);
    if (path) {
        subtitle_ = new PathText(*path, this);
    } else {
        subtitle_ = new TextLabel(text, systemFont(12), Theme::secondary, this);
    }
    subtitle_->setProperty("subtitle", text);
    subtitle_->setProperty("isPath", path.has_value());
    subtitleHolder_->addWidget(subtitle_);
}

void ScanDetailsView::rebuildNotes() {
    dropLater(notes_);
    notes_ = nullptr;
    const auto& snapshot = state_.snapshot();
    if (!snapshot || snapshot->issues.empty()) return;
    notes_ = new QWidget(this);
    auto* layout = new QVBoxLayout(notes_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(18);
    layout->addWidget(new SectionEyebrow(QStringLiteral("Scan notes · %1").arg(snapshot->issues.size()), notes_));

    auto* frame = new ThemedBackground(Theme::panel, 1.0, notes_);
    frame->setCornerRadius(10);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(14, 14, 14, 14);
    auto* scroll = new QScrollArea(frame);
    scroll->setObjectName(QString());
    scroll->setFrameShape(QFrame::NoFrame);
    showFocusRing(scroll);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget(scroll);
    list->setAutoFillBackground(false);
    auto* entries = new QVBoxLayout(list);
    entries->setContentsMargins(0, 0, 0, 0);
    entries->setSpacing(14);
    for (const ScanIssue& issue : snapshot->issues) {
        auto* entry = new QVBoxLayout();
        entry->setSpacing(5);
        entry->addWidget(new PathText(Url::file(issue.path), list));
        auto* message = new TextLabel(qs(issue.message), systemFont(11), Theme::secondary, list);
        message->setWordWrap(true);
        entry->addWidget(message);
        entries->addLayout(entry);
    }
    entries->addStretch();
    scroll->setWidget(list);
    list->setAutoFillBackground(false); // setWidget turns it on
    // The list scrolls within at most 220 (a shorter one takes only what it needs); the box's
    // padding comes on top.
    list->setFixedWidth(550 - 56 - 28);
    list->adjustSize();
    scroll->setFixedHeight(std::min(220, list->sizeHint().height()));
    frame->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    frameLayout->addWidget(scroll);
    layout->addWidget(frame);
    notesHolder_->addWidget(notes_);
}

void ScanDetailsView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::background());
}

} // namespace morvo
