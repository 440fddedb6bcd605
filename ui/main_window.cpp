#include "ui/main_window.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QUrl>
#include <iterator>

#include "deploy/make_upload.h"
#include "editor/html_editor.h"
#include "generate/sample_pages.h"
#include "model/charset.h"
#include "ui/app_error.h"
#include "ui/app_setup.h"
#include "ui/form_about_box.h"
#include "ui/item_grid.h"
#include "ui/text_codec.h"
#include "ui/value_list.h"
#include "ui_main_window.h"

namespace qp {
namespace {

const QString kFrom = QStringLiteral("From");
const QString kTo = QStringLiteral("To");
const QString kSubject = QStringLiteral("Subject");

// The window's controls show no tooltips: their hints go to the status bar only. The tool
// bar's buttons carry no caption, so they keep theirs; other windows (the dialogs) keep all.
class TToolTipBlocker : public QObject {
public:
    TToolTipBlocker(QWidget* window, QWidget* toolBar)
        : QObject(window), window_(window), toolBar_(toolBar) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip && watched->isWidgetType()) {
            const auto* widget = static_cast<QWidget*>(watched);
            if (widget->window() == window_ && widget != toolBar_ && !toolBar_->isAncestorOf(widget))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* window_;
    QWidget* toolBar_;
};

// An action's caption without its access key: "新規(&N)" becomes "新規".
QString PlainCaption(QString caption) {
    static const QRegularExpression accessKey(QStringLiteral("\\(&.\\)$"));
    caption.remove(accessKey);
    return caption.remove(QLatin1Char('&'));
}

// A project text for a control; a broken byte sequence is reported with the field it is in.
QString FromProject(const std::string& sjis, const QString& fieldName) {
    try {
        return FromSjis(sjis);
    } catch (const charset::CharsetError& e) {
        throw Error("「" + fieldName.toStdString() + "」を表示できません。" + e.Message());
    }
}

void SelectButton(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) {
        button->setChecked(true);
        return;
    }
    // No button for this value: none is selected.
    group->setExclusive(false);
    for (QAbstractButton* b : group->buttons()) b->setChecked(false);
    group->setExclusive(true);
}

QString AskProjectFileName(QWidget* parent, bool forSave) {
    QFileDialog dialog(parent);
    dialog.setNameFilter(TFormMain::ProjectFileFilter());
    dialog.setDefaultSuffix(QStringLiteral("qpf"));
    if (forSave) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The protocols in the order of ComboBoxFtpProtocol's items.
constexpr TFtpProtocol kProtocols[] = {TFtpProtocol::Ftp, TFtpProtocol::Ftps, TFtpProtocol::Sftp};

int ProtocolIndex(TFtpProtocol protocol) {
    for (int i = 0; i < static_cast<int>(std::size(kProtocols)); ++i)
        if (kProtocols[i] == protocol) return i;
    return -1;
}

// Where the key file dialog opens: the chosen key's folder, else the user's SSH folder.
QString KeyFileStartFolder(const QString& current) {
    const QFileInfo chosen(current);
    if (!current.isEmpty() && chosen.isAbsolute() && chosen.dir().exists()) return chosen.absolutePath();
    const QDir ssh(QDir::home().filePath(QStringLiteral(".ssh")));
    return ssh.exists() ? ssh.path() : QDir::homePath();
}

}  // namespace

// Every setting as the controls show it (UTF-16) or the project holds it (Shift_JIS).
struct TFormMain::ControlValues {
    QString managerFrom, managerTo, managerSubject;
    bool useUserMail = false;
    QString userFrom, userTo, userSubject, userBody;
    QString formHtml;
    bool useConfirm = false;
    QString confirmHtml;
    int finishType = 0;
    QString finishLocation;
    QString perlPath, sendmailPath;
    int charset = 0;  // the index of ComboBoxCharset: 0 EUC-JP, 1 UTF-8
    QString ftpHostName, ftpUserName, ftpPassword, ftpFileName, ftpDirectory,
        ftpChmod;
    bool ftpPassive = false;
    TFtpProtocol protocol = TFtpProtocol::Ftps;
    QString sftpKeyFile;
    int makeFileType = 0;
    TGuardSettings guard;
};

template <class Sender, class Signal, class Handler>
void TFormMain::Wire(Sender* sender, Signal signal, Handler handler) {
    connect(sender, signal, this, [this, handler] { RunGuarded(this, [&] { (this->*handler)(); }); });
}

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TFormMain>()),
      fileNamePrompt_(AskProjectFileName),
      openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    ui_->setupUi(this);
    ui_->PageControl->setCurrentIndex(0);
    qApp->installEventFilter(new TToolTipBlocker(this, ui_->ToolBar));
    ui_->ActionFileNew->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    ui_->ActionFileOpen->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    ui_->ActionFileSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    ui_->ToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (QAction* action : ui_->ToolBar->actions()) {
        // An icon alone says little: the caption as tooltip and as hint in the status bar.
        const QString caption = PlainCaption(action->text());
        action->setToolTip(caption);
        if (action->statusTip().isEmpty()) action->setStatusTip(caption);
    }

    const QStringList headerKeys{kFrom, kTo, kSubject};
    SetupValueList(ui_->ValueListManagerHeader, headerKeys, 150, 480);
    SetupValueList(ui_->ValueListUserMailHeader, headerKeys, 150, 488);
    ui_->LayoutMail->addStretch(1);
    // The auto-reply panel takes the page; without it the check box stays at the top.
    ui_->LayoutUserMail->setStretchFactor(ui_->PanelUserMailEdit, 1);
    ui_->LayoutUserMail->addStretch(0);
    // The finish page editor takes the page; without it the address stays at the top.
    ui_->LayoutFinishHtml->setStretchFactor(ui_->PanelEditFinishHtml, 1);
    for (QLineEdit* edit : {ui_->EditFtpHostName, ui_->EditFtpUserName, ui_->EditPassword,
                            ui_->EditFtpFileName, ui_->EditFtpDirectory}) {
        // Host, account, file and folder names are typed in plain ASCII.
        edit->setAttribute(Qt::WA_InputMethodEnabled, false);
        edit->setInputMethodHints(Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    }

    finishGroup_ = new QButtonGroup(this);
    finishGroup_->addButton(ui_->RadioButtonFinishTemplate, 0);
    finishGroup_->addButton(ui_->RadioButtonFinishRedirect, 1);
    makeTypeGroup_ = new QButtonGroup(this);
    makeTypeGroup_->addButton(ui_->RadioButtonSaveLocal, 0);
    makeTypeGroup_->addButton(ui_->RadioButtonSaveAndUpdate, 1);
    makeTypeGroup_->addButton(ui_->RadioButtonSaveSheafer, 2);

    project_ = std::make_unique<TProjectConfig>();
    ui_->ItemGrid->SetProject(project_.get());
    ui_->ItemGrid->SetCurrentRow(1);

    for (THtmlEditor* editor : {ui_->EditorFormHtml, ui_->EditorConfirmHtml, ui_->EditorFinishHtml}) {
        SetupHtmlEditor(editor);
    }
    ui_->EditorUserMailBody->SetAutoIndent(true);
    ui_->EditorUserMailBody->SetLineNumbersVisible(true);
    ui_->EditorUserMailBody->SetRulerVisible(true);
    ui_->EditorUserMailBody->setStatusTip(QStringLiteral("<% name属性 %>で入力値が表示されます。"));

    connect(ui_->CheckBoxUseUserMail, &QCheckBox::toggled, this, [this] { UpdateUserMailVisibility(); });
    connect(ui_->CheckBoxUseConfirm, &QCheckBox::toggled, this, [this] { UpdateConfirmVisibility(); });
    connect(ui_->CheckBoxUseToken, &QCheckBox::toggled, this, [this] { UpdateGuardEnabling(); });
    connect(ui_->ComboBoxFtpProtocol, &QComboBox::currentIndexChanged, this, [this] { UpdateProtocolEnabling(); });
    connect(finishGroup_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) UpdateFinishVisibility(id);
    });

    Wire(ui_->ActionFileNew, &QAction::triggered, &TFormMain::ActionFileNewExecute);
    Wire(ui_->ActionFileOpen, &QAction::triggered, &TFormMain::ActionFileOpenExecute);
    Wire(ui_->ActionFileSave, &QAction::triggered, &TFormMain::ActionFileSaveExecute);
    Wire(ui_->ActionFileSaveAs, &QAction::triggered, &TFormMain::ActionFileSaveAsExecute);
    Wire(ui_->ActionFileOpenLibDir, &QAction::triggered, &TFormMain::ActionFileOpenLibDirExecute);
    Wire(ui_->ActionFileClose, &QAction::triggered, &TFormMain::ActionFileCloseExecute);
    Wire(ui_->ActionItemInsert, &QAction::triggered, &TFormMain::ActionItemInsertExecute);
    Wire(ui_->ActionItemUpdate, &QAction::triggered, &TFormMain::ActionItemUpdateExecute);
    Wire(ui_->ActionItemDelete, &QAction::triggered, &TFormMain::ActionItemDeleteExecute);
    Wire(ui_->ActionFormSampleHtml, &QAction::triggered, &TFormMain::ActionFormSampleHtmlExecute);
    Wire(ui_->ActionConfirmSampleHtml, &QAction::triggered, &TFormMain::ActionConfirmSampleHtmlExecute);
    Wire(ui_->ActionFtpSelectDir, &QAction::triggered, &TFormMain::ActionFtpSelectDirExecute);
    Wire(ui_->ActionMake, &QAction::triggered, &TFormMain::ActionMakeExecute);
    Wire(ui_->ActionPreview, &QAction::triggered, &TFormMain::ActionPreviewExecute);
    Wire(ui_->ActionHelpVersion, &QAction::triggered, &TFormMain::ActionHelpVersionExecute);
    Wire(ui_->BtnSftpKeyFile, &QPushButton::clicked, &TFormMain::BrowseSftpKeyFile);
    connect(ui_->ItemGrid, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        RunGuarded(this, [&] { ActionItemGridDblClickExecute(index); });
    });
    // Buttons run the actions, so that each operation has one entry point.
    const std::pair<QPushButton*, QAction*> buttons[] = {
        {ui_->BtnItemInsert, ui_->ActionItemInsert},
        {ui_->BtnItemUpdate, ui_->ActionItemUpdate},
        {ui_->BtnItemDelete, ui_->ActionItemDelete},
        {ui_->BtnFormSampleHtml, ui_->ActionFormSampleHtml},
        {ui_->BtnConfirmSampleHtml, ui_->ActionConfirmSampleHtml},
        {ui_->BtnFtpSelectDir, ui_->ActionFtpSelectDir},
        {ui_->BtnMake, ui_->ActionMake},
        {ui_->BtnPreview, ui_->ActionPreview},
    };
    for (const auto& [button, action] : buttons) {
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
    }

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    ActionFileNewExecute();
}

