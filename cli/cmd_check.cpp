// quillpost-cli check: the checks of a make (and of an upload), silent on success.
#include "cli/cli_common.h"
#include "generate/make_checks.h"

namespace qp::cli {
namespace {

int Run(const Args& args) {
    args.ExpectPositional(1);
    TProjectConfig project;
    LoadProject(args.positional[0], project);
    CheckForMakeWithWarnings(project);
    if (args.Has("--upload")) CheckForUpload(project);
    return kExitOk;
}

const RegisterCommand kRegister({"check",
                                 "check [--upload] PROJECT.qpf",
                                 "checks the project (and its FTP settings with --upload)",
                                 20,
                                 {},
                                 {"--upload"},
                                 Run});

}  // namespace
}  // namespace qp::cli
