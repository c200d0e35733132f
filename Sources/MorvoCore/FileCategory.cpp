#include "MorvoCore/FileCategory.h"

#include "MorvoCore/Platform/Text.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace morvo {

namespace {

constexpr std::array<std::string_view, 6> rawValues = {"applications", "developer", "documents",
                                                       "media",        "archives",  "other"};
constexpr std::array<std::string_view, 6> displayNames = {"Applications", "Developer", "Documents",
                                                          "Media",        "Archives",  "Other"};

const std::unordered_set<std::string_view>& developerFolderWords() {
    static const std::unordered_set<std::string_view> words = {
        "developer", "xcode", "deriveddata", "node_modules", ".git", ".build", ".swiftpm", ".npm",
        ".cargo",    ".rustup", ".gradle",   "venv",         ".venv", "pods",  "coresimulator"};
    return words;
}

constexpr std::array<std::string_view, 10> archiveExtensions = {"zip", "tar", "gz", "bz2", "xz",
                                                                "7z",  "rar", "dmg", "iso", "pkg"};
constexpr std::array<std::string_view, 22> mediaExtensions = {
    "jpg", "jpeg", "png", "heic", "gif", "webp", "svg", "psd", "raw", "tiff", "tif",
    "mp4", "mov",  "mkv", "avi",  "mp3", "m4a",  "wav", "aiff", "flac", "photoslibrary", "fcpbundle"};
constexpr std::array<std::string_view, 17> developerExtensions = {
    "swift", "m", "mm", "h", "c", "cpp", "js", "jsx", "ts", "tsx", "py", "rs", "go", "java", "ipynb",
    "xcodeproj", "xcworkspace"};
constexpr std::array<std::string_view, 15> documentExtensions = {"pdf", "doc", "docx", "xls",     "xlsx",
                                                                 "ppt", "pptx", "pages", "numbers", "key",
                                                                 "txt", "md",  "rtf",  "csv",     "epub"};
constexpr std::array<std::string_view, 3> mediaFolderWords = {"pictures", "movies", "music"};

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value) {
    for (auto item : list)
        if (item == value) return true;
    return false;
}

} // namespace

std::string_view rawValue(FileCategory category) { return rawValues[static_cast<std::size_t>(category)]; }

std::optional<FileCategory> fileCategoryFromRawValue(std::string_view raw) {
    for (std::size_t i = 0; i < rawValues.size(); ++i)
        if (rawValues[i] == raw) return allFileCategories[i];
    return std::nullopt;
}

std::string_view displayName(FileCategory category) { return displayNames[static_cast<std::size_t>(category)]; }

FileCategory classify(std::string_view path, bool isDirectory) {
    const std::string lowered = text::lowercase(path);
    // Components: "/" first for an absolute path, then every non-empty piece.
    std::vector<std::string_view> components;
    std::string_view rest(lowered);
    if (rest.starts_with('/')) components.push_back("/");
    while (!rest.empty()) {
        auto slash = rest.find('/');
        auto piece = rest.substr(0, slash);
        if (!piece.empty()) components.push_back(piece);
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }

    for (auto c : components)
        if (c.ends_with(".app")) return FileCategory::applications;
    const auto& words = developerFolderWords();
    for (auto c : components)
        if (words.contains(c)) return FileCategory::developer;

    std::string_view extension;
    if (!components.empty() && components.back() != "/") {
        auto last = components.back();
        auto dot = last.rfind('.');
        if (dot != std::string_view::npos && dot != 0) extension = last.substr(dot + 1);
    }
    if (!extension.empty()) {
        if (contains(archiveExtensions, extension)) return FileCategory::archives;
        if (contains(mediaExtensions, extension)) return FileCategory::media;
        if (contains(developerExtensions, extension)) return FileCategory::developer;
        if (contains(documentExtensions, extension)) return FileCategory::documents;
    }
    for (auto c : components)
        if (contains(mediaFolderWords, c)) return FileCategory::media;
    for (auto c : components)
        if (c == "documents") return FileCategory::documents;
    if (components.empty() || !isDirectory) return FileCategory::other;
    return components.back() == "applications" ? FileCategory::applications : FileCategory::other;
}

} // namespace morvo
