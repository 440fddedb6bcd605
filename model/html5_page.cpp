#include "model/html5_page.h"

namespace qp {
namespace {

// Readable at 360 px: one column, 16 px inputs (phones zoom into smaller ones), a focus
// ring that every field shows; from 40em on, the label stands beside its field.
const char* const kStyleSheet[] = {
    "<style>",
    "body { margin: 0; padding: 1rem; font-family: sans-serif; font-size: 1rem; line-height: 1.6; color: #1a1a1a; background: #fff; }",
    "main { max-width: 44rem; margin: 0 auto; }",
    "h1 { font-size: 1.5rem; line-height: 1.3; }",
    ".field { margin: 0 0 1.25rem; padding: 0; border: 0; min-width: 0; }",
    ".field > label, .field > legend { display: block; padding: 0; font-weight: bold; }",
    ".required { margin-left: 0.5em; padding: 0 0.4em; font-size: 0.875rem; font-weight: normal; color: #fff; background: #b00020; border-radius: 3px; }",
    "input, select, textarea, button { font: inherit; font-size: 1rem; }",
    "input[type=\"text\"], input[type=\"email\"], input[type=\"tel\"], input[type=\"password\"], select, textarea { box-sizing: border-box; width: 100%; padding: 0.5rem; border: 1px solid #6b6b6b; border-radius: 4px; background: #fff; color: inherit; }",
    "textarea { min-height: 10rem; }",
    ".choice { display: block; padding: 0.25rem 0; }",
    ".choice input { width: 1.25rem; height: 1.25rem; margin: 0 0.5rem 0 0; vertical-align: middle; }",
    "input[aria-invalid=\"true\"], select[aria-invalid=\"true\"], textarea[aria-invalid=\"true\"] { border: 2px solid #b00020; }",
    ".error { display: block; color: #b00020; font-weight: bold; }",
    ".error:empty { display: none; }",
    "#error { margin: 0 0 1.5rem; padding: 0.75rem 1rem; border: 3px solid #b00020; }",
    "#error:empty { display: none; }",
    "#error ul { margin: 0; padding-left: 1.25rem; }",
    "#error a { color: #b00020; font-weight: bold; }",
    "dl { margin: 0 0 1.5rem; }",
    "dt { font-weight: bold; }",
    "dd { margin: 0 0 1rem; overflow-wrap: anywhere; }",
    ".buttons { margin-top: 1.5rem; }",
    ".buttons input { min-height: 2.75rem; margin: 0 0.5rem 0.5rem 0; padding: 0.5rem 1.5rem; }",
    ":focus { outline: 3px solid #0b57d0; outline-offset: 2px; }",
    "@media (min-width: 40em) {",
    "  .field > label, .field > legend { float: left; width: 13rem; padding: 0.5rem 1rem 0 0; box-sizing: border-box; }",
    "  .field > legend { padding-top: 0.25rem; }",
    "  .field > .control { margin-left: 13rem; }",
    "  .field::after { content: \"\"; display: block; clear: both; }",
    "  dl { display: grid; grid-template-columns: 13rem 1fr; gap: 0 1rem; }",
    "}",
    "</style>",
};

}  // namespace

std::vector<std::string> Html5PageHead(const std::string& title, const char* charset) {
    std::vector<std::string> lines = {
        "<!DOCTYPE html>",
        "<html lang=\"ja\">",
        "<head>",
        std::string("<meta charset=\"") + charset + "\">",
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">",
        "<title>" + title + "</title>",
    };
    lines.insert(lines.end(), std::begin(kStyleSheet), std::end(kStyleSheet));
    lines.insert(lines.end(), {"</head>", "<body>", "<main>", "<h1>" + title + "</h1>"});
    return lines;
}

std::vector<std::string> Html5PageTail() {
    return {"</main>", "</body>", "</html>"};
}

}  // namespace qp
