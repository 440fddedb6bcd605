#include "ui/setting_controls.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <stdexcept>

#include "editor/html_editor.h"
#include "model/charset.h"
#include "model/error.h"
#include "ui/text_codec.h"
#include "ui/value_list.h"

namespace qp {
namespace {

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

QString LabelOf(const TSettingDef& d) {
    return Utf8(d.Label ? d.Label : d.Key);
}

QWidget* FindControl(QWidget* window, const QString& name) {
    QWidget* w = window->findChild<QWidget*>(name);
    if (w == nullptr) throw std::logic_error("no control " + name.toStdString() + " for a setting");
    return w;
}

}  // namespace

void SelectInGroup(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    // No button for this value: none is selected.
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
}

TSettingControls::TSettingControls(QWidget* window, const TSettingsTable& table)
    : table_(table), bindings_(table.size()) {
    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const TSettingDef& d = table[i];
        Binding& b = bindings_[i];
        if (d.Control) {
            const QString name = Utf8(d.Control);
            const qsizetype slash = name.indexOf(QLatin1Char('/'));
            b.control = FindControl(window, slash < 0 ? name : name.left(slash));
            if (slash >= 0) b.row = name.mid(slash + 1);
        }
        if (d.Kind == TSettingKind::Choice && !d.Choices.empty() && d.Choices.front().Button) {
            b.group = new QButtonGroup(window);
            for (std::size_t c = 0; c < d.Choices.size(); ++c) {
                auto* button = qobject_cast<QAbstractButton*>(FindControl(window, Utf8(d.Choices[c].Button)));
                if (button == nullptr) throw std::logic_error(std::string(d.Choices[c].Button) + " is no button");
                b.group->addButton(button, static_cast<int>(c));
            }
        }
        if (d.Hint && b.control) {
            const QString hint = Utf8(d.Hint);
            b.control->setStatusTip(hint);
            for (QLabel* label : labels)
                if (label->buddy() == b.control) label->setStatusTip(hint);
        }
    }
}

TSettingControls::Shown TSettingControls::Prepare(const TSettingValues& values) const {
    Shown shown(table_.size());
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const TSettingDef& d = table_[i];
        if (!bindings_[i].control && !bindings_[i].group) continue;
        if (d.IsText()) {
            try {
                shown[i] = FromSjis(values.Text(i));
            } catch (const charset::CharsetError& e) {
                throw Error("「" + LabelOf(d).toStdString() + "」を表示できません。" + e.Message());
            }
        } else if (d.Kind == TSettingKind::Boolean) {
            shown[i] = values.Bool(i);
        } else {
            shown[i] = values.Int(i);
        }
    }
    return shown;
}

void TSettingControls::Show(const Shown& shown) {
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const Binding& b = bindings_[i];
        const QVariant& v = shown.at(i);
        if (b.group) {
            SelectInGroup(b.group, v.toInt());
        } else if (auto* list = qobject_cast<QTableWidget*>(b.control)) {
            SetListValue(list, b.row, v.toString());
        } else if (auto* edit = qobject_cast<QLineEdit*>(b.control)) {
            edit->setText(v.toString());
        } else if (auto* editor = qobject_cast<THtmlEditor*>(b.control)) {
            editor->SetText(v.toString());
        } else if (auto* check = qobject_cast<QCheckBox*>(b.control)) {
            check->setChecked(v.toBool());
        } else if (auto* spin = qobject_cast<QSpinBox*>(b.control)) {
            spin->setValue(v.toInt());
        } else if (auto* combo = qobject_cast<QComboBox*>(b.control)) {
            combo->setCurrentIndex(v.toInt() < combo->count() ? v.toInt() : -1);
        }
    }
}

// The control's value; invalid where the setting keeps its value.
QVariant TSettingControls::Read(std::size_t index) const {
    const Binding& b = bindings_[index];
    if (b.group) {
        const int id = b.group->checkedId();
        return id < 0 ? QVariant() : QVariant(id);
    }
    if (auto* list = qobject_cast<QTableWidget*>(b.control)) return ListValue(list, b.row);
    if (auto* edit = qobject_cast<QLineEdit*>(b.control)) return edit->text();
    if (auto* editor = qobject_cast<THtmlEditor*>(b.control)) return editor->Text();
    if (auto* check = qobject_cast<QCheckBox*>(b.control)) return check->isChecked();
    if (auto* spin = qobject_cast<QSpinBox*>(b.control)) {
        spin->interpretText();  // a number still being typed counts
        return spin->value();
    }
    if (auto* combo = qobject_cast<QComboBox*>(b.control)) {
        return combo->currentIndex() < 0 ? QVariant() : QVariant(combo->currentIndex());
    }
    return {};
}

void TSettingControls::Store(TSettingValues& values) {
    for (const Binding& b : bindings_) {
        if (auto* list = qobject_cast<QTableWidget*>(b.control)) CommitPendingEdit(list);
    }
    TSettingValues read = values;
    for (std::size_t i = 0; i < table_.size(); ++i) {
        const TSettingDef& d = table_[i];
        const QVariant v = Read(i);
        if (!v.isValid()) continue;
        if (d.IsText())
            read.Set(i, ToSjis(v.toString(), LabelOf(d)));
        else if (d.Kind == TSettingKind::Boolean)
            read.Set(i, v.toBool());
        else
            read.Set(i, v.toInt());
    }
    values = std::move(read);
}

}  // namespace qp
