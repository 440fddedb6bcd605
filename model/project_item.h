#pragma once
// The abstract form item: what every field of the web form has, and the operations
// through which the rest of the system uses an item without knowing its type.
#include <string>
#include <vector>

#include "model/ini_file.h"

namespace qp {

class TProjectItem {
public:
    explicit TProjectItem(std::string nameAttr);
    virtual ~TProjectItem() = default;
    TProjectItem(const TProjectItem&) = delete;
    TProjectItem& operator=(const TProjectItem&) = delete;

    std::string GetNameAttr() const { return nameAttr_; }
    std::string GetNameValue() const { return nameValue_; }
    bool GetRequired() const { return required_; }
    std::string GetRequiredError() const { return requiredError_; }

    void SetNameAttr(const std::string& text);   // raises Error on a bad character
    void SetNameValue(const std::string& text);  // raises Error on a double quote
    void SetRequired(bool value) { required_ = value; }
    void SetRequiredError(const std::string& text) { requiredError_ = text; }

    virtual std::string GetFormHtml() const = 0;
    virtual std::string GetConfirmHtml() const = 0;
    virtual void ItemDeleted(const TProjectItem* removed);
    virtual void WriteIni(TIniFile& ini, const std::string& section) const;
    virtual std::string GetTypeName() const = 0;
    virtual void ReadIni(const TIniFile& ini, const std::string& section);
    virtual void Validate() const;
    virtual void WritePerl(std::vector<std::string>& lines) const = 0;
    virtual void WriteConverterParams(TIniFile& ini, const std::string& section, int index) const;

protected:
    // Rows 1-6 of the Perl entry frame (brace, ATTR, TYPE, NAME, REQUIRED, REQUIRED_ERROR).
    void WritePerlHead(std::vector<std::string>& lines) const;
    // The shared confirmation line with the given mark name.
    std::string ConfirmLine(const std::string& markName) const;
    // The converter parameter block with the given PARAM_ROW_TYPE.
    void WriteConverterBlock(TIniFile& ini, const std::string& section, int index, int rowType) const;

private:
    std::string nameAttr_;
    std::string nameValue_;
    bool required_ = false;
    std::string requiredError_;
};

std::string EscapeHtml(const std::string& text);

// Appends a here-document: the opening line, the quoted body and "__END__".
void AppendHeredoc(std::vector<std::string>& lines, const std::string& opening, const std::string& body);

}  // namespace qp
