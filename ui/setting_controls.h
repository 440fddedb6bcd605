#pragma once
// The window's controls of a settings table: each entry's control found by its objectName,
// its hint set, and the two whole copies between the controls and a set of values.
#include <QString>
#include <QVariant>
#include <vector>

#include "model/settings_table.h"

class QAbstractButton;
class QButtonGroup;
class QWidget;

namespace qp {

// Checks the group's button of id; with no such button, none is checked.
void SelectInGroup(QButtonGroup* group, int id);

class TSettingControls {
public:
    // Finds the control of every entry that names one under window (a missing control is a
    // fault of the build, raised as std::logic_error), groups each choice's radio buttons,
    // and gives controls and their labels the entries' hints.
    TSettingControls(QWidget* window, const TSettingsTable& table);

    // The radio buttons of a choice, with the choice numbers as ids; null for other entries.
    QButtonGroup* Group(std::size_t index) const { return bindings_.at(index).group; }
    QButtonGroup* Group(TSetting id) const { return Group(static_cast<std::size_t>(id)); }

    // What the controls will show, every text converted: raises Error naming the setting
    // whose text cannot be shown, before any control changes.
    using Shown = std::vector<QVariant>;
    Shown Prepare(const TSettingValues& values) const;
    void Show(const Shown& shown);

    // The controls' values into values; every text is converted first, so a text Shift_JIS
    // cannot hold raises Error naming its setting and values stay as they were. A choice
    // that no button or item stands for, and an entry without a control, keep their value.
    void Store(TSettingValues& values);

private:
    struct Binding {
        QWidget* control = nullptr;
        QString row;  // the key of a value list's row
        QButtonGroup* group = nullptr;
    };
    QVariant Read(std::size_t index) const;

    const TSettingsTable& table_;
    std::vector<Binding> bindings_;
};

}  // namespace qp
