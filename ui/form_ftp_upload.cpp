#include "ui/form_ftp_upload.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include "sitecheck/remote_probe_folder.h"
#include "sitecheck/site_check.h"
#include "ui/app_error.h"
#include "ui/log_memo.h"
#include "ui/trust_prompt.h"
#include "ui_form_ftp_upload.h"

namespace qp {

TFormFtpUpload::TFormFtpUpload(const TConnection& connection, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormFtpUpload>()), sequence_(*this, connection) {
    ui_->setupUi(this);
    AskInDialogs(sequence_.Client(), this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(size());
    ui_->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &TFormFtpUpload::BitBtn1Click);
    connect(ui_->ButtonFix, &QPushButton::clicked, this, &TFormFtpUpload::ButtonFixClick);
}

TFormFtpUpload::~TFormFtpUpload() = default;

void TFormFtpUpload::SetUploadFiles(const std::vector<TUploadFile>& files, const std::string& ftpDirectory,
                                    const std::string& chmodCommand) {
    sequence_.SetUploadFiles(files, ftpDirectory, chmodCommand);
    directory_ = ftpDirectory;
    chmodCommand_ = chmodCommand;
}

void TFormFtpUpload::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Started from the event loop so that the dialog is painted before the network blocks.
    if (!scheduled_) {
        scheduled_ = true;
        QTimer::singleShot(0, this, &TFormFtpUpload::RunSequence);
    }
}

void TFormFtpUpload::RunSequence() {
    if (finished_ || running_) return;
    if (cancelRequested_ || !isVisible()) {
        // Closed before it could start: nothing is sent.
        EndSequence();
        return;
    }
    running_ = true;
    bool failed = false;
    QString message;
    try {
        sequence_.Run();
        if (!cancelRequested_) CheckSite();
    } catch (const std::exception& e) {
        failed = true;
        message = QString::fromUtf8(e.what());
    } catch (...) {
        failed = true;
    }
    running_ = false;
    EndSequence();
    if (failed) ShowApplicationError(this, message);
    if (cancelRequested_ || closeRequested_) QDialog::done(QDialog::Rejected);
}

void TFormFtpUpload::CheckSite() {
    if (siteCheck_.Url.empty()) return;
    // Bounded by the check's own timeouts; closing meanwhile closes the dialog after it.
    TRemoteProbeFolder probes([this]() -> TRemoteFiles& { return sequence_.Client(); }, directory_, chmodCommand_);
    checking_ = true;
    TSiteReport report;
    try {
        report = qp::CheckSite(siteCheck_, &probes, PumpingRunner([this] { Pump(); }));
    } catch (const std::exception& e) {
        report.Lines.push_back(e.what());  // the upload itself went well: no error box for it
    }
    checking_ = false;
    ShowReport(report);
}

void TFormFtpUpload::ShowReport(const TSiteReport& report) {
    for (const std::string& line : report.Lines) LogLine(line);
    LogLine(AddressLine(LogText(siteCheck_.Url)));
    lastReport_ = report;
    ui_->ButtonFix->setVisible(!report.Fixable.empty());
}

void TFormFtpUpload::ButtonFixClick() {
    if (running_ || lastReport_.Fixable.empty()) return;
    ui_->ButtonFix->setEnabled(false);
    running_ = checking_ = true;
    TSiteReport report;
    try {
        TRemoteProbeFolder folder([this]() -> TRemoteFiles& { return sequence_.Client(); }, directory_, chmodCommand_);
        report = FixSite(siteCheck_, folder, lastReport_, PumpingRunner([this] { Pump(); }));
    } catch (const std::exception& e) {
        report.Lines.push_back(e.what());
    }
    running_ = checking_ = false;
    ui_->ButtonFix->setEnabled(true);
    ShowReport(report);
    if (closeRequested_) QDialog::done(QDialog::Rejected);
}

void TFormFtpUpload::EndSequence() {
    finished_ = true;
    ui_->BitBtn1->setText(QStringLiteral("閉じる(&C)"));
    ui_->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
}

void TFormFtpUpload::BitBtn1Click() {
    done(QDialog::Rejected);
}

void TFormFtpUpload::done(int result) {
    if (checking_) {
        // The files are in place: nothing is left to cancel, only the check to wait for.
        closeRequested_ = true;
        return;
    }
    if (finished_) {
        QDialog::done(result);
        return;
    }
    cancelRequested_ = true;
    // The sequence is on the stack below the event loop that delivered this: it stops at its
    // next check point, and RunSequence closes the dialog then.
    if (!running_) QDialog::done(result);
}

void TFormFtpUpload::AppendLog(const QString& line) {
    AppendLogLine(ui_->Memo1, line);
}

void TFormFtpUpload::LogLine(const std::string& line) {
    AppendLog(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void TFormFtpUpload::Progress(const TUploadFile& file, std::int64_t sent, std::int64_t total) {
    const int permille = total > 0 ? static_cast<int>(sent * 1000 / total) : 1000;
    ui_->ProgressBar1->setValue(permille);
    const QString name = QString::fromUtf8(LogText(file.RemoteFileName));
    ui_->ProgressBar1->setFormat(QStringLiteral("%1  %2 / %3").arg(name).arg(sent).arg(total));
}

void TFormFtpUpload::Pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace qp
