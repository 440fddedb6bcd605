#pragma once
// The connection options that upload and ls share: --passive, --protocol ftp|ftps|sftp,
// --trust-cert SHA256:... and --save, applied over the project's connection, and the exit
// code of a failed connection (1 for a certificate or host key that was not trusted, 3
// otherwise). An encrypted SFTP key file's passphrase comes from QUILLPOST_SFTP_PASSPHRASE.
#include <string>

#include "cli/cli_common.h"
#include "deploy/connection.h"

namespace qp::cli {

// A password the project does not keep (NeedsPassword): QUILLPOST_FTP_PASSWORD, else asked
// on the terminal without echo. Raises Error "パスワードが設定されていません。" when neither gives one.
void SupplyPassword(TProjectConfig& project);

// One line from the terminal with its echo off; empty when there is no terminal.
std::string ReadHiddenLine(const char* prompt);

class FtpCall {
public:
    static constexpr const char* kUsage = "[--passive] [--protocol ftp|ftps|sftp] [--trust-cert SHA256:...] [--save]";

    // Raises UsageError for a value that does not fit.
    FtpCall(const Args& args, const TProjectConfig& project);
    // The project's connection with the options applied.
    const TConnection& Connection() const { return connection_; }
    // SFTP with the project's key file: the password may be empty.
    bool KeyLogin() const { return !connection_.KeyFile.empty(); }
    // What the options decide for this call only (a fingerprint to trust, the refusal's hint,
    // the passphrase) on a client made from Connection().
    void Apply(TRemoteFiles& client) const;
    // Prints the error and returns the exit code for it.
    int Failed(const TRemoteFiles& client, const Error& error) const;
    // With --save, stores a certificate accepted through --trust-cert in the project file.
    void SaveTrust(const TRemoteFiles& client, TProjectConfig& project, const std::string& projectPath) const;

private:
    TConnection connection_;
    std::string trustCert_;
    bool save_ = false;
};

}  // namespace qp::cli
