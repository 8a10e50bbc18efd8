#include "component.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <initializer_list>

#include "lexer.h"

namespace ibis {

namespace {

// A keyword line that names its table's columns: the first names of
// `columns` in order (any case), as many as one of `counts`.
bool ColumnsNamed(const std::vector<std::string>& words, std::initializer_list<const char*> columns,
                  std::initializer_list<std::size_t> counts) {
    bool counted = false;
    for (std::size_t n : counts) counted = counted || words.size() == n;
    if (!counted) return false;
    auto column = columns.begin();
    for (const std::string& word : words)
        if (Lower(word) != *column++) return false;
    return true;
}

}  // namespace

CompactName NameStore::Put(std::string_view name) {
    CompactName n{};
    n.length = static_cast<std::uint32_t>(name.size());
    if (n.Inline()) {
        std::memcpy(n.text, name.data(), name.size());
    } else {
        const std::uint64_t at = long_.size();
        std::memcpy(n.text, &at, sizeof at);
        long_ += name;
    }
    return n;
}

std::string_view NameStore::Get(const CompactName& n) const {
    if (n.Inline()) return {n.text, n.length};
    std::uint64_t at = 0;
    std::memcpy(&at, n.text, sizeof at);
    return {long_.data() + at, n.length};
}

namespace {

// A short name's 8 bytes, zero-padded, read big-end first: ordered as the
// names are, but for names that differ only in trailing NULs.
std::uint64_t InlineKey(const CompactName& n) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::uint64_t key = 0;
    std::memcpy(&key, n.text, sizeof key);
    return __builtin_bswap64(key);
#else
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < CompactName::kInline; ++i)
        key = (key << 8) | static_cast<unsigned char>(n.text[i]);
    return key;
#endif
}

}  // namespace

bool NameStore::Less(const CompactName& a, const CompactName& b) const {
    if (a.Inline() && b.Inline()) {
        const std::uint64_t x = InlineKey(a), y = InlineKey(b);
        return x != y ? x < y : a.length < b.length;
    }
    return Get(a) < Get(b);
}

namespace {

// R_pkg, L_pkg and C_pkg by bit; 0 for any other [Package] variable.
unsigned PackageBit(const std::string& lower) {
    return lower == "r_pkg" ? 1u : lower == "l_pkg" ? 2u : lower == "c_pkg" ? 4u : 0u;
}

}  // namespace

std::uint32_t TextIds::Id(const std::string& text) {
    if (!texts_.empty() && texts_[last_] == text) return last_;
    // A few texts (a component's model names, mostly) are searched in turn;
    // the index is built when there are more.
    if (!ids_) {
        for (std::size_t i = 0; i < texts_.size(); ++i)
            if (texts_[i] == text) return last_ = static_cast<std::uint32_t>(i);
        if (texts_.size() < kSearched) {
            texts_.push_back(text);
            return last_ = static_cast<std::uint32_t>(texts_.size() - 1);
        }
        ids_ = std::make_unique<std::unordered_map<std::string, std::uint32_t>>();
        for (std::size_t i = 0; i < texts_.size(); ++i)
            ids_->emplace(texts_[i], static_cast<std::uint32_t>(i));
    }
    const auto id = ids_->emplace(text, static_cast<std::uint32_t>(texts_.size()));
    if (id.second) texts_.push_back(text);
    last_ = id.first->second;
    return last_;
}

void PinTable::Add(const std::string& name, int line, const std::string& model) {
    rows_.push_back({names_.Put(name), models_.Id(model), line});
}

PinTable::Entry PinTable::At(std::size_t i) const {
    const Row& r = rows_[i];
    return {std::string(names_.Get(r.name)), r.line, &models_.Text(r.model)};
}

void PinTable::Seal(const std::function<void(const Entry&)>& repeated) {
    // By name, then line: the first row of a name leads, without the extra
    // buffer a stable sort takes.
    std::sort(rows_.begin(), rows_.end(), [this](const Row& a, const Row& b) {
        if (names_.Less(a.name, b.name)) return true;
        if (names_.Less(b.name, a.name)) return false;
        return a.line < b.line;
    });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (kept > 0 && names_.Get(rows_[kept - 1].name) == names_.Get(rows_[i].name)) {
            repeated(At(i));
            continue;
        }
        rows_[kept++] = rows_[i];
    }
    rows_.resize(kept);
}

