// Upload throughput of the FTP client over FTPS beside Python's ftplib.FTP_TLS, to the same
// local pyftpdlib TLS server (TLS required on control and data) in one run: a 100 MB file in
// binary type, active and passive mode, each upload with its own connection and handshakes.
// Python's ftplib is the yardstick because it is a complete FTPS client that pyftpdlib's TLS
// handler accepts in both modes (curl starts the data handshake before the transfer command,
// which that server refuses) and it comes with the system's Python, as the server does.
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

constexpr const char* kYardstick = R"(import ftplib, ssl, sys
host, port, user, password, path, name, passive = sys.argv[1:8]
context = ssl.create_default_context()
context.check_hostname = False
context.verify_mode = ssl.CERT_NONE
ftp = ftplib.FTP_TLS(context=context)
ftp.connect(host, int(port))
ftp.login(user, password)
ftp.prot_p()
ftp.set_pasv(passive == "1")
with open(path, "rb") as f:
    ftp.storbinary("STOR " + name, f, blocksize=256 * 1024)
ftp.quit()
)";

// The server, its home and the file to send, shared by every benchmark of the run.
struct Fixture {
    std::string root;
    std::string file;
    std::string fingerprint;
    int port = 0;
    pid_t pid = -1;
    int out_ = -1;

    Fixture() {
        char tmpl[] = "/tmp/qp-ftps-bench-XXXXXX";
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
            const std::string cert = root + "/cert.pem";
            ::execl("/usr/bin/python3", "python3", script.c_str(), home.c_str(), kUser, kPassword, "--tls",
                    cert.c_str(), static_cast<char*>(nullptr));
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
        fingerprint = line.substr(line.find(" SHA256:") + 1);
        fingerprint.pop_back();
        std::ofstream yardstick(root + "/put.py");
        yardstick << kYardstick;
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

void ClientUpload(benchmark::State& state, bool passive) {
    Fixture& f = Shared();
    for (auto _ : state) {
        qp::TFtpClient client;
        client.SetHost("127.0.0.1:" + std::to_string(f.port));
        client.SetUserName(kUser);
        client.SetPassword(kPassword);
        client.SetPassive(passive);
        client.SetSecure(true);
        client.Trust().SetTrustedForThisCall(f.fingerprint);
        client.Connect();
        client.SetTypeBinary();
        client.Stor(f.file, "client.bin");
        client.Disconnect();
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void PythonUpload(benchmark::State& state, bool passive) {
    Fixture& f = Shared();
    std::string cmd = "/usr/bin/python3 '" + f.root + "/put.py' 127.0.0.1 " + std::to_string(f.port) + " " +
                      kUser + " " + kPassword + " '" + f.file + "' python.bin " + (passive ? "1" : "0");
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("ftplib failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
}

void BM_ClientFtpsActive(benchmark::State& s) {
    ClientUpload(s, false);
}
void BM_PythonFtpsActive(benchmark::State& s) {
    PythonUpload(s, false);
}
void BM_ClientFtpsPassive(benchmark::State& s) {
    ClientUpload(s, true);
}
void BM_PythonFtpsPassive(benchmark::State& s) {
    PythonUpload(s, true);
}

BENCHMARK(BM_ClientFtpsActive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PythonFtpsActive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ClientFtpsPassive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PythonFtpsPassive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
