// The sample pages: fixed frame, one entry per item, CR LF after every entry.
#include <gtest/gtest.h>

#include <string>

#include "fixtures.h"
#include "generate/sample_pages.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"euc-jp\"?>\r\n"
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\r\n"
    "<html xmlns=\"http://www.w3.org/1999/xhtml\">\r\n"
    "<head>\r\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\" />\r\n";

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(SamplePages, WithoutItemsOnlyTheButtons) {
    const auto p = MakeEmptyProject();
    const std::string title =
        S("<title>タイトル</title>\r\n</head>\r\n<body>\r\n<h1>タイトル</h1>\r\n<p>説明文</p>\r\n");
    const std::string form =
        "<form name=\"form1\" id=\"form1\" method=\"post\" action=\"<% __cgi_url__ %>\">\r\n";
    EXPECT_EQ(MakeFormSampleHtml(*p),
              kHead + title + "<p id=\"error\"><% __error__ %></p>\r\n" + form +
                  S("<input type=\"submit\" name=\"__action1__\" value=\"送信\" />\r\n") +
                  "</form>\r\n</body>\r\n</html>\r\n");
    EXPECT_EQ(MakeConfirmSampleHtml(*p),
              kHead + title + form + S("<input type=\"submit\" name=\"__action2__\" value=\"送信\" />\r\n") +
                  S("<input type=\"submit\" name=\"__action3__\" value=\"修正\" />\r\n") +
                  "</form>\r\n</body>\r\n</html>\r\n");
}

TEST(SamplePages, Utf8ProjectDeclaresUtf8) {
    auto p = MakeFullProject();
    const std::string eucForm = MakeFormSampleHtml(*p);
    const std::string eucConfirm = MakeConfirmSampleHtml(*p);
    p->SetCharset(TCgiCharset::Utf8);
    const auto utf8 = [](std::string page) {
        page.replace(page.find("encoding=\"euc-jp\""), 17, "encoding=\"utf-8\"");
        page.replace(page.find("charset=euc-jp"), 14, "charset=utf-8");
        return page;
    };
    EXPECT_EQ(MakeFormSampleHtml(*p), utf8(eucForm));
    EXPECT_EQ(MakeConfirmSampleHtml(*p), utf8(eucConfirm));
}

TEST(SamplePages, ItemEntriesInListOrder) {
    const auto p = MakeFullProject();
    const std::string form = MakeFormSampleHtml(*p);
    const std::string confirm = MakeConfirmSampleHtml(*p);
    std::size_t formAt = 0, confirmAt = 0;
    for (const auto& item : p->GetItems()) {
        const std::size_t f = form.find(item->GetFormHtml() + "\r\n", formAt);
        ASSERT_NE(f, std::string::npos) << item->GetNameAttr();
        formAt = f + 1;
        const std::size_t c = confirm.find(item->GetConfirmHtml() + "\r\n", confirmAt);
        ASSERT_NE(c, std::string::npos) << item->GetNameAttr();
        confirmAt = c + 1;
    }
    EXPECT_LT(formAt, form.find("__action1__"));
    EXPECT_LT(confirmAt, confirm.find("__action2__"));
}

TEST(SamplePages, ErrorMarkOnlyOnTheFormPage) {
    const auto p = MakeFullProject();
    EXPECT_EQ(Count(MakeFormSampleHtml(*p), "__error__"), 1u);
    EXPECT_EQ(Count(MakeConfirmSampleHtml(*p), "__error__"), 0u);
    const std::string form = MakeFormSampleHtml(*p);
    EXPECT_EQ(form.substr(form.size() - 9), "</html>\r\n");
    EXPECT_EQ(MakeFormSampleHtml(*p), form);
}

}  // namespace
}  // namespace qp::test
