#include "sftp/sftp_client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <future>
#include <memory>
#include <thread>

#include "model/error.h"
#include "remote/host_resolver.h"
#include "remote/tcp_connect.h"
#include "remote/visible_text.h"

namespace qp {

struct TSftpClient::Session {
    ~Session() {
        if (sftp) sftp_free(sftp);
        if (ssh) ssh_free(ssh);  // closes the socket handed to it
        if (fd >= 0 && !handedOver) ::close(fd);
    }
    int fd = -1;
    bool handedOver = false;
    ssh_session ssh = nullptr;
    sftp_session sftp = nullptr;
    // Counted up by the worker whenever the server answers: a wait without it is a stall.
    std::atomic<std::int64_t> activity{0};
    std::atomic<std::int64_t> sent{0};
};

namespace {

constexpr auto kPumpInterval = std::chrono::milliseconds(20);
constexpr std::size_t kChunk = 128 * 1024;  // below the 256 KB an OpenSSH server takes at once
constexpr std::size_t kMaxEntries = 200000;
constexpr auto kGoodbyeTimeout = std::chrono::seconds(5);

std::string FxText(int code) {
    switch (code) {
        case SSH_FX_EOF: return "ファイルの終わりです";
        case SSH_FX_NO_SUCH_FILE: return "ファイルやフォルダがありません（設置フォルダの名前を確かめてください）";
        case SSH_FX_PERMISSION_DENIED: return "アクセス権がありません（フォルダのアクセス権とユーザ名を確かめてください）";
        case SSH_FX_BAD_MESSAGE: return "サーバーが要求を理解できません";
        case SSH_FX_NO_CONNECTION:
        case SSH_FX_CONNECTION_LOST: return "サーバーとの接続が切れました";
        case SSH_FX_OP_UNSUPPORTED: return "サーバーがこの操作に対応していません";
        case SSH_FX_NO_SUCH_PATH: return "パスがありません";
        case SSH_FX_FILE_ALREADY_EXISTS: return "すでに存在します";
        case SSH_FX_WRITE_PROTECT: return "書き込みが禁止されています";
        case SSH_FX_NO_MEDIA: return "媒体がありません";
        // OpenSSH's server says a full disk or a quota with this general code.
        default: return "サーバーが失敗を返しました（ディスクの空きや容量の上限を確かめてください）";
    }
}

std::string Permissions(std::uint32_t mode, int shift, char special, std::uint32_t specialBit) {
    std::string out;
    out += (mode >> (shift + 2)) & 1 ? 'r' : '-';
    out += (mode >> (shift + 1)) & 1 ? 'w' : '-';
    const bool x = (mode >> shift) & 1;
    if (mode & specialBit)
        out += x ? special : static_cast<char>(special - 'a' + 'A');
    else
        out += x ? 'x' : '-';
    return out;
}

TFtpListEntry EntryOf(const sftp_attributes a) {
    TFtpListEntry e;
    e.Name = a->name ? a->name : "";
    switch (a->type) {
        case SSH_FILEXFER_TYPE_DIRECTORY: e.Kind = TFtpEntryKind::Folder; break;
        case SSH_FILEXFER_TYPE_SYMLINK: e.Kind = TFtpEntryKind::SymbolicLink; break;
        case SSH_FILEXFER_TYPE_REGULAR: e.Kind = TFtpEntryKind::File; break;
        default: e.Kind = TFtpEntryKind::Other; break;
    }
    if (a->flags & SSH_FILEXFER_ATTR_SIZE) e.Size = static_cast<std::int64_t>(a->size);
    if (a->flags & SSH_FILEXFER_ATTR_ACMODTIME) {
        const std::time_t t = static_cast<std::time_t>(a->mtime);
        std::tm tm{};
        localtime_r(&t, &tm);
        e.Modified = TFtpDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, true};
    }
    if (a->flags & SSH_FILEXFER_ATTR_PERMISSIONS) {
        const std::uint32_t m = a->permissions;
        e.OwnerPermissions = Permissions(m, 6, 's', S_ISUID);
        e.GroupPermissions = Permissions(m, 3, 's', S_ISGID);
        e.OtherPermissions = Permissions(m, 0, 't', S_ISVTX);
        e.Mode = static_cast<int>(m & 07777);
    }
    if (a->owner && *a->owner)
        e.Owner = a->owner;
    else if (a->flags & SSH_FILEXFER_ATTR_UIDGID)
        e.Owner = std::to_string(a->uid);
    if (a->group && *a->group)
        e.Group = a->group;
    else if (a->flags & SSH_FILEXFER_ATTR_UIDGID)
        e.Group = std::to_string(a->gid);
    return e;
}

struct AttributesFree {
    void operator()(sftp_attributes a) const { sftp_attributes_free(a); }
};
using Attributes = std::unique_ptr<sftp_attributes_struct, AttributesFree>;

// OpenSSH's posix-rename, which replaces an existing target in one step, sent on an SFTP
// channel of its own: libssh offers only version 3's rename, which refuses an existing name.
// False when the server did not do it (the caller falls back).
bool PosixRename(ssh_session ssh, const std::string& from, const std::string& to) {
    ssh_channel channel = ssh_channel_new(ssh);
    if (channel == nullptr) return false;
    std::unique_ptr<ssh_channel_struct, void (*)(ssh_channel)> closer(channel, [](ssh_channel c) {
        ssh_channel_close(c);
        ssh_channel_free(c);
    });
    if (ssh_channel_open_session(channel) != SSH_OK || ssh_channel_request_subsystem(channel, "sftp") != SSH_OK)
        return false;
    const auto u32 = [](std::string& out, std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
    };
    const auto text = [&](std::string& out, const std::string& v) {
        u32(out, static_cast<std::uint32_t>(v.size()));
        out += v;
    };
    const auto send = [&](const std::string& body) {
        std::string packet;
        u32(packet, static_cast<std::uint32_t>(body.size()));
        packet += body;
        return ssh_channel_write(channel, packet.data(), static_cast<std::uint32_t>(packet.size())) ==
               static_cast<int>(packet.size());
    };
    // One whole packet: its type and body; empty on any failure or an absurd length.
    const auto receive = [&]() -> std::string {
        unsigned char head[4];
        if (ssh_channel_read(channel, head, 4, 0) != 4) return {};
        const std::uint32_t size = (std::uint32_t{head[0]} << 24) | (std::uint32_t{head[1]} << 16) |
                                   (std::uint32_t{head[2]} << 8) | head[3];
        if (size == 0 || size > 65536) return {};
        std::string body(size, '\0');
        for (std::uint32_t got = 0; got < size;) {
            const int n = ssh_channel_read(channel, body.data() + got, size - got, 0);
            if (n <= 0) return {};
            got += static_cast<std::uint32_t>(n);
        }
        return body;
    };
    std::string init(1, '\x01');  // SSH_FXP_INIT, version 3
    u32(init, 3);
    if (!send(init) || receive().rfind('\x02', 0) != 0) return false;  // SSH_FXP_VERSION
    std::string request(1, static_cast<char>(200));  // SSH_FXP_EXTENDED
    u32(request, 1);
    text(request, "posix-rename@openssh.com");
    text(request, from);
    text(request, to);
    if (!send(request)) return false;
    const std::string status = receive();
    // SSH_FXP_STATUS (101), id 1, code 0 (SSH_FX_OK).
    return status.size() >= 9 && static_cast<unsigned char>(status[0]) == 101 && status.compare(5, 4, std::string(4, '\0')) == 0;
}

// CR LF pairs become LF; a CR at the end of one piece waits for the next.
void AppendLf(std::string& out, const char* data, std::size_t size, bool& pendingCr) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (pendingCr) {
            pendingCr = false;
            if (c != '\n') out += '\r';
        }
        if (c == '\r')
            pendingCr = true;
        else
            out += c;
    }
}

}  // namespace

