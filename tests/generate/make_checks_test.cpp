// The checks before a make and before an upload: order, conditions and exact messages.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "generate/make_checks.h"
#include "model/error.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/project_config.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

std::string MakeError(const TProjectConfig& p) {
    try {
        CheckForMake(p);
    } catch (const Error& e) {
        return e.Message();
    }
    return "";
}

std::string UploadError(const TProjectConfig& p) {
    try {
        CheckForUpload(p);
    } catch (const Error& e) {
        return e.Message();
    }
    return "";
}

// A project that passes CheckForMake with every optional part switched on.
void FillForMake(TProjectConfig& p) {
    if (p.GetItemCount() == 0) {
        auto item = std::make_unique<TProjectItemCheckbox>("agree");
        item->SetNameValue(S("同意"));
        p.AddItem(std::move(item));
    }
    p.SetManagerMailFrom("a@example.com");
    p.SetManagerMailTo("b@example.com");
    p.SetManagerMailSubject("s");
    p.SetUseUserMail(true);
    p.SetUserMailFrom("c@example.com");
    p.SetUserMailTo("<% email %>");
    p.SetUserMailSubject("t");
    p.SetUserMailBody("body");
    p.SetFormHtml("<p>form</p>");
    p.SetUseConfirm(true);
    p.SetConfirmHtml("<p>confirm</p>");
}

TEST(CheckForMake, NewProjectListsEveryMissingSetting) {
    TProjectConfig p;
    EXPECT_EQ(MakeError(p),
              "項目が設定されていません。\nメールのFromが設定されていません。\nメールのToが設定されていません。\n"
              "メールのSubjectが設定されていません。\nフォーム画面のHTMLが設定されていません。");
}

TEST(CheckForMake, EachCheckInOrder) {
    // Each step empties one more setting, from the last check to the first: every message
    // joins the list, in the checks' order, exactly when its own check fails.
    struct Step {
        std::function<void(TProjectConfig&)> breakIt;
        const char* message;
    };
    const std::vector<Step> steps = {
        {[](TProjectConfig& p) { p.SetSendmailPath(""); }, "sendmailのパスが設定されていません。"},
        {[](TProjectConfig& p) { p.SetPerlPath(""); }, "Perlのパスが設定されていません。"},
        {[](TProjectConfig& p) { p.SetFinishPageLocation(""); }, "完了画面のHTMLが設定されていません。"},
        {[](TProjectConfig& p) { p.SetConfirmHtml(""); }, "確認画面のHTMLが設定されていません。"},
        {[](TProjectConfig& p) { p.SetFormHtml(""); }, "フォーム画面のHTMLが設定されていません。"},
        {[](TProjectConfig& p) { p.SetUserMailBody(""); }, "自動返信メールの本文が設定されていません。"},
        {[](TProjectConfig& p) { p.SetUserMailSubject(""); },
         "自動返信メールのSubjectが設定されていません。"},
        {[](TProjectConfig& p) { p.SetUserMailTo(""); }, "自動返信メールのToが設定されていません。"},
        {[](TProjectConfig& p) { p.SetUserMailFrom(""); }, "自動返信メールのFromが設定されていません。"},
        {[](TProjectConfig& p) { p.SetManagerMailSubject(""); }, "メールのSubjectが設定されていません。"},
        {[](TProjectConfig& p) { p.SetManagerMailTo(""); }, "メールのToが設定されていません。"},
        {[](TProjectConfig& p) { p.SetManagerMailFrom(""); }, "メールのFromが設定されていません。"},
        {[](TProjectConfig& p) { p.DeleteItem(0); }, "項目が設定されていません。"},
    };
    TProjectConfig p;
    FillForMake(p);
    EXPECT_EQ(MakeError(p), "");
    std::string expected;
    for (const auto& step : steps) {
        step.breakIt(p);
        expected = step.message + (expected.empty() ? "" : "\n" + expected);
        EXPECT_EQ(MakeError(p), expected);
    }
}

TEST(CheckForMake, OptionalPartsAreSkippedWhenOff) {
    TProjectConfig p;
    FillForMake(p);
    p.SetUserMailBody("");
    p.SetUserMailFrom("");
    p.SetConfirmHtml("");
    p.SetUseUserMail(false);
    p.SetUseConfirm(false);
    EXPECT_EQ(MakeError(p), "");
}

TEST(CheckForMake, FinishPageMessagesFollowMoveType) {
    TProjectConfig p;
    FillForMake(p);
    p.SetFinishPageLocation("");
    p.SetFinishPageMoveType(1);
    EXPECT_EQ(MakeError(p), "完了画面のリダイレクト先URLが設定されていません。");
    p.SetFinishPageMoveType(2);
    EXPECT_EQ(MakeError(p), "");
}

