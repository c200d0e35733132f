#pragma once
// The "About this scan" sheet: what the current or last scan covered, the locations it could not
// read, and the way to the privacy settings. Follows a running scan live.

#include <QWidget>

#include <functional>

class QVBoxLayout;

namespace morvo {

class AppState;
class SelectableText;
class TextLabel;

class ScanDetailsView : public QWidget {
    Q_OBJECT

public:
    // `dismiss` closes the sheet (sets AppState.sheet to none).
    ScanDetailsView(AppState& state, std::function<void()> dismiss, QWidget* parent = nullptr);

    // The three summary values and the subtitle as currently shown.
    QString filesValue() const;
    QString skippedLinksValue() const;
    QString statusValue() const;
    QString subtitleText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void rebuildNotes();

    AppState& state_;
    std::function<void()> dismiss_;
    QVBoxLayout* subtitleHolder_;
    QWidget* subtitle_ = nullptr;
    TextLabel* files_;
    TextLabel* links_;
    TextLabel* status_;
    QVBoxLayout* notesHolder_;
    QWidget* notes_ = nullptr;
};

} // namespace morvo
