#pragma once
// Runs the local preview of the project inside the desktop program: the server on a thread
// of its own, restarted with the current project on every start and stopped when the window
// that owns it closes.
#include <QObject>
#include <QUrl>
#include <memory>
#include <thread>

#include "model/project_config.h"

namespace qp {

namespace preview {
class TPreviewServer;
}

class TPreviewRunner : public QObject {
    Q_OBJECT
public:
    // With a widget as parent, the preview stops when that widget is closed.
    explicit TPreviewRunner(QObject* parent);
    ~TPreviewRunner() override;
    TPreviewRunner(const TPreviewRunner&) = delete;
    TPreviewRunner& operator=(const TPreviewRunner&) = delete;

    // Stops a running preview, then makes the project's preview site from runtimeDir and
    // serves it from firstPort or the next free port. Returns the form's address. Raises
    // the project's or the site's Error; nothing is left running then.
    QUrl Start(TProjectConfig& project, const QString& runtimeDir, int firstPort = 8080);
    void Stop();

    bool IsRunning() const { return server_ != nullptr; }
    QUrl FormUrl() const;
    QUrl MailsUrl() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<preview::TPreviewServer> server_;
    std::thread thread_;
};

}  // namespace qp
