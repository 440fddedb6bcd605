#include "ui/form_ftp_select_dir.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStatusTipEvent>
#include <QStringDecoder>
#include <QTimer>
#include <exception>

#include "model/charset.h"
#include "model/error.h"
#include "ui/app_error.h"
#include "ui/log_memo.h"
#include "ui/trust_prompt.h"
#include "ui/app_setup.h"
#include "ui/scroll_fit.h"
#include "ui/text_codec.h"
#include "ui_form_ftp_select_dir.h"

namespace qp {
namespace {

QString FromBytes(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Log lines are the client's UTF-8 messages and the protocol traffic, which may carry the
// server's Shift_JIS names.
QString LogLineText(const std::string& line) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(line.data(), static_cast<qsizetype>(line.size())));
    if (!utf8.hasError()) return text;
    try {
        return FromSjis(line);
    } catch (const Error&) {
        return text;
    }
}

QPixmap DrawIcon(int index) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    switch (index) {
        case 0: {  // a yellow folder
            QPainterPath tab;
            tab.addRoundedRect(QRectF(1.5, 2.5, 6, 3), 1, 1);
            p.setPen(QColor(0x9a, 0x7b, 0x1c));
            p.setBrush(QColor(0xf2, 0xc8, 0x4b));
            p.drawPath(tab);
            p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9.5), 1, 1);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xfb, 0xe0, 0x8a));
            p.drawRect(QRectF(2.5, 6, 11, 1.5));
            break;
        }
        case 1: {  // a sheet of paper with a folded corner
            QPainterPath sheet;
            sheet.moveTo(3.5, 1.5);
            sheet.lineTo(10, 1.5);
            sheet.lineTo(12.5, 4);
            sheet.lineTo(12.5, 14.5);
            sheet.lineTo(3.5, 14.5);
            sheet.closeSubpath();
            p.setPen(QColor(0x70, 0x70, 0x70));
            p.setBrush(Qt::white);
            p.drawPath(sheet);
            p.drawLine(QPointF(10, 1.5), QPointF(10, 4));
            p.drawLine(QPointF(10, 4), QPointF(12.5, 4));
            p.setPen(QColor(0xa0, 0xa0, 0xc0));
            for (int y = 6; y <= 12; y += 2) p.drawLine(QPointF(5, y + 0.5), QPointF(11, y + 0.5));
            break;
        }
        case 2: {  // a red arrow pointing up
            QPainterPath arrow;
            arrow.moveTo(8, 1.5);
            arrow.lineTo(14.5, 8);
            arrow.lineTo(10.5, 8);
            arrow.lineTo(10.5, 14.5);
            arrow.lineTo(5.5, 14.5);
            arrow.lineTo(5.5, 8);
            arrow.lineTo(1.5, 8);
            arrow.closeSubpath();
            p.setPen(QColor(0x90, 0x10, 0x10));
            p.setBrush(QColor(0xe0, 0x20, 0x20));
            p.drawPath(arrow);
            break;
        }
        default: {  // a waste bin
            p.setPen(QColor(0x40, 0x40, 0x40));
            p.setBrush(QColor(0xb8, 0xc0, 0xc8));
            QPainterPath bin;
            bin.moveTo(3.5, 4.5);
            bin.lineTo(12.5, 4.5);
            bin.lineTo(11.5, 14.5);
            bin.lineTo(4.5, 14.5);
            bin.closeSubpath();
            p.drawPath(bin);
            p.drawRect(QRectF(2, 2.5, 12, 2));
            p.drawRect(QRectF(6.5, 1, 3, 1.5));
            for (double x : {6.0, 8.0, 10.0}) p.drawLine(QPointF(x, 6.5), QPointF(x, 12.5));
            break;
        }
    }
    return pixmap;
}

