#include "shard.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "digest.h"

#ifndef AMIHOST_VERSION
#define AMIHOST_VERSION "unknown"
#endif

namespace amihost {

namespace {

// A whole number of an environment variable, or why not.
Expected<long long> Integer(const EnvironmentLookup& environment, const char* name) {
    const char* text = environment(name);
    if (text == nullptr || *text == '\0') return Error{std::string(name) + " is not set"};
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0 || value > 1000000000)
        return Error{std::string(name) + "='" + text + "' is not a whole number from 0 to 1e9"};
    return value;
}

bool Set(const EnvironmentLookup& environment, const char* name) {
    const char* text = environment(name);
    return text != nullptr && *text != '\0';
}

Expected<Shard> Checked(long long k, long long n, const std::string& source) {
    if (n < 1 || n > 1000000000 || k < 1 || k > n)
        return Error{"--shard auto: " + source + " gives share " + std::to_string(k) + " of " +
                     std::to_string(n) + ", not one from 1 to the count"};
    return Shard{static_cast<int>(k), static_cast<int>(n)};
}

// Slurm: the array's tasks MIN, MIN+STEP, ..., MAX; share (ID - MIN) / STEP + 1.
Expected<Shard> FromSlurm(const EnvironmentLookup& environment, long long given) {
    const Expected<long long> id = Integer(environment, "SLURM_ARRAY_TASK_ID");
    const Expected<long long> min = Integer(environment, "SLURM_ARRAY_TASK_MIN");
    if (!id) return Error{"--shard auto: " + id.error()};
    if (!min) return Error{"--shard auto: " + min.error() + " (it comes with an array job)"};
    long long step = 1;
    if (Set(environment, "SLURM_ARRAY_TASK_STEP")) {
        const Expected<long long> s = Integer(environment, "SLURM_ARRAY_TASK_STEP");
        if (!s || *s < 1) return Error{"--shard auto: SLURM_ARRAY_TASK_STEP must be 1 or more"};
        step = *s;
    }
    long long n = given;
    if (Set(environment, "SLURM_ARRAY_TASK_MAX")) {
        const Expected<long long> max = Integer(environment, "SLURM_ARRAY_TASK_MAX");
        if (!max || *max < *min) return Error{"--shard auto: SLURM_ARRAY_TASK_MAX is below MIN"};
        n = (*max - *min) / step + 1;
    } else if (Set(environment, "SLURM_ARRAY_TASK_COUNT")) {
        const Expected<long long> count = Integer(environment, "SLURM_ARRAY_TASK_COUNT");
        if (!count) return Error{"--shard auto: " + count.error()};
        n = *count;
    }
    if (Set(environment, "SLURM_ARRAY_TASK_COUNT")) {
        const Expected<long long> count = Integer(environment, "SLURM_ARRAY_TASK_COUNT");
        if (count && *count != n)
            return Error{"--shard auto: the Slurm array has " + std::to_string(*count) +
                         " tasks but spans " + std::to_string(n) +
                         " indices; give it as one range (--array=1-N)"};
    }
    if (n <= 0) return Error{"--shard auto: Slurm gives no task count (SLURM_ARRAY_TASK_MAX)"};
    if ((*id - *min) % step != 0)
        return Error{"--shard auto: SLURM_ARRAY_TASK_ID is not on the array's step"};
    return Checked((*id - *min) / step + 1, n, "Slurm");
}

// LSF: job arrays "name[1-N]"; LSB_JOBINDEX from 1, LSB_JOBINDEX_END its last.
Expected<Shard> FromLsf(const EnvironmentLookup& environment, long long given) {
    const Expected<long long> index = Integer(environment, "LSB_JOBINDEX");
    if (!index) return Error{"--shard auto: " + index.error()};
    long long n = given;
    if (Set(environment, "LSB_JOBINDEX_END")) {
        const Expected<long long> end = Integer(environment, "LSB_JOBINDEX_END");
        if (!end) return Error{"--shard auto: " + end.error()};
        n = *end;
    }
    if (n <= 0) return Error{"--shard auto: LSF gives no count (LSB_JOBINDEX_END)"};
    return Checked(*index, n, "LSF (an array [1-N])");
}

// Index from 0 (Kubernetes, AWS Batch), the count from `countName` or given.
Expected<Shard> FromZeroBased(const EnvironmentLookup& environment, const char* indexName,
                              const char* countName, long long given, const std::string& source) {
    const Expected<long long> index = Integer(environment, indexName);
    if (!index) return Error{"--shard auto: " + index.error()};
    long long n = given;
    if (countName != nullptr && Set(environment, countName)) {
        const Expected<long long> count = Integer(environment, countName);
        if (!count) return Error{"--shard auto: " + count.error()};
        if (given > 0 && *count != given)
            return Error{"--shard auto/" + std::to_string(given) + ": " + countName + " is " +
                         std::to_string(*count)};
        n = *count;
    }
    if (n <= 0)
        return Error{"--shard auto: " + source + " gives no count; give it as --shard auto/N"};
    return Checked(*index + 1, n, source);
}

}  // namespace

