// Checks of an .ami parameter file, through the model's own parameter parser.
#pragma once

#include <string>
#include <vector>

#include "ibis_check.h"

namespace ibis {

// Appends the reports for the .ami text named `name`. When `getWave` is not
// null it receives GetWave_Exists (true when absent or unreadable).
void CheckAmiText(const std::string& name, const std::string& text, std::vector<Report>& reports,
                  bool* getWave);

}  // namespace ibis
