#pragma once
// The 受信データ window: the messages of the local inbox (newest first, failed mails marked,
// unread in bold), the download from the server with the upload dialog's log, and the CSV
// export.
#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "deploy/inbox_fetch.h"
#include "inbox/inbox_key.h"
#include "inbox/inbox_store.h"
#include "model/project_config.h"

namespace Ui {
class TInboxWindow;
}

namespace qp {

class TInboxWindow : public QDialog, private TInboxFetchListener {
    Q_OBJECT
public:
    // project: its connection and inbox settings, read when asked; projectPath: beside it the
    // local store. obtainPassword asks for a password the project does not keep (false: none).
    TInboxWindow(TProjectConfig& project, const QString& projectPath, std::function<bool()> obtainPassword,
                 QWidget* parent = nullptr);
    ~TInboxWindow() override;

    // Replaceable so that tests need no dialog: the passphrase of the key file, the CSV path.
    using PassphrasePrompt = std::function<std::optional<std::string>(QWidget*, const std::string& keyFile)>;
    void SetPassphrasePrompt(PassphrasePrompt prompt) { passphrasePrompt_ = std::move(prompt); }
    using CsvPathPrompt = std::function<QString(QWidget*)>;
    void SetCsvPathPrompt(CsvPathPrompt prompt) { csvPathPrompt_ = std::move(prompt); }
    void SetFetchOptions(const TInboxFetchOptions& options) { fetchOptions_ = options; }

    // Loads the key (asking its passphrase) and shows the local store; false when the key
    // cannot be had, with the reason shown.
    bool Open();
    // The download; while it runs the button is 中止, which stops it with nothing removed.
    void Fetch();
    void ExportCsv();
    std::size_t Unread() const { return contents_.Unread; }

private:
    void ShowContents();
    void MarkRead(int row);
    void AppendLog(const QString& line);
    void LogLine(const std::string& line) override;
    void Progress(std::int64_t received, std::int64_t total) override;
    void Pump() override;
    bool CancelRequested() override { return cancelRequested_; }
    // Closing while 受信 runs only asks it to stop.
    void done(int result) override;

    std::unique_ptr<Ui::TInboxWindow> ui_;
    TProjectConfig& project_;
    std::string storePath_;
    std::string asidePath_;
    std::function<bool()> obtainPassword_;
    PassphrasePrompt passphrasePrompt_;
    CsvPathPrompt csvPathPrompt_;
    TInboxFetchOptions fetchOptions_;
    std::unique_ptr<TInboxPrivateKey> key_;
    TInboxContents contents_;
    bool running_ = false;
    bool cancelRequested_ = false;
    bool closeRequested_ = false;
};

}  // namespace qp
