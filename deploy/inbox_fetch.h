#pragma once
// The inbox download: the file beside the script renamed to a name of its own (arrivals
// during the download start a new file), downloaded, checked and added to the local store,
// then removed from the server. With Keep the server is left exactly as it was.
#include <chrono>
#include <cstdint>
#include <string>

#include "inbox/inbox_key.h"
#include "inbox/inbox_store.h"
#include "model/project_config.h"
#include "remote/remote_files.h"

namespace qp {

class TInboxFetchListener {
public:
    virtual ~TInboxFetchListener() = default;
    virtual void LogLine(const std::string& line) = 0;
    virtual void Progress(std::int64_t received, std::int64_t total) = 0;
    virtual void Pump() = 0;
    virtual bool CancelRequested() = 0;
};

struct TInboxFetchOptions {
    bool Keep = false;
    // After the rename, the time given to a send that opened the file before it to finish
    // its line; the size is checked again after the download as well.
    std::chrono::milliseconds Settle{2000};
};

// The inbox file's name beside the script fileName, as the runtime makes it.
std::string InboxFileName(const std::string& scriptFileName);

// Connects client (its settings and hooks applied by the caller), fetches, saves store and
// aside, and removes what it fetched from the server only once both are saved. The key was
// checked against the project before: a wrong key never reaches the server.
TInboxImport FetchInbox(TRemoteFiles& client, const TProjectConfig& project, const TInboxPrivateKey& key,
                        TInboxStore& store, TInboxStore& aside, const TInboxFetchOptions& options,
                        TInboxFetchListener& listener);

}  // namespace qp
