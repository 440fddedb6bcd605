// The inbox in the desktop program: 鍵を作成... fills the 受信データ tab and the file keeps it;
// the 受信データ window downloads from a real FTP server, lists the messages newest first with
// the failed mail marked, counts the unread and writes the CSV file.
#include <QLabel>
#include <QLineEdit>
#include <QCheckBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "ftp_test_support.h"
#include "inbox/inbox_key.h"
#include "model/item_text.h"
#include "support/sjis_literal.h"
#include "ui/inbox_window.h"
#include "ui/main_window.h"
#include "window_test_support.h"

namespace qp::test {

class InboxWindowTest : public QObject {
    Q_OBJECT
private slots:
    void newKeyFillsTheTabAndTheFileKeepsIt();
    void theWindowFetchesListsMarksAndExports();
};

void InboxWindowTest::newKeyFillsTheTabAndTheFileKeepsIt() {
    QTemporaryDir dir;
    TFormMain window;
    const QString keyFile = dir.filePath(QStringLiteral("inbox.pem"));
    window.SetInboxKeyPrompt([&](QWidget*) { return std::make_optional(std::make_pair(keyFile, std::string("pw"))); });
    TBoxAnswerer boxes;
    W<QPushButton>(&window, "BtnInboxNewKey")->click();
    QVERIFY(boxes.Text().contains(Q("この秘密鍵ファイルがないと、サーバーに保存された受信データは読めません。")));
    QVERIFY(W<QCheckBox>(&window, "CheckBoxUseInbox")->isChecked());
    QCOMPARE(W<QLineEdit>(&window, "EditInboxKeyFile")->text(), keyFile);
    window.SaveProjectAs(dir.filePath(QStringLiteral("p.qpf")));
    TProjectConfig saved;
    saved.LoadFromFile(dir.filePath(QStringLiteral("p.qpf")).toStdString());
    QVERIFY(saved.Bool(TSetting::UseInbox));
    QCOMPARE(saved.Text(TSetting::InboxKeyFile), keyFile.toStdString());
    CheckKeyMatches(TInboxPrivateKey(keyFile.toStdString(), "pw"), saved.Text(TSetting::InboxPublicKey));
}

void InboxWindowTest::theWindowFetchesListsMarksAndExports() {
    QTemporaryDir dir;
    TFtpTestServer server;
    const std::string keyFile = dir.filePath(QStringLiteral("k.pem")).toStdString();
    TProjectConfig project;
    project.Settings().Set(TSetting::InboxPublicKey, MakeInboxKeyPair(keyFile, ""));
    project.Settings().Set(TSetting::InboxKeyFile, keyFile);
    project.Settings().Set(TSetting::UseInbox, true);
    project.SetFtpHostName(server.Host());
    project.SetFtpUserName(TFtpTestServer::kUser);
    project.SetFtpPassword(TFtpTestServer::kPassword);
    project.SetFtpProtocol(TFtpProtocol::Ftp);
    project.SetFtpFileName("form.cgi");
    project.SetFtpDirectory("/");
    // Two messages stored by the runtime itself beside the server's form.cgi; the second's mail failed.
    const TInboxPublicKey key = ReadInboxPublicKey(project.Text(TSetting::InboxPublicKey));
    const std::string perl =
        "cd '" + server.Home().toStdString() + "' && perl -I'" + QP_SOURCE_DIR + "/lib' -e '"
        "use Quillpost; $0 = \"./form.cgi\"; my $t = 1700000000;"
        " my $q = Quillpost->new(ITEMS => [{ ATTR => \"name\", NAME => \"name\" }], CLOCK => sub { $t },"
        " INBOX => { KEY_ID => \"" + key.KeyId + "\", BYTES => " + std::to_string(key.Bytes) + ", MODULUS => \"" +
        key.Modulus + "\", EXPONENT => \"" + key.Exponent + "\", MONTGOMERY_R2 => \"" +
        key.MontgomeryR2 + "\", MAX_BYTES => 1e6 });"
        " for my $who (qw(first second)) { $q->_inbox_status($q->_inbox_store({ name => $who }),"
        " $who eq \"second\" ? \"admin mail: sendmail failed\" : undef); $t += 60 }'";
    QCOMPARE(RunShell(perl).status, 0);

    const QString projectPath = dir.filePath(QStringLiteral("p.qpf"));
    TInboxWindow window(project, projectPath, [] { return true; });
    TInboxFetchOptions options;
    options.Settle = std::chrono::milliseconds(0);
    window.SetFetchOptions(options);
    QVERIFY(window.Open());
    window.Fetch();
    auto* table = W<QTableWidget>(&window, "TableInbox");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 2)->text(), Q("second"));
    QCOMPARE(table->item(0, 1)->text(), Q("メール未送信"));
    QCOMPARE(table->item(0, 1)->foreground().color(), QColor(Qt::red));
    QCOMPARE(table->item(1, 1)->text(), Q("送信済み"));
    QCOMPARE(W<QLabel>(&window, "LabelInboxUnread")->text(), Q("全2件　未読 2件"));
    QVERIFY(!QFile::exists(server.Path(QStringLiteral(".htquillpost-form.cgi-inbox"))));

    table->setCurrentCell(1, 0);
    QCOMPARE(W<QLabel>(&window, "LabelInboxUnread")->text(), Q("全2件　未読 1件"));
    QVERIFY(!table->item(1, 0)->font().bold());
    QVERIFY(table->item(0, 0)->font().bold());
    TInboxWindow again(project, projectPath, [] { return true; });
    QVERIFY(again.Open());
    QCOMPARE(again.Unread(), std::size_t{1});

    const QString csv = dir.filePath(QStringLiteral("out.csv"));
    window.SetCsvPathPrompt([&](QWidget*) { return csv; });
    window.ExportCsv();
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count("\r\n"), 3);
    QVERIFY(bytes.indexOf(",first\r\n") < bytes.indexOf(",second\r\n"));
}

}  // namespace qp::test

QTEST_MAIN(qp::test::InboxWindowTest)
#include "inbox_window_test.moc"
