#pragma once
// The conversion of the whole CGI text from Shift_JIS (CP932) to EUC-JP before it is written.
#include <string>
#include <string_view>

namespace qp {

// Converts text up to its first zero byte (all of it when it holds none) to EUC-JP,
// keeping the NEC and IBM extension characters. Raises Error with the make's own message
// when the converter cannot be opened, no buffer can be had, or a byte sequence cannot be
// converted (then with a second line naming the bytes at fault); nothing partial is returned.
std::string ConvertSjisToEuc(std::string_view text);

}  // namespace qp
