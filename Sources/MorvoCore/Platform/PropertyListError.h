#pragma once

#include "MorvoCore/Platform/Errors.h"

namespace morvo {

// The bytes could not be read as a property list holding a dictionary.
class PropertyListError : public MorvoError {
public:
    explicit PropertyListError(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    std::string description() const override {
        return "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
    }

private:
    std::string path_;
};

} // namespace morvo
