// Feeds arbitrary bytes to the preview's mail decoder. What must hold:
// - whatever the bytes, every text it gives (field names, values, body) is UTF-8, as its
//   header promises, with what cannot be read shown as U+FFFD;
// - a mail written as the runtime writes it (lib/mimew.pl: the subject as it stands when it
//   is short printable ASCII, else folded "=?UTF-8?B?...?=" words of whole characters; the
//   body in UTF-8, CR LF line ends, base64 in lines of 76) decodes to the subject and body
//   the visitor typed. The input is the subject up to its first LF, then the body;
// - base64 decoding undoes base64 encoding of any bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "preview/mail_decode.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_mail_decode: %s\n", what);
    std::abort();
}

// UTF-8 as RFC 3629 defines it: shortest forms only, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        unsigned lo = 0x80, hi = 0xBF;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return false;
            const auto d = static_cast<unsigned char>(s[i + k]);
            if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return false;
        }
        i += n + 1;
    }
    return true;
}

std::string Base64(std::string_view bytes, std::string_view lineEnd) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
        column += 4;
        if (!lineEnd.empty() && column == 76) {
            out += lineEnd;
            column = 0;
        }
    }
    if (!lineEnd.empty() && column > 0) out += lineEnd;
    return out;
}

// The length of the character at i as the runtime counts it: a stray byte is one.
std::size_t CharLength(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    auto tail = [&](std::size_t n) {
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        return true;
    };
    if (c >= 0xC2 && c <= 0xDF && tail(1)) return 2;
    if (c >= 0xE0 && c <= 0xEF && tail(2)) return 3;
    if (c >= 0xF0 && c <= 0xF4 && tail(3)) return 4;
    return 1;
}

// Quillpost::Mime::header_field.
std::string HeaderField(const std::string& name, std::string_view value) {
    constexpr std::size_t kLineMax = 76;
    constexpr std::size_t kWordMax = 75;
    const std::string head = name + ": ";
    bool plain = value.find("=?") == std::string_view::npos && head.size() + value.size() <= kLineMax;
    for (char c : value) plain = plain && c >= 0x20 && c <= 0x7E;
    if (plain) return head + std::string(value) + "\n";
    auto wordLength = [&](std::size_t bytes) {
        const std::size_t length = 12 + 4 * ((bytes + 2) / 3);
        return length > kWordMax ? kLineMax + 1 : length;
    };
    auto word = [](std::string_view bytes) { return "=?UTF-8?B?" + Base64(bytes, "") + "?="; };
    std::string out = head;
    std::size_t room = kLineMax - head.size();
    std::string chunk;
    bool any = false;
    for (std::size_t i = 0; i < value.size();) {
        const std::size_t n = CharLength(value, i);
        if (!chunk.empty() && wordLength(chunk.size() + n) > room) {
            out += (any ? "\n " : "") + word(chunk);
            any = true;
            chunk.clear();
            room = kLineMax - 1;
        }
        chunk.append(value.substr(i, n));
        i += n;
    }
    if (!chunk.empty() || !any) out += (any ? "\n " : "") + word(chunk);
    return out + "\n";
}

// Quillpost::Mime::message, with the body's control characters taken out first as the
// runtime does (all but tab and LF).
std::string Message(std::string_view subject, std::string& body) {
    std::string kept;
    for (char c : body) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n') || u == 0x7F) continue;
        kept += c;
    }
    body = kept;
    std::string crlf;
    for (char c : body) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return "From: visitor@example.jp\nTo: info@example.com\n" + HeaderField("Subject", subject) +
           HeaderField("Date", "Tue, 08 Dec 2026 17:40:00 +0900") +
           HeaderField("Message-ID", "<1796719200.4242.00abcd@example.jp>") +
           "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: "
           "base64\n\n" +
           Base64(crlf, "\n");
}

bool SubjectTheRuntimeSends(std::string_view subject) {
    for (char c : subject) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return IsUtf8(subject);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);

    const qp::preview::TDecodedMail mail = qp::preview::DecodeMail(raw);
    for (const auto& [name, value] : mail.Headers) {
        if (!IsUtf8(name) || !IsUtf8(value)) Fail("a field that is not UTF-8");
    }
    if (!IsUtf8(mail.Body)) Fail("a body that is not UTF-8");
    if (!IsUtf8(qp::preview::DecodeHeaderValue(raw))) Fail("a header value that is not UTF-8");
    if (!IsUtf8(qp::preview::ToUtf8(raw, "ISO-2022-JP"))) Fail("ISO-2022-JP text that is not UTF-8");
    (void)qp::preview::DecodeQuotedPrintable(raw);
    if (qp::preview::DecodeBase64(Base64(raw, "\r\n")) != raw) Fail("base64 does not read back");

    const std::size_t lf = raw.find('\n');
    const std::string_view subject = raw.substr(0, lf);
    std::string body(lf == std::string_view::npos ? std::string_view() : raw.substr(lf + 1));
    if (!SubjectTheRuntimeSends(subject)) return 0;
    const std::string message = Message(subject, body);
    if (!IsUtf8(body)) return 0;
    const qp::preview::TDecodedMail sent = qp::preview::DecodeMail(message);
    // A reader drops the blanks after the colon; inside an encoded word they are text.
    std::string_view shown = subject;
    if (message.find("\nSubject: =?") == std::string::npos)
        shown.remove_prefix(std::min(shown.find_first_not_of(' '), shown.size()));
    if (sent.Header("Subject") != shown) Fail("the subject does not read back");
    if (sent.Body != body) Fail("the body does not read back");
    if (sent.Header("From") != "visitor@example.jp") Fail("the sender does not read back");
    return 0;
}
