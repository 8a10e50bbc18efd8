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

// Appends the reports for the .ami text named `name`. When `getWave` is not
// null it receives GetWave_Exists (true when absent or unreadable).
// `ibisVersion` (ten times it; 0 when not known) is that of the .ibs that
// names the file: AMI_Version is required from IBIS 5.1. `cap`, when not
// null, keeps at most its limit of each message (null: every report).
void CheckAmiText(const std::string& name, const std::string& text, std::vector<Report>& reports,
                  bool* getWave, int ibisVersion = 0, ReportCap* cap = nullptr,
                  AmiSide side = AmiSide::Either);

}  // namespace ibis
