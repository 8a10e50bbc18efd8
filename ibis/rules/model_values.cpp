// The values the standard gives a model's keywords and subparameters, and
// where some of them may stand: die and load capacitances and resistances not
// below zero, terminator keywords in Terminator models,
// [Model Spec] rows of three values, [Receiver Thresholds] with its Vth,
// [Composite Current] after its waveform, [Model Selector] entries.
#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "lexer.h"
#include "model.h"

namespace ibis {

namespace {

bool IsReservedModelName(const std::string& name) {
    const std::string u = Upper(name);
    return u == "POWER" || u == "GND" || u == "NC" || u == "NA" || u == "CIRCUITCALL";
}

// An ac and a dc level of one name ("Vinh": Vinh_ac, Vinh_dc) on the wrong
// side of zero (sign +1: they lie above it, -1: below it), or the dc level
// beyond the ac one; empty when neither.
std::string AcDcFault(const char* level, const char* what, int sign, double ac, double dc) {
    const std::string a = std::string(level) + "_ac", d = std::string(level) + "_dc";
    if (sign * ac < 0 || sign * dc < 0)
        return a + " and " + d + " are " + what + "; " +
               (sign * ac < 0 ? a + " " + Shown(ac) : d + " " + Shown(dc)) +
               (sign > 0 ? " is below zero" : " is above zero");
    if (sign * dc > sign * ac) return d + " " + Shown(dc) + " lies beyond " + a + " " + Shown(ac);
    return "";
}

}  // namespace

// POWER, GND, NC, NA and CIRCUITCALL stand for themselves where a model
// name is read ([Pin], [Model Selector], [Add Submodel]): none names a
// [Model], [Submodel] or [Model Selector].
void ModelRules::ReservedName(const KeywordLine& k, const std::string& name) {
    if (IsReservedModelName(name))
        c_.Add(Message::ModelName, k.line,
               "[" + k.name + "] " + name + ": a reserved word cannot name it");
}

void ModelRules::ValueKeyword(ModelInfo* m, const KeywordLine& k) {
    if (m == nullptr) return;
    if (k.id == Kw::Model || k.id == Kw::Submodel) ReservedName(k, m->name);
    if (k.id == Kw::Rgnd || k.id == Kw::Rpower || k.id == Kw::Rac || k.id == Kw::Cac) {
        m->terminatorLines.push_back(k.line);
        if (k.id == Kw::Rac) m->racLine = k.line;
        if (k.id == Kw::Cac) m->cacLine = k.line;
        if (k.words.size() < 3)
            c_.Add(Message::MissingValue, k.line, "[" + k.name + "] needs typ, min and max");
        c_.TooManyValues([&] { return std::string("[" + k.name + "] (typ, min and max)"); },
                         k.words.size(), 3, k.line);
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
        c_.TooManyValues([&] { return std::string("[Temperature Range] (typ, min and max)"); },
                         k.words.size(), 3, k.line);
        // Degrees Celsius: nothing is colder than absolute zero.
        for (std::size_t i = 0; i < k.words.size() && i < 3; ++i) {
            double v = 0;
            c_.NumberOrNa(k.words[i], k.line, true, &v);
            if (v < -273.15)
                c_.Add(Message::NegativeValue, k.line,
                       "[Temperature Range] " + k.words[i] +
                           " is below absolute zero (-273.15 degrees Celsius)");
        }
    } else if (k.id == Kw::ReceiverThresholds) {
        m->thresholdsLine = k.line;
    } else if (k.id == Kw::CompositeCurrent) {
        compositeLast_ = NAN;
        compositeLine_ = k.line;
        if (!m->afterWaveform)
            c_.Add(Message::CompositePlace, k.line,
                   "[Composite Current] belongs directly after the [Rising Waveform] or [Falling "
                   "Waveform] it goes with");
    }
    m->afterWaveform = k.id == Kw::RisingWaveform || k.id == Kw::FallingWaveform;
}

void ModelRules::SubparameterValues(ModelInfo& m, const SubparameterDef& def,
                                    const std::vector<std::string>& w, int line) {
    c_.CheckSubparameter(def, w, line);
    // The input thresholds kept for their order.
    const std::string sub = Lower(def.name);
    if (sub != "vinl" && sub != "vinh") return;
    const std::vector<std::string> values = ValuesAfterName(w);
    const double v = values.empty() ? NAN : Number(values[0]).value_or(NAN);
    (sub == "vinl" ? m.vinl : m.vinh) = v;
    m.vinLine = line;
}

void ModelRules::SpecData(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const SubparameterDef* def = FindSubparameter(Kw::ModelSpec, w[0]);
    if (def == nullptr)
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + w[0] + "' is not a [Model Spec] subparameter" +
                   c_.Hint(w[0], SubparameterList(Kw::ModelSpec)));
    if (w.size() < 4) {
        c_.Add(Message::SpecSubparameter, d.line,
               "[Model Spec] " + w[0] + " needs typ, min and max");
        return;
    }
    c_.TooManyValues([&] { return std::string("[Model Spec] " + w[0] + " (typ, min and max)"); },
                     w.size() - 1, 3, d.line);
    std::array<double, 3>& kept = spec_[Lower(w[0])];
    for (std::size_t i = 1; i < 4; ++i) {
        double v = 0;  // NA leaves it
        c_.NumberOrNa(w[i], d.line, true, &v);
        kept[i - 1] = IsNa(w[i]) || !Number(w[i]) ? NAN : v;
        // Times, loads and reference capacitances are not below zero.
        if (def != nullptr && def->sign == SubSign::NotNegative && v < 0)
            c_.Add(Message::NegativeValue, d.line,
                   "[Model Spec] " + w[0] + " " + w[i] + " is below zero");
    }
}

