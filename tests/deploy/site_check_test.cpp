// The check after an upload, against a real Apache 2 whose document root is the test FTP
// server's folder: the user uploads with quillpost-cli, or runs verify, and reads the lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "../ftp/test_ftp_server.h"
#include "model/item_text.h"
#include "model/project_config.h"
#include "support/apache_server.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;

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

    CliResult Cli(const std::string& command, const TProjectConfig& p, const std::string& more = "") {
        p.SaveToFile(work.File("p.qpf"));
        std::string line = std::string(QP_BINARY_DIR) + "/quillpost-cli " + command + " '" + work.File("p.qpf") +
                           "' " + more;
        if (command == "upload") line += " --lib '" + std::string(QP_SOURCE_DIR) + "/lib'";
        const test::ShellResult run = test::RunShell(line + " 2>'" + work.File("stderr") + "'");
        return {run.status, run.out, test::ReadFile(work.File("stderr"))};
    }

    PyFtpServer ftp;
    test::TempDir work;
    std::unique_ptr<test::ApacheServer> web;
};

TEST_F(SiteCheck, UploadEndsWithTheCheckAndTheAddress) {
    const std::string url = web->Origin() + "/contact.cgi";
    CliResult r = Cli("upload", *Project("/", url));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, EndsWith("設置が完了しました。\nフォームのCGIが動いています(HTTP 200)。\n"
                                "フォームのアドレス: " + url + "\n"))
        << web->ErrorLog();

    r = Cli("verify", *Project("/", url));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "フォームのCGIが動いています(HTTP 200)。\nフォームのアドレス: " + url + "\n");

    // Without an address the upload ends as before, and verify says what to set.
    r = Cli("upload", *Project("/", ""));
    EXPECT_THAT(r.out, EndsWith("設置が完了しました。\n"));
    r = Cli("verify", *Project("/", ""));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("設置先のURLが設定されていません。"));
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
    } cases[] = {
        {o + "/nowhere.cgi", 1, "設置先のURLにCGIが見つかりません(HTTP 404)。"},
        {o + "/noexec/contact.cgi", 1, "CGIの実行が許可されていません(HTTP 403)。"},
        {o + "/plain/contact.cgi", 1, "スクリプトの中身がそのまま表示されています(HTTP 200)。"},
        {o + "/contact.cgi", 1, "CGIを実行できませんでした(HTTP 500)。perlのパス"},
        {o + "/index.html", 1, "フォームのCGIではないページを返しました(HTTP 200)。"},
        {"ftp://127.0.0.1/contact.cgi", 1, "http:// か https:// で始まるアドレス"},
        {"http://127.0.0.1/a b.cgi", 1, "設置先のURLに使えない文字"},
        {"http://127.0.0.1:1/contact.cgi", 3, "に接続できません。"},
    };
    for (const auto& c : cases) {
        const CliResult r = Cli("verify", *Project("/", c.url));
        EXPECT_EQ(r.status, c.status) << c.url << r.err;
        EXPECT_THAT(r.out, HasSubstr(c.line)) << c.url;
        EXPECT_THAT(r.out, EndsWith("フォームのアドレス: " + c.url + "\n"));
    }
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
