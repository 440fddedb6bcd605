#include "ui/form_about_box.h"

#include <QDesktopServices>
#include <QGuiApplication>

#include "ui/app_info.h"
#include "ui/app_setup.h"
#include "ui_form_about_box.h"

namespace qp {

TFormAboutBox::TFormAboutBox(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::TFormAboutBox>()) {
    const TkAppInfo info;  // raises before anything is shown
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->ProgramIcon->setPixmap(ProgramIcon().pixmap(64, 64));
    ui_->ProductName->setText(QGuiApplication::applicationDisplayName());
    ui_->Version->setText(info.GetValue(QStringLiteral("FileVersion")));
    ui_->Copyright->setText(info.GetValue(QStringLiteral("LegalCopyright")));
    ui_->LabelUrl->setText(QString::fromLatin1(kWebAddress));
    QFont linkFont = ui_->LabelUrl->font();
    linkFont.setUnderline(true);
    ui_->LabelUrl->setFont(linkFont);
    QPalette pal = ui_->LabelUrl->palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    ui_->LabelUrl->setPalette(pal);
    ui_->LabelUrl->installEventFilter(this);
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(ui_->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(sizeHint().expandedTo(QSize(340, 200)));
}

TFormAboutBox::~TFormAboutBox() = default;

bool TFormAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->LabelUrl && event->type() == QEvent::MouseButtonRelease) {
        LabelUrlClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormAboutBox::LabelUrlClick() {
    openUrl_(QUrl(ui_->LabelUrl->text()));
}

}  // namespace qp
