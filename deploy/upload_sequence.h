#pragma once
// The upload run behind the upload dialog: connect, put every file of the list into the
// target folder in ASCII mode, set 755 on the files marked for it, disconnect, one log line
// per step. No window code: the dialog adapts TUploadListener.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "deploy/connection.h"
#include "deploy/upload_file.h"
#include "remote/remote_files.h"

namespace qp {

class TUploadListener {
public:
    virtual ~TUploadListener() = default;
    // One line for the log, UTF-8.
    virtual void LogLine(const std::string& line) = 0;
    // Bytes of `file` sent so far of its total, while it is transferred.
    virtual void Progress(const TUploadFile& file, std::int64_t sent, std::int64_t total) = 0;
    // Called often while the network is waited for: keep the window alive here.
    virtual void Pump() = 0;
    // Read between steps and between the pieces of a transfer, which then ends early. A
    // cancel before the renames leaves the live files as they were.
    virtual bool CancelRequested() = 0;
};

class TUploadSequence {
public:
    TUploadSequence(TUploadListener& listener, const TConnection& connection);

    void SetUploadFiles(const std::vector<TUploadFile>& files, const std::string& ftpDirectory,
                        const std::string& chmodCommand);
    // For the front end's questions (trust, passphrase) or a protocol log before Run.
    TRemoteFiles& Client() { return *client_; }

    // Runs the sequence once; later calls do nothing. Every file goes to a temporary name in
    // the folder and gets its mode there; only when all are there are they renamed over the
    // live files, the runtime first and the script last. An error or a cancel before the
    // renames removes the temporary files and leaves the live ones as they were; the error
    // raised says so, or which files are new and which old when the renames were under way.
    // Afterwards the client is disconnected and Finished() is true.
    void Run();
    bool Finished() const { return finished_; }

private:
    struct Staged {
        const TUploadFile* File;
        std::string ServerName;  // the remote name as the server spells it
        std::string Temporary;
        bool Placed;
    };
    void UploadAll();
    void CheckSizes();
    void PlaceAll();
    void RemoveTemporaries();
    void LogCancelled();
    std::string FailureMessage(const std::string& reason) const;
    void Attach();

    TUploadListener& listener_;
    std::unique_ptr<TRemoteFiles> client_;
    std::vector<TUploadFile> files_;
    std::string ftpDirectory_;
    std::string chmodCommand_;
    std::vector<Staged> staged_;
    bool placing_ = false;
    bool started_ = false;
    bool finished_ = false;
};

// A project text (Shift_JIS) as UTF-8 for a log line; bytes that do not convert are kept.
std::string LogText(const std::string& sjis);

}  // namespace qp
