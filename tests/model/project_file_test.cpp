#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "model/error.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "model/project_config.h"
#include "model/project_file.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using test::S;
using Lines = std::vector<std::string>;

struct CountingObserver : TProjectItemObservable {
    int calls = 0;
    void Notify(TProjectConfig*) override { ++calls; }
};

std::string LoadError(TProjectConfig& p, const std::string& path) {
    try {
        p.LoadFromFile(path);
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

class ProjectFile : public ::testing::Test {
protected:
    std::string Path(const char* name = "p.qpf") const { return dir_.File(name); }
    test::TempDir dir_;
};

// Fills every setting and one item of each type with texts that exercise the file format.
void FillProject(TProjectConfig& p) {
    p.SetPerlPath("/usr/local/bin/perl");
    p.SetSendmailPath("/usr/sbin/sendmail -t");
    p.SetCharset(TCgiCharset::Utf8);
    p.SetManagerMailFrom("<% email %>");
    p.SetManagerMailTo("admin@example.jp");
    p.SetManagerMailSubject(S("お問い合わせ ソ表"));
    p.SetUseUserMail(true);
    p.SetUserMailFrom("info@example.jp");
    p.SetUserMailTo("<% email %>");
    p.SetUserMailSubject(S("受付"));
    p.SetUserMailBody(S("様\r\n\r\n, \"quoted\", done\r\n"));
    p.SetFormHtml(S("<form action=\"x.cgi\">\r\n<% __error__ %>\r\n</form>\r\n"));
    p.SetUseConfirm(true);
    p.SetConfirmHtml("\r\n");
    p.SetFinishPageMoveType(1);
    p.SetFinishPageLocation("http://example.jp/thanks.html\r\n");
    p.SetFtpHostName("ftp.example.jp");
    p.SetFtpUserName("user");
    p.SetFtpPassword("p@ss=word;");
    p.SetSavePassword(true);
    p.SetFtpFileName("mail.cgi");
    p.SetFtpDirectory("/public_html/cgi-bin");
    p.SetFtpChmod("chmod");
    p.SetSaveFileName("/home/u/mail.cgi");
    p.SetFtpPassive(true);
    p.SetFtpProtocol(TFtpProtocol::Sftp);
    p.SetFtpTrustedCert("SHA256:0A:1B");
    p.SetSftpKeyFile("/home/u/.ssh/id_ed25519");
    p.SetMakeFileType(1);
    p.SetGuard({false, 0, 2, false, 0, 1440, 0, true, 0, 0, "bounce@example.com"});

    auto text = std::make_unique<TProjectItemText>("");
    text->SetNameAttr("email");
    text->SetNameValue(S("メールアドレス"));
    text->SetRequired(true);
    text->SetRequiredError(S("メールアドレスを入力してください"));
    text->SetSizeConstraint(80);
    text->SetSizeConstraintError(S("長すぎます"));
    text->SetConvertTypes({ctStrip, ctZenAlphabetToHan});
    text->SetConstraintType(5);
    text->SetConstraintRegexp("^[^@]+@[^@]+$");
    text->SetConstraintError(S("形式が違います"));
    text->SetRetypeItemNameAttr("email2");
    text->SetRetypeError(S("一致しません"));
    text->SetPassword(true);
    p.AddItem(std::move(text));
    auto area = std::make_unique<TProjectItemTextarea>("body");
    area->SetNameValue(S("本文"));
    area->SetSizeConstraint(2000);
    area->SetSizeConstraintError("too long");
    p.AddItem(std::move(area));
    auto box = std::make_unique<TProjectItemCheckbox>("agree");
    box->SetNameValue("Agree");
    box->SetValue(S("はい"));
    p.AddItem(std::move(box));
    auto radio = std::make_unique<TProjectItemRadio>("sex");
    radio->SetNameValue(S("性別"));
    radio->SetValues({S("男"), S("女"), "a, b"});
    p.AddItem(std::move(radio));
    auto menu = std::make_unique<TProjectItemPopupmenu>("pref");
    menu->SetNameValue("Pref");
    menu->SetValues({"\"quoted\"", S("表ソ")});
    p.AddItem(std::move(menu));
}

TEST_F(ProjectFile, RoundTripsEveryItemTypeAndSetting) {
    TProjectConfig p;
    FillProject(p);
    p.SaveToFile(Path());
    TProjectConfig q;
    CountingObserver obs;
    q.AddObserver(&obs);
    q.LoadFromFile(Path());
    EXPECT_EQ(obs.calls, 5);  // once per item added
    q.SaveToFile(Path("again.qpf"));
    EXPECT_EQ(test::ReadFile(Path("again.qpf")), test::ReadFile(Path()));

    EXPECT_EQ(q.GetPerlPath(), "/usr/local/bin/perl");
    EXPECT_EQ(q.GetCharset(), TCgiCharset::Utf8);
    EXPECT_EQ(q.GetManagerMailSubject(), S("お問い合わせ ソ表"));
    EXPECT_EQ(q.GetUserMailBody(), S("様\r\n\r\n, \"quoted\", done\r\n"));
    EXPECT_EQ(q.GetConfirmHtml(), "\r\n");
    EXPECT_EQ(q.GetFtpPassword(), "p@ss=word;");
    EXPECT_TRUE(q.GetFtpPassive());
    EXPECT_EQ(q.GetFtpProtocol(), TFtpProtocol::Sftp);
    EXPECT_EQ(q.GetFtpTrustedCert(), "SHA256:0A:1B");
    EXPECT_EQ(q.GetSftpKeyFile(), "/home/u/.ssh/id_ed25519");
    EXPECT_EQ(q.GetMakeFileType(), 1);
    EXPECT_EQ(q.GetGuard(), (TGuardSettings{false, 0, 2, false, 0, 1440, 0, true, 0, 0, "bounce@example.com"}));
    EXPECT_EQ(q.GetFinishPageMoveType(), 1);
    ASSERT_EQ(q.GetItemCount(), 5);
    const auto* text = dynamic_cast<const TProjectItemText*>(q.GetItems()[0].get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetNameValue(), S("メールアドレス"));
    EXPECT_TRUE(text->GetRequired());
    EXPECT_EQ(text->GetSizeConstraintError(), S("長すぎます"));
    EXPECT_EQ(text->GetConvertTypes(), (std::vector<TProjectItemConvertType>{ctStrip, ctZenAlphabetToHan}));
    EXPECT_EQ(text->GetConstraintRegexp(), "^[^@]+@[^@]+$");
    EXPECT_EQ(text->GetRetypeItemNameAttr(), "email2");
    EXPECT_TRUE(text->GetPassword());
    const auto* area = dynamic_cast<const TProjectItemTextarea*>(q.GetItems()[1].get());
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->GetSizeConstraint(), 2000);
    EXPECT_EQ(area->GetSizeConstraintError(), "too long");
    const auto* box = dynamic_cast<const TProjectItemCheckbox*>(q.GetItems()[2].get());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetValue(), S("はい"));
    const auto* radio = dynamic_cast<const TProjectItemRadio*>(q.GetItems()[3].get());
    ASSERT_NE(radio, nullptr);
    EXPECT_EQ(radio->GetValues(), (Lines{S("男"), S("女"), "a, b"}));
    const auto* menu = dynamic_cast<const TProjectItemPopupmenu*>(q.GetItems()[4].get());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->GetValues(), (Lines{"\"quoted\"", S("表ソ")}));
}

