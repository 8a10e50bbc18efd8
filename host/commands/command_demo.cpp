// amihost demo: this project's model behind a lossy line, its default codes,
// the codes optimize finds, and the two eyes side by side. What is particular
// to the model (its file names, the codes searched and their ranges) stands
// in one place, kDemo; the rest is the generic run and optimize commands.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "output.h"
#include "plots.h"
#include "session.h"

namespace fs = std::filesystem;

namespace amihost {

namespace {

struct DemoModel {
    const char* model;      // the library's and the .ami file's name without extension
    const char* channel;    // the line the story runs behind
    const char* codes[2];   // the two codes optimize searches
    const char* ranges[2];  // their grids
};

constexpr DemoModel kDemo = {"varnok_meridel_qlx_ami_tx",
                             "line:18@5e9",
                             {"TXPRECURSOR", "TXPOSTCURSOR"},
                             {"0:20:2", "0:31"}};

}  // namespace

int CommandDemo(RunOptions o, const std::string& executablePath) {
    // Look beside this executable first (a build tree or an installed copy),
    // then in the tree it was built from.
    std::error_code ec;
    const fs::path exe = fs::canonical(executablePath, ec);
    const fs::path here = ec ? fs::path(executablePath).parent_path() : exe.parent_path();
    auto pick = [](const std::vector<fs::path>& candidates) -> std::string {
        for (const fs::path& p : candidates) {
            std::error_code e;
            if (fs::exists(p, e)) return fs::weakly_canonical(p, e).string();
        }
        return "";
    };
    if (o.library.empty() && o.ibsFile.empty()) {
        const std::string so = std::string(kDemo.model) + ".so";
        o.library =
            pick({here / so, here / "../model" / so, fs::path(AMIHOST_BUILD_DIR) / "model" / so});
    }
    if (o.amiFile.empty() && o.parameters.empty() && o.ibsFile.empty()) {
        const std::string ami = std::string(kDemo.model) + ".ami";
        o.amiFile = pick({here / ami, here / "../package" / ami,
                          fs::path(AMIHOST_SOURCE_DIR) / "package" / ami});
    }
    if (o.ibsFile.empty() && (o.library.empty() || (o.amiFile.empty() && o.parameters.empty()))) {
        PrintError(
            "cannot find this project's library and .ami file; give them with --library and --ami");
        return ExitStatus(ErrorKind::Usage);
    }
    // The story: behind a lossy line the default codes close the eye;
    // optimize finds the codes that open it, down to a BER of 1e-12; both
    // eyes side by side.
    if (o.channel.empty()) o.channel = kDemo.channel;
    if (o.amiFile.empty()) return CommandRun(o);
    if (!o.quiet)
        std::printf("demo: %s with %s on %s behind %s\n", o.library.c_str(), o.amiFile.c_str(),
                    o.stimulus.c_str(), o.channel.c_str());
    const fs::path top = fs::absolute(o.outDir, ec).lexically_normal();
    fs::create_directories(top, ec);
    RunOptions before = o;
    before.outDir = (top / "default_codes").string();
    if (!o.quiet) std::printf("\n== the default codes ==\n");
    const int first = CommandRun(before);
    if (first == 2) return first;
    OptimizeOptions opt;
    static_cast<CommonOptions&>(opt) = o;
    opt.grid = {std::string(kDemo.codes[0]) + "=" + kDemo.ranges[0],
                std::string(kDemo.codes[1]) + "=" + kDemo.ranges[1]};
    opt.output = (top / "optimize.csv").string();
    opt.heatmap = (top / "optimize.png").string();
    if (!o.quiet) std::printf("\n== optimize %s x %s ==\n", kDemo.codes[0], kDemo.codes[1]);
    if (const int status = CommandOptimize(opt)) return status;
    // The best row of the ranking.
    std::ifstream csv(opt.output);
    std::string header, line, bestLine;
    std::getline(csv, header);
    std::vector<std::string> names, values;
    for (std::stringstream h(header); std::getline(h, line, ',');) names.push_back(line);
    const auto rankColumn = std::find(names.begin(), names.end(), "rank") - names.begin();
    while (std::getline(csv, line)) {
        std::vector<std::string> cells;
        std::string cell;
        for (std::stringstream v(line); std::getline(v, cell, ',');) cells.push_back(cell);
        if (rankColumn < static_cast<long>(cells.size()) &&
            cells[static_cast<std::size_t>(rankColumn)] == "1")
            bestLine = line;
    }
    for (std::stringstream v(bestLine); std::getline(v, line, ',');) values.push_back(line);
    RunOptions after = o;
    after.outDir = (top / "optimized_codes").string();
    for (const char* name : kDemo.codes)
        for (std::size_t k = 0; k < names.size() && k < values.size(); ++k)
            if (names[k] == name) after.sets.push_back(std::string(name) + "=" + values[k]);
    if (!o.quiet) std::printf("\n== the optimized codes ==\n");
    const int second = CommandRun(after);
    if (second == 2) return second;
    if (o.plots) {
        const fs::path pair = top / "eyes_before_after.png";
        OutputFile png(pair.string());
        const Status s = png.CommitWritten(
            WriteSideBySide(png.TemporaryPath(), (top / "default_codes/eye_channel.png").string(),
                            (top / "optimized_codes/eye_channel.png").string()));
        if (!s) {
            PrintError(s.error());
            return ExitStatus(ErrorKind::Input);
        }
        if (!o.quiet)
            std::printf("\nthe two eyes behind the channel, side by side: %s\n",
                        pair.string().c_str());
    }
    return std::max(first, second);
}

}  // namespace amihost
