#include "model/item_checkbox.h"

#include "model/error.h"
#include "model/perl_quote.h"

namespace qp {

TProjectItemCheckbox::TProjectItemCheckbox(std::string nameAttr) : TProjectItem(std::move(nameAttr)) {}

std::string TProjectItemCheckbox::GetFormHtml() const {
    const std::string attr = GetNameAttr();
    const std::string value = EscapeHtml(value_);
    return EscapeHtml(GetNameValue()) + ":<input type=\"checkbox\" name=\"" + attr + "\" value=\"" + value +
           "\" <% " + attr + "_checked %> />" + value + "<br />";
}

std::string TProjectItemCheckbox::GetConfirmHtml() const { return ConfirmLine(GetNameAttr()); }

void TProjectItemCheckbox::WriteIni(TIniFile& ini, const std::string& section) const {
    TProjectItem::WriteIni(ini, section);
    ini.WriteString(section, "Value", value_);
}

void TProjectItemCheckbox::ReadIni(const TIniFile& ini, const std::string& section) {
    TProjectItem::ReadIni(ini, section);
    value_ = ini.ReadString(section, "Value", "");
}

void TProjectItemCheckbox::Validate() const {
    TProjectItem::Validate();
    if (value_.empty()) throw Error("選択値が設定されていません。");
}

void TProjectItemCheckbox::WritePerl(std::vector<std::string>& lines) const {
    WritePerlHead(lines);
    // The only value the server accepts besides none.
    lines.push_back("    VALUE => '" + QuotePerlSingle(value_) + "',");
    lines.push_back("    CONVERT => [");
    lines.push_back("      ],");
    lines.push_back("  },");
}

}  // namespace qp
