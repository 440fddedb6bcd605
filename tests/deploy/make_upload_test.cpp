#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "../ftp/test_ftp_server.h"
#include "deploy/make_upload.h"
#include "generate/make_driver.h"
#include "model/error.h"
#include "model/item_text.h"
#include "support/guard_secret_mask.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using test::PyFtpServer;
using test::S;
using test::TempDir;
using test::WriteFile;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A project that passes the make checks, uploading to /cgi-bin of host.
std::unique_ptr<TProjectConfig> UploadProject(const std::string& host) {
    auto p = std::make_unique<TProjectConfig>();
    auto item = std::make_unique<TProjectItemText>("item1");
    item->SetNameValue(S("ご意見"));
    p->AddItem(std::move(item));
    p->SetManagerMailFrom("form@example.com");
    p->SetManagerMailTo("admin@example.com");
    p->SetManagerMailSubject(S("ご意見"));
    p->SetFormHtml(S("<p>フォーム</p>\r\n<p>二行目</p>"));
    p->SetFinishPageMoveType(1);
    p->SetFinishPageLocation("https://example.com/thanks.html");
    p->SetFtpHostName(host);
    p->SetFtpUserName(PyFtpServer::kUser);
    p->SetFtpPassword(PyFtpServer::kPassword);
    p->SetSavePassword(true);
    p->SetFtpFileName("contact.cgi");
    p->SetFtpDirectory("/cgi-bin");
    p->SetFtpProtocol(TFtpProtocol::Ftp);
    return p;
}

std::string WithoutCr(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out += s[i];
    return out;
}

TEST(MakeUpload, ListHasTheFourEntriesInOrder) {
    auto list = MakeUploadList("/tmp/x1", "form.cgi", "/opt/qp/lib");
    EXPECT_THAT(list, ElementsAre(TUploadFile("/tmp/x1", "form.cgi", true),
                                  TUploadFile("/opt/qp/lib/Quillpost.pm", "Quillpost.pm", false),
                                  TUploadFile("/opt/qp/lib/jcode.pl", "jcode.pl", false),
                                  TUploadFile("/opt/qp/lib/mimew.pl", "mimew.pl", false)));
    EXPECT_EQ(MakeUploadList("t", "c", "/lib/")[1].LocalFileName, "/lib/Quillpost.pm");
}

TEST(MakeUpload, SupportFolderBesideTheProgramThenInstalledThenTheSystems) {
    TempDir root;
    const std::string bin = root.File("usr/bin");
    const std::string system = root.File("system/");
    std::filesystem::create_directories(bin);
    EXPECT_EQ(FindSupportFolder(bin, system), bin + "/lib/");  // nowhere: named where a build has it
    for (const std::string& folder : {system, root.File("usr/share/quillpost/lib/"), bin + "/lib/"}) {
        std::filesystem::create_directories(folder);
        WriteFile(folder + "Quillpost.pm", "1;\n");
        EXPECT_EQ(FindSupportFolder(bin, system), folder);
    }
}

TEST(MakeUpload, ChecksRunInOrderAndWriteNothingOnFailure) {
    TProjectConfig empty;  // fails both checks: the make check is reported
    std::string message;
    try {
        PrepareUpload(empty, "/lib");
    } catch (const Error& e) {
        message = e.Message();
    }
    EXPECT_EQ(message.substr(0, message.find('\n')), "項目が設定されていません。");

    auto p = UploadProject("");
    EXPECT_THROW(PrepareUpload(*p, "/lib"), Error);
}

TEST(MakeUpload, JobCarriesTheScriptAndTheAccount) {
    auto p = UploadProject("example.com:2121");
    p->SetFtpPassive(true);
    TUploadJob job = PrepareUpload(*p, "/opt/lib");
    EXPECT_EQ(test::MaskGuardSecret(test::ReadFile(job.TempFile)), test::MaskGuardSecret(MakeCgiText(*p)));
    EXPECT_EQ(job.Files, MakeUploadList(job.TempFile, "contact.cgi", "/opt/lib"));
    EXPECT_EQ(job.Connection.Host, "example.com:2121");
    EXPECT_EQ(job.Directory, "/cgi-bin");
    EXPECT_EQ(job.ChmodCommand, "CHMOD");
    EXPECT_TRUE(job.Connection.Passive);
    // The script's copy holds the make's secret: it goes with the job.
    const std::string temp = job.TempFile;
    { const TUploadJob ended = std::move(job); }
    EXPECT_FALSE(std::filesystem::exists(temp));
}

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

