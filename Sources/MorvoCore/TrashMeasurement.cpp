#include "MorvoCore/TrashMeasurement.h"

#include "MorvoCore/Platform/Digest.h"
#include "MorvoCore/Platform/MountTable.h"
#include "MorvoCore/Platform/Path.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <set>
#include <cstdlib>
#include <utility>
#include <vector>

namespace morvo {

namespace {

class SystemTrashFileSystem final : public TrashFileSystem {
public:
    TrashMetadata metadata(const std::string& path) const override { return trashMetadata(statPath(path)); }
    PropertyListStrings readPropertyList(const std::string& path, std::int64_t maxBytes) const override {
        return readPropertyListStrings(path, maxBytes);
    }
    std::optional<std::string> realPath(const std::string& path) const override {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return std::nullopt;
        std::string out(resolved);
        std::free(resolved);
        return out;
    }
    const DirectoryReader& reader() const override { return DirectoryReader::system(); }
};

constexpr const char* kSpecialEntryMessage =
    "This selection contains a special filesystem entry that cannot be reviewed safely.";

void takeBudget(std::int64_t& remainingBudget) {
    if (remainingBudget <= 0) throw TrashFailure(trash::kItemLimitMessage);
    --remainingBudget;
}

// The last `level` components of `path`, joined by "/".
std::string relativePath(const std::string& path, int level) {
    std::size_t start = path.size();
    for (int i = 0; i < level && start != std::string::npos && start > 0; ++i) {
        start = path.rfind('/', start - 1);
    }
    if (start == std::string::npos) return path;
    return path.substr(start + 1);
}

} // namespace

bool TrashFileSystem::isMountRoot(const std::string& path) const {
    FileMetadata m;
    if (statAt(AT_FDCWD, path.c_str(), m, false) != 0) return false;
    return morvo::isMountRoot(m, path);
}

const TrashFileSystem& TrashFileSystem::system() {
    static const SystemTrashFileSystem instance;
    return instance;
}

TrashMetadata trashMetadata(const FileMetadata& m) {
    TrashMetadata t;
    t.device = m.device;
    t.inode = m.inode;
    t.mode = static_cast<std::uint16_t>(m.mode);
    t.size = m.size;
    t.links = m.linkCount;
    t.modifiedSeconds = m.modification.seconds;
    t.modifiedNanos = m.modification.nanoseconds;
    t.changedSeconds = m.statusChange.seconds;
    t.changedNanos = m.statusChange.nanoseconds;
    t.bornSeconds = m.birth.seconds;
    t.bornNanos = m.birth.nanoseconds;
    t.blocks = m.blocks;
    return t;
}

namespace trash {

TrashMetadata metadata(const Url& url, const TrashFileSystem& fs) {
    if (!url.isFileURL() || url.path.empty()) throw PosixError(EINVAL, url.path);
    return fs.metadata(path::normalize(url.path));
}

void validateAncestors(const Url& url, const TrashFileSystem& fs, std::vector<TrashMetadata>* records,
                       FolderRecords* known) {
    const std::string full = path::normalize(url.path);
    std::string soFar;
    std::size_t position = 0;
    while (position < full.size()) {
        while (position < full.size() && full[position] == '/') ++position;
        if (position >= full.size()) break;
        std::size_t end = full.find('/', position);
        if (end == std::string::npos) end = full.size();
        soFar.push_back('/');
        soFar.append(full, position, end - position);
        position = end;
        const bool last = full.find_first_not_of('/', position) == std::string::npos;
        FolderRecords* cache = last ? nullptr : known;
        TrashMetadata m;
        if (auto found = cache ? cache->find(soFar) : FolderRecords::iterator(); cache && found != cache->end()) {
            m = found->second;
        } else {
            m = fs.metadata(soFar);
            // Only what passed is kept: a link or an error is met again by every item below it.
            if (cache && m.type() != S_IFLNK) cache->emplace(soFar, m);
        }
        if (m.type() == S_IFLNK) throw TrashFailure(kSymbolicLinkAncestorMessage);
        if (records) records->push_back(m);
    }
}

Measurement measure(const Url& url, std::int64_t& remainingBudget, std::stop_token stop, const TrashFileSystem& fs) {
    if (stop.stop_requested()) throw CancellationError();
    const std::string itemPath = path::normalize(url.path);
    const TrashMetadata root = metadata(url, fs);
    takeBudget(remainingBudget);

    Measurement result;
    std::vector<std::pair<std::string, TrashMetadata>> entries;
    entries.emplace_back(std::string(), root);

    switch (root.type()) {
    case S_IFREG:
        result.files = 1;
        result.bytes = std::max<std::int64_t>(root.size, 0);
        break;
    case S_IFLNK: result.linkCount = 1; break;
    case S_IFDIR: break;
    default: throw TrashFailure(kSpecialEntryMessage);
    }

    if (root.type() == S_IFDIR) {
        std::optional<PosixError> walkError;
        auto enumerator = makeDirectoryEnumerator(
            itemPath, DirectoryEnumerator::Options::none,
            [&walkError](const std::string&, const PosixError& error) {
                walkError = error;
                return false;
            },
            fs.reader());
        if (!enumerator) throw TrashFailure("The folder could not be read completely.");
        // The walk opens every folder relative to its parent without following links, so no
        // folder below the item can be a link; what lies above it is checked once here.
        bool ancestorsChecked = false;
        std::optional<std::set<std::string>> mountPoints;
        while (auto entry = enumerator->next()) {
            if (stop.stop_requested()) throw CancellationError();
            if (walkError) throw *walkError;
            if (!ancestorsChecked) {
                validateAncestors(url, fs);
                ancestorsChecked = true;
            }
            if (entry->statError != 0) throw PosixError(entry->statError, entry->path);
            const TrashMetadata m = trashMetadata(entry->metadata);
            // A bind mount of a folder on the same device is a mount too: moving the folder would
            // take the mount's contents along.
            if (m.device != root.device || isMountRoot(entry->metadata, entry->path, &mountPoints))
                throw TrashFailure("This folder contains a mounted volume. Review that volume separately.");
            takeBudget(remainingBudget);
            entries.emplace_back(relativePath(entry->path, enumerator->level()), m);
            switch (m.type()) {
            case S_IFREG:
                if (m.size >= 0 && __builtin_add_overflow(result.bytes, m.size, &result.bytes))
                    throw TrashFailure("The reported file size is too large to review safely.");
                ++result.files;
                break;
            case S_IFLNK: ++result.linkCount; break;
            case S_IFDIR: break;
            default: throw TrashFailure(kSpecialEntryMessage);
            }
        }
        if (walkError) throw *walkError;
    }

    if (stop.stop_requested()) throw CancellationError();
    if (metadata(url, fs) != root) throw TrashFailure("This item changed during review. Prepare a fresh preview.");

    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    Sha256 hash;
    const char zero = '\0';
    for (const auto& [relative, record] : entries) {
        hash.update(relative);
        hash.update(&zero, 1);
        hash.update(record.signature());
        hash.update(&zero, 1);
    }
    result.fingerprint.digest = hash.finish();
    result.fingerprint.root = root;
    return result;
}

} // namespace trash
} // namespace morvo
