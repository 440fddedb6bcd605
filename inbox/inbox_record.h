#pragma once
// One line of an inbox file, as the runtime writes it beside the script (see lib/Quillpost.pm,
// group "inbox"), and what it holds once opened with the private key:
//   Q1 ID KEYID WRAPPED CONTENT TAG   a message
//   S1 ID STATUS TAG                  whether its mails went
//   F                                 the file was full; later sends were not kept
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inbox/inbox_key.h"

namespace qp {

enum class TInboxLineKind { Message, Status, Full, Broken };

// The line's kind and its ID (Message and Status), by its form alone.
struct TInboxLineHead {
    TInboxLineKind Kind = TInboxLineKind::Broken;
    std::string Id;
    std::string KeyId;  // a Message's
};
TInboxLineHead ReadInboxLineHead(std::string_view line);

struct TInboxField {
    std::string Attr;   // the name attribute (UTF-8)
    std::string Name;   // the display name (UTF-8)
    std::string Value;  // as sent (UTF-8)
    bool operator==(const TInboxField&) const = default;
};

enum class TInboxMailStatus { Unknown, Mailed, Failed };

struct TInboxMessage {
    std::string Id;
    std::int64_t Received = 0;  // seconds since 1970 (UTC), the server's clock
    std::string Address;        // the visitor's address
    std::vector<TInboxField> Fields;
    std::string RecordKey;      // to open the status line
};

struct TInboxStatus {
    TInboxMailStatus Status = TInboxMailStatus::Unknown;
    std::string Reason;
};

// Opens a Message line: its tag checked, then decrypted. nullopt when the key does not open
// it or the line was changed.
std::optional<TInboxMessage> OpenInboxMessage(std::string_view line, const TInboxPrivateKey& key);
// Opens a Status line with the record key of its message.
std::optional<TInboxStatus> OpenInboxStatus(std::string_view line, const std::string& recordKey);

}  // namespace qp
