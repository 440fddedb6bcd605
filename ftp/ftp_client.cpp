#include "ftp/ftp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include <openssl/ssl.h>

#include "remote/host_resolver.h"
#include "remote/tcp_connect.h"
#include "ftp/tls_context.h"
#include "remote/visible_text.h"
#include "model/error.h"

namespace qp {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kNoDeadline = Clock::time_point::max();
constexpr std::size_t kMaxListingBytes = 64u << 20;
constexpr std::size_t kChunk = 256 * 1024;
constexpr auto kPumpInterval = std::chrono::milliseconds(20);

// Closes a descriptor when the scope ends.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int Release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

void SetNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

std::string SystemText(int err) {
    return std::strerror(err);
}

std::string AddressText(const sockaddr_storage& addr) {
    char buf[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&addr)->sin_addr, buf, sizeof buf);
    } else {
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_addr, buf, sizeof buf);
    }
    return buf;
}

void SetPort(sockaddr_storage& addr, unsigned port) {
    if (addr.ss_family == AF_INET)
        reinterpret_cast<sockaddr_in*>(&addr)->sin_port = htons(static_cast<std::uint16_t>(port));
    else
        reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port = htons(static_cast<std::uint16_t>(port));
}

unsigned GetPort(const sockaddr_storage& addr) {
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&addr)->sin_port);
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&addr)->sin6_port);
}

socklen_t AddrLen(const sockaddr_storage& addr) {
    return addr.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
}

bool SameAddress(const sockaddr_storage& a, const sockaddr_storage& b) {
    if (a.ss_family != b.ss_family) return false;
    if (a.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in*>(&a)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(&b)->sin_addr.s_addr;
    return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(&a)->sin6_addr,
                       &reinterpret_cast<const sockaddr_in6*>(&b)->sin6_addr, sizeof(in6_addr)) == 0;
}

bool IsPreliminary(int code) {
    return code >= 100 && code < 200;
}
bool IsSuccess(int code) {
    return code >= 200 && code < 300;
}

// The numbers of "(h1,h2,h3,h4,p1,p2)" in a 227 reply.
bool ParsePasv(const std::string& text, unsigned& port) {
    std::size_t pos = 4;
    while (pos < text.size()) {
        std::size_t start = text.find_first_of("0123456789", pos);
        if (start == std::string::npos) return false;
        unsigned v[6];
        std::size_t i = start;
        int n = 0;
        for (; n < 6; ++n) {
            std::size_t j = i;
            unsigned value = 0;
            while (j < text.size() && j - i < 3 && text[j] >= '0' && text[j] <= '9')
                value = value * 10 + static_cast<unsigned>(text[j++] - '0');
            if (j == i || value > 255) break;
            v[n] = value;
            i = j;
            if (n < 5) {
                if (i >= text.size() || text[i] != ',') break;
                ++i;
            }
        }
        if (n == 6) {
            port = v[4] * 256 + v[5];
            return port != 0;
        }
        pos = start + 1;
    }
    return false;
}

// The port of "(|||port|)" in a 229 reply.
bool ParseEpsv(const std::string& text, unsigned& port) {
    std::size_t open = text.find('(');
    if (open == std::string::npos || open + 4 >= text.size()) return false;
    char d = text[open + 1];
    if (text[open + 2] != d || text[open + 3] != d) return false;
    std::size_t i = open + 4;
    unsigned value = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 6) {
        value = value * 10 + static_cast<unsigned>(text[i++] - '0');
        ++digits;
    }
    if (digits == 0 || i >= text.size() || text[i] != d || value == 0 || value > 65535) return false;
    port = value;
    return true;
}

}  // namespace

// Sets the deadline of the outermost operation; nested ones run within it.
class TFtpClient::Operation {
public:
    explicit Operation(TFtpClient& client, std::chrono::milliseconds extra = {})
        : client_(client), outer_(client.opDeadline_ != kNoDeadline) {
        if (!outer_) client_.opDeadline_ = Clock::now() + client_.operationTimeout_ + extra;
    }
    ~Operation() {
        if (!outer_) client_.opDeadline_ = kNoDeadline;
    }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

private:
    TFtpClient& client_;
    bool outer_;
};