CliResult RunCli(const std::vector<std::string>& args, const test::TempDir& dir, const std::string& env = "") {
    std::string command = env + " " + std::string(QP_BINARY_DIR) + "/quillpost-cli";
    for (const auto& a : args) command += " '" + a + "'";
    const test::ShellResult run = test::RunShell(command + " 2>'" + dir.File("stderr") + "'");
    return {run.status, run.out, test::ReadFile(dir.File("stderr"))};
}

class CliUploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::mkdir((server.Home() + "/cgi-bin").c_str(), 0755);
        ::mkdir(lib.File("lib").c_str(), 0755);
        test::WriteFile(lib.File("lib/Quillpost.pm"), "package Quillpost;\r\n1;\r\n");
        test::WriteFile(lib.File("lib/jcode.pl"), "# jcode\r\n");
        test::WriteFile(lib.File("lib/mimew.pl"), "# mimew\r\n");
    }
    std::string Save(const TProjectConfig& p) {
        p.SaveToFile(lib.File("p.qpf"));
        return lib.File("p.qpf");
    }
    PyFtpServer server;
    test::TempDir lib;
};

TEST_F(CliUploadTest, UploadsTheScriptAndTheSupportFiles) {
    auto p = UploadProject(server.Host());
    for (bool passive : {false, true}) {
        std::vector<std::string> args = {"upload", Save(*p), "--lib", lib.File("lib")};
        if (passive) args.push_back("--passive");
        CliResult r = RunCli(args, lib);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out,
                  "contact.cgiをアップロードしました。\nCHMOD 755 contact.cgi\n"
                  "contact.cgi のアクセス権を設定しました。\nQuillpost.pmをアップロードしました。\n"
                  "jcode.plをアップロードしました。\nmimew.plをアップロードしました。\n設置が完了しました。\n");
        TProjectConfig loaded;
        loaded.LoadFromFile(lib.File("p.qpf"));
        EXPECT_EQ(test::MaskGuardSecret(test::ReadFile(server.Home() + "/cgi-bin/contact.cgi")),
                  test::MaskGuardSecret(WithoutCr(MakeCgiText(loaded))));
        EXPECT_EQ(test::ReadFile(server.Home() + "/cgi-bin/jcode.pl"), "# jcode\n");
        struct stat st {};
        ::stat((server.Home() + "/cgi-bin/contact.cgi").c_str(), &st);
        EXPECT_EQ(st.st_mode & 0777, 0755u);
        ::unlink((server.Home() + "/cgi-bin/contact.cgi").c_str());
    }
}

// A password the file does not keep comes from QUILLPOST_FTP_PASSWORD (or the terminal);
// without either, nothing is sent and the user is told why.
TEST_F(CliUploadTest, PasswordNotKeptInTheFileComesFromTheEnvironment) {
    auto p = UploadProject(server.Host());
    p->SetSavePassword(false);
    const std::string project = Save(*p);
    EXPECT_EQ(test::ReadFile(project).find(PyFtpServer::kPassword), std::string::npos);
    CliResult r = RunCli({"upload", project, "--lib", lib.File("lib")}, lib, "QUILLPOST_FTP_PASSWORD= ");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("パスワードが設定されていません。"));
    EXPECT_FALSE(std::filesystem::exists(server.Home() + "/cgi-bin/contact.cgi"));
    const std::string env = std::string("QUILLPOST_FTP_PASSWORD='") + PyFtpServer::kPassword + "'";
    r = RunCli({"upload", project, "--lib", lib.File("lib")}, lib, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(server.Home() + "/cgi-bin/contact.cgi"));
    EXPECT_EQ(RunCli({"ls", project}, lib, env).status, 0);
}

