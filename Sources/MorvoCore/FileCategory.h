#pragma once
// The six kinds of item a scan tells apart, decided once per node from its path alone.

#include "MorvoCore/Platform/Url.h"

#include <array>
#include <optional>
#include <string_view>

namespace morvo {

enum class FileCategory : unsigned char { applications, developer, documents, media, archives, other };

inline constexpr std::array<FileCategory, 6> allFileCategories = {
    FileCategory::applications, FileCategory::developer, FileCategory::documents,
    FileCategory::media,        FileCategory::archives,  FileCategory::other};

std::string_view rawValue(FileCategory category);
std::optional<FileCategory> fileCategoryFromRawValue(std::string_view raw);
std::string_view displayName(FileCategory category);

// What a folder's path contributes to the category of everything below it, so that a walk can
// classify each entry from its parent's traits and its own name.
struct PathTraits {
    bool hasComponents = false;
    bool insideApplication = false;   // some component ends with ".app"
    bool developerFolder = false;     // some component is a developer folder word
    bool mediaFolder = false;         // "pictures", "movies" or "music"
    bool documentsFolder = false;     // "documents"
};

PathTraits pathTraits(std::string_view path);
PathTraits appendingComponent(PathTraits traits, std::string_view component);
// The same as classify(parent path + "/" + name) when `parent` is pathTraits(parent path).
FileCategory classifyChild(const PathTraits& parent, std::string_view name, bool isDirectory);

// Category of the item at `path` (an absolute, normalised path) from its lower-cased components
// and extension; the first matching rule wins. Never touches the file.
FileCategory classify(std::string_view path, bool isDirectory);
inline FileCategory classify(const Url& url, bool isDirectory) { return classify(url.path, isDirectory); }

} // namespace morvo
