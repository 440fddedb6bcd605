// A main window with a menu, a tool bar, a tab page and a status bar that ends once it has
// been painted: the start-up time that any Qt Widgets program pays.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>

class QuitAfterPaint : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !quitting_) {
            quitting_ = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool quitting_ = false;
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.addToolBar(QStringLiteral("tools"));
    auto* tabs = new QTabWidget;
    tabs->addTab(new QLabel(QStringLiteral("page")), QStringLiteral("tab"));
    window.setCentralWidget(tabs);
    window.statusBar();
    window.resize(760, 580);
    window.installEventFilter(new QuitAfterPaint(&window));
    window.show();
    return app.exec();
}
