// A grid of parameter values over the input parameters of an .ami file, for
// sweep and optimize.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ami_file.h"
#include "commands.h"

namespace amihost {

struct Grid {
    std::vector<const AmiParameter*> inputs;  // Usage In and InOut, in file order
    std::vector<std::pair<std::string, std::vector<std::string>>> axes;  // by dotted path
    std::uint64_t total = 0;  // combinations
    // The parameter a name or dotted path (with or without Model_Specific.) names.
    const AmiParameter* Find(std::string name) const;
    // The values of combination `index` (the first axis varies slowest), over `fixed`.
    std::map<std::string, std::string> Combination(std::uint64_t index, std::map<std::string, std::string> fixed) const;
};

// From --grid arguments (each parameter once, not also --set, values checked
// against Type and Range first); with none, every integer Range or List not
// set. Returns 0 or exit status 2.
int BuildGrid(const CommonOptions& o, const std::vector<std::string>& gridArgs, const AmiFile& file,
              const std::map<std::string, std::string>& fixed, Grid& grid);

}  // namespace amihost
