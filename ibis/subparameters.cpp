#include "subparameters.h"

#include <bitset>
#include <iterator>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "lexer.h"

namespace ibis {

namespace {

using V = SubValue;
using S = SubSign;

constexpr const char* kModelTypes =
    "Input Output I/O 3-state Open_drain Open_sink Open_source I/O_open_drain I/O_open_sink "
    "I/O_open_source Input_ECL Output_ECL I/O_ECL 3-state_ECL Terminator Series Series_switch "
    "Input_diff Output_diff I/O_diff 3-state_diff";

// The timing test load came with 2.1, the split die capacitances and the
// differential test load with 4.0; [Model Spec] (3.2) took its test-load rows
// with 4.0. The rest are as old as their keyword.
// clang-format off
const SubparameterDef kSubparameters[] = {
    // [Model]
    {Kw::Model, "Model_type", 0, V::Enumerated, S::Any, kModelTypes},
    {Kw::Model, "Polarity", 0, V::Enumerated, S::Any, "Inverting Non-Inverting"},
    {Kw::Model, "Enable", 0, V::Enumerated, S::Any, "Active-High Active-Low"},
    {Kw::Model, "Vinl", 0, V::Number, S::Any, nullptr},
    {Kw::Model, "Vinh", 0, V::Number, S::Any, nullptr},
    {Kw::Model, "Vmeas", 21, V::Number, S::Any, nullptr},
    {Kw::Model, "Vref", 21, V::Number, S::Any, nullptr},
    {Kw::Model, "Cref", 21, V::Number, S::NotNegative, nullptr},
    {Kw::Model, "Rref", 21, V::Number, S::NotNegative, nullptr},
    {Kw::Model, "C_comp", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::Model, "C_comp_pullup", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::Model, "C_comp_pulldown", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::Model, "C_comp_power_clamp", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::Model, "C_comp_gnd_clamp", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::Model, "Rref_diff", 40, V::Number, S::NotNegative, nullptr},
    {Kw::Model, "Cref_diff", 40, V::Number, S::NotNegative, nullptr},
    // [Model Spec]: typ, min and max each.
    {Kw::ModelSpec, "Vinh", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vinl", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vinh+", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vinh-", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vinl+", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vinl-", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "S_overshoot_high", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "S_overshoot_low", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "D_overshoot_high", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "D_overshoot_low", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "D_overshoot_time", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "D_overshoot_area_h", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "D_overshoot_area_l", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "D_overshoot_ampl_h", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "D_overshoot_ampl_l", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Pulse_high", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Pulse_low", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Pulse_time", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Vmeas", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vref", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Cref", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Rref", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Cref_rising", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Cref_falling", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Rref_rising", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Rref_falling", 40, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Vref_rising", 40, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vref_falling", 40, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vmeas_rising", 40, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Vmeas_falling", 40, V::TypMinMax, S::Any, nullptr},
    {Kw::ModelSpec, "Rref_diff", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::ModelSpec, "Cref_diff", 0, V::TypMinMax, S::NotNegative, nullptr},
    // [Receiver Thresholds]: a number each; the supply the thresholds follow.
    {Kw::ReceiverThresholds, "Vth", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vth_min", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vth_max", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vinh_ac", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vinh_dc", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vinl_ac", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vinl_dc", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Threshold_sensitivity", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Reference_supply", 0, V::Enumerated, S::Any,
     "Pullup_ref Pulldown_ref Power_clamp_ref Gnd_clamp_ref Ext_ref"},
    {Kw::ReceiverThresholds, "Vcross_low", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vcross_high", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vdiff_ac", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Vdiff_dc", 0, V::Number, S::Any, nullptr},
    {Kw::ReceiverThresholds, "Tslew_ac", 0, V::Number, S::NotNegative, nullptr},
    {Kw::ReceiverThresholds, "Tdiffslew_ac", 0, V::Number, S::NotNegative, nullptr},
    // [Rising Waveform] and [Falling Waveform]: the fixture and the package of
    // the device under test.
    {Kw::RisingWaveform, "R_fixture", 0, V::Number, S::Positive, nullptr},
    {Kw::RisingWaveform, "V_fixture", 0, V::Number, S::Any, nullptr},
    {Kw::RisingWaveform, "V_fixture_min", 0, V::Number, S::Any, nullptr},
    {Kw::RisingWaveform, "V_fixture_max", 0, V::Number, S::Any, nullptr},
    {Kw::RisingWaveform, "C_fixture", 0, V::Number, S::NotNegative, nullptr},
    {Kw::RisingWaveform, "L_fixture", 0, V::Number, S::NotNegative, nullptr},
    {Kw::RisingWaveform, "R_dut", 0, V::Number, S::NotNegative, nullptr},
    {Kw::RisingWaveform, "L_dut", 0, V::Number, S::NotNegative, nullptr},
    {Kw::RisingWaveform, "C_dut", 0, V::Number, S::NotNegative, nullptr},
    // [Ramp]: the two slopes (their own rules) and the load they were taken into.
    {Kw::Ramp, "dV/dt_r", 0, V::Text, S::Any, nullptr},
    {Kw::Ramp, "dV/dt_f", 0, V::Text, S::Any, nullptr},
    {Kw::Ramp, "R_load", 0, V::Number, S::Positive, nullptr},
    // [C Comp Corner] (6.0): the die capacitances of the C_comp corners,
    // each with typ, min and max.
    {Kw::CCompCorner, "C_comp", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::CCompCorner, "C_comp_pullup", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::CCompCorner, "C_comp_pulldown", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::CCompCorner, "C_comp_power_clamp", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::CCompCorner, "C_comp_gnd_clamp", 0, V::TypMinMax, S::NotNegative, nullptr},
    // [Initial Delay]: the delay that may be removed from the start of the
    // V-T and I-T tables, typ, min and max.
    {Kw::InitialDelay, "V-T", 0, V::TypMinMax, S::NotNegative, nullptr},
    {Kw::InitialDelay, "I-T", 0, V::TypMinMax, S::NotNegative, nullptr},
    // [Component]
    {Kw::Component, "Si_location", 0, V::Enumerated, S::Any, "Die Pin"},
    {Kw::Component, "Timing_location", 0, V::Enumerated, S::Any, "Die Pin"},
    // [Submodel]
    {Kw::Submodel, "Submodel_type", 0, V::Enumerated, S::Any, "Dynamic_clamp Bus_hold Fall_back"},
    // [Submodel Spec]
    {Kw::SubmodelSpec, "V_trigger_r", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::SubmodelSpec, "V_trigger_f", 0, V::TypMinMax, S::Any, nullptr},
    {Kw::SubmodelSpec, "Off_delay", 0, V::TypMinMax, S::Any, nullptr},
    // [External Model] and [External Circuit]
    {Kw::ExternalModel, "Language", 0, V::Enumerated, S::Any,
     "SPICE VHDL-AMS Verilog-AMS VHDL-A(MS) Verilog-A(MS) IBIS-ISS"},
    {Kw::ExternalModel, "Corner", 0, V::Text, S::Any, nullptr},
    {Kw::ExternalModel, "Parameters", 0, V::Text, S::Any, nullptr},
    {Kw::ExternalModel, "Ports", 0, V::Text, S::Any, nullptr},
    {Kw::ExternalModel, "D_to_A", 0, V::Text, S::Any, nullptr},
    {Kw::ExternalModel, "A_to_D", 0, V::Text, S::Any, nullptr},
    // [Interconnect Model]; its terminal lines begin with their number.
    {Kw::InterconnectModel, "File_TS", 0, V::Text, S::Any, nullptr},
    {Kw::InterconnectModel, "File_IBIS-ISS", 0, V::Text, S::Any, nullptr},
    {Kw::InterconnectModel, "Param", 0, V::Text, S::Any, nullptr},
    {Kw::InterconnectModel, "Unused_port_termination", 0, V::Text, S::Any, nullptr},
    {Kw::InterconnectModel, "Number_of_terminals", 0, V::Text, S::Any, nullptr},
};
// clang-format on

// The keyword whose list a keyword shares.
Kw ListOwner(Kw owner) {
    if (owner == Kw::FallingWaveform) return Kw::RisingWaveform;
    if (owner == Kw::ExternalCircuit) return Kw::ExternalModel;
    return owner;
}

}  // namespace

const SubparameterDef* FindSubparameter(Kw owner, const std::string& name) {
    // "keyword\nname" in lower case -> its row; built once.
    static const std::unordered_map<std::string, const SubparameterDef*> kIndex = [] {
        std::unordered_map<std::string, const SubparameterDef*> index;
        for (const SubparameterDef& d : kSubparameters)
            index.emplace(std::to_string(static_cast<int>(d.owner)) + "\n" + Lower(d.name), &d);
        return index;
    }();
    // The keywords that hold subparameters; most rows ([Pin], tables) belong
    // to one that holds none.
    static const std::bitset<256> kOwners = [] {
        std::bitset<256> owners;
        for (const SubparameterDef& d : kSubparameters)
            owners.set(static_cast<std::size_t>(d.owner));
        return owners;
    }();
    if (!kOwners.test(static_cast<std::size_t>(ListOwner(owner))) && owner != Kw::Submodel)
        return nullptr;
    const std::string key = std::to_string(static_cast<int>(ListOwner(owner))) + "\n" +
                            Lower(name.substr(0, name.find('=')));
    const auto found = kIndex.find(key);
    if (found != kIndex.end()) return found->second;
    // A [Submodel] holds a [Model]'s levels and loads besides its type.
    if (owner == Kw::Submodel) return FindSubparameter(Kw::Model, name);
    return nullptr;
}

bool IsEnumeratedValue(const SubparameterDef& def, const std::string& value) {
    if (def.values == nullptr) return true;
    const std::string all = " " + Lower(def.values) + " ";
    return all.find(" " + Lower(value) + " ") != std::string::npos;
}

std::string EnumeratedNames(const SubparameterDef& def) {
    std::vector<std::string> names;
    std::string word;
    for (const char* c = def.values == nullptr ? "" : def.values;; ++c) {
        if (*c == ' ' || *c == 0) {
            if (!word.empty()) names.push_back(word);
            word.clear();
            if (*c == 0) break;
        } else {
            word += *c;
        }
    }
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return out;
}

const SubparameterDef* SubparametersBegin() { return std::begin(kSubparameters); }
const SubparameterDef* SubparametersEnd() { return std::end(kSubparameters); }

std::string SubparameterNames(Kw owner) {
    const Kw list = ListOwner(owner);
    std::string out;
    for (const SubparameterDef& d : kSubparameters)
        if (d.owner == list) out += (out.empty() ? "" : ", ") + std::string(d.name);
    return out;
}

std::vector<std::string> EnumeratedList(const SubparameterDef& def) {
    std::vector<std::string> out;
    std::istringstream words(def.values != nullptr ? def.values : "");
    for (std::string word; words >> word;) out.push_back(word);
    return out;
}

std::vector<std::string> SubparameterList(Kw owner) {
    const Kw list = ListOwner(owner);
    std::vector<std::string> out;
    for (const SubparameterDef& d : kSubparameters)
        if (d.owner == list) out.emplace_back(d.name);
    return out;
}

}  // namespace ibis
