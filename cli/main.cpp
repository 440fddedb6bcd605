// quillpost-cli: the headless front end. Each command is in its own cmd_*.cpp file.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_common.h"

#ifndef QP_VERSION
#define QP_VERSION "0"
#endif

namespace {

void PrintHelp(std::ostream& out) {
    out << "usage:\n" << qp::cli::UsageText() << "\ncommands:\n";
    for (const auto* c : qp::cli::Commands()) out << "  " << c->name << "\t" << c->summary << "\n";
    out << "\nexit status: 0 success, 1 project refused, 2 usage error, 3 file error\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qp::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        PrintError("quillpost-cli: コマンドが指定されていません。");
        PrintHelp(std::cerr);
        return kExitUsage;
    }
    const std::string& first = args.front();
    if (first == "--help" || first == "-h") {
        PrintHelp(std::cout);
        return kExitOk;
    }
    if (first == "--version") {
        if (args.size() != 1) {
            PrintError("quillpost-cli: --version に引数は要りません。");
            return kExitUsage;
        }
        std::cout << "quillpost-cli " << QP_VERSION << "\n";
        return kExitOk;
    }
    const Command* command = FindCommand(first);
    if (command == nullptr) {
        PrintError("quillpost-cli: 不明なコマンドです: " + first);
        PrintHelp(std::cerr);
        return kExitUsage;
    }
    return RunCommand(*command, std::vector<std::string>(args.begin() + 1, args.end()));
}