// A dynamic overshoot is "D_overshoot_high, D_overshoot_low, and
// D_overshoot_time", a pulse Pulse_high, Pulse_low and Pulse_time: a level
// without its time (or a time without a level) says nothing. A dynamic limit
// is the "greater levels of overshoot" tolerated briefly: beyond the static one.
void ModelRules::CloseSpec() {
    if (specLine_ == 0) return;
    const auto has = [&](const char* name) { return spec_.count(name) != 0; };
    std::string fault;
    for (const char* group : {"d_overshoot", "pulse"}) {
        const std::string g = group;
        const bool level = has((g + "_high").c_str()) || has((g + "_low").c_str());
        const bool time = has((g + "_time").c_str());
        // From 6.0 an area and amplitude may bound a dynamic overshoot instead.
        if (g == "d_overshoot" && (has("d_overshoot_area_h") || has("d_overshoot_area_l") ||
                                   has("d_overshoot_ampl_h") || has("d_overshoot_ampl_l")))
            continue;
        const std::string shown = g == "pulse" ? "Pulse" : "D_overshoot";
        if (level != time && fault.empty())
            fault = level ? shown + "_high or " + shown + "_low without " + shown + "_time"
                          : shown + "_time without " + shown + "_high or " + shown + "_low";
    }
    const char* corners[] = {"typ", "min", "max"};
    for (int side = 0; side < 2 && fault.empty(); ++side) {
        const std::string d = side == 0 ? "d_overshoot_high" : "d_overshoot_low";
        const std::string st = side == 0 ? "s_overshoot_high" : "s_overshoot_low";
        if (!has(d.c_str()) || !has(st.c_str())) continue;
        for (std::size_t i = 0; i < 3 && fault.empty(); ++i) {
            const double dynamic = spec_[d][i], fixed = spec_[st][i];
            if (side == 0 ? dynamic < fixed : dynamic > fixed)
                fault = std::string(side == 0 ? "D_overshoot_high " : "D_overshoot_low ") +
                        Shown(dynamic) + " (" + corners[i] + ") lies within " +
                        (side == 0 ? "S_overshoot_high " : "S_overshoot_low ") + Shown(fixed);
        }
    }
    if (!fault.empty()) c_.Add(Message::SpecDynamicLimits, specLine_, "[Model Spec]: " + fault);
    SpecOrder();
    specLine_ = 0;
    spec_.clear();
}

