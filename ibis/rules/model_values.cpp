// The values the standard gives a model's keywords and subparameters, and
// where some of them may stand: die and load capacitances and resistances not
// below zero, terminator keywords in Terminator models,
// [Model Spec] rows of three values, [Receiver Thresholds] with its Vth,
// [Composite Current] after its waveform, [Model Selector] entries.
#include <cstdio>
#include <map>
#include <set>

#include "lexer.h"
#include "model.h"

namespace ibis {

namespace {

// The words after a subparameter's name, "Name = v", "Name=v" or "Name v".
std::vector<std::string> ValuesOf(const std::vector<std::string>& w) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const std::string& word = w[i];
        std::size_t from = 0;
        if (i == 0) {  // the name, up to its "=" when it touches it
            const std::size_t eq = word.find('=');
            if (eq == std::string::npos) continue;
            from = eq + 1;
        } else if (word[0] == '=') {
            from = 1;
        }
        if (from < word.size()) out.push_back(word.substr(from));
    }
    return out;
}

std::string Shown(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

bool IsReservedModelName(const std::string& name) {
    const std::string u = Upper(name);
    return u == "POWER" || u == "GND" || u == "NC" || u == "NA" || u == "CIRCUITCALL";
}

}  // namespace

void ModelRules::ValueKeyword(ModelInfo* m, const KeywordLine& k) {
    if (m == nullptr) return;
    if (k.id == Kw::Model && IsReservedModelName(m->name))
        c_.Add(Message::ModelName, k.line,
               "[Model] " + m->name + ": a reserved word cannot name a model");
    if (k.id == Kw::Rgnd || k.id == Kw::Rpower || k.id == Kw::Rac || k.id == Kw::Cac) {
        m->terminatorLines.push_back(k.line);
        if (k.words.empty())
            c_.Add(Message::MissingValue, k.line, "[" + k.name + "] needs typ, min and max");
        for (std::size_t i = 0; i < k.words.size() && i < 3; ++i) {
            double v = 0;
            c_.NumberOrNa(k.words[i], k.line, i > 0, &v);
            if (v < 0)
                c_.Add(Message::NegativeValue, k.line,
                       "[" + k.name + "] " + k.words[i] + " is below zero");
        }
    } else if (k.id == Kw::TemperatureRange) {
        if (k.words.size() < 3)
            c_.Add(Message::MissingValue, k.line, "[Temperature Range] needs typ, min and max");
        else if (IsNa(k.words[0]))
            c_.Add(Message::TypicalNa, k.line, "the typical [Temperature Range] is NA");
        for (std::size_t i = 0; i < k.words.size() && i < 3; ++i)
            c_.NumberOrNa(k.words[i], k.line, true);
    } else if (k.id == Kw::ReceiverThresholds) {
        m->thresholdsLine = k.line;
    } else if (k.id == Kw::CompositeCurrent && !m->afterWaveform) {
        c_.Add(Message::CompositePlace, k.line,
               "[Composite Current] belongs directly after the [Rising Waveform] or [Falling "
               "Waveform] it goes with");
    }
    m->afterWaveform = k.id == Kw::RisingWaveform || k.id == Kw::FallingWaveform;
}

void ModelRules::SubparameterValues(ModelInfo& m, const std::string& sub,
                                    const std::vector<std::string>& w, int line) {
    // Sizes not below zero; load and fixture resistances above it; the input
    // thresholds kept for their order.
    static const std::set<std::string> kSizes = {"c_comp",
                                                 "c_comp_pullup",
                                                 "c_comp_pulldown",
                                                 "c_comp_power_clamp",
                                                 "c_comp_gnd_clamp",
                                                 "cref",
                                                 "rref",
                                                 "cref_diff",
                                                 "rref_diff",
                                                 "c_fixture",
                                                 "l_fixture",
                                                 "r_dut",
                                                 "l_dut",
                                                 "c_dut"};
    const bool size = kSizes.count(sub) > 0;
    const bool load = sub == "r_load" || sub == "r_fixture";
    const bool threshold = sub == "vinl" || sub == "vinh";
    // The single-valued levels, test loads and fixture values are numbers.
    static const std::set<std::string> kSingle = {
        "vinl",          "vinh",      "vmeas",     "vref",      "cref",      "rref",
        "cref_diff",     "rref_diff", "r_load",    "r_fixture", "v_fixture", "v_fixture_min",
        "v_fixture_max", "c_fixture", "l_fixture", "r_dut",     "l_dut",     "c_dut"};
    if (kSingle.count(sub) && !ValuesOf(w).empty()) c_.NumberOrNa(ValuesOf(w)[0], line, false);
    if (!size && !load && !threshold) return;
    const std::vector<std::string> values = ValuesOf(w);
    const double v = values.empty() ? NAN : Number(values[0]).value_or(NAN);
    if (size && v < 0)
        c_.Add(Message::NegativeValue, line, w[0] + " " + values[0] + " is below zero");
    if (load && !(v > 0) && !std::isnan(v))
        c_.Add(Message::NegativeValue, line,
               w[0] + " " + values[0] + ": a load resistance is above zero");
    if (sub == "vinl") m.vinl = v;
    if (sub == "vinh") m.vinh = v;
    if (sub == "vinl" || sub == "vinh") m.vinLine = line;
}

