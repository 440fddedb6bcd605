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

// GETs the address, bounded by the options, and judges the answer; when the form runs and
// there is a key, a signed status request follows and a line for each problem it shows.
TSiteReport CheckSite(const TSiteCheckOptions& options);

// CheckSite on a thread of its own while pump runs every few milliseconds on this one, so that
// a window stays alive while the server is waited for.
TSiteReport CheckSitePumping(const TSiteCheckOptions& options, const std::function<void()>& pump);

// The last line of an upload's log when the project has an address.
std::string AddressLine(const std::string& url);

}  // namespace qp
