// The shape of the CGI script: entry order, conditions, quoting of the writer's own entries
// and line ends. What Perl reads from it is checked in perl_script_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fixtures.h"
#include "generate/cgi_writer.h"
#include "model/item_text.h"
#include "model/perl_quote.h"
#include "support/guard_secret_mask.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

// The script's lines, split at CR LF; a value's own line breaks stay inside its line.
std::vector<std::string> Lines(const std::string& script) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < script.size()) {
        const std::size_t end = script.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF: " << script.substr(start);
            break;
        }
        lines.push_back(script.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line, std::size_t from = 0) {
    const auto it = std::find(lines.begin() + static_cast<long>(from), lines.end(), line);
    EXPECT_NE(it, lines.end()) << "missing line: " << line;
    return static_cast<std::size_t>(it - lines.begin());
}

std::unique_ptr<TProjectConfig> OneItemProject() {
    auto p = std::make_unique<TProjectConfig>();
    auto item = std::make_unique<TProjectItemText>("item1");
    item->SetNameValue(S("項目"));
    p->AddItem(std::move(item));
    p->SetManagerMailFrom("a@example.com");
    p->SetManagerMailTo("b@example.com");
    p->SetManagerMailSubject(S("件名"));
    p->SetFormHtml("<p>form</p>");
    p->SetFinishPageLocation("<p>done</p>\r\n<p>thanks</p>");
    return p;
}

TEST(CgiWriter, EveryLineEndsWithCrLf) {
    const std::string script = MakeCgiScript(*OneItemProject(), kTestGuardSecret);
    ASSERT_GE(script.size(), 2u);
    EXPECT_EQ(script.substr(script.size() - 20), "print $qpf->run();\r\n");
    for (std::size_t i = 0; i < script.size(); ++i) {
        if (script[i] == '\n') {
            EXPECT_TRUE(i > 0 && script[i - 1] == '\r') << "bare LF at " << i;
        }
        if (script[i] == '\r') {
            EXPECT_TRUE(i + 1 < script.size() && script[i + 1] == '\n') << "bare CR at " << i;
        }
    }
}

TEST(CgiWriter, ValueLineBreaksStayAsTheyAre) {
    // The default finish page has LF line ends; the script text keeps them (the make turns
    // every line end into CR LF when it writes the file).
    TProjectConfig p;
    const std::string script = MakeCgiScript(p, kTestGuardSecret);
    EXPECT_NE(script.find("  FINISH =><<__END__,\r\n" +
                          QuotePerlHeredoc(TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Html5)) +
                          "\r\n__END__\r\n"),
              std::string::npos);
}

TEST(CgiWriter, OpensWithInterpreterLineAndModuleBesideTheScript) {
    const auto lines = Lines(MakeCgiScript(*OneItemProject(), kTestGuardSecret));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "#!/usr/bin/perl --");
    EXPECT_EQ(lines[1].rfind("BEGIN { my $f = __FILE__;", 0), 0u);
    EXPECT_EQ(lines[2], "use Quillpost;");
    EXPECT_EQ(lines[3], "my $items = [");
    EXPECT_EQ(lines[4], "  {");
    EXPECT_EQ(lines[lines.size() - 2],
              "my $qpf = Quillpost->new(ITEMS => $items, HTML => $html, MAIL => $mail, GUARD => $guard);");
    EXPECT_EQ(lines.back(), "print $qpf->run();");

    auto p = OneItemProject();
    p->SetPerlPath("/opt/perl5/bin/perl");
    EXPECT_EQ(Lines(MakeCgiScript(*p, kTestGuardSecret))[0], "#!/opt/perl5/bin/perl --");
}

TEST(CgiWriter, ProjectWithoutItemsHasAnEmptyItemList) {
    const auto lines = Lines(MakeCgiScript(*MakeEmptyProject(), kTestGuardSecret));
    const std::size_t open = IndexOf(lines, "my $items = [");
    ASSERT_LT(open + 1, lines.size());
    EXPECT_EQ(lines[open + 1], "];");
}

