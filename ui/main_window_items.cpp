#include "ui/main_window.h"

namespace qp {

void TFormMain::ActionItemInsertExecute() {}

void TFormMain::ActionItemUpdateExecute() {}

void TFormMain::ActionItemGridDblClickExecute(const QModelIndex&) {}

}  // namespace qp
