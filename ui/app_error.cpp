#include "ui/app_error.h"

#include <QMessageBox>

#include "ui/app_setup.h"

namespace qp {

QString ApplicationErrorText(const QString& message) {
    if (message.isEmpty()) return message;
    const QChar last = message.back();
    // Japanese sentences already end in their own full stop; a second one would be wrong.
    static const QString kJapaneseEnds = QStringLiteral("。．！？");
    if (last > QLatin1Char('.') && !kJapaneseEnds.contains(last)) return message + QLatin1Char('.');
    return message;
}

void ShowApplicationError(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), ApplicationErrorText(message), QMessageBox::Ok,
                    parent);
    box.exec();
}

void ShowApplicationError(QWidget* parent, const std::exception& e) {
    ShowApplicationError(parent, QString::fromUtf8(e.what()));
}

}  // namespace qp