TEST(CheckForMake, BlankValuesPass) {
    TProjectConfig p;
    FillForMake(p);
    p.SetManagerMailFrom(" ");
    EXPECT_EQ(MakeError(p), "");
}

TEST(CheckForMake, NewProjectPassesOnceFormPageIsSet) {
    TProjectConfig p;
    auto item = std::make_unique<TProjectItemCheckbox>("agree");
    p.AddItem(std::move(item));
    p.SetManagerMailFrom("a@example.com");
    p.SetManagerMailTo("b@example.com");
    p.SetManagerMailSubject("s");
    EXPECT_EQ(MakeError(p), "フォーム画面のHTMLが設定されていません。");
    p.SetFormHtml("x");
    EXPECT_EQ(MakeError(p), "");
}

// Out-of-range defences are refused with the field's label; the limits of the range pass.
TEST(CheckForMake, GuardValuesOutOfRange) {
    TProjectConfig p;
    FillForMake(p);
    const std::string hours = "迷惑送信対策の「フォームの有効期間(時間)」は1から720までの数にしてください。";
    const std::string seconds =
        "迷惑送信対策の「送信までの最短時間(秒)」は0から3600までの数で、フォームの有効期間より短くしてください。";
    const std::string count = "迷惑送信対策の「同じアドレスからの送信上限(回)」は0から1000までの数にしてください。";
    const std::string minutes = "迷惑送信対策の「送信上限を数える時間(分)」は1から10080までの数にしてください。";
    const std::string replies =
        "迷惑送信対策の「同じ宛先への自動返信上限(回/24時間)」は0から100までの数にしてください。";
    const std::string perHour = "迷惑送信対策の「自動返信の上限(通/1時間)」は0から1000までの数にしてください。";
    const std::string echo = "迷惑送信対策の「自動返信に載せる入力値の長さ(文字)」は0から100000までの数にしてください。";
    const std::string envelope =
        "迷惑送信対策の「エラーメールの返送先(エンベロープFrom)」には、メールアドレスを1つだけ入力してください。";
    const std::vector<std::pair<std::function<void(TGuardSettings&)>, std::string>> cases = {
        {[](TGuardSettings& g) { g.TokenHours = 0; }, hours},
        {[](TGuardSettings& g) { g.TokenHours = 721; }, hours},
        {[](TGuardSettings& g) { g.MinSeconds = -1; }, seconds},
        {[](TGuardSettings& g) { g.MinSeconds = 3601; }, seconds},
        {[](TGuardSettings& g) { g.TokenHours = 1, g.MinSeconds = 3600; }, seconds},
        {[](TGuardSettings& g) { g.LimitCount = -5; }, count},
        {[](TGuardSettings& g) { g.LimitCount = 1001; }, count},
        {[](TGuardSettings& g) { g.LimitMinutes = 0; }, minutes},
        {[](TGuardSettings& g) { g.ReplyLimit = -1; }, replies},
        {[](TGuardSettings& g) { g.ReplyLimit = 101; }, replies},
        {[](TGuardSettings& g) { g.ReplyPerHour = -1; }, perHour},
        {[](TGuardSettings& g) { g.ReplyPerHour = 1001; }, perHour},
        {[](TGuardSettings& g) { g.ReplyEchoChars = 100001; }, echo},
        // sendmail's -f takes one plain address, never an option or a list.
        {[](TGuardSettings& g) { g.EnvelopeFrom = "-oQ/tmp@example.com"; }, envelope},
        {[](TGuardSettings& g) { g.EnvelopeFrom = "a@example.com, b@example.com"; }, envelope},
        {[](TGuardSettings& g) { g.EnvelopeFrom = "a..b@example.com"; }, envelope},
        {[](TGuardSettings& g) { g.EnvelopeFrom = "=?utf-8?q?a?=@example.com"; }, envelope},
        {[](TGuardSettings& g) { g.EnvelopeFrom = "a@localhost"; }, envelope},
        {[](TGuardSettings& g) { g = {false, 0, 1, false, 0, 1, 0, true, 0, 0, ""}; }, ""},
        {[](TGuardSettings& g) { g = {true, 3599, 720, true, 1000, 10080, 100, false, 1000, 100000, "b.o-unce+x@mail.example.com"}; }, ""},
    };
    for (const auto& [change, message] : cases) {
        TGuardSettings g;
        change(g);
        p.SetGuard(g);
        EXPECT_EQ(MakeError(p), message) << g.TokenHours << " " << g.MinSeconds;
    }
}

