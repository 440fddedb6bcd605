#include "sitecheck/check_key.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include "model/error.h"

namespace qp {
namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

}  // namespace

bool MakeCheckKeyIfNeeded(TProjectConfig& project) {
    if (project.GetScriptUrl().empty() || !project.Settings().Text(TSetting::CheckKey).empty()) return false;
    unsigned char key[32];
    if (RAND_bytes(key, sizeof key) != 1) throw Error("確認用の鍵を作成できません(乱数を得られません)。");
    project.Settings().Set(TSetting::CheckKey, Hex(key, sizeof key));
    return true;
}

std::string SignStatusRequest(const std::string& key, long long unixTime) {
    const std::string time = std::to_string(unixTime);
    const std::string data = "status:" + time;
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(data.data()),
              data.size(), mac, &size))
        throw Error("状態の確認を署名できません。");
    return time + "." + Hex(mac, size);
}

}  // namespace qp
