#include "support/sshd_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/loopback_port.h"

namespace qp::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kSshd = "/usr/sbin/sshd";
constexpr const char* kSshKeygen = "/usr/bin/ssh-keygen";
constexpr const char* kAccountPrefix = "qpsftp";
// In the account's comment, so that a later run can tell an account left by a killed one.
constexpr const char* kAccountComment = "quillpost test sshd pid ";

struct TRunResult {
    int Status = -1;
    std::string Output;  // stdout and stderr together
};

// Runs a program (absolute path, no shell) with the given input, for at most the timeout.
TRunResult Run(const std::vector<std::string>& args, const std::string& input = {},
               std::chrono::seconds timeout = 30s) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    TRunResult result;
    if (pid < 0) {
        ::close(in[1]);
        ::close(out[0]);
        throw std::runtime_error("fork failed");
    }
    // The inputs are a line or two, well within the pipe's buffer.
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0)
        result.Output = "(input not written)\n";
    ::close(in[1]);
    const auto deadline = Clock::now() + timeout;
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= 0ms) {
            timedOut = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char buf[4096];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n == 0) break;
        if (n > 0) result.Output.append(buf, static_cast<std::size_t>(n));
        if (n < 0 && errno != EINTR && errno != EAGAIN) break;
    }
    ::close(out[0]);
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) {
        result.Output += "(killed after " + std::to_string(timeout.count()) + " s)";
        return result;
    }
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// useradd, chpasswd and userdel lock the account files; tests running side by side may
// hold the lock for a moment.
TRunResult RunAccountTool(const std::vector<std::string>& args, const std::string& input = {}) {
    TRunResult r;
    for (int attempt = 0; attempt < 20; ++attempt) {
        r = Run(args, input);
        if (r.Status == 0 || r.Output.find("lock") == std::string::npos) break;
        std::this_thread::sleep_for(100ms);
    }
    return r;
}

std::string Check(const std::vector<std::string>& args, const std::string& input = {}) {
    auto r = args[0].rfind("/usr/sbin/", 0) == 0 ? RunAccountTool(args, input) : Run(args, input);
    if (r.Status != 0) {
        std::string cmd;
        for (const auto& a : args) cmd += (cmd.empty() ? "" : " ") + a;
        throw std::runtime_error(cmd + " failed (" + std::to_string(r.Status) + "): " + r.Output);
    }
    return r.Output;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string RandomHex(std::size_t n) {
    std::random_device rd;
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += "0123456789abcdef"[rd() % 16];
    return s;
}

// "SHA256:<unpadded base64>" as ssh-keygen prints it -> "SHA256:AB:CD:..." (upper-case hex).
std::string FingerprintFromKeygen(const std::string& text) {
    const auto at = text.find("SHA256:");
    if (at == std::string::npos) throw std::runtime_error("no SHA256 fingerprint in: " + text);
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0;
    int count = 0;
    for (std::size_t i = at + 7; i < text.size(); ++i) {
        const auto v = alphabet.find(text[i]);
        if (v == std::string::npos) break;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    if (bytes.size() != 32) throw std::runtime_error("not a SHA-256 fingerprint: " + text);
    std::string hex = "SHA256:";
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, "%02X", static_cast<unsigned char>(bytes[i]));
        hex += (i ? ":" : "") + std::string(b);
    }
    return hex;
}

