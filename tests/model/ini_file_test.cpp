#include "model/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "model/error.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using test::S;
using Lines = std::vector<std::string>;

TEST(IniReading, TrimsSkipsCommentsAndSplitsAtTheFirstEquals) {
    const TIniFile ini = TIniFile::FromText(
        "key=outside any section\r\n"
        "  [ Main ]  \r\n"
        "; comment=1\r\n"
        "\r\n"
        "\tName =  a=b=c \t\r\n"
        "no equals sign here\r\n"
        "Empty=\r\n"
        "[Other]\n"
        "Name=lf only\r"
        "Next=lone cr\n");
    EXPECT_EQ(ini.ReadString("Main", "Name", "d"), "a=b=c");
    EXPECT_FALSE(ini.ValueExists("Main", "; comment"));
    EXPECT_FALSE(ini.ValueExists("Main", "no equals sign here"));
    EXPECT_TRUE(ini.ValueExists("Main", "Empty"));
    EXPECT_EQ(ini.ReadString("Main", "Empty", "default"), "");  // present but empty: not the default
    EXPECT_EQ(ini.ReadString("Main", "Missing", "default"), "default");
    EXPECT_EQ(ini.ReadString("Other", "Name", ""), "lf only");
    EXPECT_EQ(ini.ReadString("Other", "Next", ""), "lone cr");
    EXPECT_FALSE(ini.ValueExists("", "key"));
}

TEST(IniReading, NamesMatchWithoutRegardToCaseButTrailBytesKeepTheirValue) {
    TIniFile ini = TIniFile::FromText("[User_Mail]\r\nUseUserMail=1\r\n");
    EXPECT_TRUE(ini.ReadBool("user_mail", "useusermail", false));
    EXPECT_TRUE(ini.ValueExists("USER_MAIL", "USEUSERMAIL"));
    // "ア" is 0x83 0x41 and "ャ" 0x83 0x61: folding the trail byte would merge them.
    ini.WriteString("S", S("ア"), "1");
    ini.WriteString("S", S("ャ"), "2");
    EXPECT_EQ(ini.ReadString("S", S("ア"), ""), "1");
    EXPECT_EQ(ini.ReadString("S", S("ャ"), ""), "2");
}

TEST(IniReading, FirstOccurrenceOfARepeatedKeyWinsAndRepeatedSectionsMerge) {
    const TIniFile ini = TIniFile::FromText("[A]\r\nk=1\r\nK=2\r\n[B]\r\nx=3\r\n[a]\r\nk=4\r\nm=5\r\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
    EXPECT_EQ(ini.ReadString("A", "m", ""), "5");
    EXPECT_EQ(ini.ToText(), "[A]\r\nk=1\r\nm=5\r\n\r\n[B]\r\nx=3\r\n\r\n");
}

TEST(IniReading, LargeSectionsFindEveryKeyWithoutRegardToCase) {
    std::string text = "[Big]\r\n";
    for (int i = 0; i < 40; ++i) text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    text += "KEY3=repeated\r\nkey39=repeated\r\n";
    TIniFile ini = TIniFile::FromText(text);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(ini.ReadInteger("big", "kEY" + std::to_string(i), -1), i);
    }
    EXPECT_FALSE(ini.ValueExists("Big", "Key40"));
    ini.WriteString("BIG", "key5", "five");
    ini.WriteString("Big", "Key40", "new");
    EXPECT_EQ(ini.ReadString("big", "KEY5", ""), "five");
    EXPECT_EQ(ini.ReadString("big", "KEY40", ""), "new");
    const std::string out = ini.ToText();
    EXPECT_NE(out.find("Key5=five\r\n"), std::string::npos);
    EXPECT_EQ(out.find("repeated"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 13), "Key40=new\r\n\r\n");
}