// A typed name for the server, in Shift_JIS like the project's folder; raises CharsetError.
std::string ScreenToServer(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return charset::Utf8ToSjis(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

}  // namespace

QString ServerNameText(const std::string& name) {
    try {
        return FromSjis(name);
    } catch (const Error&) {
        return FromBytes(name);
    }
}

QIcon TFormFtpSelectDir::ListIcon(int index) {
    static const QIcon icons[4] = {QIcon(DrawIcon(0)), QIcon(DrawIcon(1)), QIcon(DrawIcon(2)),
                                   QIcon(DrawIcon(3))};
    return icons[index < 0 || index > 3 ? 1 : index];
}

TFormFtpSelectDir::TFormFtpSelectDir(const TConnection& connection, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TFormFtpSelectDir>()), browser_(*this, connection) {
    ui_->setupUi(this);
    FitToScreen(this);
    AskInDialogs(browser_.Client(), this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    browser_.SetDirectory({});

    ui_->ActionChangeDirUp->setIcon(ListIcon(2));
    ui_->ActionMakeDir->setIcon(ListIcon(0));
    ui_->ActionDeleteFile->setIcon(ListIcon(3));
    ui_->BtnMoveUp->setDefaultAction(ui_->ActionChangeDirUp);
    ui_->BtnMakeDir->setDefaultAction(ui_->ActionMakeDir);
    ui_->BtnDeleteFile->setDefaultAction(ui_->ActionDeleteFile);
    for (QToolButton* button : {ui_->BtnMoveUp, ui_->BtnMakeDir, ui_->BtnDeleteFile}) {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setText(QString());
    }
    ui_->SpeedButton1->setStatusTip(ui_->ActionMoveDir->statusTip());
    ui_->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui_->BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    QHeaderView* header = ui_->ListView1->header();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setStretchLastSection(false);
    ui_->ListView1->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    ui_->Splitter1->setStretchFactor(0, 3);
    ui_->Splitter1->setStretchFactor(1, 1);

    PopupMenuListView = new QMenu(this);
    PopupMenuListView->setObjectName(QStringLiteral("PopupMenuListView"));
    PopupMenuListView->addAction(ui_->ActionMakeDir);
    PopupMenuListView->addAction(ui_->ActionDeleteFile);
    connect(ui_->ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenuListView->popup(ui_->ListView1->viewport()->mapToGlobal(pos));
    });

    connect(ui_->ActionMoveDir, &QAction::triggered, this, [this] { ActionMoveDirExecute(); });
    connect(ui_->ActionChangeDirUp, &QAction::triggered, this, [this] { ActionChangeDirUpExecute(); });
    connect(ui_->ActionMakeDir, &QAction::triggered, this,
            [this] { RunGuarded(this, [this] { ActionMakeDirExecute(); }); });
    connect(ui_->ActionDeleteFile, &QAction::triggered, this,
            [this] { RunGuarded(this, [this] { ActionDeleteFileExecute(); }); });
    connect(ui_->SpeedButton1, &QPushButton::clicked, ui_->ActionMoveDir, &QAction::trigger);
    connect(ui_->ListView1, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { ListView1DblClick(item); });
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    // Return in the folder field moves there instead of closing the dialog with OK.
    ui_->ComboBoxDir->lineEdit()->installEventFilter(this);
}

TFormFtpSelectDir::~TFormFtpSelectDir() = default;

void TFormFtpSelectDir::SetDirectory(const std::string& directory) {
    browser_.SetDirectory(directory);
}

std::string TFormFtpSelectDir::GetDirectory() const {
    return browser_.GetDirectory();
}

void TFormFtpSelectDir::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!scheduled_) {
        scheduled_ = true;
        QTimer::singleShot(0, this, &TFormFtpSelectDir::StartUp);
    }
}

bool TFormFtpSelectDir::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        ui_->StatusBar1->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QDialog::event(event);
}

bool TFormFtpSelectDir::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->ComboBoxDir->lineEdit() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui_->ActionMoveDir->trigger();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

template <class F>
bool TFormFtpSelectDir::RunLocked(F&& call) {
    if (busy_) return false;
    SetBusy(true);
    try {
        call();
    } catch (...) {
        SetBusy(false);
        throw;
    }
    SetBusy(false);
    return true;
}

void TFormFtpSelectDir::SetBusy(bool busy) {
    busy_ = busy;
    for (QAction* action :
         {ui_->ActionMoveDir, ui_->ActionChangeDirUp, ui_->ActionMakeDir, ui_->ActionDeleteFile}) {
        action->setEnabled(!busy);
    }
    ui_->SpeedButton1->setEnabled(!busy);
}

void TFormFtpSelectDir::StartUp() {
    if (startUpDone_ || !isVisible()) return;
    std::optional<std::string> moveError;
    bool failed = false;
    QString message;
    RunLocked([&] {
        try {
            moveError = browser_.StartUp();
        } catch (const std::exception& e) {
            failed = true;
            message = FromBytes(e.what());
        } catch (...) {
            failed = true;
        }
    });
    startUpDone_ = true;
    ShowBrowser();
    if (pendingResult_ >= 0) {
        // Closed by the user while it ran: no error box about a start-up nobody waits for.
        done(pendingResult_);
        return;
    }
    if (failed) {
        QMessageBox box(QMessageBox::Critical, ApplicationTitle(), message, QMessageBox::Ok, this);
        box.exec();
        done(QDialog::Rejected);
        return;
    }
    if (moveError) ErrorBox(FromBytes(*moveError));
}

void TFormFtpSelectDir::done(int result) {
    if (busy_) {
        // A server call is still on the stack below this event: close once it has returned.
        pendingResult_ = result;
        return;
    }
    pendingResult_ = -1;
    browser_.Close();
    QDialog::done(result);
}

void TFormFtpSelectDir::ErrorBox(const QString& message) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("エラー"), message, QMessageBox::Ok, this);
    box.exec();
}

std::string TFormFtpSelectDir::ComboFolder() const {
    const QString text = ui_->ComboBoxDir->currentText();
    // A folder picked from the history goes back to the server byte for byte.
    const int index = ui_->ComboBoxDir->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) return ui_->ComboBoxDir->itemData(index).toByteArray().toStdString();
    return ScreenToServer(text);
}

