#include "preview/preview_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

#include <filesystem>
#include <future>
#include <thread>

#include "inbox/inbox_key.h"
#include "model/error.h"
#include "model/item_text.h"
#include "preview/mail_view.h"
#include "preview_fixture.h"

namespace qp::preview {
namespace {

TEST_F(PreviewTest, SiteHoldsTheScriptTheRuntimeAndTheCaptureProgram) {
    const std::string perl = project_.GetPerlPath();
    const std::string sendmail = project_.GetSendmailPath();
    std::string folder;
    {
        auto site = TPreviewSite::Make(project_, runtime_.Path());
        folder = site->Folder();
        EXPECT_EQ(site->ScriptName(), "contact.cgi");
        for (const char* file :
             {"contact.cgi", "Quillpost.pm", "jcode.pl", "mimew.pl", "capture-sendmail.pl"}) {
            EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/" + file)) << file;
        }
        EXPECT_TRUE(std::filesystem::is_directory(site->MailFolder()));
        EXPECT_EQ(ReadFile(folder + "/Quillpost.pm"), kFakeRuntime);
        const std::string script = ReadFile(site->ScriptPath());
        EXPECT_EQ(script.rfind("#!" + site->Perl() + " --\r\n", 0), 0u);
        EXPECT_NE(script.find("  SENDMAIL => '" + site->Perl() + " " + folder + "/capture-sendmail.pl',\r\n"),
                  std::string::npos);
        EXPECT_EQ(ReadFile(folder + "/capture-sendmail.pl"), kCaptureSendmailScript);
    }
    // The project is as it was, and the folder went with the site.
    EXPECT_EQ(project_.GetPerlPath(), perl);
    EXPECT_EQ(project_.GetSendmailPath(), sendmail);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(SitesLeft(), 0);
}

TEST_F(PreviewTest, RefusedProjectOrMissingRuntimeLeavesNothing) {
    std::filesystem::remove(runtime_.File("mimew.pl"));
    try {
        TPreviewSite::Make(project_, runtime_.Path());
        FAIL() << "no error for a missing runtime file";
    } catch (const Error& e) {
        EXPECT_NE(e.Message().find("mimew.pl"), std::string::npos) << e.Message();
    }
    const std::string sendmail = project_.GetSendmailPath();
    project_.SetManagerMailTo("");
    EXPECT_THROW(TPreviewSite::Make(project_, runtime_.Path()), Error);
    EXPECT_EQ(project_.GetSendmailPath(), sendmail);
    EXPECT_EQ(SitesLeft(), 0);
}

TEST_F(PreviewTest, ScriptNameFallsBackWhenTheFileNameIsNotPlain) {
    EXPECT_EQ(PreviewScriptName(project_), "contact.cgi");
    for (const char* name : {"", "../x.cgi", "a b.cgi", ".hidden", "__mails__", "dir/x.cgi"}) {
        project_.SetFtpFileName(name);
        EXPECT_EQ(PreviewScriptName(project_), "form.cgi") << name;
    }
}

TEST_F(PreviewTest, CgiGetsTheMetaVariablesAndTheBody) {
    auto server = Server();
    THttpRequest request;
    request.Method = "POST";
    request.Target = "/contact.cgi/extra/path?env";
    request.Headers = {{"Content-Type", "application/x-www-form-urlencoded"},
                       {"Content-Length", "999"},
                       {"Host", Host(*server)},
                       {"X-Custom-Thing", "v"},
                       {"Proxy", "http://evil.example/"},
                       {"Authorization", "Basic c2VjcmV0"}};
    request.Body = "a=1&b=%E3%81%82";
    request.RemoteAddr = "127.0.0.9";
    const THttpResponse r = server->Handle(request);
    ASSERT_EQ(r.Status, 200) << r.Body;
    for (const char* line :
         {"GATEWAY_INTERFACE=CGI/1.1\n", "REQUEST_METHOD=POST\n", "QUERY_STRING=env\n", "CONTENT_LENGTH=15\n",
          "CONTENT_TYPE=application/x-www-form-urlencoded\n", "SCRIPT_NAME=/contact.cgi\n",
          "PATH_INFO=/extra/path\n", "SERVER_NAME=127.0.0.1\n", "SERVER_PROTOCOL=HTTP/1.1\n",
          "REMOTE_ADDR=127.0.0.9\n", "HTTP_HOST=127.0.0.1:0\n", "HTTP_X_CUSTOM_THING=v\n",
          "BODY=a=1&b=%E3%81%82"}) {
        EXPECT_NE(r.Body.find(line), std::string::npos) << line << r.Body;
    }
    for (const char* absent : {"HTTP_PROXY=", "HTTP_AUTHORIZATION=", "HTTP_CONTENT_LENGTH=", "=999"}) {
        EXPECT_EQ(r.Body.find(absent), std::string::npos) << absent;
    }

    const THttpResponse get = Get(*server, "/contact.cgi?env");
    EXPECT_NE(get.Body.find("REQUEST_METHOD=GET\n"), std::string::npos);
    EXPECT_EQ(get.Body.find("CONTENT_LENGTH="), std::string::npos);
    EXPECT_EQ(get.Body.find("PATH_INFO="), std::string::npos);
}

TEST_F(PreviewTest, StatusAndLocationAreHonoured) {
    auto server = Server();
    THttpResponse r = Get(*server, "/contact.cgi?status");
    EXPECT_EQ(r.Status, 404);
    EXPECT_EQ(r.Header("X-Test"), "yes");
    EXPECT_EQ(r.Header("Status"), "");
    EXPECT_EQ(r.Body, "gone");

    r = Get(*server, "/contact.cgi?redirect");
    EXPECT_EQ(r.Status, 302);
    EXPECT_EQ(r.Header("Location"), "http://example.com/done");

    // A local redirect is served in place.
    r = Get(*server, "/contact.cgi?local");
    EXPECT_EQ(r.Status, 200);
    EXPECT_NE(r.Body.find("送信されたメール"), std::string::npos);

    r = Get(*server, "/contact.cgi?loop");
    EXPECT_EQ(r.Status, 502);

    r = Get(*server, "/");
    EXPECT_EQ(r.Status, 302);
    EXPECT_EQ(r.Header("Location"), "/contact.cgi");
    EXPECT_EQ(Get(*server, "/other.cgi").Status, 404);
    EXPECT_EQ(Get(*server, "/contact.cgix").Status, 404);
}

TEST_F(PreviewTest, FailingCgiGivesBadGatewayWithItsErrorsEscaped) {
    auto server = Server(400ms);
    THttpResponse r = Get(*server, "/contact.cgi?broken");
    EXPECT_EQ(r.Status, 502);
    EXPECT_NE(r.Body.find("something &lt;went&gt; wrong"), std::string::npos) << r.Body;
    EXPECT_EQ(r.Body.find("<went>"), std::string::npos);

    r = Get(*server, "/contact.cgi?die");
    EXPECT_EQ(r.Status, 502);
    EXPECT_NE(r.Body.find("fake failure"), std::string::npos);

    const auto start = std::chrono::steady_clock::now();
    r = Get(*server, "/contact.cgi?sleep");
    EXPECT_EQ(r.Status, 502);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(PreviewTest, CapturedMailsAreShownDecodedNewestFirst) {
    auto server = Server();
    EXPECT_NE(Get(*server, "/__mails__").Body.find("メールはまだありません。"), std::string::npos);
    for (const char* subject : {"=?UTF-8?B?5pyA5Yid?=", "=?UTF-8?B?5pyA5b6M?="}) {  // 最初, 最後
        THttpRequest request;
        request.Method = "POST";
        request.Target = "/contact.cgi?mail";
        request.Headers = {{"Host", Host(*server)}};
        request.Body = subject;
        ASSERT_EQ(server->Handle(request).Body, "sent");
    }
    const auto mails = ReadCapturedMails(server->Site().MailFolder());
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].Args, (std::vector<std::string>{"-oi", "to@example.com"}));

