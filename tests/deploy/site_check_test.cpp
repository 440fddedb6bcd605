// The check after an upload, against a real Apache 2 whose document root is the test FTP
// server's folder: the user uploads with quillpost-cli, or runs verify, and reads the lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <regex>
#include <vector>

#include "../ftp/test_ftp_server.h"
#include "model/item_text.h"
#include "model/project_config.h"
#include "sitecheck/check_key.h"
#include "support/apache_server.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

using test::PyFtpServer;

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

class SiteCheck : public ::testing::Test {
protected:
    void SetUp() override { web = std::make_unique<test::ApacheServer>(ftp.Home()); }

    std::unique_ptr<TProjectConfig> Project(const std::string& folder, const std::string& url) {
        auto p = std::make_unique<TProjectConfig>();
        auto item = std::make_unique<TProjectItemText>("item1");
        item->SetNameValue(test::S("ご意見"));
        p->AddItem(std::move(item));
        p->SetManagerMailFrom("form@example.com");
        p->SetManagerMailTo("admin@example.com");
        p->SetManagerMailSubject(test::S("ご意見"));
        p->SetFormHtml(test::S("<form method=\"post\" action=\"contact.cgi\"><input name=\"item1\" />"
                              "<input type=\"submit\" name=\"__action1__\" value=\"確認\" /></form>"));
        p->SetFtpHostName(ftp.Host());
        p->SetFtpUserName(PyFtpServer::kUser);
        p->SetFtpPassword(PyFtpServer::kPassword);
        p->SetSavePassword(true);
        p->SetFtpFileName("contact.cgi");
        p->SetFtpDirectory(folder);
        p->SetFtpProtocol(TFtpProtocol::Ftp);
        p->SetScriptUrl(url);
        return p;
    }

    std::string Save(const TProjectConfig& p) {
        p.SaveToFile(work.File("p.qpf"));
        return work.File("p.qpf");
    }
    CliResult Cli(const std::string& command, const std::string& project, const std::string& more = "") {
        std::string line = std::string(QP_BINARY_DIR) + "/quillpost-cli " + command + " '" + project + "' " + more;
        if (command == "upload" && more.find("--lib") == std::string::npos)
            line += " --lib '" + std::string(QP_SOURCE_DIR) + "/lib'";
        const test::ShellResult run = test::RunShell(line + " 2>'" + work.File("stderr") + "'");
        return {run.status, run.out, test::ReadFile(work.File("stderr"))};
    }
    CliResult Cli(const std::string& command, const TProjectConfig& p) { return Cli(command, Save(p)); }
    std::string Fetch(const std::string& url) { return test::RunShell("curl -s --max-time 20 '" + url + "'").out; }

    PyFtpServer ftp;
    test::TempDir work;
    std::unique_ptr<test::ApacheServer> web;
};

// The first upload to an address makes the project's check key, so the check also asks the
// script, signed, what it sees on the host.
TEST_F(SiteCheck, UploadEndsWithTheCheckAndTheAddress) {
    ::chmod(ftp.Home().c_str(), 0777);  // the CGI's user may make its files there
    const std::string url = web->Origin() + "/contact.cgi";
    auto p = Project("/", url);
    p->SetSendmailPath("/usr/bin/true");
    const std::string path = Save(*p);
    CliResult r = Cli("upload", path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("確認用の鍵を作成し、プロジェクトに保存しました。"));
    EXPECT_THAT(r.out, HasSubstr("設置が完了しました。\nフォームのCGIが動いています(HTTP 200)。\nサーバーの状態: perl 5."));
    EXPECT_THAT(r.out, EndsWith("、実行用ファイル 1.0、文字コード EUC-JP。\nフォームのアドレス: " + url + "\n"))
        << web->ErrorLog();

    const CliResult again = Cli("verify", path);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, r.out.substr(r.out.find("フォームのCGI")));

    // Without an address the upload ends as before, and verify says what to set.
    r = Cli("upload", *Project("/", ""));
    EXPECT_THAT(r.out, EndsWith("設置が完了しました。\n"));
    r = Cli("verify", *Project("/", ""));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("設置先のURLが設定されていません。"));
}

