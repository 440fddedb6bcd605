// The checks that run before a CGI is made (the project itself) and before it is uploaded
// (the FTP settings). The first failing check is reported; the project is not changed.
#include "generate/make_checks.h"

#include "model/error.h"
#include "model/project_config.h"

namespace qp {

namespace {

// The bounds keep the state file small and a token's life finite; the labels are those of
// the main window's "迷惑送信対策" group.
void CheckGuard(const TGuardSettings& g) {
    if (g.TokenHours < 1 || g.TokenHours > 720) {
        throw Error("迷惑送信対策の「フォームの有効期間(時間)」は1から720までの数にしてください。");
    }
    if (g.MinSeconds < 0 || g.MinSeconds > 3600 || g.MinSeconds >= g.TokenHours * 3600) {
        throw Error("迷惑送信対策の「送信までの最短時間(秒)」は0から3600までの数で、"
                    "フォームの有効期間より短くしてください。");
    }
    if (g.LimitCount < 0 || g.LimitCount > 1000) {
        throw Error("迷惑送信対策の「同じアドレスからの送信上限(回)」は0から1000までの数にしてください。");
    }
    if (g.LimitMinutes < 1 || g.LimitMinutes > 10080) {
        throw Error("迷惑送信対策の「送信上限を数える時間(分)」は1から10080までの数にしてください。");
    }
    if (g.ReplyLimit < 0 || g.ReplyLimit > 100) {
        throw Error("迷惑送信対策の「同じ宛先への自動返信上限(回/24時間)」は0から100までの数にしてください。");
    }
}

}  // namespace

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
        if (project.GetFinishPageMoveType() == 0) throw Error("完了画面のHTMLが設定されていません。");
        if (project.GetFinishPageMoveType() == 1) throw Error("完了画面のリダイレクト先URLが設定されていません。");
    }
    if (project.GetPerlPath().empty()) throw Error("Perlのパスが設定されていません。");
    if (project.GetSendmailPath().empty()) throw Error("sendmailのパスが設定されていません。");
    CheckGuard(project.GetGuard());
}

void CheckForUpload(const TProjectConfig& project) {
    if (project.GetFtpHostName().empty()) throw Error("ホスト名(アドレス)が設定されていません。");
    if (project.GetFtpUserName().empty()) throw Error("ユーザ名が設定されていません。");
    if (project.GetFtpPassword().empty() && !project.LogsInWithKey()) throw Error("パスワードが設定されていません。");
    if (project.GetFtpFileName().empty()) throw Error("CGIのファイル名が設定されていません。");
    if (project.GetFtpDirectory().empty()) throw Error("CGIの設置フォルダが設定されていません。");
}

}  // namespace qp
