#pragma once
// Walks the entries below a folder. A folder is yielded before anything inside it; links are
// yielded but never entered; hidden entries are included; names stay bytes. A folder that
// cannot be opened below the start goes to the error handler and its contents are not yielded.
// Siblings come in no promised order.

#include "MorvoCore/Platform/Errors.h"
#include "MorvoCore/Platform/FileMetadata.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace morvo {

class DirectoryEnumerator {
public:
    enum class Options { none, skipsSubdirectoryDescendants };
    // Called on the walking thread with the path and error of an entry that cannot be read;
    // return true to go on, false to end the enumeration.
    using ErrorHandler = std::function<bool(const std::string& path, const PosixError& error)>;

    struct Entry {
        std::string path;       // the start folder's path + "/" + the relative path
        int level = 0;          // 1 for a direct child of the start folder
        FileMetadata metadata;  // valid when statError == 0
        int statError = 0;      // errno of the entry's lstat, 0 on success
        bool isDirectory() const { return statError == 0 && metadata.isDirectory(); }
    };

    // Opens `folder` (a normalised absolute path). Returns null when it cannot be opened.
    static std::unique_ptr<DirectoryEnumerator> make(const std::string& folder, Options options,
                                                     ErrorHandler errorHandler);
    virtual ~DirectoryEnumerator() = default;

    // The next entry, or nullopt at the end (or after the error handler returned false).
    virtual std::optional<Entry> next() = 0;
    // The depth of the entry yielded last.
    virtual int level() const = 0;
    // After a folder was yielded: do not yield its contents.
    virtual void skipDescendants() = 0;
};

} // namespace morvo
