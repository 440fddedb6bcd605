// Feeds arbitrary bytes to the INI reader and the comma-text decoder. Besides not crashing,
// the text written from what was read must read back to the same object.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const qp::TIniFile ini = qp::TIniFile::FromText(text);
    const std::string once = ini.ToText();
    if (qp::TIniFile::FromText(once).ToText() != once) std::abort();

    (void)ini.ReadInteger("ITEM", "ItemCount", 0);
    (void)ini.ReadBool("USER_MAIL", "UseUserMail", true);

    // Decoded lines survive an encoding and a decoding (the format stops at a NUL byte).
    const auto lines = qp::DecodeCommaText(text);
    if (qp::DecodeCommaText(qp::EncodeCommaText(lines)) != lines) std::abort();
    const auto split = qp::SplitLines(text);
    if (qp::SplitLines(qp::JoinLinesCrLf(split)) != split) std::abort();
    return 0;
}