    const std::string page = Get(*server, "/__mails__").Body;
    const auto last = page.find("<h2 class=\"subject\">最後</h2>");
    const auto first = page.find("<h2 class=\"subject\">最初</h2>");
    ASSERT_NE(last, std::string::npos) << page;
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(last, first);
    EXPECT_NE(page.find("&lt;b&gt;本文&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<b>本文"), std::string::npos);
    EXPECT_NE(page.find("sendmail -oi to@example.com"), std::string::npos);
}

TEST(MailView, OnlyWholeMessagesAreListedAndAllTextIsEscaped) {
    TempDir dir;
    WriteFile(dir.File("0000000001-000000-1-0.eml"), "Subject: <one>\n\nA & B\n");
    WriteFile(dir.File("0000000001-000000-1-0.args"), "-oi\n<x>@example.com\n");
    WriteFile(dir.File("0000000002-000000-1-0.eml"), "Subject: two\n\nsecond\n");
    WriteFile(dir.File("0000000003-000000-1-0.tmp"), "Subject: half written\n");
    const auto mails = ReadCapturedMails(dir.Path());
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].Name, "0000000002-000000-1-0");
    EXPECT_TRUE(mails[0].Args.empty());
    const std::string page = MailsPage(mails, "/form.cgi?a=\"b\"");
    EXPECT_NE(page.find("&lt;one&gt;"), std::string::npos);
    EXPECT_NE(page.find("A &amp; B"), std::string::npos);
    EXPECT_NE(page.find("&lt;x&gt;@example.com"), std::string::npos);
    EXPECT_NE(page.find("href=\"/form.cgi?a=&quot;b&quot;\""), std::string::npos);
    EXPECT_EQ(page.find("half written"), std::string::npos);
    EXPECT_EQ(ReadCapturedMails(dir.File("missing")).size(), 0u);
}

