// The item editor driven through its widgets: what it shows, what OK builds, what it refuses.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/ini_file.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "model/project_config.h"
#include "ui/app_setup.h"
#include "ui/form_item_edit.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

namespace {

// Counts the project's notifications.
class CountingObserver final : public TProjectItemObservable {
public:
    void Notify(TProjectConfig*) override { ++count; }
    int count = 0;
};

// Every item as the project file would store it, plus the identity of the objects.
std::string Snapshot(const TProjectConfig& project) {
    TIniFile ini = TIniFile::NewFile(std::string());
    std::string ids;
    for (int i = 0; i < project.GetItemCount(); ++i) {
        project.GetItems()[static_cast<std::size_t>(i)]->WriteIni(ini, "ITEM_" + std::to_string(i));
        ids += std::to_string(
            reinterpret_cast<std::uintptr_t>(project.GetItems()[static_cast<std::size_t>(i)].get()));
        ids += ";";
    }
    return ini.ToText() + ids;
}

template <class T>
std::unique_ptr<T> Item(const char* attr, const char* value) {
    auto item = std::make_unique<T>(std::string());
    item->SetNameAttr(attr);
    item->SetNameValue(Sj(value));
    return item;
}

// One dialog on a project, opened the way the main window opens it.
struct Editor {
    TFormItemEdit dlg;
    explicit Editor(TProjectConfig& project) { dlg.SetProjectConfig(&project); }
    void Add(TProjectConfig& project) {
        const std::string name = project.MakeNewItemName();
        TProjectItemText temp(std::string{});
        temp.SetNameAttr(name);
        temp.SetNameValue(name);
        dlg.LoadItem(temp, -1);
    }
    void Edit(TProjectConfig& project, int index) {
        dlg.LoadItem(*project.GetItems()[static_cast<std::size_t>(index)], index);
    }
    QLineEdit* E(const char* n) { return W<QLineEdit>(&dlg, n); }
    QComboBox* C(const char* n) { return W<QComboBox>(&dlg, n); }
    QCheckBox* B(const char* n) { return W<QCheckBox>(&dlg, n); }
    QPlainTextEdit* M(const char* n) { return W<QPlainTextEdit>(&dlg, n); }
    QLabel* L(const char* n) { return W<QLabel>(&dlg, n); }
    bool Shown(const char* n) { return !W<QWidget>(&dlg, n)->isHidden(); }
    // The group box that the type selection shows; every other one must be hidden.
    QString ShownGroup() {
        QString shown;
        for (const char* n :
             {"GroupBoxText", "GroupBoxTextarea", "GroupBoxCheckbox", "GroupBoxRadio", "GroupBoxPopupmenu"}) {
            if (Shown(n)) shown += QString::fromLatin1(n);
        }
        return shown;
    }
    void Ok() { W<QPushButton>(&dlg, "BtnOK")->click(); }
    std::vector<QComboBox*> Converts() {
        return {C("ComboBoxTextConvertType1"), C("ComboBoxTextConvertType2"), C("ComboBoxTextConvertType3"),
                C("ComboBoxTextConvertType4"), C("ComboBoxTextConvertType5")};
    }
};

const TProjectItem& At(const TProjectConfig& project, int i) {
    return *project.GetItems()[static_cast<std::size_t>(i)];
}
template <class T>
const T& As(const TProjectConfig& project, int i) {
    const auto* item = dynamic_cast<const T*>(&At(project, i));
    if (item == nullptr) qFatal("item %d has the wrong type", i);
    return *item;
}

QStringList Entries(QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
    return list;
}

}  // namespace

class ItemEditTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QuietSizeHintWarnings(); }
    void cleanupTestCase() { RestoreMessageHandler(); }

    void addStateOnEmptyProject() {
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        QCOMPARE(ed.dlg.windowTitle(), Q("項目設定"));
        QCOMPARE(ed.dlg.GetEditIndex(), -1);
        QCOMPARE(ed.E("EditNameAttr")->text(), Q("item1"));
        QCOMPARE(ed.E("EditNameValue")->text(), Q("item1"));
        QVERIFY(!ed.B("CheckBoxRequired")->isChecked());
        QVERIFY(!ed.Shown("EditRequiredError"));
        QVERIFY(!ed.Shown("LabelRequiredError"));
        QCOMPARE(ed.C("ComboBoxType")->currentIndex(), 0);
        QCOMPARE(Entries(ed.C("ComboBoxType")),
                 QStringList({Q("一行入力欄"), Q("複数行入力欄"), Q("チェックボックス"), Q("ラジオボタン"),
                              Q("ポップアップメニュー")}));
        QCOMPARE(ed.ShownGroup(), QStringLiteral("GroupBoxText"));
        const QStringList converts = {QString(),
                                      Q("全角数字と全角ハイフンを半角に変換"),
                                      Q("半角数字と半角ハイフンを全角に変換"),
                                      Q("全角・半角ハイフンを削除"),
                                      Q("全角アルファベットを半角に変換"),
                                      Q("半角アルファベットを全角に変換"),
                                      Q("半角カナを全角に変換"),
                                      Q("前後の空白を削除")};
        for (QComboBox* box : ed.Converts()) {
            QCOMPARE(Entries(box), converts);
            QCOMPARE(box->currentIndex(), 0);
            QVERIFY(!box->isEditable());
        }
        QCOMPARE(Entries(ed.C("ComboBoxTextConstraintType")),
                 QStringList({QString(), Q("半角数字のみ"), Q("半角アルファベットのみ"), Q("半角英数"),
                              Q("メールアドレス"), Q("正規表現")}));
        QCOMPARE(ed.C("ComboBoxTextConstraintType")->currentIndex(), 0);
        QVERIFY(!ed.Shown("EditTextConstraintError"));
        QVERIFY(!ed.Shown("EditTextConstraintRegexp"));
        QVERIFY(!ed.Shown("LabelTextConstraintRegexp"));
        QVERIFY(!ed.Shown("EditTextSizeConstraintError"));
        QCOMPARE(ed.E("EditTextSizeConstraint")->text(), QStringLiteral("0"));
        // No other item: the retype list holds its empty entry only and its controls are gone.
        QCOMPARE(Entries(ed.C("ComboBoxTextRetypeItemNameAttr")), QStringList({QString()}));
        QVERIFY(!ed.Shown("ComboBoxTextRetypeItemNameAttr"));
        QVERIFY(!ed.Shown("LabelTextRetype"));
        QVERIFY(!ed.Shown("EditTextRetypeError"));
        // The name attribute takes plain ASCII: no input method.
        QVERIFY(!ed.E("EditNameAttr")->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(ed.E("EditNameAttr")->inputMethodHints().testFlag(Qt::ImhLatinOnly));
        QVERIFY(W<QPushButton>(&ed.dlg, "BtnOK")->isDefault());
    }

    void tabOrderFollowsTheControls() {
        TProjectConfig project;
        Editor ed(project);
        const QStringList expected = {QStringLiteral("EditNameAttr"),
                                      QStringLiteral("EditNameValue"),
                                      QStringLiteral("CheckBoxRequired"),
                                      QStringLiteral("EditRequiredError"),
                                      QStringLiteral("ComboBoxType"),
                                      QStringLiteral("CheckBoxTextPassword"),
                                      QStringLiteral("EditTextSizeConstraint"),
                                      QStringLiteral("EditTextSizeConstraintError"),
                                      QStringLiteral("ComboBoxTextConvertType1"),
                                      QStringLiteral("ComboBoxTextConvertType2"),
                                      QStringLiteral("ComboBoxTextConvertType3"),
                                      QStringLiteral("ComboBoxTextConvertType4"),
                                      QStringLiteral("ComboBoxTextConvertType5"),
                                      QStringLiteral("ComboBoxTextConstraintType"),
                                      QStringLiteral("EditTextConstraintError"),
                                      QStringLiteral("EditTextConstraintRegexp"),
                                      QStringLiteral("ComboBoxTextRetypeItemNameAttr"),
                                      QStringLiteral("EditTextRetypeError"),
                                      QStringLiteral("EditTextareaSizeConstraint"),
                                      QStringLiteral("EditTextareaSizeConstraintError"),
                                      QStringLiteral("EditCheckboxValue"),
                                      QStringLiteral("MemoRadioValues"),
                                      QStringLiteral("MemoPopupmenuValues"),
                                      QStringLiteral("CheckBoxPopupmenuFirstIsNone"),
                                      QStringLiteral("BtnOK"),
                                      QStringLiteral("BitBtn2")};
        QStringList chain;
        QWidget* start = ed.E("EditNameAttr");
        QWidget* w = start;
        do {
            if (expected.contains(w->objectName())) chain << w->objectName();
            w = w->nextInFocusChain();
        } while (w != start && chain.size() < 100);
        QCOMPARE(chain, expected);
    }

    void retypeListOffersTheOtherItems() {
        TProjectConfig project;
        project.AddItem(TextItem("mail", "メール"));
        project.AddItem(Item<TProjectItemCheckbox>("agree", "同意"));
        project.AddItem(Item<TProjectItemRadio>("sex", "性別"));
        {
            Editor ed(project);
            ed.Add(project);
            QCOMPARE(Entries(ed.C("ComboBoxTextRetypeItemNameAttr")),
                     QStringList({QString(), QStringLiteral("mail"), QStringLiteral("agree"),
                                  QStringLiteral("sex")}));
            QVERIFY(ed.Shown("ComboBoxTextRetypeItemNameAttr"));
            QVERIFY(ed.Shown("LabelTextRetype"));
            QCOMPARE(ed.C("ComboBoxTextRetypeItemNameAttr")->currentIndex(), 0);
            QVERIFY(!ed.Shown("EditTextRetypeError"));
        }
        {
            // Editing: the item's own name is never offered.
            Editor ed(project);
            ed.Edit(project, 1);
            QCOMPARE(ed.dlg.GetEditIndex(), 1);
            QCOMPARE(Entries(ed.C("ComboBoxTextRetypeItemNameAttr")),
                     QStringList({QString(), QStringLiteral("mail"), QStringLiteral("sex")}));
            QVERIFY(ed.Shown("ComboBoxTextRetypeItemNameAttr"));
        }
    }

    void retypeTargetChosenStoresNameAndDefaultMessage() {
        TProjectConfig project;
        project.AddItem(TextItem("mail", "メール"));
        Editor ed(project);
        ed.Add(project);
        ed.E("EditNameAttr")->setText(QStringLiteral("mail2"));
        ed.E("EditNameValue")->setText(Q("メール確認"));
        ed.C("ComboBoxTextRetypeItemNameAttr")->setCurrentIndex(1);
        QVERIFY(ed.Shown("EditTextRetypeError"));
        QCOMPARE(ed.E("EditTextRetypeError")->text(), Q("メール確認が一致しません。"));
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        QCOMPARE(project.GetItemCount(), 2);
        const auto& item = As<TProjectItemText>(project, 1);
        QCOMPARE(item.GetRetypeItemNameAttr(), std::string("mail"));
        QCOMPARE(item.GetRetypeError(), Sj("メール確認が一致しません。"));

        // Back on the empty entry the message hides, yet OK still stores its text.
        Editor again(project);
        again.Edit(project, 1);
        QCOMPARE(again.C("ComboBoxTextRetypeItemNameAttr")->currentText(), QStringLiteral("mail"));
        QCOMPARE(again.E("EditTextRetypeError")->text(), Q("メール確認が一致しません。"));
        again.C("ComboBoxTextRetypeItemNameAttr")->setCurrentIndex(0);
        QVERIFY(!again.Shown("EditTextRetypeError"));
        again.Ok();
        QCOMPARE(As<TProjectItemText>(project, 1).GetRetypeItemNameAttr(), std::string());
        QCOMPARE(As<TProjectItemText>(project, 1).GetRetypeError(), Sj("メール確認が一致しません。"));
    }

    void editingTheOnlyItemHidesTheRetypeControls() {
        TProjectConfig project;
        auto item = TextItem("name", "お名前");
        item->SetRetypeItemNameAttr("name");
        item->SetRetypeError(Sj("自分"));
        project.AddItem(std::move(item));
        Editor ed(project);
        ed.Edit(project, 0);
        QCOMPARE(Entries(ed.C("ComboBoxTextRetypeItemNameAttr")), QStringList({QString()}));
        QVERIFY(!ed.Shown("ComboBoxTextRetypeItemNameAttr"));
        QVERIFY(!ed.Shown("LabelTextRetype"));
        QVERIFY(!ed.Shown("EditTextRetypeError"));
        QVERIFY(!ed.Shown("LabelTextRetypeError"));
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        QCOMPARE(As<TProjectItemText>(project, 0).GetRetypeItemNameAttr(), std::string());
    }

    void vanishedRetypeTargetShowsTheEmptyEntry() {
        TProjectConfig project;
        project.AddItem(TextItem("other", "他"));
        auto item = TextItem("mail2", "確認");
        item->SetRetypeItemNameAttr("gone");
        item->SetRetypeError(Sj("違います"));
        project.AddItem(std::move(item));
        Editor ed(project);
        ed.Edit(project, 1);
        QCOMPARE(ed.C("ComboBoxTextRetypeItemNameAttr")->currentIndex(), 0);
        QVERIFY(!ed.Shown("EditTextRetypeError"));
        QCOMPARE(ed.E("EditTextRetypeError")->text(), QString());
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        QCOMPARE(As<TProjectItemText>(project, 1).GetRetypeItemNameAttr(), std::string());
    }

    void conversionsCloseUpAndComeBackInOrder() {
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        auto boxes = ed.Converts();
        boxes[1]->setCurrentIndex(7);
        boxes[3]->setCurrentIndex(1);
        ed.Ok();
        QCOMPARE(project.GetItemCount(), 1);
        const std::vector<TProjectItemConvertType> expected = {ctStrip, ctZenNumHyphenToHan};
        QVERIFY(As<TProjectItemText>(project, 0).GetConvertTypes() == expected);

        Editor again(project);
        again.Edit(project, 0);
        auto shown = again.Converts();
        QCOMPARE(shown[0]->currentIndex(), 7);
        QCOMPARE(shown[1]->currentIndex(), 1);
        QCOMPARE(shown[2]->currentIndex(), 0);
        QCOMPARE(shown[3]->currentIndex(), 0);
        QCOMPARE(shown[4]->currentIndex(), 0);
        // The same conversion in several boxes is stored once per box.
        shown[2]->setCurrentIndex(3);
        shown[4]->setCurrentIndex(3);
        again.Ok();
        const std::vector<TProjectItemConvertType> twice = {ctStrip, ctZenNumHyphenToHan, ctHyphenDelete,
                                                            ctHyphenDelete};
        QVERIFY(As<TProjectItemText>(project, 0).GetConvertTypes() == twice);
    }

    void sizeFieldsReadDecimalOrZero_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("letters") << QStringLiteral("abc") << 0;
        QTest::newRow("negative") << QStringLiteral("-5") << 0;
        QTest::newRow("too large") << QStringLiteral("99999999999") << 0;
        QTest::newRow("number") << QStringLiteral("200") << 200;
    }
    void sizeFieldsReadDecimalOrZero() {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        for (int type : {0, 1}) {
            TProjectConfig project;
            Editor ed(project);
            ed.Add(project);
            ed.dlg.show();
            ed.E("EditNameValue")->setText(Q("ご意見"));
            ed.C("ComboBoxType")->setCurrentIndex(type);
            const char* field = type == 0 ? "EditTextSizeConstraint" : "EditTextareaSizeConstraint";
            ed.E(field)->clear();
            QTest::keyClicks(ed.E(field), typed);
            ed.Ok();
            QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
            if (type == 0) {
                QCOMPARE(As<TProjectItemText>(project, 0).GetSizeConstraint(), stored);
            } else {
                QCOMPARE(As<TProjectItemTextarea>(project, 0).GetSizeConstraint(), stored);
            }
        }
    }

    void sizeLimitMessageFieldFollowsTheSize() {
        for (int type : {0, 1}) {
            TProjectConfig project;
            Editor ed(project);
            ed.Add(project);
            ed.C("ComboBoxType")->setCurrentIndex(type);
            const char* size = type == 0 ? "EditTextSizeConstraint" : "EditTextareaSizeConstraint";
            const char* message =
                type == 0 ? "EditTextSizeConstraintError" : "EditTextareaSizeConstraintError";
            const char* label =
                type == 0 ? "LabelTextSizeConstraintError" : "LabelTextareaSizeConstraintError";
            QCOMPARE(ed.L(label)->text(), Q("エラーメッセージ"));
            QVERIFY(!ed.Shown(message));
            QVERIFY(!ed.Shown(label));
            ed.E("EditNameValue")->setText(Q("ご意見"));
            ed.E(size)->setText(QStringLiteral("100"));
            QVERIFY(ed.Shown(message));
            QVERIFY(ed.Shown(label));
            QCOMPARE(ed.E(message)->text(), Q("ご意見が長すぎます。"));
            // A typed message is never replaced; the field hides again at 0.
            ed.E(message)->setText(Q("100バイトまでです"));
            ed.E(size)->setText(QStringLiteral("0"));
            QVERIFY(!ed.Shown(message));
            ed.E(size)->setText(QStringLiteral("50"));
            QCOMPARE(ed.E(message)->text(), Q("100バイトまでです"));
            ed.Ok();
            QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
            if (type == 0) {
                QCOMPARE(As<TProjectItemText>(project, 0).GetSizeConstraintError(), Sj("100バイトまでです"));
                QCOMPARE(As<TProjectItemText>(project, 0).GetSizeConstraint(), 50);
            } else {
                QCOMPARE(As<TProjectItemTextarea>(project, 0).GetSizeConstraintError(),
                         Sj("100バイトまでです"));
            }
            Editor again(project);
            again.Edit(project, 0);
            QVERIFY(again.Shown(message));
            QCOMPARE(again.E(message)->text(), Q("100バイトまでです"));
            QCOMPARE(again.E(size)->text(), QStringLiteral("50"));
        }
    }

    void regularExpressionFieldAndItsDefaultMessage() {
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        ed.E("EditNameValue")->setText(Q("電話番号"));
        QComboBox* kind = ed.C("ComboBoxTextConstraintType");
        kind->setCurrentIndex(5);
        QVERIFY(ed.Shown("EditTextConstraintRegexp"));
        QVERIFY(ed.Shown("LabelTextConstraintRegexp"));
        QVERIFY(ed.Shown("EditTextConstraintError"));
        QCOMPARE(ed.E("EditTextConstraintError")->text(), Q("電話番号に間違いがあります。"));
        // A default already written is not updated when the display name changes.
        ed.E("EditNameValue")->setText(Q("電話"));
        kind->setCurrentIndex(1);
        QVERIFY(!ed.Shown("EditTextConstraintRegexp"));
        QCOMPARE(ed.E("EditTextConstraintError")->text(), Q("電話番号に間違いがあります。"));
        kind->setCurrentIndex(5);
        ed.E("EditTextConstraintRegexp")->setText(QStringLiteral("^\\d{3}-\\d{4}$"));
        // Back to no constraint: the message hides and OK stores none of the three.
        kind->setCurrentIndex(0);
        QVERIFY(!ed.Shown("EditTextConstraintError"));
        QVERIFY(!ed.Shown("EditTextConstraintRegexp"));
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        const auto& item = As<TProjectItemText>(project, 0);
        QCOMPARE(int(item.GetConstraintType()), 0);
        QCOMPARE(item.GetConstraintError(), std::string());
        QCOMPARE(item.GetConstraintRegexp(), std::string());

        Editor again(project);
        again.Edit(project, 0);
        again.C("ComboBoxTextConstraintType")->setCurrentIndex(5);
        QCOMPARE(again.E("EditTextConstraintError")->text(), Q("電話に間違いがあります。"));
        again.E("EditTextConstraintRegexp")->setText(QStringLiteral("^\\d{3}-\\d{4}$"));
        again.Ok();
        const auto& stored = As<TProjectItemText>(project, 0);
        QCOMPARE(int(stored.GetConstraintType()), 5);
        QCOMPARE(stored.GetConstraintRegexp(), std::string("^\\d{3}-\\d{4}$"));
        QCOMPARE(stored.GetConstraintError(), Sj("電話に間違いがあります。"));
    }

    void requiredBoxAndItsDefaultMessage() {
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        ed.E("EditNameValue")->setText(Q("お名前"));
        ed.B("CheckBoxRequired")->click();
        QVERIFY(ed.B("CheckBoxRequired")->isChecked());
        QVERIFY(ed.Shown("EditRequiredError"));
        QVERIFY(ed.Shown("LabelRequiredError"));
        QCOMPARE(ed.E("EditRequiredError")->text(), Q("お名前が入力されていません。"));
        ed.B("CheckBoxRequired")->setChecked(false);
        QVERIFY(!ed.Shown("EditRequiredError"));
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        QVERIFY(!At(project, 0).GetRequired());
        QCOMPARE(At(project, 0).GetRequiredError(), Sj("お名前が入力されていません。"));

        // A typed message survives checking the box.
        Editor again(project);
        again.Edit(project, 0);
        QVERIFY(!again.Shown("EditRequiredError"));
        again.E("EditRequiredError")->setText(Q("必ず書いてください"));
        again.B("CheckBoxRequired")->setChecked(true);
        QCOMPARE(again.E("EditRequiredError")->text(), Q("必ず書いてください"));
        again.Ok();
        QVERIFY(At(project, 0).GetRequired());
        QCOMPARE(At(project, 0).GetRequiredError(), Sj("必ず書いてください"));
    }

    void switchingTheTypeReplacesTheItem() {
        TProjectConfig project;
        CountingObserver observer;
        project.AddItem(TextItem("first", "一"));
        auto item = TextItem("comment", "ご意見");
        item->SetRequired(true);
        item->SetRequiredError(Sj("ご意見をどうぞ"));
        item->SetPassword(true);
        item->SetConvertTypes({ctStrip});
        project.AddItem(std::move(item));
        project.AddObserver(&observer);
        Editor ed(project);
        ed.Edit(project, 1);
        ed.C("ComboBoxType")->setCurrentIndex(1);
        QCOMPARE(ed.ShownGroup(), QStringLiteral("GroupBoxTextarea"));
        // The text group keeps what it holds while hidden.
        QVERIFY(ed.B("CheckBoxTextPassword")->isChecked());
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        QCOMPARE(observer.count, 1);
        QCOMPARE(project.GetItemCount(), 2);
        const auto& area = As<TProjectItemTextarea>(project, 1);
        QCOMPARE(area.GetNameAttr(), std::string("comment"));
        QCOMPARE(area.GetNameValue(), Sj("ご意見"));
        QVERIFY(area.GetRequired());
        QCOMPARE(area.GetRequiredError(), Sj("ご意見をどうぞ"));
        QCOMPARE(area.GetSizeConstraint(), 0);
        QCOMPARE(At(project, 0).GetNameAttr(), std::string("first"));
        project.RemoveObserver(&observer);
    }

    void everyTypeShowsItsOwnGroup() {
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        const char* groups[] = {"GroupBoxText", "GroupBoxTextarea", "GroupBoxCheckbox", "GroupBoxRadio",
                                "GroupBoxPopupmenu"};
        const char* captions[] = {"一行入力欄", "複数行入力欄", "チェックボックス", "ラジオボタン",
                                  "ポップアップメニュー"};
        for (int i = 4; i >= 0; --i) {
            ed.C("ComboBoxType")->setCurrentIndex(i);
            QCOMPARE(ed.ShownGroup(), QString::fromLatin1(groups[i]));
            QCOMPARE(W<QGroupBox>(&ed.dlg, groups[i])->title(), Q(captions[i]));
        }
    }

    void cancelLeavesTheProjectAsItWas() {
        TProjectConfig project;
        CountingObserver observer;
        project.AddItem(TextItem("name", "お名前"));
        project.AddItem(Item<TProjectItemTextarea>("body", "本文"));
        project.AddObserver(&observer);
        const std::string before = Snapshot(project);
        for (bool escape : {false, true}) {
            Editor ed(project);
            ed.Edit(project, 0);
            ed.E("EditNameAttr")->setText(QStringLiteral("changed"));
            ed.E("EditNameValue")->setText(Q("変更"));
            ed.C("ComboBoxType")->setCurrentIndex(2);
            ed.E("EditCheckboxValue")->setText(QStringLiteral("yes"));
            if (escape) {
                QTest::keyClick(&ed.dlg, Qt::Key_Escape);
            } else {
                W<QPushButton>(&ed.dlg, "BitBtn2")->click();
            }
            QCOMPARE(ed.dlg.result(), int(QDialog::Rejected));
        }
        QCOMPARE(Snapshot(project), before);
        QCOMPARE(observer.count, 0);
        project.RemoveObserver(&observer);
    }

    // Refusals of the item's check and of the project: an information box with OK, the
    // dialog stays open with the typed text and the project does not change.
    void refusalsAreShownAndKeepTheInput_data() {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty name attribute") << 0 << Q("name属性が設定されていません。");
        QTest::newRow("empty display name") << 1 << Q("項目名称が設定されていません。");
        QTest::newRow("required without message")
            << 2 << Q("必須項目が入力されていないときのエラーメッセージが設定されていません。");
        QTest::newRow("size limit without message")
            << 3 << Q("サイズ制限に違反したときのエラーメッセージが設定されていません。");
        QTest::newRow("constraint without message")
            << 4 << Q("入力値制限に違反したときのエラーメッセージが設定されていません。");
        QTest::newRow("regexp missing") << 5 << Q("入力値制限の正規表現が設定されていません。");
        QTest::newRow("retype without message")
            << 6 << Q("再入力項目が一致しないときのエラーメッセージが設定されていません。");
        QTest::newRow("check box without value") << 7 << Q("選択値が設定されていません。");
        QTest::newRow("radio with empty lines only") << 8 << Q("選択値が設定されていません。");
        QTest::newRow("pop-up menu without choices") << 9 << Q("選択値が設定されていません。");
        QTest::newRow("name already used when adding") << 10 << Q("同じname属性が既に登録されています。");
        QTest::newRow("name of another item when editing") << 11 << Q("同じname属性が既に登録されています。");
    }
    void refusalsAreShownAndKeepTheInput() {
        QFETCH(int, scenario);
        QFETCH(QString, message);
        TProjectConfig project;
        CountingObserver observer;
        project.AddItem(TextItem("mail", "メール"));
        project.AddItem(Item<TProjectItemTextarea>("body", "本文"));
        project.AddObserver(&observer);
        const std::string before = Snapshot(project);
        Editor ed(project);
        if (scenario == 11) {
            ed.Edit(project, 1);
        } else {
            ed.Add(project);
        }
        QLineEdit* typed = ed.E("EditNameValue");
        switch (scenario) {
            case 0:
                ed.E("EditNameAttr")->clear();
                typed = ed.E("EditNameAttr");
                break;
            case 1:
                ed.E("EditNameValue")->clear();
                break;
            case 2:
                ed.B("CheckBoxRequired")->setChecked(true);
                ed.E("EditRequiredError")->clear();
                break;
            case 3:
                ed.E("EditTextSizeConstraint")->setText(QStringLiteral("10"));
                ed.E("EditTextSizeConstraintError")->clear();
                typed = ed.E("EditTextSizeConstraint");
                break;
            case 4:
                ed.C("ComboBoxTextConstraintType")->setCurrentIndex(2);
                ed.E("EditTextConstraintError")->clear();
                break;
            case 5:
                ed.C("ComboBoxTextConstraintType")->setCurrentIndex(5);
                typed = ed.E("EditTextConstraintError");
                break;
            case 6:
                ed.C("ComboBoxTextRetypeItemNameAttr")->setCurrentIndex(1);
                ed.E("EditTextRetypeError")->clear();
                break;
            case 7:
                ed.C("ComboBoxType")->setCurrentIndex(2);
                break;
            case 8:
                ed.C("ComboBoxType")->setCurrentIndex(3);
                ed.M("MemoRadioValues")->setPlainText(QStringLiteral("\n\n"));
                break;
            case 9:
                ed.C("ComboBoxType")->setCurrentIndex(4);
                break;
            case 10:
                ed.E("EditNameAttr")->setText(QStringLiteral("mail"));
                typed = ed.E("EditNameAttr");
                break;
            case 11:
                ed.E("EditNameAttr")->setText(QStringLiteral("mail"));
                typed = ed.E("EditNameAttr");
                break;
            default:
                QFAIL("unknown scenario");
        }
        const QString typedText = typed->text();
        const int typeIndex = ed.C("ComboBoxType")->currentIndex();
        ed.dlg.show();
        {
            TBoxAnswerer answer;
            ed.Ok();
            QCOMPARE(answer.Count(), 1);
            QCOMPARE(answer.Text(), message);
            QCOMPARE(answer.Icon(), QMessageBox::Information);
            QCOMPARE(answer.Buttons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        }
        QVERIFY(ed.dlg.isVisible());
        QCOMPARE(ed.dlg.result(), int(QDialog::Rejected));
        QCOMPARE(typed->text(), typedText);
        QCOMPARE(ed.C("ComboBoxType")->currentIndex(), typeIndex);
        QCOMPARE(Snapshot(project), before);
        QCOMPARE(observer.count, 0);
        project.RemoveObserver(&observer);
    }

    // Refusals while the item is built go to the application's error display.
    void buildErrorsReachTheErrorDisplay_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("hyphen in name") << QStringLiteral("EditNameAttr") << QStringLiteral("e-mail")
                                        << Q("name属性に設定できる文字は半角英数字とアンダーバー(_)です。");
        QTest::newRow("kanji in name") << QStringLiteral("EditNameAttr") << Q("名前")
                                       << Q("name属性に設定できる文字は半角英数字とアンダーバー(_)です。");
        QTest::newRow("quote in display name") << QStringLiteral("EditNameValue") << Q("お\"名前")
                                               << Q("項目名称にダブルクオート(\")は使えません。");
    }
    void buildErrorsReachTheErrorDisplay() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        TProjectConfig project;
        project.AddItem(TextItem("mail", "メール"));
        const std::string before = Snapshot(project);
        Editor ed(project);
        ed.Add(project);
        QLineEdit* edit = W<QLineEdit>(&ed.dlg, field.toLatin1().constData());
        edit->setText(text);
        ed.dlg.show();
        {
            TBoxAnswerer answer;
            ed.Ok();
            QCOMPARE(answer.Count(), 1);
            QCOMPARE(answer.Text(), message);
            QCOMPARE(answer.Icon(), QMessageBox::Critical);
        }
        QVERIFY(ed.dlg.isVisible());
        QCOMPARE(edit->text(), text);
        QCOMPARE(Snapshot(project), before);
    }

    void characterOutsideShiftJisIsRefusedByName_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("field");
        QTest::newRow("display name") << 0 << QStringLiteral("EditNameValue");
        QTest::newRow("constraint message") << 0 << QStringLiteral("EditTextConstraintError");
        QTest::newRow("check box value") << 2 << QStringLiteral("EditCheckboxValue");
        QTest::newRow("radio choices") << 3 << QStringLiteral("MemoRadioValues");
    }
    void characterOutsideShiftJisIsRefusedByName() {
        QFETCH(int, type);
        QFETCH(QString, field);
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        ed.C("ComboBoxType")->setCurrentIndex(type);
        ed.C("ComboBoxTextConstraintType")->setCurrentIndex(1);
        ed.E("EditCheckboxValue")->setText(QStringLiteral("yes"));
        const QString bad = Q("笑顔😀です");
        if (field.startsWith(QStringLiteral("Memo"))) {
            W<QPlainTextEdit>(&ed.dlg, field.toLatin1().constData())
                ->setPlainText(QStringLiteral("a\n") + bad);
        } else {
            W<QLineEdit>(&ed.dlg, field.toLatin1().constData())->setText(bad);
        }
        ed.dlg.show();
        {
            TBoxAnswerer answer;
            ed.Ok();
            QCOMPARE(answer.Count(), 1);
            QVERIFY2(answer.Text().contains(Q("😀")), qPrintable(answer.Text()));
            QCOMPARE(answer.Icon(), QMessageBox::Critical);
        }
        QVERIFY(ed.dlg.isVisible());
        QCOMPARE(project.GetItemCount(), 0);
    }

    void updateKeepsThePositionAndItsOwnName() {
        TProjectConfig project;
        project.AddItem(TextItem("a", "A"));
        project.AddItem(Item<TProjectItemCheckbox>("b", "B"));
        project.AddItem(TextItem("c", "C"));
        Editor ed(project);
        ed.Edit(project, 1);
        QCOMPARE(ed.C("ComboBoxType")->currentIndex(), 2);
        ed.E("EditCheckboxValue")->setText(Q("はい"));
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        QCOMPARE(project.GetItemCount(), 3);
        QCOMPARE(As<TProjectItemCheckbox>(project, 1).GetValue(), Sj("はい"));
        QCOMPARE(At(project, 1).GetNameAttr(), std::string("b"));
        QCOMPARE(At(project, 2).GetNameAttr(), std::string("c"));
    }

    void enterConfirms() {
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        ed.dlg.show();
        ed.E("EditNameValue")->setFocus();
        QTest::keyClicks(ed.E("EditNameValue"), QStringLiteral("_address"));
        QTest::keyClick(ed.E("EditNameValue"), Qt::Key_Return);
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        QCOMPARE(project.GetItemCount(), 1);
        QCOMPARE(At(project, 0).GetNameValue(), std::string("item1_address"));
    }

    void choicesDropEmptyLines() {
        TProjectConfig project;
        Editor ed(project);
        ed.Add(project);
        ed.C("ComboBoxType")->setCurrentIndex(4);
        ed.M("MemoPopupmenuValues")->setPlainText(Q("東京\n\n大阪\n \n"));
        ed.Ok();
        QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        const std::vector<std::string> expected = {Sj("東京"), Sj("大阪"), " "};
        QVERIFY(As<TProjectItemPopupmenu>(project, 0).GetValues() == expected);
    }

    // Every type built through the dialog, saved, reopened and shown again unchanged.
    void everyTypeSurvivesSaveAndOpen() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const std::string path = dir.filePath(QStringLiteral("roundtrip.qpf")).toStdString();
        TProjectConfig project;
        const auto fill = [&](int type, auto&& typeSpecific) {
            Editor ed(project);
            ed.Add(project);
            ed.C("ComboBoxType")->setCurrentIndex(type);
            ed.E("EditNameAttr")->setText(QStringLiteral("field_%1").arg(type));
            ed.E("EditNameValue")->setText(Q("表示ソ名%1").arg(type));
            ed.B("CheckBoxRequired")->setChecked(type % 2 == 0);
            ed.E("EditRequiredError")->setText(Q("必須です\\%1").arg(type));
            typeSpecific(ed);
            ed.Ok();
            QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        };
        fill(0, [](Editor& ed) {
            ed.B("CheckBoxTextPassword")->setChecked(true);
            ed.E("EditTextSizeConstraint")->setText(QStringLiteral("40"));
            ed.E("EditTextSizeConstraintError")->setText(Q("長すぎ＠です"));
            ed.Converts()[0]->setCurrentIndex(6);
            ed.Converts()[2]->setCurrentIndex(2);
            ed.C("ComboBoxTextConstraintType")->setCurrentIndex(5);
            ed.E("EditTextConstraintRegexp")->setText(QStringLiteral("^[a-z]+$"));
            ed.E("EditTextConstraintError")->setText(Q("小文字で表"));
        });
        fill(1, [](Editor& ed) {
            ed.E("EditTextareaSizeConstraint")->setText(QStringLiteral("2000"));
            ed.E("EditTextareaSizeConstraintError")->setText(Q("長い表"));
        });
        fill(2, [](Editor& ed) { ed.E("EditCheckboxValue")->setText(Q("同意する")); });
        fill(3, [](Editor& ed) { ed.M("MemoRadioValues")->setPlainText(Q("男\n女\nその他, 回答なし")); });
        fill(4, [](Editor& ed) {
            ed.M("MemoPopupmenuValues")->setPlainText(Q("東京\n\"大阪\""));
            ed.B("CheckBoxPopupmenuFirstIsNone")->setChecked(true);
        });
        {
            // The retype target and its message on a text item that names an earlier one.
            Editor ed(project);
            ed.Add(project);
            ed.E("EditNameAttr")->setText(QStringLiteral("again"));
            ed.E("EditNameValue")->setText(Q("再入力"));
            ed.C("ComboBoxTextRetypeItemNameAttr")->setCurrentIndex(1);
            ed.E("EditTextRetypeError")->setText(Q("一致しません表"));
            ed.Ok();
            QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        }
        QCOMPARE(project.GetItemCount(), 6);
        project.SaveToFile(path);

        TProjectConfig reopened;
        reopened.LoadFromFile(path);
        QCOMPARE(reopened.GetItemCount(), 6);
        for (int i = 0; i < 5; ++i) {
            Editor ed(reopened);
            ed.Edit(reopened, i);
            QCOMPARE(ed.C("ComboBoxType")->currentIndex(), i);
            QCOMPARE(ed.ShownGroup(),
                     QString::fromLatin1(std::vector<const char*>{
                         "GroupBoxText", "GroupBoxTextarea", "GroupBoxCheckbox", "GroupBoxRadio",
                         "GroupBoxPopupmenu"}[static_cast<std::size_t>(i)]));
            QCOMPARE(ed.E("EditNameAttr")->text(), QStringLiteral("field_%1").arg(i));
            QCOMPARE(ed.E("EditNameValue")->text(), Q("表示ソ名%1").arg(i));
            QCOMPARE(ed.B("CheckBoxRequired")->isChecked(), i % 2 == 0);
            QCOMPARE(ed.Shown("EditRequiredError"), i % 2 == 0);
            QCOMPARE(ed.E("EditRequiredError")->text(), Q("必須です\\%1").arg(i));
        }
        Editor text(reopened);
        text.Edit(reopened, 0);
        QVERIFY(text.B("CheckBoxTextPassword")->isChecked());
        QCOMPARE(text.E("EditTextSizeConstraint")->text(), QStringLiteral("40"));
        QCOMPARE(text.E("EditTextSizeConstraintError")->text(), Q("長すぎ＠です"));
        QCOMPARE(text.Converts()[0]->currentIndex(), 6);
        QCOMPARE(text.Converts()[1]->currentIndex(), 2);
        QCOMPARE(text.Converts()[2]->currentIndex(), 0);
        QCOMPARE(text.C("ComboBoxTextConstraintType")->currentIndex(), 5);
        QVERIFY(text.Shown("EditTextConstraintRegexp"));
        QCOMPARE(text.E("EditTextConstraintRegexp")->text(), QStringLiteral("^[a-z]+$"));
        QCOMPARE(text.E("EditTextConstraintError")->text(), Q("小文字で表"));
        QCOMPARE(text.C("ComboBoxTextRetypeItemNameAttr")->currentIndex(), 0);

        Editor area(reopened);
        area.Edit(reopened, 1);
        QCOMPARE(area.E("EditTextareaSizeConstraint")->text(), QStringLiteral("2000"));
        QCOMPARE(area.E("EditTextareaSizeConstraintError")->text(), Q("長い表"));
        Editor check(reopened);
        check.Edit(reopened, 2);
        QCOMPARE(check.E("EditCheckboxValue")->text(), Q("同意する"));
        Editor radio(reopened);
        radio.Edit(reopened, 3);
        QCOMPARE(radio.M("MemoRadioValues")->toPlainText(), Q("男\n女\nその他, 回答なし"));
        Editor popup(reopened);
        popup.Edit(reopened, 4);
        QCOMPARE(popup.M("MemoPopupmenuValues")->toPlainText(), Q("東京\n\"大阪\""));
        QVERIFY(popup.B("CheckBoxPopupmenuFirstIsNone")->isChecked());
        Editor again(reopened);
        again.Edit(reopened, 5);
        QCOMPARE(again.C("ComboBoxTextRetypeItemNameAttr")->currentText(), QStringLiteral("field_0"));
        QVERIFY(again.Shown("EditTextRetypeError"));
        QCOMPARE(again.E("EditTextRetypeError")->text(), Q("一致しません表"));

        // Pressing OK on every reopened item without a change gives back the same file.
        for (int i = 0; i < reopened.GetItemCount(); ++i) {
            Editor ed(reopened);
            ed.Edit(reopened, i);
            ed.Ok();
            QCOMPARE(ed.dlg.result(), int(QDialog::Accepted));
        }
        const std::string second = dir.filePath(QStringLiteral("second.qpf")).toStdString();
        reopened.SaveToFile(second);
        QFile a(QString::fromStdString(path));
        QFile b(QString::fromStdString(second));
        QVERIFY(a.open(QIODevice::ReadOnly));
        QVERIFY(b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitApplication(app);
    ItemEditTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "item_edit_test.moc"
