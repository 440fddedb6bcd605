#include "inbox/inbox_crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <stdexcept>

#include "model/error.h"

namespace qp::inbox {

std::string Base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3), '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::optional<std::string> FromBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t pad = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool alpha = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (c == '=' && i + 2 >= text.size()) {
            ++pad;
        } else if (!alpha || pad > 0) {
            return std::nullopt;
        }
    }
    std::string out(3 * (text.size() / 4), '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    if (n < 0) return std::nullopt;
    out.resize(static_cast<std::size_t>(n) - pad);
    return out;
}

std::string Hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string RandomBytes(std::size_t size, const char* failure) {
    std::string out(size, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(size)) != 1) throw Error(failure);
    return out;
}

std::string Sha256(std::string_view data) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (EVP_Digest(data.data(), data.size(), md, &len, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    return std::string(reinterpret_cast<char*>(md), len);
}

std::string HmacSha256(std::string_view key, std::string_view data) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
              data.size(), md, &len))
        throw std::runtime_error("HMAC-SHA-256 failed");
    return std::string(reinterpret_cast<char*>(md), len);
}

std::string Keystream(std::string_view key, std::string_view data) {
    std::string out(data);
    std::uint32_t counter = 0;
    for (std::size_t at = 0; at < out.size(); at += 32, ++counter) {
        const char block[4] = {static_cast<char>(counter >> 24), static_cast<char>(counter >> 16),
                               static_cast<char>(counter >> 8), static_cast<char>(counter)};
        const std::string stream = HmacSha256(key, std::string_view(block, 4));
        for (std::size_t i = 0; i < 32 && at + i < out.size(); ++i) out[at + i] ^= stream[i];
    }
    return out;
}

bool SameBytes(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace qp::inbox
