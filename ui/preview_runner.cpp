#include "ui/preview_runner.h"

#include <QEvent>
#include <QFile>

#include "preview/preview_server.h"

namespace qp {

TPreviewRunner::TPreviewRunner(QObject* parent) : QObject(parent) {
    if (parent != nullptr && parent->isWidgetType()) parent->installEventFilter(this);
}

TPreviewRunner::~TPreviewRunner() {
    Stop();
}

QUrl TPreviewRunner::Start(TProjectConfig& project, const QString& runtimeDir, int firstPort) {
    Stop();
    auto site = preview::TPreviewSite::Make(project, QFile::encodeName(runtimeDir).toStdString());
    auto server = std::make_unique<preview::TPreviewServer>(std::move(site));
    server->Bind(firstPort);
    server_ = std::move(server);
    thread_ = std::thread([server = server_.get()] { server->Run(); });
    return FormUrl();
}

void TPreviewRunner::Stop() {
    if (!server_) return;
    server_->Stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();  // removes the site folder with its mails
}

QUrl TPreviewRunner::FormUrl() const {
    return server_ ? QUrl(QString::fromStdString(server_->FormUrl())) : QUrl();
}

QUrl TPreviewRunner::MailsUrl() const {
    return server_ ? QUrl(QString::fromStdString(server_->MailsUrl())) : QUrl();
}

bool TPreviewRunner::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Close) Stop();
    return QObject::eventFilter(watched, event);
}

}  // namespace qp
