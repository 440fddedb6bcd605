#include "deploy/inbox_fetch.h"

#include <ctime>
#include <thread>
#include <vector>

#include "deploy/server_names.h"
#include "inbox/inbox_crypto.h"
#include "model/error.h"

namespace qp {
namespace {

// Beyond the cap, the status lines of the messages kept and one full mark.
std::int64_t MaxDownload(const TProjectConfig& project) {
    return 2LL * 1048576 * project.Int(TSetting::InboxMaxMegabytes) + 65536;
}

std::string UniqueName(const std::string& inboxName) {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &utc);
    return inboxName + "-" + stamp + "-" + inbox::Hex(inbox::RandomBytes(6, "乱数を作れません。"));
}

// The names of earlier downloads that were renamed but never removed (a cut connection).
std::vector<std::string> Leftovers(TRemoteFiles& client, const std::string& inboxName) {
    std::vector<std::string> names;
    try {
        client.List();
    } catch (const Error&) {
        // A server that will not list the folder still gives the inbox file by its name.
        if (!client.Connected()) throw;
        return names;
    }
    for (const TFtpListEntry& entry : client.Entries()) {
        const std::string& name = entry.Name;
        if (name.size() > inboxName.size() + 1 && name.compare(0, inboxName.size() + 1, inboxName + "-") == 0 &&
            name.find('/') == std::string::npos)
            names.push_back(name);
    }
    return names;
}

}  // namespace

std::string InboxFileName(const std::string& scriptFileName) {
    std::string name = scriptFileName.substr(scriptFileName.find_last_of("/\\") == std::string::npos
                                                 ? 0
                                                 : scriptFileName.find_last_of("/\\") + 1);
    for (char& c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '_' || c == '-';
        if (!plain) c = '_';
    }
    return ".htquillpost-" + name + "-inbox";
}

TInboxImport FetchInbox(TRemoteFiles& client, const TProjectConfig& project, const TInboxPrivateKey& key,
                        TInboxStore& store, TInboxStore& aside, const TInboxFetchOptions& options,
                        TInboxFetchListener& listener) {
    const std::string inboxName = InboxFileName(project.GetFtpFileName());
    client.SetCancelCheck([&listener] { return listener.CancelRequested(); });
    client.SetPump([&listener] { listener.Pump(); });
    listener.LogLine(project.GetFtpHostName() + " に接続します。");
    client.Connect();
    const std::string folder = ToServerName(client, project.GetFtpDirectory());
    if (!folder.empty() && client.CurrentFolder() != folder) client.ChangeFolder(folder);

    // Each name fetched, with whether the server holds it under a name of this download.
    std::vector<std::string> fetched;
    if (!options.Keep) {
        for (const std::string& name : Leftovers(client, inboxName)) {
            listener.LogLine("前回取り込めなかった " + name + " も受信します。");
            fetched.push_back(name);
        }
    }
    const std::optional<std::int64_t> size = client.RemoteSize(inboxName);
    if (size) {
        if (options.Keep) {
            fetched.push_back(inboxName);
        } else {
            const std::string unique = UniqueName(inboxName);
            client.Rename(inboxName, unique);
            listener.LogLine(inboxName + " を " + unique + " に名前を変えました。");
            fetched.push_back(unique);
            const auto until = std::chrono::steady_clock::now() + options.Settle;
            while (std::chrono::steady_clock::now() < until) {
                listener.Pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    if (fetched.empty()) listener.LogLine("サーバーに受信データはありません。");

    TInboxImport total;
    for (const std::string& name : fetched) {
        std::string bytes;
        // A send that held the file when it was renamed may still add its line: the size is
        // taken again after the download, and a file that grew is downloaded once more.
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::optional<std::int64_t> expected = client.RemoteSize(name);
            bytes = client.RetrieveBytes(name, MaxDownload(project), [&](std::int64_t got, std::int64_t) {
                listener.Progress(got, expected.value_or(0));
            });
            const std::optional<std::int64_t> after = client.RemoteSize(name);
            if (!after || *after == static_cast<std::int64_t>(bytes.size()) || options.Keep) break;
        }
        listener.LogLine(name + " を受信しました（" + std::to_string(bytes.size()) + "バイト）。");
        const TInboxImport one = ImportInboxFile(bytes, store, aside, key);
        total.Added += one.Added;
        total.MailFailed += one.MailFailed;
        total.Refused.insert(total.Refused.end(), one.Refused.begin(), one.Refused.end());
        total.Full = total.Full || one.Full;
    }
    store.Save();
    if (!aside.Lines().empty()) aside.Save();
    if (!options.Keep) {
        for (const std::string& name : fetched) {
            client.DeleteFile(name);
            listener.LogLine(name + " をサーバーから削除しました。");
        }
    }
    client.Disconnect();
    return total;
}

}  // namespace qp
