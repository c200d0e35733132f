#pragma once
// The About sheet: mark, name, version and build.

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

namespace morvo {

class AppLocation;

class AboutView : public QWidget {
    Q_OBJECT

public:
    AboutView(const AppLocation& location, std::function<void()> dismiss, QWidget* parent = nullptr);

    // The version and build shown, with their fallbacks "0.4.1" and "9".
    static QString versionText(const std::optional<std::string>& shortVersion);
    static QString buildText(const std::optional<std::string>& build);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace morvo
