#pragma once
// Character-wise helpers for Shift_JIS (CP932) byte strings: the second byte of a
// two-byte character may look like "@", "\" or "|", so ASCII searches step per character.
#include <cstddef>
#include <string>
#include <string_view>

namespace qp::sjis {

constexpr bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Bytes that can follow a lead byte. Every ASCII punctuation below "@" (quotes, comma,
// "=", "<", ">", "&", blanks) is outside this range, so it is never swallowed.
constexpr bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Length in bytes (1 or 2) of the character that starts at pos. A lead byte at the very
// end, or one not followed by a trail byte, counts as one byte: broken text must not hide
// a quote or a line break inside a would-be two-byte character.
inline std::size_t CharLength(std::string_view s, std::size_t pos) {
    return (IsLeadByte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size() &&
            IsTrailByte(static_cast<unsigned char>(s[pos + 1])))
               ? 2
               : 1;
}

// Calls f(std::string_view character) for every character of s, in order.
template <class F>
void ForEachChar(std::string_view s, F&& f) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = CharLength(s, i);
        f(s.substr(i, n));
        i += n;
    }
}

// True when the single-byte character c occurs in s as a character of its own.
bool ContainsAscii(std::string_view s, char c);

// Every single-byte character c of s replaced by `with`; two-byte characters untouched.
std::string ReplaceAscii(std::string_view s, char c, std::string_view with);

// ASCII letters a-z turned to A-Z, byte by byte (used only for checks on ASCII-only sets).
std::string ToUpperAscii(std::string_view s);

}  // namespace qp::sjis
