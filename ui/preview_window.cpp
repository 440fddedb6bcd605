#include "ui/preview_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

#include "ui/preview_runner.h"

namespace qp {
namespace {

QLineEdit* AddressField(const char* name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QLatin1String(name));
    field->setReadOnly(true);  // selectable, for copying into another browser
    field->setMinimumWidth(260);
    return field;
}

}  // namespace

TPreviewWindow::TPreviewWindow(TPreviewRunner& runner, UrlOpener open, QWidget* parent)
    : QWidget(parent, Qt::Tool), runner_(runner), open_(std::move(open)) {
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("プレビュー"));
    formUrl_ = AddressField("EditPreviewFormUrl", this);
    mailsUrl_ = AddressField("EditPreviewMailsUrl", this);
    auto* openForm = new QPushButton(QStringLiteral("開く"), this);
    openForm->setObjectName(QStringLiteral("BtnPreviewOpenForm"));
    auto* openMails = new QPushButton(QStringLiteral("開く"), this);
    openMails->setObjectName(QStringLiteral("BtnPreviewOpenMails"));
    auto* stop = new QPushButton(QStringLiteral("停止"), this);
    stop->setObjectName(QStringLiteral("BtnPreviewStop"));
    auto* note = new QLabel(QStringLiteral("この画面を閉じるとプレビューは停止します。メールは送信されず、"
                                           "「送信されたメール」で確認できます。"),
                            this);
    note->setWordWrap(true);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("フォーム画面"), this), 0, 0);
    grid->addWidget(formUrl_, 0, 1);
    grid->addWidget(openForm, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("送信されたメール"), this), 1, 0);
    grid->addWidget(mailsUrl_, 1, 1);
    grid->addWidget(openMails, 1, 2);
    grid->addWidget(note, 2, 0, 1, 2);
    grid->addWidget(stop, 2, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);

    connect(openForm, &QPushButton::clicked, this, [this] { open_(runner_.FormUrl()); });
    connect(openMails, &QPushButton::clicked, this, [this] { open_(runner_.MailsUrl()); });
    connect(stop, &QPushButton::clicked, this, &QWidget::close);
}

void TPreviewWindow::ShowRunning() {
    formUrl_->setText(runner_.FormUrl().toString());
    mailsUrl_->setText(runner_.MailsUrl().toString());
    show();
    raise();
}

void TPreviewWindow::closeEvent(QCloseEvent* event) {
    runner_.Stop();
    formUrl_->clear();
    mailsUrl_->clear();
    event->accept();
}

}  // namespace qp
