#pragma once
// The client for the project's protocol: FTP in clear, FTPS, or SFTP.
#include <memory>

#include "model/project_config.h"
#include "remote/remote_files.h"

namespace qp {

std::unique_ptr<TRemoteFiles> MakeRemoteFiles(TFtpProtocol protocol);

}  // namespace qp
