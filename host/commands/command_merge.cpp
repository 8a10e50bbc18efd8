// amihost merge: the shard CSVs of one sweep or optimize run into the CSV the
// whole run writes. Each shard begins with the record of what it ran and ends
// with its row count: shards of different runs, a shard missing or given
// twice, a row in the wrong shard and a file cut short are refused. Optimize's
// shards rank only their own candidates and confirm their own best: merge
// ranks the whole grid again by the same order (the larger statistical eye
// height first, then the lower BER, then the index; rows that could not be
// ranked last), keeps the PRBS confirmations of the whole grid's best
// --confirm only (each of them is among its own shard's best, which that
// shard confirmed) and writes the numbers as the whole run does.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "output.h"
#include "session.h"
#include "shard.h"

namespace amihost {

namespace {

int Column(const std::vector<std::string>& header, const std::string& name) {
    const auto at = std::find(header.begin(), header.end(), name);
    return at == header.end() ? -1 : static_cast<int>(at - header.begin());
}

using Row = std::vector<std::string>;

struct ShardFile {
    std::string path;
    RunRecord record;
    Shard shard;
    std::string header;
    std::vector<std::pair<unsigned long long, Row>> rows;
};

// "# key: value" into the record; false when the line is not one.
bool ReadRecordLine(const std::string& line, RunRecord& record) {
    const std::size_t colon = line.find(": ");
    if (line.rfind("# ", 0) != 0 || colon == std::string::npos) return false;
    record.fields.emplace_back(line.substr(2, colon - 2), line.substr(colon + 2));
    return true;
}

Status ReadRows(std::istream& in, ShardFile& f, const std::vector<std::string>& columns) {
    std::string line;
    int number = static_cast<int>(f.record.fields.size()) + 1;
    long long declared = -1;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) continue;
        if (line.rfind("# end: ", 0) == 0) {
            declared = std::strtoll(line.c_str() + 7, nullptr, 10);
            continue;
        }
        if (declared >= 0)
            return Error{f.path + ":" + std::to_string(number) + ": a row after its end line"};
        const Row cells = SplitCsvLine(line);
        char* end = nullptr;
        const unsigned long long index = std::strtoull(cells[0].c_str(), &end, 10);
        if (cells.size() != columns.size() && in.peek() == EOF)
            return Error{f.path + " was cut short in its last row; run shard " +
                         f.record.Value("shard") + " again"};
        if (cells[0].empty() || *end != '\0' || cells.size() != columns.size())
            return Error{f.path + ":" + std::to_string(number) +
                         ": the row does not begin with its index or has " +
                         std::to_string(cells.size()) + " cells for " +
                         std::to_string(columns.size()) + " columns"};
        f.rows.emplace_back(index, cells);
    }
    if (declared != static_cast<long long>(f.rows.size()))
        return Error{f.path + " was cut short (" + std::to_string(f.rows.size()) +
                     " rows and no end line for them); run shard " + f.record.Value("shard") +
                     " again"};
    return Status();
}

Expected<ShardFile> ReadShardFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) return Error{"cannot open " + path};
    ShardFile f;
    f.path = path;
    std::string line;
    while (std::getline(in, line) && line.rfind("#", 0) == 0)
        if (!ReadRecordLine(line, f.record))
            return Error{path + ": a comment line that is not 'key: value'"};
    if (f.record.fields.empty() || f.record.fields[0].first != "shard")
        return Error{path +
                     ": no record of the run it belongs to (not a shard of sweep or optimize "
                     "--shard, or written by an older amihost; run it again)"};
    const Expected<Shard> shard = ParseShard(f.record.Value("shard"));
    if (!shard) return Error{path + ": " + shard.error()};
    f.shard = *shard;
    if (line.rfind("index,", 0) != 0)
        return Error{path + (in && !in.eof() ? ": no header line after the record"
                                             : " was cut short in its record")};
    f.header = line;
    if (const Status rows = ReadRows(in, f, SplitCsvLine(line)); !rows) return Error{rows.error()};
    return f;
}

// All of one run: the same record but for the shard, the same header, and
// every share of it exactly once.
Status CheckOneRun(const std::vector<ShardFile>& files) {
    const ShardFile& first = files.front();
    std::set<int> seen;
    for (const ShardFile& f : files) {
        const auto& mine = f.record.fields;
        const auto& theirs = first.record.fields;
        for (std::size_t k = 1; k < std::max(mine.size(), theirs.size()); ++k) {
            const std::string key = (k < theirs.size() ? theirs : mine)[k].first;
            if (k >= mine.size() || k >= theirs.size() || mine[k] != theirs[k])
                return Error{f.path + " and " + first.path +
                             " are shards of different runs: " + key + " '" + f.record.Value(key) +
                             "' and '" + first.record.Value(key) + "'"};
        }
        if (f.header != first.header)
            return Error{f.path + ": its columns differ from " + first.path + "'s"};
        if (f.shard.n != first.shard.n)
            return Error{f.path + " is a shard of " + std::to_string(f.shard.n) + ", " +
                         first.path + " of " + std::to_string(first.shard.n)};
        if (!seen.insert(f.shard.k).second)
            return Error{"shard " + f.record.Value("shard") + " is given twice (" + f.path + ")"};
    }
    for (int k = 1; k <= first.shard.n; ++k)
        if (!seen.count(k))
            return Error{"shard " + std::to_string(k) + "/" + std::to_string(first.shard.n) +
                         " is missing: run it (--shard " + std::to_string(k) + "/" +
                         std::to_string(first.shard.n) + ") and merge again"};
    return Status();
}

