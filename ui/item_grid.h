#pragma once
// The item list of the main window: one row per form item (name, label, required mark, kind),
// drawn straight from the project's item list and refreshed when the project reports a change.
#include <QAbstractTableModel>
#include <QTableView>
#include <memory>

#include "model/project_config.h"

namespace qp {

class TItemGrid;

// The project's observer that refreshes one grid.
class TItemGridNotifyEvent : public TProjectItemObservable {
public:
    explicit TItemGridNotifyEvent(TItemGrid* grid) : grid_(grid) {}
    void Notify(TProjectConfig* project) override;

private:
    TItemGrid* grid_;
};

// Reads the project's items at every call; holds no copy of them.
class TItemGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TItemGridModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void SetProject(const TProjectConfig* project) { project_ = project; }
    // The item list changed: the row count and every cell are read again.
    void Refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Items can be dragged, and dropped only between rows (the grid moves them itself).
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

private:
    const TProjectConfig* project_ = nullptr;
};

class TItemGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr int kMarkColumnWidth = 30;
    static constexpr int kTypeColumnWidth = 130;

    explicit TItemGrid(QWidget* parent = nullptr);
    ~TItemGrid() override;

    // Registers the grid's observer with the project (no refresh until the project notifies).
    void SetProject(TProjectConfig* project);
    void Refresh();

    // Rows are counted as the item list shows them: row 1 is the first item, 0 means none.
    int CurrentRow() const;
    void SetCurrentRow(int row);
    // Data rows shown: the item count, or 1 (an empty row) for an empty project.
    int DataRowCount() const { return model_->rowCount(); }
    QString CellText(int row, int column) const;
    // The current row dropped at a point of the viewport: asks for the move (a drop calls it).
    void MoveCurrentRowTo(const QPoint& at);

signals:
    // A row dragged within the grid: the item at index from (0-based) should go to index to.
    // The grid changes nothing itself, so that the window records the move for 元に戻す.
    void ItemMoveRequested(int from, int to);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FitColumns();

    TItemGridModel* model_;
    std::unique_ptr<TItemGridNotifyEvent> observer_;
    TProjectConfig* project_ = nullptr;
};

}  // namespace qp
