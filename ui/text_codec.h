#pragma once
// Conversions between the widgets' QString and the project's Shift_JIS bytes.
#include <QString>
#include <string>

namespace qp {

// Raises qp::Error naming the character and the field when Shift_JIS cannot hold a character.
std::string ToSjis(const QString& text, const QString& fieldName);

// Raises qp::Error when the bytes are not valid Shift_JIS.
QString FromSjis(const std::string& sjis);

}  // namespace qp
