// AMI_parameters_in from an .ami parameter file (read by the shared reader),
// as a simulator builds it: the root name, then every Model_Specific parameter of Usage
// In or InOut at its default (or an override), nested groups kept as groups.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/result.h"

namespace amihost {

struct AmiParameter {
    std::string path;   // dotted below Model_Specific, e.g. "tx_taps.-1"
    std::string name;   // the last component
    std::string usage;  // In, Out, InOut, Info
    std::string type;   // Integer, Float, UI, Tap, String, Boolean
    std::string defaultValue;
    std::vector<std::string> list;   // allowed values of a List
    std::optional<double> min, max;  // bounds of a Range
    std::string description;
};

// A node of the parameter string to send: a value leaf or a group.
struct ParamNode {
    std::string name;
    std::string value;  // for a leaf, already quoted when it is a String
    std::vector<ParamNode> children;
    bool leaf = false;
};

struct AmiFile {
    std::string root;
    // The reserved inputs of the file (Usage In or InOut, but for those the
    // tool gives), then Model_Specific's, in file order.
    std::vector<AmiParameter> parameters;
    std::map<std::string, std::string> reserved;        // Reserved_Parameters values by name
    std::map<std::string, std::string> reservedTypes;   // and their Type
    std::map<std::string, std::string> reservedUsages;  // and their Usage
    std::map<std::string, std::vector<std::vector<std::string>>> reservedTables;  // Table rows
    ParamNode inputs;  // the tree of `parameters` In / InOut under the root, with defaults
    // Inputs without one value to send (a Table, a distribution, no value):
    // each one's path and format, not sent.
    std::vector<std::pair<std::string, std::string>> unsent;
};

// Reads the text of an .ami file (the model's own parser underneath). The
// error says where it goes wrong ("line 12: '(' is never closed").
Expected<AmiFile> ReadAmiFile(const std::string& text);

// Whether a raw parameter string parses; the error says where it does not.
Status ParseParameterString(const std::string& text);
// What a parser result code means for `text`, with a line number where the
// parentheses or quotes go wrong.
std::string ExplainParseFailure(const std::string& text, int code);

struct Issue {
    bool error;  // an unknown name or a value of the wrong form
    std::string text;
};

// Applies NAME=VALUE overrides (NAME is the parameter's name or dotted path)
// and checks every sent value against its Range or List. Out-of-range values
// are warnings (errors when strict).
std::vector<Issue> ApplyOverrides(AmiFile& file,
                                  const std::map<std::string, std::string>& overrides, bool strict);

// The reserved inputs a simulator, not the .ami file, gives, when the file
// declares them of Usage In or InOut: DLL_Path, the folder the executable was
// loaded from (where its supporting files lie), and DLL_ID, `instance`, a name
// of this instance unique to the run (so that files copies of the model write
// do not collide); and DC_Offset, `dcOffset`, the mean of the steady high
// and low levels of the channel's step response at the receiver's pad. Sent
// at the root, before the Model_Specific parameters.
void AddToolInputs(AmiFile& file, const std::string& library, const std::string& instance,
                   double dcOffset);

// "(root (NAME value) (group (NAME value)))".
std::string BuildParameterString(const AmiFile& file);

}  // namespace amihost
