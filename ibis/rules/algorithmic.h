// [Algorithmic Model] sections: their Executable lines, and what those lines
// name: the .ami file (checked by the .ami rules) and the shared library (its
// exports read without loading it).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "ami_check.h"
#include "context.h"
#include "model.h"

namespace ibis {

// The half of a repeater an Executable line's name (lower case) gives: "Rx"
// for Executable_Rx, "Tx" for Executable_Tx, empty for Executable.
std::string ExecutableHalf(const std::string& lowerName);

class AlgorithmicRules {
public:
    AlgorithmicRules(Context& c, const ModelRules& models) : c_(c), models_(models) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // An [Algorithmic Model] left open at the end of the file.
    void FinishOpen();
    // The files each Executable line names, beside the checked file.
    void CheckExecutables();

private:
    static AmiSide SideOf(const std::string& executable, const std::string& modelType);
    Context& c_;
    const ModelRules& models_;
    bool open_ = false;
    int openLine_ = 0, linesInOpen_ = 0;
    std::vector<ExecutableLine> executables_;
    std::vector<AmiSide> sides_;       // each Executable line's side of the link
    std::set<std::string> platforms_;  // "executable linux_gcc_64": the open section's lines
};

}  // namespace ibis
