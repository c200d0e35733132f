#pragma once
// The names and restore records of items in a freedesktop.org Trash: pure functions of bytes, kept
// apart from the mover so that they can be tested and fuzzed on their own.

#include <cstddef>
#include <string>
#include <string_view>

namespace morvo {

// The longest name an item may get in files/: NAME.trashinfo must still be a valid name.
inline constexpr std::size_t kTrashNameLimit = 255 - 10;

// The name for the `attempt`-th try (1, 2, ...) at storing an item called `name` (one non-empty
// path component): the name itself when it fits, then "stem.2.ext", "stem.3.ext", ... The result
// is never empty, never "." or "..", holds no "/", and is at most kTrashNameLimit bytes; a stem
// that is cut is cut between UTF-8 characters when the bytes are UTF-8.
std::string trashCandidateName(std::string_view name, int attempt);

// The .trashinfo content for an item whose original path (absolute for the home Trash, relative to
// the volume's top folder otherwise) is `originalPath`: "[Trash Info]", Path= percent-encoded, and
// DeletionDate=, each ended by a newline.
std::string trashInfoContent(std::string_view originalPath, std::string_view deletionDate);

// Percent-encoding of the Path= value: every byte but A-Z a-z 0-9 - _ . ~ / becomes %XX.
std::string trashPercentEncode(std::string_view bytes);

} // namespace morvo
