#include "model/project_config.h"

#include <gtest/gtest.h>

#include "model/error.h"
#include "model/item_text.h"
#include "support/sjis_literal.h"

namespace qp {
namespace {

using test::ErrorOf;
using test::S;

struct CountingObserver : TProjectItemObservable {
    int calls = 0;
    int countSeen = -1;
    void Notify(TProjectConfig* project) override {
        ++calls;
        countSeen = project->GetItemCount();
    }
};

// Counts its own destruction so that tests can see when the project destroys an item.
class TrackedItem : public TProjectItemText {
public:
    TrackedItem(std::string name, std::vector<std::string>* log) : TProjectItemText(std::move(name)), log_(log) {}
    ~TrackedItem() override { log_->push_back(GetNameAttr()); }

private:
    std::vector<std::string>* log_;
};

std::unique_ptr<TProjectItem> Item(const std::string& name) { return std::make_unique<TProjectItemText>(name); }

TEST(Project, NewProjectAndResetHaveTheNewProjectValues) {
    std::vector<std::string> destroyed;
    TProjectConfig p;
    auto check = [](const TProjectConfig& q) {
        EXPECT_EQ(q.GetPerlPath(), "/usr/bin/perl");
        EXPECT_EQ(q.GetSendmailPath(), "/usr/lib/sendmail");
        EXPECT_EQ(q.GetFtpFileName(), "formmail.cgi");
        EXPECT_EQ(q.GetFtpChmod(), "CHMOD");
        EXPECT_FALSE(q.GetUseUserMail());
        EXPECT_FALSE(q.GetUseConfirm());
        EXPECT_FALSE(q.GetFtpPassive());
        EXPECT_EQ(q.GetFtpProtocol(), TFtpProtocol::Ftps);
        EXPECT_EQ(q.GetFtpTrustedCert(), "");
        EXPECT_EQ(q.GetFinishPageMoveType(), 0);
        EXPECT_EQ(q.GetMakeFileType(), 0);
        EXPECT_EQ(q.GetItemCount(), 0);
        EXPECT_EQ(q.GetFinishPageLocation(), TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Html5));
        EXPECT_EQ(q.GetSampleStyle(), TPageStyle::Html5);
        EXPECT_EQ(q.GetManagerMailSubject(), "");
        EXPECT_EQ(q.GetFtpPassword(), "");
    };
    check(p);
    p.SetPerlPath("/opt/perl");
    p.SetFtpChmod("chmod");
    p.SetFtpPassive(true);
    p.SetFtpProtocol(TFtpProtocol::Ftp);
    p.SetFtpTrustedCert("SHA256:00");
    p.SetUseConfirm(true);
    p.SetMakeFileType(2);
    p.SetManagerMailSubject("s");
    p.SetFtpPassword("pw");
    p.SetSampleStyle(TPageStyle::Xhtml);
    for (const char* n : {"a", "b", "c"}) p.AddItem(std::make_unique<TrackedItem>(n, &destroyed));
    CountingObserver obs;
    p.AddObserver(&obs);
    p.Reset();
    check(p);
    EXPECT_EQ(destroyed, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(obs.calls, 1);
    EXPECT_EQ(obs.countSeen, 0);
}

TEST(Project, DefaultFinishPageInEitherStyle) {
    const std::string html5 = test::U(TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Html5));
    EXPECT_EQ(html5.find('\r'), std::string::npos);
    EXPECT_EQ(html5.rfind("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"euc-jp\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                          "<title>完了画面</title>\n<style>\n", 0), 0u);
    EXPECT_NE(html5.find("</style>\n</head>\n<body>\n<main>\n<h1>完了画面</h1>\n<p>完了しました。</p>\n"
                         "</main>\n</body>\n</html>\n"), std::string::npos);

    const std::string html = TProjectConfig::MakeDefaultFinishHtml(TPageStyle::Xhtml);
    EXPECT_EQ(std::count(html.begin(), html.end(), '\n'), 12);
    EXPECT_EQ(html.find('\r'), std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 8), "</html>\n");
    EXPECT_EQ(test::U(html),
              "<?xml version=\"1.0\" encoding=\"euc-jp\"?>\n"
              "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
              "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
              "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
              "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\" />\n"
              "<title>完了画面</title>\n</head>\n<body>\n<h1>完了画面</h1>\n<p>完了しました。</p>\n</body>\n</html>\n");
}

