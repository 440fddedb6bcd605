#pragma once
// Whom a secure connection reached: what the server showed (an FTPS certificate or an SSH
// host key), its SHA-256 fingerprint, and whether the system could vouch for it.
#include <string>
#include <utility>
#include <vector>

namespace qp {

enum class TIdentityKind { Certificate, HostKey };

struct TServerIdentity {
    TIdentityKind Kind = TIdentityKind::Certificate;
    std::string Fingerprint;  // "SHA256:AB:CD:..." (32 bytes in upper-case hex)
    bool Verified = false;    // checked against the system's trust store and the host name
    std::string Problem;      // why not, when not verified (UTF-8)
    // Label and value for the user, in order: subject, issuer, validity, fingerprint for a
    // certificate; type and fingerprint for a host key.
    std::vector<std::pair<std::string, std::string>> Details;
};

// "SHA256:" and 64 hex digits, colons optional, any case, or "SHA256:" and the 43 base64
// digits OpenSSH shows, as "SHA256:AB:CD:..."; empty when the text is not such a fingerprint.
std::string NormalizeFingerprint(const std::string& text);
// 32 bytes of a SHA-256 digest as "SHA256:AB:CD:...".
std::string FingerprintOf(const unsigned char* digest);
// The form OpenSSH shows: "SHA256:" and unpadded base64; empty for a text that is no
// normalized fingerprint.
std::string OpenSshFingerprint(const std::string& normalized);

}  // namespace qp
