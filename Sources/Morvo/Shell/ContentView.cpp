#include "Morvo/Shell/ContentView.h"

#include "Morvo/Shell/AboutView.h"
#include "Morvo/State/AppState.h"
#include "Morvo/Cleanup/CleanupReviewSheet.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Shell/InspectorView.h"
#include "Morvo/State/InventoryState.h"
#include "Morvo/Kit/KeyboardFocus.h"
#include "Morvo/Platform/AppLocation.h"
#include "Morvo/Platform/Workspace.h"
#include "Morvo/Shell/ScanDetailsView.h"
#include "Morvo/Shell/SidebarView.h"
#include "Morvo/Kit/Symbols.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Shell/WorkspaceHost.h"
#include "Morvo/Platform/Fonts.h"
#include "MorvoCore/Platform/Text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace morvo {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString grouped(std::int64_t n) { return QString::fromStdString(text::formatInteger(n)); }

void dropLater(QWidget* widget) {
    if (!widget) return;
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

// A window-modal sheet. Dismissal by the user (Escape, the window's close button) asks
// `canDismiss` first and then reports through `onDismiss`; closing it from the state says nothing.
// It draws its own 1-point edge, as the alerts do: without a window manager's frame a sheet in the
// window's background colour would not stand apart from the window behind it.
class SheetDialog : public QDialog {
public:
    SheetDialog(QWidget* parent, QWidget* content, std::function<bool()> canDismiss, std::function<void()> onDismiss)
        : QDialog(parent), canDismiss_(std::move(canDismiss)), onDismiss_(std::move(onDismiss)) {
        setWindowModality(Qt::WindowModal);
        setWindowTitle(QStringLiteral("Morvo"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(1, 1, 1, 1);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        if (content) setContent(content);
    }

    // Content made with the sheet as its parent is not restyled on the way in: for a long review
    // that took as long as making it.
    void setContent(QWidget* content) {
        if (content->parentWidget() != this) content->setParent(this);
        layout()->addWidget(content);
    }

    void closeFromState() {
        onDismiss_ = nullptr;
        canDismiss_ = nullptr;
        done(QDialog::Accepted);
        deleteLater();
    }

    void reject() override {
        if (canDismiss_ && !canDismiss_()) return;
        auto dismissed = std::move(onDismiss_);
        onDismiss_ = nullptr;
        QDialog::reject();
        if (dismissed) dismissed();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Theme::background());
        p.setPen(QPen(Theme::border(), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }

    void showEvent(QShowEvent* event) override {
        QDialog::showEvent(event);
        // As in the main window: the first focus rests on the sheet, not on its close button's ring.
        if (!focusWidget()) setFocus(Qt::OtherFocusReason);
    }

    void closeEvent(QCloseEvent* event) override {
        if (canDismiss_ && !canDismiss_()) {
            event->ignore();
            return;
        }
        event->ignore();
        reject();
    }

private:
    std::function<bool()> canDismiss_;
    std::function<void()> onDismiss_;
};

// The small indeterminate spinner of the scanning row.
class Spinner : public QWidget {
public:
    explicit Spinner(QWidget* parent) : QWidget(parent) {
        setFixedSize(16, 16);
        timer_.setInterval(80);
        connect(&timer_, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + 30) % 360;
            update();
        });
        timer_.start();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(width() / 2.0, height() / 2.0);
        p.rotate(angle_);
        for (int i = 0; i < 8; ++i) {
            p.setPen(QPen(Theme::secondary(0.25 + 0.75 * i / 7.0), 1.6, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(0, -3.5), QPointF(0, -6.5));
            p.rotate(45);
        }
    }

private:
    QTimer timer_;
    int angle_ = 0;
};

// The footer's scan-line button: a status dot, the scan line and an info symbol.
class ScanLineButton : public KitButton {
public:
    explicit ScanLineButton(QWidget* parent) : KitButton(nullptr, parent) {
        setSpacing(5);
        setOuterMargins(QMarginsF(4 + 5, 0, 0, 0));
        addText(QString(), systemFont(10), Theme::secondary);
        addSymbol(QStringLiteral("info.circle"), 10, Theme::secondary);
    }
    void setPartial(bool partial) {
        partial_ = partial;
        update();
    }

protected:
    void paintExtraBackground(QPainter& p, const QRectF& styled) override {
        // System orange for a partial scan, mint otherwise.
        static constexpr AdaptiveColor orange{0xFF9F0A, 0xFF9500};
        p.setPen(Qt::NoPen);
        p.setBrush(partial_ ? orange() : Theme::mint());
        p.drawEllipse(QPointF(styled.left() - 5 - 2, styled.center().y()), 2, 2);
    }

private:
    bool partial_ = false;
};

QWidget* bannerRowWidget(QWidget* parent, AdaptiveColor background, double opacity, int verticalPadding, int spacing,
                         QHBoxLayout*& layout) {
    auto* row = new ThemedBackground(background, opacity, parent);
    layout = new QHBoxLayout(row);
    layout->setContentsMargins(26, verticalPadding, 26, verticalPadding);
    layout->setSpacing(spacing);
    return row;
}

} // namespace

QString ContentView::supportAddress() { return QStringLiteral("hello@morvo.app"); }

ContentView::ContentView(AppState& state, std::function<void()> openSettings, QWidget* parent)
    : QWidget(parent), state_(state) {
    // The window's minimum is the content's; the menu bar comes on top of it.
    setMinimumSize(1100, 740);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    sidebar_ = new SidebarView(state_, std::move(openSettings), this);
    sidebar_->setFixedWidth(205);
    row->addWidget(sidebar_);
    row->addWidget(new Hairline(Qt::Vertical, this));

    auto* main = new QVBoxLayout();
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);
    main->addWidget(makeTopBar());
    main->addWidget(new Hairline(Qt::Horizontal, this));
    bannerHolder_ = new QVBoxLayout();
    bannerHolder_->setContentsMargins(0, 0, 0, 0);
    main->addLayout(bannerHolder_);

    auto* work = new QHBoxLayout();
    work->setContentsMargins(0, 0, 0, 0);
    work->setSpacing(0);
    workspace_ = new WorkspaceHost(state_, this);
    work->addWidget(workspace_, 1);
    inspectorRule_ = new Hairline(Qt::Vertical, this);
    work->addWidget(inspectorRule_);
    inspector_ = new InspectorView(state_, this);
    inspector_->setFixedWidth(247);
    work->addWidget(inspector_);
    main->addLayout(work, 1);
    main->addWidget(makeFooter());
    row->addLayout(main, 1);

    CleanupState& cleanup = state_.cleanup();
    InventoryState& inventory = state_.inventory();
    for (auto signal : {&AppState::sectionChanged, &AppState::snapshotChanged, &AppState::isScanningChanged})
        connect(&state_, signal, this, &ContentView::refreshTopBar);
    for (auto signal : {&CleanupState::queueChanged, &CleanupState::isTrashingChanged})
        connect(&cleanup, signal, this, &ContentView::refreshTopBar);
    for (auto signal : {&AppState::isScanningChanged, &AppState::noticeChanged, &AppState::snapshotChanged,
                        &AppState::sectionChanged, &AppState::progressChanged, &AppState::scanURLChanged,
                        &AppState::hasScannedFolderChanged})
        connect(&state_, signal, this, &ContentView::refreshBanner);
    for (auto signal : {&AppState::sectionChanged, &AppState::snapshotChanged, &AppState::hasScannedFolderChanged,
                        &AppState::isScanningChanged})
        connect(&state_, signal, this, &ContentView::refreshFooter);
    for (auto signal : std::initializer_list<InventoryState::Signal>{&InventoryState::isLoadingChanged,
                                                                     &InventoryState::resultChanged})
        connect(&inventory, signal, this, &ContentView::refreshFooter);
    connect(&state_, &AppState::sectionChanged, this, &ContentView::refreshInspector);
    connect(&state_, &AppState::sheetChanged, this, &ContentView::syncSheet);
    connect(&cleanup, &CleanupState::reviewChanged, this, &ContentView::syncReviewSheet);
    connect(&state_, &AppState::errorMessageChanged, this, &ContentView::syncAlert);

    refreshTopBar();
    refreshBanner();
    refreshFooter();
    refreshInspector();
    qApp->installEventFilter(this);
    FocusRing::install();
}

ContentView::~ContentView() {
    for (QDialog* dialog : {sheetDialog_.data(), reviewDialog_.data(), static_cast<QDialog*>(alert_.data())})
        if (dialog) {
            dialog->disconnect(this);
            delete dialog;
        }
}

QWidget* ContentView::makeTopBar() {
    auto* bar = new QWidget(this);
    bar->setFixedHeight(65);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(26, 0, 26, 0);
    layout->setSpacing(12);
    layout->addWidget(new SymbolView(QStringLiteral("internaldrive"), 13, Theme::secondary, bar));
    title_ = new TextLabel(QString(), systemFont(12, QFont::Medium), Theme::text, bar);
    layout->addWidget(title_);
    layout->addWidget(new SymbolView(QStringLiteral("chevron.right"), 9, Theme::muted, bar));
    sectionTitle_ = new TextLabel(QString(), systemFont(12), Theme::muted, bar);
    layout->addWidget(sectionTitle_);
    layout->addStretch(1);

    auto* contact = new KitButton(std::make_shared<QuietButtonStyle>(), bar);
    contact->setSpacing(7);
    contact->addSymbol(QStringLiteral("envelope"), 13, Theme::secondary)
        .addText(QStringLiteral("Contact me"), systemFont(12, QFont::DemiBold), Theme::secondary)
        .addSymbol(QStringLiteral("arrow.up.right"), 8, Theme::secondary);
    contact->setObjectName(QStringLiteral("contact-email"));
    contact->setAccessibleName(QStringLiteral("Contact me"));
    contact->setAccessibleDescription(QStringLiteral("Opens your email app to contact Morvo support."));
    contact->setToolTip(QStringLiteral("Email ") + supportAddress());
    connect(contact, &QAbstractButton::clicked, this, [this] {
        state_.workspace().open(Url::parse("mailto:" + supportAddress().toStdString()));
    });
    layout->addWidget(contact);

    queueButton_ = new KitButton(std::make_shared<QuietButtonStyle>(), bar);
    queueButton_->addSymbol(QStringLiteral("tray")).addText(QStringLiteral("0"));
    queueButton_->setToolTip(QStringLiteral("Open cleanup queue"));
    connect(queueButton_, &QAbstractButton::clicked, this, [this] {
        state_.setSection(AppSection::cleanup);
        state_.setCategory(std::nullopt);
    });
    layout->addWidget(queueButton_);

    refreshButton_ = new KitButton(std::make_shared<QuietButtonStyle>(), bar);
    refreshButton_->addSymbol(QStringLiteral("arrow.clockwise"));
    refreshButton_->setToolTip(QStringLiteral("Refresh this view (Ctrl+R)"));
    // Its symbol alone has no name; the help text has (the shortcut is announced on its own).
    refreshButton_->setAccessibleName(QStringLiteral("Refresh this view"));
    connect(refreshButton_, &QAbstractButton::clicked, this, [this] { state_.rescan(); });
    layout->addWidget(refreshButton_);

    scanButton_ = new KitButton(std::make_shared<AccentButtonStyle>(), bar);
    scanButton_->addSymbol(QStringLiteral("plus")).addText(QStringLiteral("Scan folder"));
    scanButton_->setObjectName(QStringLiteral("scan-folder"));
    connect(scanButton_, &QAbstractButton::clicked, this, [this] { state_.chooseFolder(); });
    layout->addWidget(scanButton_);
    return bar;
}

QWidget* ContentView::makeFooter() {
    auto* footer = new ThemedBackground(Theme::sidebar, 0.6, this);
    footer->setFixedHeight(35);
    auto* layout = new QHBoxLayout(footer);
    layout->setContentsMargins(24, 0, 24, 0);
    layout->setSpacing(7);
    layout->addWidget(new SymbolView(QStringLiteral("lock.shield"), 10, Theme::mint, footer));
    layout->addWidget(new TextLabel(QStringLiteral("Your file scans stay on this Mac."), systemFont(10), Theme::secondary, footer));
    layout->addStretch(1);
    footerStatusHolder_ = layout;
    auto* rule = new Hairline(Qt::Horizontal, footer);
    rule->setGeometry(0, 0, 4000, 1);
    rule->raise();
    return footer;
}

QString ContentView::titleText() const {
    if (showsInspector(state_.section()) && state_.snapshot()) return qs(state_.snapshot()->name(DiskSnapshot::rootIndex));
    return QStringLiteral("Morvo");
}

void ContentView::refreshTopBar() {
    title_->setText(titleText());
    sectionTitle_->setText(qs(rawValue(state_.section())));
    const CleanupState& cleanup = state_.cleanup();
    const auto count = static_cast<std::int64_t>(cleanup.queue().size());
    queueButton_->setVisible(count > 0);
    queueButton_->setPartText(1, QString::number(count));
    queueButton_->setAccessibleName(QStringLiteral("Cleanup queue, %1 %2").arg(count).arg(count == 1 ? "item" : "items"));
    refreshButton_->setVisible(state_.section() != AppSection::cleanup);
    refreshButton_->setEnabled(!state_.isScanning() && !cleanup.isTrashing());
    scanButton_->setEnabled(!cleanup.isTrashing());
}

ContentView::BannerRow ContentView::bannerRow() const {
    if (state_.isScanning()) return BannerRow::scanning;
    if (state_.notice()) return BannerRow::notice;
    if (state_.snapshot() && state_.snapshot()->isPartial && showsInspector(state_.section())) return BannerRow::partial;
    return BannerRow::none;
}

QString ContentView::scanningHeadline() const {
    std::string name = state_.scanURL() ? state_.scanURL()->lastPathComponent() : std::string();
    return QStringLiteral("Scanning ") + (name.empty() ? QStringLiteral("disk") : qs(name)) + QStringLiteral("…");
}

QString ContentView::scanningDetail() const {
    const QString count = state_.progress() ? grouped(state_.progress()->fileCount) : QStringLiteral("0");
    return count + QStringLiteral(" files found") +
           (state_.hasScannedFolder() ? QStringLiteral(" · previous results shown until complete")
                                      : QStringLiteral(" · building your storage map"));
}

void ContentView::refreshBanner() {
    const BannerRow wanted = bannerRow();
    const QString noticeText = state_.notice() ? qs(*state_.notice()) : QString();
    if (wanted == shownBanner_ && banner_ && (wanted != BannerRow::notice || banner_->property("notice").toString() == noticeText)) {
        if (wanted == BannerRow::scanning) {
            bannerHeadline_->setText(scanningHeadline());
            bannerDetail_->setText(scanningDetail());
        }
        return;
    }
    dropLater(banner_);
    banner_ = nullptr;
    bannerHeadline_ = bannerDetail_ = nullptr;
    shownBanner_ = wanted;
    QHBoxLayout* layout = nullptr;
    switch (wanted) {
    case BannerRow::none: return;
    case BannerRow::scanning: {
        banner_ = bannerRowWidget(this, Theme::accent, 0.07, 12, 12, layout);
        layout->addWidget(new Spinner(banner_));
        auto* texts = new QVBoxLayout();
        texts->setSpacing(3);
        bannerHeadline_ = new TextLabel(scanningHeadline(), systemFont(12, QFont::Medium), Theme::text, banner_);
        bannerDetail_ = new TextLabel(scanningDetail(), systemFont(10), Theme::secondary, banner_);
        texts->addWidget(bannerHeadline_);
        texts->addWidget(bannerDetail_);
        layout->addLayout(texts);
        layout->addStretch(1);
        auto* cancel = new KitButton(std::make_shared<QuietButtonStyle>(), banner_);
        cancel->addText(QStringLiteral("Cancel"));
        connect(cancel, &QAbstractButton::clicked, this, [this] { state_.cancelScan(); });
        layout->addWidget(cancel);
        break;
    }
    case BannerRow::notice: {
        banner_ = bannerRowWidget(this, Theme::warning, 0.0, 11, 8, layout);
        banner_->setProperty("notice", noticeText);
        layout->addWidget(new SymbolView(QStringLiteral("info.circle"), 11, Theme::warning, banner_));
        auto* text = new TextLabel(noticeText, systemFont(11), Theme::warning, banner_);
        text->setWordWrap(true);
        layout->addWidget(text, 1);
        auto* close = new KitButton(nullptr, banner_);
        close->addSymbol(QStringLiteral("xmark"), 11, Theme::warning);
        close->setAccessibleName(QStringLiteral("Dismiss"));
        connect(close, &QAbstractButton::clicked, this, [this] { state_.setNotice(std::nullopt); });
        layout->addWidget(close);
        break;
    }
    case BannerRow::partial: {
        banner_ = bannerRowWidget(this, Theme::warning, 0.06, 11, 8, layout);
        layout->addWidget(new SymbolView(QStringLiteral("exclamationmark.shield"), 11, Theme::warning, banner_));
        layout->addWidget(new TextLabel(QStringLiteral("Some locations couldn't be included. These results are partial."),
                                        systemFont(11), Theme::warning, banner_));
        layout->addStretch(1);
        QFont underlined = systemFont(11);
        underlined.setUnderline(true);
        auto* details = new KitButton(nullptr, banner_);
        details->addText(QStringLiteral("View details"), underlined, Theme::warning);
        connect(details, &QAbstractButton::clicked, this, [this] { state_.setSheet(AppSheet::scanDetails); });
        layout->addWidget(details);
        break;
    }
    }
    bannerHolder_->addWidget(banner_);
}

QString ContentView::footerStatus() const {
    switch (state_.section()) {
    case AppSection::overview:
    case AppSection::largeFiles: {
        if (!state_.hasScannedFolder() || !state_.snapshot()) {
            // Nothing to wait for once a first scan failed or was cancelled.
            return state_.isScanning() ? QStringLiteral("Waiting for your scan to finish")
                                       : QStringLiteral("Choose a folder to begin scanning.");
        }
        const auto& snapshot = *state_.snapshot();
        return grouped(snapshot.visitedFileCount) + QStringLiteral(" files · ") +
               QLocale().toString(snapshot.duration(), 'f', 1) + QStringLiteral("s scan");
    }
    case AppSection::cleanup: return QStringLiteral("Your selection · your confirmation");
    case AppSection::caches: return QStringLiteral("Local caches · review before removal");
    case AppSection::applications:
    case AppSection::leftovers: {
        const InventoryState& inventory = state_.inventory();
        if (inventory.isLoading()) return QStringLiteral("Checking this Mac’s applications…");
        return grouped(static_cast<std::int64_t>(inventory.result().apps.size())) + QStringLiteral(" applications · ") +
               (inventory.result().isComplete ? QStringLiteral("scanned locations checked") : QStringLiteral("see scan notes"));
    }
    }
    return {};
}

void ContentView::refreshFooter() {
    // The status is made anew on every change; a focus on it stays on the new one.
    const bool focused = footerStatus_ && window()->focusWidget() == footerStatus_;
    if (focused) setFocus(Qt::OtherFocusReason);
    dropLater(footerStatus_);
    const AppSection section = state_.section();
    QWidget* footer = footerStatusHolder_->parentWidget();
    if (showsInspector(section)) {
        auto* button = new ScanLineButton(footer);
        button->setPartText(0, footerStatus());
        button->setPartial(state_.snapshot() && state_.snapshot()->isPartial);
        connect(button, &QAbstractButton::clicked, this, [this] { state_.setSheet(AppSheet::scanDetails); });
        footerStatus_ = button;
    } else {
        footerStatus_ = new TextLabel(footerStatus(), systemFont(10), Theme::secondary, footer);
    }
    footerStatusHolder_->addWidget(footerStatus_);
    footerStatus_->show();
    if (focused && (footerStatus_->focusPolicy() & Qt::TabFocus)) footerStatus_->setFocus(Qt::OtherFocusReason);
}

void ContentView::refreshInspector() {
    const bool shows = showsInspector(state_.section());
    // As with the workspace's own focus: a focus in the inspector that goes rests on the section.
    if (!shows && inspector_->isAncestorOf(window()->focusWidget())) focusSection();
    inspector_->setVisible(shows);
    inspectorRule_->setVisible(shows);
}

void ContentView::syncSheet() {
    const auto wanted = state_.sheet();
    if (wanted == shownSheet_ && (sheetDialog_ || !wanted)) return;
    if (sheetDialog_) static_cast<SheetDialog*>(sheetDialog_.data())->closeFromState();
    sheetDialog_ = nullptr;
    shownSheet_ = wanted;
    if (!wanted) return;
    auto dismiss = [this] { state_.setSheet(std::nullopt); };
    QWidget* content = *wanted == AppSheet::scanDetails ? static_cast<QWidget*>(new ScanDetailsView(state_, dismiss))
                                                        : static_cast<QWidget*>(new AboutView(state_.appLocation(), dismiss));
    auto* dialog = new SheetDialog(window(), content, nullptr, dismiss);
    sheetDialog_ = dialog;
    present(dialog);
}

void ContentView::syncReviewSheet() {
    CleanupState& cleanup = state_.cleanup();
    const auto& review = cleanup.review();
    const QString id = review ? QString::fromStdString(review->id.string()) : QString();
    if (reviewDialog_ && !id.isEmpty() && id == shownReviewID_ && reviewDialog_->isVisible()) return;
    if (!reviewDialog_ && id.isEmpty()) return;
    if (reviewDialog_) static_cast<SheetDialog*>(reviewDialog_.data())->closeFromState();
    reviewDialog_ = nullptr;
    shownReviewID_ = id;
    if (!review) return;
    auto* dialog = new SheetDialog(window(), nullptr,
                                   // The system's own dismissal waits while a review is prepared or a move runs.
                                   // Nor does it leave the move's confirmation behind.
                                   [this, &cleanup] {
                                       return !cleanup.isPreparing() && !cleanup.isTrashing() && !reviewConfirmation();
                                   },
                                   [&cleanup] {
                                       if (!cleanup.isTrashing()) cleanup.invalidatePreview();
                                   });
    dialog->setContent(makeReviewSheetContent(cleanup, dialog));
    reviewDialog_ = dialog;
    present(dialog);
}

void ContentView::syncAlert() {
    const auto& message = state_.errorMessage();
    if (!message) {
        if (alert_) {
            alert_->disconnect(this);
            alert_->done(QMessageBox::Ok);
            alert_->deleteLater();
        }
        alert_ = nullptr;
        return;
    }
    if (alert_) {
        alert_->setInformativeText(qs(*message));
        return;
    }
    auto* box = new ThemedMessageBox(window());
    box->setText(QStringLiteral("Couldn't finish the scan"));
    box->setInformativeText(qs(*message));
    ThemedMessageBox::setButtonKind(box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole),
                                    ThemedMessageBox::ButtonKind::primary);
    connect(box, &QDialog::finished, this, [this, box] {
        if (alert_ == box) alert_ = nullptr;
        box->deleteLater();
        if (state_.errorMessage()) state_.setErrorMessage(std::nullopt);
    });
    alert_ = box;
    present(box);
}

