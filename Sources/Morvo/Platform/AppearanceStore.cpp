#include "Morvo/Platform/AppearanceStore.h"

namespace morvo {

namespace {
AppAppearance read(const QSettings& settings) {
    const QByteArray raw = settings.value(AppearanceStore::key).toString().toUtf8();
    return appAppearanceFromRawValue(std::string_view(raw.constData(), static_cast<std::size_t>(raw.size())))
        .value_or(AppAppearance::dark);
}
} // namespace

AppearanceStore::AppearanceStore(std::shared_ptr<QSettings> settings, QObject* parent)
    : QObject(parent), settings_(settings ? std::move(settings) : std::make_shared<QSettings>()),
      current_(read(*settings_)) {}

AppAppearance AppearanceStore::appearance() const { return current_; }

QString AppearanceStore::storedValue() const { return settings_->value(key).toString(); }

void AppearanceStore::setAppearance(AppAppearance appearance) {
    const std::string_view raw = rawValue(appearance);
    settings_->setValue(key, QString::fromLatin1(raw.data(), static_cast<qsizetype>(raw.size())));
    settings_->sync();
    if (appearance == current_) return;
    current_ = appearance;
    emit appearanceChanged(appearance);
}

} // namespace morvo
