#include "model/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

#include "model/atomic_file.h"
#include "model/error.h"
#include "model/sjis.h"

namespace qp {
namespace {

constexpr bool IsBlank(unsigned char c) { return c <= 32; }

std::string_view Trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && IsBlank(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && IsBlank(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// Names match without regard to the case of ASCII letters; the second byte of a two-byte
// character keeps its value (0x41-0x5A are valid trail bytes).
std::string FoldCase(std::string_view s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size();) {
        const std::size_t n = sjis::CharLength(out, i);
        if (n == 1 && out[i] >= 'A' && out[i] <= 'Z') out[i] = static_cast<char>(out[i] - 'A' + 'a');
        i += n;
    }
    return out;
}

bool FoldedEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;  // the usual case: the program spells its keys the same way
    for (std::size_t i = 0; i < a.size();) {
        const std::size_t n = sjis::CharLength(a, i);
        if (n == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
        } else {
            char x = a[i];
            char y = b[i];
            if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
            if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
            if (x != y) return false;
        }
        i += n;
    }
    return true;
}

// A section of an item holds a dozen keys: comparing them in place is cheaper than hashing.
// Only a section that grows beyond this gets its hashed index, so no file makes look-ups slow.
constexpr std::size_t kLinearLimit = 16;

// A decimal integer, or hexadecimal after "0x"; anything else (or a value outside the
// 32-bit range the file format has always used) is not an integer.
bool ParseInteger(std::string_view s, long long& out) {
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return false;
    unsigned long long magnitude = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    const unsigned long long limit = negative ? 2147483648ULL : 2147483647ULL;
    if (magnitude > limit) return false;
    out = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

std::string SystemError(const char* what, const std::string& path, int err) {
    std::string message(what);
    message.append(": ").append(path).append(" (").append(std::strerror(err)).append(")");
    return message;
}

constexpr const char* kCannotRead = "ファイルを読み込めません";

// Reads the whole file; false when it does not exist.
bool ReadWholeFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw Error(SystemError(kCannotRead, path, errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw Error(SystemError(kCannotRead, path, EISDIR));
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw Error(SystemError(kCannotRead, path, err));
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

}  // namespace

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {
    if (path_.empty()) return;
    std::string text;
    if (ReadWholeFile(path_, text)) Parse(text);
}

TIniFile TIniFile::FromText(std::string_view text) {
    TIniFile ini{std::string()};
    ini.Parse(text);
    return ini;
}

char* TIniFile::Store(std::string_view bytes) {
    constexpr std::size_t kBlockSize = 64 * 1024;
    if (bytes.empty()) return nullptr;
    if (bytes.size() > blockSize_ - blockUsed_) {
        blockSize_ = std::max(kBlockSize, bytes.size());
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize_));
        blockUsed_ = 0;
    }
    char* dest = blocks_.back().get() + blockUsed_;
    std::memcpy(dest, bytes.data(), bytes.size());
    blockUsed_ += bytes.size();
    return dest;
}

TIniFile TIniFile::NewFile(std::string path) {
    TIniFile ini{std::string()};
    ini.path_ = std::move(path);
    return ini;
}

void TIniFile::Clear() {
    blocks_.clear();
    blockSize_ = 0;
    blockUsed_ = 0;
    sections_.clear();
    sectionIndex_.clear();
    lastSection_ = static_cast<std::size_t>(-1);
}

void TIniFile::Parse(std::string_view original) {
    const std::string_view text(Store(original), original.size());
    Section* current = nullptr;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == ';') continue;
        // Neither "[" nor "]" can be taken from a two-byte character here: the line is
        // trimmed, so "[" is a first byte, and a section line is what the writer produces.
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &SectionFor(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        if (current == nullptr) continue;
        const std::size_t eq = line.find('=');  // "=" is never a trail byte
        if (eq == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, eq));
        if (FindEntry(*current, key) != std::string_view::npos) continue;  // the first occurrence wins
        const std::string_view value = Trim(line.substr(eq + 1));
        AppendEntry(*current, Entry{key.data(), key.size(), value.data(), value.size()});
    }
}

TIniFile::Section* TIniFile::FindSection(std::string_view name) {
    return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
    if (lastSection_ < sections_.size() && FoldedEqual(sections_[lastSection_].name, name)) {
        return &sections_[lastSection_];
    }
    const auto it = sectionIndex_.find(FoldCase(name));
    if (it == sectionIndex_.end()) return nullptr;
    lastSection_ = it->second;
    return &sections_[it->second];
}

TIniFile::Section& TIniFile::SectionFor(std::string_view name) {
    if (Section* s = FindSection(name)) return *s;
    sectionIndex_.emplace(FoldCase(name), sections_.size());
    sections_.push_back(Section{std::string(name), {}, {}});
    lastSection_ = sections_.size() - 1;
    return sections_.back();
}

