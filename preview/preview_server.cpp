#include "preview/preview_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

#include "remote/visible_text.h"
#include "model/error.h"
#include "preview/cgi_response.h"
#include "preview/cgi_runner.h"
#include "preview/mail_view.h"
#include "preview/request_gate.h"
#include "preview/request_stream.h"
#include "preview/status_page.h"

namespace qp::preview {
namespace {

constexpr const char* kMailsPath = "/__mails__";
constexpr int kMaxLocalRedirects = 5;
// Whole requests are answered by a few threads; the gate holds everything that is slower.
constexpr int kWorkers = 4;
constexpr std::size_t kMaxWaitingRequests = 32;
constexpr std::chrono::seconds kWriteTimeout{10};

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// "HTTP_" and the header's name in upper case with "-" as "_".
std::string MetaVariableName(const std::string& header) {
    std::string name = "HTTP_";
    for (char c : header) {
        name.push_back(c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return name;
}

bool PlainHeaderName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
    });
}

THttpResponse Page(int status, const std::string& title, const std::string& bodyHtml) {
    THttpResponse response;
    response.Status = status;
    response.Headers.emplace_back("Content-Type", "text/html; charset=UTF-8");
    response.Body = StatusPageHtml(title, bodyHtml);
    return response;
}

// cpp-httplib hands every accepted connection to its task queue; here the gate takes it at
// once on the accepting thread.
class InlineTaskQueue : public httplib::TaskQueue {
public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

// The CGI failed: what it wrote to standard error is what the user needs to put it right.
THttpResponse CgiFailure(const std::string& why, const std::string& errorOutput) {
    std::string body = "<p>" + EscapeHtmlUtf8(why) + "</p>\n";
    if (!errorOutput.empty()) {
        body += "<p>CGIのエラー出力:</p>\n<pre id=\"stderr\">" + EscapeHtmlUtf8(errorOutput) + "</pre>\n";
    }
    return Page(502, "CGIの実行に失敗しました", body);
}

}  // namespace

std::string THttpResponse::Header(const std::string& name) const {
    for (const auto& [key, value] : Headers) {
        if (EqualsNoCase(key, name)) return value;
    }
    return {};
}

// cpp-httplib parses and answers each request, but reads it from the gate's copy: the
// sockets go to the gate instead of to the library's blocking reads.
class TPreviewServer::Http : public httplib::Server {
public:
    explicit Http(const TPreviewServer& owner)
        : gate(
              owner.options_.Requests,
              [this](int socket, std::string request) { return Enqueue(socket, std::move(request)); },
              [&owner](const std::string& line) { owner.Log(line); }) {
        new_task_queue = [] { return new InlineTaskQueue; };
    }
    ~Http() override { StopServing(); }

    // The library listens with a backlog of 5: a burst of connections would make the user's
    // own wait for the kernel to retry it. Listening again only changes the backlog.
    void WidenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

    void StartServing() {
        gate.Start();
        for (int i = 0; i < kWorkers; ++i) workers_.emplace_back([this] { Work(); });
    }
    void StopServing() {
        gate.Stop();
        {
            std::lock_guard<std::mutex> lock(jobMutex_);
            jobsClosed_ = true;
        }
        jobReady_.notify_all();
        for (auto& worker : workers_) worker.join();
        workers_.clear();
        for (auto& job : jobs_) ::close(job.socket);
        jobs_.clear();
    }

    TRequestGate gate;
    std::mutex mutex;
    bool stopRequested = false;
    bool runStarted = false;
    std::atomic<bool> runFinished{false};

private:
    struct Job {
        int socket;
        std::string request;
    };

