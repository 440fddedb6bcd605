#include "ui/main_window.h"
#include "ui/recent_files.h"
#include "ui/scroll_fit.h"

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
#include <QUndoStack>
#include <QUrl>
#include <iterator>

#include "deploy/make_upload.h"
#include "editor/html_editor.h"
#include "generate/sample_pages.h"
#include "model/charset.h"
#include "ui/app_error.h"
#include "ui/app_setup.h"
#include "ui/file_prompts.h"
#include "ui/form_about_box.h"
#include "ui/item_grid.h"
#include "ui/setting_controls.h"
#include "ui/text_codec.h"
#include "ui/value_list.h"
#include "ui_main_window.h"

namespace qp {
namespace {

// The window's first size; on a 1366x768 screen it fits with the title bar and a panel.
constexpr QSize kDefaultSize(860, 660);
// What the window frame and title take beyond the window's own size.
constexpr QSize kFrameAllowance(16, 40);

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

// Where the key file dialog opens: the chosen key's folder, else the user's SSH folder.
QString KeyFileStartFolder(const QString& current) {
    const QFileInfo chosen(current);
    if (!current.isEmpty() && chosen.isAbsolute() && chosen.dir().exists()) return chosen.absolutePath();
    const QDir ssh(QDir::home().filePath(QStringLiteral(".ssh")));
    return ssh.exists() ? ssh.path() : QDir::homePath();
}

}  // namespace


template <class Sender, class Signal, class Handler>
void TFormMain::Wire(Sender* sender, Signal signal, Handler handler) {
    connect(sender, signal, this, [this, handler] { RunGuarded(this, [&] { (this->*handler)(); }); });
}

TFormMain::TFormMain(QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TFormMain>()),
      fileNamePrompt_(AskProjectFileName),
      passwordPrompt_(AskPassword),
      openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    ui_->setupUi(this);
    ui_->PageControl->setCurrentIndex(0);
    MakePagesScroll(ui_->PageControl);
    setAcceptDrops(true);
    SetRecentFilesStore(QString());
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

    settingControls_ = std::make_unique<TSettingControls>(this, ProjectSettings());
    finishGroup_ = settingControls_->Group(TSetting::FinishPageMoveType);

    project_ = std::make_unique<TProjectConfig>();
    ui_->ItemGrid->SetProject(project_.get());
    ui_->ItemGrid->SetCurrentRow(1);

    for (THtmlEditor* editor : {ui_->EditorFormHtml, ui_->EditorConfirmHtml, ui_->EditorFinishHtml}) {
        SetupHtmlEditor(editor);
    }
    // The form page is where a failed check shows its messages.
    ui_->EditorFormHtml->setStatusTip(
        QStringLiteral("<% name属性 %>で入力値、<% name属性_error %>でその項目のエラー、"
                       "<% __error_summary__ %>でエラーの一覧が表示されます。"));
    ui_->EditorUserMailBody->SetAutoIndent(true);
    ui_->EditorUserMailBody->SetLineNumbersVisible(true);
    ui_->EditorUserMailBody->SetRulerVisible(true);
    ui_->EditorUserMailBody->setStatusTip(QStringLiteral("<% name属性 %>で入力値が表示されます。"));

