#pragma once
// The in-memory INI object behind the project file and the converter file: sections and
// keys in first-written order, case-insensitive look-up, Shift_JIS text with CR LF.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/atomic_file.h"

namespace qp {

class TIniFile {
public:
    // Reads the file at path when it exists; a missing file gives an empty object.
    explicit TIniFile(std::string path);

    // Parses INI text held in memory (used by tests and the fuzzer); path stays empty.
    static TIniFile FromText(std::string_view text);
    // An empty object on path, without reading the file (for writing it from scratch).
    static TIniFile NewFile(std::string path);

    const std::string& GetPath() const { return path_; }
    void Clear();

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, long long value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const;
    long long ReadInteger(std::string_view section, std::string_view key, long long def) const;
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    // The whole object as file text (CR LF line ends).
    std::string ToText() const;
    // Writes ToText() to the path with WriteFileAtomic (model/atomic_file.h); raises FileError.
    void UpdateFile(TFileAccess access = TFileAccess::Usual) const;

private:
    // Keys and values live in a few large blocks that never move (the first holds the file's
    // own text), so that a large file is not one allocation per key. The object is movable,
    // not copyable.
    struct Entry {
        const char* key;
        std::size_t keySize;
        const char* value;
        std::size_t valueSize;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
        std::unordered_map<std::string, std::size_t> index;  // lower-cased key -> entry, large sections only
    };
    void Parse(std::string_view text);
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;
    Section& SectionFor(std::string_view name);
    static std::string_view KeyOf(const Entry& e) { return {e.key, e.keySize}; }
    static std::string_view ValueOf(const Entry& e) { return {e.value, e.valueSize}; }
    // Copies bytes into the blocks and returns where they now live (null for none).
    char* Store(std::string_view bytes);
    std::size_t FindEntry(const Section& s, std::string_view key) const;
    void AppendEntry(Section& s, Entry entry);
    bool Find(std::string_view section, std::string_view key, std::string_view& value) const;

    std::string path_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockSize_ = 0;  // size of the last block
    std::size_t blockUsed_ = 0;  // bytes of it in use
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;  // lower-cased name -> section
    // Readers and writers use one section for many keys in a row: the last one found is
    // checked first, which keeps large files out of the hash table's scattered memory.
    mutable std::size_t lastSection_ = static_cast<std::size_t>(-1);
};

// Comma text: a list of lines on one INI line.
std::string EncodeCommaText(const std::vector<std::string>& lines);
std::vector<std::string> DecodeCommaText(std::string_view text);

// Splits a multi-line value at CR LF, lone LF or lone CR; a trailing break starts no line.
std::vector<std::string> SplitLines(std::string_view text);
// Every line followed by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

}  // namespace qp
