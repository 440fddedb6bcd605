#include "model/charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace qp::charset {
namespace {

struct IconvCloser {
    void operator()(iconv_t cd) const { iconv_close(cd); }
};

std::string HexBytes(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%s0x%02X", out.empty() ? "" : " ", c);
        out += buf;
    }
    return out;
}

std::string CodePoint(std::string_view ch) {
    const auto* p = reinterpret_cast<const unsigned char*>(ch.data());
    unsigned cp = 0;
    if (ch.size() == 1) cp = p[0];
    else if (ch.size() == 2) cp = ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
    else if (ch.size() == 3) cp = ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
    else cp = ((p[0] & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", cp);
    return buf;
}

// Describes the input character at offset for an error message, in UTF-8.
using Describer = std::string (*)(std::string_view input, std::size_t offset, int err);

std::string Convert(const char* to, const char* from, std::string_view input, Describer describe) {
    std::unique_ptr<void, IconvCloser> cd(iconv_open(to, from));
    if (cd.get() == reinterpret_cast<iconv_t>(-1)) {
        cd.release();
        throw CharsetError(CharsetError::Kind::OpenFailed, 0,
                           std::string("文字コード変換を開始できません(") + from + " → " + to + ")。");
    }
    std::string out(input.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd.get(), &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) break;
        const int err = errno;
        const std::size_t offset = input.size() - inLeft;
        if (err == E2BIG) {
            const std::size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        const auto kind = err == EINVAL ? CharsetError::Kind::Truncated
                          : err == EILSEQ ? CharsetError::Kind::Unmappable
                                          : CharsetError::Kind::BrokenSequence;
        throw CharsetError(kind, offset, describe(input, offset, err));
    }
    out.resize(out.size() - outLeft);
    return out;
}

std::string DescribeSjis(std::string_view input, std::size_t offset, int err) {
    const auto lead = static_cast<unsigned char>(input[offset]);
    const std::size_t n = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
    const std::string_view bytes = input.substr(offset, n);
    if (err == EINVAL) {
        return "Shift_JISの文字が途中で切れています(" + HexBytes(bytes) + ", " +
               std::to_string(offset + 1) + "バイト目)。";
    }
    return "Shift_JISとして変換できないバイト列があります(" + HexBytes(bytes) + ", " +
           std::to_string(offset + 1) + "バイト目)。";
}

std::string DescribeUtf8(std::string_view input, std::size_t offset, int err) {
    const std::string_view ch = Utf8CharAt(input, offset);
    if (err == EINVAL || (ch.size() == 1 && static_cast<unsigned char>(ch[0]) >= 0x80)) {
        return "UTF-8として不正なバイト列があります(" + HexBytes(input.substr(offset, 1)) + ")。";
    }
    return "「" + std::string(ch) + "」(" + CodePoint(ch) + ")はShift_JISで表せない文字です。";
}

std::string DescribeSjisForEuc(std::string_view input, std::size_t offset, int err) {
    if (err == EILSEQ) {
        const auto lead = static_cast<unsigned char>(input[offset]);
        const std::size_t n = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC) ? 2 : 1;
        try {
            const std::string ch = SjisToUtf8(input.substr(offset, n));
            return "「" + ch + "」はEUC-JPで表せない文字です。";
        } catch (const CharsetError&) {
        }
    }
    return DescribeSjis(input, offset, err);
}

}  // namespace

std::string_view Utf8CharAt(std::string_view s, std::size_t offset) {
    const auto c = static_cast<unsigned char>(s[offset]);
    std::size_t n = 1;
    if (c >= 0xF0 && c <= 0xF4) n = 4;
    else if (c >= 0xE0) n = 3;
    else if (c >= 0xC2 && c < 0xE0) n = 2;
    if (c >= 0xF5 || (c >= 0x80 && c < 0xC2)) n = 1;
    if (offset + n > s.size()) return s.substr(offset, 1);
    for (std::size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(s[offset + i]) & 0xC0) != 0x80) return s.substr(offset, 1);
    }
    return s.substr(offset, n);
}

std::string SjisToUtf8(std::string_view sjis) { return Convert("UTF-8", "CP932", sjis, DescribeSjis); }
std::string Utf8ToSjis(std::string_view utf8) { return Convert("CP932", "UTF-8", utf8, DescribeUtf8); }
std::string SjisToEucJp(std::string_view sjis) {
    return Convert("EUC-JP-MS", "CP932", sjis, DescribeSjisForEuc);
}

}  // namespace qp::charset