// A password is written only when the user asked for it; a file holding it, or the path of
// a key, is readable by its owner alone; older files keep their password as they did.
TEST_F(ProjectFile, PasswordIsKeptOnlyWhenAskedForAndThenPrivately) {
    const auto mode = [this] {
        struct stat st {};
        ::stat(Path().c_str(), &st);
        return st.st_mode & 0777;
    };
    TProjectConfig p;
    p.SetFtpPassword("secret");
    p.SaveToFile(Path());
    EXPECT_NE(test::ReadFile(Path()).find("FtpPassword=\r\n"), std::string::npos);
    EXPECT_NE(mode() & 0044, 0u) << "nothing secret: the usual mode";
    EXPECT_EQ(p.GetFtpPassword(), "secret");  // still known for this session
    TProjectConfig q;
    q.LoadFromFile(Path());
    EXPECT_EQ(q.GetFtpPassword(), "");
    EXPECT_FALSE(q.GetSavePassword());
    EXPECT_TRUE(q.NeedsPassword());

    p.SetSavePassword(true);
    p.SaveToFile(Path());
    EXPECT_EQ(mode(), 0600u);
    q.LoadFromFile(Path());
    EXPECT_EQ(q.GetFtpPassword(), "secret");
    EXPECT_TRUE(q.GetSavePassword());

    p.SetSavePassword(false);
    p.SetFtpProtocol(TFtpProtocol::Sftp);
    p.SetSftpKeyFile("/home/u/.ssh/id_ed25519");
    p.SaveToFile(Path());
    EXPECT_EQ(mode(), 0600u);
    q.LoadFromFile(Path());
    EXPECT_FALSE(q.NeedsPassword());  // the key logs in

    for (const std::string password : {"old", ""}) {
        test::WriteFile(Path(), "[FTP]\r\nFtpPassword=" + password + "\r\n");
        q.LoadFromFile(Path());
        EXPECT_EQ(q.GetSavePassword(), !password.empty()) << password;
    }
}

