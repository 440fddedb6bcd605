#pragma once
// The project: every setting of one form-mail CGI and its ordered, owned list of items.
// Observers hear of every change of the item list.
#include <memory>
#include <string>
#include <vector>

#include "model/guard_settings.h"
#include "model/project_item.h"
#include "model/settings_table.h"

namespace qp {

enum class TFtpProtocol { Ftp, Ftps, Sftp };

class TProjectConfig;

// The character code of the made script, its pages and what its visitors send.
enum class TCgiCharset { EucJp, Utf8 };

// The markup of the sample pages and of a new project's finish page (SAMPLE Style).
enum class TPageStyle { Html5, Xhtml };

// What the made script does after sending (FinishPageMoveType).
enum TFinishPageMove : int { kFinishTemplate = 0, kFinishRedirect = 1 };
// What the Make button makes (MakeFileType).
enum TMakeFileType : int { kMakeLocal = 0, kMakeUpload = 1, kMakeConverter = 2 };

class TProjectItemObservable {
public:
    virtual void Notify(TProjectConfig* project) = 0;

protected:
    // Virtual so that observer classes compile cleanly under -Wnon-virtual-dtor; the project
    // never destroys an observer.
    virtual ~TProjectItemObservable() = default;
};

class TProjectConfig {
public:
    using ItemList = std::vector<std::unique_ptr<TProjectItem>>;

    TProjectConfig();
    ~TProjectConfig();
    TProjectConfig(const TProjectConfig&) = delete;
    TProjectConfig& operator=(const TProjectConfig&) = delete;

    // --- item list (model/project_config.cpp)
    const ItemList& GetItems() const { return items_; }
    int GetItemCount() const { return static_cast<int>(items_.size()); }
    // Takes the item on success; on an error the item stays in `item` (the caller's).
    void AddItem(std::unique_ptr<TProjectItem>&& item);
    void UpdateItem(unsigned index, std::unique_ptr<TProjectItem>&& item);
    void DeleteItem(int index);
    // Moves the item at `from` to `to` (both within the list); nothing for others.
    void MoveItem(int from, int to);
    // A copy of the item at `index` under MakeNewItemName, placed right after it; returns
    // its index, or -1 for an index outside the list.
    int DuplicateItem(int index);
    // The whole item list as text, and back: what an undo of an item operation restores.
    std::string ItemsSnapshot() const;
    void RestoreItems(const std::string& snapshot);
    std::vector<std::string> GetItemNames() const;
    std::string MakeNewItemName() const;
    void AddObserver(TProjectItemObservable* observer);
    void RemoveObserver(TProjectItemObservable* observer);
    void Reset();
    // Takes the items and settings of another project (one just loaded, say) in one step,
    // and tells this project's observers; the other is left empty.
    void ReplaceWith(TProjectConfig&& other);
    static std::string MakeDefaultFinishHtml(TPageStyle style);

    // --- project file (model/project_file.cpp)
    // A file that holds a password or a key file's path is readable by its owner only.
    void SaveToFile(const std::string& path) const;
    void LoadFromFile(const std::string& path);


    // --- settings (model/settings_table.cpp lists them all, with their file keys and defaults)
    const TSettingValues& Settings() const { return settings_; }
    TSettingValues& Settings() { return settings_; }
    const std::string& Text(TSetting id) const { return settings_.Text(id); }
    int Int(TSetting id) const { return settings_.Int(id); }
    bool Bool(TSetting id) const { return settings_.Bool(id); }
    void Set(TSetting id, TSettingValue value) { settings_.Set(id, std::move(value)); }

