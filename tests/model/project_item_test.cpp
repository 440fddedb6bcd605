#include <gtest/gtest.h>

#include "model/error.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_factory.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using test::ErrorOf;
using test::S;
using Lines = std::vector<std::string>;

Lines PerlOf(const TProjectItem& item) {
    Lines lines;
    item.WritePerl(lines);
    return lines;
}

TEST(ItemBase, SetNameAttrAcceptsLettersDigitsUnderscoreOnly) {
    TProjectItemText item("");
    for (const char* ok : {"item_1", "Email", "", "email", "_0"}) {
        item.SetNameAttr(ok);
        EXPECT_EQ(item.GetNameAttr(), ok);
    }
    item.SetNameAttr("keep");
    const std::string message = "name属性に設定できる文字は半角英数字とアンダーバー(_)です。";
    for (const std::string& bad : {std::string("e-mail"), std::string("a b"), S("名前"), std::string("abc."),
                                   std::string("x\0", 2), std::string("\xff")}) {
        EXPECT_EQ(ErrorOf([&] { item.SetNameAttr(bad); }), message);
        EXPECT_EQ(item.GetNameAttr(), "keep");
    }
}

TEST(ItemBase, SetNameValueRefusesOnlyTheDoubleQuote) {
    TProjectItemCheckbox item("");
    item.SetNameValue("O'Reilly \\ <b>");
    EXPECT_EQ(item.GetNameValue(), "O'Reilly \\ <b>");
    EXPECT_EQ(ErrorOf([&] { item.SetNameValue("say \"hi\""); }), "項目名称にダブルクオート(\")は使えません。");
    // A stray lead byte does not hide the quote.
    EXPECT_EQ(ErrorOf([&] { item.SetNameValue("\x81\""); }), "項目名称にダブルクオート(\")は使えません。");
    EXPECT_EQ(item.GetNameValue(), "O'Reilly \\ <b>");
    item.SetNameValue(S("表示ソフト"));
    EXPECT_EQ(item.GetNameValue(), S("表示ソフト"));
}

TEST(ItemBase, CommonChecksInOrder) {
    TProjectItemTextarea item("");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "name属性が設定されていません。");
    item.SetNameAttr("body");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "項目名称が設定されていません。");
    item.SetNameValue(S("本文"));
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "(no error)");
    item.SetRequired(true);
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }),
              "必須項目が入力されていないときのエラーメッセージが設定されていません。");
    item.SetRequiredError("x");
    item.SetSizeConstraint(200);  // no message needed for the multi-line item
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "(no error)");
}

TEST(ItemBase, EscapeHtml) {
    EXPECT_EQ(EscapeHtml("<a href=\"x\">&lt;</a>'"), "&lt;a href=&quot;x&quot;&gt;&amp;lt;&lt;/a&gt;'");
    EXPECT_EQ(EscapeHtml(S("表ソ\\@")), S("表ソ\\@"));
    EXPECT_EQ(EscapeHtml(""), "");
}

TEST(ItemBase, PerlFrameQuotesEveryText) {
    TProjectItemCheckbox item("agree");
    item.SetNameValue("O'Reilly\\");
    item.SetValue("secret value");
    EXPECT_EQ(PerlOf(item), (Lines{"  {", "    ATTR => 'agree',", "    TYPE => 'CHECKBOX',",
                                   "    NAME => 'O\\'Reilly\\\\',", "    REQUIRED => 0,",
                                   "    VALUE => 'secret value',", "    CONVERT => [", "      ],", "  },"}));
    item.SetRequired(true);
    item.SetRequiredError("costs $5 @ home\n__END__");
    const Lines lines = PerlOf(item);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[4], "    REQUIRED => 1,");
    EXPECT_EQ(lines[5], "    REQUIRED_ERROR =><<__END__,");
    EXPECT_EQ(lines[6], "costs \\$5 \\@ home\n\\__END__");
    EXPECT_EQ(lines[7], "__END__");
}

