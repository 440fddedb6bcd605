#pragma once
// The preview's own pages (refusals, CGI failures): UTF-8 HTML with a title and a short text.
#include <string>

namespace qp::preview {

// title is plain text; bodyHtml is put in as it is.
std::string StatusPageHtml(const std::string& title, const std::string& bodyHtml);

}  // namespace qp::preview
