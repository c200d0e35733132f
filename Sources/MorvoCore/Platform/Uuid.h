#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace morvo {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid make();               // a fresh random UUID
    std::string string() const;       // upper-case standard form, 8-4-4-4-12
    bool isNull() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;
    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

} // namespace morvo

template <>
struct std::hash<morvo::Uuid> {
    std::size_t operator()(const morvo::Uuid& u) const noexcept;
};