TSftpClient::TSftpClient() = default;

TSftpClient::~TSftpClient() {
    pump_ = nullptr;
    logHook_ = nullptr;
    Disconnect();
}

bool TSftpClient::Connected() const {
    return session_ && session_->sftp && ssh_is_connected(session_->ssh);
}

void TSftpClient::Log(TRemoteLogDirection direction, const std::string& line) {
    if (!logEnabled_ || !logHook_) return;
    logHook_(direction, direction == TRemoteLogDirection::Note ? VisibleText(line)
                                                               : LogTimeStamp() + " " + VisibleText(line));
}

std::string TSftpClient::PathOf(const std::string& name) const {
    if (!name.empty() && name.front() == '/') return name;
    return folder_ == "/" ? "/" + name : folder_ + "/" + name;
}

void TSftpClient::RunBounded(const std::function<void()>& work, Clock::time_point deadline, bool cancellable,
                             const std::string& timeoutMessage, const std::function<void()>& tick) {
    Session& s = *session_;
    std::packaged_task<void()> task(work);
    std::future<void> done = task.get_future();
    std::thread worker(std::move(task));
    std::string cutWhy;
    std::int64_t lastActivity = s.activity.load();
    auto lastChange = Clock::now();
    while (done.wait_for(kPumpInterval) != std::future_status::ready) {
        if (pump_) pump_();
        if (tick) tick();
        if (!cutWhy.empty()) continue;
        const auto now = Clock::now();
        if (const std::int64_t a = s.activity.load(); a != lastActivity) {
            lastActivity = a;
            lastChange = now;
        }
        if (cancellable && cancel_ && cancel_())
            cutWhy = "接続を中止しました。";
        else if (now >= deadline || now - lastChange >= replyTimeout_)
            cutWhy = timeoutMessage + "（タイムアウト）";
        // The worker is blocked in a read: cutting the socket under it ends the read.
        if (!cutWhy.empty()) ::shutdown(s.fd, SHUT_RDWR);
    }
    worker.join();
    if (tick) tick();
    if (!cutWhy.empty()) {
        session_.reset();
        throw Error(cutWhy);
    }
    try {
        done.get();
    } catch (...) {
        if (session_ && !ssh_is_connected(session_->ssh)) session_.reset();
        throw;
    }
}

