#include "external.h"

#include "lexer.h"

namespace ibis {

void ExternalRules::Keyword(const KeywordLine& k) {
    if (k.id == Kw::ExternalModel) {
        open_ = Open{};
        open_.line = k.line;
        open_.keyword = "[External Model]";
    } else if (k.id == Kw::EndExternalModel || k.id == Kw::EndExternalCircuit) {
        CheckSection();
    } else if (k.id == Kw::ExternalCircuit) {
        open_ = Open{};
        open_.line = k.line;
        open_.keyword = "[External Circuit]";
        if (k.words.empty())
            c_.Add(Message::MissingValue, k.line, "[External Circuit] needs a name");
        else
            circuits_.insert(k.words[0]);
    }
}

void ExternalRules::Data(const DataLine& d) {
    if (d.id != Kw::ExternalModel && d.id != Kw::ExternalCircuit) return;
    const std::vector<std::string>& w = d.words;
    std::string sub = Lower(w[0]);
    const SubparameterDef* def = FindSubparameter(d.id, sub);
    // Ports and Parameters may run over several lines.
    const bool continued =
        def == nullptr && (open_.lastSub == "ports" || open_.lastSub == "parameters");
    if (!continued) open_.lastSub = sub;
    if (!continued && def == nullptr) {
        c_.Add(Message::UnknownSubparameter, d.line,
               "'" + w[0] + "' is none of " + SubparameterNames(d.id));
    } else if (sub == "ports" || (continued && open_.lastSub == "ports")) {
        open_.ports = true;
        for (std::size_t i = continued ? 0 : 1; i < w.size(); ++i)
            if (!open_.portNames.insert(w[i]).second)
                c_.Add(Message::ExternalPorts, d.line, "port " + w[i] + " is declared twice");
    } else if (sub == "d_to_a" || sub == "a_to_d") {
        Converter(w, d.line);
    } else if (sub == "language") {
        open_.language = true;
        if (w.size() < 2)
            c_.Add(Message::ExternalModelLanguageCorner, d.line, "Language needs a value");
        else if (!IsEnumeratedValue(*def, w[1]))
            c_.Add(Message::ExternalModelLanguageCorner, d.line,
                   "Language '" + w[1] + "' is not " + EnumeratedNames(*def));
    } else if (sub == "corner") {
        if (w.size() < 4) {
            c_.Add(Message::ExternalModelLanguageCorner, d.line,
                   "a Corner line needs corner_name, file_name and circuit_name");
        } else {
            const std::string corner = Lower(w[1]);
            if (corner != "typ" && corner != "min" && corner != "max")
                c_.Add(Message::ExternalModelLanguageCorner, d.line,
                       "corner_name '" + w[1] + "' is none of Typ, Min, Max");
            else if (!open_.corners.insert(corner).second)
                c_.Add(Message::ExternalModelLanguageCorner, d.line,
                       "corner " + w[1] + " is given twice");
        }
    }
}

void ExternalRules::Converter(const std::vector<std::string>& w, int line) {
    const bool toA = Lower(w[0]) == "d_to_a";
    const std::size_t fields = toA ? 9 : 7;
    if (w.size() != fields) {
        c_.Add(Message::ExternalPorts, line,
               toA ? "D_to_A needs d_port, port1, port2, vlow, vhigh, trise, tfall and corner_name"
                   : "A_to_D needs d_port, port1, port2, vlow, vhigh and corner_name");
        return;
    }
    for (std::size_t i = 1; i <= 3; ++i) open_.converterPorts.emplace_back(w[i], line);
    if (w[2] == w[3])
        c_.Add(Message::ExternalPorts, line,
               w[0] + ": port1 and port2 are the two ends, not one port " + w[2]);
    // An [External Model]'s digital ports are the reserved ones: D_drive,
    // D_enable and D_switch are driven (D_to_A), D_receive is received (A_to_D).
    const std::string dPort = Lower(w[1]);
    const bool reservedOk = toA ? dPort == "d_drive" || dPort == "d_enable" || dPort == "d_switch"
                                : dPort == "d_receive";
    if (open_.keyword == "[External Model]" && !reservedOk)
        c_.Add(Message::ExternalPorts, line,
               w[0] + " converts " + w[1] + "; its d_port is " +
                   (toA ? "D_drive, D_enable or D_switch" : "D_receive"));
    double level[2] = {0, 0};
    for (std::size_t i = 4; i + 1 < fields; ++i) {
        double v = 0;
        c_.NumberOrNa(w[i], line, false, &v);
        if (i < 6) level[i - 4] = v;
        if (i >= 6 && !(v > 0))
            c_.Add(Message::ExternalPorts, line, w[0] + ": trise and tfall are above zero");
    }
    if (level[0] > level[1])
        c_.Add(Message::ExternalPorts, line, w[0] + ": vlow " + w[4] + " is above vhigh " + w[5]);
    const std::string corner = Lower(w[fields - 1]);
    if (corner != "typ" && corner != "min" && corner != "max")
        c_.Add(Message::ExternalModelLanguageCorner, line,
               "corner_name '" + w[fields - 1] + "' is none of Typ, Min, Max");
}

void ExternalRules::CheckSection() {
    if (open_.line == 0) return;
    if (!open_.ports)
        c_.Add(Message::ExternalPorts, open_.line, open_.keyword + " has no Ports");
    else
        for (const auto& [port, line] : open_.converterPorts)
            if (!open_.portNames.count(port))
                c_.Add(Message::ExternalPorts, line, "port " + port + " is not in Ports");
    if (!open_.language)
        c_.Add(Message::ExternalModelLanguageCorner, open_.line,
               open_.keyword + " has no Language");
    if (!open_.corners.count("typ"))
        c_.Add(Message::ExternalModelLanguageCorner, open_.line,
               open_.keyword + " has no Corner line for Typ");
    open_ = Open{};
}

}  // namespace ibis
