// The item entries of the generated script, read back by perl itself: whatever a user types,
// the value that Perl reads must equal the stored text.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "model/charset.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "model/perl_quote.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using test::S;

TEST(PerlQuote, HeredocCases) {
    EXPECT_EQ(QuotePerlHeredoc(""), "");
    EXPECT_EQ(QuotePerlHeredoc("plain text, 100% \"ok\"\r\n'x'"), "plain text, 100% \"ok\"\r\n'x'");
    EXPECT_EQ(QuotePerlHeredoc("\\@"), "\\\\\\@");
    EXPECT_EQ(QuotePerlHeredoc("to user@example.com for $5"), "to user\\@example.com for \\$5");
    EXPECT_EQ(QuotePerlHeredoc(S("　表ソ")), S("　表ソ"));
    EXPECT_EQ(QuotePerlHeredoc("a\r\nb\nc\rd\r\n"), "a\r\nb\nc\rd\r\n");
    EXPECT_EQ(QuotePerlHeredoc("__END__"), "\\__END__");
    EXPECT_EQ(QuotePerlHeredoc("a\r\n__END__\r\nb"), "a\r\n\\__END__\r\nb");
    EXPECT_EQ(QuotePerlHeredoc(" __END__\n__END__ \n__end__"), " __END__\n__END__ \n__end__");
    // A lead byte before a character that cannot be a second byte does not hide it.
    EXPECT_EQ(QuotePerlHeredoc("\x81$"), "\x81\\$");
}

TEST(PerlQuote, SingleQuotedCases) {
    EXPECT_EQ(QuotePerlSingle("O'Reilly"), "O\\'Reilly");
    EXPECT_EQ(QuotePerlSingle("a\\b\\"), "a\\\\b\\\\");
    EXPECT_EQ(QuotePerlSingle(S("表ソ'")), S("表ソ\\'"));
    EXPECT_EQ(QuotePerlSingle("$x @y"), "$x @y");
    EXPECT_EQ(QuotePerlSingle("\x81'"), "\x81\\'");
}

// Runs perl on the entries and returns "KEY=hex" lines, one per scalar value, in item order;
// the texts of a list as "KEY0", "KEY1", ...
std::string RunPerl(const std::vector<std::string>& entries, const std::string& folder) {
    std::string script = "use strict;\nuse warnings;\nmy $items = [\n";
    for (const std::string& e : entries) script += e + "\n";
    script +=
        "];\n"
        "binmode STDOUT;\n"
        "for my $it (@$items) {\n"
        "  for my $k (sort keys %$it) {\n"
        "    if (ref $it->{$k} eq 'ARRAY') {\n"
        "      my $i = 0;\n"
        "      print $k, $i++, '=', unpack('H*', $_), \"\\n\" for grep { !ref } @{$it->{$k}};\n"
        "      next;\n"
        "    }\n"
        "    next if ref $it->{$k};\n"
        "    print $k, '=', unpack('H*', $it->{$k}), \"\\n\";\n"
        "  }\n"
        "  print \"--\\n\";\n"
        "}\n";
    const std::string path = folder + "/entries.pl";
    test::WriteFile(path, charset::SjisToEucJp(script));
    const std::string command = "perl " + path + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "(popen failed)";
    std::string out;
    char buf[4096];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "(perl failed)\n" + out;
    return out;
}

std::string Hex(const std::string& sjis) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : charset::SjisToEucJp(sjis)) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// What Perl must read: single-quoted texts as stored, here-documents as stored plus the
// line break that ends their last line.
std::string Expect(const std::vector<std::pair<std::string, std::string>>& single,
                   const std::vector<std::pair<std::string, std::string>>& heredoc) {
    std::vector<std::pair<std::string, std::string>> all;
    for (const auto& [k, v] : single) all.emplace_back(k, Hex(v));
    for (const auto& [k, v] : heredoc) all.emplace_back(k, Hex(v + "\n"));
    std::sort(all.begin(), all.end());
    std::string out;
    for (const auto& [k, v] : all) out += k + "=" + v + "\n";
    return out + "--\n";
}

