#pragma once
// The Perl CGI script: the whole form description as Perl data handed to the server module.
#include <string>

#include "model/project_config.h"

namespace qp {

// The release of the runtime (lib/Quillpost.pm's $VERSION) that this program ships, written
// into a script with a check key so that the check can tell a runtime of another release.
inline constexpr const char kRuntimeRelease[] = "1.0";

// The script in Shift_JIS with CR LF after every entry. guardSecret: the key of the form's
// tokens and address hashes, new for every make. Runs no checks.
std::string MakeCgiScript(const TProjectConfig& project, const std::string& guardSecret);

}  // namespace qp
