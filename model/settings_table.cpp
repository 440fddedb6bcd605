#include "model/settings_table.h"

#include <algorithm>
#include <stdexcept>

#include "model/error.h"
#include "model/ini_file.h"
#include "model/project_config.h"
#include "model/sjis.h"

namespace qp {
namespace {

using K = TSettingKind;
using S = TSetting;
const std::string kEmpty;

constexpr const char* kGuardRange = "迷惑送信対策の「%label%」は%min%から%max%までの数にしてください。";

TSettingsTable BuildProjectSettings() {
    TSettingsTable t = {
        {.Id = S::ManagerMailFrom, .Section = "MANGER_MAIL", .Key = "From", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "ValueListManagerHeader/From", .Label = "メールのヘッダ From",
         .Hint = "メールのヘッダを設定してください。"},
        {.Id = S::ManagerMailTo, .Section = "MANGER_MAIL", .Key = "To", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "ValueListManagerHeader/To", .Label = "メールのヘッダ To"},
        {.Id = S::ManagerMailSubject, .Section = "MANGER_MAIL", .Key = "Subject", .Kind = K::Text,
         .NewValue = kEmpty, .MissingValue = kEmpty, .Control = "ValueListManagerHeader/Subject",
         .Label = "メールのヘッダ Subject"},

        {.Id = S::UseUserMail, .Section = "USER_MAIL", .Key = "UseUserMail", .Kind = K::Boolean,
         .NewValue = false, .MissingValue = true, .Control = "CheckBoxUseUserMail",
         .Label = "自動返信メールを使用する", .Hint = "自動返信メールを使用するときはチェックしてください。"},
        {.Id = S::UserMailFrom, .Section = "USER_MAIL", .Key = "From", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "ValueListUserMailHeader/From", .Label = "自動返信メール From",
         .Hint = "メールのヘッダを設定してください。<% name属性 %>で、入力値が設定されます。"},
        {.Id = S::UserMailTo, .Section = "USER_MAIL", .Key = "To", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "ValueListUserMailHeader/To", .Label = "自動返信メール To"},
        {.Id = S::UserMailSubject, .Section = "USER_MAIL", .Key = "Subject", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "ValueListUserMailHeader/Subject", .Label = "自動返信メール Subject"},
        // The editors' hints are set with their other settings (TFormMain::SetupHtmlEditor).
        {.Id = S::UserMailBody, .Section = "USER_MAIL", .Key = "UserMailBody", .Kind = K::MultiLine,
         .NewValue = kEmpty, .MissingValue = kEmpty, .Control = "EditorUserMailBody", .Label = "メール本文"},

        {.Id = S::FormHtml, .Section = "FORM_PAGE", .Key = "FormHtml", .Kind = K::MultiLine, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditorFormHtml", .Label = "フォーム画面"},
        // In FORM_PAGE, not CONFIRM_PAGE: files have always kept it there.
        {.Id = S::ConfirmHtml, .Section = "FORM_PAGE", .Key = "ConfirmHtml", .Kind = K::MultiLine,
         .NewValue = kEmpty, .MissingValue = kEmpty, .Control = "EditorConfirmHtml", .Label = "確認画面"},
        {.Id = S::UseConfirm, .Section = "CONFIRM_PAGE", .Key = "UseConfirm", .Kind = K::Boolean,
         .NewValue = false, .MissingValue = true, .Control = "CheckBoxUseConfirm", .Label = "確認画面を表示する",
         .Hint = "確認画面を表示するときはチェックしてください"},

        // Any number a file holds is kept; only 0 and 1 have a button.
        {.Id = S::FinishPageMoveType, .Section = "FINISH_PAGE", .Key = "FinishPageMoveType", .Kind = K::Choice,
         .NewValue = kFinishTemplate, .MissingValue = kFinishTemplate,
         .Choices = {{nullptr, "RadioButtonFinishTemplate"}, {nullptr, "RadioButtonFinishRedirect"}},
         .Label = "表示方法"},
        // One setting shown by the finish page editor or the address field, whichever the
        // display mode selects: the window copies it itself.
        {.Id = S::FinishPageLocation, .Section = "FINISH_PAGE", .Key = "FinishPageLocation",
         .Kind = K::MultiLine, .NewValue = TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Html5),
         .MissingValue = kEmpty, .Label = "完了画面"},
        // A file without the key was made when the samples were XHTML, and keeps them so.
        {.Id = S::SampleStyle, .Section = "SAMPLE", .Key = "Style", .Kind = K::Choice,
         .NewValue = static_cast<int>(TPageStyle::Html5), .MissingValue = static_cast<int>(TPageStyle::Xhtml),
         .Choices = {{"HTML5"}, {"XHTML"}}, .WordsIgnoreCase = true,
         .UnknownChoice = static_cast<int>(TPageStyle::Html5), .Control = "ComboBoxSampleStyle",
         .Label = "サンプルの形式",
         .Hint = "サンプルのHTMLの形式です。HTML5はスマートフォンで読みやすく、読み上げソフトにも対応し、エラーを各項目の横に表示します。",
         .CliOption = "--style"},

        {.Id = S::PerlPath, .Section = "SERVER", .Key = "PerlPath", .Kind = K::Text,
         .NewValue = std::string("/usr/bin/perl"), .MissingValue = kEmpty, .Control = "EditPerlPath",
         .Label = "perlのパス"},
        {.Id = S::SendmailPath, .Section = "SERVER", .Key = "SendmailPath", .Kind = K::Text,
         .NewValue = std::string("/usr/lib/sendmail"), .MissingValue = kEmpty, .Control = "EditSendmailPath",
         .Label = "sendmailのパス"},
        // An unknown code must not become EUC-JP unnoticed.
        {.Id = S::Charset, .Section = "SERVER", .Key = "Charset", .Kind = K::Choice, .NewValue = 0,
         .MissingValue = 0, .Choices = {{"EUC-JP"}, {"UTF-8"}}, .WordsIgnoreCase = true,
         .UnknownMessage = "文字コード(SERVERのCharset)はEUC-JPかUTF-8で指定してください。",
         .Control = "ComboBoxCharset", .Label = "文字コード",
         .Hint = "CGIと画面の文字コードです。UTF-8では絵文字なども入力どおりにメールへ届きます。"},
        // Where the uploaded script answers on the web; empty: the upload is not checked.
        {.Id = S::ScriptUrl, .Section = "SERVER", .Key = "ScriptUrl", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditScriptUrl", .Label = "設置先のURL",
         .Hint = "設置したCGIを開くアドレスです(例: https://example.com/cgi-bin/contact.cgi)。設定すると、アップロードの後にCGIが動くかを確かめます。"},
        // The site check's signing key, made by the first upload to an address and written into
        // the script; empty: the script answers no status request.
        {.Id = S::CheckKey, .Section = "SERVER", .Key = "CheckKey", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Label = "CheckKey"},

        {.Id = S::FtpHostName, .Section = "FTP", .Key = "FtpHostName", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditFtpHostName", .Label = "ホスト名(アドレス)"},
        {.Id = S::FtpUserName, .Section = "FTP", .Key = "FtpUserName", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditFtpUserName", .Label = "ユーザ名"},
        {.Id = S::FtpPassword, .Section = "FTP", .Key = "FtpPassword", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditPassword", .Label = "パスワード"},
        {.Id = S::FtpFileName, .Section = "FTP", .Key = "FtpFileName", .Kind = K::Text,
         .NewValue = std::string("formmail.cgi"), .MissingValue = kEmpty, .Control = "EditFtpFileName",
         .Label = "CGIのファイル名"},
        {.Id = S::FtpDirectory, .Section = "FTP", .Key = "FtpDirectory", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditFtpDirectory", .Label = "設置フォルダ"},
        {.Id = S::FtpChmod, .Section = "FTP", .Key = "FtpChmod", .Kind = K::Text, .NewValue = std::string("CHMOD"),
         .MissingValue = std::string("CHMOD"), .Control = "EditFtpChmod", .Label = "属性変更コマンド"},
        // The path the CGI was last made to, offered again by the save dialog.
        {.Id = S::SaveFileName, .Section = "FTP", .Key = "SaveFileName", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Label = "SaveFileName"},
        {.Id = S::FtpPassive, .Section = "FTP", .Key = "FtpPassive", .Kind = K::Boolean, .NewValue = false,
         .MissingValue = false, .Control = "CheckBoxFtpPassive", .Label = "パッシブモードを使用する",
         .CliOption = "--passive"},
        // New projects are encrypted; a file without the key was made for FTP. A damaged
        // word must not turn encryption off: it loads as FTPS.
        {.Id = S::FtpProtocol, .Section = "FTP", .Key = "FtpProtocol", .Kind = K::Choice,
         .NewValue = static_cast<int>(TFtpProtocol::Ftps), .MissingValue = static_cast<int>(TFtpProtocol::Ftp),
         .Choices = {{"FTP"}, {"FTPS"}, {"SFTP"}}, .UnknownChoice = static_cast<int>(TFtpProtocol::Ftps),
         .Control = "ComboBoxFtpProtocol", .Label = "接続方式",
         .Hint = "サーバーへの接続方式です。SFTPではパッシブモードと属性変更コマンドは使いません。",
         .CliOption = "--protocol"},
        // The fingerprint the user chose to trust in a connection's question.
        {.Id = S::FtpTrustedCert, .Section = "FTP", .Key = "FtpTrustedCert", .Kind = K::Text,
         .NewValue = kEmpty, .MissingValue = kEmpty, .Label = "FtpTrustedCert"},
        {.Id = S::SftpKeyFile, .Section = "FTP", .Key = "SftpKeyFile", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditSftpKeyFile", .Label = "鍵ファイル",
         .Hint = "SFTPでログインに使う秘密鍵のファイルです。空欄ならパスワードでログインします。"},
        // Off: the password stays in this session only and is asked when a connection needs
        // it. A file without the key holds its password as before: see LoadFromFile.
        {.Id = S::SavePassword, .Section = "FTP", .Key = "SavePassword", .Kind = K::Boolean, .NewValue = false,
         .MissingValue = false, .Control = "CheckBoxSavePassword", .Label = "パスワードを保存する",
         .Hint = "チェックしないときは、パスワードをプロジェクトファイルに保存せず、接続のときに尋ねます。"},

        {.Id = S::MakeFileType, .Section = "MAKE", .Key = "MakeFileType", .Kind = K::Choice,
         .NewValue = kMakeLocal, .MissingValue = kMakeLocal,
         .Choices = {{nullptr, "RadioButtonSaveLocal"}, {nullptr, "RadioButtonSaveAndUpdate"},
                     {nullptr, "RadioButtonSaveSheafer"}},
         .Label = "作成"},
        {.Id = S::CopyRuntime, .Section = "MAKE", .Key = "CopyRuntime", .Kind = K::Boolean, .NewValue = true,
         .MissingValue = true, .Control = "CheckBoxCopyRuntime", .Label = "実行用ファイルも同じフォルダにコピーする",
         .Hint = "ローカルフォルダに作成するとき、Quillpost.pm、jcode.pl、mimew.plもCGIと同じフォルダにコピーします。"},

        // The defences: a file without them gets them all, so a project is defended once it
        // is made again. The bounds keep the state file small and a token's life finite.
        {.Id = S::UseToken, .Section = "GUARD", .Key = "UseToken", .Kind = K::Boolean, .NewValue = true,
         .MissingValue = true, .Control = "CheckBoxUseToken", .Label = "フォームに署名付きトークンを入れる",
         .Hint = "フォームを表示せずに送信するプログラムを断ります。確認・送信には、このCGIが表示したフォームのトークンが必要になります。"},
        {.Id = S::MinSeconds, .Section = "GUARD", .Key = "MinSeconds", .Kind = K::Integer, .NewValue = 3,
         .MissingValue = 3, .Min = 0, .Max = 3600,
         .RangeMessage = "迷惑送信対策の「%label%」は%min%から%max%までの数で、フォームの有効期間より短くしてください。",
         .Below = S::TokenHours, .BelowFactor = 3600, .Control = "SpinBoxMinSeconds",
         .Label = "送信までの最短時間(秒)",
         .Hint = "フォームを表示してからこの秒数より早い確認・送信を断ります。0で無効になります。"},
        {.Id = S::TokenHours, .Section = "GUARD", .Key = "TokenHours", .Kind = K::Integer, .NewValue = 24,
         .MissingValue = 24, .Min = 1, .Max = 720, .RangeMessage = kGuardRange, .Control = "SpinBoxTokenHours",
         .Label = "フォームの有効期間(時間)",
         .Hint = "フォームを表示してからこの時間を過ぎた確認・送信を断ります(1～720時間)。"},
        {.Id = S::UseHoneypot, .Section = "GUARD", .Key = "UseHoneypot", .Kind = K::Boolean, .NewValue = true,
         .MissingValue = true, .Control = "CheckBoxUseHoneypot", .Label = "ハニーポット欄を入れる",
         .Hint = "人には見えない入力欄をフォームに入れます。この欄に入力された送信は、完了したように見せてメールを送りません。"},
        {.Id = S::LimitCount, .Section = "GUARD", .Key = "LimitCount", .Kind = K::Integer, .NewValue = 5,
         .MissingValue = 5, .Min = 0, .Max = 1000, .RangeMessage = kGuardRange, .Control = "SpinBoxLimitCount",
         .Label = "同じアドレスからの送信上限(回)",
         .Hint = "同じ接続元アドレス(IPv6は/64単位)からの送信をこの回数までにします。0で無効になります。"},
        {.Id = S::LimitMinutes, .Section = "GUARD", .Key = "LimitMinutes", .Kind = K::Integer, .NewValue = 60,
         .MissingValue = 60, .Min = 1, .Max = 10080, .RangeMessage = kGuardRange,
         .Control = "SpinBoxLimitMinutes", .Label = "送信上限を数える時間(分)",
         .Hint = "送信回数を数える時間の長さです(1～10080分)。"},
        {.Id = S::ReplyLimit, .Section = "GUARD", .Key = "ReplyLimit", .Kind = K::Integer, .NewValue = 2,
         .MissingValue = 2, .Min = 0, .Max = 100, .RangeMessage = kGuardRange, .Control = "SpinBoxReplyLimit",
         .Label = "同じ宛先への自動返信上限(回/24時間)",
         .Hint = "同じ宛先への自動返信メールを24時間でこの回数までにします。0で無効になります。"},
        {.Id = S::VisitorFrom, .Section = "GUARD", .Key = "VisitorFrom", .Kind = K::Boolean, .NewValue = false,
         .MissingValue = false, .Control = "CheckBoxVisitorFrom", .Label = "管理者宛メールのFromに訪問者のアドレスを使う",
         .Hint = "チェックしないときは、Fromに訪問者の入力値を使う管理者宛メールを管理者自身のアドレスから送り、訪問者のアドレスをReply-Toに入れます(受信側で迷惑メール扱いされにくくなります)。"},
        // Caps what the automatic reply can be made to carry: how many in all and how much
        // of a visitor's text.
        {.Id = S::ReplyPerHour, .Section = "GUARD", .Key = "ReplyPerHour", .Kind = K::Integer, .NewValue = 20,
         .MissingValue = 20, .Min = 0, .Max = 1000, .RangeMessage = kGuardRange, .Control = "SpinBoxReplyPerHour",
         .Label = "自動返信の上限(通/1時間)",
         .Hint = "すべての宛先への自動返信メールを1時間でこの数までにします。0で無効になります。"},
        {.Id = S::ReplyEchoChars, .Section = "GUARD", .Key = "ReplyEchoChars", .Kind = K::Integer, .NewValue = 500,
         .MissingValue = 500, .Min = 0, .Max = 100000, .RangeMessage = kGuardRange,
         .Control = "SpinBoxReplyEchoChars", .Label = "自動返信に載せる入力値の長さ(文字)",
         .Hint = "自動返信メールでは、この文字数より長い入力値を切って「…」を付けます(管理者宛メールには全文が載ります)。0で無効になります。"},
        // Empty: the administrator mail's To, when it is one address.
        {.Id = S::EnvelopeFrom, .Section = "GUARD", .Key = "EnvelopeFrom", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditEnvelopeFrom", .Label = "エラーメールの返送先(エンベロープFrom)",
         .Hint = "届かなかったメールの知らせが返るアドレスです(sendmailの-f)。空欄なら管理者宛メールのToを使います。"},

        // The inbox on the server: on once a key is made (a file without the section keeps
        // mailing only). The public key is base64 of its DER form; the private key's file
        // never leaves this computer.
        {.Id = S::UseInbox, .Section = "INBOX", .Key = "UseInbox", .Kind = K::Boolean, .NewValue = false,
         .MissingValue = false, .Control = "CheckBoxUseInbox", .Label = "受信データをサーバーに暗号化して保存する",
         .Hint = "送信された内容を、メールとは別にサーバーへ暗号化して保存します。読めるのは秘密鍵ファイルを持つこのパソコンだけです。"},
        {.Id = S::InboxPublicKey, .Section = "INBOX", .Key = "PublicKey", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditInboxPublicKey", .Label = "受信データの公開鍵",
         .Hint = "受信データを暗号化する公開鍵です。「鍵を作成...」で作ります。"},
        {.Id = S::InboxKeyFile, .Section = "INBOX", .Key = "KeyFile", .Kind = K::Text, .NewValue = kEmpty,
         .MissingValue = kEmpty, .Control = "EditInboxKeyFile", .Label = "受信データの秘密鍵ファイル",
         .Hint = "受信データを読むための秘密鍵ファイルです。このファイルがないと保存された受信データは読めません。コピーを保管してください。",
         .CliOption = "--key"},
        {.Id = S::InboxMaxMegabytes, .Section = "INBOX", .Key = "MaxMegabytes", .Kind = K::Integer, .NewValue = 20,
         .MissingValue = 20, .Min = 1, .Max = 1000,
         .RangeMessage = "受信データの「%label%」は%min%から%max%までの数にしてください。",
         .Control = "SpinBoxInboxMaxMegabytes", .Label = "サーバーに保存する上限(MB)",
         .Hint = "サーバー上の受信データのファイルがこの大きさを超えると、それ以降は保存せずメールだけを送ります。"},
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (static_cast<std::size_t>(t[i].Id) != i)
            throw std::logic_error(std::string("settings table out of order at ") + t[i].Section + "/" + t[i].Key);
    }
    return t;
}

bool SameWord(const std::string& a, const char* b, bool ignoreCase) {
    return ignoreCase ? sjis::ToUpperAscii(a) == sjis::ToUpperAscii(b) : a == b;
}

void Replace(std::string& text, const std::string& mark, const std::string& by) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + by.size()))
        text.replace(at, mark.size(), by);
}

std::string RangeMessage(const TSettingDef& d) {
    std::string m = d.RangeMessage ? d.RangeMessage : "「%label%」は%min%から%max%までの数にしてください。";
    Replace(m, "%label%", d.Label ? d.Label : d.Key);
    Replace(m, "%min%", std::to_string(d.Min));
    Replace(m, "%max%", std::to_string(d.Max));
    return m;
}

TSettingValue ReadValue(const TIniFile& ini, const TSettingDef& d) {
    switch (d.Kind) {
        case K::Text: return ini.ReadString(d.Section, d.Key, std::get<std::string>(d.MissingValue));
        case K::MultiLine:
            if (!ini.ValueExists(d.Section, d.Key)) return d.MissingValue;
            return JoinLinesCrLf(DecodeCommaText(ini.ReadString(d.Section, d.Key, "")));
        case K::Boolean: return ini.ReadBool(d.Section, d.Key, std::get<bool>(d.MissingValue));
        case K::Integer: break;
        case K::Choice:
            if (!d.ChoiceStoresWords()) break;
            if (!ini.ValueExists(d.Section, d.Key)) return d.MissingValue;
            if (const int n = d.ChoiceOf(ini.ReadString(d.Section, d.Key, "")); n >= 0) return n;
            if (d.UnknownChoice >= 0) return d.UnknownChoice;
            throw Error(d.UnknownMessage ? d.UnknownMessage : std::string(d.Section) + "の" + d.Key + "が正しくありません。");
    }
    const long long v = ini.ReadInteger(d.Section, d.Key, std::get<int>(d.MissingValue));
    // Beyond int the value keeps its sign and stays out of every range, so a make refuses it.
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

int TSettingDef::ChoiceOf(const std::string& word) const {
    for (std::size_t i = 0; i < Choices.size(); ++i) {
        if (Choices[i].Word && SameWord(word, Choices[i].Word, WordsIgnoreCase)) return static_cast<int>(i);
    }
    return -1;
}

const TSettingsTable& ProjectSettings() {
    static const TSettingsTable table = BuildProjectSettings();
    return table;
}

const TSettingDef& SettingDef(TSetting id) {
    return ProjectSettings().at(static_cast<std::size_t>(id));
}

TSettingValues::TSettingValues(const TSettingsTable& table) : table_(&table) {
    values_.reserve(table.size());
    for (const TSettingDef& d : table) values_.push_back(d.NewValue);
}

void TSettingValues::Set(std::size_t index, TSettingValue value) {
    TSettingValue& slot = values_.at(index);
    if (slot.index() != value.index()) throw std::bad_variant_access();
    slot = std::move(value);
}

void TSettingValues::WriteIni(TIniFile& ini) const {
    for (std::size_t i = 0; i < values_.size(); ++i) {
        const TSettingDef& d = (*table_)[i];
        switch (d.Kind) {
            case K::Text: ini.WriteString(d.Section, d.Key, Text(i)); break;
            case K::MultiLine: ini.WriteString(d.Section, d.Key, EncodeCommaText(SplitLines(Text(i)))); break;
            case K::Boolean: ini.WriteBool(d.Section, d.Key, Bool(i)); break;
            case K::Integer: ini.WriteInteger(d.Section, d.Key, Int(i)); break;
            case K::Choice: {
                const int n = Int(i);
                if (d.ChoiceStoresWords() && n >= 0 && n < static_cast<int>(d.Choices.size()))
                    ini.WriteString(d.Section, d.Key, d.Choices[static_cast<std::size_t>(n)].Word);
                else
                    ini.WriteInteger(d.Section, d.Key, n);
                break;
            }
        }
    }
}

TSettingValues TSettingValues::ReadIni(const TIniFile& ini, const TSettingsTable& table) {
    TSettingValues v(table);
    for (std::size_t i = 0; i < table.size(); ++i) v.values_[i] = ReadValue(ini, table[i]);
    return v;
}

void TSettingValues::CheckRanges() const {
    const auto problems = RangeProblems();
    if (!problems.empty()) throw Error(problems.front().second);
}

std::vector<std::pair<TSetting, std::string>> TSettingValues::RangeProblems() const {
    const auto inRange = [this](std::size_t i) {
        const TSettingDef& d = (*table_)[i];
        return Int(i) >= d.Min && Int(i) <= d.Max;
    };
    std::vector<std::pair<TSetting, std::string>> problems;
    for (std::size_t i = 0; i < values_.size(); ++i) {
        const TSettingDef& d = (*table_)[i];
        if (d.Kind != K::Integer) continue;
        bool bad = !inRange(i);
        if (!bad && d.Below) {
            // A bound below another setting means nothing while that one is out of range: its
            // own message says so, where the table has it.
            const auto other = static_cast<std::size_t>(*d.Below);
            if (!inRange(other)) continue;
            bad = static_cast<long long>(Int(i)) >= static_cast<long long>(Int(other)) * d.BelowFactor;
        }
        if (bad) problems.emplace_back(d.Id, RangeMessage(d));
    }
    return problems;
}

}  // namespace qp
