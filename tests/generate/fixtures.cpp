#include "fixtures.h"

#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "support/item_literal.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

void Add(TProjectConfig& p, std::unique_ptr<TProjectItem> item) {
    p.AddItem(std::move(item));
}

}  // namespace

std::unique_ptr<TProjectConfig> MakeXhtmlProject() {
    auto p = std::make_unique<TProjectConfig>();
    p->SetSampleStyle(TPageStyle::Xhtml);
    p->SetFinishPageLocation(TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Xhtml));
    return p;
}

std::unique_ptr<TProjectConfig> MakeFullProject() {
    auto p = MakeXhtmlProject();

    auto name = Item<TProjectItemText>("name", "お名前");
    name->SetRequired(true);
    name->SetRequiredError(S("お名前を入力してください。"));
    name->SetConvertTypes({ctStrip, ctHanKanaToZen});
    Add(*p, std::move(name));

    auto email = Item<TProjectItemText>("email", "メールアドレス");
    email->SetRequired(true);
    email->SetRequiredError(S("メールアドレスは必須です（例: user@example.com）"));
    email->SetConvertTypes({ctZenAlphabetToHan, ctStrip});
    email->SetConstraintType(4);
    email->SetConstraintError(S("メールアドレスの形式が違います。$ や @ の位置を確認してください。"));
    Add(*p, std::move(email));

    auto email2 = Item<TProjectItemText>("email2", "メールアドレス(確認)");
    email2->SetRetypeItemNameAttr("email");
    email2->SetRetypeError(S("確認用のメールアドレスが一致しません。"));
    Add(*p, std::move(email2));

    auto zip = Item<TProjectItemText>("zip", "郵便番号");
    zip->SetConvertTypes({ctZenNumHyphenToHan});
    zip->SetConstraintType(5);
    zip->SetConstraintRegexp("^\\d{3}-\\d{4}$");
    zip->SetConstraintError(S("郵便番号は 123-4567 の形で入力してください。"));
    Add(*p, std::move(zip));

    auto code = Item<TProjectItemText>("code", "会員番号");
    code->SetConstraintType(1);
    code->SetConstraintError(S("会員番号は半角数字で入力してください。"));
    code->SetSizeConstraint(8);
    code->SetSizeConstraintError(S("会員番号は8桁までです。"));
    Add(*p, std::move(code));

    auto pass = Item<TProjectItemText>("pass", "合言葉");
    pass->SetPassword(true);
    pass->SetConstraintType(3);
    pass->SetConstraintError(S("合言葉は半角英数字です。"));
    Add(*p, std::move(pass));

    auto body = Item<TProjectItemTextarea>("body", "お問い合わせ内容（表示・ソフト）");
    body->SetRequired(true);
    body->SetRequiredError(S("内容を入力してください。\r\n__END__\r\n$100 は \\100 です。"));
    body->SetSizeConstraint(2000);
    Add(*p, std::move(body));

    auto news = Item<TProjectItemCheckbox>("news", "O'Reilly \\ 「ニュース」");
    news->SetValue(S("受け取る & <確認>"));
    Add(*p, std::move(news));

    auto kind = Item<TProjectItemRadio>("kind", "種別");
    kind->SetValues({S("質問"), S("ご意見"), S("<その他>")});
    kind->SetRequired(true);
    kind->SetRequiredError(S("種別を選んでください。"));
    Add(*p, std::move(kind));

    auto pref = Item<TProjectItemPopupmenu>("pref", "都道府県");
    pref->SetValues({S("東京都"), S("大阪府"), S("髙知県①")});
    Add(*p, std::move(pref));

    p->SetSendmailPath("/usr/sbin/sendmail");
    p->SetManagerMailFrom("<% email %>");
    p->SetManagerMailTo("webmaster@example.com");
    p->SetManagerMailSubject(S("[お問い合わせ] <% name %> 様より ($5 / user@example.com \\表)"));
    p->SetUseUserMail(true);
    p->SetUserMailFrom("O'Hara <info@example.com>");
    p->SetUserMailTo("<% email %>");
    p->SetUserMailSubject(S("お問い合わせありがとうございます"));
    p->SetUserMailBody(
        S("<% name %> 様\r\n\r\n料金は $100 (税込) です。\r\n連絡先: support@example.com\r\n"
          "__END__\r\n表示とソフトの件\r\n"));
    p->SetFormHtml(
        S("<html><body>\r\n<p><% __error__ %></p>\r\n<form action=\"<% __cgi_url__ %>\">"
          "</form>\r\n</body></html>"));
    p->SetUseConfirm(true);
    p->SetConfirmHtml(S("<p>確認: <% name %> / mail@example.com / $total</p>"));
    p->SetFinishPageMoveType(0);
    return p;
}

std::unique_ptr<TProjectConfig> MakeRedirectProject() {
    auto p = MakeXhtmlProject();
    auto text = Item<TProjectItemText>("item1", "ご意見");
    text->SetConstraintType(2);
    text->SetConstraintError(S("半角英字のみです。"));
    Add(*p, std::move(text));
    p->SetPerlPath("/usr/local/bin/perl");
    p->SetManagerMailFrom("form@example.com");
    p->SetManagerMailTo("admin@example.com");
    p->SetManagerMailSubject(S("ご意見"));
    p->SetUseUserMail(false);
    p->SetUserMailBody(S("使われない本文"));
    p->SetFormHtml(S("<p>フォーム</p>"));
    p->SetUseConfirm(false);
    p->SetConfirmHtml(S("<p>使われない確認画面</p>"));
    p->SetFinishPageMoveType(1);
    p->SetFinishPageLocation("https://example.com/thanks.html?from=form&amount=$5");
    return p;
}

std::unique_ptr<TProjectConfig> MakeEmptyProject() {
    auto p = MakeXhtmlProject();
    p->SetFinishPageLocation("");
    return p;
}

std::unique_ptr<TProjectConfig> MakeOddFinishProject() {
    auto p = MakeRedirectProject();
    p->SetFinishPageMoveType(7);
    p->SetFinishPageLocation(S("<p>完了しました。</p>"));
    return p;
}

std::vector<NamedProject> AllFixtureProjects() {
    return {{"full", MakeFullProject},
            {"redirect", MakeRedirectProject},
            {"empty", MakeEmptyProject},
            {"odd_finish", MakeOddFinishProject}};
}

}  // namespace qp::test
