// Feeds arbitrary bytes to the CGI response parser, as any program run in the preview may
// print them. It either refuses with the system's error or gives a response that can go on to
// the browser as it is: a status in range, a reason and fields without line breaks or other
// control characters, field names that are tokens, Status not among them, a type or a
// location, the document exactly as it followed the header block. Written out again as a
// CGI would, that response reads back the same.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/error.h"
#include "preview/cgi_response.h"

namespace {

using qp::preview::TCgiResponse;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_cgi_response: %s\n", what);
    std::abort();
}

bool FieldText(std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) return false;
    }
    return true;
}

bool Token(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) &&
            std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos)
            return false;
    }
    return true;
}

bool IsStatusName(std::string_view name) {
    if (name.size() != 6) return false;
    for (std::size_t i = 0; i < 6; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) != "status"[i]) return false;
    }
    return true;
}

void Check(std::string_view output, const TCgiResponse& r) {
    if (r.Status < 100 || r.Status > 599) Fail("status out of range");
    if (r.Reason.empty() || !FieldText(r.Reason)) Fail("reason empty or with a control character");
    for (const auto& [name, value] : r.Headers) {
        if (!Token(name) || IsStatusName(name)) Fail("a field name that is no token, or Status");
        if (!FieldText(value)) Fail("a control character in a field");
    }
    if (r.Header("Content-Type").empty() && r.Header("Location").empty()) Fail("neither type nor location");
    if (r.Body.size() >= output.size() || output.substr(output.size() - r.Body.size()) != r.Body ||
        output[output.size() - r.Body.size() - 1] != '\n')
        Fail("the document is not what followed the header block");
    if (!r.LocalRedirect.empty()) {
        if (r.LocalRedirect != r.Header("Location") || r.LocalRedirect[0] != '/' ||
            r.LocalRedirect.rfind("//", 0) == 0 || !r.Body.empty() || r.Status != 200)
            Fail("a local redirect that is not a local path alone");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view output(reinterpret_cast<const char*>(data), size);
    TCgiResponse r;
    try {
        r = qp::preview::ParseCgiResponse(output);
    } catch (const qp::Error&) {
        return 0;
    }
    Check(output, r);

    std::string again = "Status: " + std::to_string(r.Status) + " " + r.Reason + "\r\n";
    for (const auto& [name, value] : r.Headers) again += name + ": " + value + "\r\n";
    again += "\r\n" + r.Body;
    const TCgiResponse back = qp::preview::ParseCgiResponse(again);
    if (back.Status != r.Status || back.Reason != r.Reason || back.Headers != r.Headers ||
        back.Body != r.Body)
        Fail("the response written out again reads back otherwise");
    return 0;
}
