#include "deploy/remote_client.h"

#include "ftp/ftp_client.h"
#include "sftp/sftp_client.h"

namespace qp {

std::unique_ptr<TRemoteFiles> MakeRemoteFiles(TFtpProtocol protocol) {
    if (protocol == TFtpProtocol::Sftp) return std::make_unique<TSftpClient>();
    auto ftp = std::make_unique<TFtpClient>();
    ftp->SetSecure(protocol == TFtpProtocol::Ftps);
    return ftp;
}

}  // namespace qp
