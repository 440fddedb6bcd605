#pragma once
// The upload dialog: runs the upload sequence once it is on screen, shows its log and the
// progress of the current file, and lets the user cancel between steps.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "deploy/upload_sequence.h"
#include "sitecheck/site_check.h"

namespace Ui {
class TFormFtpUpload;
}

namespace qp {

class TFormFtpUpload : public QDialog, private TUploadListener {
    Q_OBJECT
public:
    // The connection's trust and passphrase questions are asked in this dialog.
    explicit TFormFtpUpload(const TConnection& connection, QWidget* parent = nullptr);
    ~TFormFtpUpload() override;

    void SetUploadFiles(const std::vector<TUploadFile>& files, const std::string& ftpDirectory,
                        const std::string& chmodCommand);
    // The project's check: after a completed upload it runs and its result, then the
    // address, end the log. No address: no check.
    void SetSiteCheck(const TSiteCheckOptions& options) { siteCheck_ = options; }
    // The client, for what it was told and decided (passive mode, a certificate trusted).
    TRemoteFiles& Client() { return sequence_.Client(); }

    // The sequence has ended: completed, cancelled or failed.
    bool Finished() const { return finished_; }
    bool IsCancelRequested() const { return cancelRequested_; }

    void BitBtn1Click();
    // "修正する": makes the files the check found unwritable, then checks again.
    void ButtonFixClick();
    // Closing while the sequence runs only asks it to stop; the dialog closes once it has.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RunSequence();
    void CheckSite();
    void ShowReport(const TSiteReport& report);
    void EndSequence();
    void AppendLog(const QString& line);

    void LogLine(const std::string& line) override;
    void Progress(const TUploadFile& file, std::int64_t sent, std::int64_t total) override;
    void Pump() override;
    bool CancelRequested() override { return cancelRequested_; }

    std::unique_ptr<Ui::TFormFtpUpload> ui_;
    TUploadSequence sequence_;
    TSiteCheckOptions siteCheck_;
    TSiteReport lastReport_;
    std::string directory_;  // the upload's folder, where the check's probes go
    std::string chmodCommand_;
    bool scheduled_ = false;
    bool running_ = false;
    bool finished_ = false;
    bool cancelRequested_ = false;
    bool checking_ = false;        // the upload is done and the site check runs
    bool closeRequested_ = false;  // closed meanwhile: no cancel, the dialog closes after the check
};

}  // namespace qp