void TSftpClient::Request(const std::string& logLine, const std::function<void()>& work) {
    if (!Connected()) throw Error("サーバーに接続していません。");
    Log(TRemoteLogDirection::Sent, logLine);
    try {
        RunBounded(work, Clock::now() + operationTimeout_, false, "サーバーの応答がありません", {});
    } catch (const Error& e) {
        Log(TRemoteLogDirection::Received, e.Message());
        throw;
    }
    Log(TRemoteLogDirection::Received, "OK");
}

std::string TSftpClient::ServerError(const std::string& what) const {
    ssh_session ssh = session_->ssh;
    if (!ssh_is_connected(ssh)) {
        const char* detail = ssh_get_error(ssh);
        return what + ": サーバーとの接続が切れました" + (detail && *detail ? std::string("（") + detail + "）" : "") + "。";
    }
    return what + ": " + FxText(session_->sftp ? sftp_get_error(session_->sftp) : SSH_FX_FAILURE) + "。";
}

void TSftpClient::Connect() {
    if (Connected()) return;
    Disconnect();
    // A server that closes the socket must not end the program while libssh writes to it.
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGPIPE, SIG_IGN);

    const HostPort hp = SplitHostPort(host_, "22");
    auto session = std::make_unique<Session>();
    session->fd = OpenTcp(hp.host, hp.port, host_, connectTimeout_,
                          [this](int fd, short events, Clock::time_point deadline, const char* what) {
                              for (;;) {
                                  if (cancel_ && cancel_()) throw Error("接続を中止しました。");
                                  const auto now = Clock::now();
                                  if (now >= deadline) throw Error(std::string(what) + "（タイムアウト）");
                                  pollfd p{fd, events, 0};
                                  const int rc = ::poll(&p, 1, static_cast<int>(kPumpInterval.count()));
                                  if (rc > 0) return;
                                  if (rc < 0 && errno != EINTR)
                                      throw Error(std::string(what) + ": " + std::strerror(errno));
                                  if (pump_) pump_();
                              }
                          });
    // libssh reads and writes the socket in blocking mode, on the worker thread.
    ::fcntl(session->fd, F_SETFL, ::fcntl(session->fd, F_GETFL, 0) & ~O_NONBLOCK);
    session->ssh = ssh_new();
    if (!session->ssh) throw Error("SSHの準備ができません。");
    ssh_session ssh = session->ssh;
    const int port = std::stoi(hp.port);
    const long seconds = std::max<long>(1, static_cast<long>(replyTimeout_.count() / 1000));
    const int no = 0;
    // Only what this call says counts: no ssh_config, no known_hosts (the trust is ours).
    ssh_options_set(ssh, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(ssh, SSH_OPTIONS_HOST, hp.host.c_str());
    ssh_options_set(ssh, SSH_OPTIONS_PORT, &port);
    ssh_options_set(ssh, SSH_OPTIONS_USER, user_.c_str());
    ssh_options_set(ssh, SSH_OPTIONS_TIMEOUT, &seconds);
    ssh_options_set(ssh, SSH_OPTIONS_KNOWNHOSTS, "/dev/null");
    ssh_options_set(ssh, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null");
    socket_t fd = session->fd;
    ssh_options_set(ssh, SSH_OPTIONS_FD, &fd);
    session->handedOver = true;
    session_ = std::move(session);

    try {
        const auto deadline = Clock::now() + operationTimeout_;
        RunBounded(
            [this, ssh] {
                if (ssh_connect(ssh) != SSH_OK)
                    throw Error(host_ + " とSSHで接続できません: " + ssh_get_error(ssh));
                session_->activity++;
            },
            deadline, true, "SSHの接続を確立できません", {});
        Log(TRemoteLogDirection::Note, std::string("SSHで暗号化しました（") + ssh_get_kex_algo(ssh) + " " +
                                           ssh_get_cipher_out(ssh) + "）。");
        const TServerIdentity identity = HostIdentity();
        trust_.Check(identity);
        Log(TRemoteLogDirection::Note,
            "信頼するホスト鍵です（" + identity.Details[0].second + " " + identity.Fingerprint + "）。");
        Authenticate(deadline);
        RunBounded(
            [this] {
                Session& s = *session_;
                s.sftp = sftp_new(s.ssh);
                if (!s.sftp || sftp_init(s.sftp) != SSH_OK)
                    throw Error(std::string("SFTPを開始できません: ") + ssh_get_error(s.ssh));
                s.activity++;
                char* home = sftp_canonicalize_path(s.sftp, ".");
                if (!home) throw Error(ServerError("ログインしたフォルダを調べられません"));
                folder_ = home;
                ssh_string_free_char(home);
            },
            deadline, true, "SFTPを開始できません", {});
        Log(TRemoteLogDirection::Note, "SFTPを開始しました（" + VisibleText(folder_) + "）。");
    } catch (...) {
        session_.reset();
        throw;
    }
}

TServerIdentity TSftpClient::HostIdentity() {
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session_->ssh, &key) != SSH_OK) throw Error("サーバーのホスト鍵を受け取れません。");
    unsigned char* hash = nullptr;
    std::size_t length = 0;
    const int rc = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length);
    const char* type = ssh_key_type_to_char(ssh_key_type(key));
    TServerIdentity id;
    id.Kind = TIdentityKind::HostKey;
    if (rc == 0 && length == 32) id.Fingerprint = FingerprintOf(hash);
    ssh_clean_pubkey_hash(&hash);
    ssh_key_free(key);
    if (id.Fingerprint.empty()) throw Error("サーバーのホスト鍵の指紋を計算できません。");
    id.Problem = type ? type : "不明な種類";
    id.Details = {{"種類", type ? type : "不明"},
                  {"SHA-256 指紋", id.Fingerprint},
                  {"OpenSSH 形式", OpenSshFingerprint(id.Fingerprint)}};
    return id;
}