    connect(ui_->CheckBoxUseUserMail, &QCheckBox::toggled, this, [this] { UpdateUserMailVisibility(); });
    connect(ui_->CheckBoxUseConfirm, &QCheckBox::toggled, this, [this] { UpdateConfirmVisibility(); });
    connect(ui_->CheckBoxUseToken, &QCheckBox::toggled, this, [this] { UpdateGuardEnabling(); });
    connect(ui_->ComboBoxFtpProtocol, &QComboBox::currentIndexChanged, this, [this] { UpdateProtocolEnabling(); });
    connect(ui_->ComboBoxSampleStyle, &QComboBox::currentIndexChanged, this, [this] { FollowSampleStyle(); });
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
    Wire(ui_->ActionItemDuplicate, &QAction::triggered, &TFormMain::ActionItemDuplicateExecute);
    Wire(ui_->ActionItemUp, &QAction::triggered, &TFormMain::ActionItemUpExecute);
    Wire(ui_->ActionItemDown, &QAction::triggered, &TFormMain::ActionItemDownExecute);
    Wire(ui_->ActionEditUndo, &QAction::triggered, &TFormMain::ActionEditUndoExecute);
    Wire(ui_->ActionEditRedo, &QAction::triggered, &TFormMain::ActionEditRedoExecute);
    Wire(ui_->ActionFormSampleHtml, &QAction::triggered, &TFormMain::ActionFormSampleHtmlExecute);
    Wire(ui_->ActionConfirmSampleHtml, &QAction::triggered, &TFormMain::ActionConfirmSampleHtmlExecute);
    Wire(ui_->ActionFtpSelectDir, &QAction::triggered, &TFormMain::ActionFtpSelectDirExecute);
    Wire(ui_->ActionMake, &QAction::triggered, &TFormMain::ActionMakeExecute);
    Wire(ui_->ActionPreview, &QAction::triggered, &TFormMain::ActionPreviewExecute);
    Wire(ui_->ActionHelpVersion, &QAction::triggered, &TFormMain::ActionHelpVersionExecute);
    Wire(ui_->BtnSftpKeyFile, &QPushButton::clicked, &TFormMain::BrowseSftpKeyFile);
    connect(ui_->ItemGrid, &TItemGrid::ItemMoveRequested, this,
            [this](int from, int to) { MoveItem(from, to, QStringLiteral("移動")); });
    // The inbox (ui/main_window_inbox.cpp).
    Wire(ui_->ActionInbox, &QAction::triggered, &TFormMain::ActionInboxExecute);
    Wire(ui_->BtnInboxWindow, &QPushButton::clicked, &TFormMain::ActionInboxExecute);
    Wire(ui_->BtnInboxNewKey, &QPushButton::clicked, &TFormMain::MakeInboxKey);
    connect(ui_->ItemGrid, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        RunGuarded(this, [&] { ActionItemGridDblClickExecute(index); });
    });
    // Buttons run the actions, so that each operation has one entry point.
    const std::pair<QPushButton*, QAction*> buttons[] = {
        {ui_->BtnItemInsert, ui_->ActionItemInsert},
        {ui_->BtnItemUpdate, ui_->ActionItemUpdate},
        {ui_->BtnItemDelete, ui_->ActionItemDelete},
        {ui_->BtnItemDuplicate, ui_->ActionItemDuplicate},
        {ui_->BtnItemUp, ui_->ActionItemUp},
        {ui_->BtnItemDown, ui_->ActionItemDown},
        {ui_->BtnFormSampleHtml, ui_->ActionFormSampleHtml},
        {ui_->BtnConfirmSampleHtml, ui_->ActionConfirmSampleHtml},
        {ui_->BtnFtpSelectDir, ui_->ActionFtpSelectDir},
        {ui_->BtnMake, ui_->ActionMake},
        {ui_->BtnPreview, ui_->ActionPreview},
    };
    for (const auto& [button, action] : buttons) {
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
    }

    // Room for the tallest page where the screen has it; the pages scroll where it has not.
    resize(kDefaultSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        resize(size().boundedTo(screen->availableGeometry().size() - kFrameAllowance));
        move(screen->availableGeometry().center() - rect().center());
    }
    // The item list's undo history; the text editors keep their own (Ctrl+Z there is theirs).
    itemUndo_ = new QUndoStack(this);
    ui_->ActionEditUndo->setEnabled(false);
    ui_->ActionEditRedo->setEnabled(false);
    connect(itemUndo_, &QUndoStack::canUndoChanged, ui_->ActionEditUndo, &QAction::setEnabled);
    connect(itemUndo_, &QUndoStack::canRedoChanged, ui_->ActionEditRedo, &QAction::setEnabled);
    // The Delete key in the grid, and the grid's own menu of the item actions.
    ui_->ActionItemDelete->setShortcut(QKeySequence::Delete);
    ui_->ActionItemDelete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ui_->ItemGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
    ui_->ItemGrid->addActions({ui_->ActionItemInsert, ui_->ActionItemUpdate, ui_->ActionItemDelete,
                               ui_->ActionItemDuplicate, ui_->ActionItemUp, ui_->ActionItemDown});
    connect(ui_->ItemGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { UpdateItemActions(); });

    WatchForChanges();
    ActionFileNewExecute();
}

