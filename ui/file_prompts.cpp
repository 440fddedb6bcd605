#include "ui/file_prompts.h"

#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

#include "ui/app_setup.h"
#include "ui/main_window.h"

namespace qp {

QString AskProjectFileName(QWidget* parent, bool forSave) {
    QFileDialog dialog(parent);
    dialog.setNameFilter(TFormMain::ProjectFileFilter());
    dialog.setDefaultSuffix(QStringLiteral("qpf"));
    if (forSave) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

std::optional<QString> AskPassword(QWidget* parent) {
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("PasswordDialog"));
    dialog.setWindowTitle(ApplicationTitle());
    dialog.setLabelText(QStringLiteral("サーバーのパスワードを入力してください。\n（プロジェクトファイルには保存しません）"));
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("キャンセル"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

}  // namespace qp
