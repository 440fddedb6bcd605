#pragma once
// A host-name lookup on a thread of its own, so that the caller can keep its window alive
// and give up after a timeout: getaddrinfo itself cannot be interrupted or bounded.
#include <netdb.h>

#include <memory>
#include <string>

namespace qp {

struct HostPort {
    std::string host;
    std::string port;
};

// "host", "host:port" or "[v6addr]:port", with defaultPort when none is named; raises Error for
// an empty host or a port outside 1-65535.
HostPort SplitHostPort(const std::string& text, const std::string& defaultPort);

class THostResolver {
public:
    using AddrList = std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)>;

    THostResolver(const std::string& host, const std::string& port);
    // A lookup still running is left to finish on its own.
    ~THostResolver();
    THostResolver(const THostResolver&) = delete;
    THostResolver& operator=(const THostResolver&) = delete;

    // Readable once the lookup has ended.
    int EventFd() const;
    // The addresses; raises Error when the lookup failed. Only after EventFd became readable.
    AddrList Take();

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace qp
