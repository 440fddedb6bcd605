// On a 1366x768 screen, and on the same screen at 2x scale (683x384 to the program), the
// main window and every dialog can be made that small and still reach every button: a
// button is either in view or inside a page that scrolls to it.
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QtTest>

#include "support/ftp_account.h"
#include "ui/app_setup.h"
#include "ui/form_about_box.h"
#include "ui/form_ftp_select_dir.h"
#include "ui/form_ftp_upload.h"
#include "ui/form_item_edit.h"
#include "ui/inbox_window.h"
#include "ui/main_window.h"
#include "window_test_support.h"

using namespace qp;
using namespace qp::test;

namespace {

// The 1366x768 screen at 2x scale, less a panel.
constexpr QSize kSmallScreen(683, 360);

// The buttons of window that are neither in view nor in a scrolling page.
QStringList UnreachableButtons(QWidget* window) {
    QStringList lost;
    const QRect view = window->rect();
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (!button->isVisibleTo(window)) continue;
        bool scrolls = false;
        for (QWidget* w = button->parentWidget(); w != nullptr && w != window; w = w->parentWidget())
            scrolls = scrolls || qobject_cast<QScrollArea*>(w) != nullptr;
        const QRect at(button->mapTo(window, QPoint(0, 0)), button->size());
        if (!scrolls && !view.contains(at)) lost << button->objectName() + QStringLiteral(" ") + button->text();
    }
    return lost;
}

void ShrinkAndCheck(QWidget* window) {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize());
    QVERIFY2(least.width() <= kSmallScreen.width() && least.height() <= kSmallScreen.height(),
             qPrintable(window->objectName() + QStringLiteral(" needs %1x%2").arg(least.width()).arg(least.height())));
    window->resize(kSmallScreen);
    QCoreApplication::processEvents();
    QCOMPARE(UnreachableButtons(window), QStringList());
}

}  // namespace

class SmallScreenTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QuietSizeHintWarnings(); }
    void cleanupTestCase() { RestoreMessageHandler(); }

    void mainWindowFitsALaptopAndEveryPageScrolls() {
        TFormMain window;
        QVERIFY(window.width() <= 1366 && window.height() <= 768 - 40);
        auto* pages = W<QTabWidget>(&window, "PageControl");
        for (int i = 0; i < pages->count(); ++i) {
            QVERIFY(qobject_cast<QScrollArea*>(pages->widget(i)) != nullptr);
            pages->setCurrentIndex(i);
            ShrinkAndCheck(&window);
        }
        // A page taller than the window scrolls to its lowest button.
        pages->setCurrentWidget(W<QWidget>(&window, "TabMake")->parentWidget()->parentWidget());
        auto* make = W<QPushButton>(&window, "BtnMake");
        auto* area = qobject_cast<QScrollArea*>(pages->currentWidget());
        area->ensureWidgetVisible(make);
        QCoreApplication::processEvents();
        const QRect seen(make->mapTo(area->viewport(), QPoint(0, 0)), make->size());
        QVERIFY(area->viewport()->rect().contains(seen));
    }

    void everyDialogFitsTwiceScaled() {
        TFormItemEdit item;
        ShrinkAndCheck(&item);
        TFormFtpUpload upload(PlainFtp("127.0.0.1", "u", "p"));  // connects when shown: measured only
        QVERIFY(upload.height() <= kSmallScreen.height() && upload.width() <= kSmallScreen.width());
        TFormFtpSelectDir folders(PlainFtp("127.0.0.1", "u", "p"));  // the same
        const QSize least = folders.minimumSizeHint();
        QVERIFY2(least.height() <= kSmallScreen.height() && least.width() <= kSmallScreen.width(),
                 qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
        TProjectConfig project;
        TInboxWindow inbox(project, Q("/nonexistent/p.qpf"), [] { return false; }, nullptr);
        ShrinkAndCheck(&inbox);
        TFormAboutBox about(nullptr);
        ShrinkAndCheck(&about);
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    InitApplication(app);
    SmallScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "small_screen_test.moc"