// Ctrl+C while a runtime file is on its way: the transfer stops, everything sent is removed,
// the release before stays live, and the exit status says it was interrupted.
TEST(CliUploadInterrupt, CtrlCLeavesTheWorkingSiteWholeAndExits130) {
    PyFtpServer server(false, 128 * 1024);
    test::TempDir lib;
    const std::string folder = server.Home() + "/cgi-bin";
    ::mkdir(folder.c_str(), 0755);
    for (const char* name : {"contact.cgi", "Quillpost.pm", "jcode.pl", "mimew.pl"})
        test::WriteFile(folder + "/" + name, std::string("old ") + name + "\n");
    ::mkdir(lib.File("lib").c_str(), 0755);
    test::WriteFile(lib.File("lib/Quillpost.pm"), std::string(512 * 1024, 'x') + "\r\n");
    test::WriteFile(lib.File("lib/jcode.pl"), "# jcode\r\n");
    test::WriteFile(lib.File("lib/mimew.pl"), "# mimew\r\n");
    UploadProject(server.Host())->SaveToFile(lib.File("p.qpf"));

    const std::string cli = std::string(QP_BINARY_DIR) + "/quillpost-cli";
    const std::string out = lib.File("out");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execl(cli.c_str(), cli.c_str(), "upload", lib.File("p.qpf").c_str(), "--lib", lib.File("lib").c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto sending = [&] {
        for (const auto& e : std::filesystem::directory_iterator(folder))
            if (e.path().filename().string().find("Quillpost.pm") != std::string::npos &&
                e.path().filename().string().rfind(".qp-", 0) == 0)
                return true;
        return false;
    };
    for (int i = 0; i < 400 && !sending(); ++i) ::usleep(50 * 1000);
    ASSERT_TRUE(sending()) << test::ReadFile(out);
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << test::ReadFile(out);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_THAT(test::ReadFile(out), HasSubstr("アップロードを中止しました。設置済みのファイルは変更していません。"));
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_THAT(names, ElementsAre("Quillpost.pm", "contact.cgi", "jcode.pl", "mimew.pl"));
    EXPECT_EQ(test::ReadFile(folder + "/contact.cgi"), "old contact.cgi\n");
    EXPECT_EQ(test::ReadFile(folder + "/Quillpost.pm"), "old Quillpost.pm\n");
}

TEST_F(CliUploadTest, RefusedProjectAndNetworkFailureHaveTheirExitCodes) {
    auto p = UploadProject(server.Host());
    p->SetFtpFileName("");
    CliResult r = RunCli({"upload", Save(*p)}, lib);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("CGIのファイル名が設定されていません。"));
    EXPECT_EQ(r.out, "");

    p = UploadProject(server.Host());
    p->SetFtpPassword("wrong");
    r = RunCli({"upload", Save(*p), "--lib", lib.File("lib")}, lib);
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("530"));
    EXPECT_EQ(r.out, "");

    r = RunCli({"upload"}, lib);
    EXPECT_EQ(r.status, 2);
}

TEST_F(CliUploadTest, ListsAFolderInTheBrowsersOrder) {
    const std::string& h = server.Home();
    test::WriteFile(h + "/cgi-bin/beta", "12345");
    ::mkdir((h + "/cgi-bin/Alpha").c_str(), 0755);
    test::WriteFile(h + "/cgi-bin/alpha.txt", "");
    ASSERT_EQ(::symlink("Alpha", (h + "/cgi-bin/docs").c_str()), 0);
    auto p = UploadProject(server.Host());
    CliResult r = RunCli({"ls", Save(*p)}, lib);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < r.out.size()) {
        std::size_t nl = r.out.find('\n', start);
        lines.push_back(r.out.substr(start, nl - start));
        start = nl + 1;
    }
    ASSERT_EQ(lines.size(), 4u) << r.out;
    EXPECT_EQ(lines[0].substr(0, 6), "Alpha\t");
    EXPECT_THAT(lines[0], HasSubstr("\t<DIR>\trwxr-xr-x\t"));
    EXPECT_THAT(lines[1], HasSubstr("\t<SLINK>\trwxrwxrwx\t"));
    EXPECT_EQ(lines[2].substr(0, 10), "alpha.txt\t");
    EXPECT_TRUE(
        std::regex_match(lines[3], std::regex(R"(beta\t\d{4}-\d\d-\d\d( \d\d:\d\d)?\t5\trw-r--r--\t\S+)")))
        << lines[3];

    r = RunCli({"ls", Save(*p), "/cgi-bin/Alpha"}, lib);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = RunCli({"ls", Save(*p), "/nowhere"}, lib);
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("550"));
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

