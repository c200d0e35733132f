#pragma once
// The application's colours. Every colour has a dark and a light value and is resolved when it is
// drawn, against the appearance of the one app-wide `Theme` object; switching the appearance emits
// `Theme::changed` and repaints every widget, so views never cache a resolved colour.
//
// Usage at paint time:   painter.fillRect(r, Theme::panel());          // resolved now
//                        painter.setPen(Theme::accent(0.07));            // with an extra opacity
// Fixed appearance:      Theme::background.resolve(AppAppearance::light)
// Widgets that copy a colour into a palette or style sheet re-apply it on change:
//                        Theme::track(label, [label] { ... Theme::secondary() ... });

#include "Morvo/Platform/Appearance.h"
#include "MorvoCore/FileCategory.h"

#include <QColor>
#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

class QWidget;

namespace morvo {

// One adaptive colour: 0xRRGGBB and an opacity per appearance.
struct AdaptiveColor {
    std::uint32_t dark = 0;
    std::uint32_t light = 0;
    double darkAlpha = 1.0;
    double lightAlpha = 1.0;

    // The value for the best match between the two appearances: dark gives the dark value; light,
    // or no match at all, gives the light value.
    QColor resolve(std::optional<AppAppearance> bestMatch) const;
    // Resolved against the app-wide theme, optionally multiplied by `opacity`.
    QColor operator()(double opacity = 1.0) const;

    friend constexpr bool operator==(const AdaptiveColor&, const AdaptiveColor&) = default;
};

class Theme : public QObject {
    Q_OBJECT

public:
    // The app-wide theme is a child of the QApplication named "morvo-theme"; MorvoApp makes it.
    // `current()` creates a dark one on first use when none exists (tests, tools).
    explicit Theme(AppAppearance appearance = AppAppearance::dark, QObject* parent = nullptr);
    static Theme& current();

    AppAppearance appearance() const { return appearance_; }
    bool isDark() const { return appearance_ == AppAppearance::dark; }
    // Emits `changed` and repaints every widget when the value differs.
    void setAppearance(AppAppearance appearance);

    // Runs `apply` now and again after every appearance change, while `context` lives.
    static void track(QObject* context, std::function<void()> apply);

    static constexpr AdaptiveColor adaptive(std::uint32_t dark, std::uint32_t light, double darkAlpha = 1.0,
                                            double lightAlpha = 1.0) {
        return AdaptiveColor{dark, light, darkAlpha, lightAlpha};
    }

    static constexpr AdaptiveColor background{0x101117, 0xF5F6FA};
    static constexpr AdaptiveColor sidebar{0x15161E, 0xEEF0F6};
    static constexpr AdaptiveColor panel{0x191B25, 0xFFFFFF};
    static constexpr AdaptiveColor elevated{0x21232F, 0xE8EAF2};
    static constexpr AdaptiveColor border{0xFFFFFF, 0x333D5A, 0.075, 0.14};
    static constexpr AdaptiveColor text{0xF4F3FA, 0x1A2033};
    static constexpr AdaptiveColor secondary{0x999BAE, 0x555E73};
    static constexpr AdaptiveColor muted{0x65697E, 0x687187};
    static constexpr AdaptiveColor accent{0xB4A2FF, 0x6B4BCE};
    static constexpr AdaptiveColor onAccent{0x1C1637, 0xFFFFFF};
    static constexpr AdaptiveColor mint{0x83D7BD, 0x227461};
    static constexpr AdaptiveColor warning{0xD7BA86, 0x8B5D18};
    static constexpr AdaptiveColor blue{0x8EAEE8, 0x4265A4};
    static constexpr AdaptiveColor quietButton{0xFFFFFF, 0x333D5A, 0.045, 0.055};
    static constexpr AdaptiveColor quietButtonPressed{0xFFFFFF, 0x333D5A, 0.09, 0.1};

signals:
    void changed(morvo::AppAppearance appearance);

private:
    AppAppearance appearance_;
};

// The display colour of a category: documents is Theme::blue, archives Theme::warning.
AdaptiveColor tint(FileCategory category);
// The symbol of a category's files: "square.stack.3d.up", "curlybraces", "doc.text",
// "photo.on.rectangle.angled", "shippingbox" or "square.grid.2x2" (other).
const char* categorySymbol(FileCategory category);

} // namespace morvo
