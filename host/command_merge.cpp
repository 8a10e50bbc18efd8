// amihost merge: shard CSVs of sweep or optimize into one, sorted by index;
// the shards must share their header, hold no index twice and leave none out.
#include <algorithm>
#include <fstream>
#include <map>

#include "output.h"
#include "session.h"

namespace amihost {

int CommandMerge(const MergeOptions& o) {
    if (o.inputs.empty()) {
        Error("merge needs the shard CSV files");
        return 2;
    }
    std::string header;
    std::map<unsigned long long, std::string> rows;
    for (const std::string& path : o.inputs) {
        std::ifstream in(path);
        if (!in) {
            Error("cannot open " + path);
            return 2;
        }
        std::string line, first;
        if (!std::getline(in, first) || first.rfind("index,", 0) != 0) {
            Error(path + ": not a sweep or optimize CSV (its header must begin with index)");
            return 2;
        }
        if (header.empty()) header = first;
        if (first != header) {
            Error(path + ": its columns differ from " + o.inputs.front() + "'s");
            return 2;
        }
        int number = 1;
        while (std::getline(in, line)) {
            ++number;
            if (line.empty()) continue;
            char* end = nullptr;
            const unsigned long long index = std::strtoull(line.c_str(), &end, 10);
            if (end == line.c_str() || *end != ',') {
                Error(path + ":" + std::to_string(number) + ": the row does not begin with its index");
                return 2;
            }
            if (!rows.emplace(index, line).second) {
                Error(path + ":" + std::to_string(number) + ": index " + std::to_string(index) +
                      " is in two shards (shards overlap)");
                return 2;
            }
        }
    }
    // Complete: every index from 0 to the largest.
    unsigned long long expected = 0;
    for (const auto& entry : rows) {
        if (entry.first != expected) {
            Error("index " + std::to_string(expected) + " is missing (a shard is missing or incomplete)");
            return 2;
        }
        ++expected;
    }
    OutputFile out(o.output);
    if (!out.Open()) {
        Error(out.Error());
        return 2;
    }
    out.Write(header + "\n");
    for (const auto& entry : rows) out.Write(entry.second + "\n");
    if (const std::string e = out.Commit(); !e.empty()) {
        Error(e);
        return 2;
    }
    return 0;
}

}  // namespace amihost
