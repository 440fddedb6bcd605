#pragma once
// The one-line text field: size limit, input conversions, constraint, retype check, password.
#include <cstdint>
#include <vector>

#include "model/project_item.h"

namespace qp {

enum TProjectItemConvertType : std::uint8_t {
    ctNone = 0,
    ctZenNumHyphenToHan = 1,
    ctHanNumHyphenToZen = 2,
    ctHyphenDelete = 3,
    ctZenAlphabetToHan = 4,
    ctHanAlphabetToZen = 5,
    ctHanKanaToZen = 6,
    ctStrip = 7,
};

class TProjectItemText : public TProjectItem {
public:
    explicit TProjectItemText(std::string nameAttr);

    int GetSizeConstraint() const { return sizeConstraint_; }
    void SetSizeConstraint(int value);  // a negative value is ignored
    std::string GetSizeConstraintError() const { return sizeConstraintError_; }
    void SetSizeConstraintError(const std::string& text) { sizeConstraintError_ = text; }
    std::vector<TProjectItemConvertType> GetConvertTypes() const { return convertTypes_; }
    void SetConvertTypes(const std::vector<TProjectItemConvertType>& types) { convertTypes_ = types; }
    std::uint8_t GetConstraintType() const { return constraintType_; }
    void SetConstraintType(std::uint8_t kind) { constraintType_ = kind; }
    std::string GetConstraintRegexp() const { return constraintRegexp_; }
    void SetConstraintRegexp(const std::string& text) { constraintRegexp_ = text; }
    std::string GetConstraintError() const { return constraintError_; }
    void SetConstraintError(const std::string& text) { constraintError_ = text; }
    std::string GetRetypeItemNameAttr() const { return retypeItemNameAttr_; }
    void SetRetypeItemNameAttr(const std::string& text) { retypeItemNameAttr_ = text; }
    std::string GetRetypeError() const { return retypeError_; }
    void SetRetypeError(const std::string& text) { retypeError_ = text; }
    bool GetPassword() const { return password_; }
    void SetPassword(bool value) { password_ = value; }

    std::string GetFormHtml() const override;
    std::string GetConfirmHtml() const override;
    void ItemDeleted(const TProjectItem* removed) override;
    void WriteIni(TIniFile& ini, const std::string& section) const override;
    std::string GetTypeName() const override { return "TEXT"; }
    void ReadIni(const TIniFile& ini, const std::string& section) override;
    void Validate() const override;
    void WritePerl(std::vector<std::string>& lines) const override;

    // Function name of a conversion in the Perl entry ("strip" ...), empty outside 1-7.
    static std::string ConvertFunctionName(int type);
    // The pattern that the Perl entry carries for a constraint kind (kind 5: the stored regexp).
    std::string ConstraintPattern() const;

private:
    int sizeConstraint_ = 0;
    std::string sizeConstraintError_;
    std::vector<TProjectItemConvertType> convertTypes_;
    std::uint8_t constraintType_ = 0;
    std::string constraintRegexp_;
    std::string constraintError_;
    std::string retypeItemNameAttr_;
    std::string retypeError_;
    bool password_ = false;
};

}  // namespace qp
