#include "generate/html5_fields.h"

#include <vector>

#include "model/charset.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"

namespace qp {
namespace {

// Lines inside one entry end with CR LF, as the XHTML items' lines do.
std::string Lines(const std::vector<std::string>& lines) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) out += (i == 0 ? "" : "\r\n") + lines[i];
    return out;
}

// The caption of a field, marked in words when the field is required.
std::string Caption(const TProjectItem& item) {
    return EscapeHtml(item.GetNameValue()) +
           (item.GetRequired() ? charset::Utf8ToSjis("<span class=\"required\">必須</span>") : "");
}

// What every field's control carries: the state a screen reader announces, the message that
// describes it, and the mark that flags it invalid after a failed check.
std::string StateAttributes(const TProjectItem& item) {
    const std::string attr = item.GetNameAttr();
    return std::string(item.GetRequired() ? " aria-required=\"true\"" : "") + " aria-describedby=\"" +
           attr + "-error\" <% " + attr + "_invalid %>";
}

std::string ErrorLine(const TProjectItem& item) {
    const std::string attr = item.GetNameAttr();
    return "<span class=\"error\" id=\"" + attr + "-error\"><% " + attr + "_error %></span>";
}

// A field whose caption is a <label> of its one control.
std::string LabelledField(const TProjectItem& item, const std::string& control) {
    return Lines({"<div class=\"field\">", "<label for=\"" + item.GetNameAttr() + "\">" + Caption(item) + "</label>",
                  "<div class=\"control\">", control, ErrorLine(item), "</div>", "</div>"});
}

// A group of choices: the caption is the fieldset's legend, each choice labels itself.
std::string ChoiceGroup(const TProjectItem& item, const std::string& groupAttributes,
                        const std::vector<std::string>& choices) {
    std::vector<std::string> lines = {"<fieldset class=\"field\"" + groupAttributes + " aria-describedby=\"" +
                                          item.GetNameAttr() + "-error\">",
                                      "<legend>" + Caption(item) + "</legend>", "<div class=\"control\">"};
    lines.insert(lines.end(), choices.begin(), choices.end());
    lines.insert(lines.end(), {ErrorLine(item), "</div>", "</fieldset>"});
    return Lines(lines);
}

// What a text field holds, as far as its checks and conversions tell.
enum class TTextKind { Plain, Email, Digits, NumberWithHyphens };

TTextKind KindOf(const TProjectItemText& text) {
    switch (text.GetConstraintType()) {
        case 4: return TTextKind::Email;
        case 1: return TTextKind::Digits;
        case 2:
        case 3: return TTextKind::Plain;
        default: break;
    }
    // Full-width digits and hyphens made half-width: a number written with hyphens.
    for (const TProjectItemConvertType c : text.GetConvertTypes())
        if (c == ctZenNumHyphenToHan) return TTextKind::NumberWithHyphens;
    return TTextKind::Plain;
}

const TProjectItemText* RepeatedField(const TProjectItemText& text, const TProjectConfig& project) {
    if (text.GetRetypeItemNameAttr().empty()) return nullptr;
    for (const auto& other : project.GetItems()) {
        if (other->GetNameAttr() == text.GetRetypeItemNameAttr()) return dynamic_cast<const TProjectItemText*>(other.get());
    }
    return nullptr;
}

std::string TextField(const TProjectItemText& text, const TProjectConfig& project) {
    const std::string attr = text.GetNameAttr();
    TTextKind kind = KindOf(text);
    const TProjectItemText* repeated = RepeatedField(text, project);
    if (kind == TTextKind::Plain && repeated != nullptr) kind = KindOf(*repeated);
    std::string type = "text";
    std::string extra;
    if (text.GetPassword()) {
        type = "password";
    } else if (kind == TTextKind::Email) {
        type = "email";
        // The browser offers the visitor's address for the field itself, not for its repeat.
        if (repeated == nullptr) extra = " autocomplete=\"email\"";
    } else if (kind == TTextKind::NumberWithHyphens) {
        type = "tel";  // the telephone keypad offers the hyphen; a numeric one may not
    } else if (kind == TTextKind::Digits) {
        extra = " inputmode=\"numeric\"";
    }
    return LabelledField(text, "<input type=\"" + type + "\" id=\"" + attr + "\" name=\"" + attr + "\" value=\"<% " +
                                   attr + " %>\"" + extra + StateAttributes(text) + ">");
}

