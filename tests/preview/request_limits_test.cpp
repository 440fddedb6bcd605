// Hostile and misbehaving clients against a preview served over HTTP: foreign Host names,
// oversized and cut-short requests, idle and slow connections.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "preview/mail_view.h"
#include "preview_fixture.h"

namespace qp::preview {
namespace {

using Clock = std::chrono::steady_clock;

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;  // the server may stop reading once it has refused
        sent += static_cast<std::size_t>(n);
    }
}

std::string ReadAll(int fd) {
    std::string response;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        response.append(buffer, static_cast<std::size_t>(n));
    return response;
}

// Sends request (and, with endInput, no more), returns all the server answers.
std::string Exchange(int port, const std::string& request, bool endInput = false) {
    const int fd = Connect(port);
    SendAll(fd, request);
    if (endInput) ::shutdown(fd, SHUT_WR);
    std::string response = ReadAll(fd);
    ::close(fd);
    return response;
}

// The final status of a response, after any "100 Continue".
int StatusOf(const std::string& response) {
    std::size_t pos = 0;
    while (response.compare(pos, 11, "HTTP/1.1 10") == 0) pos = response.find("\r\n\r\n", pos) + 4;
    return response.compare(pos, 9, "HTTP/1.1 ") == 0 ? std::atoi(response.c_str() + pos + 9) : 0;
}

std::string Head(const TPreviewServer& server, const std::string& requestLine) {
    return requestLine + "\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
}

