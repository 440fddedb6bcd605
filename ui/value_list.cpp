#include "ui/value_list.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>

namespace qp {
namespace {

int FindKey(const QTableWidget* list, const QString& key) {
    for (int r = 0; r < list->rowCount(); ++r) {
        const QTableWidgetItem* k = list->item(r, 0);
        if (k != nullptr && k->text() == key) return r;
    }
    return -1;
}

void AppendRow(QTableWidget* list, const QString& key) {
    const int r = list->rowCount();
    list->insertRow(r);
    auto* k = new QTableWidgetItem(key);
    k->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    list->setItem(r, 0, k);
    list->setItem(r, 1, new QTableWidgetItem());
}

}  // namespace

void SetupValueList(QTableWidget* list, const QStringList& keys, int keyWidth, int valueWidth) {
    list->setColumnCount(2);
    list->setHorizontalHeaderLabels({QStringLiteral("フィールド"), QStringLiteral("値")});
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    list->setColumnWidth(0, keyWidth);
    list->setColumnWidth(1, valueWidth);
    list->setSelectionBehavior(QAbstractItemView::SelectItems);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::AllEditTriggers);
    list->setRowCount(0);
    for (const QString& key : keys) AppendRow(list, key);
    list->setCurrentCell(0, 1);
    list->clearSelection();
    int height = list->horizontalHeader()->sizeHint().height() + 2 * list->frameWidth();
    for (int r = 0; r < list->rowCount(); ++r) height += list->rowHeight(r);
    list->setMaximumHeight(height + 2);
    list->setMinimumHeight(height + 2);
}

void SetListValue(QTableWidget* list, const QString& key, const QString& value) {
    int r = FindKey(list, key);
    if (r < 0) {
        AppendRow(list, key);
        r = list->rowCount() - 1;
    }
    list->item(r, 1)->setText(value);
}

QString ListValue(const QTableWidget* list, const QString& key) {
    const int r = FindKey(list, key);
    if (r < 0 || list->item(r, 1) == nullptr) return {};
    return list->item(r, 1)->text();
}

void CommitPendingEdit(QTableWidget* list) {
    // The cell editor hands its text to the list when it loses the focus.
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus != list && list->viewport()->isAncestorOf(focus)) {
        focus->clearFocus();
    }
}

}  // namespace qp