// Random bytes, a project saved as UTF-8 and a text that holds no project are refused before
// anything loads; a project file, even one that holds only a section, is not.
TEST_F(ProjectFile, FilesThatAreNoProjectAreRefusedByWhatTheyHold) {
    std::string noise;
    for (int i = 0; i < 3000; ++i) noise += static_cast<char>((i * 7919 + 13) % 256);
    const std::pair<std::string, std::string> refused[] = {
        {noise, "文字でない"},
        {"[FORM_PAGE]\r\nFormHtml=\xe3\x81\x82\r\n", "Shift_JIS"},
        {"hello\r\n[OPTIONS]\r\nx=1\r\n", "設定がありません"},
    };
    for (const auto& [bytes, reason] : refused) {
        test::WriteFile(Path(), bytes);
        try {
            CheckProjectFile(Path());
            ADD_FAILURE() << reason;
        } catch (const Error& e) {
            EXPECT_NE(e.Message().find("Quillpostのプロジェクトファイルではありません"), std::string::npos);
            EXPECT_NE(e.Message().find(reason), std::string::npos) << e.Message();
        }
    }
    test::WriteFile(Path(), " [guard] \r\nUseToken=0\r\n");
    EXPECT_NO_THROW(CheckProjectFile(Path()));
    TProjectConfig().SaveToFile(Path());
    EXPECT_NO_THROW(CheckProjectFile(Path()));
    EXPECT_THROW(CheckProjectFile(Path("missing.qpf")), FileError);
}

TEST_F(ProjectFile, LayoutOfAFileWithOneItem) {
    TProjectConfig p;
    auto box = std::make_unique<TProjectItemCheckbox>("ok");
    box->SetNameValue("OK");
    box->SetValue("yes");
    p.AddItem(std::move(box));
    p.SetManagerMailSubject(" subject");
    p.SetFinishPageLocation("a, b\nc");
    p.SaveToFile(Path());
    EXPECT_EQ(test::ReadFile(Path()),
              "[ITEM]\r\nItemCount=1\r\n\r\n"
              "[ITEM_0]\r\nType=CHECKBOX\r\nNameAttr=ok\r\nNameValue=OK\r\nRequired=0\r\nRequiredError=\r\n"
              "Value=yes\r\n\r\n"
              "[MANGER_MAIL]\r\nFrom=\r\nTo=\r\nSubject= subject\r\n\r\n"
              "[USER_MAIL]\r\nUseUserMail=0\r\nFrom=\r\nTo=\r\nSubject=\r\nUserMailBody=\r\n\r\n"
              "[FORM_PAGE]\r\nFormHtml=\r\nConfirmHtml=\r\n\r\n"
              "[CONFIRM_PAGE]\r\nUseConfirm=0\r\n\r\n"
              "[FINISH_PAGE]\r\nFinishPageMoveType=0\r\nFinishPageLocation=\"a, b\",c\r\n\r\n"
              "[SAMPLE]\r\nStyle=HTML5\r\n\r\n"
              "[SERVER]\r\nPerlPath=/usr/bin/perl\r\nSendmailPath=/usr/lib/sendmail\r\nCharset=EUC-JP\r\nScriptUrl=\r\nCheckKey=\r\n\r\n"
              "[FTP]\r\nFtpHostName=\r\nFtpUserName=\r\nFtpPassword=\r\nFtpFileName=formmail.cgi\r\n"
              "FtpDirectory=\r\nFtpChmod=CHMOD\r\nSaveFileName=\r\nFtpPassive=0\r\n"
              "FtpProtocol=FTPS\r\nFtpTrustedCert=\r\nSftpKeyFile=\r\nSavePassword=0\r\n\r\n"
              "[MAKE]\r\nMakeFileType=0\r\nCopyRuntime=1\r\n\r\n"
              "[GUARD]\r\nUseToken=1\r\nMinSeconds=3\r\nTokenHours=24\r\nUseHoneypot=1\r\n"
               "LimitCount=5\r\nLimitMinutes=60\r\nReplyLimit=2\r\nVisitorFrom=0\r\nReplyPerHour=20\r\n"
               "ReplyEchoChars=500\r\nEnvelopeFrom=\r\n\r\n"
               "[INBOX]\r\nUseInbox=0\r\nPublicKey=\r\nKeyFile=\r\nMaxMegabytes=20\r\n\r\n");
    TProjectConfig q;
    q.LoadFromFile(Path());
    EXPECT_EQ(q.GetManagerMailSubject(), "subject");  // the leading blank is lost, as always
    EXPECT_EQ(q.GetFinishPageLocation(), "a, b\r\nc\r\n");
}

