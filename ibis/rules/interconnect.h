// [Interconnect Model] (IBIS 7.0): the file that models it, File_TS (a
// Touchstone file) or File_IBIS-ISS (an IBIS-ISS subcircuit), one per corner
// when the lines name corners; the Param lines an IBIS-ISS subcircuit takes;
// Number_of_terminals and the terminal lines it counts, numbered 1 to N, each
// of a known terminal type (pin, die pad or buffer; signal or rail).
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "context.h"

namespace ibis {

class InterconnectRules {
public:
    explicit InterconnectRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // An [Interconnect Model] left open at the end of the file; the sets
    // groups name in this file.
    void Finish();

private:
    // At [End Interconnect Model]: exactly one model file, no Param beside
    // a Touchstone file.
    void Close();
    void FileLine(const std::string& sub, const DataLine& d);
    void TerminalLine(const DataLine& d);
    void NumberOfTerminals(const DataLine& d);
    void CheckTerminals(const std::string& model);
    void OpenModel(const KeywordLine& k);
    void GroupRow(const DataLine& d);
    const std::set<std::string>& SetsOf(const std::filesystem::path& file);

    Context& c_;
    struct Open {
        int line = 0;  // 0: none open
        std::string name;
        int touchstone = 0, iss = 0;                // File_TS and File_IBIS-ISS lines given
        std::set<std::string> corners;              // the corners the file lines name
        long terminals = -1;                        // Number_of_terminals; -1: not given
        std::vector<std::pair<long, int>> numbers;  // terminal number, its line
        int firstParam = 0;                         // the line of the first Param
        std::set<std::string> params;
    } open_;
    std::string set_, group_;                 // the set or group being read
    std::set<std::string> sets_, setModels_;  // the file's sets; the models of set_
    std::map<std::string, std::set<std::string>> setsByFile_;  // the sets each named file defines
    std::vector<std::pair<std::string, int>> groupSetsHere_;   // set names a group row
                                                               // finds in this file (NA)
};

}  // namespace ibis
