#include "MorvoCore/Platform/Errors.h"

#include <cstring>

namespace morvo {

const char* MorvoError::what() const noexcept {
    try {
        what_ = description();
    } catch (...) {
        return "error";
    }
    return what_.c_str();
}

std::string PosixError::description() const {
    char buffer[256];
    // GNU strerror_r returns the message, possibly not in `buffer`.
    const char* text = strerror_r(code_, buffer, sizeof buffer);
    return text ? std::string(text) : std::string("Unknown error");
}

std::string errorDescription(const std::exception& error) {
    if (auto* ours = dynamic_cast<const MorvoError*>(&error)) return ours->description();
    return error.what();
}

std::string CancellationError::description() const { return "The operation was cancelled."; }

} // namespace morvo
