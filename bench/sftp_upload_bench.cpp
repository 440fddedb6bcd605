// Upload throughput of the SFTP client beside OpenSSH's scp and sftp, to the same local OpenSSH
// server (its own configuration, internal-sftp) in one run: a 100 MB file, the same user key,
// each upload with its own connection. The file holds no CR, so that the client's CR LF -> LF
// text conversion leaves it as it is and all three send the same bytes. Runs as root or as
// any user: key authentication needs no account of its own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "sftp/sftp_client.h"
#include "support/sshd_server.h"

namespace {

constexpr std::int64_t kFileBytes = 100 * 1000 * 1000;

struct TBench {
    qp::test::TSshdServer server;
    std::string file;
    std::string sshOptions;
    // MB/s of each yardstick in this run, for the ratio; 0 until measured.
    double scpRate = 0;
    double sftpRate = 0;

    TBench() {
        file = server.Folder() + "/upload-source.bin";
        std::ofstream f(file, std::ios::binary);
        std::mt19937_64 rng(42);
        std::string block(1 << 20, '\0');
        for (std::int64_t done = 0; done < kFileBytes; done += static_cast<std::int64_t>(block.size())) {
            for (auto& ch : block) {
                ch = static_cast<char>(rng());
                if (ch == '\r') ch = '\n';
            }
            f.write(block.data(), static_cast<std::streamsize>(std::min<std::int64_t>(
                                      static_cast<std::int64_t>(block.size()), kFileBytes - done)));
        }
        sshOptions =
            "-q -F /dev/null -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null "
            "-o IdentitiesOnly=yes -o BatchMode=yes -i " +
            server.KeyFile() + " -P " + std::to_string(server.Port()) + " ";
        std::ofstream(server.Folder() + "/put.batch") << "put " << file << " sftp.bin\n";
    }

    // The upload arrived whole and unchanged (not only "the command succeeded").
    bool Arrived(const std::string& name) const {
        std::ifstream sent(file, std::ios::binary);
        std::ifstream got(server.Home() + "/" + name, std::ios::binary);
        std::string a(1 << 20, '\0');
        std::string b(1 << 20, '\0');
        std::int64_t total = 0;
        while (sent && got) {
            sent.read(a.data(), static_cast<std::streamsize>(a.size()));
            got.read(b.data(), static_cast<std::streamsize>(b.size()));
            if (sent.gcount() != got.gcount() || a.compare(0, static_cast<std::size_t>(sent.gcount()), b, 0,
                                                           static_cast<std::size_t>(got.gcount())) != 0)
                return false;
            total += sent.gcount();
        }
        return total == kFileBytes && sent.eof() && got.eof();
    }
};

TBench& Shared() {
    static TBench b;
    return b;
}

// Times each upload by the wall clock, without the check that follows it; returns MB/s
// (10^6 bytes), 0 after an error.
template <class Upload>
double Measure(benchmark::State& state, const std::string& remoteName, Upload upload) {
    auto& b = Shared();
    double seconds = 0;
    for (auto _ : state) {
        const std::string target = b.server.Home() + "/" + remoteName;
        std::remove(target.c_str());
        const auto start = std::chrono::steady_clock::now();
        bool ok = false;
        std::string error;
        try {
            ok = upload();
        } catch (const std::exception& e) {
            error = std::string(e.what()) + "\n";
        }
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(took);
        seconds += took;
        if (!ok || !b.Arrived(remoteName)) {
            state.SkipWithError(
                (remoteName + " did not arrive whole\n" + error + b.server.LogTail()).c_str());
            return 0;
        }
    }
    state.SetBytesProcessed(state.iterations() * kFileBytes);
    const double rate = static_cast<double>(state.iterations() * kFileBytes) / 1e6 / seconds;
    state.counters["MB/s"] = rate;
    return rate;
}

void BM_ScpUpload(benchmark::State& state) {
    auto& b = Shared();
    const std::string cmd =
        "scp " + b.sshOptions + "'" + b.file + "' " + b.server.User() + "@127.0.0.1:scp.bin";
    b.scpRate = Measure(state, "scp.bin", [&] { return std::system(cmd.c_str()) == 0; });
}

void BM_SftpUpload(benchmark::State& state) {
    auto& b = Shared();
    const std::string cmd = "sftp " + b.sshOptions + "-b '" + b.server.Folder() + "/put.batch' " +
                            b.server.User() + "@127.0.0.1 >/dev/null";
    b.sftpRate = Measure(state, "sftp.bin", [&] { return std::system(cmd.c_str()) == 0; });
}

void BM_ClientUpload(benchmark::State& state) {
    auto& b = Shared();
    const double rate = Measure(state, "upload.bin", [&] {
        qp::TSftpClient client;
        client.SetHost(b.server.HostAndPort());
        client.SetUserName(b.server.User());
        client.SetKeyFile(b.server.KeyFile());
        client.Trust().SetStoredFingerprint(b.server.Fingerprint());
        client.Connect();
        client.ChangeFolder(b.server.Home());
        client.StoreText(b.file, "upload.bin");
        client.Disconnect();
        return true;
    });
    // Ours against the faster of OpenSSH's two, when both ran before in this run.
    const double yardstick = std::max(b.scpRate, b.sftpRate);
    if (rate > 0 && b.scpRate > 0 && b.sftpRate > 0) state.counters["x_openssh"] = rate / yardstick;
}

BENCHMARK(BM_ScpUpload)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_SftpUpload)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ClientUpload)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
