// The project file: the project's settings and its items in one Shift_JIS INI file.
#include "model/project_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_set>

#include "model/charset.h"
#include "model/error.h"
#include "model/ini_file.h"
#include "model/item_factory.h"
#include "model/project_config.h"
#include "model/sjis.h"

namespace qp {

namespace {

// A section line of the project's own: [ITEM], [ITEM_n] or a section of the settings table.
bool IsProjectSection(const std::string& line) {
    const std::size_t open = line.find_first_not_of(" \t");
    const std::size_t close = line.find_last_not_of(" \t\r");
    if (open == std::string::npos || line[open] != '[' || line[close] != ']' || close <= open) return false;
    const std::string name = sjis::ToUpperAscii(line.substr(open + 1, close - open - 1));
    if (name == "ITEM" || name.rfind("ITEM_", 0) == 0) return true;
    for (const TSettingDef& d : ProjectSettings())
        if (name == d.Section) return true;
    return false;
}

}  // namespace

void CheckProjectFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError("ファイル「" + path + "」を開けません。(" + std::strerror(errno) + ")");
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw FileError("ファイル「" + path + "」を読めません。");
    const std::string name = path.substr(path.rfind('/') + 1);
    const auto refuse = [&](const std::string& reason) {
        throw Error("「" + name + "」はQuillpostのプロジェクトファイルではありません。(" + reason + ")");
    };
    if (bytes.find('\0') != std::string::npos) refuse("文字でないデータを含んでいます");
    try {
        charset::SjisToUtf8(bytes);
    } catch (const Error&) {
        refuse("Shift_JISの文字として読めない部分があります");
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        if (IsProjectSection(bytes.substr(start, end - start))) return;
        start = end + 1;
    }
    refuse("プロジェクトの設定がありません");
}

void TProjectConfig::SaveToFile(const std::string& path) const {
    TIniFile ini = TIniFile::NewFile(path);
    ini.WriteInteger("ITEM", "ItemCount", GetItemCount());
    for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->WriteIni(ini, "ITEM_" + std::to_string(i));

    TSettingValues written = settings_;
    if (!GetSavePassword()) written.Set(TSetting::FtpPassword, std::string());
    written.WriteIni(ini);
    const bool secret = !written.Text(TSetting::FtpPassword).empty() || !written.Text(TSetting::SftpKeyFile).empty() ||
                        !written.Text(TSetting::InboxKeyFile).empty();
    ini.UpdateFile(secret ? TFileAccess::OwnerOnly : TFileAccess::Usual);
}

void TProjectConfig::LoadFromFile(const std::string& path) {
    const TIniFile ini(path);
    const long long count = ini.ReadInteger("ITEM", "ItemCount", 0);
    // Read before anything changes: a value the table refuses leaves the project as it was.
    TSettingValues settings = TSettingValues::ReadIni(ini, ProjectSettings());

    const bool hadItems = !items_.empty();
    for (auto& item : items_) item.reset();
    items_.clear();

    // Every item goes through the checks of AddItem; the names seen so far are kept in a
    // set so that a large file loads in linear time.
    std::unordered_set<std::string> names;
    try {
        for (long long i = 0; i < count; ++i) {
            const std::string section = "ITEM_" + std::to_string(i);
            std::unique_ptr<TProjectItem> item = CreateItem(ini.ReadString(section, "Type", ""));
            item->ReadIni(ini, section);
            std::string name = item->GetNameAttr();
            if (name.empty()) throw Error("name属性を設定してください。");
            if (!names.insert(std::move(name)).second) throw Error("同じname属性が既に登録されています。");
            items_.push_back(std::move(item));
            NotifyObservers();
        }
    } catch (...) {
        // Observers must not keep showing items that were destroyed.
        if (hadItems && items_.empty()) NotifyObservers();
        throw;
    }
    if (hadItems && items_.empty()) NotifyObservers();

    // Files from before the choice kept their password: they go on doing so.
    if (!ini.ValueExists("FTP", "SavePassword"))
        settings.Set(TSetting::SavePassword, !settings.Text(TSetting::FtpPassword).empty());
    settings_ = std::move(settings);
}

}  // namespace qp
