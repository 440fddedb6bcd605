#include "cli/ftp_options.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "model/charset.h"

namespace qp::cli {

std::string ReadHiddenLine(const char* prompt) {
    if (::isatty(STDIN_FILENO) == 0) return {};
    std::cerr << prompt << std::flush;
    termios saved {};
    const bool quiet = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios hidden = saved;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    std::getline(std::cin, line);
    if (quiet) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << std::endl;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void SupplyPassword(TProjectConfig& project) {
    if (!project.NeedsPassword()) return;
    std::string password;
    if (const char* given = std::getenv("QUILLPOST_FTP_PASSWORD")) password = given;
    if (password.empty()) password = ReadHiddenLine("パスワード: ");
    if (password.empty()) throw Error("パスワードが設定されていません。");
    project.SetFtpPassword(charset::Utf8ToSjis(password));
}

FtpCall::FtpCall(const Args& args, const TProjectConfig& project)
    : connection_(ConnectionOf(project)), save_(args.Has("--save")) {
    const TSettingDef& passive = SettingDef(TSetting::FtpPassive);
    if (args.Has(passive.CliOption)) connection_.Passive = true;
    if (const std::optional<int> chosen = ChoiceOption(args, TSetting::FtpProtocol)) {
        const auto protocol = static_cast<TFtpProtocol>(*chosen);
        // The stored fingerprint belongs to the project's protocol: a certificate is no host key.
        if (protocol != connection_.Protocol) connection_.TrustedFingerprint.clear();
        connection_.Protocol = protocol;
        connection_.KeyFile = protocol == TFtpProtocol::Sftp ? charset::SjisToUtf8(project.GetSftpKeyFile()) : "";
    }
    if (auto cert = args.Value("--trust-cert")) {
        trustCert_ = NormalizeFingerprint(*cert);
        if (trustCert_.empty()) throw UsageError("--trust-cert には SHA256:（16進数64桁）の指紋を指定してください。");
    }
    if (save_ && trustCert_.empty()) throw UsageError("--save は --trust-cert と一緒に指定してください。");
}

void FtpCall::Apply(TRemoteFiles& client) const {
    client.Trust().SetTrustedForThisCall(trustCert_);
    const char* what = connection_.Protocol == TFtpProtocol::Sftp ? "ホスト鍵" : "証明書";
    client.Trust().SetRefusalHint(std::string("この") + what +
                                  "を信頼する場合は、その指紋を --trust-cert に指定してください（--save を付けるとプロジェクトに保存します）。");
    client.SetPassphraseHook([](const std::string&) -> std::optional<std::string> {
        const char* phrase = std::getenv("QUILLPOST_SFTP_PASSPHRASE");
        if (!phrase) return std::nullopt;
        return std::string(phrase);
    });
}

int FtpCall::Failed(const TRemoteFiles& client, const Error& error) const {
    PrintError(error.Message());
    return client.Trust().Refused() ? kExitRefused : kExitFile;
}

void FtpCall::SaveTrust(const TRemoteFiles& client, TProjectConfig& project,
                        const std::string& projectPath) const {
    const std::string& accepted = client.Trust().NewlyTrusted();
    if (!save_ || accepted.empty()) return;
    project.SetFtpTrustedCert(accepted);
    project.SaveToFile(projectPath);
    std::cerr << (connection_.Protocol == TFtpProtocol::Sftp ? "ホスト鍵" : "証明書") << "の指紋をプロジェクトに保存しました: "
              << accepted << std::endl;
}

}  // namespace qp::cli
