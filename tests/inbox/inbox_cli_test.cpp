// quillpost-cli inbox as the site owner uses it: a key made with a passphrase, a wrong key or
// passphrase that leaves the server untouched, --keep, the summary line, the CSV file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ftp/test_ftp_server.h"
#include "inbox/inbox_key.h"
#include "inbox/inbox_store.h"
#include "inbox_site.h"

namespace qp::test {
namespace {

using ::testing::HasSubstr;

const std::string kCli = std::string(QP_BINARY_DIR) + "/quillpost-cli ";

TEST(InboxCli, ANewKeyIsTheOwnersOnlyAndAWrongOneTouchesNothing) {
    TempDir dir;
    const std::string project = dir.File("p.qpf");
    TProjectConfig().SaveToFile(project);
    ShellResult r = RunShell("cd " + dir.Path() + " && QUILLPOST_INBOX_PASSPHRASE=open-sesame " + kCli + "inbox p.qpf --new-key key.pem 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("この秘密鍵ファイルがないと、サーバーに保存された受信データは読めません。"));
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("key.pem").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_THAT(ReadFile(dir.File("key.pem")), HasSubstr("ENCRYPTED PRIVATE KEY"));
    TProjectConfig saved;
    saved.LoadFromFile(project);
    EXPECT_TRUE(saved.Bool(TSetting::UseInbox));
    EXPECT_EQ(saved.Text(TSetting::InboxKeyFile), dir.File("key.pem"));
    EXPECT_EQ(ErrorOf([&] { TInboxPrivateKey(dir.File("key.pem"), "wrong"); }), "秘密鍵ファイルのパスフレーズが違います。");
    EXPECT_NO_THROW(CheckKeyMatches(TInboxPrivateKey(dir.File("key.pem"), "open-sesame"), saved.Text(TSetting::InboxPublicKey)));
    const std::string before = ReadFile(dir.File("key.pem"));
    r = RunShell("cd " + dir.Path() + " && " + kCli + "inbox p.qpf --new-key key.pem 2>&1 </dev/null");
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.out, HasSubstr("上書きしません"));
    EXPECT_EQ(ReadFile(dir.File("key.pem")), before);

    // The messages of a site whose project holds another key.
    PyFtpServer server;
    InboxSite site(false, server.Home());
    site.Post({{"name", "a"}});
    site.Post({{"name", "b"}}, 75);
    site.Project().SetFtpHostName(server.Host());
    site.Project().SetFtpUserName(PyFtpServer::kUser);
    site.Project().SetFtpPassword(PyFtpServer::kPassword);
    site.Project().SetSavePassword(true);
    site.Project().SetFtpProtocol(TFtpProtocol::Ftp);
    site.Project().SetFtpFileName("form.cgi");
    site.Project().SetFtpDirectory("/");
    site.Project().SaveToFile(project);
    const std::string stored = ReadFile(site.InboxFile());
    for (const std::string& wrong : {"--key " + dir.File("key.pem"), std::string("--key /nonexistent.pem")}) {
        r = RunShell("cd " + dir.Path() + " && QUILLPOST_INBOX_PASSPHRASE=open-sesame " + kCli + "inbox p.qpf " + wrong + " 2>&1");
        EXPECT_NE(r.status, 0) << r.out;
        EXPECT_EQ(server.Commands(), "") << "the server is not even asked";
    }
    EXPECT_THAT(r.out, HasSubstr("/nonexistent.pem"));

    r = RunShell("cd " + dir.Path() + " && " + kCli + "inbox p.qpf --keep --csv out.csv 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("2件の受信データを取り込みました（メール未送信 1件）"));
    EXPECT_EQ(ReadFile(site.InboxFile()), stored) << "--keep leaves the server as it was";
    EXPECT_THAT(ReadFile(dir.File("out.csv")), HasSubstr("\xEF\xBB\xBF受信日時,送信状況,お名前 '①',"));
    EXPECT_THAT(ReadFile(dir.File("out.csv")), HasSubstr(",メール未送信,b,"));

    r = RunShell("cd " + dir.Path() + " && " + kCli + "inbox p.qpf 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("0件の受信データを取り込みました（メール未送信 0件）"));
    EXPECT_FALSE(std::filesystem::exists(site.InboxFile()));
    EXPECT_EQ(TInboxStore(dir.File("p.inbox")).Lines().size(), 4u);
}

}  // namespace
}  // namespace qp::test
