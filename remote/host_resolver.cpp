#include "remote/host_resolver.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "model/error.h"

namespace qp {

HostPort SplitHostPort(const std::string& text, const std::string& defaultPort) {
    HostPort hp{text, defaultPort};
    if (!text.empty() && text.front() == '[') {
        std::size_t close = text.find(']');
        if (close != std::string::npos) {
            hp.host = text.substr(1, close - 1);
            if (close + 1 < text.size() && text[close + 1] == ':') hp.port = text.substr(close + 2);
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        std::size_t colon = text.find(':');
        hp.host = text.substr(0, colon);
        hp.port = text.substr(colon + 1);
    }
    bool digits = !hp.port.empty() && hp.port.size() <= 5 &&
                  std::all_of(hp.port.begin(), hp.port.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!digits || std::stoi(hp.port) < 1 || std::stoi(hp.port) > 65535)
        throw Error("ポート番号が正しくありません: " + text);
    if (hp.host.empty()) throw Error("ホスト名が設定されていません。");
    return hp;
}

struct THostResolver::State {
    ~State() {
        if (found) ::freeaddrinfo(found);
        if (eventFd >= 0) ::close(eventFd);
    }
    std::mutex mutex;
    int eventFd = -1;
    addrinfo* found = nullptr;
    int result = EAI_AGAIN;
};

THostResolver::THostResolver(const std::string& host, const std::string& port)
    : state_(std::make_shared<State>()) {
    state_->eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state_->eventFd < 0) throw Error(std::string("名前解決を開始できません: ") + std::strerror(errno));
    std::thread([state = state_, host, port] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        int result = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->found = found;
        state->result = result;
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(state->eventFd, &one, sizeof one);
    }).detach();
}

THostResolver::~THostResolver() = default;

int THostResolver::EventFd() const {
    return state_->eventFd;
}

THostResolver::AddrList THostResolver::Take() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->result != 0) throw Error(::gai_strerror(state_->result));
    AddrList list(state_->found, &::freeaddrinfo);
    state_->found = nullptr;
    return list;
}

}  // namespace qp
