#include "inbox_site.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "generate/make_driver.h"
#include "inbox/inbox_key.h"
#include "model/atomic_file.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "support/item_literal.h"

namespace qp::test {
namespace {

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

std::string UrlEncode(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '_' || b == '.') {
            out += c;
        } else {
            out += '%';
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

InboxSite::InboxSite(bool utf8, const std::string& folder, const std::string& runAs)
    : folder_(folder.empty() ? dir_.Path() : folder), runAs_(runAs) {
    keyFile_ = dir_.File("inbox-key.pem");
    auto name = Item<TProjectItemText>("name", "お名前 '①'");
    project_.AddItem(std::move(name));
    auto body = Item<TProjectItemTextarea>("body", "内容 'q' & <b>");
    project_.AddItem(std::move(body));
    auto agree = Item<TProjectItemCheckbox>("agree", "同意");
    agree->SetValue(S("同意する①"));
    project_.AddItem(std::move(agree));
    auto kind = Item<TProjectItemRadio>("kind", "種別");
    kind->SetValues({S("髙"), S("\"q\"")});
    project_.AddItem(std::move(kind));
    auto pref = Item<TProjectItemPopupmenu>("pref", "都道府県");
    pref->SetValues({S("東京都"), S("=1+2")});
    project_.AddItem(std::move(pref));
    project_.SetSendmailPath(std::string(QP_SOURCE_DIR) + "/tests/lib/bin/sendmail");
    project_.SetManagerMailFrom("form@example.com");
    project_.SetManagerMailTo("admin@example.com");
    project_.SetManagerMailSubject("inquiry");
    project_.SetUseUserMail(false);
    project_.SetFormHtml("<form></form><p><% __error__ %></p>");
    project_.SetUseConfirm(false);
    project_.SetFinishPageMoveType(0);
    project_.SetFinishPageLocation("<p>thanks</p>");
    project_.SetCharset(utf8 ? TCgiCharset::Utf8 : TCgiCharset::EucJp);
    TGuardSettings guard = project_.GetGuard();
    guard.UseToken = guard.UseHoneypot = false;
    guard.MinSeconds = guard.LimitCount = guard.ReplyLimit = 0;
    project_.SetGuard(guard);
    project_.Settings().Set(TSetting::InboxPublicKey, MakeInboxKeyPair(keyFile_, ""));
    project_.Settings().Set(TSetting::InboxKeyFile, keyFile_);
    project_.Settings().Set(TSetting::UseInbox, true);
    std::filesystem::create_directories(folder_ + "/mail");
    std::filesystem::permissions(folder_ + "/mail", std::filesystem::perms::all);
    for (const char* file : {"Quillpost.pm", "jcode.pl", "mimew.pl"})
        std::filesystem::copy_file(std::string(QP_SOURCE_DIR) + "/lib/" + file, folder_ + "/" + file,
                                   std::filesystem::copy_options::overwrite_existing);
    Make();
}

void InboxSite::Make() {
    MakeLocalCgi(project_, folder_ + "/form.cgi");
}

InboxSite::Response InboxSite::Post(const std::vector<std::pair<std::string, std::string>>& fields,
                                    int sendmailExit) const {
    std::string body;
    for (const auto& [name, value] : fields) body += UrlEncode(name) + "=" + UrlEncode(value) + "&";
    body += "__action2__=1";
    WriteFile(folder_ + "/body", body);
    const ShellResult r = RunShell("cd " + ShellQuote(folder_) +
                                   " && REQUEST_METHOD=POST CONTENT_TYPE=application/x-www-form-urlencoded"
                                   " CONTENT_LENGTH=" + std::to_string(body.size()) +
                                   " REMOTE_ADDR=203.0.113.7 QP_MAIL_DIR=mail QP_SENDMAIL_EXIT=" +
                                   std::to_string(sendmailExit) +
                                   (runAs_.empty() ? "" : " runuser -u " + runAs_ + " --") + " perl form.cgi < body 2> errors");
    Response response;
    response.status = r.status;
    const std::size_t crlf = r.out.find("\r\n\r\n"), lf = r.out.find("\n\n");
    response.head = r.out.substr(0, std::min(crlf, lf));
    response.body = r.out.substr(std::min(r.out.size(), response.head.size() + 2));
    response.errors = ReadFile(folder_ + "/errors");
    return response;
}

int InboxSite::MailCount() const {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder_ + "/mail"))
        n += entry.path().extension() == ".eml";
    return n;
}

}  // namespace qp::test
