#include "sitecheck/site_check.h"

#include <httplib.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <future>
#include <memory>

#include "inbox/inbox_crypto.h"
#include "model/error.h"
#include "model/project_config.h"
#include "sitecheck/check_key.h"

namespace qp {
namespace {

using Clock = std::chrono::steady_clock;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

struct Answer {
    int Status = 0;
    httplib::Headers Headers;
    std::string Body;
};

std::string Header(const Answer& a, const char* name) {
    for (const auto& [key, value] : a.Headers)
        if (Lower(key) == name) return value;
    return {};
}

// What the runtime writes on every page it makes: the form's submit names, or the token field
// its defences put into the form.
bool IsFormPage(const Answer& a) {
    if (Lower(Header(a, "content-type")).rfind("text/html", 0) != 0) return false;
    return a.Body.find("__qp_token__") != std::string::npos || a.Body.find("__action1__") != std::string::npos ||
           a.Body.find("__action2__") != std::string::npos;
}

// The runtime's answers all carry this header; a server's own error page does not.
bool FromRuntime(const Answer& a) {
    for (const auto& [name, value] : a.Headers)
        if (Lower(name) == "content-security-policy" && value == "frame-ancestors 'self'") return true;
    return false;
}

TSiteReport Report(TSiteVerdict verdict, std::string line) {
    TSiteReport r;
    r.Verdict = verdict;
    r.Lines.push_back(std::move(line));
    return r;
}

TSiteReport Judge(const Answer& a) {
    const std::string code = "(HTTP " + std::to_string(a.Status) + ")";
    switch (a.Status) {
        case 200:
            // The script's own text holds the form's markup too: it is looked for first.
            if (StartsWith(a.Body, "#!"))
                return Report(TSiteVerdict::Problem,
                              "CGIが実行されず、スクリプトの中身がそのまま表示されています" + code +
                                  "。このフォルダではCGIが動きません。CGIを置けるフォルダ(cgi-binなど)に設置し、"
                                  "表示されているスクリプトはサーバーから削除してください。");
            if (IsFormPage(a)) return Report(TSiteVerdict::Works, "フォームのCGIが動いています" + code + "。");
            return Report(TSiteVerdict::Problem, "設置先のURLはフォームのCGIではないページを返しました" + code +
                                                     "。URLがCGIのファイルを指しているか確かめてください。");
        case 301: case 302: case 303: case 307: case 308:
            return Report(TSiteVerdict::Problem, "設置先のURLは別のアドレス(" + Header(a, "location") + ")へ転送されます" +
                                                     code + "。設置先のURLを転送先のアドレスにしてください。");
        case 403:
            return Report(TSiteVerdict::Problem,
                          "CGIの実行が許可されていません" + code +
                              "。設置フォルダでCGIの実行が許されているか、CGIのファイルの属性が755か確かめてください。");
        case 404:
            return Report(TSiteVerdict::Problem, "設置先のURLにCGIが見つかりません" + code +
                                                     "。URL、設置フォルダ、CGIのファイル名が合っているか確かめてください。");
        case 500:
            if (FromRuntime(a))
                return Report(TSiteVerdict::Problem, "CGIは動いていますが、処理の途中でエラーになりました" + code +
                                                         "。サーバーのエラーログを確かめてください。");
            return Report(TSiteVerdict::Problem,
                          "CGIを実行できませんでした" + code +
                              "。perlのパス(CGIの1行目)が違うか、"
                              "Quillpost.pm、jcode.pl、mimew.plがCGIと同じフォルダにないおそれがあります。");
        default:
            return Report(TSiteVerdict::Problem, "サーバーが予期しない応答を返しました" + code + "。");
    }
}

std::string NetworkFailure(const httplib::Result& result, const TScriptUrl& url, long verifyResult) {
    const std::string where = "サーバー(" + url.Host + ":" + std::to_string(url.Port) + ")";
    switch (result.error()) {
        case httplib::Error::Connection:
            return where + "に接続できません。URLのホスト名とポート、ネットワークの接続を確かめてください。";
        case httplib::Error::SSLConnection:
            return where + "とHTTPSの接続を始められません。URLが http:// か https:// かを確かめてください。";
        case httplib::Error::SSLLoadingCerts:
            return "信頼する認証局の証明書を読み込めません。";
        case httplib::Error::SSLServerVerification:
            if (verifyResult != X509_V_OK)
                return where + "の証明書を確認できません(" + X509_verify_cert_error_string(verifyResult) +
                       ")。接続を中止しました。";
            return where + "の証明書はURLのホスト名のものではありません。接続を中止しました。";
        case httplib::Error::Read:
        case httplib::Error::Write:
            return where + "から時間内に応答がありませんでした。";
        default:
            return where + "との通信に失敗しました(" + httplib::to_string(result.error()) + ")。";
    }
}

}  // namespace

TScriptUrl ParseScriptUrl(const std::string& url) {
    const Error bad("設置先のURLは http:// か https:// で始まるアドレスにしてください(例: "
                    "https://example.com/cgi-bin/contact.cgi)。");
    for (const char c : url)
        if (c <= ' ' || c >= 0x7f) throw Error("設置先のURLに使えない文字(空白や全角文字)があります。");
    TScriptUrl u;
    std::string rest;
    const std::string lower = Lower(url);
    if (StartsWith(lower, "https://")) {
        u.Https = true;
        rest = url.substr(8);
    } else if (StartsWith(lower, "http://")) {
        rest = url.substr(7);
    } else {
        throw bad;
    }
    const std::size_t slash = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, slash);
    u.Target = slash == std::string::npos ? "/" : rest.substr(slash);
    if (const std::size_t hash = u.Target.find('#'); hash != std::string::npos) u.Target.erase(hash);
    if (u.Target.empty() || u.Target[0] != '/') u.Target.insert(0, "/");
    if (authority.find('@') != std::string::npos)
        throw Error("設置先のURLにユーザ名やパスワードを入れないでください。");
    std::string port;
    if (StartsWith(authority, "[")) {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) throw bad;
        u.Host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty() && (after[0] != ':' || after.size() == 1)) throw bad;
        if (!after.empty()) port = after.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        u.Host = authority.substr(0, colon);
        if (colon != std::string::npos) port = authority.substr(colon + 1);
    }
    if (u.Host.empty()) throw bad;
    u.Port = u.Https ? 443 : 80;
    if (!port.empty()) {
        if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) throw bad;
        u.Port = std::stoi(port);
        if (u.Port < 1 || u.Port > 65535) throw bad;
    }
    return u;
}

