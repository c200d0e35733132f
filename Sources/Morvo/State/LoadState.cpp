#include "Morvo/State/LoadState.h"

#include "Morvo/State/ObservedProperty.h"

namespace morvo {

void LoadState::setHasLoaded(bool value) { assignObserved(this, hasLoaded_, value, &LoadState::hasLoadedChanged); }

void LoadState::setLoading(bool value) { assignObserved(this, isLoading_, value, &LoadState::isLoadingChanged); }

void LoadState::setErrorMessage(const OptionalString& value) {
    assignObserved(this, errorMessage_, value, &LoadState::errorMessageChanged);
}

void LoadState::setStatusMessage(const OptionalString& value) {
    assignObserved(this, statusMessage_, value, &LoadState::statusMessageChanged);
}

Uuid LoadState::beginLoad() {
    hasStartedInitialLoad_ = true;
    loadTask_.cancel();
    revision_ = Uuid::make();
    setLoading(true);
    setErrorMessage(std::nullopt);
    setStatusMessage(std::nullopt);
    return revision_;
}

void LoadState::abandonLoad() {
    loadTask_.cancel();
    revision_ = Uuid::make();
    setLoading(false);
}

void LoadState::showFailure(const std::exception_ptr& error) {
    if (error && !isCancellationError(error)) setErrorMessage(errorDescription(error));
}

} // namespace morvo
