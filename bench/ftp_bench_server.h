#pragma once
// The local pyftpdlib server, its home folder and the 100 MB file that the upload benchmarks
// send, started once per run; with TLS the server makes its own certificate and names its
// fingerprint. Needs /usr/bin/python3 with pyftpdlib (and python3-openssl for TLS).
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace qp::bench {

constexpr std::int64_t kFileBytes = 100 * 1000 * 1000;
inline const char* const kUser = "bench";
inline const char* const kPassword = "bench";

struct TBenchFtpServer {
    std::string root;
    std::string file;
    std::string fingerprint;  // "SHA256:…" of the server's certificate, with TLS only
    int port = 0;
    pid_t pid = -1;
    int out = -1;

    explicit TBenchFtpServer(bool tls) {
        char tmpl[] = "/tmp/qp-ftp-bench-XXXXXX";
        if (::mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp");
        root = tmpl;
        ::mkdir((root + "/home").c_str(), 0755);
        file = root + "/upload.bin";
        WriteRandomFile();

        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
        const std::string script = std::string(QP_SOURCE_DIR) + "/tests/ftp/ftp_test_server.py";
        const std::string home = root + "/home";
        const std::string cert = root + "/cert.pem";
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            if (tls)
                ::execl("/usr/bin/python3", "python3", script.c_str(), home.c_str(), kUser, kPassword,
                        "--tls", cert.c_str(), static_cast<char*>(nullptr));
            else
                ::execl("/usr/bin/python3", "python3", script.c_str(), home.c_str(), kUser, kPassword,
                        static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The pipe stays open until the server ends, so that it never writes into a closed one.
        out = fds[0];
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos && ::read(out, &c, 1) == 1) line += c;
        if (line.rfind("PORT ", 0) != 0) throw std::runtime_error("the FTP server did not start");
        port = std::atoi(line.c_str() + 5);
        if (tls) {
            fingerprint = line.substr(line.find(" SHA256:") + 1);
            fingerprint.pop_back();
        }
    }
    ~TBenchFtpServer() {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        ::close(out);
        const std::string cmd = "rm -rf '" + root + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", root.c_str());
    }
    TBenchFtpServer(const TBenchFtpServer&) = delete;
    TBenchFtpServer& operator=(const TBenchFtpServer&) = delete;

private:
    // Bytes without NUL, so that ASCII-mode uploads have no reason to treat the file specially.
    void WriteRandomFile() const {
        std::ofstream f(file, std::ios::binary);
        std::mt19937_64 rng(42);
        std::string block(1 << 20, '\0');
        for (std::int64_t done = 0; done < kFileBytes; done += static_cast<std::int64_t>(block.size())) {
            for (auto& ch : block) ch = static_cast<char>(rng() % 255 + 1);
            f.write(block.data(), static_cast<std::streamsize>(std::min<std::int64_t>(
                                      static_cast<std::int64_t>(block.size()), kFileBytes - done)));
        }
    }
};

}  // namespace qp::bench
