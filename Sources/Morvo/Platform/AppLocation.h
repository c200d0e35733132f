#pragma once
// Where this application lives and which version it is, and whose home folder it works in.

#include "MorvoCore/Platform/Url.h"

#include <memory>
#include <optional>
#include <string>

namespace morvo {

class AppLocation {
public:
    virtual ~AppLocation() = default;
    // This application's own bundle: the enclosing "X.app" when the executable lies in
    // X.app/Contents/MacOS/, otherwise the executable itself.
    virtual Url bundleURL() const = 0;
    // The version and build of this application, when known.
    virtual std::optional<std::string> shortVersion() const = 0;
    virtual std::optional<std::string> buildVersion() const = 0;
};

// Reads the running executable's location; version and build are the ones this binary was built with.
std::shared_ptr<AppLocation> makeProcessAppLocation();

// The bundle that holds `executablePath`, by the rule of AppLocation::bundleURL().
Url bundleURLForExecutable(const std::string& executablePath);

// The current user's home folder ($HOME, else the password database), normalised.
std::string userHomeDirectory();

} // namespace morvo
