#pragma once
// Text that came from a server, made safe to print: control characters (C0, DEL and the
// UTF-8 forms of C1) become visible "\xHH" escapes, so that a file name or a reply cannot
// drive the user's terminal or add columns to tab-separated output.
#include <string>
#include <string_view>

namespace qp {

// Every control character escaped, line feeds included.
std::string VisibleText(std::string_view text);
// The same, but line feeds kept: for multi-line replies in messages.
std::string VisibleLines(std::string_view text);

}  // namespace qp