std::optional<std::size_t> PinTable::IndexOf(std::string_view name) const {
    const auto at = std::lower_bound(
        rows_.begin(), rows_.end(), name,
        [this](const Row& r, std::string_view n) { return names_.Get(r.name) < n; });
    if (at == rows_.end() || names_.Get(at->name) != name) return std::nullopt;
    return static_cast<std::size_t>(at - rows_.begin());
}

std::optional<PinTable::Entry> PinTable::Find(const std::string& name) const {
    const std::optional<std::size_t> at = IndexOf(name);
    if (!at) return std::nullopt;
    return At(*at);
}

const ComponentInfo::More& ComponentInfo::Extra() const {
    static const More kNone;
    return more ? *more : kNone;
}

ComponentInfo::More& ComponentInfo::EditMore() {
    if (!more) more = std::make_unique<More>();
    return *more;
}

bool ComponentInfo::IsRailName(const std::string& label) const {
    // A hash equal by chance lets a label pass; it never fails one.
    const More& m = Extra();
    return m.namedBuses.count(label) > 0 ||
           std::binary_search(m.railSignals.begin(), m.railSignals.end(),
                              static_cast<std::uint64_t>(std::hash<std::string>()(label)));
}

void ComponentRules::SealPins() {
    for (ComponentInfo& c : components_) {
        if (c.Extra().mapping.empty()) {  // nothing to look up
            if (c.more) std::vector<std::uint64_t>().swap(c.more->railSignals);
            continue;
        }
        std::vector<std::uint64_t>& rails = c.more->railSignals;
        std::sort(rails.begin(), rails.end());
        rails.erase(std::unique(rails.begin(), rails.end()), rails.end());
    }
    for (ComponentInfo& c : components_)
        c.pins.Seal([this](const PinTable::Entry& repeat) {
            c_.AddLazily(Message::PinRepeated, repeat.line,
                         [&] { return "pin " + repeat.name + " is listed twice"; });
        });
}