// Pages that cannot work as meant are made with warnings, each pointing at the control to fix.
TEST(CheckForMake, WarnsOfMissingInputsHiddenFieldsAndTwiceGivenChoices) {
    TProjectConfig p;
    FillForMake(p);
    auto name = std::make_unique<TProjectItemCheckbox>("name");
    name->SetNameValue(S("氏名"));
    name->SetRequired(true);
    name->SetRequiredError("e");
    p.AddItem(std::move(name));
    auto menu = std::make_unique<TProjectItemPopupmenu>("pref");
    menu->SetNameValue(S("都道府県"));
    menu->SetValues({S("東京"), S("大阪"), S("東京"), S("東京")});
    p.AddItem(std::move(menu));
    p.SetFormHtml("<input name='agree'><INPUT NAME = \"pref\"><input data-name=\"name\">");
    p.SetConfirmHtml("<input type=hidden name=agree><input name=\"name\"/>");

    EXPECT_EQ(MakeError(p), "");  // warnings do not stop the make
    const std::vector<TMakeProblem> problems = FindMakeProblems(p);
    std::vector<std::string> seen;
    for (const TMakeProblem& problem : problems) {
        EXPECT_TRUE(problem.Warning);
        seen.push_back(problem.Control + " " + problem.Message);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "EditorFormHtml フォーム画面のHTMLに必須項目「氏名」の入力欄（name=\"name\"）がありません。"
                        "このままではフォームを送信できません。",
                        "EditorConfirmHtml 確認画面のHTMLに次の項目の隠しフィールドがありません。"
                        "送信するとその値が失われます: 都道府県",
                        "ItemGrid 項目「都道府県」の選択値「東京」が2回以上あります。",
                    }));

    p.SetFormHtml("<input name=name><input name=pref>");
    p.SetConfirmHtml("<input name=agree><input name=name><input name=pref>");
    p.SetUseConfirm(false);
    EXPECT_EQ(WarningLines(FindMakeProblems(p)).size(), 1u);  // only the choice is left
}

TEST(CheckForUpload, EachCheckInOrder) {
    TProjectConfig p;
    EXPECT_EQ(UploadError(p), "ホスト名(アドレス)が設定されていません。\nユーザ名が設定されていません。\n"
                              "CGIの設置フォルダが設定されていません。");
    p.SetFtpHostName("ftp.example.com");
    EXPECT_EQ(UploadError(p), "ユーザ名が設定されていません。\nCGIの設置フォルダが設定されていません。");
    p.SetFtpUserName("user");
    EXPECT_EQ(UploadError(p), "CGIの設置フォルダが設定されていません。");  // asked when connecting
    p.SetSavePassword(true);  // the file keeps it: it must be there
    const std::string noPassword = "パスワードが設定されていません。\nCGIの設置フォルダが設定されていません。";
    EXPECT_EQ(UploadError(p), noPassword);
    p.SetSftpKeyFile("/home/u/.ssh/id_ed25519");  // a key logs in to SFTP only
    EXPECT_EQ(UploadError(p), noPassword);
    p.SetFtpProtocol(TFtpProtocol::Sftp);
    EXPECT_EQ(UploadError(p), "CGIの設置フォルダが設定されていません。");
    p.SetFtpPassword("secret");
    EXPECT_EQ(UploadError(p), "CGIの設置フォルダが設定されていません。");  // file name is preset
    p.SetFtpFileName("");
    EXPECT_EQ(UploadError(p), "CGIのファイル名が設定されていません。\nCGIの設置フォルダが設定されていません。");
    p.SetFtpFileName("mail.cgi");
    p.SetFtpDirectory("/cgi-bin");
    p.SetFtpChmod("");
    EXPECT_EQ(UploadError(p), "");
}

}  // namespace
}  // namespace qp::test

namespace qp::test {
namespace {

// The inbox on needs an RSA key of at least 3072 bits: a missing, damaged or small one is
// refused naming the setting; off, nothing about it is checked.
TEST(MakeChecks, TheInboxOnNeedsAUsablePublicKey) {
    TProjectConfig p;
    FillForMake(p);
    const std::string refusal = "「受信データの公開鍵」が正しくありません。受信データの設定で鍵を作成してください。";
    p.Settings().Set(TSetting::InboxPublicKey, std::string("not base64!"));
    EXPECT_EQ(MakeError(p), "");
    p.Settings().Set(TSetting::UseInbox, true);
    // A 1024-bit RSA key, base64 of its DER form.
    const std::string small = RunShell("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 2>/dev/null"
                                       " | openssl pkey -pubout -outform DER | base64 -w0").out;
    for (const std::string& key : {std::string(), std::string("not base64!"), std::string("AAAA"), small}) {
        p.Settings().Set(TSetting::InboxPublicKey, key);
        EXPECT_EQ(MakeError(p), refusal) << key;
    }
}

}  // namespace
}  // namespace qp::test
