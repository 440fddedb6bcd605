// The Shift_JIS to EUC-JP conversion of the whole script.
#include <gtest/gtest.h>

#include <string>

#include "generate/euc_convert.h"
#include "model/error.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

using namespace std::string_literals;

std::string ErrorOf(std::string_view text) {
    try {
        ConvertSjisToEuc(text);
    } catch (const Error& e) {
        return e.Message();
    }
    return "<no error>";
}

TEST(EucConvert, AsciiIsUnchanged) {
    std::string ascii;
    for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
    EXPECT_EQ(ConvertSjisToEuc(ascii), ascii);
    EXPECT_EQ(ConvertSjisToEuc("\\ ~ @ $"), "\\ ~ @ $");
}

TEST(EucConvert, EmptyTextGivesEmptyResult) {
    EXPECT_EQ(ConvertSjisToEuc(""), "");
}

TEST(EucConvert, DoubleByteCharactersWithBackslashSecondByte) {
    EXPECT_EQ(ConvertSjisToEuc("\x95\x5C"), "\xC9\xBD");  // 表
    EXPECT_EQ(ConvertSjisToEuc("\x83\x5C"), "\xA5\xBD");  // ソ
    EXPECT_EQ(ConvertSjisToEuc(S("表示\\ソフト")), "\xC9\xBD\xBC\xA8\\\xA5\xBD\xA5\xD5\xA5\xC8");
    EXPECT_EQ(ConvertSjisToEuc(S("　")), "\xA1\xA1");  // full-width space, second byte 0x40
}

TEST(EucConvert, HalfWidthKatakanaTakeTwoBytes) {
    EXPECT_EQ(ConvertSjisToEuc("\xB1\xDD\xB9\xB0\xC4"), "\x8E\xB1\x8E\xDD\x8E\xB9\x8E\xB0\x8E\xC4");  // ｱﾝｹｰﾄ
}

TEST(EucConvert, ExtensionCharactersAreKept) {
    EXPECT_EQ(ConvertSjisToEuc("\x87\x40"), "\xAD\xA1");      // ① (NEC row 13)
    EXPECT_EQ(ConvertSjisToEuc("\xFB\xFC"), "\x8F\xF4\xFB");  // 髙 (IBM extension)
    EXPECT_EQ(ConvertSjisToEuc(S("㈱Ⅰ")), "\xAD\xEA\xAD\xB5");
}

TEST(EucConvert, StopsAtZeroByte) {
    EXPECT_EQ(ConvertSjisToEuc("abc\0def"s), "abc");
    EXPECT_EQ(ConvertSjisToEuc("\0abc"s), "");
    // A broken sequence after the zero byte is never looked at.
    EXPECT_EQ(ConvertSjisToEuc("ok\0\x81"s), "ok");
}

TEST(EucConvert, BrokenSequencesAreRefusedNamingTheBytes) {
    const std::string message = "IEコンポーネントによる変換に失敗しました。\n";
    EXPECT_EQ(ErrorOf("abc\x81"), message + "Shift_JISの文字が途中で切れています(0x81, 4バイト目)。");
    EXPECT_EQ(ErrorOf("\x81\x20xyz"), message + "Shift_JISとして変換できないバイト列があります(0x81 0x20, 1バイト目)。");
    EXPECT_EQ(ErrorOf("a\xA0"), message + "Shift_JISとして変換できないバイト列があります(0xA0, 2バイト目)。");
    EXPECT_EQ(ErrorOf("\x85\x40"), message + "Shift_JISとして変換できないバイト列があります(0x85 0x40, 1バイト目)。");
    EXPECT_EQ(ErrorOf(S("表") + "\x82"), message + "Shift_JISの文字が途中で切れています(0x82, 3バイト目)。");
}

}  // namespace
}  // namespace qp::test
