// Servers that misbehave on purpose: each must be cut off within the stated limit, with the
// server's own words where it gave any.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "ftp/ftp_client.h"
#include "model/error.h"
#include "test_ftp_server.h"

namespace qp {
namespace {

using namespace std::chrono_literals;
using test::FakeFtpServer;
using Session = FakeFtpServer::Session;
using ::testing::HasSubstr;

void FakeLogin(Session& s) {
    s.Send("220 ready\r\n");
    s.Read();
    s.Send("230 ok\r\n");
}

void OfferPassive(Session& s) {
    if (s.Read() != "EPSV") return;
    s.Send("229 passive (|||" + std::to_string(s.OpenPassive()) + "|)\r\n");
}

// Logs in, offers a passive connection and takes a whole STOR on it; returns the data
// connection, still open.
int TakeUpload(Session& s) {
    FakeLogin(s);
    OfferPassive(s);
    s.Read();
    s.Send("150 send it\r\n");
    int fd = s.AcceptPassive();
    char buf[256];
    while (::recv(fd, buf, sizeof buf, 0) > 0) {
    }
    return fd;
}

struct Outcome {
    std::string message = "(no error)";
    std::chrono::milliseconds elapsed{};
};

Outcome Timed(const std::function<void()>& call) {
    Outcome out;
    auto start = std::chrono::steady_clock::now();
    try {
        call();
    } catch (const Error& e) {
        out.message = e.Message();
    }
    out.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return out;
}

// Signs of life every 100 ms for up to 4 s: no single wait of 300 ms ever ends, so only the
// operation's limit of 800 ms can stop the client, and it must do so while the server still
// dribbles (the order is asserted, not a time: a loaded machine only stretches both).
TEST(FtpFaults, DribblingServersAreCutOffAtTheOperationLimit) {
    std::atomic<bool> clientDone{false}, dribbleEnded{false};
    auto dribble = [&](const std::function<void(int)>& step) {
        for (int i = 0; i < 40 && !clientDone; ++i) {
            step(i);
            std::this_thread::sleep_for(100ms);
        }
        if (!clientDone) dribbleEnded = true;
    };
    struct Case {
        const char* name;
        std::function<void(Session&)> script;
        bool connectOnly;
        bool upload;
    };
    const Case cases[] = {
        {"greeting 120 repeated", [&](Session& s) { dribble([&](int) { s.Send("120 soon\r\n"); }); }, true, false},
        {"150 repeated after LIST",
         [&](Session& s) {
             FakeLogin(s);
             OfferPassive(s);
             s.Read();
             int fd = s.AcceptPassive();
             dribble([&](int) { s.Send("150 still coming\r\n"); });
             ::close(fd);
         },
         false, false},
        {"listing one byte at a time",
         [&](Session& s) {
             FakeLogin(s);
             OfferPassive(s);
             s.Read();
             s.Send("150 here\r\n");
             int fd = s.AcceptPassive();
             dribble([&](int) { Session::SendAll(fd, "x"); });
             ::close(fd);
         },
         false, false},
        {"150 repeated after STOR",
         [&](Session& s) {
             ::close(TakeUpload(s));
             dribble([&](int) { s.Send("150 still storing\r\n"); });
         },
         false, true},
    };
    test::TempDir local;
    test::WriteFile(local.File("f"), "data");
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        clientDone = false;
        dribbleEnded = false;
        FakeFtpServer server(k.script);
        TFtpClient c;
        c.SetHost(server.Host());
        c.SetPassive(true);
        c.SetReplyTimeout(300ms);
        c.SetOperationTimeout(800ms);
        c.SetMinTransferRate(1 << 30);
        Outcome o = Timed([&] {
            if (k.connectOnly) return c.Connect();
            c.Connect();
            if (k.upload) return c.Stor(local.File("f"), "f");
            c.List();
        });
        const bool endedBeforeTheServer = !dribbleEnded;
        clientDone = true;
        EXPECT_THAT(o.message, HasSubstr("タイムアウト"));
        EXPECT_TRUE(endedBeforeTheServer);
        EXPECT_FALSE(c.Connected());
    }
}

// The server takes the whole upload, then reports that it could not store it while the data
// connection closes: that reply is the error, not a wait for another one.
TEST(FtpFaults, AnErrorReplyWhileAnUploadClosesIsTheError) {
    FakeFtpServer server([](Session& s) {
        const int fd = TakeUpload(s);
        s.Send("451 Failure writing to local file.\r\n");
        std::this_thread::sleep_for(1500ms);
        ::close(fd);
        s.Read();
    });
    test::TempDir local;
    test::WriteFile(local.File("f"), "data");
    TFtpClient c;
    c.SetHost(server.Host());
    c.SetPassive(true);
    c.SetReplyTimeout(500ms);
    c.Connect();
    const Outcome o = Timed([&] { c.Stor(local.File("f"), "f"); });
    EXPECT_THAT(o.message, HasSubstr("451 Failure writing to local file."));
}

TEST(FtpFaults, ActiveModeTakesTheDataConnectionOnlyFromTheServer) {
    std::string intruderSaw = "nothing";
    FakeFtpServer server([&](Session& s) {
        FakeLogin(s);
        std::string port = s.Read();
        s.Send("200 ok\r\n");
        if (s.Read() != "LIST") return;
        // Another address of this machine gets there first and offers a listing of its own.
        int intruder = Session::ConnectToPort(port, "127.0.0.2");
        Session::SendAll(intruder, "-rw-r--r-- 1 a b 3 Jan  1  2024 planted\r\n");
        pollfd p{intruder, POLLIN, 0};
        char byte;
        if (::poll(&p, 1, 2000) > 0 && ::recv(intruder, &byte, 1, 0) <= 0) intruderSaw = "closed";
        ::close(intruder);
        s.Send("150 here\r\n");
        int fd = Session::ConnectToPort(port);
        Session::SendAll(fd, "-rw-r--r-- 1 a b 3 Jan  1  2024 real\r\n");
        ::close(fd);
        s.Send("226 done\r\n");
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.Connect();
    c.List();
    ASSERT_EQ(c.Entries().size(), 1u);
    EXPECT_EQ(c.Entries()[0].Name, "real");
    EXPECT_EQ(intruderSaw, "closed");
}

TEST(FtpFaults, ActiveConnectionThatNeverComesCostsOneWait) {
    std::string afterTheWait = "(not read)";
    FakeFtpServer server([&](Session& s) {
        FakeLogin(s);
        s.Read();
        s.Send("200 ok\r\n");
        s.Read();
        s.Send("150 connecting\r\n");
        afterTheWait = s.Read();  // the client's next word, empty when it closed
    });
    TFtpClient c;
    c.SetHost(server.Host());
    c.SetConnectTimeout(500ms);
    c.SetReplyTimeout(500ms);
    c.Connect();
    Outcome o = Timed([&] { c.List(); });
    EXPECT_THAT(o.message, HasSubstr("データ接続がありません（タイムアウト）"));
    EXPECT_GE(o.elapsed, 450ms);  // never before the wait it was given
    EXPECT_FALSE(c.Connected());
    server.Join();
    EXPECT_EQ(afterTheWait, "");  // no second try (PASV) after the one wait: the connection was given up
}

TEST(FtpFaults, ServerRepliesAreReportedWithControlCharactersEscaped) {
    FakeFtpServer server([](Session& s) {
        FakeLogin(s);
        OfferPassive(s);
        s.Read();
        s.Send("150 here\r\n");
        int fd = s.AcceptPassive();
        std::this_thread::sleep_for(100ms);
        s.Send("426 \x1b]0;owned\x07\x1b[2J aborted\r\n");
        ::close(fd);
    });
    TFtpClient c;
    std::string log;
    c.SetLogEnabled(true);
    c.SetLogHook([&](TFtpLogDirection, const std::string& line) { log += line; });
    c.SetHost(server.Host());
    c.SetPassive(true);
    c.Connect();
    Outcome o = Timed([&] { c.List(); });
    // What a 426 usually means, then the server's words with their control characters escaped.
    EXPECT_EQ(o.message, "転送の途中で接続が切れました。回線とサーバーの状態を確かめて、もう一度お試しください。\n"
                         "426 \\x1B]0;owned\\x07\\x1B[2J aborted");
    EXPECT_THAT(log, HasSubstr("426 \\x1B]0;owned\\x07\\x1B[2J aborted<EOL>"));
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace qp
