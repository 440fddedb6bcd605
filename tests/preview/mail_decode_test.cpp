#include "preview/mail_decode.h"

#include <gtest/gtest.h>

namespace qp::preview {
namespace {

TEST(MailDecode, EncodedWordsInEveryForm) {
    // Base64 UTF-8, as the runtime writes its subjects.
    EXPECT_EQ(DecodeHeaderValue("=?UTF-8?B?44GK5ZWP44GE5ZCI44KP44Gb?="), "お問い合わせ");
    // Q encoding: "_" is a blank, lower-case charset and encoding letter.
    EXPECT_EQ(DecodeHeaderValue("=?utf-8?q?caf=C3=A9_au_lait?="), "café au lait");
    // ISO-2022-JP, the classic Japanese mail charset.
    EXPECT_EQ(DecodeHeaderValue("=?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?="), "こんにちは");
    // Shift_JIS with a Windows extension character (circled one).
    EXPECT_EQ(DecodeHeaderValue("=?Shift_JIS?B?h0A=?="), "①");
}

TEST(MailDecode, BlanksBetweenAdjacentWordsAreDropped) {
    // A subject folded over two words by the writer: unfolded it reads as one text.
    EXPECT_EQ(DecodeHeaderValue("=?UTF-8?B?44GK5ZWP?=\r\n =?UTF-8?B?44GE5ZCI44KP44Gb?="), "お問い合わせ");
    EXPECT_EQ(DecodeHeaderValue("=?UTF-8?Q?a?= =?UTF-8?Q?b?="), "ab");
    // Plain text keeps its blanks on either side of a word.
    EXPECT_EQ(DecodeHeaderValue("Re: =?UTF-8?Q?x?= done"), "Re: x done");
}

TEST(MailDecode, WhatIsNotAWordStaysAsItIs) {
    EXPECT_EQ(DecodeHeaderValue("=?UTF-8?X?abc?="), "=?UTF-8?X?abc?=");
    EXPECT_EQ(DecodeHeaderValue("=?UTF-8?B?abc"), "=?UTF-8?B?abc");
    EXPECT_EQ(DecodeHeaderValue("a =?UTF-8?Q?with blank?= b"), "a =?UTF-8?Q?with blank?= b");
    EXPECT_EQ(DecodeHeaderValue("price =? 5"), "price =? 5");
    // Raw bytes that are not UTF-8 do not pass through as broken text.
    EXPECT_EQ(DecodeHeaderValue("a\xFF"
                                "b"),
              "a\xEF\xBF\xBD"
              "b");
    // Nor do the old forms past U+10FFFF, which the system's converter lets through.
    EXPECT_EQ(ToUtf8("\xF4\x90\x80\x80", "UTF-8"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(DecodeMail("X-\xFF: 1\n\n").Headers.at(0).first, "X-\xEF\xBF\xBD");
}

TEST(MailDecode, TransferEncodings) {
    EXPECT_EQ(DecodeBase64("5bGx55Sw\r\n5aSq6YOO"), "山田太郎");
    EXPECT_EQ(DecodeBase64("YWI="), "ab");
    EXPECT_EQ(DecodeQuotedPrintable("a=3Db=\r\nc= \nd"), "a=bcd");
    EXPECT_EQ(DecodeQuotedPrintable("50=%"), "50=%");
    EXPECT_EQ(DecodeQuotedPrintable("end="), "end");
}

TEST(MailDecode, WholeMailAsTheRuntimeWritesIt) {
    const std::string raw =
        "From: taro@example.jp\n"
        "To: info@example.com\n"
        "Subject: =?UTF-8?B?W+OBiuWVj+OBhOWQiOOCj+OBm10g44Gd44Gu5LuWIC0g5bGx55Sw?=\n"
        " =?UTF-8?B?IOWkqumDjiDmp5g=?=\n"
        "MIME-Version: 1.0\n"
        "Content-Type: text/plain; charset=UTF-8\n"
        "Content-Transfer-Encoding: base64\n"
        "\n"
        "5bGx55SwIOWkqumDjiDmp5gNCg0KPHNjcmlwdD4NCg==\n";
    const TDecodedMail mail = DecodeMail(raw);
    ASSERT_EQ(mail.Headers.size(), 6u);
    EXPECT_EQ(mail.Headers[0].first, "From");
    EXPECT_EQ(mail.Header("subject"), "[お問い合わせ] その他 - 山田 太郎 様");
    EXPECT_EQ(mail.Body, "山田 太郎 様\n\n<script>\n");
}

TEST(MailDecode, BodyCharsetsAndQuotedPrintable) {
    TDecodedMail mail =
        DecodeMail("Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n\r\n\x1B$B$3$s$K$A$O\x1B(B\r\n");
    EXPECT_EQ(mail.Body, "こんにちは\n");

    mail = DecodeMail(
        "Content-Type: text/plain; format=flowed; charset=euc-jp\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n\r\n=A4=A2=\r\n=A4=A4\r\n");
    EXPECT_EQ(mail.Body, "あい\n");

    // Unknown charset: read as UTF-8, broken bytes replaced, never dropped silently.
    mail = DecodeMail("Content-Type: text/plain; charset=x-unknown\n\nok \xC3\n");
    EXPECT_EQ(mail.Body, "ok \xEF\xBF\xBD\n");
}

TEST(MailDecode, TextWithoutHeaderBlockIsAllBody) {
    const TDecodedMail mail = DecodeMail("just a line\nand another\n");
    EXPECT_TRUE(mail.Headers.empty());
    EXPECT_EQ(mail.Body, "just a line\nand another\n");
}

}  // namespace
}  // namespace qp::preview
