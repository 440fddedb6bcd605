// quillpost-cli upload and ls over SFTP to OpenSSH's own server: the user trusts the host key
// once, the four files land with LF line ends, and the script runs from the server's copy.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "model/project_config.h"
#include "model/item_text.h"
#include "support/sjis_literal.h"
#include "support/sshd_server.h"

namespace qp {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(SftpUpload, TrustedOnceTheFourFilesLandWithLfAndTheScriptRunsThere) {
    test::TSshdServer server;
    test::TempDir dir;
    TProjectConfig p;
    auto item = std::make_unique<TProjectItemText>("item1");
    item->SetNameValue(test::S("ご意見"));
    p.AddItem(std::move(item));
    p.SetManagerMailFrom("form@example.com");
    p.SetManagerMailTo("admin@example.com");
    p.SetManagerMailSubject(test::S("ご意見"));
    p.SetFormHtml(test::S("<p>フォーム</p>\r\n"));
    p.SetFtpHostName(server.HostAndPort());
    p.SetFtpUserName(server.User());
    p.SetFtpFileName("contact.cgi");
    p.SetFtpDirectory(server.Home());
    p.SetFtpProtocol(TFtpProtocol::Sftp);
    p.SetSftpKeyFile(server.EncryptedKeyFile());
    const std::string project = dir.File("p.qpf");
    p.SaveToFile(project);
    const std::string cli = "QUILLPOST_SFTP_PASSPHRASE='" + server.Passphrase() + "' " + QP_BINARY_DIR +
                            "/quillpost-cli ";

    test::ShellResult r = test::RunShell(cli + "ls " + project + " 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr(server.Fingerprint()));

    r = test::RunShell(cli + "upload " + project + " --trust-cert " + server.Fingerprint() + " --save 2>&1");
    ASSERT_EQ(r.status, 0) << r.out << server.LogTail();
    EXPECT_THAT(r.out, HasSubstr("鍵ファイルでログインしました。"));
    EXPECT_THAT(r.out, HasSubstr("contact.cgi のアクセス権を 755 に設定します（SFTP ではchmodコマンドの設定は使いません）。"));
    EXPECT_THAT(r.out, HasSubstr("ホスト鍵の指紋をプロジェクトに保存しました"));
    TProjectConfig saved;
    saved.LoadFromFile(project);
    EXPECT_EQ(saved.GetFtpTrustedCert(), server.Fingerprint());

    for (const char* name : {"contact.cgi", "Quillpost.pm", "jcode.pl", "mimew.pl"}) {
        const std::string text = test::ReadFile(server.Home() + "/" + name);
        EXPECT_GT(text.size(), 100u) << name;
        EXPECT_EQ(text.find("\r\n"), std::string::npos) << name;
    }
    struct stat st {};
    ASSERT_EQ(::stat((server.Home() + "/contact.cgi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    r = test::RunShell("cd '" + server.Home() + "' && REQUEST_METHOD=GET SCRIPT_NAME=/contact.cgi ./contact.cgi 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Content-Type: text/html"));

    // A second deploy replaces the live release in one step per file (OpenSSH's
    // posix-rename): no moment without the script, nothing temporary left.
    r = test::RunShell(cli + "upload " + project + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("設置が完了しました。"));
    EXPECT_THAT(r.out, Not(HasSubstr("削除してから")));
    r = test::RunShell("ls -A '" + server.Home() + "' | grep -c '^\\.qp-'");
    EXPECT_EQ(r.out, "0\n");

    r = test::RunShell(cli + "ls " + project + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("contact.cgi\t"));
    EXPECT_THAT(r.out, HasSubstr("\trwxr-xr-x\t" + server.User() + "\n"));
}

}  // namespace
}  // namespace qp
