// The file actions (new, open, save, save as, close), the changed mark that they keep, the
// question before a change is lost, and the sample pages that replace a template.
#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QUndoStack>

#include "editor/html_editor.h"
#include "generate/sample_pages.h"
#include "model/project_file.h"
#include "ui/app_error.h"
#include "ui/app_setup.h"
#include "ui/file_prompts.h"
#include "ui/main_window.h"
#include "ui/text_codec.h"
#include "ui_main_window.h"

namespace qp {

void TFormMain::WatchForChanges() {
    itemListWatch_ = std::make_unique<ItemListWatch>(*this);
    project_->AddObserver(itemListWatch_.get());
    const auto mark = [this] { MarkChanged(); };
    QWidget* pages = ui_->PageControl;
    for (auto* w : pages->findChildren<QLineEdit*>()) connect(w, &QLineEdit::textChanged, this, mark);
    for (auto* w : pages->findChildren<QPlainTextEdit*>()) connect(w, &QPlainTextEdit::textChanged, this, mark);
    for (auto* w : pages->findChildren<QAbstractButton*>())
        if (w->isCheckable()) connect(w, &QAbstractButton::toggled, this, mark);
    for (auto* w : pages->findChildren<QSpinBox*>()) connect(w, &QSpinBox::valueChanged, this, mark);
    for (auto* w : pages->findChildren<QComboBox*>()) connect(w, &QComboBox::currentIndexChanged, this, mark);
    for (auto* w : pages->findChildren<QTableWidget*>()) connect(w, &QTableWidget::itemChanged, this, mark);
}

void TFormMain::MarkChanged() {
    setWindowModified(true);
}

void TFormMain::ItemListChanged() {
    MarkChanged();
    UpdateItemActions();
}

void TFormMain::SetFileName(const QString& path) {
    fileName_ = path;
    // "[*]" is where Qt shows the changed mark.
    if (path.isEmpty()) {
        setWindowTitle(ApplicationTitle() + QStringLiteral("[*]"));
    } else {
        setWindowTitle(ApplicationTitle() + QStringLiteral(" - ") + QFileInfo(path).fileName() +
                       QStringLiteral("[*] -"));
    }
}

void TFormMain::SaveProjectAs(const QString& path) {
    StoreControlsToProject();
    project_->SaveToFile(LocalPath(path));
    SetFileName(path);
    setWindowModified(false);
    RememberRecentFile(path);
}

bool TFormMain::SaveProject() {
    QString path = fileName_;
    if (path.isEmpty()) path = fileNamePrompt_(this, true);
    if (path.isEmpty()) return false;
    SaveProjectAs(path);
    return true;
}

bool TFormMain::ConfirmLosingChanges() {
    if (!isWindowModified()) return true;
    QMessageBox box(QMessageBox::Question, ApplicationTitle(), QStringLiteral("変更を保存しますか？"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("保存しない"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
        case QMessageBox::Discard: return true;
        case QMessageBox::Save: {
            // A failed save shows why and keeps the work open.
            bool saved = false;
            RunGuarded(this, [&] { saved = SaveProject(); });
            return saved;
        }
        default: return false;
    }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (ConfirmLosingChanges())
        event->accept();
    else
        event->ignore();
}

void TFormMain::OpenProjectFile(const QString& path) {
    const std::string local = LocalPath(path);
    CheckProjectFile(local);
    // Read whole into a project of its own: a file that fails half way changes nothing here.
    TProjectConfig loaded;
    ShownProject shown;
    try {
        loaded.LoadFromFile(local);
        shown = ReadProject(loaded);
    } catch (const FileError&) {
        throw;
    } catch (const Error& e) {
        throw Error("「" + QFileInfo(path).fileName().toStdString() + "」を開けません。" + e.Message());
    }
    project_->ReplaceWith(std::move(loaded));
    itemUndo_->clear();  // its steps belong to the project before
    // The controls first: filling them marks the window changed, and a caption that already
    // named the new file would show that mark for a moment.
    ShowValues(shown);
    setWindowModified(false);
    SetFileName(path);
    RememberRecentFile(path);
    PreviewFollowsProject();
}

void TFormMain::ActionFileNewExecute() {
    if (!ConfirmLosingChanges()) return;
    project_->Reset();
    itemUndo_->clear();
    LoadControlsFromProject();
    setWindowModified(false);
    SetFileName(QString());
    PreviewFollowsProject();
}

void TFormMain::ActionFileOpenExecute() {
    if (!ConfirmLosingChanges()) return;
    const QString path = fileNamePrompt_(this, false);
    if (path.isEmpty()) return;
    OpenProjectFile(path);
}

void TFormMain::ActionFileSaveExecute() {
    SaveProject();
}

void TFormMain::ActionFileSaveAsExecute() {
    const QString path = fileNamePrompt_(this, true);
    if (path.isEmpty()) return;
    SaveProjectAs(path);
}

void TFormMain::ActionFileCloseExecute() {
    close();
}

void TFormMain::ReplaceWithSample(THtmlEditor* editor, const std::string& sample) {
    const QString text = FromSjis(sample);
    if (editor->Text() == text) return;
    if (!editor->Text().trimmed().isEmpty()) {
        const auto answer = QMessageBox::question(
            this, ApplicationTitle(),
            QStringLiteral("入力済みのHTMLをサンプルのHTMLで置き換えます。よろしいですか？\n"
                           "（置き換えた後でも、元に戻す(Ctrl+Z)で戻せます）"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
    }
    editor->ReplaceText(text);
}

// The style as chosen now: the samples do not wait for the next copy into the project.
TPageStyle TFormMain::ChosenSampleStyle() const {
    return ui_->ComboBoxSampleStyle->currentIndex() == static_cast<int>(TPageStyle::Xhtml) ? TPageStyle::Xhtml
                                                                                          : TPageStyle::Html5;
}

void TFormMain::ActionFormSampleHtmlExecute() {
    ReplaceWithSample(ui_->EditorFormHtml, MakeFormSampleHtml(*project_, ChosenSampleStyle()));
}

void TFormMain::ActionConfirmSampleHtmlExecute() {
    ReplaceWithSample(ui_->EditorConfirmHtml, MakeConfirmSampleHtml(*project_, ChosenSampleStyle()));
}

}  // namespace qp
