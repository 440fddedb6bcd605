#pragma once
// Everything a client needs to reach one server account, as one value taken from the
// project: the upload, the folder browser and quillpost-cli hand it whole to MakeRemoteFiles.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "model/project_config.h"
#include "remote/remote_files.h"

namespace qp {

struct TConnection {
    TFtpProtocol Protocol = TFtpProtocol::Ftps;
    std::string Host;  // "host", "host:port" or "[v6addr]:port"; the protocol names the default port
    std::string UserName;
    std::string Password;
    bool Passive = false;                // FTP's data connections
    std::string TrustedFingerprint;      // the certificate or host key the user chose to trust
    std::string KeyFile;                 // SFTP's private key file, a local path; empty: the password
    std::chrono::milliseconds ConnectTimeout{30000};
    std::chrono::milliseconds ReplyTimeout{30000};       // each single wait for the server
    std::chrono::milliseconds OperationTimeout{120000};  // each whole request
    std::int64_t MinTransferRate = 16 * 1024;            // a transfer also gets its size at this rate
};

// The project's server account. The key file is SFTP's only, and a local path.
TConnection ConnectionOf(const TProjectConfig& project);

// A client for the connection's protocol with every setting of it applied; the front end
// adds its questions (trust, passphrase) and hooks.
std::unique_ptr<TRemoteFiles> MakeRemoteFiles(const TConnection& connection);

}  // namespace qp