TFtpClient::TFtpClient() = default;

TFtpClient::~TFtpClient() {
    CloseControl();
}

std::string TFtpClient::LogEscape(const std::string& data) {
    std::string out;
    out.reserve(data.size() + 8);
    std::size_t start = 0;
    for (std::size_t i = 0; i <= data.size(); ++i) {
        if (i < data.size() && data[i] != '\r' && data[i] != '\n') continue;
        out += VisibleText(std::string_view(data).substr(start, i - start));
        if (i == data.size()) break;
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') {
            out += "<EOL>";
            ++i;
        } else {
            out += data[i] == '\r' ? "<CR>" : "<LF>";
        }
        start = i + 1;
    }
    return out;
}

void TFtpClient::Log(TFtpLogDirection dir, const std::string& data) {
    if (!logEnabled_ || !logHook_) return;
    if (dir == TFtpLogDirection::Note)
        logHook_(dir, VisibleText(data));
    else
        logHook_(dir, LogTimeStamp() + " " + LogEscape(data));
}

void TFtpClient::PumpNow() {
    if (!pump_) return;
    auto now = Clock::now();
    if (now - lastPump_ < kPumpInterval) return;
    lastPump_ = now;
    pump_();
}

void TFtpClient::Wait(int fd, short events, Clock::time_point deadline, const char* what) {
    deadline = std::min(deadline, opDeadline_);
    for (;;) {
        if (connecting_ && cancel_ && cancel_()) throw Error("接続を中止しました。");
        auto now = Clock::now();
        if (now >= deadline) throw Error(std::string(what) + "（タイムアウト）");
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        int slice = static_cast<int>(std::min<long long>(left + 1, kPumpInterval.count()));
        pollfd p{fd, events, 0};
        int rc = ::poll(&p, 1, slice);
        if (rc > 0) return;
        if (rc < 0 && errno != EINTR) throw Error(std::string(what) + ": " + SystemText(errno));
        PumpNow();
    }
}

bool TFtpClient::ControlReadable() const {
    return inbox_.find('\n') != std::string::npos || control_.Pending();
}

void TFtpClient::WaitData(int fd, short events, const char* what) {
    const auto deadline = std::min(Clock::now() + replyTimeout_, opDeadline_);
    for (;;) {
        auto now = Clock::now();
        if (now >= deadline) throw Error(std::string(what) + "（タイムアウト）");
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        int slice = static_cast<int>(std::min<long long>(left + 1, kPumpInterval.count()));
        const bool watchControl = !finalReply_;
        pollfd p[2] = {{fd, events, 0}, {watchControl ? control_.Fd() : -1, POLLIN, 0}};
        int rc = watchControl && ControlReadable() ? 1 : ::poll(p, 2, slice);
        if (rc < 0 && errno != EINTR) throw Error(std::string(what) + ": " + SystemText(errno));
        if (rc > 0 && p[0].revents) return;
        if (rc > 0 && watchControl) {
            TFtpReply reply = ReadReply();
            if (IsPreliminary(reply.Code)) continue;
            // Kept for FinishTransfer as well: an error that comes while the data connection
            // closes must not be lost to a wait for a reply that was already read.
            finalReply_ = reply;
            if (!IsSuccess(reply.Code)) FailWithReply(reply);
            continue;
        }
        PumpNow();
    }
}

void TFtpClient::CloseControl() {
    control_.Close();
    dataSession_.reset();
    inbox_.clear();
    currentType_ = 0;
    utf8Names_.reset();
}

