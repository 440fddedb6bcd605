#pragma once
// Conversions between the project's Shift_JIS (CP932) texts and UTF-8 (screen, terminal)
// or EUC-JP-MS (the CGI), on glibc iconv. Every failure raises CharsetError naming the
// character or bytes at fault; nothing partial is returned.
#include <cstddef>
#include <string>
#include <string_view>

#include "model/error.h"

namespace qp::charset {

class CharsetError : public Error {
public:
    enum class Kind { OpenFailed, Unmappable, BrokenSequence, Truncated };
    CharsetError(Kind kind, std::size_t offset, std::string message)
        : Error(message), kind_(kind), offset_(offset) {}
    Kind GetKind() const { return kind_; }
    // Byte offset in the input of the character at fault.
    std::size_t Offset() const { return offset_; }

private:
    Kind kind_;
    std::size_t offset_;
};

std::string SjisToUtf8(std::string_view sjis);
std::string Utf8ToSjis(std::string_view utf8);
std::string SjisToEucJp(std::string_view sjis);

// The UTF-8 character that starts at offset (one byte when it is not valid UTF-8).
std::string_view Utf8CharAt(std::string_view utf8, std::size_t offset);

}  // namespace qp::charset
