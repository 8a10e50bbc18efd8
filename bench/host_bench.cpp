// amihost's stages one by one, per sample or per call, on the signals of a
// real run (a PRBS through a first-order edge, the built-in 18 dB line):
// the eye accumulator, the streaming convolution, the channel's response,
// the pulse through the channel and the statistical eye. bench/host-vs-script
// times the whole tool against a numpy/scipy script.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "link/channel.h"
#include "link/eye.h"
#include "link/inner_loops.h"
#include "link/responses.h"
#include "link/stat_eye.h"

using namespace amihost;

namespace {

constexpr int kN = 32;
constexpr double kBitTime = 1e-10;

std::vector<int> Bits(std::size_t n) {
    std::vector<int> bits(n);
    std::uint32_t s = 0x7fffffff;
    for (int& b : bits) {
        const std::uint32_t bit = ((s >> 30) ^ (s >> 27)) & 1u;
        s = ((s << 1) | bit) & 0x7fffffffu;
        b = static_cast<int>(bit);
    }
    return bits;
}

// NRZ of +-0.5 V through a first-order edge of a few samples.
std::vector<double> Wave(const std::vector<int>& bits) {
    std::vector<double> y(bits.size() * kN);
    double v = 0;
    for (std::size_t k = 0; k < y.size(); ++k) {
        v += 0.3 * ((bits[k / kN] ? 0.5 : -0.5) - v);
        y[k] = v;
    }
    return y;
}

const Channel& Line() {
    static const Channel c = LineChannel(18, 5e9, kBitTime / kN, kBitTime);
    return c;
}

void EyeAccumulatorPerSample(benchmark::State& state) {
    const std::vector<int> bits = Bits(1 << 16);
    const std::vector<double> y = Wave(bits);
    for (auto _ : state) {
        EyeAccumulator eye(
            kN, 3, 4, [&bits](std::uint64_t b) { return b < bits.size() ? bits[b] : -1; }, 1 << 14);
        if (state.range(0)) eye.TrackDensity(680, 480);
        for (std::size_t at = 0; at < y.size(); at += 4096) eye.Add(y.data() + at, 4096, at);
        benchmark::DoNotOptimize(eye.Finish());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(y.size()));
}
// Without and with the picture (drawn from the first 16384 unit intervals,
// here a quarter of the stream).
BENCHMARK(EyeAccumulatorPerSample)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void ConvolverLinePerSample(benchmark::State& state) {
    const std::vector<double> y = Wave(Bits(1 << 16));
    double sink = 0;
    for (auto _ : state) {
        Convolver c(Line().impulse, [&sink](const double* v, std::size_t n) { sink += v[n - 1]; });
        for (std::size_t at = 0; at < y.size(); at += 65536) c.Push(y.data() + at, 65536);
        c.Finish();
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(y.size()));
}
BENCHMARK(ConvolverLinePerSample)->Unit(benchmark::kMillisecond);

void LineChannelResponse(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(LineChannel(18, 5e9, kBitTime / kN, kBitTime));
}
BENCHMARK(LineChannelResponse)->Unit(benchmark::kMillisecond);

// A transmitter's pulse (one bit of a three-tap emphasis, through the edge)
// after the line: what optimize computes per candidate.
std::vector<double> TxPulse() {
    std::vector<int> bits(48, 0);
    bits[8] = 1;
    std::vector<double> zeros = Wave(std::vector<int>(48, 0)), one = Wave(bits), p(one.size());
    for (std::size_t k = 0; k < p.size(); ++k) p[k] = one[k] - zeros[k];
    return p;
}

void PulseThroughLine(benchmark::State& state) {
    const std::vector<double> p = TxPulse();
    for (auto _ : state) benchmark::DoNotOptimize(ConvolveFull(p, Line().impulse));
}
BENCHMARK(PulseThroughLine)->Unit(benchmark::kMillisecond);

// The same with the line's response padded once (as optimize holds it).
void PulseThroughLinePadded(benchmark::State& state) {
    const std::vector<double> p = TxPulse(), h = Line().impulse;
    const PaddedResponse padded(h.data(), h.size());
    for (auto _ : state) benchmark::DoNotOptimize(ConvolveFull(p, h, &padded));
}
BENCHMARK(PulseThroughLinePadded)->Unit(benchmark::kMillisecond);

void StatEyeBehindLine(benchmark::State& state) {
    const std::vector<double> pulse = ConvolveFull(TxPulse(), Line().impulse);
    std::int64_t main = 0;
    for (std::size_t k = 0; k < pulse.size(); ++k)
        if (pulse[k] > pulse[static_cast<std::size_t>(main)]) main = static_cast<std::int64_t>(k);
    StatEyeOptions o;
    if (state.range(0) != 0) o.gridBins = 2048;
    if (state.range(0) == 2) {
        // What optimize asks for each candidate: no BER map, the best phases only.
        o.berMap = false;
        o.bestOnly = true;
    }
    for (auto _ : state) benchmark::DoNotOptimize(ComputeStatEye(pulse, 0.0, kN, main, o));
}
// The default grid, optimize's coarser one, and as optimize ranks.
BENCHMARK(StatEyeBehindLine)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
