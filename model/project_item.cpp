#include "model/project_item.h"

#include "model/error.h"
#include "model/perl_quote.h"

namespace qp {
namespace {

bool IsNameAttrChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

TProjectItem::TProjectItem(std::string nameAttr) : nameAttr_(std::move(nameAttr)) {}

void TProjectItem::SetNameAttr(const std::string& text) {
    for (const char c : text) {
        if (!IsNameAttrChar(c)) throw Error("name属性に設定できる文字は半角英数字とアンダーバー(_)です。");
    }
    nameAttr_ = text;
}

void TProjectItem::SetNameValue(const std::string& text) {
    // A double quote is below 0x40 and never the second byte of a two-byte character, so a
    // byte search is exact, and it also catches one hidden behind a stray lead byte.
    if (text.find('"') != std::string::npos) throw Error("項目名称にダブルクオート(\")は使えません。");
    nameValue_ = text;
}

void TProjectItem::ItemDeleted(const TProjectItem* /*removed*/) {}

void TProjectItem::WriteIni(TIniFile& ini, const std::string& section) const {
    ini.WriteString(section, "Type", GetTypeName());
    ini.WriteString(section, "NameAttr", nameAttr_);
    ini.WriteString(section, "NameValue", nameValue_);
    ini.WriteBool(section, "Required", required_);
    ini.WriteString(section, "RequiredError", requiredError_);
}

void TProjectItem::ReadIni(const TIniFile& ini, const std::string& section) {
    SetNameAttr(ini.ReadString(section, "NameAttr", ""));
    SetNameValue(ini.ReadString(section, "NameValue", ""));
    required_ = ini.ReadBool(section, "Required", false);
    requiredError_ = ini.ReadString(section, "RequiredError", "");
}

void TProjectItem::Validate() const {
    if (nameAttr_.empty()) throw Error("name属性が設定されていません。");
    if (nameValue_.empty()) throw Error("項目名称が設定されていません。");
    if (required_ && requiredError_.empty()) {
        throw Error("必須項目が入力されていないときのエラーメッセージが設定されていません。");
    }
}

void TProjectItem::WriteConverterParams(TIniFile& ini, const std::string& section, int index) const {
    WriteConverterBlock(ini, section, index, 1);
}

void TProjectItem::WritePerlHead(std::vector<std::string>& lines) const {
    lines.push_back("  {");
    lines.push_back("    ATTR => '" + QuotePerlSingle(nameAttr_) + "',");
    lines.push_back("    TYPE => '" + QuotePerlSingle(GetTypeName()) + "',");
    lines.push_back("    NAME => '" + QuotePerlSingle(nameValue_) + "',");
    lines.push_back(std::string("    REQUIRED => ") + (required_ ? "1" : "0") + ",");
    if (!requiredError_.empty()) AppendHeredoc(lines, "    REQUIRED_ERROR =><<__END__,", requiredError_);
}

std::string TProjectItem::ConfirmLine(const std::string& markName) const {
    return EscapeHtml(nameValue_) + ":<% " + markName + " %><input name=\"" + nameAttr_ +
           "\" type=\"hidden\" value=\"<% " + nameAttr_ + " %>\" /><br />";
}

void TProjectItem::WriteConverterBlock(TIniFile& ini, const std::string& section, int index,
                                       int rowType) const {
    const std::string n = std::to_string(index);
    ini.WriteString(section, "PARAM_KEY" + n, nameValue_ + "=");
    ini.WriteString(section, "FIELD_NAME" + n, nameValue_ + "=");
    ini.WriteInteger(section, "PARAM_ROW_TYPE" + n, rowType);
    ini.WriteInteger(section, "PARAM_POS_TYPE" + n, 0);
    ini.WriteInteger(section, "PARAM_ORDER" + n, index);
    ini.WriteInteger(section, "FIELD_ORDER" + n, index);
    ini.WriteInteger(section, "PARAM_REGEXT" + n, 0);
    ini.WriteInteger(section, "TRIM" + n, 0);
    ini.WriteInteger(section, "ONE_LINE" + n, 0);
    ini.WriteInteger(section, "AUTO_FORMAT" + n, 0);
    ini.WriteInteger(section, "START_LINE" + n, 1);
    ini.WriteString(section, "ENDSTR" + n, "");
    ini.WriteInteger(section, "ENDSTR_REGEXP" + n, 0);
    ini.WriteInteger(section, "MAIL_ADDRESS" + n, 0);
    ini.WriteInteger(section, "MAIL_NAME" + n, 0);
}

std::string EscapeHtml(const std::string& text) {
    // "&", the double quote, "<" and ">" are below 0x40, never the second byte of a two-byte
    // character: one byte-wise pass gives the result of the four replacements in turn.
    std::string out;
    out.reserve(text.size() + 16);
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}

void AppendHeredoc(std::vector<std::string>& lines, const std::string& opening, const std::string& body) {
    lines.push_back(opening);
    lines.push_back(QuotePerlHeredoc(body));
    lines.push_back("__END__");
}

}  // namespace qp