    bool process_and_close_socket(socket_t sock) override {
        gate.Adopt(sock);
        return true;
    }
    bool Enqueue(int socket, std::string request) {
        {
            std::lock_guard<std::mutex> lock(jobMutex_);
            if (jobsClosed_ || jobs_.size() >= kMaxWaitingRequests) return false;
            jobs_.push_back({socket, std::move(request)});
        }
        jobReady_.notify_one();
        return true;
    }
    void Work() {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> lock(jobMutex_);
                jobReady_.wait(lock, [this] { return jobsClosed_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            TRequestStream stream(job.socket, std::move(job.request), kWriteTimeout);
            bool closed = false;
            process_request(stream, true, closed, nullptr);
            ::shutdown(job.socket, SHUT_RDWR);
            ::close(job.socket);
        }
    }

    std::mutex jobMutex_;
    std::condition_variable jobReady_;
    std::deque<Job> jobs_;
    bool jobsClosed_ = false;
    std::vector<std::thread> workers_;
};

TPreviewServer::TPreviewServer(std::unique_ptr<TPreviewSite> site, Options options)
    : site_(std::move(site)), options_(std::move(options)), http_(std::make_unique<Http>(*this)) {
    auto& server = *http_;
    // The library's default shares the port (SO_REUSEPORT): a second preview, or another
    // server, would then split the requests with this one instead of making it move on.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_payload_max_length(options_.Requests.Limits.MaxBodyBytes);

    auto reply = [](const THttpResponse& answer, httplib::Response& res) {
        res.status = answer.Status;
        std::string type;
        for (const auto& [name, value] : answer.Headers) {
            if (EqualsNoCase(name, "Content-Type")) {
                type = value;
            } else if (!EqualsNoCase(name, "Content-Length") && !EqualsNoCase(name, "Connection") &&
                       !EqualsNoCase(name, "Transfer-Encoding")) {
                res.set_header(name.c_str(), value);
            }
        }
        if (!type.empty() || !answer.Body.empty()) {
            res.set_content(answer.Body, type.empty() ? "application/octet-stream" : type.c_str());
        }
    };
    auto convert = [](const httplib::Request& req) {
        THttpRequest request;
        request.Method = req.method;
        request.Target = req.target.empty() ? req.path : req.target;
        for (const auto& [name, value] : req.headers) {
            // httplib adds these for its own bookkeeping; they did not come from the client.
            if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
                name == "LOCAL_PORT") {
                continue;
            }
            request.Headers.emplace_back(name, value);
        }
        request.RemoteAddr = req.remote_addr.empty() ? "127.0.0.1" : req.remote_addr;
        return request;
    };
    server.Get(".*", [this, reply, convert](const httplib::Request& req, httplib::Response& res) {
        reply(Handle(convert(req)), res);
    });
    server.Post(".*", [this, reply, convert](const httplib::Request& req, httplib::Response& res,
                                             const httplib::ContentReader& reader) {
        THttpRequest request = convert(req);
        // The raw body, also for multipart forms: the CGI parses it, not the server.
        const bool whole = reader([&request](const char* data, size_t length) {
            request.Body.append(data, length);
            return true;
        });
        if (!whole) {
            reply(Page(400, "リクエストが正しくありません",
                       "<p>本文を読み取れなかったため、CGIは実行していません。</p>\n"),
                  res);
            return;
        }
        reply(Handle(request), res);
    });
    server.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        Log(VisibleText(req.method + " " + (req.target.empty() ? req.path : req.target)) + " " +
            std::to_string(res.status));
    });
}

TPreviewServer::TPreviewServer(std::unique_ptr<TPreviewSite> site)
    : TPreviewServer(std::move(site), Options{}) {}

TPreviewServer::~TPreviewServer() {
    Stop();
}

int TPreviewServer::Bind(int firstPort, int attempts) {
    for (int port = std::max(firstPort, 1); port < firstPort + attempts && port <= 65535; ++port) {
        if (http_->bind_to_port("127.0.0.1", port)) {
            http_->WidenBacklog();
            port_ = port;
            return port;
        }
    }
    throw Error("プレビュー用のポートが空いていません（" + std::to_string(firstPort) + "から" +
                std::to_string(attempts) + "個）。");
}

void TPreviewServer::Run() {
    {
        std::lock_guard<std::mutex> lock(http_->mutex);
        if (http_->stopRequested) return;
        http_->runStarted = true;
    }
    http_->StartServing();
    http_->listen_after_bind();
    http_->StopServing();
    http_->runFinished = true;
}

void TPreviewServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(http_->mutex);
        http_->stopRequested = true;
        if (!http_->runStarted) return;
    }
    // Run() may not have reached its loop yet; stopping before that would be lost.
    while (!http_->is_running() && !http_->runFinished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    http_->stop();
}

std::string TPreviewServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}
std::string TPreviewServer::FormUrl() const {
    return BaseUrl() + "/" + site_->ScriptName();
}
std::string TPreviewServer::MailsUrl() const {
    return BaseUrl() + kMailsPath;
}

void TPreviewServer::Log(const std::string& line) const {
    if (options_.Log) options_.Log(line);
}

bool TPreviewServer::OwnHost(const std::string& host) const {
    std::string name = host;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string port = ":" + std::to_string(port_);
    for (const char* own : {"127.0.0.1", "localhost", "[::1]"}) {
        if (name == own + port || (port_ == 80 && name == own)) return true;
    }
    return false;
}

THttpResponse TPreviewServer::Handle(const THttpRequest& request) const {
    // A page on another site can make the browser send its requests here under its own name
    // (DNS rebinding); only the preview's own address is answered.
    std::string host;
    int hosts = 0;
    for (const auto& [name, value] : request.Headers) {
        if (EqualsNoCase(name, "Host")) {
            host = value;
            ++hosts;
        }
    }
    if (hosts != 1 || !OwnHost(host)) {
        return Page(421, "このアドレスでは応答しません",
                    "<p>プレビューは <a href=\"" + EscapeHtmlUtf8(BaseUrl()) + "/\">" +
                        EscapeHtmlUtf8(BaseUrl()) + "/</a> でだけ応答します。</p>\n");
    }
    return Dispatch(request, 0);
}