TEST(Project, AddItemChecksNamesByteForByte) {
    TProjectConfig p;
    CountingObserver obs;
    p.AddObserver(&obs);
    p.AddObserver(&obs);  // registered once
    auto empty = Item("");
    EXPECT_EQ(ErrorOf([&] { p.AddItem(std::move(empty)); }), "name属性を設定してください。");
    ASSERT_NE(empty, nullptr);  // still the caller's
    p.AddItem(Item("NAME"));
    p.AddItem(Item("Name"));
    auto dup = Item("NAME");
    EXPECT_EQ(ErrorOf([&] { p.AddItem(std::move(dup)); }), "同じname属性が既に登録されています。");
    ASSERT_NE(dup, nullptr);
    EXPECT_EQ(p.GetItemNames(), (std::vector<std::string>{"NAME", "Name"}));
    EXPECT_EQ(obs.calls, 2);
}

TEST(Project, UpdateItemReplacesInPlaceOrRefuses) {
    std::vector<std::string> destroyed;
    TProjectConfig p;
    for (const char* n : {"a", "b", "c"}) p.AddItem(std::make_unique<TrackedItem>(n, &destroyed));
    CountingObserver obs;
    p.AddObserver(&obs);

    auto same = std::make_unique<TrackedItem>("c", &destroyed);
    TProjectItem* raw = same.get();
    p.UpdateItem(2, std::move(same));
    EXPECT_EQ(same, nullptr);
    EXPECT_EQ(p.GetItems()[2].get(), raw);
    EXPECT_EQ(destroyed, (std::vector<std::string>{"c"}));
    EXPECT_EQ(obs.calls, 1);

    auto clash = Item("a");
    EXPECT_EQ(ErrorOf([&] { p.UpdateItem(2, std::move(clash)); }), "同じname属性が既に登録されています。");
    EXPECT_NE(clash, nullptr);
    EXPECT_EQ(p.GetItems()[2].get(), raw);

    auto beyond = Item("z");
    p.UpdateItem(3, std::move(beyond));
    EXPECT_NE(beyond, nullptr);  // not taken
    EXPECT_EQ(p.GetItemCount(), 3);
    EXPECT_EQ(obs.calls, 1);

    // No empty-name check here: the editor validated the item before.
    p.UpdateItem(0, Item(""));
    EXPECT_EQ(p.GetItemNames(), (std::vector<std::string>{"", "b", "c"}));
}

TEST(Project, DeleteItemTellsTheOthersThenDestroysAndNotifiesOnce) {
    std::vector<std::string> destroyed;
    TProjectConfig p;
    auto confirm = std::make_unique<TProjectItemText>("EMAIL2");
    confirm->SetRetypeItemNameAttr("EMAIL");
    confirm->SetRetypeError("x");
    TProjectItemText* confirmRaw = confirm.get();
    p.AddItem(std::make_unique<TrackedItem>("EMAIL", &destroyed));
    p.AddItem(std::move(confirm));
    CountingObserver obs;
    p.AddObserver(&obs);

    p.DeleteItem(2);
    p.DeleteItem(-1);
    EXPECT_EQ(obs.calls, 0);
    p.DeleteItem(0);
    EXPECT_EQ(destroyed, (std::vector<std::string>{"EMAIL"}));
    EXPECT_EQ(confirmRaw->GetRetypeItemNameAttr(), "");
    EXPECT_EQ(obs.calls, 1);
    EXPECT_EQ(obs.countSeen, 1);
    p.DeleteItem(0);
    EXPECT_EQ(p.GetItemCount(), 0);
    EXPECT_EQ(obs.calls, 2);
}

TEST(Project, MakeNewItemName) {
    TProjectConfig p;
    EXPECT_EQ(p.MakeNewItemName(), "item1");
    p.AddItem(Item("item1"));
    p.AddItem(Item("item3"));
    EXPECT_EQ(p.MakeNewItemName(), "item2");
    p.AddItem(Item("item2"));
    EXPECT_EQ(p.MakeNewItemName(), "item4");
    TProjectConfig q;
    q.AddItem(Item("Item1"));
    EXPECT_EQ(q.MakeNewItemName(), "item1");
}

TEST(Project, ObserversCanBeRemovedAndSettersDoNotNotify) {
    TProjectConfig p;
    CountingObserver a;
    CountingObserver b;
    p.AddObserver(&a);
    p.AddObserver(&b);
    p.RemoveObserver(&b);
    p.RemoveObserver(&b);  // not registered: nothing happens
    p.SetFormHtml("x");
    p.SetFinishPageMoveType(1);
    p.AddItem(Item("a"));
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 0);
}

TEST(Project, AnObserverMayUnregisterWhileBeingTold) {
    TProjectConfig p;
    struct SelfRemoving : TProjectItemObservable {
        int calls = 0;
        void Notify(TProjectConfig* project) override {
            ++calls;
            project->RemoveObserver(this);
        }
    } first, second;
    p.AddObserver(&first);
    p.AddObserver(&second);
    p.AddItem(Item("a"));
    p.AddItem(Item("b"));
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1);
}

}  // namespace
}  // namespace qp
