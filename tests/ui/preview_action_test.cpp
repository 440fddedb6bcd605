// The preview action of the main window: checks first, then the project served on this
// computer with a window of its addresses, restarted on a second press or another project,
// and stopped with the window.
#include <httplib.h>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "ui/preview_runner.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

namespace {

// Status and body of a GET to the preview; status 0 when nothing answers.
std::pair<int, std::string> Fetch(const QUrl& url) {
    httplib::Client client("127.0.0.1", url.port());
    client.set_connection_timeout(2);
    client.set_read_timeout(15);
    auto res = client.Get(url.path().toStdString());
    if (!res) return {0, {}};
    return {res->status, res->body};
}

}  // namespace

class PreviewActionTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TFormMain> w_;
    QList<QUrl> opened_;

    QString Shown(const char* field) {
        auto* edit = w_->findChild<QLineEdit*>(QLatin1String(field));
        return edit != nullptr ? edit->text() : QString();
    }
    TPreviewRunner* Runner() { return w_->findChild<TPreviewRunner*>(); }

private slots:
    void init() {
        w_ = std::make_unique<TFormMain>();
        opened_.clear();
        w_->SetUrlOpener([this](const QUrl& url) { opened_ << url; });
        w_->SetSupportFolder(QStringLiteral(QP_SOURCE_DIR "/lib"));
    }
    void cleanup() { w_.reset(); }

    void buttonSitsBesideMake() {
        auto* preview = W<QPushButton>(w_.get(), "BtnPreview");
        auto* make = W<QPushButton>(w_.get(), "BtnMake");
        QCOMPARE(preview->text(), Q("プレビュー"));
        QCOMPARE(W<QAction>(w_.get(), "ActionPreview")->text(), Q("プレビュー"));
        QCOMPARE(preview->parentWidget(), make->parentWidget());
    }

    void refusedProjectShowsTheMakeCheckAndStartsNothing() {
        TBoxAnswerer boxes;
        W<QPushButton>(w_.get(), "BtnPreview")->click();
        QCOMPARE(boxes.Count(), 1);
        QVERIFY(boxes.Text().contains(Q("\n［項目設定］項目が設定されていません。\n")));
        QCOMPARE(boxes.Icon(), QMessageBox::Information);
        QVERIFY(opened_.isEmpty());
        QVERIFY(Runner() == nullptr || !Runner()->IsRunning());
    }

    void unmappableTextIsReportedAndStartsNothing() {
        w_->OpenProjectFile(QStringLiteral(QP_SOURCE_DIR "/tests/e2e/fixtures/contact.qpf"));
        W<QLineEdit>(w_.get(), "EditFtpFileName")->setText(QString::fromUtf8("\xF0\x9F\x98\x80.cgi"));
        TBoxAnswerer boxes;
        W<QPushButton>(w_.get(), "BtnPreview")->click();
        QCOMPARE(boxes.Count(), 1);
        QCOMPARE(boxes.Icon(), QMessageBox::Critical);
        QVERIFY(opened_.isEmpty());
    }

    void servesTheProjectRestartsWithChangesAndStopsOnClose() {
        w_->OpenProjectFile(QStringLiteral(QP_SOURCE_DIR "/tests/e2e/fixtures/contact.qpf"));
        TBoxAnswerer boxes;
        W<QPushButton>(w_.get(), "BtnPreview")->click();
        QCOMPARE(boxes.Count(), 0);
        QCOMPARE(opened_.size(), 1);
        const QUrl first = opened_.last();
        QCOMPARE(first.host(), Q("127.0.0.1"));
        QCOMPARE(first.path(), Q("/contact.cgi"));
        QCOMPARE(Shown("EditPreviewFormUrl"), first.toString());
        QVERIFY(W<QWidget>(w_.get(), "PreviewWindow")->isVisible());
        W<QPushButton>(w_.get(), "BtnPreviewOpenMails")->click();
        QCOMPARE(opened_.last().toString(), Shown("EditPreviewMailsUrl"));
        QCOMPARE(Fetch(opened_.last()).first, 200);
        opened_.removeLast();
        auto [status, body] = Fetch(first);
        QCOMPARE(status, 200);
        QVERIFY(body.find("action=\"/contact.cgi\"") != std::string::npos);

        // The second press serves what the controls hold now.
        W<QLineEdit>(w_.get(), "EditFtpFileName")->setText(Q("renamed.cgi"));
        W<QPushButton>(w_.get(), "BtnPreview")->click();
        QCOMPARE(opened_.size(), 2);
        const QUrl second = opened_.last();
        QCOMPARE(second.path(), Q("/renamed.cgi"));
        QCOMPARE(Fetch(second).first, 200);
        QUrl old = second;
        old.setPath(Q("/contact.cgi"));
        QCOMPARE(Fetch(old).first, 404);
        if (second.port() != first.port()) QCOMPARE(Fetch(first).first, 0);

        w_->close();
        QVERIFY(!Runner()->IsRunning());
        QCOMPARE(Fetch(second).first, 0);
    }

    void openingAProjectRestartsTheRunningPreviewAndANewOneStopsIt() {
        w_->OpenProjectFile(QStringLiteral(QP_SOURCE_DIR "/tests/e2e/fixtures/contact.qpf"));
        W<QLineEdit>(w_.get(), "EditFtpFileName")->setText(Q("before.cgi"));
        TBoxAnswerer boxes(QMessageBox::Discard);
        W<QPushButton>(w_.get(), "BtnPreview")->click();
        QVERIFY(Shown("EditPreviewFormUrl").endsWith(Q("/before.cgi")));

        w_->OpenProjectFile(QStringLiteral(QP_SOURCE_DIR "/tests/e2e/fixtures/contact.qpf"));
        QVERIFY(Runner()->IsRunning());
        QCOMPARE(Runner()->FormUrl().path(), Q("/contact.cgi"));
        QCOMPARE(Shown("EditPreviewFormUrl"), Runner()->FormUrl().toString());
        QCOMPARE(Fetch(Runner()->FormUrl()).first, 200);

        const QUrl served = Runner()->FormUrl();
        W<QAction>(w_.get(), "ActionFileNew")->trigger();  // a new project cannot be made yet
        QVERIFY(!Runner()->IsRunning());
        QVERIFY(!W<QWidget>(w_.get(), "PreviewWindow")->isVisible());
        QCOMPARE(Fetch(served).first, 0);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    PreviewActionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "preview_action_test.moc"
