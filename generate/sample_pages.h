#pragma once
// The sample form and confirmation pages, written from the item list as starting points for
// the templates, in the project's page style or the one given.
#include <string>

#include "model/project_config.h"

namespace qp {

std::string MakeFormSampleHtml(const TProjectConfig& project);
std::string MakeConfirmSampleHtml(const TProjectConfig& project);
std::string MakeFormSampleHtml(const TProjectConfig& project, TPageStyle style);
std::string MakeConfirmSampleHtml(const TProjectConfig& project, TPageStyle style);

}  // namespace qp