namespace {

// The likely cause of a common refusal and what to check, in the user's words; empty for others.
const char* Explanation(int code) {
    switch (code) {
        case 421: return "サーバーが接続を打ち切りました（混み合っているか、操作のない時間が長すぎました）。しばらくしてからもう一度お試しください。";
        case 425: return "データ接続ができませんでした。パッシブモードを切り替えてお試しください（ファイアウォールやルーターが妨げていることがあります）。";
        case 426: return "転送の途中で接続が切れました。回線とサーバーの状態を確かめて、もう一度お試しください。";
        case 450: return "ファイルが使用中か、一時的に使えません。しばらくしてからもう一度お試しください。";
        case 451: return "サーバー側の処理に失敗しました（ディスクの空きがないことがあります）。サーバーの空き容量を確かめてください。";
        case 452: return "サーバーのディスクの空きが足りません。不要なファイルを削除するか、サーバーの管理者に確かめてください。";
        case 530: return "ログインできませんでした。ユーザ名とパスワードを確かめてください。";
        case 550: return "ファイルかフォルダが見つからないか、使う権限がありません。設置フォルダの名前とアクセス権を確かめてください。";
        case 553: return "このファイル名はサーバーで使えません。CGIのファイル名を確かめてください。";
        default: return "";
    }
}

}  // namespace

void TFtpClient::FailWithReply(const TFtpReply& reply) {
    if (reply.Code == 421) CloseControl();
    // The explanation first, then the server's own words, which say the most to who knows them.
    const std::string explanation = Explanation(reply.Code);
    throw Error(explanation.empty() ? VisibleLines(reply.Text) : explanation + "\n" + VisibleLines(reply.Text));
}

void TFtpClient::FailSystem(const std::string& what, int err) {
    CloseControl();
    throw Error(what + ": " + SystemText(err));
}

void TFtpClient::OpenControl(const std::string& host, const std::string& port) {
    control_.Reset(OpenTcp(host, port, host_, connectTimeout_,
                           [this](int fd, short events, Clock::time_point deadline, const char* what) {
                               Wait(fd, events, deadline, what);
                           }));
}

void TFtpClient::SecureControl(const std::string& host) {
    TFtpReply reply = SendCommand("AUTH TLS");
    if (reply.Code != 234)
        throw Error("サーバーがFTPS（AUTH TLS）に対応していません: " + VisibleLines(reply.Text) +
                    "\n暗号化せずに接続するには、接続方式を「FTP」にしてください（パスワードは送っていません）。");
    if (!inbox_.empty()) throw Error("サーバーがTLSの開始前に余分なデータを送りました。");
    if (!tls_) tls_ = std::make_unique<TTlsContext>();
    control_.StartTls(tls_->Get(), host, nullptr);
    const auto deadline = Clock::now() + replyTimeout_;
    short wait = 0;
    while (!control_.Handshake(wait)) Wait(control_.Fd(), wait, deadline, "TLSの接続を確立できません");
    Log(TFtpLogDirection::Note, "TLSで暗号化しました（" + TlsSummary(control_.Ssl()) + "）。");
    const TServerIdentity identity = DescribePeer(control_.Ssl());
    trust_.Check(identity);
    if (identity.Verified)
        Log(TFtpLogDirection::Note, "サーバーの証明書を確認しました（" + identity.Details[0].second + "）。");
    else
        Log(TFtpLogDirection::Note, "信頼する証明書です（" + identity.Fingerprint + "）。");
}

void TFtpClient::SecureData(TNetChannel& data) {
    // The control connection's session is resumed: many servers refuse a data connection that
    // does not, as proof that it comes from the same client. With TLS 1.3 a ticket may serve
    // once, so each data connection passes on the newest ticket of the same session.
    if (!dataSession_) KeepDataSession(control_.Ssl());
    data.StartTls(tls_->Get(), {}, dataSession_.get());
    short wait = 0;
    while (!data.Handshake(wait)) WaitData(data.Fd(), wait, "データ接続のTLSを確立できません");
    // The data connection must be the server that was checked on the control connection.
    X509* controlCert = SSL_get0_peer_certificate(control_.Ssl());
    X509* dataCert = SSL_get0_peer_certificate(data.Ssl());
    if (!controlCert || !dataCert || X509_cmp(controlCert, dataCert) != 0)
        throw Error("データ接続の相手が、制御接続と違う証明書を示しました。");
    Log(TFtpLogDirection::Note, SSL_session_reused(data.Ssl()) ? "データ接続をTLSで暗号化しました（セッション再利用）。"
                                                               : "データ接続をTLSで暗号化しました。");
}

