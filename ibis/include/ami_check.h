// Checks of an .ami parameter file, through the model's own parameter parser.
#pragma once

#include <string>
#include <vector>

#include "ibis_check.h"

namespace ibis {

class ReportCap;

// The side of the link a model's .ami file describes, as its .ibs says: a
// transmitter (an output model, a repeater's Executable_Tx), a receiver (an
// input model, Executable_Rx), or either (I/O models, a file on its own).
enum class AmiSide { Either, Tx, Rx };

// The entry points beyond AMI_Init and AMI_Close that an .ami file says its
// executable exports.
struct AmiCalls {
    bool getWave = true;   // GetWave_Exists (true when absent or unreadable)
    bool resolve = false;  // Resolve_Exists True: AMI_Resolve
};

// Appends the reports for the .ami text named `name`. When `calls` is not
// null it receives the entry points the file calls for.
// `ibisVersion` (ten times it; 0 when not known) is that of the .ibs that
// names the file: AMI_Version is required from IBIS 5.1. `cap`, when not
// null, keeps at most its limit of each message (null: every report).
void CheckAmiText(const std::string& name, const std::string& text, std::vector<Report>& reports,
                  AmiCalls* calls, int ibisVersion = 0, ReportCap* cap = nullptr,
                  AmiSide side = AmiSide::Either);

}  // namespace ibis
