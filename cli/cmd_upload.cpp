// quillpost-cli upload: make and upload without the dialog. The checks, the script in a
// temporary file, then the four files to the project's server folder, one log line each.
#include <iostream>

#include "cli/cli_common.h"
#include "cli/ftp_options.h"
#include "deploy/make_upload.h"
#include "deploy/upload_sequence.h"
#include "generate/make_checks.h"
#include "remote/visible_text.h"

namespace qp::cli {
namespace {

class ConsoleUpload : public TUploadListener {
public:
    void LogLine(const std::string& line) override { std::cout << VisibleText(line) << std::endl; }
    void Progress(const TUploadFile&, std::int64_t, std::int64_t) override {}
    void Pump() override {}
    bool CancelRequested() override { return false; }
};

int Run(const Args& args) {
    args.ExpectPositional(1);
    TProjectConfig project;
    LoadProject(args.positional[0], project);
    CheckForMake(project);  // before the password is asked for
    SupplyPassword(project);
    const FtpCall ftp(args, project);
    const TUploadJob job = PrepareUpload(project, args.Value("--lib").value_or(""));

    ConsoleUpload console;
    TUploadSequence sequence(console, ftp.Connection());
    sequence.SetUploadFiles(job.Files, job.Directory, job.ChmodCommand);
    ftp.Apply(sequence.Client());
    try {
        sequence.Run();
    } catch (const Error& e) {
        return ftp.Failed(sequence.Client(), e);
    }
    ftp.SaveTrust(sequence.Client(), project, args.positional[0]);
    return kExitOk;
}

const RegisterCommand kRegister({"upload",
                                 std::string("upload PROJECT.qpf [--lib DIR] ") + FtpCall::kUsage,
                                 "checks the project, makes its CGI script and uploads it with the "
                                 "support files (from the runtime folder unless --lib)",
                                 60,
                                 {"--lib", "--protocol", "--trust-cert"},
                                 {"--passive", "--save"},
                                 Run});

}  // namespace
}  // namespace qp::cli
