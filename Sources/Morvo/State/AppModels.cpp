#include "Morvo/State/AppModels.h"

namespace morvo {

std::string_view rawValue(AppSection section) {
    switch (section) {
    case AppSection::overview: return "Overview";
    case AppSection::largeFiles: return "Large files";
    case AppSection::cleanup: return "Cleanup";
    case AppSection::caches: return "Caches & logs";
    case AppSection::applications: return "Applications";
    case AppSection::leftovers: return "Leftovers";
    }
    return "Overview";
}

std::optional<AppSection> appSectionFromRawValue(std::string_view raw) {
    for (AppSection section : allAppSections)
        if (rawValue(section) == raw) return section;
    return std::nullopt;
}

bool showsInspector(AppSection section) {
    return section == AppSection::overview || section == AppSection::largeFiles;
}

std::string_view rawValue(AppSheet sheet) {
    switch (sheet) {
    case AppSheet::scanDetails: return "scanDetails";
    case AppSheet::about: return "about";
    }
    return "scanDetails";
}

std::optional<AppSheet> appSheetFromRawValue(std::string_view raw) {
    for (AppSheet sheet : allAppSheets)
        if (rawValue(sheet) == raw) return sheet;
    return std::nullopt;
}

} // namespace morvo