Expected<Shard> ResolveShard(const std::string& text, const EnvironmentLookup& environment) {
    if (text.rfind("auto", 0) != 0) return ParseShard(text);
    long long given = 0;
    if (text != "auto") {
        char* end = nullptr;
        const std::string count = text.substr(4);
        given = count.size() > 1 && count[0] == '/' ? std::strtoll(count.c_str() + 1, &end, 10) : 0;
        if (end == nullptr || *end != '\0' || given < 1 || given > 1000000000)
            return Error{"--shard expects K/N, auto or auto/N, got '" + text + "'"};
    }
    struct Scheduler {
        const char* variable;
        const char* name;
    };
    const Scheduler schedulers[] = {{"SLURM_ARRAY_TASK_ID", "Slurm"},
                                    {"LSB_JOBINDEX", "LSF"},
                                    {"JOB_COMPLETION_INDEX", "Kubernetes"},
                                    {"AWS_BATCH_JOB_ARRAY_INDEX", "AWS Batch"}};
    std::vector<std::string> found;
    for (const Scheduler& s : schedulers)
        if (Set(environment, s.variable)) found.push_back(s.name);
    if (found.empty())
        return Error{
            "--shard auto: no array task found in the environment (SLURM_ARRAY_TASK_ID, "
            "LSB_JOBINDEX, JOB_COMPLETION_INDEX or AWS_BATCH_JOB_ARRAY_INDEX); give --shard K/N"};
    if (found.size() > 1)
        return Error{"--shard auto: the environment names array tasks of both " + found[0] +
                     " and " + found[1] + "; give --shard K/N"};
    Expected<Shard> shard =
        found[0] == "Slurm" ? FromSlurm(environment, given)
        : found[0] == "LSF" ? FromLsf(environment, given)
        : found[0] == "Kubernetes"
            ? FromZeroBased(environment, "JOB_COMPLETION_INDEX", nullptr, given, "Kubernetes")
            : FromZeroBased(environment, "AWS_BATCH_JOB_ARRAY_INDEX", "AWS_BATCH_JOB_ARRAY_SIZE",
                            given, "AWS Batch");
    if (shard && given > 0 && shard->n != given)
        return Error{"--shard auto/" + std::to_string(given) + ": " + found[0] + " gives " +
                     std::to_string(shard->n) + " tasks"};
    return shard;
}

std::string RunRecord::Value(const std::string& key) const {
    for (const auto& [k, v] : fields)
        if (k == key) return v;
    return "";
}

std::string RunRecord::Text() const {
    std::string text;
    for (const auto& [key, value] : fields) text += "# " + key + ": " + value + "\n";
    return text;
}

