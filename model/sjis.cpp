#include "model/sjis.h"

namespace qp::sjis {

bool ContainsAscii(std::string_view s, char c) {
    for (std::size_t i = 0; i < s.size(); i += CharLength(s, i)) {
        if (s[i] == c && CharLength(s, i) == 1) return true;
    }
    return false;
}

std::string ReplaceAscii(std::string_view s, char c, std::string_view with) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = CharLength(s, i);
        if (n == 1 && s[i] == c) {
            out.append(with);
        } else {
            out.append(s.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string ToUpperAscii(std::string_view s) {
    std::string out(s);
    for (char& ch : out) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return out;
}

}  // namespace qp::sjis
