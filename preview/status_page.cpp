#include "preview/status_page.h"

#include "preview/mail_view.h"

namespace qp::preview {

std::string StatusPageHtml(const std::string& title, const std::string& bodyHtml) {
    return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"UTF-8\">\n<title>" +
           EscapeHtmlUtf8(title) + "</title>\n</head>\n<body>\n<h1>" + EscapeHtmlUtf8(title) + "</h1>\n" +
           bodyHtml + "</body>\n</html>\n";
}

}  // namespace qp::preview
