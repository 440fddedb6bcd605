#pragma once
// The local inbox as a CSV file for a spreadsheet: a header row (受信日時, 送信状況, the
// display names), one row per message, oldest first, CR LF, quoted as RFC 4180 says.
#include <string>
#include <vector>

#include "inbox/inbox_store.h"

namespace qp {

enum class TCsvEncoding { Utf8Bom, Cp932 };

struct TInboxCsv {
    std::string Bytes;
    // One line per character that Shift_JIS cannot hold and that became 〓 (UTF-8).
    std::vector<std::string> Replaced;
};

// The columns follow the fields of the newest message, then any others in the order met.
// Times are local.
TInboxCsv MakeInboxCsv(const std::vector<TInboxEntry>& entries, TCsvEncoding encoding);

// "YYYY/MM/DD HH:MM:SS" in local time.
std::string InboxTimeText(long long secondsSince1970);
// "送信済み", "メール未送信" or "不明".
std::string InboxStatusText(TInboxMailStatus status);

}  // namespace qp