    std::string GetPerlPath() const { return settings_.Text(TSetting::PerlPath); }
    void SetPerlPath(const std::string& v) { settings_.Set(TSetting::PerlPath, v); }
    std::string GetSendmailPath() const { return settings_.Text(TSetting::SendmailPath); }
    void SetSendmailPath(const std::string& v) { settings_.Set(TSetting::SendmailPath, v); }
    std::string GetScriptUrl() const { return settings_.Text(TSetting::ScriptUrl); }
    void SetScriptUrl(const std::string& v) { settings_.Set(TSetting::ScriptUrl, v); }
    TCgiCharset GetCharset() const { return static_cast<TCgiCharset>(settings_.Int(TSetting::Charset)); }
    void SetCharset(TCgiCharset v) { settings_.Set(TSetting::Charset, static_cast<int>(v)); }
    std::string GetManagerMailFrom() const { return settings_.Text(TSetting::ManagerMailFrom); }
    void SetManagerMailFrom(const std::string& v) { settings_.Set(TSetting::ManagerMailFrom, v); }
    std::string GetManagerMailTo() const { return settings_.Text(TSetting::ManagerMailTo); }
    void SetManagerMailTo(const std::string& v) { settings_.Set(TSetting::ManagerMailTo, v); }
    std::string GetManagerMailSubject() const { return settings_.Text(TSetting::ManagerMailSubject); }
    void SetManagerMailSubject(const std::string& v) { settings_.Set(TSetting::ManagerMailSubject, v); }
    bool GetUseUserMail() const { return settings_.Bool(TSetting::UseUserMail); }
    void SetUseUserMail(bool v) { settings_.Set(TSetting::UseUserMail, v); }
    std::string GetUserMailFrom() const { return settings_.Text(TSetting::UserMailFrom); }
    void SetUserMailFrom(const std::string& v) { settings_.Set(TSetting::UserMailFrom, v); }
    std::string GetUserMailTo() const { return settings_.Text(TSetting::UserMailTo); }
    void SetUserMailTo(const std::string& v) { settings_.Set(TSetting::UserMailTo, v); }
    std::string GetUserMailSubject() const { return settings_.Text(TSetting::UserMailSubject); }
    void SetUserMailSubject(const std::string& v) { settings_.Set(TSetting::UserMailSubject, v); }
    std::string GetUserMailBody() const { return settings_.Text(TSetting::UserMailBody); }
    void SetUserMailBody(const std::string& v) { settings_.Set(TSetting::UserMailBody, v); }
    std::string GetFormHtml() const { return settings_.Text(TSetting::FormHtml); }
    void SetFormHtml(const std::string& v) { settings_.Set(TSetting::FormHtml, v); }
    bool GetUseConfirm() const { return settings_.Bool(TSetting::UseConfirm); }
    void SetUseConfirm(bool v) { settings_.Set(TSetting::UseConfirm, v); }
    std::string GetConfirmHtml() const { return settings_.Text(TSetting::ConfirmHtml); }
    void SetConfirmHtml(const std::string& v) { settings_.Set(TSetting::ConfirmHtml, v); }
    // kFinishTemplate or kFinishRedirect; a file may hold another number, which is kept.
    int GetFinishPageMoveType() const { return settings_.Int(TSetting::FinishPageMoveType); }
    void SetFinishPageMoveType(int v) { settings_.Set(TSetting::FinishPageMoveType, v); }
    std::string GetFinishPageLocation() const { return settings_.Text(TSetting::FinishPageLocation); }
    void SetFinishPageLocation(const std::string& v) { settings_.Set(TSetting::FinishPageLocation, v); }
    TPageStyle GetSampleStyle() const { return static_cast<TPageStyle>(settings_.Int(TSetting::SampleStyle)); }
    void SetSampleStyle(TPageStyle v) { settings_.Set(TSetting::SampleStyle, static_cast<int>(v)); }
    std::string GetFtpHostName() const { return settings_.Text(TSetting::FtpHostName); }
    void SetFtpHostName(const std::string& v) { settings_.Set(TSetting::FtpHostName, v); }
    std::string GetFtpUserName() const { return settings_.Text(TSetting::FtpUserName); }
    void SetFtpUserName(const std::string& v) { settings_.Set(TSetting::FtpUserName, v); }
    std::string GetFtpPassword() const { return settings_.Text(TSetting::FtpPassword); }
    void SetFtpPassword(const std::string& v) { settings_.Set(TSetting::FtpPassword, v); }
    std::string GetFtpFileName() const { return settings_.Text(TSetting::FtpFileName); }
    void SetFtpFileName(const std::string& v) { settings_.Set(TSetting::FtpFileName, v); }
    std::string GetFtpDirectory() const { return settings_.Text(TSetting::FtpDirectory); }
    void SetFtpDirectory(const std::string& v) { settings_.Set(TSetting::FtpDirectory, v); }
    std::string GetSaveFileName() const { return settings_.Text(TSetting::SaveFileName); }
    void SetSaveFileName(const std::string& v) { settings_.Set(TSetting::SaveFileName, v); }
    std::string GetFtpChmod() const { return settings_.Text(TSetting::FtpChmod); }
    void SetFtpChmod(const std::string& v) { settings_.Set(TSetting::FtpChmod, v); }
    bool GetFtpPassive() const { return settings_.Bool(TSetting::FtpPassive); }
    void SetFtpPassive(bool v) { settings_.Set(TSetting::FtpPassive, v); }
    // FTP in clear text, explicit FTP over TLS, or SFTP. A new project starts with FTPS; a
    // file without the setting loads as FTP, as it was made.
    TFtpProtocol GetFtpProtocol() const { return static_cast<TFtpProtocol>(settings_.Int(TSetting::FtpProtocol)); }
    void SetFtpProtocol(TFtpProtocol v) { settings_.Set(TSetting::FtpProtocol, static_cast<int>(v)); }
    // The SHA-256 fingerprint ("SHA256:AB:CD:...") of a server certificate (FTPS) or host key
    // (SFTP) the user chose to trust although it could not be verified; empty for none.
    std::string GetFtpTrustedCert() const { return settings_.Text(TSetting::FtpTrustedCert); }
    void SetFtpTrustedCert(const std::string& v) { settings_.Set(TSetting::FtpTrustedCert, v); }
    // The private key file for SFTP (project text); empty: the password logs in.
    std::string GetSftpKeyFile() const { return settings_.Text(TSetting::SftpKeyFile); }
    void SetSftpKeyFile(const std::string& v) { settings_.Set(TSetting::SftpKeyFile, v); }
    // Whether the project file keeps the password; off, it lives only as long as the project.
    bool GetSavePassword() const { return settings_.Bool(TSetting::SavePassword); }
    void SetSavePassword(bool v) { settings_.Set(TSetting::SavePassword, v); }
    // A connection needs a password that the project does not know (not kept in the file, not
    // typed in this session, no key file to log in with).
    bool NeedsPassword() const { return GetFtpPassword().empty() && !GetSavePassword() && !LogsInWithKey(); }
    // SFTP with a key file: the password may be empty.
    bool LogsInWithKey() const { return GetFtpProtocol() == TFtpProtocol::Sftp && !GetSftpKeyFile().empty(); }
    // kMakeLocal, kMakeUpload or kMakeConverter (the window's three radio buttons).
    int GetMakeFileType() const { return settings_.Int(TSetting::MakeFileType); }
    void SetMakeFileType(int v) { settings_.Set(TSetting::MakeFileType, v); }
    // The defences, as the script writer and the checks take them.
    TGuardSettings GetGuard() const;
    void SetGuard(const TGuardSettings& v);

private:
    void NotifyObservers();

    ItemList items_;
    std::vector<TProjectItemObservable*> observers_;
    TSettingValues settings_;
};

}  // namespace qp
