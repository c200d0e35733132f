#pragma once
// Path strings are the operating system's bytes. They are normalised once where they enter:
// a trailing "/" stripped (except for "/"), runs of "/" collapsed. "." and ".." are kept so that
// the Trash rules can refuse them.

#include "MorvoCore/Platform/Errors.h"

#include <string>
#include <string_view>

namespace morvo {

// A relative path met while the current directory cannot be named (it was deleted, say):
// resolving it against anything else would name another item.
class UnresolvablePathError : public PosixError {
public:
    using PosixError::PosixError;
    std::string description() const override;
};

} // namespace morvo

namespace morvo::path {

std::string normalize(std::string_view path);
// Makes `path` absolute against the current directory, then normalises it. Throws
// UnresolvablePathError for a relative path when the current directory is gone.
std::string absolute(std::string_view path);
// The last component ("/" for "/", "" for "").
std::string_view lastComponent(std::string_view path);
// The path without its last component ("/" for "/x" and for "/").
std::string_view parent(std::string_view path);
// Text after the last "." of the last component; empty when none (or the name starts with it).
std::string_view extension(std::string_view path);
// `parent` + "/" + `name` without doubling the slash after "/".
std::string join(std::string_view parent, std::string_view name);
// True when `candidate` begins with `ancestor` followed by "/" (every absolute path lies below "/").
// Byte comparison, case-sensitive.
bool isBelow(std::string_view candidate, std::string_view ancestor);
// `candidate` equals `ancestor` or lies below it.
bool isWithin(std::string_view candidate, std::string_view ancestor);

} // namespace morvo::path