template <class F>
void TFormFtpSelectDir::Navigate(F&& move) {
    RunLocked([&] {
        try {
            move();
        } catch (const std::exception& e) {
            ShowBrowser();
            ErrorBox(FromBytes(e.what()));
        }
    });
    ShowBrowser();
    if (pendingResult_ >= 0) done(pendingResult_);
}

void TFormFtpSelectDir::MoveTo(const std::string& folder) {
    Navigate([&] { browser_.MoveTo(folder); });
}

void TFormFtpSelectDir::ActionMoveDirExecute() {
    if (busy_) return;
    std::string folder;
    try {
        folder = ComboFolder();
    } catch (const Error& e) {
        ErrorBox(FromBytes(e.what()));
        return;
    }
    MoveTo(folder);
}

void TFormFtpSelectDir::ActionChangeDirUpExecute() {
    Navigate([&] { browser_.Up(); });
}

void TFormFtpSelectDir::ListView1DblClick(QTreeWidgetItem* item) {
    if (item == nullptr || busy_) return;
    const std::size_t row = item->data(0, Qt::UserRole).toULongLong();
    Navigate([&] { browser_.OpenRow(row); });
}

void TFormFtpSelectDir::ActionMakeDirExecute() {
    if (busy_) return;
    bool ok = false;
    const QString name = QInputDialog::getText(this, QStringLiteral("フォルダ作成"),
                                               QStringLiteral("作成するフォルダの名前を入力してください。"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok) return;
    const std::string folder = ScreenToServer(name);
    ChangeFolderContents([&] { browser_.MakeFolder(folder); });
}

void TFormFtpSelectDir::ActionDeleteFileExecute() {
    QTreeWidgetItem* item = ui_->ListView1->currentItem();
    if (item == nullptr || !item->isSelected() || busy_) return;
    const std::size_t row = item->data(0, Qt::UserRole).toULongLong();
    if (row >= browser_.Rows().size()) return;
    const std::string name = browser_.Rows()[row].Name;
    QMessageBox box(QMessageBox::Question, ApplicationTitle(),
                    ServerNameText(name) + QStringLiteral("を削除します。よろしいですか？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    if (box.exec() != QMessageBox::Yes) return;
    // The list may have changed while the question was open.
    if (row >= browser_.Rows().size() || browser_.Rows()[row].Name != name) return;
    ChangeFolderContents([&] { browser_.Delete(row); });
}

template <class F>
void TFormFtpSelectDir::ChangeFolderContents(F&& call) {
    try {
        RunLocked(std::forward<F>(call));
    } catch (...) {
        if (pendingResult_ < 0) throw;
        // Closed while the call ran: the failure is still reported, then the dialog closes
        // as asked instead of keeping the request for some later call.
        const std::exception_ptr error = std::current_exception();
        RunGuarded(this, [&] { std::rethrow_exception(error); });
        done(pendingResult_);
        return;
    }
    ShowBrowser();
    if (pendingResult_ >= 0) done(pendingResult_);
}

void TFormFtpSelectDir::ShowBrowser() {
    ShowRows();
    if (browser_.History() != shownHistory_) {
        shownHistory_ = browser_.History();
        const QString typed = ui_->ComboBoxDir->currentText();
        ui_->ComboBoxDir->clear();
        for (const std::string& folder : shownHistory_) {
            ui_->ComboBoxDir->addItem(ServerNameText(folder), QByteArray::fromStdString(folder));
        }
        ui_->ComboBoxDir->setEditText(typed);
    }
    if (browser_.ComboText() != shownCombo_) {
        shownCombo_ = browser_.ComboText();
        ui_->ComboBoxDir->setEditText(ServerNameText(shownCombo_));
    }
}

void TFormFtpSelectDir::ShowRows() {
    const std::vector<TFolderRow>& rows = browser_.Rows();
    const auto same = [](const TFolderRow& a, const TFolderRow& b) {
        return a.Name == b.Name && a.ImageIndex == b.ImageIndex && a.Date == b.Date && a.Size == b.Size &&
               a.Attributes == b.Attributes && a.Owner == b.Owner;
    };
    if (rows.size() == shownRows_.size() && std::equal(rows.begin(), rows.end(), shownRows_.begin(), same) &&
        ui_->ListView1->topLevelItemCount() == static_cast<int>(rows.size())) {
        return;
    }
    shownRows_ = rows;
    ui_->ListView1->clear();
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TFolderRow& row = rows[i];
        auto* item = new QTreeWidgetItem(QStringList{ServerNameText(row.Name), FromBytes(row.Date),
                                                     FromBytes(row.Size), FromBytes(row.Attributes),
                                                     ServerNameText(row.Owner)});
        item->setIcon(0, ListIcon(row.ImageIndex));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
        items.append(item);
    }
    ui_->ListView1->addTopLevelItems(items);
}

void TFormFtpSelectDir::AppendLog(const QString& text) {
    AppendLogLine(ui_->Memo1, text);
}

void TFormFtpSelectDir::LogLine(const std::string& line) {
    AppendLog(LogLineText(line));
}

void TFormFtpSelectDir::Pump() {
    // The first listing shows up while the start-up goes on to the requested folder.
    if (busy_ && !startUpDone_) ShowRows();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace qp