namespace {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "NAME sha256:HEX", the name without its folder (shards may run elsewhere).
Expected<std::string> FileField(const std::string& path) {
    const Expected<std::string> digest = FileSha256(path);
    if (!digest) return Error{digest.error()};
    return BaseName(path) + " sha256:" + *digest;
}

std::string Number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// The file a --channel or --stimulus names, if any.
std::string ChannelFile(const std::string& channel) {
    if (channel.empty() || channel.rfind("line:", 0) == 0) return "";
    for (const char* prefix : {"impulse:", "step:"})
        if (channel.rfind(prefix, 0) == 0) return channel.substr(std::string(prefix).size());
    return channel;
}

}  // namespace

Expected<RunRecord> RecordRun(const std::string& command, const CommonOptions& o,
                              const GridRun& run, std::uint64_t bits, int confirm) {
    RunRecord r;
    auto add = [&r](const std::string& key, const std::string& value) {
        r.fields.emplace_back(key, value);
    };
    add("shard", std::to_string(run.shardK) + "/" + std::to_string(run.shardN));
    add("command", command);
    add("amihost", AMIHOST_VERSION);
    std::vector<std::pair<std::string, std::string>> files = {{"model", o.library},
                                                              {"ami", o.amiFile}};
    files.emplace_back("channel_file", ChannelFile(o.channel));
    if (o.stimulus.rfind("file:", 0) == 0)
        files.emplace_back("stimulus_file", o.stimulus.substr(5));
    if (run.haveRx) {
        // The receiver: its library and .ami file as this run used them.
        files.emplace_back("rx_model", run.rxProbe.lib.Path());
        files.emplace_back("rx_ami", o.rxAmi.empty() ? o.rxIbs : o.rxAmi);
    }
    for (const auto& [key, path] : files) {
        if (path.empty()) {
            add(key, "none");
            continue;
        }
        const Expected<std::string> field = FileField(path);
        if (!field) return Error{field.error()};
        add(key, *field);
    }
    if (run.haveRx) {
        std::string rxFixed;
        for (const auto& [name, value] : run.rxFixed)
            rxFixed += (rxFixed.empty() ? "" : " ") + name + "=" + value;
        add("rx_set", rxFixed.empty() ? "none" : rxFixed);
        add("rx_params", o.rxParams.empty() ? "none" : o.rxParams);
    }
    std::string fixed;
    for (const auto& [name, value] : run.fixed) {
        const AmiParameter* p = run.grid.Find(name);
        fixed += (fixed.empty() ? "" : " ") + (p ? p->path : name) + "=" + value;
    }
    add("set", fixed.empty() ? "none" : fixed);
    add("strict", o.strict ? "yes" : "no");
    add("channel", o.channel.empty() ? "none" : o.channel);
    add("ports", o.ports);
    add("stimulus", o.stimulus.rfind("file:", 0) == 0 ? "file" : o.stimulus);
    add("bits", std::to_string(bits));
    add("bit_time_s", Number(o.bitTime));
    add("samples_per_bit", std::to_string(o.samplesPerBit));
    add("levels_V", Number(o.low) + " " + Number(o.high));
    add("ignore_bits", std::to_string(run.probe.ignoreBits));
    add("noise_rms_V", Number(o.noiseRms));
    add("rj_rms_UI", Number(o.rjRms));
    if (o.sensitivity != 0) add("sensitivity_V", Number(o.sensitivity));
    if (!o.clockPdf.empty()) add("clock_pdf", o.clockPdf);
    if (o.djUi != 0 || o.sjUi != 0 || o.dcdUi != 0)
        add("dj_sj_dcd_UI", Number(o.djUi) + " " + Number(o.sjUi) + " " + Number(o.dcdUi));
    std::string axes;
    for (const auto& [path, values] : run.grid.axes) {
        axes += (axes.empty() ? "" : " ") + path + "=";
        for (std::size_t v = 0; v < values.size(); ++v) axes += (v ? "," : "") + values[v];
    }
    add("grid", axes.empty() ? "none" : axes);
    add("grid_size", std::to_string(run.grid.total));
    if (confirm >= 0) add("confirm", std::to_string(confirm));
    return r;
}

std::string ShardEndLine(std::size_t rows) { return "# end: " + std::to_string(rows) + " rows\n"; }

}  // namespace amihost
