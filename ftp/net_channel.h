#pragma once
// One non-blocking TCP connection of the FTP client, in clear or in TLS once started. Every
// call makes one attempt and says which readiness to wait for when it could not go on, so
// that the caller's waits (timeouts, pump) work alike for both.
#include <sys/types.h>

#include <cstddef>
#include <string>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;
using SSL_SESSION = struct ssl_session_st;

namespace qp {

class TNetChannel {
public:
    TNetChannel() = default;
    explicit TNetChannel(int fd) : fd_(fd) {}
    ~TNetChannel() { Close(); }
    TNetChannel(const TNetChannel&) = delete;
    TNetChannel& operator=(const TNetChannel&) = delete;

    int Fd() const { return fd_; }
    bool Open() const { return fd_ >= 0; }
    bool Secure() const { return ssl_ != nullptr; }
    SSL* Ssl() const { return ssl_; }
    // Closes the socket at once; a TLS session ends without close_notify.
    void Close();
    // Takes over fd (closing any earlier one).
    void Reset(int fd);

    // Prepares TLS as the client: host is named (SNI) and checked against the certificate
    // unless empty; session, when given, is offered for reuse.
    void StartTls(SSL_CTX* context, const std::string& host, SSL_SESSION* session);
    // One step of the handshake: true when done, false with `wait` set to POLLIN or POLLOUT.
    bool Handshake(short& wait);
    // One step of sending close_notify: true when sent.
    bool ShutdownTls(short& wait);
    // Bytes received (> 0), 0 at the end, -1 when `wait` must be waited for. Raises Error.
    ssize_t Recv(char* buffer, std::size_t size, short& wait);
    // Bytes sent (> 0), or -1 when `wait` must be waited for. Raises Error.
    ssize_t Send(const char* buffer, std::size_t size, short& wait);
    // Received bytes that TLS holds already, which polling the socket would not show.
    bool Pending() const;

private:
    // Turns an OpenSSL result into "wait for this" or an Error.
    bool WouldBlock(int result, short& wait, const char* what);

    int fd_ = -1;
    SSL* ssl_ = nullptr;
};

}  // namespace qp
