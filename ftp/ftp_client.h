#pragma once
// An RFC 959 FTP client on POSIX sockets, with explicit FTPS (RFC 4217) on OpenSSL: blocking
// calls with timeouts that keep calling a pump callback while they wait, a protocol log hook,
// active (PORT) and passive data connections.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/ftp_list_parser.h"
#include "ftp/net_channel.h"
#include "remote/remote_files_base.h"
#include "remote/server_trust.h"

namespace qp {

struct TFtpReply {
    int Code = 0;
    std::string Text;  // every line of the reply, joined by "\n", without the final line end
};

// The longest reply Text taken; a server that sends more loses the connection.
inline constexpr std::size_t kMaxFtpReplyBytes = 1 << 20;

// Note: a step of the client itself (TLS), plain text without time stamp.
using TFtpLogDirection = TRemoteLogDirection;

class TTlsContext;

class TFtpClient : public TRemoteFilesBase {
public:
    // The log hook receives the control connection's traffic, one block at a time: a time
    // stamp ("YYYY/MM/DD HH:MM:SS"), a blank and the data with CR LF shown as "<EOL>", a lone
    // CR as "<CR>" and a lone LF as "<LF>".
    TFtpClient();
    ~TFtpClient() override;
    TFtpClient(const TFtpClient&) = delete;
    TFtpClient& operator=(const TFtpClient&) = delete;

    // The host is "host" or "host:port" ("[v6addr]:port" for IPv6); the port defaults to 21.
    // Each single wait covers a reply, a data connection, or data to move.
    // Passive data connections (EPSV, then PASV) instead of PORT.
    void SetPassive(bool passive) override { passive_ = passive; }
    bool Passive() const override { return passive_; }
    // FTPS: AUTH TLS before USER, the certificate checked by Trust() before the password is
    // sent, PBSZ 0 and PROT P after login, every data connection in TLS. Never falls back.
    void SetSecure(bool secure) override { secure_ = secure; }
    bool Secure() const override { return secure_; }
    // FTP logs in with the password only.
    void SetKeyFile(const std::string&) override {}
    void SetPassphraseHook(PassphraseHook) override {}

    // Connects and logs in; the greeting and every reply are checked.
    void Connect() override;
    bool Connected() const override { return control_.Open(); }
    // Sends QUIT when still connected and closes the connection. Never throws.
    void Disconnect() override;

    std::string Pwd();
    void Cwd(const std::string& folder);
    void Cdup();
    void Allo(std::int64_t size);
    // TYPE A; sent only when the current type is not ASCII already.
    void SetTypeAscii();
    void SetTypeBinary();
    // STOR of the local file's bytes as they are, under the remote name.
    void Stor(const std::string& localPath, const std::string& remoteName, const ProgressHook& progress = {});
    void Site(const std::string& command);
    // LIST without argument; the parsed entries are kept until the next listing.
    void List() override;
    const std::vector<TFtpListEntry>& Entries() const override { return entries_; }
    const std::string& RawListing() const { return rawListing_; }
    void Mkd(const std::string& name);
    void Rmd(const std::string& name);
    void Dele(const std::string& name);

    // The remote-files calls in FTP words: PWD, CWD, CDUP, MKD, RMD, DELE; ALLO with its
    // refusal ignored; TYPE A and STOR; SITE with the chmod command.
    std::string CurrentFolder() override { return Pwd(); }
    void ChangeFolder(const std::string& folder) override { Cwd(folder); }
    void ChangeToParentFolder() override { Cdup(); }
    void MakeFolder(const std::string& name) override { Mkd(name); }
    void RemoveFolder(const std::string& name) override { Rmd(name); }
    void DeleteFile(const std::string& name) override { Dele(name); }
    void AnnounceSize(std::int64_t size) override;
    void StoreText(const std::string& localPath, const std::string& remoteName,
                   const ProgressHook& progress = {}) override;
    // TYPE I and RETR.
    std::string RetrieveBytes(const std::string& remoteName, std::int64_t maxBytes,
                              const ProgressHook& progress = {}) override;
    void SetMode(const std::string& remoteName, int mode, const std::string& chmodCommand) override;
    bool UsesChmodCommand() const override { return true; }
    // RNFR and RNTO; a refused RNTO is tried once more after DELE of the target.
    bool Rename(const std::string& from, const std::string& to) override;
    // SIZE in binary mode (many servers refuse it in ASCII mode).
    std::optional<std::int64_t> RemoteSize(const std::string& name) override;
    bool NamesInUtf8() override;

    // Sends one command and returns the final reply, whatever its code.
    TFtpReply SendCommand(const std::string& command);
    const TFtpReply& LastReply() const { return lastReply_; }

    // Escaping used by the log hook; public for the callers that print it.
    static std::string LogEscape(const std::string& data);

private:
    class Operation;
    using Clock = std::chrono::steady_clock;

    void Send(const std::string& line);
    TFtpReply ReadReply();
    TFtpReply Expect(const std::string& command, std::initializer_list<int> codes);
    [[noreturn]] void FailWithReply(const TFtpReply& reply);
    [[noreturn]] void FailSystem(const std::string& what, int err);
    void CloseControl();
    void Log(TFtpLogDirection dir, const std::string& data);
    void Wait(int fd, short events, Clock::time_point deadline, const char* what);
    bool ControlReadable() const;
    void OpenControl(const std::string& host, const std::string& port);
    void SecureControl(const std::string& host);
    void SecureData(TNetChannel& data);
    // Waits for a data connection while reading what the server says on the control one: an
    // error reply ends the wait with the server's words.
    void WaitData(int fd, short events, const char* what);
    void PumpNow();

    // Runs a transfer command over a data connection, trying the next mode when the
    // server refuses PORT or never connects back.
    using Body = std::function<void(TNetChannel& data)>;
    void Transfer(const std::string& command, const Body& body);
    bool TransferActive(const std::string& command, const Body& body);
    void TransferPassive(const std::string& command, const Body& body);
    int OpenPassiveSocket();
    void FinishTransfer();
    void RunBody(const Body& body, TNetChannel& data);

    bool passive_ = false;
    bool secure_ = false;
    bool connecting_ = false;
    std::unique_ptr<TTlsContext> tls_;
    std::shared_ptr<SSL_SESSION> dataSession_;  // the session the next data connection resumes
    void KeepDataSession(SSL* ssl);
    bool activeRefused_ = false;
    bool epsvRefused_ = false;
    Clock::time_point opDeadline_ = Clock::time_point::max();
    std::optional<TFtpReply> finalReply_;  // a transfer's end, when it came during the data
    Clock::time_point lastPump_{};

    TNetChannel control_;
    std::string inbox_;
    char currentType_ = 0;
    std::optional<bool> utf8Names_;  // asked once per connection
    TFtpReply lastReply_;
    std::vector<TFtpListEntry> entries_;
    std::string rawListing_;
};

}  // namespace qp
