#include "ui/inbox_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QFont>
#include <QHeaderView>
#include <QMessageBox>
#include <QTableWidgetItem>

#include "deploy/connection.h"
#include "inbox/inbox_csv.h"
#include "model/atomic_file.h"
#include "model/charset.h"
#include "model/error.h"
#include "ui/app_error.h"
#include "ui/file_prompts.h"
#include "ui/log_memo.h"
#include "ui/scroll_fit.h"
#include "ui/trust_prompt.h"
#include "ui/ui_inbox_window.h"

namespace qp {
namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

TInboxWindow::TInboxWindow(TProjectConfig& project, const QString& projectPath, std::function<bool()> obtainPassword,
                           QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TInboxWindow>()),
      project_(project),
      storePath_(TInboxStore::PathFor(LocalPath(projectPath))),
      asidePath_(TInboxStore::AsidePathFor(LocalPath(projectPath))),
      obtainPassword_(std::move(obtainPassword)),
      passphrasePrompt_(AskPassphrase),
      csvPathPrompt_([](QWidget* p) {
          return QFileDialog::getSaveFileName(p, QStringLiteral("CSV書き出し"), QString(),
                                              QStringLiteral("CSVファイル (*.csv)"));
      }) {
    ui_->setupUi(this);
    FitToScreen(this);
    connect(ui_->BtnInboxFetch, &QPushButton::clicked, this, [this] { RunGuarded(this, [this] { Fetch(); }); });
    connect(ui_->BtnInboxCsv, &QPushButton::clicked, this, [this] { RunGuarded(this, [this] { ExportCsv(); }); });
    connect(ui_->TableInbox, &QTableWidget::currentCellChanged, this,
            [this](int row) { RunGuarded(this, [this, row] { MarkRead(row); }); });
}

TInboxWindow::~TInboxWindow() = default;

bool TInboxWindow::Open() {
    try {
        const std::string keyFile = charset::SjisToUtf8(project_.Text(TSetting::InboxKeyFile));
        std::string passphrase;
        if (TInboxPrivateKey::NeedsPassphrase(keyFile)) {
            const std::optional<std::string> typed = passphrasePrompt_(this, keyFile);
            if (!typed) return false;
            passphrase = *typed;
        }
        auto key = std::make_unique<TInboxPrivateKey>(keyFile, passphrase);
        CheckKeyMatches(*key, project_.Text(TSetting::InboxPublicKey));
        key_ = std::move(key);
        ShowContents();
        return true;
    } catch (const Error& e) {
        ShowApplicationError(parentWidget() ? parentWidget() : this, Text(e.Message()));
        return false;
    }
}

void TInboxWindow::ShowContents() {
    contents_ = OpenInboxStore(TInboxStore(storePath_), *key_);
    std::vector<std::string> attrs;
    QStringList headers = {QStringLiteral("受信日時"), QStringLiteral("送信状況")};
    for (const TInboxEntry& entry : contents_.Entries) {
        for (const TInboxField& field : entry.Message.Fields) {
            if (std::find(attrs.begin(), attrs.end(), field.Attr) != attrs.end()) continue;
            attrs.push_back(field.Attr);
            headers << Text(field.Name);
        }
    }
    const QSignalBlocker quiet(ui_->TableInbox);
    ui_->TableInbox->clear();
    ui_->TableInbox->setColumnCount(static_cast<int>(headers.size()));
    ui_->TableInbox->setHorizontalHeaderLabels(headers);
    ui_->TableInbox->setRowCount(static_cast<int>(contents_.Entries.size()));
    for (int row = 0; row < static_cast<int>(contents_.Entries.size()); ++row) {
        const TInboxEntry& entry = contents_.Entries[static_cast<std::size_t>(row)];
        QStringList cells = {Text(InboxTimeText(entry.Message.Received)), Text(InboxStatusText(entry.Status.Status))};
        for (const std::string& attr : attrs) {
            QString value;
            for (const TInboxField& field : entry.Message.Fields)
                if (field.Attr == attr) value = Text(field.Value);
            cells << value;
        }
        for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            QFont font = item->font();
            font.setBold(!entry.Read);
            item->setFont(font);
            if (entry.Status.Status == TInboxMailStatus::Failed) {
                item->setForeground(Qt::red);
                item->setToolTip(Text(entry.Status.Reason));
            }
            ui_->TableInbox->setItem(row, column, item);
        }
    }
    ui_->LabelInboxUnread->setText(QStringLiteral("全%1件　未読 %2件").arg(contents_.Entries.size()).arg(contents_.Unread));
}

