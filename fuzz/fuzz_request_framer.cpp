// Feeds arbitrary bytes, as any web page can make a browser send them, to the preview's
// request framer and to the gate that reads connections with it. What must hold:
// - the framer's verdict (whole and where it ends, refused and why, or still waiting) is the
//   same whether the bytes arrive at once, one by one or in any other pieces, under the
//   default limits and under small ones that the input can reach;
// - the gate, given the bytes on a connection that then ends, hands on exactly the request
//   the framer found, answers a refusal with the framer's status, a body cut short with 400,
//   and closes a head cut short without an answer; and its log shows no control character.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "preview/request_framer.h"
#include "preview/request_gate.h"

namespace {

using qp::preview::TRequestFramer;
using qp::preview::TRequestLimits;
using State = TRequestFramer::State;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_request_framer: %s\n", what);
    std::abort();
}

struct Verdict {
    State state;
    std::size_t end;
    int status;
    std::string reason;
    std::string requestLine;
    bool operator==(const Verdict&) const = default;
};

// Scans as a reader of a connection does: what arrived so far, after each piece, until the
// framer has decided.
Verdict Frame(const std::string& bytes, const TRequestLimits& limits, const std::vector<std::size_t>& cuts) {
    TRequestFramer framer(limits);
    std::string seen;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t to = i < cuts.size() ? cuts[i] : bytes.size();
        seen.append(bytes, from, to - from);
        from = to;
        const State state = framer.Scan(seen);
        if (state == State::Complete || state == State::Refused) break;
    }
    const State state = framer.Current();
    return {state, state == State::Complete ? framer.End() : 0, framer.RefusalStatus(),
            framer.RefusalReason(), framer.RequestLine()};
}

// Cut points from a small generator seeded by the bytes themselves, so that a crash repeats.
std::vector<std::size_t> RandomCuts(const std::string& bytes) {
    std::uint64_t state = 1469598103934665603ULL;
    for (char c : bytes) state = (state ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    std::vector<std::size_t> cuts;
    std::size_t at = 0;
    while (true) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const int shift = static_cast<int>((state >> 60) & 0xF);  // pieces of 1 byte up to 32 KiB
        at += 1 + ((state >> 33) & ((std::uint64_t{1} << shift) - 1));
        if (at >= bytes.size()) break;
        cuts.push_back(at);
    }
    return cuts;
}

TRequestLimits SmallLimits() {
    TRequestLimits limits;
    limits.MaxHeadBytes = 256;
    limits.MaxHeaderCount = 8;
    limits.MaxBodyBytes = 512;
    return limits;
}

// What the gate did with one connection.
struct Outcome {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::string> delivered;
};

Outcome& LastOutcome() {
    static Outcome outcome;
    return outcome;
}

qp::preview::TRequestGate& Gate() {
    static qp::preview::TRequestGate gate = [] {
        qp::preview::TRequestGate::Options options;
        options.Limits = SmallLimits();
        options.RequestTimeout = std::chrono::seconds(20);
        return qp::preview::TRequestGate(
            options,
            [](int socket, std::string request) {
                std::lock_guard<std::mutex> lock(LastOutcome().mutex);
                LastOutcome().delivered = std::move(request);
                ::close(socket);
                return true;
            },
            [](const std::string& line) {
                for (char c : line) {
                    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                        Fail("control character in the log");
                }
            });
    }();
    static const bool started = (gate.Start(), true);
    (void)started;
    return gate;
}

// The final status of an answer, after any "100 Continue"; 0 for none.
int StatusOf(const std::string& response) {
    std::size_t pos = 0;
    while (response.compare(pos, 11, "HTTP/1.1 10") == 0) {
        pos = response.find("\r\n\r\n", pos);
        if (pos == std::string::npos) return 0;
        pos += 4;
    }
    if (response.compare(pos, 9, "HTTP/1.1 ") != 0) return 0;
    return std::atoi(response.c_str() + pos + 9);
}

void CheckGate(const std::string& bytes, const Verdict& expected, const std::vector<std::size_t>& cuts) {
    {
        std::lock_guard<std::mutex> lock(LastOutcome().mutex);
        LastOutcome().delivered.reset();
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) Fail("no socket pair");
    Gate().Adopt(pair[1]);
    std::size_t from = 0;
    bool listening = true;
    for (std::size_t i = 0; i <= cuts.size() && listening; ++i) {
        const std::size_t to = i < cuts.size() ? cuts[i] : bytes.size();
        while (from < to && listening) {
            const ssize_t n = ::send(pair[0], bytes.data() + from, to - from, MSG_NOSIGNAL);
            listening = n > 0;  // else the gate has decided and closed
            if (listening) from += static_cast<std::size_t>(n);
        }
    }
    ::shutdown(pair[0], SHUT_WR);
    std::string response;
    for (;;) {
        pollfd p{pair[0], POLLIN, 0};
        if (::poll(&p, 1, 15000) != 1) Fail("the gate neither answered nor closed");
        char buffer[4096];
        const ssize_t n = ::recv(pair[0], buffer, sizeof buffer, 0);
        if (n <= 0) break;
        response.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pair[0]);

    std::optional<std::string> delivered;
    {
        std::lock_guard<std::mutex> lock(LastOutcome().mutex);
        delivered = LastOutcome().delivered;
    }
    switch (expected.state) {
        case State::Complete:
            if (!delivered || *delivered != bytes.substr(0, expected.end))
                Fail("the whole request not handed on");
            return;
        case State::Refused:
            if (delivered || StatusOf(response) != expected.status)
                Fail("a refusal not answered with its status");
            return;
        case State::Body:
            if (delivered || StatusOf(response) != 400) Fail("a body cut short not answered 400");
            return;
        case State::Head:
            if (delivered || StatusOf(response) != 0) Fail("a head cut short answered");
            return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::size_t> oneByOne;
    for (std::size_t i = 1; i < size; ++i) oneByOne.push_back(i);
    const std::vector<std::size_t> random = RandomCuts(bytes);

    for (const TRequestLimits& limits : {TRequestLimits{}, SmallLimits()}) {
        const Verdict whole = Frame(bytes, limits, {});
        if (whole.state == State::Complete && (whole.end == 0 || whole.end > size))
            Fail("an end outside the bytes");
        if (whole.state == State::Refused && whole.status != 400 && whole.status != 413 &&
            whole.status != 431 && whole.status != 501)
            Fail("a refusal with another status");
        if (!(Frame(bytes, limits, oneByOne) == whole)) Fail("byte by byte differs from all at once");
        if (!(Frame(bytes, limits, random) == whole)) Fail("random pieces differ from all at once");
    }
    CheckGate(bytes, Frame(bytes, SmallLimits(), {}), random);
    return 0;
}
