#pragma once
// Writing the files that a make produces: always through a temporary file in the target's
// folder and a rename, so that a failed write leaves the earlier file whole.
#include <string>
#include <string_view>

#include "model/error.h"

namespace qp {

// A file could not be read or written (as opposed to a project that was refused).
class FileError : public Error {
public:
    using Error::Error;
};

// Replaces the file at path by bytes. An existing file keeps its permissions; a new one gets
// the usual ones (0666 less the umask). Raises FileError; the target is untouched then.
void WriteFileAtomic(const std::string& path, std::string_view bytes);

// The text split into lines at CR LF, CR or LF, every line followed by CR LF; a text that
// ends with a line break gives no extra empty line.
std::string ToCrLfLines(std::string_view text);

// WriteFileAtomic(path, ToCrLfLines(text)).
void WriteTextFile(const std::string& path, std::string_view text);

}  // namespace qp
