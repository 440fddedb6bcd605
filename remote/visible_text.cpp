#include "remote/visible_text.h"

#include <cstdio>

namespace qp {
namespace {

void AppendHex(std::string& out, unsigned char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", c);
    out += buf;
}

std::string Escape(std::string_view text, bool keepLineFeeds) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n' && keepLineFeeds) {
            out += '\n';
        } else if (c < 0x20 || c == 0x7F) {
            AppendHex(out, c);
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080..U+009F: terminals in UTF-8 mode take U+009B as CSI.
            AppendHex(out, c);
            AppendHex(out, static_cast<unsigned char>(text[++i]));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

std::string VisibleText(std::string_view text) {
    return Escape(text, false);
}

std::string VisibleLines(std::string_view text) {
    return Escape(text, true);
}

}  // namespace qp