TEST_F(PreviewTest, ServesOverHttpOnTheNextFreePortAndStops) {
    // Another preview on the first port: the second one must move on, not share it.
    auto other = Server();
    const int taken = other->Bind(18600, 200);
    auto server = Server();
    const int port = server->Bind(taken, 20);
    EXPECT_GT(port, taken);
    EXPECT_EQ(server->FormUrl(), "http://127.0.0.1:" + std::to_string(port) + "/contact.cgi");
    std::thread serving([&server] { server->Run(); });
    struct Joiner {
        TPreviewServer& server;
        std::thread& thread;
        ~Joiner() {
            server.Stop();
            thread.join();
        }
    } joiner{*server, serving};

    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5);
    auto res = client.Post("/contact.cgi?env", "x=%3Cy%3E", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("BODY=x=%3Cy%3E"), std::string::npos);
    EXPECT_NE(res->body.find("SERVER_PORT=" + std::to_string(port) + "\n"), std::string::npos);
    res = client.Get("/contact.cgi?status");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_EQ(res->get_header_value("X-Test"), "yes");
}

TEST_F(PreviewTest, StopBeforeRunMakesRunReturn) {
    auto server = Server();
    server->Bind(18500, 200);
    server->Stop();
    auto run = std::async(std::launch::async, [&server] { server->Run(); });
    const bool returned = run.wait_for(5s) == std::future_status::ready;
    if (!returned) server->Stop();
    EXPECT_TRUE(returned) << "Run() served after Stop()";
}

}  // namespace
}  // namespace qp::preview

namespace qp::preview {

// With the inbox on, the real runtime keeps the message in the preview's own folder and
// mails it to the capture; the inbox file is never served.
TEST_F(PreviewTest, TheInboxOfAPreviewStaysInItsPrivateFolder) {
    test::TempDir keys;
    TProjectConfig project;
    auto item = std::make_unique<TProjectItemText>("name");
    item->SetNameValue(test::S("お名前"));
    project.AddItem(std::move(item));
    project.SetManagerMailFrom("form@example.com");
    project.SetManagerMailTo("admin@example.com");
    project.SetManagerMailSubject("inquiry");
    project.SetFormHtml("<form></form>");
    project.SetFinishPageLocation("<p>thanks</p>");
    TGuardSettings guard = project.GetGuard();
    guard.UseToken = false;
    guard.MinSeconds = 0;
    project.SetGuard(guard);
    project.Settings().Set(TSetting::InboxPublicKey, MakeInboxKeyPair(keys.File("k.pem"), ""));
    project.Settings().Set(TSetting::UseInbox, true);
    TPreviewServer server(TPreviewSite::Make(project, std::string(QP_SOURCE_DIR) + "/lib"), {});

    THttpRequest request;
    request.Method = "POST";
    request.Target = "/" + server.Site().ScriptName();
    request.Headers = {{"Host", Host(server)}, {"Content-Type", "application/x-www-form-urlencoded"}};
    request.Body = "name=taro&__action2__=1";
    EXPECT_NE(server.Handle(request).Body.find("thanks"), std::string::npos);
    EXPECT_EQ(ReadCapturedMails(server.Site().MailFolder()).size(), 1u);
    const std::string inbox = ".htquillpost-" + server.Site().ScriptName() + "-inbox";
    const std::string lines = ReadFile(server.Site().Folder() + "/" + inbox);
    EXPECT_EQ(lines.rfind("Q1 ", 0), 0u) << lines;
    EXPECT_NE(lines.find("\nS1 "), std::string::npos);
    EXPECT_NE(Get(server, "/" + inbox).Status, 200);
}

}  // namespace qp::preview
