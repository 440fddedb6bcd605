// The item grid on its own: rows drawn from the project, the observer's life, column widths.
#include <QHeaderView>
#include <QtTest>

#include "model/project_config.h"
#include "ui/app_setup.h"
#include "ui/item_grid.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

class ItemGridTest : public QObject {
    Q_OBJECT

private slots:
    void attachingDoesNotRefreshTheNextNotificationDoes() {
        TProjectConfig project;
        project.AddItem(TextItem("a", "A"));
        TItemGrid grid;
        grid.SetProject(&project);
        // The model reads the list directly, so the row shows; the count follows the list.
        QCOMPARE(grid.DataRowCount(), 1);
        project.AddItem(TextItem("b", "B", true));
        QCOMPARE(grid.DataRowCount(), 2);
        QCOMPARE(grid.CellText(2, 0), Q("b"));
        QCOMPARE(grid.CellText(2, 2), Q("○"));
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), Q("name属性"));
        QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), Q("項目名称"));
        QCOMPARE(grid.model()->headerData(2, Qt::Horizontal).toString(), Q("必須"));
        QCOMPARE(
            grid.model()->data(grid.model()->index(1, 2), Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter,
            int(Qt::AlignHCenter));
        QCOMPARE(grid.model()->data(grid.model()->index(1, 0), Qt::TextAlignmentRole).toInt() & Qt::AlignLeft,
                 int(Qt::AlignLeft));
        project.Reset();
        QCOMPARE(grid.DataRowCount(), 1);
        QCOMPARE(grid.CellText(1, 0), QString());
    }

    void aDestroyedGridLeavesTheProject() {
        TProjectConfig project;
        {
            TItemGrid grid;
            grid.SetProject(&project);
        }
        // A notification after the grid is gone must not reach it (the sanitizers watch this).
        project.AddItem(TextItem("a", "A"));
        QCOMPARE(project.GetItemCount(), 1);
    }

    void selectionIsWholeRowsAndCellsAreNotEdited() {
        TProjectConfig project;
        project.AddItem(TextItem("a", "A"));
        project.AddItem(TextItem("b", "B"));
        TItemGrid grid;
        grid.SetProject(&project);
        QCOMPARE(grid.selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(grid.selectionMode(), QAbstractItemView::SingleSelection);
        QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);
        grid.SetCurrentRow(2);
        QCOMPARE(grid.CurrentRow(), 2);
        grid.SetCurrentRow(5);  // beyond the rows: ignored
        QCOMPARE(grid.CurrentRow(), 2);
    }

    void nameAndDisplayColumnsShareTheWidth() {
        TItemGrid grid;
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const int wide = grid.columnWidth(0);
        QCOMPARE(grid.columnWidth(1), wide);
        QCOMPARE(grid.columnWidth(2), TItemGrid::kMarkColumnWidth);
        QCOMPARE(grid.columnWidth(3), TItemGrid::kTypeColumnWidth);
        QCOMPARE(wide, (grid.viewport()->width() - TItemGrid::kMarkColumnWidth - TItemGrid::kTypeColumnWidth) / 2 - 4);
        grid.resize(300, 200);
        QTRY_VERIFY(grid.columnWidth(0) < wide);
        QCOMPARE(grid.columnWidth(1), grid.columnWidth(0));
        QCOMPARE(grid.columnWidth(2), TItemGrid::kMarkColumnWidth);
        // A mark column that the user widened keeps its width and the others share the rest.
        grid.setColumnWidth(2, 50);
        grid.resize(320, 200);
        QTRY_COMPARE(grid.columnWidth(0), (grid.viewport()->width() - 50 - TItemGrid::kTypeColumnWidth) / 2 - 4);
        QCOMPARE(grid.columnWidth(2), 50);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    ItemGridTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "item_grid_test.moc"
