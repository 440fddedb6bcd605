#include "generate/make_driver.h"

#include <unistd.h>

#include "generate/cgi_writer.h"
#include "generate/euc_convert.h"
#include "generate/file_utility.h"
#include "generate/guard_secret.h"
#include "generate/make_checks.h"
#include "generate/text_file.h"
#include "model/charset.h"

namespace qp {

const char* const kMakeLocalDoneMessage =
    "作成しました。\njcode.pl、mimew.pl、Quillpost.pmも一緒に設置してください。";
const char* const kMakeConverterDoneMessage = "作成しました。";

std::string MakeCgiText(const TProjectConfig& project) { return MakeCgiText(project, MakeGuardSecret()); }

std::string MakeCgiText(const TProjectConfig& project, const std::string& guardSecret) {
    const std::string script = MakeCgiScript(project, guardSecret);
    // The conversion stops at a zero byte; a script cut there would be broken on the server.
    if (script.find('\0') != std::string::npos) {
        throw Error("IEコンポーネントによる変換に失敗しました。");
    }
    if (project.GetCharset() == TCgiCharset::Utf8) return ToCrLfLines(charset::SjisToUtf8(script));
    return ToCrLfLines(ConvertSjisToEuc(script));
}

void MakeLocalCgi(const TProjectConfig& project, const std::string& path) {
    CheckForMake(project);
    // Ready to run where it is copied as it is: the web server needs it executable.
    WriteFileAtomic(path, MakeCgiText(project), TFileAccess::Program);
}

std::string MakeCgiTempFile(const TProjectConfig& project) {
    const std::string text = MakeCgiText(project);
    const std::string path = TkFileUtility::CreateTempFile();
    try {
        WriteFileAtomic(path, text);
    } catch (...) {
        ::unlink(path.c_str());
        throw;
    }
    return path;
}

}  // namespace qp
