#include "ui/app_setup.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QTranslator>

namespace qp {

void InitApplication(QApplication& app) {
    app.setApplicationName(QStringLiteral("quillpost"));
    app.setApplicationVersion(QStringLiteral(QP_PRODUCT_VERSION));
    app.setDesktopFileName(QStringLiteral("quillpost"));
    QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);
    app.setWindowIcon(ProgramIcon());
    InstallQtTranslations(app);
}

void InstallQtTranslations(QApplication& app) {
    // The program speaks Japanese whatever the desktop's language, and so do Qt's dialogs.
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), folder)) {
        app.installTranslator(translator);
    } else {
        delete translator;
        qWarning(
            "Qt's Japanese translations (qtbase_ja.qm) are missing in %s: standard buttons and "
            "file dialogs stay in English. Install qt6-translations-l10n.",
            qPrintable(folder));
    }
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        // A letter with a quill across it.
        p.setPen(QPen(QColor(0x1F, 0x3A, 0x68), 3));
        p.setBrush(QColor(0xF4, 0xF1, 0xE8));
        p.drawRoundedRect(QRectF(6, 16, 52, 38), 4, 4);
        p.drawPolyline(QPolygonF({QPointF(6, 18), QPointF(32, 38), QPointF(58, 18)}));
        QPainterPath quill;
        quill.moveTo(14, 58);
        quill.cubicTo(24, 36, 40, 14, 60, 4);
        quill.cubicTo(52, 20, 38, 40, 14, 58);
        p.setPen(QPen(QColor(0x8A, 0x1C, 0x1C), 2));
        p.setBrush(QColor(0xC8, 0x3A, 0x2E));
        p.drawPath(quill);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace qp