TEST_F(ProjectFile, AnUnknownProtocolLoadsAsFtpsNeverAsClearText) {
    for (const auto& [word, protocol] : std::vector<std::pair<std::string, TFtpProtocol>>{
             {"FTP", TFtpProtocol::Ftp}, {"SFTP", TFtpProtocol::Sftp}, {"ftp", TFtpProtocol::Ftps},
             {"SCP", TFtpProtocol::Ftps}, {"", TFtpProtocol::Ftps}}) {
        test::WriteFile(Path(), "[FTP]\r\nFtpProtocol=" + word + "\r\n");
        TProjectConfig p;
        p.LoadFromFile(Path());
        EXPECT_EQ(p.GetFtpProtocol(), protocol) << word;
    }
}

TEST_F(ProjectFile, CharsetIsEitherCodeAndAnyOtherWordIsRefused) {
    test::WriteFile(Path(), "[SERVER]\r\nPerlPath=/p\r\nCharset=utf-8\r\n");
    TProjectConfig p;
    p.LoadFromFile(Path());
    EXPECT_EQ(p.GetCharset(), TCgiCharset::Utf8);

    test::WriteFile(Path(), "[ITEM]\r\nItemCount=0\r\n[SERVER]\r\nPerlPath=/q\r\nCharset=Shift_JIS\r\n");
    EXPECT_EQ(LoadError(p, Path()), "文字コード(SERVERのCharset)はEUC-JPかUTF-8で指定してください。");
    EXPECT_EQ(p.GetPerlPath(), "/p");
    EXPECT_EQ(p.GetCharset(), TCgiCharset::Utf8);
}

TEST_F(ProjectFile, DefaultFinishPageComesBackWithCrLf) {
    TProjectConfig p;
    p.SaveToFile(Path());
    TProjectConfig q;
    q.LoadFromFile(Path());
    std::string expected;
    for (const char c : TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Html5)) expected += (c == '\n') ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(q.GetFinishPageLocation(), expected);
    EXPECT_EQ(q.GetItemCount(), 0);
}

TEST_F(ProjectFile, MissingKeysGiveTheLoaderDefaults) {
    test::WriteFile(Path(), "[USER_MAIL]\r\nFrom=a\r\n[CONFIRM_PAGE]\r\nConfirmHtml=<p>\r\n");
    TProjectConfig p;
    FillProject(p);
    p.LoadFromFile(Path());
    EXPECT_EQ(p.GetItemCount(), 0);
    EXPECT_TRUE(p.GetUseUserMail());
    EXPECT_TRUE(p.GetUseConfirm());
    EXPECT_EQ(p.GetUserMailFrom(), "a");
    EXPECT_EQ(p.GetConfirmHtml(), "");  // only FORM_PAGE holds it
    EXPECT_EQ(p.GetFtpChmod(), "CHMOD");
    EXPECT_EQ(p.GetFtpFileName(), "");
    EXPECT_EQ(p.GetPerlPath(), "");
    EXPECT_EQ(p.GetSendmailPath(), "");
    EXPECT_EQ(p.GetCharset(), TCgiCharset::EucJp);
    EXPECT_EQ(p.GetFinishPageLocation(), "");
    EXPECT_FALSE(p.GetFtpPassive());
    EXPECT_EQ(p.GetFtpProtocol(), TFtpProtocol::Ftp);  // made before FTPS: stays as it was
    EXPECT_EQ(p.GetFtpTrustedCert(), "");
    EXPECT_EQ(p.GetMakeFileType(), 0);
    EXPECT_EQ(p.GetSampleStyle(), TPageStyle::Xhtml);  // its pages were made as XHTML
    // A file from before the defences: every defence on.
    EXPECT_EQ(p.GetGuard(), TGuardSettings());

    TProjectConfig q;
    FillProject(q);
    q.LoadFromFile(Path("does-not-exist.qpf"));
    EXPECT_EQ(q.GetItemCount(), 0);
    EXPECT_EQ(q.GetManagerMailSubject(), "");
    EXPECT_TRUE(q.GetUseUserMail());
}

