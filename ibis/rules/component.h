// [Component] sections: [Package], [Pin], [Diff Pin], [Pin Mapping], [Series
// Pin Mapping], [Node Declarations], [Circuit Call], [Package Model].
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "context.h"

namespace ibis {

// A name in 12 bytes: up to 8 characters in place (pin names have at most 5),
// a longer one in the buffer of the NameStore that made it.
struct CompactName {
    static constexpr std::size_t kInline = 8;
    char text[kInline];  // the name, or where it starts in the store's buffer
    std::uint32_t length;
    bool Inline() const { return length <= kInline; }
};
class NameStore {
public:
    CompactName Put(std::string_view name);
    std::string_view Get(const CompactName& n) const;
    // Byte order of the names, fast for two short ones.
    bool Less(const CompactName& a, const CompactName& b) const;

private:
    std::string long_;  // names longer than kInline, end to end
};

// Each distinct text once, by number.
class TextIds {
public:
    std::uint32_t Id(const std::string& text);
    const std::string& Text(std::uint32_t id) const { return texts_[id]; }

private:
    static constexpr std::size_t kSearched = 8;  // texts searched in turn before an index
    std::vector<std::string> texts_;
    // Made when there are more than kSearched texts.
    std::unique_ptr<std::unordered_map<std::string, std::uint32_t>> ids_;
    std::uint32_t last_ = 0;  // rows mostly repeat the text of the row before
};

// A component's [Pin] rows: gathered in file order, then sorted by name once.
// A row takes 20 bytes and each model name is kept once, so a file of a
// million pins costs about its own size.
class PinTable {
public:
    struct Entry {
        std::string name;
        int line = 0;
        const std::string* model = nullptr;  // reserved words in upper case
    };
    void Add(const std::string& name, int line, const std::string& model);
    // Sorts by name; a name given twice keeps its first row, and each later
    // row goes to `repeated`, in name order.
    void Seal(const std::function<void(const Entry&)>& repeated);
    // After Seal: where a pin stands in name order, or its row, if it is one.
    std::optional<std::size_t> IndexOf(std::string_view name) const;
    std::optional<Entry> Find(const std::string& name) const;
    std::size_t count(const std::string& name) const { return IndexOf(name) ? 1 : 0; }
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    Entry At(std::size_t i) const;

private:
    struct Row {
        CompactName name;
        std::uint32_t model;  // in models_
        std::int32_t line;
    };
    std::vector<Row> rows_;
    NameStore names_;
    TextIds models_;
};

struct ComponentInfo {
    std::string name;
    int line = 0;
    bool package = false;
    unsigned packageRows = 0;  // the [Package] variables given: R_pkg 1, L_pkg 2, C_pkg 4
    std::string packageModel;
    int packageModelLine = 0;
    PinTable pins;
    // [Pin Mapping]: the bus labels of each pin (the first five), with the line.
    struct MappingRow {
        CompactName pin;  // in mappingNames
        std::int32_t line;
        std::uint32_t count;      // labels given
        std::uint32_t labels[5];  // in busLabels; "NC" for any spelling of it
    };
    struct SeriesRow {
        std::string pin, pin2, model;
        int line = 0;
        std::string group;  // function_table_group, when given
    };
    // What few components have, kept apart so that a file of many small
    // components costs little more than its [Pin] rows.
    struct More {
        // [Alternate Package Models]: each name with its line.
        std::vector<std::pair<std::string, int>> alternatePackages;
        std::vector<MappingRow> mapping;
        NameStore mappingNames;
        std::size_t mappingColumns = 0;  // the bus columns its keyword line names
        std::vector<std::pair<std::string, int>> repeaterPins;  // [Repeater Pin] names, lines
        TextIds busLabels;
        // From 7.0 a POWER or GND pin [Pin Mapping] leaves out has its signal
        // name for its bus label, and [Bus Label] and [Die Supply Pads] name
        // buses: the hashes of the POWER and GND pins' signal names (8 bytes a
        // pin, sorted with the pins) and every word of those rows.
        std::vector<std::uint64_t> railSignals;
        std::set<std::string> namedBuses;
        std::set<std::string> nodes;    // [Node Declarations]
        std::vector<SeriesRow> series;  // [Series Pin Mapping]
        // The pins [Diff Pin] rows name, with the line: checked against [Pin]
        // at the end, as [Pin Mapping]'s are, whichever keyword comes first.
        std::vector<std::pair<std::string, int>> diffPins;
    };
    std::unique_ptr<More> more;  // made by EditMore, on first use
    const More& Extra() const;   // an empty one when there is none
    More& EditMore();
    bool IsRailName(const std::string& label) const;
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
    std::vector<std::pair<std::string, int>> ports;  // Port_map's ports: the circuit's
};

class ComponentRules {
public:
    explicit ComponentRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // Each component's pins sorted, a pin listed twice reported; before any
    // check reads them.
    void SealPins();
    // What each component needs whatever else the file holds.
    void Finish();

    const std::deque<ComponentInfo>& Components() const { return components_; }
    const std::vector<CircuitCall>& CircuitCalls() const { return circuitCalls_; }

private:
    void Subparameter(const DataLine& d);  // a [Component]'s Si_location or Timing_location
    // One line of each keyword the component's rules read.
    void PinRow(const DataLine& d);
    void PackageRow(const DataLine& d);
    void PackageValueBound(unsigned bit, const std::vector<std::string>& w, const double* values,
                           int line);
    void DiffPinRow(const DataLine& d);
    void SeriesPinRow(const DataLine& d);
    void NodeRow(const DataLine& d);
    void CircuitCallRow(const DataLine& d);
    void PinMappingRow(const DataLine& d);
    // [Pin Mapping] against [Pin]: every row a pin, every pin a row, and
    // each label where the pin's kind allows it.
    void CheckPinMapping(const ComponentInfo& c);
    void CheckSeriesPins(const ComponentInfo& c);
    void CheckRepeaterPins(const ComponentInfo& c);
    void CheckNamesOnce();
    void CheckMappingLabels(const ComponentInfo& c, const ComponentInfo::MappingRow& row,
                            const std::string* model, const std::set<std::uint32_t>& supplyLabels);
    void AlternatePackageRow(const DataLine& d);

    Context& c_;
    std::deque<ComponentInfo> components_;  // grows without moving the ones read
    std::vector<CircuitCall> circuitCalls_;
    std::map<std::string, std::string> diffPartner_;  // "component\npin" -> partner
    int pinColumns_ = 3;
};

}  // namespace ibis
