#pragma once
// The settings window's content: two cards, each a miniature of its appearance's palette, that
// store the choice under "morvo.appearance".

#include "Morvo/Kit/Theme.h"

#include <QAbstractButton>
#include <QWidget>

namespace morvo {

class AppearanceStore;

// One card; checked exactly when its appearance is the stored one.
class AppearanceCard : public QAbstractButton {
    Q_OBJECT

public:
    AppearanceCard(AppAppearance appearance, QWidget* parent = nullptr);
    AppAppearance appearance() const { return appearance_; }
    QSize sizeHint() const override;
    // The accessibility value: "Selected" or "Not selected".
    static QString accessibleValue(bool selected);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintPalette(QPainter& p, const QRectF& rect) const;
    AppAppearance appearance_;
};

class AppearanceSettingsView : public QWidget {
    Q_OBJECT

public:
    explicit AppearanceSettingsView(AppearanceStore& store, QWidget* parent = nullptr);
    AppearanceCard* card(AppAppearance appearance) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    AppearanceStore& store_;
    AppearanceCard* cards_[2] = {nullptr, nullptr};
};

} // namespace morvo