namespace {

// One bounded GET; false with the report of the failure when no answer came.
bool Fetch(const TScriptUrl& url, const TSiteCheckOptions& options, const std::string& target, Answer& answer,
           TSiteReport& failure) {
    std::unique_ptr<httplib::ClientImpl> client;
    httplib::SSLClient* tls = nullptr;
    if (url.Https) {
        auto ssl = std::make_unique<httplib::SSLClient>(url.Host, url.Port);
        // Never answered without the certificate checked: there is no switch to turn it off.
        ssl->enable_server_certificate_verification(true);
        if (!options.CaFile.empty()) ssl->set_ca_cert_path(options.CaFile.c_str());
        tls = ssl.get();
        client = std::move(ssl);
    } else {
        client = std::make_unique<httplib::ClientImpl>(url.Host, url.Port);
    }
    client->set_connection_timeout(options.ConnectTimeout);
    client->set_read_timeout(options.ReadTimeout);
    client->set_write_timeout(options.ReadTimeout);
    client->set_keep_alive(false);
    client->set_follow_location(false);

    bool cut = false, late = false;
    const Clock::time_point deadline = Clock::now() + options.WholeTimeout;
    const httplib::Headers headers = {{"User-Agent", "Quillpost-check"}, {"Accept-Encoding", "identity"}};
    httplib::Result result = client->Get(
        target, headers,
        [&](const httplib::Response& response) {
            answer.Status = response.status;
            answer.Headers = response.headers;
            return true;
        },
        [&](const char* data, std::size_t length) {
            if (Clock::now() > deadline) {
                late = true;
                return false;
            }
            const std::size_t room = options.MaxBytes - answer.Body.size();
            answer.Body.append(data, std::min(room, length));
            cut = length > room;
            return !cut;
        });
    if (late) {
        failure = Report(TSiteVerdict::Unreachable, "サーバー(" + url.Host + ")の応答が" +
                                                        std::to_string(options.WholeTimeout.count()) +
                                                        "秒以内に終わりませんでした。");
        return false;
    }
    if (!result && !(cut && answer.Status != 0)) {
        failure = Report(TSiteVerdict::Unreachable,
                         NetworkFailure(result, url, tls ? tls->get_openssl_verify_result() : X509_V_OK));
        return false;
    }
    return true;
}

std::string Field(const std::string& body, const std::string& name) {
    const std::string mark = name + "=";
    for (std::size_t at = 0; at < body.size();) {
        const std::size_t end = std::min(body.find('\n', at), body.size());
        if (body.compare(at, mark.size(), mark) == 0) return body.substr(at + mark.size(), end - at - mark.size());
        at = end + 1;
    }
    return {};
}

std::string FileName(const TSiteCheckOptions& options, const char* suffix) {
    std::string name = options.ScriptName;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '_';
    return ".htquillpost-" + name + suffix;
}

// The lines of a status answer: what the host runs, then one line per problem.
void JudgeStatus(const Answer& a, const TSiteCheckOptions& options, TSiteReport& report) {
    if (a.Status != 200 || Field(a.Body, "quillpost-status") != "1") {
        report.Verdict = TSiteVerdict::Problem;
        report.Lines.push_back("CGIが状態の確認に答えませんでした。設置されているCGIが古いか、別のプロジェクトのものです。"
                               "もう一度アップロードしてください。");
        return;
    }
    const std::string runtime = Field(a.Body, "runtime"), script = Field(a.Body, "script");
    report.Lines.push_back("サーバーの状態: perl " + Field(a.Body, "perl") + "、実行用ファイル " + runtime + "、文字コード " +
                           Field(a.Body, "charset") + "。");
    std::vector<std::string> problems;
    if (Field(a.Body, "sendmail_runs") != "1") {
        const std::string found = Field(a.Body, "sendmails");
        problems.push_back("sendmailのパス(" + Field(a.Body, "sendmail") + ")が見つからないか、実行できません。" +
                           (found.empty() ? std::string("よく使われる場所にもありません。サーバーの管理者にsendmailのパスを尋ねてください。")
                                          : "このサーバーにあるのは " + found + " です。sendmailのパスをそれにしてください。"));
    }
    if (options.UsesStateFile && Field(a.Body, "state") != "1") report.Fixable.push_back(FileName(options, ""));
    if (options.UsesInbox && Field(a.Body, "inbox") != "1") report.Fixable.push_back(FileName(options, "-inbox"));
    if (options.UsesStateFile && Field(a.Body, "state") != "1")
        problems.push_back("CGIが記録ファイル(" + FileName(options, "") +
                           ")に書き込めないため、送信回数の上限が働いていません。設置フォルダをCGIが書き込めるようにするか、"
                           "その名前の空のファイルを属性666で置いてください(verify --fix、または「修正する」で作れます)。");
    if (options.UsesInbox && Field(a.Body, "inbox") != "1")
        problems.push_back("CGIが受信データのファイル(" + FileName(options, "-inbox") +
                           ")に書き込めないため、受信データを保存できません。設置フォルダをCGIが書き込めるようにするか、"
                           "その名前の空のファイルを属性666で置いてください(verify --fix、または「修正する」で作れます)。");
    if (runtime != script)
        problems.push_back("サーバーの実行用ファイル(Quillpost.pm " + runtime + ")とCGI(" + script +
                           ")の版が違います。実行用ファイルもアップロードし直してください。");
    if (!problems.empty()) report.Verdict = TSiteVerdict::Problem;
    for (std::string& p : problems) report.Lines.push_back(std::move(p));
}

}  // namespace

