#include "deploy/connection.h"

#include "ftp/ftp_client.h"
#include "model/charset.h"
#include "sftp/sftp_client.h"

namespace qp {

TConnection ConnectionOf(const TProjectConfig& project) {
    TConnection c;
    c.Protocol = project.GetFtpProtocol();
    c.Host = project.GetFtpHostName();
    c.UserName = project.GetFtpUserName();
    c.Password = project.GetFtpPassword();
    c.Passive = project.GetFtpPassive();
    c.TrustedFingerprint = project.GetFtpTrustedCert();
    if (c.Protocol == TFtpProtocol::Sftp) c.KeyFile = charset::SjisToUtf8(project.GetSftpKeyFile());
    return c;
}

std::unique_ptr<TRemoteFiles> MakeRemoteFiles(const TConnection& c) {
    std::unique_ptr<TRemoteFiles> client;
    if (c.Protocol == TFtpProtocol::Sftp) {
        client = std::make_unique<TSftpClient>();
    } else {
        auto ftp = std::make_unique<TFtpClient>();
        ftp->SetSecure(c.Protocol == TFtpProtocol::Ftps);
        client = std::move(ftp);
    }
    client->SetHost(c.Host);
    client->SetUserName(c.UserName);
    client->SetPassword(c.Password);
    client->SetPassive(c.Passive);
    client->Trust().SetStoredFingerprint(c.TrustedFingerprint);
    client->SetKeyFile(c.KeyFile);
    client->SetConnectTimeout(c.ConnectTimeout);
    client->SetReplyTimeout(c.ReplyTimeout);
    client->SetOperationTimeout(c.OperationTimeout);
    client->SetMinTransferRate(c.MinTransferRate);
    return client;
}

}  // namespace qp
