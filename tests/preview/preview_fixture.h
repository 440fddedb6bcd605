#pragma once
// A preview of the test project served by a stand-in runtime, in a temporary folder of its own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "preview/preview_server.h"
#include "support/sjis_literal.h"

namespace qp::preview {

using namespace std::chrono_literals;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Stands in for the runtime: answers by the query string, so that the server's side of the
// CGI exchange can be tested on its own.
const char* const kFakeRuntime = R"PERL(package Quillpost;
sub new { my ($class, %args) = @_; return bless {%args}, $class }
sub run {
  my ($self) = @_;
  my $q = $ENV{QUERY_STRING};
  my $in = '';
  read(STDIN, $in, $ENV{CONTENT_LENGTH}) if ($ENV{CONTENT_LENGTH} || 0) > 0;
  if ($q eq 'env') {
    return "Content-Type: text/plain\r\n\r\n"
      . join('', map { "$_=$ENV{$_}\n" } sort keys %ENV) . "BODY=$in";
  }
  return "Status: 404 Not Here\r\nContent-Type: text/plain\r\nX-Test: yes\r\n\r\ngone" if $q eq 'status';
  return "Location: http://example.com/done\r\n\r\n" if $q eq 'redirect';
  return "Location: /__mails__\r\n\r\n" if $q eq 'local';
  return "Location: /contact.cgi?loop\r\n\r\n" if $q eq 'loop';
  if ($q eq 'broken') { print STDERR "something <went> wrong\n"; return "no header here"; }
  die "fake failure\n" if $q eq 'die';
  sleep 30 if $q eq 'sleep';
  if ($q eq 'mail') {
    my @command = split ' ', $self->{MAIL}{SENDMAIL};
    open(my $pipe, '|-', @command, '-oi', 'to@example.com') or die "sendmail: $!";
    print $pipe "To: to\@example.com\nSubject: $in\nContent-Type: text/plain; charset=UTF-8\n\n<b>\xE6\x9C\xAC\xE6\x96\x87</b>\n";
    close $pipe or die "sendmail failed";
    return "Content-Type: text/plain\r\n\r\nsent";
  }
  return "Content-Type: text/plain\r\n\r\nhello";
}
1;
)PERL";

// A temporary folder of its own for the sites, so that what a test leaves behind is seen.
class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("TMPDIR");
        oldTmp_ = old != nullptr ? old : "";
        hadTmp_ = old != nullptr;
        ::setenv("TMPDIR", tmp_.Path().c_str(), 1);
        for (const char* file : {"jcode.pl", "mimew.pl"}) WriteFile(runtime_.File(file), "1;\n");
        WriteFile(runtime_.File("Quillpost.pm"), kFakeRuntime);
        project_.LoadFromFile(std::string(QP_SOURCE_DIR) + "/tests/e2e/fixtures/contact.qpf");
    }
    void TearDown() override {
        if (hadTmp_) {
            ::setenv("TMPDIR", oldTmp_.c_str(), 1);
        } else {
            ::unsetenv("TMPDIR");
        }
    }
    int SitesLeft() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(tmp_.Path())) {
            count += entry.path().filename().string().rfind("quillpost-preview-", 0) == 0;
        }
        return count;
    }
    std::unique_ptr<TPreviewServer> Server(std::chrono::milliseconds timeout = 10s) {
        TPreviewServer::Options options;
        options.CgiTimeout = timeout;
        return std::make_unique<TPreviewServer>(TPreviewSite::Make(project_, runtime_.Path()), options);
    }
    // The server bound to a free port and serving on a thread of its own while the object lives.
    struct Serving {
        std::unique_ptr<TPreviewServer> server;
        std::thread thread;
        ~Serving() {
            server->Stop();
            thread.join();
        }
    };
    std::unique_ptr<Serving> Serve(TPreviewServer::Options options) {
        auto serving = std::make_unique<Serving>();
        serving->server =
            std::make_unique<TPreviewServer>(TPreviewSite::Make(project_, runtime_.Path()), options);
        serving->server->Bind(18800, 200);
        serving->thread = std::thread([server = serving->server.get()] { server->Run(); });
        return serving;
    }
    static std::string Host(const TPreviewServer& server) {
        return "127.0.0.1:" + std::to_string(server.Port());
    }
    static THttpResponse Get(const TPreviewServer& server, const std::string& target) {
        THttpRequest request;
        request.Target = target;
        request.Headers = {{"Host", Host(server)}};
        return server.Handle(request);
    }

    TempDir tmp_;
    TempDir runtime_;
    TProjectConfig project_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

}  // namespace qp::preview
