// quillpost-cli sample: the sample form or confirmation page built from the item list.
#include "cli/cli_common.h"
#include "generate/sample_pages.h"
#include "model/charset.h"

namespace qp::cli {
namespace {

int Run(const Args& args) {
    args.ExpectPositional(2);
    const std::string& page = args.positional[0];
    if (page != "form" && page != "confirm") throw UsageError("ページは form か confirm です: " + page);
    const std::string encoding = args.Value("--encoding").value_or("shift_jis");
    if (encoding != "shift_jis" && encoding != "euc-jp" && encoding != "utf-8") {
        throw UsageError("文字コードは shift_jis、euc-jp、utf-8 のどれかです: " + encoding);
    }
    TProjectConfig project;
    LoadProject(args.positional[1], project);
    if (const std::optional<int> style = ChoiceOption(args, TSetting::SampleStyle))
        project.SetSampleStyle(static_cast<TPageStyle>(*style));
    std::string text = page == "form" ? MakeFormSampleHtml(project) : MakeConfirmSampleHtml(project);
    if (encoding == "euc-jp")
        text = charset::SjisToEucJp(text);
    else if (encoding == "utf-8")
        text = charset::SjisToUtf8(text);
    WriteOutput(args.Value("-o").value_or(""), text);
    return kExitOk;
}

const RegisterCommand kRegister(
    {"sample",
     "sample form|confirm PROJECT.qpf [-o FILE] [--encoding shift_jis|euc-jp|utf-8] [--style html5|xhtml]",
     "writes the sample form or confirmation page in the project's style or the one given (Shift_JIS by "
     "default; standard output without -o)",
     30,
     {"-o", "--encoding", "--style"},
     {},
     Run});

}  // namespace
}  // namespace qp::cli
