#pragma once
// The loading half of a state object that fills itself from one background scan at a time (the
// caches-and-logs discovery, the application inventory): whether a result has loaded, whether a
// scan runs, the last scan's error and the status line, all observed, and the running scan's task
// and revision. A new load or a cancel starts a new revision, so that an earlier scan's result
// arrives to nothing.

#include "Morvo/State/CleanupModels.h"
#include "Morvo/Platform/TaskRunner.h"

#include <QObject>

#include <exception>

namespace morvo {

class LoadState : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasLoaded READ hasLoaded NOTIFY hasLoadedChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(morvo::OptionalString errorMessage READ errorMessage NOTIFY errorMessageChanged)
    Q_PROPERTY(morvo::OptionalString statusMessage READ statusMessage NOTIFY statusMessageChanged)

public:
    // Observed.
    bool hasLoaded() const { return hasLoaded_; }
    bool isLoading() const { return isLoading_; }
    const OptionalString& errorMessage() const { return errorMessage_; }
    const OptionalString& statusMessage() const { return statusMessage_; }
    // Not observed: a view starts the first load only while this is false.
    bool hasStartedInitialLoad() const { return hasStartedInitialLoad_; }

signals:
    void hasLoadedChanged();
    void isLoadingChanged();
    void errorMessageChanged();
    void statusMessageChanged();

protected:
    explicit LoadState(QObject* parent) : QObject(parent) {}

    void setHasLoaded(bool value);
    void setLoading(bool value);
    void setErrorMessage(const OptionalString& value);
    void setStatusMessage(const OptionalString& value);

    // Cancels the running scan, starts a new revision, shows loading and clears both messages;
    // returns the revision the new scan's result must carry to be applied.
    Uuid beginLoad();
    // Cancels the running scan and starts a new revision, so that its result is dropped, and
    // stops showing loading.
    void abandonLoad();
    // A failed scan's error shown as the error message; a cancelled scan shows none.
    void showFailure(const std::exception_ptr& error);

    TaskHandle loadTask_;
    Uuid revision_ = Uuid::make();

private:
    bool hasLoaded_ = false;
    bool isLoading_ = false;
    OptionalString errorMessage_;
    OptionalString statusMessage_;
    bool hasStartedInitialLoad_ = false;
};

} // namespace morvo
