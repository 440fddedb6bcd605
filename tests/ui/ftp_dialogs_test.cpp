// The upload dialog and the remote folder browser against a real FTP server: what they log and
// show, cancelling and closing at awkward moments, and every error path of the browser.
#include <sys/stat.h>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

#include "ftp_test_support.h"
#include "support/ftp_account.h"
#include "ui/app_setup.h"
#include "ui/form_ftp_select_dir.h"
#include "ui/form_ftp_upload.h"
#include "ui/main_window.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

namespace {

QStringList MemoLines(const QWidget* dialog) {
    const QString text = W<QPlainTextEdit>(dialog, "Memo1")->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

QStringList Column(const QWidget* dialog, int column) {
    auto* list = W<QTreeWidget>(dialog, "ListView1");
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(column);
    return texts;
}

QStringList ComboItems(const QWidget* dialog) {
    auto* combo = W<QComboBox>(dialog, "ComboBoxDir");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

QTreeWidgetItem* Row(const QWidget* dialog, const char* name) {
    auto* list = W<QTreeWidget>(dialog, "ListView1");
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == Q(name)) return list->topLevelItem(i);
    }
    return nullptr;
}

void Select(const QWidget* dialog, const char* name) {
    QTreeWidgetItem* row = Row(dialog, name);
    QVERIFY2(row != nullptr, name);
    auto* list = W<QTreeWidget>(dialog, "ListView1");
    list->setCurrentItem(row);
    row->setSelected(true);
}

QString WriteLocal(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(Q(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write %s", name);
    return path;
}

std::string Local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

int Mode(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

}  // namespace

class FtpDialogsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFtpTestServer> server_;

    // A browser on the test server, run modally; script works it once the start-up is done
    // and must close it.
    TConnection Account(const char* password = TFtpTestServer::kPassword) const {
        return test::PlainFtp(server_->Host(), TFtpTestServer::kUser, password);
    }

    int RunBrowser(TFormFtpSelectDir& dialog, const std::string& directory,
                   const std::function<void(TFormFtpSelectDir&)>& script) {
        dialog.SetDirectory(directory);
        bool ran = false;
        TModalPoller poller([&](QWidget* w) {
            if (w != &dialog || !dialog.StartUpDone() || ran) return;
            ran = true;
            script(dialog);
        });
        TWatchdog watchdog;
        return dialog.exec();
    }

private slots:
    void initTestCase() { QuietSizeHintWarnings(); }
    void init() {
        server_ = std::make_unique<TFtpTestServer>();
        server_->MakeFolder(Q("Alpha"));
        server_->MakeFolder(Q("cgi-bin"));
        server_->WriteFile(Q("cgi-bin/old.cgi"), "#!/usr/bin/perl\n");
        server_->WriteFile(Q("alpha.txt"), "text");
        server_->WriteFile(Q("beta"), "beta\n");
        QVERIFY(QFile::link(Q("Alpha"), server_->Path(Q("docs"))));
    }
    void cleanup() { server_.reset(); }

    // ---- upload dialog ----

    void uploadLogsEveryStepAndEndsWithClose() {
        QTemporaryDir local;
        const QString cgi = WriteLocal(local, "contact.cgi", "#!/usr/bin/perl\r\nprint 1;\r\n");
        const QString lib = WriteLocal(local, "jcode.pl", "1;\r\n");
        TFormFtpUpload dialog(Account());
        QCOMPARE(dialog.windowTitle(), Q("アップロード"));
        auto* button = W<QPushButton>(&dialog, "BitBtn1");
        QCOMPARE(button->text(), Q("キャンセル"));
        dialog.SetUploadFiles(
            {TUploadFile(Local(cgi), "contact.cgi", true), TUploadFile(Local(lib), "jcode.pl", false)},
            "/cgi-bin", "CHMOD");
        QStringList lines;
        QString buttonText;
        int progress = -1;
        TModalPoller poller([&](QWidget* w) {
            if (w != &dialog || !dialog.Finished()) return;
            lines = MemoLines(&dialog);
            buttonText = button->text();
            progress = W<QProgressBar>(&dialog, "ProgressBar1")->value();
            QTest::mouseClick(button, Qt::LeftButton);
        });
        TWatchdog watchdog;
        dialog.exec();
        QCOMPARE(lines, QStringList({Q("contact.cgiをアップロードしました。"), Q("CHMOD 755 contact.cgi"),
                                     Q("contact.cgi のアクセス権を設定しました。"),
                                     Q("jcode.plをアップロードしました。"), Q("設置が完了しました。")}));
        QCOMPARE(buttonText, Q("閉じる(&C)"));
        QCOMPARE(progress, 1000);
        // The ASCII transfer gives the server's own line ends.
        QCOMPARE(server_->ReadFile(Q("cgi-bin/contact.cgi")), QByteArray("#!/usr/bin/perl\nprint 1;\n"));
        QCOMPARE(Mode(server_->Path(Q("cgi-bin/contact.cgi"))), 0755);
        QVERIFY(QFileInfo::exists(server_->Path(Q("cgi-bin/jcode.pl"))));
        QVERIFY(!dialog.isVisible());
    }

    void uploadWithWrongPasswordShowsTheErrorAndOffersClose() {
        QTemporaryDir local;
        const QString cgi = WriteLocal(local, "contact.cgi", "x\r\n");
        TFormFtpUpload dialog(Account("wrong"));
        dialog.SetUploadFiles({TUploadFile(Local(cgi), "contact.cgi", true)}, "", "CHMOD");
        auto* button = W<QPushButton>(&dialog, "BitBtn1");
        TBoxAnswerer boxes;
        QString buttonText;
        bool stillOpen = false;
        TModalPoller poller([&](QWidget* w) {
            if (w != &dialog || boxes.Count() == 0) return;
            buttonText = button->text();
            stillOpen = dialog.isVisible();
            QTest::mouseClick(button, Qt::LeftButton);
        });
        TWatchdog watchdog;
        dialog.exec();
        QCOMPARE(boxes.Count(), 1);
        QCOMPARE(boxes.Icon(), QMessageBox::Critical);
        QCOMPARE(boxes.Title(), Q("Quillpost"));
        QVERIFY2(boxes.Text().contains(Q("530")), qPrintable(boxes.Text()));
        QVERIFY(stillOpen);
        QCOMPARE(buttonText, Q("閉じる(&C)"));
        QCOMPARE(MemoLines(&dialog), QStringList());
        QVERIFY(!QFileInfo::exists(server_->Path(Q("contact.cgi"))));
    }

    void cancelDuringTheFirstFile_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("cancel button") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("escape key") << 2;
    }

    // Pressed while the first file is on its way: the transfer stops, what arrived is removed,
    // nothing goes live, and the dialog closes by itself once the transfer has returned.
    void cancelDuringTheFirstFile() {
        QFETCH(int, how);
        QTemporaryDir local;
        QByteArray big;
        for (int i = 0; i < 200000; ++i) big += "0123456789012345678\r\n";
        const QString cgi = WriteLocal(local, "big.cgi", big);
        const QString lib = WriteLocal(local, "jcode.pl", "1;\r\n");
        TFormFtpUpload dialog(Account());
        dialog.SetUploadFiles(
            {TUploadFile(Local(cgi), "big.cgi", true), TUploadFile(Local(lib), "jcode.pl", false)}, "",
            "CHMOD");
        auto* bar = W<QProgressBar>(&dialog, "ProgressBar1");
        bool pressed = false;
        bool finishedWhenPressed = true;
        connect(bar, &QProgressBar::valueChanged, this, [&](int value) {
            if (pressed || value >= 1000) return;
            pressed = true;
            finishedWhenPressed = dialog.Finished();
            if (how == 0) {
                QTest::mouseClick(W<QPushButton>(&dialog, "BitBtn1"), Qt::LeftButton);
            } else if (how == 1) {
                dialog.close();
            } else {
                QTest::keyClick(&dialog, Qt::Key_Escape);
            }
            // Not closed under the running transfer.
            QVERIFY(dialog.isVisible());
        });
        TWatchdog watchdog;
        dialog.exec();
        QVERIFY(pressed);
        QVERIFY(!finishedWhenPressed);
        QVERIFY(dialog.Finished());
        QVERIFY(dialog.IsCancelRequested());
        QVERIFY(!dialog.isVisible());
        // The transfer stops where it is and what was sent is taken back: nothing goes live.
        QCOMPARE(MemoLines(&dialog), QStringList({Q("アップロードを中止しました。設置済みのファイルは変更していません。")}));
        QVERIFY(!QFileInfo::exists(server_->Path(Q("big.cgi"))));
        QVERIFY(!QFileInfo::exists(server_->Path(Q("jcode.pl"))));
        QCOMPARE(QDir(server_->Path(Q("."))).entryList(QDir::Files | QDir::Hidden).filter(Q(".qp-")), QStringList());
    }

    void cancelBeforeTheStartSendsNothing() {
        QTemporaryDir local;
        const QString cgi = WriteLocal(local, "contact.cgi", "x\r\n");
        TFormFtpUpload dialog(Account());
        dialog.SetUploadFiles({TUploadFile(Local(cgi), "contact.cgi", true)}, "", "CHMOD");
        // Pressed in the same turn of the event loop that shows the dialog.
        QTimer::singleShot(0, &dialog,
                           [&] { QTest::mouseClick(W<QPushButton>(&dialog, "BitBtn1"), Qt::LeftButton); });
        TWatchdog watchdog;
        dialog.exec();
        QTest::qWait(50);
        QVERIFY(dialog.Finished());
        QCOMPARE(MemoLines(&dialog), QStringList());
        QVERIFY(!QFileInfo::exists(server_->Path(Q("contact.cgi"))));
    }

    // ---- folder browser ----

    void browserShowsTheLoginFolderInListOrder() {
        TFormFtpSelectDir dialog(Account());
        QCOMPARE(dialog.windowTitle(), Q("ホストのフォルダの参照"));
        QStringList names, sizes, attributes, log, combo;
        QString comboText;
        bool rightAligned = false, iconsRight = false;
        const int result = RunBrowser(dialog, "", [&](TFormFtpSelectDir& d) {
            names = Column(&d, 0);
            sizes = Column(&d, 2);
            attributes = Column(&d, 3);
            log = MemoLines(&d);
            combo = ComboItems(&d);
            comboText = W<QComboBox>(&d, "ComboBoxDir")->currentText();
            rightAligned = (Row(&d, "beta")->textAlignment(2) & Qt::AlignRight) != 0;
            iconsRight = Row(&d, "Alpha")->icon(0).cacheKey() == TFormFtpSelectDir::ListIcon(0).cacheKey() &&
                         Row(&d, "docs")->icon(0).cacheKey() == TFormFtpSelectDir::ListIcon(0).cacheKey() &&
                         Row(&d, "beta")->icon(0).cacheKey() == TFormFtpSelectDir::ListIcon(1).cacheKey();
            W<QPushButton>(&d, "BitBtn1")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dialog.GetDirectory(), std::string("/"));
        QCOMPARE(names, QStringList({Q("Alpha"), Q("cgi-bin"), Q("docs"), Q("alpha.txt"), Q("beta")}));
        QCOMPARE(sizes, QStringList({Q("<DIR>"), Q("<DIR>"), Q("<SLINK>"), Q("4"), Q("5")}));
        QCOMPARE(attributes.size(), 5);
        QVERIFY(attributes.at(4).contains(QRegularExpression(Q("^[r-][w-][x-][r-][w-][x-][r-][w-][x-]$"))));
        QVERIFY(rightAligned);
        QVERIFY(iconsRight);
        QCOMPARE(combo, QStringList({Q("/")}));
        QCOMPARE(comboText, Q("/"));
        // The start-up traffic, with time stamps; no move, since no folder was asked for.
        QVERIFY(
            log.filter(QRegularExpression(Q("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d USER user<EOL>$")))
                .size() == 1);
        QCOMPARE(log.filter(Q("PASS ")).size(), 1);
        QCOMPARE(log.filter(Q(" LIST")).size(), 1);
        QCOMPARE(log.filter(Q(" CWD ")).size(), 0);
        auto* header = W<QTreeWidget>(&dialog, "ListView1")->headerItem();
        QCOMPARE(header->text(0) + header->text(1) + header->text(2) + header->text(3) + header->text(4),
                 Q("ファイル名日付サイズ属性所有者"));
    }

    void browserMovesToTheRequestedFolderAndLogsOnlyTheStartUp() {
        TFormFtpSelectDir dialog(Account());
        QStringList names, combo, logAfterMove;
        int logBeforeMove = 0;
        RunBrowser(dialog, "/Alpha", [&](TFormFtpSelectDir& d) {
            names = Column(&d, 0);
            combo = ComboItems(&d);
            logBeforeMove = MemoLines(&d).size();
            d.ActionChangeDirUpExecute();
            logAfterMove = MemoLines(&d);
            W<QPushButton>(&d, "BitBtn2")->click();
        });
        QCOMPARE(names, QStringList());
        QCOMPARE(combo, QStringList({Q("/"), Q("/Alpha")}));
        QVERIFY(logAfterMove.filter(Q("CWD /Alpha<EOL>")).size() == 1);
        // Every later command is logged with its reply too.
        QVERIFY(logAfterMove.size() > logBeforeMove);
        QVERIFY(logAfterMove.mid(logBeforeMove).filter(Q("CDUP<EOL>")).size() == 1);
        QCOMPARE(dialog.GetDirectory(), std::string("/"));
    }

    void browserStaysInTheLoginFolderWhenTheRequestedOneIsMissing() {
        TFormFtpSelectDir dialog(Account());
        TBoxAnswerer boxes;
        QStringList names;
        const int result = RunBrowser(dialog, "/missing", [&](TFormFtpSelectDir& d) {
            names = Column(&d, 0);
            W<QPushButton>(&d, "BitBtn1")->click();
        });
        QCOMPARE(boxes.Count(), 1);
        QCOMPARE(boxes.Title(), Q("エラー"));
        QCOMPARE(boxes.Icon(), QMessageBox::NoIcon);
        QVERIFY2(boxes.Text().contains(Q("\n550")), qPrintable(boxes.Text()));
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dialog.GetDirectory(), std::string("/"));
        QCOMPARE(names.size(), 5);
    }

    void browserWithWrongPasswordShowsTheErrorAndCloses() {
        TFormFtpSelectDir dialog(Account("wrong"));
        TBoxAnswerer boxes;
        const int result = RunBrowser(dialog, "/Alpha", [](TFormFtpSelectDir& d) { d.reject(); });
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(boxes.Count(), 1);
        QCOMPARE(boxes.Icon(), QMessageBox::Critical);
        QVERIFY2(boxes.Text().contains(Q("530")), qPrintable(boxes.Text()));
        QVERIFY(!dialog.Client().Connected());
        // The log shows how far it got.
        QCOMPARE(MemoLines(&dialog).filter(Q("PASS ")).size(), 1);
    }

    void browserHistoryGrowsSortedAndOnce() {
        TFormFtpSelectDir dialog(Account());
        TBoxAnswerer boxes;
        QStringList combo, namesAfterFailure, namesBefore;
        QString textAfterFailure;
        std::string directoryAfterFailure;
        RunBrowser(dialog, "", [&](TFormFtpSelectDir& d) {
            auto* box = W<QComboBox>(&d, "ComboBoxDir");
            box->setEditText(Q("/cgi-bin"));
            W<QPushButton>(&d, "SpeedButton1")->click();
            d.ActionChangeDirUpExecute();
            d.ListView1DblClick(Row(&d, "Alpha"));
            d.ActionChangeDirUpExecute();
            d.ListView1DblClick(Row(&d, "beta"));  // a file: nothing
            d.ListView1DblClick(Row(&d, "docs"));  // a link is taken as a folder
            combo = ComboItems(&d);
            namesBefore = Column(&d, 0);
            box->setEditText(Q("/nowhere"));
            d.ActionMoveDirExecute();
            namesAfterFailure = Column(&d, 0);
            textAfterFailure = box->currentText();
            directoryAfterFailure = d.GetDirectory();
            W<QPushButton>(&d, "BitBtn1")->click();
        });
        QCOMPARE(combo, QStringList({Q("/"), Q("/Alpha"), Q("/cgi-bin"), Q("/docs")}));
        QCOMPARE(boxes.Count(), 1);
        QCOMPARE(boxes.Title(), Q("エラー"));
        QCOMPARE(namesAfterFailure, namesBefore);
        QCOMPARE(directoryAfterFailure, std::string("/docs"));
        QCOMPARE(textAfterFailure, Q("/nowhere"));
        QCOMPARE(dialog.GetDirectory(), std::string("/docs"));
    }

    void browserMakesAndDeletesWithTheQuestion() {
        TFormFtpSelectDir dialog(Account());
        QString inputTitle, inputLabel, inputPreset;
        QStringList afterMake, afterNo, afterYes;
        QString question;
        TModalPoller input([&](QWidget* w) {
            auto* box = qobject_cast<QInputDialog*>(w);
            if (box == nullptr) return;
            inputTitle = box->windowTitle();
            inputLabel = box->labelText();
            inputPreset = box->textValue();
            box->setTextValue(Q("newdir"));
            box->accept();
        });
        RunBrowser(dialog, "", [&](TFormFtpSelectDir& d) {
            d.ActionMakeDirExecute();
            afterMake = Column(&d, 0);
            Select(&d, "beta");
            {
                TBoxAnswerer no(QMessageBox::No);
                d.ActionDeleteFileExecute();
                afterNo = Column(&d, 0);
                question = no.Text();
            }
            Select(&d, "beta");
            {
                TBoxAnswerer yes(QMessageBox::Yes);
                d.ActionDeleteFileExecute();
                afterYes = Column(&d, 0);
            }
            W<QPushButton>(&d, "BitBtn1")->click();
        });
        QCOMPARE(inputTitle, Q("フォルダ作成"));
        QCOMPARE(inputLabel, Q("作成するフォルダの名前を入力してください。"));
        QCOMPARE(inputPreset, QString());
        QVERIFY(QFileInfo(server_->Path(Q("newdir"))).isDir());
        QCOMPARE(afterMake,
                 QStringList({Q("Alpha"), Q("cgi-bin"), Q("docs"), Q("newdir"), Q("alpha.txt"), Q("beta")}));
        QCOMPARE(question, Q("betaを削除します。よろしいですか？"));
        QCOMPARE(afterNo, afterMake);
        QVERIFY(!QFileInfo::exists(server_->Path(Q("beta"))));
        QCOMPARE(afterYes, QStringList({Q("Alpha"), Q("cgi-bin"), Q("docs"), Q("newdir"), Q("alpha.txt")}));
    }

    void browserReportsARefusedRmdAndKeepsTheList() {
        TFormFtpSelectDir dialog(Account());
        QStringList before, after;
        QString errorText, errorTitle;
        QMessageBox::Icon errorIcon = QMessageBox::NoIcon;
        int boxes = 0;
        RunBrowser(dialog, "", [&](TFormFtpSelectDir& d) {
            before = Column(&d, 0);
            Select(&d, "cgi-bin");
            TModalPoller answer([&](QWidget* w) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr) return;
                ++boxes;
                if (box->icon() == QMessageBox::Question) {
                    box->button(QMessageBox::Yes)->click();
                } else {
                    errorText = box->text();
                    errorTitle = box->windowTitle();
                    errorIcon = box->icon();
                    box->button(QMessageBox::Ok)->click();
                }
            });
            // Through the action, so that the error goes where an unhandled one goes.
            W<QAction>(&d, "ActionDeleteFile")->trigger();
            after = Column(&d, 0);
            W<QPushButton>(&d, "BitBtn2")->click();
        });
        QCOMPARE(boxes, 2);
        QCOMPARE(errorIcon, QMessageBox::Critical);
        QCOMPARE(errorTitle, Q("Quillpost"));
        QVERIFY2(errorText.contains(Q("\n550")), qPrintable(errorText));
        QVERIFY(QFileInfo(server_->Path(Q("cgi-bin/old.cgi"))).exists());
        QCOMPARE(after, before);
    }

    void browserClosedDuringTheStartUpClosesAfterIt() {
        TFormFtpSelectDir dialog(Account());
        dialog.SetDirectory("/Alpha");
        // The close box, pressed as the first protocol line comes in, in the middle of the start-up.
        bool closedEarly = false;
        bool closedUnderTheCall = false;
        connect(W<QPlainTextEdit>(&dialog, "Memo1"), &QPlainTextEdit::textChanged, this, [&] {
            if (closedEarly) return;
            closedEarly = true;
            dialog.close();
            closedUnderTheCall = !dialog.isVisible();
        });
        TWatchdog watchdog;
        const int result = dialog.exec();
        QVERIFY(closedEarly);
        QVERIFY(!closedUnderTheCall);
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(dialog.StartUpDone());
        QVERIFY(!dialog.Client().Connected());
    }

    // The tool buttons show only their icons; their hints reach the dialog's status bar and
    // show as tooltips, also while the main window (which shows none) is open.
    void browserToolButtonHintsReachTheStatusBar() {
        TFormMain window;
        TFormFtpSelectDir dialog(Account(), &window);
        auto* up = W<QToolButton>(&dialog, "BtnMoveUp");
        QCOMPARE(up->text(), QString());
        QVERIFY(!up->icon().isNull());
        QStatusTipEvent tip(up->statusTip());
        QApplication::sendEvent(up, &tip);
        QCOMPARE(W<QStatusBar>(&dialog, "StatusBar1")->currentMessage(), Q("上のフォルダに移動"));
        QStringList tooltips;
        for (const char* name : {"BtnMoveUp", "BtnMakeDir", "BtnDeleteFile"}) {
            auto* button = W<QToolButton>(&dialog, name);
            QToolTip::hideText();
            QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(button, &help);
            tooltips << (QToolTip::isVisible() ? QToolTip::text() : QString());
        }
        QToolTip::hideText();
        QCOMPARE(tooltips,
                 QStringList({Q("上のフォルダに移動"), Q("新しいフォルダの作成"), Q("ファイルの削除")}));
    }

    // OK, Cancel or the close box while a make-folder call runs: the dialog closes as soon as
    // the call has ended, whether the server made the folder or refused it.
    void browserClosedDuringAMakeFolderCallClosesWhenItEnds_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("made") << QByteArray("257 \"/slow\" created.");
        QTest::newRow("refused") << QByteArray("550 Permission denied.");
    }
    void browserClosedDuringAMakeFolderCallClosesWhenItEnds() {
        QFETCH(QByteArray, reply);
        const std::string mkdReply = reply.toStdString();
        // A server that takes its time over MKD, so that the close comes while the call runs.
        test::FakeFtpServer server([&](test::FakeFtpServer::Session& s) {
            s.Send("220 ready\r\n");
            for (std::string line = s.Read(); !line.empty(); line = s.Read()) {
                const std::string verb = line.substr(0, line.find(' '));
                if (verb == "USER") {
                    s.Send("331 password\r\n");
                } else if (verb == "PASS") {
                    s.Send("230 in\r\n");
                } else if (verb == "PWD") {
                    s.Send("257 \"/\" is the current folder\r\n");
                } else if (verb == "EPSV") {
                    s.Send("229 Entering Extended Passive Mode (|||" + std::to_string(s.OpenPassive()) +
                           "|)\r\n");
                } else if (verb == "LIST") {
                    s.Send("150 listing\r\n");
                    s.SendPassiveData("drwxr-xr-x 2 u g 4096 Dec  8 10:00 cgi-bin\r\n");
                    s.Send("226 done\r\n");
                } else if (verb == "MKD") {
                    std::this_thread::sleep_for(std::chrono::milliseconds(600));
                    s.Send(mkdReply + "\r\n");
                } else if (verb == "TYPE" || verb == "NOOP") {
                    s.Send("200 ok\r\n");
                } else if (verb == "QUIT") {
                    s.Send("221 bye\r\n");
                    return;
                } else {
                    s.Send("502 not here\r\n");
                }
            }
        });
        TConnection account = test::PlainFtp(server.Host(), "user", "secret");
        account.Passive = true;
        TFormFtpSelectDir dialog(account);
        bool ran = false, closedUnderTheCall = false, stillOpen = false;
        TBoxAnswerer errors;
        TModalPoller input([](QWidget* w) {
            if (auto* box = qobject_cast<QInputDialog*>(w)) {
                box->setTextValue(Q("slow"));
                box->accept();
            }
        });
        TModalPoller script([&](QWidget* w) {
            if (w != &dialog || !dialog.StartUpDone() || ran) return;
            ran = true;
            bool closed = false;
            TModalPoller closer([&](QWidget* active) {
                // The greyed-out actions show that the call is running.
                if (closed || active != &dialog || W<QAction>(&dialog, "ActionMakeDir")->isEnabled()) return;
                closed = true;
                dialog.close();
                closedUnderTheCall = !dialog.isVisible();
            });
            W<QAction>(&dialog, "ActionMakeDir")->trigger();
            QVERIFY(closed);
            stillOpen = dialog.isVisible();
            if (stillOpen) dialog.reject();
        });
        TWatchdog watchdog;
        const int result = dialog.exec();
        QVERIFY(ran);
        QVERIFY(!closedUnderTheCall);
        QVERIFY2(!stillOpen, "the close was not carried out when the call ended");
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(!dialog.Client().Connected());
        // A refusal is still reported, once.
        QCOMPARE(errors.Count(), reply.startsWith("550") ? 1 : 0);
        if (errors.Count() > 0) QVERIFY2(errors.Text().contains(Q("\n550")), qPrintable(errors.Text()));
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    FtpDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ftp_dialogs_test.moc"
