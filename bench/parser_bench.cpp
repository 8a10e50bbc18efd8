// Parse and read time of flat and deeply nested parameter strings from 1 KB to
// 10 MB. Prints the cost ratio from 1 MB to 10 MB (linear growth gives about 10).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ami_parameters.h"

namespace {

// Flat: many leaves under the root. Nested: a chain of branches with the
// sought leaf at the bottom.
std::string Flat(std::size_t bytes) {
    std::string s = "(m";
    for (int k = 0; s.size() + 32 < bytes; ++k) s += " (p" + std::to_string(k) + " 1.5 \"a b\")";
    return s + " (last 7))";
}

std::string Nested(std::size_t bytes, std::string* name) {
    std::string s = "(m ";
    *name = "m";
    std::size_t depth = 0;
    while (s.size() + 8 + depth < bytes) {
        s += "(b ";
        *name += ".b";
        ++depth;
    }
    s += "(last 7)";
    s.append(depth + 1, ')');
    *name += ".last";
    return s;
}

void ParseAndRead(const std::string& text, const char* name) {
    AmiParameters params(text.c_str());
    std::int32_t v = 0;
    if (!params.GetInt(v, name) || v != 7) std::abort();
}

void BM_ParseFlat(benchmark::State& state) {
    const std::string text = Flat(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) ParseAndRead(text, "m.last");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ParseNested(benchmark::State& state) {
    std::string name;
    const std::string text = Nested(static_cast<std::size_t>(state.range(0)), &name);
    for (auto _ : state) ParseAndRead(text, name.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_ParseFlat)
    ->Arg(1 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseNested)
    ->Arg(1 << 10)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMicrosecond);

double Seconds(const std::string& text, const char* name) {
    double best = 1e30;
    ParseAndRead(text, name);  // warm the allocator
    for (int k = 0; k < 5; ++k) {
        const auto t0 = std::chrono::steady_clock::now();
        ParseAndRead(text, name);
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::string n1, n10;
    const double flat = Seconds(Flat(10 << 20), "m.last") / Seconds(Flat(1 << 20), "m.last");
    const std::string a = Nested(1 << 20, &n1), b = Nested(10 << 20, &n10);
    const double nested = Seconds(b, n10.c_str()) / Seconds(a, n1.c_str());
    std::printf("cost ratio 10 MB / 1 MB: flat %.2f, nested %.2f (target <= 15)\n", flat, nested);
    return 0;
}
