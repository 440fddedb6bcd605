// Records that the Perl runtime makes from hostile values open here, with OpenSSL, to what
// the visitor sent; a failed mail is kept and marked; a changed byte refuses its record only.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "inbox/inbox_key.h"
#include "inbox/inbox_record.h"
#include "inbox/inbox_store.h"
#include "inbox_site.h"
#include "model/charset.h"

namespace qp::test {
namespace {

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = bytes.find('\n', start);
        lines.push_back(bytes.substr(start, end - start));
        start = end == std::string::npos ? bytes.size() : end + 1;
    }
    return lines;
}

TEST(InboxRoundTrip, HostileValuesOfEveryKindOpenToExactlyWhatWasSent) {
    // ① and 髙 are in the Windows flavour of EUC-JP; 😀 and 𠮷 are not, and an EUC-JP page
    // gets them from the browser as character references.
    const std::string hostile = "①髙 \"quoted\" 'single' <b>&amp;\\ $x @{y}";
    for (const bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8 ? "UTF-8 script" : "EUC-JP script");
        InboxSite site(utf8);
        const auto code = [&](const std::string& text) {
            return utf8 ? text : charset::SjisToEucJp(charset::Utf8ToSjis(text));
        };
        const std::string beyond = utf8 ? "😀𠮷" : "&#128512;&#x20BB7;";
        const auto r = site.Post({{"name", code(hostile) + beyond},
                                  {"body", code("一行目\r\n二行目 \"①\"") + beyond + "\r\n=cmd|' /C calc'!A0"},
                                  {"agree", code("同意する①")},
                                  {"kind", code("\"q\"")},
                                  {"pref", code("=1+2")}});
        ASSERT_EQ(r.status, 0) << r.errors;
        ASSERT_NE(r.body.find("thanks"), std::string::npos) << r.head << r.body;
        EXPECT_NE(r.head.find("Content-Type: text/html"), std::string::npos) << r.head;
        EXPECT_EQ(r.errors, "");
        EXPECT_EQ(site.MailCount(), 1);

        struct stat st {};
        ASSERT_EQ(::stat(site.InboxFile().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const std::string file = ReadFile(site.InboxFile());
        for (const std::string& clear : {std::string("quoted"), std::string("203.0.113.7"), code("同意する"), code("東京")})
            EXPECT_EQ(file.find(clear), std::string::npos) << clear;

        const std::vector<std::string> lines = Lines(file);
        ASSERT_EQ(lines.size(), 2u);
        const TInboxPrivateKey key(site.KeyFile(), "");
        const auto message = OpenInboxMessage(lines[0], key);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->Address, "203.0.113.7");
        EXPECT_NEAR(static_cast<double>(message->Received), static_cast<double>(std::time(nullptr)), 60);
        const std::vector<TInboxField> expected = {
            {"name", "お名前 '①'", hostile + "😀𠮷"},
            {"body", "内容 'q' & <b>", "一行目\n二行目 \"①\"😀𠮷\n=cmd|' /C calc'!A0"},
            {"agree", "同意", "同意する①"},
            {"kind", "種別", "\"q\""},
            {"pref", "都道府県", "=1+2"}};
        EXPECT_EQ(message->Fields, expected);
        const auto status = OpenInboxStatus(lines[1], message->RecordKey);
        ASSERT_TRUE(status);
        EXPECT_EQ(status->Status, TInboxMailStatus::Mailed);
    }
}

