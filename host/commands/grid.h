// A grid of parameter values over the input parameters of an .ami file, for
// sweep and optimize.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ami_inputs.h"
#include "commands.h"
#include "session.h"
#include "workers.h"

namespace amihost {

struct Grid {
    std::vector<const AmiParameter*> inputs;  // Usage In and InOut, in file order
    std::vector<std::pair<std::string, std::vector<std::string>>> axes;  // by dotted path
    std::uint64_t total = 0;                                             // combinations
    // The parameter a name or dotted path (with or without Model_Specific.) names.
    const AmiParameter* Find(std::string name) const;
    // The values of combination `index` (the first axis varies slowest), over `fixed`.
    std::map<std::string, std::string> Combination(std::uint64_t index,
                                                   std::map<std::string, std::string> fixed) const;
};

// From --grid arguments (each parameter once, not also --set, values checked
// against Type and Range first); with none, every integer Range or List not
// set. Returns 0 or exit status 2.
int BuildGrid(const CommonOptions& o, const std::vector<std::string>& gridArgs, const AmiFile& file,
              const std::map<std::string, std::string>& fixed, Grid& grid);

// What sweep and optimize set up before their first row: the .ami file (by
// --ami or --ibs) loaded, --jobs and --shard checked, --set read, the grid built.
struct GridRun {
    Setup probe;
    int shardK = 1, shardN = 1;
    std::map<std::string, std::string> fixed;
    // The transmitter's axes, then the receiver's (their paths after kRxPrefix).
    Grid grid;
    // With a receiver (--rx and --rx-grid): the receiver as read, its --rx-set
    // values, its input parameters and its own axes.
    bool haveRx = false;
    Setup rxProbe;
    std::map<std::string, std::string> rxFixed;
    Grid rxGrid;
};
// A receiver's parameters among a row's values: "rx.NAME".
constexpr char kRxPrefix[] = "rx.";
// `receiver`: the command runs a receiver when --rx is given (optimize);
// otherwise receiver options are refused.
int PrepareGridRun(const std::string& command, const CommonOptions& o,
                   const std::vector<std::string>& gridArgs, bool jobsGiven, int jobs,
                   const std::string& shard, GridRun& run, bool receiver = false,
                   const std::vector<std::string>& rxGridArgs = {});

// A row's values for each side: the transmitter's (no prefix) and the
// receiver's (prefix taken off, over its --rx-set values).
void SplitRow(const GridRun& run, const std::map<std::string, std::string>& combination,
              std::map<std::string, std::string>& tx, std::map<std::string, std::string>& rx);

// The values a row was given, as CSV cells each after a comma: the
// transmitter's inputs, then the receiver's (swept, set or default).
std::string ValueCells(const GridRun& run, const std::map<std::string, std::string>& combination);

// One row's receiver: the library and .ami file the probe read, with
// `values`. Returns 0 or an exit status.
int PrepareReceiverRow(const CommonOptions& o, const GridRun& run,
                       const std::map<std::string, std::string>& values, Setup& rx);

// Creates the -o folder when one is given: 0, or 2 after an error message.
int CreateOutputFolder(const std::string& dir);

// The cores of this machine (at least 1).
int Cores();

// Says, before the first row, how many rows this run has and of what grid
// (also when standard output is no terminal): a grid chosen by default can be
// large.
void AnnounceGrid(const char* command, const CommonOptions& o, const Grid& grid, std::size_t rows,
                  int jobs, bool gridGiven);

// The rows of sweep or optimize, task(i) each, in `jobs` worker processes
// with a progress bar named `label`, --timeout and Ctrl-C; the caller checks
// Interrupted() after.
std::vector<WorkOutcome> RunRows(const char* label, const CommonOptions& o, int jobs,
                                 std::size_t count,
                                 const std::function<std::string(std::size_t)>& task);

}  // namespace amihost