// Every process below root (sessions of sshd run in sessions of their own, so no process
// group holds them), with whether it is still alive rather than a zombie.
std::vector<std::pair<pid_t, bool>> Descendants(pid_t root) {
    std::multimap<pid_t, std::pair<pid_t, bool>> children;
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
            if (pid <= 0) continue;
            const std::string stat = ReadAll("/proc/" + std::string(e->d_name) + "/stat");
            const auto close = stat.rfind(')');
            if (close == std::string::npos || close + 4 >= stat.size()) continue;
            const char state = stat[close + 2];
            const pid_t ppid = static_cast<pid_t>(std::atoi(stat.c_str() + close + 4));
            children.emplace(ppid, std::make_pair(pid, state != 'Z'));
        }
        ::closedir(d);
    }
    std::vector<std::pair<pid_t, bool>> found;
    std::vector<pid_t> todo{root};
    while (!todo.empty()) {
        const pid_t p = todo.back();
        todo.pop_back();
        auto [from, to] = children.equal_range(p);
        for (auto it = from; it != to; ++it) {
            found.push_back(it->second);
            todo.push_back(it->second.first);
        }
    }
    return found;
}

// Running, not a zombie waiting to be reaped.
bool Alive(pid_t pid) {
    const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// Accounts made by runs that were killed before they could remove them.
void RemoveStaleAccounts() {
    std::vector<std::pair<std::string, std::string>> stale;  // name, home
    ::setpwent();
    while (passwd* pw = ::getpwent()) {
        const std::string gecos = pw->pw_gecos ? pw->pw_gecos : "";
        if (std::strncmp(pw->pw_name, kAccountPrefix, std::strlen(kAccountPrefix)) != 0 ||
            gecos.rfind(kAccountComment, 0) != 0)
            continue;
        const pid_t owner = static_cast<pid_t>(std::atoi(gecos.c_str() + std::strlen(kAccountComment)));
        if (owner > 0 && !Alive(owner)) stale.emplace_back(pw->pw_name, pw->pw_dir);
    }
    ::endpwent();
    for (const auto& [name, home] : stale) {
        RunAccountTool({"/usr/sbin/userdel", "-f", name});
        const std::filesystem::path folder = std::filesystem::path(home).parent_path();
        std::error_code ec;
        if (folder.filename().string().rfind("qp-sshd-", 0) == 0) std::filesystem::remove_all(folder, ec);
    }
}

}  // namespace

TSshdServer::TSshdServer() {
    try {
        Setup();
    } catch (...) {
        Cleanup();
        throw;
    }
}

TSshdServer::~TSshdServer() {
    Cleanup();
}

