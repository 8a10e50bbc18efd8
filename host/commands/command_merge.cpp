// amihost merge: shard CSVs of sweep or optimize into one, sorted by index;
// the shards must share their header, hold no index twice and cover the
// whole grid (each row carries its size). Optimize's ranks are per shard:
// merge ranks the whole grid again, by the same order (the larger
// statistical eye height first, then the lower BER; rows that could not be
// ranked last).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "output.h"
#include "session.h"

namespace amihost {

namespace {

std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::stringstream in(line);
    for (std::string cell; std::getline(in, cell, ',');) cells.push_back(cell);
    if (!line.empty() && line.back() == ',') cells.emplace_back();
    return cells;
}

int Column(const std::vector<std::string>& header, const std::string& name) {
    const auto at = std::find(header.begin(), header.end(), name);
    return at == header.end() ? -1 : static_cast<int>(at - header.begin());
}

}  // namespace

int CommandMerge(const MergeOptions& o) {
    if (o.inputs.empty()) {
        PrintError("merge needs the shard CSV files");
        return 2;
    }
    std::string header;
    std::vector<std::string> columns;
    int gridColumn = -1;
    unsigned long long gridSize = 0;
    std::map<unsigned long long, std::vector<std::string>> rows;
    for (const std::string& path : o.inputs) {
        std::ifstream in(path);
        if (!in) {
            PrintError("cannot open " + path);
            return 2;
        }
        std::string line, first;
        if (!std::getline(in, first) || first.rfind("index,", 0) != 0) {
            PrintError(path + ": not a sweep or optimize CSV (its header must begin with index)");
            return 2;
        }
        if (header.empty()) {
            header = first;
            columns = Cells(first);
            gridColumn = Column(columns, "grid_size");
            if (gridColumn < 0) {
                PrintError(
                    path +
                    ": no grid_size column (a shard written by an older amihost; run it again)");
                return 2;
            }
        }
        if (first != header) {
            PrintError(path + ": its columns differ from " + o.inputs.front() + "'s");
            return 2;
        }
        int number = 1;
        while (std::getline(in, line)) {
            ++number;
            if (line.empty()) continue;
            const std::vector<std::string> cells = Cells(line);
            char* end = nullptr;
            const unsigned long long index = std::strtoull(cells[0].c_str(), &end, 10);
            if (cells[0].empty() || *end != '\0' || cells.size() != columns.size()) {
                PrintError(path + ":" + std::to_string(number) +
                           ": the row does not begin with its index or has " +
                           std::to_string(cells.size()) + " cells for " +
                           std::to_string(columns.size()) + " columns");
                return 2;
            }
            const unsigned long long size =
                std::strtoull(cells[static_cast<std::size_t>(gridColumn)].c_str(), nullptr, 10);
            if (gridSize == 0) gridSize = size;
            if (size != gridSize || size == 0) {
                PrintError(path + ":" + std::to_string(number) + ": grid_size " +
                           cells[static_cast<std::size_t>(gridColumn)] + " differs from " +
                           std::to_string(gridSize) + " (shards of different grids)");
                return 2;
            }
            if (index >= gridSize) {
                PrintError(path + ":" + std::to_string(number) + ": index " +
                           std::to_string(index) + " is outside the grid of " +
                           std::to_string(gridSize));
                return 2;
            }
            if (!rows.emplace(index, cells).second) {
                PrintError(path + ":" + std::to_string(number) + ": index " +
                           std::to_string(index) + " is in two shards (shards overlap)");
                return 2;
            }
        }
    }
    // Complete: every index of the grid.
    if (rows.size() != gridSize) {
        unsigned long long missing = 0;
        while (rows.count(missing)) ++missing;
        PrintError(std::to_string(gridSize - rows.size()) + " of the grid's " +
                   std::to_string(gridSize) + " rows are missing, the first index " +
                   std::to_string(missing) + " (a shard is missing or incomplete)");
        return 2;
    }
    // Optimize: one ranking of the whole grid.
    const int rank = Column(columns, "rank"), height = Column(columns, "stat_eye_height_V"),
              ber = Column(columns, "ber_at_best");
    if (rank >= 0 && height >= 0 && ber >= 0) {
        std::vector<unsigned long long> order;
        for (const auto& entry : rows) order.push_back(entry.first);
        auto value = [&](unsigned long long i, int column) {
            const std::string& cell = rows[i][static_cast<std::size_t>(column)];
            return cell.empty() ? NAN : std::strtod(cell.c_str(), nullptr);
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](unsigned long long a, unsigned long long b) {
                             const double ha = value(a, height), hb = value(b, height);
                             if (std::isnan(ha) != std::isnan(hb)) return !std::isnan(ha);
                             if (ha != hb) return ha > hb;
                             return value(a, ber) < value(b, ber);
                         });
        for (std::size_t r = 0; r < order.size(); ++r)
            rows[order[r]][static_cast<std::size_t>(rank)] = std::to_string(r + 1);
    }
    OutputFile out(o.output);
    if (const Status opened = out.Open(); !opened) {
        PrintError(opened.error());
        return 2;
    }
    out.Write(header + "\n");
    for (const auto& entry : rows) {
        std::string line;
        for (std::size_t c = 0; c < entry.second.size(); ++c)
            line += (c ? "," : "") + entry.second[c];
        out.Write(line + "\n");
    }
    if (const Status committed = out.Commit(); !committed) {
        PrintError(committed.error());
        return 2;
    }
    return 0;
}

}  // namespace amihost
