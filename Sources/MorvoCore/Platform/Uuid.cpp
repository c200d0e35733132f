#include "MorvoCore/Platform/Uuid.h"

#include <uuid/uuid.h>

#include <cstring>

namespace morvo {

Uuid Uuid::make() {
    Uuid u;
    uuid_t raw;
    uuid_generate_random(raw);
    std::memcpy(u.bytes.data(), raw, 16);
    return u;
}

std::string Uuid::string() const {
    uuid_t raw;
    std::memcpy(raw, bytes.data(), 16);
    char text[37];
    uuid_unparse_upper(raw, text);
    return text;
}

bool Uuid::isNull() const {
    for (auto b : bytes)
        if (b) return false;
    return true;
}

} // namespace morvo

std::size_t std::hash<morvo::Uuid>::operator()(const morvo::Uuid& u) const noexcept {
    std::uint64_t a, b;
    std::memcpy(&a, u.bytes.data(), 8);
    std::memcpy(&b, u.bytes.data() + 8, 8);
    return std::hash<std::uint64_t>{}(a ^ (b * 0x9E3779B97F4A7C15ull));
}
