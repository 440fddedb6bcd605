#include "remote/server_trust.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "model/error.h"

namespace qp {

namespace {

const std::string kPrefix = "SHA256:";
const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// OpenSSH's "SHA256:" + 43 base64 digits (no padding) as 32 bytes; empty when it is not that.
std::string Base64Digest(const std::string& digits) {
    if (digits.size() != 43) return {};
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (const char c : digits) {
        const char* at = std::strchr(kBase64, c);
        if (c == '\0' || !at) return {};
        bits = (bits << 6) | static_cast<unsigned>(at - kBase64);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return bytes.size() == 32 ? bytes : std::string();
}

}  // namespace

std::string FingerprintOf(const unsigned char* digest) {
    std::string out = kPrefix;
    for (int i = 0; i < 32; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i ? ":%02X" : "%02X", digest[i]);
        out += hex;
    }
    return out;
}

std::string OpenSshFingerprint(const std::string& normalized) {
    if (normalized.size() != kPrefix.size() + 95 || normalized.compare(0, kPrefix.size(), kPrefix) != 0) return {};
    std::string bytes;
    for (std::size_t i = kPrefix.size(); i < normalized.size(); i += 3)
        bytes += static_cast<char>(std::stoi(normalized.substr(i, 2), nullptr, 16));
    std::string out = kPrefix;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        const std::size_t digits = std::min<std::size_t>(4, (bytes.size() - i) * 8 / 6 + 1);
        for (std::size_t d = 0; d < digits; ++d) out += kBase64[(v >> (18 - 6 * d)) & 0x3F];
    }
    return out;
}

std::string NormalizeFingerprint(const std::string& text) {
    if (text.size() < kPrefix.size()) return {};
    for (std::size_t i = 0; i < kPrefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != kPrefix[i]) return {};
    if (const std::string bytes = Base64Digest(text.substr(kPrefix.size())); !bytes.empty())
        return FingerprintOf(reinterpret_cast<const unsigned char*>(bytes.data()));
    std::string hex;
    for (std::size_t i = kPrefix.size(); i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == ':') continue;
        if (!std::isxdigit(c)) return {};
        hex += static_cast<char>(std::toupper(c));
    }
    if (hex.size() != 64) return {};
    std::string out = kPrefix;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (i > 0) out += ':';
        out += hex.substr(i, 2);
    }
    return out;
}

void TServerTrust::Refuse(const std::string& message) {
    refused_ = true;
    throw Error(message);
}

void TServerTrust::Check(const TServerIdentity& identity) {
    newlyTrusted_.clear();
    refused_ = false;
    const std::string& seen = identity.Fingerprint;
    if (identity.Verified) return;
    if (!stored_.empty() && seen == stored_) return;
    if (!forCall_.empty() && seen == forCall_) {
        newlyTrusted_ = seen;
        return;
    }
    const std::string what = identity.Kind == TIdentityKind::HostKey ? "ホスト鍵" : "証明書";
    if (!stored_.empty())
        Refuse("サーバーの" + what + "が、信頼した" + what + "から変わっています。接続を中止しました。\n"
               "信頼した" + what + "の指紋: " + stored_ + "\n今回の" + what + "の指紋: " + seen);
    const std::string why =
        identity.Kind == TIdentityKind::HostKey
            ? "サーバーのホスト鍵は、まだ信頼されていません（" + identity.Problem + "）。\nホスト鍵の指紋: " + seen +
                  "\n（OpenSSH の表示では " + OpenSshFingerprint(seen) + "）"
            : "サーバーの証明書を確認できません（" + identity.Problem + "）。\n証明書の指紋: " + seen;
    if (!asker_) Refuse(why + (hint_.empty() ? "" : "\n" + hint_));
    if (!asker_(identity)) Refuse(what + "を信頼しなかったため、接続を中止しました。");
    newlyTrusted_ = seen;
}

}  // namespace qp
