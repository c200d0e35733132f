#pragma once
// The fixed safety rules that decide whether an item may go to the Trash at all. Stateless; they
// read the file system but never change it.

#include "MorvoCore/Platform/Url.h"
#include "MorvoCore/TrashMeasurement.h"
#include "MorvoCore/TrashRecords.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvo::trash {

// The places that stay protected under every name they have: the home folder and the user's Trash
// (with its files and info folders), by spelling, by canonical path and by device and inode.
// Gathered once for a run of checks, since they do not depend on the item.
struct ProtectedPlaces {
    struct Identity {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        friend bool operator==(const Identity&, const Identity&) = default;
    };
    std::string home;                         // the policy's home folder, normalised
    std::vector<std::string> homePaths;       // home and its canonical path
    std::vector<Identity> homeIdentities;     // of those that are folders
    std::vector<std::string> trashPaths;      // each home Trash, spelled and canonical
    std::vector<Identity> trashIdentities;    // each home Trash and its files and info folders

    static ProtectedPlaces gather(const TrashPolicy& policy, const TrashFileSystem& fs = TrashFileSystem::system());
};

// Returns when the item may be moved; throws the first refusal as a TrashFailure. Errors of
// reading the item (PosixError, PropertyListError) pass through unchanged.
void validate(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
              const TrashFileSystem& fs = TrashFileSystem::system());
// The same with the protected places gathered beforehand (ProtectedPlaces::gather of the policy).
void validate(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
              const ProtectedPlaces& places, const TrashFileSystem& fs = TrashFileSystem::system());
// The same within one review, with the folder records shared between its items (FolderRecords).
void validate(const Url& url, const std::vector<Url>& protectedURLs, const TrashPolicy& policy,
              const ProtectedPlaces& places, FolderRecords& known,
              const TrashFileSystem& fs = TrashFileSystem::system());

// `candidate` is `root` or lies below it, ignoring case.
bool protectedContains(std::string_view root, std::string_view candidate);

// The bundle-identifier syntax: 1 to 255 characters, at least two dot-separated labels, each an
// ASCII letter followed by letters, digits and "-", not ending in "-".
bool validIdentifier(std::string_view identifier);

} // namespace morvo::trash
