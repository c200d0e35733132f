#pragma once
// What the shell chooses to show: the sidebar sections and the main window's sheets.

#include <array>
#include <optional>
#include <string_view>

namespace morvo {

// Sidebar sections, in sidebar order.
enum class AppSection { overview, largeFiles, cleanup, caches, applications, leftovers };

inline constexpr std::array<AppSection, 6> allAppSections = {
    AppSection::overview, AppSection::largeFiles,   AppSection::cleanup,
    AppSection::caches,   AppSection::applications, AppSection::leftovers};

// "Overview", "Large files", "Cleanup", "Caches & logs", "Applications", "Leftovers": also the
// section's display title.
std::string_view rawValue(AppSection section);
// Exactly the raw values above; anything else is none.
std::optional<AppSection> appSectionFromRawValue(std::string_view raw);
// Whether the root window shows the inspector column beside the section.
bool showsInspector(AppSection section);

// The sheets the main window presents.
enum class AppSheet { scanDetails, about };

inline constexpr std::array<AppSheet, 2> allAppSheets = {AppSheet::scanDetails, AppSheet::about};

// "scanDetails", "about"; the raw value is also the sheet's id.
std::string_view rawValue(AppSheet sheet);
std::optional<AppSheet> appSheetFromRawValue(std::string_view raw);

} // namespace morvo
