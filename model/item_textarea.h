#pragma once
// The multi-line text field with a size limit in bytes.
#include "model/project_item.h"

namespace qp {

class TProjectItemTextarea : public TProjectItem {
public:
    explicit TProjectItemTextarea(std::string nameAttr);

    int GetSizeConstraint() const { return sizeConstraint_; }
    void SetSizeConstraint(int value);  // a negative value is ignored
    std::string GetSizeConstraintError() const { return sizeConstraintError_; }
    void SetSizeConstraintError(const std::string& text) { sizeConstraintError_ = text; }

    std::string GetFormHtml() const override;
    std::string GetConfirmHtml() const override;
    void WriteIni(TIniFile& ini, const std::string& section) const override;
    std::string GetTypeName() const override { return "TEXTAREA"; }
    void ReadIni(const TIniFile& ini, const std::string& section) override;
    void WritePerl(std::vector<std::string>& lines) const override;
    void WriteConverterParams(TIniFile& ini, const std::string& section, int index) const override;

private:
    int sizeConstraint_ = 0;
    std::string sizeConstraintError_;
};

}  // namespace qp
