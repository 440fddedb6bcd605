// quillpost-cli make: the local make, writing the script in the project's character code to a file.
#include <iostream>

#include "cli/cli_common.h"
#include "generate/make_driver.h"

namespace qp::cli {
namespace {

int Run(const Args& args) {
    TProjectConfig project;
    const std::string output = LoadProjectForOutput(args, project);
    CheckForMakeWithWarnings(project);
    MakeLocalCgi(project, output);
    std::cout << kMakeLocalDoneMessage << "\n";
    return kExitOk;
}

const RegisterCommand kRegister({"make",
                                 "make PROJECT.qpf -o FILE",
                                 "checks the project and writes its CGI script (EUC-JP or UTF-8 as the project says, CR LF)",
                                 10,
                                 {"-o"},
                                 {},
                                 Run});

}  // namespace
}  // namespace qp::cli
