#include "cli/ftp_options.h"

#include <iostream>

namespace qp::cli {

FtpCall::FtpCall(const Args& args, const TProjectConfig& project)
    : passive_(project.GetFtpPassive() || args.Has("--passive")),
      secure_(project.GetFtpProtocol() == TFtpProtocol::Ftps),
      storedCert_(project.GetFtpTrustedCert()),
      save_(args.Has("--save")) {
    if (auto protocol = args.Value("--protocol")) {
        if (*protocol != "ftp" && *protocol != "ftps") throw UsageError("--protocol は ftp か ftps です。");
        secure_ = *protocol == "ftps";
    }
    if (auto cert = args.Value("--trust-cert")) {
        trustCert_ = NormalizeFingerprint(*cert);
        if (trustCert_.empty()) throw UsageError("--trust-cert には SHA256:（16進数64桁）の指紋を指定してください。");
    }
    if (save_ && trustCert_.empty()) throw UsageError("--save は --trust-cert と一緒に指定してください。");
}

void FtpCall::Apply(TRemoteFiles& client) const {
    client.SetPassive(passive_);
    client.SetSecure(secure_);
    client.Trust().SetStoredFingerprint(storedCert_);
    client.Trust().SetTrustedForThisCall(trustCert_);
    client.Trust().SetRefusalHint(
        "この証明書を信頼する場合は、その指紋を --trust-cert に指定してください（--save を付けるとプロジェクトに保存します）。");
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
    std::cerr << "証明書の指紋をプロジェクトに保存しました: " << accepted << std::endl;
}

}  // namespace qp::cli