TEST_F(PreviewTest, OnlyTheOwnAddressIsAnsweredAndTheLogShowsControlsEscaped) {
    std::mutex mutex;
    std::string log;
    TPreviewServer::Options options;
    options.Log = [&](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        log += line + "\n";
    };
    auto serving = Serve(options);
    const TPreviewServer& server = *serving->server;
    const std::string port = std::to_string(server.Port());

    // A page of another site reaching the preview through DNS rebinding.
    const std::string stolen = Exchange(
        server.Port(),
        "GET /__mails__?\x1b]0;owned\x07\x1b[2J HTTP/1.1\r\nHost: evil.example:" + port + "\r\n\r\n");
    EXPECT_EQ(StatusOf(stolen), 421) << stolen;
    EXPECT_EQ(stolen.find("送信されたメール"), std::string::npos);
    for (const std::string& host :
         std::vector<std::string>{"evil.example", "127.0.0.1", "127.0.0.1:1", "localhost.:" + port, ""}) {
        THttpRequest request;
        request.Target = "/__mails__";
        request.Headers = {{"Host", host}};
        EXPECT_EQ(server.Handle(request).Status, 421) << host;
    }
    THttpRequest twice;
    twice.Headers = {{"Host", "127.0.0.1:" + port}, {"Host", "evil.example"}};
    EXPECT_EQ(server.Handle(twice).Status, 421);
    for (const std::string& host :
         std::vector<std::string>{"localhost:" + port, "LocalHost:" + port, "[::1]:" + port}) {
        THttpRequest request;
        request.Target = "/__mails__";
        request.Headers = {{"Host", host}};
        EXPECT_EQ(server.Handle(request).Status, 200) << host;
    }

    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_NE(log.find("GET /__mails__?\\x1B]0;owned\\x07\\x1B[2J 421\n"), std::string::npos) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

TEST_F(PreviewTest, OversizedRequestsAreRefusedBeforeTheCgi) {
    TPreviewServer::Options options;
    options.Requests.Limits.MaxBodyBytes = 64 * 1024;
    auto serving = Serve(options);
    const TPreviewServer& server = *serving->server;
    const int port = server.Port();
    const auto start = Clock::now();

    std::string many = Head(server, "GET /contact.cgi?env HTTP/1.1");
    for (int i = 0; i < 20000; ++i) many += "X-H" + std::to_string(i) + ": v\r\n";
    EXPECT_EQ(StatusOf(Exchange(port, many + "\r\n")), 431);
    EXPECT_EQ(StatusOf(Exchange(port, Head(server, "GET /contact.cgi HTTP/1.1") +
                                          "X-Big: " + std::string(20000, 'a') + "\r\n\r\n")),
              431);
    // Declared and never sent: refused at once, not after waiting for it.
    EXPECT_EQ(StatusOf(Exchange(
                  port, Head(server, "POST /contact.cgi HTTP/1.1") + "Content-Length: 1000000000\r\n\r\n")),
              413);
    const std::string chunk = "8000\r\n" + std::string(0x8000, 'x') + "\r\n";
    const std::string chunked =
        Head(server, "POST /contact.cgi?env HTTP/1.1") + "Transfer-Encoding: chunked\r\n";
    EXPECT_EQ(StatusOf(Exchange(port, chunked + "\r\n" + chunk + chunk + chunk + "0\r\n\r\n")), 413);
    EXPECT_EQ(StatusOf(Exchange(
                  port, Head(server, "POST /contact.cgi HTTP/1.1") + "Transfer-Encoding: gzip\r\n\r\n")),
              501);
    EXPECT_EQ(
        StatusOf(Exchange(port, Head(server, "POST /contact.cgi HTTP/1.1") +
                                    "Content-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n")),
        400);

    // Within the limits, chunked or announced with Expect, the CGI gets the whole body once.
    const std::string whole =
        Exchange(port, chunked + "Expect: 100-continue\r\n\r\n" + "5\r\na=1&b\r\n3\r\n=22\r\n0\r\n\r\n");
    EXPECT_EQ(StatusOf(whole), 200) << whole;
    EXPECT_NE(whole.find("BODY=a=1&b=22"), std::string::npos) << whole;
    EXPECT_NE(whole.find("CONTENT_LENGTH=8\n"), std::string::npos);
    EXPECT_EQ(whole.find("100 Continue"), whole.rfind("100 Continue"));
    EXPECT_LT(Clock::now() - start, 30s);
}

TEST_F(PreviewTest, BodyShorterThanDeclaredNeverRunsTheCgi) {
    TPreviewServer::Options options;
    options.Requests.RequestTimeout = 1s;
    auto serving = Serve(options);
    const TPreviewServer& server = *serving->server;
    const std::string post = Head(server, "POST /contact.cgi?mail HTTP/1.1") + "Content-Length: 100\r\n\r\n" +
                             std::string(10, 's');
    const auto start = Clock::now();

    const std::string closed = Exchange(server.Port(), post, true);
    EXPECT_EQ(StatusOf(closed), 400) << closed;
    EXPECT_NE(closed.find("CGIは実行していません"), std::string::npos);
    EXPECT_EQ(StatusOf(Exchange(server.Port(), post)), 400);  // left open until the time limit
    EXPECT_EQ(StatusOf(Exchange(server.Port(), "POST /contact.cgi?mail HTTP/1.1\r\nHost: 127.")), 408);

    EXPECT_LT(Clock::now() - start, 20s);
    EXPECT_TRUE(ReadCapturedMails(server.Site().MailFolder()).empty());
}

TEST_F(PreviewTest, IdleAndSlowClientsDoNotStarveTheUser) {
    auto serving = Serve({});
    const TPreviewServer& server = *serving->server;
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) idle.push_back(Connect(server.Port()));
    std::vector<int> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(Connect(server.Port()));
        SendAll(slow.back(), Head(server, "POST /contact.cgi HTTP/1.1") + "Content-Length: 100000\r\n\r\n");
    }
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        while (!done) {
            for (int fd : slow) SendAll(fd, "a");
            std::this_thread::sleep_for(100ms);
        }
    });

    const auto start = Clock::now();
    httplib::Client client("127.0.0.1", server.Port());
    client.set_connection_timeout(20);
    client.set_read_timeout(20);
    const auto res = client.Get("/contact.cgi");
    const auto took = Clock::now() - start;
    done = true;
    trickle.join();
    for (int fd : idle) ::close(fd);
    for (int fd : slow) ::close(fd);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, "hello");
    EXPECT_LT(took, 5s);
}

}  // namespace
}  // namespace qp::preview