TEST(PerlEntries, PerlReadsEveryHostileTextAsStored) {
    if (std::system("perl -e 1 >/dev/null 2>&1") != 0) GTEST_SKIP() << "perl is not installed";
    test::TempDir dir;
    const std::vector<std::string> hostile = {
        "O'Reilly",
        "back\\slash \\ and trailing \\",
        "'; system('echo pwned'); '",
        "\\'",
        "$100 and user@example.com, @ARGV ${\\ `id`} $% $",
        "^[a-zA-Z]*$",
        "^\\d{3}-\\d{4}$",
        "__END__",
        "first\n__END__\nlast",
        "\\__END__",
        S("表示ソフト　表\\ソ@$"),
        S("能力 ソース 予定 十"),  // more characters whose second byte is 0x5C
        "",
    };

    std::vector<std::string> entries;
    std::string expected;
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        const std::string& h = hostile[i];
        auto text = std::make_unique<TProjectItemText>("f" + std::to_string(i));
        if (h.find('"') == std::string::npos) text->SetNameValue(h);
        text->SetRequired(true);
        text->SetRequiredError(h.empty() ? "x" : h);
        text->SetSizeConstraint(10);
        text->SetSizeConstraintError(h.empty() ? "y" : h);
        text->SetConstraintType(5);
        text->SetConstraintRegexp(h);
        text->SetConstraintError(h.empty() ? "z" : h);
        text->SetRetypeItemNameAttr(h.empty() ? "w" : h);
        text->SetRetypeError(h);
        text->WritePerl(entries);
        expected += Expect({{"ATTR", "f" + std::to_string(i)},
                            {"NAME", text->GetNameValue()},
                            {"TYPE", "TEXT"},
                            {"REQUIRED", "1"},
                            {"SIZE_CONSTRAINT", "10"},
                            {"RETYPE_ATTR", text->GetRetypeItemNameAttr()}},
                           {{"REQUIRED_ERROR", text->GetRequiredError()},
                            {"SIZE_CONSTRAINT_ERROR", text->GetSizeConstraintError()},
                            {"CONSTRAINT_REGEXP", h},
                            {"CONSTRAINT_REGEXP_ERROR", text->GetConstraintError()},
                            {"RETYPE_ERROR", h}});

        TProjectItemTextarea area("a" + std::to_string(i));
        area.SetNameValue(text->GetNameValue());
        area.SetSizeConstraintError(h.empty() ? "y" : h);
        area.WritePerl(entries);
        expected += Expect({{"ATTR", area.GetNameAttr()},
                            {"NAME", area.GetNameValue()},
                            {"TYPE", "TEXTAREA"},
                            {"REQUIRED", "0"},
                            {"SIZE_CONSTRAINT", "0"}},
                           {{"SIZE_CONSTRAINT_ERROR", area.GetSizeConstraintError()}});
    }
    EXPECT_EQ(RunPerl(entries, dir.Path()), expected);
}

TEST(PerlEntries, FixedConstraintPatternsReachPerlIntactAndMatchAsIntended) {
    if (std::system("perl -e 1 >/dev/null 2>&1") != 0) GTEST_SKIP() << "perl is not installed";
    test::TempDir dir;
    std::vector<std::string> entries;
    std::string expected;
    for (int kind = 1; kind <= 4; ++kind) {
        TProjectItemText item("k" + std::to_string(kind));
        item.SetNameValue("K");
        item.SetConstraintType(static_cast<std::uint8_t>(kind));
        item.SetConstraintError("bad");
        item.WritePerl(entries);
        expected += Expect({{"ATTR", item.GetNameAttr()},
                            {"NAME", "K"},
                            {"TYPE", "TEXT"},
                            {"REQUIRED", "0"},
                            {"SIZE_CONSTRAINT", "0"}},
                           {{"CONSTRAINT_REGEXP", item.ConstraintPattern()}, {"CONSTRAINT_REGEXP_ERROR", "bad"}});
    }
    EXPECT_EQ(RunPerl(entries, dir.Path()), expected);

    // The patterns as Perl sees them accept and refuse what their kinds promise.
    std::string script = "my $items = [\n";
    for (const std::string& e : entries) script += e + "\n";
    script +=
        "];\n"
        "my @t = (['', 1,1,1], ['0123', 1,0,1], ['abcXYZ', 0,1,1], ['a1', 0,0,1], ['a-1', 0,0,0], ['1 ', 0,0,0]);\n"
        "for my $t (@t) { for my $k (0..2) { my $re = $items->[$k]{CONSTRAINT_REGEXP}; chomp $re;\n"
        "  my $m = ($t->[0] =~ /$re/) ? 1 : 0; die \"kind $k on '$t->[0]'\\n\" if $m != $t->[$k+1]; } }\n"
        "my $mail = $items->[3]{CONSTRAINT_REGEXP}; chomp $mail;\n"
        "die \"mail\\n\" unless 'user.name+tag@example.co.jp' =~ /$mail/;\n"
        "die \"no at\\n\" if 'no-at-sign' =~ /$mail/;\n"
        "print \"ok\\n\";\n";
    test::WriteFile(dir.File("match.pl"), script);
    FILE* pipe = ::popen(("perl " + dir.File("match.pl") + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buf[256] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, pipe);
    ::pclose(pipe);
    EXPECT_EQ(std::string(buf, n), "ok\n");
}

TEST(PerlEntries, CheckboxAndChoiceEntriesCompile) {
    if (std::system("perl -e 1 >/dev/null 2>&1") != 0) GTEST_SKIP() << "perl is not installed";
    test::TempDir dir;
    std::vector<std::string> entries;
    TProjectItemCheckbox box("c");
    box.SetNameValue(S("同意'\\"));
    box.SetValue(S("はい' $x \\"));
    box.SetRequired(true);
    box.SetRequiredError("@all $1");
    box.WritePerl(entries);
    TProjectItemPopupmenu menu("m");
    menu.SetNameValue("'");
    menu.SetValues({"'", S("表\\"), "@a $b"});
    menu.WritePerl(entries);
    const std::string expected =
        Expect({{"ATTR", "c"}, {"NAME", S("同意'\\")}, {"TYPE", "CHECKBOX"}, {"REQUIRED", "1"},
                {"VALUE", S("はい' $x \\")}},
               {{"REQUIRED_ERROR", "@all $1"}}) +
        Expect({{"ATTR", "m"}, {"NAME", "'"}, {"TYPE", "POPUPMENU"}, {"REQUIRED", "0"},
                {"VALUES0", "'"}, {"VALUES1", S("表\\")}, {"VALUES2", "@a $b"}},
               {});
    EXPECT_EQ(RunPerl(entries, dir.Path()), expected);
}

}  // namespace
}  // namespace qp
