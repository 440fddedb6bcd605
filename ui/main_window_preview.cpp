// The preview action: the project's CGI tried on this computer in the desktop's browser.
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>

#include "generate/make_checks.h"
#include "model/error.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "ui/preview_runner.h"

namespace qp {

void TFormMain::ActionPreviewExecute() {
    StoreControlsToProject();
    if (!PassChecks(FindMakeProblems(*project_))) return;
    auto* runner = findChild<TPreviewRunner*>(QString(), Qt::FindDirectChildrenOnly);
    if (runner == nullptr) runner = new TPreviewRunner(this);
    auto* label = statusBar()->findChild<QLabel*>(QStringLiteral("LabelPreviewAddress"));
    if (label == nullptr) {
        label = new QLabel(statusBar());
        label->setObjectName(QStringLiteral("LabelPreviewAddress"));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        statusBar()->addPermanentWidget(label);
    }
    label->clear();
    const QUrl url = runner->Start(*project_, supportFolder_.isEmpty() ? LibFolderPath() : supportFolder_);
    label->setText(QStringLiteral("プレビュー: ") + url.toString());
    openUrl_(url);
}

}  // namespace qp
