#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "../ftp/test_ftp_server.h"
#include "deploy/folder_browser.h"
#include "deploy/upload_sequence.h"
#include "model/error.h"
#include "support/ftp_account.h"

namespace qp {
namespace {

using test::FakeFtpServer;
using test::PyFtpServer;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct LogListener : TFolderBrowserListener {
    std::vector<std::string> lines;
    int pumps = 0;
    void LogLine(const std::string& line) override { lines.push_back(line); }
    void Pump() override { ++pumps; }
    bool Logged(const std::string& part) const {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
};

std::vector<std::string> Names(const TFolderBrowser& b) {
    std::vector<std::string> out;
    for (const auto& r : b.Rows()) out.push_back(r.Name);
    return out;
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string& h = server.Home();
        test::WriteFile(h + "/beta", "bb");
        ::mkdir((h + "/Alpha").c_str(), 0755);
        test::WriteFile(h + "/alpha.txt", "a");
        ASSERT_EQ(::symlink("Alpha", (h + "/docs").c_str()), 0);
        test::WriteFile(h + "/Alpha/inside.txt", "x");
    }
    PyFtpServer server;
    LogListener listener;
    TFolderBrowser browser{listener, test::PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword)};
};

TEST_F(BrowserTest, StartUpListsTheLoginFolderInOrderWithTheProtocolLog) {
    EXPECT_FALSE(browser.StartUp().has_value());
    EXPECT_THAT(Names(browser), ElementsAre("Alpha", "docs", "alpha.txt", "beta"));
    EXPECT_EQ(browser.GetDirectory(), "/");
    EXPECT_EQ(browser.ComboText(), "/");
    EXPECT_THAT(browser.History(), ElementsAre("/"));
    const auto& rows = browser.Rows();
    EXPECT_EQ(rows[0].ImageIndex, 0);
    EXPECT_EQ(rows[0].Size, "<DIR>");
    EXPECT_EQ(rows[0].Attributes, "rwxr-xr-x");
    EXPECT_EQ(rows[1].ImageIndex, 0);
    EXPECT_EQ(rows[1].Size, "<SLINK>");
    EXPECT_EQ(rows[2].ImageIndex, 1);
    EXPECT_EQ(rows[3].Size, "2");
    EXPECT_FALSE(rows[3].Owner.empty());
    EXPECT_FALSE(rows[3].Date.empty());
    EXPECT_TRUE(listener.Logged(" USER user<EOL>"));
    EXPECT_TRUE(listener.Logged(" LIST<EOL>"));
    EXPECT_FALSE(listener.Logged(" CWD"));  // an empty requested folder: no move
    EXPECT_GE(listener.pumps, 2);

    // The log goes on after the start-up.
    listener.lines.clear();
    browser.Refresh();
    EXPECT_TRUE(listener.Logged(" LIST<EOL>"));
}

// A server that speaks UTF-8 (pyftpdlib announces it): a Japanese folder made in the browser
// and a Japanese script name arrive in UTF-8, show in the project's code, and take the upload.
TEST_F(BrowserTest, JapaneseNamesGoInUtf8ToAServerThatSpeaksIt) {
    ASSERT_FALSE(browser.StartUp().has_value());
    browser.MakeFolder(test::S("問合せ"));
    EXPECT_TRUE(std::filesystem::is_directory(server.Home() + "/問合せ"));
    const std::vector<std::string> names = Names(browser);
    const auto row = std::find(names.begin(), names.end(), test::S("問合せ"));
    ASSERT_NE(row, names.end());
    browser.OpenRow(static_cast<std::size_t>(row - names.begin()));
    EXPECT_EQ(browser.GetDirectory(), test::S("/問合せ"));
    browser.Close();

    test::TempDir local;
    test::WriteFile(local.File("form.cgi"), "#!/usr/bin/perl\r\n");
    struct : TUploadListener {
        void LogLine(const std::string&) override {}
        void Progress(const TUploadFile&, std::int64_t, std::int64_t) override {}
        void Pump() override {}
        bool CancelRequested() override { return false; }
    } uploads;
    TUploadSequence sequence(uploads, test::PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword));
    sequence.SetUploadFiles({{local.File("form.cgi"), test::S("お問合せ.cgi"), true}}, browser.GetDirectory(), "CHMOD");
    sequence.Run();
    EXPECT_EQ(test::ReadFile(server.Home() + "/問合せ/お問合せ.cgi"), "#!/usr/bin/perl\n");
}

