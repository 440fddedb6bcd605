// quillpost-cli verify: the check of the uploaded form at the project's address, alone.
#include <iostream>

#include "cli/cli_common.h"
#include "deploy/upload_sequence.h"
#include "remote/visible_text.h"
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
    const TSiteReport report = CheckSite(options);
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
                                 "verify PROJECT.qpf [--ca FILE]",
                                 "checks that the uploaded form runs at the project's address "
                                 "(exit 0: it works, 1: a problem is listed, 3: no answer)",
                                 65,
                                 {"--ca"},
                                 {},
                                 Run});

}  // namespace
}  // namespace qp::cli
