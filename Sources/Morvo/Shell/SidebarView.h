#pragma once
// The left column: brand, the section and category rows, the scan card, and the rows that open
// the appearance settings and the About sheet. Reads AppState and changes it only through its
// assignments and operations.

#include "Morvo/State/AppModels.h"
#include "Morvo/Kit/KeyboardFocus.h"
#include "MorvoCore/FileCategory.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QWidget>

#include <functional>

namespace morvo {

class AppState;
class KitButton;
class TextLabel;

// One navigation row (a section or a category); paints its own selection. The focus ring goes
// around the row's rounded label, not its outer padding.
class SidebarRow : public QAbstractButton, public FocusRingShape {
    Q_OBJECT

public:
    enum class Kind { section, category };
    SidebarRow(Kind kind, QString title, QString symbol, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    QString title() const { return title_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    // Category rows: the tint of the dot and the size text (empty: none shown).
    void setCategory(FileCategory category);
    void setTotalText(QString text);
    QString totalText() const { return total_; }

    QSize sizeHint() const override;
    QRectF focusRingRect() const override { return labelRect(); }
    double focusRingRadius() const override { return 8; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF labelRect() const;
    Kind kind_;
    QString title_;
    QString symbol_;
    FileCategory category_ = FileCategory::other;
    QString total_;
    bool selected_ = false;
};

class ScanCard;

class SidebarView : public QWidget {
    Q_OBJECT

public:
    // `openSettings` opens the settings window (the Appearance row).
    SidebarView(AppState& state, std::function<void()> openSettings, QWidget* parent = nullptr);

    SidebarRow* sectionRow(AppSection section) const;
    SidebarRow* categoryRow(FileCategory category) const;
    ScanCard* scanCard() const { return card_; }

    // How much of the designed vertical gaps the column shows now (1 = all of them).
    double gapScale() const { return gapScale_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshSelection();
    void refreshTotals();
    // When the column is too short for its designed gaps (the default window held all but the
    // last row), the vertical gaps give way together, down to half, before the list scrolls.
    void fitGaps();
    void applyGaps(double scale);

    AppState& state_;
    std::function<void()> openSettings_;
    std::vector<std::pair<AppSection, SidebarRow*>> sectionRows_;
    std::vector<std::pair<FileCategory, SidebarRow*>> categoryRows_;
    ScanCard* card_ = nullptr;

    QBoxLayout* brand_ = nullptr;
    QWidget* list_ = nullptr;
    QBoxLayout* rows_ = nullptr;
    std::vector<QSpacerItem*> captionGaps_;
    QBoxLayout* cardLine_ = nullptr;
    KitButton* appearanceRow_ = nullptr;
    KitButton* aboutRow_ = nullptr;
    double gapScale_ = 1.0;
};

// The card that summarises the current scan.
class ScanCard : public QWidget {
    Q_OBJECT

public:
    explicit ScanCard(AppState& state, QWidget* parent = nullptr);
    QString statusWord() const;
    QString rootName() const;
    QString sizeText() const;
    QString footerText() const;
    // Segment widths of the category bar for `width`, in category order (0 = no segment).
    static std::vector<double> segmentWidths(const std::vector<std::int64_t>& totals, double width);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    AppState& state_;
    TextLabel* status_;
    TextLabel* name_;
    TextLabel* size_;
    TextLabel* footer_;
    QWidget* bar_;
};

} // namespace morvo