TEST(CgiWriter, MailBlockWithoutReplyMail) {
    const auto p = OneItemProject();
    p->SetUserMailBody(S("本文"));
    const auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    const std::size_t mail = IndexOf(lines, "my $mail = {");
    const std::vector<std::string> expected = {
        "my $mail = {",
        "  SENDMAIL => '/usr/lib/sendmail',",
        "  ADMIN => {",
        "    FROM => 'a@example.com',",
        "    TO => 'b@example.com',",
        "    SUBJECT =><<__END__,",
        S("件名"),
        "__END__",
        "  },",
        "};",
        "my $html = {",
    };
    ASSERT_LE(mail + expected.size(), lines.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(mail),
                                       lines.begin() + static_cast<long>(mail + expected.size())),
              expected);
}

TEST(CgiWriter, ReplyMailBlockFollowsAdminBlock) {
    const auto lines = Lines(MakeCgiScript(*MakeFullProject(), kTestGuardSecret));
    const std::size_t user = IndexOf(lines, "  USER => {");
    EXPECT_EQ(lines[user - 1], "  },");
    EXPECT_EQ(lines[user + 1], "    FROM => 'O\\'Hara <info@example.com>',");
    EXPECT_EQ(lines[user + 2], "    TO => '<% email %>',");
    EXPECT_EQ(lines[user + 3], "    SUBJECT =><<__END__,");
    EXPECT_EQ(lines[user + 5], "__END__");
    EXPECT_EQ(lines[user + 6], "    BODY =><<__END__,");
    const std::size_t close = IndexOf(lines, "  }", user);
    EXPECT_EQ(lines[close + 1], "};");
    EXPECT_EQ(lines[close - 1], "__END__");
}

TEST(CgiWriter, SingleQuotedValuesAreEscaped) {
    auto p = OneItemProject();
    p->SetSendmailPath("/usr/sbin/sendmail' -t; system('rm");
    p->SetManagerMailFrom("it\\'s@example.com");
    p->SetManagerMailTo(S("表ソ@example.com"));
    const auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    IndexOf(lines, "  SENDMAIL => '/usr/sbin/sendmail\\' -t; system(\\'rm',");
    IndexOf(lines, "    FROM => 'it\\\\\\'s@example.com',");
    // The 0x5C second bytes of the two characters are not taken for backslashes.
    IndexOf(lines, "    TO => '" + S("表ソ") + "@example.com',");
}

TEST(CgiWriter, HeredocBodiesAreQuoted) {
    auto p = OneItemProject();
    p->SetManagerMailSubject(S("$5 @ \\ 表"));
    p->SetFinishPageMoveType(1);
    p->SetFinishPageLocation("https://example.com/?a=$x&b=@y");
    const auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    const std::size_t subject = IndexOf(lines, "    SUBJECT =><<__END__,");
    EXPECT_EQ(lines[subject + 1], S("\\$5 \\@ \\\\ 表"));
    const std::size_t redirect = IndexOf(lines, "  REDIRECT =><<__END__,");
    EXPECT_EQ(lines[redirect + 1], "https://example.com/?a=\\$x&b=\\@y");
    EXPECT_EQ(lines[redirect + 2], "__END__");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "  FINISH =><<__END__,"), 0);
}

TEST(CgiWriter, EmptySubjectGivesEmptyLine) {
    auto p = OneItemProject();
    p->SetManagerMailSubject("");
    const auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    const std::size_t subject = IndexOf(lines, "    SUBJECT =><<__END__,");
    EXPECT_EQ(lines[subject + 1], "");
    EXPECT_EQ(lines[subject + 2], "__END__");
}

