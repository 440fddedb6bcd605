#pragma once
// The checks that run before a CGI is made (the project itself) and before it is uploaded
// (the server settings): the first failing check raises Error with its message.
#include "model/project_config.h"

namespace qp {

void CheckForMake(const TProjectConfig& project);
void CheckForUpload(const TProjectConfig& project);

}  // namespace qp