TEST(ItemBase, ConverterBlockAndTheMultiLineRowType) {
    TProjectItemRadio radio("r");
    radio.SetNameValue(S("性別"));
    TProjectItemTextarea area("t");
    area.SetNameValue("Body");
    TIniFile ini = TIniFile::FromText("");
    radio.WriteConverterParams(ini, "EML", 2);
    area.WriteConverterParams(ini, "EML", 1);
    const std::string text = ini.ToText();
    const std::string block2 = S(
        "PARAM_KEY2=性別=\r\nFIELD_NAME2=性別=\r\nPARAM_ROW_TYPE2=1\r\nPARAM_POS_TYPE2=0\r\n"
        "PARAM_ORDER2=2\r\nFIELD_ORDER2=2\r\nPARAM_REGEXT2=0\r\nTRIM2=0\r\nONE_LINE2=0\r\nAUTO_FORMAT2=0\r\n"
        "START_LINE2=1\r\nENDSTR2=\r\nENDSTR_REGEXP2=0\r\nMAIL_ADDRESS2=0\r\nMAIL_NAME2=0\r\n");
    EXPECT_EQ(text.substr(0, 7 + block2.size()), "[EML]\r\n" + block2);
    EXPECT_EQ(ini.ReadInteger("EML", "PARAM_ROW_TYPE1", -1), 0);
    EXPECT_EQ(ini.ReadString("EML", "PARAM_KEY1", ""), "Body=");
}

TEST(TextItem, NewItemEntryAndSampleLines) {
    TProjectItemText item("zip");
    item.SetNameValue("<Zip>");
    EXPECT_EQ(PerlOf(item), (Lines{"  {", "    ATTR => 'zip',", "    TYPE => 'TEXT',", "    NAME => '<Zip>',",
                                   "    REQUIRED => 0,", "    SIZE_CONSTRAINT => 0,", "    CONVERT => [",
                                   "      ],", "  },"}));
    EXPECT_EQ(item.GetFormHtml(), "&lt;Zip&gt;:<input name=\"zip\" type=\"text\" value=\"<% zip %>\" /><br />");
    EXPECT_EQ(item.GetConfirmHtml(),
              "&lt;Zip&gt;:<% zip %><input name=\"zip\" type=\"hidden\" value=\"<% zip %>\" /><br />");
    item.SetPassword(true);
    EXPECT_EQ(item.GetFormHtml(),
              "&lt;Zip&gt;:<input name=\"zip\" type=\"password\" value=\"<% zip %>\" /><br />");
    EXPECT_EQ(item.GetConfirmHtml(),
              "&lt;Zip&gt;:<% zip_password %><input name=\"zip\" type=\"hidden\" value=\"<% zip %>\" /><br />");
}

TEST(TextItem, FullEntryWithEveryOptionalPart) {
    TProjectItemText item("mail2");
    item.SetNameValue("Mail");
    item.SetSizeConstraint(100);
    item.SetSizeConstraintError("max $100");
    item.SetConvertTypes({ctStrip, ctNone, ctZenNumHyphenToHan, static_cast<TProjectItemConvertType>(9)});
    item.SetConstraintType(4);
    item.SetConstraintError("bad @");
    item.SetRetypeItemNameAttr("mail");
    item.SetRetypeError("differs");
    EXPECT_EQ(PerlOf(item),
              (Lines{"  {", "    ATTR => 'mail2',", "    TYPE => 'TEXT',", "    NAME => 'Mail',", "    REQUIRED => 0,",
                     "    SIZE_CONSTRAINT => 100,", "    SIZE_CONSTRAINT_ERROR =><<__END__,", "max \\$100", "__END__",
                     "    CONVERT => [", "      \\&Quillpost::strip,", "      \\&Quillpost::zen_num_hyphen_to_han,",
                     "      ],", "    CONSTRAINT_REGEXP =><<__END__,",
                     "[0-9A-Za-z_!#\\$%&*+-/=?^_{|}~.]+\\@[0-9,A-Z,a-z][0-9,a-z,A-Z,_,.,-]*", "__END__",
                     "    CONSTRAINT_REGEXP_ERROR =><<__END__,", "bad \\@", "__END__", "    RETYPE_ATTR => 'mail',",
                     "    RETYPE_ERROR =><<__END__,", "differs", "__END__", "  },"}));
}

