#pragma once
// The text files that a make produces: CR LF line ends, written whole (model/atomic_file.h).
#include <string>
#include <string_view>

#include "model/atomic_file.h"

namespace qp {

// The text split into lines at CR LF, CR or LF, every line followed by CR LF; a text that
// ends with a line break gives no extra empty line.
std::string ToCrLfLines(std::string_view text);

// WriteFileAtomic(path, ToCrLfLines(text)).
void WriteTextFile(const std::string& path, std::string_view text);

}  // namespace qp
