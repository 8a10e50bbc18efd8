#include "external.h"

#include <cmath>
#include <optional>

#include "lexer.h"

namespace ibis {

void ExternalRules::Keyword(const KeywordLine& k) {
    if (k.id == Kw::ExternalModel) {
        open_ = Open{};
        open_.line = k.line;
        open_.id = k.id;
        open_.keyword = "[" + std::string(KeywordOf(k.id).spelled) + "]";
    } else if (k.id == Kw::EndExternalModel || k.id == Kw::EndExternalCircuit) {
        CheckSection();
    } else if (k.id == Kw::ExternalCircuit) {
        open_ = Open{};
        open_.line = k.line;
        open_.id = k.id;
        open_.keyword = "[" + std::string(KeywordOf(k.id).spelled) + "]";
        if (k.words.empty()) {
            c_.Add(Message::MissingValue, k.line, "[External Circuit] needs a name");
        } else {
            open_.circuit = k.words[0];
            circuits_[k.words[0]];
        }
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
    } else if (sub == "parameters" || (continued && open_.lastSub == "parameters")) {
        for (std::size_t i = continued ? 0 : 1; i < w.size(); ++i)
            open_.parameterNames.insert(w[i]);
    } else if (sub == "ports" || (continued && open_.lastSub == "ports")) {
        open_.ports = true;
        for (std::size_t i = continued ? 0 : 1; i < w.size(); ++i) {
            if (!open_.portNames.insert(w[i]).second)
                c_.Add(Message::ExternalPorts, d.line, "port " + w[i] + " is declared twice");
            if (Lower(w[i]).rfind("d_", 0) == 0) open_.digital.insert(Lower(w[i]));
        }
    } else if (sub == "d_to_a" || sub == "a_to_d") {
        if (open_.converterLine == 0) open_.converterLine = d.line;
        Converter(w, d.line);
    } else if (sub == "language") {
        open_.language = true;
        if (w.size() >= 2) open_.languageName = Lower(w[1]);
        c_.TooManyValues([] { return std::string("Language"); }, w.size() - 1, 1, d.line);
        if (w.size() < 2)
            c_.Add(Message::ExternalModelLanguageCorner, d.line, "Language needs a value");
        else if (!IsEnumeratedValue(*def, w[1]))
            c_.Add(Message::ExternalModelLanguageCorner, d.line,
                   "Language '" + w[1] + "' is not " + EnumeratedNames(*def));
        else if (Lower(w[1]) == "ibis-iss")  // BIRD160.1, among 6.0's features
            c_.NewerThanDeclared("Language IBIS-ISS", 60, d.line);
    } else if (sub == "corner") {
        if (w.size() < 4) {
            c_.Add(Message::ExternalModelLanguageCorner, d.line,
                   "a Corner line needs corner_name, file_name and circuit_name");
        } else {
            c_.TooManyValues(
                [] { return std::string("Corner (corner_name, file_name and circuit_name)"); },
                w.size() - 1, 3, d.line);
            const std::string corner = Lower(w[1]);
            if (corner != "typ" && corner != "min" && corner != "max")
                c_.Add(Message::ExternalModelLanguageCorner, d.line,
                       "corner_name '" + w[1] + "' is none of Typ, Min, Max");
            else if (!open_.corners.insert(corner).second)
                c_.Add(Message::ExternalModelLanguageCorner, d.line,
                       "corner " + w[1] + " is given twice");
            // "Corner corner_name file_name circuit_name": the file beside this one.
            c_.CheckFileName(w[2], d.line);
            c_.CheckReferencedFile(w[2], d.line, Message::ExternalFileMissing);
        }
    }
}

void ExternalRules::Converter(const std::vector<std::string>& w, int line) {
    const bool toA = Lower(w[0]) == "d_to_a";
    const std::size_t fields = toA ? 9 : 7;
    // From 6.0 a D_to_A may end with its polarity (Non-Inverting or Inverting)
    // after the corner_name.
    const bool polarity = toA && w.size() == fields + 1;
    if (w.size() != fields && !polarity) {
        c_.Add(Message::ExternalPorts, line,
               toA ? "D_to_A needs d_port, port1, port2, vlow, vhigh, trise, tfall and corner_name"
                   : "A_to_D needs d_port, port1, port2, vlow, vhigh and corner_name");
        return;
    }
    // port1 and port2 are the model's analog ports, in its Ports. A d_port
    // that is one of the simulator's own digital signals (D_drive, D_enable,
    // D_switch, D_receive; [External Circuit]s "recognize" them too) is not a
    // port of the model: a SPICE model has no digital port to list it under.
    const std::string signal = Lower(w[1]);
    const bool predefined = signal == "d_drive" || signal == "d_enable" || signal == "d_switch" ||
                            signal == "d_receive";
    for (std::size_t i = predefined ? 2 : 1; i <= 3; ++i)
        open_.converterPorts.emplace_back(w[i], line);
    if (w[2] == w[3])
        c_.Add(Message::ExternalPorts, line,
               w[0] + ": port1 and port2 are the two ends, not one port " + w[2]);
    // An [External Model]'s digital ports are the reserved ones: D_drive,
    // D_enable and D_switch are driven (D_to_A), D_receive is received (A_to_D);
    // a polarity is for the D_drive converters.
    const std::string dPort = Lower(w[1]);
    open_.digital.insert(dPort);
    const bool reservedOk = toA ? dPort == "d_drive" || dPort == "d_enable" || dPort == "d_switch"
                                : dPort == "d_receive";
    if (open_.id == Kw::ExternalModel && !reservedOk)
        c_.Add(Message::ExternalPorts, line,
               w[0] + " converts " + w[1] + "; its d_port is " +
                   (toA ? "D_drive, D_enable or D_switch" : "D_receive"));
    if (polarity) {
        c_.NewerThanDeclared("a D_to_A polarity", 60, line);
        const std::string p = Lower(w.back());
        if (p != "non-inverting" && p != "inverting")
            c_.Add(Message::ExternalPorts, line,
                   "D_to_A polarity '" + w.back() + "' is not Non-Inverting or Inverting");
        if (dPort != "d_drive")
            c_.Add(Message::ExternalPorts, line, "a D_to_A polarity is for D_drive only");
    }
    ConverterLevels(w, fields, line);
    const std::string corner = Lower(w[fields - 1]);
    if (corner != "typ" && corner != "min" && corner != "max")
        c_.Add(Message::ExternalModelLanguageCorner, line,
               "corner_name '" + w[fields - 1] + "' is none of Typ, Min, Max");
}

// vlow, vhigh (and trise, tfall): numbers, or from 6.0 the names of the
// section's parameters (checked at its end); a low level below the high one,
// rise and fall times above zero.
void ExternalRules::ConverterLevels(const std::vector<std::string>& w, std::size_t fields,
                                    int line) {
    double level[2] = {NAN, NAN};
    for (std::size_t i = 4; i + 1 < fields; ++i) {
        const std::optional<double> v = Number(w[i]);
        if (!v && (c_.version == 0 || c_.version >= 60)) {
            open_.converterNames.emplace_back(w[i], line);
            continue;
        }
        if (!v) {
            c_.NumberOrNa(w[i], line, false);
            continue;
        }
        if (i < 6) level[i - 4] = *v;
        if (i >= 6 && !(*v > 0))
            c_.Add(Message::ExternalPorts, line, w[0] + ": trise and tfall are above zero");
    }
    if (level[0] > level[1])
        c_.Add(Message::ExternalPorts, line, w[0] + ": vlow " + w[4] + " is above vhigh " + w[5]);
}

// The analog port a pin connects to: A_signal; a true differential buffer's
// A_signal_pos and A_signal_neg; a series model's two ends A_pos and A_neg.
bool ExternalRules::JoinsItsPin() const {
    const auto has = [&](const char* port) { return open_.portNames.count(port) != 0; };
    return has("A_signal") || (has("A_signal_pos") && has("A_signal_neg")) ||
           (has("A_pos") && has("A_neg"));
}

void ExternalRules::CheckSection() {
    if (open_.line == 0) return;
    if (open_.id == Kw::ExternalModel && open_.portNames.count("A_signal_pos") &&
        open_.portNames.count("A_signal_neg"))
        trueDifferential_.push_back(open_.line);
    if (open_.id == Kw::ExternalModel) digital_.push_back({open_.line, open_.digital});
    for (const auto& [name, line] : open_.converterNames)
        if (!open_.parameterNames.count(name))
            c_.Add(Message::NotANumber, line,
                   "'" + name + "' is neither a number nor a parameter this " + open_.keyword +
                       " declares");
    if (!open_.ports)
        c_.Add(Message::ExternalPorts, open_.line, open_.keyword + " has no Ports");
    else if (open_.id == Kw::ExternalModel && !JoinsItsPin())
        c_.Add(Message::ExternalPorts, open_.line,
               "[External Model] Ports name no A_signal (nor A_signal_pos and A_signal_neg, nor a "
               "series model's A_pos and A_neg): nothing joins the model to its pin");
    else
        for (const auto& [port, line] : open_.converterPorts)
            if (!open_.portNames.count(port))
                c_.Add(Message::ExternalPorts, line, "port " + port + " is not in Ports");
    if (!open_.language)
        c_.Add(Message::ExternalModelLanguageCorner, open_.line,
               open_.keyword + " has no Language");
    // Converters join a simulator's digital signal to an analog-only model
    // (BIRD75.7: "A_to_D and D_to_A are restricted to SPICE only"; later the
    // other analog languages): a VHDL-AMS or Verilog-AMS model takes digital
    // ports itself.
    if (open_.converterLine != 0 &&
        (open_.languageName == "vhdl-ams" || open_.languageName == "verilog-ams"))
        c_.Add(Message::ConverterLanguage, open_.converterLine,
               "a converter in a " + open_.keyword + " of Language " + open_.languageName +
                   ", which takes digital ports directly");
    if (!open_.corners.count("typ"))
        c_.Add(Message::ExternalModelLanguageCorner, open_.line,
               open_.keyword + " has no Corner line for Typ");
    if (!open_.circuit.empty()) circuits_[open_.circuit] = open_.portNames;
    open_ = Open{};
}

}  // namespace ibis
