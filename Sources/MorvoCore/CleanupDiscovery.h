#pragma once
// Finds cleanup candidates under a home folder: every direct child of the three Library areas and
// every developer-tool cache folder that exists, each measured with DiskScanner. Changes nothing on
// disk. File-system problems become warnings (and an incomplete result); only cancellation throws.

#include "MorvoCore/DeveloperCacheLocations.h"
#include "MorvoCore/DiskModels.h"
#include "MorvoCore/Platform/FileMetadata.h"
#include "MorvoCore/Platform/Url.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace morvo {

struct CleanupDiscoveryEntry {
    Url url;                    // the measured location
    std::string title;
    CleanupArea area = CleanupArea::caches;
    std::int64_t logicalSize = 0;
    std::int64_t fileCount = 0;
    bool isPartial = false;
    std::optional<std::string> ownerBundleIdentifier;
    std::optional<std::string> blockedReason;  // absent: the entry may be queued
    std::string note;
    std::optional<Url> documentationURL;

    const std::string& id() const { return url.path; }
    friend bool operator==(const CleanupDiscoveryEntry&, const CleanupDiscoveryEntry&) = default;
};

struct CleanupDiscoveryResult {
    std::vector<CleanupDiscoveryEntry> entries;  // largest first, then by path
    std::vector<std::string> warnings;           // in the order they arose
    bool isComplete = true;
};

namespace CleanupDiscoveryScanner {

// What the scan reads the file system through. Tests replace members to inject faults; an empty
// member means the real thing.
struct Environment {
    // lstat of `path`: 0 and `out` filled, or an errno value.
    std::function<int(const std::string& path, FileMetadata& out)> lstat;
    // Measures one location (the real one runs DiskScanner(maxNodes, maxIssues).scan). May throw
    // CancellationError, ScanError or PosixError.
    std::function<std::shared_ptr<const DiskSnapshot>(const Url& url, std::int64_t maxNodes,
                                                      std::int64_t maxIssues, std::stop_token stop)>
        measure;
};

// Scans on the calling thread. Each limit is raised to at least 1. Throws only CancellationError.
// The application passes the user's home folder, 100000 and 2000.
CleanupDiscoveryResult scan(const Url& home, std::int64_t maxNodesPerRoot, std::int64_t maxEntriesPerRoot,
                            std::stop_token stop = {}, const Environment& environment = {});

} // namespace CleanupDiscoveryScanner

} // namespace morvo
