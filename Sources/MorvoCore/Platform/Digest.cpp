#include "MorvoCore/Platform/Digest.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace morvo {

struct Sha256::Context {
    EVP_MD_CTX* ctx = nullptr;
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    context_->ctx = EVP_MD_CTX_new();
    if (!context_->ctx) throw std::bad_alloc();
    if (EVP_DigestInit_ex(context_->ctx, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256() = default;

void Sha256::update(const void* bytes, std::size_t count) {
    if (count == 0) return;
    if (EVP_DigestUpdate(context_->ctx, bytes, count) != 1) throw std::runtime_error("SHA-256 update failed");
}

void Sha256::update(std::string_view bytes) { update(bytes.data(), bytes.size()); }

Sha256::Digest Sha256::finish() {
    Digest out{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_->ctx, out.data(), &length) != 1 || length != out.size())
        throw std::runtime_error("SHA-256 final failed");
    return out;
}

Sha256::Digest Sha256::of(std::string_view bytes) {
    Sha256 h;
    h.update(bytes);
    return h.finish();
}

} // namespace morvo
