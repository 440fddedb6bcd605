#pragma once
// The inbox beside a project (PROJECT.inbox): the records as downloaded, still encrypted,
// each line once, with "R ID" lines for the messages read here. Written whole, 0600.
#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "inbox/inbox_key.h"
#include "inbox/inbox_record.h"

namespace qp {

class TInboxStore {
public:
    // PROJECT.qpf -> PROJECT.inbox; the records that failed their check go to PROJECT.inbox-bad.
    static std::string PathFor(const std::string& projectPath);
    static std::string AsidePathFor(const std::string& projectPath);

    // Loads the file when it exists.
    explicit TInboxStore(std::string path);

    const std::string& Path() const { return path_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    // Adds a line not held yet; false when it was.
    bool Add(const std::string& line);
    bool Holds(const std::string& line) const { return held_.count(line) != 0; }
    // Marks a message read; false when it was.
    bool MarkRead(const std::string& id);
    void Save() const;

private:
    std::string path_;
    std::vector<std::string> lines_;
    std::set<std::string> held_;
};

struct TInboxEntry {
    TInboxMessage Message;
    TInboxStatus Status;
    bool Read = false;
};

struct TInboxContents {
    std::vector<TInboxEntry> Entries;  // newest first
    std::size_t Unopened = 0;          // message lines the key does not open
    std::size_t Unread = 0;
};

// Every message of the store that the key opens, with the status its status line gives.
TInboxContents OpenInboxStore(const TInboxStore& store, const TInboxPrivateKey& key);

// What one downloaded inbox file added to the store.
struct TInboxImport {
    std::size_t Added = 0;       // new messages
    std::size_t MailFailed = 0;  // of them, those whose mail did not go
    std::vector<std::size_t> Refused;  // line numbers (from 1) of records that failed their check
    bool Full = false;           // the server's file was full: later sends were not kept
};

// Checks every line of a downloaded file and adds the good ones to store and the refused
// ones to aside; neither is saved here.
TInboxImport ImportInboxFile(const std::string& bytes, TInboxStore& store, TInboxStore& aside,
                             const TInboxPrivateKey& key);

// "N件の受信データを取り込みました（メール未送信 M件）" and a line per refused record and for a full file.
std::vector<std::string> DescribeImport(const TInboxImport& import, const std::string& asidePath);

}  // namespace qp
