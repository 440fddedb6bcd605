#pragma once
// One file of an upload: where it is here, the name it gets on the server, and whether the
// permission command is run on it afterwards.
#include <string>

namespace qp {

struct TUploadFile {
    TUploadFile() = default;
    TUploadFile(std::string localFileName, std::string remoteFileName, bool chmod)
        : LocalFileName(std::move(localFileName)), RemoteFileName(std::move(remoteFileName)), Chmod(chmod) {}

    std::string LocalFileName;   // a path of this machine's file system
    std::string RemoteFileName;  // project text (Shift_JIS), relative to the target folder
    bool Chmod = false;

    bool operator==(const TUploadFile&) const = default;
};

}  // namespace qp