// What the status answer shows, and that only a fresh request signed with the key gets it.
TEST_F(SiteCheck, TheSignedStatusNamesWhatTheHostLacks) {
    const std::string url = web->Origin() + "/contact.cgi";
    auto p = Project("/", url);
    p->SetSendmailPath("/nowhere/sendmail");
    const std::string path = Save(*p);
    test::WriteFile(ftp.Home() + "/.htquillpost-contact.cgi", "");
    ::chmod((ftp.Home() + "/.htquillpost-contact.cgi").c_str(), 0444);
    ASSERT_EQ(Cli("upload", path).status, 0);
    const CliResult r = Cli("verify", path);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("\nsendmailのパス(/nowhere/sendmail)が見つからないか、実行できません。"));
    EXPECT_THAT(r.out, HasSubstr("\nCGIが記録ファイル(.htquillpost-contact.cgi)に書き込めないため、送信回数の上限が働いていません。"));

    TProjectConfig saved;
    saved.LoadFromFile(path);
    const std::string key = saved.Settings().Text(TSetting::CheckKey);
    ASSERT_EQ(key.size(), 64u);
    const long long now = static_cast<long long>(std::time(nullptr));
    EXPECT_THAT(Fetch(url + "?__qp_status__=" + SignStatusRequest(key, now)), HasSubstr("sendmail_runs=0"));
    for (const std::string& other : {SignStatusRequest(key, now - 1000), SignStatusRequest(std::string(64, '0'), now),
                                     std::to_string(now) + "." + std::string(64, '0'), std::string()}) {
        const std::string page = Fetch(url + "?__qp_status__=" + other);
        EXPECT_THAT(page, HasSubstr("__qp_token__")) << other;
        EXPECT_THAT(page, Not(HasSubstr("sendmail"))) << other;
    }

    // A runtime of another release than the script's.
    const std::string lib = work.File("lib");
    ASSERT_EQ(test::RunShell("cp -r '" + std::string(QP_SOURCE_DIR) + "/lib' '" + lib + "'").status, 0);
    std::string runtime = test::ReadFile(lib + "/Quillpost.pm");
    const std::string release = "our $VERSION = '1.0';";
    ASSERT_NE(runtime.find(release), std::string::npos);
    runtime.replace(runtime.find(release), release.size(), "our $VERSION = '0.9';");
    test::WriteFile(lib + "/Quillpost.pm", runtime);
    ASSERT_EQ(Cli("upload", path, "--lib '" + lib + "'").status, 0);
    EXPECT_THAT(Cli("verify", path).out,
                HasSubstr("\nサーバーの実行用ファイル(Quillpost.pm 0.9)とCGI(1.0)の版が違います。"));
}

// Limits off because the CGI's user cannot write the state file: --fix makes it writable and
// the check that follows finds nothing more.
TEST_F(SiteCheck, FixMakesTheStateFileWritable) {
    const std::string url = web->Origin() + "/contact.cgi";
    // A sendmail that takes the whole message, as the real one does, run by the CGI's user.
    ::chmod(work.Path().c_str(), 0755);
    test::WriteFile(work.File("sendmail"), "#!/bin/sh\ncat >/dev/null\n");
    ::chmod(work.File("sendmail").c_str(), 0755);
    auto p = Project("/", url);
    p->SetSendmailPath(work.File("sendmail"));
    TGuardSettings guard = p->GetGuard();
    guard.MinSeconds = 0;  // the sends below follow their form pages at once
    p->SetGuard(guard);
    const std::string path = Save(*p);
    const std::string state = ftp.Home() + "/.htquillpost-contact.cgi";
    test::WriteFile(state, "");
    ::chmod(state.c_str(), 0444);
    ASSERT_EQ(Cli("upload", path).status, 0);
    CliResult r = Cli("verify", path);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("送信回数の上限が働いていません。"));

    r = Cli("verify", path, "--fix");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_THAT(r.out, HasSubstr("\n「.htquillpost-contact.cgi」を属性666にして、CGIが書き込めるようにしました。\n"
                                 "フォームのCGIが動いています(HTTP 200)。\nサーバーの状態: "));
    struct stat st {};
    ASSERT_EQ(::stat(state.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);

    // The limits work now: five sends from one address go, the sixth is refused.
    std::vector<std::string> codes;
    for (int send = 0; send < 6; ++send) {
        const std::string page = Fetch(url);
        std::smatch token;
        ASSERT_TRUE(std::regex_search(page, token, std::regex("name=\"__qp_token__\" value=\"([^\"]+)\""))) << page;
        codes.push_back(test::RunShell("curl -s -o /dev/null -w '%{http_code}' --max-time 20 --data '__qp_token__=" +
                                       token[1].str() + "&item1=a&__action2__=1' '" + url + "'")
                            .out);
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"200", "200", "200", "200", "200", "429"})) << web->ErrorLog();
}

