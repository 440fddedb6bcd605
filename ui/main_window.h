#pragma once
// The program's only top-level window: owns the project, shows every setting on seven tab
// pages, keeps controls and project in step by two whole copies and runs the actions.
#include <QMainWindow>
#include <QModelIndex>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/project_config.h"
#include "ui/setting_controls.h"

namespace Ui {
class TFormMain;
}
class QButtonGroup;
class QUndoStack;

namespace qp {

class TItemGrid;
class TPreviewRunner;
class TPreviewWindow;
class TRecentFiles;
class THtmlEditor;
class TRemoteFiles;
class TSettingControls;
struct TMakeProblem;

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    TProjectConfig& Project() { return *project_; }
    TItemGrid* ItemGrid() const;
    QString FileName() const { return fileName_; }

    // The two whole copies between the controls and the project. Both convert every text
    // before changing anything, so a text that cannot be converted leaves both sides as they were.
    void LoadControlsFromProject();
    void StoreControlsToProject();

    // The caption, with Qt's changed mark after the file name (ui/main_window_file.cpp).
    void SetFileName(const QString& path);
    void SaveProjectAs(const QString& path);
    // Save, or Save As for a project never saved; false when the name was not given.
    bool SaveProject();
    // Open without the dialog (start-up argument, tests). All or nothing: a file that is no
    // project, or fails to load, leaves the open project, its name and its mark as they were.
    void OpenProjectFile(const QString& path);
    // A changed project asks "変更を保存しますか？": true when the changes are saved or may go.
    bool ConfirmLosingChanges();
    void SetupHtmlEditor(THtmlEditor* editor);

    // Asks for a project file name (empty: cancelled). Replaceable so that tests need no dialog.
    using FileNamePrompt = std::function<QString(QWidget* parent, bool forSave)>;
    void SetFileNamePrompt(FileNamePrompt prompt) { fileNamePrompt_ = std::move(prompt); }
    // Asks for the server password of this session (nullopt: cancelled). Replaceable too.
    using PasswordPrompt = std::function<std::optional<QString>(QWidget* parent)>;
    void SetPasswordPrompt(PasswordPrompt prompt) { passwordPrompt_ = std::move(prompt); }
    // Where the recent projects are kept (an ini file; tests). The default is the user's.
    void SetRecentFilesStore(const QString& store);
    // Opens a recent project, after the question about unsaved changes; one that is gone
    // leaves the list with a message.
    void OpenRecentFile(const QString& path);
    // Opens a folder or address in the desktop. Replaceable for the same reason.
    using UrlOpener = std::function<void(const QUrl& url)>;
    void SetUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

    // The support folder "lib" beside the program file.
    static QString LibFolderPath();
    // The Qt file dialog filter of project files.
    static QString ProjectFileFilter();

    // Finish page display mode shown by the radio group: 0, 1, or -1 when neither is selected.
    int FinishPageMoveTypeIndex() const;
    void SetFinishPageMoveTypeIndex(int index);

    void ActionFileNewExecute();
    void ActionFileOpenExecute();
    void ActionFileSaveExecute();
    void ActionFileSaveAsExecute();
    void ActionFileOpenLibDirExecute();
    void ActionFileCloseExecute();
    // Item actions (ui/main_window_items.cpp); each is one step of the item list's undo history.
    void ActionItemDeleteExecute();
    void ActionItemDuplicateExecute();
    void ActionItemUpExecute();
    void ActionItemDownExecute();
    void ActionEditUndoExecute();
    void ActionEditRedoExecute();
    void ActionFormSampleHtmlExecute();
    void ActionConfirmSampleHtmlExecute();
    void ActionHelpVersionExecute();