TFormMain::~TFormMain() {
    // The grid leaves the project's observers before the project goes.
    delete ui_->ItemGrid;
    ui_->ItemGrid = nullptr;
}

TItemGrid* TFormMain::ItemGrid() const {
    return ui_->ItemGrid;
}

QString TFormMain::LibFolderPath() {
    QString folder = QFile::decodeName(QByteArray::fromStdString(SupportFolder()));
    folder.chop(1);  // the folder itself, without the "/" that file names are appended to
    return folder;
}

QString TFormMain::ProjectFileFilter() {
    return QStringLiteral("設定ファイル(*.qpf);;すべてのファイル(*)");
}

void TFormMain::SetupHtmlEditor(THtmlEditor* editor) {
    editor->SetAutoIndent(true);
    editor->SetLineNumbersVisible(true);
    editor->SetRulerVisible(true);
    editor->EnableHtmlColouring(true);
    THtmlHighlighter* h = editor->Highlighter();
    const QColor white(0xFF, 0xFF, 0xFF);
    const QColor navy(0x00, 0x00, 0x80);
    const QColor blue(0x00, 0x00, 0xFF);
    h->SetStyle(THtmlToken::CharReference, {QColor(0x00, 0xFF, 0x00), QColor(), false, false});
    h->SetStyle(THtmlToken::MailAddress, {QColor(0, 0, 0), white, false, true});
    h->SetStyle(THtmlToken::Url, {QColor(0, 0, 0), white, false, true});
    h->SetStyle(THtmlToken::ReservedWord, {blue, white, false, false});
    h->SetStyle(THtmlToken::String, {blue, white, false, false});
    h->SetStyle(THtmlToken::TagName, {navy, white, true, false});
    h->SetStyle(THtmlToken::AttributeName, {navy, white, false, false});
    h->SetStyle(THtmlToken::AttributeValue, {navy, white, false, false});
    editor->setStatusTip(QStringLiteral("<% name属性 %>で入力値が表示されます。"));
}

