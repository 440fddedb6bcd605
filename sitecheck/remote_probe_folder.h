#pragma once
// The check's probe folder over the project's server account: the client is asked for and
// connected on the first probe only, with whatever trust it was given, in the script's folder.
#include <functional>
#include <string>

#include "remote/remote_files.h"
#include "sitecheck/site_check.h"

namespace qp {

class TRemoteProbeFolder : public TProbeFolder {
public:
    // client: called once, before the first connection (a password may be asked for there).
    TRemoteProbeFolder(std::function<TRemoteFiles&()> client, std::string folder, std::string chmodCommand);
    // Disconnects the client when it connected it.
    ~TRemoteProbeFolder() override;
    TRemoteProbeFolder(const TRemoteProbeFolder&) = delete;
    TRemoteProbeFolder& operator=(const TRemoteProbeFolder&) = delete;

    void Put(const std::string& name, const std::string& text) override;
    bool Remove(const std::string& name) override;
    void MakeWritable(const std::string& name) override;

private:
    TRemoteFiles& Client();
    void Put(const std::string& name, const std::string& text, int mode);
    std::function<TRemoteFiles&()> clientOf_;
    TRemoteFiles* client_ = nullptr;  // connected by this folder
    std::string folder_;
    std::string chmodCommand_;
};

}  // namespace qp
