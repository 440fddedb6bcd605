#include "preview/request_stream.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qp::preview {
namespace {

void Address(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        ::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        ::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    }
    ip = text;
}

}  // namespace

TRequestStream::TRequestStream(int socket, std::string request, std::chrono::milliseconds writeTimeout)
    : socket_(socket),
      request_(std::move(request)),
      deadline_(std::chrono::steady_clock::now() + writeTimeout) {}

bool TRequestStream::is_readable() const {
    return read_ < request_.size();
}

bool TRequestStream::is_writable() const {
    return std::chrono::steady_clock::now() < deadline_;
}

ssize_t TRequestStream::read(char* ptr, size_t size) {
    const std::size_t n = std::min(size, request_.size() - read_);
    std::memcpy(ptr, request_.data() + read_, n);
    read_ += n;
    return static_cast<ssize_t>(n);
}

ssize_t TRequestStream::write(const char* ptr, size_t size) {
    // The gate has already told the client to go on with its body.
    static const char kContinue[] = "HTTP/1.1 100 ";
    if (!wrote_ && size >= sizeof kContinue - 1 && std::memcmp(ptr, kContinue, sizeof kContinue - 1) == 0) {
        return static_cast<ssize_t>(size);
    }
    wrote_ = true;
    std::size_t sent = 0;
    while (sent < size) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline_ - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return -1;
        pollfd p{socket_, POLLOUT, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60000)));
        if (ready < 0 && errno != EINTR) return -1;
        if (ready <= 0) continue;
        const ssize_t n = ::send(socket_, ptr + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return -1;
        }
    }
    return static_cast<ssize_t>(size);
}

void TRequestStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        Address(address, ip, port);
}

void TRequestStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        Address(address, ip, port);
}

}  // namespace qp::preview
