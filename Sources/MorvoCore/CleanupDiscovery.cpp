#include "MorvoCore/CleanupDiscovery.h"

#include "MorvoCore/DiskScanner.h"
#include "MorvoCore/Platform/DirectoryEnumerator.h"
#include "MorvoCore/Platform/Path.h"
#include "MorvoCore/Platform/Text.h"

#include <algorithm>
#include <cerrno>
#include <set>

namespace morvo::CleanupDiscoveryScanner {

namespace {

constexpr const char* partialReason =
    "This item was only partially scanned. Its size is incomplete, so cleanup is disabled until a complete "
    "scan succeeds.";
constexpr const char* vendorReason =
    "Use this tool\u2019s own cleanup controls. This location is shown for visibility and cannot be added to "
    "Morvo\u2019s cleanup queue.";
constexpr const char* appleReason = "Apple application data is shown for visibility and protected from cleanup.";
constexpr const char* unmeasuredReason =
    "This item could not be measured. Cleanup is disabled until a complete scan succeeds.";

// A location refused by the path check: a link or a non-directory on the way.
class LocationError : public MorvoError {
public:
    explicit LocationError(std::string message) : message_(std::move(message)) {}
    std::string description() const override { return message_; }

private:
    std::string message_;
};

bool isAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::optional<std::string> possibleOwner(const DiskNode& node) {
    std::string candidate = node.name;
    if (!node.isDirectory && text::asciiLowercase(node.url.pathExtension()) == "log") {
        std::string last = node.url.lastPathComponent();
        candidate = last.substr(0, last.size() - 4);  // drop ".log"
    }
    if (candidate.size() >= 256) return std::nullopt;
    std::size_t pieces = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= candidate.size(); ++i) {
        if (i < candidate.size() && candidate[i] != '.') continue;
        std::string_view piece(candidate.data() + start, i - start);
        if (piece.empty() || !isAsciiAlnum(piece.front())) return std::nullopt;
        for (char c : piece)
            if (!isAsciiAlnum(c) && c != '-') return std::nullopt;
        if (i < candidate.size()) ++pieces;
        start = i + 1;
    }
    if (pieces < 3) return std::nullopt;
    return candidate;
}

class Scan {
public:
    Scan(std::int64_t maxNodesPerRoot, std::int64_t maxEntriesPerRoot, std::stop_token stop,
         const Environment& environment)
        : maxNodes_(std::max<std::int64_t>(maxNodesPerRoot, 1)),
          maxEntries_(std::max<std::int64_t>(maxEntriesPerRoot, 1)),
          stop_(std::move(stop)),
          environment_(environment) {}

    CleanupDiscoveryResult run(const Url& givenHome) {
        if (!givenHome.isFileURL()) return {{}, {"Choose a home folder on this Mac."}, false};
        Url home = givenHome;
        try {
            // A relative home folder while the current folder is gone cannot be named: it is a
            // home folder that cannot be inspected.
            home.path = path::absolute(givenHome.path);
            verifyDirectoryPath(home);
        } catch (const CancellationError&) {
            throw;
        } catch (const std::exception& error) {
            return {{}, {"Could not inspect the home folder at " + home.path + ": " + errorDescription(error)}, false};
        }
        for (CleanupArea area : allCleanupAreas) scanArea(home, area);
        for (const DeveloperCacheLocation& row : DeveloperCacheLocations::all()) scanRow(home, row);
        checkCancellation();
        std::sort(result_.entries.begin(), result_.entries.end(),
                  [](const CleanupDiscoveryEntry& a, const CleanupDiscoveryEntry& b) {
                      if (a.logicalSize != b.logicalSize) return a.logicalSize > b.logicalSize;
                      int order = text::localizedStandardCompare(a.url.path, b.url.path);
                      // Paths the collator calls equal still get one fixed order.
                      if (order != 0) return order < 0;
                      return a.url.path < b.url.path;
                  });
        return std::move(result_);
    }

private:
    void checkCancellation() const {
        if (stop_.stop_requested()) throw CancellationError();
    }

