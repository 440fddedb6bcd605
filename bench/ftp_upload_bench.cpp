// Upload throughput of the FTP client beside curl, both in active mode, to the same local
// pyftpdlib server in one run: a 100 MB file, ASCII type (as the upload dialog sends) and
// binary type. Needs /usr/bin/python3 with pyftpdlib and curl.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "ftp/ftp_client.h"

namespace {

constexpr std::int64_t kFileBytes = 100 * 1000 * 1000;
const char* const kUser = "bench";
const char* const kPassword = "bench";

// The server, its home and the file to send, shared by every benchmark of the run.
struct Fixture {
    std::string root;
    std::string file;
    int port = 0;
    pid_t pid = -1;
    int out_ = -1;

    Fixture() {
        char tmpl[] = "/tmp/qp-ftp-bench-XXXXXX";
        root = ::mkdtemp(tmpl);
        ::mkdir((root + "/home").c_str(), 0755);
        file = root + "/upload.bin";
        std::ofstream out(file, std::ios::binary);
        std::mt19937_64 rng(42);
        std::string block(1 << 20, '\0');
        for (std::int64_t done = 0; done < kFileBytes; done += static_cast<std::int64_t>(block.size())) {
            for (auto& c : block) c = static_cast<char>(rng() % 255 + 1);
            out.write(block.data(), static_cast<std::streamsize>(std::min<std::int64_t>(
                                        static_cast<std::int64_t>(block.size()), kFileBytes - done)));
        }
        out.close();

        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe");
        std::string script = std::string(QP_SOURCE_DIR) + "/tests/ftp/ftp_test_server.py";
        std::string home = root + "/home";
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 1);
            ::close(fds[0]);
            ::execl("/usr/bin/python3", "python3", script.c_str(), home.c_str(), kUser, kPassword,
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The pipe stays open until the server ends, so that it never writes into a closed one.
        out_ = fds[0];
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos && ::read(out_, &c, 1) == 1) line += c;
        if (line.rfind("PORT ", 0) != 0) throw std::runtime_error("the FTP server did not start");
        port = std::atoi(line.c_str() + 5);
    }
    ~Fixture() {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        ::close(out_);
        std::string cmd = "rm -rf '" + root + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", root.c_str());
    }
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

void ClientUpload(benchmark::State& state, bool ascii) {
    Fixture& f = Shared();
    qp::TFtpClient client;
    client.SetHost("127.0.0.1:" + std::to_string(f.port));
    client.SetUserName(kUser);
    client.SetPassword(kPassword);
    client.SetPassive(false);
    client.Connect();
    for (auto _ : state) {
        if (ascii)
            client.SetTypeAscii();
        else
            client.SetTypeBinary();
        client.Stor(f.file, "client.bin");
    }
    client.Disconnect();
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void CurlUpload(benchmark::State& state, bool ascii) {
    Fixture& f = Shared();
    std::string cmd = std::string("curl -s -S -P - ") + (ascii ? "-B " : "") + "-T '" + f.file + "' 'ftp://" +
                      kUser + ":" + kPassword + "@127.0.0.1:" + std::to_string(f.port) + "/curl.bin'";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void BM_ClientStorAscii(benchmark::State& s) {
    ClientUpload(s, true);
}
void BM_CurlStorAscii(benchmark::State& s) {
    CurlUpload(s, true);
}
void BM_ClientStorBinary(benchmark::State& s) {
    ClientUpload(s, false);
}
void BM_CurlStorBinary(benchmark::State& s) {
    CurlUpload(s, false);
}

BENCHMARK(BM_ClientStorAscii)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CurlStorAscii)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ClientStorBinary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CurlStorBinary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
