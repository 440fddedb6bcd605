#include "ui/app_info.h"

#include "model/error.h"

namespace qp {
namespace {

// Japanese (0x0411) texts; the code page that the strings were written for, 932.
constexpr std::uint32_t kTranslation = (932u << 16) | 0x0411u;

constexpr TVersionString kVersionTable[] = {
    {"CompanyName", "Quillpost developers"},
    {"FileDescription", "Quillpost フォームメールCGI作成ツール"},
    {"FileVersion", QP_FILE_VERSION},
    {"InternalName", "quillpost"},
    {"LegalCopyright", "Copyright (C) 2026 Quillpost developers"},
    {"OriginalFilename", "quillpost"},
    {"ProductName", "Quillpost"},
    {"ProductVersion", QP_PRODUCT_VERSION},
};

}  // namespace

TkAppInfo::TkAppInfo() : TkAppInfo(kVersionTable) {}

TkAppInfo::TkAppInfo(std::span<const TVersionString> table) : table_(table), translation_(kTranslation) {
    if (table_.empty()) throw Error("バージョン情報を取得できません");
}

QString TkAppInfo::GetValue(const QString& key) const {
    for (const TVersionString& entry : table_) {
        if (key == QLatin1String(entry.key)) return QString::fromUtf8(entry.value);
    }
    return {};
}

QStringList TkAppInfo::Keys() {
    return {QStringLiteral("Comments"),        QStringLiteral("CompanyName"),
            QStringLiteral("FileDescription"), QStringLiteral("FileVersion"),
            QStringLiteral("InternalName"),    QStringLiteral("LegalCopyright"),
            QStringLiteral("LegalTradeMarks"), QStringLiteral("OriginalFilename"),
            QStringLiteral("PrivateBuild"),    QStringLiteral("ProductName"),
            QStringLiteral("ProductVersion")};
}

}  // namespace qp