    void warn(std::string text) {
        result_.isComplete = false;
        result_.warnings.push_back(std::move(text));
    }

    int lstat(const std::string& path, FileMetadata& out) const {
        if (environment_.lstat) return environment_.lstat(path, out);
        try {
            out = statPath(path);
            return 0;
        } catch (const PosixError& error) {
            return error.code();
        }
    }

    // Walks from "/" down to `url`, refusing any component that is not a real directory.
    void verifyDirectoryPath(const Url& url) const {
        std::string current = "/";
        std::string_view rest = url.path;
        while (!rest.empty()) {
            std::size_t slash = rest.find('/');
            std::string_view component = rest.substr(0, slash);
            rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
            if (component.empty()) continue;
            checkCancellation();
            current = path::join(current, component);
            FileMetadata metadata;
            if (int code = lstat(current, metadata)) throw PosixError(code, current);
            if (!metadata.isDirectory()) {
                std::string message = metadata.isSymbolicLink() ? "Symbolic-link locations are excluded"
                                                                : "The location is not a directory";
                throw LocationError(message + ": " + current);
            }
        }
    }

    // True when the location exists as a real directory; otherwise warns (unless it is missing).
    bool verifyLocation(const Url& url, std::string_view title) {
        try {
            verifyDirectoryPath(url);
            return true;
        } catch (const CancellationError&) {
            throw;
        } catch (const PosixError& error) {
            if (error.code() == ENOENT) return false;
            warn("Could not inspect " + std::string(title) + " at " + url.path + ": " + error.description());
        } catch (const std::exception& error) {
            warn("Could not inspect " + std::string(title) + " at " + url.path + ": " + errorDescription(error));
        }
        return false;
    }

    void scanArea(const Url& home, CleanupArea area) {
        checkCancellation();
        const Url root = location(area, home);
        const std::string areaTitle(title(area));
        if (!verifyLocation(root, areaTitle)) return;

        auto enumerator = DirectoryEnumerator::make(
            root.path, DirectoryEnumerator::Options::skipsSubdirectoryDescendants,
            [this, &areaTitle](const std::string& failedPath, const PosixError& error) {
                warn("Could not list " + areaTitle + " at " + failedPath + ": " + error.description());
                return false;
            });
        if (!enumerator) {
            warn("Could not list " + areaTitle + " at " + root.path + ".");
            return;
        }

        const DeveloperCacheLocation* match = nullptr;
        for (const DeveloperCacheLocation& row : DeveloperCacheLocations::all())
            if (row.relativeHomePath == relativePath(area)) {
                match = &row;
                break;
            }
        const std::string note = match ? match->note : std::string();
        const std::optional<Url> documentation = match ? std::optional<Url>(match->documentationURL) : std::nullopt;
        const bool vendorManaged = match && match->cleanupPolicy == DeveloperCacheCleanupPolicy::vendorManaged;
        const std::optional<std::string> owner =
            area == CleanupArea::developer ? std::optional<std::string>("com.apple.dt.Xcode") : std::nullopt;

        std::int64_t counter = 0;
        while (true) {
            std::optional<DirectoryEnumerator::Entry> entry = enumerator->next();
            if (!entry) break;
            checkCancellation();
            if (++counter > maxEntries_) {
                warn(areaTitle + " reached its " + text::formatInteger(maxEntries_) +
                     "-entry listing limit. Some locations were not measured.");
                break;
            }
            const std::string name(path::lastComponent(entry->path));
            const std::string childPath = path::join(root.path, name);
            FileMetadata metadata;
            if (int code = lstat(childPath, metadata)) {
                warn("Could not inspect " + childPath + ": " + PosixError(code, childPath).description());
                continue;
            }
            if (!metadata.isDirectory() && !metadata.isRegular()) continue;
            checkCancellation();
            if (!measured_.insert(childPath).second) continue;
            // Areas hold many small children; starting reader threads for each would cost more than
            // reading a file or a folder without subfolders (link count 2) on the calling thread.
            const bool small = metadata.isRegular() || metadata.linkCount == 2;
            measure(Url::file(childPath, metadata.isDirectory()), name, area, owner, note, vendorManaged,
                    documentation, small ? 1 : 0);
        }
    }