TEST(CgiWriter, ConfirmPageOnlyWhenUsed) {
    auto p = OneItemProject();
    p->SetConfirmHtml("<p>confirm</p>");
    p->SetUseConfirm(false);
    auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    std::size_t confirm = IndexOf(lines, "  CONFIRM =><<__END__,");
    EXPECT_EQ(lines[confirm + 1], "__END__");

    p->SetUseConfirm(true);
    lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    confirm = IndexOf(lines, "  CONFIRM =><<__END__,");
    EXPECT_EQ(lines[confirm + 1], "<p>confirm</p>");
    EXPECT_EQ(lines[confirm + 2], "__END__");
}

TEST(CgiWriter, FinishPageForEveryMoveTypeButOne) {
    for (int type : {0, 2, -1, 7}) {
        auto p = OneItemProject();
        p->SetFinishPageMoveType(type);
        p->SetFinishPageLocation("<p>done</p>");
        const auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
        const std::size_t finish = IndexOf(lines, "  FINISH =><<__END__,");
        EXPECT_EQ(lines[finish + 1], "<p>done</p>") << type;
        EXPECT_EQ(lines[finish + 2], "__END__") << type;
        EXPECT_EQ(lines[finish + 3], "};") << type;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "  REDIRECT =><<__END__,"), 0) << type;
    }
}

TEST(CgiWriter, TerminatorLineInsideABodyDoesNotEndIt) {
    auto p = OneItemProject();
    p->SetFormHtml("<p>a</p>\r\n__END__\r\n<p>b</p>");
    const auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    const std::size_t form = IndexOf(lines, "  FORM =><<__END__,");
    EXPECT_EQ(lines[form + 1], "<p>a</p>");
    EXPECT_EQ(lines[form + 2], "\\__END__");
    EXPECT_EQ(lines[form + 3], "<p>b</p>");
    EXPECT_EQ(lines[form + 4], "__END__");
}

TEST(CgiWriter, BodyEndingWithLineBreakKeepsIt) {
    auto p = OneItemProject();
    p->SetFormHtml("<p>x</p>\r\n");
    const auto lines = Lines(MakeCgiScript(*p, kTestGuardSecret));
    const std::size_t form = IndexOf(lines, "  FORM =><<__END__,");
    EXPECT_EQ(lines[form + 1], "<p>x</p>");
    EXPECT_EQ(lines[form + 2], "");
    EXPECT_EQ(lines[form + 3], "__END__");
}

TEST(CgiWriter, HandsTheGuardSettingsAndTheKeyToTheRuntime) {
    auto p = OneItemProject();
    TGuardSettings g;
    g.UseToken = false;
    g.MinSeconds = 0;
    g.LimitCount = 0;
    g.VisitorFrom = true;
    p->SetGuard(g);
    const auto lines = Lines(MakeCgiScript(*p, "0123abcd"));
    const std::size_t at = IndexOf(lines, "my $guard = {");
    const std::vector<std::string> expected = {
        "  SECRET => '0123abcd',", "  USE_TOKEN => 0,",    "  MIN_SECONDS => 0,", "  TOKEN_HOURS => 24,",
        "  USE_HONEYPOT => 1,",    "  LIMIT_COUNT => 0,", "  LIMIT_MINUTES => 60,", "  REPLY_LIMIT => 2,",
        "  VISITOR_FROM => 1,",    "};"};
    ASSERT_GE(lines.size(), at + 1 + expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(at) + 1,
                                       lines.begin() + static_cast<long>(at + 1 + expected.size())),
              expected);
    EXPECT_EQ(lines[at + 1 + expected.size()],
              "my $qpf = Quillpost->new(ITEMS => $items, HTML => $html, MAIL => $mail, GUARD => $guard);");
}

TEST(CgiWriter, ChangesNothingInTheProject) {
    const auto p = MakeFullProject();
    const std::string first = MakeCgiScript(*p, kTestGuardSecret);
    EXPECT_EQ(MakeCgiScript(*p, kTestGuardSecret), first);
    EXPECT_EQ(p->GetItemCount(), 10);
}

}  // namespace
}  // namespace qp::test