void TInboxWindow::MarkRead(int row) {
    if (row < 0 || row >= static_cast<int>(contents_.Entries.size())) return;
    TInboxEntry& entry = contents_.Entries[static_cast<std::size_t>(row)];
    if (entry.Read) return;
    TInboxStore store(storePath_);
    if (store.MarkRead(entry.Message.Id)) store.Save();
    entry.Read = true;
    --contents_.Unread;
    for (int column = 0; column < ui_->TableInbox->columnCount(); ++column) {
        QTableWidgetItem* item = ui_->TableInbox->item(row, column);
        QFont font = item->font();
        font.setBold(false);
        item->setFont(font);
    }
    ui_->LabelInboxUnread->setText(QStringLiteral("全%1件　未読 %2件").arg(contents_.Entries.size()).arg(contents_.Unread));
}

void TInboxWindow::Fetch() {
    if (running_) {
        cancelRequested_ = true;
        return;
    }
    if (!key_ && !Open()) return;
    if (!obtainPassword_()) return;
    running_ = true;
    cancelRequested_ = false;
    ui_->BtnInboxFetch->setText(QStringLiteral("中止"));
    ui_->ProgressInbox->setValue(0);
    const auto done = [this] {
        running_ = false;
        ui_->BtnInboxFetch->setText(QStringLiteral("受信"));
        if (closeRequested_) QDialog::done(QDialog::Rejected);
    };
    try {
        const std::unique_ptr<TRemoteFiles> client = MakeRemoteFiles(ConnectionOf(project_));
        AskInDialogs(*client, this);
        TInboxStore store(storePath_), aside(asidePath_);
        const TInboxImport import = FetchInbox(*client, project_, *key_, store, aside, fetchOptions_, *this);
        const std::string& accepted = client->Trust().NewlyTrusted();
        if (!accepted.empty()) project_.SetFtpTrustedCert(accepted);
        for (const std::string& line : DescribeImport(import, asidePath_)) LogLine(line);
        ui_->ProgressInbox->setValue(1000);
    } catch (const Error& e) {
        done();
        if (cancelRequested_) {
            AppendLog(QStringLiteral("受信を中止しました。サーバーの受信データは削除していません。"));
            return;
        }
        AppendLog(QStringLiteral("[ERROR]") + Text(e.Message()));
        ShowApplicationError(this, Text(e.Message()));
        return;
    }
    done();
    ShowContents();
}

void TInboxWindow::done(int result) {
    if (running_) {
        cancelRequested_ = closeRequested_ = true;
        return;
    }
    QDialog::done(result);
}

void TInboxWindow::ExportCsv() {
    if (!key_ && !Open()) return;
    const QString path = csvPathPrompt_(this);
    if (path.isEmpty()) return;
    const TCsvEncoding encoding =
        ui_->ComboBoxCsvEncoding->currentIndex() == 1 ? TCsvEncoding::Cp932 : TCsvEncoding::Utf8Bom;
    const TInboxCsv csv = MakeInboxCsv(contents_.Entries, encoding);
    WriteFileAtomic(LocalPath(path), csv.Bytes);
    AppendLog(QStringLiteral("%1件を %2 に書き出しました。").arg(contents_.Entries.size()).arg(path));
    for (const std::string& line : csv.Replaced) AppendLog(Text(line));
    if (!csv.Replaced.empty())
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("Shift_JISにない文字を 〓 にしました（%1か所）。記録欄をご覧ください。")
                                     .arg(csv.Replaced.size()));
}

void TInboxWindow::AppendLog(const QString& line) {
    AppendLogLine(ui_->MemoInboxLog, line);
}

void TInboxWindow::LogLine(const std::string& line) {
    AppendLog(Text(line));
}

void TInboxWindow::Progress(std::int64_t received, std::int64_t total) {
    ui_->ProgressInbox->setValue(total > 0 ? static_cast<int>(std::min<std::int64_t>(received * 1000 / total, 1000)) : 500);
}

void TInboxWindow::Pump() {
    QApplication::processEvents();
}

}  // namespace qp
