#include "Morvo/Shell/WorkspaceHost.h"

#include "Morvo/State/AppState.h"
#include "Morvo/Applications/ApplicationsWorkspaceView.h"
#include "Morvo/Cleanup/CacheWorkspaceView.h"
#include "Morvo/Cleanup/CleanupReviewSheet.h"
#include "Morvo/Cleanup/CleanupWorkspaceView.h"
#include "Morvo/State/CleanupState.h"
#include "Morvo/Storage/LargeFilesView.h"
#include "Morvo/Applications/LeftoversWorkspaceView.h"
#include "Morvo/Storage/OverviewView.h"
#include "Morvo/Kit/ViewKit.h"
#include "Morvo/Platform/Fonts.h"

#include <QVBoxLayout>

namespace morvo {

namespace {

// Stands in for a section whose view is not part of the build yet.
QWidget* placeholder(AppSection section, QWidget* parent) {
    auto* widget = new QWidget(parent);
    auto* layout = new QVBoxLayout(widget);
    layout->setAlignment(Qt::AlignCenter);
    const auto title = rawValue(section);
    auto* label = new TextLabel(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                                systemFont(15, QFont::Medium), Theme::muted, widget);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    return widget;
}

} // namespace

std::function<void()> findFilesAction(AppState& state) {
    return [&state] { state.showFiles(std::nullopt); };
}

std::function<void()> findApplicationsAction(AppState& state) {
    return [&state] {
        state.setSection(AppSection::applications);
        state.setCategory(std::nullopt);
    };
}

// One line per section: replace the placeholder with the section's view as it lands, e.g.
//   case AppSection::overview: return new OverviewView(state, parent);
//   case AppSection::largeFiles: return new LargeFilesView(state, /*searchFocused*/ false, parent);
//   case AppSection::cleanup: return new CleanupWorkspaceView(state.cleanup(), findFilesAction(state),
//                                                             findApplicationsAction(state), parent);
//   case AppSection::caches: return new CacheWorkspaceView(state.cacheDiscovery(), state.cleanup(), parent);
//   case AppSection::applications: return new ApplicationsWorkspaceView(state.inventory(), state.cleanup(), parent);
//   case AppSection::leftovers: return new LeftoversWorkspaceView(state.inventory(), state.cleanup(), parent);
QWidget* makeWorkspace(AppSection section, AppState& state, QWidget* parent) {
    switch (section) {
    case AppSection::overview: return new OverviewView(state, parent);
    case AppSection::largeFiles: return new LargeFilesView(state, /*searchFocused*/ false, parent);
    case AppSection::cleanup:
        return new CleanupWorkspaceView(state.cleanup(), findFilesAction(state), findApplicationsAction(state), parent);
    case AppSection::caches: return new CacheWorkspaceView(state.cacheDiscovery(), state.cleanup(), parent);
    case AppSection::applications: return new ApplicationsWorkspaceView(state.inventory(), state.cleanup(), parent);
    case AppSection::leftovers: return new LeftoversWorkspaceView(state.inventory(), state.cleanup(), parent);
    }
    return placeholder(section, parent);
}

// Replace with: return new CleanupReviewSheet(cleanup, /*showsConfirmation*/ false, parent);
QWidget* makeReviewSheetContent(CleanupState& cleanup, QWidget* parent) {
    return new CleanupReviewSheet(cleanup, /*showsConfirmation*/ false, parent);
}

WorkspaceHost::WorkspaceHost(AppState& state, QWidget* parent)
    : QWidget(parent), state_(state), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    showSection(state_.section());
    connect(&state_, &AppState::sectionChanged, this, [this] { showSection(state_.section()); });
}

void WorkspaceHost::showSection(AppSection section) {
    if (current_ && section == section_) return;
    section_ = section;
    // A focus inside the view that goes rests on the new section's view, as a section command
    // leaves it, not on whatever control comes next in the Tab order (a destructive one, say).
    const bool focused = current_ && current_->isAncestorOf(window()->focusWidget());
    if (focused) setFocus(Qt::OtherFocusReason);
    if (current_) {
        // Dropped later: the old view may be the sender of the change that brought us here.
        current_->hide();
        layout_->removeWidget(current_);
        current_->setParent(nullptr);
        current_->deleteLater();
    }
    current_ = makeWorkspace(section, state_, this);
    layout_->addWidget(current_);
    current_->show();
    if (focused) current_->setFocus(Qt::OtherFocusReason);
}

} // namespace morvo
