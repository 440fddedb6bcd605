#include "ui/form_about_box.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>

#include "ui/app_info.h"
#include "ui/app_setup.h"
#include "ui_form_about_box.h"

namespace qp {

QString TFormAboutBox::ConfiguredWebAddress() {
    return QStringLiteral(QP_WEB_ADDRESS);
}

QString TFormAboutBox::LinkTarget(const QString& programFolder, const QString& webAddress) {
    if (!webAddress.isEmpty()) return webAddress;
    const QDir program(programFolder);
    // Installed (/usr/bin beside /usr/share) first, then the build folder's copy.
    for (const QString& relative :
         {QStringLiteral("../share/doc/quillpost"), QStringLiteral("share/doc/quillpost")}) {
        const QString folder = QDir::cleanPath(program.filePath(relative));
        if (!QFileInfo(folder).isDir()) continue;
        const QString readme = folder + QStringLiteral("/README.md");
        return QFileInfo(readme).isFile() ? readme : folder;
    }
    return {};
}

TFormAboutBox::TFormAboutBox(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::TFormAboutBox>()) {
    const TkAppInfo info;  // raises before anything is shown
    ui_->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    ui_->ProgramIcon->setPixmap(ProgramIcon().pixmap(64, 64));
    ui_->ProductName->setText(ApplicationTitle());
    ui_->Version->setText(info.GetValue(QStringLiteral("FileVersion")));
    ui_->Copyright->setText(info.GetValue(QStringLiteral("LegalCopyright")));
    QFont linkFont = ui_->LabelUrl->font();
    linkFont.setUnderline(true);
    ui_->LabelUrl->setFont(linkFont);
    QPalette pal = ui_->LabelUrl->palette();
    pal.setColor(QPalette::WindowText, Qt::blue);
    ui_->LabelUrl->setPalette(pal);
    ui_->LabelUrl->installEventFilter(this);
    SetLink(LinkTarget(QCoreApplication::applicationDirPath()));
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    connect(ui_->OKButton, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(sizeHint().expandedTo(QSize(340, 200)));
}

TFormAboutBox::~TFormAboutBox() = default;

void TFormAboutBox::SetLink(const QString& target) {
    ui_->LabelUrl->setText(target);
    ui_->LabelUrl->setVisible(!target.isEmpty());
    if (target.isEmpty()) {
        linkUrl_.clear();
    } else if (QDir::isAbsolutePath(target)) {
        linkUrl_ = QUrl::fromLocalFile(target);
    } else {
        linkUrl_ = QUrl(target);
    }
}

bool TFormAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->LabelUrl && event->type() == QEvent::MouseButtonRelease) {
        // A link opens with the left button only, released over it, as in a browser.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            ui_->LabelUrl->rect().contains(mouse->position().toPoint())) {
            LabelUrlClick();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormAboutBox::LabelUrlClick() {
    if (!linkUrl_.isEmpty()) openUrl_(linkUrl_);
}

}  // namespace qp
