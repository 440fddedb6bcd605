#include "inbox/inbox_record.h"

#include <charconv>

#include "inbox/inbox_crypto.h"

namespace qp {
namespace {

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(' ', start);
        parts.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool IsHex(std::string_view text, std::size_t size) {
    if (text.size() != size) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// The signed part of a line: everything before its last blank.
std::string_view Signed(std::string_view line) {
    return line.substr(0, line.rfind(' '));
}

// The length-prefixed strings (32-bit big-endian lengths) that make a record's plain text.
std::optional<std::vector<std::string>> Unpack(std::string_view data) {
    std::vector<std::string> out;
    while (!data.empty()) {
        if (data.size() < 4) return std::nullopt;
        const auto* b = reinterpret_cast<const unsigned char*>(data.data());
        const std::size_t n = (std::size_t{b[0]} << 24) | (std::size_t{b[1]} << 16) | (std::size_t{b[2]} << 8) | b[3];
        if (n > data.size() - 4) return std::nullopt;
        out.emplace_back(data.substr(4, n));
        data.remove_prefix(4 + n);
    }
    return out;
}

}  // namespace

TInboxLineHead ReadInboxLineHead(std::string_view line) {
    TInboxLineHead head;
    if (line == "F") {
        head.Kind = TInboxLineKind::Full;
        return head;
    }
    const auto parts = Split(line);
    if (parts.size() == 6 && parts[0] == "Q1" && IsHex(parts[1], 32) && IsHex(parts[2], 16)) {
        head.Kind = TInboxLineKind::Message;
        head.KeyId = parts[2];
    } else if (parts.size() == 4 && parts[0] == "S1" && IsHex(parts[1], 32)) {
        head.Kind = TInboxLineKind::Status;
    } else {
        return head;
    }
    head.Id = parts[1];
    return head;
}

std::optional<TInboxMessage> OpenInboxMessage(std::string_view line, const TInboxPrivateKey& key) {
    if (ReadInboxLineHead(line).Kind != TInboxLineKind::Message) return std::nullopt;
    const auto parts = Split(line);
    const auto wrapped = inbox::FromBase64(parts[3]);
    const auto content = inbox::FromBase64(parts[4]);
    const auto tag = inbox::FromBase64(parts[5]);
    if (!wrapped || !content || !tag) return std::nullopt;
    const auto recordKey = key.Unwrap(*wrapped);
    if (!recordKey || recordKey->size() != 32) return std::nullopt;
    if (!inbox::SameBytes(inbox::HmacSha256(inbox::HmacSha256(*recordKey, "Q1 mac"), Signed(line)), *tag))
        return std::nullopt;
    const auto fields = Unpack(inbox::Keystream(inbox::HmacSha256(*recordKey, "Q1 enc"), *content));
    if (!fields || fields->size() < 2 || fields->size() % 3 != 2) return std::nullopt;
    TInboxMessage message;
    const std::string& time = (*fields)[0];
    const auto [end, ec] = std::from_chars(time.data(), time.data() + time.size(), message.Received);
    if (ec != std::errc() || end != time.data() + time.size()) return std::nullopt;
    message.Id = parts[1];
    message.Address = (*fields)[1];
    for (std::size_t i = 2; i < fields->size(); i += 3)
        message.Fields.push_back({(*fields)[i], (*fields)[i + 1], (*fields)[i + 2]});
    message.RecordKey = *recordKey;
    return message;
}

std::optional<TInboxStatus> OpenInboxStatus(std::string_view line, const std::string& recordKey) {
    if (ReadInboxLineHead(line).Kind != TInboxLineKind::Status) return std::nullopt;
    const auto parts = Split(line);
    const auto content = inbox::FromBase64(parts[2]);
    const auto tag = inbox::FromBase64(parts[3]);
    if (!content || !tag) return std::nullopt;
    if (!inbox::SameBytes(inbox::HmacSha256(inbox::HmacSha256(recordKey, "S1 mac"), Signed(line)), *tag))
        return std::nullopt;
    const auto fields = Unpack(inbox::Keystream(inbox::HmacSha256(recordKey, "S1 enc"), *content));
    if (!fields || fields->size() != 2) return std::nullopt;
    TInboxStatus status;
    if ((*fields)[0] == "mailed")
        status.Status = TInboxMailStatus::Mailed;
    else if ((*fields)[0] == "failed")
        status.Status = TInboxMailStatus::Failed;
    else
        return std::nullopt;
    status.Reason = (*fields)[1];
    return status;
}

}  // namespace qp
