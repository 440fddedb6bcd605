#include "ui/form_item_edit.h"

#include <QLabel>
#include <QMessageBox>
#include <QStringList>
#include <algorithm>
#include <array>
#include <exception>
#include <string>
#include <vector>

#include "model/error.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "model/project_config.h"
#include "ui/app_error.h"
#include "ui/app_setup.h"
#include "ui/text_codec.h"
#include "ui_form_item_edit.h"

namespace qp {

namespace {

// Entry index = TProjectItemConvertType value; index 0 stands for no conversion.
constexpr std::array<const char*, 8> kConvertEntries = {
    "",
    "全角数字と全角ハイフンを半角に変換",
    "半角数字と半角ハイフンを全角に変換",
    "全角・半角ハイフンを削除",
    "全角アルファベットを半角に変換",
    "半角アルファベットを全角に変換",
    "半角カナを全角に変換",
    "前後の空白を削除",
};

// Entry index = constraint kind of a text item; the regular expression must stay last.
constexpr std::array<const char*, 6> kConstraintEntries = {
    "", "半角数字のみ", "半角アルファベットのみ", "半角英数", "メールアドレス", "正規表現",
};

constexpr int kTypeText = 0;
constexpr int kTypeTextarea = 1;
constexpr int kTypeCheckbox = 2;
constexpr int kTypeRadio = 3;
constexpr int kTypePopupmenu = 4;

QString U8(const char* text) {
    return QString::fromUtf8(text);
}

// A size field that does not hold a decimal integer counts as 0.
int ReadSize(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : 0;
}

std::string Sjis(const QLineEdit* edit, const char* fieldName) {
    return ToSjis(edit->text(), U8(fieldName));
}

std::vector<std::string> SjisLines(const QPlainTextEdit* memo, const char* fieldName) {
    std::vector<std::string> lines;
    const QStringList texts = memo->toPlainText().split(QLatin1Char('\n'));
    lines.reserve(static_cast<std::size_t>(texts.size()));
    for (const QString& line : texts) lines.push_back(ToSjis(line, U8(fieldName)));
    return lines;
}

QString JoinLines(const std::vector<std::string>& values) {
    QStringList lines;
    for (const std::string& value : values) lines.append(FromSjis(value));
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

TFormItemEdit::TFormItemEdit(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TFormItemEdit>()) {
    ui_->setupUi(this);
    // Names are typed as plain ASCII; an input method would only produce refused characters.
    ui_->EditNameAttr->setAttribute(Qt::WA_InputMethodEnabled, false);

    // All five group boxes share one place (one grid cell); hidden controls keep their room so
    // that the fixed-size dialog does not jump while fields come and go.
    for (QWidget* w : std::initializer_list<QWidget*>{
             ui_->GroupBoxText, ui_->GroupBoxTextarea, ui_->GroupBoxCheckbox, ui_->GroupBoxRadio,
             ui_->GroupBoxPopupmenu, ui_->EditRequiredError, ui_->LabelRequiredError,
             ui_->EditTextSizeConstraintError, ui_->LabelTextSizeConstraintError,
             ui_->EditTextConstraintError, ui_->LabelTextConstraintError, ui_->EditTextConstraintRegexp,
             ui_->LabelTextConstraintRegexp, ui_->ComboBoxTextRetypeItemNameAttr, ui_->LabelTextRetype,
             ui_->EditTextRetypeError, ui_->LabelTextRetypeError, ui_->EditTextareaSizeConstraintError,
             ui_->LabelTextareaSizeConstraintError}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    for (QComboBox* box :
         {ui_->ComboBoxTextConvertType1, ui_->ComboBoxTextConvertType2, ui_->ComboBoxTextConvertType3,
          ui_->ComboBoxTextConvertType4, ui_->ComboBoxTextConvertType5}) {
        box->clear();
        for (const char* entry : kConvertEntries) box->addItem(U8(entry));
        box->setCurrentIndex(0);
    }
    ui_->ComboBoxTextConstraintType->clear();
    for (const char* entry : kConstraintEntries) ui_->ComboBoxTextConstraintType->addItem(U8(entry));
    ui_->ComboBoxTextConstraintType->setCurrentIndex(0);
    ui_->ComboBoxType->setCurrentIndex(kTypeText);

    connect(ui_->BtnOK, &QPushButton::clicked, this, &TFormItemEdit::BtnOKClick);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->ComboBoxType, &QComboBox::currentIndexChanged, this, &TFormItemEdit::ComboBoxTypeChange);
    connect(ui_->ComboBoxTextConstraintType, &QComboBox::currentIndexChanged, this,
            &TFormItemEdit::ComboBoxTextConstraintTypeChange);
    connect(ui_->ComboBoxTextRetypeItemNameAttr, &QComboBox::currentIndexChanged, this,
            &TFormItemEdit::ComboBoxTextRetypeItemNameAttrChange);
    connect(ui_->CheckBoxRequired, &QCheckBox::toggled, this, &TFormItemEdit::CheckBoxRequiredClick);
    connect(ui_->EditTextSizeConstraint, &QLineEdit::textChanged, this,
            &TFormItemEdit::EditTextSizeConstraintChange);
    connect(ui_->EditTextareaSizeConstraint, &QLineEdit::textChanged, this,
            &TFormItemEdit::EditTextareaSizeConstraintChange);

    // Until an item is loaded the dialog shows the empty one-line field.
    ComboBoxTypeChange();
    ComboBoxTextConstraintTypeChange();
    ComboBoxTextRetypeItemNameAttrChange();
    CheckBoxRequiredClick();
    EditTextSizeConstraintChange();
    EditTextareaSizeConstraintChange();
}

TFormItemEdit::~TFormItemEdit() = default;

void TFormItemEdit::SetProjectConfig(TProjectConfig* project) {
    projectConfig_ = project;
    QComboBox* list = ui_->ComboBoxTextRetypeItemNameAttr;
    list->clear();
    list->addItem(QString());
    list->setCurrentIndex(0);
    if (project == nullptr) return;
    for (const std::string& name : project->GetItemNames()) list->addItem(FromSjis(name));
}

void TFormItemEdit::LoadItem(const TProjectItem& item, int index) {
    editIndex_ = index;
    ui_->EditNameAttr->setText(FromSjis(item.GetNameAttr()));
    ui_->EditNameValue->setText(FromSjis(item.GetNameValue()));
    ui_->CheckBoxRequired->setChecked(item.GetRequired());
    ui_->EditRequiredError->setText(FromSjis(item.GetRequiredError()));

    QComboBox* list = ui_->ComboBoxTextRetypeItemNameAttr;
    if (index != -1) {
        // A field is never offered as its own retype target.
        const int own = list->findText(FromSjis(item.GetNameAttr()));
        if (own > 0) list->removeItem(own);
    }
    if (list->count() <= 1) {
        retypeHidden_ = true;
        list->hide();
        ui_->LabelTextRetype->hide();
        SetLabelledVisible(ui_->EditTextRetypeError, false);
    }

    const std::string type = item.GetTypeName();
    if (const auto* text = dynamic_cast<const TProjectItemText*>(&item); text != nullptr && type == "TEXT") {
        LoadText(*text);
    } else if (const auto* area = dynamic_cast<const TProjectItemTextarea*>(&item);
               area != nullptr && type == "TEXTAREA") {
        LoadTextarea(*area);
    } else if (const auto* check = dynamic_cast<const TProjectItemCheckbox*>(&item);
               check != nullptr && type == "CHECKBOX") {
        LoadCheckbox(*check);
    } else if (const auto* choice = dynamic_cast<const TProjectItemChoice*>(&item); choice != nullptr) {
        if (type == "RADIO") LoadChoice(*choice, kTypeRadio);
        if (type == "POPUPMENU") LoadChoice(*choice, kTypePopupmenu);
    }
    CheckBoxRequiredClick();
}

void TFormItemEdit::LoadText(const TProjectItemText& item) {
    ui_->ComboBoxType->setCurrentIndex(kTypeText);
    // The message goes in first so that the size handler sees the item's own text.
    ui_->EditTextSizeConstraintError->setText(FromSjis(item.GetSizeConstraintError()));
    ui_->EditTextSizeConstraint->setText(QString::number(item.GetSizeConstraint()));
    ui_->CheckBoxTextPassword->setChecked(item.GetPassword());

    const std::array<QComboBox*, 5> boxes = {ui_->ComboBoxTextConvertType1, ui_->ComboBoxTextConvertType2,
                                             ui_->ComboBoxTextConvertType3, ui_->ComboBoxTextConvertType4,
                                             ui_->ComboBoxTextConvertType5};
    const std::vector<TProjectItemConvertType> converts = item.GetConvertTypes();
    const std::size_t shown = std::min(converts.size(), boxes.size());
    for (std::size_t i = 0; i < shown; ++i) {
        const int value = static_cast<int>(converts[i]);
        // A value that no entry stands for (only a hand-edited file holds one) shows as none.
        boxes[i]->setCurrentIndex(value >= 0 && value < boxes[i]->count() ? value : 0);
    }

    const int kind = item.GetConstraintType();
    QComboBox* constraint = ui_->ComboBoxTextConstraintType;
    constraint->setCurrentIndex(kind < constraint->count() ? kind : 0);
    ui_->EditTextConstraintRegexp->setText(FromSjis(item.GetConstraintRegexp()));
    ui_->EditTextConstraintError->setText(FromSjis(item.GetConstraintError()));

    const std::string target = item.GetRetypeItemNameAttr();
    if (!target.empty()) {
        QComboBox* list = ui_->ComboBoxTextRetypeItemNameAttr;
        const int found = list->findText(FromSjis(target));
        if (found > 0) {
            list->setCurrentIndex(found);
            ui_->EditTextRetypeError->setText(FromSjis(item.GetRetypeError()));
        }
    }
    ComboBoxTypeChange();
    ComboBoxTextConstraintTypeChange();
    ComboBoxTextRetypeItemNameAttrChange();
    EditTextSizeConstraintChange();
}

void TFormItemEdit::LoadTextarea(const TProjectItemTextarea& item) {
    ui_->ComboBoxType->setCurrentIndex(kTypeTextarea);
    ui_->EditTextareaSizeConstraintError->setText(FromSjis(item.GetSizeConstraintError()));
    ui_->EditTextareaSizeConstraint->setText(QString::number(item.GetSizeConstraint()));
    ComboBoxTypeChange();
    EditTextareaSizeConstraintChange();
}

void TFormItemEdit::LoadCheckbox(const TProjectItemCheckbox& item) {
    ui_->ComboBoxType->setCurrentIndex(kTypeCheckbox);
    ui_->EditCheckboxValue->setText(FromSjis(item.GetValue()));
    ComboBoxTypeChange();
}

void TFormItemEdit::LoadChoice(const TProjectItemChoice& item, int typeIndex) {
    ui_->ComboBoxType->setCurrentIndex(typeIndex);
    QPlainTextEdit* memo = typeIndex == kTypeRadio ? ui_->MemoRadioValues : ui_->MemoPopupmenuValues;
    memo->setPlainText(JoinLines(item.GetValues()));
    const auto* menu = dynamic_cast<const TProjectItemPopupmenu*>(&item);
    ui_->CheckBoxPopupmenuFirstIsNone->setChecked(menu != nullptr && menu->GetFirstIsNone());
    ComboBoxTypeChange();
}

std::unique_ptr<TProjectItem> TFormItemEdit::CreateItemFromControls() const {
    std::unique_ptr<TProjectItem> item;
    TProjectItemText* text = nullptr;
    TProjectItemTextarea* area = nullptr;
    TProjectItemCheckbox* check = nullptr;
    TProjectItemChoice* choice = nullptr;
    const int type = ui_->ComboBoxType->currentIndex();
    switch (type) {
        case kTypeText: {
            auto made = std::make_unique<TProjectItemText>(std::string());
            text = made.get();
            item = std::move(made);
            break;
        }
        case kTypeTextarea: {
            auto made = std::make_unique<TProjectItemTextarea>(std::string());
            area = made.get();
            item = std::move(made);
            break;
        }
        case kTypeCheckbox: {
            auto made = std::make_unique<TProjectItemCheckbox>(std::string());
            check = made.get();
            item = std::move(made);
            break;
        }
        case kTypeRadio: {
            auto made = std::make_unique<TProjectItemRadio>(std::string());
            choice = made.get();
            item = std::move(made);
            break;
        }
        case kTypePopupmenu: {
            auto made = std::make_unique<TProjectItemPopupmenu>(std::string());
            made->SetFirstIsNone(ui_->CheckBoxPopupmenuFirstIsNone->isChecked());
            choice = made.get();
            item = std::move(made);
            break;
        }
        default:
            throw Error("入力形式が選択されていません。");
    }

    item->SetNameAttr(Sjis(ui_->EditNameAttr, "name属性"));
    item->SetNameValue(Sjis(ui_->EditNameValue, "項目名称"));
    item->SetRequired(ui_->CheckBoxRequired->isChecked());
    item->SetRequiredError(Sjis(ui_->EditRequiredError, "必須のエラーメッセージ"));

    if (text != nullptr) {
        text->SetPassword(ui_->CheckBoxTextPassword->isChecked());
        text->SetSizeConstraint(ReadSize(ui_->EditTextSizeConstraint->text()));
        text->SetSizeConstraintError(Sjis(ui_->EditTextSizeConstraintError, "サイズ制限のエラーメッセージ"));
        std::vector<TProjectItemConvertType> converts;
        for (const QComboBox* box :
             {ui_->ComboBoxTextConvertType1, ui_->ComboBoxTextConvertType2, ui_->ComboBoxTextConvertType3,
              ui_->ComboBoxTextConvertType4, ui_->ComboBoxTextConvertType5}) {
            if (box->currentIndex() > 0)
                converts.push_back(static_cast<TProjectItemConvertType>(box->currentIndex()));
        }
        text->SetConvertTypes(converts);
        const int kind = ui_->ComboBoxTextConstraintType->currentIndex();
        if (kind > 0) {
            text->SetConstraintType(static_cast<std::uint8_t>(kind));
            text->SetConstraintError(Sjis(ui_->EditTextConstraintError, "入力値制限のエラーメッセージ"));
            text->SetConstraintRegexp(Sjis(ui_->EditTextConstraintRegexp, "正規表現"));
        }
        text->SetRetypeItemNameAttr(
            ToSjis(ui_->ComboBoxTextRetypeItemNameAttr->currentText(), U8("再入力項目")));
        text->SetRetypeError(Sjis(ui_->EditTextRetypeError, "再入力項目のエラーメッセージ"));
    } else if (area != nullptr) {
        area->SetSizeConstraint(ReadSize(ui_->EditTextareaSizeConstraint->text()));
        area->SetSizeConstraintError(
            Sjis(ui_->EditTextareaSizeConstraintError, "サイズ制限のエラーメッセージ"));
    } else if (check != nullptr) {
        check->SetValue(Sjis(ui_->EditCheckboxValue, "選択値"));
    } else if (choice != nullptr) {
        const QPlainTextEdit* memo = type == kTypeRadio ? ui_->MemoRadioValues : ui_->MemoPopupmenuValues;
        choice->SetValues(SjisLines(memo, "選択値"));
    }
    return item;
}

void TFormItemEdit::BtnOKClick() {
    if (projectConfig_ == nullptr) return;
    std::unique_ptr<TProjectItem> item;
    try {
        item = CreateItemFromControls();
    } catch (const std::exception& e) {
        // A text refused while the item is built is the general error display's business.
        ShowApplicationError(this, e);
        return;
    }
    try {
        item->Validate();
        if (editIndex_ < 0) {
            projectConfig_->AddItem(std::move(item));
        } else {
            projectConfig_->UpdateItem(static_cast<unsigned>(editIndex_), std::move(item));
        }
    } catch (const Error& e) {
        item.reset();
        ShowRefusal(QString::fromUtf8(e.what()));
        return;
    } catch (const std::exception& e) {
        item.reset();
        ShowApplicationError(this, e);
        return;
    }
    accept();
}

void TFormItemEdit::ComboBoxTypeChange() {
    const std::array<QWidget*, 5> groups = {ui_->GroupBoxText, ui_->GroupBoxTextarea, ui_->GroupBoxCheckbox,
                                            ui_->GroupBoxRadio, ui_->GroupBoxPopupmenu};
    for (QWidget* group : groups) group->hide();
    const int index = ui_->ComboBoxType->currentIndex();
    if (index >= 0 && index < static_cast<int>(groups.size()))
        groups[static_cast<std::size_t>(index)]->show();
}

void TFormItemEdit::ComboBoxTextConstraintTypeChange() {
    QComboBox* box = ui_->ComboBoxTextConstraintType;
    const int index = box->currentIndex();
    SetLabelledVisible(ui_->EditTextConstraintRegexp, index == box->count() - 1);
    if (index <= 0) {
        SetLabelledVisible(ui_->EditTextConstraintError, false);
        return;
    }
    SetLabelledVisible(ui_->EditTextConstraintError, true);
    if (ui_->EditTextConstraintError->text().isEmpty()) {
        ui_->EditTextConstraintError->setText(ui_->EditNameValue->text() + U8("に間違いがあります。"));
    }
}

void TFormItemEdit::ComboBoxTextRetypeItemNameAttrChange() {
    if (retypeHidden_ || ui_->ComboBoxTextRetypeItemNameAttr->currentIndex() <= 0) {
        SetLabelledVisible(ui_->EditTextRetypeError, false);
        return;
    }
    SetLabelledVisible(ui_->EditTextRetypeError, true);
    if (ui_->EditTextRetypeError->text().isEmpty()) {
        ui_->EditTextRetypeError->setText(ui_->EditNameValue->text() + U8("が一致しません。"));
    }
}

void TFormItemEdit::CheckBoxRequiredClick() {
    const bool checked = ui_->CheckBoxRequired->isChecked();
    SetLabelledVisible(ui_->EditRequiredError, checked);
    if (checked && ui_->EditRequiredError->text().isEmpty()) {
        ui_->EditRequiredError->setText(ui_->EditNameValue->text() + U8("が入力されていません。"));
    }
}

void TFormItemEdit::EditTextSizeConstraintChange() {
    SizeConstraintChange(ui_->EditTextSizeConstraint, ui_->EditTextSizeConstraintError);
}

void TFormItemEdit::EditTextareaSizeConstraintChange() {
    SizeConstraintChange(ui_->EditTextareaSizeConstraint, ui_->EditTextareaSizeConstraintError);
}

void TFormItemEdit::SizeConstraintChange(QLineEdit* sizeEdit, QLineEdit* errorEdit) {
    const bool limited = ReadSize(sizeEdit->text()) > 0;
    SetLabelledVisible(errorEdit, limited);
    if (limited && errorEdit->text().isEmpty()) {
        errorEdit->setText(ui_->EditNameValue->text() + U8("が長すぎます。"));
    }
}

void TFormItemEdit::SetLabelledVisible(QLineEdit* edit, bool visible) {
    edit->setVisible(visible);
    for (QLabel* label : findChildren<QLabel*>()) {
        if (label->buddy() == edit) label->setVisible(visible);
    }
}

void TFormItemEdit::ShowRefusal(const QString& message) {
    QMessageBox box(QMessageBox::Information, ApplicationTitle(), message, QMessageBox::Ok, this);
    box.exec();
}

}  // namespace qp
