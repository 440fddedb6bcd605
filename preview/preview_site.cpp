#include "preview/preview_site.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "generate/file_utility.h"
#include "generate/make_checks.h"
#include "generate/make_driver.h"
#include "generate/text_file.h"
#include "model/error.h"
#include "preview/capture_sendmail_script.h"

namespace qp::preview {
namespace {

// The runtime hands SENDMAIL to perl split at blanks, and the paths go into Perl strings:
// only plain path characters are safe in the site's path.
bool PlainPath(const std::string& path) {
    return !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
               c == '.' || c == '_' || c == '-' || c == '+';
    });
}

class SettingGuard {
public:
    SettingGuard(TProjectConfig& project) : project_(project) {
        perl_ = project.GetPerlPath();
        sendmail_ = project.GetSendmailPath();
    }
    ~SettingGuard() {
        project_.SetPerlPath(perl_);
        project_.SetSendmailPath(sendmail_);
    }
    SettingGuard(const SettingGuard&) = delete;
    SettingGuard& operator=(const SettingGuard&) = delete;

private:
    TProjectConfig& project_;
    std::string perl_;
    std::string sendmail_;
};

}  // namespace

const char* const kCaptureSendmailScript = kCaptureSendmailScriptText;

std::string FindPerl() {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr && *path != '\0' ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t pos = 0;
    while (pos <= dirs.size()) {
        const std::size_t colon = std::min(dirs.find(':', pos), dirs.size());
        std::string dir = dirs.substr(pos, colon - pos);
        pos = colon + 1;
        if (dir.empty() || dir[0] != '/') continue;
        const std::string candidate = dir + "/perl";
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    throw Error("perlが見つかりません。プレビューにはperlが必要です。");
}

std::string PreviewScriptName(const TProjectConfig& project) {
    const std::string name = project.GetFtpFileName();
    const bool plain = !name.empty() && name[0] != '.' && name != "__mails__" &&
                       std::all_of(name.begin(), name.end(), [](char c) {
                           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                  (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
                       });
    return plain ? name : "form.cgi";
}

std::unique_ptr<TPreviewSite> TPreviewSite::Make(TProjectConfig& project, const std::string& runtimeDir) {
    CheckForMake(project);
    const std::string perl = FindPerl();
    if (!PlainPath(perl)) throw Error("perlのパスに使えない文字が含まれています: " + perl);
    std::string base = TkFileUtility::GetTempDirectory();
    if (!PlainPath(base)) base = "/tmp/";
    std::string pattern = base + "quillpost-preview-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw Error("プレビュー用のフォルダを作成できません: " + pattern);
    }
    std::unique_ptr<TPreviewSite> site(new TPreviewSite);
    site->folder_ = pattern;
    site->script_ = PreviewScriptName(project);
    site->perl_ = perl;

    const std::string dir = runtimeDir.empty() || runtimeDir.back() == '/' ? runtimeDir : runtimeDir + "/";
    for (const char* file : {"Quillpost.pm", "jcode.pl", "mimew.pl"}) {
        std::error_code ec;
        std::filesystem::copy_file(dir + file, site->folder_ + "/" + file, ec);
        if (ec) throw Error("プレビューに必要なファイルがありません: " + dir + file);
    }
    std::filesystem::create_directory(site->MailFolder());
    const std::string capture = site->folder_ + "/capture-sendmail.pl";
    WriteFileAtomic(capture, kCaptureSendmailScript);
    ::chmod(capture.c_str(), 0755);

    std::string script;
    {
        SettingGuard guard(project);
        project.SetPerlPath(perl);
        project.SetSendmailPath(perl + " " + capture);
        script = MakeCgiText(project);
    }
    WriteFileAtomic(site->ScriptPath(), script);
    ::chmod(site->ScriptPath().c_str(), 0755);
    return site;
}

TPreviewSite::~TPreviewSite() {
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
}

}  // namespace qp::preview
