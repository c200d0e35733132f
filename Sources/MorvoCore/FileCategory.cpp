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

namespace {

// Lower-cases an ASCII piece of at most `N` bytes into `buffer`; false when it is longer.
template <std::size_t N>
bool lowerInto(std::string_view piece, char (&buffer)[N], std::string_view& out) {
    if (piece.size() > N) return false;
    for (std::size_t i = 0; i < piece.size(); ++i) {
        char c = piece[i];
        buffer[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    out = std::string_view(buffer, piece.size());
    return true;
}

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// The rules over already lower-cased components. `components` holds "/" first for an absolute path.
FileCategory decide(bool anyApp, bool anyDeveloperWord, bool anyMediaFolder, bool anyDocumentsFolder,
                    std::string_view extension, bool hasComponents, std::string_view last, bool isDirectory) {
    if (anyApp) return FileCategory::applications;
    if (anyDeveloperWord) return FileCategory::developer;
    if (!extension.empty()) {
        if (contains(archiveExtensions, extension)) return FileCategory::archives;
        if (contains(mediaExtensions, extension)) return FileCategory::media;
        if (contains(developerExtensions, extension)) return FileCategory::developer;
        if (contains(documentExtensions, extension)) return FileCategory::documents;
    }
    if (anyMediaFolder) return FileCategory::media;
    if (anyDocumentsFolder) return FileCategory::documents;
    if (!hasComponents || !isDirectory) return FileCategory::other;
    return last == "applications" ? FileCategory::applications : FileCategory::other;
}

std::string_view extensionOf(std::string_view lastComponent) {
    if (lastComponent == "/") return {};
    auto dot = lastComponent.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return lastComponent.substr(dot + 1);
}

} // namespace

// Called once for every node of a scan, so the common (ASCII) case allocates nothing: each
// component is compared through a small lower-cased copy only when it could match a word.
FileCategory classify(std::string_view path, bool isDirectory) {
    const std::string lowered = isAscii(path) ? std::string() : text::lowercase(path);
    const std::string_view source = lowered.empty() ? path : std::string_view(lowered);

    bool anyApp = false, anyDeveloperWord = false, anyMediaFolder = false, anyDocumentsFolder = false;
    bool hasComponents = source.starts_with('/');
    std::string_view last = hasComponents ? std::string_view("/") : std::string_view();
    char lastBuffer[256];
    const auto& words = developerFolderWords();

    std::string_view rest = source;
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view piece = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (piece.empty()) continue;
        hasComponents = true;
        char buffer[16];
        std::string_view low;
        if (piece.size() >= 4) {
            std::string_view tail;
            char tailBuffer[4];
            lowerInto(piece.substr(piece.size() - 4), tailBuffer, tail);
            if (tail == ".app") anyApp = true;
        }
        if (lowerInto(piece, buffer, low)) {
            if (words.contains(low)) anyDeveloperWord = true;
            if (contains(mediaFolderWords, low)) anyMediaFolder = true;
            if (low == "documents") anyDocumentsFolder = true;
        }
        if (rest.empty() || rest.find_first_not_of('/') == std::string_view::npos) {
            std::string_view lowLast;
            if (!lowerInto(piece, lastBuffer, lowLast)) lowLast = piece;  // longer than any name Linux allows
            last = lowLast;
        }
    }
    char extensionBuffer[16];
    std::string_view extension = extensionOf(last);
    std::string_view lowExtension;
    if (!lowerInto(extension, extensionBuffer, lowExtension)) lowExtension = {};  // longer than any listed one
    return decide(anyApp, anyDeveloperWord, anyMediaFolder, anyDocumentsFolder, lowExtension, hasComponents, last,
                  isDirectory);
}

} // namespace morvo
