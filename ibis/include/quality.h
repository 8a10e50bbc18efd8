// IBIS Quality levels: the checks of the IBIS Quality Specification 3.0 a
// program can decide, each with its section number, level, the component or
// model it concerns and the numbers that decided it; those that need a data
// sheet or a reviewer listed as not checked; and the level the file reaches.
#pragma once

#include <string>
#include <vector>

#include "ibis_check.h"

namespace ibis {

enum class IqStatus { Pass, Fail, NotChecked };
const char* IqStatusName(IqStatus s);  // "PASS", "FAIL", "NOT_CHECKED"

struct IqCheck {
    std::string iq;  // section number, "5.3.7"
    int level = 0;   // 1..4; 0 for the optional checks
    std::string title;
    std::string component, model;
    IqStatus status = IqStatus::NotChecked;
    std::string detail;  // the numbers that decided it, or why a program cannot
};

struct IqResult {
    std::vector<IqCheck> checks;
    int level = 0;              // highest level all of whose decided checks pass
    bool exceptions = false;    // the file documents exceptions, or the checker warns
    std::string claimed;        // the score the file states, if any
    std::string Score() const;  // "IQ2", "IQ3X"
};

// The quality checks of an .ibs text; `conformance` is the checker's result
// on the same file (level 1 asks for no errors).
IqResult CheckQuality(const std::string& text, const FileResult& conformance);

}  // namespace ibis
