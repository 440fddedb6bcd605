#pragma once
// Runs one program as a CGI request: arguments and environment given whole, the request body
// on standard input, standard output and standard error collected, and a time limit after
// which the program and everything it started are killed. No shell is involved.
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace qp::preview {

struct TProcessRequest {
    std::vector<std::string> Argv;         // Argv[0] is the program's path
    std::vector<std::string> Environment;  // "NAME=value", the program's whole environment
    std::string WorkDir;                   // empty: the current folder
    std::string Input;                     // written to standard input, which is then closed
    std::chrono::milliseconds Timeout{10000};
    std::size_t OutputLimit = 16 * 1024 * 1024;  // per stream; more ends the program
};

struct TProcessResult {
    std::string Output;
    std::string ErrorOutput;
    int ExitCode = -1;      // when the program exited on its own
    int Signal = 0;         // the signal that ended it, else 0
    bool TimedOut = false;  // killed at the time limit
    bool TooLarge = false;  // killed for writing more than OutputLimit
    int ExecErrno = 0;      // the program could not be started (errno of execve)

    bool Succeeded() const { return ExitCode == 0 && !TimedOut && !TooLarge && ExecErrno == 0; }
};

// Forks and runs the request; raises Error only when no process can be made at all.
// Safe to call from several threads at once.
TProcessResult RunProcess(const TProcessRequest& request);

}  // namespace qp::preview
