#pragma once
// A real Apache 2 for the tests, from Debian's package, with a configuration of its own on a
// loopback port: mod_cgid runs *.cgi under the document root, as a host's web server does.
#include <sys/types.h>

#include <string>

#include "support/sjis_literal.h"

namespace qp::test {

class ApacheServer {
public:
    // Serves documentRoot; under it, "noexec/" forbids CGIs (403) and "plain/" shows them as
    // text. certificate and key (PEM) given: HTTPS only. Run by root, the CGIs run as
    // www-data, so the document root is opened to others.
    explicit ApacheServer(const std::string& documentRoot, const std::string& certificate = "",
                          const std::string& key = "");
    ~ApacheServer();
    ApacheServer(const ApacheServer&) = delete;
    ApacheServer& operator=(const ApacheServer&) = delete;

    int Port() const { return port_; }
    // "http://127.0.0.1:PORT" (or https), without a final slash.
    std::string Origin() const;
    std::string ErrorLog() const;

private:
    bool Start(const std::string& documentRoot, const std::string& certificate, const std::string& key);
    void Stop();

    TempDir root_;
    pid_t pid_ = -1;
    int port_ = 0;
    bool tls_ = false;
};

// A self-signed certificate for 127.0.0.1 and localhost, made with the openssl command:
// cert.pem and key.pem in folder.
void MakeLoopbackCertificate(const std::string& folder);

}  // namespace qp::test