void TFtpClient::KeepDataSession(SSL* ssl) {
    SSL_SESSION* session = SSL_get1_session(ssl);
    if (session && SSL_SESSION_is_resumable(session))
        dataSession_.reset(session, &SSL_SESSION_free);
    else if (session)
        SSL_SESSION_free(session);
}

void TFtpClient::Connect() {
    if (Connected()) Disconnect();
    Operation operation(*this);
    activeRefused_ = false;
    epsvRefused_ = false;
    HostPort hp = SplitHostPort(host_, "21");
    connecting_ = true;
    try {
        OpenControl(hp.host, hp.port);
        TFtpReply greeting = ReadReply();
        while (greeting.Code == 120) greeting = ReadReply();
        if (greeting.Code != 220) FailWithReply(greeting);
        if (secure_) SecureControl(hp.host);
        TFtpReply reply = SendCommand("USER " + user_);
        if (reply.Code == 331) reply = SendCommand("PASS " + password_);
        if (reply.Code != 230 && reply.Code != 202) FailWithReply(reply);
        if (secure_) {
            Expect("PBSZ 0", {200});
            Expect("PROT P", {200});
        }
    } catch (...) {
        connecting_ = false;
        CloseControl();
        throw;
    }
    connecting_ = false;
}

void TFtpClient::Disconnect() {
    if (!Connected()) return;
    const auto savedDeadline = opDeadline_;
    opDeadline_ = Clock::now() + std::min(replyTimeout_, std::chrono::milliseconds(3000));
    try {
        SendCommand("QUIT");
    } catch (const Error&) {
    }
    opDeadline_ = savedDeadline;
    CloseControl();
}

void TFtpClient::Send(const std::string& line) {
    if (!Connected()) throw Error("サーバーに接続していません。");
    std::string data = line + "\r\n";
    // The password never reaches a log, whoever reads it.
    Log(TFtpLogDirection::Sent, line.rfind("PASS ", 0) == 0 ? "PASS ********\r\n" : data);
    std::size_t done = 0;
    auto deadline = Clock::now() + replyTimeout_;
    try {
        while (done < data.size()) {
            short wait = 0;
            ssize_t n = control_.Send(data.data() + done, data.size() - done, wait);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                Wait(control_.Fd(), wait, deadline, "サーバーに送信できません");
        }
    } catch (...) {
        CloseControl();
        throw;
    }
}

TFtpReply TFtpClient::ReadReply() {
    if (!Connected()) throw Error("サーバーに接続していません。");
    auto deadline = Clock::now() + replyTimeout_;
    TFtpReply reply;
    std::string code;
    bool multi = false;
    for (;;) {
        std::size_t nl = inbox_.find('\n');
        if (nl == std::string::npos) {
            if (inbox_.size() > kMaxFtpReplyBytes) {
                CloseControl();
                throw Error("サーバーの応答が長すぎます。");
            }
            char buf[4096];
            ssize_t n = 0;
            try {
                short wait = 0;
                n = control_.Recv(buf, sizeof buf, wait);
                if (n < 0) {
                    Wait(control_.Fd(), wait, deadline, "サーバーから応答がありません");
                    continue;
                }
            } catch (...) {
                CloseControl();
                throw;
            }
            if (n == 0) {
                CloseControl();
                throw Error("サーバーが接続を閉じました。");
            }
            std::string block(buf, static_cast<std::size_t>(n));
            Log(TFtpLogDirection::Received, block);
            inbox_ += block;
            continue;
        }
        std::string line = inbox_.substr(0, nl);
        inbox_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // The line feed that joins a line to the ones before counts towards the limit too.
        if (reply.Text.size() + (reply.Text.empty() ? 0 : 1) + line.size() > kMaxFtpReplyBytes) {
            CloseControl();
            throw Error("サーバーの応答が長すぎます。");
        }
        if (!reply.Text.empty()) reply.Text += "\n";
        reply.Text += line;
        bool hasCode = line.size() >= 3 && std::all_of(line.begin(), line.begin() + 3,
                                                       [](char c) { return c >= '0' && c <= '9'; });
        if (code.empty()) {
            if (!hasCode || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
                CloseControl();
                throw Error("サーバーの応答を解釈できません: " + VisibleText(line));
            }
            code = line.substr(0, 3);
            multi = line.size() > 3 && line[3] == '-';
            if (!multi) break;
        } else if (line.compare(0, 3, code) == 0 && (line.size() == 3 || line[3] == ' ')) {
            break;
        }
    }
    reply.Code = std::stoi(code);
    lastReply_ = reply;
    if (reply.Code == 421) CloseControl();
    return reply;
}

