#include "preview/cgi_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "model/error.h"

namespace qp::preview {
namespace {

using Clock = std::chrono::steady_clock;

// A file descriptor that closes itself.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Close(); }
    int Get() const { return fd_; }
    bool Open() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// Keeps the child's ends clear of 0, 1 and 2, so that putting them there never overwrites
// one that is still to be moved.
int AboveStandardStreams(int fd) {
    if (fd > 2) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

void MakePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw Error("プログラムを起動できません（pipe）。");
    readEnd.Reset(AboveStandardStreams(fds[0]));
    writeEnd.Reset(AboveStandardStreams(fds[1]));
    if (!readEnd.Open() || !writeEnd.Open()) throw Error("プログラムを起動できません（pipe）。");
}

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::vector<char*> CStrings(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (const auto& s : strings) result.push_back(const_cast<char*>(s.c_str()));
    result.push_back(nullptr);
    return result;
}

// Between fork and exec only async-signal-safe calls are allowed: everything the child needs
// is prepared before the fork.
[[noreturn]] void RunChild(int in, int out, int err, int report, const char* workDir, char** argv,
                           char** envp) {
    ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
        int e = errno;
        (void)!::write(report, &e, sizeof e);
        ::_exit(127);
    }
    if (report != 3) {
        report = ::dup3(report, 3, O_CLOEXEC);
    }
    // The server's sockets must not live on in the program (or in what it leaves running).
    ::close_range(4, ~0U, 0);
    if (workDir[0] != '\0' && ::chdir(workDir) != 0) {
        int e = errno;
        if (report >= 0) (void)!::write(report, &e, sizeof e);
        ::_exit(127);
    }
    ::execve(argv[0], argv, envp);
    int e = errno;
    if (report >= 0) (void)!::write(report, &e, sizeof e);
    ::_exit(127);
}

void KillGroup(pid_t pid) {
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
}

// Blocks SIGPIPE in this thread while the program's standard input is written; a signal
// raised meanwhile is taken off again, so a program that does not read its input cannot
// end the server.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~SigpipeGuard() {
        sigset_t pending;
        sigemptyset(&pending);
        ::sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1 && sigismember(&old_, SIGPIPE) != 1) {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGPIPE);
            const timespec zero{0, 0};
            ::sigtimedwait(&set, nullptr, &zero);
        }
        ::pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t old_;
};

}  // namespace

TProcessResult RunProcess(const TProcessRequest& request) {
    if (request.Argv.empty()) throw Error("起動するプログラムが指定されていません。");
    std::vector<char*> argv = CStrings(request.Argv);
    std::vector<char*> envp = CStrings(request.Environment);

    Fd inRead, inWrite, outRead, outWrite, errRead, errWrite, reportRead, reportWrite;
    MakePipe(inRead, inWrite);
    MakePipe(outRead, outWrite);
    MakePipe(errRead, errWrite);
    MakePipe(reportRead, reportWrite);

    SigpipeGuard sigpipe;
    const pid_t pid = ::fork();
    if (pid < 0) throw Error("プログラムを起動できません（fork）。");
    if (pid == 0) {
        RunChild(inRead.Get(), outWrite.Get(), errWrite.Get(), reportWrite.Get(), request.WorkDir.c_str(),
                 argv.data(), envp.data());
    }
    ::setpgid(pid, pid);  // also here, so the group exists before any kill below
    inRead.Close();
    outWrite.Close();
    errWrite.Close();
    reportWrite.Close();

    TProcessResult result;
    int execErrno = 0;
    ssize_t n;
    do {
        n = ::read(reportRead.Get(), &execErrno, sizeof execErrno);
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof execErrno)) result.ExecErrno = execErrno;
    reportRead.Close();

    const auto deadline = Clock::now() + request.Timeout;
    std::size_t written = 0;
    if (request.Input.empty() || result.ExecErrno != 0) inWrite.Close();
    if (inWrite.Open()) SetNonBlocking(inWrite.Get());
    SetNonBlocking(outRead.Get());
    SetNonBlocking(errRead.Get());

    char buffer[65536];
    bool killed = false;
    while (outRead.Open() || errRead.Open()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            result.TimedOut = true;
            break;
        }
        pollfd fds[3];
        nfds_t count = 0;
        Fd* owners[3];
        for (Fd* fd : {&outRead, &errRead}) {
            if (!fd->Open()) continue;
            fds[count] = {fd->Get(), POLLIN, 0};
            owners[count++] = fd;
        }
        if (inWrite.Open()) {
            fds[count] = {inWrite.Get(), POLLOUT, 0};
            owners[count++] = &inWrite;
        }
        const int ready = ::poll(fds, count, static_cast<int>(left));
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            Fd& fd = *owners[i];
            if (&fd == &inWrite) {
                const ssize_t w =
                    ::write(fd.Get(), request.Input.data() + written, request.Input.size() - written);
                if (w > 0) written += static_cast<std::size_t>(w);
                // A program may stop reading early; what it did not take is simply dropped.
                if ((w < 0 && errno != EAGAIN && errno != EINTR) || written == request.Input.size()) {
                    fd.Close();
                }
                continue;
            }
            std::string& sink = &fd == &outRead ? result.Output : result.ErrorOutput;
            const ssize_t r = ::read(fd.Get(), buffer, sizeof buffer);
            if (r > 0) {
                sink.append(buffer, static_cast<std::size_t>(r));
                if (sink.size() > request.OutputLimit) {
                    result.TooLarge = true;
                    break;
                }
            } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                fd.Close();
            }
        }
        if (result.TooLarge) break;
    }
    if (result.TimedOut || result.TooLarge) {
        KillGroup(pid);
        killed = true;
    }
    inWrite.Close();
    outRead.Close();
    errRead.Close();

    int status = 0;
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, killed ? 0 : WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) return result;
        if (w == 0) {
            // Both streams are closed but the program goes on: give it until the deadline.
            if (Clock::now() >= deadline) {
                result.TimedOut = true;
                KillGroup(pid);
                killed = true;
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.Signal = WTERMSIG(status);
    return result;
}

}  // namespace qp::preview
