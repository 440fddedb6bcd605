// Runs generated scripts with perl beside a stand-in Quillpost.pm that prints everything
// `new` receives, and compares each value Perl reads with the project's own text.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <map>
#include <string>

#include "fixtures.h"
#include "generate/make_driver.h"
#include "model/charset.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

// Prints every leaf of the arguments of new as "PATH=LENGTH:BYTES\n" (hash keys sorted,
// list sizes as "PATH#", code references by their full name).
const char* const kStandInModule = R"PERL(package Quillpost;
use strict;
use warnings;
use B ();
sub new { my ($class, %args) = @_; return bless { args => \%args }, $class; }
sub leaf { my ($path, $s) = @_; $s = '<undef>' unless defined $s; return "$path=" . length($s) . ":$s\n"; }
sub walk {
    my ($path, $v) = @_;
    my $r = ref $v;
    if ($r eq 'ARRAY') {
        my $out = leaf("$path#", scalar @$v);
        $out .= walk("$path\[$_\]", $v->[$_]) for 0 .. $#$v;
        return $out;
    }
    if ($r eq 'HASH') { return join '', map { walk($path eq '' ? $_ : "$path.$_", $v->{$_}) } sort keys %$v; }
    if ($r eq 'CODE') { my $gv = B::svref_2object($v)->GV; return leaf($path, '\&' . $gv->STASH->NAME . '::' . $gv->NAME); }
    return leaf($path, $v);
}
sub run { my ($self) = @_; return walk('', $self->{args}); }
1;
)PERL";

struct PerlRun {
    int status = -1;
    std::string output;
    std::map<std::string, std::string> values;
};

std::map<std::string, std::string> ParseDump(const std::string& out) {
    std::map<std::string, std::string> values;
    std::size_t pos = 0;
    while (pos < out.size()) {
        const std::size_t eq = out.find('=', pos);
        const std::size_t colon = out.find(':', eq);
        if (eq == std::string::npos || colon == std::string::npos) {
            ADD_FAILURE() << "unreadable dump at " << pos;
            break;
        }
        const std::size_t length = std::stoul(out.substr(eq + 1, colon - eq - 1));
        values[out.substr(pos, eq - pos)] = out.substr(colon + 1, length);
        pos = colon + 1 + length + 1;
    }
    return values;
}

// Writes the made script and the stand-in module into dir and runs the script from "/"
// through its own "#!" line, so that neither the working folder nor a perl on the command
// line helps it find the module.
PerlRun RunScript(const TProjectConfig& project, const TempDir& dir) {
    const std::string script = dir.File("form.cgi");
    WriteFile(script, MakeCgiText(project));
    WriteFile(dir.File("Quillpost.pm"), kStandInModule);
    ::chmod(script.c_str(), 0755);
    PerlRun run;
    const std::string command = "cd / && '" + script + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
    run.status = ::pclose(pipe);
    run.values = ParseDump(run.output);
    return run;
}

// A project text in the script's character code.
std::string Code(const std::string& sjis, TCgiCharset code) {
    return code == TCgiCharset::Utf8 ? charset::SjisToUtf8(sjis) : charset::SjisToEucJp(sjis);
}

std::string Euc(const std::string& sjis) { return Code(sjis, TCgiCharset::EucJp); }

// What Perl reads from a here-document holding text: its lines joined with LF, plus one.
std::string Heredoc(const std::string& sjis, TCgiCharset code = TCgiCharset::EucJp) {
    const std::string text = Code(sjis, code);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out + "\n";
}

class PerlScriptCode : public ::testing::TestWithParam<TCgiCharset> {};

INSTANTIATE_TEST_SUITE_P(BothCodes, PerlScriptCode, ::testing::Values(TCgiCharset::EucJp, TCgiCharset::Utf8));

