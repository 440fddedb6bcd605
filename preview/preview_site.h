#pragma once
// The private folder a preview runs from: the project's CGI (the same script a make writes,
// but with this computer's perl and with the capture program in place of sendmail), the
// three runtime files beside it, the capture program and the folder it stores mails in.
// The folder is removed with the object.
#include <memory>
#include <string>

#include "model/project_config.h"

namespace qp::preview {

class TPreviewSite {
public:
    // Runs CheckForMake (its Error passes through), then builds a new folder under the
    // temporary folder. runtimeDir holds Quillpost.pm, jcode.pl and mimew.pl; a missing one
    // raises Error naming it. The project's PerlPath and SendmailPath are changed only
    // while the script is written and are restored before returning (also on failure).
    static std::unique_ptr<TPreviewSite> Make(TProjectConfig& project, const std::string& runtimeDir);

    ~TPreviewSite();
    TPreviewSite(const TPreviewSite&) = delete;
    TPreviewSite& operator=(const TPreviewSite&) = delete;

    const std::string& Folder() const { return folder_; }      // no trailing "/"
    const std::string& ScriptName() const { return script_; }  // e.g. "contact.cgi"
    std::string ScriptPath() const { return folder_ + "/" + script_; }
    std::string MailFolder() const { return folder_ + "/mail"; }
    const std::string& Perl() const { return perl_; }

private:
    TPreviewSite() = default;
    std::string folder_;
    std::string script_;
    std::string perl_;
};

// The perl found on PATH (an absolute path); raises Error when there is none.
std::string FindPerl();

// The name the script is served under: the project's CGI file name when it is a plain file
// name, else "form.cgi".
std::string PreviewScriptName(const TProjectConfig& project);

// The text of the capture program installed as capture-sendmail.pl.
extern const char* const kCaptureSendmailScript;

}  // namespace qp::preview