THttpResponse TPreviewServer::Dispatch(const THttpRequest& request, int redirects) const {
    const std::size_t question = request.Target.find('?');
    const std::string path = request.Target.substr(0, question);
    const std::string query = question == std::string::npos ? "" : request.Target.substr(question + 1);
    const std::string script = "/" + site_->ScriptName();

    if (path == "/") {
        THttpResponse response;
        response.Status = 302;
        response.Headers.emplace_back("Location", script);
        return response;
    }
    if (path == kMailsPath) {
        THttpResponse response;
        response.Headers.emplace_back("Content-Type", "text/html; charset=UTF-8");
        response.Headers.emplace_back("Cache-Control", "no-store");
        response.Body = MailsPage(ReadCapturedMails(site_->MailFolder()), script);
        return response;
    }
    if (path == script || path.rfind(script + "/", 0) == 0) {
        if (request.Method != "GET" && request.Method != "POST" && request.Method != "HEAD") {
            return Page(405, "このメソッドは使えません", "");
        }
        return RunCgi(request, path.substr(script.size()), query, redirects);
    }
    return Page(404, "ページがありません",
                "<p><a href=\"" + EscapeHtmlUtf8(script) + "\">フォームへ</a></p>\n");
}

THttpResponse TPreviewServer::RunCgi(const THttpRequest& request, const std::string& pathInfo,
                                     const std::string& query, int redirects) const {
    std::vector<std::string> env;
    auto set = [&env](const std::string& name, const std::string& value) {
        env.push_back(name + "=" + value);
    };
    const char* path = std::getenv("PATH");
    set("PATH", path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
    if (const char* tz = std::getenv("TZ")) set("TZ", tz);
    set("GATEWAY_INTERFACE", "CGI/1.1");
    set("SERVER_SOFTWARE", "quillpost-preview");
    set("SERVER_NAME", "127.0.0.1");
    set("SERVER_PORT", std::to_string(port_));
    set("SERVER_PROTOCOL", "HTTP/1.1");
    set("REQUEST_METHOD", request.Method);
    set("REQUEST_URI", request.Target);
    set("SCRIPT_NAME", "/" + site_->ScriptName());
    set("SCRIPT_FILENAME", site_->ScriptPath());
    set("DOCUMENT_ROOT", site_->Folder());
    set("QUERY_STRING", query);
    set("REMOTE_ADDR", request.RemoteAddr);
    set("REMOTE_HOST", request.RemoteAddr);
    if (!pathInfo.empty()) {
        set("PATH_INFO", pathInfo);
        set("PATH_TRANSLATED", site_->Folder() + pathInfo);
    }
    std::string contentType;
    for (const auto& [name, value] : request.Headers) {
        if (EqualsNoCase(name, "Content-Type")) {
            contentType = value;
        } else if (EqualsNoCase(name, "Content-Length") || EqualsNoCase(name, "Authorization") ||
                   EqualsNoCase(name, "Proxy") || !PlainHeaderName(name)) {
            // Length is the body's own; credentials and "Proxy" (httpoxy) are not passed on.
            continue;
        } else {
            set(MetaVariableName(name), value);
        }
    }
    if (request.Method == "POST") {
        set("CONTENT_LENGTH", std::to_string(request.Body.size()));
        if (!contentType.empty()) set("CONTENT_TYPE", contentType);
    }

    TProcessRequest process;
    process.Argv = {site_->Perl(), site_->ScriptPath()};
    process.Environment = std::move(env);
    process.WorkDir = site_->Folder();
    process.Input = request.Method == "POST" ? request.Body : std::string();
    process.Timeout = options_.CgiTimeout;
    const TProcessResult result = RunProcess(process);
    if (!result.ErrorOutput.empty()) Log("CGI: " + VisibleLines(result.ErrorOutput));

    if (result.ExecErrno != 0) return CgiFailure("perlを起動できませんでした。", result.ErrorOutput);
    if (result.TimedOut) {
        return CgiFailure("CGIが" + std::to_string(options_.CgiTimeout.count() / 1000) +
                              "秒以内に終わらなかったため止めました。",
                          result.ErrorOutput);
    }
    if (result.TooLarge) return CgiFailure("CGIの出力が大きすぎます。", result.ErrorOutput);
    if (result.Signal != 0) {
        return CgiFailure("CGIがシグナル" + std::to_string(result.Signal) + "で終了しました。",
                          result.ErrorOutput);
    }
    TCgiResponse cgi;
    try {
        cgi = ParseCgiResponse(result.Output);
    } catch (const Error& e) {
        std::string why = e.Message();
        if (result.ExitCode != 0) why += "（終了コード " + std::to_string(result.ExitCode) + "）";
        return CgiFailure(why, result.ErrorOutput);
    }
    if (!cgi.LocalRedirect.empty()) {
        if (redirects >= kMaxLocalRedirects) return CgiFailure("CGIの転送が多すぎます。", "");
        THttpRequest next;
        next.Method = "GET";
        next.Target = cgi.LocalRedirect;
        next.Headers = request.Headers;
        next.RemoteAddr = request.RemoteAddr;
        return Dispatch(next, redirects + 1);
    }
    THttpResponse response;
    response.Status = cgi.Status;
    response.Headers = std::move(cgi.Headers);
    response.Body = request.Method == "HEAD" ? std::string() : std::move(cgi.Body);
    return response;
}

}  // namespace qp::preview
