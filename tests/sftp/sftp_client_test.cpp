// The SFTP client against OpenSSH's own server on a loopback port: the host key decides before
// any secret leaves, both ways of logging in, the folder operations the browser uses, and the
// failures a user meets (wrong password, changed key, a server gone mid-upload, silence).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/error.h"
#include "sftp/sftp_client.h"
#include "support/sjis_literal.h"
#include "support/sshd_server.h"

namespace qp {
namespace {

using test::ErrorOf;
using test::TSshdServer;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

void Aim(TSftpClient& c, const TSshdServer& server) {
    c.SetHost(server.HostAndPort());
    c.SetUserName(server.User());
    c.SetKeyFile(server.KeyFile());
    c.Trust().SetStoredFingerprint(server.Fingerprint());
}

int ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TEST(Sftp, StoresTextWithLfSetsModesListsAndManagesFolders) {
    TSshdServer server;
    test::TempDir local;
    test::WriteFile(local.File("script.cgi"), "#!/usr/bin/perl\r\nprint 1;\r\nbare\rcr\r\n\r");
    TSftpClient c;
    Aim(c, server);
    c.Connect();
    EXPECT_EQ(c.CurrentFolder(), server.Home());

    c.MakeFolder("cgi-bin");
    c.ChangeFolder("cgi-bin");
    EXPECT_EQ(c.CurrentFolder(), server.Home() + "/cgi-bin");
    std::vector<std::int64_t> progress;
    c.StoreText(local.File("script.cgi"), "mail.cgi", [&](std::int64_t sent, std::int64_t) { progress.push_back(sent); });
    EXPECT_EQ(test::ReadFile(server.Home() + "/cgi-bin/mail.cgi"), "#!/usr/bin/perl\nprint 1;\nbare\rcr\n\r");
    EXPECT_EQ(progress.back(), 37);
    c.SetMode("mail.cgi", 0755, "CHMOD");
    EXPECT_EQ(ModeOf(server.Home() + "/cgi-bin/mail.cgi"), 0755);

    c.ChangeToParentFolder();
    ::symlink("cgi-bin", (server.Home() + "/link").c_str());
    c.List();
    ASSERT_EQ(c.Entries().size(), 2u);  // no "." or ".."
    for (const TFtpListEntry& e : c.Entries()) {
        if (e.Name == "cgi-bin") {
            EXPECT_EQ(e.Owner, server.User());
        }
        ASSERT_TRUE(e.Modified.has_value());
        EXPECT_GE(e.Modified->Year, 2024);
        EXPECT_EQ(e.Kind, e.Name == "link" ? TFtpEntryKind::SymbolicLink : TFtpEntryKind::Folder) << e.Name;
    }
    c.ChangeFolder("cgi-bin");
    c.List();
    ASSERT_EQ(c.Entries().size(), 1u);
    EXPECT_EQ(c.Entries()[0].Permissions(), "rwxr-xr-x");
    EXPECT_EQ(c.Entries()[0].Size, 34);

    EXPECT_THAT(ErrorOf([&] { c.ChangeFolder("nowhere"); }), HasSubstr("nowhere に移動できません"));
    EXPECT_THAT(ErrorOf([&] { c.ChangeFolder("mail.cgi"); }), HasSubstr("フォルダではありません"));
    EXPECT_EQ(c.CurrentFolder(), server.Home() + "/cgi-bin");  // a failed move changes nothing
    c.DeleteFile("mail.cgi");
    c.ChangeToParentFolder();
    c.RemoveFolder("link");  // the link goes, the folder stays
    c.RemoveFolder("cgi-bin");
    c.List();
    EXPECT_TRUE(c.Entries().empty());
    c.Disconnect();
    EXPECT_FALSE(c.Connected());
}

TEST(Sftp, AnUnknownOrChangedHostKeyIsRefusedBeforeAnySecretIsOffered) {
    TSshdServer server;
    TSftpClient c;
    Aim(c, server);
    c.Trust().SetStoredFingerprint("");
    const std::string refused = ErrorOf([&] { c.Connect(); });
    EXPECT_THAT(refused, HasSubstr("ssh-ed25519"));
    EXPECT_THAT(refused, HasSubstr(server.Fingerprint()));
    EXPECT_TRUE(c.Trust().Refused());
    EXPECT_FALSE(c.Connected());

    std::vector<TServerIdentity> shown;
    c.Trust().SetAsker([&](const TServerIdentity& id) {
        shown.push_back(id);
        return true;
    });
    c.Connect();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].Kind, TIdentityKind::HostKey);
    EXPECT_EQ(c.Trust().NewlyTrusted(), server.Fingerprint());
    c.Disconnect();

