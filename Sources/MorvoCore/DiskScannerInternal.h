#pragma once
// The scanner over a chosen file-system reader, for tests that need folders which fail to open,
// entries whose lstat fails, or a made-up tree standing in for "/".

#include "MorvoCore/DiskScanner.h"
#include "MorvoCore/Platform/DirectoryReader.h"

namespace morvo::detail {

struct ScanSettings {
    std::int64_t maxNodeCount = 1;
    std::int64_t maxIssueCount = 1;
    unsigned threads = 0;  // 0: one reader per core; 1: everything on the calling thread
};

std::shared_ptr<const DiskSnapshot> scanWith(const ScanSettings& settings, const DirectoryReader& reader,
                                             const Url& url, const DiskScanner::ProgressHandler& progress,
                                             std::stop_token stop);

} // namespace morvo::detail
