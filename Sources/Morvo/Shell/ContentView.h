#pragma once
// The main window's root view: sidebar, top bar, status banner, the section's workspace with the
// inspector, footer; it presents the two sheets, the review sheet and the scan-error alert.
// It keeps no state of its own: everything comes from AppState and its sub-states.

#include "Morvo/State/AppModels.h"

#include <QPointer>
#include <QWidget>

#include <functional>

#include <QDialog>
class QHBoxLayout;
#include <QMessageBox>
class QVBoxLayout;

namespace morvo {

class AppState;
class InspectorView;
class KitButton;
class SidebarView;
class TextLabel;
class WorkspaceHost;

class ContentView : public QWidget {
    Q_OBJECT

public:
    // `openSettings` opens the settings window (the sidebar's Appearance row).
    ContentView(AppState& state, std::function<void()> openSettings = {}, QWidget* parent = nullptr);
    ~ContentView() override;

    // What the banner shows now.
    enum class BannerRow { none, scanning, notice, partial };
    BannerRow bannerRow() const;
    // Texts of the scanning row and the footer's status, as shown.
    QString scanningHeadline() const;
    QString scanningDetail() const;
    QString footerStatus() const;
    QString titleText() const;

    SidebarView* sidebar() const { return sidebar_; }
    InspectorView* inspector() const { return inspector_; }
    WorkspaceHost* workspaceHost() const { return workspace_; }
    QDialog* presentedSheet() const { return sheetDialog_; }
    QDialog* presentedReviewSheet() const { return reviewDialog_; }
    QMessageBox* presentedAlert() const { return alert_; }

    // The support address of the contact link.
    static QString supportAddress();

    // Puts the keyboard focus on the view of the section shown, as the window's first focus rests
    // on the window: no control's ring, and the next Tab reaches the section's first control. The
    // commands that open a section call it.
    void focusSection();

signals:
    // The content was shown for the first time or again (the start-up task listens).
    void shown();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // While a sheet or the alert is shown, input to the window's content goes to it instead.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Tab and Backtab follow the reading order: sidebar, top bar, banner, the section top to
    // bottom, inspector, footer.
    bool focusNextPrevChild(bool next) override;

private:
    QWidget* makeTopBar();
    QWidget* makeFooter();
    void refreshTopBar();
    void refreshBanner();
    void refreshFooter();
    void refreshInspector();
    void syncSheet();
    void syncReviewSheet();
    void syncAlert();
    void present(QDialog* dialog);
    QDialog* frontPresentation() const;
    // The review's open move confirmation, which stands in front of the review sheet.
    QMessageBox* reviewConfirmation() const;

    AppState& state_;
    SidebarView* sidebar_ = nullptr;
    WorkspaceHost* workspace_ = nullptr;
    InspectorView* inspector_ = nullptr;
    QWidget* inspectorRule_ = nullptr;

    TextLabel* title_ = nullptr;
    TextLabel* sectionTitle_ = nullptr;
    KitButton* queueButton_ = nullptr;
    KitButton* refreshButton_ = nullptr;
    KitButton* scanButton_ = nullptr;

    QVBoxLayout* bannerHolder_ = nullptr;
    QWidget* banner_ = nullptr;
    BannerRow shownBanner_ = BannerRow::none;
    TextLabel* bannerHeadline_ = nullptr;
    TextLabel* bannerDetail_ = nullptr;

    QHBoxLayout* footerStatusHolder_ = nullptr;
    QWidget* footerStatus_ = nullptr;

    QPointer<QDialog> sheetDialog_;
    std::optional<AppSheet> shownSheet_;
    QPointer<QDialog> reviewDialog_;
    QString shownReviewID_;
    QPointer<QMessageBox> alert_;
};

} // namespace morvo
