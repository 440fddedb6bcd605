#include "preview/mail_decode.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace qp::preview {
namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The name iconv should use: the Japanese Windows mapping for Shift_JIS (mails written on
// Windows use its extension characters), and no RFC 2231 language suffix.
std::string IconvName(std::string_view charset) {
    std::string name = Lower(charset.substr(0, charset.find('*')));
    if (name == "shift_jis" || name == "shift-jis" || name == "sjis" || name == "x-sjis" ||
        name == "windows-31j") {
        return "CP932";
    }
    if (name == "euc-jp" || name == "x-euc-jp") return "EUC-JP-MS";
    if (name.empty() || name == "us-ascii" || name == "ascii") return "UTF-8";
    return name;
}

// The value of one parameter of a header such as Content-Type ("...; charset=UTF-8").
std::string Parameter(std::string_view header, std::string_view name) {
    const std::string lower = Lower(header);
    std::size_t pos = 0;
    while ((pos = lower.find(';', pos)) != std::string::npos) {
        ++pos;
        while (pos < lower.size() && IsBlank(lower[pos])) ++pos;
        if (lower.compare(pos, name.size(), name) != 0) continue;
        std::size_t at = pos + name.size();
        while (at < lower.size() && IsBlank(lower[at])) ++at;
        if (at >= lower.size() || lower[at] != '=') continue;
        ++at;
        while (at < lower.size() && IsBlank(lower[at])) ++at;
        if (at < header.size() && header[at] == '"') {
            const std::size_t end = header.find('"', at + 1);
            return std::string(header.substr(at + 1, end == std::string_view::npos ? end : end - at - 1));
        }
        std::size_t end = at;
        while (end < header.size() && header[end] != ';' && !IsBlank(header[end])) ++end;
        return std::string(header.substr(at, end - at));
    }
    return {};
}

// One encoded word starting at pos ("=?"); on success its decoded text and the position
// after it.
bool DecodeWord(std::string_view value, std::size_t pos, std::string& text, std::size_t& end) {
    const std::size_t q1 = value.find('?', pos + 2);
    if (q1 == std::string_view::npos || q1 + 2 >= value.size() || value[q1 + 2] != '?') return false;
    const std::string_view charset = value.substr(pos + 2, q1 - pos - 2);
    const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(value[q1 + 1])));
    const std::size_t close = value.find("?=", q1 + 3);
    if (charset.empty() || close == std::string_view::npos) return false;
    const std::string_view payload = value.substr(q1 + 3, close - q1 - 3);
    if (std::any_of(payload.begin(), payload.end(), IsBlank)) return false;
    std::string bytes;
    if (encoding == 'B') {
        bytes = DecodeBase64(payload);
    } else if (encoding == 'Q') {
        bytes = DecodeQuotedPrintable(payload, true);
    } else {
        return false;
    }
    text = ToUtf8(bytes, charset);
    end = close + 2;
    return true;
}

// The length of the UTF-8 sequence at i as RFC 3629 allows it, or 0. glibc's converters
// also write the old five- and six-byte forms and code points past U+10FFFF, which no browser
// shows.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto d = static_cast<unsigned char>(s[i + k]);
        if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return 0;
    }
    return n;
}

}  // namespace

std::string TDecodedMail::Header(std::string_view name) const {
    const std::string wanted = Lower(name);
    for (const auto& [key, value] : Headers) {
        if (Lower(key) == wanted) return value;
    }
    return {};
}

