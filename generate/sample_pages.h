#pragma once
// The sample form and confirmation pages, written from the item list as starting points for
// the templates.
#include <string>

#include "model/project_config.h"

namespace qp {

std::string MakeFormSampleHtml(const TProjectConfig& project);
std::string MakeConfirmSampleHtml(const TProjectConfig& project);

}  // namespace qp