TEST(IniReading, IntegersAndBooleans) {
    const TIniFile ini = TIniFile::FromText(
        "[N]\r\ndec=42\r\nneg=-7\r\nhex=0x10\r\nHEX=0XfF\r\nletters=12ab\r\nempty=\r\nspace=1 2\r\n"
        "big=2147483648\r\nmax=2147483647\r\nmin=-2147483648\r\nbare0x=0x\r\nplus=+3\r\n"
        "yes=5\r\nno=0\r\nword=true\r\n");
    EXPECT_EQ(ini.ReadInteger("N", "dec", -1), 42);
    EXPECT_EQ(ini.ReadInteger("N", "neg", -1), -7);
    EXPECT_EQ(ini.ReadInteger("N", "hex", -1), 16);
    EXPECT_EQ(ini.ReadInteger("N", "letters", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "empty", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "space", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "big", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "max", -1), 2147483647);
    EXPECT_EQ(ini.ReadInteger("N", "min", -1), -2147483648LL);
    EXPECT_EQ(ini.ReadInteger("N", "bare0x", -1), -1);
    EXPECT_EQ(ini.ReadInteger("N", "plus", -1), 3);
    EXPECT_EQ(ini.ReadInteger("N", "missing", 9), 9);
    EXPECT_TRUE(ini.ReadBool("N", "yes", false));
    EXPECT_FALSE(ini.ReadBool("N", "no", true));
    EXPECT_TRUE(ini.ReadBool("N", "word", true));  // not an integer: the default
    EXPECT_FALSE(ini.ReadBool("N", "word", false));
}

TEST(IniWriting, KeepsFirstWrittenOrderAndRewritesInPlace) {
    TIniFile ini = TIniFile::FromText("");
    ini.WriteString("B", "one", "1");
    ini.WriteInteger("A", "two", -2);
    ini.WriteBool("B", "three", true);
    ini.WriteBool("B", "ONE", false);  // same key, new value, old place and spelling
    EXPECT_EQ(ini.ToText(), "[B]\r\none=0\r\nthree=1\r\n\r\n[A]\r\ntwo=-2\r\n\r\n");
    ini.Clear();
    EXPECT_EQ(ini.ToText(), "");
    EXPECT_FALSE(ini.ValueExists("B", "one"));
}

TEST(IniWriting, PlainValuesAreUnescapedButCannotAddLines) {
    TIniFile ini = TIniFile::FromText("");
    ini.WriteString("S", "Subject", "  leading space, \"quotes\" ; and = sign");
    ini.WriteString("S", "Forged", "x\r\n[ITEM]\r\nItemCount=99");
    const TIniFile back = TIniFile::FromText(ini.ToText());
    EXPECT_EQ(back.ReadString("S", "Subject", ""), "leading space, \"quotes\" ; and = sign");
    EXPECT_EQ(back.ReadString("S", "Forged", ""), "x  [ITEM]  ItemCount=99");
    EXPECT_FALSE(back.ValueExists("ITEM", "ItemCount"));
}

TEST(CommaText, EncodesTheDocumentedCases) {
    EXPECT_EQ(EncodeCommaText({}), "");
    EXPECT_EQ(EncodeCommaText({""}), "\"\"");
    EXPECT_EQ(EncodeCommaText({"a, b", "c"}), "\"a, b\",c");
    EXPECT_EQ(EncodeCommaText({"<p class=\"x\">"}), "\"<p class=\"\"x\"\">\"");
    EXPECT_EQ(EncodeCommaText({"a", "", "b", ""}), "a,,b,");
    EXPECT_EQ(EncodeCommaText({"tab\there"}), "\"tab\there\"");
    EXPECT_EQ(EncodeCommaText({S("表示"), S("ソフト")}), S("表示,ソフト"));
}

TEST(CommaText, DecodesQuotesBlanksAndTrailingCommas) {
    EXPECT_EQ(DecodeCommaText(""), Lines{});
    EXPECT_EQ(DecodeCommaText("\"\""), Lines{""});
    EXPECT_EQ(DecodeCommaText("\"a, b\",c"), (Lines{"a, b", "c"}));
    EXPECT_EQ(DecodeCommaText("one two"), (Lines{"one", "two"}));
    EXPECT_EQ(DecodeCommaText("  a ,  b  "), (Lines{"a", "b"}));
    EXPECT_EQ(DecodeCommaText("a,,b"), (Lines{"a", "", "b"}));
    EXPECT_EQ(DecodeCommaText("a,"), (Lines{"a", ""}));
    EXPECT_EQ(DecodeCommaText("a, "), (Lines{"a"}));
    EXPECT_EQ(DecodeCommaText(",a"), (Lines{"", "a"}));
    EXPECT_EQ(DecodeCommaText("\"say \"\"hi\"\"\""), (Lines{"say \"hi\""}));
    EXPECT_EQ(DecodeCommaText("\"ab\"cd,e"), (Lines{"ab", "cd", "e"}));
    EXPECT_EQ(DecodeCommaText("\"unterminated, still"), (Lines{"unterminated, still"}));
    EXPECT_EQ(DecodeCommaText(std::string("a,b\0,c", 6)), (Lines{"a", "b"}));
}

