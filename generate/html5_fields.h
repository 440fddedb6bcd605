#pragma once
// One item's part of the HTML5 sample pages: a labelled field with its own error message on
// the form page, a term and its value with the hidden field on the confirmation page.
#include <string>

#include "model/project_config.h"
#include "model/project_item.h"

namespace qp {

// The project lets a retype field take the keyboard of the field it repeats.
std::string Html5FormField(const TProjectItem& item, const TProjectConfig& project);
std::string Html5ConfirmField(const TProjectItem& item);

}  // namespace qp
