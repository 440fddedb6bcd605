#pragma once
// The program's version information: a table of strings compiled into the executable,
// looked up by key.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

namespace qp {

struct TVersionString {
    const char* key;
    const char* value;
};

class TkAppInfo {
public:
    // Reads the program's own table.
    TkAppInfo();
    // Reads the given table; raises "バージョン情報を取得できません" when it is empty.
    explicit TkAppInfo(std::span<const TVersionString> table);

    // The string of that key, or an empty text when the table has none.
    QString GetValue(const QString& key) const;
    // Language (low 16 bits) and code page (high 16 bits) of the table's strings.
    std::uint32_t Translation() const { return translation_; }
    // The keys that GetValue accepts, in the order of their enumeration.
    static QStringList Keys();

private:
    std::span<const TVersionString> table_;
    std::uint32_t translation_ = 0;
};

}  // namespace qp
