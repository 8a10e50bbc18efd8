// One row of a grid (sweep) or one candidate (optimize) in a worker process:
// its models loaded with the row's values, the receiver given what reaches
// it, the stimulus run in memory, and what the worker sends back to the
// parent, as versioned bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "grid.h"

namespace amihost {

// The row's models with its values, run quietly.
struct RowModels {
    CommonOptions quiet;  // the command's options, with no output and no --set
    Setup tx, rx;
    std::map<std::string, std::string> txValues, rxValues;
    std::string failure;  // why a model could not be loaded; empty while they could
};

// The transmitter with the row's `values` (`reuseFile`: from the .ami file as
// the probe read it, not read again); false (and `failure` said) when it
// could not be loaded.
bool LoadRowModels(const GridRun& run, const CommonOptions& o,
                   const std::map<std::string, std::string>& values,
                   const std::shared_ptr<const std::vector<double>>& initImpulse, bool reuseFile,
                   RowModels& m);
// The receiver with the row's values; false (and `failure` said) when it
// could not be loaded.
bool LoadRowReceiver(const GridRun& run, const CommonOptions& o, RowModels& m);

// The receiver's configuration, its AMI_Init given `afterTx` (the impulse
// response after the transmitter and the channel).
RunConfig ReceiverConfig(const RowModels& m, const std::vector<double>& afterTx);

// The stimulus through the transmitter, in memory, and the bits sent;
// `ignoreBits` sizes the stimulus, `sourceIgnoreBits` starts its pattern.
struct RowStream {
    RunResult result;
    std::vector<int> bits;
};
RowStream StreamRow(const RowModels& m, int ignoreBits, int sourceIgnoreBits);

// What a worker sends back for one row.
struct RowOutcome {
    bool ok = false;
    std::string reason;              // why the row failed
    std::vector<double> numbers;     // its figures (or a waveform), bit for bit
    std::string text;                // its text (a CSV row)
    std::vector<std::string> notes;  // what it reports besides (contract breaches)
    std::uint64_t count = 0;         // a count it reports (AMI_GetWave calls)
};
// As bytes: "amihost-row", a version byte, then each field (sizes and
// doubles little-endian). A result of another version is refused.
std::string EncodeRowOutcome(const RowOutcome& r);
Expected<RowOutcome> DecodeRowOutcome(const std::string& bytes);

// The channel (--channel), the statistical eye's options with the jitter
// and noise both .ami files declare, and AMI_Init's impulse matrix. Returns 0
// or an exit status.
int LoadGridChannel(const CommonOptions& o, const GridRun& run, Channel& channel,
                    StatEyeOptions& statOptions,
                    std::shared_ptr<const std::vector<double>>& initImpulse);

// A grid's rows in worker processes: --jobs of them (every core without
// it; at most one a row), announced first. An Interrupted error (saying
// `output` was not written) after Ctrl-C.
struct GridRows {
    std::vector<WorkOutcome> outcomes;
    int jobs = 1, wanted = 1;  // the workers that ran, and those asked for
};
Expected<GridRows> RunGridRows(const char* command, const CommonOptions& o, const Grid& grid,
                               std::size_t rows, bool jobsGiven, int jobsAsked, bool gridGiven,
                               const std::string& output,
                               const std::function<RowOutcome(std::size_t)>& row);

}  // namespace amihost
