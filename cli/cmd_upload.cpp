// quillpost-cli upload: make and upload without the dialog. The checks, the script in a
// temporary file, then the four files to the project's server folder, one log line each.
#include <signal.h>

#include <csignal>
#include <iostream>

#include "cli/cli_common.h"
#include "cli/ftp_options.h"
#include "deploy/make_upload.h"
#include "deploy/upload_sequence.h"
#include "generate/make_checks.h"
#include "remote/visible_text.h"
#include "sitecheck/check_key.h"
#include "sitecheck/remote_probe_folder.h"
#include "sitecheck/site_check.h"

namespace qp::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int) {
    interrupted = 1;
}

// Ctrl+C or a TERM while the upload runs takes the way of a cancel: the transfer stops, what
// was sent is removed, the live files stay as they were.
class InterruptAsCancel {
public:
    InterruptAsCancel() {
        struct sigaction action {};
        action.sa_handler = Interrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &savedInt_);
        ::sigaction(SIGTERM, &action, &savedTerm_);
    }
    ~InterruptAsCancel() {
        ::sigaction(SIGINT, &savedInt_, nullptr);
        ::sigaction(SIGTERM, &savedTerm_, nullptr);
    }
    InterruptAsCancel(const InterruptAsCancel&) = delete;
    InterruptAsCancel& operator=(const InterruptAsCancel&) = delete;

private:
    struct sigaction savedInt_ {};
    struct sigaction savedTerm_ {};
};

class ConsoleUpload : public TUploadListener {
public:
    void LogLine(const std::string& line) override { std::cout << VisibleText(line) << std::endl; }
    void Progress(const TUploadFile&, std::int64_t, std::int64_t) override {}
    void Pump() override {}
    bool CancelRequested() override { return interrupted != 0; }
};

int Run(const Args& args) {
    args.ExpectPositional(1);
    TProjectConfig project;
    LoadProject(args.positional[0], project);
    CheckForMakeWithWarnings(project);  // before the password is asked for
    SupplyPassword(project);
    const FtpCall ftp(args, project);
    // The key goes into the script made now, so the project keeps it for every later check.
    if (MakeCheckKeyIfNeeded(project)) {
        project.SaveToFile(args.positional[0]);
        PrintError("確認用の鍵を作成し、プロジェクトに保存しました。");
    }
    const TUploadJob job = PrepareUpload(project, args.Value("--lib").value_or(""));

    const InterruptAsCancel interrupts;
    ConsoleUpload console;
    TUploadSequence sequence(console, ftp.Connection());
    sequence.SetUploadFiles(job.Files, job.Directory, job.ChmodCommand);
    ftp.Apply(sequence.Client());
    try {
        sequence.Run();
    } catch (const Error& e) {
        return ftp.Failed(sequence.Client(), e);
    }
    if (interrupted) return kExitInterrupted;
    ftp.SaveTrust(sequence.Client(), project, args.positional[0]);
    // The upload is done whatever the check finds: its exit status stays the upload's.
    if (const std::string url = project.GetScriptUrl(); !url.empty()) {
        TSiteCheckOptions options = SiteCheckOptionsOf(project);
        options.CaFile = args.Value("--ca").value_or("");
        TRemoteProbeFolder probes([&]() -> TRemoteFiles& { return sequence.Client(); }, job.Directory,
                                  job.ChmodCommand);
        for (const std::string& line : CheckSite(options, &probes).Lines) console.LogLine(line);
        console.LogLine(AddressLine(LogText(url)));
    }
    return kExitOk;
}

const RegisterCommand kRegister({"upload",
                                 std::string("upload PROJECT.qpf [--lib DIR] [--ca FILE] ") + FtpCall::kUsage,
                                 "checks the project, makes its CGI script and uploads it with the "
                                 "support files (from the runtime folder unless --lib), then checks the "
                                 "form at the project's address when it has one",
                                 60,
                                 {"--lib", "--ca", "--protocol", "--trust-cert"},
                                 {"--passive", "--save"},
                                 Run});

}  // namespace
}  // namespace qp::cli
