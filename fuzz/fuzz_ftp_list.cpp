// Feeds arbitrary bytes to the LIST parser, as any server may send them. An entry's fields
// are the server's bytes, so what must hold is what every caller builds on: a name that can
// be sent back in a command (never empty, never "." or "..", no line end) and that prints
// without a control character once made visible; the same entries whatever line ends the
// server used; and a date and mode that are real.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftp_list_parser.h"
#include "remote/visible_text.h"

namespace {

const qp::TFtpDateTime kToday{2026, 12, 8, 17, 40, true};

bool Printable(std::string_view shown) {
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const auto c = static_cast<unsigned char>(shown[i]);
        if (c < 0x20 || c == 0x7F) return false;
        if (c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(shown[i + 1]) <= 0x9F)
            return false;
    }
    return true;
}

void Check(const qp::TFtpListEntry& e) {
    if (e.Name.empty() || e.Name == "." || e.Name == "..") std::abort();
    if (e.Name.find_first_of("\r\n") != std::string::npos) std::abort();
    for (const std::string* text : {&e.Name, &e.Owner, &e.Group, &e.LinkTarget, &e.OwnerPermissions}) {
        if (!Printable(qp::VisibleText(*text))) std::abort();
    }
    if (e.Size < -1) std::abort();
    if (!e.Modified) std::abort();
    const qp::TFtpDateTime& t = *e.Modified;
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour < 0 || t.Hour > 23 || t.Minute < 0 ||
        t.Minute > 59)
        std::abort();
    const bool hasPermissions = !e.OwnerPermissions.empty();
    if (hasPermissions != (e.Mode >= 0) || e.Mode > 07777) std::abort();
    if (hasPermissions && (e.Permissions().size() != 9)) std::abort();
    if (!e.LinkTarget.empty() && e.Kind != qp::TFtpEntryKind::SymbolicLink) std::abort();
}

bool Same(const qp::TFtpListEntry& a, const qp::TFtpListEntry& b) {
    return a.Name == b.Name && a.Kind == b.Kind && a.Size == b.Size && a.Modified == b.Modified &&
           a.Permissions() == b.Permissions() && a.Mode == b.Mode && a.Owner == b.Owner &&
           a.Group == b.Group && a.LinkTarget == b.LinkTarget;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<qp::TFtpListEntry> entries = qp::ParseFtpListing(text, kToday);
    for (const auto& e : entries) Check(e);

    // A server on Unix ends its lines in LF, one on Windows in CR LF: same listing.
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::vector<qp::TFtpListEntry> again = qp::ParseFtpListing(crlf, kToday);
    if (again.size() != entries.size()) std::abort();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!Same(entries[i], again[i])) std::abort();
    }
    return 0;
}