TEST_F(SiteCheck, EachFailureIsNamedWithItsRemedy) {
    const std::string o = web->Origin();
    for (const char* folder : {"/noexec", "/plain"}) ASSERT_EQ(Cli("upload", *Project(folder, "")).status, 0);
    auto broken = Project("/", "");
    broken->SetPerlPath("/usr/bin/perl-nowhere");
    ASSERT_EQ(Cli("upload", *broken).status, 0);
    test::WriteFile(ftp.Home() + "/index.html", "<p>hello</p>\n");

    const struct {
        std::string url;
        int status;
        const char* line;
        const char* perl = "/usr/bin/perl";
    } cases[] = {
        {o + "/nowhere.cgi", 1, "設置先のURLにCGIが見つかりません(HTTP 404)。"},
        {o + "/noexec/contact.cgi", 1, "CGIの実行が許可されていません(HTTP 403)。"},
        {o + "/plain/contact.cgi", 1, "スクリプトの中身がそのまま表示されています(HTTP 200)。"},
        // The probes beside it find the perl path that runs.
        {o + "/contact.cgi", 1, "CGIを実行できませんでした(HTTP 500)。perlのパス(CGIの1行目)が違うか、Quillpost.pm、"
                                "jcode.pl、mimew.plがCGIと同じフォルダにないおそれがあります。\n"
                                "perlのパスを /usr/bin/perl にしてください\n",
         "/usr/bin/perl-nowhere"},
        {o + "/index.html", 1, "フォームのCGIではないページを返しました(HTTP 200)。"},
        {"ftp://127.0.0.1/contact.cgi", 1, "http:// か https:// で始まるアドレス"},
        {"http://127.0.0.1/a b.cgi", 1, "設置先のURLに使えない文字"},
        {"http://127.0.0.1:1/contact.cgi", 3, "に接続できません。"},
    };
    for (const auto& c : cases) {
        auto p = Project("/", c.url);
        p->SetPerlPath(c.perl);
        const CliResult r = Cli("verify", *p);
        EXPECT_EQ(r.status, c.status) << c.url << r.err;
        EXPECT_THAT(r.out, HasSubstr(c.line)) << c.url;
        EXPECT_THAT(r.out, EndsWith("フォームのアドレス: " + c.url + "\n"));
    }
    for (const auto& entry : std::filesystem::directory_iterator(ftp.Home()))
        EXPECT_NE(entry.path().filename().string().rfind(".qp-", 0), 0u) << "a probe was left: " << entry.path();
}

TEST(SiteCheckHttps, TheCertificateIsVerifiedAgainstTheGivenAuthorityOnly) {
    test::TempDir keys;
    test::MakeLoopbackCertificate(keys.Path());
    PyFtpServer ftp;
    test::ApacheServer web(ftp.Home(), keys.File("cert.pem"), keys.File("key.pem"));
    test::TempDir work;
    TProjectConfig p;
    p.SetScriptUrl(web.Origin() + "/contact.cgi");
    p.SaveToFile(work.File("p.qpf"));
    test::WriteFile(ftp.Home() + "/contact.cgi",
                    "#!/usr/bin/perl\nprint \"Content-Type: text/html\\r\\n\\r\\n<form><input name=__qp_token__></form>\";\n");
    ::chmod((ftp.Home() + "/contact.cgi").c_str(), 0755);
    const std::string cli = std::string(QP_BINARY_DIR) + "/quillpost-cli verify '" + work.File("p.qpf") + "'";

    test::ShellResult r = test::RunShell(cli + " 2>&1");
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_THAT(r.out, HasSubstr("の証明書を確認できません("));
    r = test::RunShell(cli + " --ca '" + keys.File("cert.pem") + "' 2>&1");
    EXPECT_EQ(r.status, 0) << r.out << web.ErrorLog();
    EXPECT_THAT(r.out, HasSubstr("フォームのCGIが動いています(HTTP 200)。"));
}

}  // namespace
}  // namespace qp
