#pragma once
// The TCP connection to a server, made without blocking the caller: the name is looked up on
// a thread of its own and every address is tried in turn, each wait going through the
// caller's wait function (which keeps its window alive and knows about cancelling).
#include <chrono>
#include <functional>
#include <string>

namespace qp {

// Returns when fd is ready for events; raises Error ("what（タイムアウト）" past the deadline).
using TWaitFd = std::function<void(int fd, short events, std::chrono::steady_clock::time_point deadline,
                                   const char* what)>;

// A connected non-blocking socket with TCP_NODELAY; shownName names the server in messages.
int OpenTcp(const std::string& host, const std::string& port, const std::string& shownName,
            std::chrono::milliseconds timeout, const TWaitFd& wait);

}  // namespace qp
