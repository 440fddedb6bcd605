#include "generate/text_file.h"

namespace qp {

std::string ToCrLfLines(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16 + 2);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            out.append(text.substr(start));
            out += "\r\n";
            break;
        }
        out.append(text.substr(start, end - start));
        out += "\r\n";
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return out;
}

void WriteTextFile(const std::string& path, std::string_view text) {
    WriteFileAtomic(path, ToCrLfLines(text));
}

}  // namespace qp