void ModelRules::SpecData(const DataLine& d) {
    static const std::set<std::string> kKnown = {"vinh",
                                                 "vinl",
                                                 "vinh+",
                                                 "vinh-",
                                                 "vinl+",
                                                 "vinl-",
                                                 "s_overshoot_high",
                                                 "s_overshoot_low",
                                                 "d_overshoot_high",
                                                 "d_overshoot_low",
                                                 "d_overshoot_time",
                                                 "d_overshoot_area_h",
                                                 "d_overshoot_area_l",
                                                 "d_overshoot_ampl_h",
                                                 "d_overshoot_ampl_l",
                                                 "pulse_high",
                                                 "pulse_low",
                                                 "pulse_time",
                                                 "vmeas",
                                                 "vref",
                                                 "cref",
                                                 "rref",
                                                 "cref_rising",
                                                 "cref_falling",
                                                 "rref_rising",
                                                 "rref_falling",
                                                 "vref_rising",
                                                 "vref_falling",
                                                 "vmeas_rising",
                                                 "vmeas_falling",
                                                 "rref_diff",
                                                 "cref_diff"};
    const std::vector<std::string>& w = d.words;
    if (!kKnown.count(Lower(w[0])))
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + w[0] + "' is not a [Model Spec] subparameter");
    if (w.size() < 4) {
        c_.Add(Message::SpecSubparameter, d.line,
               "[Model Spec] " + w[0] + " needs typ, min and max");
        return;
    }
    for (std::size_t i = 1; i < 4; ++i) c_.NumberOrNa(w[i], d.line, true);
}

void ModelRules::ThresholdData(ModelInfo& m, const DataLine& d) {
    static const std::set<std::string> kKnown = {"vth",
                                                 "vth_min",
                                                 "vth_max",
                                                 "vinh_ac",
                                                 "vinh_dc",
                                                 "vinl_ac",
                                                 "vinl_dc",
                                                 "threshold_sensitivity",
                                                 "reference_supply",
                                                 "vcross_low",
                                                 "vcross_high",
                                                 "vdiff_ac",
                                                 "vdiff_dc",
                                                 "tslew_ac",
                                                 "tdiffslew_ac"};
    const std::string name = Lower(d.words[0].substr(0, d.words[0].find('=')));
    const std::vector<std::string> values = ValuesOf(d.words);
    m.thresholdRows = true;
    if (!kKnown.count(name)) {
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + name + "' is not a [Receiver Thresholds] subparameter");
        return;
    }
    // A differential receiver's thresholds stand in for Vth.
    if (name == "vth" || name.rfind("vcross", 0) == 0 || name.rfind("vdiff", 0) == 0) m.vth = true;
    if (name == "reference_supply") {
        static const std::set<std::string> kSupplies = {
            "pullup_ref", "pulldown_ref", "power_clamp_ref", "gnd_clamp_ref", "ext_ref"};
        if (values.empty() || !kSupplies.count(Lower(values[0])))
            c_.Add(Message::SpecSubparameter, d.line,
                   "Reference_supply is one of Pullup_ref, Pulldown_ref, Power_clamp_ref, "
                   "Gnd_clamp_ref, Ext_ref");
        return;
    }
    if (values.empty() || !Number(values[0]))
        c_.Add(Message::SpecSubparameter, d.line,
               "[Receiver Thresholds] " + d.words[0] + " needs a number");
}

void ModelRules::CompositeData(const DataLine& d) {
    if (d.words.size() != 4) {
        c_.Add(Message::CompositePlace, d.line,
               "a [Composite Current] row needs time, I(typ), I(min) and I(max)");
        return;
    }
    for (std::size_t i = 0; i < 4; ++i) c_.NumberOrNa(d.words[i], d.line, i > 1);
}

void ModelRules::CheckValues(const ModelInfo& m) {
    const std::string type = Lower(m.type);
    if (!m.submodel && !m.terminatorLines.empty() && !type.empty() && type != "terminator")
        c_.Add(Message::TerminatorKeyword, m.terminatorLines.front(),
               "[Model] " + m.name + " is " + m.type +
                   "; [Rgnd], [Rpower], [Rac] and [Cac] need Model_type Terminator");
    if (m.vinl >= m.vinh)
        c_.Add(Message::ThresholdOrder, m.vinLine,
               "[Model] " + m.name + ": Vinl " + Shown(m.vinl) + " is not below Vinh " +
                   Shown(m.vinh));
    // An empty [Receiver Thresholds] (every row commented out) says nothing; a
    // differential one gives Vcross and Vdiff instead.
    if (m.thresholdsLine && m.thresholdRows && !m.vth)
        c_.Add(Message::SpecSubparameter, m.thresholdsLine,
               "[Receiver Thresholds] needs Vth (or a differential receiver's Vcross and Vdiff)");
}

void ModelRules::CheckSelectors() {
    for (const auto& [name, entries] : selectors_)
        if (entries.empty())
            c_.Add(Message::SelectorEmpty, selectorLines_[name],
                   "[Model Selector] " + name + " lists no model");
    // A [Pin] names a [Model] or a [Model Selector]: one name, one of them.
    std::map<std::string, int> models;
    for (const ModelInfo& m : models_) {
        if (m.submodel || m.name.empty()) continue;
        const auto [at, added] = models.emplace(m.name, m.line);
        if (!added)
            c_.Add(Message::ModelName, m.line,
                   "[Model] " + m.name + " is defined twice (first at line " +
                       std::to_string(at->second) + ")");
        if (selectors_.count(m.name))
            c_.Add(Message::ModelName, m.line,
                   "[Model] " + m.name + " has the name of a [Model Selector]");
    }
}

}  // namespace ibis
