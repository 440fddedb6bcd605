// Throughput of ConvertSjisToEuc beside iconv called alone on the same Shift_JIS text.
// BM_EucVsIconv reports the ratio of the two times ("ratio" 1.0 = no overhead).
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <chrono>
#include <string>
#include <vector>

#include "generate/euc_convert.h"
#include "model/charset.h"

namespace {

// About 1 MB of a typical script: ASCII Perl with Japanese messages, half-width kana and ①.
const std::string& Text() {
    static const std::string text = [] {
        const std::string block = qp::charset::Utf8ToSjis(
            "    REQUIRED_ERROR =><<__END__,\r\nお名前を入力してください。表示・ソフト ｶﾀｶﾅ ① 髙\r\n"
            "__END__\r\n    SIZE_CONSTRAINT => 0,\r\n    CONVERT => [\r\n      \\&Quillpost::strip,\r\n"
            "      ],\r\n  },\r\n");
        std::string t;
        while (t.size() < (1u << 20)) t += block;
        return t;
    }();
    return text;
}

std::string IconvAlone(const std::string& in) {
    iconv_t cd = iconv_open("EUC-JP-MS", "CP932");
    std::string out(in.size() * 2 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

void BM_ConvertSjisToEuc(benchmark::State& state) {
    const std::string& text = Text();
    for (auto _ : state) {
        std::string out = qp::ConvertSjisToEuc(text);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ConvertSjisToEuc)->Unit(benchmark::kMillisecond);

void BM_IconvAlone(benchmark::State& state) {
    const std::string& text = Text();
    for (auto _ : state) {
        std::string out = IconvAlone(text);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_IconvAlone)->Unit(benchmark::kMillisecond);

// Both in turn inside one benchmark, so that the ratio comes from the same conditions.
void BM_EucVsIconv(benchmark::State& state) {
    const std::string& text = Text();
    if (qp::ConvertSjisToEuc(text) != IconvAlone(text)) {
        state.SkipWithError("the two conversions differ");
        return;
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration ours{}, alone{};
    for (auto _ : state) {
        auto t0 = Clock::now();
        std::string a = qp::ConvertSjisToEuc(text);
        auto t1 = Clock::now();
        std::string b = IconvAlone(text);
        auto t2 = Clock::now();
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        ours += t1 - t0;
        alone += t2 - t1;
    }
    state.counters["ratio"] =
        std::chrono::duration<double>(ours).count() / std::chrono::duration<double>(alone).count();
}
BENCHMARK(BM_EucVsIconv)->Unit(benchmark::kMillisecond);

}  // namespace
