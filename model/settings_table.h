#pragma once
// The project's settings beyond the items, as one table: where each is stored in the project
// file, its type and bounds, its defaults, and where the window and quillpost-cli show it.
// The project file, Reset, the make's range checks and the window's copies all walk it.
//
// A new plain setting is one name in TSetting and one entry in the table (in the project
// file's order), plus its control in ui/main_window.ui under the entry's Control name.
#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace qp {

class TIniFile;

// The settings of the project table, in its order (checked when the table is built).
enum class TSetting : std::size_t {
    ManagerMailFrom, ManagerMailTo, ManagerMailSubject,
    UseUserMail, UserMailFrom, UserMailTo, UserMailSubject, UserMailBody,
    FormHtml, ConfirmHtml,
    UseConfirm,
    FinishPageMoveType, FinishPageLocation,
    SampleStyle,
    PerlPath, SendmailPath, Charset, ScriptUrl, CheckKey,
    FtpHostName, FtpUserName, FtpPassword, FtpFileName, FtpDirectory, FtpChmod, SaveFileName,
    FtpPassive, FtpProtocol, FtpTrustedCert, SftpKeyFile, SavePassword,
    MakeFileType, CopyRuntime,
    UseToken, MinSeconds, TokenHours, UseHoneypot, LimitCount, LimitMinutes, ReplyLimit, VisitorFrom,
    ReplyPerHour, ReplyEchoChars, EnvelopeFrom,
    UseInbox, InboxPublicKey, InboxKeyFile, InboxMaxMegabytes,
};

enum class TSettingKind {
    Text,       // one line, stored as typed
    MultiLine,  // stored in comma text; loads with a CR LF after every line
    Integer,    // decimal; a value beyond int loads as the nearest int
    Boolean,    // "1" / "0"
    Choice,     // one of Choices: stored as its word, or as its number when it has none
};

// A text (Shift_JIS), an integer (a choice's number) or a boolean, by the entry's kind.
using TSettingValue = std::variant<std::string, int, bool>;

struct TSettingChoice {
    const char* Word = nullptr;    // as the file stores it; null: the file stores the number
    const char* Button = nullptr;  // the radio button that selects it; null: Control is a combo box
};

struct TSettingDef {
    TSetting Id;
    const char* Section;
    const char* Key;
    TSettingKind Kind;
    TSettingValue NewValue;      // a new project, and Reset
    TSettingValue MissingValue;  // a file without the key
    // Integers: the make refuses a value outside Min..Max with RangeMessage (UTF-8, "%min%"
    // and "%max%" stand for the bounds). A bound below another setting: the value must also
    // stay below that setting's value times BelowFactor; that setting is checked first.
    int Min = INT_MIN;
    int Max = INT_MAX;
    const char* RangeMessage = nullptr;
    std::optional<TSetting> Below = std::nullopt;
    int BelowFactor = 1;
    // Choices, by number. A word matched without case when WordsIgnoreCase; an unknown word
    // loads as UnknownChoice, or refuses the file with UnknownMessage when that is -1.
    std::vector<TSettingChoice> Choices = {};
    bool WordsIgnoreCase = false;
    int UnknownChoice = -1;
    const char* UnknownMessage = nullptr;
    // The main window's control (its objectName); a value list's row key after a "/" (the
    // header lists). Null: the setting has no control of its own, or is shown by Buttons.
    const char* Control = nullptr;
    const char* Label = nullptr;  // names the setting in messages (UTF-8)
    const char* Hint = nullptr;   // the status-bar hint of the control and its label (UTF-8)
    const char* CliOption = nullptr;  // the quillpost-cli option that overrides it

    bool IsText() const { return Kind == TSettingKind::Text || Kind == TSettingKind::MultiLine; }
    bool ChoiceStoresWords() const { return !Choices.empty() && Choices.front().Word != nullptr; }
    // The number of word (compared as the entry says); -1 for none.
    int ChoiceOf(const std::string& word) const;
};

using TSettingsTable = std::vector<TSettingDef>;

// The project's table.
const TSettingsTable& ProjectSettings();
const TSettingDef& SettingDef(TSetting id);

// One value per entry of a table, in its order.
class TSettingValues {
public:
    // The new-project values.
    explicit TSettingValues(const TSettingsTable& table);

    const TSettingsTable& Table() const { return *table_; }
    const TSettingValue& Value(std::size_t index) const { return values_.at(index); }
    // Raises std::bad_variant_access for a value of another kind than the entry's.
    void Set(std::size_t index, TSettingValue value);
    const std::string& Text(std::size_t index) const { return std::get<std::string>(values_.at(index)); }
    int Int(std::size_t index) const { return std::get<int>(values_.at(index)); }
    bool Bool(std::size_t index) const { return std::get<bool>(values_.at(index)); }

    const std::string& Text(TSetting id) const { return Text(static_cast<std::size_t>(id)); }
    int Int(TSetting id) const { return Int(static_cast<std::size_t>(id)); }
    bool Bool(TSetting id) const { return Bool(static_cast<std::size_t>(id)); }
    void Set(TSetting id, TSettingValue value) { Set(static_cast<std::size_t>(id), std::move(value)); }

    // Every value as the file stores it, in table order.
    void WriteIni(TIniFile& ini) const;
    // The values of a file; a missing key gets its MissingValue. Raises Error for a value
    // the table refuses (an unknown word), before anything is kept.
    static TSettingValues ReadIni(const TIniFile& ini, const TSettingsTable& table);
    // The make's range check: raises Error with the message of the first value out of range.
    void CheckRanges() const;
    // Every value out of range with its message, in table order.
    std::vector<std::pair<TSetting, std::string>> RangeProblems() const;

    bool operator==(const TSettingValues& other) const { return values_ == other.values_; }

private:
    const TSettingsTable* table_;
    std::vector<TSettingValue> values_;
};

}  // namespace qp