TSiteCheckOptions SiteCheckOptionsOf(const TProjectConfig& project) {
    TSiteCheckOptions o;
    o.Url = project.GetScriptUrl();
    o.CheckKey = project.Settings().Text(TSetting::CheckKey);
    o.ScriptName = project.GetFtpFileName();
    o.PerlPath = project.GetPerlPath();
    const TGuardSettings g = project.GetGuard();
    o.UsesStateFile = g.LimitCount > 0 || g.ReplyLimit > 0 || g.ReplyPerHour > 0;
    o.UsesInbox = project.Bool(TSetting::UseInbox);
    return o;
}

namespace {

const char kProbeMark[] = "quillpost-probe-ran";

std::string ProbePrefix() {
    return ".qp-" + inbox::Hex(inbox::RandomBytes(4, "確認用のファイル名を作れません(乱数を得られません)。")) + "-perl";
}

// Which perl path runs a CGI in the script's folder: one probe per path, each removed again.
void Probe(const TScriptUrl& url, const TSiteCheckOptions& options, TProbeFolder& folder, const TNetworkRunner& run,
           TSiteReport& report) {
    std::vector<std::string> paths = {"/usr/bin/perl", "/usr/local/bin/perl"};
    if (!options.PerlPath.empty() && std::find(paths.begin(), paths.end(), options.PerlPath) == paths.end())
        paths.push_back(options.PerlPath);
    const std::string prefix = ProbePrefix();
    const std::string base = url.Target.substr(0, url.Target.find('?'));
    const std::string folderTarget = base.substr(0, base.rfind('/') + 1);
    std::vector<std::string> placed, runs;
    try {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const std::string name = prefix + std::to_string(i) + ".cgi";
            folder.Put(name, "#!" + paths[i] + "\nprint \"Content-Type: text/plain\\r\\n\\r\\n" + kProbeMark + "\\n\";\n");
            placed.push_back(name);
        }
        for (std::size_t i = 0; i < placed.size(); ++i) {
            Answer answer;
            TSiteReport failure;
            bool got = false;
            run([&] { got = Fetch(url, options, folderTarget + placed[i], answer, failure); });
            if (got && answer.Status == 200 && answer.Body.rfind(kProbeMark, 0) == 0) runs.push_back(paths[i]);
        }
    } catch (const Error& e) {
        report.Lines.push_back("確認用のCGIを置けませんでした: " + e.Message());
    }
    for (const std::string& name : placed)
        if (!folder.Remove(name)) report.Lines.push_back("確認用のファイル「" + name + "」を削除できませんでした。サーバーから削除してください。");
    if (placed.size() != paths.size()) return;
    if (runs.empty()) {
        report.Lines.push_back("試したperlのパス(" + [&] {
            std::string all;
            for (const auto& p : paths) all += (all.empty() ? "" : "、") + p;
            return all;
        }() + ")では、どれもCGIが動きませんでした。このフォルダではCGIが動かないおそれがあります。");
    } else if (std::find(runs.begin(), runs.end(), options.PerlPath) != runs.end()) {
        report.Lines.push_back("perlのパス(" + options.PerlPath +
                               ")のCGIは動きます。Quillpost.pm、jcode.pl、mimew.plがCGIと同じフォルダにあるか確かめてください。");
    } else {
        report.Lines.push_back("perlのパスを " + runs.front() + " にしてください");
    }
}

}  // namespace

