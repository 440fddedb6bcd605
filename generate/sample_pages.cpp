// Sample form and confirmation pages built from the item list, as starting points for the
// page templates (HTML5 or XHTML 1.0 Transitional declared in the script's character code,
// kept in Shift_JIS here).
#include "generate/sample_pages.h"

#include <string>
#include <vector>

#include "generate/entry_list.h"
#include "generate/html5_fields.h"
#include "model/charset.h"
#include "model/html5_page.h"
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

// The HTML5 pages: each field shows its own message, the summary at the top links to them.
std::vector<std::string> Html5Head(TCgiCharset code) {
    std::vector<std::string> entries =
        Html5PageHead(charset::Utf8ToSjis("タイトル"), code == TCgiCharset::Utf8 ? "utf-8" : "euc-jp");
    entries.push_back(charset::Utf8ToSjis("<p>説明文</p>"));
    return entries;
}

// novalidate: the script's own Japanese messages, not the browser's, tell what is wrong.
const char* const kHtml5FormStart =
    R"(<form name="form1" id="form1" method="post" action="<% __cgi_url__ %>" novalidate>)";

void Html5Tail(std::vector<std::string>& entries) {
    entries.emplace_back("</form>");
    for (std::string& line : Html5PageTail()) entries.push_back(std::move(line));
}

std::string Html5FormPage(const TProjectConfig& project) {
    std::vector<std::string> entries = Html5Head(project.GetCharset());
    entries.emplace_back(R"(<div id="error" role="alert"><% __error_summary__ %></div>)");
    entries.emplace_back(kHtml5FormStart);
    for (const auto& item : project.GetItems()) entries.push_back(Html5FormField(*item, project));
    entries.push_back(
        charset::Utf8ToSjis(R"(<div class="buttons"><input type="submit" name="__action1__" value="送信"></div>)"));
    Html5Tail(entries);
    return JoinEntries(entries);
}

std::string Html5ConfirmPage(const TProjectConfig& project) {
    std::vector<std::string> entries = Html5Head(project.GetCharset());
    entries.emplace_back(kHtml5FormStart);
    entries.emplace_back("<dl>");
    for (const auto& item : project.GetItems()) entries.push_back(Html5ConfirmField(*item));
    entries.emplace_back("</dl>");
    entries.emplace_back(R"(<div class="buttons">)");
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action2__" value="送信">)"));
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action3__" value="修正">)"));
    entries.emplace_back("</div>");
    Html5Tail(entries);
    return JoinEntries(entries);
}

std::string XhtmlFormPage(const TProjectConfig& project) {
    std::vector<std::string> entries = PageHead(project.GetCharset());
    entries.emplace_back(R"(<p id="error"><% __error__ %></p>)");
    entries.emplace_back(kFormStart);
    for (const auto& item : project.GetItems()) entries.push_back(item->GetFormHtml());
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action1__" value="送信" />)"));
    PageTail(entries);
    return JoinEntries(entries);
}

std::string XhtmlConfirmPage(const TProjectConfig& project) {
    std::vector<std::string> entries = PageHead(project.GetCharset());
    entries.emplace_back(kFormStart);
    for (const auto& item : project.GetItems()) entries.push_back(item->GetConfirmHtml());
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action2__" value="送信" />)"));
    entries.push_back(charset::Utf8ToSjis(R"(<input type="submit" name="__action3__" value="修正" />)"));
    PageTail(entries);
    return JoinEntries(entries);
}

}  // namespace

std::string MakeFormSampleHtml(const TProjectConfig& project) {
    return MakeFormSampleHtml(project, project.GetSampleStyle());
}

std::string MakeConfirmSampleHtml(const TProjectConfig& project) {
    return MakeConfirmSampleHtml(project, project.GetSampleStyle());
}

std::string MakeFormSampleHtml(const TProjectConfig& project, TPageStyle style) {
    return style == TPageStyle::Xhtml ? XhtmlFormPage(project) : Html5FormPage(project);
}

std::string MakeConfirmSampleHtml(const TProjectConfig& project, TPageStyle style) {
    return style == TPageStyle::Xhtml ? XhtmlConfirmPage(project) : Html5ConfirmPage(project);
}

}  // namespace qp