TEST_F(ProjectFile, SavingFewerItemsLeavesNoOldSections) {
    TProjectConfig p;
    for (int i = 0; i < 10; ++i) {
        auto item = std::make_unique<TProjectItemText>("f" + std::to_string(i));
        p.AddItem(std::move(item));
    }
    p.SaveToFile(Path());
    while (p.GetItemCount() > 2) p.DeleteItem(p.GetItemCount() - 1);
    p.SaveToFile(Path());
    const std::string text = test::ReadFile(Path());
    EXPECT_NE(text.find("[ITEM_1]"), std::string::npos);
    for (int i = 2; i < 10; ++i) EXPECT_EQ(text.find("[ITEM_" + std::to_string(i) + "]"), std::string::npos);
}

// A failure ends the load: the items before it stay, the settings keep their old values.
TEST_F(ProjectFile, LoaderFailuresKeepEarlierItemsAndOldSettings) {
    struct Case {
        std::string second;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"Type=TEXTBOX\r\nNameAttr=b\r\n", "不正なデータ型です。"},
        {"NameAttr=b\r\n", "不正なデータ型です。"},
        {"Type=radio\r\nNameAttr=b\r\n", "不正なデータ型です。"},
        {"Type=TEXT\r\nNameAttr=b-c\r\n", "name属性に設定できる文字は半角英数字とアンダーバー(_)です。"},
        {"Type=TEXT\r\nNameAttr=b\r\nNameValue=say \"x\"\r\n", "項目名称にダブルクオート(\")は使えません。"},
        {"Type=TEXT\r\nNameAttr=\r\n", "name属性を設定してください。"},
        {"Type=CHECKBOX\r\nNameAttr=a\r\n", "同じname属性が既に登録されています。"},
    };
    for (const Case& c : cases) {
        test::WriteFile(Path(), "[ITEM]\r\nItemCount=3\r\n[ITEM_0]\r\nType=TEXT\r\nNameAttr=a\r\n[ITEM_1]\r\n" +
                                    c.second + "[ITEM_2]\r\nType=TEXT\r\nNameAttr=z\r\n[MANGER_MAIL]\r\nSubject=new\r\n");
        TProjectConfig p;
        p.SetManagerMailSubject("old");
        p.SetFtpChmod("keep");
        p.AddItem(std::make_unique<TProjectItemText>("previous"));
        CountingObserver obs;
        p.AddObserver(&obs);
        EXPECT_EQ(LoadError(p, Path()), c.message) << c.second;
        EXPECT_EQ(p.GetItemNames(), Lines{"a"});
        EXPECT_EQ(p.GetManagerMailSubject(), "old");
        EXPECT_EQ(p.GetFtpChmod(), "keep");
        EXPECT_EQ(obs.calls, 1);
    }
}

TEST_F(ProjectFile, ObserversHearOfAnEmptiedListEvenWhenNoItemFollows) {
    TProjectConfig p;
    p.AddItem(std::make_unique<TProjectItemText>("a"));
    CountingObserver obs;
    p.AddObserver(&obs);
    test::WriteFile(Path(), "[ITEM]\r\nItemCount=1\r\n[ITEM_0]\r\nType=bogus\r\n");
    EXPECT_EQ(LoadError(p, Path()), "不正なデータ型です。");
    EXPECT_EQ(p.GetItemCount(), 0);
    EXPECT_EQ(obs.calls, 1);
    p.LoadFromFile(Path("empty.qpf"));
    EXPECT_EQ(obs.calls, 1);  // the list was already empty: nothing changed
}

TEST_F(ProjectFile, SaveFailureKeepsTheEarlierFileAndReachesTheCaller) {
    TProjectConfig p;
    FillProject(p);
    p.SaveToFile(Path());
    const std::string before = test::ReadFile(Path());
    TProjectConfig q;
    EXPECT_THROW(q.SaveToFile(dir_.File("no/such/folder/p.qpf")), Error);
    // A folder in the place of the target cannot be replaced by the rename.
    std::filesystem::create_directories(dir_.File("taken.qpf/x"));
    EXPECT_THROW(q.SaveToFile(dir_.File("taken.qpf")), Error);
    EXPECT_EQ(test::ReadFile(Path()), before);
}