    void scanRow(const Url& home, const DeveloperCacheLocation& row) {
        checkCancellation();
        for (CleanupArea area : allCleanupAreas)
            if (row.relativeHomePath == relativePath(area)) return;
        const Url url = home.appending(row.relativeHomePath, true);
        if (!verifyLocation(url, row.title)) return;
        checkCancellation();
        if (!measured_.insert(url.path).second) return;
        measure(url, row.title, CleanupArea::developer, std::nullopt, row.note,
                row.cleanupPolicy == DeveloperCacheCleanupPolicy::vendorManaged, row.documentationURL);
    }

    std::shared_ptr<const DiskSnapshot> runMeasurement(const Url& url, unsigned threads) const {
        if (environment_.measure) return environment_.measure(url, maxNodes_, 40, stop_);
        return DiskScanner(maxNodes_, 40).withThreads(threads).scan(url, [](const ScanProgress&) {}, stop_);
    }

    // `threads` 0 lets the disk scanner read with one thread per core.
    void measure(const Url& url, const std::string& entryTitle, CleanupArea area,
                 const std::optional<std::string>& owner, const std::string& note, bool vendorManaged,
                 const std::optional<Url>& documentation, unsigned threads = 0) {
        std::shared_ptr<const DiskSnapshot> snapshot;
        try {
            snapshot = runMeasurement(url, threads);
            checkCancellation();
        } catch (const CancellationError&) {
            throw;
        } catch (const std::exception& error) {
            warn("Could not measure " + entryTitle + " at " + url.path + ": " + errorDescription(error));
            result_.entries.push_back(
                {url, entryTitle, area, 0, 0, true, owner, std::string(unmeasuredReason), note, documentation});
            return;
        }
        const DiskNode root = snapshot->root();
        if (root.isSymbolicLink) return;
        if (snapshot->isPartial) result_.isComplete = false;
        const std::string areaTitle(title(area));
        for (const ScanIssue& issue : snapshot->issues)
            result_.warnings.push_back(areaTitle + ": " + issue.path + " \u2014 " + issue.message);

        std::optional<std::string> blocked;
        const std::string lowerName = text::asciiLowercase(root.name);
        if (snapshot->isPartial)
            blocked = partialReason;
        else if (vendorManaged)
            blocked = vendorReason;
        else if (lowerName == "com.apple" || lowerName.starts_with("com.apple."))
            blocked = appleReason;

        result_.entries.push_back({root.url, entryTitle, area, root.logicalSize, root.fileCount,
                                   snapshot->isPartial, owner ? owner : possibleOwner(root), blocked, note,
                                   documentation});
    }

    const std::int64_t maxNodes_;
    const std::int64_t maxEntries_;
    const std::stop_token stop_;
    const Environment& environment_;
    CleanupDiscoveryResult result_;
    std::set<std::string> measured_;
};

} // namespace

CleanupDiscoveryResult scan(const Url& home, std::int64_t maxNodesPerRoot, std::int64_t maxEntriesPerRoot,
                            std::stop_token stop, const Environment& environment) {
    if (stop.stop_requested()) throw CancellationError();
    CleanupDiscoveryResult result = Scan(maxNodesPerRoot, maxEntriesPerRoot, stop, environment).run(home);
    if (stop.stop_requested()) throw CancellationError();
    return result;
}

} // namespace morvo::CleanupDiscoveryScanner
