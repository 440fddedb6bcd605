#include "ui/trust_prompt.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace qp {
namespace {

QString U8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

bool AskTrustServer(QWidget* parent, const TServerIdentity& identity) {
    QString details;
    for (const auto& [label, value] : identity.Details) details += U8(label) + QStringLiteral(": ") + U8(value) + u'\n';
    const bool hostKey = identity.Kind == TIdentityKind::HostKey;
    // A host key has no authority behind it: only the fingerprint the host publishes can vouch for it.
    const QString text =
        hostKey ? QStringLiteral("このサーバーのホスト鍵はまだ信頼されていません。\n\n%1\n"
                                 "ホスティング会社が公開しているホスト鍵の指紋と同じであることを確かめてから信頼してください。"
                                 "信頼したホスト鍵はプロジェクトに記録され、次回からは確認しません。")
                      .arg(details)
                : QStringLiteral("サーバーの証明書を確認できませんでした（%1）。\n\n%2\n"
                                 "この証明書がサーバーのものに間違いないことを確かめてから信頼してください。"
                                 "信頼した証明書はプロジェクトに記録され、次回からは確認しません。")
                      .arg(U8(identity.Problem), details);
    QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), text, QMessageBox::NoButton,
                    parent);
    box.setObjectName(hostKey ? QStringLiteral("TrustHostKeyBox") : QStringLiteral("TrustCertificateBox"));
    QPushButton* trust = box.addButton(QStringLiteral("信頼して接続する"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("中止"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == trust;
}

std::optional<std::string> AskPassphrase(QWidget* parent, const std::string& keyFile) {
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("PassphraseDialog"));
    dialog.setWindowTitle(QGuiApplication::applicationDisplayName());
    dialog.setLabelText(QStringLiteral("鍵ファイル %1 のパスフレーズを入力してください。").arg(U8(keyFile)));
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("キャンセル"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QByteArray phrase = dialog.textValue().toUtf8();
    return std::string(phrase.constData(), static_cast<std::size_t>(phrase.size()));
}

void AskInDialogs(TRemoteFiles& client, QWidget* parent) {
    client.Trust().SetAsker([parent](const TServerIdentity& identity) { return AskTrustServer(parent, identity); });
    client.SetPassphraseHook([parent](const std::string& file) { return AskPassphrase(parent, file); });
}

}  // namespace qp
