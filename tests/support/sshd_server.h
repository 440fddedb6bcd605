#pragma once
// Debian's OpenSSH server on a loopback port for the SFTP tests and benches: own configuration,
// host key and user keys made for the run in a temporary folder, nothing of /etc/ssh read.
// As root it logs in a throwaway account (key and password); otherwise the current user (key
// only). No gtest here: the benches use it too. Start and restart it from the test's own
// thread: sshd is tied to that thread's life, so that a killed test leaves no server behind.
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace qp::test {

class TSshdServer {
public:
    // Starts the server; raises std::runtime_error (with the end of sshd's log) when it cannot.
    TSshdServer();
    // Stops the server, removes the account (if one was made) and the folder.
    ~TSshdServer();
    TSshdServer(const TSshdServer&) = delete;
    TSshdServer& operator=(const TSshdServer&) = delete;

    int Port() const { return port_; }
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }
    // "SHA256:AB:CD:..." of the host key now served, and its type ("ssh-ed25519").
    const std::string& Fingerprint() const { return fingerprint_; }
    const std::string& HostKeyType() const { return hostKeyType_; }

    const std::string& User() const { return user_; }
    // Unencrypted ed25519 private key, authorized for User().
    const std::string& KeyFile() const { return keyFile_; }
    // A second authorized key, encrypted with Passphrase().
    const std::string& EncryptedKeyFile() const { return encryptedKeyFile_; }
    const std::string& Passphrase() const { return passphrase_; }
    // Password login needs an account of our own, so root is needed to make one.
    bool PasswordAvailable() const { return !password_.empty(); }
    const std::string& Password() const { return password_; }
    const std::string& PasswordUnavailableReason() const { return noPasswordReason_; }

    // The folder a session starts in (absolute, as the server sees it; local to the tests).
    const std::string& Home() const { return home_; }
    // The temporary folder that holds everything of this server.
    const std::string& Folder() const { return folder_; }

    // sshd's log so far (LogLevel VERBOSE), and its last lines for messages.
    std::string Log() const;
    std::string LogTail(std::size_t lines = 30) const;

    // Stops everything and comes back on the same port, with a host key made anew if asked.
    void Restart(bool newHostKey = true);
    // Drops the server at once (SIGKILL of the listener and every session): open connections
    // break, new ones are refused until Restart.
    void Kill();
    // Kills the session processes only; the listener takes new connections.
    void KillSessions();
    bool Running() const { return pid_ > 0; }

private:
    void Setup();
    void Cleanup() noexcept;
    void MakeAccount();
    void MakeHostKey();
    void WriteConfig();
    // Starts sshd on port_ (a free one when 0) and waits until it listens.
    void Launch(bool pickPort);
    bool LaunchOnce(std::string& failure);
    void Stop() noexcept;
    void KillDescendants() noexcept;

    std::string folder_;
    std::string home_;
    std::string config_;
    std::string logFile_;
    std::string hostKey_;
    std::string fingerprint_;
    std::string hostKeyType_;
    std::string user_;
    bool ownAccount_ = false;
    std::string keyFile_;
    std::string encryptedKeyFile_;
    std::string passphrase_;
    std::string password_;
    std::string noPasswordReason_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace qp::test
