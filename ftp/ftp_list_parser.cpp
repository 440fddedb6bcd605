#include "ftp/ftp_list_parser.h"

#include <array>
#include <charconv>
#include <ctime>

namespace qp {
namespace {

struct Token {
    std::string_view text;
    std::size_t end;  // offset just past the token in the line
};

// The first `max` blank-separated tokens of a line with where each ends.
std::vector<Token> Tokenize(std::string_view line, std::size_t max) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (tokens.size() < max) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) break;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        tokens.push_back({line.substr(start, i - start), i});
    }
    return tokens;
}

bool IsDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

template <typename T>
bool ToNumber(std::string_view s, T& out) {
    if (!IsDigits(s)) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size();
}

int MonthFromName(std::string_view s) {
    static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
    if (s.size() != 3) return 0;
    for (std::size_t m = 0; m < kMonths.size(); ++m) {
        bool same = true;
        for (std::size_t k = 0; k < 3; ++k) {
            char c = s[k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != kMonths[m][k]) same = false;
        }
        if (same) return static_cast<int>(m) + 1;
    }
    return 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

long long Minutes(const TFtpDateTime& t) {
    return DaysFromCivil(t.Year, t.Month, t.Day) * 1440 + t.Hour * 60 + t.Minute;
}

bool ParseClock(std::string_view s, int& hour, int& minute) {
    std::size_t colon = s.find(':');
    if (colon == std::string_view::npos) return false;
    return ToNumber(s.substr(0, colon), hour) && ToNumber(s.substr(colon + 1), minute) && hour < 24 &&
           minute < 60 && colon + 3 == s.size();
}

bool IsPermissionField(std::string_view s) {
    if (s.size() < 10) return false;
    static constexpr std::string_view kTypes = "-dlcbps";
    if (kTypes.find(s[0]) == std::string_view::npos) return false;
    for (std::size_t i = 1; i < 10; ++i) {
        if (std::string_view("rwxsStTl-").find(s[i]) == std::string_view::npos) return false;
    }
    return true;
}

int ModeOf(std::string_view p) {
    int mode = 0;
    for (int who = 0; who < 3; ++who) {
        std::string_view t = p.substr(static_cast<std::size_t>(who) * 3, 3);
        int shift = (2 - who) * 3;
        if (t[0] == 'r') mode |= 4 << shift;
        if (t[1] == 'w') mode |= 2 << shift;
        char x = t[2];
        if (x == 'x' || x == 's' || x == 't') mode |= 1 << shift;
        if (who < 2 && (x == 's' || x == 'S')) mode |= who == 0 ? 04000 : 02000;
        if (who == 2 && (x == 't' || x == 'T')) mode |= 01000;
    }
    return mode;
}

std::optional<TFtpListEntry> ParseUnix(std::string_view line, const TFtpDateTime& today) {
    std::vector<Token> tok = Tokenize(line, 12);
    if (tok.size() < 7 || !IsPermissionField(tok[0].text)) return std::nullopt;
    // Find "Mon DD HH:MM|YYYY" preceded by a size; the owner/group columns vary between servers.
    for (std::size_t m = 3; m + 3 < tok.size() + 1 && m + 2 < tok.size(); ++m) {
        int month = MonthFromName(tok[m].text);
        int day = 0;
        if (month == 0 || !ToNumber(tok[m + 1].text, day) || day < 1 || day > 31) continue;
        TFtpDateTime when;
        when.Month = month;
        when.Day = day;
        std::string_view third = tok[m + 2].text;
        if (ParseClock(third, when.Hour, when.Minute)) {
            when.HasTime = true;
            when.Year = today.Year;
            if (Minutes(when) - Minutes(today) > 1440) when.Year -= 1;
        } else if (third.size() == 4 && ToNumber(third, when.Year)) {
            when.HasTime = false;
        } else {
            continue;
        }
        TFtpListEntry e;
        std::size_t sizeIdx = m - 1;
        std::int64_t size = -1;
        if (!ToNumber(tok[sizeIdx].text, size)) {
            if (tok[sizeIdx].text.find(',') == std::string_view::npos) continue;  // "1,3"
            size = -1;
        } else if (sizeIdx >= 1 && !tok[sizeIdx - 1].text.empty() && tok[sizeIdx - 1].text.back() == ',') {
            size = -1;  // "major, minor" of a device
            --sizeIdx;
        }
        std::size_t nameStart = tok[m + 2].end + 1;
        if (nameStart >= line.size()) return std::nullopt;
        std::string_view name = line.substr(nameStart);

        std::string_view perms = tok[0].text;
        switch (perms[0]) {
            case '-':
                e.Kind = TFtpEntryKind::File;
                break;
            case 'd':
                e.Kind = TFtpEntryKind::Folder;
                break;
            case 'l':
                e.Kind = TFtpEntryKind::SymbolicLink;
                break;
            default:
                e.Kind = TFtpEntryKind::Other;
                break;
        }
        if (e.Kind == TFtpEntryKind::SymbolicLink) {
            std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos) {
                e.LinkTarget = std::string(name.substr(arrow + 4));
                name = name.substr(0, arrow);
            }
        }
        if (name.empty() || name == "." || name == "..") return std::nullopt;
        e.Name = std::string(name);
        e.Size = e.Kind == TFtpEntryKind::Other ? -1 : size;
        e.Modified = when;
        e.OwnerPermissions = std::string(perms.substr(1, 3));
        e.GroupPermissions = std::string(perms.substr(4, 3));
        e.OtherPermissions = std::string(perms.substr(7, 3));
        e.Mode = ModeOf(perms.substr(1, 9));
        if (sizeIdx >= 3) e.Owner = std::string(tok[2].text);
        if (sizeIdx >= 4) e.Group = std::string(tok[3].text);
        return e;
    }
    return std::nullopt;
}

