#include "preview/request_gate.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "remote/visible_text.h"
#include "model/error.h"
#include "preview/cgi_response.h"
#include "preview/mail_view.h"
#include "preview/status_page.h"

namespace qp::preview {
namespace {

using Clock = std::chrono::steady_clock;

// After a refusal the rest of the request is read and dropped for a while: closing with
// unread data would reset the connection and the client could lose the answer.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = 1024 * 1024;

const char* StatusTitle(int status) {
    switch (status) {
        case 408:
            return "リクエストが時間内に届きませんでした";
        case 413:
            return "リクエストの本文が大きすぎます";
        case 431:
            return "リクエストのヘッダーが大きすぎます";
        case 501:
            return "対応していない転送方式です";
        case 503:
            return "サーバーが混み合っています";
        default:
            return "リクエストが正しくありません";
    }
}

}  // namespace

struct TRequestGate::Connection {
    Connection(int socket, Clock::time_point until, const TRequestLimits& limits)
        : fd(socket), deadline(until), framer(limits) {}
    int fd;
    Clock::time_point deadline;
    TRequestFramer framer;
    std::string bytes;
    bool continued = false;  // "100 Continue" sent
    bool draining = false;   // answered; what still comes is dropped
    std::size_t drained = 0;

    void Close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

TRequestGate::TRequestGate(Options options, Deliver deliver, Log log)
    : options_(options), deliver_(std::move(deliver)), log_(std::move(log)) {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) throw Error("プレビューのサーバーを準備できません（eventfd）。");
}

TRequestGate::~TRequestGate() {
    Stop();
    ::close(wake_);
}

void TRequestGate::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable() || stopping_) return;
    thread_ = std::thread([this] { Loop(); });
}

void TRequestGate::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : adopted_) ::close(fd);
    adopted_.clear();
}

void TRequestGate::Adopt(int socket) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            ::close(socket);
            return;
        }
        adopted_.push_back(socket);
    }
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
}

void TRequestGate::TakeAdopted(std::vector<std::unique_ptr<Connection>>& connections) {
    std::vector<int> sockets;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sockets.swap(adopted_);
    }
    for (int fd : sockets) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        connections.push_back(
            std::make_unique<Connection>(fd, Clock::now() + options_.RequestTimeout, options_.Limits));
    }
    // The oldest have had their chance; the newest may be the user's.
    while (connections.size() > options_.MaxConnections) {
        connections.front()->Close();
        connections.erase(connections.begin());
    }
}

void TRequestGate::Loop() {
    std::vector<std::unique_ptr<Connection>> connections;
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign(1, pollfd{wake_, POLLIN, 0});
        auto next = Clock::time_point::max();
        for (const auto& c : connections) {
            fds.push_back(pollfd{c->fd, POLLIN, 0});
            next = std::min(next, c->deadline);
        }
        int timeout = -1;
        if (next != Clock::time_point::max()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
            timeout = static_cast<int>(std::clamp<long long>(left + 1, 0, 60000));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents != 0) Read(*connections[i - 1]);
        }
        const auto now = Clock::now();
        for (auto& c : connections) {
            if (c->fd >= 0 && now >= c->deadline) Expire(*c);
        }
        std::erase_if(connections, [](const auto& c) { return c->fd < 0; });
        if (fds[0].revents != 0) {
            std::uint64_t count = 0;
            (void)!::read(wake_, &count, sizeof count);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_) break;
            }
            TakeAdopted(connections);
        }
    }
    for (auto& c : connections) c->Close();
}

void TRequestGate::Read(Connection& c) {
    char buffer[16384];
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) c.Close();
        return;
    }
    if (c.draining) {
        c.drained += static_cast<std::size_t>(n);
        if (n == 0 || c.drained > kLingerBytes) c.Close();
        return;
    }
    if (n == 0) {
        // The client stopped sending: a body shorter than it declared is never run.
        if (c.framer.Current() == TRequestFramer::State::Body) {
            Answer(c, 400, "本文が宣言された長さに届かないまま途切れたため、CGIは実行していません。");
        }
        c.Close();
        return;
    }
    c.bytes.append(buffer, static_cast<std::size_t>(n));
    switch (c.framer.Scan(c.bytes)) {
        case TRequestFramer::State::Refused:
            Answer(c, c.framer.RefusalStatus(), c.framer.RefusalReason());
            break;
        case TRequestFramer::State::Complete: {
            c.bytes.resize(c.framer.End());
            const int fd = c.fd;
            if (deliver_(fd, std::move(c.bytes))) {
                c.fd = -1;
            } else {
                Answer(c, 503, "処理中のリクエストが多すぎます。しばらくしてからもう一度お試しください。");
            }
            break;
        }
        case TRequestFramer::State::Body:
            if (c.framer.ExpectsContinue() && !c.continued) {
                static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
                (void)::send(c.fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
                c.continued = true;
            }
            break;
        case TRequestFramer::State::Head:
            break;
    }
}

void TRequestGate::Expire(Connection& c) {
    if (c.draining || c.bytes.empty()) {
        c.Close();
    } else if (c.framer.Current() == TRequestFramer::State::Head) {
        Answer(c, 408, "リクエストのヘッダーが時間内に届きませんでした。");
    } else {
        Answer(c, 400, "本文が宣言された長さに届かないまま時間切れになったため、CGIは実行していません。");
    }
}

void TRequestGate::Answer(Connection& c, int status, const std::string& reason) {
    const std::string body = StatusPageHtml(StatusTitle(status), "<p>" + EscapeHtmlUtf8(reason) + "</p>\n");
    const std::string response =
        "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) +
        "\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    // The answer is small enough for the socket's buffer; a client that does not take it
    // loses it rather than holding the gate.
    (void)::send(c.fd, response.data(), response.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(c.fd, SHUT_WR);
    if (log_) {
        const std::string& line = c.framer.RequestLine();
        log_((line.empty() ? std::string("-") : VisibleText(line)) + " " + std::to_string(status));
    }
    c.draining = true;
    c.deadline = Clock::now() + kLingerTime;
    std::string().swap(c.bytes);
}

}  // namespace qp::preview