// A server that logs anyone in, sits in /cgi-bin, and answers LIST (passive) and ALLO as told.
std::function<void(test::FakeFtpServer::Session&)> Responder(std::string listReply, std::string listing,
                                                             std::string alloReply) {
    return [=](test::FakeFtpServer::Session& s) {
        s.Send("220 ready\r\n");
        for (;;) {
            std::string cmd = s.Read();
            if (cmd.empty()) return;
            if (cmd.rfind("USER", 0) == 0)
                s.Send("230 ok\r\n");
            else if (cmd == "PWD")
                s.Send("257 \"/cgi-bin\"\r\n");
            else if (cmd == "EPSV")
                s.Send("229 ok (|||" + std::to_string(s.OpenPassive()) + "|)\r\n");
            else if (cmd == "LIST") {
                s.Send(listReply);
                if (listReply[0] == '1') {
                    s.SendPassiveData(listing);
                    s.Send("226 done\r\n");
                }
            } else if (cmd.rfind("ALLO", 0) == 0)
                s.Send(alloReply);
            else if (cmd == "QUIT")
                s.Send("221 bye\r\n");
            else
                s.Send("502 no\r\n");
        }
    };
}

TEST_F(CliUploadTest, ServerErrorsFailTheCommandWithTheServersReply) {
    test::FakeFtpServer refusing(Responder("550 Permission denied\r\n", "", "200 ok\r\n"));
    CliResult r = RunCli({"ls", Save(*UploadProject(refusing.Host())), "--passive"}, lib);
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("550 Permission denied"));
    EXPECT_EQ(r.out, "");

    test::FakeFtpServer closing(Responder("150 x\r\n", "", "421 Service closing\r\n"));
    r = RunCli({"upload", Save(*UploadProject(closing.Host())), "--lib", lib.File("lib"), "--passive"}, lib);
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("421 Service closing"));
}

TEST_F(CliUploadTest, NamesWithControlCharactersAreListedEscaped) {
    test::FakeFtpServer hostile(Responder(
        "150 here\r\n", "-rw-r--r-- 1 own\x1b[2J grp 3 Jan  1  2024 a\tb\x1b]0;title\x07\x1b[2J.txt\r\n",
        "200 ok\r\n"));
    CliResult r = RunCli({"ls", Save(*UploadProject(hostile.Host())), "--passive"}, lib);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a\\x09b\\x1B]0;title\\x07\\x1B[2J.txt\t2024-01-01\t3\trw-r--r--\town\\x1B[2J\n");
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

TEST_F(CliUploadTest, FtpsTrustsOnlyWhatTheUserNamedAndSavesItOnRequest) {
    PyFtpServer tls(true);
    ::mkdir((tls.Home() + "/cgi-bin").c_str(), 0755);
    auto p = UploadProject(tls.Host());
    p->SetFtpProtocol(TFtpProtocol::Ftps);
    const std::string project = Save(*p);
    const std::string fp = tls.Fingerprint();

    CliResult r = RunCli({"ls", project}, lib);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr(fp));
    EXPECT_THAT(r.err, HasSubstr("--trust-cert"));
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--trust-cert", "SHA256:12"}, {"--save"}, {"--protocol", "scp"}}) {
        std::vector<std::string> args = {"ls", project};
        args.insert(args.end(), bad.begin(), bad.end());
        EXPECT_EQ(RunCli(args, lib).status, 2) << bad[0];
    }
    EXPECT_THAT(tls.Commands(), ::testing::Not(HasSubstr("PASS")));

    r = RunCli({"upload", project, "--lib", lib.File("lib"), "--passive", "--trust-cert", fp, "--save"}, lib);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("TLSで暗号化しました"));
    EXPECT_THAT(r.out, HasSubstr("mimew.plをアップロードしました。"));
    EXPECT_EQ(test::ReadFile(tls.Home() + "/cgi-bin/jcode.pl"), "# jcode\n");
    TProjectConfig saved;
    saved.LoadFromFile(project);
    EXPECT_EQ(saved.GetFtpTrustedCert(), fp);

    r = RunCli({"ls", project}, lib);  // active mode, trusted from the project now
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("contact.cgi\t"));

    // Clear FTP to a server that requires TLS, and FTPS to one without: refused either way.
    r = RunCli({"ls", project, "--protocol", "ftp"}, lib);
    EXPECT_EQ(r.status, 3);
    p = UploadProject(server.Host());
    p->SetFtpProtocol(TFtpProtocol::Ftps);
    r = RunCli({"ls", Save(*p)}, lib);
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("接続方式"));
    EXPECT_THAT(server.Commands(), ::testing::Not(HasSubstr("PASS")));
}

}  // namespace
}  // namespace qp
