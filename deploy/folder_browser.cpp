#include "deploy/folder_browser.h"

#include <algorithm>
#include <cstdio>

#include "deploy/server_names.h"
#include "model/error.h"

namespace qp {

int CompareNoCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

int TFolderBrowser::CompareRows(const TFolderRow& a, const TFolderRow& b) {
    if (a.ImageIndex != b.ImageIndex) return a.ImageIndex == 0 ? -1 : 1;
    return CompareNoCase(a.Name, b.Name);
}

TFolderRow TFolderBrowser::MakeRow(const TFtpListEntry& entry) {
    TFolderRow row;
    row.Name = entry.Name;
    const bool folderLike = entry.Kind == TFtpEntryKind::Folder || entry.Kind == TFtpEntryKind::SymbolicLink;
    row.ImageIndex = folderLike ? 0 : 1;
    if (entry.Modified) {
        const TFtpDateTime& t = *entry.Modified;
        char buf[40];
        if (t.HasTime && (t.Hour != 0 || t.Minute != 0))
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", t.Year, t.Month, t.Day, t.Hour,
                          t.Minute);
        else
            std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.Year, t.Month, t.Day);
        row.Date = buf;
    }
    if (entry.Kind == TFtpEntryKind::Folder)
        row.Size = "<DIR>";
    else if (entry.Kind == TFtpEntryKind::SymbolicLink)
        row.Size = "<SLINK>";
    else if (entry.Size >= 0)
        row.Size = std::to_string(entry.Size);
    row.Attributes = entry.Permissions();
    row.Owner = entry.Owner;
    row.Entry = entry;
    return row;
}

TFolderBrowser::TFolderBrowser(TFolderBrowserListener& listener, const TConnection& connection)
    : listener_(listener), client_(MakeRemoteFiles(connection)) {
    Attach();
}

void TFolderBrowser::Attach() {
    client_->SetPump([this] { listener_.Pump(); });
    client_->SetLogHook([this](TRemoteLogDirection, const std::string& line) { AppendLog(line); });
}

TFolderBrowser::~TFolderBrowser() {
    // The listener may be gone already: say goodbye to the server without it.
    client_->SetPump({});
    client_->SetLogHook({});
    Close();
}

void TFolderBrowser::AppendLog(const std::string& text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.find_first_not_of(" \t") != std::string::npos) listener_.LogLine(line);
        if (end == text.size()) break;
        start = end + 1;
    }
}

std::optional<std::string> TFolderBrowser::StartUp() {
    // Every command and reply is logged, as in the upload dialog: a refusal later on (a
    // folder that cannot be made or deleted) is explained by the server's own reply.
    client_->SetLogEnabled(true);
    const std::string requested = directory_;
    std::optional<std::string> moveError;
    client_->Connect();
    listener_.Pump();
    Refresh();
    listener_.Pump();
    if (requested != directory_) {
        try {
            MoveTo(requested);
        } catch (const Error& e) {
            moveError = e.Message();
        }
    }
    return moveError;
}

void TFolderBrowser::Refresh() {
    rows_.clear();
    listingError_.reset();
    if (!client_->Connected()) {
        comboText_.clear();
        return;
    }
    std::vector<TFtpListEntry> entries;
    try {
        client_->List();
        entries = client_->Entries();
    } catch (const Error& e) {
        AppendLog(e.Message());
        if (!client_->Connected()) throw;
        listingError_ = e.Message();
    }
    const std::string folder = FromServerName(*client_, client_->CurrentFolder());
    auto at = std::lower_bound(history_.begin(), history_.end(), folder, [](const auto& a, const auto& b) {
        int c = CompareNoCase(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    if (at == history_.end() || *at != folder) history_.insert(at, folder);
    comboText_ = folder;
    for (const TFtpListEntry& e : entries) {
        rows_.push_back(MakeRow(e));
        rows_.back().Name = FromServerName(*client_, e.Name);
    }
    std::stable_sort(rows_.begin(), rows_.end(),
                     [](const TFolderRow& a, const TFolderRow& b) { return CompareRows(a, b) < 0; });
    directory_ = folder;
}

void TFolderBrowser::MoveTo(const std::string& folder) {
    if (folder.empty()) return;
    client_->ChangeFolder(ToServerName(*client_, folder));
    Refresh();
}

void TFolderBrowser::OpenRow(std::size_t row) {
    if (row >= rows_.size() || rows_[row].ImageIndex != 0) return;
    // The server's own spelling: a name shown converted may not convert back the same.
    client_->ChangeFolder(rows_[row].Entry.Name);
    Refresh();
}

void TFolderBrowser::Up() {
    client_->ChangeToParentFolder();
    Refresh();
}

void TFolderBrowser::MakeFolder(const std::string& name) {
    client_->MakeFolder(ToServerName(*client_, name));
    Refresh();
}

void TFolderBrowser::Delete(std::size_t row) {
    if (row >= rows_.size()) return;
    const TFolderRow target = rows_[row];
    if (target.ImageIndex == 0)
        client_->RemoveFolder(target.Entry.Name);
    else
        client_->DeleteFile(target.Entry.Name);
    Refresh();
}

void TFolderBrowser::Close() {
    client_->Disconnect();
}

}  // namespace qp
