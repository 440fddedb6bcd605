// The main window's actions that open the item editor. The editor changes the project itself
// when the user confirms; the grid follows through the project's observer.
#include <string>

#include "model/item_text.h"
#include "ui/form_item_edit.h"
#include "ui/item_grid.h"
#include "ui/main_window.h"

namespace qp {

void TFormMain::ActionItemInsertExecute() {
    TFormItemEdit editor(this);
    editor.SetProjectConfig(&Project());
    {
        // A template only: the editor copies what it shows and keeps no reference to it.
        const std::string name = Project().MakeNewItemName();
        TProjectItemText item{std::string()};
        item.SetNameAttr(name);
        item.SetNameValue(name);
        editor.LoadItem(item, -1);
    }
    editor.exec();
}

void TFormMain::ActionItemUpdateExecute() {
    const int row = ItemGrid()->CurrentRow();
    // Row 0 means no current row; the empty row of an empty project lies past the items.
    if (row < 1 || row > Project().GetItemCount()) return;
    const int index = row - 1;
    TFormItemEdit editor(this);
    editor.SetProjectConfig(&Project());
    editor.LoadItem(*Project().GetItems()[static_cast<std::size_t>(index)], index);
    editor.exec();
}

void TFormMain::ActionItemGridDblClickExecute(const QModelIndex& index) {
    // Only a data cell counts: the header and the space outside the cells give no valid index.
    if (!index.isValid() || index.row() < 0) return;
    ItemGrid()->SetCurrentRow(index.row() + 1);
    ActionItemUpdateExecute();
}

}  // namespace qp
