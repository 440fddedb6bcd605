#include "cli/cli_common.h"

#include "generate/make_checks.h"
#include "model/project_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>

namespace qp::cli {
namespace {

std::vector<Command>& Table() {
    static std::vector<Command> table;
    return table;
}

bool Contains(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

}  // namespace

std::optional<std::string> Args::Value(const std::string& option) const {
    const auto it = values.find(option);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

std::string Args::Required(const std::string& option) const {
    const auto value = Value(option);
    if (!value) throw UsageError(option + " が指定されていません。");
    return *value;
}

void Args::ExpectPositional(std::size_t count) const {
    if (positional.size() < count) throw UsageError("引数が足りません。");
    if (positional.size() > count) throw UsageError("余分な引数があります: " + positional[count]);
}

RegisterCommand::RegisterCommand(Command command) {
    auto& table = Table();
    table.push_back(std::move(command));
    std::stable_sort(table.begin(), table.end(),
                     [](const Command& a, const Command& b) { return a.order < b.order; });
}

std::vector<const Command*> Commands() {
    std::vector<const Command*> out;
    for (const auto& c : Table()) out.push_back(&c);
    return out;
}

const Command* FindCommand(std::string_view name) {
    for (const auto& c : Table()) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

Args ParseArgs(const Command& command, const std::vector<std::string>& args) {
    Args out;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            out.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0) {
            const std::size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                name = arg.substr(0, eq);
                inlineValue = arg.substr(eq + 1);
            }
        }
        if (Contains(command.valueOptions, name)) {
            if (out.values.count(name) != 0) throw UsageError(name + " が二度指定されています。");
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw UsageError(name + " の値がありません。");
                inlineValue = args[++i];
            }
            out.values[name] = *inlineValue;
        } else if (Contains(command.flagOptions, name) && !inlineValue) {
            if (out.flags.count(name) != 0) throw UsageError(name + " が二度指定されています。");
            out.flags.insert(name);
        } else {
            throw UsageError("不明なオプションです: " + arg);
        }
    }
    return out;
}

int RunCommand(const Command& command, const std::vector<std::string>& args) {
    for (const auto& arg : args) {
        if (arg == "--") break;
        if (arg == "-h" || arg == "--help") {
            std::cout << "usage: quillpost-cli " << command.usage << "\n" << command.summary << "\n";
            return kExitOk;
        }
    }
    try {
        return command.run(ParseArgs(command, args));
    } catch (const UsageError& e) {
        PrintError(std::string("quillpost-cli: ") + e.what());
        PrintError("usage: quillpost-cli " + command.usage);
        return kExitUsage;
    } catch (const FileError& e) {
        PrintError(e.Message());
        return kExitFile;
    } catch (const Error& e) {
        PrintError(e.Message());
        return kExitRefused;
    } catch (const std::bad_alloc&) {
        PrintError("quillpost-cli: メモリが足りません。");
        return kExitRefused;
    } catch (const std::exception& e) {
        PrintError(std::string("quillpost-cli: ") + e.what());
        return kExitRefused;
    }
}

void LoadProject(const std::string& path, TProjectConfig& project) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        throw FileError("ファイル「" + path + "」を開けません。(" + std::strerror(errno) + ")");
    }
    if (S_ISDIR(st.st_mode)) {
        throw FileError("ファイル「" + path + "」を開けません。(" + std::strerror(EISDIR) + ")");
    }
    std::ifstream probe(path, std::ios::binary);
    char c;
    if (!probe || (probe.read(&c, 1), probe.bad())) {
        throw FileError("ファイル「" + path + "」を読めません。");
    }
    probe.close();
    CheckProjectFile(path);
    project.LoadFromFile(path);
}

std::string LoadProjectForOutput(const Args& args, TProjectConfig& project) {
    args.ExpectPositional(1);
    std::string output = args.Required("-o");
    LoadProject(args.positional[0], project);
    return output;
}

void WriteOutput(const std::string& path, std::string_view bytes) {
    if (!path.empty()) {
        WriteFileAtomic(path, bytes);
        return;
    }
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::cout.flush();
    if (!std::cout) throw FileError("標準出力に書き込めませんでした。");
}

std::optional<int> ChoiceOption(const Args& args, TSetting id) {
    const TSettingDef& d = SettingDef(id);
    const std::optional<std::string> given = args.Value(d.CliOption);
    if (!given) return std::nullopt;
    std::string words;
    for (std::size_t i = 0; i < d.Choices.size(); ++i) {
        std::string word = d.Choices[i].Word;
        std::transform(word.begin(), word.end(), word.begin(),
                       [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
        if (*given == word) return static_cast<int>(i);
        words += (i > 0 ? "、" : "") + word;
    }
    throw UsageError(std::string(d.CliOption) + " は " + words + " のどれかです。");
}

void PrintError(std::string_view message) {
    std::cerr << message << '\n';
    std::cerr.flush();
}

void CheckForMakeWithWarnings(const TProjectConfig& project) {
    CheckForMake(project);
    for (const std::string& line : WarningLines(FindMakeProblems(project))) PrintError("注意: " + line);
}

std::string UsageText() {
    std::string text;
    for (const Command* c : Commands()) text += "  quillpost-cli " + c->usage + "\n";
    text += "  quillpost-cli --version | --help\n";
    return text;
}

}  // namespace qp::cli
