// The main window's insert, update and grid double-click actions with the real item editor.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <string>

#include "model/item_checkbox.h"
#include "model/item_text.h"
#include "model/project_config.h"
#include "ui/app_setup.h"
#include "ui/form_item_edit.h"
#include "ui/item_grid.h"
#include "ui/main_window.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

namespace {

// Drives every item editor that opens modally while it lives: hands it to the callback, which
// must close it; an editor left open is cancelled so that no test can hang.
class TEditorDriver : public QObject {
public:
    explicit TEditorDriver(std::function<void(TFormItemEdit&)> drive) : drive_(std::move(drive)) {
        timer_.setInterval(2);
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
    }
    int Count() const { return count_; }
    QString NameAttr() const { return nameAttr_; }
    QString NameValue() const { return nameValue_; }
    int EditIndex() const { return editIndex_; }

private:
    void Poll() {
        auto* editor = qobject_cast<TFormItemEdit*>(QApplication::activeModalWidget());
        if (editor == nullptr) return;
        ++count_;
        nameAttr_ = W<QLineEdit>(editor, "EditNameAttr")->text();
        nameValue_ = W<QLineEdit>(editor, "EditNameValue")->text();
        editIndex_ = editor->GetEditIndex();
        drive_(*editor);
        if (editor->isVisible()) editor->reject();
    }
    std::function<void(TFormItemEdit&)> drive_;
    QTimer timer_;
    int count_ = 0;
    QString nameAttr_;
    QString nameValue_;
    int editIndex_ = -2;
};

// A real double-click: QTest's widget double-click alone sends no press before it.
void DoubleClick(QWidget* widget, QPoint pos) {
    QTest::mousePress(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

void PressOk(TFormItemEdit& editor) {
    W<QPushButton>(&editor, "BtnOK")->click();
}

}  // namespace

class ItemActionsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFormMain> w_;
    TProjectConfig& P() { return w_->Project(); }
    TItemGrid* Grid() { return w_->ItemGrid(); }

private slots:
    void initTestCase() { QuietSizeHintWarnings(); }
    void cleanupTestCase() { RestoreMessageHandler(); }
    void init() {
        w_ = std::make_unique<TFormMain>();
        w_->resize(900, 700);
        w_->show();
    }
    void cleanup() { w_.reset(); }

    void insertOffersTheSuggestedNameAndAppends() {
        P().AddItem(TextItem("item1", "一"));
        P().AddItem(TextItem("item3", "三"));
        TEditorDriver driver([](TFormItemEdit& editor) {
            W<QLineEdit>(&editor, "EditNameValue")->setText(Q("二番目"));
            PressOk(editor);
        });
        W<QAction>(w_.get(), "ActionItemInsert")->trigger();
        QCOMPARE(driver.Count(), 1);
        QCOMPARE(driver.NameAttr(), QStringLiteral("item2"));
        QCOMPARE(driver.NameValue(), QStringLiteral("item2"));
        QCOMPARE(driver.EditIndex(), -1);
        QCOMPARE(P().GetItemCount(), 3);
        QCOMPARE(P().GetItems()[2]->GetNameAttr(), std::string("item2"));
        QCOMPARE(P().GetItems()[2]->GetNameValue(), Sj("二番目"));
        // The grid heard of it through the project.
        QCOMPARE(Grid()->DataRowCount(), 3);
        QCOMPARE(Grid()->CellText(3, 1), Q("二番目"));
    }

    void insertCancelledChangesNothing() {
        TEditorDriver driver([](TFormItemEdit& editor) {
            W<QLineEdit>(&editor, "EditNameAttr")->setText(QStringLiteral("other"));
            W<QPushButton>(&editor, "BitBtn2")->click();
        });
        w_->ActionItemInsertExecute();
        QCOMPARE(driver.Count(), 1);
        QCOMPARE(driver.NameAttr(), QStringLiteral("item1"));
        QCOMPARE(P().GetItemCount(), 0);
        QCOMPARE(Grid()->DataRowCount(), 1);
    }

    void updateEditsTheItemOfTheCurrentRow() {
        P().AddItem(TextItem("a", "A"));
        P().AddItem(TextItem("b", "B"));
        P().AddItem(TextItem("c", "C"));
        Grid()->SetCurrentRow(2);
        TEditorDriver driver([](TFormItemEdit& editor) {
            W<QComboBox>(&editor, "ComboBoxType")->setCurrentIndex(2);
            W<QLineEdit>(&editor, "EditCheckboxValue")->setText(QStringLiteral("yes"));
            PressOk(editor);
        });
        W<QAction>(w_.get(), "ActionItemUpdate")->trigger();
        QCOMPARE(driver.Count(), 1);
        QCOMPARE(driver.NameAttr(), QStringLiteral("b"));
        QCOMPARE(driver.EditIndex(), 1);
        QCOMPARE(P().GetItemCount(), 3);
        const auto* check = dynamic_cast<const TProjectItemCheckbox*>(P().GetItems()[1].get());
        QVERIFY(check != nullptr);
        QCOMPARE(check->GetNameAttr(), std::string("b"));
        QCOMPARE(check->GetValue(), std::string("yes"));
    }

    void updateAndDoubleClickDoNothingOnAnEmptyProject() {
        TEditorDriver driver([](TFormItemEdit& editor) { editor.reject(); });
        QCOMPARE(Grid()->DataRowCount(), 1);
        Grid()->SetCurrentRow(1);
        W<QAction>(w_.get(), "ActionItemUpdate")->trigger();
        // The empty data row is a real cell, yet there is no item behind it.
        const QRect cell = Grid()->visualRect(Grid()->model()->index(0, 0));
        DoubleClick(Grid()->viewport(), cell.center());
        w_->ActionItemGridDblClickExecute(Grid()->model()->index(0, 0));
        QCOMPARE(driver.Count(), 0);
        QCOMPARE(P().GetItemCount(), 0);
    }

    void doubleClickOpensTheRowUnderTheMouseOnly() {
        P().AddItem(TextItem("a", "A"));
        P().AddItem(TextItem("b", "B"));
        Grid()->SetCurrentRow(1);
        TEditorDriver driver([](TFormItemEdit& editor) { editor.reject(); });
        // The header row and the space below the last row are no data cells.
        QHeaderView* header = Grid()->horizontalHeader();
        DoubleClick(header->viewport(), QPoint(5, header->height() / 2));
        DoubleClick(Grid()->viewport(), QPoint(5, Grid()->viewport()->height() - 3));
        w_->ActionItemGridDblClickExecute(QModelIndex());
        QCOMPARE(driver.Count(), 0);

        const QRect second = Grid()->visualRect(Grid()->model()->index(1, 1));
        QVERIFY(second.isValid());
        DoubleClick(Grid()->viewport(), second.center());
        QCOMPARE(driver.Count(), 1);
        QCOMPARE(driver.NameAttr(), QStringLiteral("b"));
        QCOMPARE(driver.EditIndex(), 1);
        QCOMPARE(Grid()->CurrentRow(), 2);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InitApplication(app);
    ItemActionsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "item_actions_test.moc"
