#pragma once
// How the root window hosts the workspace of each section and the review sheet's content.
// Each section's view is made by one entry of the factory in WorkspaceHost.cpp; a view is made
// fresh whenever its section is shown (as when it appears), and the previous one is dropped.

#include "Morvo/State/AppModels.h"

#include <QWidget>

#include <functional>

class QVBoxLayout;

namespace morvo {

class AppState;
class CleanupState;

// The workspace view of `section`, given what the section's view is built with.
QWidget* makeWorkspace(AppSection section, AppState& state, QWidget* parent);
// The content of the review sheet for the current review of `cleanup`.
QWidget* makeReviewSheetContent(CleanupState& cleanup, QWidget* parent);

// The actions the cleanup workspace is given.
std::function<void()> findFilesAction(AppState& state);        // showFiles with no category
std::function<void()> findApplicationsAction(AppState& state); // Applications, category none

class WorkspaceHost : public QWidget {
    Q_OBJECT

public:
    explicit WorkspaceHost(AppState& state, QWidget* parent = nullptr);
    QWidget* currentWorkspace() const { return current_; }
    AppSection currentSection() const { return section_; }

private:
    void showSection(AppSection section);

    AppState& state_;
    QVBoxLayout* layout_;
    QWidget* current_ = nullptr;
    AppSection section_ = AppSection::overview;
};

} // namespace morvo
