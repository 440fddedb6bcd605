#pragma once
// The site check's signing key: made once per project and written into its script, so that
// only this program can ask the script what it sees on its host.
#include <string>

#include "model/project_config.h"

namespace qp {

// A new key for a project with an address and no key yet; true when one was made (the
// project is then to be saved, or the next upload makes another).
bool MakeCheckKeyIfNeeded(TProjectConfig& project);

// The query value of a status request at the given Unix time: "TIME.MAC", MAC the lower-case
// hex HMAC-SHA-256 of "status:TIME" under key.
std::string SignStatusRequest(const std::string& key, long long unixTime);

}  // namespace qp
