// The local make of a 10,000-item project: the script text and its conversion in-process,
// and the whole `quillpost-cli make` (load, check, write, convert, rename) as a user runs it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "generate/cgi_writer.h"
#include "generate/euc_convert.h"
#include "generate/make_driver.h"
#include "generate/sample_pages.h"
#include "model/charset.h"
#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "model/project_config.h"

extern char** environ;

namespace {

constexpr int kItems = 10000;
// Any key will do: the benchmark times the writer, not the random source.
const std::string kSecret(64, '0');

std::string J(const char* utf8) {
    return qp::charset::Utf8ToSjis(utf8);
}

std::unique_ptr<qp::TProjectConfig> BigProject() {
    auto p = std::make_unique<qp::TProjectConfig>();
    for (int i = 0; i < kItems; ++i) {
        const std::string name = "field" + std::to_string(i);
        std::unique_ptr<qp::TProjectItem> item;
        switch (i % 5) {
            case 0: {
                auto t = std::make_unique<qp::TProjectItemText>(name);
                t->SetConvertTypes({qp::ctStrip, qp::ctZenNumHyphenToHan});
                t->SetConstraintType(4);
                t->SetConstraintError(J("メールアドレスの形式が正しくありません。"));
                item = std::move(t);
                break;
            }
            case 1: {
                auto t = std::make_unique<qp::TProjectItemTextarea>(name);
                t->SetSizeConstraint(2000);
                item = std::move(t);
                break;
            }
            case 2: {
                auto c = std::make_unique<qp::TProjectItemCheckbox>(name);
                c->SetValue(J("希望する"));
                item = std::move(c);
                break;
            }
            case 3: {
                auto r = std::make_unique<qp::TProjectItemRadio>(name);
                r->SetValues({J("はい"), J("いいえ"), J("どちらでもない")});
                item = std::move(r);
                break;
            }
            default: {
                auto m = std::make_unique<qp::TProjectItemPopupmenu>(name);
                m->SetValues({J("東京都"), J("大阪府"), J("髙知県")});
                item = std::move(m);
                break;
            }
        }
        item->SetNameValue(J("項目") + std::to_string(i));
        item->SetRequired(i % 2 == 0);
        item->SetRequiredError(J("この項目は必須です。表示・ソフト＄＠"));
        p->AddItem(std::move(item));
    }
    p->SetManagerMailFrom("<% field0 %>");
    p->SetManagerMailTo("admin@example.com");
    p->SetManagerMailSubject(J("お問い合わせ $ @"));
    p->SetFormHtml(MakeFormSampleHtml(*p));
    p->SetUseConfirm(true);
    p->SetConfirmHtml(MakeConfirmSampleHtml(*p));
    return p;
}

const qp::TProjectConfig& Project() {
    static const auto project = BigProject();
    return *project;
}

void BM_MakeCgiScript(benchmark::State& state) {
    const auto& p = Project();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string script = MakeCgiScript(p, kSecret);
        bytes = script.size();
        benchmark::DoNotOptimize(script);
    }
    state.counters["script_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_MakeCgiScript)->Unit(benchmark::kMillisecond);

void BM_MakeCgiScriptAndConvert(benchmark::State& state) {
    const auto& p = Project();
    for (auto _ : state) {
        std::string text = qp::ConvertSjisToEuc(MakeCgiScript(p, kSecret));
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_MakeCgiScriptAndConvert)->Unit(benchmark::kMillisecond);

std::string CliPath() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    self[n] = '\0';
    // bench executables sit in <build>/bench/, quillpost-cli in <build>/.
    return (std::filesystem::path(self).parent_path().parent_path() / "quillpost-cli").string();
}

void BM_CliMake(benchmark::State& state) {
    const std::string cli = CliPath();
    if (!std::filesystem::exists(cli)) {
        state.SkipWithError("quillpost-cli is not built beside the bench folder");
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/qpbench-make-XXXXXX";
    if (!mkdtemp(dir.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string qpf = dir + "/big.qpf", cgi = dir + "/big.cgi";
    Project().SaveToFile(qpf);
    std::string a0 = cli, a1 = "make", a2 = qpf, a3 = "-o", a4 = cgi;
    char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, cli.c_str(), &actions, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("quillpost-cli make failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    state.counters["cgi_bytes"] = static_cast<double>(std::filesystem::file_size(cgi));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_CliMake)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
