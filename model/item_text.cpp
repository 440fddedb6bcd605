#include "model/item_text.h"

#include "model/error.h"
#include "model/perl_quote.h"

namespace qp {

TProjectItemText::TProjectItemText(std::string nameAttr) : TProjectItem(std::move(nameAttr)) {}

void TProjectItemText::SetSizeConstraint(int value) {
    if (value >= 0) sizeConstraint_ = value;
}

std::string TProjectItemText::ConvertFunctionName(int type) {
    switch (type) {
        case ctZenNumHyphenToHan: return "zen_num_hyphen_to_han";
        case ctHanNumHyphenToZen: return "han_num_hyphen_to_zen";
        case ctHyphenDelete: return "hyphen_delete";
        case ctZenAlphabetToHan: return "zen_alphabet_to_han";
        case ctHanAlphabetToZen: return "han_alphabet_to_zen";
        case ctHanKanaToZen: return "han_kana_to_zen";
        case ctStrip: return "strip";
        default: return "";
    }
}

std::string TProjectItemText::ConstraintPattern() const {
    switch (constraintType_) {
        case 1: return "^[0-9]*$";
        case 2: return "^[a-zA-Z]*$";
        case 3: return "^[0-9a-zA-Z]*$";
        case 4: return "[0-9A-Za-z_!#$%&*+-/=?^_{|}~.]+@[0-9,A-Z,a-z][0-9,a-z,A-Z,_,.,-]*";
        case 5: return constraintRegexp_;
        default: return "";
    }
}

std::string TProjectItemText::GetFormHtml() const {
    const std::string attr = GetNameAttr();
    return EscapeHtml(GetNameValue()) + ":<input name=\"" + attr + "\" type=\"" +
           (password_ ? "password" : "text") + "\" value=\"<% " + attr + " %>\" /><br />";
}

std::string TProjectItemText::GetConfirmHtml() const {
    return ConfirmLine(password_ ? GetNameAttr() + "_password" : GetNameAttr());
}

void TProjectItemText::ItemDeleted(const TProjectItem* removed) {
    if (removed != nullptr && retypeItemNameAttr_ == removed->GetNameAttr()) retypeItemNameAttr_.clear();
}

void TProjectItemText::WriteIni(TIniFile& ini, const std::string& section) const {
    TProjectItem::WriteIni(ini, section);
    ini.WriteInteger(section, "SizeConstraint", sizeConstraint_);
    ini.WriteString(section, "SizeConstraintError", sizeConstraintError_);
    int k = 0;
    for (const TProjectItemConvertType t : convertTypes_) {
        if (t == ctNone) continue;
        ini.WriteInteger(section, "ConvertType" + std::to_string(k++), t);
    }
    ini.WriteInteger(section, "ConstraintType", constraintType_);
    ini.WriteString(section, "ConstraintRegexp", constraintRegexp_);
    ini.WriteString(section, "ConstraintError", constraintError_);
    ini.WriteString(section, "RetypeItemNameAttr", retypeItemNameAttr_);
    ini.WriteString(section, "RetypeError", retypeError_);
    ini.WriteBool(section, "Password", password_);
}

void TProjectItemText::ReadIni(const TIniFile& ini, const std::string& section) {
    TProjectItem::ReadIni(ini, section);
    SetSizeConstraint(static_cast<int>(ini.ReadInteger(section, "SizeConstraint", 0)));
    sizeConstraintError_ = ini.ReadString(section, "SizeConstraintError", "");
    std::vector<TProjectItemConvertType> types;
    for (int i = 0; i < 5; ++i) {
        const std::string key = "ConvertType" + std::to_string(i);
        if (!ini.ValueExists(section, key)) continue;
        // Stored as one byte, as the list always has been.
        types.push_back(static_cast<TProjectItemConvertType>(ini.ReadInteger(section, key, 0) & 0xFF));
    }
    convertTypes_ = std::move(types);
    constraintType_ = static_cast<std::uint8_t>(ini.ReadInteger(section, "ConstraintType", 0) & 0xFF);
    constraintRegexp_ = ini.ReadString(section, "ConstraintRegexp", "");
    constraintError_ = ini.ReadString(section, "ConstraintError", "");
    retypeItemNameAttr_ = ini.ReadString(section, "RetypeItemNameAttr", "");
    retypeError_ = ini.ReadString(section, "RetypeError", "");
    password_ = ini.ReadBool(section, "Password", false);
}

void TProjectItemText::Validate() const {
    TProjectItem::Validate();
    if (sizeConstraint_ > 0 && sizeConstraintError_.empty()) {
        throw Error("サイズ制限に違反したときのエラーメッセージが設定されていません。");
    }
    if (constraintType_ != 0 && constraintError_.empty()) {
        throw Error("入力値制限に違反したときのエラーメッセージが設定されていません。");
    }
    if (constraintType_ == 5 && constraintRegexp_.empty()) {
        throw Error("入力値制限の正規表現が設定されていません。");
    }
    if (!retypeItemNameAttr_.empty() && retypeError_.empty()) {
        throw Error("再入力項目が一致しないときのエラーメッセージが設定されていません。");
    }
}

void TProjectItemText::WritePerl(std::vector<std::string>& lines) const {
    WritePerlHead(lines);
    lines.push_back("    SIZE_CONSTRAINT => " + std::to_string(sizeConstraint_) + ",");
    if (!sizeConstraintError_.empty()) {
        AppendHeredoc(lines, "    SIZE_CONSTRAINT_ERROR =><<__END__,", sizeConstraintError_);
    }
    lines.push_back("    CONVERT => [");
    for (const TProjectItemConvertType t : convertTypes_) {
        const std::string name = ConvertFunctionName(t);
        if (!name.empty()) lines.push_back("      \\&Quillpost::" + name + ",");
    }
    lines.push_back("      ],");
    if (constraintType_ != 0) AppendHeredoc(lines, "    CONSTRAINT_REGEXP =><<__END__,", ConstraintPattern());
    if (!constraintError_.empty()) {
        AppendHeredoc(lines, "    CONSTRAINT_REGEXP_ERROR =><<__END__,", constraintError_);
    }
    if (!retypeItemNameAttr_.empty()) {
        lines.push_back("    RETYPE_ATTR => '" + QuotePerlSingle(retypeItemNameAttr_) + "',");
        AppendHeredoc(lines, "    RETYPE_ERROR =><<__END__,", retypeError_);
    }
    lines.push_back("  },");
}

}  // namespace qp
