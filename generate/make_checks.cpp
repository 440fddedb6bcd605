// The checks that run before a CGI is made (the project itself) and before it is uploaded
// (the FTP settings). The first failing check is reported; the project is not changed.
#include "generate/make_checks.h"

#include <string>

#include "model/error.h"
#include "model/project_config.h"

namespace qp {
namespace {

bool IsAtomChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string("#$&'*+/=?^_`{|}~-").find(c) != std::string::npos;
}

bool IsLabelChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// Dot-separated runs of chars that pass isChar, none empty; with edgeHyphen false, no run
// starts or ends with "-".
template <typename Pred>
bool IsDotted(const std::string& text, Pred isChar, bool edgeHyphen) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string run = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (run.empty()) return false;
        for (const char c : run)
            if (!isChar(c)) return false;
        if (!edgeHyphen && (run.front() == '-' || run.back() == '-')) return false;
        if (dot == std::string::npos) return true;
        start = dot + 1;
    }
}

// One plain address as the runtime takes it for sendmail's -f: a dot-atom local part without
// an encoded word, no leading hyphen (it would be an option), a domain of two labels or more.
bool IsPlainAddress(const std::string& address) {
    const std::size_t at = address.find('@');
    if (at == std::string::npos || at == 0 || at > 64 || address.size() > 254) return false;
    const std::string local = address.substr(0, at), domain = address.substr(at + 1);
    return local.front() != '-' && local.find("=?") == std::string::npos && IsDotted(local, IsAtomChar, true) &&
           domain.find('.') != std::string::npos && IsDotted(domain, IsLabelChar, false);
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
        if (project.GetFinishPageMoveType() == kFinishTemplate) throw Error("完了画面のHTMLが設定されていません。");
        if (project.GetFinishPageMoveType() == kFinishRedirect) throw Error("完了画面のリダイレクト先URLが設定されていません。");
    }
    if (project.GetPerlPath().empty()) throw Error("Perlのパスが設定されていません。");
    if (project.GetSendmailPath().empty()) throw Error("sendmailのパスが設定されていません。");
    // The bounds of the numbers (the defences) come from the settings table.
    project.Settings().CheckRanges();
    const std::string& envelope = project.Text(TSetting::EnvelopeFrom);
    if (!envelope.empty() && !IsPlainAddress(envelope))
        throw Error("迷惑送信対策の「エラーメールの返送先(エンベロープFrom)」には、メールアドレスを1つだけ入力してください。");
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
