#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <atomic>
#include <functional>
#include <thread>

#include "../ftp/test_ftp_server.h"
#include "deploy/upload_sequence.h"
#include "model/error.h"
#include "support/ftp_account.h"

namespace qp {
namespace {

using test::PyFtpServer;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

struct RecordingListener : TUploadListener {
    std::vector<std::string> lines;
    std::vector<std::string> progressFiles;
    int pumps = 0;
    std::function<bool()> cancel = [] { return false; };
    std::function<void(const TUploadFile&, std::int64_t)> onProgress = [](const TUploadFile&, std::int64_t) {
    };

    void LogLine(const std::string& line) override { lines.push_back(line); }
    void Progress(const TUploadFile& file, std::int64_t sent, std::int64_t) override {
        if (progressFiles.empty() || progressFiles.back() != file.RemoteFileName)
            progressFiles.push_back(file.RemoteFileName);
        onProgress(file, sent);
    }
    void Pump() override { ++pumps; }
    bool CancelRequested() override { return cancel(); }
};

// The upload of one test: a pyftpdlib server, local files and the commands sent.
class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::mkdir((server.Home() + "/cgi-bin").c_str(), 0755);
        test::WriteFile(local.File("contact.cgi"), cgiText);
        test::WriteFile(local.File("Quillpost.pm"), "package Quillpost;\r\n1;\r\n");
        test::WriteFile(local.File("jcode.pl"), "# jcode\r\n");
        test::WriteFile(local.File("mimew.pl"), "# mimew\r\n");
    }

    TUploadSequence& Sequence(const std::vector<TUploadFile>& files, const std::string& folder,
                              const std::string& password = PyFtpServer::kPassword) {
        sequence = std::make_unique<TUploadSequence>(listener, test::PlainFtp(server.Host(), PyFtpServer::kUser, password));
        sequence->SetUploadFiles(files, folder, "CHMOD");
        sequence->Client().SetLogEnabled(true);
        sequence->Client().SetLogHook([this](TRemoteLogDirection d, const std::string& line) {
            if (d == TRemoteLogDirection::Sent) commands.push_back(line.substr(20));
        });
        return *sequence;
    }
    std::vector<TUploadFile> FourFiles() const {
        return {{local.File("contact.cgi"), "contact.cgi", true},
                {local.File("Quillpost.pm"), "Quillpost.pm", false},
                {local.File("jcode.pl"), "jcode.pl", false},
                {local.File("mimew.pl"), "mimew.pl", false}};
    }
    // The targets of the renames, in order.
    std::vector<std::string> Renamed() const {
        std::vector<std::string> out;
        for (const auto& c : commands)
            if (c.rfind("RNTO ", 0) == 0) out.push_back(c.substr(5, c.find("<EOL>") - 5));
        return out;
    }
    // The names in a folder of the server, sorted.
    std::vector<std::string> Folder(const std::string& path) const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(server.Home() + path))
            out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : commands)
            if (c.rfind(prefix, 0) == 0) ++n;
        return n;
    }
    std::string Stored(const std::string& path) const { return test::ReadFile(server.Home() + path); }
    bool Exists(const std::string& path) const {
        struct stat st {};
        return ::stat((server.Home() + path).c_str(), &st) == 0;
    }
    unsigned Mode(const std::string& path) const {
        struct stat st {};
        ::stat((server.Home() + path).c_str(), &st);
        return st.st_mode & 07777;
    }

    // pyftpdlib stores ASCII-mode uploads with its own line ends.
    static std::string AsStored(std::string sent) {
        std::string out;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if (sent[i] == '\r' && i + 1 < sent.size() && sent[i + 1] == '\n') continue;
            out += sent[i];
        }
        return out;
    }

    const std::string cgiText = "#!/usr/bin/perl\r\nrequire './Quillpost.pm';\r\n# \xa4\xb3\xa4\xf3\r\n";
    PyFtpServer server;
    test::TempDir local;
    RecordingListener listener;
    std::unique_ptr<TUploadSequence> sequence;
    std::vector<std::string> commands;
};

