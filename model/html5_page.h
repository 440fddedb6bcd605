#pragma once
// The frame of the HTML5 pages (samples and a new project's finish page): the head with
// its viewport and small style sheet, for phones and screen readers first.
#include <string>
#include <vector>

namespace qp {

// The lines from the document type to the opening of <main>, the page's title as its
// heading. title is Shift_JIS; charset is the script's ("euc-jp" or "utf-8").
std::vector<std::string> Html5PageHead(const std::string& title, const char* charset);

// The lines that close what Html5PageHead opened.
std::vector<std::string> Html5PageTail();

}  // namespace qp