void ComponentRules::Keyword(const KeywordLine& k) {
    const std::vector<std::string>& words = k.words;
    const int line = k.line;
    if (k.id == Kw::Component) {
        ComponentInfo c;
        // A component name may hold blanks: the rest of the line.
        c.name = words.empty() ? "" : k.args.substr(k.args.find_first_not_of(" \t"));
        while (!c.name.empty() && (c.name.back() == ' ' || c.name.back() == '\t'))
            c.name.pop_back();
        c.line = line;
        if (c.name.empty()) c_.Add(Message::ComponentName, line, "[Component] needs a name");
        components_.push_back(std::move(c));
    } else if (k.id == Kw::Manufacturer) {
        if (words.empty()) c_.Add(Message::MissingValue, line, "[Manufacturer] needs a value");
    } else if (k.id == Kw::NumberOfPins) {
        const std::optional<double> count = words.empty() ? std::nullopt : Number(words[0]);
        if (!count || *count < 0)
            c_.Add(Message::MissingValue, line, "[Number Of Pins] needs a count");
    } else if (k.id == Kw::Package) {
        if (!components_.empty()) components_.back().package = true;
    } else if (k.id == Kw::Pin && c_.scope == Scope::Component && !components_.empty()) {
        pinColumns_ = 3 + static_cast<int>(words.size() >= 5 ? 3 : 0);
        // "[Pin] signal_name model_name R_pin L_pin C_pin": the columns by name.
        if (!words.empty() &&
            !ColumnsNamed(words, {"signal_name", "model_name", "r_pin", "l_pin", "c_pin"}, {2, 5}))
            c_.Add(Message::PinLineColumns, line,
                   "the [Pin] line names the columns signal_name model_name, then R_pin L_pin "
                   "C_pin or none");
    } else if (k.id == Kw::PackageModel && c_.scope == Scope::Component && !components_.empty()) {
        components_.back().packageModel = words.empty() ? "" : words[0];
        components_.back().packageModelLine = line;
        if (words.empty()) c_.Add(Message::MissingValue, line, "[Package Model] needs a name");
    } else if (k.id == Kw::DiffPin && c_.scope == Scope::Component) {
        // "[Diff Pin] inv_pin vdiff tdelay_typ tdelay_min tdelay_max".
        if (!words.empty() &&
            !ColumnsNamed(words, {"inv_pin", "vdiff", "tdelay_typ", "tdelay_min", "tdelay_max"},
                          {1, 2, 3, 4, 5}))
            c_.Add(Message::ColumnNames, line,
                   "the [Diff Pin] line names its columns in the order inv_pin vdiff "
                   "tdelay_typ tdelay_min tdelay_max");
    } else if (k.id == Kw::SeriesPinMapping && c_.scope == Scope::Component) {
        // "[Series Pin Mapping] pin_2 model_name function_table_group".
        if (!words.empty() &&
            !ColumnsNamed(words, {"pin_2", "model_name", "function_table_group"}, {1, 2, 3}))
            c_.Add(Message::ColumnNames, line,
                   "the [Series Pin Mapping] line names its columns in the order pin_2 "
                   "model_name function_table_group");
    } else if (k.id == Kw::PinMapping && c_.scope == Scope::Component) {
        // "[Pin Mapping] pulldown_ref pullup_ref gnd_clamp_ref power_clamp_ref
        // ext_ref": the columns by name, two, four or five of them.
        if (!ColumnsNamed(
                words,
                {"pulldown_ref", "pullup_ref", "gnd_clamp_ref", "power_clamp_ref", "ext_ref"},
                {2, 4, 5}))
            c_.Add(Message::PinMappingInvalid, line,
                   "the [Pin Mapping] line names the columns pulldown_ref pullup_ref, then "
                   "gnd_clamp_ref power_clamp_ref, then ext_ref");
        if (!components_.empty()) components_.back().EditMore().mappingColumns = words.size();
    } else if (k.id == Kw::CircuitCall && c_.scope == Scope::Component && !components_.empty()) {
        CircuitCall call;
        call.component = components_.size() - 1;
        call.circuit = words.empty() ? "" : words[0];
        call.line = line;
        if (words.empty())
            c_.Add(Message::MissingValue, line,
                   "[Circuit Call] needs the name of an [External Circuit]");
        circuitCalls_.push_back(call);
    }
}

// "Si_location" and "Timing_location", each Die or Pin: the [Component]'s
// subparameters.
void ComponentRules::Subparameter(const DataLine& d) {
    const SubparameterDef* def = FindSubparameter(Kw::Component, d.words[0]);
    if (def == nullptr)
        c_.Add(Message::UnknownSubparameter, d.line,
               "'" + d.words[0] + "' is none of " + SubparameterNames(Kw::Component));
    else if (d.words.size() < 2)
        c_.Add(Message::MissingValue, d.line, d.words[0] + " needs Die or Pin");
    else
        c_.CheckSubparameter(*def, d.words, d.line);
}

void ComponentRules::Data(const DataLine& d) {
    if (components_.empty()) return;
    switch (d.id) {
        case Kw::Component:
            return Subparameter(d);
        case Kw::Pin:
            return PinRow(d);
        case Kw::Package:
            return PackageRow(d);
        case Kw::DiffPin:
            return DiffPinRow(d);
        case Kw::SeriesPinMapping:
            return SeriesPinRow(d);
        case Kw::NodeDeclarations:
            return NodeRow(d);
        case Kw::CircuitCall:
            return CircuitCallRow(d);
        case Kw::PinMapping:
            return PinMappingRow(d);
        case Kw::AlternatePackageModels:
            return AlternatePackageRow(d);
        case Kw::RepeaterPin:
            if (!components_.empty())
                for (const std::string& pin : d.words)
                    components_.back().EditMore().repeaterPins.emplace_back(pin, d.line);
            return;
        case Kw::BusLabel:
        case Kw::DieSupplyPads:
            if (!components_.empty())
                components_.back().EditMore().namedBuses.insert(d.words.begin(), d.words.end());
            return;
        default:
            return;
    }
}

