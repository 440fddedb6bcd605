#pragma once
// The primitives of an inbox record, all on OpenSSL: base64, SHA-256, HMAC-SHA-256, random
// bytes (also for the site check's key and the servers' temporary names), and the record cipher (a keystream of HMAC-SHA-256 in counter mode, XORed).
#include <cstddef>
#include <string>
#include <string_view>
#include <optional>

namespace qp::inbox {

std::string Base64(std::string_view bytes);
// Strict: only the standard alphabet with its padding, no line breaks; nullopt otherwise.
std::optional<std::string> FromBase64(std::string_view text);
std::string Hex(std::string_view bytes);
// size bytes from the system's random source; raises Error with failure when it has none.
std::string RandomBytes(std::size_t size, const char* failure);
std::string Sha256(std::string_view data);
std::string HmacSha256(std::string_view key, std::string_view data);
// Encrypts or decrypts (the same operation): data XOR HMAC(key, 0) || HMAC(key, 1) || ...,
// the counter a 32-bit big-endian number.
std::string Keystream(std::string_view key, std::string_view data);
// Constant-time comparison of two byte strings of the same length.
bool SameBytes(std::string_view a, std::string_view b);

}  // namespace qp::inbox