TFtpReply TFtpClient::SendCommand(const std::string& command) {
    if (command.find_first_of("\r\n") != std::string::npos)
        throw Error("コマンドに改行を含めることはできません。");
    Operation operation(*this);
    Send(command);
    return ReadReply();
}

TFtpReply TFtpClient::Expect(const std::string& command, std::initializer_list<int> codes) {
    TFtpReply reply = SendCommand(command);
    if (std::find(codes.begin(), codes.end(), reply.Code) == codes.end()) FailWithReply(reply);
    return reply;
}

std::string TFtpClient::Pwd() {
    TFtpReply reply = Expect("PWD", {257});
    const std::string& t = reply.Text;
    std::size_t open = t.find('"');
    if (open != std::string::npos) {
        std::string folder;
        for (std::size_t i = open + 1; i < t.size(); ++i) {
            if (t[i] != '"') {
                folder += t[i];
            } else if (i + 1 < t.size() && t[i + 1] == '"') {
                folder += '"';
                ++i;
            } else {
                return folder;
            }
        }
    }
    throw Error("現在のフォルダがわかりません: " + VisibleLines(t));
}

void TFtpClient::Cwd(const std::string& folder) {
    Expect("CWD " + folder, {200, 250});
}
void TFtpClient::Cdup() {
    Expect("CDUP", {200, 250});
}
void TFtpClient::Allo(std::int64_t size) {
    Expect("ALLO " + std::to_string(size), {200});
}
void TFtpClient::Site(const std::string& command) {
    Expect("SITE " + command, {200});
}
void TFtpClient::Mkd(const std::string& name) {
    Expect("MKD " + name, {257});
}
void TFtpClient::Rmd(const std::string& name) {
    Expect("RMD " + name, {250});
}
void TFtpClient::Dele(const std::string& name) {
    Expect("DELE " + name, {250});
}

void TFtpClient::SetTypeAscii() {
    if (currentType_ == 'A' && Connected()) return;
    Expect("TYPE A", {200});
    currentType_ = 'A';
}

void TFtpClient::SetTypeBinary() {
    if (currentType_ == 'I' && Connected()) return;
    Expect("TYPE I", {200});
    currentType_ = 'I';
}


void TFtpClient::RunBody(const Body& body, TNetChannel& data) {
    try {
        if (secure_) SecureData(data);
        body(data);
    } catch (...) {
        // The server's view of the aborted transfer is unknown: start over with a new connection.
        CloseControl();
        throw;
    }
    // close_notify tells the server that the upload ended here and was not cut off. Then the
    // server's end is awaited: closing with unread bytes (a TLS session ticket) would reset
    // the connection and could cost the server the last part of an upload.
    try {
        short wait = 0;
        while (!data.ShutdownTls(wait)) WaitData(data.Fd(), wait, "データ接続を閉じられません");
        ::shutdown(data.Fd(), SHUT_WR);
        char buf[4096];
        for (;;) {
            wait = 0;
            ssize_t n = data.Recv(buf, sizeof buf, wait);
            if (n == 0) break;
            if (n < 0) WaitData(data.Fd(), wait, "データ接続を閉じられません");
        }
    } catch (const Error&) {
        if (!Connected()) throw;
    }
    if (data.Secure() && SSL_session_reused(data.Ssl())) KeepDataSession(data.Ssl());
    data.Close();
}

void TFtpClient::FinishTransfer() {
    TFtpReply reply = finalReply_ ? *finalReply_ : ReadReply();
    finalReply_.reset();
    while (IsPreliminary(reply.Code)) reply = ReadReply();
    if (!IsSuccess(reply.Code)) FailWithReply(reply);
}

