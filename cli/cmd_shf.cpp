// quillpost-cli shf: the project file of the mail-log converter, merged into FILE.
#include "cli/cli_common.h"
#include "generate/converter_file.h"

namespace qp::cli {
namespace {

int Run(const Args& args) {
    TProjectConfig project;
    const std::string output = LoadProjectForOutput(args, project);
    try {
        SaveConverterFile(project, output);
    } catch (const FileError&) {
        throw;
    } catch (const Error& e) {
        // Writing the converter file raises nothing but the errors of its file.
        throw FileError(e.Message());
    }
    return kExitOk;
}

const RegisterCommand kRegister({"shf",
                                 "shf PROJECT.qpf -o FILE",
                                 "writes the converter project file (no checks; merges into FILE)",
                                 40,
                                 {"-o"},
                                 {},
                                 Run});

}  // namespace
}  // namespace qp::cli
