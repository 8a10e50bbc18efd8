// The reserved parameters of IBIS-AMI (5.0 to 7.2): the Usage, Type and
// values each allows, and what each format of a parameter holds.
#pragma once

#include <string>
#include <vector>

namespace ibis {

enum AmiUsageBit : unsigned { kInfo = 1, kIn = 2, kOut = 4, kInOut = 8, kDep = 16, kAnyUsage = 31 };

struct AmiReservedDef {
    const char* name;
    unsigned usages;     // the Usage values allowed
    const char* types;   // "Float UI": the Type values allowed; "" any
    const char* values;  // the values allowed, blank separated; null: any
    bool nonNegative;    // a count: not below zero
    int since;           // ten times the AMI version that brought it: 6.1 -> 61
};

// The reserved parameter of a name, or null.
const AmiReservedDef* FindReserved(const std::string& name);
// Every reserved parameter's name, for hints.
const std::vector<std::string>& ReservedNames();
unsigned UsageBit(const std::string& usage);  // 0 for none of the five
std::string UsageNames(unsigned usages);      // "Info or Out"

// What a format holds: a fault in words, or empty. "Value" holds one value,
// "Range" and "Corner" three, "Increment" and "Steps" four (the step above
// zero), "Gaussian" two, "Dual-Dirac" and "DjRj" three, "List" one or more.
std::string FormatCountFault(const std::string& format, const std::vector<double>& numbers,
                             std::size_t count);

}  // namespace ibis