    const std::string trusted = server.Fingerprint();
    server.Restart(true);
    TSftpClient d;
    Aim(d, server);
    d.Trust().SetStoredFingerprint(trusted);
    d.Trust().SetAsker([](const TServerIdentity&) -> bool { throw std::logic_error("must not ask"); });
    const std::size_t logBefore = server.Log().size();
    const std::string changed = ErrorOf([&] { d.Connect(); });
    EXPECT_THAT(changed, HasSubstr("ホスト鍵が、信頼したホスト鍵から変わっています"));
    EXPECT_THAT(changed, HasSubstr(trusted));
    EXPECT_THAT(changed, HasSubstr(server.Fingerprint()));
    // Refused before authentication: the server saw no log-in attempt.
    const std::string log = server.Log().substr(logBefore);
    EXPECT_THAT(log, HasSubstr("Connection from"));
    EXPECT_THAT(log, Not(HasSubstr("Accepted")));
    EXPECT_THAT(log, Not(HasSubstr("Failed")));
}

TEST(Sftp, PasswordsAndEncryptedKeysLogInOnlyWhenRight) {
    TSshdServer server;
    {
        TSftpClient c;
        Aim(c, server);
        c.SetKeyFile(server.EncryptedKeyFile());
        std::vector<std::string> asked;
        c.SetPassphraseHook([&](const std::string& file) -> std::optional<std::string> {
            asked.push_back(file);
            return asked.size() == 1 ? "wrong" : server.Passphrase();
        });
        EXPECT_THAT(ErrorOf([&] { c.Connect(); }), HasSubstr("パスフレーズが違う"));
        c.Connect();
        EXPECT_EQ(asked, (std::vector<std::string>{server.EncryptedKeyFile(), server.EncryptedKeyFile()}));
        c.SetPassphraseHook([](const std::string&) { return std::nullopt; });
        c.Disconnect();
        EXPECT_THAT(ErrorOf([&] { c.Connect(); }), HasSubstr("パスフレーズがなければ使えません"));
    }
    if (!server.PasswordAvailable()) GTEST_SKIP() << server.PasswordUnavailableReason();
    TSftpClient c;
    Aim(c, server);
    c.SetKeyFile("");
    c.SetPassword("not-" + server.Password());
    EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "ログインできません。ユーザ名かパスワードが違います。");
    EXPECT_FALSE(c.Connected());
    c.SetPassword(server.Password());
    c.Connect();
    EXPECT_EQ(c.CurrentFolder(), server.Home());
}

TEST(Sftp, AServerThatDropsOrFallsSilentEndsTheCallWithAnError) {
    TSshdServer server;
    test::TempDir local;
    test::WriteFile(local.File("big"), std::string(64u << 20, 'x'));
    TSftpClient c;
    Aim(c, server);
    c.Connect();
    bool killed = false;
    const std::string dropped = ErrorOf([&] {
        c.StoreText(local.File("big"), "big", [&](std::int64_t sent, std::int64_t) {
            if (sent > 0 && !killed) {
                killed = true;
                server.KillSessions();
            }
        });
    });
    EXPECT_TRUE(killed);
    EXPECT_THAT(dropped, HasSubstr("big を送信できません"));
    EXPECT_FALSE(c.Connected());
    EXPECT_THAT(ErrorOf([&] { c.List(); }), HasSubstr("接続していません"));

    // A port that takes the connection and never says a word.
    const int mute = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(mute, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::listen(mute, 4);
    ::getsockname(mute, reinterpret_cast<sockaddr*>(&a), &len);
    TSftpClient d;
    d.SetHost("127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    d.SetReplyTimeout(300ms);
    EXPECT_EQ(ErrorOf([&] { d.Connect(); }), "SSHの接続を確立できません（タイムアウト）");
    int pumps = 0;
    d.SetReplyTimeout(30s);
    d.SetPump([&] { ++pumps; });
    d.SetCancelCheck([&] { return pumps > 3; });
    EXPECT_EQ(ErrorOf([&] { d.Connect(); }), "接続を中止しました。");
    ::close(mute);
}

}  // namespace
}  // namespace qp
