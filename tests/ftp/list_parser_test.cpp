#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ftp/ftp_list_parser.h"

namespace qp {
namespace {

const TFtpDateTime kToday{2026, 12, 8, 17, 40, true};

std::vector<std::string> SplitBar(const std::string& line) {
    std::vector<std::string> out;
    std::string field;
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"' && (i == 0 || line[i - 1] != '\\')) inString = !inString;
        if (c == '|' && !inString) {
            out.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    out.push_back(field);
    return out;
}

std::string JsonString(const std::string& s) {
    std::string out;
    for (std::size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] == '\\' && i + 2 < s.size()) {
            ++i;
            out += s[i] == 't' ? '\t' : s[i];
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string DateText(const TFtpDateTime& t) {
    char buf[32];
    if (t.HasTime)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute);
    else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.Year, t.Month, t.Day);
    return buf;
}

const char* KindText(TFtpEntryKind k) {
    switch (k) {
        case TFtpEntryKind::File:
            return "file";
        case TFtpEntryKind::Folder:
            return "folder";
        case TFtpEntryKind::SymbolicLink:
            return "symlink";
        case TFtpEntryKind::Other:
            return "other";
    }
    return "?";
}

TEST(FtpListParser, CapturedVectors) {
    std::ifstream in(std::string(QP_SOURCE_DIR) + "/tests/ftp/data/list_vectors.txt");
    ASSERT_TRUE(in) << "vectors file missing";
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        auto f = SplitBar(line);
        ASSERT_EQ(f.size(), 10u) << line;
        SCOPED_TRACE(f[0]);
        auto entry = ParseFtpListLine(JsonString(f[2]), kToday);
        ++checked;
        if (f[3] == "skip") {
            EXPECT_FALSE(entry.has_value());
            continue;
        }
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(KindText(entry->Kind), f[3]);
        EXPECT_EQ(entry->Name, f[4]);
        EXPECT_EQ(entry->Size, f[5] == "-" ? -1 : std::stoll(f[5]));
        ASSERT_TRUE(entry->Modified.has_value());
        EXPECT_EQ(DateText(*entry->Modified), f[6]);
        if (f[7] == "-") {
            EXPECT_EQ(entry->Permissions(), "");
            EXPECT_EQ(entry->Mode, -1);
        } else {
            EXPECT_EQ(entry->Permissions(), f[7].substr(0, 9));
            EXPECT_EQ(entry->Mode, std::stoi(f[7].substr(11, 4), nullptr, 8));
        }
        EXPECT_EQ(entry->Owner, f[8] == "-" ? "" : f[8]);
        EXPECT_EQ(entry->LinkTarget, f[9] == "-" ? "" : f[9]);
    }
    EXPECT_GE(checked, 20);
}

TEST(FtpListParser, YearOfDatesWithoutYear) {
    // A date more than a day ahead of today belongs to the year before; tomorrow does not.
    auto e = ParseFtpListLine("-rw-r--r-- 1 a b 1 Dec 10 10:00 x", kToday);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Modified->Year, 2025);
    e = ParseFtpListLine("-rw-r--r-- 1 a b 1 Dec 09 10:00 x", kToday);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Modified->Year, 2026);
    // In January, a December date is last year's.
    e = ParseFtpListLine("-rw-r--r-- 1 a b 1 Dec 31 23:00 x", TFtpDateTime{2027, 1, 2, 8, 0, true});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Modified->Year, 2026);
}

TEST(FtpListParser, OwnerWithoutGroupAndBlockDevice) {
    auto e = ParseFtpListLine("-rw-r--r-- 1 owner 1234 Jan  5  2020 report 2020.txt", kToday);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Owner, "owner");
    EXPECT_EQ(e->Group, "");
    EXPECT_EQ(e->Size, 1234);
    EXPECT_EQ(e->Name, "report 2020.txt");
    e = ParseFtpListLine("brw-rw---- 1 root disk 8, 0 Dec  8 09:00 sda", kToday);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Kind, TFtpEntryKind::Other);
    EXPECT_EQ(e->Size, -1);
    EXPECT_EQ(e->Group, "disk");
}

TEST(FtpListParser, DosListing) {
    auto list = ParseFtpListing(
        "12-31-99  12:05AM       <DIR>          old dir\r\n"
        "01-01-2024  12:30PM              42 noon file.txt\r\n"
        "\r\n",
        kToday);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, "old dir");
    EXPECT_EQ(list[0].Kind, TFtpEntryKind::Folder);
    EXPECT_EQ(DateText(*list[0].Modified), "1999-12-31 00:05");
    EXPECT_EQ(list[1].Name, "noon file.txt");
    EXPECT_EQ(list[1].Size, 42);
    EXPECT_EQ(DateText(*list[1].Modified), "2024-01-01 12:30");
}

TEST(FtpListParser, ListingSplitsEveryLineEndAndSkipsNoise) {
    auto list = ParseFtpListing(
        "total 8\n"
        "drwxr-xr-x 2 u g 4096 Dec  8 10:00 .\r"
        "drwxr-xr-x 2 u g 4096 Dec  8 10:00 ..\r\n"
        "garbage line that is no entry\n"
        "-rw-r--r-- 1 u g 10 Dec  8 10:00 a\n"
        "-rw-r--r-- 1 u g 11 Dec  8 10:00 b",
        kToday);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Name, "a");
    EXPECT_EQ(list[1].Name, "b");
    EXPECT_EQ(list[1].Size, 11);
}

TEST(FtpListParser, BrokenLinesNeverCrash) {
    const char* lines[] = {"-rw-r--r--",
                           "-rw-r--r-- 1 u g 1 Dec 8 10:00",
                           "-rw-r--r-- 1 u g x Dec 8 10:00 n",
                           "99-99-99  10:00AM 1 x",
                           "01-01-01  13:00PM 1 x",
                           "-rw-r--r-- 1 u g 1 Dec 32 10:00 n",
                           "-rw-r--r-- 1 u g 99999999999999999999 Dec 8 10:00 n"};
    for (const char* l : lines) EXPECT_FALSE(ParseFtpListLine(l, kToday).has_value()) << l;
    // Separators that do not mark thousands, and impossible dates of year-first listings.
    const char* dos[] = {"9,73", ",730", "9,7300", "1234,567", "1,234.567", "9,730,", "9,,730"};
    for (const char* size : dos) {
        const std::string line = std::string("2002-09-02  19:06  ") + size + " x";
        EXPECT_FALSE(ParseFtpListLine(line, kToday).has_value()) << line;
    }
    EXPECT_FALSE(ParseFtpListLine("2002-13-02  19:06  1 x", kToday).has_value());
    EXPECT_FALSE(ParseFtpListLine("2002-09-02  25:06  1 x", kToday).has_value());
}

}  // namespace
}  // namespace qp
