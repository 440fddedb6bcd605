// The preview action: the project's CGI tried on this computer in the desktop's browser,
// with a small window of its addresses; a new or opened project takes over a running one.
#include <QStatusBar>

#include "generate/make_checks.h"
#include "model/error.h"
#include "ui/main_window.h"
#include "ui/preview_runner.h"
#include "ui/preview_window.h"

namespace qp {

TPreviewRunner& TFormMain::PreviewRunner() {
    auto* runner = findChild<TPreviewRunner*>(QString(), Qt::FindDirectChildrenOnly);
    return runner != nullptr ? *runner : *new TPreviewRunner(this);
}

void TFormMain::StartPreview() {
    TPreviewRunner& runner = PreviewRunner();
    runner.Start(*project_, supportFolder_.isEmpty() ? LibFolderPath() : supportFolder_);
    if (previewWindow_ == nullptr) previewWindow_ = new TPreviewWindow(runner, [this](const QUrl& url) { openUrl_(url); }, this);
    previewWindow_->ShowRunning();
}

void TFormMain::ActionPreviewExecute() {
    StoreControlsToProject();
    if (!PassChecks(FindMakeProblems(*project_))) return;
    StartPreview();
    openUrl_(PreviewRunner().FormUrl());
}

void TFormMain::PreviewFollowsProject() {
    if (previewWindow_ == nullptr || !PreviewRunner().IsRunning()) return;
    try {
        CheckForMake(*project_);
        StartPreview();
        statusBar()->showMessage(QStringLiteral("プレビューを新しいプロジェクトで開始しなおしました。"), 10000);
    } catch (const Error&) {
        previewWindow_->close();  // stops it: the preview of the project before would mislead
        statusBar()->showMessage(QStringLiteral("プレビューを停止しました。"), 10000);
    }
}

}  // namespace qp
