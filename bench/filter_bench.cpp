// Nanoseconds per sample of one BiquadCascade firing.
#include <benchmark/benchmark.h>

#include <vector>

#include "biquad_cascade.h"

static void BM_BiquadCascadeRun(benchmark::State& state) {
    const int sections = static_cast<int>(state.range(0));
    std::vector<double> taps;
    for (int k = 0; k < sections; ++k) taps.insert(taps.end(), {0.2, 0.4, 0.2, 1.0, -0.3, 0.1});
    Tarvessa::BiquadCascade filter;
    filter.Taps = taps.data();
    filter.TapCount = 6 * sections;
    filter.Outputs.SetSize(1);
    double in = 0.0, out = 0.0;
    filter.Input.Data = &in;
    filter.Input.Capacity = 1;
    filter.Outputs.Element(0).Data = &out;
    filter.Outputs.Element(0).Capacity = 1;
    filter.Initialize();
    double x = 1.0;
    for (auto _ : state) {
        in = x;
        filter.Run();
        x = -x;
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BiquadCascadeRun)->Arg(1)->Arg(3);
