// Version information, the About box, the application error display and the Shift_JIS helper.
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "model/error.h"
#include "ui/app_error.h"
#include "ui/app_info.h"
#include "ui/app_setup.h"
#include "ui/form_about_box.h"
#include "ui/text_codec.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

class AppInfoTest : public QObject {
    Q_OBJECT

private slots:
    void versionTable() {
        const TkAppInfo info;
        QCOMPARE(info.GetValue(Q("FileVersion")), Q("0.0.6.0"));
        QCOMPARE(info.GetValue(Q("ProductVersion")), Q("1.0.0.0"));
        QCOMPARE(info.GetValue(Q("ProductName")), Q("Quillpost"));
        QVERIFY(!info.GetValue(Q("LegalCopyright")).isEmpty());
        QCOMPARE(info.GetValue(Q("PrivateBuild")), QString());
        QCOMPARE(info.GetValue(Q("NoSuchKey")), QString());
        QCOMPARE(info.Translation() & 0xFFFFu, 0x0411u);
        QCOMPARE(info.Translation() >> 16, 932u);
        QCOMPARE(TkAppInfo::Keys().size(), 11);
        QCOMPARE(TkAppInfo::Keys().first(), Q("Comments"));
    }

    void missingVersionInformationIsAnError() {
        try {
            TkAppInfo info(std::span<const TVersionString>{});
            QFAIL("no error");
        } catch (const Error& e) {
            QCOMPARE(QString::fromUtf8(e.what()), Q("バージョン情報を取得できません"));
        }
    }

    void aboutBoxShowsTheProgram() {
        TFormAboutBox box(nullptr);
        QUrl opened;
        box.SetUrlOpener([&](const QUrl& url) { opened = url; });
        QCOMPARE(box.windowTitle(), Q("バージョン情報"));
        QCOMPARE(W<QLabel>(&box, "ProductName")->text(), Q("Quillpost"));
        QCOMPARE(W<QLabel>(&box, "Version")->text(), Q("0.0.6.0"));
        QCOMPARE(W<QLabel>(&box, "Copyright")->text(), TkAppInfo().GetValue(Q("LegalCopyright")));
        QVERIFY(W<QPushButton>(&box, "OKButton")->isDefault());

        // The link: the README beside the program, opened by a left click only.
        const QString readme = Q(QP_BINARY_DIR "/share/doc/quillpost/README.md");
        QCOMPARE(TFormAboutBox::LinkTarget(Q(QP_BINARY_DIR), QString()), readme);
        box.SetLink(readme);
        box.show();
        auto* link = W<QLabel>(&box, "LabelUrl");
        QVERIFY(link->isVisible());
        QCOMPARE(link->text(), readme);
        QTest::mouseClick(link, Qt::RightButton);
        QTest::mouseClick(link, Qt::MiddleButton);
        QCOMPARE(opened, QUrl());
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(opened, QUrl::fromLocalFile(readme));
        box.SetLink(QString());
        QVERIFY(!link->isVisible());
        box.hide();
        QTimer::singleShot(0, &box, [&] { W<QPushButton>(&box, "OKButton")->click(); });
        QCOMPARE(box.exec(), int(QDialog::Accepted));
    }

    // Installed as /usr/bin/quillpost, the README is in /usr/share/doc/quillpost; a configured
    // web address comes first, and where no documentation exists there is no link.
    void aboutLinkFindsTheInstalledDocumentation() {
        QTemporaryDir root;
        const QString bin = root.filePath(Q("usr/bin"));
        const QString doc = root.filePath(Q("usr/share/doc/quillpost"));
        QVERIFY(QDir().mkpath(bin));
        QCOMPARE(TFormAboutBox::LinkTarget(bin, QString()), QString());
        QVERIFY(QDir().mkpath(doc));
        QCOMPARE(TFormAboutBox::LinkTarget(bin, QString()), doc);
        QFile readme(doc + Q("/README.md"));
        QVERIFY(readme.open(QIODevice::WriteOnly));
        readme.close();
        QCOMPARE(TFormAboutBox::LinkTarget(bin, QString()), doc + Q("/README.md"));
        QCOMPARE(TFormAboutBox::LinkTarget(bin, Q("https://example.org/quillpost/")),
                 Q("https://example.org/quillpost/"));

        TFormAboutBox box(nullptr);
        QUrl opened;
        box.SetUrlOpener([&](const QUrl& url) { opened = url; });
        box.SetLink(Q("https://example.org/quillpost/"));
        box.show();
        QTest::mouseClick(W<QLabel>(&box, "LabelUrl"), Qt::LeftButton);
        QCOMPARE(opened, QUrl(Q("https://example.org/quillpost/")));
    }

    void errorDisplayAddsAFullStopOnlyWhereOneIsMissing() {
        QCOMPARE(ApplicationErrorText(Q("Access denied")), Q("Access denied."));
        QCOMPARE(ApplicationErrorText(Q("done.")), Q("done."));
        QCOMPARE(ApplicationErrorText(Q("a (1)")), Q("a (1)"));  // ")" sorts before "."
        QCOMPARE(ApplicationErrorText(Q("バージョン情報を取得できません")),
                 Q("バージョン情報を取得できません."));
        QCOMPARE(ApplicationErrorText(Q("不正なデータ型です。")), Q("不正なデータ型です。"));
        QCOMPARE(ApplicationErrorText(QString()), QString());
    }

    void errorDisplayIsOneBoxWithTitleAndIcon() {
        TBoxAnswerer answer;
        RunGuarded(nullptr, [] { throw Error("壊れています"); });
        QCOMPARE(answer.Count(), 1);
        QCOMPARE(answer.Title(), Q("Quillpost"));
        QCOMPARE(answer.Icon(), QMessageBox::Critical);
        QCOMPARE(answer.Text(), Q("壊れています."));
        QCOMPARE(answer.Buttons(), QMessageBox::Ok);
        // Not an error type (as a start-up may throw): shown with an empty message, and the
        // start-up learns that it failed.
        QVERIFY(!RunGuarded(nullptr, [] { throw 42; }));
        QCOMPARE(answer.Count(), 2);
        QCOMPARE(answer.Text(), QString());
        bool ran = false;
        QVERIFY(RunGuarded(nullptr, [&] { ran = true; }));
        QVERIFY(ran);
        QCOMPARE(answer.Count(), 2);
    }

    void shiftJisConversionNamesCharacterAndField() {
        QCOMPARE(ToSjis(Q("髙橋①"), Q("x")), Sj("髙橋①"));
        QCOMPARE(FromSjis(Sj("髙橋①")), Q("髙橋①"));
        try {
            ToSjis(Q("ok \xF0\x9F\x98\x80"), Q("件名"));
            QFAIL("no error");
        } catch (const Error& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.contains(Q("\xF0\x9F\x98\x80")), qPrintable(message));
            QVERIFY(message.contains(Q("件名")));
        }
        QVERIFY_THROWS_EXCEPTION(Error, FromSjis(std::string("\x82", 1)));
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    AppInfoTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "app_info_test.moc"
