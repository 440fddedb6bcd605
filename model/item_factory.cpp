#include "model/item_factory.h"

#include "model/error.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"

namespace qp {

std::unique_ptr<TProjectItem> CreateItem(const std::string& typeName) {
    if (typeName == "TEXT") return std::make_unique<TProjectItemText>("");
    if (typeName == "TEXTAREA") return std::make_unique<TProjectItemTextarea>("");
    if (typeName == "CHECKBOX") return std::make_unique<TProjectItemCheckbox>("");
    if (typeName == "RADIO") return std::make_unique<TProjectItemRadio>("");
    if (typeName == "POPUPMENU") return std::make_unique<TProjectItemPopupmenu>("");
    throw Error("不正なデータ型です。");
}

}  // namespace qp
