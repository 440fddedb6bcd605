#pragma once
// Generated texts are lists of entries; the text is every entry followed by CR LF
// (an entry may hold line breaks of its own, which stay as they are).
#include <string>
#include <vector>

namespace qp {

inline std::string JoinEntries(const std::vector<std::string>& entries) {
    std::size_t size = 0;
    for (const auto& entry : entries) size += entry.size() + 2;
    std::string out;
    out.reserve(size);
    for (const auto& entry : entries) {
        out += entry;
        out += "\r\n";
    }
    return out;
}

}  // namespace qp
