#include "deploy/upload_sequence.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>

#include "deploy/server_names.h"
#include "generate/file_utility.h"
#include "model/charset.h"
#include "model/error.h"

namespace qp {

std::string LogText(const std::string& sjis) {
    try {
        return charset::SjisToUtf8(sjis);
    } catch (const Error&) {
        return sjis;
    }
}

TUploadSequence::TUploadSequence(TUploadListener& listener, const TConnection& connection)
    : listener_(listener), client_(MakeRemoteFiles(connection)) {
    Attach();
}

void TUploadSequence::Attach() {
    client_->SetPump([this] { listener_.Pump(); });
    client_->SetCancelCheck([this] { return listener_.CancelRequested(); });
    // The client's own steps (TLS, the certificate) go to the log; the traffic does not.
    client_->SetLogEnabled(true);
    client_->SetLogHook([this](TRemoteLogDirection direction, const std::string& line) {
        if (direction == TRemoteLogDirection::Note) listener_.LogLine(line);
    });
}

void TUploadSequence::SetUploadFiles(const std::vector<TUploadFile>& files, const std::string& ftpDirectory,
                                     const std::string& chmodCommand) {
    files_ = files;
    ftpDirectory_ = ftpDirectory;
    chmodCommand_ = chmodCommand;
}

void TUploadSequence::Run() {
    if (started_) return;
    started_ = true;
    try {
        UploadAll();
    } catch (const Error& e) {
        RemoveTemporaries();
        const bool cancelled = listener_.CancelRequested() && !placing_;
        if (cancelled && client_->Connected()) LogCancelled();
        client_->Disconnect();
        finished_ = true;
        // Cancelled while connecting or sending: the user asked for the stop, it is no failure.
        if (cancelled) return;
        throw Error(FailureMessage(e.Message()));
    } catch (...) {
        RemoveTemporaries();
        client_->Disconnect();
        finished_ = true;
        throw;
    }
    if (listener_.CancelRequested() && !placing_) {
        RemoveTemporaries();
        LogCancelled();
    }
    client_->Disconnect();
    finished_ = true;
}

void TUploadSequence::LogCancelled() {
    listener_.LogLine("アップロードを中止しました。設置済みのファイルは変更していません。");
}

namespace {

// A name of its own for each deploy, hidden by the dot from directory listings of the site.
std::string TemporaryPrefix() {
    std::random_device random;
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(random()));
    return std::string(".qp-") + text + "-";
}

// The sizes a whole copy may have on the server: as sent, or with CR LF turned into LF (an
// ASCII transfer to a Unix server, and SFTP, which stores text with LF).
std::pair<std::int64_t, std::int64_t> WholeSizes(const std::string& localPath) {
    std::ifstream in(localPath, std::ios::binary);
    std::int64_t size = 0, crlf = 0;
    char previous = 0;
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i) {
            if (previous == '\r' && buffer[i] == '\n') ++crlf;
            previous = buffer[i];
        }
        size += static_cast<std::int64_t>(got);
    }
    return {size, size - crlf};
}

// Runs one step on the server; its failure names the file and the step before the reason.
template <class F>
void Step(const std::string& file, const char* step, F&& work) {
    try {
        work();
    } catch (const Error& e) {
        throw Error(file + step + e.Message());
    }
}

std::string Names(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : "、") + n;
    return out.empty() ? "なし" : out;
}

}  // namespace

void TUploadSequence::RemoveTemporaries() {
    if (std::all_of(staged_.begin(), staged_.end(), [](const Staged& s) { return s.Placed; })) return;
    if (!client_->Connected() && !listener_.CancelRequested()) {
        // The connection was cut: one more log-in, within its bounded waits, to take back
        // what was sent. A server that is gone keeps the hidden files until the next deploy.
        try {
            client_->Connect();
            const std::string folder = ToServerName(*client_, ftpDirectory_);
            if (!folder.empty() && client_->CurrentFolder() != folder) client_->ChangeFolder(folder);
        } catch (const Error&) {
            client_->Disconnect();
            return;
        }
    }
    for (const Staged& staged : staged_) {
        if (staged.Placed || !client_->Connected()) continue;
        try {
            client_->DeleteFile(staged.Temporary);
        } catch (const Error&) {
            // Best effort: the name starts with a dot and holds nothing live.
        }
    }
}

