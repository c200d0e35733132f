#pragma once
// SHA-256, fed piece by piece.

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

namespace morvo {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(std::string_view bytes);
    void update(const void* bytes, std::size_t count);
    // Ends the hash; the object must not be fed afterwards.
    Digest finish();

    static Digest of(std::string_view bytes);

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

} // namespace morvo
