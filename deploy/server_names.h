#pragma once
// File and folder names between the project, which holds them in Shift_JIS, and a server
// that speaks UTF-8. Names of ASCII only, and every name on a server of the project's code,
// pass unchanged (so nothing is asked of the server for them); a name that does not convert
// passes as it is.
#include <string>

#include "remote/remote_files.h"

namespace qp {

std::string ToServerName(TRemoteFiles& client, const std::string& projectName);
std::string FromServerName(TRemoteFiles& client, const std::string& serverName);

}  // namespace qp
