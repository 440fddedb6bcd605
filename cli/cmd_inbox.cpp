// quillpost-cli inbox: makes the inbox's key pair (--new-key), or downloads the messages kept
// on the server into PROJECT.inbox and writes them as CSV (--csv).
#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/cli_common.h"
#include "cli/ftp_options.h"
#include "deploy/inbox_fetch.h"
#include "inbox/inbox_csv.h"
#include "inbox/inbox_key.h"
#include "inbox/inbox_store.h"
#include "model/charset.h"
#include "remote/visible_text.h"

namespace qp::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int) {
    interrupted = 1;
}

class ConsoleFetch : public TInboxFetchListener {
public:
    void LogLine(const std::string& line) override { std::cout << VisibleText(line) << std::endl; }
    void Progress(std::int64_t, std::int64_t) override {}
    void Pump() override {}
    bool CancelRequested() override { return interrupted != 0; }
};

std::string Passphrase(const char* prompt) {
    if (const char* given = std::getenv("QUILLPOST_INBOX_PASSPHRASE")) return given;
    return ReadHiddenLine(prompt);
}

int NewKey(const Args& args, TProjectConfig& project, const std::string& keyFile) {
    const std::string path = std::filesystem::absolute(keyFile).lexically_normal().string();
    const std::string publicKey = MakeInboxKeyPair(path, Passphrase("秘密鍵のパスフレーズ（空欄なら保護しません）: "));
    project.Settings().Set(TSetting::InboxPublicKey, publicKey);
    project.Settings().Set(TSetting::InboxKeyFile, charset::Utf8ToSjis(path));
    project.Settings().Set(TSetting::UseInbox, true);
    project.SaveToFile(args.positional[0]);
    std::cout << VisibleText("受信データの鍵を作成しました: " + path) << std::endl;
    std::cerr << VisibleText("この秘密鍵ファイルがないと、サーバーに保存された受信データは読めません。コピーを安全な場所に保管してください。")
              << std::endl;
    return kExitOk;
}

int Run(const Args& args) {
    args.ExpectPositional(1);
    TProjectConfig project;
    LoadProject(args.positional[0], project);
    if (const auto keyFile = args.Value("--new-key")) return NewKey(args, project, *keyFile);

    const std::string encodingWord = args.Value("--encoding").value_or("utf-8");
    if (encodingWord != "utf-8" && encodingWord != "cp932") throw UsageError("--encoding は utf-8 か cp932 です。");
    const TCsvEncoding encoding = encodingWord == "cp932" ? TCsvEncoding::Cp932 : TCsvEncoding::Utf8Bom;

    // The key first: a wrong key or passphrase stops before the server is touched.
    const std::string keyFile =
        args.Value("--key").value_or(charset::SjisToUtf8(project.Text(TSetting::InboxKeyFile)));
    const std::string passphrase =
        TInboxPrivateKey::NeedsPassphrase(keyFile) ? Passphrase("秘密鍵のパスフレーズ: ") : std::string();
    const TInboxPrivateKey key(keyFile, passphrase);
    CheckKeyMatches(key, project.Text(TSetting::InboxPublicKey));

    const std::string projectPath = args.positional[0];
    TInboxStore store(TInboxStore::PathFor(projectPath));
    TInboxStore aside(TInboxStore::AsidePathFor(projectPath));
    SupplyPassword(project);
    const FtpCall ftp(args, project);
    const std::unique_ptr<TRemoteFiles> client = MakeRemoteFiles(ftp.Connection());
    ftp.Apply(*client);

    struct sigaction action {}, savedInt {}, savedTerm {};
    action.sa_handler = Interrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &savedInt);
    ::sigaction(SIGTERM, &action, &savedTerm);
    ConsoleFetch console;
    TInboxFetchOptions options;
    options.Keep = args.Has("--keep");
    TInboxImport import;
    try {
        import = FetchInbox(*client, project, key, store, aside, options, console);
    } catch (const Error& e) {
        ::sigaction(SIGINT, &savedInt, nullptr);
        ::sigaction(SIGTERM, &savedTerm, nullptr);
        if (interrupted) {
            PrintError("受信を中止しました。サーバーの受信データは削除していません。");
            return kExitInterrupted;
        }
        return ftp.Failed(*client, e);
    }
    ::sigaction(SIGINT, &savedInt, nullptr);
    ::sigaction(SIGTERM, &savedTerm, nullptr);
    const std::vector<std::string> lines = DescribeImport(import, aside.Path());
    std::cout << VisibleText(lines.front()) << std::endl;
    for (std::size_t i = 1; i < lines.size(); ++i) PrintError(VisibleText(lines[i]));

    if (const auto csvFile = args.Value("--csv")) {
        const TInboxContents contents = OpenInboxStore(store, key);
        const TInboxCsv csv = MakeInboxCsv(contents.Entries, encoding);
        for (const std::string& line : csv.Replaced) PrintError(VisibleText(line));
        WriteOutput(*csvFile, csv.Bytes);
    }
    ftp.SaveTrust(*client, project, projectPath);
    return kExitOk;
}

const RegisterCommand kRegister({"inbox",
                                 std::string("inbox PROJECT.qpf [--new-key FILE] [--key FILE] [--keep] [--csv FILE] "
                                             "[--encoding utf-8|cp932] ") +
                                     FtpCall::kUsage,
                                 "makes the inbox key pair (--new-key), or downloads the messages kept on the server "
                                 "into PROJECT.inbox and writes them as CSV (--csv)",
                                 65,
                                 {"--new-key", "--key", "--csv", "--encoding", "--protocol", "--trust-cert"},
                                 {"--keep", "--passive", "--save"},
                                 Run});

}  // namespace
}  // namespace qp::cli
