#pragma once
// A made form with the inbox on, run by perl as a web server would: a project of every item
// kind without conversions (values arrive as sent), its key pair, the script and the runtime
// in a folder, the stand-in sendmail of the runtime tests.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "model/project_config.h"
#include "support/sjis_literal.h"

namespace qp::test {

class InboxSite {
public:
    // folder: where the script is placed (default: a folder of its own); runAs: the account
    // that runs it there, as a web server with suEXEC would (default: this process's).
    explicit InboxSite(bool utf8 = false, const std::string& folder = "", const std::string& runAs = "");
    const std::string& Folder() const { return folder_; }
    const std::string& KeyFile() const { return keyFile_; }
    std::string InboxFile() const { return folder_ + "/.htquillpost-form.cgi-inbox"; }
    TProjectConfig& Project() { return project_; }
    // Writes the script again after a change of the project.
    void Make();

    struct Response {
        int status = -1;
        std::string head;   // the output up to its first blank line
        std::string body;
        std::string errors; // the error log
    };
    // A POST of the fields (bytes as the browser sends them) that sends; sendmailExit is the
    // stand-in's exit status.
    Response Post(const std::vector<std::pair<std::string, std::string>>& fields, int sendmailExit = 0) const;
    // The mails the stand-in received.
    int MailCount() const;

private:
    TempDir dir_;
    std::string folder_;
    std::string keyFile_;
    std::string runAs_;
    TProjectConfig project_;
};

std::string UrlEncode(const std::string& bytes);

}  // namespace qp::test