void TSshdServer::Setup() {
    if (::access(kSshd, X_OK) != 0)
        throw std::runtime_error(std::string(kSshd) + " is missing (Debian package openssh-server)");
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qp-sshd-XXXXXX";
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + templ);
    folder_ = std::filesystem::canonical(templ).string();
    // The account reads its authorized keys through this folder, but may not list it.
    ::chmod(folder_.c_str(), 0711);
    home_ = folder_ + "/home";
    config_ = folder_ + "/sshd_config";
    logFile_ = folder_ + "/sshd.log";
    hostKey_ = folder_ + "/ssh_host_ed25519_key";
    const std::string client = folder_ + "/client";
    if (::mkdir(home_.c_str(), 0755) != 0 || ::mkdir(client.c_str(), 0700) != 0)
        throw std::runtime_error("cannot make folders in " + folder_);

    if (::geteuid() == 0) {
        // sshd's privilege separation folder, which Debian makes only when the service starts.
        if (::mkdir("/run/sshd", 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot make /run/sshd: " + std::string(std::strerror(errno)));
        MakeAccount();
    } else {
        const passwd* pw = ::getpwuid(::geteuid());
        if (pw == nullptr) throw std::runtime_error("the current user has no account entry");
        user_ = pw->pw_name;
        noPasswordReason_ =
            "password login needs a throwaway account with a password, which only root can make "
            "(running as " +
            user_ + ")";
    }

    keyFile_ = client + "/id_ed25519";
    encryptedKeyFile_ = client + "/id_ed25519_encrypted";
    passphrase_ = "qp test " + RandomHex(12);
    Check({kSshKeygen, "-q", "-t", "ed25519", "-N", "", "-C", "qp-test-key", "-f", keyFile_});
    Check({kSshKeygen, "-q", "-t", "ed25519", "-N", passphrase_, "-C", "qp-test-key-encrypted", "-f",
           encryptedKeyFile_});
    {
        std::ofstream keys(folder_ + "/authorized_keys");
        keys << ReadAll(keyFile_ + ".pub") << ReadAll(encryptedKeyFile_ + ".pub");
        if (!keys) throw std::runtime_error("cannot write the authorized keys");
    }
    ::chmod((folder_ + "/authorized_keys").c_str(), 0644);
    MakeHostKey();
    Launch(true);
}

void TSshdServer::MakeAccount() {
    RemoveStaleAccounts();
    user_ = kAccountPrefix + RandomHex(6);
    Check({"/usr/sbin/useradd", "-M", "-N", "-g", "users", "-d", home_, "-s", "/bin/sh", "-c",
           kAccountComment + std::to_string(::getpid()), user_});
    ownAccount_ = true;
    password_ = "Qp-" + RandomHex(16);
    Check({"/usr/sbin/chpasswd"}, user_ + ":" + password_ + "\n");
    const passwd* pw = ::getpwnam(user_.c_str());
    if (pw == nullptr || ::chown(home_.c_str(), pw->pw_uid, pw->pw_gid) != 0)
        throw std::runtime_error("cannot give " + home_ + " to " + user_);
}

void TSshdServer::MakeHostKey() {
    ::unlink(hostKey_.c_str());
    ::unlink((hostKey_ + ".pub").c_str());
    Check({kSshKeygen, "-q", "-t", "ed25519", "-N", "", "-C", "", "-f", hostKey_});
    fingerprint_ = FingerprintFromKeygen(Check({kSshKeygen, "-l", "-E", "sha256", "-f", hostKey_ + ".pub"}));
    const std::string pub = ReadAll(hostKey_ + ".pub");
    hostKeyType_ = pub.substr(0, pub.find(' '));
}

void TSshdServer::WriteConfig() {
    std::ofstream c(config_, std::ios::trunc);
    c << "# Made for one test run; nothing of the system's own configuration is read.\n"
      << "ListenAddress 127.0.0.1:" << port_ << "\n"
      << "AddressFamily inet\n"
      << "HostKey " << hostKey_ << "\n"
      << "PidFile none\n"
      << "LogLevel VERBOSE\n"
      << "UsePAM no\n"
      << "StrictModes no\n"
      << "PermitRootLogin no\n"
      << "AllowUsers " << user_ << "\n"
      << "AuthorizedKeysFile " << folder_ << "/authorized_keys\n"
      << "PubkeyAuthentication yes\n"
      << "PasswordAuthentication " << (password_.empty() ? "no" : "yes") << "\n"
      << "PermitEmptyPasswords no\n"
      << "KbdInteractiveAuthentication no\n"
      << "HostbasedAuthentication no\n"
      << "IgnoreRhosts yes\n"
      << "X11Forwarding no\n"
      << "AllowTcpForwarding no\n"
      << "AllowAgentForwarding no\n"
      << "PermitTunnel no\n"
      << "PrintMotd no\n"
      << "PrintLastLog no\n"
      << "UseDNS no\n"
      // Only read when a group-exchange key exchange is chosen; sshd then uses its own groups.
      << "ModuliFile " << folder_ << "/moduli\n"
      << "LoginGraceTime 30\n"
      << "MaxStartups 50\n"
      << "Subsystem sftp internal-sftp -d " << home_ << "\n";
    if (!c) throw std::runtime_error("cannot write " + config_);
}

bool TSshdServer::LaunchOnce(std::string& failure) {
    WriteConfig();
    struct stat st {};
    const auto logStart = static_cast<std::size_t>(::stat(logFile_.c_str(), &st) == 0 ? st.st_size : 0);
    const int log = ::open(logFile_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || null < 0) throw std::runtime_error("cannot open " + logFile_);
    const std::string sshd = kSshd;
    std::vector<char*> argv{const_cast<char*>(sshd.c_str()),
                            const_cast<char*>("-D"),
                            const_cast<char*>("-e"),
                            const_cast<char*>("-f"),
                            const_cast<char*>(config_.c_str()),
                            nullptr};
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(null, 0);
        ::dup2(log, 1);
        ::dup2(log, 2);
        // A test killed before its destructor runs takes the listener with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(log);
    ::close(null);
    if (pid < 0) throw std::runtime_error("fork failed");
    pid_ = pid;
    const std::string ready = "Server listening on 127.0.0.1 port " + std::to_string(port_) + ".";
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        const std::string text = ReadAll(logFile_);
        const std::string since = text.size() > logStart ? text.substr(logStart) : std::string();
        if (since.find(ready) != std::string::npos) return true;
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid_ = -1;
            failure = since.empty() ? "sshd ended without a word" : since;
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    Stop();
    failure = "sshd did not listen within 10 s";
    return false;
}

void TSshdServer::Launch(bool pickPort) {
    std::string failure;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (pickPort) port_ = FreeLoopbackPort();
        if (LaunchOnce(failure)) return;
        // Another program may take the port between our probe and sshd's bind.
        if (!pickPort || failure.find("Address already in use") == std::string::npos) break;
    }
    throw std::runtime_error("the OpenSSH test server did not start on 127.0.0.1:" + std::to_string(port_) +
                             ": " + failure + "\n--- " + logFile_ + " ---\n" + LogTail());
}

