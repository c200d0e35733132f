#pragma once
// The few file-system calls the directory walks make, behind one interface so that tests can put
// a failing or invented file system in place of the real one (root cannot be refused a folder).
// Handles are the reader's own small integers; with the system reader they are descriptors.

#include "MorvoCore/Platform/DirectoryEnumerator.h"
#include "MorvoCore/Platform/FileMetadata.h"

#include <cerrno>
#include <memory>
#include <string>

namespace morvo {

class DirectoryReader {
public:
    virtual ~DirectoryReader() = default;

    // Opens the folder at the absolute path `path` without following a final link.
    // Returns a handle (>= 0) or -errno.
    virtual int openDirectory(const std::string& path) const = 0;
    // Opens the folder `name` inside the open folder `directory`. Returns a handle or -errno.
    virtual int openDirectoryAt(int directory, const char* name) const = 0;
    // Appends every name of the folder except "." and "..", each followed by a NUL byte, to
    // `names`. Returns 0, or the errno that ended the listing (names read before it stay).
    virtual int readNames(int directory, std::string& names) const = 0;
    // Appends the folder's next names the same way, as many as one read brings (possibly none),
    // so that a walk can stop without holding a large folder's whole listing. Sets `atEnd` when
    // every name has been read or an error ended the listing. The default reads them all at once.
    virtual int readMoreNames(int directory, std::string& names, bool& atEnd) const {
        atEnd = true;
        return readNames(directory, names);
    }
    // A second handle on the open folder that shares its reading position: the listing goes on
    // through it where the first left off. Returns a handle or -errno. Needed only by readers
    // whose readMoreNames can stop short of the end.
    virtual int duplicate(int directory) const {
        (void)directory;
        return -ENOTSUP;
    }
    // lstat of `name` inside `directory`; returns 0 or an errno value.
    virtual int statAt(int directory, const char* name, FileMetadata& out) const = 0;
    // statAt without the birth time, which costs the file system extra work per entry; for
    // walks that only sum sizes. `out.birth` is left unset.
    virtual int statBasicAt(int directory, const char* name, FileMetadata& out) const {
        return statAt(directory, name, out);
    }
    // lstat of an absolute path; returns 0 or an errno value.
    virtual int statPath(const std::string& path, FileMetadata& out) const = 0;
    virtual void closeDirectory(int directory) const = 0;

    // The real file system (getdents64 + statx). Thread-safe.
    static const DirectoryReader& system();
};

// DirectoryEnumerator::make over another reader; `reader` must outlive the enumerator.
std::unique_ptr<DirectoryEnumerator> makeDirectoryEnumerator(const std::string& folder,
                                                             DirectoryEnumerator::Options options,
                                                             DirectoryEnumerator::ErrorHandler errorHandler,
                                                             const DirectoryReader& reader);

} // namespace morvo
