// The download against real servers (pyftpdlib for FTP, OpenSSH for SFTP): sends that come
// while it runs all arrive, each once; the server keeps nothing that was taken.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <thread>

#include "deploy/connection.h"
#include "deploy/inbox_fetch.h"
#include "ftp/test_ftp_server.h"
#include "inbox_site.h"
#include "model/error.h"
#include "support/ftp_account.h"
#include "support/sshd_server.h"

namespace qp::test {
namespace {

class QuietFetch : public TInboxFetchListener {
public:
    void LogLine(const std::string& line) override { log += line + "\n"; }
    void Progress(std::int64_t, std::int64_t) override {}
    void Pump() override {}
    bool CancelRequested() override { return false; }
    std::string log;
};

// Sends 20 messages while two downloads run and a third follows, after a download that was
// cut between its rename and its removal; every message must be in the store exactly once,
// with the status line of its mail.
void SendWhileFetching(InboxSite& site, const TConnection& connection, const std::string& folderOnServer) {
    site.Project().SetFtpFileName("form.cgi");
    site.Project().SetFtpDirectory(folderOnServer);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(site.Post({{"name", "before-" + std::to_string(i)}}).status, 0);
    // What a download cut after its rename left behind is taken as well.
    std::filesystem::rename(site.InboxFile(), site.InboxFile() + "-20261209000000-0123456789ab");
    ASSERT_EQ(site.Post({{"name", "after-the-cut"}}).status, 0);

    std::thread sender([&] {
        for (int i = 0; i < 20; ++i) site.Post({{"name", "during-" + std::to_string(i)}});
    });
    const TInboxPrivateKey key(site.KeyFile(), "");
    TInboxStore store(site.KeyFile() + ".inbox"), aside(site.KeyFile() + ".inbox-bad");
    TInboxFetchOptions options;
    options.Settle = std::chrono::milliseconds(300);
    std::size_t added = 0;
    std::string log;
    for (int round = 0; round < 3; ++round) {
        if (round == 2) sender.join();
        QuietFetch listener;
        const auto client = MakeRemoteFiles(connection);
        added += FetchInbox(*client, site.Project(), key, store, aside, options, listener).Added;
        log += listener.log;
    }
    EXPECT_EQ(added, 24u) << log;
    EXPECT_TRUE(aside.Lines().empty());
    const TInboxContents contents = OpenInboxStore(TInboxStore(store.Path()), key);
    std::map<std::string, int> seen;
    for (const TInboxEntry& entry : contents.Entries) {
        ++seen[entry.Message.Fields[0].Value];
        EXPECT_EQ(entry.Status.Status, TInboxMailStatus::Mailed) << entry.Message.Fields[0].Value;
    }
    EXPECT_EQ(seen.size(), 24u);
    for (const auto& [name, count] : seen) EXPECT_EQ(count, 1) << name;
    for (const auto& file : std::filesystem::directory_iterator(site.Folder()))
        EXPECT_EQ(file.path().filename().string().find("-inbox"), std::string::npos) << file.path();
}

TEST(InboxFetch, SendsDuringADownloadOverFtpArriveEachOnce) {
    PyFtpServer server;
    InboxSite site(false, server.Home());
    SendWhileFetching(site, PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword), "/");
}

TEST(InboxFetch, SendsDuringADownloadOverSftpArriveEachOnce) {
    TSshdServer server;
    // The script runs as the account that logs in, as under suEXEC: the file is its own.
    InboxSite site(false, server.Home(), ::geteuid() == 0 ? server.User() : "");
    TConnection connection;
    connection.Protocol = TFtpProtocol::Sftp;
    connection.Host = server.HostAndPort();
    connection.UserName = server.User();
    connection.KeyFile = server.KeyFile();
    connection.TrustedFingerprint = server.Fingerprint();
    SendWhileFetching(site, connection, server.Home());
}

// Stopped after the server's file has its download name: nothing is removed there and nothing
// half-read is kept here; the next download takes every message, once.
TEST(InboxFetch, AStopAfterTheRenameLosesNothing) {
    PyFtpServer server;
    InboxSite site(false, server.Home());
    site.Project().SetFtpFileName("form.cgi");
    site.Project().SetFtpDirectory("/");
    for (int i = 0; i < 3; ++i) ASSERT_EQ(site.Post({{"name", "kept-" + std::to_string(i)}}).status, 0);
    struct Stopping : QuietFetch {
        bool stop = false;
        void LogLine(const std::string& line) override {
            QuietFetch::LogLine(line);
            stop = stop || line.find("名前を変えました") != std::string::npos;
        }
        bool CancelRequested() override { return stop; }
    } stopping;
    const TConnection connection = PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword);
    const TInboxPrivateKey key(site.KeyFile(), "");
    TInboxStore store(site.KeyFile() + ".inbox"), aside(site.KeyFile() + ".inbox-bad");
    TInboxFetchOptions options;
    options.Settle = std::chrono::milliseconds(50);
    EXPECT_THROW(FetchInbox(*MakeRemoteFiles(connection), site.Project(), key, store, aside, options, stopping), Error)
        << stopping.log;
    EXPECT_FALSE(std::filesystem::exists(store.Path()));
    int onServer = 0;
    for (const auto& file : std::filesystem::directory_iterator(site.Folder()))
        onServer += file.path().filename().string().find("-inbox-") != std::string::npos;
    EXPECT_EQ(onServer, 1);

    QuietFetch listener;
    EXPECT_EQ(FetchInbox(*MakeRemoteFiles(connection), site.Project(), key, store, aside, options, listener).Added, 3u)
        << listener.log;
    for (const auto& file : std::filesystem::directory_iterator(site.Folder()))
        EXPECT_EQ(file.path().filename().string().find("-inbox"), std::string::npos) << file.path();
}

}  // namespace
}  // namespace qp::test
