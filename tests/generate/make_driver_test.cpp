// The local make: checks first, the EUC-JP script with CR LF, and nothing written on failure.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fixtures.h"
#include "generate/cgi_writer.h"
#include "generate/make_driver.h"
#include "generate/text_file.h"
#include "model/charset.h"
#include "model/error.h"
#include "support/guard_secret_mask.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

TEST(MakeLocal, WritesTheConvertedScript) {
    TempDir dir;
    const std::string path = dir.File("form.cgi");
    WriteFile(path, "an earlier script\n");
    const auto p = MakeFullProject();
    MakeLocalCgi(*p, path);
    const std::string written = ReadFile(path);
    // The default finish page's LF line ends become CR LF like every other line end.
    EXPECT_TRUE(MaskGuardSecret(written) ==
                MaskGuardSecret(ToCrLfLines(charset::SjisToEucJp(MakeCgiScript(*p, kTestGuardSecret)))));
    EXPECT_NE(written.find("\r\n" + charset::SjisToEucJp(S("<h1>完了画面</h1>")) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(written.rfind("#!/usr/bin/perl --\r\nBEGIN {", 0), 0u);
}

TEST(MakeLocal, Utf8ProjectWritesAUtf8ScriptThatSaysSo) {
    auto p = MakeFullProject();
    p->SetCharset(TCgiCharset::Utf8);
    const std::string text = MakeCgiText(*p, kTestGuardSecret);
    EXPECT_EQ(text, ToCrLfLines(charset::SjisToUtf8(MakeCgiScript(*p, kTestGuardSecret))));
    EXPECT_NE(text.find("\r\n<h1>完了画面</h1>\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nmy $qpf = Quillpost->new(ITEMS => $items, HTML => $html, MAIL => $mail, "
                        "CHARSET => 'UTF-8', GUARD => $guard);\r\nprint $qpf->run();\r\n"),
              std::string::npos);
    // NEC and IBM extension characters and half-width kana keep their own code points.
    p->SetFormHtml(S("①髙ｱ"));
    EXPECT_NE(MakeCgiText(*p).find("①髙ｱ\r\n__END__"), std::string::npos);
}

TEST(MakeLocal, LoneLineBreaksInTextsBecomeCrLf) {
    auto p = MakeRedirectProject();
    p->SetFormHtml("a\nb\rc");
    const std::string text = MakeCgiText(*p);
    EXPECT_NE(text.find("a\r\nb\r\nc\r\n__END__\r\n"), std::string::npos);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << i;
        }
        if (text[i] == '\r') {
            ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << i;
        }
    }
}

TEST(MakeLocal, FailedCheckWritesNothing) {
    TempDir dir;
    const std::string path = dir.File("form.cgi");
    WriteFile(path, "keep");
    auto p = MakeFullProject();
    p->SetManagerMailTo("");
    try {
        MakeLocalCgi(*p, path);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.Message(), "メールのToが設定されていません。");
    }
    EXPECT_EQ(ReadFile(path), "keep");
}

TEST(MakeLocal, UnconvertibleTextWritesNothing) {
    TempDir dir;
    const std::string path = dir.File("form.cgi");
    WriteFile(path, "keep");
    auto p = MakeFullProject();
    // A byte of no character (0x85 0x40 is an unassigned row) is named in either code.
    p->SetFormHtml(S("<p>表") + "\x85\x40</p>");
    const std::string named = "Shift_JISとして変換できないバイト列があります(0x85 0x40, ";
    for (const TCgiCharset code : {TCgiCharset::EucJp, TCgiCharset::Utf8}) {
        p->SetCharset(code);
        try {
            MakeLocalCgi(*p, path);
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            const std::string head = code == TCgiCharset::EucJp ? "IEコンポーネントによる変換に失敗しました。\n" : "";
            EXPECT_EQ(e.Message().rfind(head + named, 0), 0u) << e.Message();
        }
        EXPECT_EQ(ReadFile(path), "keep");
    }
    // A zero byte would cut the script short: refused as well.
    p->SetFormHtml(std::string("<p>a\0b</p>", 10));
    EXPECT_THROW(MakeLocalCgi(*p, path), Error);
    EXPECT_EQ(ReadFile(path), "keep");
}

TEST(MakeLocal, UnwritablePathRaisesFileError) {
    TempDir dir;
    EXPECT_THROW(MakeLocalCgi(*MakeFullProject(), dir.File("no/such/form.cgi")), FileError);
}

TEST(MakeTemp, ScriptInANewTemporaryFile) {
    TempDir dir;
    ScopedEnv env("TMPDIR", dir.Path().c_str());
    const auto p = MakeFullProject();
    const std::string a = MakeCgiTempFile(*p);
    const std::string b = MakeCgiTempFile(*p);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(dir.Path() + "/", 0), 0u);
    EXPECT_EQ(MaskGuardSecret(ReadFile(a)), MaskGuardSecret(MakeCgiText(*p)));
    // Each make has a key of its own, from the system's random source.
    EXPECT_NE(ReadFile(a), ReadFile(b));
}

}  // namespace
}  // namespace qp::test
