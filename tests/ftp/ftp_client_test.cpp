#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "ftp/ftp_client.h"
#include "model/error.h"
#include "test_ftp_server.h"

namespace qp {
namespace {

using test::ErrorOf;
using test::FakeFtpServer;
using test::PyFtpServer;
using ::testing::HasSubstr;

// The commands the client sent, from its log hook.
struct CommandLog {
    std::vector<std::string> lines;
    void Attach(TFtpClient& c) {
        c.SetLogEnabled(true);
        c.SetLogHook([this](TFtpLogDirection d, const std::string& line) {
            if (d == TFtpLogDirection::Sent) lines.push_back(line.substr(20));  // after the time stamp
        });
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : lines)
            if (l.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

void Login(TFtpClient& c, const PyFtpServer& server, bool passive = false) {
    c.SetHost(server.Host());
    c.SetUserName(PyFtpServer::kUser);
    c.SetPassword(PyFtpServer::kPassword);
    c.SetPassive(passive);
    c.Connect();
}

TEST(FtpClientLog, EscapesLineEnds) {
    EXPECT_EQ(TFtpClient::LogEscape("USER a\r\n"), "USER a<EOL>");
    EXPECT_EQ(TFtpClient::LogEscape("a\rb\nc\r\r\n\n\r"), "a<CR>b<LF>c<CR><EOL><LF><CR>");
    EXPECT_EQ(TFtpClient::LogEscape("a\tb\x1b[2J\x7f\xc2\x9b\xe3\x81\x82\r\n"), "a\\x09b\\x1B[2J\\x7F\\xC2\\x9B\xe3\x81\x82<EOL>");
    EXPECT_TRUE(
        std::regex_match(TFtpClient::LogTimeStamp(), std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)")));
}

TEST(FtpClientReal, LogsInAndReportsTheFolder) {
    PyFtpServer server;
    TFtpClient c;
    std::vector<std::string> log;
    c.SetLogEnabled(true);
    c.SetLogHook([&](TFtpLogDirection, const std::string& line) { log.push_back(line); });
    Login(c, server);
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(c.Pwd(), "/");
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(
        std::regex_match(log[0], std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d 220 test server ready<EOL>)")))
        << log[0];
    EXPECT_THAT(log, ::testing::Contains(::testing::EndsWith(" USER user<EOL>")));
    EXPECT_THAT(log, ::testing::Contains(::testing::EndsWith(" PASS ********<EOL>")));
    c.SetLogEnabled(false);
    std::size_t before = log.size();
    c.Pwd();
    EXPECT_EQ(log.size(), before);
    c.Disconnect();
    EXPECT_FALSE(c.Connected());
}

TEST(FtpClientReal, WrongPasswordFailsWithTheServersReply) {
    PyFtpServer server;
    TFtpClient c;
    c.SetHost(server.Host());
    c.SetUserName(PyFtpServer::kUser);
    c.SetPassword("wrong");
    std::string message = ErrorOf([&] { c.Connect(); });
    EXPECT_THAT(message, HasSubstr("530"));
    EXPECT_FALSE(c.Connected());
}

TEST(FtpClientReal, RefusedConnectionAndBadPortAreErrors) {
    int fd = FakeFtpServer::Listen();  // bound, then closed: nothing listens on that port any more
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    TFtpClient c;
    c.SetHost("127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    EXPECT_THAT(ErrorOf([&] { c.Connect(); }), HasSubstr("Connection refused"));
    c.SetHost("127.0.0.1:99999");
    EXPECT_THAT(ErrorOf([&] { c.Connect(); }), HasSubstr("ポート番号"));
    EXPECT_THAT(ErrorOf([&] { c.Pwd(); }), HasSubstr("接続していません"));
}

class FtpTransfer : public ::testing::TestWithParam<bool> {};

TEST_P(FtpTransfer, StoresTheBytesAndReportsProgress) {
    PyFtpServer server;
    test::TempDir local;
    // Binary bytes with no CR stay as they are; CR LF becomes the server's LF in ASCII mode.
    std::string binary;
    for (int i = 0; i < 3 * 256 * 1024 + 77; ++i) binary += static_cast<char>(i % 251 == 13 ? 0 : i % 251);
    test::WriteFile(local.File("bin"), binary);
    test::WriteFile(local.File("cgi"), "#!/usr/bin/perl\r\nprint 1;\r\n\xa4\xa2\r\n");

    TFtpClient c;
    CommandLog commands;
    commands.Attach(c);
    Login(c, server, GetParam());
    std::vector<std::pair<std::int64_t, std::int64_t>> progress;
    c.SetTypeAscii();
    c.Stor(local.File("bin"), "bin.dat",
           [&](std::int64_t s, std::int64_t t) { progress.emplace_back(s, t); });
    c.SetTypeAscii();
    c.Stor(local.File("cgi"), "a.cgi");
    EXPECT_EQ(test::ReadFile(server.Home() + "/bin.dat"), binary);
    EXPECT_EQ(test::ReadFile(server.Home() + "/a.cgi"), "#!/usr/bin/perl\nprint 1;\n\xa4\xa2\n");

    ASSERT_GE(progress.size(), 2u);
    EXPECT_EQ(progress.front().first, 0);
    EXPECT_EQ(progress.back().first, static_cast<std::int64_t>(binary.size()));
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GE(progress[i].first, progress[i - 1].first);
        EXPECT_EQ(progress[i].second, static_cast<std::int64_t>(binary.size()));
    }
    EXPECT_EQ(commands.Count("TYPE A"), 1);
    EXPECT_EQ(commands.Count("PORT"), GetParam() ? 0 : 2);
    EXPECT_EQ(commands.Count("EPSV"), GetParam() ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(ActiveAndPassive, FtpTransfer, ::testing::Bool());

TEST(FtpClientReal, MissingLocalFileFailsBeforeAnyCommand) {
    PyFtpServer server;
    TFtpClient c;
    CommandLog commands;
    commands.Attach(c);
    Login(c, server);
    std::size_t before = commands.lines.size();
    EXPECT_THAT(ErrorOf([&] { c.Stor("/nonexistent/file", "x"); }), HasSubstr("No such file"));
    EXPECT_EQ(commands.lines.size(), before);
    EXPECT_TRUE(c.Connected());
}

TEST(FtpClientReal, FoldersListingAndDeletion) {
    PyFtpServer server;
    test::TempDir local;
    test::WriteFile(local.File("f"), "12345");
    TFtpClient c;
    Login(c, server);
    c.Mkd("sub");
    c.Cwd("sub");
    EXPECT_EQ(c.Pwd(), "/sub");
    c.Stor(local.File("f"), "five.txt");
    c.Mkd("inner dir");
    c.List();
    ASSERT_EQ(c.Entries().size(), 2u);
    std::map<std::string, TFtpListEntry> byName;
    for (const auto& e : c.Entries()) byName[e.Name] = e;
    EXPECT_EQ(byName.at("five.txt").Kind, TFtpEntryKind::File);
    EXPECT_EQ(byName.at("five.txt").Size, 5);
    EXPECT_EQ(byName.at("inner dir").Kind, TFtpEntryKind::Folder);

    c.Site("CHMOD 755 five.txt");
    struct stat st {};
    ASSERT_EQ(::stat((server.Home() + "/sub/five.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);

    c.Cdup();
    EXPECT_EQ(c.Pwd(), "/");
    std::string refused = ErrorOf([&] { c.Rmd("sub"); });
    EXPECT_THAT(refused, HasSubstr("550"));
    EXPECT_TRUE(c.Connected());
    c.Dele("sub/five.txt");
    c.Rmd("sub/inner dir");
    c.Rmd("sub");
    c.List();
    EXPECT_TRUE(c.Entries().empty());
    EXPECT_THAT(ErrorOf([&] { c.Cwd("nowhere"); }), HasSubstr("550"));
    EXPECT_THAT(ErrorOf([&] { c.Dele("nothing"); }), HasSubstr("550"));
    EXPECT_THAT(ErrorOf([&] { c.Allo(10); }), HasSubstr("202"));  // anything but 200 is an error
    EXPECT_THAT(ErrorOf([&] { c.Cwd("a\r\nDELE x"); }), HasSubstr("改行"));
}

TEST(FtpClientReal, QuotesInTheFolderNameAreUndoubled) {
    PyFtpServer server;
    TFtpClient c;
    Login(c, server);
    c.Mkd("say \"hi\"");
    c.Cwd("say \"hi\"");
    EXPECT_EQ(c.Pwd(), "/say \"hi\"");
}

TEST(FtpClientFake, MultiLineRepliesAndAQuotedFolder) {
    FakeFtpServer server([](FakeFtpServer::Session& s) {
        s.Send("220-Welcome\r\n220-  to the\r\n second line without code\r\n220 fake server\r\n");
        if (s.Read() != "USER u") return;
        s.Send("331 password\r\n");
        s.Read();
        s.Send("230-Hello\r\n230 logged in\r\n");
        s.Read();
        s.Send("257-\"/not/this\"\r\n257 \"/a \"\"b\"\" c\" here, \"not\" this\r\n");
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.SetUserName("u");
    c.SetPassword("p");
    c.Connect();
    EXPECT_EQ(c.LastReply().Code, 230);
    EXPECT_EQ(c.LastReply().Text, "230-Hello\n230 logged in");
    EXPECT_EQ(c.Pwd(), "/not/this");
}

// Serves the greeting and log-in of a fake server.
void FakeLogin(FakeFtpServer::Session& s) {
    s.Send("220 ready\r\n");
    s.Read();
    s.Send("230 ok\r\n");
}

TEST(FtpClientFake, RefusedPortFallsBackToPassiveAndParsesDosListing) {
    FakeFtpServer server([](FakeFtpServer::Session& s) {
        FakeLogin(s);
        for (int round = 0; round < 2; ++round) {
            std::string cmd = s.Read();
            if (cmd.rfind("PORT", 0) == 0) {
                s.Send("500 PORT not allowed\r\n");
                cmd = s.Read();
            }
            if (cmd != "EPSV") return;
            s.Send("229 Entering Extended Passive Mode (|||" + std::to_string(s.OpenPassive()) + "|)\r\n");
            if (s.Read() != "LIST") return;
            s.Send("150 Here it comes\r\n");
            s.SendPassiveData(
                "01-16-02  11:14AM       <DIR>          epsgroup\r\n"
                "06-05-03  03:19PM                 1973 readme.txt\r\n");
            s.Send("226 Done\r\n");
        }
    });
    TFtpClient c;
    CommandLog commands;
    commands.Attach(c);
    c.SetHost(server.Host());
    c.Connect();
    c.List();
    ASSERT_EQ(c.Entries().size(), 2u);
    EXPECT_EQ(c.Entries()[0].Name, "epsgroup");
    EXPECT_EQ(c.Entries()[0].Kind, TFtpEntryKind::Folder);
    EXPECT_EQ(c.Entries()[1].Size, 1973);
    c.List();  // once refused, PORT is not tried again
    EXPECT_EQ(c.Entries().size(), 2u);
    EXPECT_EQ(commands.Count("PORT"), 1);
    EXPECT_EQ(commands.Count("EPSV"), 2);
}

TEST(FtpClientFake, ServerThatCannotConnectBackAndRefusesEpsvUsesPasv) {
    FakeFtpServer server([](FakeFtpServer::Session& s) {
        FakeLogin(s);
        if (s.Read().rfind("PORT", 0) != 0) return;
        s.Send("200 PORT ok\r\n");
        if (s.Read() != "LIST") return;
        s.Send("425 Can't open data connection\r\n");
        if (s.Read() != "EPSV") return;
        s.Send("500 EPSV unknown\r\n");
        if (s.Read() != "PASV") return;
        int port = s.OpenPassive();
        s.Send("227 Entering Passive Mode (10,9,8,7," + std::to_string(port / 256) + "," +
               std::to_string(port % 256) + ")\r\n");
        if (s.Read() != "LIST") return;
        s.Send("125 go\r\n");
        s.SendPassiveData("-rw-r--r-- 1 a b 3 Jan  1  2024 x\r\n");
        s.Send("226 Done\r\n");
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.Connect();
    c.List();  // PASV's address 10.9.8.7 is ignored: the data goes to the control peer
    ASSERT_EQ(c.Entries().size(), 1u);
    EXPECT_EQ(c.Entries()[0].Name, "x");
}

TEST(FtpClientFake, ServerThatCannotConnectBackMovesToPassive) {
    FakeFtpServer server([](FakeFtpServer::Session& s) {
        FakeLogin(s);
        if (s.Read().rfind("PORT", 0) != 0) return;
        s.Send("200 PORT ok\r\n");
        if (s.Read() != "LIST") return;
        s.Send("150 connecting\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        s.Send("425 Can't open data connection\r\n");
        if (s.Read() != "EPSV") return;
        s.Send("229 ok (|||" + std::to_string(s.OpenPassive()) + "|)\r\n");
        if (s.Read() != "LIST") return;
        s.Send("150 go\r\n");
        s.SendPassiveData("");
        s.Send("226 Done\r\n");
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.Connect();
    c.List();
    EXPECT_TRUE(c.Entries().empty());
    EXPECT_EQ(c.LastReply().Code, 226);
}

TEST(FtpClientFake, SilentServerTimesOutWhilePumping) {
    FakeFtpServer server([](FakeFtpServer::Session&) {});
    TFtpClient c;
    int pumps = 0;
    c.SetPump([&] { ++pumps; });
    c.SetReplyTimeout(std::chrono::milliseconds(300));
    c.SetHost(server.Host());
    auto start = std::chrono::steady_clock::now();
    EXPECT_THAT(ErrorOf([&] { c.Connect(); }), HasSubstr("タイムアウト"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(c.Connected());
    EXPECT_GT(pumps, 2);
}

TEST(FtpClientFake, GarbageReplyAndClosedConnectionAreErrors) {
    FakeFtpServer server([](FakeFtpServer::Session& s) {
        FakeLogin(s);
        s.Read();
        s.Send("hello there\r\n");
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.Connect();
    EXPECT_THAT(ErrorOf([&] { c.Pwd(); }), HasSubstr("hello there"));
    EXPECT_FALSE(c.Connected());
}

TEST(FtpClientFake, ServiceClosingDisconnects) {
    FakeFtpServer server([](FakeFtpServer::Session& s) {
        FakeLogin(s);
        s.Read();
        s.Send("421 Too many users\r\n");
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.Connect();
    EXPECT_THAT(ErrorOf([&] { c.Cwd("x"); }), HasSubstr("421 Too many users"));
    EXPECT_FALSE(c.Connected());
}

TEST(FtpClientFake, ReplyLimitCountsTheLineFeedsThatJoinItsLines) {
    const std::string first = "250-" + std::string(kMaxFtpReplyBytes / 2, 'a');
    const std::size_t rest = kMaxFtpReplyBytes - first.size() - 1;  // exactly the limit, joined
    FakeFtpServer server([&](FakeFtpServer::Session& s) {
        FakeLogin(s);
        for (const std::size_t last : {rest, rest + 1}) {
            s.Read();
            s.Send(first + "\r\n250 " + std::string(last - 4, 'b') + "\r\n");
        }
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.Connect();
    EXPECT_EQ(c.SendCommand("NOOP").Text.size(), kMaxFtpReplyBytes);
    EXPECT_THAT(ErrorOf([&] { c.SendCommand("NOOP"); }), HasSubstr("長すぎます"));
    EXPECT_FALSE(c.Connected());
}

}  // namespace
}  // namespace qp
