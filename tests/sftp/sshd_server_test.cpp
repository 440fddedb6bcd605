// The OpenSSH test server itself, checked with OpenSSH's own tools, so that a failing SFTP
// client test points at the client and not at the server it talks to.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <string>

#include "support/sjis_literal.h"
#include "support/loopback_port.h"
#include "support/sshd_server.h"

namespace {

// The host key's fingerprint as OpenSSH's ssh-keyscan sees it on the port, in our format.
std::string ScannedFingerprint(int port) {
    const std::string line =
        qp::test::RunShell("timeout 20 ssh-keyscan -t ed25519 -p " + std::to_string(port) +
                           " 127.0.0.1 2>/dev/null | ssh-keygen -l -E sha256 -f - 2>&1")
            .out;
    const auto at = line.find("SHA256:");
    if (at == std::string::npos) return "(none: " + line + ")";
    const std::string b64 = line.substr(at + 7, line.find(' ', at) - at - 7);
    const std::string hex =
        qp::test::RunShell("printf '%s=' '" + b64 + "' | base64 -d | od -An -tx1 | tr -d ' \\n'").out;
    std::string out = "SHA256:";
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += (i ? ":" : "") + std::string{static_cast<char>(std::toupper(hex[i])),
                                            static_cast<char>(std::toupper(hex[i + 1]))};
    return out;
}

TEST(SshdServer, ServesItsOwnHostKeyAndANewOneAfterRestart) {
    qp::test::TSshdServer server;
    EXPECT_EQ(server.HostKeyType(), "ssh-ed25519");
    const std::string first = server.Fingerprint();
    EXPECT_EQ(ScannedFingerprint(server.Port()), first) << server.LogTail();

    const int port = server.Port();
    server.Restart();
    EXPECT_EQ(server.Port(), port);
    EXPECT_NE(server.Fingerprint(), first);
    EXPECT_EQ(ScannedFingerprint(port), server.Fingerprint()) << server.LogTail();

    server.Kill();
    EXPECT_FALSE(qp::test::AcceptsOnLoopback(port));
}

// OpenSSH's sftp puts a file with the given key (its passphrase, if any, given through
// SSH_ASKPASS) or, without a key, with the password; true when the file lands in the home.
bool SftpPut(const qp::test::TSshdServer& server, const std::string& name, const std::string& keyFile,
             const std::string& secret) {
    const std::string askpass = server.Folder() + "/askpass";
    std::ofstream(askpass) << "#!/bin/sh\nprintf '%s\\n' '" << secret << "'\n";
    ::chmod(askpass.c_str(), 0700);
    std::ofstream(server.Folder() + "/batch") << "put " << server.Folder() << "/sshd_config " << name << "\n";
    const std::string auth = keyFile.empty()
                                 ? "-o PubkeyAuthentication=no -o PasswordAuthentication=yes "
                                 : "-o PasswordAuthentication=no -o IdentitiesOnly=yes -i " + keyFile + " ";
    // -b turns batch mode on, which asks nobody; the earlier BatchMode=no wins.
    const std::string cmd = "SSH_ASKPASS=" + askpass +
                            " SSH_ASKPASS_REQUIRE=force timeout 30 sftp -q -F /dev/null " +
                            "-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o "
                            "NumberOfPasswordPrompts=1 -o BatchMode=no " +
                            auth + "-P " + std::to_string(server.Port()) + " -b " + server.Folder() +
                            "/batch " + server.User() + "@127.0.0.1 </dev/null >/dev/null 2>&1";
    struct stat st {};
    return qp::test::RunShell(cmd).status == 0 && ::stat((server.Home() + "/" + name).c_str(), &st) == 0;
}

TEST(SshdServer, OpenSshSftpStoresIntoTheHomeWithEitherKey) {
    qp::test::TSshdServer server;
    EXPECT_TRUE(SftpPut(server, "plain", server.KeyFile(), "")) << server.LogTail();
    EXPECT_TRUE(SftpPut(server, "encrypted", server.EncryptedKeyFile(), server.Passphrase()))
        << server.LogTail();
    EXPECT_FALSE(SftpPut(server, "wrong-passphrase", server.EncryptedKeyFile(), "wrong"));
}

TEST(SshdServer, OpenSshSftpStoresIntoTheHomeWithThePassword) {
    qp::test::TSshdServer server;
    if (!server.PasswordAvailable()) GTEST_SKIP() << server.PasswordUnavailableReason();
    EXPECT_TRUE(SftpPut(server, "password", "", server.Password())) << server.LogTail();
    EXPECT_FALSE(SftpPut(server, "wrong-password", "", server.Password() + "x"));
}

}  // namespace
