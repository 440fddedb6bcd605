#pragma once
// A plain-FTP account on a test server, as the upload and the browser take it.
#include <string>

#include "deploy/connection.h"

namespace qp::test {

inline TConnection PlainFtp(const std::string& host, const std::string& user, const std::string& password) {
    TConnection c;
    c.Protocol = TFtpProtocol::Ftp;
    c.Host = host;
    c.UserName = user;
    c.Password = password;
    return c;
}

}  // namespace qp::test
