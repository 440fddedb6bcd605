// quillpost-cli preview: the project's CGI served on this computer with its mails captured,
// until SIGINT or SIGTERM.
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <iostream>
#include <mutex>
#include <thread>

#include "cli/cli_common.h"
#include "deploy/make_upload.h"
#include "preview/preview_server.h"

extern char** environ;

namespace qp::cli {
namespace {

constexpr int kDefaultPort = 8080;

int PortOption(const Args& args) {
    const auto value = args.Value("--port");
    if (!value) return kDefaultPort;
    int port = 0;
    std::size_t used = 0;
    try {
        port = std::stoi(*value, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != value->size() || port < 1 || port > 65535) {
        throw UsageError("--port には 1 から 65535 の数を指定してください: " + *value);
    }
    return port;
}

// The desktop's browser; the preview goes on whether or not it opens.
void OpenInBrowser(const std::string& url) {
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(url.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, &attr, argv, environ) != 0) {
        PrintError("ブラウザを開けませんでした（xdg-open）。");
    }
    posix_spawnattr_destroy(&attr);
}

int Run(const Args& args) {
    args.ExpectPositional(1);
    const int port = PortOption(args);
    TProjectConfig project;
    LoadProject(args.positional[0], project);
    auto site = preview::TPreviewSite::Make(project, args.Value("--lib").value_or(SupportFolder()));

    std::mutex logMutex;
    preview::TPreviewServer::Options options;
    options.Log = [&logMutex](const std::string& line) {
        std::lock_guard<std::mutex> lock(logMutex);
        std::cerr << line << (line.empty() || line.back() != '\n' ? "\n" : "") << std::flush;
    };
    preview::TPreviewServer server(std::move(site), options);

    // Every thread started from here on leaves SIGINT and SIGTERM to sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    server.Bind(port);
    std::cout << "プレビュー: " << server.FormUrl() << "\n"
              << "送信されたメール: " << server.MailsUrl() << "\n"
              << "止めるには Ctrl+C を押してください。" << std::endl;

    std::thread serving([&server] {
        server.Run();
        // The server ended on its own: wake the waiting thread.
        ::kill(::getpid(), SIGTERM);
    });
    if (args.Has("--open")) OpenInBrowser(server.FormUrl());
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    serving.join();
    std::cout << "プレビューを終了しました。" << std::endl;
    return kExitOk;
}

const RegisterCommand kRegister({"preview",
                                 "preview PROJECT.qpf [--port N] [--open] [--lib DIR]",
                                 "serves the project's CGI on 127.0.0.1 with its mails captured",
                                 60,
                                 {"--port", "--lib"},
                                 {"--open"},
                                 Run});

}  // namespace
}  // namespace qp::cli
