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

// Every field of the HTML5 form is named for a screen reader, says whether it is required
// in words, and carries its own message and invalid mark; the browser's own checks stay off.
TEST(SamplePages, Html5FieldsAreLabelledAndCarryTheirOwnErrors) {
    auto p = MakeFullProject();
    p->SetSampleStyle(TPageStyle::Html5);
    p->SetCharset(TCgiCharset::Utf8);
    const std::string form = U(MakeFormSampleHtml(*p));
    const std::string confirm = U(MakeConfirmSampleHtml(*p));
    for (const std::string& page : {form, confirm}) {
        EXPECT_EQ(page.rfind("<!DOCTYPE html>\r\n<html lang=\"ja\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
                             "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\r\n", 0),
                  0u);
        EXPECT_NE(page.find("novalidate>"), std::string::npos);
    }
    for (const auto& item : p->GetItems()) {
        const std::string attr = item->GetNameAttr();
        const bool choices = item->GetTypeName() == "RADIO" || item->GetTypeName() == "CHECKBOX";
        const std::size_t idAt = form.find(" id=\"" + attr + "\"");
        ASSERT_NE(idAt, std::string::npos) << attr;
        const std::size_t at = form.rfind(choices ? "<fieldset" : "<div class=\"field\">", idAt);
        const std::string field = form.substr(at, form.find(choices ? "</fieldset>" : "</div>\r\n</div>", idAt) - at);
        EXPECT_NE(field.find(choices ? "<legend>" : "<label for=\"" + attr + "\">"), std::string::npos) << attr;
        EXPECT_EQ(Count(field, " id=\"" + attr + "\""), 1u) << attr;
        EXPECT_EQ(Count(field, "<% " + attr + "_error %>"), 1u) << attr;
        EXPECT_NE(field.find("aria-describedby=\"" + attr + "-error\""), std::string::npos) << attr;
        EXPECT_NE(field.find("<% " + attr + "_invalid %>"), std::string::npos) << attr;
        EXPECT_EQ(field.find("必須") != std::string::npos, item->GetRequired()) << attr;
        EXPECT_EQ(field.find("aria-required=\"true\"") != std::string::npos, item->GetRequired()) << attr;
        EXPECT_EQ(Count(confirm, "<input type=\"hidden\" name=\"" + attr + "\" value=\"<% " + attr + " %>\">"), 1u);
    }
    EXPECT_EQ(form.find(" required"), std::string::npos);
    EXPECT_NE(form.find("type=\"email\" id=\"email\" name=\"email\" value=\"<% email %>\" autocomplete=\"email\""),
              std::string::npos);
    EXPECT_NE(form.find("type=\"email\" id=\"email2\""), std::string::npos);  // repeats the address
    EXPECT_NE(form.find("inputmode=\"numeric\""), std::string::npos);
    EXPECT_EQ(Count(form, "<div id=\"error\" role=\"alert\"><% __error_summary__ %></div>"), 1u);
    EXPECT_EQ(Count(confirm, "__error"), 0u);
    EXPECT_LT(confirm.find("<dt>"), confirm.find("__action2__"));
    EXPECT_LT(confirm.find("__action2__"), confirm.find("__action3__"));
}

}  // namespace
}  // namespace qp::test
