// The main window's item actions: the item editor (which changes the project itself when the
// user confirms), delete, duplicate and move, each one step of the item list's undo history.
// The grid follows through the project's observer.
#include <QUndoCommand>
#include <QMessageBox>
#include <QUndoStack>
#include <string>

#include "model/item_text.h"
#include "ui/app_setup.h"
#include "ui/form_item_edit.h"
#include "ui/item_grid.h"
#include "ui/main_window.h"
#include "ui_main_window.h"

namespace qp {
namespace {

// One change of the item list as the lists before and after it.
class TItemListCommand : public QUndoCommand {
public:
    TItemListCommand(TProjectConfig& project, std::string before, std::string after, const QString& text)
        : QUndoCommand(text), project_(project), before_(std::move(before)), after_(std::move(after)) {}
    void undo() override { project_.RestoreItems(before_); }
    // The change is made when the command is pushed; only a redo makes it again.
    void redo() override {
        if (done_) project_.RestoreItems(after_);
        done_ = true;
    }

private:
    TProjectConfig& project_;
    std::string before_;
    std::string after_;
    bool done_ = false;
};

}  // namespace

void TFormMain::RecordItemChange(const QString& what, const std::string& before) {
    std::string after = project_->ItemsSnapshot();
    if (after != before) itemUndo_->push(new TItemListCommand(*project_, before, std::move(after), what));
}

void TFormMain::UpdateItemActions() {
    const int count = project_->GetItemCount();
    const int row = ItemGrid()->CurrentRow();
    const bool onItem = row >= 1 && row <= count;
    ui_->ActionItemUpdate->setEnabled(onItem);
    ui_->ActionItemDelete->setEnabled(onItem);
    ui_->ActionItemDuplicate->setEnabled(onItem);
    ui_->ActionItemUp->setEnabled(onItem && row > 1);
    ui_->ActionItemDown->setEnabled(onItem && row < count);
}

void TFormMain::ActionItemDeleteExecute() {
    const int row = ItemGrid()->CurrentRow();
    if (row < 1 || row > project_->GetItemCount()) return;
    const auto answer = QMessageBox::question(
        this, ApplicationTitle(), QStringLiteral("選択されている項目を削除します。よろしいですか？"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) return;
    const std::string before = project_->ItemsSnapshot();
    project_->DeleteItem(row - 1);
    RecordItemChange(QStringLiteral("項目削除"), before);
}

void TFormMain::ActionItemDuplicateExecute() {
    const int row = ItemGrid()->CurrentRow();
    const std::string before = project_->ItemsSnapshot();
    const int copy = project_->DuplicateItem(row - 1);
    if (copy < 0) return;
    ItemGrid()->SetCurrentRow(copy + 1);
    RecordItemChange(QStringLiteral("複製"), before);
}

void TFormMain::MoveCurrentItem(int by) {
    const int from = ItemGrid()->CurrentRow() - 1;
    MoveItem(from, from + by, by < 0 ? QStringLiteral("上へ") : QStringLiteral("下へ"));
}

void TFormMain::MoveItem(int from, int to, const QString& what) {
    const int count = project_->GetItemCount();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
    const std::string before = project_->ItemsSnapshot();
    project_->MoveItem(from, to);
    ItemGrid()->SetCurrentRow(to + 1);
    RecordItemChange(what, before);
}

void TFormMain::ActionItemUpExecute() {
    MoveCurrentItem(-1);
}

void TFormMain::ActionItemDownExecute() {
    MoveCurrentItem(1);
}

void TFormMain::ActionEditUndoExecute() {
    itemUndo_->undo();
}

void TFormMain::ActionEditRedoExecute() {
    itemUndo_->redo();
}

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
    const std::string before = project_->ItemsSnapshot();
    editor.exec();
    RecordItemChange(QStringLiteral("項目追加"), before);
}

void TFormMain::ActionItemUpdateExecute() {
    const int row = ItemGrid()->CurrentRow();
    // Row 0 means no current row; the empty row of an empty project lies past the items.
    if (row < 1 || row > Project().GetItemCount()) return;
    const int index = row - 1;
    TFormItemEdit editor(this);
    editor.SetProjectConfig(&Project());
    editor.LoadItem(*Project().GetItems()[static_cast<std::size_t>(index)], index);
    const std::string before = project_->ItemsSnapshot();
    editor.exec();
    RecordItemChange(QStringLiteral("項目修正"), before);
}

void TFormMain::ActionItemGridDblClickExecute(const QModelIndex& index) {
    // Only a data cell counts: the header and the space outside the cells give no valid index.
    if (!index.isValid() || index.row() < 0) return;
    ItemGrid()->SetCurrentRow(index.row() + 1);
    ActionItemUpdateExecute();
}

}  // namespace qp
