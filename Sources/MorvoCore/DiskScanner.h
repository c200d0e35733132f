#pragma once
// Walks one folder, volume or single item into a DiskSnapshot: sizes summed over every subtree,
// links never followed, hard-linked data counted once, a node budget, capped issues, progress at
// most every 0.1 s, and a prompt stop when the stop token fires.

#include "MorvoCore/DiskModels.h"

#include <functional>
#include <memory>
#include <stop_token>

namespace morvo {

class DiskScanner {
public:
    using ProgressHandler = std::function<void(const ScanProgress&)>;

    // Each limit is raised to at least 1.
    DiskScanner(std::int64_t maxNodeCount, std::int64_t maxIssueCount);

    std::int64_t maxNodeCount() const { return maxNodeCount_; }
    std::int64_t maxIssueCount() const { return maxIssueCount_; }

    // Scans `url` on the calling thread (and the scanner's own reader threads). Throws ScanError,
    // the root's PosixError, or CancellationError. `progress` is called on the calling thread.
    std::shared_ptr<const DiskSnapshot> scan(const Url& url, const ProgressHandler& progress,
                                             std::stop_token stop = {}) const;

    // Reader threads used by a scan; 0 means one per core (the default).
    DiskScanner& withThreads(unsigned threads) {
        threads_ = threads;
        return *this;
    }

private:
    std::int64_t maxNodeCount_;
    std::int64_t maxIssueCount_;
    unsigned threads_ = 0;
};

} // namespace morvo
