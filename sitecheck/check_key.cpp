#include "sitecheck/check_key.h"

#include "inbox/inbox_crypto.h"

namespace qp {

bool MakeCheckKeyIfNeeded(TProjectConfig& project) {
    if (project.GetScriptUrl().empty() || !project.Settings().Text(TSetting::CheckKey).empty()) return false;
    const std::string key = inbox::RandomBytes(32, "確認用の鍵を作成できません(乱数を得られません)。");
    project.Settings().Set(TSetting::CheckKey, inbox::Hex(key));
    return true;
}

std::string SignStatusRequest(const std::string& key, long long unixTime) {
    const std::string time = std::to_string(unixTime);
    return time + "." + inbox::Hex(inbox::HmacSha256(key, "status:" + time));
}

}  // namespace qp
