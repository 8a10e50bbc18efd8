#include "grid.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "interrupt.h"
#include "output.h"
#include "session.h"
#include "shard.h"
#include "spelling.h"

namespace amihost {

const AmiParameter* Grid::Find(std::string name) const {
    if (name.rfind("Model_Specific.", 0) == 0) name = name.substr(15);
    for (const AmiParameter* p : inputs)
        if (p->path == name || p->name == name) return p;
    return nullptr;
}

std::map<std::string, std::string> Grid::Combination(
    std::uint64_t index, std::map<std::string, std::string> fixed) const {
    for (std::size_t a = axes.size(); a-- > 0;) {
        const auto& values = axes[a].second;
        fixed[axes[a].first] = values[index % values.size()];
        index /= values.size();
    }
    return fixed;
}

int BuildGrid(const CommonOptions& o, const std::vector<std::string>& gridArgs, const AmiFile& file,
              const std::map<std::string, std::string>& fixed, Grid& grid) {
    grid = Grid{};
    for (const AmiParameter& p : file.parameters)
        if (p.usage == "In" || p.usage == "InOut") grid.inputs.push_back(&p);
    // --grid: each parameter once, never also --set, values checked first.
    std::map<std::string, std::vector<std::string>> given;  // by path
    for (const std::string& g : gridArgs) {
        const std::size_t eq = g.find('=');
        const Expected<std::vector<std::string>> parsed =
            eq == std::string::npos || eq == 0 ? Expected<std::vector<std::string>>(Error{})
                                               : ParseGridValues(g.substr(eq + 1));
        if (!parsed) {
            PrintError("--grid expects NAME=a,b,c or NAME=lo:hi[:step], got '" + g + "'" +
                       (parsed.error().empty() ? "" : ": " + parsed.error()));
            return ExitStatus(ErrorKind::Usage);
        }
        const std::vector<std::string>& values = *parsed;
        const std::string name = g.substr(0, eq);
        const AmiParameter* p = grid.Find(name);
        if (p == nullptr) {
            std::vector<std::string> known;
            for (const AmiParameter* input : grid.inputs) known.push_back(input->path);
            PrintError("--grid names " + name + ", which is not an input parameter of " +
                       o.amiFile + tx::DidYouMean(name, known));
            return ExitStatus(ErrorKind::Usage);
        }
        if (given.count(p->path)) {
            PrintError("--grid names " + name + " twice; give all its values in one --grid");
            return ExitStatus(ErrorKind::Usage);
        }
        for (const auto& [setName, value] : fixed) {
            if (grid.Find(setName) == p) {
                PrintError(name + " is both swept (--grid) and set (--set " + setName + "=" +
                           value + ")");
                return ExitStatus(ErrorKind::Input);
            }
        }
        given[p->path] = values;
    }
    // The size first: a grid too large is refused before its values are checked.
    std::uint64_t size = 1;
    for (const auto& [path, values] : given) {
        if (size > (std::uint64_t{1} << 40) / values.size()) {
            PrintError("the grid has more than 2^40 combinations");
            return ExitStatus(ErrorKind::Input);
        }
        size *= values.size();
    }
    // Each value against the parameter's Type (errors) and Range or List
    // (warnings: the first few of each parameter, then how many more).
    for (const auto& [path, values] : given) {
        bool bad = false;
        std::size_t warnings = 0;
        for (const std::string& v : values) {
            AmiFile copy = file;
            for (const Issue& issue : ApplyOverrides(copy, {{path, v}}, o.strict)) {
                if (issue.text.rfind(path + " ", 0) != 0) continue;
                if (issue.error) {
                    PrintError("--grid " + issue.text);
                    bad = true;
                } else if (!o.quiet && ++warnings <= 5) {
                    PrintWarning("--grid " + issue.text);
                }
            }
            if (bad) return ExitStatus(ErrorKind::Usage);
        }
        if (!o.quiet && warnings > 5)
            PrintWarning("--grid " + path + ": " + std::to_string(warnings - 5) +
                         " more values outside its Range or List");
    }
    // The axes: the named ones; with no --grid at all, every integer Range or
    // List that is not set. Every other parameter keeps its default or --set.
    for (const AmiParameter* p : grid.inputs) {
        if (given.count(p->path)) {
            grid.axes.emplace_back(p->path, given[p->path]);
            continue;
        }
        if (!gridArgs.empty()) continue;
        bool isSet = false;
        for (const auto& entry : fixed) isSet = isSet || grid.Find(entry.first) == p;
        if (isSet) continue;
        std::vector<std::string> values;
        if (!p->list.empty()) {
            values = p->list;
        } else if (p->min && p->max && p->type == "Integer" && *p->max - *p->min <= 4096) {
            for (long v = std::lround(*p->min); v <= std::lround(*p->max); ++v)
                values.push_back(std::to_string(v));
        } else {
            continue;
        }
        grid.axes.emplace_back(p->path, values);
    }
    grid.total = 1;
    for (const auto& axis : grid.axes) {
        if (grid.total > (std::uint64_t{1} << 40) / axis.second.size()) {
            PrintError("the grid has more than 2^40 combinations");
            return ExitStatus(ErrorKind::Input);
        }
        grid.total *= axis.second.size();
    }
    return kExitSuccess;
}

int PrepareReceiverGrid(const CommonOptions& o, const std::vector<std::string>& rxGridArgs,
                        GridRun& run);

int PrepareGridRun(const std::string& command, const CommonOptions& o,
                   const std::vector<std::string>& gridArgs, bool jobsGiven, int jobs,
                   const std::string& shard, GridRun& run, bool receiver,
                   const std::vector<std::string>& rxGridArgs) {
    if (o.amiFile.empty()) {
        PrintError(command +
                   " needs an .ami file (--ami or --ibs): its Ranges and Lists give the values");
        return ExitStatus(ErrorKind::Usage);
    }
    if (jobsGiven && jobs < 1) {
        PrintError("--jobs must be at least 1");
        return ExitStatus(ErrorKind::Usage);
    }
    if (HaveReceiverOptions(o) && !receiver) {
        PrintError(
            command +
            " runs no receiver: --rx, --rx-ami, --rx-params, --rx-set and --rx-ibs are for 'run' "
            "and 'optimize'");
        return ExitStatus(ErrorKind::Usage);
    }
    if (!rxGridArgs.empty() && !HaveReceiverOptions(o)) {
        PrintError("--rx-grid needs a receiver (--rx with --rx-ami, or --rx-ibs)");
        return ExitStatus(ErrorKind::Usage);
    }
    if (const int status = Prepare(o, run.probe)) return status;
    const Expected<Shard> parsedShard =
        ResolveShard(shard, [](const char* name) { return std::getenv(name); });
    if (!parsedShard) {
        PrintError(parsedShard.error());
        return ExitStatus(ErrorKind::Input);
    }
    run.shardK = parsedShard->k;
    run.shardN = parsedShard->n;
    Expected<std::map<std::string, std::string>> sets = ParseSets(o.sets);
    if (!sets) {
        PrintError(sets.error());
        return ExitStatus(sets.kind());
    }
    run.fixed = std::move(*sets);
    if (const int status = BuildGrid(o, gridArgs, run.probe.file, run.fixed, run.grid))
        return status;
    if (!HaveReceiverOptions(o)) return kExitSuccess;
    return PrepareReceiverGrid(o, rxGridArgs, run);
}

int PrepareReceiverGrid(const CommonOptions& o, const std::vector<std::string>& rxGridArgs,
                        GridRun& run) {
    run.haveRx = true;
    if (const int status = PrepareReceiver(o, run.rxProbe)) return status;
    Expected<std::map<std::string, std::string>> sets = ParseSets(o.rxSets);
    if (!sets) {
        PrintError(sets.error());
        return ExitStatus(sets.kind());
    }
    run.rxFixed = std::move(*sets);
    for (const AmiParameter& p : run.rxProbe.file.parameters)
        if (p.usage == "In" || p.usage == "InOut") run.rxGrid.inputs.push_back(&p);
    run.rxGrid.total = 1;
    if (!rxGridArgs.empty()) {
        if (!run.rxProbe.haveFile) {
            PrintError("--rx-grid needs the receiver's .ami file (--rx-ami or --rx-ibs)");
            return ExitStatus(ErrorKind::Usage);
        }
        CommonOptions r = o;
        r.amiFile = o.rxAmi.empty() ? o.rxIbs : o.rxAmi;
        if (const int status = BuildGrid(r, rxGridArgs, run.rxProbe.file, run.rxFixed, run.rxGrid))
            return status;
    }
    // One grid of both: the transmitter's axes vary slowest.
    for (const auto& [path, values] : run.rxGrid.axes) {
        if (run.grid.total > (std::uint64_t{1} << 40) / values.size()) {
            PrintError("the grid has more than 2^40 combinations");
            return ExitStatus(ErrorKind::Input);
        }
        run.grid.axes.emplace_back(kRxPrefix + path, values);
        run.grid.total *= values.size();
    }
    return kExitSuccess;
}

void SplitRow(const GridRun& run, const std::map<std::string, std::string>& combination,
              std::map<std::string, std::string>& tx, std::map<std::string, std::string>& rx) {
    tx.clear();
    rx = run.rxFixed;
    const std::string prefix = kRxPrefix;
    for (const auto& [name, value] : combination) {
        if (name.rfind(prefix, 0) == 0) {
            rx[name.substr(prefix.size())] = value;
        } else {
            tx[name] = value;
        }
    }
}

std::string ValueCells(const GridRun& run, const std::map<std::string, std::string>& combination) {
    std::map<std::string, std::string> tx, rx;
    SplitRow(run, combination, tx, rx);
    std::string cells;
    for (const AmiParameter* p : run.grid.inputs) {
        const auto v = tx.find(p->path);
        cells += "," + (v != tx.end() ? v->second : p->defaultValue);
    }
    for (const AmiParameter* p : run.rxGrid.inputs) {
        std::string value = p->defaultValue;
        for (const auto& [name, given] : rx)
            if (run.rxGrid.Find(name) == p) value = given;
        cells += "," + value;
    }
    return cells;
}

int PrepareReceiverRow(const CommonOptions& o, const GridRun& run,
                       const std::map<std::string, std::string>& values, Setup& rx) {
    CommonOptions r = o;
    r.quiet = true;
    r.library = run.rxProbe.lib.Path();
    r.amiFile = run.rxProbe.haveFile ? "receiver" : "";
    r.parameters = run.rxProbe.haveFile ? "" : run.rxProbe.parameters;
    r.sets.clear();
    r.ibsFile.clear();
    r.ignoreBitsGiven = true;
    r.ignoreBits = 0;
    const int status = Prepare(r, rx, values, run.rxProbe.haveFile ? &run.rxProbe.file : nullptr);
    rx.ignoreBits = run.rxProbe.ignoreBits;
    return status;
}

int CreateOutputFolder(const std::string& dir) {
    if (dir.empty()) return kExitSuccess;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        PrintError("cannot create " + dir + ": " + ec.message());
        return ExitStatus(ErrorKind::Io);
    }
    return kExitSuccess;
}

