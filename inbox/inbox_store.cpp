#include "inbox/inbox_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "model/atomic_file.h"
#include "model/error.h"

namespace qp {
namespace {

std::string WithoutExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool IsReadMark(const std::string& line) {
    return line.size() == 34 && line.compare(0, 2, "R ") == 0;
}

}  // namespace

std::string TInboxStore::PathFor(const std::string& projectPath) {
    return WithoutExtension(projectPath) + ".inbox";
}

std::string TInboxStore::AsidePathFor(const std::string& projectPath) {
    return WithoutExtension(projectPath) + ".inbox-bad";
}

TInboxStore::TInboxStore(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return;
        throw FileError(path_ + " を開けません: " + std::strerror(errno));
    }
    std::ostringstream text;
    text << in.rdbuf();
    for (const std::string& line : SplitLines(text.str()))
        if (!line.empty()) Add(line);
}

bool TInboxStore::Add(const std::string& line) {
    if (!held_.insert(line).second) return false;
    lines_.push_back(line);
    return true;
}

bool TInboxStore::MarkRead(const std::string& id) {
    return Add("R " + id);
}

void TInboxStore::Save() const {
    std::string bytes;
    for (const std::string& line : lines_) bytes += line + "\n";
    WriteFileAtomic(path_, bytes, TFileAccess::OwnerOnly);
}

TInboxContents OpenInboxStore(const TInboxStore& store, const TInboxPrivateKey& key) {
    TInboxContents contents;
    std::map<std::string, std::size_t> byId;
    std::set<std::string> read;
    for (const std::string& line : store.Lines()) {
        if (IsReadMark(line)) read.insert(line.substr(2));
        const TInboxLineHead head = ReadInboxLineHead(line);
        if (head.Kind != TInboxLineKind::Message || byId.count(head.Id)) continue;
        auto message = OpenInboxMessage(line, key);
        if (!message) {
            ++contents.Unopened;
            continue;
        }
        byId[head.Id] = contents.Entries.size();
        contents.Entries.push_back({std::move(*message), {}, false});
    }
    for (const std::string& line : store.Lines()) {
        const TInboxLineHead head = ReadInboxLineHead(line);
        const auto found = byId.find(head.Id);
        if (head.Kind != TInboxLineKind::Status || found == byId.end()) continue;
        TInboxEntry& entry = contents.Entries[found->second];
        if (auto status = OpenInboxStatus(line, entry.Message.RecordKey)) entry.Status = std::move(*status);
    }
    for (TInboxEntry& entry : contents.Entries) {
        entry.Read = read.count(entry.Message.Id) != 0;
        if (!entry.Read) ++contents.Unread;
    }
    // Newest first; the file's order among messages of the same second.
    std::stable_sort(contents.Entries.begin(), contents.Entries.end(),
                     [](const TInboxEntry& a, const TInboxEntry& b) { return a.Message.Received > b.Message.Received; });
    return contents;
}

TInboxImport ImportInboxFile(const std::string& bytes, TInboxStore& store, TInboxStore& aside,
                             const TInboxPrivateKey& key) {
    TInboxImport import;
    // The record keys of the messages known, for their status lines.
    std::map<std::string, std::string> keys;
    std::set<std::string> added;
    const auto keyOf = [&](const std::string& id) -> const std::string* {
        if (const auto k = keys.find(id); k != keys.end()) return &k->second;
        for (const std::string& line : store.Lines()) {
            const TInboxLineHead head = ReadInboxLineHead(line);
            if (head.Kind != TInboxLineKind::Message || head.Id != id) continue;
            if (auto message = OpenInboxMessage(line, key)) return &(keys[id] = message->RecordKey);
        }
        return nullptr;
    };
    std::vector<std::pair<std::string, TInboxMailStatus>> statuses;
    const std::vector<std::string> lines = SplitLines(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const TInboxLineHead head = ReadInboxLineHead(line);
        bool good = false;
        if (head.Kind == TInboxLineKind::Full) {
            import.Full = true;
            continue;
        }
        if (head.Kind == TInboxLineKind::Message) {
            if (auto message = OpenInboxMessage(line, key)) {
                good = true;
                keys[head.Id] = message->RecordKey;
                if (store.Add(line)) {
                    added.insert(head.Id);
                    ++import.Added;
                }
            }
        } else if (head.Kind == TInboxLineKind::Status) {
            const std::string* recordKey = keyOf(head.Id);
            // A status whose message is not here yet is kept for when it comes.
            const auto status = recordKey ? OpenInboxStatus(line, *recordKey) : std::nullopt;
            good = !recordKey || status;
            if (good) store.Add(line);
            if (status) statuses.emplace_back(head.Id, status->Status);
        }
        if (!good) {
            import.Refused.push_back(i + 1);
            aside.Add(line);
        }
    }
    for (const auto& [id, status] : statuses)
        if (status == TInboxMailStatus::Failed && added.count(id)) ++import.MailFailed;
    return import;
}

std::vector<std::string> DescribeImport(const TInboxImport& import, const std::string& asidePath) {
    std::vector<std::string> lines;
    lines.push_back(std::to_string(import.Added) + "件の受信データを取り込みました（メール未送信 " +
                    std::to_string(import.MailFailed) + "件）");
    for (const std::size_t n : import.Refused)
        lines.push_back(std::to_string(n) + "件目の受信データは壊れているか別の鍵のもののため読めません。" + asidePath +
                        " に取り分けました。");
    if (import.Full)
        lines.push_back("サーバーの受信データが上限に達していたため、保存されなかった送信があります（メールは送られています）。");
    return lines;
}

}  // namespace qp
