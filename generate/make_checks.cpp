#include "generate/make_checks.h"

#include <regex>
#include <set>
#include <string>

#include "inbox/inbox_key.h"
#include "model/charset.h"
#include "model/error.h"
#include "model/item_choice.h"
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

using S = TSetting;

class TProblems {
public:
    void Refuse(const char* message, S at) { list_.push_back({message, ControlOf(at), false}); }
    void Refuse(std::string message, std::string control) {
        list_.push_back({std::move(message), std::move(control), false});
    }
    void Warn(std::string message, std::string control) {
        list_.push_back({std::move(message), std::move(control), true});
    }
    std::vector<TMakeProblem> Take() { return std::move(list_); }

    static std::string ControlOf(S setting) {
        const char* control = SettingDef(setting).Control;
        return control != nullptr ? control : "";
    }

private:
    std::vector<TMakeProblem> list_;
};

// Whether a page holds an element whose name attribute is attr (a name is [A-Za-z0-9_]).
bool HasNamedInput(const std::string& utf8Page, const std::string& attr) {
    const std::regex named("(^|\\s)name\\s*=\\s*(\"" + attr + "\"|'" + attr + "'|" + attr + "(?=[\\s/>]|$))",
                           std::regex::icase);
    return std::regex_search(utf8Page, named);
}

std::string PageText(const std::string& sjis) {
    try {
        return charset::SjisToUtf8(sjis);
    } catch (const Error&) {
        return sjis;  // the make reports a text it cannot convert on its own
    }
}

void WarnAboutPages(const TProjectConfig& project, TProblems& problems) {
    const std::string form = PageText(project.GetFormHtml());
    const std::string confirm = PageText(project.GetConfirmHtml());
    std::string withoutHidden;
    for (const auto& item : project.GetItems()) {
        const std::string attr = item->GetNameAttr();
        if (attr.empty()) continue;
        const std::string name = PageText(item->GetNameValue());
        if (item->GetRequired() && !form.empty() && !HasNamedInput(form, attr)) {
            problems.Warn("フォーム画面のHTMLに必須項目「" + name + "」の入力欄（name=\"" + attr +
                              "\"）がありません。このままではフォームを送信できません。",
                          TProblems::ControlOf(S::FormHtml));
        }
        if (project.GetUseConfirm() && !confirm.empty() && !HasNamedInput(confirm, attr))
            withoutHidden += (withoutHidden.empty() ? "" : "、") + name;
    }
    if (!withoutHidden.empty()) {
        problems.Warn("確認画面のHTMLに次の項目の隠しフィールドがありません。送信するとその値が失われます: " +
                          withoutHidden,
                      TProblems::ControlOf(S::ConfirmHtml));
    }
}

void WarnAboutChoices(const TProjectConfig& project, TProblems& problems) {
    for (const auto& item : project.GetItems()) {
        const auto* choice = dynamic_cast<const TProjectItemChoice*>(item.get());
        if (choice == nullptr) continue;
        std::set<std::string> seen;
        std::set<std::string> reported;
        for (const std::string& value : choice->GetValues()) {
            if (seen.insert(value).second || !reported.insert(value).second) continue;
            problems.Warn("項目「" + PageText(item->GetNameValue()) + "」の選択値「" + PageText(value) +
                              "」が2回以上あります。",
                          "ItemGrid");
        }
    }
}

}  // namespace

