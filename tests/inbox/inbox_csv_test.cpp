// The CSV export: its exact bytes in UTF-8 with BOM and in Shift_JIS, the guard against
// cells a spreadsheet would run, and the characters Shift_JIS cannot hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "inbox/inbox_csv.h"
#include "support/sjis_literal.h"

namespace qp::test {
namespace {

TInboxEntry Entry(std::int64_t received, TInboxMailStatus status, std::vector<TInboxField> fields) {
    TInboxEntry entry;
    entry.Message.Received = received;
    entry.Message.Fields = std::move(fields);
    entry.Status.Status = status;
    return entry;
}

class InboxCsv : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("TZ", "Asia/Tokyo", 1);
        ::tzset();
    }
    void TearDown() override {
        ::unsetenv("TZ");
        ::tzset();
    }
    // Newest first, as the store gives them.
    const std::vector<TInboxEntry> entries_ = {
        Entry(1700000100, TInboxMailStatus::Failed,
              {{"name", "お名前", "=HYPERLINK(\"x\")"}, {"body", "内容", "一行目\n\"二\",行目😀"}, {"tel", "電話", "-1"}}),
        Entry(1700000050, TInboxMailStatus::Unknown, {{"name", "お名前", "\ttab"}, {"body", "内容", "\rcr 𠮷"}}),
        Entry(1700000000, TInboxMailStatus::Mailed, {{"name", "お名前", "髙橋①"}, {"body", "内容", "+x @y\tz"}}),
    };
    // Oldest first; a formula's start quoted away; quotes, commas and line breaks quoted.
    const std::string expected_ =
        "受信日時,送信状況,お名前,内容,電話\r\n"
        "2023/11/15 07:13:20,送信済み,髙橋①,'+x @y\tz,\r\n"
        "2023/11/15 07:14:10,不明,'\ttab,\"'\rcr 𠮷\",\r\n"
        "2023/11/15 07:15:00,メール未送信,\"'=HYPERLINK(\"\"x\"\")\",\"一行目\n\"\"二\"\",行目😀\",'-1\r\n";
};

TEST_F(InboxCsv, Utf8HasABomAndEveryCharacter) {
    const TInboxCsv csv = MakeInboxCsv(entries_, TCsvEncoding::Utf8Bom);
    EXPECT_EQ(csv.Bytes, "\xEF\xBB\xBF" + expected_);
    EXPECT_TRUE(csv.Replaced.empty());
}

TEST_F(InboxCsv, ShiftJisTurnsWhatItCannotHoldIntoGetaAndSaysWhere) {
    const TInboxCsv csv = MakeInboxCsv(entries_, TCsvEncoding::Cp932);
    std::string geta = expected_;
    geta.replace(geta.find("𠮷"), std::string("𠮷").size(), "〓");
    geta.replace(geta.find("😀"), std::string("😀").size(), "〓");
    EXPECT_EQ(csv.Bytes, S(geta));
    EXPECT_EQ(csv.Replaced, (std::vector<std::string>{"2件目（2023/11/15 07:14:10）の「内容」: 𠮷 を 〓 にしました",
                                                      "3件目（2023/11/15 07:15:00）の「内容」: 😀 を 〓 にしました"}));
}

}  // namespace
}  // namespace qp::test
