#pragma once
// The question the desktop program asks when a server shows a certificate the system cannot
// verify; the decision rules themselves live in the core (TServerTrust).
#include <QWidget>
#include <string>

#include "remote/remote_files.h"

namespace qp {

// Shows subject, issuer, validity and fingerprint; true when the user chooses to trust it.
bool AskTrustServer(QWidget* parent, const TServerIdentity& identity);

// FTPS or FTP for a dialog's client, with the project's trusted fingerprint and the question.
void SetUpSecurity(TRemoteFiles& client, QWidget* parent, bool secure, const std::string& trustedCert);

}  // namespace qp