void TSshdServer::KillDescendants() noexcept {
    if (pid_ <= 0) return;
    // A second round catches a session that forked while the first one was killing.
    for (int round = 0; round < 3; ++round) {
        bool any = false;
        for (const auto& [pid, alive] : Descendants(pid_)) {
            if (!alive) continue;
            ::kill(pid, SIGKILL);
            any = true;
        }
        if (!any) return;
    }
}

void TSshdServer::KillSessions() {
    KillDescendants();
    // The listener reaps its children; wait for that, so that the next connection meets a
    // listener that is ready again.
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        bool alive = false;
        for (const auto& [pid, isAlive] : Descendants(pid_)) alive = alive || isAlive;
        if (!alive) return;
        KillDescendants();
        std::this_thread::sleep_for(10ms);
    }
    throw std::runtime_error("sshd's sessions did not end within 5 s");
}

void TSshdServer::Kill() {
    if (pid_ <= 0) return;
    // Stopped, the listener forks no new session while the old ones are killed.
    ::kill(pid_, SIGSTOP);
    KillDescendants();
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

void TSshdServer::Stop() noexcept {
    if (pid_ <= 0) return;
    KillDescendants();
    ::kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
    Kill();
}

void TSshdServer::Restart(bool newHostKey) {
    Stop();
    if (newHostKey) MakeHostKey();
    Launch(false);
}

std::string TSshdServer::Log() const {
    return ReadAll(logFile_);
}

std::string TSshdServer::LogTail(std::size_t lines) const {
    const std::string text = Log();
    std::size_t start = text.size();
    for (std::size_t n = 0; start > 0 && n <= lines;) {
        --start;
        if (text[start] == '\n') ++n;
    }
    return text.substr(start == 0 ? 0 : start + 1);
}

void TSshdServer::Cleanup() noexcept {
    Stop();
    if (ownAccount_) {
        try {
            const auto r = RunAccountTool({"/usr/sbin/userdel", "-f", user_});
            if (r.Status != 0)
                std::fprintf(stderr, "userdel %s failed: %s\n", user_.c_str(), r.Output.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "userdel %s failed: %s\n", user_.c_str(), e.what());
        }
        ownAccount_ = false;
    }
    if (!folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        if (ec) std::fprintf(stderr, "could not remove %s: %s\n", folder_.c_str(), ec.message().c_str());
    }
}

}  // namespace qp::test
