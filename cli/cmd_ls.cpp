// quillpost-cli ls: a folder on the project's server as the folder browser shows it, one
// entry a line: name, date, size, permissions and owner, separated by tabs.
#include <iostream>

#include "cli/cli_common.h"
#include "cli/ftp_options.h"
#include "deploy/folder_browser.h"
#include "remote/visible_text.h"

namespace qp::cli {
namespace {

class QuietBrowser : public TFolderBrowserListener {
public:
    void LogLine(const std::string&) override {}
    void Pump() override {}
};

int Run(const Args& args) {
    if (args.positional.empty() || args.positional.size() > 2)
        throw UsageError("プロジェクトファイルとフォルダを指定してください。");
    TProjectConfig project;
    LoadProject(args.positional[0], project);
    if (project.GetFtpHostName().empty()) throw Error("ホスト名が設定されていません。");
    if (project.GetFtpUserName().empty()) throw Error("ユーザ名が設定されていません。");
    SupplyPassword(project);
    const FtpCall ftp(args, project);
    if (project.GetFtpPassword().empty() && !ftp.KeyLogin())
        throw Error("パスワードが設定されていません。");
    const std::string folder = args.positional.size() == 2 ? args.positional[1] : project.GetFtpDirectory();

    QuietBrowser quiet;
    TFolderBrowser browser(quiet, ftp.Connection());
    ftp.Apply(browser.Client());
    browser.SetDirectory(folder);
    try {
        if (auto moveError = browser.StartUp()) {
            PrintError(*moveError);
            return kExitFile;
        }
        if (browser.ListingError()) {
            PrintError(*browser.ListingError());
            return kExitFile;
        }
    } catch (const Error& e) {
        return ftp.Failed(browser.Client(), e);
    }
    for (const TFolderRow& row : browser.Rows())
        std::cout << VisibleText(row.Entry.Name) << '\t' << row.Date << '\t' << row.Size << '\t'
                  << VisibleText(row.Attributes) << '\t' << VisibleText(row.Owner) << '\n';
    browser.Close();
    ftp.SaveTrust(browser.Client(), project, args.positional[0]);
    return kExitOk;
}

const RegisterCommand kRegister({"ls",
                                 std::string("ls PROJECT.qpf [FOLDER] ") + FtpCall::kUsage,
                                 "lists a folder of the project's server (default: its FTP folder), "
                                 "folders first: name, date, size, permissions, owner",
                                 70,
                                 {"--protocol", "--trust-cert"},
                                 {"--passive", "--save"},
                                 Run});

}  // namespace
}  // namespace qp::cli
