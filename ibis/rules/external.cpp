#include "external.h"

#include "lexer.h"

namespace ibis {

void ExternalRules::Keyword(const KeywordLine& k) {
    if (k.key == "external model") {
        open_ = Open{k.line, "[External Model]", false, {}};
    } else if (k.key == "end external model" || k.key == "end external circuit") {
        CheckSection();
    } else if (k.key == "external circuit") {
        open_ = Open{k.line, "[External Circuit]", false, {}};
        if (k.words.empty())
            c_.Add(Message::MissingValue, k.line, "[External Circuit] needs a name");
        else
            circuits_.insert(k.words[0]);
    }
}

void ExternalRules::Data(const DataLine& d) {
    if (d.key != "external model" && d.key != "external circuit") return;
    const std::vector<std::string>& w = d.words;
    const std::string sub = Lower(w[0]);
    if (sub == "language") {
        open_.language = true;
        static const std::set<std::string> kLanguages = {
            "spice", "vhdl-ams", "verilog-ams", "vhdl-a(ms)", "verilog-a(ms)", "ibis-iss"};
        if (w.size() < 2 || !kLanguages.count(Lower(w[1])))
            c_.Add(Message::ExternalModelLanguageCorner, d.line,
                   "Language " + (w.size() < 2 ? std::string("needs a value") : "'" + w[1] + "'") +
                       (w.size() < 2 ? ""
                                     : " is none of SPICE, VHDL-AMS, Verilog-AMS, VHDL-A(MS), "
                                       "Verilog-A(MS), IBIS-ISS"));
    } else if (sub == "corner") {
        if (w.size() < 4) {
            c_.Add(Message::ExternalModelLanguageCorner, d.line,
                   "a Corner line needs corner_name, file_name and circuit_name");
        } else {
            const std::string corner = Lower(w[1]);
            if (corner != "typ" && corner != "min" && corner != "max")
                c_.Add(Message::ExternalModelLanguageCorner, d.line,
                       "corner_name '" + w[1] + "' is none of Typ, Min, Max");
            else
                open_.corners.insert(corner);
        }
    }
}

void ExternalRules::CheckSection() {
    if (open_.line == 0) return;
    if (!open_.language)
        c_.Add(Message::ExternalModelLanguageCorner, open_.line,
               open_.keyword + " has no Language");
    if (!open_.corners.count("typ"))
        c_.Add(Message::ExternalModelLanguageCorner, open_.line,
               open_.keyword + " has no Corner line for Typ");
    open_ = Open{};
}

}  // namespace ibis
