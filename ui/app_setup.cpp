#include "ui/app_setup.h"

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace qp {

void InitApplication(QApplication& app) {
    app.setApplicationName(QStringLiteral("quillpost"));
    app.setApplicationDisplayName(QString::fromUtf8(kApplicationTitle));
    app.setApplicationVersion(QStringLiteral(QP_PRODUCT_VERSION));
    app.setDesktopFileName(QStringLiteral("quillpost"));
    QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    font.setStyleHint(QFont::SansSerif);
    app.setFont(font);
    app.setWindowIcon(ProgramIcon());
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