// Every row in its own shard's share of the grid, each index once.
Status CollectRows(const std::vector<ShardFile>& files, unsigned long long gridSize, int gridColumn,
                   std::map<unsigned long long, Row>& rows) {
    for (const ShardFile& f : files) {
        const unsigned long long n = static_cast<unsigned long long>(f.shard.n),
                                 k = static_cast<unsigned long long>(f.shard.k);
        const unsigned long long expected = k - 1 < gridSize ? (gridSize - k + n) / n : 0;
        if (f.rows.size() != expected)
            return Error{f.path + " holds " + std::to_string(f.rows.size()) + " rows; shard " +
                         f.record.Value("shard") + " of a grid of " + std::to_string(gridSize) +
                         " has " + std::to_string(expected) + " (run it again)"};
        for (const auto& [index, cells] : f.rows) {
            if (index >= gridSize || index % n != k - 1 ||
                cells[static_cast<std::size_t>(gridColumn)] != std::to_string(gridSize))
                return Error{f.path + ": index " + std::to_string(index) +
                             " does not belong to shard " + f.record.Value("shard") +
                             " of a grid of " + std::to_string(gridSize)};
            if (!rows.emplace(index, cells).second)
                return Error{f.path + ": index " + std::to_string(index) + " is given twice"};
        }
    }
    return Status();
}

// Optimize: one ranking of the whole grid, the best `confirm` keep their PRBS
// confirmation, the numbers as the whole run writes them.
void RankWholeGrid(std::map<unsigned long long, Row>& rows, const std::vector<std::string>& columns,
                   int confirm) {
    const auto at = [&columns](const char* name) {
        return static_cast<std::size_t>(Column(columns, name));
    };
    const std::size_t rank = at("rank"), height = at("stat_eye_height_V"), ber = at("ber_at_best"),
                      prbs = at("prbs_eye_height_V"), width = at("stat_eye_width_UI");
    auto value = [&](unsigned long long i, std::size_t column) {
        const std::string& cell = rows[i][column];
        return cell.empty() ? NAN : std::strtod(cell.c_str(), nullptr);
    };
    const int okColumn = Column(columns, "ok");
    std::vector<unsigned long long> order;
    for (const auto& entry : rows)
        if (okColumn < 0 || entry.second[static_cast<std::size_t>(okColumn)] == "1")
            order.push_back(entry.first);
    std::stable_sort(order.begin(), order.end(), [&](unsigned long long a, unsigned long long b) {
        const double ha = value(a, height), hb = value(b, height);
        if (std::isnan(ha) != std::isnan(hb)) return !std::isnan(ha);
        if (std::isnan(ha)) return false;
        if (ha != hb) return ha > hb;
        return value(a, ber) < value(b, ber);
    });
    for (std::size_t r = 0; r < order.size(); ++r) {
        Row& row = rows[order[r]];
        row[rank] = std::to_string(r + 1);
        if (static_cast<int>(r) >= confirm) row[prbs].clear();
    }
    for (auto& [index, row] : rows)
        for (const std::size_t c : {height, width, ber, prbs})
            if (!row[c].empty()) row[c] = CsvNumber(std::strtod(row[c].c_str(), nullptr), 6);
}

}  // namespace

int CommandMerge(const MergeOptions& o) {
    if (o.inputs.empty()) {
        PrintError("merge needs the shard CSV files");
        return ExitStatus(ErrorKind::Input);
    }
    std::vector<ShardFile> files;
    for (const std::string& path : o.inputs) {
        Expected<ShardFile> f = ReadShardFile(path);
        if (!f) {
            PrintError(f.error());
            return ExitStatus(ErrorKind::Input);
        }
        files.push_back(std::move(*f));
    }
    if (const Status same = CheckOneRun(files); !same) {
        PrintError(same.error());
        return ExitStatus(ErrorKind::Input);
    }
    const RunRecord& record = files.front().record;
    const std::vector<std::string> columns = SplitCsvLine(files.front().header);
    const int gridColumn = Column(columns, "grid_size");
    const unsigned long long gridSize =
        std::strtoull(record.Value("grid_size").c_str(), nullptr, 10);
    std::map<unsigned long long, Row> rows;
    if (gridColumn < 0) {
        PrintError(files.front().path + ": no grid_size column");
        return ExitStatus(ErrorKind::Input);
    }
    if (const Status collected = CollectRows(files, gridSize, gridColumn, rows); !collected) {
        PrintError(collected.error());
        return ExitStatus(ErrorKind::Input);
    }
    if (record.Value("command") == "optimize")
        RankWholeGrid(rows, columns, std::atoi(record.Value("confirm").c_str()));
    OutputFile out(o.output);
    if (const Status opened = out.Open(); !opened) {
        PrintError(opened.error());
        return ExitStatus(ErrorKind::Input);
    }
    out.Write(files.front().header + "\n");
    for (const auto& entry : rows) {
        std::string line;
        for (std::size_t c = 0; c < entry.second.size(); ++c)
            line += (c ? "," : "") + entry.second[c];
        out.Write(line + "\n");
    }
    if (const Status committed = out.Commit(); !committed) {
        PrintError(committed.error());
        return ExitStatus(ErrorKind::Input);
    }
    return kExitSuccess;
}

}  // namespace amihost