TEST_P(PerlScriptCode, FullProjectReadsBackEveryText) {
    const TCgiCharset code = GetParam();
    const auto project = MakeFullProject();
    project->SetCharset(code);
    TempDir dir;
    const PerlRun run = RunScript(*project, dir);
    ASSERT_EQ(run.status, 0) << run.output;
    const auto& v = run.values;
    const auto Heredoc = [code](const std::string& sjis) { return test::Heredoc(sjis, code); };
    if (code == TCgiCharset::Utf8) {
        EXPECT_EQ(v.at("CHARSET"), "UTF-8");
    } else {
        EXPECT_EQ(v.count("CHARSET"), 0u);
    }
    auto at = [&](const std::string& key) {
        const auto it = v.find(key);
        EXPECT_NE(it, v.end()) << "perl did not read " << key << "\n" << run.output;
        return it == v.end() ? std::string("<missing>") : it->second;
    };

    EXPECT_EQ(at("MAIL.SENDMAIL"), "/usr/sbin/sendmail");
    EXPECT_EQ(at("MAIL.ADMIN.FROM"), "<% email %>");
    EXPECT_EQ(at("MAIL.ADMIN.TO"), "webmaster@example.com");
    EXPECT_EQ(at("MAIL.ADMIN.SUBJECT"), Heredoc(project->GetManagerMailSubject()));
    EXPECT_EQ(at("MAIL.USER.FROM"), "O'Hara <info@example.com>");
    EXPECT_EQ(at("MAIL.USER.TO"), "<% email %>");
    EXPECT_EQ(at("MAIL.USER.SUBJECT"), Heredoc(project->GetUserMailSubject()));
    EXPECT_EQ(at("MAIL.USER.BODY"), Heredoc(project->GetUserMailBody()));
    EXPECT_EQ(at("HTML.FORM"), Heredoc(project->GetFormHtml()));
    EXPECT_EQ(at("HTML.CONFIRM"), Heredoc(project->GetConfirmHtml()));
    EXPECT_EQ(at("HTML.FINISH"), Heredoc(project->GetFinishPageLocation()));
    EXPECT_EQ(v.count("HTML.REDIRECT"), 0u);

    const auto& items = project->GetItems();
    ASSERT_EQ(at("ITEMS#"), std::to_string(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string k = "ITEMS[" + std::to_string(i) + "].";
        const TProjectItem& item = *items[i];
        EXPECT_EQ(at(k + "ATTR"), item.GetNameAttr());
        EXPECT_EQ(at(k + "TYPE"), item.GetTypeName());
        EXPECT_EQ(at(k + "NAME"), Code(item.GetNameValue(), code)) << k;
        EXPECT_EQ(at(k + "REQUIRED"), item.GetRequired() ? "1" : "0");
        if (!item.GetRequiredError().empty()) {
            EXPECT_EQ(at(k + "REQUIRED_ERROR"), Heredoc(item.GetRequiredError())) << k;
        }
        if (const auto* box = dynamic_cast<const TProjectItemCheckbox*>(&item)) {
            EXPECT_EQ(at(k + "VALUE"), Code(box->GetValue(), code)) << k;
        }
        if (const auto* choice = dynamic_cast<const TProjectItemChoice*>(&item)) {
            const auto& choices = choice->GetValues();
            ASSERT_EQ(at(k + "VALUES#"), std::to_string(choices.size())) << k;
            for (std::size_t c = 0; c < choices.size(); ++c) {
                EXPECT_EQ(at(k + "VALUES[" + std::to_string(c) + "]"), Code(choices[c], code)) << k;
            }
        }
        const auto* text = dynamic_cast<const TProjectItemText*>(&item);
        if (text == nullptr) continue;
        EXPECT_EQ(at(k + "SIZE_CONSTRAINT"), std::to_string(text->GetSizeConstraint()));
        if (text->GetConstraintType() != 0) {
            EXPECT_EQ(at(k + "CONSTRAINT_REGEXP"), Heredoc(text->ConstraintPattern())) << k;
            EXPECT_EQ(at(k + "CONSTRAINT_REGEXP_ERROR"), Heredoc(text->GetConstraintError())) << k;
        }
        if (!text->GetRetypeItemNameAttr().empty()) {
            EXPECT_EQ(at(k + "RETYPE_ATTR"), text->GetRetypeItemNameAttr());
            EXPECT_EQ(at(k + "RETYPE_ERROR"), Heredoc(text->GetRetypeError()));
        }
        const auto converts = text->GetConvertTypes();
        ASSERT_EQ(at(k + "CONVERT#"), std::to_string(converts.size())) << k;
        for (std::size_t c = 0; c < converts.size(); ++c) {
            EXPECT_EQ(at(k + "CONVERT[" + std::to_string(c) + "]"),
                      "\\&Quillpost::" + TProjectItemText::ConvertFunctionName(converts[c]));
        }
    }
}

TEST(PerlScript, PatternsAndHostileTextsArriveAsTyped) {
    const auto project = MakeFullProject();
    TempDir dir;
    const PerlRun run = RunScript(*project, dir);
    ASSERT_EQ(run.status, 0) << run.output;
    const auto& v = run.values;
    // Spelled out once more, independent of the model's getters.
    EXPECT_EQ(v.at("ITEMS[1].CONSTRAINT_REGEXP"),
              "[0-9A-Za-z_!#$%&*+-/=?^_{|}~.]+@[0-9,A-Z,a-z][0-9,a-z,A-Z,_,.,-]*\n");
    EXPECT_EQ(v.at("ITEMS[3].CONSTRAINT_REGEXP"), "^\\d{3}-\\d{4}$\n");
    EXPECT_EQ(v.at("ITEMS[4].CONSTRAINT_REGEXP"), "^[0-9]*$\n");
    EXPECT_EQ(v.at("ITEMS[5].CONSTRAINT_REGEXP"), "^[0-9a-zA-Z]*$\n");
    EXPECT_EQ(v.at("ITEMS[4].SIZE_CONSTRAINT_ERROR"), Euc(S("会員番号は8桁までです。")) + "\n");
    EXPECT_EQ(v.at("ITEMS[6].NAME"), Euc(S("お問い合わせ内容（表示・ソフト）")));
    EXPECT_EQ(v.at("ITEMS[6].REQUIRED_ERROR"),
              Euc(S("内容を入力してください。\n__END__\n$100 は \\100 です。\n")));
    EXPECT_EQ(v.at("ITEMS[7].NAME"), Euc(S("O'Reilly \\ 「ニュース」")));
    EXPECT_EQ(v.at("MAIL.ADMIN.SUBJECT"),
              Euc(S("[お問い合わせ] <% name %> 様より ($5 / user@example.com \\表)\n")));
    EXPECT_EQ(v.at("MAIL.USER.FROM"), "O'Hara <info@example.com>");
}

TEST(PerlScript, RedirectAndEmptyConfirmPage) {
    auto project = MakeRedirectProject();
    project->SetPerlPath("/usr/bin/perl");
    TempDir dir;
    const PerlRun run = RunScript(*project, dir);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.values.at("HTML.REDIRECT"), "https://example.com/thanks.html?from=form&amount=$5\n");
    EXPECT_EQ(run.values.count("HTML.FINISH"), 0u);
    EXPECT_EQ(run.values.at("HTML.CONFIRM"), "");
    EXPECT_EQ(run.values.count("MAIL.USER.BODY"), 0u);
    EXPECT_EQ(run.values.at("ITEMS[0].CONSTRAINT_REGEXP"), "^[a-zA-Z]*$\n");
}

