// The project file: the project's settings and its items in one Shift_JIS INI file.
#include <unordered_set>

#include "model/error.h"
#include "model/ini_file.h"
#include "model/item_factory.h"
#include "model/project_config.h"

namespace qp {

namespace {

std::string ReadMultiLine(const TIniFile& ini, const char* section, const char* key) {
    return JoinLinesCrLf(DecodeCommaText(ini.ReadString(section, key, "")));
}

// The Charset value as the file spells it; the file's words are compared without case.
const char* CharsetWord(TCgiCharset charset) { return charset == TCgiCharset::Utf8 ? "UTF-8" : "EUC-JP"; }

TCgiCharset ReadCharset(const TIniFile& ini) {
    const std::string word = ini.ReadString("SERVER", "Charset", "EUC-JP");
    std::string upper;
    for (const char c : word) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (upper == "EUC-JP") return TCgiCharset::EucJp;
    if (upper == "UTF-8") return TCgiCharset::Utf8;
    throw Error("文字コード(SERVERのCharset)はEUC-JPかUTF-8で指定してください。");
}

const char* ProtocolWord(TFtpProtocol protocol) {
    switch (protocol) {
        case TFtpProtocol::Ftp: return "FTP";
        case TFtpProtocol::Sftp: return "SFTP";
        case TFtpProtocol::Ftps: break;
    }
    return "FTPS";
}

// Anything but "FTP" or "SFTP" is taken as FTPS: a damaged value must not turn encryption off.
TFtpProtocol ProtocolOf(const std::string& word) {
    if (word == "FTP") return TFtpProtocol::Ftp;
    if (word == "SFTP") return TFtpProtocol::Sftp;
    return TFtpProtocol::Ftps;
}

void WriteMultiLine(TIniFile& ini, const char* section, const char* key, const std::string& value) {
    ini.WriteString(section, key, EncodeCommaText(SplitLines(value)));
}

}  // namespace

void TProjectConfig::SaveToFile(const std::string& path) const {
    TIniFile ini = TIniFile::NewFile(path);
    ini.WriteInteger("ITEM", "ItemCount", GetItemCount());
    for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->WriteIni(ini, "ITEM_" + std::to_string(i));

    ini.WriteString("MANGER_MAIL", "From", managerMailFrom_);
    ini.WriteString("MANGER_MAIL", "To", managerMailTo_);
    ini.WriteString("MANGER_MAIL", "Subject", managerMailSubject_);
    ini.WriteBool("USER_MAIL", "UseUserMail", useUserMail_);
    ini.WriteString("USER_MAIL", "From", userMailFrom_);
    ini.WriteString("USER_MAIL", "To", userMailTo_);
    ini.WriteString("USER_MAIL", "Subject", userMailSubject_);
    WriteMultiLine(ini, "USER_MAIL", "UserMailBody", userMailBody_);
    WriteMultiLine(ini, "FORM_PAGE", "FormHtml", formHtml_);
    WriteMultiLine(ini, "FORM_PAGE", "ConfirmHtml", confirmHtml_);
    ini.WriteBool("CONFIRM_PAGE", "UseConfirm", useConfirm_);
    ini.WriteInteger("FINISH_PAGE", "FinishPageMoveType", finishPageMoveType_);
    WriteMultiLine(ini, "FINISH_PAGE", "FinishPageLocation", finishPageLocation_);
    ini.WriteString("SERVER", "PerlPath", perlPath_);
    ini.WriteString("SERVER", "SendmailPath", sendmailPath_);
    ini.WriteString("SERVER", "Charset", CharsetWord(charset_));
    ini.WriteString("FTP", "FtpHostName", ftpHostName_);
    ini.WriteString("FTP", "FtpUserName", ftpUserName_);
    ini.WriteString("FTP", "FtpPassword", ftpPassword_);
    ini.WriteString("FTP", "FtpFileName", ftpFileName_);
    ini.WriteString("FTP", "FtpDirectory", ftpDirectory_);
    ini.WriteString("FTP", "FtpChmod", ftpChmod_);
    ini.WriteString("FTP", "SaveFileName", saveFileName_);
    ini.WriteBool("FTP", "FtpPassive", ftpPassive_);
    ini.WriteString("FTP", "FtpProtocol", ProtocolWord(ftpProtocol_));
    ini.WriteString("FTP", "FtpTrustedCert", ftpTrustedCert_);
    ini.WriteString("FTP", "SftpKeyFile", sftpKeyFile_);
    ini.WriteInteger("MAKE", "MakeFileType", makeFileType_);
    guard_.WriteIni(ini);
    ini.UpdateFile();
}

void TProjectConfig::LoadFromFile(const std::string& path) {
    const TIniFile ini(path);
    const long long count = ini.ReadInteger("ITEM", "ItemCount", 0);
    // Checked before anything changes: an unknown code must not become EUC-JP unnoticed.
    const TCgiCharset charset = ReadCharset(ini);

    const bool hadItems = !items_.empty();
    for (auto& item : items_) item.reset();
    items_.clear();

    // Every item goes through the checks of AddItem; the names seen so far are kept in a
    // set so that a large file loads in linear time.
    std::unordered_set<std::string> names;
    try {
        for (long long i = 0; i < count; ++i) {
            const std::string section = "ITEM_" + std::to_string(i);
            std::unique_ptr<TProjectItem> item = CreateItem(ini.ReadString(section, "Type", ""));
            item->ReadIni(ini, section);
            std::string name = item->GetNameAttr();
            if (name.empty()) throw Error("name属性を設定してください。");
            if (!names.insert(std::move(name)).second) throw Error("同じname属性が既に登録されています。");
            items_.push_back(std::move(item));
            NotifyObservers();
        }
    } catch (...) {
        // Observers must not keep showing items that were destroyed.
        if (hadItems && items_.empty()) NotifyObservers();
        throw;
    }
    if (hadItems && items_.empty()) NotifyObservers();

    managerMailFrom_ = ini.ReadString("MANGER_MAIL", "From", "");
    managerMailTo_ = ini.ReadString("MANGER_MAIL", "To", "");
    managerMailSubject_ = ini.ReadString("MANGER_MAIL", "Subject", "");
    useUserMail_ = ini.ReadBool("USER_MAIL", "UseUserMail", true);
    userMailFrom_ = ini.ReadString("USER_MAIL", "From", "");
    userMailTo_ = ini.ReadString("USER_MAIL", "To", "");
    userMailSubject_ = ini.ReadString("USER_MAIL", "Subject", "");
    userMailBody_ = ReadMultiLine(ini, "USER_MAIL", "UserMailBody");
    formHtml_ = ReadMultiLine(ini, "FORM_PAGE", "FormHtml");
    confirmHtml_ = ReadMultiLine(ini, "FORM_PAGE", "ConfirmHtml");
    useConfirm_ = ini.ReadBool("CONFIRM_PAGE", "UseConfirm", true);
    finishPageMoveType_ = static_cast<int>(ini.ReadInteger("FINISH_PAGE", "FinishPageMoveType", 0));
    finishPageLocation_ = ReadMultiLine(ini, "FINISH_PAGE", "FinishPageLocation");
    perlPath_ = ini.ReadString("SERVER", "PerlPath", "");
    sendmailPath_ = ini.ReadString("SERVER", "SendmailPath", "");
    charset_ = charset;
    ftpHostName_ = ini.ReadString("FTP", "FtpHostName", "");
    ftpUserName_ = ini.ReadString("FTP", "FtpUserName", "");
    ftpPassword_ = ini.ReadString("FTP", "FtpPassword", "");
    ftpFileName_ = ini.ReadString("FTP", "FtpFileName", "");
    ftpDirectory_ = ini.ReadString("FTP", "FtpDirectory", "");
    ftpChmod_ = ini.ReadString("FTP", "FtpChmod", "CHMOD");
    saveFileName_ = ini.ReadString("FTP", "SaveFileName", "");
    ftpPassive_ = ini.ReadBool("FTP", "FtpPassive", false);
    ftpProtocol_ = ProtocolOf(ini.ReadString("FTP", "FtpProtocol", "FTP"));
    ftpTrustedCert_ = ini.ReadString("FTP", "FtpTrustedCert", "");
    sftpKeyFile_ = ini.ReadString("FTP", "SftpKeyFile", "");
    makeFileType_ = static_cast<int>(ini.ReadInteger("MAKE", "MakeFileType", 0));
    guard_ = TGuardSettings::ReadIni(ini);
}

}  // namespace qp