std::size_t TIniFile::FindEntry(const Section& s, std::string_view key) const {
    if (s.entries.size() > kLinearLimit) {
        const auto it = s.index.find(FoldCase(key));
        return it == s.index.end() ? std::string_view::npos : it->second;
    }
    for (std::size_t i = 0; i < s.entries.size(); ++i) {
        if (FoldedEqual(KeyOf(s.entries[i]), key)) return i;
    }
    return std::string_view::npos;
}

void TIniFile::AppendEntry(Section& s, Entry entry) {
    s.entries.push_back(entry);
    if (s.entries.size() == kLinearLimit + 1) {
        s.index.reserve(s.entries.size() * 2);
        for (std::size_t i = 0; i < s.entries.size(); ++i) s.index.emplace(FoldCase(KeyOf(s.entries[i])), i);
    } else if (s.entries.size() > kLinearLimit + 1) {
        s.index.emplace(FoldCase(KeyOf(entry)), s.entries.size() - 1);
    }
}

bool TIniFile::Find(std::string_view section, std::string_view key, std::string_view& value) const {
    const Section* s = FindSection(section);
    if (s == nullptr) return false;
    const std::size_t i = FindEntry(*s, key);
    if (i == std::string_view::npos) return false;
    value = ValueOf(s->entries[i]);
    return true;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    Section& s = SectionFor(section);
    const std::size_t i = FindEntry(s, key);
    const char* storedKey = i == std::string_view::npos ? Store(key) : nullptr;
    // A rewritten value is stored anew and the old bytes stay unused: the object lives for
    // one save or load only.
    char* stored = Store(value);
    // A line break inside a plain value would start a new line of the file and could forge
    // keys or sections on the next read; it is written as a space.
    for (std::size_t k = 0; k < value.size(); ++k) {
        if (stored[k] == '\r' || stored[k] == '\n') stored[k] = ' ';
    }
    if (i != std::string_view::npos) {
        s.entries[i].value = stored;
        s.entries[i].valueSize = value.size();
        return;
    }
    AppendEntry(s, Entry{storedKey, key.size(), stored, value.size()});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, long long value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
    std::string_view v;
    return std::string(Find(section, key, v) ? v : def);
}

long long TIniFile::ReadInteger(std::string_view section, std::string_view key, long long def) const {
    std::string_view v;
    long long out = 0;
    return (Find(section, key, v) && ParseInteger(v, out)) ? out : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    std::string_view v;
    return Find(section, key, v);
}

std::string TIniFile::ToText() const {
    std::size_t size = 0;
    for (const Section& s : sections_) {
        size += s.name.size() + 6;
        for (const Entry& e : s.entries) size += e.keySize + e.valueSize + 3;
    }
    std::string out;
    out.reserve(size);
    for (const Section& s : sections_) {
        out += '[';
        out += s.name;
        out += "]\r\n";
        for (const Entry& e : s.entries) {
            out += KeyOf(e);
            out += '=';
            out += ValueOf(e);
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

void TIniFile::UpdateFile(TFileAccess access) const {
    WriteFileAtomic(path_, ToText(), access);
}

// Comma text. The quote, the comma and the blanks are all below 0x40 and therefore never
// the second byte of a two-byte character, so scanning for them byte by byte is exact.

std::string EncodeCommaText(const std::vector<std::string>& lines) {
    if (lines.size() == 1 && lines[0].empty()) return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += ',';
        const std::string& line = lines[i];
        bool quote = false;
        for (const char ch : line) {
            const auto c = static_cast<unsigned char>(ch);
            if (c <= 32 || c == '"' || c == ',') {
                quote = true;
                break;
            }
        }
        if (!quote) {
            out += line;
            continue;
        }
        out += '"';
        for (const char ch : line) {
            if (ch == '"') out += '"';
            out += ch;
        }
        out += '"';
    }
    return out;
}

std::vector<std::string> DecodeCommaText(std::string_view text) {
    // A NUL byte ends the text, as it always has for this format.
    text = text.substr(0, text.find('\0'));
    auto isSkip = [](char c) { return static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 32; };
    std::vector<std::string> out;
    std::size_t p = 0;
    while (p < text.size() && isSkip(text[p])) ++p;
    while (p < text.size()) {
        std::string token;
        if (text[p] == '"') {
            ++p;
            while (p < text.size()) {
                if (text[p] == '"') {
                    if (p + 1 < text.size() && text[p + 1] == '"') {
                        token += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                token += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p < text.size() && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
            token.assign(text.substr(start, p - start));
        }
        out.push_back(std::move(token));
        while (p < text.size() && isSkip(text[p])) ++p;
        if (p < text.size() && text[p] == ',') {
            if (p + 1 == text.size()) out.emplace_back();
            ++p;
            while (p < text.size() && isSkip(text[p])) ++p;
        }
    }
    return out;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        if (end == text.size()) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

}  // namespace qp
