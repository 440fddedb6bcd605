// Upload throughput of the FTP client over FTPS beside Python's ftplib.FTP_TLS, to the same
// local pyftpdlib TLS server (TLS required on control and data) in one run: a 100 MB file in
// binary type, active and passive mode, each upload with its own connection and handshakes.
// Python's ftplib is the yardstick because it is a complete FTPS client that pyftpdlib's TLS
// handler accepts in both modes (curl starts the data handshake before the transfer command,
// which that server refuses) and it comes with the system's Python, as the server does.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/ftp_bench_server.h"
#include "ftp/ftp_client.h"

namespace {

using qp::bench::kFileBytes;
using qp::bench::kPassword;
using qp::bench::kUser;

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

qp::bench::TBenchFtpServer& Shared() {
    static qp::bench::TBenchFtpServer f(true);
    static const bool yardstickWritten = [] {
        std::ofstream(f.root + "/put.py") << kYardstick;
        return true;
    }();
    (void)yardstickWritten;
    return f;
}

void ClientUpload(benchmark::State& state, bool passive) {
    auto& f = Shared();
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
    auto& f = Shared();
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