TEST_F(BrowserTest, StartUpMovesToTheRequestedFolderOnlyWhenItDiffers) {
    browser.SetDirectory("/");
    EXPECT_FALSE(browser.StartUp().has_value());
    EXPECT_FALSE(listener.Logged(" CWD"));

    LogListener other;
    TFolderBrowser moving(other, test::PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword));
    moving.SetDirectory("/Alpha");
    EXPECT_FALSE(moving.StartUp().has_value());
    EXPECT_EQ(moving.GetDirectory(), "/Alpha");
    EXPECT_THAT(Names(moving), ElementsAre("inside.txt"));
    EXPECT_THAT(moving.History(), ElementsAre("/", "/Alpha"));
    EXPECT_TRUE(other.Logged(" CWD /Alpha<EOL>"));
}

TEST_F(BrowserTest, RequestedFolderThatCannotBeEnteredKeepsTheLoginFolder) {
    browser.SetDirectory("/missing");
    auto error = browser.StartUp();
    ASSERT_TRUE(error.has_value());
    EXPECT_THAT(*error, HasSubstr("550"));
    EXPECT_EQ(browser.GetDirectory(), "/");
    EXPECT_EQ(browser.Rows().size(), 4u);
    EXPECT_TRUE(browser.Client().Connected());
}

TEST_F(BrowserTest, WrongPasswordFailsTheStartUp) {
    TFolderBrowser wrong(listener, test::PlainFtp(server.Host(), PyFtpServer::kUser, "nope"));
    wrong.SetDirectory("/Alpha");
    EXPECT_THROW(wrong.StartUp(), Error);
    EXPECT_TRUE(listener.Logged("530"));
    EXPECT_EQ(wrong.GetDirectory(), "/Alpha");
}

TEST_F(BrowserTest, MovingUpAndAFailedMove) {
    browser.StartUp();
    browser.MoveTo("Alpha");
    EXPECT_EQ(browser.GetDirectory(), "/Alpha");
    EXPECT_THROW(browser.MoveTo("no such folder"), Error);
    EXPECT_EQ(browser.GetDirectory(), "/Alpha");
    EXPECT_THAT(Names(browser), ElementsAre("inside.txt"));
    browser.MoveTo("");  // nothing
    EXPECT_EQ(browser.GetDirectory(), "/Alpha");
    browser.Up();
    EXPECT_EQ(browser.GetDirectory(), "/");
    EXPECT_EQ(browser.Rows().size(), 4u);

    browser.OpenRow(3);  // beta, a file: nothing happens
    EXPECT_EQ(browser.GetDirectory(), "/");
    browser.OpenRow(1);  // docs, a link to Alpha, is entered like a folder
    EXPECT_EQ(browser.GetDirectory(), "/docs");
    EXPECT_THAT(Names(browser), ElementsAre("inside.txt"));
}

TEST_F(BrowserTest, HistoryIsSortedAndHoldsEachFolderOnce) {
    const std::string& h = server.Home();
    for (const char* d : {"/zeta", "/Beta", "/alpha"}) ::mkdir((h + d).c_str(), 0755);
    browser.StartUp();
    for (const char* d : {"/zeta", "/Beta", "/Alpha", "/alpha", "/zeta", "/"}) browser.MoveTo(d);
    EXPECT_THAT(browser.History(), ElementsAre("/", "/Alpha", "/alpha", "/Beta", "/zeta"));
}

TEST_F(BrowserTest, MakeAndDelete) {
    browser.StartUp();
    browser.MakeFolder("new");
    EXPECT_THAT(Names(browser), ElementsAre("Alpha", "docs", "new", "alpha.txt", "beta"));

    // A folder that is not empty: the server's refusal reaches the caller, nothing refreshed.
    ::unlink((server.Home() + "/beta").c_str());
    try {
        browser.Delete(0);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.Message(), HasSubstr("550"));
    }
    EXPECT_THAT(Names(browser), ElementsAre("Alpha", "docs", "new", "alpha.txt", "beta"));

    browser.Delete(2);  // the empty folder, by RMD
    browser.Delete(2);  // alpha.txt, by DELE
    EXPECT_THAT(Names(browser), ElementsAre("Alpha", "docs"));
    struct stat st {};
    EXPECT_NE(::stat((server.Home() + "/new").c_str(), &st), 0);
    EXPECT_THROW(browser.MakeFolder("Alpha"), Error);
    browser.Close();
    EXPECT_FALSE(browser.Client().Connected());
    browser.Refresh();
    EXPECT_TRUE(browser.Rows().empty());
    EXPECT_EQ(browser.ComboText(), "");
}

