// The checks before a make and before an upload: order, conditions and exact messages.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model/error.h"
#include "model/item_checkbox.h"
#include "model/project_config.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

std::string MakeError(const TProjectConfig& p) {
    try {
        p.CheckForMake();
    } catch (const Error& e) {
        return e.Message();
    }
    return "";
}

std::string UploadError(const TProjectConfig& p) {
    try {
        p.CheckForUpload();
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

TEST(CheckForMake, NewProjectReportsOnlyMissingItems) {
    TProjectConfig p;
    EXPECT_EQ(MakeError(p), "項目が設定されていません。");
}

TEST(CheckForMake, EachCheckInOrder) {
    // Each step empties one more setting, from the last check to the first, so every
    // message shows up exactly when its own check is the first to fail.
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
    for (const auto& step : steps) {
        step.breakIt(p);
        EXPECT_EQ(MakeError(p), step.message);
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

TEST(CheckForUpload, EachCheckInOrder) {
    TProjectConfig p;
    EXPECT_EQ(UploadError(p), "ホスト名(アドレス)が設定されていません。");
    p.SetFtpHostName("ftp.example.com");
    EXPECT_EQ(UploadError(p), "ユーザ名が設定されていません。");
    p.SetFtpUserName("user");
    EXPECT_EQ(UploadError(p), "パスワードが設定されていません。");
    p.SetFtpPassword("secret");
    EXPECT_EQ(UploadError(p), "CGIの設置フォルダが設定されていません。");  // file name is preset
    p.SetFtpFileName("");
    EXPECT_EQ(UploadError(p), "CGIのファイル名が設定されていません。");
    p.SetFtpFileName("mail.cgi");
    p.SetFtpDirectory("/cgi-bin");
    p.SetFtpChmod("");
    EXPECT_EQ(UploadError(p), "");
}

}  // namespace
}  // namespace qp::test