int TFormMain::FinishPageMoveTypeIndex() const {
    return finishGroup_->checkedId();
}

void TFormMain::SetFinishPageMoveTypeIndex(int index) {
    SelectButton(finishGroup_, index);
    UpdateFinishVisibility(index);
}

void TFormMain::UpdateUserMailVisibility() {
    ui_->PanelUserMailEdit->setVisible(ui_->CheckBoxUseUserMail->isChecked());
}

void TFormMain::UpdateConfirmVisibility() {
    const bool on = ui_->CheckBoxUseConfirm->isChecked();
    ui_->EditorConfirmHtml->setVisible(on);
    ui_->BtnConfirmSampleHtml->setVisible(on);
}

void TFormMain::UpdateFinishVisibility(int index) {
    if (index != 0 && index != 1) return;
    ui_->PanelEditFinishHtml->setVisible(index == 0);
    ui_->EditFinishLocation->setVisible(index == 1);
    ui_->LabelFinishLocation->setVisible(index == 1);
}

TFormMain::ControlValues TFormMain::ReadProject() const {
    const TProjectConfig& p = *project_;
    ControlValues v;
    v.managerFrom = FromProject(p.GetManagerMailFrom(), QStringLiteral("メールのヘッダ From"));
    v.managerTo = FromProject(p.GetManagerMailTo(), QStringLiteral("メールのヘッダ To"));
    v.managerSubject = FromProject(p.GetManagerMailSubject(), QStringLiteral("メールのヘッダ Subject"));
    v.useUserMail = p.GetUseUserMail();
    v.userFrom = FromProject(p.GetUserMailFrom(), QStringLiteral("自動返信メール From"));
    v.userTo = FromProject(p.GetUserMailTo(), QStringLiteral("自動返信メール To"));
    v.userSubject = FromProject(p.GetUserMailSubject(), QStringLiteral("自動返信メール Subject"));
    v.userBody = FromProject(p.GetUserMailBody(), QStringLiteral("メール本文"));
    v.formHtml = FromProject(p.GetFormHtml(), QStringLiteral("フォーム画面"));
    v.useConfirm = p.GetUseConfirm();
    v.confirmHtml = FromProject(p.GetConfirmHtml(), QStringLiteral("確認画面"));
    v.finishType = p.GetFinishPageMoveType();
    v.finishLocation = FromProject(p.GetFinishPageLocation(), QStringLiteral("完了画面"));
    v.perlPath = FromProject(p.GetPerlPath(), QStringLiteral("perlのパス"));
    v.sendmailPath = FromProject(p.GetSendmailPath(), QStringLiteral("sendmailのパス"));
    v.charset = p.GetCharset() == TCgiCharset::Utf8 ? 1 : 0;
    v.ftpHostName = FromProject(p.GetFtpHostName(), QStringLiteral("ホスト名(アドレス)"));
    v.ftpUserName = FromProject(p.GetFtpUserName(), QStringLiteral("ユーザ名"));
    v.ftpPassword = FromProject(p.GetFtpPassword(), QStringLiteral("パスワード"));
    v.ftpFileName = FromProject(p.GetFtpFileName(), QStringLiteral("CGIのファイル名"));
    v.ftpDirectory = FromProject(p.GetFtpDirectory(), QStringLiteral("設置フォルダ"));
    v.ftpChmod = FromProject(p.GetFtpChmod(), QStringLiteral("属性変更コマンド"));
    v.ftpPassive = p.GetFtpPassive();
    v.protocol = p.GetFtpProtocol();
    v.sftpKeyFile = FromProject(p.GetSftpKeyFile(), QStringLiteral("鍵ファイル"));
    v.makeFileType = p.GetMakeFileType();
    v.guard = p.GetGuard();
    return v;
}

