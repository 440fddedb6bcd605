#include <gtest/gtest.h>

#include "model/charset.h"
#include "model/sjis.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using charset::CharsetError;

TEST(Charset, RoundTripsJapaneseAndNecIbmExtensions) {
    const std::string text = "表ソ①Ⅰ㈱髙ｱｲｳ ABC\\~";
    const std::string sjis = charset::Utf8ToSjis(text);
    EXPECT_EQ(sjis.substr(0, 4), std::string("\x95\x5C\x83\x5C", 4));
    EXPECT_EQ(charset::SjisToUtf8(sjis), text);
}

TEST(Charset, UnmappableCharacterIsNamed) {
    try {
        charset::Utf8ToSjis("件名😀です");
        FAIL() << "no error";
    } catch (const CharsetError& e) {
        EXPECT_EQ(e.GetKind(), CharsetError::Kind::Unmappable);
        EXPECT_EQ(e.Offset(), 6u);
        EXPECT_EQ(std::string(e.what()), "「😀」(U+1F600)はShift_JISで表せない文字です。");
    }
}

TEST(Charset, BrokenAndTruncatedShiftJisAreRefused) {
    EXPECT_THROW(charset::SjisToUtf8(std::string("a\x81", 2)), CharsetError);
    EXPECT_THROW(charset::SjisToUtf8(std::string("\x81\x20", 2)), CharsetError);
    EXPECT_THROW(charset::SjisToEucJp(std::string("\xFF", 1)), CharsetError);
    try {
        charset::SjisToUtf8(std::string("ab\x82", 3));
        FAIL() << "no error";
    } catch (const CharsetError& e) {
        EXPECT_EQ(e.GetKind(), CharsetError::Kind::Truncated);
        EXPECT_EQ(e.Offset(), 2u);
    }
}

TEST(Charset, EucJpKeepsExtensionsAndHalfWidthKana) {
    EXPECT_EQ(charset::SjisToEucJp(""), "");
    EXPECT_EQ(charset::SjisToEucJp("plain ASCII"), "plain ASCII");
    EXPECT_EQ(charset::SjisToEucJp(test::S("表")), "\xC9\xBD");
    EXPECT_EQ(charset::SjisToEucJp(test::S("ｱ")), "\x8E\xB1");
    EXPECT_EQ(charset::SjisToEucJp(test::S("①")), "\xAD\xA1");
    EXPECT_EQ(charset::SjisToEucJp(test::S("髙")).size(), 3u);  // JIS X 0212 row, 0x8F lead
}

TEST(Sjis, AsciiSearchStepsOverTrailBytes) {
    const std::string s = test::S("表") + "\\" + test::S("ソ");
    EXPECT_TRUE(sjis::ContainsAscii(s, '\\'));
    EXPECT_FALSE(sjis::ContainsAscii(test::S("表ソ"), '\\'));
    EXPECT_EQ(sjis::ReplaceAscii(s, '\\', "/"), test::S("表") + "/" + test::S("ソ"));
}

}  // namespace
}  // namespace qp