TSiteReport CheckSite(const TSiteCheckOptions& options, TProbeFolder* probes, const TNetworkRunner& runner) {
    const TNetworkRunner run = runner ? runner : TNetworkRunner([](const std::function<void()>& step) { step(); });
    TScriptUrl url;
    try {
        url = ParseScriptUrl(options.Url);
    } catch (const Error& e) {
        return Report(TSiteVerdict::Problem, e.Message());
    }
    if (!options.CaFile.empty() && ::access(options.CaFile.c_str(), R_OK) != 0)
        throw FileError("認証局の証明書ファイル「" + options.CaFile + "」を読めません。");

    Answer answer;
    TSiteReport report;
    bool got = false;
    run([&] { got = Fetch(url, options, url.Target, answer, report); });
    if (!got) return report;
    report = Judge(answer);
    if (answer.Status == 500 && !FromRuntime(answer) && probes) Probe(url, options, *probes, run, report);
    if (report.Verdict != TSiteVerdict::Works || options.CheckKey.empty()) return report;

    const std::string signature = SignStatusRequest(options.CheckKey, static_cast<long long>(std::time(nullptr)));
    const std::string target = url.Target + (url.Target.find('?') == std::string::npos ? "?" : "&") +
                               "__qp_status__=" + signature;
    Answer status;
    TSiteReport failure;
    run([&] { got = Fetch(url, options, target, status, failure); });
    if (!got) {
        report.Verdict = failure.Verdict;
        for (std::string& line : failure.Lines) report.Lines.push_back(std::move(line));
        return report;
    }
    JudgeStatus(status, options, report);
    return report;
}

TSiteReport FixSite(const TSiteCheckOptions& options, TProbeFolder& folder, const TSiteReport& found,
                    const TNetworkRunner& run) {
    std::vector<std::string> lines;
    for (const std::string& name : found.Fixable) {
        try {
            folder.MakeWritable(name);
            lines.push_back("「" + name + "」を属性666にして、CGIが書き込めるようにしました。");
        } catch (const Error& e) {
            lines.push_back("「" + name + "」を作成できませんでした: " + e.Message());
        }
    }
    TSiteReport again = CheckSite(options, &folder, run);
    lines.insert(lines.end(), again.Lines.begin(), again.Lines.end());
    again.Lines = std::move(lines);
    return again;
}

TNetworkRunner PumpingRunner(const std::function<void()>& pump) {
    return [pump](const std::function<void()>& step) {
        std::future<void> running = std::async(std::launch::async, step);
        while (running.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) pump();
        running.get();
    };
}

std::string AddressLine(const std::string& url) {
    return "フォームのアドレス: " + url;
}

}  // namespace qp