// Sheets and the alert are not modal to the window system: a modal window would also block the
// menu bar and the commands' shortcuts, which stay available while a sheet is up. The window's
// own content ignores the pointer and the keys instead (see eventFilter).
void ContentView::present(QDialog* dialog) {
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

QDialog* ContentView::frontPresentation() const {
    if (QMessageBox* confirmation = reviewConfirmation()) return confirmation;
    for (QDialog* dialog : {static_cast<QDialog*>(alert_.data()), reviewDialog_.data(), sheetDialog_.data()})
        if (dialog && dialog->isVisible()) return dialog;
    return nullptr;
}

QMessageBox* ContentView::reviewConfirmation() const {
    if (!reviewDialog_) return nullptr;
    auto* sheet = reviewDialog_->findChild<CleanupReviewSheet*>();
    QMessageBox* dialog = sheet ? sheet->confirmationDialog() : nullptr;
    return dialog && dialog->isVisible() ? dialog : nullptr;
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    if (!isUserInput(*event)) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget != this && !isAncestorOf(widget))) return false;
    QDialog* front = frontPresentation();
    if (!front) return false;
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
        front->raise();
        front->activateWindow();
    }
    return true;
}

void ContentView::focusSection() {
    if (QWidget* section = workspace_->currentWorkspace()) section->setFocus(Qt::OtherFocusReason);
}

bool ContentView::focusNextPrevChild(bool next) { return focusNextInReadingOrder(this, next); }

void ContentView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::background());
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window's first focus rests on the content itself, which draws no ring, rather than on
    // the first control of the Tab chain; the first Tab reaches that control.
    if (!window()->focusWidget()) setFocus(Qt::OtherFocusReason);
    if (!event->spontaneous()) emit shown();
}

} // namespace morvo
