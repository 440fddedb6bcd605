#pragma once
// The logic of the remote folder browser: the connection, the listing as rows of five
// columns in the browser's order, moving around, making and deleting, and the sorted history
// of the folders shown. No window code: the dialog adapts TFolderBrowserListener and shows
// the rows, the history and the errors raised here.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deploy/connection.h"
#include "remote/remote_files.h"

namespace qp {

struct TFolderRow {
    std::string Name;        // in the project's code where the server speaks UTF-8, else the server's bytes
    int ImageIndex = 1;      // 0 folder or symbolic link, 1 anything else
    std::string Date;        // "YYYY-MM-DD HH:MM", the date alone at 00:00, empty when unknown
    std::string Size;        // "<DIR>", "<SLINK>" or the bytes in decimal (empty when unknown)
    std::string Attributes;  // e.g. "rwxr-xr-x"
    std::string Owner;
    TFtpListEntry Entry;  // everything the listing said, in the server's bytes
};

class TFolderBrowserListener {
public:
    virtual ~TFolderBrowserListener() = default;
    // One line for the log: every command and reply, and failed listings.
    virtual void LogLine(const std::string& line) = 0;
    // Called often while the network is waited for, and after connecting and the first listing.
    virtual void Pump() = 0;
};

class TFolderBrowser {
public:
    TFolderBrowser(TFolderBrowserListener& listener, const TConnection& connection);
    ~TFolderBrowser();
    TFolderBrowser(const TFolderBrowser&) = delete;
    TFolderBrowser& operator=(const TFolderBrowser&) = delete;

    // The folder asked for, before the start-up; the folder shown, afterwards.
    void SetDirectory(const std::string& directory) { directory_ = directory; }
    const std::string& GetDirectory() const { return directory_; }
    TRemoteFiles& Client() { return *client_; }

    // Connects with the protocol log on (it stays on for every later command), lists the
    // login folder and moves to the folder asked for. A failure to connect, list or read the folder
    // is raised (the dialog shows it and closes). A failed move is not: its message is
    // returned for the "エラー" box, and the login folder stays shown.
    std::optional<std::string> StartUp();

    // Lists the current folder again. A failed listing goes to the log and leaves no rows,
    // and ListingError() holds its message; a failed PWD, or a listing that cost the
    // connection, is raised.
    void Refresh();
    const std::optional<std::string>& ListingError() const { return listingError_; }
    // CWD with the text as it is, then Refresh; nothing for an empty text. Raises on failure;
    // after a failed CWD nothing has changed.
    void MoveTo(const std::string& folder);
    // A double-click: moves into the row when it is a folder or a link; nothing for a file.
    void OpenRow(std::size_t row);
    // CDUP, then Refresh. Raises on failure.
    void Up();
    // MKD, then Refresh. Raises on failure (without refreshing).
    void MakeFolder(const std::string& name);
    // RMD for a folder or link row, DELE for a file row, then Refresh. Raises on failure.
    void Delete(std::size_t row);
    // Disconnects when connected.
    void Close();

    const std::vector<TFolderRow>& Rows() const { return rows_; }
    // Every folder shown so far, sorted, each once.
    const std::vector<std::string>& History() const { return history_; }
    // The text of the folder field: the current folder, empty when not connected.
    const std::string& ComboText() const { return comboText_; }

    // The list's order: folders and links before everything else, names compared with
    // A-Z and a-z taken as equal. Returns <0, 0 or >0.
    static int CompareRows(const TFolderRow& a, const TFolderRow& b);
    static TFolderRow MakeRow(const TFtpListEntry& entry);

private:
    void AppendLog(const std::string& text);
    void Attach();

    TFolderBrowserListener& listener_;
    std::unique_ptr<TRemoteFiles> client_;
    std::string directory_;
    std::string comboText_;
    std::vector<TFolderRow> rows_;
    std::optional<std::string> listingError_;
    std::vector<std::string> history_;
};

// Compares names with a-z folded onto A-Z and every other byte by its value.
int CompareNoCase(const std::string& a, const std::string& b);

}  // namespace qp