// In each corner a [Model Spec]'s Vinl lies below its Vinh, and the low
// static overshoot limit below the high one (NA, not given, compares false).
void ModelRules::SpecOrder() {
    const char* corners[] = {"typ", "min", "max"};
    for (const auto& [low, high] : {std::pair<const char*, const char*>{"Vinl", "Vinh"},
                                    {"S_overshoot_low", "S_overshoot_high"}}) {
        const auto l = spec_.find(Lower(low)), h = spec_.find(Lower(high));
        if (l == spec_.end() || h == spec_.end()) continue;
        for (std::size_t i = 0; i < 3; ++i) {
            if (!(l->second[i] >= h->second[i])) continue;
            c_.Add(Message::ThresholdOrder, specLine_,
                   "[Model Spec]: " + std::string(low) + " " + Shown(l->second[i]) + " (" +
                       corners[i] + ") is not below " + high + " " + Shown(h->second[i]));
            break;
        }
    }
}

void ModelRules::ThresholdData(ModelInfo& m, const DataLine& d) {
    const std::string name = Lower(d.words[0].substr(0, d.words[0].find('=')));
    const std::vector<std::string> values = ValuesAfterName(d.words);
    m.thresholdRows = true;
    const SubparameterDef* def = FindSubparameter(Kw::ReceiverThresholds, name);
    if (def == nullptr) {
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + name + "' is not a [Receiver Thresholds] subparameter" +
                   c_.Hint(name, SubparameterList(Kw::ReceiverThresholds)));
        return;
    }
    // A differential receiver's thresholds stand in for Vth.
    if (name == "vth" || name.rfind("vcross", 0) == 0 || name.rfind("vdiff", 0) == 0)
        m.vthGiven = true;
    c_.TooManyValues([&] { return std::string("[Receiver Thresholds] " + name); }, values.size(), 1,
                     d.line);
    if (name == "threshold_sensitivity") m.sensitivityLine = d.line;
    if (name == "reference_supply") m.referenceSupply = true;
    if (def->value == SubValue::Enumerated) {
        if (values.empty() || !IsEnumeratedValue(*def, values[0]))
            c_.Add(Message::SpecSubparameter, d.line,
                   std::string(def->name) + " is " + EnumeratedNames(*def));
        return;
    }
    if (values.empty() || !Number(values[0])) {
        c_.Add(Message::SpecSubparameter, d.line,
               "[Receiver Thresholds] " + d.words[0] + " needs a number");
        return;
    }
    // The threshold with its spread, kept for their order.
    const double v = *Number(values[0]);
    if (def->sign == SubSign::NotNegative && v < 0)  // a slew time
        c_.Add(
            Message::NegativeValue, d.line,
            "[Receiver Thresholds] " + std::string(def->name) + " " + values[0] + " is below zero");
    if (name == "vth" || name == "vth_min" || name == "vth_max") {
        (name == "vth" ? m.vth : name == "vth_min" ? m.vthMin : m.vthMax) = v;
        m.vthLine = d.line;
    }
    static const char* const kOffsets[] = {"vinh_ac", "vinh_dc", "vinl_ac", "vinl_dc"};
    static const char* const kDiff[] = {"vdiff_ac", "vdiff_dc", "vcross_low", "vcross_high"};
    for (int i = 0; i < 4; ++i) {
        if (name == kOffsets[i]) m.inputOffsets[i] = v;
        if (name == kDiff[i]) m.diffLevels[i] = v;
    }
}

