// Saving and loading projects of 100, 1,000 and 10,000 items. The time per item (the
// "per_item" counter) should stay flat as the project grows: every key look-up is hashed.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/item_checkbox.h"
#include "model/item_choice.h"
#include "model/item_text.h"
#include "model/item_textarea.h"
#include "model/project_config.h"

namespace {

// Memory-backed when possible, so that the figures are the program's and not the disk's.
std::string BenchFolder() {
    struct Folder {
        std::string path;
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder{[] {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp && *tmp ? tmp : "/tmp");
        std::string templ = base + "/qpbench-XXXXXX";
        if (!mkdtemp(templ.data())) std::abort();
        return templ;
    }()};
    return folder.path;
}

void FillProject(qp::TProjectConfig& p, int count) {
    p.SetManagerMailSubject("Inquiry");
    p.SetFormHtml("<form action=\"formmail.cgi\" method=\"post\">\r\n<% __error__ %>\r\n</form>\r\n");
    for (int i = 0; i < count; ++i) {
        const std::string name = "field" + std::to_string(i);
        std::unique_ptr<qp::TProjectItem> item;
        switch (i % 5) {
            case 0: {
                auto t = std::make_unique<qp::TProjectItemText>(name);
                t->SetSizeConstraint(80);
                t->SetSizeConstraintError("too long");
                t->SetConvertTypes({qp::ctStrip, qp::ctZenNumHyphenToHan});
                t->SetConstraintType(4);
                t->SetConstraintError("not a mail address");
                item = std::move(t);
                break;
            }
            case 1: item = std::make_unique<qp::TProjectItemTextarea>(name); break;
            case 2: {
                auto c = std::make_unique<qp::TProjectItemCheckbox>(name);
                c->SetValue("yes");
                item = std::move(c);
                break;
            }
            case 3: {
                auto r = std::make_unique<qp::TProjectItemRadio>(name);
                r->SetValues({"one", "two", "three, four"});
                item = std::move(r);
                break;
            }
            default: {
                auto m = std::make_unique<qp::TProjectItemPopupmenu>(name);
                m->SetValues({"a", "b", "c"});
                item = std::move(m);
                break;
            }
        }
        item->SetNameValue("Field " + std::to_string(i));
        item->SetRequired(true);
        item->SetRequiredError("Please fill in this field.");
        p.AddItem(std::move(item));
    }
}

void SetCounters(benchmark::State& state, int count) {
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["per_item"] = benchmark::Counter(static_cast<double>(state.iterations()) * count,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_SaveToFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    qp::TProjectConfig p;
    FillProject(p, count);
    const std::string path = BenchFolder() + "/save" + std::to_string(count) + ".qpf";
    for (auto _ : state) p.SaveToFile(path);
    SetCounters(state, count);
}

void BM_LoadFromFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::string path = BenchFolder() + "/load" + std::to_string(count) + ".qpf";
    {
        qp::TProjectConfig p;
        FillProject(p, count);
        p.SaveToFile(path);
    }
    qp::TProjectConfig p;
    for (auto _ : state) {
        p.LoadFromFile(path);
        benchmark::DoNotOptimize(p.GetItemCount());
    }
    if (p.GetItemCount() != count) state.SkipWithError("the project did not load whole");
    SetCounters(state, count);
}

// On a shared machine the fastest of several runs is the figure least disturbed by others.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BENCHMARK(BM_SaveToFile)
    ->Arg(100)->Arg(1000)->Arg(10000)
    ->Repetitions(5)->ComputeStatistics("min", Fastest)->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadFromFile)
    ->Arg(100)->Arg(1000)->Arg(10000)
    ->Repetitions(5)->ComputeStatistics("min", Fastest)->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