// "pin signal_name model_name [R_pin L_pin C_pin]".
void ComponentRules::PinRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    ComponentInfo& c = components_.back();
    if (c_.scope != Scope::Component) return;
    const bool columnsFit = w.size() == 3 || static_cast<int>(w.size()) == pinColumns_;
    if (w.size() < 3 || !columnsFit) {
        // Three or six columns; six only under a [Pin] line naming R_pin, L_pin, C_pin.
        const bool undeclared = w.size() == 6 && pinColumns_ == 3;
        c_.Add(Message::PinLineColumns, line,
               undeclared ? "a [Pin] line of six columns under a [Pin] keyword line that does not "
                            "name R_pin, L_pin and C_pin"
                          : "a [Pin] line holds " + std::to_string(w.size()) +
                                " columns: pin, signal and model" +
                                std::string(pinColumns_ == 6 ? " (and R_pin, L_pin, C_pin)" : ""));
        // Its pin, signal and model still stand, so [Diff Pin] and the other
        // keywords that name the pin find it.
        if (w.size() < 3) return;
    }
    c_.PinNameLength(w[0], line);
    c_.NameLength("signal_name", w[1], line);
    c_.NameLength("model_name", w[2], line);
    // Reserved model names in any case, kept in upper case.
    std::string model = w[2];
    if (model.size() <= 11) {
        const std::string upper = Upper(model);
        if (upper == "POWER" || upper == "GND" || upper == "NC" || upper == "CIRCUITCALL")
            model = upper;
    }
    c.pins.Add(w[0], line, model);
    if (c_.version >= 70 && (model == "POWER" || model == "GND")) {
        const std::uint64_t h = std::hash<std::string>()(w[1]);
        std::vector<std::uint64_t>& rails = c.EditMore().railSignals;
        if (rails.empty() || rails.back() != h) rails.push_back(h);
    }
    bool wide = false;
    for (std::size_t i = 3; i < w.size() && columnsFit; ++i) {
        double v = 0;
        c_.NumberOrNa(w[i], line, true, &v);
        if (v < 0)
            c_.Add(Message::NegativeValue, line, "pin " + w[0] + ": " + w[i] + " is below zero");
        // "R_pin 9 characters max", L_pin and C_pin the same; once a row.
        if (w[i].size() > 9 && !wide) {
            wide = true;
            static const char* const kColumns[] = {"R_pin", "L_pin", "C_pin"};
            c_.Add(Message::PinValueTooWide, line,
                   "pin " + w[0] + ": " + kColumns[i - 3] + " " + w[i] + " has " +
                       std::to_string(w[i].size()) + " characters; the column holds 9");
        }
    }
}

// "R_pkg typ min max" and the like.
void ComponentRules::PackageRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    ComponentInfo& c = components_.back();
    if (w.size() < 4) {
        c_.Add(Message::TableRowColumns, line, "a [Package] line is variable, typ, min and max");
        return;
    }
    c_.TooManyValues([&] { return std::string("[Package] " + w[0] + " (typ, min and max)"); },
                     w.size() - 1, 3, line);
    const std::string variable = Lower(w[0]);
    const unsigned bit = PackageBit(variable);
    if (bit == 0)
        c_.Add(Message::PackageVariable, line,
               "[Package] holds R_pkg, L_pkg and C_pkg, not " + w[0]);
    else if (c.packageRows & bit)
        c_.Add(Message::KeywordRepeated, line, w[0] + " appears twice in [Package]");
    c.packageRows |= bit;
    if (IsNa(w[1])) c_.Add(Message::TypicalNa, line, "the typical " + w[0] + " is NA");
    double values[4] = {0, NAN, NAN, NAN};
    for (std::size_t i = 1; i < 4; ++i) {
        c_.NumberOrNa(w[i], line, i > 1, &values[i]);
        if (values[i] < 0)
            c_.Add(Message::NegativeValue, line, w[0] + " " + w[i] + " is below zero");
    }
    if (values[2] > values[3])
        c_.Add(Message::MinAboveMax, line,
               w[0] + " minimum " + w[2] + " is above its maximum " + w[3]);
    PackageValueBound(bit, w, values, line);
}

