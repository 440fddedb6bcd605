#include "sitecheck/remote_probe_folder.h"

#include <unistd.h>

#include <cstdlib>

#include "model/error.h"

namespace qp {

TRemoteProbeFolder::TRemoteProbeFolder(std::function<TRemoteFiles&()> client, std::string folder,
                                       std::string chmodCommand)
    : clientOf_(std::move(client)), folder_(std::move(folder)), chmodCommand_(std::move(chmodCommand)) {}

TRemoteProbeFolder::~TRemoteProbeFolder() {
    if (client_) client_->Disconnect();
}

TRemoteFiles& TRemoteProbeFolder::Client() {
    if (!client_) {
        TRemoteFiles& client = clientOf_();
        client.Connect();
        client_ = &client;
        if (!folder_.empty()) client.ChangeFolder(folder_);
    }
    return *client_;
}

void TRemoteProbeFolder::Put(const std::string& name, const std::string& text) {
    Put(name, text, 0755);
}

void TRemoteProbeFolder::MakeWritable(const std::string& name) {
    // A file the CGI already wrote keeps its lines: only its mode changes.
    if (Client().RemoteSize(name)) {
        client_->SetMode(name, 0666, chmodCommand_);
        return;
    }
    Put(name, "", 0666);
}

void TRemoteProbeFolder::Put(const std::string& name, const std::string& text, int mode) {
    Client();
    const char* tmp = std::getenv("TMPDIR");
    std::string local = std::string(tmp && *tmp ? tmp : "/tmp") + "/quillpost-probe-XXXXXX";
    const int fd = ::mkstemp(local.data());
    if (fd < 0) throw FileError("一時ファイルを作成できません。");
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    try {
        if (!written) throw FileError("一時ファイルに書き込めません。");
        client_->StoreText(local, name);
        client_->SetMode(name, mode, chmodCommand_);
    } catch (...) {
        ::unlink(local.c_str());
        throw;
    }
    ::unlink(local.c_str());
}

bool TRemoteProbeFolder::Remove(const std::string& name) {
    if (!client_) return false;
    try {
        client_->DeleteFile(name);
        return true;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace qp