std::string TextareaField(const TProjectItemTextarea& area) {
    const std::string attr = area.GetNameAttr();
    return LabelledField(area, "<textarea id=\"" + attr + "\" name=\"" + attr + "\" rows=\"8\"" +
                                   StateAttributes(area) + "><% " + attr + " %></textarea>");
}

std::string CheckboxField(const TProjectItemCheckbox& box) {
    const std::string attr = box.GetNameAttr();
    const std::string value = EscapeHtml(box.GetValue());
    return ChoiceGroup(box, "",
                       {"<label class=\"choice\"><input type=\"checkbox\" id=\"" + attr + "\" name=\"" + attr +
                        "\" value=\"" + value + "\" <% " + attr + "_checked %>" +
                        (box.GetRequired() ? " aria-required=\"true\"" : "") + " <% " + attr + "_invalid %>>" +
                        value + "</label>"});
}

// The first button carries the field's id, so that the error summary leads to the group.
std::string RadioField(const TProjectItemRadio& radio) {
    const std::string attr = radio.GetNameAttr();
    std::vector<std::string> choices;
    for (const std::string& v : radio.GetValues()) {
        const std::string escaped = EscapeHtml(v);
        const std::string id = choices.empty() ? " id=\"" + attr + "\"" : "";
        choices.push_back("<label class=\"choice\"><input type=\"radio\"" + id + " name=\"" + attr + "\" value=\"" +
                          escaped + "\" <% " + attr + "_checked(" + v + ") %> <% " + attr + "_invalid %>>" + escaped +
                          "</label>");
    }
    // A radio button cannot be required on its own: the group is.
    return ChoiceGroup(radio, radio.GetRequired() ? " role=\"radiogroup\" aria-required=\"true\"" : " role=\"radiogroup\"",
                       choices);
}

std::string PopupmenuField(const TProjectItemPopupmenu& menu) {
    const std::string attr = menu.GetNameAttr();
    std::vector<std::string> lines = {"<select id=\"" + attr + "\" name=\"" + attr + "\"" +
                                      StateAttributes(menu) + ">"};
    for (const std::string& v : menu.GetValues()) {
        const std::string escaped = EscapeHtml(v);
        lines.push_back("<option value=\"" + escaped + "\" <% " + attr + "_selected(" + v + ") %>>" + escaped +
                        "</option>");
    }
    lines.emplace_back("</select>");
    return LabelledField(menu, Lines(lines));
}

// The mark that shows the value on the confirmation page.
std::string ShownMark(const TProjectItem& item) {
    if (dynamic_cast<const TProjectItemTextarea*>(&item)) return item.GetNameAttr() + "_br";
    if (const auto* text = dynamic_cast<const TProjectItemText*>(&item); text && text->GetPassword())
        return item.GetNameAttr() + "_password";
    return item.GetNameAttr();
}

}  // namespace

std::string Html5FormField(const TProjectItem& item, const TProjectConfig& project) {
    if (const auto* text = dynamic_cast<const TProjectItemText*>(&item)) return TextField(*text, project);
    if (const auto* area = dynamic_cast<const TProjectItemTextarea*>(&item)) return TextareaField(*area);
    if (const auto* box = dynamic_cast<const TProjectItemCheckbox*>(&item)) return CheckboxField(*box);
    if (const auto* radio = dynamic_cast<const TProjectItemRadio*>(&item)) return RadioField(*radio);
    if (const auto* menu = dynamic_cast<const TProjectItemPopupmenu*>(&item)) return PopupmenuField(*menu);
    return item.GetFormHtml();
}

std::string Html5ConfirmField(const TProjectItem& item) {
    const std::string attr = item.GetNameAttr();
    return Lines({"<dt>" + EscapeHtml(item.GetNameValue()) + "</dt>",
                  "<dd><% " + ShownMark(item) + " %><input type=\"hidden\" name=\"" + attr + "\" value=\"<% " + attr +
                      " %>\"></dd>"});
}

}  // namespace qp
