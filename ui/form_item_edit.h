#pragma once
// The modal dialog through which one item of the project is added or changed. It never
// touches the item it was shown: OK builds a brand-new item and hands it to the project.
#include <QDialog>
#include <memory>

class QLineEdit;

namespace Ui {
class TFormItemEdit;
}

namespace qp {

class TProjectConfig;
class TProjectItem;
class TProjectItemText;
class TProjectItemTextarea;
class TProjectItemCheckbox;
class TProjectItemChoice;

class TFormItemEdit : public QDialog {
    Q_OBJECT

public:
    explicit TFormItemEdit(QWidget* parent = nullptr);
    ~TFormItemEdit() override;

    // The project is not owned; it fills the retype list with the project's name attributes.
    void SetProjectConfig(TProjectConfig* project);
    // Shows a copy of the item; index is its position in the project, or -1 to add a new item.
    void LoadItem(const TProjectItem& item, int index);
    // A new item of the selected type built from the controls. Raises qp::Error when a
    // setter refuses a text or a text holds a character that Shift_JIS cannot hold.
    std::unique_ptr<TProjectItem> CreateItemFromControls() const;

    TProjectConfig* GetProjectConfig() const { return projectConfig_; }
    int GetEditIndex() const { return editIndex_; }

    void BtnOKClick();
    void ComboBoxTypeChange();
    void ComboBoxTextConstraintTypeChange();
    void ComboBoxTextRetypeItemNameAttrChange();
    void CheckBoxRequiredClick();
    void EditTextSizeConstraintChange();
    void EditTextareaSizeConstraintChange();

private:
    void LoadText(const TProjectItemText& item);
    void LoadTextarea(const TProjectItemTextarea& item);
    void LoadCheckbox(const TProjectItemCheckbox& item);
    void LoadChoice(const TProjectItemChoice& item, int typeIndex);
    // Shows or hides a labelled edit together with its label.
    void SetLabelledVisible(QLineEdit* edit, bool visible);
    void SizeConstraintChange(QLineEdit* sizeEdit, QLineEdit* errorEdit);
    void ShowRefusal(const QString& message);

    std::unique_ptr<Ui::TFormItemEdit> ui_;
    TProjectConfig* projectConfig_ = nullptr;
    int editIndex_ = -1;
    // Once the retype list turned out to hold no other item, its controls stay hidden.
    bool retypeHidden_ = false;
};

}  // namespace qp
