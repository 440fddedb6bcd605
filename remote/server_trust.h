#pragma once
// The decision whether to go on with a server whose identity has been shown: verified by the
// system, or matching a fingerprint the user trusts (stored in the project or given for one
// call), or accepted by the user when asked. A stored fingerprint that no longer matches is
// refused without asking. No window code: the desktop program supplies the question.
#include <functional>
#include <string>

#include "remote/server_identity.h"

namespace qp {

class TServerTrust {
public:
    // Shows the identity to the user; true when the user trusts it.
    using Asker = std::function<bool(const TServerIdentity&)>;

    void SetStoredFingerprint(const std::string& fingerprint) { stored_ = NormalizeFingerprint(fingerprint); }
    void SetTrustedForThisCall(const std::string& fingerprint) { forCall_ = NormalizeFingerprint(fingerprint); }
    void SetAsker(Asker asker) { asker_ = std::move(asker); }
    // Appended to the refusal of an unverified identity when nobody can be asked.
    void SetRefusalHint(const std::string& hint) { hint_ = hint; }

    // Returns when the identity is trusted; raises Error otherwise (Refused() is then true).
    void Check(const TServerIdentity& identity);

    // The fingerprint accepted by this check that the project does not hold yet (the user's
    // answer, or the one given for the call); empty otherwise.
    const std::string& NewlyTrusted() const { return newlyTrusted_; }
    bool Refused() const { return refused_; }

private:
    [[noreturn]] void Refuse(const std::string& message);

    std::string stored_;
    std::string forCall_;
    std::string hint_;
    Asker asker_;
    std::string newlyTrusted_;
    bool refused_ = false;
};

}  // namespace qp
