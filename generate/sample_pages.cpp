// Sample form and confirmation pages built from the item list, as starting points for the
// page templates (XHTML 1.0 Transitional declared in the script's character code, kept in
// Shift_JIS here).
#include "generate/sample_pages.h"

#include <string>
#include <vector>

#include "generate/entry_list.h"
#include "model/charset.h"
#include "model/project_config.h"

namespace qp {
namespace {

// The fixed page texts are UTF-8 in the source; the pages are Shift_JIS like every text.
std::vector<std::string> PageHead(TCgiCharset code) {
    const bool utf8 = code == TCgiCharset::Utf8;
    return {
        utf8 ? R"(<?xml version="1.0" encoding="utf-8"?>)" : R"(<?xml version="1.0" encoding="euc-jp"?>)",
        R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">)",
        R"(<html xmlns="http://www.w3.org/1999/xhtml">)",
        "<head>",
        utf8 ? R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8" />)"
             : R"(<meta http-equiv="Content-Type" content="text/html; charset=euc-jp" />)",
        charset::Utf8ToSjis("<title>タイトル</title>"),
        "</head>",
        "<body>",
        charset::Utf8ToSjis("<h1>タイトル</h1>"),
        charset::Utf8ToSjis("<p>説明文</p>"),
    };
}

const char* const kFormStart = R"(<form name="form1" id="form1" method="post" action="<% __cgi_url__ %>">)";

void PageTail(std::vector<std::string>& entries) {
    entries.emplace_back("</form>");
    entries.emplace_back("</body>");
    entries.emplace_back("</html>");
}

}  // namespace

std::string MakeFormSampleHtml(const TProjectConfig& project) {
    std::vector<std::string> entries = PageHead(project.GetCharset());
    entries.emplace_back(R"(<p id="error"><% __error__ %></p>)");
    entries.emplace_back(kFormStart);
    for (const auto& item : project.GetItems()) entries.push_back(item->GetFormHtml());
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action1__" value="送信" />)"));
    PageTail(entries);
    return JoinEntries(entries);
}

std::string MakeConfirmSampleHtml(const TProjectConfig& project) {
    std::vector<std::string> entries = PageHead(project.GetCharset());
    entries.emplace_back(kFormStart);
    for (const auto& item : project.GetItems()) entries.push_back(item->GetConfirmHtml());
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action2__" value="送信" />)"));
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action3__" value="修正" />)"));
    PageTail(entries);
    return JoinEntries(entries);
}

}  // namespace qp
