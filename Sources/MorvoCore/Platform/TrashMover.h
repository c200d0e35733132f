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
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

// Another object took the reviewed item's name between the last check and the rename, went to the
// Trash in its place, and could not be put back: it stays in the Trash, restorable.
class TrashItemReplacedError : public MorvoError {
public:
    TrashItemReplacedError(std::string landedPath, int moveBackError)
        : landedPath_(std::move(landedPath)), moveBackError_(moveBackError) {}
    const std::string& landedPath() const { return landedPath_; }
    std::string description() const override;

private:
    std::string landedPath_;
    int moveBackError_;
};

// What went to the Trash under the item's name was no longer there right after the rename: another
// program took it out at once, before the mover could check it. Its record has been taken back.
class TrashItemVanishedError : public MorvoError {
public:
    std::string description() const override;
};

class TrashMover {
public:
    virtual ~TrashMover() = default;
    // Moves `item` to the Trash when it is still `expected`; returns where it landed, when known.
    // Throws TrashItemChangedError when the item is another object now, another MorvoError
    // (usually PosixError) when the move itself fails; the item is then where it was.
    virtual std::optional<Url> trashItem(const Url& item, const TrashItemIdentity& expected) = 0;
    // Names the items a run is about to move, in the order it will ask for them; a hint only, so
    // that a mover can prepare for several at once. Items may still be skipped or come unplanned.
    virtual void plan(const std::vector<Url>& items) { (void)items; }
};

class FreedesktopTrashMover : public TrashMover {
public:
    struct Options {
        std::string dataHome;  // $XDG_DATA_HOME; the home Trash is dataHome + "/Trash"
        uid_t uid = 0;         // names the per-volume trash folders
        // The local time written as DeletionDate; unset: the current time.
        std::function<std::string()> deletionDate;
        // $XDG_STATE_HOME: every restore record is written down in a journal under it before it gets
        // its name, so that one left behind by a crash can be taken back (recoverInterruptedMoves).
        // Empty: nothing is written down. Where the journal cannot be kept (a read-only or full
        // state folder), the moves go on without it with every check of the item, and no record is
        // ever left empty; only a crash between a record's naming and its item's rename can then
        // leave that (whole) record behind, which the next start cannot know to take back.
        std::string stateHome;
        // Called right before each rename (tests use it to stand for a crash or a race).
        std::function<void()> beforeRename;
    };

    explicit FreedesktopTrashMover(Options options);
    ~FreedesktopTrashMover() override;
    FreedesktopTrashMover(const FreedesktopTrashMover&) = delete;
    FreedesktopTrashMover& operator=(const FreedesktopTrashMover&) = delete;
    // $XDG_DATA_HOME when absolute, else $HOME/.local/share (or the password database's home);
    // $XDG_STATE_HOME likewise, else $HOME/.local/state.
    static Options optionsFromEnvironment();

    std::optional<Url> trashItem(const Url& item, const TrashItemIdentity& expected) override;
    // The restore records of planned items are written down ahead, several with one synced write,
    // instead of one synced write each.
    void plan(const std::vector<Url>& items) override;

    // Takes back the restore records that a mover which stopped between reserving them and
    // moving its item left behind under `stateHome`: a record is removed only when it is still the
    // file the mover created (same device and inode, reached without links), holds exactly what it
    // wrote, and nothing stands under its name in files/; a temporary file of a record in the
    // making goes too. Nothing else is touched. Journals of movers that still run are left alone;
    // a journal whose work cannot be done now (its volume is not mounted, say) is kept, with that
    // work alone, for a later start. Reads at most the last few MiB of a journal. Returns how many
    // records were removed.
    static std::size_t recoverInterruptedMoves(const std::string& stateHome);

private:
    class Journal;
    struct State;
    Options options_;
    std::unique_ptr<State> state_;
};

// A reservation of a mover's journal that no "done" line settled, as recovery reads it back.
struct UnsettledTrashReservation {
    std::string info, files, content;     // the record's path, the item's path in files/, the record's text
    std::uint64_t device = 0, inode = 0;  // of the record's file, once created
    bool created = false;
    std::string temporary;  // the record's temporary name, where there was one
    std::uint64_t temporaryDevice = 0;
    std::string lines;  // its lines in the journal, to be written again when it must wait
};

// The reservations of a journal's text that were never settled, by their number (the order they
// were written in). A line cut short by a crash, a malformed line and a line about a reservation
// the text does not hold are passed over.
std::vector<UnsettledTrashReservation> unsettledTrashReservations(std::string_view journal);

// The home Trash folder of the current user ($XDG_DATA_HOME/Trash by the rules above).
std::string homeTrashDirectory();

std::shared_ptr<TrashMover> makeDefaultTrashMover();

} // namespace morvo
