#include "preview/mail_view.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>

#include "preview/mail_decode.h"

namespace qp::preview {
namespace {

std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const char* const kStyle =
    "body{font-family:'Noto Sans CJK JP',sans-serif;margin:1.5em;color:#222}"
    ".mail{border:1px solid #bbb;border-radius:6px;margin:1em 0;padding:.5em 1em}"
    ".mail h2{font-size:1.1em;margin:.3em 0}"
    "table{border-collapse:collapse}th{text-align:left;padding-right:1em;color:#555;"
    "vertical-align:top;font-weight:normal}"
    "pre{font-family:'Noto Sans Mono CJK "
    "JP',monospace;white-space:pre-wrap;background:#f6f6f6;padding:.6em;border-radius:4px}"
    ".args{color:#666;font-size:.9em}";

}  // namespace

std::string EscapeHtmlUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

std::vector<TCapturedMail> ReadCapturedMails(const std::string& folder) {
    std::vector<TCapturedMail> mails;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto& path = it->path();
        if (path.extension() != ".eml") continue;
        TCapturedMail mail;
        mail.Name = path.stem().string();
        mail.Raw = ReadWhole(path);
        std::string args = ReadWhole(std::filesystem::path(path).replace_extension(".args"));
        std::size_t pos = 0;
        while (pos < args.size()) {
            const std::size_t lf = std::min(args.find('\n', pos), args.size());
            mail.Args.push_back(args.substr(pos, lf - pos));
            pos = lf + 1;
        }
        mails.push_back(std::move(mail));
    }
    std::sort(mails.begin(), mails.end(),
              [](const TCapturedMail& a, const TCapturedMail& b) { return a.Name > b.Name; });
    return mails;
}

std::string MailsPage(const std::vector<TCapturedMail>& mails, const std::string& formUrl) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"UTF-8\">\n"
        "<title>プレビュー: 送信されたメール</title>\n<style>";
    html += kStyle;
    html +=
        "</style>\n</head>\n<body>\n<h1>送信されたメール</h1>\n<p>プレビューのCGIが送ったメールです"
        "（実際には送信されていません）。新しいものが上にあります。<a href=\"";
    html += EscapeHtmlUtf8(formUrl);
    html += "\">フォームへ戻る</a></p>\n<p id=\"count\">" + std::to_string(mails.size()) + "通</p>\n";
    if (mails.empty()) html += "<p id=\"empty\">メールはまだありません。</p>\n";
    // Appended piece by piece: building "text" + std::string temporaries here makes GCC 12
    // report a false -Wrestrict at -O2 and above.
    auto add = [&html](std::initializer_list<std::string_view> pieces) {
        for (std::string_view piece : pieces) html.append(piece);
    };
    for (const auto& captured : mails) {
        const TDecodedMail mail = DecodeMail(captured.Raw);
        add({"<section class=\"mail\" id=\"mail-", EscapeHtmlUtf8(captured.Name), "\">\n"});
        add({"<h2 class=\"subject\">", EscapeHtmlUtf8(mail.Header("Subject")), "</h2>\n<table>\n"});
        for (const auto& [name, value] : mail.Headers) {
            const std::string escapedName = EscapeHtmlUtf8(name);
            add({"<tr><th>", escapedName, "</th><td data-header=\"", escapedName, "\">",
                 EscapeHtmlUtf8(value), "</td></tr>\n"});
        }
        add({"</table>\n<p class=\"args\">sendmail"});
        for (const auto& arg : captured.Args) add({" ", EscapeHtmlUtf8(arg)});
        add({"</p>\n<pre class=\"body\">", EscapeHtmlUtf8(mail.Body), "</pre>\n</section>\n"});
    }
    html += "</body>\n</html>\n";
    return html;
}

}  // namespace qp::preview
