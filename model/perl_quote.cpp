#include "model/perl_quote.h"

#include "model/sjis.h"

namespace qp {
namespace {

std::string EscapeChars(std::string_view text, std::string_view special) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = sjis::CharLength(text, i);
        if (n == 1 && special.find(text[i]) != std::string_view::npos) out += '\\';
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

// A line "__END__" (with or without a CR before its LF) would close the here-document.
std::string GuardTerminatorLines(const std::string& text) {
    static constexpr std::string_view kTerminator = "__END__";
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (std::string_view(text).substr(start, end - start) == kTerminator) out += '\\';
        std::size_t next = end;
        if (next < text.size()) {
            next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
        }
        out.append(text, start, next - start);
        if (next >= text.size()) break;
        start = next;
    }
    return out;
}

}  // namespace

std::string QuotePerlHeredoc(std::string_view text) {
    return GuardTerminatorLines(EscapeChars(text, "\\@$"));
}

std::string QuotePerlSingle(std::string_view text) { return EscapeChars(text, "\\'"); }

}  // namespace qp