void TFtpClient::Transfer(const std::string& command, const Body& body) {
    if (!Connected()) throw Error("サーバーに接続していません。");
    finalReply_.reset();
    if (!passive_ && !activeRefused_) {
        if (TransferActive(command, body)) return;
        // The server refused PORT or could not reach us: passive from now on.
        activeRefused_ = true;
    }
    TransferPassive(command, body);
}

bool TFtpClient::TransferActive(const std::string& command, const Body& body) {
    sockaddr_storage local{};
    socklen_t len = sizeof local;
    if (::getsockname(control_.Fd(), reinterpret_cast<sockaddr*>(&local), &len) < 0)
        FailSystem("データ接続を準備できません", errno);
    SetPort(local, 0);
    Fd listener(::socket(local.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (listener.Get() < 0) throw Error("データ接続を準備できません: " + SystemText(errno));
    if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&local), AddrLen(local)) < 0 ||
        ::listen(listener.Get(), 4) < 0)
        throw Error("データ接続を準備できません: " + SystemText(errno));
    SetNonBlocking(listener.Get());
    len = sizeof local;
    ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&local), &len);
    unsigned port = GetPort(local);

    std::string portCommand;
    if (local.ss_family == AF_INET) {
        std::string ip = AddressText(local);
        std::replace(ip.begin(), ip.end(), '.', ',');
        portCommand = "PORT " + ip + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    } else {
        portCommand = "EPRT |2|" + AddressText(local) + "|" + std::to_string(port) + "|";
    }
    TFtpReply reply = SendCommand(portCommand);
    if (!IsSuccess(reply.Code)) {
        if (reply.Code == 421) FailWithReply(reply);
        return false;
    }

    sockaddr_storage peer{};
    len = sizeof peer;
    if (::getpeername(control_.Fd(), reinterpret_cast<sockaddr*>(&peer), &len) < 0)
        FailSystem("データ接続を準備できません", errno);
    Send(command);
    bool preliminary = false;
    TNetChannel data;
    // One wait for the connection and the server's word on it: a server that neither connects
    // nor answers has left the command in an unknown state, so the connection is given up.
    const auto deadline = std::min(Clock::now() + connectTimeout_, opDeadline_);
    while (!data.Open()) {
        auto now = Clock::now();
        if (now >= deadline) {
            CloseControl();
            throw Error("サーバーからのデータ接続がありません（タイムアウト）。パッシブモードを試してください。");
        }
        pollfd p[2] = {{listener.Get(), POLLIN, 0}, {control_.Fd(), POLLIN, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        int rc = ControlReadable() ? 1
                                   : ::poll(p, 2, static_cast<int>(std::min<long long>(left + 1, kPumpInterval.count())));
        if (rc < 0 && errno != EINTR) FailSystem("データ接続を待てません", errno);
        if (rc <= 0) {
            PumpNow();
            continue;
        }
        if (p[0].revents & POLLIN) {
            // Only the server may connect: anyone else on the network could take the file.
            sockaddr_storage from{};
            socklen_t fromLen = sizeof from;
            int fd = ::accept4(listener.Get(), reinterpret_cast<sockaddr*>(&from), &fromLen, SOCK_CLOEXEC);
            if (fd >= 0 && SameAddress(from, peer))
                data.Reset(fd);
            else if (fd >= 0)
                ::close(fd);
            continue;
        }
        if (ControlReadable() || (p[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            reply = ReadReply();
            if (IsPreliminary(reply.Code)) {
                preliminary = true;
                continue;
            }
            if (reply.Code == 425) return false;
            FailWithReply(reply);
        }
    }
    listener.Reset();
    SetNonBlocking(data.Fd());
    if (!preliminary) {
        reply = ReadReply();
        if (!IsPreliminary(reply.Code)) FailWithReply(reply);
    }
    RunBody(body, data);
    FinishTransfer();
    return true;
}

int TFtpClient::OpenPassiveSocket() {
    unsigned port = 0;
    if (!epsvRefused_) {
        TFtpReply reply = SendCommand("EPSV");
        if (reply.Code == 229 && ParseEpsv(reply.Text, port)) {
        } else if (reply.Code >= 500 && reply.Code < 600) {
            epsvRefused_ = true;
        } else {
            FailWithReply(reply);
        }
    }
    if (port == 0) {
        TFtpReply reply = Expect("PASV", {227});
        if (!ParsePasv(reply.Text, port)) throw Error("PASVの応答を解釈できません: " + VisibleLines(reply.Text));
    }
    // The data connection goes to the control connection's peer, never to an address the
    // server names: NAT routers rewrite it wrongly, and a hostile server could aim it elsewhere.
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(control_.Fd(), reinterpret_cast<sockaddr*>(&peer), &len) < 0)
        FailSystem("データ接続を準備できません", errno);
    SetPort(peer, port);
    Fd fd(::socket(peer.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0) throw Error("データ接続を準備できません: " + SystemText(errno));
    SetNonBlocking(fd.Get());
    if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&peer), AddrLen(peer)) < 0) {
        if (errno != EINPROGRESS) throw Error("データ接続ができません: " + SystemText(errno));
        Wait(fd.Get(), POLLOUT, Clock::now() + connectTimeout_, "データ接続ができません");
        int err = 0;
        socklen_t elen = sizeof err;
        ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &err, &elen);
        if (err != 0) throw Error("データ接続ができません: " + SystemText(err));
    }
    return fd.Release();
}