TEST_F(UploadTest, UploadsEveryFileAndSetsThePermissionOfTheScriptOnly) {
    Sequence(FourFiles(), "/cgi-bin").Run();
    EXPECT_THAT(
        listener.lines,
        ElementsAre("contact.cgiをアップロードしました。", "CHMOD 755 contact.cgi",
                    "contact.cgi のアクセス権を設定しました。", "Quillpost.pmをアップロードしました。",
                    "jcode.plをアップロードしました。", "mimew.plをアップロードしました。", "設置が完了しました。"));
    EXPECT_EQ(Stored("/cgi-bin/contact.cgi"), AsStored(cgiText));
    EXPECT_EQ(Stored("/cgi-bin/Quillpost.pm"), "package Quillpost;\n1;\n");
    EXPECT_EQ(Stored("/cgi-bin/mimew.pl"), "# mimew\n");
    EXPECT_EQ(Mode("/cgi-bin/contact.cgi"), 0755u);
    EXPECT_NE(Mode("/cgi-bin/jcode.pl") & 0111, 0111u);
    EXPECT_EQ(Count("SITE "), 1);
    // Each file under a temporary name first, the mode set there, then renamed: the runtime
    // first and the script last; nothing temporary is left.
    EXPECT_EQ(Count("SITE CHMOD 755 .qp-"), 1);
    EXPECT_EQ(Count("STOR .qp-"), 4);
    EXPECT_THAT(Renamed(), ElementsAre("Quillpost.pm", "jcode.pl", "mimew.pl", "contact.cgi"));
    EXPECT_THAT(Folder("/cgi-bin"), ElementsAre("Quillpost.pm", "contact.cgi", "jcode.pl", "mimew.pl"));
    EXPECT_EQ(Count("TYPE A"), 1);
    EXPECT_EQ(Count("ALLO "), 4);  // refused with 202 each time, and the upload goes on
    EXPECT_EQ(Count("QUIT"), 1);
    EXPECT_THAT(listener.progressFiles, ElementsAre("contact.cgi", "Quillpost.pm", "jcode.pl", "mimew.pl"));
    EXPECT_TRUE(sequence->Finished());
    EXPECT_FALSE(sequence->Client().Connected());

    sequence->Run();  // never twice
    EXPECT_EQ(Count("USER "), 1);
}

TEST_F(UploadTest, EmptyListConnectsAndDisconnectsSilently) {
    Sequence({}, "/cgi-bin").Run();
    EXPECT_THAT(listener.lines, ElementsAre("設置が完了しました。"));
    EXPECT_EQ(Count("USER "), 1);
    EXPECT_EQ(Count("STOR"), 0);
    EXPECT_EQ(Count("QUIT"), 1);
    EXPECT_TRUE(sequence->Finished());
}

TEST_F(UploadTest, MissingFileIsLoggedAndSkipped) {
    auto files = FourFiles();
    files[1].LocalFileName = local.File("gone.pm");
    Sequence(files, "/cgi-bin").Run();
    EXPECT_THAT(listener.lines,
                ElementsAre("contact.cgiをアップロードしました。", "CHMOD 755 contact.cgi",
                            "contact.cgi のアクセス権を設定しました。",
                            "[ERROR]" + local.File("gone.pm") + "が見つかりません。",
                            "jcode.plをアップロードしました。", "mimew.plをアップロードしました。",
                            "設置が完了しました。"));
    EXPECT_FALSE(Exists("/cgi-bin/Quillpost.pm"));
    EXPECT_TRUE(Exists("/cgi-bin/mimew.pl"));
}

TEST_F(UploadTest, FolderEqualToTheLoginFolderSendsNoCwd) {
    Sequence(FourFiles(), "/").Run();
    EXPECT_EQ(Count("CWD"), 0);
    EXPECT_EQ(Count("PWD"), 1);
    EXPECT_TRUE(Exists("/contact.cgi"));
}

TEST_F(UploadTest, TrailingSlashStillFindsTheFolder) {
    Sequence(FourFiles(), "/cgi-bin/").Run();
    EXPECT_EQ(Count("CWD /cgi-bin/"), 1);
    EXPECT_TRUE(Exists("/cgi-bin/jcode.pl"));
}

TEST_F(UploadTest, EmptyFolderStaysInTheLoginFolder) {
    Sequence(FourFiles(), "").Run();
    EXPECT_EQ(Count("PWD"), 0);
    EXPECT_EQ(Count("CWD"), 0);
    EXPECT_TRUE(Exists("/contact.cgi"));
}

TEST_F(UploadTest, WrongPasswordWritesNoLogLine) {
    auto& s = Sequence(FourFiles(), "/cgi-bin", "wrong");
    try {
        s.Run();
        FAIL() << "no error";
    } catch (const Error& e) {
        // What a 530 means and what to check, then the server's own reply.
        EXPECT_THAT(e.Message(), HasSubstr("ログインできませんでした。ユーザ名とパスワードを確かめてください。\n530"));
    }
    EXPECT_TRUE(listener.lines.empty());
    EXPECT_TRUE(s.Finished());
    EXPECT_FALSE(s.Client().Connected());
    EXPECT_FALSE(Exists("/cgi-bin/contact.cgi"));
}