// "these parameters are required to be specified as offsets to Vth": Vinh_ac
// and Vinh_dc above it, Vinl_ac and Vinl_dc below, each ac level beyond its dc
// one. A differential receiver switches beyond a swing of Vdiff_ac and holds
// beyond the smaller Vdiff_dc; its crossing lies from Vcross_low up to
// Vcross_high.
void ModelRules::CheckInputOffsets(const ModelInfo& m) {
    const double* o = m.inputOffsets;
    const double* d = m.diffLevels;
    std::string single = AcDcFault("Vinh", "offsets above Vth", 1, o[0], o[1]);
    if (single.empty()) single = AcDcFault("Vinl", "offsets below Vth", -1, o[2], o[3]);
    std::string diff = AcDcFault("Vdiff", "differential swings", 1, d[0], d[1]);
    if (diff.empty() && d[2] > d[3])
        diff = "Vcross_low " + Shown(d[2]) + " is above Vcross_high " + Shown(d[3]);
    for (const std::string& fault : {single, diff})
        if (!fault.empty())
            c_.Add(Message::ThresholdOrder, m.thresholdsLine,
                   "[Model] " + m.name + ": [Receiver Thresholds] " + fault);
}

// A [Composite Current] goes with its waveform: two points or more, 1000 at most.
void ModelRules::CloseComposite() {
    if (compositeLine_ != 0 && compositeRows_ < 2)
        c_.Add(Message::TableTooLong, compositeLine_,
               "[Composite Current] has " + std::to_string(compositeRows_) +
                   " point(s); it needs at least two");
    compositeLine_ = 0;
    compositeRows_ = 0;
}

void ModelRules::CompositeData(const DataLine& d) {
    if (++compositeRows_ == 1001)
        c_.Add(Message::TableTooLong, d.line,
               "[Composite Current] goes on past 1000 points, as no waveform does");
    if (d.words.size() != 4) {
        c_.Add(Message::CompositePlace, d.line,
               "a [Composite Current] row needs time, I(typ), I(min) and I(max)");
        return;
    }
    for (std::size_t i = 0; i < 4; ++i) c_.NumberOrNa(d.words[i], d.line, i > 1);
    // Its times follow the waveform's: each after the one above it.
    const std::optional<double> time = Number(d.words[0]);
    if (!time) return;
    if (*time == compositeLast_)
        c_.Add(Message::TablePointRepeated, d.line,
               "[Composite Current] time " + d.words[0] + " appears twice");
    else if (*time < compositeLast_)
        c_.Add(Message::WaveformTimeOrder, d.line,
               "[Composite Current] time " + d.words[0] + " is before the one above it");
    compositeLast_ = *time;
}