void TFtpClient::TransferPassive(const std::string& command, const Body& body) {
    TNetChannel data(OpenPassiveSocket());
    TFtpReply reply = SendCommand(command);
    if (!IsPreliminary(reply.Code)) FailWithReply(reply);
    RunBody(body, data);
    FinishTransfer();
}

void TFtpClient::Stor(const std::string& localPath, const std::string& remoteName,
                      const ProgressHook& progress) {
    Fd file(::open(localPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) throw Error(localPath + " を開けません: " + SystemText(errno));
    struct stat st {};
    if (::fstat(file.Get(), &st) < 0) throw Error(localPath + " を開けません: " + SystemText(errno));
    const std::int64_t total = st.st_size;
    std::unique_ptr<char[]> buffer(new char[kChunk]);

    Operation operation(*this, std::chrono::milliseconds(total * 1000 / std::max<std::int64_t>(minTransferRate_, 1)));
    bool cancelled = false;
    Transfer("STOR " + remoteName, [&](TNetChannel& data) {
        if (::lseek(file.Get(), 0, SEEK_SET) < 0) throw Error(localPath + ": " + SystemText(errno));
        std::int64_t sent = 0;
        if (progress) progress(0, total);
        for (;;) {
            // A cancel ends the data early but in order, so that the control connection stays
            // and the caller can remove what arrived.
            if (cancel_ && cancel_()) {
                cancelled = true;
                break;
            }
            ssize_t got = ::read(file.Get(), buffer.get(), kChunk);
            if (got < 0) {
                if (errno == EINTR) continue;
                throw Error(localPath + " を読めません: " + SystemText(errno));
            }
            if (got == 0) break;
            std::size_t done = 0;
            while (done < static_cast<std::size_t>(got)) {
                short wait = 0;
                ssize_t n = data.Send(buffer.get() + done, static_cast<std::size_t>(got) - done, wait);
                if (n > 0)
                    done += static_cast<std::size_t>(n);
                else
                    WaitData(data.Fd(), wait, "データを送信できません");
            }
            sent += got;
            if (progress) progress(sent, total);
            PumpNow();
        }
    });
    if (cancelled) throw Error(remoteName + " の送信を中止しました。");
}

void TFtpClient::List() {
    entries_.clear();
    rawListing_.clear();
    std::string listing;
    Operation operation(*this);
    Transfer("LIST", [&](TNetChannel& data) {
        char buf[16384];
        for (;;) {
            short wait = 0;
            ssize_t n = data.Recv(buf, sizeof buf, wait);
            if (n > 0) {
                listing.append(buf, static_cast<std::size_t>(n));
                if (listing.size() > kMaxListingBytes) throw Error("一覧が大きすぎます。");
            } else if (n == 0) {
                break;
            } else {
                WaitData(data.Fd(), wait, "一覧を受信できません");
            }
        }
    });
    rawListing_ = std::move(listing);
    entries_ = ParseFtpListing(rawListing_, FtpLocalNow());
}

void TFtpClient::AnnounceSize(std::int64_t size) {
    try {
        Allo(size);
    } catch (const Error&) {
        // Most servers need no allocation and say so with another code; a server that
        // closed the connection has said its last word, and that is the error to show.
        if (!Connected()) throw;
    }
}

void TFtpClient::StoreText(const std::string& localPath, const std::string& remoteName,
                           const ProgressHook& progress) {
    SetTypeAscii();
    Stor(localPath, remoteName, progress);
}

std::string TFtpClient::RetrieveBytes(const std::string& remoteName, std::int64_t maxBytes,
                                      const ProgressHook& progress) {
    SetTypeBinary();
    std::string bytes;
    Operation operation(*this, std::chrono::milliseconds(maxBytes * 1000 / std::max<std::int64_t>(minTransferRate_, 1)));
    Transfer("RETR " + remoteName, [&](TNetChannel& data) {
        bytes.clear();
        char buf[16384];
        for (;;) {
            if (cancel_ && cancel_()) throw Error(remoteName + " の受信を中止しました。");
            short wait = 0;
            const ssize_t n = data.Recv(buf, sizeof buf, wait);
            if (n > 0) {
                bytes.append(buf, static_cast<std::size_t>(n));
                if (static_cast<std::int64_t>(bytes.size()) > maxBytes)
                    throw Error(remoteName + " が大きすぎます（" + std::to_string(maxBytes) + "バイトまで）。");
                if (progress) progress(static_cast<std::int64_t>(bytes.size()), 0);
                PumpNow();
            } else if (n == 0) {
                break;
            } else {
                WaitData(data.Fd(), wait, "データを受信できません");
            }
        }
    });
    return bytes;
}

void TFtpClient::SetMode(const std::string& remoteName, int mode, const std::string& chmodCommand) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode) & 07777U);
    Site(chmodCommand + " " + octal + " " + remoteName);
}

