#pragma once
// Reads the preview's connections on one thread until each holds a whole request, so that
// idle, slow or hostile clients never hold a thread that the user's own requests need. A
// whole request within the limits goes on to the server; the others are answered here
// (400, 408, 413, 431, 501, 503) and closed, and the CGI never sees them.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "preview/request_framer.h"

namespace qp::preview {

class TRequestGate {
public:
    struct Options {
        TRequestLimits Limits;
        // From the connection's start to the request's last byte; an idle connection is
        // closed after it, a slow request answered 408 (head) or 400 (body).
        std::chrono::milliseconds RequestTimeout{15000};
        // Connections waiting here; a new one beyond it closes the oldest.
        std::size_t MaxConnections = 128;
    };
    // Takes over a connection and its one whole request; false when the server is too busy
    // (the gate then answers 503).
    using Deliver = std::function<bool(int socket, std::string request)>;
    using Log = std::function<void(const std::string&)>;

    TRequestGate(Options options, Deliver deliver, Log log);
    ~TRequestGate();
    TRequestGate(const TRequestGate&) = delete;
    TRequestGate& operator=(const TRequestGate&) = delete;

    void Start();
    // Closes every connection still here; Adopt() closes what comes after.
    void Stop();
    // From any thread: the gate owns the socket from here on.
    void Adopt(int socket);

private:
    struct Connection;
    void Loop();
    void TakeAdopted(std::vector<std::unique_ptr<Connection>>& connections);
    void Read(Connection& connection);
    void Expire(Connection& connection);
    void Answer(Connection& connection, int status, const std::string& reason);

    Options options_;
    Deliver deliver_;
    Log log_;
    int wake_ = -1;
    std::mutex mutex_;
    std::vector<int> adopted_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace qp::preview
