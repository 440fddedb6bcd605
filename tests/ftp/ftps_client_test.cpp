// FTPS against pyftpdlib's TLS handler (TLS required on control and data) with a self-signed
// certificate made for the test: the password leaves only inside TLS, to a trusted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ftp/ftp_client.h"
#include "model/error.h"
#include "test_ftp_server.h"

namespace qp {
namespace {

using test::ErrorOf;
using namespace std::chrono_literals;
using test::FakeFtpServer;
using test::PyFtpServer;
using ::testing::HasSubstr;
using ::testing::Not;

struct Notes {
    std::vector<std::string> lines;
    void Attach(TFtpClient& c) {
        c.SetLogEnabled(true);
        c.SetLogHook([this](TFtpLogDirection d, const std::string& line) {
            if (d == TFtpLogDirection::Note) lines.push_back(line);
        });
    }
};

void Aim(TFtpClient& c, const PyFtpServer& server) {
    c.SetHost(server.Host());
    c.SetUserName(PyFtpServer::kUser);
    c.SetPassword(PyFtpServer::kPassword);
    c.SetSecure(true);
}

TEST(Ftps, UploadsAndListsInBothModesWithATrustedCertificate) {
    PyFtpServer server(true);
    test::TempDir local;
    std::string bytes;
    for (int i = 0; i < 600 * 1024 + 7; ++i) bytes += static_cast<char>('a' + i % 26);
    test::WriteFile(local.File("f"), bytes);
    for (bool passive : {false, true}) {
        SCOPED_TRACE(passive);
        TFtpClient c;
        Notes notes;
        notes.Attach(c);
        Aim(c, server);
        c.SetPassive(passive);
        c.Trust().SetTrustedForThisCall(server.Fingerprint());
        c.Connect();
        EXPECT_EQ(c.Trust().NewlyTrusted(), server.Fingerprint());
        c.SetTypeBinary();
        c.Stor(local.File("f"), "f.bin");
        c.List();
        ASSERT_EQ(c.Entries().size(), 1u);
        EXPECT_EQ(c.Entries()[0].Size, static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(test::ReadFile(server.Home() + "/f.bin"), bytes);
        c.Disconnect();
        ASSERT_GE(notes.lines.size(), 2u);
        EXPECT_THAT(notes.lines[0], ::testing::MatchesRegex("TLSで暗号化しました（TLSv1\\.[23] .*）。"));
        EXPECT_THAT(notes.lines[1], HasSubstr(server.Fingerprint()));
        // Upload and listing: each data connection resumes the control connection's session.
        ASSERT_EQ(notes.lines.size(), 4u);
        EXPECT_EQ(notes.lines[2], "データ接続をTLSで暗号化しました（セッション再利用）。");
        EXPECT_EQ(notes.lines[3], notes.lines[2]);
    }
    const std::string commands = server.Commands();
    EXPECT_LT(commands.find("AUTH TLS"), commands.find("USER"));
    EXPECT_THAT(commands, HasSubstr("PBSZ 0\nPROT P\n"));
}

TEST(Ftps, UntrustedOrPlainServersGetNoPassword) {
    PyFtpServer tls(true);
    PyFtpServer plain;
    struct Case {
        const char* name;
        const PyFtpServer& server;
        std::function<void(TServerTrust&)> setUp;
        std::vector<std::string> expected;
    };
    TServerIdentity shown;
    const Case cases[] = {
        {"no TLS on the server", plain, [](TServerTrust&) {}, {"AUTH TLS", "接続方式を「FTP」"}},
        {"unverified, nobody to ask", tls, [](TServerTrust& t) { t.SetRefusalHint("--trust-cert"); },
         {"証明書を確認できません", tls.Fingerprint(), "--trust-cert"}},
        {"another certificate was trusted", tls,
         [&](TServerTrust& t) {
             t.SetStoredFingerprint("SHA256:" + std::string(64, 'A'));
             t.SetAsker([&](const TServerIdentity&) { return true; });  // never asked
         },
         {"変わっています", NormalizeFingerprint("SHA256:" + std::string(64, 'A')), tls.Fingerprint()}},
        {"the user says no", tls,
         [&](TServerTrust& t) {
             t.SetAsker([&](const TServerIdentity& id) {
                 shown = id;
                 return false;
             });
         },
         {"信頼しなかった"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        TFtpClient c;
        Aim(c, k.server);
        k.setUp(c.Trust());
        std::string message = ErrorOf([&] { c.Connect(); });
        for (const std::string& part : k.expected) EXPECT_THAT(message, HasSubstr(part));
        EXPECT_FALSE(c.Connected());
        EXPECT_THAT(k.server.Commands(), Not(HasSubstr("PASS")));
        EXPECT_THAT(k.server.Commands(), Not(HasSubstr("USER")));
    }
    EXPECT_EQ(shown.Fingerprint, tls.Fingerprint());
    EXPECT_FALSE(shown.Verified);
    ASSERT_EQ(shown.Details.size(), 4u);
    EXPECT_THAT(shown.Details[0].second, HasSubstr("CN=localhost"));
    EXPECT_THAT(shown.Details[2].second, ::testing::MatchesRegex("[0-9]{4}-.* から [0-9]{4}-.* まで"));

    // Asked and accepted, then stored: no question the second time.
    TFtpClient c;
    Aim(c, tls);
    int questions = 0;
    c.Trust().SetAsker([&](const TServerIdentity&) { return ++questions > 0; });
    c.Connect();
    EXPECT_EQ(c.Trust().NewlyTrusted(), tls.Fingerprint());
    c.Disconnect();
    c.Trust().SetStoredFingerprint(tls.Fingerprint());
    c.Connect();
    EXPECT_EQ(c.Trust().NewlyTrusted(), "");
    EXPECT_EQ(questions, 1);
}

TEST(Ftps, HandshakeWaitsAreBoundedPumpedAndCancellable) {
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel);
        FakeFtpServer server([](FakeFtpServer::Session& s) {
            s.Send("220 ready\r\n");
            if (s.Read() != "AUTH TLS") return;
            s.Send("234 go ahead\r\n");  // and then never a ServerHello
        });
        TFtpClient c;
        c.SetHost(server.Host());
        c.SetSecure(true);
        c.SetReplyTimeout(400ms);
        int pumps = 0;
        c.SetPump([&] { ++pumps; });
        c.SetCancelCheck([&] { return cancel && pumps >= 3; });
        // The message tells which ended the wait, the cancel or the timeout: no clock needed.
        std::string message = ErrorOf([&] { c.Connect(); });
        EXPECT_EQ(message, cancel ? "接続を中止しました。" : "TLSの接続を確立できません（タイムアウト）");
        EXPECT_GE(pumps, 3);
        EXPECT_FALSE(c.Connected());
    }
}

TEST(Ftps, FingerprintsAreNormalized) {
    const std::string hex(64, 'b');
    std::string colons;
    for (int i = 0; i < 32; ++i) colons += std::string(i ? ":" : "") + "Bb";
    EXPECT_EQ(NormalizeFingerprint("sha256:" + hex), NormalizeFingerprint("SHA256:" + colons));
    EXPECT_EQ(NormalizeFingerprint("SHA256:" + hex).substr(0, 13), "SHA256:BB:BB:");
    EXPECT_EQ(NormalizeFingerprint("SHA256:" + hex.substr(1)), "");
    EXPECT_EQ(NormalizeFingerprint("SHA1:" + hex), "");
    EXPECT_EQ(NormalizeFingerprint("SHA256:" + hex.substr(1) + "g"), "");
    // OpenSSH's base64 form, as ssh-keygen -l printed it for this key, both ways.
    const std::string openssh = "SHA256:a2GCNWMkcXJ21KNIbJB+mnMmcWUgZFVdWwmoKSfPxCs";
    const std::string ours = "SHA256:6B:61:82:35:63:24:71:72:76:D4:A3:48:6C:90:7E:9A:73:26:71:65:20:64:55:5D:5B:09:A8:29:27:CF:C4:2B";
    EXPECT_EQ(NormalizeFingerprint(openssh), ours);
    EXPECT_EQ(OpenSshFingerprint(ours), openssh);
    EXPECT_EQ(NormalizeFingerprint(openssh.substr(0, openssh.size() - 1)), "");
    EXPECT_EQ(NormalizeFingerprint(openssh.substr(0, 10) + "-" + openssh.substr(11)), "");
}

}  // namespace
}  // namespace qp