void TFormMain::ShowValues(const ControlValues& v) {
    SetListValue(ui_->ValueListManagerHeader, kFrom, v.managerFrom);
    SetListValue(ui_->ValueListManagerHeader, kTo, v.managerTo);
    SetListValue(ui_->ValueListManagerHeader, kSubject, v.managerSubject);
    ui_->CheckBoxUseUserMail->setChecked(v.useUserMail);
    SetListValue(ui_->ValueListUserMailHeader, kFrom, v.userFrom);
    SetListValue(ui_->ValueListUserMailHeader, kTo, v.userTo);
    SetListValue(ui_->ValueListUserMailHeader, kSubject, v.userSubject);
    ui_->EditorUserMailBody->SetText(v.userBody);
    UpdateUserMailVisibility();
    ui_->EditorFormHtml->SetText(v.formHtml);
    ui_->CheckBoxUseConfirm->setChecked(v.useConfirm);
    ui_->EditorConfirmHtml->SetText(v.confirmHtml);
    UpdateConfirmVisibility();
    SetFinishPageMoveTypeIndex(v.finishType);
    if (v.finishType == 0) {
        ui_->EditorFinishHtml->SetText(v.finishLocation);
        ui_->EditFinishLocation->clear();
    } else if (v.finishType == 1) {
        ui_->EditorFinishHtml->SetText(QString());
        // The project file gives multi-line settings a closing line break; a one-line
        // address must not carry it into the redirect.
        QString address = v.finishLocation;
        while (address.endsWith(QLatin1Char('\n')) || address.endsWith(QLatin1Char('\r'))) address.chop(1);
        ui_->EditFinishLocation->setText(address);
    }
    ui_->EditPerlPath->setText(v.perlPath);
    ui_->EditSendmailPath->setText(v.sendmailPath);
    ui_->ComboBoxCharset->setCurrentIndex(v.charset);
    ui_->EditFtpHostName->setText(v.ftpHostName);
    ui_->EditFtpUserName->setText(v.ftpUserName);
    ui_->EditPassword->setText(v.ftpPassword);
    ui_->EditFtpFileName->setText(v.ftpFileName);
    ui_->EditFtpDirectory->setText(v.ftpDirectory);
    ui_->EditFtpChmod->setText(v.ftpChmod);
    ui_->CheckBoxFtpPassive->setChecked(v.ftpPassive);
    ui_->ComboBoxFtpProtocol->setCurrentIndex(ProtocolIndex(v.protocol));
    ui_->EditSftpKeyFile->setText(v.sftpKeyFile);
    UpdateProtocolEnabling();
    SelectButton(makeTypeGroup_, v.makeFileType);
    ShowGuard(v.guard);
}