TEST(FolderBrowserFake, FailedListingGoesToTheLogAndLeavesNoRows) {
    FakeFtpServer server([](FakeFtpServer::Session& s) {
        s.Send("220 ready\r\n");
        s.Read();
        s.Send("230 ok\r\n");
        for (;;) {
            std::string cmd = s.Read();
            if (cmd.empty() || cmd == "QUIT") {
                s.Send("221 bye\r\n");
                return;
            }
            if (cmd == "PWD")
                s.Send("257 \"/home/u\"\r\n");
            else if (cmd.rfind("PORT", 0) == 0)
                s.Send("200 ok\r\n");
            else if (cmd == "LIST")
                s.Send("550-Cannot list\r\n  because of reasons\r\n550 end\r\n");
            else
                s.Send("502 no\r\n");
        }
    });
    LogListener listener;
    {
        TFolderBrowser browser(listener, test::PlainFtp(server.Host(), "u", "p"));
        browser.StartUp();
        listener.lines.clear();
        browser.Refresh();
        EXPECT_TRUE(browser.Rows().empty());
        EXPECT_EQ(browser.GetDirectory(), "/home/u");
        EXPECT_EQ(browser.ComboText(), "/home/u");
        // The traffic, then what a 550 usually means and every line of the reply that is not
        // blank, untrimmed.
        EXPECT_TRUE(listener.Logged(" LIST<EOL>"));
        const auto at = std::find_if(listener.lines.begin(), listener.lines.end(), [](const std::string& line) {
            return line.find("アクセス権を確かめてください") != std::string::npos;
        });
        ASSERT_LE(at + 4, listener.lines.end());
        EXPECT_THAT(std::vector<std::string>(at, at + 4),
                    ElementsAre(HasSubstr("アクセス権を確かめてください"), "550-Cannot list", "  because of reasons", "550 end"));
    }
}

TEST(FolderRows, ColumnsAndOrder) {
    TFtpListEntry file;
    file.Name = "a";
    file.Size = 1234;
    file.Modified = TFtpDateTime{2026, 3, 1, 0, 0, true};
    file.OwnerPermissions = "rw-";
    file.GroupPermissions = "r--";
    file.OtherPermissions = "r--";
    file.Owner = "me";
    TFolderRow row = TFolderBrowser::MakeRow(file);
    EXPECT_EQ(row.Date, "2026-03-01");
    EXPECT_EQ(row.Size, "1234");
    EXPECT_EQ(row.Attributes, "rw-r--r--");
    EXPECT_EQ(row.Owner, "me");
    EXPECT_EQ(row.ImageIndex, 1);
    file.Modified = TFtpDateTime{2026, 3, 1, 0, 5, true};
    EXPECT_EQ(TFolderBrowser::MakeRow(file).Date, "2026-03-01 00:05");
    file.Kind = TFtpEntryKind::Other;
    file.Size = -1;
    EXPECT_EQ(TFolderBrowser::MakeRow(file).Size, "");

    auto rowOf = [](const std::string& name, int icon) {
        TFolderRow r;
        r.Name = name;
        r.ImageIndex = icon;
        return r;
    };
    EXPECT_LT(TFolderBrowser::CompareRows(rowOf("zzz", 0), rowOf("aaa", 1)), 0);
    EXPECT_EQ(TFolderBrowser::CompareRows(rowOf("ABC", 1), rowOf("abc", 1)), 0);
    EXPECT_LT(TFolderBrowser::CompareRows(rowOf("abc", 1), rowOf("ABCD", 1)), 0);
    // Letters fold to upper case: "a" sorts before "_" (0x5F) as "A" (0x41) does.
    EXPECT_LT(CompareNoCase("a", "_"), 0);
    EXPECT_GT(CompareNoCase("\x82\xa0", "z"), 0);  // other bytes by value, unsigned
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

// A listing that never arrives must end the start-up with the server's reply or the timeout,
// not with a later "not connected".
TEST(FolderBrowserFake, ListingThatNeverArrivesReportsWhatHappened) {
    for (bool serverSpeaks : {true, false}) {
        SCOPED_TRACE(serverSpeaks);
        FakeFtpServer server([&](FakeFtpServer::Session& s) {
            s.Send("220 ready\r\n");
            s.Read();
            s.Send("230 ok\r\n");
            if (s.Read() != "EPSV") return;
            s.Send("229 ok (|||" + std::to_string(s.OpenPassive()) + "|)\r\n");
            s.Read();
            s.Send("150 here\r\n");
            int fd = s.AcceptPassive();
            if (serverSpeaks) s.Send("425 Data connection lost\r\n");
            s.Read();
            ::close(fd);
        });
        LogListener listener;
        TFolderBrowser browser(listener, test::PlainFtp(server.Host(), "u", "p"));
        browser.Client().SetPassive(true);
        browser.Client().SetReplyTimeout(std::chrono::milliseconds(300));
        std::string message;
        try {
            browser.StartUp();
        } catch (const Error& e) {
            message = e.Message();
        }
        if (serverSpeaks) {
            EXPECT_THAT(message, HasSubstr("パッシブモードを切り替えて"));
            EXPECT_THAT(message, HasSubstr("\n425 Data connection lost"));
        } else {
            EXPECT_EQ(message, "一覧を受信できません（タイムアウト）");
        }
        browser.Close();
    }
}

}  // namespace
}  // namespace qp
