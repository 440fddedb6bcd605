// Recent projects in the File menu, and a project file dropped on the window.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>

#include "ui/app_error.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "ui/recent_files.h"
#include "ui_main_window.h"

namespace qp {
namespace {

// The first local project file among a drag's addresses; empty: none.
QString DroppedProject(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() && path.endsWith(QStringLiteral(".qpf"), Qt::CaseInsensitive)) return path;
    }
    return {};
}

}  // namespace

void TFormMain::SetRecentFilesStore(const QString& store) {
    recentFiles_ = std::make_unique<TRecentFiles>(store);
    UpdateRecentFilesMenu();
}

void TFormMain::RememberRecentFile(const QString& path) {
    recentFiles_->Add(path);
    UpdateRecentFilesMenu();
}

void TFormMain::UpdateRecentFilesMenu() {
    QMenu* menu = ui_->MenuRecentFiles;
    menu->clear();
    const QStringList files = recentFiles_->Files();
    int number = 0;
    for (const QString& path : files) {
        ++number;
        // The number is the menu's access key; an "&" in a name is shown as itself.
        QString name = QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* open = menu->addAction(QStringLiteral("&%1 %2").arg(number).arg(name));
        open->setStatusTip(path);
        open->setData(path);
        connect(open, &QAction::triggered, this, [this, path] { RunGuarded(this, [&] { OpenRecentFile(path); }); });
    }
    menu->setEnabled(!files.isEmpty());
}

void TFormMain::OpenRecentFile(const QString& path) {
    if (!QFileInfo::exists(path)) {
        recentFiles_->Remove(path);
        UpdateRecentFilesMenu();
        QMessageBox box(QMessageBox::Information, ApplicationTitle(),
                        QStringLiteral("「%1」が見つかりません。一覧から外しました。").arg(path), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    if (!ConfirmLosingChanges()) return;
    OpenProjectFile(path);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedProject(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QString path = DroppedProject(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // After the drop has ended: the question about unsaved changes must not hold the drag.
    QTimer::singleShot(0, this, [this, path] {
        RunGuarded(this, [&] {
            if (ConfirmLosingChanges()) OpenProjectFile(path);
        });
    });
}

}  // namespace qp