TEST(CommaText, RoundTripsAnyListWithoutNulBytes) {
    const std::vector<Lines> cases = {
        {"a, b", "c"},  {""},         {"", ""},        {" ", "\"", ","},
        {"x", "", "y"}, {S("表ソ\\")}, {"\x81", "b"}, {"\"quoted\"", "end,"},
    };
    for (const Lines& lines : cases) {
        EXPECT_EQ(DecodeCommaText(EncodeCommaText(lines)), lines) << EncodeCommaText(lines);
    }
}

TEST(MultiLineValues, SplitAtAnyBreakAndComeBackWithCrLf) {
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a"), Lines{"a"});
    EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
    EXPECT_EQ(SplitLines("\r\n"), Lines{""});
    EXPECT_EQ(SplitLines("a\nb\rc\r\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\n\nb\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("a\r\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(JoinLinesCrLf({"a", "", "b"}), "a\r\n\r\nb\r\n");
    EXPECT_EQ(JoinLinesCrLf({}), "");

    const std::string value = "first, with comma\nsecond";
    EXPECT_EQ(EncodeCommaText(SplitLines(value)), "\"first, with comma\",second");
    EXPECT_EQ(JoinLinesCrLf(DecodeCommaText(EncodeCommaText(SplitLines(value)))),
              "first, with comma\r\nsecond\r\n");
}

class IniFileOnDisk : public ::testing::Test {
protected:
    test::TempDir dir_;
};

TEST_F(IniFileOnDisk, MissingFileIsEmptyAndWritingCreatesIt) {
    const std::string path = dir_.File("new.qpf");
    TIniFile ini(path);
    EXPECT_EQ(ini.ToText(), "");
    EXPECT_EQ(ini.GetPath(), path);
    ini.WriteString(S("節"), "Key", S("値"));
    ini.UpdateFile();
    EXPECT_EQ(test::ReadFile(path), S("[節]\r\nKey=値\r\n\r\n"));
    EXPECT_EQ(TIniFile(path).ReadString(S("節"), "key", ""), S("値"));
    // Only the target remains in the folder: the temporary file was renamed, not left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.Path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(IniFileOnDisk, RewriteReplacesTheWholeFileAndKeepsItsPermissions) {
    const std::string path = dir_.File("p.qpf");
    test::WriteFile(path, "[Old]\r\nA=1\r\n");
    ::chmod(path.c_str(), 0640);
    TIniFile ini = TIniFile::NewFile(path);
    EXPECT_FALSE(ini.ValueExists("Old", "A"));  // not read
    ini.WriteInteger("New", "B", 2);
    ini.UpdateFile();
    EXPECT_EQ(test::ReadFile(path), "[New]\r\nB=2\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(IniFileOnDisk, WritingThroughASymlinkReplacesItsTarget) {
    const std::string real = dir_.File("real.qpf");
    const std::string link = dir_.File("link.qpf");
    test::WriteFile(real, "[A]\r\nx=1\r\n");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    TIniFile ini = TIniFile::NewFile(link);
    ini.WriteString("A", "x", "2");
    ini.UpdateFile();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::ReadFile(real), "[A]\r\nx=2\r\n\r\n");
}

TEST_F(IniFileOnDisk, FailedWriteRaisesTheSystemErrorAndLeavesTheOldFileWhole) {
    {
        TIniFile ini = TIniFile::NewFile(dir_.File("missing/p.qpf"));
        ini.WriteString("A", "x", "1");
        try {
            ini.UpdateFile();
            FAIL() << "no error";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("missing/p.qpf"), std::string::npos);
        }
    }
    const std::string sub = dir_.File("ro");
    std::filesystem::create_directory(sub);
    const std::string path = sub + "/p.qpf";
    test::WriteFile(path, "[Old]\r\nA=1\r\n");
    // The rename target is a non-empty folder: the write fails even for root.
    const std::string blocked = sub + "/dir.qpf";
    std::filesystem::create_directories(blocked + "/inner");
    TIniFile ini = TIniFile::NewFile(blocked);
    ini.WriteString("A", "x", "1");
    EXPECT_THROW(ini.UpdateFile(), Error);
    EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inner"));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(sub)) ++entries;
    EXPECT_EQ(entries, 2);  // no temporary file left behind
    EXPECT_EQ(test::ReadFile(path), "[Old]\r\nA=1\r\n");
}

TEST_F(IniFileOnDisk, AFolderOrUnreadableFileIsAnErrorNotAnEmptyFile) {
    EXPECT_THROW(TIniFile{dir_.Path()}, Error);
}

}  // namespace
}  // namespace qp
