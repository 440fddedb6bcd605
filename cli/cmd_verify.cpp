// quillpost-cli verify: the check of the uploaded form at the project's address, alone.
#include <iostream>

#include <memory>
#include <optional>

#include "cli/cli_common.h"
#include "cli/ftp_options.h"
#include "deploy/connection.h"
#include "deploy/upload_sequence.h"
#include "remote/visible_text.h"
#include "sitecheck/remote_probe_folder.h"
#include "sitecheck/site_check.h"

namespace qp::cli {
namespace {

int Run(const Args& args) {
    args.ExpectPositional(1);
    TProjectConfig project;
    LoadProject(args.positional[0], project);
    const std::string url = project.GetScriptUrl();
    if (url.empty())
        throw Error("設置先のURLが設定されていません。「作成・設置」ページの「設置先のURL」に、設置したCGIのアドレスを入れてください。");
    TSiteCheckOptions options = SiteCheckOptionsOf(project);
    options.CaFile = args.Value("--ca").value_or("");
    // The server account is used only when probes are needed: the password is asked then.
    std::optional<FtpCall> ftp;
    std::unique_ptr<TRemoteFiles> client;
    TRemoteProbeFolder probes(
        [&]() -> TRemoteFiles& {
            SupplyPassword(project);
            ftp.emplace(args, project);
            client = MakeRemoteFiles(ftp->Connection());
            ftp->Apply(*client);
            return *client;
        },
        project.GetFtpDirectory(), project.GetFtpChmod());
    TSiteReport report = CheckSite(options, project.GetFtpHostName().empty() ? nullptr : &probes);
    if (args.Has("--fix") && !report.Fixable.empty()) {
        for (const std::string& line : report.Lines) std::cout << VisibleText(line) << '\n';
        report = FixSite(options, probes, report);
    }
    for (const std::string& line : report.Lines) std::cout << VisibleText(line) << '\n';
    std::cout << VisibleText(AddressLine(LogText(url))) << std::endl;
    switch (report.Verdict) {
        case TSiteVerdict::Works: return kExitOk;
        case TSiteVerdict::Problem: return kExitRefused;
        case TSiteVerdict::Unreachable: break;
    }
    return kExitUnreachable;
}

const RegisterCommand kRegister({"verify",
                                 "verify PROJECT.qpf [--fix] [--ca FILE] [--passive] [--protocol ftp|ftps|sftp] "
                                 "[--trust-cert SHA256:...]",
                                 "checks that the uploaded form runs at the project's address "
                                 "(exit 0: it works, 1: a problem is listed, 3: no answer); --fix makes the state "
                                 "and inbox files writable for the CGI, then checks again",
                                 65,
                                 {"--ca", "--protocol", "--trust-cert"},
                                 {"--fix", "--passive"},
                                 Run});

}  // namespace
}  // namespace qp::cli