TEST(TextItem, ConstraintPatternsAndUnusualKinds) {
    TProjectItemText item("a");
    const std::vector<std::pair<int, std::string>> kinds = {
        {1, "^[0-9]*$"}, {2, "^[a-zA-Z]*$"}, {3, "^[0-9a-zA-Z]*$"}, {5, "^\\d{3}-\\d{4}$"}, {6, ""}};
    item.SetConstraintRegexp("^\\d{3}-\\d{4}$");
    for (const auto& [kind, pattern] : kinds) {
        item.SetConstraintType(static_cast<std::uint8_t>(kind));
        EXPECT_EQ(item.ConstraintPattern(), pattern);
    }
    // Kind 0 with a message (possible from a file): the message lines but no pattern lines.
    item.SetConstraintType(0);
    item.SetConstraintError("e");
    const Lines lines = PerlOf(item);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "    CONSTRAINT_REGEXP =><<__END__,"), 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "    CONSTRAINT_REGEXP_ERROR =><<__END__,"), 1);
    // A retype target with an empty message still writes the here-document, with an empty body.
    item.SetRetypeItemNameAttr("o'k");
    const Lines retype = PerlOf(item);
    const auto at = std::find(retype.begin(), retype.end(), "    RETYPE_ATTR => 'o\\'k',");
    ASSERT_NE(at, retype.end());
    EXPECT_EQ(*(at + 1), "    RETYPE_ERROR =><<__END__,");
    EXPECT_EQ(*(at + 2), "");
    EXPECT_EQ(*(at + 3), "__END__");
}

TEST(TextItem, ChecksFourToSevenInOrder) {
    TProjectItemText item("a");
    item.SetNameValue("A");
    item.SetSizeConstraint(10);
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "サイズ制限に違反したときのエラーメッセージが設定されていません。");
    item.SetSizeConstraintError("too long");
    item.SetConstraintType(5);
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "入力値制限に違反したときのエラーメッセージが設定されていません。");
    item.SetConstraintError("bad");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "入力値制限の正規表現が設定されていません。");
    item.SetConstraintRegexp("^a$");
    item.SetRetypeItemNameAttr("b");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "再入力項目が一致しないときのエラーメッセージが設定されていません。");
    item.SetRetypeError("differ");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "(no error)");
    item.SetSizeConstraint(-5);
    EXPECT_EQ(item.GetSizeConstraint(), 10);
}

TEST(TextItem, IniKeysConversionsAndRenumbering) {
    TProjectItemText item("t");
    item.SetConvertTypes({ctStrip, ctNone, ctZenNumHyphenToHan});
    item.SetSizeConstraint(20);
    item.SetSizeConstraintError(S("長すぎます"));
    TIniFile ini = TIniFile::FromText("");
    item.WriteIni(ini, "ITEM_0");
    EXPECT_EQ(ini.ToText(), S("[ITEM_0]\r\nType=TEXT\r\nNameAttr=t\r\nNameValue=\r\nRequired=0\r\nRequiredError=\r\n"
                              "SizeConstraint=20\r\nSizeConstraintError=長すぎます\r\nConvertType0=7\r\n"
                              "ConvertType1=1\r\nConstraintType=0\r\nConstraintRegexp=\r\nConstraintError=\r\n"
                              "RetypeItemNameAttr=\r\nRetypeError=\r\nPassword=0\r\n\r\n"));

    const TIniFile file = TIniFile::FromText(
        "[S]\r\nNameAttr=n\r\nSizeConstraint=-3\r\nConvertType1=3\r\nConvertType3=4\r\nConvertType5=6\r\n"
        "ConstraintType=300\r\nPassword=1\r\n");
    TProjectItemText loaded("");
    loaded.ReadIni(file, "S");
    EXPECT_EQ(loaded.GetSizeConstraint(), 0);
    EXPECT_EQ(loaded.GetConvertTypes(), (std::vector<TProjectItemConvertType>{ctHyphenDelete, ctZenAlphabetToHan}));
    EXPECT_EQ(loaded.GetConstraintType(), 300 & 0xFF);
    EXPECT_TRUE(loaded.GetPassword());
    EXPECT_EQ(loaded.GetSizeConstraintError(), "");
    TIniFile out = TIniFile::FromText("");
    loaded.WriteIni(out, "S");
    EXPECT_EQ(out.ReadInteger("S", "ConvertType0", 0), 3);
    EXPECT_EQ(out.ReadInteger("S", "ConvertType1", 0), 4);
    EXPECT_FALSE(out.ValueExists("S", "ConvertType2"));
}

