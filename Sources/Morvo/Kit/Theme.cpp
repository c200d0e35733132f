#include "Morvo/Kit/Theme.h"

#include <QApplication>
#include <QWidget>

namespace morvo {

QColor AdaptiveColor::resolve(std::optional<AppAppearance> bestMatch) const {
    const bool isDark = bestMatch == AppAppearance::dark;
    const std::uint32_t rgb = isDark ? dark : light;
    QColor c = QColor::fromRgbF(((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f, (rgb & 0xFF) / 255.0f,
                                static_cast<float>(isDark ? darkAlpha : lightAlpha));
    return c;
}

QColor AdaptiveColor::operator()(double opacity) const {
    QColor c = resolve(Theme::current().appearance());
    if (opacity != 1.0) c.setAlphaF(static_cast<float>(c.alphaF() * opacity));
    return c;
}

namespace {
constexpr const char* kThemeObjectName = "morvo-theme";
}

Theme::Theme(AppAppearance appearance, QObject* parent) : QObject(parent), appearance_(appearance) {
    if (parent == QCoreApplication::instance()) setObjectName(kThemeObjectName);
}

Theme& Theme::current() {
    QCoreApplication* app = QCoreApplication::instance();
    Q_ASSERT(app);
    if (auto* theme = app->findChild<Theme*>(kThemeObjectName, Qt::FindDirectChildrenOnly)) return *theme;
    return *new Theme(AppAppearance::dark, app);
}

void Theme::setAppearance(AppAppearance appearance) {
    if (appearance == appearance_) return;
    appearance_ = appearance;
    emit changed(appearance);
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        for (QWidget* w : QApplication::allWidgets()) w->update();
    }
}

void Theme::track(QObject* context, std::function<void()> apply) {
    apply();
    QObject::connect(&current(), &Theme::changed, context, [apply = std::move(apply)] { apply(); });
}

AdaptiveColor tint(FileCategory category) {
    switch (category) {
    case FileCategory::applications: return Theme::adaptive(0xDA99B4, 0xA24774);
    case FileCategory::developer: return Theme::adaptive(0xB2A0EE, 0x6D50B8);
    case FileCategory::documents: return Theme::blue;
    case FileCategory::media: return Theme::adaptive(0x81C7BE, 0x287971);
    case FileCategory::archives: return Theme::warning;
    case FileCategory::other: return Theme::adaptive(0x9099AE, 0x5D6D89);
    }
    return Theme::adaptive(0x9099AE, 0x5D6D89);
}

const char* categorySymbol(FileCategory category) {
    switch (category) {
    case FileCategory::applications: return "square.stack.3d.up";
    case FileCategory::developer: return "curlybraces";
    case FileCategory::documents: return "doc.text";
    case FileCategory::media: return "photo.on.rectangle.angled";
    case FileCategory::archives: return "shippingbox";
    case FileCategory::other: break;
    }
    return "square.grid.2x2";
}

} // namespace morvo
