#pragma once
// What the upload run and the folder browser need of a server's files, whatever protocol
// moves them: blocking calls with timeouts that keep calling a pump callback while they wait,
// and a log hook. The FTP(S) and the SFTP client implement it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "remote/remote_entry.h"
#include "remote/server_trust.h"

namespace qp {

// Note: a step of the client itself (encryption, the server's identity), without time stamp.
enum class TRemoteLogDirection { Sent, Received, Note };

class TRemoteFiles {
public:
    using LogHook = std::function<void(TRemoteLogDirection, const std::string& line)>;
    // Called again and again while a call waits for the network.
    using PumpHook = std::function<void()>;
    // Bytes sent so far of the total, while a file is stored.
    using ProgressHook = std::function<void(std::int64_t sent, std::int64_t total)>;
    // Asked for the passphrase of an encrypted key file; nullopt when the user gave none.
    using PassphraseHook = std::function<std::optional<std::string>(const std::string& keyFile)>;

    virtual ~TRemoteFiles() = default;

    // "host" or "host:port" ("[v6addr]:port" for IPv6); the protocol names the default port.
    virtual void SetHost(const std::string& host) = 0;
    virtual void SetUserName(const std::string& user) = 0;
    virtual void SetPassword(const std::string& password) = 0;
    // Passive data connections, where the protocol has data connections of its own.
    virtual void SetPassive(bool passive) = 0;
    virtual bool Passive() const = 0;
    // An encrypted connection, never falling back to a plain one.
    virtual void SetSecure(bool secure) = 0;
    virtual bool Secure() const = 0;
    // A private key file (a local path) to log in with, where the protocol takes one; the
    // password is then not needed. The hook is asked when the key is encrypted.
    virtual void SetKeyFile(const std::string& path) = 0;
    virtual void SetPassphraseHook(PassphraseHook hook) = 0;
    // Decides whether the server's identity is trusted, before the password is sent.
    virtual TServerTrust& Trust() = 0;
    virtual const TServerTrust& Trust() const = 0;
    // Asked while connecting and logging in, where true gives up the connection, and between
    // the pieces of a transfer, where true ends it early (an Error) with the connection kept.
    virtual void SetCancelCheck(std::function<bool()> cancel) = 0;

    virtual void SetConnectTimeout(std::chrono::milliseconds t) = 0;
    // Each single wait for the server.
    virtual void SetReplyTimeout(std::chrono::milliseconds t) = 0;
    // Each whole operation; a transfer gets this plus its size at the minimum rate.
    virtual void SetOperationTimeout(std::chrono::milliseconds t) = 0;
    virtual void SetMinTransferRate(std::int64_t bytesPerSecond) = 0;

    virtual void SetLogHook(LogHook hook) = 0;
    virtual void SetLogEnabled(bool on) = 0;
    virtual bool LogEnabled() const = 0;
    virtual void SetPump(PumpHook pump) = 0;

    // Connects and logs in.
    virtual void Connect() = 0;
    virtual bool Connected() const = 0;
    // Ends the session politely when still connected. Never throws.
    virtual void Disconnect() = 0;

    virtual std::string CurrentFolder() = 0;
    virtual void ChangeFolder(const std::string& folder) = 0;
    virtual void ChangeToParentFolder() = 0;
    // Lists the current folder; the entries are kept until the next listing.
    virtual void List() = 0;
    virtual const std::vector<TFtpListEntry>& Entries() const = 0;
    virtual void MakeFolder(const std::string& name) = 0;
    virtual void RemoveFolder(const std::string& name) = 0;
    virtual void DeleteFile(const std::string& name) = 0;

    // Tells the server the size of the file about to be stored, where the protocol can; a
    // server that does not care is no error, a lost connection is.
    virtual void AnnounceSize(std::int64_t size) = 0;
    // Stores a text file (the script or the runtime) in the current folder under remoteName.
    virtual void StoreText(const std::string& localPath, const std::string& remoteName,
                           const ProgressHook& progress = {}) = 0;
    // The bytes of a file of the current folder, as they are (binary). More than maxBytes
    // raise an Error, as does a cancel between pieces. progress gets the bytes so far, 0 as total.
    virtual std::string RetrieveBytes(const std::string& remoteName, std::int64_t maxBytes,
                                      const ProgressHook& progress = {}) = 0;
    // Sets the permission bits (e.g. 0755); chmodCommand is the server's own command for it,
    // where the protocol needs one (UsesChmodCommand).
    virtual void SetMode(const std::string& remoteName, int mode, const std::string& chmodCommand) = 0;
    virtual bool UsesChmodCommand() const = 0;

    // Renames a file of the current folder to `to`, replacing a file of that name. True when
    // the server replaced it in one step; false when it would not rename over the file, which
    // was deleted first (a moment without it). Raises when the rename did not happen.
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    // The size in bytes the server reports of a file of the current folder; nullopt when it
    // cannot tell. A lost connection raises.
    virtual std::optional<std::int64_t> RemoteSize(const std::string& name) = 0;
    // Whether the server takes and gives file names in UTF-8. FTP asks the server (FEAT, OPTS
    // UTF8 ON) the first time it is asked in a session; SFTP always does.
    virtual bool NamesInUtf8() = 0;
};

}  // namespace qp
