#include "ftp/net_channel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model/error.h"

namespace qp {
namespace {

std::string OpenSslText() {
    unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0) return {};
    char buf[256];
    ERR_error_string_n(e, buf, sizeof buf);
    return buf;
}

bool IsIpAddress(const std::string& host) {
    unsigned char buf[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buf) == 1 || ::inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

void TNetChannel::Close() {
    if (ssl_) SSL_free(ssl_);
    ssl_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TNetChannel::Reset(int fd) {
    Close();
    fd_ = fd;
}

void TNetChannel::StartTls(SSL_CTX* context, const std::string& host, SSL_SESSION* session) {
    ERR_clear_error();
    ssl_ = SSL_new(context);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) throw Error("TLSを準備できません: " + OpenSslText());
    if (!host.empty()) {
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
        if (IsIpAddress(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
        } else {
            SSL_set_tlsext_host_name(ssl_, host.c_str());
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
        }
    }
    if (session) SSL_set_session(ssl_, session);
    SSL_set_connect_state(ssl_);
}

namespace {

// A peer that went away is said as such; the system's words follow for the curious.
std::string SystemReason(int err) {
    if (err == ECONNRESET || err == EPIPE) return std::string("接続が切れました（") + std::strerror(err) + "）";
    return std::strerror(err);
}

}  // namespace

bool TNetChannel::WouldBlock(int result, short& wait, const char* what) {
    const int err = SSL_get_error(ssl_, result);
    if (err == SSL_ERROR_WANT_READ) {
        wait = POLLIN;
        return true;
    }
    if (err == SSL_ERROR_WANT_WRITE) {
        wait = POLLOUT;
        return true;
    }
    const int sysErr = errno;
    std::string detail = OpenSslText();
    if (detail.empty() && err == SSL_ERROR_SYSCALL) detail = sysErr ? SystemReason(sysErr) : "接続が切れました";
    if (detail.empty()) detail = "TLSエラー " + std::to_string(err);
    throw Error(std::string(what) + ": " + detail);
}

bool TNetChannel::Handshake(short& wait) {
    ERR_clear_error();
    const int r = SSL_do_handshake(ssl_);
    if (r == 1) return true;
    WouldBlock(r, wait, "TLSの接続を確立できません");
    return false;
}

bool TNetChannel::ShutdownTls(short& wait) {
    if (!ssl_) return true;
    ERR_clear_error();
    const int r = SSL_shutdown(ssl_);
    if (r >= 0) return true;  // our close_notify is out; the peer's is not waited for
    WouldBlock(r, wait, "TLSの接続を閉じられません");
    return false;
}

ssize_t TNetChannel::Recv(char* buffer, std::size_t size, short& wait) {
    if (!ssl_) {
        ssize_t n = ::recv(fd_, buffer, size, 0);
        if (n >= 0) return n;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            wait = POLLIN;
            return -1;
        }
        throw Error("受信できません: " + SystemReason(errno));
    }
    ERR_clear_error();
    std::size_t got = 0;
    const int r = SSL_read_ex(ssl_, buffer, size, &got);
    if (r == 1) return static_cast<ssize_t>(got);
    if (SSL_get_error(ssl_, r) == SSL_ERROR_ZERO_RETURN) return 0;
    WouldBlock(r, wait, "受信できません");
    return -1;
}

ssize_t TNetChannel::Send(const char* buffer, std::size_t size, short& wait) {
    if (!ssl_) {
        ssize_t n = ::send(fd_, buffer, size, MSG_NOSIGNAL);
        if (n >= 0) return n;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            wait = POLLOUT;
            return -1;
        }
        throw Error("送信できません: " + SystemReason(errno));
    }
    ERR_clear_error();
    std::size_t done = 0;
    const int r = SSL_write_ex(ssl_, buffer, size, &done);
    if (r == 1) return static_cast<ssize_t>(done);
    WouldBlock(r, wait, "送信できません");
    return -1;
}

bool TNetChannel::Pending() const {
    return ssl_ && SSL_pending(ssl_) > 0;
}

}  // namespace qp
