#pragma once
// Small read-only file-system queries of the application inventory: a shallow folder listing,
// the real path of a link, and the current user's home folder.

#include <optional>
#include <string>
#include <vector>

namespace morvo {

// The names of the immediate entries of `folder` (hidden ones included, "." and ".." left out), in
// the order the file system returns them. The folder itself is opened without following a link.
// Throws PosixError when the folder cannot be opened or read.
std::vector<std::string> contentsOfDirectory(const std::string& folder);

// realpath(3) of `path`; nullopt when it cannot be resolved.
std::optional<std::string> realPath(const std::string& path);

// $HOME when it is an absolute path, else the password database's entry; normalised.
std::string currentUserHomeDirectory();

} // namespace morvo