    // Item editor actions (ui/main_window_items.cpp).
    void ActionItemInsertExecute();
    void ActionItemUpdateExecute();
    void ActionItemGridDblClickExecute(const QModelIndex& index);
    // Make and the remote-folder browse (ui/main_window_make.cpp).
    void ActionMakeExecute();
    void ActionFtpSelectDirExecute();
    // Picks SFTP's private key file into its field.
    void BrowseSftpKeyFile();
    void MakeLocal();
    void MakeAndUpload();
    void MakeConverterFile();
    // A certificate the user chose to trust in an FTP dialog goes into the project.
    void KeepTrustedCertificate(const TRemoteFiles& client);
    // Asks for the path of a CGI or converter file to write (empty: cancelled), starting at
    // preset. Replaceable so that tests need no dialog.
    using SavePathPrompt = std::function<QString(QWidget* parent, const QString& filter,
                                                 const QString& defaultSuffix, const QString& preset)>;
    void SetSavePathPrompt(SavePathPrompt prompt) { savePathPrompt_ = std::move(prompt); }
    // The folder of the Perl files uploaded with the script; empty: "lib" beside the program.
    void SetSupportFolder(const QString& folder) { supportFolder_ = folder; }
    // The project's CGI served on this computer and opened in the browser; a second run
    // restarts it with the current project (ui/main_window_preview.cpp).
    void ActionPreviewExecute();
    TPreviewRunner& PreviewRunner();
    // The inbox (ui/main_window_inbox.cpp): a new key pair into the inbox settings, and the
    // 受信データ window over the project's local store.
    void MakeInboxKey();
    void ActionInboxExecute();
    // Asks for the new private key's file and its passphrase (nullopt: cancelled).
    // Replaceable so that tests need no dialog.
    using InboxKeyPrompt = std::function<std::optional<std::pair<QString, std::string>>(QWidget* parent)>;
    void SetInboxKeyPrompt(InboxKeyPrompt prompt) { inboxKeyPrompt_ = std::move(prompt); }

protected:
    void closeEvent(QCloseEvent* event) override;
    // A project file dropped on the window is opened (ui/main_window_recent.cpp).
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    std::unique_ptr<Ui::TFormMain> ui_;

private:
    struct ShownProject;
    class ItemListWatch;
    ShownProject ReadProject(const TProjectConfig& project) const;
    void ShowValues(const ShownProject& shown);
    // Connects a trigger to a handler whose errors go to the application's error display.
    template <class Sender, class Signal, class Handler>
    void Wire(Sender* sender, Signal signal, Handler handler);
    void UpdateUserMailVisibility();
    void UpdateConfirmVisibility();
    void UpdateFinishVisibility(int index);
    void UpdateGuardEnabling();
    void FollowSampleStyle();
    // Passive mode and the chmod command are FTP's; the key file is SFTP's.
    void UpdateProtocolEnabling();
    // Any change of a control or of the item list marks the project changed.
    void WatchForChanges();
    void MarkChanged();
    void ItemListChanged();
    // The item actions are enabled as the current row allows (none for the empty list).
    void UpdateItemActions();
    void MoveCurrentItem(int by);
    // Moves the item at index from to index to as one undoable step named what.
    void MoveItem(int from, int to, const QString& what);
    // Pushes the change since `before` (a snapshot of the item list) as one undoable step.
    void RecordItemChange(const QString& what, const std::string& before);
    // A sample page into a template editor, asked first when it holds a text of its own.
    void ReplaceWithSample(THtmlEditor* editor, const std::string& sample);
    TPageStyle ChosenSampleStyle() const;
    void RememberRecentFile(const QString& path);
    void UpdateRecentFilesMenu();
    void StartPreview();
    // After 新規作成 or 開く: a running preview restarts on the project now shown, or stops.
    void PreviewFollowsProject();
    // A password the project does not keep is asked for; false when the user gives none.
    bool ObtainPassword();
    // The make's problems in one message, each with its page (ui/main_window_checks.cpp):
    // true when there are none, or only warnings and the user goes on.
    bool PassChecks(const std::vector<TMakeProblem>& problems);
    void GoToProblem(const TMakeProblem& problem);
    QWidget* ProblemControl(const TMakeProblem& problem) const;
    // The tab page that holds control; -1 for none.
    int PageOf(const QWidget* control) const;

    std::unique_ptr<TProjectConfig> project_;
    QString fileName_;
    // The controls of the settings table; the finish page's display mode is one of them.
    std::unique_ptr<TSettingControls> settingControls_;
    QButtonGroup* finishGroup_;
    std::unique_ptr<ItemListWatch> itemListWatch_;
    QUndoStack* itemUndo_ = nullptr;
    FileNamePrompt fileNamePrompt_;
    PasswordPrompt passwordPrompt_;
    UrlOpener openUrl_;
    SavePathPrompt savePathPrompt_;
    QString supportFolder_;
    TPreviewWindow* previewWindow_ = nullptr;
    std::unique_ptr<TRecentFiles> recentFiles_;
    InboxKeyPrompt inboxKeyPrompt_;
};

// What the controls show of a project, every text converted.
struct TFormMain::ShownProject {
    TSettingControls::Shown values;
    int finishType = kFinishTemplate;
    QString finishLocation;
};

// Marks the window changed whenever the item list changes.
class TFormMain::ItemListWatch : public TProjectItemObservable {
public:
    explicit ItemListWatch(TFormMain& window) : window_(window) {}
    void Notify(TProjectConfig*) override { window_.ItemListChanged(); }

private:
    TFormMain& window_;
};

}  // namespace qp
