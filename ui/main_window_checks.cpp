// The make's problems shown together, each with the page that holds it, and a way there.
#include <QMessageBox>
#include <algorithm>
#include <QPushButton>
#include <QTabWidget>

#include "generate/make_checks.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "ui_main_window.h"

namespace qp {

QWidget* TFormMain::ProblemControl(const TMakeProblem& problem) const {
    const QString name = QString::fromUtf8(problem.Control).section(QLatin1Char('/'), 0, 0);
    return name.isEmpty() ? nullptr : findChild<QWidget*>(name);
}

int TFormMain::PageOf(const QWidget* control) const {
    for (const QWidget* w = control; w != nullptr; w = w->parentWidget()) {
        const int page = ui_->PageControl->indexOf(const_cast<QWidget*>(w));
        if (page >= 0) return page;
    }
    return -1;
}

void TFormMain::GoToProblem(const TMakeProblem& problem) {
    QWidget* control = ProblemControl(problem);
    const int page = PageOf(control);
    if (page < 0) return;
    ui_->PageControl->setCurrentIndex(page);
    control->setFocus(Qt::OtherFocusReason);
}

bool TFormMain::PassChecks(const std::vector<TMakeProblem>& problems) {
    if (problems.empty()) return true;
    bool refused = false;
    QString list;
    for (const TMakeProblem& p : problems) {
        refused = refused || !p.Warning;
        const int page = PageOf(ProblemControl(p));
        if (!list.isEmpty()) list += QLatin1Char('\n');
        if (page >= 0) list += QStringLiteral("［%1］").arg(ui_->PageControl->tabText(page).remove(QLatin1Char('&')));
        if (p.Warning) list += QStringLiteral("注意: ");
        list += QString::fromUtf8(p.Message);
    }
    // A single refusal needs no heading; a list says what it is.
    const bool single = problems.size() == 1 && refused;
    const QString text = single ? list
                         : refused ? QStringLiteral("作成できません。次の点を直してください。\n\n") + list
                                   : list + QStringLiteral("\n\nこのまま続けますか？");
    QMessageBox box(refused ? QMessageBox::Information : QMessageBox::Warning, ApplicationTitle(), text,
                    refused ? QMessageBox::Ok : QMessageBox::Yes | QMessageBox::No, this);
    if (!refused) {
        box.button(QMessageBox::Yes)->setText(QStringLiteral("続ける"));
        box.button(QMessageBox::No)->setText(QStringLiteral("キャンセル"));
        box.setDefaultButton(QMessageBox::No);
    }
    // Goes to the first problem that has a place in the window.
    const auto first = std::find_if(problems.begin(), problems.end(),
                                    [this](const TMakeProblem& p) { return PageOf(ProblemControl(p)) >= 0; });
    if (first != problems.end()) box.addButton(QMessageBox::Open)->setText(QStringLiteral("移動"));
    const int answer = box.exec();
    if (answer == QMessageBox::Open) {
        GoToProblem(*first);
        return false;
    }
    return answer == QMessageBox::Yes;
}

}  // namespace qp
