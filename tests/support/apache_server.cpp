#include "support/apache_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "support/loopback_port.h"

namespace qp::test {
namespace {

constexpr const char* kApache = "/usr/sbin/apache2";
constexpr const char* kModules = "/usr/lib/apache2/modules/";

std::string Module(const char* name, const char* file) {
    return std::string("LoadModule ") + name + " " + kModules + file + "\n";
}

}  // namespace

ApacheServer::ApacheServer(const std::string& documentRoot, const std::string& certificate, const std::string& key)
    : tls_(!certificate.empty()) {
    if (::access(kApache, X_OK) != 0) throw std::runtime_error("apache2 is not installed (scripts/lib/deps.sh)");
    ::chmod(documentRoot.c_str(), 0755);
    ::chmod(root_.Path().c_str(), 0755);
    for (const char* sub : {"/noexec", "/plain"}) ::mkdir((documentRoot + sub).c_str(), 0755);
    // Another process may take the free port between the look and the start: tried again.
    for (int attempt = 0; attempt < 3; ++attempt)
        if (Start(documentRoot, certificate, key)) return;
    throw std::runtime_error("apache2 did not start: " + ErrorLog());
}

ApacheServer::~ApacheServer() {
    Stop();
}

std::string ApacheServer::Origin() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string ApacheServer::ErrorLog() const {
    try {
        return ReadFile(root_.File("error.log"));
    } catch (const std::runtime_error&) {
        return {};
    }
}

bool ApacheServer::Start(const std::string& documentRoot, const std::string& certificate, const std::string& key) {
    port_ = FreeLoopbackPort();
    std::string conf = "ServerRoot \"" + root_.Path() + "\"\nServerName 127.0.0.1\nListen 127.0.0.1:" +
                       std::to_string(port_) + "\nPidFile " + root_.File("httpd.pid") + "\nMutex file:" +
                       root_.Path() + " default\nErrorLog " + root_.File("error.log") + "\nLogLevel warn\n" +
                       Module("mpm_event_module", "mod_mpm_event.so") +
                       Module("authz_core_module", "mod_authz_core.so") + Module("mime_module", "mod_mime.so") +
                       Module("cgid_module", "mod_cgid.so") + "ScriptSock " + root_.File("cgid.sock") +
                       "\nTypesConfig /etc/mime.types\nDocumentRoot \"" + documentRoot + "\"\n" +
                       "<Directory \"" + documentRoot + "\">\n  Options +ExecCGI\n  AddHandler cgi-script .cgi\n" +
                       "  Require all granted\n</Directory>\n" + "<Directory \"" + documentRoot +
                       "/noexec\">\n  Options -ExecCGI\n</Directory>\n" + "<Directory \"" + documentRoot +
                       "/plain\">\n  RemoveHandler .cgi\n  AddType text/plain .cgi\n</Directory>\n";
    if (::geteuid() == 0) conf += "User www-data\nGroup www-data\n";
    if (tls_)
        conf += Module("socache_shmcb_module", "mod_socache_shmcb.so") + Module("ssl_module", "mod_ssl.so") +
                "SSLEngine on\nSSLCertificateFile " + certificate + "\nSSLCertificateKeyFile " + key + "\n";
    WriteFile(root_.File("httpd.conf"), conf);

    pid_ = ::fork();
    if (pid_ == 0) {
        const std::string file = root_.File("httpd.conf");
        ::execl(kApache, "apache2", "-f", file.c_str(), "-DFOREGROUND", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (AcceptsOnLoopback(port_)) return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Stop();
    return false;
}

void ApacheServer::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

void MakeLoopbackCertificate(const std::string& folder) {
    const ShellResult made = RunShell(
        "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost "
        "-addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout '" +
        folder + "/key.pem' -out '" + folder + "/cert.pem' 2>/dev/null");
    if (made.status != 0) throw std::runtime_error("openssl could not make the test certificate");
}

}  // namespace qp::test
