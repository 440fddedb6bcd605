#include "model/item_textarea.h"

namespace qp {

TProjectItemTextarea::TProjectItemTextarea(std::string nameAttr) : TProjectItem(std::move(nameAttr)) {}

void TProjectItemTextarea::SetSizeConstraint(int value) {
    if (value >= 0) sizeConstraint_ = value;
}

std::string TProjectItemTextarea::GetFormHtml() const {
    const std::string attr = GetNameAttr();
    return EscapeHtml(GetNameValue()) + ":<textarea name=\"" + attr + "\"><% " + attr +
           " %></textarea><br />";
}

std::string TProjectItemTextarea::GetConfirmHtml() const { return ConfirmLine(GetNameAttr() + "_br"); }

void TProjectItemTextarea::WriteIni(TIniFile& ini, const std::string& section) const {
    TProjectItem::WriteIni(ini, section);
    ini.WriteInteger(section, "SizeConstraint", sizeConstraint_);
    ini.WriteString(section, "SizeConstraintError", sizeConstraintError_);
}

void TProjectItemTextarea::ReadIni(const TIniFile& ini, const std::string& section) {
    TProjectItem::ReadIni(ini, section);
    SetSizeConstraint(static_cast<int>(ini.ReadInteger(section, "SizeConstraint", 0)));
    sizeConstraintError_ = ini.ReadString(section, "SizeConstraintError", "");
}

void TProjectItemTextarea::WritePerl(std::vector<std::string>& lines) const {
    WritePerlHead(lines);
    lines.push_back("    SIZE_CONSTRAINT => " + std::to_string(sizeConstraint_) + ",");
    if (!sizeConstraintError_.empty()) {
        AppendHeredoc(lines, "    SIZE_CONSTRAINT_ERROR =><<__END__,", sizeConstraintError_);
    }
    lines.push_back("    CONVERT => [");
    lines.push_back("      ],");
    lines.push_back("  },");
}

void TProjectItemTextarea::WriteConverterParams(TIniFile& ini, const std::string& section, int index) const {
    WriteConverterBlock(ini, section, index, 0);
}

}  // namespace qp