TEST(PerlScript, OddFinishMoveTypeStillGivesAValidScript) {
    auto project = MakeOddFinishProject();
    project->SetPerlPath("/usr/bin/perl");
    TempDir dir;
    const PerlRun run = RunScript(*project, dir);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.values.at("HTML.FINISH"), Euc(S("<p>完了しました。</p>\n")));
}

TEST(PerlScript, EveryFixtureRunsInUtf8) {
    for (const auto& fixture : AllFixtureProjects()) {
        auto project = fixture.make();
        project->SetPerlPath("/usr/bin/perl");
        project->SetCharset(TCgiCharset::Utf8);
        TempDir dir;
        const PerlRun run = RunScript(*project, dir);
        ASSERT_EQ(run.status, 0) << fixture.name << "\n" << run.output;
        EXPECT_EQ(run.values.at("HTML.FORM"), test::Heredoc(project->GetFormHtml(), TCgiCharset::Utf8)) << fixture.name;
    }
}

TEST(PerlScript, ProjectWithoutItemsRuns) {
    TempDir dir;
    const PerlRun run = RunScript(*MakeEmptyProject(), dir);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.values.at("ITEMS#"), "0");
    EXPECT_EQ(run.values.at("MAIL.ADMIN.SUBJECT"), "\n");
}

}  // namespace
}  // namespace qp::test