std::string DecodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3 / 4);
    unsigned int bits = 0;
    int count = 0;
    for (char c : text) {
        int v;
        if (c >= 'A' && c <= 'Z') {
            v = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            v = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            v = c - '0' + 52;
        } else if (c == '+') {
            v = 62;
        } else if (c == '/') {
            v = 63;
        } else if (c == '=') {
            break;
        } else {
            continue;
        }
        bits = (bits << 6) | static_cast<unsigned int>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

std::string DecodeQuotedPrintable(std::string_view text, bool headerForm) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (headerForm && c == '_') {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else if (c == '=' && !headerForm) {
            // A soft line break: "=" and blanks at the end of a line.
            std::size_t j = i + 1;
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
            if (j < text.size() && text[j] == '\r') ++j;
            if (j < text.size() && text[j] == '\n') {
                i = j;
            } else if (j == text.size()) {
                i = j - 1;
            } else {
                out.push_back(c);
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string ToUtf8(std::string_view bytes, std::string_view charset) {
    static const std::string kReplacement = "\xEF\xBF\xBD";
    iconv_t cd = ::iconv_open("UTF-8", IconvName(charset).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = ::iconv_open("UTF-8", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(bytes);
    std::string out;
    std::string input(bytes);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = ::iconv(cd, &in, &inLeft, &o, &outLeft);
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += kReplacement;
            ++in;
            --inLeft;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* o = buffer;
    std::size_t outLeft = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &o, &outLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    ::iconv_close(cd);
    std::string valid;
    valid.reserve(out.size());
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = Utf8Length(out, i);
        if (n == 0) {
            valid += kReplacement;
            ++i;
        } else {
            valid.append(out, i, n);
            i += n;
        }
    }
    return valid;
}

std::string DecodeHeaderValue(std::string_view value) {
    std::string out;
    std::size_t pos = 0;
    std::string pendingBlanks;
    bool afterWord = false;
    while (pos < value.size()) {
        std::string text;
        std::size_t end = 0;
        if (value.compare(pos, 2, "=?") == 0 && DecodeWord(value, pos, text, end)) {
            if (!afterWord) out += pendingBlanks;
            pendingBlanks.clear();
            out += text;
            pos = end;
            afterWord = true;
            continue;
        }
        if (IsBlank(value[pos])) {
            pendingBlanks.push_back(value[pos] == '\t' ? '\t' : ' ');
            ++pos;
            continue;
        }
        out += pendingBlanks;
        pendingBlanks.clear();
        afterWord = false;
        const std::size_t next = std::min(value.find("=?", pos + 1), value.size());
        std::size_t stop = pos + 1;
        while (stop < next && !IsBlank(value[stop])) ++stop;
        out += ToUtf8(value.substr(pos, stop - pos), "UTF-8");
        pos = stop;
    }
    out += pendingBlanks;
    return out;
}

TDecodedMail DecodeMail(std::string_view raw) {
    TDecodedMail mail;
    std::size_t pos = 0;
    std::vector<std::pair<std::string, std::string>> fields;
    while (pos < raw.size()) {
        std::size_t lf = raw.find('\n', pos);
        if (lf == std::string_view::npos) lf = raw.size();
        std::string_view line = raw.substr(pos, lf - pos);
        pos = std::min(lf + 1, raw.size());
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        if ((line.front() == ' ' || line.front() == '\t') && !fields.empty()) {
            fields.back().second += line;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            // Not a header line: the mail has no header block worth the name.
            fields.clear();
            pos = 0;
            break;
        }
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        fields.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    // A name is the sender's bytes as well: the page that shows it is UTF-8.
    for (auto& [name, value] : fields)
        mail.Headers.emplace_back(ToUtf8(name, "UTF-8"), DecodeHeaderValue(value));

    std::string_view body = raw.substr(pos);
    std::string decoded;
    const std::string encoding = Lower(mail.Header("Content-Transfer-Encoding"));
    if (encoding.find("base64") != std::string::npos) {
        decoded = DecodeBase64(body);
    } else if (encoding.find("quoted-printable") != std::string::npos) {
        decoded = DecodeQuotedPrintable(body);
    } else {
        decoded = std::string(body);
    }
    std::string text = ToUtf8(decoded, Parameter(mail.Header("Content-Type"), "charset"));
    mail.Body.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            mail.Body.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            mail.Body.push_back(text[i]);
        }
    }
    return mail;
}

}  // namespace qp::preview
