// ibischeck's speed on generated .ibs files of about 100 KB, 1 MB and 10 MB:
// hundreds of models with 100-point I-V tables, a component whose pins use
// them. Checking must stay linear in the file size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "ibis_check.h"

namespace {

std::string Generate(std::size_t bytes) {
    std::string head =
        "[IBIS Ver] 5.1\n[File Name] big.ibs\n[File Rev] 1.0\n[Component] big\n[Manufacturer] "
        "Test\n"
        "[Package]\nR_pkg 0.1 0.05 0.2\nL_pkg 1nH 0.5nH 2nH\nC_pkg 1pF 0.5pF 2pF\n[Pin] "
        "signal_name model_name\n";
    std::string models;
    int count = 0;
    char line[128];
    while (head.size() + models.size() < bytes) {
        std::snprintf(line, sizeof line, "%d SIG%d m%d\n", count + 1, count, count);
        head += line;
        std::snprintf(line, sizeof line, "[Model] m%d\nModel_type Output\nC_comp 1pF 0.9pF 1.1pF\n",
                      count);
        models += line;
        models += "[Voltage Range] 1.8 1.7 1.9\n";
        for (const char* table : {"[Pulldown]\n", "[Pullup]\n"}) {
            models += table;
            for (int k = 0; k < 100; ++k) {
                std::snprintf(line, sizeof line, "%.3f %.4fmA %.4fmA %.4fmA\n", -1.8 + 0.036 * k,
                              0.5 * k, 0.45 * k, 0.55 * k);
                models += line;
            }
        }
        models +=
            "[Ramp]\ndV/dt_r 1.0/0.5n 0.9/0.6n 1.1/0.4n\ndV/dt_f 1.0/0.5n 0.9/0.6n 1.1/0.4n\n";
        ++count;
    }
    return head + models + "[End]\n";
}

void BM_CheckIbs(benchmark::State& state) {
    const std::string text = Generate(static_cast<std::size_t>(state.range(0)));
    std::size_t reports = 0;
    for (auto _ : state) {
        const ibis::FileResult r =
            ibis::CheckText("big.ibs", text, ibis::Kind::Ibs, ibis::Options{}, "");
        reports = r.reports.size();
        benchmark::DoNotOptimize(reports);
    }
    state.counters["reports"] = static_cast<double>(reports);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_CheckIbs)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