void AnnounceGrid(const char* command, const CommonOptions& o, const Grid& grid, std::size_t rows,
                  int jobs, bool gridGiven) {
    if (o.quiet) return;
    std::string axes;
    for (const auto& [path, values] : grid.axes)
        axes += (axes.empty() ? "" : " x ") + path + " (" + std::to_string(values.size()) + ")";
    std::printf("%s: %zu of a grid of %llu (%s%s) in %d worker process%s\n", command, rows,
                static_cast<unsigned long long>(grid.total),
                axes.empty() ? "one point" : axes.c_str(),
                gridGiven ? "" : "; no --grid: every code of every integer Range or List", jobs,
                jobs == 1 ? "" : "es");
    std::fflush(stdout);
}

int Cores() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

std::vector<WorkOutcome> RunRows(const char* label, const CommonOptions& o, int jobs,
                                 std::size_t count,
                                 const std::function<std::string(std::size_t)>& task) {
    ProgressBar bar(!o.quiet, label);
    InstallInterruptHandler();
    WorkOptions work;
    work.jobs = jobs;
    work.timeoutSeconds = o.timeout;
    work.progress = [&bar](std::size_t done, std::size_t all) { bar.Update(done, all); };
    work.stop = [] { return Interrupted(); };
    return RunInWorkers(count, task, work);
}

}  // namespace amihost