bool TFtpClient::Rename(const std::string& from, const std::string& to) {
    // Only once the server holds `from` may the target be deleted to make room for it.
    Expect("RNFR " + from, {350});
    const TFtpReply reply = SendCommand("RNTO " + to);
    if (reply.Code == 250) return true;
    if (!Connected()) FailWithReply(reply);
    Dele(to);
    Expect("RNFR " + from, {350});
    Expect("RNTO " + to, {250});
    return false;
}

std::optional<std::int64_t> TFtpClient::RemoteSize(const std::string& name) {
    SetTypeBinary();
    const TFtpReply reply = SendCommand("SIZE " + name);
    if (reply.Code != 213) {
        if (!Connected()) FailWithReply(reply);
        return std::nullopt;
    }
    const std::string digits = reply.Text.size() > 4 ? reply.Text.substr(4) : "";
    std::int64_t size = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), size);
    if (ec != std::errc() || end == digits.data() || size < 0) return std::nullopt;
    return size;
}

bool TFtpClient::NamesInUtf8() {
    if (utf8Names_) return *utf8Names_;
    if (!Connected()) throw Error("サーバーに接続していません。");
    bool utf8 = false;
    const TFtpReply features = SendCommand("FEAT");
    if (!Connected()) FailWithReply(features);
    if (features.Code == 211) {
        std::size_t start = 0;
        while (start <= features.Text.size()) {
            std::size_t end = features.Text.find('\n', start);
            if (end == std::string::npos) end = features.Text.size();
            std::string line = features.Text.substr(start, end - start);
            line.erase(0, line.find_first_not_of(" \t"));
            line.erase(line.find_last_not_of(" \t\r") + 1);
            for (char& c : line) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            if (line == "UTF8") utf8 = true;
            start = end + 1;
        }
    }
    // Servers that announce UTF-8 speak it (RFC 2640); some speak it only when asked.
    const TFtpReply asked = SendCommand("OPTS UTF8 ON");
    if (!Connected()) FailWithReply(asked);
    if (IsSuccess(asked.Code)) utf8 = true;
    utf8Names_ = utf8;
    return utf8;
}

}  // namespace qp
