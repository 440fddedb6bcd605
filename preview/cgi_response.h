#pragma once
// The response block of a CGI program taken apart as a web server must: the header lines up
// to the first empty line, the Status and Location fields, and the document after them.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qp::preview {

struct TCgiResponse {
    int Status = 200;
    std::string Reason = "OK";
    // The fields to send on, in the program's order; Status is not among them.
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;
    // A local redirect ("Location: /path" alone): the server answers with that path instead.
    std::string LocalRedirect;

    // The value of the first field of that name (case-insensitive), or empty.
    std::string Header(std::string_view name) const;
};

// Parses the program's standard output. Lines may end in LF or CR LF. A response that is
// not a valid CGI response (no end of the header block, a malformed line or Status, neither
// Content-Type nor Location, a control character in a field) raises Error saying which.
TCgiResponse ParseCgiResponse(std::string_view output);

// The usual reason phrase of an HTTP status, or "Unknown".
const char* ReasonPhrase(int status);

}  // namespace qp::preview
