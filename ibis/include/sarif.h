// The checker's findings as SARIF 2.1.0 (the Static Analysis Results
// Interchange Format), for code review tools that show findings inline: one
// run per invocation, a rule per message number (its meaning and help), a
// result per finding with its level and its file and line.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ibis_check.h"

namespace ibis {

// SARIF's level of a severity: ERROR error, WARNING warning, CAUTION and NOTE note.
const char* SarifLevel(Severity s);

// A file path as a URI reference: '/' kept, everything but unreserved
// characters percent-encoded.
std::string SarifUri(const std::string& path);

// One log of the results of one invocation, by `toolVersion` of ibischeck.
nlohmann::json SarifLog(const std::vector<FileResult>& results, const std::string& toolVersion);

}  // namespace ibis
