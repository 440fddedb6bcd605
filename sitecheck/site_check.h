#pragma once
// The check after an upload: requests the project's script address and says in Japanese,
// one line per point, whether the form runs there and what to do when it does not.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qp {

enum class TSiteVerdict {
    Works,        // the form's page came back
    Problem,      // the server answered, but not with the form
    Unreachable,  // no answer, or none that could be trusted (the certificate)
};

struct TSiteReport {
    TSiteVerdict Verdict = TSiteVerdict::Unreachable;
    std::vector<std::string> Lines;  // UTF-8, each with its remedy
    // Files beside the script that the CGI cannot write and that FixSite can make writable.
    std::vector<std::string> Fixable;
};

struct TSiteCheckOptions {
    std::string Url;     // the project's ScriptUrl (ASCII; checked by CheckSite)
    std::string CaFile;  // PEM authorities to trust instead of the system's; empty: the system's
    std::chrono::seconds ConnectTimeout{10};
    std::chrono::seconds ReadTimeout{15};    // each single wait for the server
    std::chrono::seconds WholeTimeout{30};   // the whole answer
    std::size_t MaxBytes = 1024 * 1024;      // a longer answer is cut off and judged as it stands
    // The project's check key (empty: no status request) and what its script needs of the host.
    std::string CheckKey;
    std::string ScriptName;  // the CGI's file name, for the names of its files beside it
    std::string PerlPath;    // the script's own, tried by the probes with the usual ones
    bool UsesStateFile = false;
    bool UsesInbox = false;
};

class TProjectConfig;
// The options of the project's check: its address, key and what its script needs.
TSiteCheckOptions SiteCheckOptionsOf(const TProjectConfig& project);

// The parts of an http or https address. Raises Error for anything else (another scheme, no
// host, a character outside printable ASCII, a port out of range).
struct TScriptUrl {
    bool Https = false;
    std::string Host;  // an IPv6 address without its brackets
    int Port = 0;
    std::string Target;  // the path and query, at least "/"
};
TScriptUrl ParseScriptUrl(const std::string& url);

// The script's folder on the server, for the probe scripts that find a perl path that runs.
class TProbeFolder {
public:
    virtual ~TProbeFolder() = default;
    // Stores text under name in the script's folder, with mode 755. Raises Error.
    virtual void Put(const std::string& name, const std::string& text) = 0;
    // Removes what Put stored; raises nothing (a probe left behind is named by the caller).
    virtual bool Remove(const std::string& name) = 0;
    // The file of that name with mode 0666, made empty when there is none: what is in it stays.
    virtual void MakeWritable(const std::string& name) = 0;
};

// Runs one blocking network wait of the check: directly, or on a thread while a window pumps.
using TNetworkRunner = std::function<void(const std::function<void()>&)>;

// GETs the address, bounded by the options, and judges the answer; when the form runs and
// there is a key, a signed status request follows and a line for each problem it shows.
// When the server fails to run it (500) and probes is given, small scripts under temporary
// names with the usual perl paths are put beside it, requested and removed, and the result
// says which path runs. The HTTP waits go through run; the folder is used on this thread.
TSiteReport CheckSite(const TSiteCheckOptions& options, TProbeFolder* probes = nullptr,
                      const TNetworkRunner& run = {});

// Makes the files of found.Fixable writable for the CGI's user, one line each, then checks
// again: the lines of both, the verdict of the second.
TSiteReport FixSite(const TSiteCheckOptions& options, TProbeFolder& folder, const TSiteReport& found,
                    const TNetworkRunner& run = {});

// A runner that keeps a window alive: the wait on a thread of its own, pump every few
// milliseconds on this one.
TNetworkRunner PumpingRunner(const std::function<void()>& pump);

// The last line of an upload's log when the project has an address.
std::string AddressLine(const std::string& url);

}  // namespace qp
