#pragma once
// The remote folder browser: connects once it is on screen, lists the login folder, moves to
// the folder asked for, and lets the user move around, make folders and delete entries. The
// folder shown last is its result.
#include <QDialog>
#include <QIcon>
#include <memory>
#include <string>
#include <vector>

#include "deploy/folder_browser.h"

namespace Ui {
class TFormFtpSelectDir;
}
class QMenu;
class QTreeWidgetItem;

namespace qp {

// A folder or file name of the server for the screen: Shift_JIS like the project's texts,
// else UTF-8 with replacement characters.
QString ServerNameText(const std::string& name);

class TFormFtpSelectDir : public QDialog, private TFolderBrowserListener {
    Q_OBJECT
public:
    // The connection's trust and passphrase questions are asked in this dialog.
    explicit TFormFtpSelectDir(const TConnection& connection, QWidget* parent = nullptr);
    ~TFormFtpSelectDir() override;

    void SetDirectory(const std::string& directory);
    std::string GetDirectory() const;
    // The client, for what it was told and decided (passive mode, a certificate trusted).
    TRemoteFiles& Client() { return browser_.Client(); }
    // The start-up has run (whatever its outcome).
    bool StartUpDone() const { return startUpDone_; }

    // The four icons of the list and the tool buttons: folder, file, up arrow, waste bin.
    static QIcon ListIcon(int index);

    void ActionMoveDirExecute();
    void ActionChangeDirUpExecute();
    void ActionMakeDirExecute();
    void ActionDeleteFileExecute();
    void ListView1DblClick(QTreeWidgetItem* item);
    // Closing waits for a running server call to return; the connection ends here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StartUp();
    void MoveTo(const std::string& folder);
    // Runs a move (CWD, CDUP, a row): a failure is shown in the "エラー" box.
    template <class F>
    void Navigate(F&& move);
    // Runs one server call with the actions locked; false when another call still runs.
    template <class F>
    bool RunLocked(F&& call);
    void SetBusy(bool busy);
    // Runs a make or delete call, whose errors go on to the caller; a close asked for while it
    // ran is carried out when it ends, success or failure.
    template <class F>
    void ChangeFolderContents(F&& call);
    // Brings the list, the history and the folder field in line with the browser, touching
    // only what changed (a failed move leaves the typed folder and the selection alone).
    void ShowBrowser();
    void ShowRows();
    std::string ComboFolder() const;
    void ErrorBox(const QString& message);
    void AppendLog(const QString& text);

    void LogLine(const std::string& line) override;
    void Pump() override;

    std::unique_ptr<Ui::TFormFtpSelectDir> ui_;
    QMenu* PopupMenuListView;
    TFolderBrowser browser_;
    bool scheduled_ = false;
    bool startUpDone_ = false;
    bool busy_ = false;
    int pendingResult_ = -1;
    // What the window shows of the browser's state.
    std::vector<TFolderRow> shownRows_;
    std::vector<std::string> shownHistory_;
    std::string shownCombo_;
};

}  // namespace qp
