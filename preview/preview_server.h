#pragma once
// The local web server of a preview: serves the site's CGI on 127.0.0.1 as a web server
// would run it (RFC 3875), the captured mails at /__mails__, and "/" as a redirect to the
// form. Only requests to its own address are answered. The HTTP side is cpp-httplib, kept
// out of this header, behind a gate that lets only whole requests within limits through.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "preview/preview_site.h"
#include "preview/request_gate.h"

namespace qp::preview {

// One request as the server hands it on, without the socket.
struct THttpRequest {
    std::string Method = "GET";
    std::string Target = "/";  // path and query as sent, e.g. "/form.cgi?a=1"
    std::vector<std::pair<std::string, std::string>> Headers;
    std::string Body;
    std::string RemoteAddr = "127.0.0.1";
};

struct THttpResponse {
    int Status = 200;
    std::vector<std::pair<std::string, std::string>> Headers;  // Content-Type among them
    std::string Body;

    std::string Header(const std::string& name) const;
};

class TPreviewServer {
public:
    struct Options {
        std::chrono::milliseconds CgiTimeout{10000};
        // Limits on each request and on the connections waiting for theirs.
        TRequestGate::Options Requests;
        // One line for each request and for what the CGI wrote to standard error.
        std::function<void(const std::string&)> Log;
    };

    TPreviewServer(std::unique_ptr<TPreviewSite> site, Options options);
    explicit TPreviewServer(std::unique_ptr<TPreviewSite> site);
    ~TPreviewServer();
    TPreviewServer(const TPreviewServer&) = delete;
    TPreviewServer& operator=(const TPreviewServer&) = delete;

    // Binds 127.0.0.1 to firstPort or, when it is taken, the next free one of the following
    // ports; returns the port. Raises Error when none of them is free.
    int Bind(int firstPort, int attempts = 100);
    // Serves until Stop(); returns at once when Stop() came first.
    void Run();
    // From any thread, also before Run(); Run() returns soon after.
    void Stop();

    int Port() const { return port_; }
    std::string BaseUrl() const;   // "http://127.0.0.1:PORT"
    std::string FormUrl() const;   // the CGI's address
    std::string MailsUrl() const;  // the mail page
    const TPreviewSite& Site() const { return *site_; }

    // Answers one request as the server does; used by the HTTP side and by tests. A request
    // whose Host is not the preview's own address gets 421.
    THttpResponse Handle(const THttpRequest& request) const;

private:
    THttpResponse RunCgi(const THttpRequest& request, const std::string& pathInfo, const std::string& query,
                         int redirects) const;
    THttpResponse Dispatch(const THttpRequest& request, int redirects) const;
    void Log(const std::string& line) const;
    bool OwnHost(const std::string& host) const;

    class Http;
    std::unique_ptr<TPreviewSite> site_;
    Options options_;
    std::unique_ptr<Http> http_;
    int port_ = 0;
};

}  // namespace qp::preview
