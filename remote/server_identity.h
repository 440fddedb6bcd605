#pragma once
// Whom a secure connection reached: what the server showed (a certificate today, a host key
// for SFTP later), its SHA-256 fingerprint, and whether the system could vouch for it.
#include <string>
#include <utility>
#include <vector>

namespace qp {

struct TServerIdentity {
    std::string Fingerprint;  // "SHA256:AB:CD:..." (32 bytes in upper-case hex)
    bool Verified = false;    // checked against the system's trust store and the host name
    std::string Problem;      // why not, when not verified (UTF-8)
    // Label and value for the user, in order: subject, issuer, validity, fingerprint.
    std::vector<std::pair<std::string, std::string>> Details;
};

// "SHA256:" and 64 hex digits, colons optional, any case, as "SHA256:AB:CD:..."; empty when
// the text is not such a fingerprint.
std::string NormalizeFingerprint(const std::string& text);

}  // namespace qp
