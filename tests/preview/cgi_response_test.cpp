#include "preview/cgi_response.h"

#include <gtest/gtest.h>

#include "model/error.h"

namespace qp::preview {
namespace {

TEST(CgiResponse, DocumentWithCrLfOrLfLineEnds) {
    for (const std::string nl : {"\r\n", "\n"}) {
        const TCgiResponse r = ParseCgiResponse("Content-Type: text/html; charset=EUC-JP" + nl +
                                                "X-Extra:  a b " + nl + nl + "<p>x</p>");
        EXPECT_EQ(r.Status, 200);
        EXPECT_EQ(r.Reason, "OK");
        EXPECT_EQ(r.Header("content-type"), "text/html; charset=EUC-JP");
        EXPECT_EQ(r.Header("X-Extra"), "a b");
        EXPECT_EQ(r.Body, "<p>x</p>");
        EXPECT_TRUE(r.LocalRedirect.empty());
    }
}

TEST(CgiResponse, BodyIsKeptByteForByteAfterTheFirstEmptyLine) {
    const std::string body = std::string("a\r\n\r\nStatus: 500\r\n\0\xFF", 18);
    const TCgiResponse r = ParseCgiResponse("Content-Type: text/plain\r\n\r\n" + body);
    EXPECT_EQ(r.Status, 200);
    EXPECT_EQ(r.Body, body);
}

TEST(CgiResponse, StatusIsTakenOutOfTheHeaders) {
    TCgiResponse r =
        ParseCgiResponse("Status: 413 Request Entity Too Large\r\nContent-Type: text/html\r\n\r\n");
    EXPECT_EQ(r.Status, 413);
    EXPECT_EQ(r.Reason, "Request Entity Too Large");
    EXPECT_EQ(r.Header("Status"), "");
    ASSERT_EQ(r.Headers.size(), 1u);

    r = ParseCgiResponse("status: 404\r\nContent-Type: text/html\r\n\r\n");
    EXPECT_EQ(r.Status, 404);
    EXPECT_EQ(r.Reason, "Not Found");
}

TEST(CgiResponse, AbsoluteLocationIsAClientRedirect) {
    TCgiResponse r = ParseCgiResponse("Location: http://example.com/thanks.html\r\n\r\n");
    EXPECT_EQ(r.Status, 302);
    EXPECT_EQ(r.Header("Location"), "http://example.com/thanks.html");
    EXPECT_TRUE(r.LocalRedirect.empty());

    // An explicit status wins, with a document for old clients.
    r = ParseCgiResponse(
        "Status: 303 See Other\r\nLocation: http://example.com/\r\nContent-Type: text/html\r\n\r\nmoved");
    EXPECT_EQ(r.Status, 303);
    EXPECT_EQ(r.Body, "moved");
}

TEST(CgiResponse, LocalPathAloneIsALocalRedirect) {
    TCgiResponse r = ParseCgiResponse("Location: /form.cgi?x=1\n\n");
    EXPECT_EQ(r.LocalRedirect, "/form.cgi?x=1");

    // With anything else beside it, or a scheme-relative "//host", the browser is sent on.
    r = ParseCgiResponse("Location: /a\r\nContent-Type: text/html\r\n\r\n");
    EXPECT_TRUE(r.LocalRedirect.empty());
    EXPECT_EQ(r.Status, 302);
    r = ParseCgiResponse("Location: //evil.example/\r\n\r\n");
    EXPECT_TRUE(r.LocalRedirect.empty());
    EXPECT_EQ(r.Status, 302);
}

TEST(CgiResponse, FoldedFieldIsJoined) {
    const TCgiResponse r = ParseCgiResponse("Content-Type: text/html;\r\n\tcharset=UTF-8\r\n\r\n");
    EXPECT_EQ(r.Header("Content-Type"), "text/html; charset=UTF-8");
    // Blank parts add no blank, so the value is what a second reading of it would give.
    const TCgiResponse blank = ParseCgiResponse("Content-Type: text/html\r\nX-A:\r\n  \r\n b\r\n\r\n");
    EXPECT_EQ(blank.Header("X-A"), "b");
}

TEST(CgiResponse, MalformedResponsesAreRefused) {
    const char* const bad[] = {
        "",                                               // nothing at all
        "Content-Type: text/html\r\n<html>",              // no empty line
        "<html><body>oops</body></html>\n\n",             // not a header line
        "X-Only: 1\r\n\r\nbody",                          // neither Content-Type nor Location
        "Status: 20\r\nContent-Type: text/html\r\n\r\n",  // short status
        "Status: abc\r\nContent-Type: text/html\r\n\r\n",
        "Status: 2000 OK\r\nContent-Type: text/html\r\n\r\n",
        "Status: 999 Odd\r\nContent-Type: text/html\r\n\r\n",
        "Status: 200\r\nStatus: 500\r\nContent-Type: text/html\r\n\r\n",
        "Bad Name: x\r\nContent-Type: text/html\r\n\r\n",
        " leading: x\r\nContent-Type: text/html\r\n\r\n",
        "Content-Type: text/html\rSet-Cookie: a=b\r\n\r\n",  // lone CR inside a field
    };
    for (const char* output : bad) {
        EXPECT_THROW(ParseCgiResponse(output), Error) << output;
    }
}

}  // namespace
}  // namespace qp::preview
