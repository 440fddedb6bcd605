#pragma once
// Creates an empty item from the type word stored in the project file.
#include <memory>
#include <string>

#include "model/project_item.h"

namespace qp {

// Raises Error("不正なデータ型です。") for any word but the five type words.
std::unique_ptr<TProjectItem> CreateItem(const std::string& typeName);

}  // namespace qp
