// Upload throughput of the FTP client beside curl, both in active mode, to the same local
// pyftpdlib server in one run: a 100 MB file, ASCII type (as the upload dialog sends) and
// binary type. Needs /usr/bin/python3 with pyftpdlib and curl.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

#include "bench/ftp_bench_server.h"
#include "ftp/ftp_client.h"

namespace {

using qp::bench::kFileBytes;
using qp::bench::kPassword;
using qp::bench::kUser;

qp::bench::TBenchFtpServer& Shared() {
    static qp::bench::TBenchFtpServer f(false);
    return f;
}

void ClientUpload(benchmark::State& state, bool ascii) {
    auto& f = Shared();
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
    auto& f = Shared();
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