ssh_key TSftpClient::LoadKey() {
    ssh_key key = nullptr;
    if (ssh_pki_import_privkey_file(keyFile_.c_str(), nullptr, nullptr, nullptr, &key) == SSH_OK) return key;
    if (::access(keyFile_.c_str(), R_OK) != 0)
        throw Error("鍵ファイル " + keyFile_ + " を読めません: " + std::strerror(errno));
    std::optional<std::string> phrase = passphrase_ ? passphrase_(keyFile_) : std::nullopt;
    if (!phrase)
        throw Error("鍵ファイル " + keyFile_ + " は暗号化されているか、対応していない形式です。パスフレーズがなければ使えません。");
    const int rc = ssh_pki_import_privkey_file(keyFile_.c_str(), phrase->c_str(), nullptr, nullptr, &key);
    std::fill(phrase->begin(), phrase->end(), '\0');
    if (rc != SSH_OK) throw Error("鍵ファイル " + keyFile_ + " を読めません。パスフレーズが違うか、対応していない形式です。");
    return key;
}

void TSftpClient::Authenticate(Clock::time_point deadline) {
    std::unique_ptr<ssh_key_struct, decltype(&ssh_key_free)> key(keyFile_.empty() ? nullptr : LoadKey(), &ssh_key_free);
    std::string how;
    RunBounded(
        [&] {
            ssh_session ssh = session_->ssh;
            int rc = ssh_userauth_none(ssh, nullptr);
            session_->activity++;
            const int methods = ssh_userauth_list(ssh, nullptr);
            if (rc != SSH_AUTH_SUCCESS && key && (methods & SSH_AUTH_METHOD_PUBLICKEY)) {
                rc = ssh_userauth_publickey(ssh, nullptr, key.get());
                session_->activity++;
                if (rc == SSH_AUTH_SUCCESS) how = "鍵ファイル";
            }
            if (rc != SSH_AUTH_SUCCESS && rc != SSH_AUTH_ERROR && !password_.empty()) {
                if (methods & SSH_AUTH_METHOD_PASSWORD) {
                    rc = ssh_userauth_password(ssh, nullptr, password_.c_str());
                } else if (methods & SSH_AUTH_METHOD_INTERACTIVE) {
                    // Servers that ask for the password through PAM: it answers every hidden prompt.
                    rc = ssh_userauth_kbdint(ssh, nullptr, nullptr);
                    for (int round = 0; rc == SSH_AUTH_INFO && round < 5; ++round) {
                        const int prompts = ssh_userauth_kbdint_getnprompts(ssh);
                        for (int i = 0; i < prompts; ++i) {
                            char echo = 0;
                            ssh_userauth_kbdint_getprompt(ssh, static_cast<unsigned>(i), &echo);
                            ssh_userauth_kbdint_setanswer(ssh, static_cast<unsigned>(i), echo ? "" : password_.c_str());
                        }
                        rc = ssh_userauth_kbdint(ssh, nullptr, nullptr);
                    }
                }
                session_->activity++;
                if (rc == SSH_AUTH_SUCCESS) how = "パスワード";
            }
            if (rc == SSH_AUTH_ERROR) throw Error(ServerError("ログインできません"));
            if (rc != SSH_AUTH_SUCCESS)
                throw Error(key ? "ログインできません。ユーザ名、鍵ファイルまたはパスワードが違います。"
                                : "ログインできません。ユーザ名かパスワードが違います。");
        },
        deadline, true, "ログインできません", {});
    Log(TRemoteLogDirection::Note, how.empty() ? "ログインしました。" : how + "でログインしました。");
}

