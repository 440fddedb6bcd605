#pragma once
// Test servers: a real FTP server (pyftpdlib, run by the system's Python) in a temporary home,
// and a scripted fake for the replies a real server will not give.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/sjis_literal.h"

namespace qp::test {

class PyFtpServer {
public:
    static constexpr const char* kUser = "user";
    static constexpr const char* kPassword = "secret";

    // tls: explicit FTPS required on control and data, with a self-signed certificate for
    // CN=localhost made for this server. slowBytesPerSecond: uploads are read at that rate.
    // diskBytes: the disk is full once uploads have written that much. cutBytes: the first
    // upload that brought that much has its connections cut.
    explicit PyFtpServer(bool tls = false, int slowBytesPerSecond = 0, int diskBytes = 0, int cutBytes = 0) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe");
        std::string script = std::string(QP_SOURCE_DIR) + "/tests/ftp/ftp_test_server.py";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            const std::string cert = side_.File("cert.pem");
            const std::string log = side_.File("commands.log");
            const std::string slow = std::to_string(slowBytesPerSecond), disk = std::to_string(diskBytes),
                              cut = std::to_string(cutBytes);
            if (tls)
                ::execl("/usr/bin/python3", "python3", script.c_str(), home_.Path().c_str(), kUser, kPassword,
                        "--log", log.c_str(), "--slow", slow.c_str(), "--disk", disk.c_str(), "--cut", cut.c_str(),
                        "--tls", cert.c_str(), static_cast<char*>(nullptr));
            else
                ::execl("/usr/bin/python3", "python3", script.c_str(), home_.Path().c_str(), kUser, kPassword,
                        "--log", log.c_str(), "--slow", slow.c_str(), "--disk", disk.c_str(), "--cut", cut.c_str(),
                        static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string text;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0) continue;
            char buf[64];
            ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<std::size_t>(n));
        }
        ::close(out[0]);
        if (text.rfind("PORT ", 0) != 0) {
            Stop();
            throw std::runtime_error("the FTP test server did not start: " + text);
        }
        port_ = std::stoi(text.substr(5));
        std::size_t fp = text.find(" SHA256:");
        if (fp != std::string::npos) fingerprint_ = text.substr(fp + 1, text.find('\n') - fp - 1);
    }
    ~PyFtpServer() { Stop(); }
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    int Port() const { return port_; }
    // The server's root folder on this machine.
    const std::string& Home() const { return home_.Path(); }
    // The certificate's "SHA256:AB:CD:..." (TLS only).
    const std::string& Fingerprint() const { return fingerprint_; }
    // Every command line the server received so far, one a line.
    std::string Commands() const {
        try {
            return ReadFile(side_.File("commands.log"));
        } catch (const std::runtime_error&) {
            return {};  // nothing received yet
        }
    }

    // Ends the server at once, as a host that goes away: its connections are cut.
    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

private:
    TempDir home_;
    TempDir side_;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string fingerprint_;
};

// One control connection on 127.0.0.1, served by a script run on its own thread.
class FakeFtpServer {
public:
    class Session {
    public:
        explicit Session(int fd) : fd_(fd) {}
        // The next command line without CR LF; empty when the client closed or 5 s passed.
        std::string Read() {
            for (;;) {
                std::size_t nl = inbox_.find("\r\n");
                if (nl != std::string::npos) {
                    std::string line = inbox_.substr(0, nl);
                    inbox_.erase(0, nl + 2);
                    return line;
                }
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 5000) <= 0) return {};
                char buf[1024];
                ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
                if (n <= 0) return {};
                inbox_.append(buf, static_cast<std::size_t>(n));
            }
        }
        void Send(const std::string& text) { SendAll(fd_, text); }
        // Listens for a passive data connection and returns its port.
        int OpenPassive() {
            passive_ = Listen();
            sockaddr_in a{};
            socklen_t len = sizeof a;
            ::getsockname(passive_, reinterpret_cast<sockaddr*>(&a), &len);
            return ntohs(a.sin_port);
        }
        // Accepts the passive data connection (-1 when none came within 5 s).
        int AcceptPassive() {
            pollfd p{passive_, POLLIN, 0};
            int fd = ::poll(&p, 1, 5000) > 0 ? ::accept(passive_, nullptr, nullptr) : -1;
            ::close(passive_);
            passive_ = -1;
            return fd;
        }
        // Accepts the passive data connection, sends data on it and closes it.
        void SendPassiveData(const std::string& data) {
            int fd = AcceptPassive();
            if (fd < 0) return;
            SendAll(fd, data);
            ::close(fd);
        }
        // Connects to the client's "PORT h1,h2,h3,h4,p1,p2" from the local address `from`.
        static int ConnectToPort(const std::string& portCommand, const char* from = "127.0.0.1") {
            unsigned v[6] = {};
            if (std::sscanf(portCommand.c_str(), "PORT %u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4],
                            &v[5]) != 6)
                return -1;
            int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            ::inet_pton(AF_INET, from, &a.sin_addr);
            ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            a.sin_port = htons(static_cast<std::uint16_t>(v[4] * 256 + v[5]));
            ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(fd);
                return -1;
            }
            return fd;
        }
        ~Session() {
            if (passive_ >= 0) ::close(passive_);
        }

        static void SendAll(int fd, const std::string& data) {
            std::size_t done = 0;
            while (done < data.size()) {
                ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
                if (n <= 0) return;
                done += static_cast<std::size_t>(n);
            }
        }

    private:
        int fd_;
        int passive_ = -1;
        std::string inbox_;
    };

    explicit FakeFtpServer(std::function<void(Session&)> script) {
        listener_ = Listen();
        sockaddr_in a{};
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, script = std::move(script)] {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0) return;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            {
                Session s(fd);
                script(s);
                // Wait for the client to hang up so that it never sees a reset.
                while (!s.Read().empty()) {
                }
            }
            ::close(fd);
        });
    }
    ~FakeFtpServer() {
        Join();
        ::close(listener_);
    }
    // Waits until the script has run to its end, so that what it recorded can be read.
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    FakeFtpServer(const FakeFtpServer&) = delete;
    FakeFtpServer& operator=(const FakeFtpServer&) = delete;

    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

    static int Listen() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, 4);
        return fd;
    }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace qp::test
