#pragma once
// Key/value lists (mail headers) on a two-column QTableWidget whose key column is read-only.
#include <QString>
#include <QStringList>

class QTableWidget;

namespace qp {

// Titles "フィールド" and "値", the given column widths and one row per key with empty values.
void SetupValueList(QTableWidget* list, const QStringList& keys, int keyWidth, int valueWidth);
// Updates the key's row, or appends a row for a key the list does not have.
void SetListValue(QTableWidget* list, const QString& key, const QString& value);
// The value of the key's row; empty when the key is missing.
QString ListValue(const QTableWidget* list, const QString& key);
// Ends an edit still open in a cell so that its text reaches the list before the list is read.
void CommitPendingEdit(QTableWidget* list);

}  // namespace qp
