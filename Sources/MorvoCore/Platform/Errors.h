#pragma once
// What ends an operation is thrown; each error carries the user-facing description.

#include <stdexcept>
#include <string>

namespace morvo {

class MorvoError : public std::exception {
public:
    // The user-facing ("localised") description.
    virtual std::string description() const = 0;
    const char* what() const noexcept override;

private:
    mutable std::string what_;
};

// A failed system call: the C library's text for `code` is the description; the path travels beside it.
class PosixError : public MorvoError {
public:
    PosixError(int code, std::string path) : code_(code), path_(std::move(path)) {}
    int code() const { return code_; }
    const std::string& path() const { return path_; }
    std::string description() const override;

private:
    int code_;
    std::string path_;
};

// The user-facing description of any error: ours carry one, others give what().
std::string errorDescription(const std::exception& error);

// The operation's stop token was triggered.
class CancellationError : public MorvoError {
public:
    std::string description() const override;
};

} // namespace morvo