void TSftpClient::Disconnect() {
    if (!session_) return;
    try {
        if (ssh_is_connected(session_->ssh)) {
            RunBounded(
                [this] {
                    if (session_->sftp) {
                        sftp_free(session_->sftp);
                        session_->sftp = nullptr;
                    }
                    ssh_disconnect(session_->ssh);
                },
                Clock::now() + kGoodbyeTimeout, false, "切断できません", {});
        }
    } catch (const Error&) {
        // The connection is gone either way.
    }
    session_.reset();
}

std::string TSftpClient::CurrentFolder() {
    if (!Connected()) throw Error("サーバーに接続していません。");
    return folder_;
}

void TSftpClient::ChangeFolder(const std::string& folder) {
    const std::string wanted = PathOf(folder);
    std::string found;
    Request("CD " + wanted, [&] {
        Session& s = *session_;
        char* real = sftp_canonicalize_path(s.sftp, wanted.c_str());
        if (!real) throw Error(ServerError(folder + " に移動できません"));
        found = real;
        ssh_string_free_char(real);
        Attributes a(sftp_stat(s.sftp, found.c_str()));
        if (!a) throw Error(ServerError(folder + " に移動できません"));
        if (a->type != SSH_FILEXFER_TYPE_DIRECTORY) throw Error(folder + " に移動できません: フォルダではありません。");
    });
    folder_ = found;
}

void TSftpClient::ChangeToParentFolder() {
    ChangeFolder("..");
}

void TSftpClient::List() {
    entries_.clear();
    std::vector<TFtpListEntry> entries;
    const std::string path = folder_;
    Request("LS " + path, [&] {
        Session& s = *session_;
        sftp_dir dir = sftp_opendir(s.sftp, path.c_str());
        if (!dir) throw Error(ServerError("一覧を受信できません"));
        std::unique_ptr<sftp_dir_struct, decltype(&sftp_closedir)> closer(dir, &sftp_closedir);
        while (Attributes a{sftp_readdir(s.sftp, dir)}) {
            s.activity++;
            const std::string name = a->name ? a->name : "";
            if (name == "." || name == "..") continue;
            if (entries.size() >= kMaxEntries) throw Error("一覧が大きすぎます。");
            entries.push_back(EntryOf(a.get()));
        }
        if (!sftp_dir_eof(dir)) throw Error(ServerError("一覧を受信できません"));
    });
    entries_ = std::move(entries);
}