TEST(InboxRoundTrip, AFailedSendmailFinishesKeepsTheMessageAndMarksItFailed) {
    InboxSite site;
    const auto r = site.Post({{"name", "taro"}}, 75);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.head.find("Content-Type: text/html"), std::string::npos) << "the finish page, not a 500: " << r.head;
    EXPECT_EQ(r.head.find("Status: 500"), std::string::npos);
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    EXPECT_NE(r.errors.find("kept in the inbox"), std::string::npos) << r.errors;

    const TInboxPrivateKey key(site.KeyFile(), "");
    TInboxStore store(site.Folder() + "/local.inbox"), aside(site.Folder() + "/local.inbox-bad");
    const TInboxImport import = ImportInboxFile(ReadFile(site.InboxFile()), store, aside, key);
    EXPECT_EQ(import.Added, 1u);
    EXPECT_EQ(import.MailFailed, 1u);
    EXPECT_EQ(DescribeImport(import, aside.Path()).front(), "1件の受信データを取り込みました（メール未送信 1件）");
    const TInboxContents contents = OpenInboxStore(store, key);
    ASSERT_EQ(contents.Entries.size(), 1u);
    EXPECT_EQ(contents.Entries[0].Status.Status, TInboxMailStatus::Failed);
    EXPECT_NE(contents.Entries[0].Status.Reason.find("status"), std::string::npos) << contents.Entries[0].Status.Reason;
    EXPECT_EQ(contents.Entries[0].Message.Fields[0].Value, "taro");
}

TEST(InboxRoundTrip, AChangedByteRefusesItsRecordAndTheOthersAreRead) {
    InboxSite site;
    for (const char* name : {"one", "two", "three"}) ASSERT_EQ(site.Post({{"name", name}}).status, 0);
    std::vector<std::string> lines = Lines(ReadFile(site.InboxFile()));
    ASSERT_EQ(lines.size(), 6u);
    // The second message's ciphertext, one bit changed.
    std::string& second = lines[2];
    const std::size_t at = second.rfind(' ') - 3;
    second[at] = second[at] == 'A' ? 'B' : 'A';
    std::string changed;
    for (const std::string& line : lines) changed += line + "\n";

    const TInboxPrivateKey key(site.KeyFile(), "");
    TInboxStore store(site.Folder() + "/local.inbox"), aside(site.Folder() + "/local.inbox-bad");
    const TInboxImport import = ImportInboxFile(changed, store, aside, key);
    EXPECT_EQ(import.Added, 2u);
    EXPECT_EQ(import.Refused, (std::vector<std::size_t>{3}));
    EXPECT_EQ(aside.Lines(), (std::vector<std::string>{lines[2]}));
    const TInboxContents contents = OpenInboxStore(store, key);
    ASSERT_EQ(contents.Entries.size(), 2u);
    std::vector<std::string> names;
    for (const auto& entry : contents.Entries) names.push_back(entry.Message.Fields[0].Value);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"one", "three"}));

    // Taken again, nothing comes twice.
    EXPECT_EQ(ImportInboxFile(changed, store, aside, key).Added, 0u);
}

}  // namespace
}  // namespace qp::test

namespace qp::test {
namespace {

TEST(InboxRoundTrip, TheMailGoesWhenTheInboxCannotTakeTheMessage) {
    InboxSite site;
    // A folder where the file should be: it cannot be opened, even by root.
    std::filesystem::create_directory(site.InboxFile());
    auto r = site.Post({{"name", "taro"}});
    EXPECT_NE(r.body.find("thanks"), std::string::npos);
    EXPECT_EQ(site.MailCount(), 1);
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    EXPECT_NE(r.errors.find("not kept in the inbox"), std::string::npos) << r.errors;

    r = site.Post({{"name", "taro"}}, 75);
    EXPECT_NE(r.head.find("Status: 500"), std::string::npos) << "neither kept nor mailed: " << r.head;

    // Full: one mark, however many sends find it so, and the mails go.
    site.Project().Settings().Set(TSetting::InboxMaxMegabytes, 1);
    site.Make();
    std::filesystem::remove(site.InboxFile());
    WriteFile(site.InboxFile(), std::string(1048576 - 100, 'x') + "\n");
    for (int i = 0; i < 2; ++i) {
        r = site.Post({{"name", "taro"}});
        EXPECT_NE(r.body.find("thanks"), std::string::npos);
        EXPECT_NE(r.errors.find("is full"), std::string::npos) << r.errors;
    }
    // The stand-in keeps a mail it fails, and the failed one was tried again without -f.
    EXPECT_EQ(site.MailCount(), 5);
    const std::string file = ReadFile(site.InboxFile());
    EXPECT_EQ(file.size(), 1048576 - 100 + 1 + 2u);
    EXPECT_EQ(file.substr(file.size() - 4), "x\nF\n");
}

}  // namespace
}  // namespace qp::test
