#pragma once
// Shared pieces of quillpost-cli: the command table, the exit codes, argument parsing,
// loading a project and turning errors into messages.
//
// A command lives in its own file cli/cmd_<name>.cpp and registers itself:
//
//   namespace {
//   int Run(const qp::cli::Args& args) { ... return qp::cli::kExitOk; }
//   const qp::cli::RegisterCommand kRegister({"name", "name ARGS...", "what it does", 50,
//                                             {"-o"}, {"--flag"}, Run});
//   }
//
// The run function raises UsageError, FileError or Error; RunCommand prints the message
// and returns the matching exit code.
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "generate/text_file.h"
#include "model/error.h"
#include "model/project_config.h"

namespace qp::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitRefused = 1,  // a project that does not load or fails a check
    kExitUsage = 2,
    kExitFile = 3,  // a file that cannot be read or written
    kExitUnreachable = 3,  // verify: the server or the network could not be reached
    kExitInterrupted = 130,  // stopped by Ctrl+C or TERM, as shells report SIGINT
};

// A command line that does not fit the command: printed with the command's usage.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line of one command after parsing.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // options with a value, e.g. "-o"
    std::set<std::string> flags;                // options without one, e.g. "--upload"

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    std::optional<std::string> Value(const std::string& option) const;
    // The value of an option that the command cannot do without; raises UsageError.
    std::string Required(const std::string& option) const;
    // Raises UsageError unless there are exactly count positional arguments.
    void ExpectPositional(std::size_t count) const;
};

struct Command {
    std::string name;
    std::string usage;    // the arguments after "quillpost-cli", e.g. "make PROJECT.qpf -o FILE"
    std::string summary;  // one line for --help
    int order = 100;      // place in --help, lower first
    std::vector<std::string> valueOptions;  // options followed by a value ("-o")
    std::vector<std::string> flagOptions;   // options standing alone ("--upload")
    std::function<int(const Args&)> run;
};

// Adds a command to the table; one static object per command file.
struct RegisterCommand {
    explicit RegisterCommand(Command command);
};

// Every registered command, in --help order.
std::vector<const Command*> Commands();
const Command* FindCommand(std::string_view name);

// Splits args by the command's options. "--opt=value" is accepted for long options, "--"
// ends the options, and "-" alone is a positional argument. Raises UsageError for an
// unknown option, a missing value or an option given twice.
Args ParseArgs(const Command& command, const std::vector<std::string>& args);

// Parses args and runs the command, printing any error; returns the exit code.
// "-h" or "--help" among the options prints the command's usage instead.
int RunCommand(const Command& command, const std::vector<std::string>& args);

// Loads the project at path. A path that does not exist or cannot be read raises
// FileError (a missing file must not pass as an empty project); a file that the project
// refuses raises its Error.
void LoadProject(const std::string& path, TProjectConfig& project);

// For the commands "NAME PROJECT.qpf -o FILE": checks the command line (UsageError), loads
// the project as LoadProject does and returns FILE.
std::string LoadProjectForOutput(const Args& args, TProjectConfig& project);

// Writes bytes to path through a temporary file and a rename, or to standard output when
// path is empty. Raises FileError.
void WriteOutput(const std::string& path, std::string_view bytes);

// The choice that the setting's CliOption names (a file word in lower case), if given;
// raises UsageError for a word the setting does not offer.
std::optional<int> ChoiceOption(const Args& args, TSetting id);

// A message on standard error, followed by a line feed.
void PrintError(std::string_view message);

// The make's checks: raises Error with every refusal; prints each warning on standard error
// ("注意: " and the warning) and goes on.
void CheckForMakeWithWarnings(const TProjectConfig& project);

// The usage lines of every command, for --help and usage errors.
std::string UsageText();

}  // namespace qp::cli
