#include "Morvo/Platform/Appearance.h"

namespace morvo {

std::string_view rawValue(AppAppearance appearance) {
    return appearance == AppAppearance::dark ? "dark" : "light";
}

std::optional<AppAppearance> appAppearanceFromRawValue(std::string_view raw) {
    if (raw == "dark") return AppAppearance::dark;
    if (raw == "light") return AppAppearance::light;
    return std::nullopt;
}

std::string_view title(AppAppearance appearance) {
    return appearance == AppAppearance::dark ? "Dark" : "Light";
}

} // namespace morvo
