// The Make action with its three modes, and the browse for the installation folder.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSignalBlocker>

#include "deploy/make_upload.h"
#include "sitecheck/check_key.h"
#include "generate/converter_file.h"
#include "generate/make_checks.h"
#include "generate/make_driver.h"
#include "model/error.h"
#include "ui/app_setup.h"
#include "ui/form_ftp_select_dir.h"
#include "ui/file_prompts.h"
#include "ui/form_ftp_upload.h"
#include "ui/main_window.h"
#include "ui/text_codec.h"
#include "ui_main_window.h"

namespace qp {
namespace {

const QString kCgiFilter = QStringLiteral("CGIスクリプト(*.cgi);;すべてのファイル(*)");
const QString kShfFilter = QStringLiteral("Sheafer用プロジェクトファイル(*.SHF);;すべてのファイル(*)");

QString AskSavePath(QWidget* parent, const QString& filter, const QString& defaultSuffix,
                    const QString& preset) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The converter mode asks its own question; the CGI is replaced without one.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!preset.isEmpty()) dialog.selectFile(preset);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

template <class Prompt>
QString AskPath(const Prompt& prompt, QWidget* parent, const QString& filter, const QString& suffix,
                const QString& preset) {
    return prompt ? prompt(parent, filter, suffix, preset) : AskSavePath(parent, filter, suffix, preset);
}

void ShowInformation(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, ApplicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

void ShowInformation(QWidget* parent, const std::exception& e) {
    ShowInformation(parent, QString::fromUtf8(e.what()));
}

}  // namespace

void TFormMain::ActionMakeExecute() {
    StoreControlsToProject();
    if (ui_->RadioButtonSaveLocal->isChecked()) {
        MakeLocal();
    } else if (ui_->RadioButtonSaveAndUpdate->isChecked()) {
        MakeAndUpload();
    } else if (ui_->RadioButtonSaveSheafer->isChecked()) {
        MakeConverterFile();
    }
}

void TFormMain::MakeLocal() {
    if (!PassChecks(FindMakeProblems(*project_))) return;
    QString preset;
    try {
        preset = FromSjis(project_->GetSaveFileName());
    } catch (const Error&) {
        // A broken stored path only loses the dialog's starting point.
    }
    const QString path = AskPath(savePathPrompt_, this, kCgiFilter, QStringLiteral("cgi"), preset);
    if (path.isEmpty()) return;
    try {
        project_->SetSaveFileName(ToSjis(path, QStringLiteral("SaveFileName")));
    } catch (const Error&) {
        // A path that Shift_JIS cannot hold is still written to; the project just cannot keep it.
    }
    MakeLocalCgi(*project_, LocalPath(path));
    const QFileInfo made(path);
    QString message = QStringLiteral("「%1」に「%2」を作成しました（アクセス権 755）。")
                          .arg(QDir::toNativeSeparators(made.absolutePath()), made.fileName());
    if (project_->Bool(TSetting::CopyRuntime)) {
        CopyRuntimeFiles(LocalPath(supportFolder_), LocalPath(made.absolutePath()));
        message += QStringLiteral("\n実行用ファイル（Quillpost.pm、jcode.pl、mimew.pl）も同じフォルダにコピーしました。");
    } else {
        message += QStringLiteral("\njcode.pl、mimew.pl、Quillpost.pmも一緒に設置してください（%1 にあります）。")
                       .arg(QDir::toNativeSeparators(supportFolder_.isEmpty() ? LibFolderPath() : supportFolder_));
    }
    ShowInformation(this, message);
}

void TFormMain::MakeAndUpload() {
    std::vector<TMakeProblem> problems = FindMakeProblems(*project_);
    for (TMakeProblem& p : FindUploadProblems(*project_)) problems.push_back(std::move(p));
    if (!PassChecks(problems) || !ObtainPassword()) return;
    // Made into this script: the project is to be saved with it, as for any other change.
    if (MakeCheckKeyIfNeeded(*project_)) MarkChanged();
    const TUploadJob job = PrepareUpload(*project_, LocalPath(supportFolder_));
    TFormFtpUpload dialog(job.Connection, this);
    dialog.SetUploadFiles(job.Files, job.Directory, job.ChmodCommand);
    dialog.SetSiteCheck(SiteCheckOptionsOf(*project_));
    dialog.exec();
    KeepTrustedCertificate(dialog.Client());
    // The dialog closes by itself on a cancel: the user is still told what it means.
    if (dialog.IsCancelRequested())
        ShowInformation(this, QStringLiteral("アップロードを中止しました。設置済みのファイルは変更していません。"));
}

void TFormMain::MakeConverterFile() {
    const QString path = AskPath(savePathPrompt_, this, kShfFilter, QStringLiteral("SHF"), QString());
    if (path.isEmpty()) return;
    if (QFileInfo::exists(path)) {
        QMessageBox box(QMessageBox::Information, ApplicationTitle(),
                        path + QStringLiteral("はすでに存在します。\n上書きしますか？"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
        if (box.exec() != QMessageBox::Yes) return;
    }
    try {
        SaveConverterFile(*project_, LocalPath(path));
    } catch (const std::exception& e) {
        ShowInformation(this, e);
        return;
    }
    ShowInformation(this, QString::fromUtf8(kMakeConverterDoneMessage));
}

bool TFormMain::ObtainPassword() {
    if (!project_->NeedsPassword()) return true;
    const std::optional<QString> typed = passwordPrompt_(this);
    if (!typed || typed->isEmpty()) return false;
    // Kept in the field and the project for the rest of the session, never in the file.
    const std::string password = ToSjis(*typed, QStringLiteral("パスワード"));
    const QSignalBlocker quiet(ui_->EditPassword);  // typing it here changes nothing to save
    ui_->EditPassword->setText(*typed);
    project_->SetFtpPassword(password);
    return true;
}

void TFormMain::KeepTrustedCertificate(const TRemoteFiles& client) {
    // Held in the project and written with it, like every other setting.
    const std::string& accepted = client.Trust().NewlyTrusted();
    if (accepted.empty() || accepted == project_->GetFtpTrustedCert()) return;
    project_->SetFtpTrustedCert(accepted);
    MarkChanged();  // kept only when the project is saved: the close asks
}

void TFormMain::ActionFtpSelectDirExecute() {
    StoreControlsToProject();
    const TProjectConfig& p = *project_;
    if (!p.GetFtpHostName().empty() && !p.GetFtpUserName().empty() && !ObtainPassword()) return;
    const char* missing = nullptr;
    if (p.GetFtpHostName().empty()) {
        missing = "ホスト名が設定されていません。";
    } else if (p.GetFtpUserName().empty()) {
        missing = "ユーザ名が設定されていません。";
    } else if (p.GetFtpPassword().empty() && !p.LogsInWithKey()) {
        missing = "パスワードが設定されていません。";
    }
    if (missing != nullptr) {
        ShowInformation(this, QString::fromUtf8(missing));
        return;
    }
    TFormFtpSelectDir browser(ConnectionOf(p), this);
    browser.SetDirectory(p.GetFtpDirectory());
    const int result = browser.exec();
    KeepTrustedCertificate(browser.Client());
    if (result == QDialog::Accepted) ui_->EditFtpDirectory->setText(ServerNameText(browser.GetDirectory()));
}

}  // namespace qp
