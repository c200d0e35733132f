#pragma once
// The one stored setting, the appearance, under the QSettings key "morvo.appearance" ("dark" or
// "light"; a missing or unknown value reads as dark). Every window and menu reads the same store
// object, so a write from one of them is seen by all at once.

#include "Morvo/Platform/Appearance.h"

#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>

namespace morvo {

class AppearanceStore : public QObject {
    Q_OBJECT

public:
    static constexpr const char* key = "morvo.appearance";

    // `settings` null: the application's standard settings.
    explicit AppearanceStore(std::shared_ptr<QSettings> settings = nullptr, QObject* parent = nullptr);

    AppAppearance appearance() const;
    // The raw stored text, empty when the key is missing.
    QString storedValue() const;
    // Writes the raw value at once (also when it is already stored); notifies when the value read
    // changes.
    void setAppearance(AppAppearance appearance);

signals:
    void appearanceChanged(morvo::AppAppearance appearance);

private:
    std::shared_ptr<QSettings> settings_;
    AppAppearance current_;
};

} // namespace morvo
