// The main window's inbox actions: the key pair made into the 受信データ settings, and the
// 受信データ window.
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "inbox/inbox_key.h"
#include "ui/app_setup.h"
#include "ui/file_prompts.h"
#include "ui/inbox_window.h"
#include "ui/main_window.h"
#include "ui/ui_main_window.h"

namespace qp {
namespace {

const QString kKeepTheKey =
    QStringLiteral("この秘密鍵ファイルがないと、サーバーに保存された受信データは読めません。コピーを安全な場所に保管してください。");

std::optional<std::pair<QString, std::string>> AskNewKey(QWidget* parent) {
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("秘密鍵ファイルの保存先"), QString(),
                                                      QStringLiteral("秘密鍵ファイル (*.pem)"));
    if (path.isEmpty()) return std::nullopt;
    for (;;) {
        bool ok = false;
        const QString first = QInputDialog::getText(parent, ApplicationTitle(),
                                                    QStringLiteral("秘密鍵を守るパスフレーズ（空欄なら保護しません）:"),
                                                    QLineEdit::Password, QString(), &ok);
        if (!ok) return std::nullopt;
        const QString again = first.isEmpty() ? first
                                              : QInputDialog::getText(parent, ApplicationTitle(),
                                                                      QStringLiteral("もう一度入力してください:"),
                                                                      QLineEdit::Password, QString(), &ok);
        if (!ok) return std::nullopt;
        if (again == first) return std::make_pair(path, first.toStdString());
        QMessageBox::warning(parent, ApplicationTitle(), QStringLiteral("パスフレーズが一致しません。"));
    }
}

}  // namespace

void TFormMain::MakeInboxKey() {
    if (!ui_->EditInboxPublicKey->text().isEmpty()) {
        const auto answer = QMessageBox::question(
            this, ApplicationTitle(),
            QStringLiteral("新しい鍵を作ると、これまでの鍵で暗号化された受信データは、これまでの秘密鍵ファイルでしか読めません。\n"
                           "新しい鍵を作成しますか？"));
        if (answer != QMessageBox::Yes) return;
    }
    const auto chosen = inboxKeyPrompt_ ? inboxKeyPrompt_(this) : AskNewKey(this);
    if (!chosen) return;
    const std::string publicKey = MakeInboxKeyPair(LocalPath(chosen->first), chosen->second);
    ui_->EditInboxPublicKey->setText(QString::fromLatin1(publicKey.data(), static_cast<qsizetype>(publicKey.size())));
    ui_->EditInboxKeyFile->setText(chosen->first);
    ui_->CheckBoxUseInbox->setChecked(true);
    QMessageBox::information(this, ApplicationTitle(),
                             QStringLiteral("受信データの鍵を作成しました: %1\n\n").arg(chosen->first) + kKeepTheKey);
}

void TFormMain::ActionInboxExecute() {
    StoreControlsToProject();
    if (project_->Text(TSetting::InboxPublicKey).empty()) {
        QMessageBox::information(this, ApplicationTitle(),
                                 QStringLiteral("受信データの鍵がありません。「受信データ」タブの「鍵を作成...」で作成してください。"));
        return;
    }
    if (fileName_.isEmpty()) {
        QMessageBox::information(this, ApplicationTitle(),
                                 QStringLiteral("受信データはプロジェクトファイルの隣に保存されます。先にプロジェクトを保存してください。"));
        return;
    }
    const std::string trusted = project_->GetFtpTrustedCert();
    TInboxWindow window(*project_, fileName_, [this] { return ObtainPassword(); }, this);
    if (!window.Open()) return;
    window.exec();
    // A certificate trusted while fetching is kept once the project is saved.
    if (project_->GetFtpTrustedCert() != trusted) MarkChanged();
}

}  // namespace qp
