#include "ui/text_codec.h"

#include "model/charset.h"
#include "model/error.h"

namespace qp {

std::string ToSjis(const QString& text, const QString& fieldName) {
    const QByteArray utf8 = text.toUtf8();
    try {
        return charset::Utf8ToSjis(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    } catch (const charset::CharsetError& e) {
        // The user must learn which control holds the character, not only which character it is.
        throw Error("「" + fieldName.toStdString() + "」に保存できない文字があります。" + e.Message());
    }
}

QString FromSjis(const std::string& sjis) {
    const std::string utf8 = charset::SjisToUtf8(sjis);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace qp
