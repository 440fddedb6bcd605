// quillpost-cli run as a separate process: exit status, standard output and error, and the
// files it writes (or leaves alone when a command fails).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "generate/make_driver.h"
#include "generate/sample_pages.h"
#include "model/charset.h"
#include "model/ini_file.h"
#include "model/item_checkbox.h"
#include "model/project_config.h"
#include "support/guard_secret_mask.h"
#include "support/sjis_literal.h"

extern char** environ;

namespace qp::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result RunCli(const std::vector<std::string>& args) {
    TempDir io;
    const std::string outPath = io.File("stdout"), errPath = io.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> argv = {QP_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid = 0;
    Result r;
    if (posix_spawn(&pid, QP_CLI_PATH, &actions, nullptr, cargv.data(), environ) == 0) {
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

std::string Example() {
    return std::string(QP_SOURCE_DIR) + "/examples/contact.qpf";
}

TProjectConfig& Load(TProjectConfig& p, const std::string& path) {
    p.LoadFromFile(path);
    return p;
}

// A project that loads but fails CheckForMake at its first check.
std::string WriteProjectWithoutItems(const TempDir& dir) {
    TProjectConfig p;
    p.SetFormHtml("<p>x</p>");
    const std::string path = dir.File("noitems.qpf");
    p.SaveToFile(path);
    return path;
}

TEST(Cli, VersionHelpAndUsageErrors) {
    Result r = RunCli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("quillpost-cli ", 0), 0u) << r.out;
    r = RunCli({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* usage : {"make PROJECT.qpf -o FILE", "check [--upload] PROJECT.qpf",
                              "sample form|confirm PROJECT.qpf [-o FILE] [--encoding shift_jis|euc-jp|utf-8] [--style html5|xhtml]",
                              "shf PROJECT.qpf -o FILE"}) {
        EXPECT_NE(r.out.find(usage), std::string::npos) << usage;
    }
    EXPECT_EQ(RunCli({}).status, 2);
    EXPECT_EQ(RunCli({"build", Example()}).status, 2);
    EXPECT_EQ(RunCli({"--version", "x"}).status, 2);
    EXPECT_EQ(RunCli({"make", Example()}).status, 2);        // no -o
    EXPECT_EQ(RunCli({"make", Example(), "-o"}).status, 2);  // -o without value
    EXPECT_EQ(RunCli({"make", Example(), Example(), "-o", "/tmp/x"}).status, 2);
    EXPECT_EQ(RunCli({"make", Example(), "-o", "a", "-o", "b"}).status, 2);
    EXPECT_EQ(RunCli({"check", "--uplaod", Example()}).status, 2);
    EXPECT_EQ(RunCli({"sample", "finish", Example()}).status, 2);
    EXPECT_EQ(RunCli({"sample", "form", Example(), "--encoding", "latin1"}).status, 2);
    EXPECT_EQ(RunCli({"sample", "form", Example(), "--style", "html4"}).status, 2);
    EXPECT_EQ(RunCli({"shf", Example()}).status, 2);
    r = RunCli({"make", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("make PROJECT.qpf -o FILE"), std::string::npos);
}

TEST(Cli, MakeWritesTheScriptAndReportsSuccess) {
    TempDir dir;
    const std::string out = dir.File("contact.cgi");
    WriteFile(out, "an older script");
    const Result r = RunCli({"make", Example(), "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "作成しました。\njcode.pl、mimew.pl、Quillpost.pmも一緒に設置してください。\n");
    EXPECT_EQ(r.err, "");
    TProjectConfig p;
    EXPECT_TRUE(MaskGuardSecret(ReadFile(out)) == MaskGuardSecret(MakeCgiText(Load(p, Example()))));
    EXPECT_EQ(ReadFile(out).rfind("#!/usr/bin/perl --\r\n", 0), 0u);
    // Options may come first, and "--opt=value" is accepted for long options.
    EXPECT_EQ(RunCli({"make", "-o", dir.File("b.cgi"), Example()}).status, 0);
    // The same script but for the key of the form's defences, which every make draws anew.
    EXPECT_TRUE(MaskGuardSecret(ReadFile(dir.File("b.cgi"))) == MaskGuardSecret(ReadFile(out)));
    EXPECT_TRUE(ReadFile(dir.File("b.cgi")) != ReadFile(out));
}

TEST(Cli, MakeAndSampleFollowTheProjectsCharacterCode) {
    TempDir dir;
    std::string text = ReadFile(Example());
    const std::size_t end = text.find("\r\n", text.find("SendmailPath="));
    ASSERT_NE(end, std::string::npos);
    text.insert(end + 2, "Charset=UTF-8\r\n");
    const std::string project = dir.File("utf8.qpf");
    WriteFile(project, text);

    ASSERT_EQ(RunCli({"make", project, "-o", dir.File("form.cgi")}).status, 0);
    const std::string script = ReadFile(dir.File("form.cgi"));
    EXPECT_NE(script.find("CHARSET => 'UTF-8', GUARD => $guard);\r\n"), std::string::npos);
    EXPECT_NE(script.find("お問い合わせ"), std::string::npos);  // UTF-8 bytes
    // The sample page declares UTF-8 whatever encoding it is written in.
    const Result r = RunCli({"sample", "form", project, "--encoding", "euc-jp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("<meta charset=\"utf-8\">"), std::string::npos);
}

TEST(Cli, RefusedProjectWritesNothing) {
    TempDir dir;
    const std::string out = dir.File("form.cgi");
    WriteFile(out, "keep");
    Result r = RunCli({"make", WriteProjectWithoutItems(dir), "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "項目が設定されていません。\nメールのFromが設定されていません。\nメールのToが設定されていません。\n"
              "メールのSubjectが設定されていません。\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFile(out), "keep");

    // A project file that does not load: the loader's own message.
    const std::string broken = dir.File("broken.qpf");
    WriteFile(broken, "[ITEM]\r\nItemCount=1\r\n\r\n[ITEM_0]\r\nType=BUTTON\r\nNameAttr=x\r\n");
    r = RunCli({"make", broken, "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "不正なデータ型です。\n");
    EXPECT_EQ(ReadFile(out), "keep");
    EXPECT_EQ(RunCli({"sample", "form", broken}).status, 1);
    EXPECT_EQ(RunCli({"shf", broken, "-o", dir.File("x.SHF")}).status, 1);
    EXPECT_FALSE(fs::exists(dir.File("x.SHF")));

    // A file that is no project at all is refused, not taken for an empty project.
    const std::string binary = dir.File("photo.qpf");
    WriteFile(binary, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    r = RunCli({"make", binary, "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "「photo.qpf」はQuillpostのプロジェクトファイルではありません。(文字でないデータを含んでいます)\n");
    EXPECT_EQ(ReadFile(out), "keep");
}

TEST(Cli, MissingOrUnreadableProjectIsAFileError) {
    TempDir dir;
    const std::string out = dir.File("form.cgi");
    for (const auto& cmd : std::vector<std::vector<std::string>>{
             {"make", dir.File("missing.qpf"), "-o", out},
             {"check", dir.File("missing.qpf")},
             {"sample", "confirm", dir.File("missing.qpf"), "-o", out},
             {"shf", dir.File("missing.qpf"), "-o", out},
             {"make", dir.Path(), "-o", out},
         }) {
        const Result r = RunCli(cmd);
        EXPECT_EQ(r.status, 3) << cmd[0] << " " << r.err;
        EXPECT_NE(r.err, "");
    }
    EXPECT_FALSE(fs::exists(out));
}

TEST(Cli, UnwritableOutputIsAFileError) {
    TempDir dir;
    for (const auto& cmd : std::vector<std::vector<std::string>>{
             {"make", Example(), "-o", dir.File("no/such/form.cgi")},
             {"sample", "form", Example(), "-o", dir.File("no/such/form.html")},
             {"shf", Example(), "-o", dir.File("no/such/contact.SHF")},
             {"make", Example(), "-o", dir.Path()},
         }) {
        const Result r = RunCli(cmd);
        EXPECT_EQ(r.status, 3) << cmd[0] << " " << r.err;
        EXPECT_EQ(r.out, "") << cmd[0];
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 0);
}

TEST(Cli, CheckIsSilentOnSuccess) {
    Result r = RunCli({"check", Example()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    r = RunCli({"check", "--upload", Example()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ホスト名(アドレス)が設定されていません。\nユーザ名が設定されていません。\n");

    TempDir dir;
    TProjectConfig p;
    Load(p, Example());
    p.SetFtpHostName("ftp.example.com");
    p.SetFtpUserName("user");
    p.SetFtpPassword("secret");
    const std::string path = dir.File("ftp.qpf");
    p.SaveToFile(path);
    r = RunCli({"check", "--upload", path});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    // The make checks come first.
    r = RunCli({"check", "--upload", WriteProjectWithoutItems(dir)});
    EXPECT_EQ(r.err,
              "項目が設定されていません。\nメールのFromが設定されていません。\nメールのToが設定されていません。\n"
              "メールのSubjectが設定されていません。\n");
    // A defence out of range in the file is refused by name.
    std::string text = ReadFile(path);
    const std::string key = "MinSeconds=3";
    ASSERT_NE(text.find(key), std::string::npos);
    text.replace(text.find(key), key.size(), "MinSeconds=-1");
    WriteFile(path, text);
    r = RunCli({"check", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "迷惑送信対策の「送信までの最短時間(秒)」は0から3600までの数で、フォームの有効期間より短くしてください。\n");
}

TEST(Cli, SamplePagesInEachEncoding) {
    TProjectConfig p;
    Load(p, Example());
    const std::string form = MakeFormSampleHtml(p);
    const std::string confirm = MakeConfirmSampleHtml(p);

    Result r = RunCli({"sample", "form", Example()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == form);
    r = RunCli({"sample", "confirm", Example(), "--encoding", "utf-8"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == charset::SjisToUtf8(confirm));
    EXPECT_NE(r.out.find("修正"), std::string::npos);
    r = RunCli({"sample", "confirm", Example(), "--encoding=euc-jp"});
    EXPECT_TRUE(r.out == charset::SjisToEucJp(confirm));
    // The example is HTML5; the older style is one option away.
    EXPECT_EQ(form.rfind("<!DOCTYPE html>\r\n", 0), 0u);
    r = RunCli({"sample", "form", Example(), "--style", "xhtml"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == MakeFormSampleHtml(p, TPageStyle::Xhtml));

    TempDir dir;
    r = RunCli({"sample", "form", Example(), "-o", dir.File("form.html"), "--encoding", "shift_jis"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(ReadFile(dir.File("form.html")) == form);
}

TEST(Cli, ConverterFileMergesAndSkipsChecks) {
    TempDir dir;
    const std::string out = dir.File("contact.SHF");
    WriteFile(out, "[OPTION]\r\nOUTPUT=out.csv\r\n\r\n[EML]\r\nPARAM=12\r\nPARAM_KEY11=old=\r\n\r\n");
    Result r = RunCli({"shf", Example(), "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    TIniFile shf(out);
    EXPECT_EQ(shf.ReadString("OPTION", "OUTPUT", ""), "out.csv");
    EXPECT_EQ(shf.ReadString("EML", "PARAM", ""), "9");
    EXPECT_EQ(shf.ReadString("EML", "PARAM_KEY0", ""), S("お名前="));
    EXPECT_EQ(shf.ReadString("EML", "PARAM_KEY11", ""), "old=");
    EXPECT_EQ(shf.ReadString("SYSTEM", "VERSION", ""), "4");

    // No checks: a project that cannot be made still gets its converter file.
    r = RunCli({"shf", WriteProjectWithoutItems(dir), "-o", dir.File("empty.SHF")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TIniFile(dir.File("empty.SHF")).ReadString("EML", "PARAM", ""), "0");
}

// A user who keeps a link to the file on the site's mirror finds the link still there and
// the file behind it replaced, whichever command wrote it; the folder holds no leftovers.
TEST(Cli, MakeAndShfWriteThroughASymbolicLink) {
    TempDir dir;
    fs::create_directory(dir.File("site"));
    for (const std::string command : {"make", "shf"}) {
        const std::string real = dir.File("site/" + command + ".out"), link = dir.File(command + ".link");
        WriteFile(real, "[OLD]\r\nx=1\r\n");
        ASSERT_EQ(::chmod(real.c_str(), 0750), 0);
        fs::create_symlink("site/" + command + ".out", link);
        const Result r = RunCli({command, Example(), "-o", link});
        ASSERT_EQ(r.status, 0) << command << ": " << r.err;
        EXPECT_TRUE(fs::is_symlink(link)) << command;
        const std::string written = ReadFile(real);
        // The converter file is merged into what was there; the script replaces it.
        EXPECT_EQ(written.find("[OLD]") != std::string::npos, command == "shf") << command;
        EXPECT_NE(written.find(command == "make" ? "use Quillpost;" : "[EML]"), std::string::npos) << command;
        // The script is made ready to run; the converter file keeps the mode it had.
        EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms(command == "make" ? 0755 : 0750)) << command;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File("site")), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace qp::test
