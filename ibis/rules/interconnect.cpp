#include "interconnect.h"

#include "lexer.h"

namespace ibis {

void InterconnectRules::Keyword(const KeywordLine& k) {
    Close();
    if (k.id != Kw::InterconnectModel) return;
    open_.line = k.line;
    open_.name = k.words.empty() ? "" : k.words[0];
}

void InterconnectRules::Data(const DataLine& d) {
    if (open_.line == 0 || d.words.empty()) return;
    const SubparameterDef* def = FindSubparameter(Kw::InterconnectModel, d.words[0]);
    if (def == nullptr) return;  // a terminal line
    const std::string sub = Lower(def->name);
    if (sub == "file_ts") ++open_.touchstone;
    if (sub == "file_ibis-iss") ++open_.iss;
    if (sub != "param") return;
    if (open_.firstParam == 0) open_.firstParam = d.line;
    if (d.words.size() >= 2 && !open_.params.insert(d.words[1]).second)
        c_.Add(Message::InterconnectModel, d.line,
               "[Interconnect Model] " + open_.name + ": Param " + d.words[1] + " is given twice");
}

void InterconnectRules::Close() {
    if (open_.line == 0) return;
    const std::string model = "[Interconnect Model] " + open_.name;
    if (open_.touchstone + open_.iss == 0)
        c_.Add(Message::InterconnectModel, open_.line,
               model + " names no File_TS or File_IBIS-ISS");
    else if (open_.touchstone > 0 && open_.iss > 0)
        c_.Add(Message::InterconnectModel, open_.line,
               model + " names both a File_TS and a File_IBIS-ISS; it takes one");
    else if (open_.touchstone + open_.iss > 1)
        c_.Add(Message::InterconnectModel, open_.line, model + " names its model file twice");
    if (open_.touchstone > 0 && open_.firstParam != 0)
        c_.Add(Message::InterconnectModel, open_.firstParam,
               model + ": Param passes values to an IBIS-ISS subcircuit; File_TS takes none");
    open_ = Open{};
}

}  // namespace ibis