// A size as IIS writes it: plain digits, or groups of three after a thousands separator
// ("9,730", "1.234.567" where the server's locale uses full stops).
bool ParseGroupedSize(std::string_view s, std::int64_t& out) {
    if (ToNumber(s, out)) return true;
    const std::size_t first = s.find_first_of(",.");
    if (first == 0 || first == std::string_view::npos || first > 3) return false;
    const char separator = s[first];
    std::string digits(s.substr(0, first));
    for (std::size_t i = first; i < s.size(); i += 4) {
        if (s[i] != separator || i + 4 > s.size()) return false;
        std::string_view group = s.substr(i + 1, 3);
        if (!IsDigits(group)) return false;
        digits.append(group);
    }
    return ToNumber(std::string_view(digits), out);
}

// The date of a DOS-style line: MM-DD-YY, MM-DD-YYYY or YYYY-MM-DD.
bool ParseDosDate(std::string_view date, TFtpDateTime& when) {
    if (date.size() == 10 && date[4] == '-' && date[7] == '-') {
        if (!ToNumber(date.substr(0, 4), when.Year) || !ToNumber(date.substr(5, 2), when.Month) ||
            !ToNumber(date.substr(8, 2), when.Day))
            return false;
    } else if ((date.size() == 8 || date.size() == 10) && date[2] == '-' && date[5] == '-') {
        if (!ToNumber(date.substr(0, 2), when.Month) || !ToNumber(date.substr(3, 2), when.Day) ||
            !ToNumber(date.substr(6), when.Year))
            return false;
        if (date.size() == 8) when.Year += when.Year < 70 ? 2000 : 1900;
    } else {
        return false;
    }
    return when.Month >= 1 && when.Month <= 12 && when.Day >= 1 && when.Day <= 31;
}

// "01-16-02  11:14AM       <DIR>          epsgroup" / "06-05-03  03:19PM   1973 readme.txt"
// / "2002-09-02  19:06                9,730 file"
std::optional<TFtpListEntry> ParseDos(std::string_view line) {
    std::vector<Token> tok = Tokenize(line, 3);
    if (tok.size() < 3) return std::nullopt;
    TFtpDateTime when;
    if (!ParseDosDate(tok[0].text, when)) return std::nullopt;

    std::string_view clock = tok[1].text;
    int pm = -1;
    if (clock.size() > 2) {
        std::string_view suffix = clock.substr(clock.size() - 2);
        if (suffix == "AM" || suffix == "am") pm = 0;
        if (suffix == "PM" || suffix == "pm") pm = 1;
        if (pm >= 0) clock = clock.substr(0, clock.size() - 2);
    }
    if (!ParseClock(clock, when.Hour, when.Minute)) return std::nullopt;
    if (pm >= 0) {
        if (when.Hour < 1 || when.Hour > 12) return std::nullopt;
        when.Hour = when.Hour % 12 + (pm == 1 ? 12 : 0);
    }
    when.HasTime = true;

    TFtpListEntry e;
    std::string_view third = tok[2].text;
    if (third == "<DIR>") {
        e.Kind = TFtpEntryKind::Folder;
    } else if (!ParseGroupedSize(third, e.Size)) {
        return std::nullopt;
    }
    std::size_t i = tok[2].end;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::string_view name = line.substr(i);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    e.Name = std::string(name);
    e.Modified = when;
    return e;
}

}  // namespace

std::optional<TFtpListEntry> ParseFtpListLine(std::string_view line, const TFtpDateTime& today) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.empty()) return std::nullopt;
    if (auto e = ParseUnix(line, today)) return e;
    return ParseDos(line);
}

std::vector<TFtpListEntry> ParseFtpListing(std::string_view listing, const TFtpDateTime& today) {
    std::vector<TFtpListEntry> out;
    std::size_t start = 0;
    while (start < listing.size()) {
        std::size_t end = listing.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = listing.size();
        if (auto e = ParseFtpListLine(listing.substr(start, end - start), today))
            out.push_back(std::move(*e));
        start = end;
        if (start < listing.size() && listing[start] == '\r') ++start;
        if (start < listing.size() && listing[start] == '\n') ++start;
    }
    return out;
}

TFtpDateTime FtpLocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    TFtpDateTime t;
    t.Year = tm.tm_year + 1900;
    t.Month = tm.tm_mon + 1;
    t.Day = tm.tm_mday;
    t.Hour = tm.tm_hour;
    t.Minute = tm.tm_min;
    t.HasTime = true;
    return t;
}

}  // namespace qp
