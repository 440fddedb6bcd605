// The Make action of the main window in its three modes, and the browse for the installation
// folder: checks before any dialog, the save dialogs, the messages, and a real upload.
#include <sys/stat.h>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "ftp_test_support.h"
#include "generate/make_driver.h"
#include "model/project_config.h"
#include "support/apache_server.h"
#include "support/guard_secret_mask.h"
#include "support/sshd_server.h"
#include "ui/app_setup.h"
#include "ui/form_ftp_select_dir.h"
#include "ui/form_ftp_upload.h"
#include "ui/main_window.h"
#include "ui/text_codec.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

namespace {

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write test file");
}

int Mode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

// What one upload dialog showed by the time its sequence ended.
struct UploadSeen {
    int dialogs = 0;
    QStringList lines;
    bool passive = false;
};

}  // namespace

class MakeUploadTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFormMain> w_;
    QTemporaryDir dir_;
    int prompts_ = 0;
    QString promptFilter_, promptSuffix_, promptPreset_;
    QString nextPath_;
    int passwordPrompts_ = 0;
    std::optional<QString> nextPassword_;

    TProjectConfig& P() { return w_->Project(); }
    QString Path(const char* name) { return dir_.filePath(Q(name)); }
    QAction* MakeAction() { return W<QAction>(w_.get(), "ActionMake"); }

    // A project that passes the make checks, shown in the controls, in the given make mode.
    void MakeValidProject(int makeFileType) {
        P().AddItem(TextItem("name", "お名前", true));
        P().SetManagerMailFrom("admin@example.com");
        P().SetManagerMailTo("admin@example.com");
        P().SetManagerMailSubject(Sj("お問い合わせ"));
        P().SetFormHtml(Sj("<form><input name=\"name\">フォーム</form>"));
        P().SetMakeFileType(makeFileType);
        w_->LoadControlsFromProject();
    }

    void SetFtp(const TFtpTestServer& server, const char* folder) {
        P().SetFtpHostName(server.Host());
        P().SetFtpUserName(TFtpTestServer::kUser);
        P().SetFtpPassword(TFtpTestServer::kPassword);
        P().SetFtpFileName("contact.cgi");
        P().SetFtpDirectory(folder);
        P().SetFtpProtocol(TFtpProtocol::Ftp);
        w_->LoadControlsFromProject();
    }

    // Runs Make; every upload dialog is watched until its sequence ends, then closed.
    UploadSeen MakeWithUpload() {
        UploadSeen seen;
        TModalPoller poller([&](QWidget* w) {
            auto* dialog = qobject_cast<TFormFtpUpload*>(w);
            if (dialog == nullptr || !dialog->Finished()) return;
            ++seen.dialogs;
            seen.lines = W<QPlainTextEdit>(dialog, "Memo1")->toPlainText().split(QLatin1Char('\n'));
            seen.passive = dialog->Client().Passive();
            W<QPushButton>(dialog, "BitBtn1")->click();
        });
        TWatchdog watchdog;
        MakeAction()->trigger();
        return seen;
    }