void TSftpClient::MakeFolder(const std::string& name) {
    const std::string path = PathOf(name);
    Request("MKDIR " + path, [&] {
        if (sftp_mkdir(session_->sftp, path.c_str(), 0755) != SSH_OK) throw Error(ServerError(name + " を作成できません"));
    });
}

void TSftpClient::RemoveFolder(const std::string& name) {
    const std::string path = PathOf(name);
    Request("RMDIR " + path, [&] {
        sftp_session sftp = session_->sftp;
        // The browser removes a link like a folder; SFTP removes the link itself.
        Attributes a(sftp_lstat(sftp, path.c_str()));
        const bool link = a && a->type == SSH_FILEXFER_TYPE_SYMLINK;
        if ((link ? sftp_unlink(sftp, path.c_str()) : sftp_rmdir(sftp, path.c_str())) != SSH_OK)
            throw Error(ServerError(name + " を削除できません"));
    });
}

void TSftpClient::DeleteFile(const std::string& name) {
    const std::string path = PathOf(name);
    Request("RM " + path, [&] {
        if (sftp_unlink(session_->sftp, path.c_str()) != SSH_OK) throw Error(ServerError(name + " を削除できません"));
    });
}

void TSftpClient::StoreText(const std::string& localPath, const std::string& remoteName, const ProgressHook& progress) {
    if (!Connected()) throw Error("サーバーに接続していません。");
    const int file = ::open(localPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) throw Error(localPath + " を開けません: " + std::strerror(errno));
    std::unique_ptr<int, void (*)(int*)> closer(new int(file), [](int* f) {
        ::close(*f);
        delete f;
    });
    struct stat st {};
    if (::fstat(file, &st) < 0) throw Error(localPath + " を開けません: " + std::strerror(errno));
    const std::int64_t total = st.st_size;
    const std::string path = PathOf(remoteName);
    Session& s = *session_;
    s.sent = 0;
    if (progress) progress(0, total);
    std::int64_t shown = 0;
    std::atomic<bool> cancelled{false};
    const auto tick = [&] {
        const std::int64_t now = s.sent.load();
        if (progress && now != shown) progress(shown = now, total);
        if (cancel_ && cancel_()) cancelled = true;
    };
    const auto deadline = Clock::now() + operationTimeout_ +
                          std::chrono::milliseconds(total * 1000 / std::max<std::int64_t>(minTransferRate_, 1));
    Log(TRemoteLogDirection::Sent, "PUT " + path);
    try {
        RunBounded(
            [&] {
                sftp_file remote = sftp_open(s.sftp, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (!remote) throw Error(ServerError(remoteName + " を書き込めません"));
                std::unique_ptr<sftp_file_struct, decltype(&sftp_close)> remoteCloser(remote, &sftp_close);
                std::unique_ptr<char[]> buffer(new char[kChunk]);
                std::string out;
                bool pendingCr = false;
                for (;;) {
                    // Stopped between pieces, the handle closed in order: the session stays
                    // and the caller can remove what arrived.
                    if (cancelled) throw Error(remoteName + " の送信を中止しました。");
                    const ssize_t got = ::read(file, buffer.get(), kChunk);
                    if (got < 0 && errno == EINTR) continue;
                    if (got < 0) throw Error(localPath + " を読めません: " + std::strerror(errno));
                    out.clear();
                    if (got == 0 && pendingCr) out += '\r';
                    AppendLf(out, buffer.get(), static_cast<std::size_t>(got), pendingCr);
                    if (!out.empty() && sftp_write(remote, out.data(), out.size()) != static_cast<ssize_t>(out.size()))
                        throw Error(ServerError(remoteName + " を送信できません"));
                    s.activity++;
                    s.sent += got;
                    if (got == 0) break;
                }
                // The close is the server's word that everything was written.
                if (sftp_close(remoteCloser.release()) != SSH_OK) throw Error(ServerError(remoteName + " を送信できません"));
            },
            deadline, false, "データを送信できません", tick);
    } catch (const Error& e) {
        Log(TRemoteLogDirection::Received, e.Message());
        throw;
    }
    Log(TRemoteLogDirection::Received, "OK");
}

std::string TSftpClient::RetrieveBytes(const std::string& remoteName, std::int64_t maxBytes,
                                       const ProgressHook& progress) {
    if (!Connected()) throw Error("サーバーに接続していません。");
    const std::string path = PathOf(remoteName);
    Session& s = *session_;
    s.sent = 0;
    std::int64_t shown = 0;
    std::atomic<bool> cancelled{false};
    const auto tick = [&] {
        const std::int64_t now = s.sent.load();
        if (progress && now != shown) progress(shown = now, 0);
        if (cancel_ && cancel_()) cancelled = true;
    };
    const auto deadline = Clock::now() + operationTimeout_ +
                          std::chrono::milliseconds(maxBytes * 1000 / std::max<std::int64_t>(minTransferRate_, 1));
    std::string bytes;
    Log(TRemoteLogDirection::Sent, "GET " + path);
    try {
        RunBounded(
            [&] {
                sftp_file remote = sftp_open(s.sftp, path.c_str(), O_RDONLY, 0);
                if (!remote) throw Error(ServerError(remoteName + " を読めません"));
                std::unique_ptr<sftp_file_struct, decltype(&sftp_close)> remoteCloser(remote, &sftp_close);
                std::unique_ptr<char[]> buffer(new char[kChunk]);
                for (;;) {
                    if (cancelled) throw Error(remoteName + " の受信を中止しました。");
                    const ssize_t got = sftp_read(remote, buffer.get(), kChunk);
                    if (got < 0) throw Error(ServerError(remoteName + " を受信できません"));
                    if (got == 0) break;
                    bytes.append(buffer.get(), static_cast<std::size_t>(got));
                    if (static_cast<std::int64_t>(bytes.size()) > maxBytes)
                        throw Error(remoteName + " が大きすぎます（" + std::to_string(maxBytes) + "バイトまで）。");
                    s.activity++;
                    s.sent += got;
                }
            },
            deadline, false, "データを受信できません", tick);
    } catch (const Error& e) {
        Log(TRemoteLogDirection::Received, e.Message());
        throw;
    }
    Log(TRemoteLogDirection::Received, "OK");
    return bytes;
}

void TSftpClient::SetMode(const std::string& remoteName, int mode, const std::string&) {
    const std::string path = PathOf(remoteName);
    char octal[8];
    std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(mode) & 07777U);
    Request(std::string("CHMOD ") + octal + " " + path, [&] {
        if (sftp_chmod(session_->sftp, path.c_str(), static_cast<mode_t>(mode & 07777)) != SSH_OK)
            throw Error(ServerError(remoteName + " のアクセス権を設定できません"));
    });
}

