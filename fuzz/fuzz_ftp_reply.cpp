// Lets arbitrary bytes be what an FTP server says: a server on 127.0.0.1 in this process sends
// the input on the control connection, ends its side and reads whatever the client sends.
// The client connects and then sends NOOP until a call fails. What must hold:
// - every call ends at once with a reply or an error, never by running out of time, since
//   the server has said all it will and closed its side;
// - no reply is longer than the client's limit, and the log shows no control character;
// - when the input starts with a login the client accepts (the first byte is even), the
//   replies are exactly the whole replies of the input in order, none lost, none made up,
//   and the client stops only where the input holds no further whole reply.
// When bits 1 to 3 of the first byte are set, the first line after it is padded at its end
// with about a megabyte (the bits above say how much), so that the length limits are reached.
// Such inputs are slow, so they leave the log out.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ftp/ftp_client.h"
#include "model/error.h"

namespace {

using namespace std::chrono_literals;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_ftp_reply: %s\n", what);
    std::abort();
}

// The listening socket, made once; one connection per input.
struct Listener {
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 4) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            Fail("no listening socket");
        port = ntohs(address.sin_port);
    }
    int fd = -1;
    int port = 0;
};

// Sends everything, ends the sending side, then reads until the client closes. Reading goes
// on while sending, so that neither side waits for the other.
void Serve(int listener, const std::string& stream) {
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 10000) != 1) Fail("the client never connected");
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) Fail("accept failed");
    std::size_t sent = 0;
    bool open = true;
    while (open) {
        const bool sending = sent < stream.size();
        if (!sending && sent != std::string::npos) {
            ::shutdown(fd, SHUT_WR);
            sent = std::string::npos;
        }
        pollfd p{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 10000) <= 0) break;
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char sink[16384];
            const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) open = false;
        }
        if (sending && (p.revents & POLLOUT)) {
            const ssize_t n = ::send(fd, stream.data() + sent, stream.size() - sent, MSG_NOSIGNAL);
            if (n > 0) sent += static_cast<std::size_t>(n);
            if (n < 0 && errno != EAGAIN && errno != EINTR) open = false;
        }
    }
    ::close(fd);
}

// The whole replies at the start of a stream as RFC 959 frames them: lines end in LF (a CR
// before it is dropped); a reply is a line "NNN text", or "NNN-text" up to the line that
// starts "NNN " or is "NNN". Stops at a line that starts no reply, at a reply longer than the
// client takes, at the end of the last whole reply, and after 421, when the client hangs up.
std::vector<qp::TFtpReply> WholeReplies(std::string_view stream) {
    std::vector<qp::TFtpReply> replies;
    std::optional<qp::TFtpReply> open;
    std::string code;
    std::size_t pos = 0;
    for (std::size_t lf; (lf = stream.find('\n', pos)) != std::string_view::npos; pos = lf + 1) {
        std::string_view line = stream.substr(pos, lf - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const bool coded =
            line.size() >= 3 && line.substr(0, 3).find_first_not_of("0123456789") == std::string_view::npos;
        const bool first = !open;
        if (first) {
            if (!coded || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) break;
            open.emplace();
            code = std::string(line.substr(0, 3));
            open->Code = std::stoi(code);
        } else {
            open->Text += '\n';
        }
        open->Text += line;
        if (open->Text.size() > qp::kMaxFtpReplyBytes) break;
        const bool closes = (first || line.substr(0, 3) == code) && (line.size() == 3 || line[3] == ' ');
        if (!closes) continue;
        replies.push_back(std::move(*open));
        open.reset();
        if (replies.back().Code == 421) break;
    }
    return replies;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Listener listener;
    if (size == 0) return 0;
    const bool scripted = (data[0] & 1) == 0;
    std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool padded = (data[0] & 0x0E) == 0x0E;
    if (padded) {
        const std::size_t at = std::min(body.find_first_of("\r\n"), body.size());
        const std::size_t pad = qp::kMaxFtpReplyBytes - 2048 + (data[0] >> 4) * 256;
        body.insert(at, pad, 'x');
    }
    const std::string login = scripted ? "220 fuzz\r\n230 fuzz\r\n" : "";
    const std::string stream = login + body;

    std::thread server(Serve, listener.fd, std::cref(stream));
    std::vector<qp::TFtpReply> got;
    std::optional<qp::Error> ended;
    bool connected = false;
    // Every wait of the client is bounded by kWait: a session that lasts that long has had a
    // wait run out. (The error's words cannot tell: the server's text may hold the same.)
    constexpr auto kWait = 5000ms;
    const auto start = std::chrono::steady_clock::now();
    {
        qp::TFtpClient client;
        client.SetHost("127.0.0.1:" + std::to_string(listener.port));
        client.SetUserName("fuzz");
        client.SetPassword("fuzz");
        client.SetConnectTimeout(kWait);
        client.SetReplyTimeout(kWait);
        client.SetOperationTimeout(2 * kWait);
        client.SetLogEnabled(!padded);
        client.SetLogHook([](qp::TRemoteLogDirection, const std::string& line) {
            for (char c : line) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) Fail("control character in the log");
            }
        });
        try {
            client.Connect();
            connected = true;
            // Each reply takes a line at least, so more replies than lines are made up.
            const std::size_t lines = static_cast<std::size_t>(std::count(body.begin(), body.end(), '\n'));
            while (got.size() <= lines) got.push_back(client.SendCommand("NOOP"));
            Fail("more replies than lines");
        } catch (const qp::Error& e) {
            ended = e;
        }
    }
    if (std::chrono::steady_clock::now() - start >= kWait) {
        if (ended) std::fprintf(stderr, "fuzz_ftp_reply: %s\n", ended->what());
        Fail("a call waited for what the server never sent");
    }
    server.join();

    for (const qp::TFtpReply& reply : got) {
        if (reply.Text.size() > qp::kMaxFtpReplyBytes) Fail("a reply longer than the limit");
        if (reply.Text.size() < 3 || reply.Code != std::stoi(reply.Text.substr(0, 3)))
            Fail("a code not its text's");
    }
    if (scripted) {
        if (!connected) Fail("a good login was refused");
        const std::vector<qp::TFtpReply> expected = WholeReplies(body);
        if (got.size() != expected.size()) Fail("not every whole reply was read, or one was made up");
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (got[i].Code != expected[i].Code || got[i].Text != expected[i].Text)
                Fail("a reply not as sent");
        }
    }
    return 0;
}
