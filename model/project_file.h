#pragma once
// What tells a project file from any other file, before anything of it is loaded.
#include <string>

namespace qp {

// Refuses bytes that are no project file at all: not text (a zero byte, a broken Shift_JIS
// sequence) or text without any section of a project file. Raises Error with
// "「name」はQuillpostのプロジェクトファイルではありません。(reason)"; FileError when the
// file cannot be read.
void CheckProjectFile(const std::string& path);

}  // namespace qp
