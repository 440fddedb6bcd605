#pragma once
// The project: every setting of one form-mail CGI and its ordered, owned list of items.
// Observers hear of every change of the item list.
#include <memory>
#include <string>
#include <vector>

#include "model/guard_settings.h"
#include "model/project_item.h"

namespace qp {

enum class TFtpProtocol { Ftp, Ftps, Sftp };

class TProjectConfig;

// The character code of the made script, its pages and what its visitors send.
enum class TCgiCharset { EucJp, Utf8 };

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
    std::vector<std::string> GetItemNames() const;
    std::string MakeNewItemName() const;
    void AddObserver(TProjectItemObservable* observer);
    void RemoveObserver(TProjectItemObservable* observer);
    void Reset();
    static std::string MakeDefaultFinishHtml();

    // --- project file (model/project_file.cpp)
    void SaveToFile(const std::string& path) const;
    void LoadFromFile(const std::string& path);


    // --- settings
    std::string GetPerlPath() const { return perlPath_; }
    void SetPerlPath(const std::string& v) { perlPath_ = v; }
    std::string GetSendmailPath() const { return sendmailPath_; }
    void SetSendmailPath(const std::string& v) { sendmailPath_ = v; }
    TCgiCharset GetCharset() const { return charset_; }
    void SetCharset(TCgiCharset v) { charset_ = v; }
    std::string GetManagerMailFrom() const { return managerMailFrom_; }
    void SetManagerMailFrom(const std::string& v) { managerMailFrom_ = v; }
    std::string GetManagerMailTo() const { return managerMailTo_; }
    void SetManagerMailTo(const std::string& v) { managerMailTo_ = v; }
    std::string GetManagerMailSubject() const { return managerMailSubject_; }
    void SetManagerMailSubject(const std::string& v) { managerMailSubject_ = v; }
    bool GetUseUserMail() const { return useUserMail_; }
    void SetUseUserMail(bool v) { useUserMail_ = v; }
    std::string GetUserMailFrom() const { return userMailFrom_; }
    void SetUserMailFrom(const std::string& v) { userMailFrom_ = v; }
    std::string GetUserMailTo() const { return userMailTo_; }
    void SetUserMailTo(const std::string& v) { userMailTo_ = v; }
    std::string GetUserMailSubject() const { return userMailSubject_; }
    void SetUserMailSubject(const std::string& v) { userMailSubject_ = v; }
    std::string GetUserMailBody() const { return userMailBody_; }
    void SetUserMailBody(const std::string& v) { userMailBody_ = v; }
    std::string GetFormHtml() const { return formHtml_; }
    void SetFormHtml(const std::string& v) { formHtml_ = v; }
    bool GetUseConfirm() const { return useConfirm_; }
    void SetUseConfirm(bool v) { useConfirm_ = v; }
    std::string GetConfirmHtml() const { return confirmHtml_; }
    void SetConfirmHtml(const std::string& v) { confirmHtml_ = v; }
    int GetFinishPageMoveType() const { return finishPageMoveType_; }
    void SetFinishPageMoveType(int v) { finishPageMoveType_ = v; }
    std::string GetFinishPageLocation() const { return finishPageLocation_; }
    void SetFinishPageLocation(const std::string& v) { finishPageLocation_ = v; }
    std::string GetFtpHostName() const { return ftpHostName_; }
    void SetFtpHostName(const std::string& v) { ftpHostName_ = v; }
    std::string GetFtpUserName() const { return ftpUserName_; }
    void SetFtpUserName(const std::string& v) { ftpUserName_ = v; }
    std::string GetFtpPassword() const { return ftpPassword_; }
    void SetFtpPassword(const std::string& v) { ftpPassword_ = v; }
    std::string GetFtpFileName() const { return ftpFileName_; }
    void SetFtpFileName(const std::string& v) { ftpFileName_ = v; }
    std::string GetFtpDirectory() const { return ftpDirectory_; }
    void SetFtpDirectory(const std::string& v) { ftpDirectory_ = v; }
    std::string GetSaveFileName() const { return saveFileName_; }
    void SetSaveFileName(const std::string& v) { saveFileName_ = v; }
    std::string GetFtpChmod() const { return ftpChmod_; }
    void SetFtpChmod(const std::string& v) { ftpChmod_ = v; }
    bool GetFtpPassive() const { return ftpPassive_; }
    void SetFtpPassive(bool v) { ftpPassive_ = v; }
    // FTP in clear text, explicit FTP over TLS, or SFTP. A new project starts with FTPS; a
    // file without the setting loads as FTP, as it was made.
    TFtpProtocol GetFtpProtocol() const { return ftpProtocol_; }
    void SetFtpProtocol(TFtpProtocol v) { ftpProtocol_ = v; }
    // The SHA-256 fingerprint ("SHA256:AB:CD:...") of a server certificate (FTPS) or host key
    // (SFTP) the user chose to trust although it could not be verified; empty for none.
    std::string GetFtpTrustedCert() const { return ftpTrustedCert_; }
    void SetFtpTrustedCert(const std::string& v) { ftpTrustedCert_ = v; }
    // The private key file for SFTP (project text); empty: the password logs in.
    std::string GetSftpKeyFile() const { return sftpKeyFile_; }
    void SetSftpKeyFile(const std::string& v) { sftpKeyFile_ = v; }
    // SFTP with a key file: the password may be empty.
    bool LogsInWithKey() const { return ftpProtocol_ == TFtpProtocol::Sftp && !sftpKeyFile_.empty(); }
    int GetMakeFileType() const { return makeFileType_; }
    void SetMakeFileType(int v) { makeFileType_ = v; }
    const TGuardSettings& GetGuard() const { return guard_; }
    void SetGuard(const TGuardSettings& v) { guard_ = v; }

private:
    void NotifyObservers();

    std::string perlPath_;
    std::string sendmailPath_;
    TCgiCharset charset_ = TCgiCharset::EucJp;
    ItemList items_;
    std::string managerMailFrom_;
    std::string managerMailTo_;
    std::string managerMailSubject_;
    bool useUserMail_ = false;
    std::string userMailFrom_;
    std::string userMailTo_;
    std::string userMailSubject_;
    std::string userMailBody_;
    std::string formHtml_;
    bool useConfirm_ = false;
    std::string confirmHtml_;
    int finishPageMoveType_ = 0;
    std::string finishPageLocation_;
    std::vector<TProjectItemObservable*> observers_;
    std::string ftpHostName_;
    std::string ftpUserName_;
    std::string ftpPassword_;
    std::string ftpFileName_;
    std::string ftpDirectory_;
    std::string saveFileName_;
    std::string ftpChmod_;
    bool ftpPassive_ = false;
    TFtpProtocol ftpProtocol_ = TFtpProtocol::Ftps;
    std::string ftpTrustedCert_;
    std::string sftpKeyFile_;
    int makeFileType_ = 0;
    TGuardSettings guard_;
};

}  // namespace qp
