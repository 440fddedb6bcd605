#pragma once
// One entry of a server folder's listing, as every remote-files client fills it.
#include <cstdint>
#include <optional>
#include <string>

namespace qp {

enum class TFtpEntryKind { File, Folder, SymbolicLink, Other };

// A calendar date and time as the listing shows it (the server's clock, no time zone).
struct TFtpDateTime {
    int Year = 0;
    int Month = 0;  // 1-12
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    bool HasTime = false;  // false when the listing gave a year instead of a time
    auto operator<=>(const TFtpDateTime&) const = default;
};

struct TFtpListEntry {
    std::string Name;  // the server's bytes; a link's name without " -> target"
    TFtpEntryKind Kind = TFtpEntryKind::File;
    std::int64_t Size = -1;  // -1 when the listing gives none (devices, DOS folders)
    std::optional<TFtpDateTime> Modified;
    std::string OwnerPermissions;  // "rwx", "rws", ... empty when unknown
    std::string GroupPermissions;
    std::string OtherPermissions;
    int Mode = -1;  // the permission bits as a number (0755), -1 when unknown
    std::string Owner;
    std::string Group;
    std::string LinkTarget;

    std::string Permissions() const { return OwnerPermissions + GroupPermissions + OtherPermissions; }
};

}  // namespace qp
