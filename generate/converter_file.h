#pragma once
// The project file of the mail-log converter (*.SHF).
#include <string>

#include "model/project_config.h"

namespace qp {

// One parameter per item, merged into an existing file at path so that whatever else the
// converter keeps there survives.
void SaveConverterFile(const TProjectConfig& project, const std::string& path);

}  // namespace qp
