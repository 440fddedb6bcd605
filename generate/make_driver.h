#pragma once
// The steps of a make that do not need a window: shared by the desktop program and
// quillpost-cli, so both write exactly the same files.
#include <string>

#include "model/project_config.h"

namespace qp {

// The two lines shown after a local make.
extern const char* const kMakeLocalDoneMessage;
// Shown after the converter file is written.
extern const char* const kMakeConverterDoneMessage;

// The script as it goes to the server: MakeCgiScript() in the project's character code
// (EUC-JP or UTF-8) with CR LF line ends, with a new guard secret (every make differs
// there). Runs no checks. A script that holds a zero byte is refused rather than cut short;
// a text that cannot be converted is refused naming it.
std::string MakeCgiText(const TProjectConfig& project);
std::string MakeCgiText(const TProjectConfig& project, const std::string& guardSecret);

// CheckForMake, then the script written to path (mode 755) through a temporary file and a rename.
// Raises the check's or the conversion's Error, or FileError; path is untouched then.
void MakeLocalCgi(const TProjectConfig& project, const std::string& path);

// The script written to a new file in the temporary folder, for the upload; returns its
// path. Runs no checks (the caller has run both).
std::string MakeCgiTempFile(const TProjectConfig& project);

}  // namespace qp
