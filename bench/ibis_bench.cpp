// ibischeck's speed on generated files of about 100 KB, 1 MB and 10 MB:
// hundreds of models with 100-point I-V tables and a component whose pins use
// them; pins with their [Pin Mapping]; a board of many paths; a file wrong on
// every line; the quality checks of differential pairs. Checking must stay linear in the file size
// (bytes per second the same at every size).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "ibis_check.h"
#include "quality.h"

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

// Pin names of five characters, in base 36.
std::string PinName(int i) {
    std::string name(5, '0');
    for (int k = 4; k >= 0; --k, i /= 36) name[k] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[i % 36];
    return name;
}

// Supply pins with their bus labels, or (`faulty`) pins of a model nobody
// defines: two reports on each row.
std::string GeneratePins(std::size_t bytes, bool faulty) {
    std::string pins =
        "[IBIS Ver] 5.1\n[File Name] pins.ibs\n[File Rev] 1.0\n[Component] big\n"
        "[Manufacturer] Test\n[Package]\nR_pkg 0.1 0.05 0.2\nL_pkg 1nH 0.5nH 2nH\n"
        "C_pkg 1pF 0.5pF 2pF\n[Pin] signal_name model_name\n";
    std::string mapping = faulty ? "" : "[Pin Mapping] pulldown_ref pullup_ref\n";
    for (int i = 0; pins.size() + mapping.size() < bytes; ++i) {
        const bool gnd = i % 2 == 1;
        pins += (faulty ? "P" + std::to_string(i) : PinName(i)) + " S" + std::to_string(i) +
                (faulty ? " ghost\n"
                 : gnd  ? " GND\n"
                        : " POWER\n");
        if (!faulty) mapping += PinName(i) + (gnd ? " GNDBUS NC\n" : " NC VDDBUS\n");
    }
    return pins + mapping + "[End]\n";
}

// Many small components, each with its package and two pins.
std::string GenerateComponents(std::size_t bytes) {
    std::string text = "[IBIS Ver] 5.1\n[File Name] many.ibs\n[File Rev] 1.0\n";
    for (int i = 0; text.size() < bytes; ++i)
        text += "[Component] c" + std::to_string(i) +
                "\n[Manufacturer] T\n[Package]\nR_pkg 1 1 1\nL_pkg 1n 1n 1n\nC_pkg 1p 1p 1p\n"
                "[Pin] signal_name model_name\n1 S buf\n2 G GND\n";
    return text +
           "[Model] buf\nModel_type Input\nC_comp 1p 1p 1p\n[Voltage Range] 3.3 3 3.6\n[End]\n";
}

// A board whose every pin has a path of one segment to a part's pin.
std::string GenerateBoard(std::size_t bytes) {
    std::string pins =
        "[IBIS Ver] 5.1\n[File Name] big.ebd\n[File Rev] 1.0\n"
        "[Begin Board Description] b\n[Manufacturer] Test\n";
    std::string list, paths;
    int count = 0;
    for (; pins.size() + list.size() + paths.size() < bytes; ++count) {
        list += "A" + std::to_string(count) + " sig" + std::to_string(count) + "\n";
        paths += "[Path Description] p" + std::to_string(count) + "\nPin A" +
                 std::to_string(count) + "\nLen = 0.5 L=8.35n C=3.34p R=0.01 /\nNode u1." +
                 std::to_string(count) + "\n";
    }
    return pins + "[Number Of Pins] " + std::to_string(count) + "\n[Pin List] signal_name\n" +
           list + paths + "[Reference Designator Map]\nu1 part.ibs part\n" +
           "[End Board Description]\n[End]\n";
}

void Check(benchmark::State& state, const std::string& name, const std::string& text,
           ibis::Kind kind) {
    std::size_t reports = 0;
    for (auto _ : state) {
        const ibis::FileResult r = ibis::CheckText(name, text, kind, ibis::Options{}, "");
        reports = static_cast<std::size_t>(r.counts[0] + r.counts[1] + r.counts[2] + r.counts[3]);
        benchmark::DoNotOptimize(reports);
    }
    state.counters["reports"] = static_cast<double>(reports);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Signal pins in differential pairs of one model.
std::string GenerateDiffPairs(std::size_t bytes) {
    std::string pins =
        "[IBIS Ver] 5.1\n[File Name] pairs.ibs\n[File Rev] 1.0\n[Component] big\n"
        "[Manufacturer] Test\n[Package]\nR_pkg 0.1 0.05 0.2\nL_pkg 1nH 0.5nH 2nH\n"
        "C_pkg 1pF 0.5pF 2pF\n[Pin] signal_name model_name\n";
    std::string pairs = "[Diff Pin] inv_pin vdiff tdelay_typ tdelay_min tdelay_max\n";
    for (int i = 0; pins.size() + pairs.size() < bytes; i += 2) {
        pins += PinName(i) + " P" + std::to_string(i) + " rx\n" + PinName(i + 1) + " N" +
                std::to_string(i) + " rx\n";
        pairs += PinName(i) + " " + PinName(i + 1) + " 0.1 0 NA NA\n";
    }
    return pins + pairs +
           "[Model] rx\nModel_type Input\nC_comp 1pF NA NA\n[Voltage Range] 1.8 NA NA\n"
           "[End]\n";
}

void BM_QualityOfDiffPairs(benchmark::State& state) {
    const std::string text = GenerateDiffPairs(static_cast<std::size_t>(state.range(0)));
    const ibis::FileResult conformance =
        ibis::CheckText("pairs.ibs", text, ibis::Kind::Ibs, ibis::Options{}, "");
    for (auto _ : state) {
        const ibis::IqResult r = ibis::CheckQuality(text, conformance);
        benchmark::DoNotOptimize(r.level);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_CheckIbs(benchmark::State& state) {
    Check(state, "big.ibs", Generate(static_cast<std::size_t>(state.range(0))), ibis::Kind::Ibs);
}
void BM_CheckPinsAndMapping(benchmark::State& state) {
    Check(state, "pins.ibs", GeneratePins(static_cast<std::size_t>(state.range(0)), false),
          ibis::Kind::Ibs);
}
void BM_CheckFileWrongOnEveryRow(benchmark::State& state) {
    Check(state, "pins.ibs", GeneratePins(static_cast<std::size_t>(state.range(0)), true),
          ibis::Kind::Ibs);
}
void BM_CheckManySmallComponents(benchmark::State& state) {
    Check(state, "many.ibs", GenerateComponents(static_cast<std::size_t>(state.range(0))),
          ibis::Kind::Ibs);
}
void BM_CheckBoardPaths(benchmark::State& state) {
    Check(state, "big.ebd", GenerateBoard(static_cast<std::size_t>(state.range(0))),
          ibis::Kind::Ebd);
}

BENCHMARK(BM_CheckIbs)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckPinsAndMapping)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckFileWrongOnEveryRow)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QualityOfDiffPairs)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckBoardPaths)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_CheckManySmallComponents)
    ->Arg(100 << 10)
    ->Arg(1 << 20)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
