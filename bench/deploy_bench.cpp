// One deploy per iteration as the upload dialog runs it: the example's made script and the
// Perl runtime (the four files) to a local pyftpdlib server over plain FTP, passive and
// active. The figure is the time of the whole deploy, connection and log-in included, so
// that the round trips the deploy adds show. Needs /usr/bin/python3 with pyftpdlib.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <string>

#include "bench/ftp_bench_server.h"
#include "deploy/make_upload.h"
#include "deploy/upload_sequence.h"

namespace {

qp::bench::TBenchFtpServer& Shared() {
    static qp::bench::TBenchFtpServer f(false);
    return f;
}

class TQuiet : public qp::TUploadListener {
public:
    void LogLine(const std::string&) override {}
    void Progress(const qp::TUploadFile&, std::int64_t, std::int64_t) override {}
    void Pump() override {}
    bool CancelRequested() override { return false; }
};

void Deploy(benchmark::State& state, bool passive) {
    auto& f = Shared();
    ::mkdir((f.root + "/home/cgi-bin").c_str(), 0755);
    qp::TProjectConfig project;
    project.LoadFromFile(std::string(QP_SOURCE_DIR) + "/examples/contact.qpf");
    project.SetFtpHostName("127.0.0.1:" + std::to_string(f.port));
    project.SetFtpUserName(qp::bench::kUser);
    project.SetFtpPassword(qp::bench::kPassword);
    project.SetFtpDirectory("/cgi-bin");
    project.SetFtpProtocol(qp::TFtpProtocol::Ftp);
    project.SetFtpPassive(passive);
    const qp::TUploadJob job = qp::PrepareUpload(project, std::string(QP_SOURCE_DIR) + "/lib/");
    TQuiet quiet;
    for (auto _ : state) {
        qp::TUploadSequence sequence(quiet, job.Connection);
        sequence.SetUploadFiles(job.Files, job.Directory, job.ChmodCommand);
        sequence.Run();
    }
}

void BM_DeployFourFilesPassive(benchmark::State& s) {
    Deploy(s, true);
}
void BM_DeployFourFilesActive(benchmark::State& s) {
    Deploy(s, false);
}

BENCHMARK(BM_DeployFourFilesPassive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_DeployFourFilesActive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace
