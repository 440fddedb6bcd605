#include "ftp/tls_context.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <memory>

#include "model/error.h"

namespace qp {
namespace {

// The handshake always finishes; the verification result is read afterwards and decided on
// by the trust rules, which may accept a certificate the CA store does not know.
int KeepGoing(int, X509_STORE_CTX*) {
    return 1;
}

std::string NameText(const X509_NAME* name) {
    if (!name) return {};
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(n));
}

std::string TimeText(const ASN1_TIME* t) {
    std::tm tm{};
    if (!t || ASN1_TIME_to_tm(t, &tm) != 1) return "?";
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return buf;
}

}  // namespace

TTlsContext::TTlsContext() {
    // OpenSSL writes to the socket without MSG_NOSIGNAL: a server that hangs up must end the
    // call with an error, not end the program.
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGPIPE, SIG_IGN);

    context_ = SSL_CTX_new(TLS_client_method());
    if (!context_) throw Error("TLSを準備できません。");
    SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(context_);
    SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, KeepGoing);
    // Some servers close data connections without close_notify; the transfer's own reply
    // tells whether it was complete.
    SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_session_cache_mode(context_, SSL_SESS_CACHE_CLIENT);
}

TTlsContext::~TTlsContext() {
    SSL_CTX_free(context_);
}

TServerIdentity DescribePeer(SSL* ssl) {
    TServerIdentity id;
    X509* cert = SSL_get0_peer_certificate(ssl);
    if (!cert) {
        id.Problem = "証明書がありません";
        return id;
    }
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    X509_digest(cert, EVP_sha256(), md, &len);
    const std::string fp = FingerprintOf(md);
    id.Fingerprint = fp;
    const long result = SSL_get_verify_result(ssl);
    id.Verified = result == X509_V_OK;
    if (!id.Verified) id.Problem = X509_verify_cert_error_string(result);
    id.Details = {
        {"発行先", NameText(X509_get_subject_name(cert))},
        {"発行者", NameText(X509_get_issuer_name(cert))},
        {"有効期間", TimeText(X509_get0_notBefore(cert)) + " から " + TimeText(X509_get0_notAfter(cert)) + " まで"},
        {"SHA-256 指紋", fp},
    };
    return id;
}

std::string TlsSummary(SSL* ssl) {
    return std::string(SSL_get_version(ssl)) + " " + SSL_get_cipher_name(ssl);
}

}  // namespace qp
