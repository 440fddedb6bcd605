#include "deploy/upload_sequence.h"

#include <sys/stat.h>

#include "generate/file_utility.h"
#include "model/charset.h"
#include "model/error.h"

namespace qp {

std::string LogText(const std::string& sjis) {
    try {
        return charset::SjisToUtf8(sjis);
    } catch (const Error&) {
        return sjis;
    }
}

TUploadSequence::TUploadSequence(TUploadListener& listener, const TConnection& connection)
    : listener_(listener), client_(MakeRemoteFiles(connection)) {
    Attach();
}

void TUploadSequence::Attach() {
    client_->SetPump([this] { listener_.Pump(); });
    client_->SetCancelCheck([this] { return listener_.CancelRequested(); });
    // The client's own steps (TLS, the certificate) go to the log; the traffic does not.
    client_->SetLogEnabled(true);
    client_->SetLogHook([this](TRemoteLogDirection direction, const std::string& line) {
        if (direction == TRemoteLogDirection::Note) listener_.LogLine(line);
    });
}

void TUploadSequence::SetUploadFiles(const std::vector<TUploadFile>& files, const std::string& ftpDirectory,
                                     const std::string& chmodCommand) {
    files_ = files;
    ftpDirectory_ = ftpDirectory;
    chmodCommand_ = chmodCommand;
}

void TUploadSequence::Run() {
    if (started_) return;
    started_ = true;
    try {
        UploadAll();
    } catch (...) {
        client_->Disconnect();
        finished_ = true;
        // Cancelled while connecting: the user asked for the stop, it is no failure.
        if (listener_.CancelRequested()) return;
        throw;
    }
    client_->Disconnect();
    finished_ = true;
}

void TUploadSequence::UploadAll() {
    client_->Connect();
    for (const TUploadFile& file : files_) {
        struct stat st {};
        if (::stat(file.LocalFileName.c_str(), &st) != 0) {
            listener_.LogLine("[ERROR]" + file.LocalFileName + "が見つかりません。");
            continue;
        }
        if (listener_.CancelRequested()) return;
        const std::int64_t size = TkFileUtility::GetFileSize(file.LocalFileName);
        if (!ftpDirectory_.empty() && client_->CurrentFolder() != ftpDirectory_)
            client_->ChangeFolder(ftpDirectory_);
        if (listener_.CancelRequested()) return;
        client_->AnnounceSize(size);
        if (listener_.CancelRequested()) return;
        client_->StoreText(
            file.LocalFileName, file.RemoteFileName,
            [&](std::int64_t sent, std::int64_t total) { listener_.Progress(file, sent, total); });
        const std::string remote = LogText(file.RemoteFileName);
        listener_.LogLine(remote + "をアップロードしました。");
        if (listener_.CancelRequested()) return;
        if (file.Chmod) {
            if (client_->UsesChmodCommand())
                listener_.LogLine(LogText(chmodCommand_ + " 755 " + file.RemoteFileName));
            else
                listener_.LogLine(remote + " のアクセス権を 755 に設定します（SFTP ではchmodコマンドの設定は使いません）。");
            client_->SetMode(file.RemoteFileName, 0755, chmodCommand_);
            listener_.LogLine(remote + " のアクセス権を設定しました。");
        }
    }
}

}  // namespace qp
