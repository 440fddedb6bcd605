#include "inbox/inbox_csv.h"

#include <ctime>
#include <map>

#include "model/charset.h"

namespace qp {
namespace {

// A cell that a spreadsheet would take as a formula gets a leading quote mark.
std::string Cell(std::string text) {
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' || text[0] == '\t' ||
                          text[0] == '\r'))
        text.insert(0, "'");
    if (text.find_first_of("\",\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// The text in Shift_JIS, each character it cannot hold as 〓, named in replaced.
std::string ToSjis(std::string_view text, const std::string& where, std::vector<std::string>& replaced) {
    std::string out;
    while (!text.empty()) {
        try {
            out += charset::Utf8ToSjis(text);
            break;
        } catch (const charset::CharsetError& e) {
            const std::size_t at = std::min(e.Offset(), text.size());
            out += charset::Utf8ToSjis(text.substr(0, at));
            const std::string_view bad = charset::Utf8CharAt(text, at);
            replaced.push_back(where + ": " + std::string(bad) + " を 〓 にしました");
            out += "\x81\xAC";
            text.remove_prefix(at + std::max<std::size_t>(bad.size(), 1));
        }
    }
    return out;
}

}  // namespace

std::string InboxTimeText(long long secondsSince1970) {
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
    return text;
}

std::string InboxStatusText(TInboxMailStatus status) {
    switch (status) {
        case TInboxMailStatus::Mailed: return "送信済み";
        case TInboxMailStatus::Failed: return "メール未送信";
        case TInboxMailStatus::Unknown: break;
    }
    return "不明";
}

TInboxCsv MakeInboxCsv(const std::vector<TInboxEntry>& entries, TCsvEncoding encoding) {
    std::vector<std::string> attrs;
    std::map<std::string, std::string> names;
    for (const TInboxEntry& entry : entries) {
        for (const TInboxField& field : entry.Message.Fields) {
            if (names.emplace(field.Attr, field.Name).second) attrs.push_back(field.Attr);
        }
    }
    TInboxCsv csv;
    const bool sjis = encoding == TCsvEncoding::Cp932;
    std::vector<std::string> row;
    const auto emit = [&](std::size_t number, const std::string& time) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            std::string cell = Cell(row[i]);
            if (sjis) {
                const std::string where = number == 0 ? std::string("見出し") : std::to_string(number) + "件目（" + time + "）";
                const std::string column = i == 0 ? "受信日時" : i == 1 ? "送信状況" : names[attrs[i - 2]];
                cell = ToSjis(cell, where + "の「" + column + "」", csv.Replaced);
            }
            line += (i ? "," : "") + cell;
        }
        csv.Bytes += line + "\r\n";
    };
    if (!sjis) csv.Bytes = "\xEF\xBB\xBF";
    row = {"受信日時", "送信状況"};
    for (const std::string& attr : attrs) row.push_back(names[attr]);
    emit(0, "");
    std::size_t number = 0;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const std::string time = InboxTimeText(entry->Message.Received);
        row = {time, InboxStatusText(entry->Status.Status)};
        for (const std::string& attr : attrs) {
            std::string value;
            for (const TInboxField& field : entry->Message.Fields)
                if (field.Attr == attr) value = field.Value;
            row.push_back(value);
        }
        emit(++number, time);
    }
    return csv;
}

}  // namespace qp