void TUploadSequence::UploadAll() {
    client_->Connect();
    const std::string folder = ToServerName(*client_, ftpDirectory_);
    if (!folder.empty() && client_->CurrentFolder() != folder) client_->ChangeFolder(folder);
    const std::string prefix = TemporaryPrefix();
    for (const TUploadFile& file : files_) {
        struct stat st {};
        if (::stat(file.LocalFileName.c_str(), &st) != 0) {
            listener_.LogLine("[ERROR]" + file.LocalFileName + "が見つかりません。");
            continue;
        }
        if (listener_.CancelRequested()) return;
        const std::int64_t size = TkFileUtility::GetFileSize(file.LocalFileName);
        client_->AnnounceSize(size);
        if (listener_.CancelRequested()) return;
        const std::string serverName = ToServerName(*client_, file.RemoteFileName);
        staged_.push_back({&file, serverName, prefix + serverName, false});
        const std::string& temporary = staged_.back().Temporary;
        const std::string remote = LogText(file.RemoteFileName);
        Step(remote, "を送信できませんでした: ", [&] {
            client_->StoreText(file.LocalFileName, temporary, [&](std::int64_t sent, std::int64_t total) {
                listener_.Progress(file, sent, total);
            });
        });
        listener_.LogLine(remote + "をアップロードしました。");
        if (listener_.CancelRequested()) return;
        if (file.Chmod) {
            if (client_->UsesChmodCommand())
                listener_.LogLine(LogText(chmodCommand_ + " 755 " + file.RemoteFileName));
            else
                listener_.LogLine(remote + " のアクセス権を 755 に設定します（SFTP ではchmodコマンドの設定は使いません）。");
            Step(remote, "のアクセス権を設定できませんでした: ", [&] { client_->SetMode(temporary, 0755, chmodCommand_); });
            listener_.LogLine(remote + " のアクセス権を設定しました。");
        }
    }
    if (listener_.CancelRequested()) return;
    CheckSizes();
    if (listener_.CancelRequested()) return;
    PlaceAll();
}

// After every transfer, so that a server that reports sizes in another mode switches once.
void TUploadSequence::CheckSizes() {
    for (const Staged& s : staged_) {
        std::optional<std::int64_t> stored;
        Step(LogText(s.File->RemoteFileName), "の大きさを確かめられませんでした: ",
             [&] { stored = client_->RemoteSize(s.Temporary); });
        if (!stored) continue;
        const auto [asSent, withLf] = WholeSizes(s.File->LocalFileName);
        if (*stored != asSent && *stored != withLf)
            throw Error(LogText(s.File->RemoteFileName) + "がサーバーに正しく保存されませんでした（" +
                        std::to_string(*stored) + "バイト、" + std::to_string(withLf) + "バイトのはずです）。");
    }
}

void TUploadSequence::PlaceAll() {
    // The runtime first, the script last: the runtime serves the scripts of the release before
    // as well, so the site works at every moment between two renames.
    std::vector<Staged*> order;
    for (Staged& s : staged_)
        if (!s.File->Chmod) order.push_back(&s);
    for (Staged& s : staged_)
        if (s.File->Chmod) order.push_back(&s);
    placing_ = true;
    for (Staged* s : order) {
        const std::string remote = LogText(s->File->RemoteFileName);
        bool inOneStep = true;
        Step(remote, "を置き換えられませんでした: ",
             [&] { inOneStep = client_->Rename(s->Temporary, s->ServerName); });
        if (!inOneStep)
            listener_.LogLine(remote + "はサーバーが上書きの名前変更をしないため、古いファイルを削除してから置き換えました。");
        s->Placed = true;
    }
    listener_.LogLine("設置が完了しました。");
}

std::string TUploadSequence::FailureMessage(const std::string& reason) const {
    if (!placing_) return reason + "\n設置済みのファイルは変更していません。";
    std::vector<std::string> placed, kept;
    for (const Staged& s : staged_) (s.Placed ? placed : kept).push_back(LogText(s.File->RemoteFileName));
    return reason + "\n設置の途中で失敗しました。新しいファイル: " + Names(placed) + "／元のままのファイル: " +
           Names(kept);
}

}  // namespace qp
