#include "preview/cgi_response.h"

#include <algorithm>
#include <cctype>

#include "model/error.h"

namespace qp::preview {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

[[noreturn]] void Refuse(const std::string& why) {
    throw Error("CGIの応答が正しくありません: " + why);
}

}  // namespace

std::string TCgiResponse::Header(std::string_view name) const {
    for (const auto& [key, value] : Headers) {
        if (EqualsNoCase(key, name)) return value;
    }
    return {};
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Request Entity Too Large";
        case 421:
            return "Misdirected Request";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "Unknown";
    }
}

TCgiResponse ParseCgiResponse(std::string_view output) {
    TCgiResponse response;
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t pos = 0;
    bool ended = false;
    while (pos < output.size()) {
        const std::size_t lf = output.find('\n', pos);
        if (lf == std::string_view::npos) break;
        std::string_view line = output.substr(pos, lf - pos);
        pos = lf + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) {
            ended = true;
            break;
        }
        if (line.front() == ' ' || line.front() == '\t') {
            if (fields.empty()) Refuse("最初の行が空白で始まっています。");
            // One blank joins the parts, and a blank part adds none: a value never starts or
            // ends with a blank, folded or not.
            const std::string_view more = Trim(line);
            std::string& value = fields.back().second;
            if (!more.empty() && !value.empty()) value += ' ';
            value += more;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            Refuse("ヘッダーの行ではありません: " + std::string(line.substr(0, 80)));
        }
        const std::string_view name = line.substr(0, colon);
        if (!std::all_of(name.begin(), name.end(), IsTokenChar)) {
            Refuse("ヘッダーの名前が正しくありません: " + std::string(name.substr(0, 80)));
        }
        fields.emplace_back(std::string(name), std::string(Trim(line.substr(colon + 1))));
    }
    if (!ended) Refuse("ヘッダーの終わり（空行）がありません。");
    response.Body = std::string(output.substr(pos));

    bool hasStatus = false;
    for (auto& [name, value] : fields) {
        if (std::any_of(value.begin(), value.end(), [](char c) {
                return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
            })) {
            Refuse(name + " に制御文字が含まれています。");
        }
        if (EqualsNoCase(name, "Status")) {
            if (hasStatus) Refuse("Status が二つあります。");
            hasStatus = true;
            if (value.size() < 3 ||
                !std::all_of(value.begin(), value.begin() + 3, [](char c) { return c >= '0' && c <= '9'; }) ||
                (value.size() > 3 && value[3] != ' ')) {
                Refuse("Status が正しくありません: " + value);
            }
            response.Status = std::stoi(value.substr(0, 3));
            if (response.Status < 100 || response.Status > 599) Refuse("Status が正しくありません: " + value);
            const std::string reason(Trim(std::string_view(value).substr(3)));
            response.Reason = reason.empty() ? ReasonPhrase(response.Status) : reason;
            continue;
        }
        response.Headers.emplace_back(std::move(name), std::move(value));
    }

    const std::string location = response.Header("Location");
    const bool hasType = !response.Header("Content-Type").empty();
    if (!location.empty()) {
        const bool localPath = location[0] == '/' && location.rfind("//", 0) != 0;
        if (localPath && !hasStatus && !hasType && response.Body.empty() && response.Headers.size() == 1) {
            response.LocalRedirect = location;
        } else if (!hasStatus) {
            response.Status = 302;
            response.Reason = ReasonPhrase(302);
        }
    } else if (!hasType) {
        Refuse("Content-Type がありません。");
    }
    return response;
}

}  // namespace qp::preview
