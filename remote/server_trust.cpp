#include "remote/server_trust.h"

#include <cctype>

#include "model/error.h"

namespace qp {

std::string NormalizeFingerprint(const std::string& text) {
    static const std::string kPrefix = "SHA256:";
    if (text.size() < kPrefix.size()) return {};
    for (std::size_t i = 0; i < kPrefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != kPrefix[i]) return {};
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
    if (!stored_.empty())
        Refuse("サーバーの証明書が、信頼した証明書から変わっています。接続を中止しました。\n"
               "信頼した証明書の指紋: " + stored_ + "\n今回の証明書の指紋: " + seen);
    const std::string why = "サーバーの証明書を確認できません（" + identity.Problem + "）。\n証明書の指紋: " + seen;
    if (!asker_) Refuse(why + (hint_.empty() ? "" : "\n" + hint_));
    if (!asker_(identity)) Refuse("証明書を信頼しなかったため、接続を中止しました。");
    newlyTrusted_ = seen;
}

}  // namespace qp
