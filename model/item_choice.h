#pragma once
// The two items that offer a fixed list of choices: radio buttons and the pop-up menu.
#include <vector>

#include "model/project_item.h"

namespace qp {

// What radio buttons and pop-up menus share: the list of choices.
class TProjectItemChoice : public TProjectItem {
public:
    explicit TProjectItemChoice(std::string nameAttr);

    const std::vector<std::string>& GetValues() const { return values_; }
    void SetValues(const std::vector<std::string>& lines);  // empty lines are dropped

    std::string GetConfirmHtml() const override;
    void WriteIni(TIniFile& ini, const std::string& section) const override;
    void ReadIni(const TIniFile& ini, const std::string& section) override;
    void Validate() const override;
    void WritePerl(std::vector<std::string>& lines) const override;

protected:
    // Lines of a kind's own between the entry's head and its choices.
    virtual void WritePerlOptions(std::vector<std::string>&) const {}

private:
    std::vector<std::string> values_;
};

class TProjectItemRadio : public TProjectItemChoice {
public:
    explicit TProjectItemRadio(std::string nameAttr) : TProjectItemChoice(std::move(nameAttr)) {}
    std::string GetFormHtml() const override;
    std::string GetTypeName() const override { return "RADIO"; }
};

class TProjectItemPopupmenu : public TProjectItemChoice {
public:
    explicit TProjectItemPopupmenu(std::string nameAttr) : TProjectItemChoice(std::move(nameAttr)) {}
    std::string GetFormHtml() const override;
    std::string GetTypeName() const override { return "POPUPMENU"; }

    // A first choice such as "選択してください" that is no answer: chosen, the field is empty.
    bool GetFirstIsNone() const { return firstIsNone_; }
    void SetFirstIsNone(bool value) { firstIsNone_ = value; }

    void WriteIni(TIniFile& ini, const std::string& section) const override;
    void ReadIni(const TIniFile& ini, const std::string& section) override;

protected:
    void WritePerlOptions(std::vector<std::string>& lines) const override;

private:
    bool firstIsNone_ = false;
};

}  // namespace qp
