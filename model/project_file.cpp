// The project file: the project's settings and its items in one Shift_JIS INI file.
#include <unordered_set>

#include "model/error.h"
#include "model/ini_file.h"
#include "model/item_factory.h"
#include "model/project_config.h"

namespace qp {

void TProjectConfig::SaveToFile(const std::string& path) const {
    TIniFile ini = TIniFile::NewFile(path);
    ini.WriteInteger("ITEM", "ItemCount", GetItemCount());
    for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->WriteIni(ini, "ITEM_" + std::to_string(i));

    settings_.WriteIni(ini);
    ini.UpdateFile();
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

    settings_ = std::move(settings);
}

}  // namespace qp