TEST(TextItem, ReadIniStopsAtARefusedName) {
    const TIniFile file = TIniFile::FromText("[S]\r\nNameAttr=bad-name\r\nSizeConstraint=5\r\n");
    TProjectItemText item("");
    EXPECT_EQ(ErrorOf([&] { item.ReadIni(file, "S"); }),
              "name属性に設定できる文字は半角英数字とアンダーバー(_)です。");
    EXPECT_EQ(item.GetSizeConstraint(), 0);
}

TEST(TextItem, ItemDeletedClearsOnlyAMatchingRetypeTarget) {
    TProjectItemText text("confirm");
    text.SetRetypeItemNameAttr("EMAIL");
    text.SetRetypeError("differ");
    TProjectItemText other("email");
    text.ItemDeleted(&other);  // names compare byte for byte
    EXPECT_EQ(text.GetRetypeItemNameAttr(), "EMAIL");
    TProjectItemText target("EMAIL");
    text.ItemDeleted(&target);
    EXPECT_EQ(text.GetRetypeItemNameAttr(), "");
    EXPECT_EQ(text.GetRetypeError(), "differ");
    const Lines lines = PerlOf(text);
    for (const std::string& line : lines) EXPECT_EQ(line.find("RETYPE"), std::string::npos) << line;
}

TEST(TextareaItem, EntrySampleLinesAndKeys) {
    TProjectItemTextarea item("body");
    item.SetNameValue(S("本文"));
    EXPECT_EQ(PerlOf(item), (Lines{"  {", "    ATTR => 'body',", "    TYPE => 'TEXTAREA',", S("    NAME => '本文',"),
                                   "    REQUIRED => 0,", "    SIZE_CONSTRAINT => 0,", "    CONVERT => [", "      ],",
                                   "  },"}));
    EXPECT_EQ(item.GetFormHtml(), S("本文:<textarea name=\"body\"><% body %></textarea><br />"));
    EXPECT_EQ(item.GetConfirmHtml(),
              S("本文:<% body_br %><input name=\"body\" type=\"hidden\" value=\"<% body %>\" /><br />"));
    item.SetSizeConstraint(200);
    item.SetSizeConstraintError("@max");
    const Lines lines = PerlOf(item);
    EXPECT_EQ(lines[5], "    SIZE_CONSTRAINT => 200,");
    EXPECT_EQ(lines[6], "    SIZE_CONSTRAINT_ERROR =><<__END__,");
    EXPECT_EQ(lines[7], "\\@max");

    TIniFile ini = TIniFile::FromText("");
    item.WriteIni(ini, "I");
    TProjectItemTextarea back("");
    back.ReadIni(ini, "I");
    EXPECT_EQ(back.GetSizeConstraint(), 200);
    EXPECT_EQ(back.GetSizeConstraintError(), "@max");
    EXPECT_EQ(back.GetNameValue(), S("本文"));
}

TEST(CheckboxItem, SampleLinesChecksAndTheValueInTheEntry) {
    TProjectItemCheckbox item("news");
    item.SetNameValue("News");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "選択値が設定されていません。");
    item.SetNameValue("");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "項目名称が設定されていません。");
    item.SetNameValue("News");
    item.SetValue("A&B");
    EXPECT_EQ(ErrorOf([&] { item.Validate(); }), "(no error)");
    EXPECT_EQ(item.GetFormHtml(),
              "News:<input type=\"checkbox\" name=\"news\" value=\"A&amp;B\" <% news_checked %> />A&amp;B<br />");
    EXPECT_EQ(item.GetConfirmHtml(),
              "News:<% news %><input name=\"news\" type=\"hidden\" value=\"<% news %>\" /><br />");
    EXPECT_EQ(PerlOf(item)[5], "    VALUE => 'A&B',");
}

