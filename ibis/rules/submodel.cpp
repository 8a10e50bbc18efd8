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
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + w[0] + "' is not a [Submodel] subparameter");
    }
}

void ModelRules::CheckSubmodel(const ModelInfo& m) {
    if (m.submodelType.empty())
        c_.Add(Message::SubmodelRules, m.line, "[Submodel] " + m.name + " has no Submodel_type");
}

}  // namespace ibis