private slots:
    void initTestCase() { QuietSizeHintWarnings(); }
    void init() {
        w_ = std::make_unique<TFormMain>();
        prompts_ = 0;
        nextPath_.clear();
        w_->SetSavePathPrompt(
            [this](QWidget*, const QString& filter, const QString& suffix, const QString& preset) {
                ++prompts_;
                promptFilter_ = filter;
                promptSuffix_ = suffix;
                promptPreset_ = preset;
                return nextPath_;
            });
        passwordPrompts_ = 0;
        nextPassword_.reset();
        w_->SetPasswordPrompt([this](QWidget*) {
            ++passwordPrompts_;
            return nextPassword_;
        });
    }
    void cleanup() { w_.reset(); }

    // ---- make and upload ----

    void makeAndUploadPutsTheFourFilesOnTheServer_data() {
        QTest::addColumn<bool>("passive");
        QTest::newRow("active") << false;
        QTest::newRow("passive") << true;
    }

    void makeAndUploadPutsTheFourFilesOnTheServer() {
        QFETCH(bool, passive);
        TFtpTestServer server;
        server.MakeFolder(Q("cgi-bin"));
        MakeValidProject(1);
        SetFtp(server, "/cgi-bin");
        W<QCheckBox>(w_.get(), "CheckBoxFtpPassive")->setChecked(passive);
        w_->SetSupportFolder(Q(QP_SOURCE_DIR "/lib"));

        TBoxAnswerer boxes;
        const UploadSeen seen = MakeWithUpload();
        QCOMPARE(boxes.Count(), 0);
        QCOMPARE(seen.dialogs, 1);
        QCOMPARE(seen.passive, passive);
        QCOMPARE(seen.lines,
                 QStringList({Q("contact.cgiをアップロードしました。"), Q("CHMOD 755 contact.cgi"),
                              Q("contact.cgi のアクセス権を設定しました。"),
                              Q("Quillpost.pmをアップロードしました。"),
                              Q("jcode.plをアップロードしました。"), Q("mimew.plをアップロードしました。"),
                              Q("設置が完了しました。")}));
        // The script is the one a local make writes; the ASCII transfer gives the server's line ends.
        QByteArray script = QByteArray::fromStdString(MaskGuardSecret(MakeCgiText(P())));
        script.replace("\r\n", "\n");
        QCOMPARE(QByteArray::fromStdString(MaskGuardSecret(ReadBytes(server.Path(Q("cgi-bin/contact.cgi"))).toStdString())),
                 script);
        QCOMPARE(Mode(server.Path(Q("cgi-bin/contact.cgi"))), 0755);
        for (const char* name : {"Quillpost.pm", "jcode.pl", "mimew.pl"}) {
            QByteArray original = ReadBytes(Q(QP_SOURCE_DIR "/lib/") + Q(name));
            original.replace("\r\n", "\n");
            QCOMPARE(ReadBytes(server.Path(Q("cgi-bin/") + Q(name))), original);
            QVERIFY((Mode(server.Path(Q("cgi-bin/") + Q(name))) & 0111) == 0);
        }
        // The make copied the passive setting into the project on its way.
        QCOMPARE(P().GetFtpPassive(), passive);
    }

    // With the script's address typed in, the dialog checks the form where it landed and the
    // log ends with the result and the address to open.
    void makeAndUploadChecksTheFormAtItsAddress() {
        TFtpTestServer server;
        ApacheServer web(server.Home().toStdString());
        MakeValidProject(1);
        SetFtp(server, "/");
        QFile::setPermissions(server.Home(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                 QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
        const QString url = QString::fromStdString(web.Origin()) + Q("/contact.cgi");
        W<QLineEdit>(w_.get(), "EditScriptUrl")->setText(url);
        W<QLineEdit>(w_.get(), "EditSendmailPath")->setText(Q("/usr/bin/true"));
        w_->SetSupportFolder(Q(QP_SOURCE_DIR "/lib"));

        TBoxAnswerer boxes;
        const UploadSeen seen = MakeWithUpload();
        QCOMPARE(boxes.Count(), 0);
        QCOMPARE(seen.lines.mid(seen.lines.size() - 4, 2),
                 QStringList({Q("設置が完了しました。"), Q("フォームのCGIが動いています(HTTP 200)。")}));
        QVERIFY(seen.lines.at(seen.lines.size() - 2).startsWith(Q("サーバーの状態: perl ")));
        QCOMPARE(seen.lines.last(), Q("フォームのアドレス: ") + url);
        // The key made for the check is the project's now, and to be saved.
        QCOMPARE(P().Settings().Text(TSetting::CheckKey).size(), 64u);
        QVERIFY(w_->isWindowModified());
    }

    // The check finds the limits off (the CGI cannot write its state file): "修正する" makes
    // the file writable and checks again.
    void theFixButtonMakesTheStateFileWritable() {
        TFtpTestServer server;
        ApacheServer web(server.Home().toStdString());
        const QString state = server.Path(Q(".htquillpost-contact.cgi"));
        WriteBytes(state, QByteArray());
        QFile::setPermissions(state, QFileDevice::ReadOwner | QFileDevice::ReadOther);
        MakeValidProject(1);
        SetFtp(server, "/");
        W<QLineEdit>(w_.get(), "EditScriptUrl")->setText(QString::fromStdString(web.Origin()) + Q("/contact.cgi"));
        W<QLineEdit>(w_.get(), "EditSendmailPath")->setText(Q("/usr/bin/true"));
        w_->SetSupportFolder(Q(QP_SOURCE_DIR "/lib"));

        QStringList before, after;
        TModalPoller poller([&](QWidget* w) {
            auto* dialog = qobject_cast<TFormFtpUpload*>(w);
            if (dialog == nullptr || !dialog->Finished()) return;
            auto* fix = W<QPushButton>(dialog, "ButtonFix");
            before = W<QPlainTextEdit>(dialog, "Memo1")->toPlainText().split(QLatin1Char('\n'));
            if (fix->isVisible()) fix->click();
            after = W<QPlainTextEdit>(dialog, "Memo1")->toPlainText().split(QLatin1Char('\n')).mid(before.size());
            W<QPushButton>(dialog, "BitBtn1")->click();
        });
        TWatchdog watchdog;
        TBoxAnswerer boxes;
        MakeAction()->trigger();
        QVERIFY(before.join(QLatin1Char('\n')).contains(Q("送信回数の上限が働いていません。")));
        QCOMPARE(after.value(0), Q("「.htquillpost-contact.cgi」を属性666にして、CGIが書き込めるようにしました。"));
        QCOMPARE(after.value(1), Q("フォームのCGIが動いています(HTTP 200)。"));
        QCOMPARE(after.size(), 4);
        QCOMPARE(Mode(state), 0666);
    }

    // The user is shown the unverified certificate: refused, nothing is sent; trusted, the
    // upload runs over TLS and the project keeps the fingerprint, so the next one asks nothing.
    void makeAndUploadOverFtpsAsksAboutTheCertificate() {
        TFtpTestServer server(true);
        server.MakeFolder(Q("cgi-bin"));
        MakeValidProject(1);
        SetFtp(server, "/cgi-bin");
        W<QComboBox>(w_.get(), "ComboBoxFtpProtocol")->setCurrentIndex(1);
        w_->SetSupportFolder(Q(QP_SOURCE_DIR "/lib"));
        const QString fingerprint = QString::fromStdString(server.Fingerprint());

        for (bool trust : {false, true, true}) {
            int questions = 0;
            QString question;
            QTimer answerer;
            answerer.setInterval(2);
            QObject::connect(&answerer, &QTimer::timeout, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr) return;
                if (box->objectName() != Q("TrustCertificateBox")) return box->accept();
                ++questions;
                question = box->text();
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == Q(trust ? "信頼して接続する" : "中止")) b->click();
            });
            answerer.start();
            const bool asked = P().GetFtpTrustedCert().empty();
            w_->setWindowModified(false);
            const UploadSeen seen = MakeWithUpload();
            QCOMPARE(questions, asked ? 1 : 0);
            if (asked) {
                QVERIFY2(question.contains(fingerprint), qPrintable(question));
                QVERIFY(question.contains(Q("CN=localhost")));
            }
            QCOMPARE(QString::fromStdString(P().GetFtpTrustedCert()), trust ? fingerprint : QString());
            // A newly trusted certificate is kept only by saving: closing asks first.
            if (asked) QCOMPARE(w_->isWindowModified(), trust);
            QCOMPARE(server.ReadFile(Q("cgi-bin/jcode.pl")).isEmpty(), !trust);
            if (trust) QVERIFY2(seen.lines.value(0).startsWith(Q("TLSで暗号化しました（TLSv1.")), qPrintable(seen.lines.value(0)));
        }
    }

    // Over SFTP with a key file: the unknown host key is shown and, once trusted, kept in the
    // project, so the next upload asks nothing; the script arrives with LF line ends and mode
    // 755 without the chmod command. An encrypted key asks for its passphrase.
    void makeAndUploadOverSftpAsksAboutTheHostKey() {
        std::unique_ptr<TSshdServer> server;
        try {
            server = std::make_unique<TSshdServer>();
        } catch (const std::exception& e) {
            QFAIL(e.what());
        }
        // The session's own folder: the test may run as root, the session as an account of its own.
        const QString home = QFile::decodeName(QByteArray::fromStdString(server->Home()));
        MakeValidProject(1);
        P().SetFtpHostName(server->HostAndPort());
        P().SetFtpUserName(server->User());
        P().SetFtpFileName("contact.cgi");
        P().SetFtpDirectory(server->Home());
        P().SetFtpChmod("SITE CHMOD");
        P().SetFtpProtocol(TFtpProtocol::Sftp);
        P().SetSftpKeyFile(server->KeyFile());
        w_->LoadControlsFromProject();
        w_->SetSupportFolder(Q(QP_SOURCE_DIR "/lib"));
        const QString fingerprint = QString::fromStdString(server->Fingerprint());

        int questions = 0, passphrases = 0;
        QString question, otherBoxes;
        TModalPoller answerer([&](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                if (box->objectName() != Q("TrustHostKeyBox")) {
                    otherBoxes += box->text();
                    return box->accept();
                }
                ++questions;
                question = box->text();
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == Q("信頼して接続する")) b->click();
            } else if (auto* input = qobject_cast<QInputDialog*>(w)) {
                QCOMPARE(input->objectName(), Q("PassphraseDialog"));
                QCOMPARE(input->textEchoMode(), QLineEdit::Password);
                QVERIFY(input->labelText().contains(QString::fromStdString(server->EncryptedKeyFile())));
                ++passphrases;
                input->setTextValue(QString::fromStdString(server->Passphrase()));
                input->accept();
            }
        });
        const UploadSeen first = MakeWithUpload();
        QVERIFY2(otherBoxes.isEmpty(), qPrintable(otherBoxes));
        QCOMPARE(questions, 1);
        for (const QString& part : {Q("このサーバーのホスト鍵はまだ信頼されていません。"), Q("種類: ssh-ed25519"),
                                    Q("SHA-256 指紋: ") + fingerprint, Q("OpenSSH 形式: SHA256:")}) {
            QVERIFY2(question.contains(part), qPrintable(question));
        }
        QCOMPARE(QString::fromStdString(P().GetFtpTrustedCert()), fingerprint);
        QVERIFY2(first.lines.value(0).startsWith(Q("SSHで暗号化しました（")), qPrintable(first.lines.join(u'\n')));
        for (const QString& line :
             {Q("信頼するホスト鍵です（ssh-ed25519 ") + fingerprint + Q("）。"), Q("鍵ファイルでログインしました。"),
              Q("contact.cgiをアップロードしました。"),
              Q("contact.cgi のアクセス権を 755 に設定します（SFTP ではchmodコマンドの設定は使いません）。"),
              Q("contact.cgi のアクセス権を設定しました。"), Q("mimew.plをアップロードしました。")}) {
            QVERIFY2(first.lines.contains(line), qPrintable(line + Q("\n---\n") + first.lines.join(u'\n')));
        }
        QByteArray script = QByteArray::fromStdString(MaskGuardSecret(MakeCgiText(P())));
        script.replace("\r\n", "\n");
        const QString uploaded = home + Q("/contact.cgi");
        QCOMPARE(QByteArray::fromStdString(MaskGuardSecret(ReadBytes(uploaded).toStdString())), script);
        QCOMPARE(Mode(uploaded), 0755);

        QVERIFY(QFile::remove(home + Q("/jcode.pl")));
        W<QLineEdit>(w_.get(), "EditSftpKeyFile")->setText(QString::fromStdString(server->EncryptedKeyFile()));
        const UploadSeen second = MakeWithUpload();
        QVERIFY2(otherBoxes.isEmpty(), qPrintable(otherBoxes));
        QCOMPARE(questions, 1);
        QCOMPARE(passphrases, 1);
        QVERIFY2(second.lines.contains(Q("jcode.plをアップロードしました。")), qPrintable(second.lines.join(u'\n')));
        QVERIFY(QFile::exists(home + Q("/jcode.pl")));
    }

    void missingSupportFileIsLoggedAndTheRestUploaded() {
        TFtpTestServer server;
        MakeValidProject(1);
        SetFtp(server, "/");
        QTemporaryDir lib;
        WriteBytes(lib.filePath(Q("Quillpost.pm")), "1;\n");
        WriteBytes(lib.filePath(Q("mimew.pl")), "1;\n");
        w_->SetSupportFolder(lib.path());

        const UploadSeen seen = MakeWithUpload();
        const QString missing = lib.path() + Q("/jcode.pl");
        QCOMPARE(
            seen.lines,
            QStringList(
                {Q("contact.cgiをアップロードしました。"), Q("CHMOD 755 contact.cgi"),
                 Q("contact.cgi のアクセス権を設定しました。"), Q("Quillpost.pmをアップロードしました。"),
                 Q("[ERROR]") + missing + Q("が見つかりません。"), Q("mimew.plをアップロードしました。"),
                 Q("設置が完了しました。")}));
        QVERIFY(QFile::exists(server.Path(Q("mimew.pl"))));
        QVERIFY(!QFile::exists(server.Path(Q("jcode.pl"))));
    }

    void uploadChecksStopBeforeAnyDialog() {
        TFtpTestServer server;
        P().SetMakeFileType(1);
        w_->LoadControlsFromProject();
        {
            // No item and no FTP settings: every problem in one message, each with its page.
            TBoxAnswerer boxes;
            const UploadSeen seen = MakeWithUpload();
            QCOMPARE(seen.dialogs, 0);
            QCOMPARE(boxes.Count(), 1);
            QVERIFY(boxes.Text().startsWith(Q("作成できません。次の点を直してください。\n\n"
                                              "［項目設定］項目が設定されていません。\n"
                                              "［メール設定］メールのFromが設定されていません。\n")));
            QVERIFY(boxes.Text().endsWith(Q("\n［作成・設置］ホスト名(アドレス)が設定されていません。\n"
                                            "［作成・設置］ユーザ名が設定されていません。\n"
                                            "［作成・設置］CGIの設置フォルダが設定されていません。")));
            QCOMPARE(boxes.Icon(), QMessageBox::Information);
            QCOMPARE(boxes.Buttons(), QMessageBox::Ok | QMessageBox::Open);
        }
        {
            // 移動 goes to the first problem's page and control, and makes nothing.
            TBoxAnswerer boxes(QMessageBox::Open);
            W<QTabWidget>(w_.get(), "PageControl")->setCurrentIndex(3);
            QCOMPARE(MakeWithUpload().dialogs, 0);
            QCOMPARE(W<QTabWidget>(w_.get(), "PageControl")->currentIndex(), 0);
            QCOMPARE(w_->focusWidget(), W<QWidget>(w_.get(), "ItemGrid"));
        }
        MakeValidProject(1);
        SetFtp(server, "/");
        W<QLineEdit>(w_.get(), "EditFtpDirectory")->clear();
        {
            TBoxAnswerer boxes;
            const UploadSeen seen = MakeWithUpload();
            QCOMPARE(seen.dialogs, 0);
            QCOMPARE(boxes.Count(), 1);
            QCOMPARE(boxes.Text(), Q("［作成・設置］CGIの設置フォルダが設定されていません。"));
        }
        QCOMPARE(QDir(server.Home()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).size(), 0);
    }

    // ---- local make ----

    void localMakeShowsTheCheckWithoutTheDialog() {
        P().SetMakeFileType(0);
        w_->LoadControlsFromProject();
        TBoxAnswerer boxes;
        MakeAction()->trigger();
        QCOMPARE(prompts_, 0);
        QCOMPARE(boxes.Count(), 1);
        QVERIFY(boxes.Text().contains(Q("\n［項目設定］項目が設定されていません。\n")));
        QCOMPARE(boxes.Icon(), QMessageBox::Information);
    }

    void localMakeWarnsAndGoesOnOnlyWhenTold() {
        MakeValidProject(0);
        P().SetFormHtml(Sj("<form>入力欄なし</form>"));
        w_->LoadControlsFromProject();
        nextPath_ = Path("warned.cgi");
        {
            TBoxAnswerer boxes(QMessageBox::No);
            MakeAction()->trigger();
            QCOMPARE(boxes.Count(), 1);
            QCOMPARE(boxes.Icon(), QMessageBox::Warning);
            QVERIFY(boxes.Text().startsWith(Q("［フォーム画面設定］注意: フォーム画面のHTMLに必須項目「お名前」")));
            QCOMPARE(boxes.ButtonText(QMessageBox::Yes), Q("続ける"));
            QCOMPARE(prompts_, 0);
        }
        TBoxAnswerer boxes(QMessageBox::Yes);
        MakeAction()->trigger();
        QCOMPARE(prompts_, 1);
        QVERIFY(QFile::remove(nextPath_));  // made
    }

    void localMakeKeepsTheSavedPathWhenCancelled() {
        MakeValidProject(0);
        P().SetSaveFileName(Sj("/tmp/前回.cgi"));
        TBoxAnswerer boxes;
        nextPath_.clear();
        MakeAction()->trigger();
        QCOMPARE(prompts_, 1);
        QCOMPARE(promptPreset_, Q("/tmp/前回.cgi"));
        QCOMPARE(promptSuffix_, Q("cgi"));
        QVERIFY(promptFilter_.startsWith(Q("CGIスクリプト(*.cgi);;すべてのファイル")));
        QCOMPARE(P().GetSaveFileName(), Sj("/tmp/前回.cgi"));
        QCOMPARE(boxes.Count(), 0);
    }

    // The script replaces the file without a question, ready to run (755); the runtime goes
    // beside it unless the box says otherwise, and the message names the folder and the script.
    void localMakeReplacesTheFileWithoutAQuestion() {
        MakeValidProject(0);
        w_->SetSupportFolder(Q(QP_SOURCE_DIR "/lib"));
        nextPath_ = Path("フォーム.cgi");
        WriteBytes(nextPath_, "old contents\n");
        QVERIFY(W<QCheckBox>(w_.get(), "CheckBoxCopyRuntime")->isChecked());
        {
            TBoxAnswerer boxes;
            MakeAction()->trigger();
            QCOMPARE(boxes.Count(), 1);
            QCOMPARE(boxes.Text(), Q("「") + QDir::toNativeSeparators(dir_.path()) +
                                       Q("」に「フォーム.cgi」を作成しました（アクセス権 755）。\n"
                                         "実行用ファイル（Quillpost.pm、jcode.pl、mimew.pl）も同じフォルダにコピーしました。"));
            QCOMPARE(boxes.Icon(), QMessageBox::Information);
        }
        QCOMPARE(MaskGuardSecret(ReadBytes(nextPath_).toStdString()), MaskGuardSecret(MakeCgiText(P())));
        QCOMPARE(Mode(nextPath_), 0755);
        QCOMPARE(P().GetSaveFileName(), ToSjis(nextPath_, Q("path")));
        QCOMPARE(ReadBytes(Path("Quillpost.pm")), ReadBytes(Q(QP_SOURCE_DIR "/lib/Quillpost.pm")));
        QStringList files = QDir(dir_.path()).entryList(QDir::Files);
        files.sort();
        QCOMPARE(files, QStringList({Q("Quillpost.pm"), Q("jcode.pl"), Q("mimew.pl"), Q("フォーム.cgi")}));

        QFile::remove(Path("jcode.pl"));
        W<QCheckBox>(w_.get(), "CheckBoxCopyRuntime")->setChecked(false);
        TBoxAnswerer boxes;
        MakeAction()->trigger();
        QVERIFY(boxes.Text().contains(Q("jcode.pl、mimew.pl、Quillpost.pmも一緒に設置してください")));
        QVERIFY(!QFile::exists(Path("jcode.pl")));
    }

    void localMakeKeepsTheChosenPathEvenWhenTheWriteFails() {
        MakeValidProject(0);
        nextPath_ = Path("no-such-folder/contact.cgi");
        TBoxAnswerer boxes;
        MakeAction()->trigger();
        QCOMPARE(boxes.Count(), 1);
        QCOMPARE(boxes.Icon(), QMessageBox::Critical);
        QCOMPARE(P().GetSaveFileName(), ToSjis(nextPath_, Q("path")));
        QVERIFY(!QFile::exists(nextPath_));
    }

    // ---- converter file ----

    void converterFileIsWrittenWithoutChecks() {
        P().SetMakeFileType(2);
        w_->LoadControlsFromProject();
        nextPath_ = Path("log.SHF");
        TBoxAnswerer boxes;
        MakeAction()->trigger();
        QCOMPARE(promptSuffix_, Q("SHF"));
        QVERIFY(promptFilter_.startsWith(Q("Sheafer用プロジェクトファイル(*.SHF);;")));
        QCOMPARE(boxes.Count(), 1);
        QCOMPARE(boxes.Text(), Q("作成しました。"));
        QVERIFY(ReadBytes(nextPath_).size() > 0);
        QVERIFY(ReadBytes(nextPath_) != QByteArray("<missing>"));
    }

    void converterFileAsksBeforeReplacing_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("no") << int(QMessageBox::No) << false;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false;
    }

    void converterFileAsksBeforeReplacing() {
        QFETCH(int, answer);
        QFETCH(bool, replaced);
        MakeValidProject(2);
        nextPath_ = Path("log.SHF");
        WriteBytes(nextPath_, "keep me");
        QString question;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        int boxes = 0;
        TModalPoller poller([&](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr) return;
            if (++boxes == 1) {
                question = box->text();
                icon = box->icon();
                buttons = box->standardButtons();
                box->button(QMessageBox::StandardButton(answer))->click();
            } else {
                box->button(QMessageBox::Ok)->click();
            }
        });
        MakeAction()->trigger();
        QCOMPARE(question, nextPath_ + Q("はすでに存在します。\n上書きしますか？"));
        QCOMPARE(icon, QMessageBox::Information);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(boxes, replaced ? 2 : 1);
        QCOMPARE(ReadBytes(nextPath_) == QByteArray("keep me"), !replaced);
    }

    // ---- browse for the installation folder ----

    // A password the file does not keep is asked once, used for the upload and kept for the
    // session, and never written; a cancelled question stops the upload and the browse quietly.
    void passwordNotKeptIsAskedOnceAndNeverWritten() {
        TFtpTestServer server;
        server.MakeFolder(Q("cgi-bin"));
        MakeValidProject(1);
        SetFtp(server, "/cgi-bin");
        P().SetFtpPassword("");
        w_->LoadControlsFromProject();
        w_->SetSupportFolder(Q(QP_SOURCE_DIR "/lib"));
        QVERIFY(!W<QCheckBox>(w_.get(), "CheckBoxSavePassword")->isChecked());  // a new project's choice

        TBoxAnswerer boxes;
        QCOMPARE(MakeWithUpload().dialogs, 0);  // cancelled
        W<QPushButton>(w_.get(), "BtnFtpSelectDir")->click();
        QCOMPARE(passwordPrompts_, 2);
        QCOMPARE(boxes.Count(), 0);

        nextPassword_ = Q(TFtpTestServer::kPassword);
        UploadSeen seen = MakeWithUpload();
        QCOMPARE(seen.dialogs, 1);
        QVERIFY(seen.lines.contains(Q("mimew.plをアップロードしました。")));
        QCOMPARE(MakeWithUpload().dialogs, 1);
        QCOMPARE(passwordPrompts_, 3);
        QCOMPARE(boxes.Count(), 0);

        nextPath_ = Path("nopass.qpf");
        w_->SaveProjectAs(nextPath_);
        QVERIFY(!ReadBytes(nextPath_).contains(TFtpTestServer::kPassword));
        QVERIFY(ReadBytes(nextPath_).contains("FtpPassword=\r\n"));
    }

    void browseChecksTheAccountFirst() {
        struct Case {
            const char* host;
            const char* user;
            const char* password;
            const char* message;
        };
        const Case cases[] = {
            {"", "", "", "ホスト名が設定されていません。"},
            {"h", "", "", "ユーザ名が設定されていません。"},
            {"h", "u", "", "パスワードが設定されていません。"},  // the box says it is kept: none is
        };
        W<QCheckBox>(w_.get(), "CheckBoxSavePassword")->setChecked(true);
        for (const Case& c : cases) {
            W<QLineEdit>(w_.get(), "EditFtpHostName")->setText(Q(c.host));
            W<QLineEdit>(w_.get(), "EditFtpUserName")->setText(Q(c.user));
            W<QLineEdit>(w_.get(), "EditPassword")->setText(Q(c.password));
            TBoxAnswerer boxes;
            int browsers = 0;
            TModalPoller poller([&](QWidget* w) {
                if (auto* b = qobject_cast<TFormFtpSelectDir*>(w)) {
                    ++browsers;
                    b->reject();
                }
            });
            W<QPushButton>(w_.get(), "BtnFtpSelectDir")->click();
            QCOMPARE(boxes.Count(), 1);
            QCOMPARE(boxes.Text(), Q(c.message));
            QCOMPARE(boxes.Icon(), QMessageBox::Information);
            QCOMPARE(browsers, 0);
            // The copy into the project has run before the check.
            QCOMPARE(P().GetFtpHostName(), std::string(c.host));
        }
    }

    void browseOkFillsTheFolderFieldOnly_data() {
        QTest::addColumn<bool>("ok");
        QTest::newRow("ok") << true;
        QTest::newRow("cancel") << false;
    }

    void browseOkFillsTheFolderFieldOnly() {
        QFETCH(bool, ok);
        TFtpTestServer server;
        server.MakeFolder(Q("www/cgi-bin"));
        SetFtp(server, "/www/cgi-bin");
        W<QCheckBox>(w_.get(), "CheckBoxFtpPassive")->setChecked(true);
        QString startFolder;
        bool passive = false;
        TModalPoller poller([&](QWidget* w) {
            auto* b = qobject_cast<TFormFtpSelectDir*>(w);
            if (b == nullptr || !b->StartUpDone()) return;
            startFolder = QString::fromStdString(b->GetDirectory());
            passive = b->Client().Passive();
            b->ActionChangeDirUpExecute();
            W<QPushButton>(b, ok ? "BitBtn1" : "BitBtn2")->click();
        });
        TWatchdog watchdog;
        W<QAction>(w_.get(), "ActionFtpSelectDir")->trigger();
        QCOMPARE(startFolder, Q("/www/cgi-bin"));
        QVERIFY(passive);
        QCOMPARE(W<QLineEdit>(w_.get(), "EditFtpDirectory")->text(), ok ? Q("/www") : Q("/www/cgi-bin"));
        // The project learns the folder only at the next copy of the controls.
        QCOMPARE(P().GetFtpDirectory(), std::string("/www/cgi-bin"));
        w_->StoreControlsToProject();
        QCOMPARE(P().GetFtpDirectory(), std::string(ok ? "/www" : "/www/cgi-bin"));
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    MakeUploadTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "make_upload_test.moc"