bool TSftpClient::Rename(const std::string& from, const std::string& to) {
    const std::string source = PathOf(from), target = PathOf(to);
    bool inOneStep = true;
    Request("RENAME " + source + " " + target, [&] {
        sftp_session sftp = session_->sftp;
        if (sftp_extension_supported(sftp, "posix-rename@openssh.com", "1") &&
            PosixRename(session_->ssh, source, target))
            return;
        if (sftp_rename(sftp, source.c_str(), target.c_str()) == SSH_OK) return;
        // Plain SFTP renames only onto a free name; the source must be there before the
        // target is given up for it.
        Attributes here(sftp_lstat(sftp, source.c_str()));
        if (!here || sftp_unlink(sftp, target.c_str()) != SSH_OK ||
            sftp_rename(sftp, source.c_str(), target.c_str()) != SSH_OK)
            throw Error(ServerError(from + " を " + to + " に置き換えられません"));
        inOneStep = false;
    });
    return inOneStep;
}

std::optional<std::int64_t> TSftpClient::RemoteSize(const std::string& name) {
    const std::string path = PathOf(name);
    std::optional<std::int64_t> size;
    Request("STAT " + path, [&] {
        Attributes a(sftp_stat(session_->sftp, path.c_str()));
        if (a && (a->flags & SSH_FILEXFER_ATTR_SIZE) != 0) size = static_cast<std::int64_t>(a->size);
    });
    return size;
}

}  // namespace qp