std::vector<TMakeProblem> FindMakeProblems(const TProjectConfig& project) {
    TProblems problems;
    if (project.GetItems().empty()) problems.Refuse("項目が設定されていません。", "ItemGrid");
    if (project.GetManagerMailFrom().empty()) problems.Refuse("メールのFromが設定されていません。", S::ManagerMailFrom);
    if (project.GetManagerMailTo().empty()) problems.Refuse("メールのToが設定されていません。", S::ManagerMailTo);
    if (project.GetManagerMailSubject().empty())
        problems.Refuse("メールのSubjectが設定されていません。", S::ManagerMailSubject);
    if (project.GetUseUserMail()) {
        if (project.GetUserMailFrom().empty())
            problems.Refuse("自動返信メールのFromが設定されていません。", S::UserMailFrom);
        if (project.GetUserMailTo().empty()) problems.Refuse("自動返信メールのToが設定されていません。", S::UserMailTo);
        if (project.GetUserMailSubject().empty())
            problems.Refuse("自動返信メールのSubjectが設定されていません。", S::UserMailSubject);
        if (project.GetUserMailBody().empty())
            problems.Refuse("自動返信メールの本文が設定されていません。", S::UserMailBody);
    }
    if (project.GetFormHtml().empty()) problems.Refuse("フォーム画面のHTMLが設定されていません。", S::FormHtml);
    if (project.GetUseConfirm() && project.GetConfirmHtml().empty())
        problems.Refuse("確認画面のHTMLが設定されていません。", S::ConfirmHtml);
    if (project.GetFinishPageLocation().empty()) {
        if (project.GetFinishPageMoveType() == kFinishTemplate)
            problems.Refuse("完了画面のHTMLが設定されていません。", "EditorFinishHtml");
        if (project.GetFinishPageMoveType() == kFinishRedirect)
            problems.Refuse("完了画面のリダイレクト先URLが設定されていません。", "EditFinishLocation");
    }
    if (project.GetPerlPath().empty()) problems.Refuse("Perlのパスが設定されていません。", S::PerlPath);
    if (project.GetSendmailPath().empty()) problems.Refuse("sendmailのパスが設定されていません。", S::SendmailPath);
    // The bounds of the numbers (the defences) come from the settings table.
    for (const auto& [setting, message] : project.Settings().RangeProblems())
        problems.Refuse(message, TProblems::ControlOf(setting));
    const std::string& envelope = project.Text(S::EnvelopeFrom);
    if (!envelope.empty() && !IsPlainAddress(envelope))
        problems.Refuse("迷惑送信対策の「エラーメールの返送先(エンベロープFrom)」には、メールアドレスを1つだけ入力してください。",
                        S::EnvelopeFrom);
    if (project.Bool(S::UseInbox)) {
        try {
            ReadInboxPublicKey(project.Text(S::InboxPublicKey));
        } catch (const Error& e) {
            problems.Refuse(e.Message(), TProblems::ControlOf(S::InboxPublicKey));
        }
    }
    WarnAboutPages(project, problems);
    WarnAboutChoices(project, problems);
    return problems.Take();
}

std::vector<TMakeProblem> FindUploadProblems(const TProjectConfig& project) {
    TProblems problems;
    if (project.GetFtpHostName().empty()) problems.Refuse("ホスト名(アドレス)が設定されていません。", S::FtpHostName);
    if (project.GetFtpUserName().empty()) problems.Refuse("ユーザ名が設定されていません。", S::FtpUserName);
    // A password the file does not keep is asked when the connection needs it.
    if (project.GetFtpPassword().empty() && !project.LogsInWithKey() && project.GetSavePassword())
        problems.Refuse("パスワードが設定されていません。", S::FtpPassword);
    if (project.GetFtpFileName().empty()) problems.Refuse("CGIのファイル名が設定されていません。", S::FtpFileName);
    if (project.GetFtpDirectory().empty()) problems.Refuse("CGIの設置フォルダが設定されていません。", S::FtpDirectory);
    return problems.Take();
}

namespace {

void RaiseRefusals(const std::vector<TMakeProblem>& problems) {
    std::string message;
    for (const TMakeProblem& p : problems) {
        if (p.Warning) continue;
        if (!message.empty()) message += '\n';
        message += p.Message;
    }
    if (!message.empty()) throw Error(message);
}

}  // namespace

void CheckForMake(const TProjectConfig& project) { RaiseRefusals(FindMakeProblems(project)); }

void CheckForUpload(const TProjectConfig& project) { RaiseRefusals(FindUploadProblems(project)); }

std::vector<std::string> WarningLines(const std::vector<TMakeProblem>& problems) {
    std::vector<std::string> lines;
    for (const TMakeProblem& p : problems) {
        if (p.Warning) lines.push_back(p.Message);
    }
    return lines;
}

}  // namespace qp
