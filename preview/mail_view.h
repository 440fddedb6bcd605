#pragma once
// The mails that the capture program stored during a preview, and the page that shows them
// decoded, newest first.
#include <string>
#include <string_view>
#include <vector>

namespace qp::preview {

struct TCapturedMail {
    std::string Name;               // file name without extension; sorts by arrival
    std::string Raw;                // the message as the CGI handed it over
    std::vector<std::string> Args;  // the arguments the CGI gave sendmail
};

// Every whole message in folder (NAME.eml with NAME.args beside it), newest first.
// A folder that cannot be read gives none.
std::vector<TCapturedMail> ReadCapturedMails(const std::string& folder);

// The mail page (UTF-8 HTML); every text from a mail is HTML-escaped. formUrl is the link
// back to the form.
std::string MailsPage(const std::vector<TCapturedMail>& mails, const std::string& formUrl);

// "&", "<", ">", '"' and "'" as character references.
std::string EscapeHtmlUtf8(std::string_view text);

}  // namespace qp::preview