// The working site is never half replaced: a cancel, a refused chmod or a failure while the
// files are renamed leaves the release before in place (or says which files are new), and no
// temporary file behind.
TEST_F(UploadTest, AFailedOrCancelledDeployLeavesTheWorkingSiteWhole) {
    const auto oldRelease = [this] {
        for (const char* name : {"contact.cgi", "Quillpost.pm", "jcode.pl", "mimew.pl"})
            test::WriteFile(server.Home() + "/cgi-bin/" + name, std::string("old ") + name + "\n");
    };
    const auto oldReleaseIntact = [this] {
        for (const char* name : {"contact.cgi", "Quillpost.pm", "jcode.pl", "mimew.pl"})
            if (Stored(std::string("/cgi-bin/") + name) != std::string("old ") + name + "\n") return false;
        return Folder("/cgi-bin").size() == 4;
    };

    // Cancelled while the script is sent: the transfer stops, and what arrived is taken back.
    oldRelease();
    std::string big;
    for (int i = 0; i < 200000; ++i) big += "print \"line\";\r\n";
    test::WriteFile(local.File("contact.cgi"), big);
    bool cancelled = false;
    listener.onProgress = [&](const TUploadFile& f, std::int64_t sent) {
        if (f.RemoteFileName == "contact.cgi" && sent > 0) cancelled = true;
    };
    listener.cancel = [&] { return cancelled; };
    Sequence(FourFiles(), "/cgi-bin").Run();
    EXPECT_THAT(listener.lines, ElementsAre("アップロードを中止しました。設置済みのファイルは変更していません。"));
    EXPECT_EQ(Count("DELE .qp-"), 1);
    EXPECT_TRUE(oldReleaseIntact());
    EXPECT_TRUE(sequence->Finished());
    EXPECT_FALSE(sequence->Client().Connected());

    // The server refuses the chmod: the script would not run, so nothing goes live.
    listener.cancel = [] { return false; };
    listener.lines.clear();
    auto& refused = Sequence(FourFiles(), "/cgi-bin");
    refused.SetUploadFiles(FourFiles(), "/cgi-bin", "NOSUCHCOMMAND");
    try {
        refused.Run();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.Message(), HasSubstr("contact.cgiのアクセス権を設定できませんでした: 500 "));
        EXPECT_THAT(e.Message(), HasSubstr("設置済みのファイルは変更していません。"));
    }
    EXPECT_TRUE(oldReleaseIntact());
    EXPECT_FALSE(refused.Client().Connected());

    // A rename that fails half way (jcode.pl cannot be replaced): the message names what is new.
    ::unlink((server.Home() + "/cgi-bin/jcode.pl").c_str());
    ::mkdir((server.Home() + "/cgi-bin/jcode.pl").c_str(), 0755);
    test::WriteFile(server.Home() + "/cgi-bin/jcode.pl/keep", "x");
    try {
        Sequence(FourFiles(), "/cgi-bin").Run();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_THAT(e.Message(), HasSubstr("新しいファイル: Quillpost.pm／元のままのファイル: contact.cgi、jcode.pl、mimew.pl"));
    }
    EXPECT_EQ(Stored("/cgi-bin/Quillpost.pm"), "package Quillpost;\n1;\n");
    EXPECT_EQ(Stored("/cgi-bin/contact.cgi"), "old contact.cgi\n");
    EXPECT_THAT(Folder("/cgi-bin"), ElementsAre("Quillpost.pm", "contact.cgi", "jcode.pl", "mimew.pl"));
}

TEST_F(UploadTest, MissingFolderIsAnError) {
    auto& s = Sequence(FourFiles(), "/nowhere");
    EXPECT_THROW(s.Run(), Error);
    EXPECT_TRUE(listener.lines.empty());
    EXPECT_TRUE(s.Finished());
}

// The server goes away while the script is sent, over FTP and FTPS: the error names the file
// and the step and says the connection was cut; the release before is still whole.
TEST(UploadCut, AServerGoneMidFileIsReportedAsACutOfThatFile) {
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "FTPS" : "FTP");
        PyFtpServer server(tls, 64 * 1024);
        test::WriteFile(server.Home() + "/contact.cgi", "old script\n");
        test::TempDir local;
        test::WriteFile(local.File("contact.cgi"), std::string(512 * 1024, 'x') + "\r\n");
        RecordingListener listener;
        listener.onProgress = [&](const TUploadFile&, std::int64_t sent) {
            if (sent > 128 * 1024) server.Stop();
        };
        TConnection account = test::PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword);
        if (tls) {
            account.Protocol = TFtpProtocol::Ftps;
            account.TrustedFingerprint = server.Fingerprint();
        }
        TUploadSequence sequence(listener, account);
        sequence.SetUploadFiles({{local.File("contact.cgi"), "contact.cgi", true}}, "", "CHMOD");
        std::string message;
        try {
            sequence.Run();
        } catch (const Error& e) {
            message = e.Message();
        }
        EXPECT_THAT(message, HasSubstr("contact.cgiを送信できませんでした: "));
        EXPECT_THAT(message, HasSubstr("接続が切れました"));
        EXPECT_THAT(message, Not(HasSubstr("TLS")));
        EXPECT_THAT(message, HasSubstr("設置済みのファイルは変更していません。"));
        EXPECT_EQ(test::ReadFile(server.Home() + "/contact.cgi"), "old script\n");
    }
}

