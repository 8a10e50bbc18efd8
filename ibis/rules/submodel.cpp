// [Submodel] sections and the [Add Submodel] rows of a [Model].
#include <set>

#include "lexer.h"
#include "model.h"

namespace ibis {

void ModelRules::AddSubmodelData(ModelInfo& m, const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    // submodel_name and mode: Driving, Non-Driving or All.
    if (w.size() != 2) {
        c_.Add(Message::SubmodelRules, d.line,
               "an [Add Submodel] row needs a submodel name and a mode");
        return;
    }
    const std::string mode = Lower(w[1]);
    if (mode != "driving" && mode != "non-driving" && mode != "all")
        c_.Add(Message::SubmodelRules, d.line,
               "[Add Submodel] mode '" + w[1] + "' is not Driving, Non-Driving or All");
    if (mode == "driving" && Lower(m.type) == "input")
        c_.Add(Message::SubmodelRules, d.line,
               "an Input model's submodel " + w[0] + " cannot be Driving");
    m.addSubmodels.emplace_back(w[0], d.line);
}

void ModelRules::SubmodelData(ModelInfo& m, const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const std::string sub = Lower(w[0]);
    if (sub == "submodel_type") {
        m.submodelType = w.size() > 1 ? w[1] : "";
        m.typeLine = d.line;
        c_.TooManyValues([&] { return std::string("Submodel_type"); }, w.size() - 1, 1, d.line);
        if (!IsEnumeratedValue(*FindSubparameter(Kw::Submodel, sub), m.submodelType) ||
            m.submodelType.empty())
            c_.Add(Message::SubmodelRules, d.line,
                   "Submodel_type '" + m.submodelType +
                       "' is not Dynamic_clamp, Bus_hold or Fall_back");
    } else if (FindSubparameter(Kw::Submodel, sub) == nullptr) {
        std::vector<std::string> known = SubparameterList(Kw::Submodel);
        for (const std::string& name : SubparameterList(Kw::Model)) known.push_back(name);
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + w[0] + "' is not a [Submodel] subparameter" + c_.Hint(sub, known));
    } else {
        // A submodel adds tables to the model that names it, whose die
        // capacitance, thresholds and loads stay the model's own.
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + w[0].substr(0, w[0].find('=')) +
                   "' is a [Model] subparameter; a [Submodel] gives only its Submodel_type");
    }
}

// What each type does: a bus hold latches and a fall-back driver weakens
// when the pad crosses its trigger voltages; a dynamic clamp adds its pulse
// tables; every type adds I-V tables or pulses to the model.
void ModelRules::CheckSubmodel(const ModelInfo& m) {
    const std::string type = Lower(m.submodelType);
    const std::string name = "[Submodel] " + m.name;
    if (type.empty()) c_.Add(Message::SubmodelRules, m.line, name + " has no Submodel_type");
    if (type == "bus_hold" || type == "fall_back")
        for (const char* trigger : {"v_trigger_r", "v_trigger_f"})
            if (!m.triggers.count(trigger))
                c_.Add(Message::SubmodelCannotAct, m.line,
                       name + " (" + m.submodelType + ") has no " +
                           (trigger[10] == 'r' ? "V_trigger_r" : "V_trigger_f") +
                           " in [Submodel Spec]: nothing switches it");
    if (m.pulseLine != 0 && !type.empty() && type != "dynamic_clamp")
        c_.Add(Message::SubmodelCannotAct, m.pulseLine,
               name + " is of type " + m.submodelType + "; pulse tables belong to a Dynamic_clamp");
    if (m.tables.empty() && m.pulseLine == 0)
        c_.Add(Message::SubmodelCannotAct, m.line,
               name + " has no I-V or pulse table: it adds nothing to the model");
}

}  // namespace ibis