void TFormMain::ShowGuard(const TGuardSettings& g) {
    ui_->CheckBoxUseToken->setChecked(g.UseToken);
    ui_->SpinBoxMinSeconds->setValue(g.MinSeconds);
    ui_->SpinBoxTokenHours->setValue(g.TokenHours);
    ui_->CheckBoxUseHoneypot->setChecked(g.UseHoneypot);
    ui_->SpinBoxLimitCount->setValue(g.LimitCount);
    ui_->SpinBoxLimitMinutes->setValue(g.LimitMinutes);
    ui_->SpinBoxReplyLimit->setValue(g.ReplyLimit);
    ui_->CheckBoxVisitorFrom->setChecked(g.VisitorFrom);
    UpdateGuardEnabling();
}

TGuardSettings TFormMain::GuardFromControls() {
    for (QSpinBox* box : {ui_->SpinBoxMinSeconds, ui_->SpinBoxTokenHours, ui_->SpinBoxLimitCount,
                          ui_->SpinBoxLimitMinutes, ui_->SpinBoxReplyLimit}) {
        box->interpretText();  // a number still being typed counts
    }
    TGuardSettings g;
    g.UseToken = ui_->CheckBoxUseToken->isChecked();
    g.MinSeconds = ui_->SpinBoxMinSeconds->value();
    g.TokenHours = ui_->SpinBoxTokenHours->value();
    g.UseHoneypot = ui_->CheckBoxUseHoneypot->isChecked();
    g.LimitCount = ui_->SpinBoxLimitCount->value();
    g.LimitMinutes = ui_->SpinBoxLimitMinutes->value();
    g.ReplyLimit = ui_->SpinBoxReplyLimit->value();
    g.VisitorFrom = ui_->CheckBoxVisitorFrom->isChecked();
    return g;
}

// The times are measured from the token's issue time: without the token they do nothing.
void TFormMain::UpdateGuardEnabling() {
    const bool token = ui_->CheckBoxUseToken->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(ui_->SpinBoxMinSeconds), static_cast<QWidget*>(ui_->LabelMinSeconds),
                       static_cast<QWidget*>(ui_->SpinBoxTokenHours), static_cast<QWidget*>(ui_->LabelTokenHours)}) {
        w->setEnabled(token);
    }
}