void ModelRules::CheckValues(const ModelInfo& m) {
    const std::string type = Lower(m.type);
    if (!m.submodel && !m.terminatorLines.empty() && !type.empty() && type != "terminator")
        c_.Add(Message::TerminatorKeyword, m.terminatorLines.front(),
               "[Model] " + m.name + " is " + m.type +
                   "; [Rgnd], [Rpower], [Rac] and [Cac] need Model_type Terminator");
    // Input_diff, Output_diff, I/O_diff and 3-state_diff (4.1) came with
    // [External Model] for true differential buffers: the model's I-V and V-t
    // tables describe one pin, so such a model without an [External Model] has
    // no description of its pair.
    if (!m.submodel && !m.external && type.size() > 5 && type.substr(type.size() - 5) == "_diff")
        c_.Add(Message::DiffTypeWithoutExternal, m.typeLine,
               "[Model] " + m.name + " is " + m.type +
                   " without an [External Model]: a *_diff model is a true differential buffer "
                   "its [External Model] describes");
    if (m.algorithmicLine != 0 && !m.submodel &&
        (type == "terminator" || type == "series" || type == "series_switch"))
        c_.Add(Message::AlgorithmicModelPlace, m.algorithmicLine,
               "[Algorithmic Model] in [Model] " + m.name + " of Model_type " + m.type +
                   ": it is not permitted there");
    // [TTgnd] and [TTpower] are the transit times of the clamp diodes: each
    // describes the clamp table it goes with.
    for (const auto& [line, clamp] :
         {std::pair<int, Kw>{m.ttGndLine, Kw::GndClamp}, {m.ttPowerLine, Kw::PowerClamp}})
        if (line != 0 && !m.tables.count(clamp))
            c_.Add(Message::AcTerminationPart, line,
                   "[Model] " + m.name + ": [" + (clamp == Kw::GndClamp ? "TTgnd" : "TTpower") +
                       "] without the [" + KeywordOf(clamp).spelled + "] whose diode it times");
    // [Rac] and [Cac] are the resistor and capacitor of one series branch: the
    // AC termination. One without the other leaves that branch half described.
    if ((m.racLine != 0) != (m.cacLine != 0))
        c_.Add(Message::AcTerminationPart, m.racLine + m.cacLine,
               "[Model] " + m.name + ": [" + (m.racLine ? "Rac" : "Cac") + "] without [" +
                   (m.racLine ? "Cac" : "Rac") + "]; the AC termination is the two in series");
    if (m.vinl >= m.vinh)
        c_.Add(Message::ThresholdOrder, m.vinLine,
               "[Model] " + m.name + ": Vinl " + Shown(m.vinl) + " is not below Vinh " +
                   Shown(m.vinh));
    // Vth_min and Vth_max bound Vth (NaN, not given, compares false).
    const std::string thresholds = "[Model] " + m.name + ": [Receiver Thresholds] ";
    CheckInputOffsets(m);
    if (m.vthMin > m.vthMax)
        c_.Add(Message::ThresholdOrder, m.vthLine,
               thresholds + "Vth_min " + Shown(m.vthMin) + " is above Vth_max " + Shown(m.vthMax));
    else if (m.vth < m.vthMin || m.vth > m.vthMax)
        c_.Add(Message::ThresholdOrder, m.vthLine,
               thresholds + "Vth " + Shown(m.vth) + " lies outside Vth_min " + Shown(m.vthMin) +
                   " to Vth_max " + Shown(m.vthMax));
    // An empty [Receiver Thresholds] (every row commented out) says nothing; a
    // differential one gives Vcross and Vdiff instead.
    // A threshold's sensitivity is to the supply Reference_supply names.
    if (m.sensitivityLine && !m.referenceSupply)
        c_.Add(Message::SpecSubparameter, m.sensitivityLine,
               "[Receiver Thresholds] Threshold_sensitivity needs the Reference_supply it "
               "follows");
    if (m.thresholdsLine && m.thresholdRows && !m.vthGiven)
        c_.Add(Message::SpecSubparameter, m.thresholdsLine,
               "[Receiver Thresholds] needs Vth (or a differential receiver's Vcross and Vdiff)");
}

void ModelRules::CheckSelectors() {
    for (const auto& [name, entries] : selectors_) {
        if (entries.empty())
            c_.Add(Message::SelectorEmpty, selectorLines_[name],
                   "[Model Selector] " + name + " lists no model");
        // Each entry a choice of its own: a model listed twice is one too many.
        std::set<std::string> listed;
        for (const auto& [model, line] : entries)
            if (!listed.insert(model).second)
                c_.Add(Message::SelectorRepeated, line,
                       "[Model Selector] " + name + " lists " + model + " twice");
    }
    // A [Pin] names a [Model] or a [Model Selector]: one name, one of them.
    // An [Add Submodel] names a [Submodel] the same way.
    std::map<std::string, int> models, submodels;
    for (const ModelInfo& m : models_) {
        if (m.name.empty()) continue;
        const auto [at, added] = (m.submodel ? submodels : models).emplace(m.name, m.line);
        if (!added)
            c_.Add(Message::ModelName, m.line,
                   std::string(m.submodel ? "[Submodel] " : "[Model] ") + m.name +
                       " is defined twice (first at line " + std::to_string(at->second) + ")");
        if (m.submodel) continue;
        if (selectors_.count(m.name))
            c_.Add(Message::ModelName, m.line,
                   "[Model] " + m.name + " has the name of a [Model Selector]");
    }
}

}  // namespace ibis
