// Renders every tab page of the main window, holding the given project, to PNG files
// (01-items.png, ...) in the given folder; with --make-page NAME, only the window as it opens
// on this screen, at the 作成・設置 page, to NAME. Used by scripts/screenshots.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTextStream>

#include "ui/app_error.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    qp::InitApplication(app);
    const QStringList args = QCoreApplication::arguments();
    QTextStream err(stderr);
    const bool makePageOnly = args.size() == 5 && args[3] == QStringLiteral("--make-page");
    if (args.size() != 3 && !makePageOnly) {
        err << "usage: quillpost-screenshots PROJECT.qpf OUTPUT_DIR [--make-page NAME]\n";
        return 2;
    }
    qp::TFormMain window;
    try {
        window.OpenProjectFile(args[1]);
    } catch (const std::exception& e) {
        err << "cannot open " << args[1] << ": " << QString::fromUtf8(e.what()) << "\n";
        return 1;
    }
    window.show();
    QDir().mkpath(args[2]);
    auto* pages = window.findChild<QTabWidget*>(QStringLiteral("PageControl"));
    if (makePageOnly) {
        pages->setCurrentIndex(6);
        for (int k = 0; k < 5; ++k) QApplication::processEvents();
        const QString file = args[2] + QLatin1Char('/') + args[4];
        if (window.grab().save(file)) return 0;
        err << "cannot write " << file << "\n";
        return 1;
    }
    static const char* const kNames[] = {"items",        "mail",        "user-mail", "form-page",
                                         "confirm-page", "finish-page", "make",      "inbox"};
    for (int i = 0; i < pages->count() && i < 8; ++i) {
        pages->setCurrentIndex(i);
        for (int k = 0; k < 5; ++k) QApplication::processEvents();
        const QString file = QStringLiteral("%1/%2-%3.png")
                                 .arg(args[2])
                                 .arg(i + 1, 2, 10, QLatin1Char('0'))
                                 .arg(QString::fromLatin1(kNames[i]));
        if (!window.grab().save(file)) {
            err << "cannot write " << file << "\n";
            return 1;
        }
    }
    return 0;
}