// The bounds beyond which a package value is a typing slip, a scale factor
// left out ("R_pkg 1000"): R 50 ohm, L 1000 nH, C 1000 pF.
void ComponentRules::PackageValueBound(unsigned bit, const std::vector<std::string>& w,
                                       const double* values, int line) {
    if (bit == 0) return;
    const double bound = bit == 1u ? 50 : bit == 2u ? 1e-6 : 1e-9;  // R_pkg, L_pkg, C_pkg
    for (std::size_t i = 1; i < 4; ++i)
        if (values[i] >= bound) {
            c_.Add(Message::PackageValueBeyond, line,
                   w[0] + " " + w[i] + " is beyond any package (" +
                       (bound == 50     ? "50 ohm"
                        : bound == 1e-6 ? "1000 nH"
                                        : "1000 pF") +
                       "): a scale factor left out?");
            return;
        }
}

// "pin inv_pin vdiff tdelay_typ [tdelay_min tdelay_max]".
void ComponentRules::DiffPinRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    ComponentInfo& c = components_.back();
    if (w.size() < 4) {
        c_.Add(Message::DiffPinColumns, line,
               "a [Diff Pin] line needs pin, inv_pin, vdiff and tdelay_typ");
        return;
    }
    if (w.size() > 6)
        c_.Add(Message::DiffPinColumns, line,
               "a [Diff Pin] line is pin, inv_pin, vdiff, tdelay_typ, tdelay_min and tdelay_max; "
               "this one has " +
                   std::to_string(w.size()) + " columns");
    c.EditMore().diffPins.emplace_back(w[0], line);
    c.EditMore().diffPins.emplace_back(w[1], line);
    if (w[0] == w[1])
        c_.Add(Message::DiffPinPairing, line, "[Diff Pin] pairs pin " + w[0] + " with itself");
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string& p = w[i];
        if (diffPartner_.count(c.name + "\n" + p))
            c_.Add(Message::DiffPinPairing, line, "pin " + p + " is in two [Diff Pin] pairs");
        diffPartner_[c.name + "\n" + p] = w[1 - i];
    }
    // "If NA is entered in the vdiff, tdelay_typ, or tdelay_min columns,
    // its entry is interpreted as 0 V or 0 ns" (4.1; from 4.2 a vdiff of
    // NA means 200 mV): NA is allowed in every column.
    double vdiff = 0;
    for (std::size_t i = 2; i < w.size(); ++i)
        c_.NumberOrNa(w[i], line, true, i == 2 ? &vdiff : nullptr);
    // vdiff is the swing the receiver needs, |Vp - Vn|: a magnitude. The
    // delays may have either sign (the inverting pin early or late).
    if (vdiff < 0)
        c_.Add(Message::ThresholdOrder, line,
               "[Diff Pin] " + w[0] + " vdiff " + w[2] + " is below zero; it is a magnitude");
}

// "pin pin_2 model_name [function_table_group]".
void ComponentRules::SeriesPinRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    ComponentInfo& c = components_.back();
    if (w.size() < 3) {
        c_.Add(Message::SeriesPinMappingRow, line,
               "a [Series Pin Mapping] row needs pin, pin_2 and model_name");
        return;
    }
    if (w.size() > 4)
        c_.Add(Message::SeriesPinMappingRow, line,
               "a [Series Pin Mapping] row is pin, pin_2, model_name and function_table_group; "
               "this one has " +
                   std::to_string(w.size()) + " columns");
    if (w[0] == w[1])
        c_.Add(Message::SeriesPinMappingRow, line,
               "[Series Pin Mapping] joins pin " + w[0] + " to itself; pin_2 is the other end");
    // BIRD93.1: its "column length limits" are those of [Pin].
    c_.PinNameLength(w[0], line);
    c_.PinNameLength(w[1], line);
    c_.NameLength("model_name", w[2], line);
    c.EditMore().series.push_back({w[0], w[1], w[2], line, w.size() > 3 ? w[3] : ""});
}

// The names a [Node Declarations] line declares.
void ComponentRules::NodeRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    ComponentInfo& c = components_.back();
    for (const std::string& node : w)
        if (!c.EditMore().nodes.insert(node).second)
            c_.Add(Message::NodeDeclaredTwice, line,
                   "node " + node + " is declared twice in [Component] " + c.name);
}

