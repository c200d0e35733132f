#pragma once
// Where mounts are. The kernel marks a mount's root in statx; on kernels that cannot, the mount
// points of this process's view (/proc/self/mountinfo) answer instead.

#include "MorvoCore/Platform/FileMetadata.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace morvo {

// The mount points named by mountinfo text, with its octal escapes ("\040" for a space) undone.
std::set<std::string> parseMountPoints(std::string_view mountinfo);

// Whether the entry at `path` (an absolute path without links) with record `m` is the root of a
// mount: the kernel's mark when it gives one, else whether mountinfo names the path. A walk that
// asks for many entries passes `cache`, so mountinfo is read at most once for it.
bool isMountRoot(const FileMetadata& m, const std::string& path,
                 std::optional<std::set<std::string>>* cache = nullptr);

} // namespace morvo
