#pragma once
// The one user setting: the appearance, dark or light, with its stored strings and its titles.
// The colours that depend on it are the kit's Theme; the stored value is AppearanceStore.

#include <array>
#include <optional>
#include <string_view>

namespace morvo {

// Raw values are the stored strings.
enum class AppAppearance { dark, light };

inline constexpr std::array<AppAppearance, 2> allAppAppearances = {AppAppearance::dark, AppAppearance::light};

std::string_view rawValue(AppAppearance appearance);
// "dark" or "light" exactly; anything else gives no value.
std::optional<AppAppearance> appAppearanceFromRawValue(std::string_view raw);
// "Dark" or "Light".
std::string_view title(AppAppearance appearance);

} // namespace morvo