// One package model name a line.
void ComponentRules::AlternatePackageRow(const DataLine& d) {
    if (d.words.size() != 1)
        c_.Add(Message::TableRowColumns, d.line,
               "an [Alternate Package Models] line holds " + std::to_string(d.words.size()) +
                   " values; it holds a package model name");
    components_.back().EditMore().alternatePackages.push_back({d.words[0], d.line});
}

// Signal_pin, Diff_signal_pins, Series_pins, Port_map and the parameters.
void ComponentRules::CircuitCallRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    if (circuitCalls_.empty()) return;
    CircuitCall& call = circuitCalls_.back();
    const std::string sub = Lower(w[0]);
    const std::size_t pins = sub == "signal_pin"                                 ? 1
                             : sub == "diff_signal_pins" || sub == "series_pins" ? 2
                                                                                 : 0;
    if (pins > 0) {
        if (++call.pinKinds == 2)
            c_.Add(Message::CircuitCallSignalKinds, line,
                   "a [Circuit Call] takes one of Signal_pin, Diff_signal_pins and "
                   "Series_pins");
        if (w.size() != pins + 1)
            c_.Add(Message::CircuitCallSignalKinds, line,
                   w[0] + " needs " + (pins == 1 ? "one pin" : "two pins"));
        for (std::size_t i = 1; i < w.size() && i <= pins; ++i) call.pins.emplace_back(w[i], line);
    } else if (sub == "port_map") {
        if (w.size() < 3)
            c_.Add(Message::CircuitCallSignalKinds, line,
                   "Port_map needs a port and the pin or node it connects");
        // A plain "Port_map port node" line; longer or dotted forms name
        // model terminals and are left to the tools.
        if (w.size() == 3 && w[2].find('.') == std::string::npos)
            call.nodes.emplace_back(w[2], line);
        if (w.size() >= 2) call.ports.emplace_back(w[1], line);
    } else if (sub != "parameters" && sub != "converter_parameters") {
        c_.Add(Message::CircuitCallUnknownSubparameter, line,
               "'" + w[0] + "' is not a [Circuit Call] subparameter");
    }
}

// "pin pulldown_ref pullup_ref [gnd_clamp_ref power_clamp_ref [ext_ref]]".
void ComponentRules::PinMappingRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    ComponentInfo& c = components_.back();
    ComponentInfo::MappingRow row{};
    ComponentInfo::More& more = c.EditMore();
    row.pin = more.mappingNames.Put(w[0]);
    row.line = line;
    for (std::size_t i = 1; i < w.size() && row.count < std::size(row.labels); ++i)
        row.labels[row.count++] = more.busLabels.Id(IsNc(w[i]) ? std::string("NC") : w[i]);
    more.mapping.push_back(row);
    std::vector<std::string> labels(w.begin() + 1, w.end());
    // "Each line must contain either three, five or six entries."
    if (w.size() != 3 && w.size() != 5 && w.size() != 6)
        c_.Add(Message::PinMappingInvalid, line,
               "[Pin Mapping] " + w[0] + " gives " + std::to_string(w.size() - 1) +
                   " bus labels; a row holds the pin and two, four or five of them");
    // A row gives no more labels than the keyword line names columns.
    if (more.mappingColumns != 0 && labels.size() > more.mappingColumns)
        c_.Add(Message::PinMappingInvalid, line,
               "[Pin Mapping] " + w[0] + " gives " + std::to_string(labels.size()) +
                   " bus labels; the keyword line names " + std::to_string(more.mappingColumns) +
                   " columns");
    for (const std::string& label : labels)
        if (label.size() > 15)
            c_.Add(Message::PinMappingInvalid, line,
                   "[Pin Mapping] bus label " + label + " is longer than 15 characters");
}