TFormMain::~TFormMain() {
    project_->RemoveObserver(itemListWatch_.get());
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

// A finish page that is still the other style's default page takes the chosen style's; one
// the user has changed is theirs and stays.
void TFormMain::FollowSampleStyle() {
    const TPageStyle chosen = ChosenSampleStyle();
    const TPageStyle other = chosen == TPageStyle::Html5 ? TPageStyle::Xhtml : TPageStyle::Html5;
    const auto shown = [](TPageStyle style) {
        return FromSjis(TProjectConfig::MakeDefaultFinishHtml(style)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    };
    QString current = ui_->EditorFinishHtml->Text();
    current.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (current == shown(other)) ui_->EditorFinishHtml->ReplaceText(FromSjis(TProjectConfig::MakeDefaultFinishHtml(chosen)));
}

int TFormMain::FinishPageMoveTypeIndex() const {
    return finishGroup_->checkedId();
}

void TFormMain::SetFinishPageMoveTypeIndex(int index) {
    SelectInGroup(finishGroup_, index);
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

TFormMain::ShownProject TFormMain::ReadProject(const TProjectConfig& p) const {
    ShownProject shown;
    shown.values = settingControls_->Prepare(p.Settings());
    shown.finishType = p.GetFinishPageMoveType();
    try {
        shown.finishLocation = FromSjis(p.GetFinishPageLocation());
    } catch (const charset::CharsetError& e) {
        throw Error("「完了画面」を表示できません。" + e.Message());
    }
    return shown;
}

void TFormMain::ShowValues(const ShownProject& shown) {
    settingControls_->Show(shown.values);
    UpdateUserMailVisibility();
    UpdateConfirmVisibility();
    UpdateFinishVisibility(shown.finishType);
    if (shown.finishType == kFinishTemplate) {
        ui_->EditorFinishHtml->SetText(shown.finishLocation);
        ui_->EditFinishLocation->clear();
    } else if (shown.finishType == kFinishRedirect) {
        ui_->EditorFinishHtml->SetText(QString());
        // The project file gives multi-line settings a closing line break; a one-line
        // address must not carry it into the redirect.
        QString address = shown.finishLocation;
        while (address.endsWith(QLatin1Char('\n')) || address.endsWith(QLatin1Char('\r'))) address.chop(1);
        ui_->EditFinishLocation->setText(address);
    }
    UpdateProtocolEnabling();
    UpdateGuardEnabling();
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
    const bool sftp = ui_->ComboBoxFtpProtocol->currentIndex() == static_cast<int>(TFtpProtocol::Sftp);
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
    ShowValues(ReadProject(*project_));
}

void TFormMain::StoreControlsToProject() {
    TProjectConfig& p = *project_;
    const int finishType = FinishPageMoveTypeIndex();
    // Every text is converted before the project is touched.
    TSettingValues values = p.Settings();
    settingControls_->Store(values);
    if (finishType == kFinishTemplate)
        values.Set(TSetting::FinishPageLocation, ToSjis(ui_->EditorFinishHtml->Text(), QStringLiteral("完了画面")));
    if (finishType == kFinishRedirect)
        values.Set(TSetting::FinishPageLocation, ToSjis(ui_->EditFinishLocation->text(), QStringLiteral("移動先URL")));
    // A trusted fingerprint belongs to its protocol: a certificate's would be refused as a
    // changed host key, and the other way round.
    if (values.Int(TSetting::FtpProtocol) != p.Int(TSetting::FtpProtocol))
        values.Set(TSetting::FtpTrustedCert, std::string());
    p.Settings() = std::move(values);
}

void TFormMain::ActionFileOpenLibDirExecute() {
    openUrl_(QUrl::fromLocalFile(LibFolderPath()));
}

void TFormMain::ActionHelpVersionExecute() {
    TFormAboutBox box(this);
    box.exec();
}

}  // namespace qp
