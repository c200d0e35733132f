#include "MorvoCore/FileCategory.h"

#include "MorvoCore/Platform/Text.h"

#include <string>
#include <cstdint>
#include <cstring>
#include <vector>

namespace morvo {

namespace {

constexpr std::array<std::string_view, 6> rawValues = {"applications", "developer", "documents",
                                                       "media",        "archives",  "other"};
constexpr std::array<std::string_view, 6> displayNames = {"Applications", "Developer", "Documents",
                                                          "Media",        "Archives",  "Other"};

// The folder words below; a switch on the length, as every entry of a scan is checked against them.
bool isDeveloperFolderWord(std::string_view w) {
    switch (w.size()) {
    case 4: return w == ".git" || w == ".npm" || w == "venv" || w == "pods";
    case 5: return w == "xcode" || w == ".venv";
    case 6: return w == ".build" || w == ".cargo";
    case 7: return w == ".rustup" || w == ".gradle";
    case 8: return w == ".swiftpm";
    case 9: return w == "developer";
    case 11: return w == "deriveddata";
    case 12: return w == "node_modules";
    case 13: return w == "coresimulator";
    default: return false;
    }
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

// Lower-cases a component: ASCII into `buffer` when it fits, anything else through ICU into `spill`.
std::string_view lowered(std::string_view piece, char (&buffer)[256], std::string& spill) {
    // Most names are lower-case ASCII already: then there is nothing to copy.
    // (One branch-free pass over the whole name; names are short.)
    unsigned special = 0;
    for (const char c : piece) {
        const auto u = static_cast<unsigned char>(c);
        special |= static_cast<unsigned>(static_cast<unsigned char>(u - 'A') < 26) | (u >> 7);
    }
    if (special == 0) return piece;
    if (piece.size() <= sizeof buffer) {
        std::size_t i = 0;
        for (; i < piece.size(); ++i) {
            const char c = piece[i];
            if (static_cast<unsigned char>(c) >= 0x80) break;
            buffer[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        if (i == piece.size()) return std::string_view(buffer, piece.size());
    }
    spill = text::lowercase(piece);
    return spill;
}

// Every listed extension with the category of the first list that holds it: extensions of up to
// eight bytes packed into one word and found in a small open-addressing table, longer ones by name.
class ExtensionTable {
public:
    ExtensionTable() {
        for (auto e : archiveExtensions) add(e, FileCategory::archives);
        for (auto e : mediaExtensions) add(e, FileCategory::media);
        for (auto e : developerExtensions) add(e, FileCategory::developer);
        for (auto e : documentExtensions) add(e, FileCategory::documents);
    }

    std::optional<FileCategory> find(std::string_view e) const {
        if (e.size() > 8) {
            for (const auto& [name, category] : longOnes_)
                if (name == e) return category;
            return std::nullopt;
        }
        const std::uint64_t key = pack(e);
        for (std::size_t i = slot(key);; i = (i + 1) % kSlots) {
            if (keys_[i] == key) return categories_[i];
            if (keys_[i] == 0) return std::nullopt;
        }
    }

private:
    static constexpr std::size_t kSlots = 256;  // a quarter full at most
    static std::uint64_t pack(std::string_view e) {
        std::uint64_t key = 0;
        std::memcpy(&key, e.data(), e.size());
        return key;
    }
    static std::size_t slot(std::uint64_t key) { return (key * 0x9E3779B97F4A7C15ull) >> 56; }

    void add(std::string_view e, FileCategory category) {
        if (find(e)) return;  // an earlier list holds it
        if (e.size() > 8) {
            longOnes_.emplace_back(e, category);
            return;
        }
        const std::uint64_t key = pack(e);
        std::size_t i = slot(key);
        while (keys_[i] != 0) i = (i + 1) % kSlots;
        keys_[i] = key;
        categories_[i] = category;
    }

    std::array<std::uint64_t, kSlots> keys_{};
    std::array<FileCategory, kSlots> categories_{};
    std::vector<std::pair<std::string_view, FileCategory>> longOnes_;
};

const ExtensionTable& extensionCategories() {
    static const ExtensionTable table;
    return table;
}

constexpr std::size_t kLongestExtension = 13;   // "photoslibrary"
constexpr std::size_t kLongestFolderWord = 13;  // "coresimulator"

// The extension of a lower-cased last component ("" when none, or when the name starts with the dot).
std::string_view extensionOf(std::string_view lastComponent) {
    if (lastComponent == "/") return {};
    auto dot = lastComponent.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {};
    return lastComponent.substr(dot + 1);
}

FileCategory decide(const PathTraits& all, std::string_view last, bool isDirectory) {
    if (all.insideApplication) return FileCategory::applications;
    if (all.developerFolder) return FileCategory::developer;
    if (std::string_view extension = extensionOf(last); !extension.empty() && extension.size() <= kLongestExtension) {
        if (auto category = extensionCategories().find(extension)) return *category;
    }
    if (all.mediaFolder) return FileCategory::media;
    if (all.documentsFolder) return FileCategory::documents;
    if (!all.hasComponents || !isDirectory) return FileCategory::other;
    return last == "applications" ? FileCategory::applications : FileCategory::other;
}

PathTraits addLowered(PathTraits traits, std::string_view low) {
    traits.hasComponents = true;
    if (low.ends_with(".app")) traits.insideApplication = true;
    if (low.size() > kLongestFolderWord) return traits;  // no folder word is that long
    if (isDeveloperFolderWord(low)) traits.developerFolder = true;
    if (contains(mediaFolderWords, low)) traits.mediaFolder = true;
    if (low == "documents") traits.documentsFolder = true;
    return traits;
}

} // namespace

PathTraits appendingComponent(PathTraits traits, std::string_view component) {
    char buffer[256];
    std::string spill;
    return addLowered(traits, lowered(component, buffer, spill));
}

PathTraits pathTraits(std::string_view path) {
    PathTraits traits;
    if (path.starts_with('/')) traits.hasComponents = true;  // "/" is a component of its own
    std::string_view rest = path;
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view piece = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (!piece.empty()) traits = appendingComponent(traits, piece);
    }
    return traits;
}

FileCategory classifyChild(const PathTraits& parent, std::string_view name, bool isDirectory) {
    // Below an application everything is one; below a developer folder only an application differs.
    if (parent.insideApplication) return FileCategory::applications;
    if (parent.developerFolder) {
        // No other character lower-cases to '.', 'a' or 'p', so ASCII alone decides ".app".
        const bool app = name.size() >= 4 && name[name.size() - 4] == '.' &&
                         text::asciiLowercase(name.substr(name.size() - 3)) == "app";
        return app ? FileCategory::applications : FileCategory::developer;
    }
    char buffer[256];
    std::string spill;
    std::string_view low = lowered(name, buffer, spill);
    return decide(addLowered(parent, low), low, isDirectory);
}

FileCategory classify(std::string_view path, bool isDirectory) {
    // The last non-empty component decides the extension; everything before it only adds traits.
    std::string_view trimmed = path;
    while (trimmed.size() > 1 && trimmed.ends_with('/')) trimmed.remove_suffix(1);
    if (trimmed.empty()) return FileCategory::other;
    if (trimmed == "/") return decide(pathTraits("/"), "/", isDirectory);
    auto slash = trimmed.rfind('/');
    if (slash == std::string_view::npos) return classifyChild(PathTraits{}, trimmed, isDirectory);
    return classifyChild(pathTraits(trimmed.substr(0, slash + 1)), trimmed.substr(slash + 1), isDirectory);
}

} // namespace morvo
