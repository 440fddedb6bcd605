#include "model/item_choice.h"

#include "model/error.h"
#include "model/perl_quote.h"

namespace qp {

TProjectItemChoice::TProjectItemChoice(std::string nameAttr) : TProjectItem(std::move(nameAttr)) {}

void TProjectItemChoice::SetValues(const std::vector<std::string>& lines) {
    std::vector<std::string> values;
    values.reserve(lines.size());
    for (const std::string& line : lines) {
        if (!line.empty()) values.push_back(line);
    }
    values_ = std::move(values);
}

std::string TProjectItemChoice::GetConfirmHtml() const { return ConfirmLine(GetNameAttr()); }

void TProjectItemChoice::WriteIni(TIniFile& ini, const std::string& section) const {
    TProjectItem::WriteIni(ini, section);
    ini.WriteString(section, "Values", EncodeCommaText(values_));
}

void TProjectItemChoice::ReadIni(const TIniFile& ini, const std::string& section) {
    TProjectItem::ReadIni(ini, section);
    SetValues(DecodeCommaText(ini.ReadString(section, "Values", "")));
}

void TProjectItemChoice::Validate() const {
    TProjectItem::Validate();
    if (values_.empty()) throw Error("選択値が設定されていません。");
}

void TProjectItemChoice::WritePerl(std::vector<std::string>& lines) const {
    WritePerlHead(lines);
    WritePerlOptions(lines);
    // The server refuses a posted value that is not one of these.
    lines.push_back("    VALUES => [");
    for (const std::string& v : values_) lines.push_back("      '" + QuotePerlSingle(v) + "',");
    lines.push_back("      ],");
    lines.push_back("    CONVERT => [");
    lines.push_back("      ],");
    lines.push_back("  },");
}

std::string TProjectItemRadio::GetFormHtml() const {
    const std::string attr = GetNameAttr();
    std::string out = EscapeHtml(GetNameValue()) + ":<br />\r\n";
    for (const std::string& v : GetValues()) {
        const std::string escaped = EscapeHtml(v);
        out += "<input type=\"radio\" name=\"" + attr + "\" value=\"" + escaped + "\" <% " + attr +
               "_checked(" + v + ") %> />" + escaped + "<br />\r\n";
    }
    return out;
}

std::string TProjectItemPopupmenu::GetFormHtml() const {
    const std::string attr = GetNameAttr();
    std::string out = EscapeHtml(GetNameValue()) + ":<select name=\"" + attr + "\">\r\n";
    for (const std::string& v : GetValues()) {
        const std::string escaped = EscapeHtml(v);
        out += "<option value=\"" + escaped + "\" <% " + attr + "_selected(" + v + ") %>>" + escaped +
               "</option>\r\n";
    }
    out += "</select><br />\r\n";
    return out;
}

void TProjectItemPopupmenu::WriteIni(TIniFile& ini, const std::string& section) const {
    TProjectItemChoice::WriteIni(ini, section);
    ini.WriteBool(section, "FirstIsNone", firstIsNone_);
}

void TProjectItemPopupmenu::ReadIni(const TIniFile& ini, const std::string& section) {
    TProjectItemChoice::ReadIni(ini, section);
    firstIsNone_ = ini.ReadBool(section, "FirstIsNone", false);
}

void TProjectItemPopupmenu::WritePerlOptions(std::vector<std::string>& lines) const {
    // Only when on, so that the scripts of menus without it stay as they were.
    if (firstIsNone_) lines.push_back("    FIRST_IS_NONE => 1,");
}

}  // namespace qp
