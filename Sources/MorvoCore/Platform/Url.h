#pragma once
// A small URL value for the file, mailto and https locations Morvo uses.
// File URLs carry the operating system's path bytes unchanged; nothing here re-encodes them.

#include <string>
#include <string_view>

namespace morvo {

struct Url {
    std::string scheme;   // "file", "mailto", "https", ...
    std::string host;     // empty for file URLs
    std::string path;     // for file URLs: a normalised absolute path
    bool isDirectory = false;

    // A file URL for `path`, normalised (see Path.h). Relative paths are made absolute
    // against the current directory; when that is gone the path stays relative, so that whoever
    // opens it fails (path::absolute says why) instead of reaching another item.
    static Url file(std::string_view path, bool isDirectory = false);
    // Parses "scheme://host/path" or "scheme:rest" (mailto:). Percent escapes in a file URL's
    // path are decoded to bytes.
    static Url parse(std::string_view text);

    bool isFileURL() const { return scheme == "file"; }
    std::string lastPathComponent() const;
    std::string pathExtension() const;
    Url appending(std::string_view component, bool directory = false) const;
    Url deletingLastPathComponent() const;
    // "file:///a/b%20c" for file URLs (percent-encoded), "scheme://host/path" or "mailto:x" otherwise.
    std::string absoluteString() const;

    friend bool operator==(const Url& a, const Url& b) {
        return a.scheme == b.scheme && a.host == b.host && a.path == b.path;
    }
};

} // namespace morvo
