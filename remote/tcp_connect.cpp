#include "remote/tcp_connect.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "model/error.h"
#include "remote/host_resolver.h"

namespace qp {
namespace {

bool IsTimeout(const Error& e) {
    return e.Message().find("（タイムアウト）") != std::string::npos;
}

}  // namespace

int OpenTcp(const std::string& host, const std::string& port, const std::string& shownName,
            std::chrono::milliseconds timeout, const TWaitFd& wait) {
    using Clock = std::chrono::steady_clock;
    THostResolver resolver(host, port);
    try {
        wait(resolver.EventFd(), POLLIN, Clock::now() + timeout, "ホスト名を調べられません");
    } catch (const Error& e) {
        if (!IsTimeout(e)) throw;
        throw Error(host + " が見つかりません: " + e.Message());
    }
    THostResolver::AddrList found(nullptr, &::freeaddrinfo);
    try {
        found = resolver.Take();
    } catch (const Error& e) {
        throw Error(host + " が見つかりません: " + e.Message());
    }

    std::string lastError = "接続できません";
    const auto deadline = Clock::now() + timeout;
    for (addrinfo* ai = found.get(); ai; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) {
            lastError = std::strerror(errno);
            continue;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
        try {
            if (::connect(fd, ai->ai_addr, ai->ai_addrlen) < 0) {
                if (errno != EINPROGRESS) {
                    lastError = std::strerror(errno);
                    ::close(fd);
                    continue;
                }
                try {
                    wait(fd, POLLOUT, deadline, "接続できません");
                } catch (const Error& e) {
                    if (!IsTimeout(e)) throw;
                    throw Error(shownName + " に接続できません（タイムアウト）");
                }
                int err = 0;
                socklen_t len = sizeof err;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
                if (err != 0) {
                    lastError = std::strerror(err);
                    ::close(fd);
                    continue;
                }
            }
        } catch (...) {
            ::close(fd);
            throw;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return fd;
    }
    throw Error(shownName + " に接続できません: " + lastError);
}

}  // namespace qp
