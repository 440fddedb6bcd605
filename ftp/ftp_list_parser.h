#pragma once
// Turns the lines of an FTP LIST reply into entries: Unix "ls -l" style and MS-DOS/IIS style.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/remote_entry.h"

namespace qp {

// Parses one line (without its line end). Lines that carry no entry ("total N", blank lines,
// "." and "..", or text in no known format) give nullopt. `today` resolves dates without a
// year: the year of `today`, or the year before when that date would lie more than a day ahead.
std::optional<TFtpListEntry> ParseFtpListLine(std::string_view line, const TFtpDateTime& today);

// Splits a whole listing at CR LF, CR or LF and parses every line.
std::vector<TFtpListEntry> ParseFtpListing(std::string_view listing, const TFtpDateTime& today);

// The local date and time now, for `today` above.
TFtpDateTime FtpLocalNow();

}  // namespace qp