void TFormMain::UpdateProtocolEnabling() {
    const bool sftp = ui_->ComboBoxFtpProtocol->currentIndex() == ProtocolIndex(TFtpProtocol::Sftp);
    for (QWidget* w : {static_cast<QWidget*>(ui_->CheckBoxFtpPassive), static_cast<QWidget*>(ui_->EditFtpChmod),
                       static_cast<QWidget*>(ui_->LabelFtpChmod)}) {
        w->setEnabled(!sftp);
    }
    for (QWidget* w : {static_cast<QWidget*>(ui_->EditSftpKeyFile), static_cast<QWidget*>(ui_->LabelSftpKeyFile),
                       static_cast<QWidget*>(ui_->BtnSftpKeyFile)}) {
        w->setEnabled(sftp);
    }
}

void TFormMain::BrowseSftpKeyFile() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("SftpKeyFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Private keys have no common suffix (id_ed25519, id_rsa, *.pem, *.key).
    dialog.setNameFilter(QStringLiteral("すべてのファイル(*)"));
    dialog.setDirectory(KeyFileStartFolder(ui_->EditSftpKeyFile->text()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    ui_->EditSftpKeyFile->setText(dialog.selectedFiles().constFirst());
}

void TFormMain::LoadControlsFromProject() {
    ShowValues(ReadProject());
}

void TFormMain::StoreControlsToProject() {
    CommitPendingEdit(ui_->ValueListManagerHeader);
    CommitPendingEdit(ui_->ValueListUserMailHeader);
    const auto sjis = [](const QString& text, const char* field) {
        return ToSjis(text, QString::fromUtf8(field));
    };
    const QTableWidget* manager = ui_->ValueListManagerHeader;
    const QTableWidget* user = ui_->ValueListUserMailHeader;
    const int finishType = FinishPageMoveTypeIndex();

    // Every text is converted before the project is touched.
    const std::string managerFrom = sjis(ListValue(manager, kFrom), "メールのヘッダ From");
    const std::string managerTo = sjis(ListValue(manager, kTo), "メールのヘッダ To");
    const std::string managerSubject = sjis(ListValue(manager, kSubject), "メールのヘッダ Subject");
    const std::string userFrom = sjis(ListValue(user, kFrom), "自動返信メール From");
    const std::string userTo = sjis(ListValue(user, kTo), "自動返信メール To");
    const std::string userSubject = sjis(ListValue(user, kSubject), "自動返信メール Subject");
    const std::string userBody = sjis(ui_->EditorUserMailBody->Text(), "メール本文");
    const std::string formHtml = sjis(ui_->EditorFormHtml->Text(), "フォーム画面");
    const std::string confirmHtml = sjis(ui_->EditorConfirmHtml->Text(), "確認画面");
    std::string finishLocation;
    if (finishType == 0) finishLocation = sjis(ui_->EditorFinishHtml->Text(), "完了画面");
    if (finishType == 1) finishLocation = sjis(ui_->EditFinishLocation->text(), "移動先URL");
    const std::string perlPath = sjis(ui_->EditPerlPath->text(), "perlのパス");
    const std::string sendmailPath = sjis(ui_->EditSendmailPath->text(), "sendmailのパス");
    const std::string ftpHostName = sjis(ui_->EditFtpHostName->text(), "ホスト名(アドレス)");
    const std::string ftpUserName = sjis(ui_->EditFtpUserName->text(), "ユーザ名");
    const std::string ftpPassword = sjis(ui_->EditPassword->text(), "パスワード");
    const std::string ftpFileName = sjis(ui_->EditFtpFileName->text(), "CGIのファイル名");
    const std::string ftpDirectory = sjis(ui_->EditFtpDirectory->text(), "設置フォルダ");
    const std::string ftpChmod = sjis(ui_->EditFtpChmod->text(), "属性変更コマンド");
    const std::string sftpKeyFile = sjis(ui_->EditSftpKeyFile->text(), "鍵ファイル");

    TProjectConfig& p = *project_;
    p.SetManagerMailFrom(managerFrom);
    p.SetManagerMailTo(managerTo);
    p.SetManagerMailSubject(managerSubject);
    p.SetUseUserMail(ui_->CheckBoxUseUserMail->isChecked());
    p.SetUserMailFrom(userFrom);
    p.SetUserMailTo(userTo);
    p.SetUserMailSubject(userSubject);
    p.SetUserMailBody(userBody);
    p.SetFormHtml(formHtml);
    p.SetUseConfirm(ui_->CheckBoxUseConfirm->isChecked());
    p.SetConfirmHtml(confirmHtml);
    // A display mode that no button stands for is kept as the project has it.
    if (finishType == 0 || finishType == 1) {
        p.SetFinishPageMoveType(finishType);
        p.SetFinishPageLocation(finishLocation);
    }
    p.SetPerlPath(perlPath);
    p.SetSendmailPath(sendmailPath);
    p.SetCharset(ui_->ComboBoxCharset->currentIndex() == 1 ? TCgiCharset::Utf8 : TCgiCharset::EucJp);
    p.SetFtpHostName(ftpHostName);
    p.SetFtpUserName(ftpUserName);
    p.SetFtpPassword(ftpPassword);
    p.SetFtpFileName(ftpFileName);
    p.SetFtpDirectory(ftpDirectory);
    p.SetFtpChmod(ftpChmod);
    p.SetFtpPassive(ui_->CheckBoxFtpPassive->isChecked());
    const int protocolIndex = ui_->ComboBoxFtpProtocol->currentIndex();
    if (protocolIndex >= 0) {
        const TFtpProtocol protocol = kProtocols[protocolIndex];
        // A trusted fingerprint belongs to its protocol: a certificate's would be refused as a
        // changed host key, and the other way round.
        if (protocol != p.GetFtpProtocol()) p.SetFtpTrustedCert(std::string());
        p.SetFtpProtocol(protocol);
    }
    p.SetSftpKeyFile(sftpKeyFile);
    if (makeTypeGroup_->checkedId() >= 0) p.SetMakeFileType(makeTypeGroup_->checkedId());
    p.SetGuard(GuardFromControls());
}

void TFormMain::SetFileName(const QString& path) {
    fileName_ = path;
    if (path.isEmpty()) {
        setWindowTitle(ApplicationTitle());
    } else {
        setWindowTitle(ApplicationTitle() + QStringLiteral(" - ") + QFileInfo(path).fileName() +
                       QStringLiteral(" -"));
    }
}

void TFormMain::SaveProjectAs(const QString& path) {
    StoreControlsToProject();
    project_->SaveToFile(LocalPath(path));
    SetFileName(path);
}

void TFormMain::OpenProjectFile(const QString& path) {
    project_->LoadFromFile(LocalPath(path));
    const ControlValues values = ReadProject();
    SetFileName(path);
    ShowValues(values);
}

void TFormMain::ActionFileNewExecute() {
    project_->Reset();
    SetFileName(QString());
    LoadControlsFromProject();
}

void TFormMain::ActionFileOpenExecute() {
    const QString path = fileNamePrompt_(this, false);
    if (path.isEmpty()) return;
    OpenProjectFile(path);
}

void TFormMain::ActionFileSaveExecute() {
    if (fileName_.isEmpty()) {
        ActionFileSaveAsExecute();
    } else {
        SaveProjectAs(fileName_);
    }
}

void TFormMain::ActionFileSaveAsExecute() {
    const QString path = fileNamePrompt_(this, true);
    if (path.isEmpty()) return;
    SaveProjectAs(path);
}

void TFormMain::ActionFileOpenLibDirExecute() {
    openUrl_(QUrl::fromLocalFile(LibFolderPath()));
}

void TFormMain::ActionFileCloseExecute() {
    close();
}

void TFormMain::ActionItemDeleteExecute() {
    const int row = ItemGrid()->CurrentRow();
    if (row < 1 || row > project_->GetItemCount()) return;
    const auto answer = QMessageBox::question(
        this, ApplicationTitle(), QStringLiteral("選択されている項目を削除します。よろしいですか？"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) return;
    project_->DeleteItem(row - 1);
}

void TFormMain::ActionFormSampleHtmlExecute() {
    ui_->EditorFormHtml->SetText(FromSjis(MakeFormSampleHtml(*project_)));
}

void TFormMain::ActionConfirmSampleHtmlExecute() {
    ui_->EditorConfirmHtml->SetText(FromSjis(MakeConfirmSampleHtml(*project_)));
}

void TFormMain::ActionHelpVersionExecute() {
    TFormAboutBox box(this);
    box.exec();
}

}  // namespace qp
