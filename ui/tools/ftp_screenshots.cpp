// Renders the upload dialog after a finished upload and the remote folder browser showing a
// folder, both working against a real FTP server, to PNG files in the given folder. Used by
// scripts/screenshots-ftp for the documentation.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>

#include "ui/app_setup.h"
#include "ui/form_ftp_select_dir.h"
#include "ui/form_ftp_upload.h"

namespace {

// Lets the dialog work until done() says so; false after 30 s.
template <class Done>
bool WaitFor(Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 30000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    for (int k = 0; k < 5; ++k) QApplication::processEvents();
    return true;
}

std::string Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qp::InitApplication(app);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    if (args.size() != 6) {
        err << "usage: quillpost-ftp-screenshots HOST:PORT USER PASSWORD REMOTE_FOLDER OUTPUT_DIR\n";
        return 2;
    }
    const std::string host = args[1].toStdString();
    const std::string user = args[2].toStdString();
    const std::string password = args[3].toStdString();
    const std::string folder = args[4].toStdString();
    QDir().mkpath(args[5]);

    QTemporaryDir local;
    std::vector<qp::TUploadFile> files;
    for (const char* name : {"contact.cgi", "Quillpost.pm", "jcode.pl", "mimew.pl"}) {
        const QString path = local.filePath(QString::fromLatin1(name));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(QByteArray(20000, 'x') + "\r\n");
        files.emplace_back(Local(path), name, files.empty());
    }
    qp::TConnection account;
    account.Protocol = qp::TFtpProtocol::Ftp;  // the local test server speaks plain FTP
    account.Host = host;
    account.UserName = user;
    account.Password = password;
    qp::TFormFtpUpload upload(account);
    upload.SetUploadFiles(files, folder, "CHMOD");
    upload.show();
    if (!WaitFor([&] { return upload.Finished(); })) {
        err << "the upload did not end\n";
        return 1;
    }
    if (!upload.grab().save(args[5] + QStringLiteral("/ftp-upload.png"))) return 1;
    upload.hide();

    qp::TFormFtpSelectDir browser(account);
    browser.SetDirectory(folder);
    browser.show();
    if (!WaitFor([&] { return browser.StartUpDone(); })) {
        err << "the browser did not start\n";
        return 1;
    }
    if (auto* list = browser.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        list && list->topLevelItemCount() > 0) {
        list->setCurrentItem(list->topLevelItem(0));
    }
    for (int k = 0; k < 5; ++k) QApplication::processEvents();
    if (!browser.grab().save(args[5] + QStringLiteral("/ftp-select-dir.png"))) return 1;
    browser.reject();
    return 0;
}
