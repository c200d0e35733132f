#pragma once
// Moves one item into the user's Trash, following the freedesktop.org Trash layout: a "files"
// folder holding the item and an "info" folder holding NAME.trashinfo with its original path and
// deletion date. The item is renamed, never copied, and nothing in the Trash is ever replaced.

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/Url.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace morvo {

// The file-system object the caller reviewed: the mover refuses to move anything else.
struct TrashItemIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
};

// The item at the given path is no longer the object that was reviewed (or is now a link).
class TrashItemChangedError : public MorvoError {
public:
    std::string description() const override { return "The item changed after it was reviewed."; }
};

class TrashMover {
public:
    virtual ~TrashMover() = default;
    // Moves `item` to the Trash when it is still `expected`; returns where it landed, when known.
    // Throws TrashItemChangedError when the item is another object now, another MorvoError
    // (usually PosixError) when the move itself fails; the item is then where it was.
    virtual std::optional<Url> trashItem(const Url& item, const TrashItemIdentity& expected) = 0;
};

class FreedesktopTrashMover : public TrashMover {
public:
    struct Options {
        std::string dataHome;  // $XDG_DATA_HOME; the home Trash is dataHome + "/Trash"
        uid_t uid = 0;         // names the per-volume trash folders
        // The local time written as DeletionDate; unset: the current time.
        std::function<std::string()> deletionDate;
    };

    explicit FreedesktopTrashMover(Options options);
    // $XDG_DATA_HOME when absolute, else $HOME/.local/share (or the password database's home).
    static Options optionsFromEnvironment();

    std::optional<Url> trashItem(const Url& item, const TrashItemIdentity& expected) override;

private:
    Options options_;
};

// The home Trash folder of the current user ($XDG_DATA_HOME/Trash by the rules above).
std::string homeTrashDirectory();

std::shared_ptr<TrashMover> makeDefaultTrashMover();

} // namespace morvo
