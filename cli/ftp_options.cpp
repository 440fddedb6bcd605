#include "cli/ftp_options.h"

#include <cstdlib>
#include <iostream>

#include "model/charset.h"

namespace qp::cli {

FtpCall::FtpCall(const Args& args, const TProjectConfig& project)
    : passive_(project.GetFtpPassive() || args.Has("--passive")),
      protocol_(project.GetFtpProtocol()),
      storedCert_(project.GetFtpTrustedCert()),
      save_(args.Has("--save")) {
    if (auto word = args.Value("--protocol")) {
        TFtpProtocol protocol;
        if (*word == "ftp")
            protocol = TFtpProtocol::Ftp;
        else if (*word == "ftps")
            protocol = TFtpProtocol::Ftps;
        else if (*word == "sftp")
            protocol = TFtpProtocol::Sftp;
        else
            throw UsageError("--protocol は ftp、ftps、sftp のどれかです。");
        // The stored fingerprint belongs to the project's protocol: a certificate is no host key.
        if (protocol != protocol_) storedCert_.clear();
        protocol_ = protocol;
    }
    if (protocol_ == TFtpProtocol::Sftp) keyFile_ = charset::SjisToUtf8(project.GetSftpKeyFile());
    if (auto cert = args.Value("--trust-cert")) {
        trustCert_ = NormalizeFingerprint(*cert);
        if (trustCert_.empty()) throw UsageError("--trust-cert には SHA256:（16進数64桁）の指紋を指定してください。");
    }
    if (save_ && trustCert_.empty()) throw UsageError("--save は --trust-cert と一緒に指定してください。");
}

void FtpCall::Apply(TRemoteFiles& client) const {
    client.SetPassive(passive_);
    client.Trust().SetStoredFingerprint(storedCert_);
    client.Trust().SetTrustedForThisCall(trustCert_);
    const char* what = protocol_ == TFtpProtocol::Sftp ? "ホスト鍵" : "証明書";
    client.Trust().SetRefusalHint(std::string("この") + what +
                                  "を信頼する場合は、その指紋を --trust-cert に指定してください（--save を付けるとプロジェクトに保存します）。");
    client.SetKeyFile(keyFile_);
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
    std::cerr << (protocol_ == TFtpProtocol::Sftp ? "ホスト鍵" : "証明書") << "の指紋をプロジェクトに保存しました: "
              << accepted << std::endl;
}

}  // namespace qp::cli
