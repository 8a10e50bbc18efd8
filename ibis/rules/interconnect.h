// [Interconnect Model] (IBIS 7.0): the file that models it, File_TS (a
// Touchstone file) or File_IBIS-ISS (an IBIS-ISS subcircuit), and the Param
// lines an IBIS-ISS subcircuit takes. Its terminal lines are the tools'.
#pragma once

#include <set>
#include <string>

#include "context.h"

namespace ibis {

class InterconnectRules {
public:
    explicit InterconnectRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // An [Interconnect Model] left open at the end of the file.
    void Finish() { Close(); }

private:
    // At [End Interconnect Model]: exactly one model file, no Param beside
    // a Touchstone file.
    void Close();

    Context& c_;
    struct Open {
        int line = 0;  // 0: none open
        std::string name;
        int touchstone = 0, iss = 0;  // File_TS and File_IBIS-ISS lines given
        int firstParam = 0;           // the line of the first Param
        std::set<std::string> params;
    } open_;
};

}  // namespace ibis
