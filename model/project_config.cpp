#include "model/project_config.h"

#include <algorithm>
#include <unordered_set>

#include "model/charset.h"
#include "model/error.h"
#include "model/html5_page.h"
#include "model/ini_file.h"
#include "model/item_factory.h"

namespace qp {

namespace {
constexpr const char* kNameNotSet = "name属性を設定してください。";
constexpr const char* kNameTaken = "同じname属性が既に登録されています。";
}  // namespace

TProjectConfig::TProjectConfig() : settings_(ProjectSettings()) { Reset(); }

TProjectConfig::~TProjectConfig() {
    for (auto& item : items_) item.reset();
}

void TProjectConfig::AddItem(std::unique_ptr<TProjectItem>&& item) {
    if (!item) return;
    const std::string name = item->GetNameAttr();
    if (name.empty()) throw Error(kNameNotSet);
    for (const auto& existing : items_) {
        if (existing->GetNameAttr() == name) throw Error(kNameTaken);
    }
    items_.push_back(std::move(item));
    NotifyObservers();
}

void TProjectConfig::UpdateItem(unsigned index, std::unique_ptr<TProjectItem>&& item) {
    if (!item || index >= items_.size()) return;
    const std::string name = item->GetNameAttr();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i != index && items_[i]->GetNameAttr() == name) throw Error(kNameTaken);
    }
    items_[index] = std::move(item);
    NotifyObservers();
}

void TProjectConfig::DeleteItem(int index) {
    if (index < 0 || index >= GetItemCount()) return;
    std::unique_ptr<TProjectItem> removed = std::move(items_[static_cast<std::size_t>(index)]);
    items_.erase(items_.begin() + index);
    for (const auto& item : items_) item->ItemDeleted(removed.get());
    removed.reset();
    NotifyObservers();
}

void TProjectConfig::MoveItem(int from, int to) {
    const int count = GetItemCount();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to) return;
    auto item = std::move(items_[static_cast<std::size_t>(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
    NotifyObservers();
}

namespace {

// One item through its own keys, as the project file holds it.
std::unique_ptr<TProjectItem> CopyOf(const TProjectItem& item) {
    TIniFile ini = TIniFile::NewFile("");
    item.WriteIni(ini, "ITEM");
    std::unique_ptr<TProjectItem> copy = CreateItem(ini.ReadString("ITEM", "Type", ""));
    copy->ReadIni(ini, "ITEM");
    return copy;
}

}  // namespace

int TProjectConfig::DuplicateItem(int index) {
    if (index < 0 || index >= GetItemCount()) return -1;
    std::unique_ptr<TProjectItem> copy = CopyOf(*items_[static_cast<std::size_t>(index)]);
    copy->SetNameAttr(MakeNewItemName());
    items_.insert(items_.begin() + index + 1, std::move(copy));
    NotifyObservers();
    return index + 1;
}

std::string TProjectConfig::ItemsSnapshot() const {
    TIniFile ini = TIniFile::NewFile("");
    ini.WriteInteger("ITEM", "ItemCount", GetItemCount());
    for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->WriteIni(ini, "ITEM_" + std::to_string(i));
    return ini.ToText();
}

void TProjectConfig::RestoreItems(const std::string& snapshot) {
    const TIniFile ini = TIniFile::FromText(snapshot);
    ItemList restored;
    const long long count = ini.ReadInteger("ITEM", "ItemCount", 0);
    for (long long i = 0; i < count; ++i) {
        const std::string section = "ITEM_" + std::to_string(i);
        std::unique_ptr<TProjectItem> item = CreateItem(ini.ReadString(section, "Type", ""));
        item->ReadIni(ini, section);
        restored.push_back(std::move(item));
    }
    items_ = std::move(restored);
    NotifyObservers();
}

std::vector<std::string> TProjectConfig::GetItemNames() const {
    std::vector<std::string> names;
    names.reserve(items_.size());
    for (const auto& item : items_) names.push_back(item->GetNameAttr());
    return names;
}

std::string TProjectConfig::MakeNewItemName() const {
    std::unordered_set<std::string> used;
    for (const auto& item : items_) used.insert(item->GetNameAttr());
    for (std::size_t n = 1;; ++n) {
        std::string candidate = "item" + std::to_string(n);
        if (used.count(candidate) == 0) return candidate;
    }
}

void TProjectConfig::AddObserver(TProjectItemObservable* observer) {
    if (observer == nullptr) return;
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void TProjectConfig::RemoveObserver(TProjectItemObservable* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void TProjectConfig::NotifyObservers() {
    // A copy, so that an observer may unregister itself (or another) while it is told.
    const std::vector<TProjectItemObservable*> observers = observers_;
    for (TProjectItemObservable* observer : observers) {
        if (std::find(observers_.begin(), observers_.end(), observer) != observers_.end()) {
            observer->Notify(this);
        }
    }
}

void TProjectConfig::Reset() {
    for (auto& item : items_) item.reset();
    items_.clear();
    settings_ = TSettingValues(ProjectSettings());
    NotifyObservers();
}

void TProjectConfig::ReplaceWith(TProjectConfig&& other) {
    if (&other == this) return;
    items_ = std::move(other.items_);
    other.items_.clear();
    settings_ = other.settings_;
    NotifyObservers();
}

TGuardSettings TProjectConfig::GetGuard() const {
    using S = TSetting;
    return {Bool(S::UseToken),   Int(S::MinSeconds),   Int(S::TokenHours), Bool(S::UseHoneypot),
            Int(S::LimitCount), Int(S::LimitMinutes), Int(S::ReplyLimit), Bool(S::VisitorFrom)};
}

void TProjectConfig::SetGuard(const TGuardSettings& g) {
    using S = TSetting;
    Set(S::UseToken, g.UseToken);
    Set(S::MinSeconds, g.MinSeconds);
    Set(S::TokenHours, g.TokenHours);
    Set(S::UseHoneypot, g.UseHoneypot);
    Set(S::LimitCount, g.LimitCount);
    Set(S::LimitMinutes, g.LimitMinutes);
    Set(S::ReplyLimit, g.ReplyLimit);
    Set(S::VisitorFrom, g.VisitorFrom);
}

std::string TProjectConfig::MakeDefaultFinishHtml(TPageStyle style) {
    static const std::string xhtml = charset::Utf8ToSjis(
        "<?xml version=\"1.0\" encoding=\"euc-jp\"?>\n"
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n"
        "<head>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\" />\n"
        "<title>完了画面</title>\n"
        "</head>\n"
        "<body>\n"
        "<h1>完了画面</h1>\n"
        "<p>完了しました。</p>\n"
        "</body>\n"
        "</html>\n");
    static const std::string html5 = [] {
        std::vector<std::string> lines = Html5PageHead(charset::Utf8ToSjis("完了画面"), "euc-jp");
        lines.push_back(charset::Utf8ToSjis("<p>完了しました。</p>"));
        for (std::string& line : Html5PageTail()) lines.push_back(std::move(line));
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        return text;
    }();
    return style == TPageStyle::Xhtml ? xhtml : html5;
}

}  // namespace qp
