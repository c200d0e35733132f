#pragma once
// The fixed safety rules that decide whether an item may go to the Trash at all. Stateless; they
// read the file system but never change it.

#include "MorvoCore/Platform/Url.h"
#include "MorvoCore/TrashMeasurement.h"
#include "MorvoCore/TrashRecords.h"

#include <string_view>
#include <vector>

namespace morvo::trash {

// Returns when the item may be moved; throws the first refusal as a TrashFailure. Errors of
// reading the item (PosixError, PropertyListError) pass through unchanged.
void validate(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
              const TrashFileSystem& fs = TrashFileSystem::system());

// `candidate` is `root` or lies below it, ignoring case.
bool protectedContains(std::string_view root, std::string_view candidate);

// The bundle-identifier syntax: 1 to 255 characters, at least two dot-separated labels, each an
// ASCII letter followed by letters, digits and "-", not ending in "-".
bool validIdentifier(std::string_view identifier);

} // namespace morvo::trash
