// The checks that run before a CGI is made (the project itself) and before it is uploaded
// (the FTP settings). The first failing check is reported; the project is not changed.
#include "generate/make_checks.h"

#include "inbox/inbox_key.h"
#include "model/error.h"
#include "model/project_config.h"

namespace qp {

void CheckForMake(const TProjectConfig& project) {
    if (project.GetItems().empty()) throw Error("項目が設定されていません。");
    if (project.GetManagerMailFrom().empty()) throw Error("メールのFromが設定されていません。");
    if (project.GetManagerMailTo().empty()) throw Error("メールのToが設定されていません。");
    if (project.GetManagerMailSubject().empty()) throw Error("メールのSubjectが設定されていません。");
    if (project.GetUseUserMail()) {
        if (project.GetUserMailFrom().empty()) throw Error("自動返信メールのFromが設定されていません。");
        if (project.GetUserMailTo().empty()) throw Error("自動返信メールのToが設定されていません。");
        if (project.GetUserMailSubject().empty()) throw Error("自動返信メールのSubjectが設定されていません。");
        if (project.GetUserMailBody().empty()) throw Error("自動返信メールの本文が設定されていません。");
    }
    if (project.GetFormHtml().empty()) throw Error("フォーム画面のHTMLが設定されていません。");
    if (project.GetUseConfirm() && project.GetConfirmHtml().empty()) throw Error("確認画面のHTMLが設定されていません。");
    if (project.GetFinishPageLocation().empty()) {
        if (project.GetFinishPageMoveType() == kFinishTemplate) throw Error("完了画面のHTMLが設定されていません。");
        if (project.GetFinishPageMoveType() == kFinishRedirect) throw Error("完了画面のリダイレクト先URLが設定されていません。");
    }
    if (project.GetPerlPath().empty()) throw Error("Perlのパスが設定されていません。");
    if (project.GetSendmailPath().empty()) throw Error("sendmailのパスが設定されていません。");
    // The bounds of the numbers (the defences) come from the settings table.
    project.Settings().CheckRanges();
    if (project.Bool(TSetting::UseInbox)) ReadInboxPublicKey(project.Text(TSetting::InboxPublicKey));
}

void CheckForUpload(const TProjectConfig& project) {
    if (project.GetFtpHostName().empty()) throw Error("ホスト名(アドレス)が設定されていません。");
    if (project.GetFtpUserName().empty()) throw Error("ユーザ名が設定されていません。");
    // A password the file does not keep is asked when the connection needs it.
    if (project.GetFtpPassword().empty() && !project.LogsInWithKey() && project.GetSavePassword())
        throw Error("パスワードが設定されていません。");
    if (project.GetFtpFileName().empty()) throw Error("CGIのファイル名が設定されていません。");
    if (project.GetFtpDirectory().empty()) throw Error("CGIの設置フォルダが設定されていません。");
}

}  // namespace qp