// Hostile files end in an item list and an error (or none), never in a crash or a hang.
TEST_F(ProjectFile, HostileFilesAreHandled) {
    TProjectConfig good;
    FillProject(good);
    good.SaveToFile(Path("good.qpf"));
    const std::string whole = test::ReadFile(Path("good.qpf"));

    // Every truncation of a valid file loads or fails with one of the loader's messages.
    for (std::size_t n = 0; n <= whole.size(); n += 7) {
        test::WriteFile(Path(), whole.substr(0, n));
        TProjectConfig p;
        const std::string err = LoadError(p, Path());
        EXPECT_TRUE(err == "(no error)" || err == "不正なデータ型です。" || err == "name属性を設定してください。" ||
                    err == "文字コード(SERVERのCharset)はEUC-JPかUTF-8で指定してください。")
            << n << ": " << err;
        EXPECT_LE(p.GetItemCount(), 5);
    }

    // Binary garbage and broken Shift_JIS (lone lead bytes before quotes, brackets and line ends).
    std::string garbage;
    std::uint32_t x = 12345;
    for (int i = 0; i < 200000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage += static_cast<char>(x >> 24);
    }
    test::WriteFile(Path(), "[ITEM]\r\nItemCount=2\r\n" + garbage);
    TProjectConfig p1;
    EXPECT_EQ(LoadError(p1, Path()), "不正なデータ型です。");
    EXPECT_EQ(p1.GetItemCount(), 0);

    test::WriteFile(Path(), "[ITEM]\r\nItemCount=1\r\n[ITEM_0]\r\nType=RADIO\r\nNameAttr=r\r\nNameValue=\x81\r\n"
                            "Values=\"\x81\",\x82\",\x83\r\n[FTP\x81]\r\nFtpChmod=\x81\r\n");
    TProjectConfig p2;
    p2.LoadFromFile(Path());
    ASSERT_EQ(p2.GetItemCount(), 1);
    EXPECT_EQ(p2.GetItems()[0]->GetNameValue(), "\x81");
    EXPECT_EQ(dynamic_cast<const TProjectItemRadio&>(*p2.GetItems()[0]).GetValues(),
              (Lines{"\x81", "\x82\"", "\x83"}));
    EXPECT_EQ(p2.GetFtpChmod(), "CHMOD");  // "[FTP\x81]" is another section

    // Item counts that do not match the sections.
    for (const char* count : {"-1", "2147483647", "99999999999", "0x7fffffff"}) {
        test::WriteFile(Path(), std::string("[ITEM]\r\nItemCount=") + count +
                                    "\r\n[ITEM_0]\r\nType=TEXT\r\nNameAttr=a\r\n");
        TProjectConfig p;
        const std::string err = LoadError(p, Path());
        if (std::string(count) == "-1" || std::string(count) == "99999999999") {
            EXPECT_EQ(err, "(no error)") << count;
            EXPECT_EQ(p.GetItemCount(), 0);
        } else {
            EXPECT_EQ(err, "不正なデータ型です。") << count;
            EXPECT_EQ(p.GetItemNames(), Lines{"a"});
        }
    }

    // A 10 MB line: one huge value, and one huge run without any line break.
    const std::string big(10 * 1024 * 1024, 'x');
    test::WriteFile(Path(), "[MANGER_MAIL]\r\nSubject=" + big + "\r\n[FORM_PAGE]\r\nFormHtml=" + big + "," + big +
                                "\r\n");
    TProjectConfig p3;
    p3.LoadFromFile(Path());
    EXPECT_EQ(p3.GetManagerMailSubject().size(), big.size());
    EXPECT_EQ(p3.GetFormHtml().size(), 2 * (big.size() + 2));
    test::WriteFile(Path(), big);
    TProjectConfig p4;
    p4.LoadFromFile(Path());
    EXPECT_EQ(p4.GetItemCount(), 0);
}

TEST_F(ProjectFile, AFolderCannotBeOpenedAsAProject) {
    TProjectConfig p;
    p.SetFtpChmod("keep");
    EXPECT_NE(LoadError(p, dir_.Path()), "(no error)");
    EXPECT_EQ(p.GetFtpChmod(), "keep");
}

}  // namespace
}  // namespace qp
