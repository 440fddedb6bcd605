// The Perl CGI script: the whole form description as Perl data handed to the server module.
#include "generate/cgi_writer.h"

#include <string>
#include <vector>

#include "generate/entry_list.h"
#include "inbox/inbox_key.h"
#include "model/perl_quote.h"
#include "model/project_config.h"

namespace qp {
namespace {

std::string SingleQuoted(const std::string& head, const std::string& value) {
    return head + "'" + QuotePerlSingle(value) + "',";
}


std::string IntLine(const char* key, int value) {
    return std::string("  ") + key + " => " + std::to_string(value) + ",";
}

// The defences that the runtime enforces, with the key of this make.
void AppendGuard(std::vector<std::string>& lines, const TGuardSettings& g, const std::string& secret) {
    lines.push_back("my $guard = {");
    lines.push_back(SingleQuoted("  SECRET => ", secret));
    lines.push_back(IntLine("USE_TOKEN", g.UseToken ? 1 : 0));
    lines.push_back(IntLine("MIN_SECONDS", g.MinSeconds));
    lines.push_back(IntLine("TOKEN_HOURS", g.TokenHours));
    lines.push_back(IntLine("USE_HONEYPOT", g.UseHoneypot ? 1 : 0));
    lines.push_back(IntLine("LIMIT_COUNT", g.LimitCount));
    lines.push_back(IntLine("LIMIT_MINUTES", g.LimitMinutes));
    lines.push_back(IntLine("REPLY_LIMIT", g.ReplyLimit));
    lines.push_back(IntLine("VISITOR_FROM", g.VisitorFrom ? 1 : 0));
    lines.push_back(IntLine("REPLY_PER_HOUR", g.ReplyPerHour));
    lines.push_back(IntLine("REPLY_ECHO_CHARS", g.ReplyEchoChars));
    lines.push_back(SingleQuoted("  ENVELOPE_FROM => ", g.EnvelopeFrom));
    lines.push_back("};");
}

// The inbox's public key and the cap of its file; the key's check is the make's.
void AppendInbox(std::vector<std::string>& lines, const TProjectConfig& project) {
    const TInboxPublicKey key = ReadInboxPublicKey(project.Text(TSetting::InboxPublicKey));
    lines.push_back("my $inbox = {");
    lines.push_back(SingleQuoted("  KEY_ID => ", key.KeyId));
    lines.push_back(IntLine("BYTES", key.Bytes));
    lines.push_back(SingleQuoted("  MODULUS => ", key.Modulus));
    lines.push_back(SingleQuoted("  EXPONENT => ", key.Exponent));
    lines.push_back(SingleQuoted("  MONTGOMERY_R2 => ", key.MontgomeryR2));
    lines.push_back("  MAX_BYTES => " + std::to_string(1048576LL * project.Int(TSetting::InboxMaxMegabytes)) + ",");
    lines.push_back("};");
}

}  // namespace

std::string MakeCgiScript(const TProjectConfig& project, const std::string& guardSecret) {
    std::vector<std::string> lines;
    // Servers that keep the CR LF line ends make the kernel pass "--\r" as the one
    // argument, which perl accepts as the end of its switches; "#!/usr/bin/perl\r" would
    // name an interpreter that does not exist.
    lines.push_back("#!" + project.GetPerlPath() + " --");
    // Perl no longer searches the current folder: the module sits beside the script. The
    // folder comes from the script's own path, its symbolic links followed (at most 40, as
    // the kernel does), with no module loaded: FindBin alone costs more than a form page.
    lines.push_back(
        "BEGIN { my $f = __FILE__; for (1 .. 40) { my $l = readlink $f; last unless defined $l;"
        " $f =~ s{[^/]*\\z}{}; $f = $l =~ m{\\A/} ? $l : $f . $l }"
        " unshift @INC, $f =~ m{\\A(.*)/}s ? $1 : '.' }");
    lines.push_back("use Quillpost;");
    lines.push_back("my $items = [");
    for (const auto& item : project.GetItems()) item->WritePerl(lines);
    lines.push_back("];");

    lines.push_back("my $mail = {");
    lines.push_back(SingleQuoted("  SENDMAIL => ", project.GetSendmailPath()));
    lines.push_back("  ADMIN => {");
    lines.push_back(SingleQuoted("    FROM => ", project.GetManagerMailFrom()));
    lines.push_back(SingleQuoted("    TO => ", project.GetManagerMailTo()));
    AppendHeredoc(lines, "    SUBJECT =><<__END__,", project.GetManagerMailSubject());
    lines.push_back("  },");
    if (project.GetUseUserMail()) {
        lines.push_back("  USER => {");
        lines.push_back(SingleQuoted("    FROM => ", project.GetUserMailFrom()));
        lines.push_back(SingleQuoted("    TO => ", project.GetUserMailTo()));
        AppendHeredoc(lines, "    SUBJECT =><<__END__,", project.GetUserMailSubject());
        AppendHeredoc(lines, "    BODY =><<__END__,", project.GetUserMailBody());
        lines.push_back("  }");
    }
    lines.push_back("};");

    lines.push_back("my $html = {");
    AppendHeredoc(lines, "  FORM =><<__END__,", project.GetFormHtml());
    lines.push_back("  CONFIRM =><<__END__,");
    if (project.GetUseConfirm()) lines.push_back(QuotePerlHeredoc(project.GetConfirmHtml()));
    lines.push_back("__END__");
    // Only 0 and 1 come from the main window; any other number from a file still gets a
    // complete $html block, as the finish page template.
    if (project.GetFinishPageMoveType() == kFinishRedirect) {
        AppendHeredoc(lines, "  REDIRECT =><<__END__,", project.GetFinishPageLocation());
    } else {
        AppendHeredoc(lines, "  FINISH =><<__END__,", project.GetFinishPageLocation());
    }
    lines.push_back("};");
    AppendGuard(lines, project.GetGuard(), guardSecret);
    const bool inbox = project.Bool(TSetting::UseInbox);
    if (inbox) AppendInbox(lines, project);
    // Without CHARSET the module speaks EUC-JP, as every script made before the choice did.
    std::string run = project.GetCharset() == TCgiCharset::Utf8
                          ? "my $qpf = Quillpost->new(ITEMS => $items, HTML => $html, MAIL => $mail, CHARSET => 'UTF-8', "
                            "GUARD => $guard"
                          : "my $qpf = Quillpost->new(ITEMS => $items, HTML => $html, MAIL => $mail, GUARD => $guard";
    // Only a project with a check key carries CHECK: any other is made as it always was.
    const std::string& checkKey = project.Settings().Text(TSetting::CheckKey);
    if (!checkKey.empty()) {
        lines.push_back("my $check = {");
        lines.push_back(SingleQuoted("  KEY => ", checkKey));
        lines.push_back(SingleQuoted("  RELEASE => ", kRuntimeRelease));
        lines.push_back("};");
    }
    lines.push_back(run + (inbox ? ", INBOX => $inbox" : "") + (checkKey.empty() ? "" : ", CHECK => $check") + ");");
    lines.push_back("print $qpf->run();");
    return JoinEntries(lines);
}

}  // namespace qp