// Components by name, sorted once: each name after its first use is a
// second definition.
void ComponentRules::CheckNamesOnce() {
    // By the names' hashes first: integers side by side sort faster than
    // names scattered over the components; equal hashes then by name.
    std::vector<std::pair<std::size_t, std::size_t>> order(components_.size());
    const std::hash<std::string> hash;
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = {hash(components_[i].name), i};
    std::sort(order.begin(), order.end());
    std::vector<std::size_t> twice;
    for (std::size_t run = 0; run < order.size();) {
        std::size_t end = run + 1;
        while (end < order.size() && order[end].first == order[run].first) ++end;
        if (end - run > 1) {
            std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(run),
                             order.begin() + static_cast<std::ptrdiff_t>(end),
                             [this](const auto& a, const auto& b) {
                                 return components_[a.second].name < components_[b.second].name;
                             });
            for (std::size_t i = run + 1; i < end; ++i) {
                const std::string& name = components_[order[i].second].name;
                if (!name.empty() && name == components_[order[i - 1].second].name)
                    twice.push_back(order[i].second);
            }
        }
        run = end;
    }
    std::sort(twice.begin(), twice.end());  // each second definition in file order
    for (std::size_t i : twice)
        c_.Add(Message::ComponentName, components_[i].line,
               "[Component] " + components_[i].name + " is defined twice");
}

void ComponentRules::Finish() {
    CheckNamesOnce();
    for (const ComponentInfo& c : components_) {
        // [Manufacturer] and [Pin]: the keyword table's requirements.
        if (!c.package && c.packageModel.empty())
            c_.Add(Message::ComponentNoPackage, c.line,
                   "[Component] " + c.name + " has no [Package]");
        for (const auto& [pin, line] : c.Extra().diffPins) {
            if (!c.pins.count(pin)) {
                c_.Add(Message::DiffPinNotAPin, line,
                       "[Diff Pin] " + pin + " is not a pin of [Component] " + c.name);
                continue;
            }
            const std::string& model = *c.pins.Find(pin)->model;
            if (model == "POWER" || model == "GND" || model == "NC")
                c_.Add(Message::DiffPinNotAPin, line,
                       "[Diff Pin] " + pin + " is a " + model + " pin, not a signal pin");
        }
        CheckPinMapping(c);
        if (c.package) {
            for (const char* v : {"R_pkg", "L_pkg", "C_pkg"})
                if (!(c.packageRows & PackageBit(Lower(v))))
                    c_.Add(Message::PackageIncomplete, c.line,
                           "[Package] of " + c.name + " has no " + v);
        }
        CheckSeriesPins(c);
        CheckRepeaterPins(c);
    }
}

// A repeater's receiving and transmitting pins are the component's.
void ComponentRules::CheckRepeaterPins(const ComponentInfo& c) {
    for (const auto& [pin, line] : c.Extra().repeaterPins)
        if (!c.pins.count(pin))
            c_.Add(Message::RepeaterPinUnknown, line,
                   "[Repeater Pin] " + pin + " is not a pin of [Component] " + c.name);
}

// Series pins are pins of the component; one row joins a pair of pins.
void ComponentRules::CheckSeriesPins(const ComponentInfo& c) {
    std::set<std::pair<std::string, std::string>> pairs;
    for (const ComponentInfo::SeriesRow& row : c.Extra().series) {
        for (const std::string* pin : {&row.pin, &row.pin2})
            if (!c.pins.count(*pin))
                c_.Add(Message::SeriesPinMappingRow, row.line,
                       "[Series Pin Mapping] " + *pin + " is not a pin of [Component] " + c.name);
        if (!pairs.insert(std::minmax(row.pin, row.pin2)).second)
            c_.Add(Message::SeriesPinMappingRow, row.line,
                   "[Series Pin Mapping] joins pins " + row.pin + " and " + row.pin2 +
                       " a second time");
    }
}

namespace {

bool IsRailOrNc(const std::string& model) {
    return model == "POWER" || model == "GND" || model == "NC";
}

}  // namespace

