#pragma once
// A single check box that sends one fixed value when checked.
#include "model/project_item.h"

namespace qp {

class TProjectItemCheckbox : public TProjectItem {
public:
    explicit TProjectItemCheckbox(std::string nameAttr);

    std::string GetValue() const { return value_; }
    void SetValue(const std::string& text) { value_ = text; }

    std::string GetFormHtml() const override;
    std::string GetConfirmHtml() const override;
    void WriteIni(TIniFile& ini, const std::string& section) const override;
    std::string GetTypeName() const override { return "CHECKBOX"; }
    void ReadIni(const TIniFile& ini, const std::string& section) override;
    void Validate() const override;
    void WritePerl(std::vector<std::string>& lines) const override;

private:
    std::string value_;
};

}  // namespace qp
