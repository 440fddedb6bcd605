#pragma once
// The TLS settings of the FTP client (TLS 1.2 or later, the system's CA store) and what a
// finished handshake tells about the server: its certificate as a TServerIdentity.
#include <string>

#include "ftp/net_channel.h"
#include "remote/server_identity.h"

namespace qp {

class TTlsContext {
public:
    TTlsContext();
    ~TTlsContext();
    TTlsContext(const TTlsContext&) = delete;
    TTlsContext& operator=(const TTlsContext&) = delete;
    SSL_CTX* Get() const { return context_; }

private:
    SSL_CTX* context_ = nullptr;
};

// The server's certificate after the handshake, verified against the CA store and the host
// name given to StartTls.
TServerIdentity DescribePeer(SSL* ssl);
// "TLSv1.3 TLS_AES_256_GCM_SHA384" for the log.
std::string TlsSummary(SSL* ssl);

}  // namespace qp
