// [Component] sections: [Package], [Pin], [Diff Pin], [Pin Mapping], [Series
// Pin Mapping], [Node Declarations], [Circuit Call], [Package Model].
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "context.h"

namespace ibis {

struct ComponentInfo {
    std::string name;
    int line = 0;
    bool manufacturer = false, package = false, pin = false;
    std::string packageModel;
    int packageModelLine = 0;
    struct PinEntry {
        int line = 0;
        std::string model;  // reserved words in upper case
    };
    std::unordered_map<std::string, PinEntry> pins;  // by pin name
    // [Pin Mapping]: the bus labels of each pin, with the line.
    std::vector<std::pair<std::string, std::vector<std::string>>> mapping;
    std::vector<int> mappingLines;
    std::set<std::string> nodes;        // [Node Declarations]
    std::set<std::string> packageRows;  // the variables of its [Package]
    struct SeriesRow {
        std::string pin, pin2, model;
        int line = 0;
        std::string group;  // function_table_group, when given
    };
    std::vector<SeriesRow> series;  // [Series Pin Mapping]
    // The pins [Diff Pin] rows name, with the line: checked against [Pin] at
    // the end, as [Pin Mapping]'s are, whichever keyword comes first.
    std::vector<std::pair<std::string, int>> diffPins;
};

// A [Circuit Call]: the [External Circuit] it names and the pins and nodes its
// subparameters connect.
struct CircuitCall {
    std::size_t component = 0;
    std::string circuit;
    int line = 0;
    int pinKinds = 0;  // how many of Signal_pin, Diff_signal_pins, Series_pins
    std::vector<std::pair<std::string, int>> pins;   // must be pins of the component
    std::vector<std::pair<std::string, int>> nodes;  // pins or declared nodes
};

class ComponentRules {
public:
    explicit ComponentRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // What each component needs whatever else the file holds.
    void Finish();

    const std::vector<ComponentInfo>& Components() const { return components_; }
    const std::vector<CircuitCall>& CircuitCalls() const { return circuitCalls_; }

private:
    Context& c_;
    std::vector<ComponentInfo> components_;
    std::vector<CircuitCall> circuitCalls_;
    std::map<std::string, std::string> diffPartner_;  // "component\npin" -> partner
    int pinColumns_ = 3;
};

}  // namespace ibis
