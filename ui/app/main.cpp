// Start-up: the application, its title, the main window, an optional project file to open.
#include <QApplication>
#include <QTimer>

#include "ui/app_error.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"

namespace {

// For start-up measurements: ends the program once the window has been painted.
class TQuitAfterPaint : public QObject {
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

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qp::InitApplication(app);
    std::unique_ptr<qp::TFormMain> window;
    // A start-up error of any kind is shown before the program ends, never swallowed.
    if (!qp::RunGuarded(nullptr, [&] { window = std::make_unique<qp::TFormMain>(); })) return 1;
    const QStringList args = QCoreApplication::arguments();
    bool quitAfterPaint = qEnvironmentVariableIsSet("QP_QUIT_AFTER_PAINT");
    QString projectFile;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--quit-after-paint")) {
            quitAfterPaint = true;
        } else if (projectFile.isEmpty()) {
            projectFile = args[i];
        }
    }
    if (quitAfterPaint) window->installEventFilter(new TQuitAfterPaint(window.get()));
    window->show();
    if (!projectFile.isEmpty()) {
        qp::RunGuarded(window.get(), [&] { window->OpenProjectFile(projectFile); });
    }
    return app.exec();
}