void ComponentRules::CheckPinMapping(const ComponentInfo& c) {
    if (c.Extra().mapping.empty()) return;
    // Each row's pin where it stands among the pins (kNone: not a pin).
    constexpr std::uint32_t kNone = UINT32_MAX;
    std::vector<std::uint32_t> pinOf(c.Extra().mapping.size(), kNone);
    std::vector<bool> mapped(c.pins.size(), false);
    for (std::size_t r = 0; r < c.Extra().mapping.size(); ++r) {
        const ComponentInfo::MappingRow& row = c.Extra().mapping[r];
        const std::optional<std::size_t> at = c.pins.IndexOf(c.Extra().mappingNames.Get(row.pin));
        if (at) {
            pinOf[r] = static_cast<std::uint32_t>(*at);
            if (mapped[*at])
                c_.AddLazily(Message::PinRepeated, row.line, [&] {
                    return "[Pin Mapping] lists pin " + c.pins.At(*at).name + " twice";
                });
            mapped[*at] = true;
            continue;
        }
        c_.AddLazily(Message::PinMappingInvalid, row.line, [&] {
            return "[Pin Mapping] " + std::string(c.Extra().mappingNames.Get(row.pin)) +
                   " is not a pin of [Component] " + c.name;
        });
    }
    // "The bus connections for EVERY pin listed under the [Pin] keyword
    // must be given" once [Pin Mapping] is there; from 7.0 for "every pin ...
    // whose model_name is not POWER, GND or NC".
    const bool railsMayBeLeftOut = c_.version >= 70;
    for (std::size_t i = 0; i < mapped.size(); ++i)
        if (!mapped[i] && !(railsMayBeLeftOut && IsRailOrNc(*c.pins.At(i).model)))
            c_.AddLazily(Message::PinMappingInvalid, c.Extra().mapping.front().line, [&] {
                return "[Pin Mapping] gives no bus connections for pin " + c.pins.At(i).name;
            });
    // A bus label that a signal pin uses must belong to a POWER or GND pin,
    // or it connects to nothing.
    const auto modelOf = [&](std::size_t r) -> const std::string* {
        return pinOf[r] != kNone ? c.pins.At(pinOf[r]).model : nullptr;
    };
    std::set<std::uint32_t> supplyLabels;
    for (std::size_t r = 0; r < c.Extra().mapping.size(); ++r) {
        const std::string* model = modelOf(r);
        if (model != nullptr && (*model == "POWER" || *model == "GND"))
            supplyLabels.insert(c.Extra().mapping[r].labels,
                                c.Extra().mapping[r].labels + c.Extra().mapping[r].count);
    }
    for (std::size_t r = 0; r < c.Extra().mapping.size(); ++r)
        CheckMappingLabels(c, c.Extra().mapping[r], modelOf(r), supplyLabels);
}

void ComponentRules::CheckMappingLabels(const ComponentInfo& c,
                                        const ComponentInfo::MappingRow& row,
                                        const std::string* model,
                                        const std::set<std::uint32_t>& supplyLabels) {
    const auto pin = [&] { return std::string(c.Extra().mappingNames.Get(row.pin)); };
    const auto label = [&](std::size_t i) -> const std::string& {
        return c.Extra().busLabels.Text(row.labels[i]);
    };
    // A GND pin names its bus under pulldown_ref, a POWER pin under
    // pullup_ref; the other of the two columns is NC.
    if (model != nullptr && row.count >= 2) {
        if (*model == "GND" && label(1) != "NC")
            c_.AddLazily(Message::PinMappingInvalid, row.line, [&] {
                return "[Pin Mapping] GND pin " + pin() + " gives pullup_ref " + label(1) +
                       "; it must be NC";
            });
        if (*model == "POWER" && label(0) != "NC")
            c_.AddLazily(Message::PinMappingInvalid, row.line, [&] {
                return "[Pin Mapping] POWER pin " + pin() + " gives pulldown_ref " + label(0) +
                       "; it must be NC";
            });
    }
    if (model == nullptr || *model == "POWER" || *model == "GND") return;
    // From 7.0 a label may also be a POWER or GND pin's signal name (the bus
    // of one [Pin Mapping] leaves out) or a bus [Bus Label] or [Die Supply
    // Pads] names.
    const bool byName = c_.version >= 70;
    for (std::size_t i = 0; i < row.count; ++i)
        if (label(i) != "NC" && !supplyLabels.count(row.labels[i]) &&
            !(byName && c.IsRailName(label(i))))
            c_.AddLazily(Message::PinMappingInvalid, row.line, [&] {
                return "[Pin Mapping] bus label " + label(i) + " of pin " + pin() +
                       " belongs to no POWER or GND pin";
            });
}

}  // namespace ibis
