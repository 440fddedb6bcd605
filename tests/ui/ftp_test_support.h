#pragma once
// Helpers of the FTP dialog tests: a real FTP server (the pyftpdlib script of the FTP tests,
// run by the system's Python) in a temporary home, and a poller that works the modal dialogs.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

namespace qp::test {

class TFtpTestServer {
public:
    static constexpr const char* kUser = "user";
    static constexpr const char* kPassword = "secret";

    TFtpTestServer() {
        const QString script = QStringLiteral(QP_SOURCE_DIR "/tests/ftp/ftp_test_server.py");
        process_.setProgram(QStringLiteral("/usr/bin/python3"));
        process_.setArguments(
            {script, home_.path(), QString::fromLatin1(kUser), QString::fromLatin1(kPassword)});
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        if (!process_.waitForStarted(10000)) qFatal("the FTP test server did not start");
        QByteArray out;
        while (!out.contains('\n') && process_.waitForReadyRead(20000))
            out += process_.readAllStandardOutput();
        if (!out.startsWith("PORT ")) qFatal("the FTP test server said: %s", out.constData());
        port_ = out.mid(5).trimmed().toInt();
    }
    ~TFtpTestServer() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    TFtpTestServer(const TFtpTestServer&) = delete;
    TFtpTestServer& operator=(const TFtpTestServer&) = delete;

    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    // The server's root folder on this machine, and a path below it.
    QString Home() const { return home_.path(); }
    QString Path(const QString& relative) const { return QDir(home_.path()).filePath(relative); }

    void MakeFolder(const QString& relative) const { QDir(home_.path()).mkpath(relative); }
    void WriteFile(const QString& relative, const QByteArray& bytes) const {
        QFile f(Path(relative));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write test file");
    }
    QByteArray ReadFile(const QString& relative) const {
        QFile f(Path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir home_;
    QProcess process_;
    int port_ = 0;
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
