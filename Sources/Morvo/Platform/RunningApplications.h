#pragma once
// The applications running now, and a signal after launches and quits. The state objects read
// the list when they need it fresh; tests hand them a fake.

#include "MorvoCore/Platform/Url.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace morvo {

struct RunningApplication {
    std::optional<std::string> bundleIdentifier;
    std::optional<Url> bundleURL;
    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

class RunningApplications : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~RunningApplications() override = default;

    // Read fresh on every call.
    virtual std::vector<RunningApplication> runningApplications() const = 0;

signals:
    // Emitted after one or more applications launched or quit.
    void applicationsChanged();
};

// This user's processes from /proc: an executable inside "X.app/Contents/MacOS/" belongs to the
// bundle "X.app", whose identifier comes from its "Contents/Info.plist". Processes outside a
// bundle are not applications and are left out. Launches and quits are noticed by a light poll.
class ProcRunningApplications : public RunningApplications {
    Q_OBJECT
public:
    // `procRoot` is "/proc" outside tests; `uid` the user whose processes count.
    explicit ProcRunningApplications(QObject* parent = nullptr);
    ProcRunningApplications(std::string procRoot, unsigned uid,
                            std::chrono::milliseconds pollInterval, QObject* parent = nullptr);

    std::vector<RunningApplication> runningApplications() const override;

    // The bundle path an executable path belongs to, if it lies inside "X.app/Contents/MacOS/".
    static std::optional<std::string> bundlePath(const std::string& executablePath);

private:
    void poll();
    std::set<std::string> bundlePaths() const;

    std::string procRoot_;
    unsigned uid_;
    QTimer timer_;
    std::set<std::string> lastSeen_;
    // Identifiers read per bundle path; an unreadable Info.plist is remembered as none.
    mutable std::map<std::string, std::optional<std::string>> identifiers_;
};

// The running-application rule: `owner` counts as running when a running identifier equals it or
// begins with it followed by ".". Exact, case-sensitive.
bool ownerIsRunning(const std::set<std::string>& runningIdentifiers, const std::optional<std::string>& owner);

} // namespace morvo
