#pragma once
// An SFTP client on libssh: the server checked by its host key (SHA-256 fingerprint) before
// the password or key is offered, blocking calls run on a worker thread while the caller's
// pump keeps its window alive, every wait bounded, text files stored with LF line ends.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "remote/remote_files_base.h"

struct ssh_key_struct;

namespace qp {

class TSftpClient : public TRemoteFilesBase {
public:
    TSftpClient();
    ~TSftpClient() override;
    TSftpClient(const TSftpClient&) = delete;
    TSftpClient& operator=(const TSftpClient&) = delete;

    // The host is "host" or "host:port" ("[v6addr]:port" for IPv6); the port defaults to 22.
    // The log hook receives the steps of the connection as notes, each request as Sent and
    // its outcome as Received, one line each, with a time stamp like the FTP log.
    void SetKeyFile(const std::string& path) override { keyFile_ = path; }
    void SetPassphraseHook(PassphraseHook hook) override { passphrase_ = std::move(hook); }
    // SFTP has no data connections and is always encrypted.
    void SetPassive(bool) override {}
    bool Passive() const override { return false; }
    void SetSecure(bool) override {}
    bool Secure() const override { return true; }

    void Connect() override;
    bool Connected() const override;
    void Disconnect() override;

    // SFTP has no current folder of its own: the client keeps one, absolute, starting at the
    // login folder.
    std::string CurrentFolder() override;
    void ChangeFolder(const std::string& folder) override;
    void ChangeToParentFolder() override;
    void List() override;
    const std::vector<TFtpListEntry>& Entries() const override { return entries_; }
    void MakeFolder(const std::string& name) override;
    void RemoveFolder(const std::string& name) override;
    void DeleteFile(const std::string& name) override;

    void AnnounceSize(std::int64_t) override {}
    // CR LF becomes LF on the way: SFTP moves bytes as they are.
    void StoreText(const std::string& localPath, const std::string& remoteName,
                   const ProgressHook& progress = {}) override;
    // SETSTAT with the bits; the chmod command is not used.
    std::string RetrieveBytes(const std::string& remoteName, std::int64_t maxBytes,
                              const ProgressHook& progress = {}) override;
    void SetMode(const std::string& remoteName, int mode, const std::string& chmodCommand) override;
    bool UsesChmodCommand() const override { return false; }
    // rename, which OpenSSH's server does over an existing file (posix-rename); elsewhere the
    // target is removed first.
    bool Rename(const std::string& from, const std::string& to) override;
    std::optional<std::int64_t> RemoteSize(const std::string& name) override;
    // SFTP names are UTF-8 by convention of every server of it.
    bool NamesInUtf8() override { return true; }

private:
    struct Session;
    using Clock = std::chrono::steady_clock;

    // Runs work on a worker thread while this thread pumps; past the deadline, or when
    // cancelled (if allowed), the connection is cut, the worker ends, and Error is raised.
    // A wait without any answer from the server for the reply timeout counts as a timeout
    // too. tick runs on this thread between the pumps.
    void RunBounded(const std::function<void()>& work, Clock::time_point deadline, bool cancellable,
                    const std::string& timeoutMessage, const std::function<void()>& tick);
    // One request: operation timeout, not cancellable, logged.
    void Request(const std::string& logLine, const std::function<void()>& work);
    TServerIdentity HostIdentity();
    // The key file, asking for its passphrase when it is encrypted.
    ssh_key_struct* LoadKey();
    void Authenticate(Clock::time_point deadline);
    // What went wrong with the last call, after `what`: the SFTP status or the lost connection.
    std::string ServerError(const std::string& what) const;
    void Log(TRemoteLogDirection direction, const std::string& line);
    std::string PathOf(const std::string& name) const;

    std::string keyFile_;
    PassphraseHook passphrase_;

    std::unique_ptr<Session> session_;
    std::string folder_;
    std::vector<TFtpListEntry> entries_;
};

}  // namespace qp
