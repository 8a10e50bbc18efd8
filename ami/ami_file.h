// The one reader of .ami parameter files, for every tool that needs one.
//
// An .ami file is a parameter tree: a root named after the model, a
// Reserved_Parameters branch and a Model_Specific branch. Below those, a branch
// that holds a Usage or a Type leaf describes one parameter; any other branch
// is a group of parameters. The reader parses the text (without its "|"
// comments) with the model's own parser and returns what each description
// says, without judging it: checking is the caller's business.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ami_tree.h"
#include "status.h"

// A value as written and as classified by the parser.
struct AmiFileValue {
    std::string text;  // without quotes
    AmiValueType type = AmiValueType::None;
    bool quoted = false;  // written in double quotes (a format's values and a Default)
};

// One parameter's description.
struct AmiFileParameter {
    std::string name;
    std::string path;  // dotted below its branch, e.g. "tx_taps.-1"
    int line = 1;      // of the "(" that opens the description
    std::optional<AmiFileValue> usage, type, defaultValue;  // first values
    std::string description;
    // The format: "(Format Range 0 -1 1)" or "(Range 0 -1 1)"; the first
    // format leaf in text order. Empty when there is none.
    std::string format;
    std::vector<AmiFileValue> values;  // the format's values, after its name
    // A Table's rows ("(Table (Labels a b) (1 2) (3 4))"): each row's values
    // as written, the Labels row left out.
    std::vector<std::vector<std::string>> tableRows;
    std::size_t tableLabels = 0;  // the Table's Labels, when it has them
    // The values of a List_Tip leaf, when there is one.
    std::optional<std::size_t> listTips;
    // The names of its leaves and branches in text order (Usage, Type,
    // Default, Description, the format, ...), for readers that count them.
    std::vector<std::string> leaves;
    // Beside each of `leaves`: its count of values (-1 for a group).
    std::vector<int> leafValues;

    // What a simulator sends when nothing overrides it: the Default, else the
    // typical (first) value of a Value, Range, List, Corner, Increment or
    // Steps format; empty when there is neither.
    std::string SentValue() const;
    // The bounds of a Range, Increment or Steps format whose second and third
    // values are numbers.
    bool Bounds(double& min, double& max) const;
};

// A parameter or a group of parameters.
struct AmiFileNode {
    std::string name;
    int line = 1;
    bool isParameter = false;           // holds a Usage or a Type leaf
    AmiFileParameter parameter;         // when isParameter
    std::vector<AmiFileNode> children;  // when a group; text order
};

struct AmiFileContents {
    std::string root;
    int rootLine = 1;
    // The two branches below the root, when present; their children in text order.
    std::optional<AmiFileNode> reserved, modelSpecific;
    // The root's other entries, by name and line: a Description leaf, a second
    // Reserved_Parameters or Model_Specific, anything else.
    std::vector<std::pair<std::string, int>> others;
};

// The format names the reader recognises as leaves of their own.
bool ami_is_format_name(const std::string& name);

// Reads the text of an .ami file: its contents, or an error of kind Input
// saying why it does not parse ("line 12: '(' is never closed").
tx::Expected<AmiFileContents> ami_read_file(const std::string& text);
