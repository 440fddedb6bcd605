#pragma once
// Helpers of the FTP dialog tests: the FTP tests' real FTP server with its files reached by
// Qt paths, and a poller that works the modal dialogs.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "ftp/test_ftp_server.h"

namespace qp::test {

class TFtpTestServer {
public:
    static constexpr const char* kUser = PyFtpServer::kUser;
    static constexpr const char* kPassword = PyFtpServer::kPassword;

    // tls: FTPS required, with a self-signed certificate.
    explicit TFtpTestServer(bool tls = false) : server_(Start(tls)) {}

    std::string Host() const { return server_->Host(); }
    const std::string& Fingerprint() const { return server_->Fingerprint(); }
    // The server's root folder on this machine, and a path below it.
    QString Home() const { return QFile::decodeName(QByteArray::fromStdString(server_->Home())); }
    QString Path(const QString& relative) const { return QDir(Home()).filePath(relative); }

    void MakeFolder(const QString& relative) const { QDir(Home()).mkpath(relative); }
    void WriteFile(const QString& relative, const QByteArray& bytes) const {
        QFile f(Path(relative));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write test file");
    }
    QByteArray ReadFile(const QString& relative) const {
        QFile f(Path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    // A window test cannot go on without its server: stop the whole run with the reason.
    static std::unique_ptr<PyFtpServer> Start(bool tls) {
        std::unique_ptr<PyFtpServer> server;
        try {
            server = std::make_unique<PyFtpServer>(tls);
        } catch (const std::exception& e) {
            qFatal("%s", e.what());
        }
        return server;
    }

    std::unique_ptr<PyFtpServer> server_;
};

// Calls handler with the active modal widget every few milliseconds while it lives, so that a
// test can work a dialog that another call is showing modally. The handler is never entered
// again while it runs (the dialogs pump events during their server calls).
class TModalPoller : public QObject {
public:
    explicit TModalPoller(std::function<void(QWidget*)> handler) : handler_(std::move(handler)) {
        timer_.setInterval(3);
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* w = QApplication::activeModalWidget();
            if (w == nullptr || inside_) return;
            inside_ = true;
            handler_(w);
            inside_ = false;
        });
        timer_.start();
    }

private:
    std::function<void(QWidget*)> handler_;
    QTimer timer_;
    bool inside_ = false;
};

// Ends a test that hangs instead of letting it wait for the test driver's timeout.
class TWatchdog : public QObject {
public:
    explicit TWatchdog(int seconds = 60) {
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [] { qFatal("a dialog did not close in time"); });
        timer_.start(seconds * 1000);
    }

private:
    QTimer timer_;
};

}  // namespace qp::test