// A new script and a runtime file of `runtimeBytes` deployed over an old release in the
// server's home; returns the error's message, empty when the deploy went through.
std::string DeployOverAnOldRelease(PyFtpServer& server, std::size_t runtimeBytes) {
    for (const char* name : {"contact.cgi", "Quillpost.pm"})
        test::WriteFile(server.Home() + "/" + name, std::string("old ") + name + "\n");
    test::TempDir local;
    test::WriteFile(local.File("contact.cgi"), "#!/usr/bin/perl\r\n");
    test::WriteFile(local.File("Quillpost.pm"), std::string(runtimeBytes, 'x') + "\r\n");
    RecordingListener listener;
    TUploadSequence sequence(listener, test::PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword));
    sequence.SetUploadFiles({{local.File("contact.cgi"), "contact.cgi", true},
                             {local.File("Quillpost.pm"), "Quillpost.pm", false}},
                            "", "CHMOD");
    try {
        sequence.Run();
    } catch (const Error& e) {
        return e.Message();
    }
    return {};
}

// The old release, whole, and nothing beside it.
bool OnlyTheOldRelease(const PyFtpServer& server) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(server.Home())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names == std::vector<std::string>{"Quillpost.pm", "contact.cgi"} &&
           test::ReadFile(server.Home() + "/contact.cgi") == "old contact.cgi\n" &&
           test::ReadFile(server.Home() + "/Quillpost.pm") == "old Quillpost.pm\n";
}

// The connection is cut while a runtime file is sent, the server still there: the deploy
// logs in once more and takes back what it had sent.
TEST(UploadCut, ACutConnectionTakesBackWhatWasSent) {
    PyFtpServer server(false, 0, 0, 32 * 1024);
    EXPECT_NE(DeployOverAnOldRelease(server, 256 * 1024), "");
    EXPECT_TRUE(OnlyTheOldRelease(server));
}

// The server's disk fills while a runtime file is stored: the server's own reply names the
// reason, what was stored is removed, the release before stays.
TEST(UploadFullDisk, AFullDiskLeavesTheReleaseBeforeAndNothingTemporary) {
    PyFtpServer server(false, 0, 16 * 1024);
    const std::string message = DeployOverAnOldRelease(server, 64 * 1024);
    EXPECT_THAT(message, HasSubstr("Quillpost.pmを送信できませんでした: "));
    EXPECT_THAT(message, testing::ContainsRegex("\n4[25][0-9] "));  // the server's own reply
    EXPECT_THAT(message, HasSubstr("設置済みのファイルは変更していません。"));
    EXPECT_TRUE(OnlyTheOldRelease(server));
}

// Two deploys of different scripts at once: every live file is whole and from one of them,
// and neither leaves a temporary file.
TEST(UploadTogether, TwoDeploysAtOnceNeverMixAFile) {
    PyFtpServer server;
    test::TempDir local;
    const std::string a(300 * 1024, 'a'), b(200 * 1024, 'b');
    test::WriteFile(local.File("a.cgi"), a);
    test::WriteFile(local.File("b.cgi"), b);
    test::WriteFile(local.File("Quillpost.pm"), "package Quillpost;\r\n1;\r\n");
    std::atomic<int> failures{0};
    const auto deploy = [&](const std::string& script) {
        RecordingListener listener;
        TConnection account = test::PlainFtp(server.Host(), PyFtpServer::kUser, PyFtpServer::kPassword);
        account.Passive = true;
        TUploadSequence sequence(listener, account);
        sequence.SetUploadFiles({{local.File(script), "contact.cgi", true}, {local.File("Quillpost.pm"), "Quillpost.pm", false}},
                                "", "CHMOD");
        try {
            sequence.Run();
        } catch (const Error&) {
            ++failures;
        }
    };
    std::thread first(deploy, "a.cgi");
    std::thread second(deploy, "b.cgi");
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    const std::string live = test::ReadFile(server.Home() + "/contact.cgi");
    EXPECT_TRUE(live == a || live == b) << live.size() << " bytes";
    EXPECT_EQ(test::ReadFile(server.Home() + "/Quillpost.pm"), "package Quillpost;\n1;\n");
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(server.Home())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre("Quillpost.pm", "contact.cgi"));
}

TEST(UploadLogText, ProjectTextIsShownAsUtf8) {
    EXPECT_EQ(LogText(test::S("問合せ.cgi")), "問合せ.cgi");
    EXPECT_EQ(LogText("\x82"), "\x82");  // a broken byte is shown rather than refused
}

}  // namespace
}  // namespace qp
