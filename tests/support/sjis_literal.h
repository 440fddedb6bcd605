#pragma once
// Test helpers: UTF-8 literals turned into the Shift_JIS bytes the model holds, and back;
// temporary folders and files; the message of a raised error; a shell command's output.
#include <functional>
#include <string>
#include <string_view>

namespace qp::test {

std::string S(std::string_view utf8);  // UTF-8 -> Shift_JIS (CP932)
std::string U(std::string_view sjis);  // Shift_JIS -> UTF-8

// A fresh empty folder under $TMPDIR, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);

// The message of the qp::Error that f raises, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);

// Runs a /bin/sh command line: its exit status (-1 when it did not exit) and standard output.
struct ShellResult {
    int status = -1;
    std::string out;
};
ShellResult RunShell(const std::string& command);

}  // namespace qp::test
