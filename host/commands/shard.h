// Shares of a grid run on a cluster: the share a scheduler's array task
// runs (--shard auto), and the record each share writes of what it ran, so
// that merge joins only the shares of one and the same run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "grid.h"

namespace amihost {

// Reads an environment variable: nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// --shard: "K/N", or "auto" (the index and count from the scheduler's
// environment: Slurm, LSF, AWS Batch) or "auto/N" (the index from the
// scheduler, the count N given: also Kubernetes Indexed Jobs).
Expected<Shard> ResolveShard(const std::string& text, const EnvironmentLookup& environment);

// What a grid run ran, as "key: value" lines. Shards of one run have the
// same record but for their "shard" line.
struct RunRecord {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string Value(const std::string& key) const;
    // "# key: value" lines, "shard" first.
    std::string Text() const;
};

// The record of a sweep or optimize run (confirm: optimize's --confirm, or
// -1). Fails when a file it names cannot be read.
Expected<RunRecord> RecordRun(const std::string& command, const CommonOptions& o,
                              const GridRun& run, std::uint64_t bits, int confirm);

// The line that ends a shard's CSV, after its `rows` rows: a file cut short
// lacks it.
std::string ShardEndLine(std::size_t rows);

}  // namespace amihost
