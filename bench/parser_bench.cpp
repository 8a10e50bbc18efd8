// Parse and read time of flat and deeply nested parameter strings from 1 KB to
// 10 MB. Prints the cost ratio from 1 MB to 10 MB (linear growth gives about 10).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Seconds of one parse and read of a text of `bytes`, measured in a fresh
// process, so that every size starts from the same allocator state.
double FreshSeconds(bool nested, std::size_t bytes) {
    int channel[2];
    if (pipe(channel) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        std::string name = "m.last";
        const std::string text = nested ? Nested(bytes, &name) : Flat(bytes);
        const double seconds = Seconds(text, name.c_str());
        const ssize_t written = write(channel[1], &seconds, sizeof seconds);
        _exit(written == sizeof seconds ? 0 : 1);
    }
    double seconds = -1;
    if (read(channel[0], &seconds, sizeof seconds) != sizeof seconds) seconds = -1;
    close(channel[0]);
    close(channel[1]);
    waitpid(child, nullptr, 0);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    const double flat = FreshSeconds(false, 10 << 20) / FreshSeconds(false, 1 << 20);
    const double nested = FreshSeconds(true, 10 << 20) / FreshSeconds(true, 1 << 20);
    std::printf(
        "cost ratio 10 MB / 1 MB (each in a fresh process): flat %.2f, nested %.2f "
        "(target <= 15)\n",
        flat, nested);
    return 0;
}
