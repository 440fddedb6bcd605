#pragma once
// The questions the desktop program asks when a server shows a certificate the system cannot
// verify or an unknown host key, and for a key file's passphrase; the decision rules
// themselves live in the core (TServerTrust).
#include <QWidget>
#include <optional>
#include <string>

#include "remote/remote_files.h"

namespace qp {

// Shows a certificate (subject, issuer, validity, fingerprint) or a host key (type and
// fingerprints); true when the user chooses to trust it.
bool AskTrustServer(QWidget* parent, const TServerIdentity& identity);
// The passphrase of an encrypted key file; nullopt when the user cancels.
std::optional<std::string> AskPassphrase(QWidget* parent, const std::string& keyFile);

// The trust question and the passphrase question for a dialog's client, asked over parent.
void AskInDialogs(TRemoteFiles& client, QWidget* parent);

}  // namespace qp