TEST(ChoiceItems, ValuesDropEmptyLinesAndRoundTripThroughCommaText) {
    TProjectItemRadio radio("r");
    radio.SetValues({"", "a b", "", "c,d", "  ", ""});
    EXPECT_EQ(radio.GetValues(), (Lines{"a b", "c,d", "  "}));
    radio.SetValues({"", ""});
    EXPECT_TRUE(radio.GetValues().empty());
    radio.SetNameValue("R");
    EXPECT_EQ(ErrorOf([&] { radio.Validate(); }), "選択値が設定されていません。");

    radio.SetValues({"a b", "c,d", "x"});
    TIniFile ini = TIniFile::FromText("");
    radio.WriteIni(ini, "I");
    EXPECT_EQ(ini.ReadString("I", "Values", ""), "\"a b\",\"c,d\",x");
    TProjectItemRadio back("");
    back.ReadIni(ini, "I");
    EXPECT_EQ(back.GetValues(), (Lines{"a b", "c,d", "x"}));

    const TIniFile hand = TIniFile::FromText("[I]\r\nValues=two words,,x,\r\n");
    back.ReadIni(hand, "I");
    EXPECT_EQ(back.GetValues(), (Lines{"two", "words", "x"}));
}

TEST(ChoiceItems, SampleLinesEscapeOnlyOutsideTheMark) {
    TProjectItemRadio radio("sex");
    radio.SetNameValue(S("性別"));
    radio.SetValues({S("男"), S("女")});
    EXPECT_EQ(radio.GetFormHtml(),
              S("性別:<br />\r\n"
                "<input type=\"radio\" name=\"sex\" value=\"男\" <% sex_checked(男) %> />男<br />\r\n"
                "<input type=\"radio\" name=\"sex\" value=\"女\" <% sex_checked(女) %> />女<br />\r\n"));
    TProjectItemPopupmenu menu("m");
    menu.SetNameValue("M");
    menu.SetValues({"a<b"});
    EXPECT_EQ(menu.GetFormHtml(),
              "M:<select name=\"m\">\r\n<option value=\"a&lt;b\" <% m_selected(a<b) %>>a&lt;b</option>\r\n"
              "</select><br />\r\n");
    radio.SetValues({});
    EXPECT_EQ(radio.GetFormHtml(), S("性別:<br />\r\n"));
    EXPECT_EQ(menu.GetConfirmHtml(), "M:<% m %><input name=\"m\" type=\"hidden\" value=\"<% m %>\" /><br />");

    radio.SetValues({"a", "it's"});
    Lines r = PerlOf(radio);
    EXPECT_EQ(std::vector<std::string>(r.begin() + 5, r.begin() + 9),
              (Lines{"    VALUES => [", "      'a',", "      'it\\'s',", "      ],"}));
    Lines m;
    TProjectItemPopupmenu menu2("sex");
    menu2.SetNameValue(S("性別"));
    menu2.SetValues({"a", "it's"});
    menu2.WritePerl(m);
    ASSERT_EQ(r.size(), m.size());
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (i == 2) {
            EXPECT_EQ(r[i], "    TYPE => 'RADIO',");
            EXPECT_EQ(m[i], "    TYPE => 'POPUPMENU',");
        } else {
            EXPECT_EQ(r[i], m[i]);
        }
    }
}

TEST(ItemFactory, CreatesExactlyTheFiveTypeWords) {
    for (const char* word : {"TEXT", "TEXTAREA", "CHECKBOX", "RADIO", "POPUPMENU"}) {
        const auto item = CreateItem(word);
        EXPECT_EQ(item->GetTypeName(), word);
        EXPECT_EQ(item->GetNameAttr(), "");
    }
    EXPECT_NE(dynamic_cast<TProjectItemTextarea*>(CreateItem("TEXTAREA").get()), nullptr);
    for (const char* bad : {"text", "", " TEXT", "TEXTAREA2", "CHECK"}) {
        EXPECT_EQ(ErrorOf([&] { CreateItem(bad); }), "不正なデータ型です。") << bad;
    }
}

}  // namespace
}  // namespace qp
