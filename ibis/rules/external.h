// [External Model] and [External Circuit]: their Language, Corner, Ports,
// D_to_A and A_to_D lines.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "context.h"

namespace ibis {

class ExternalRules {
public:
    explicit ExternalRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);

    // The names of the file's [External Circuit]s.
    // Each [External Circuit] by name, with the ports its Ports lines declare.
    const std::map<std::string, std::set<std::string>>& Circuits() const { return circuits_; }
    // The lines of the [External Model]s of true differential buffers (Ports
    // A_signal_pos and A_signal_neg).
    const std::vector<int>& TrueDifferential() const { return trueDifferential_; }
    // Each [External Model] by line, with the digital ports it reads or
    // writes (lower case): D_... names in its Ports and its converters' d_ports.
    struct DigitalPorts {
        int line = 0;
        std::set<std::string> names;
    };
    const std::vector<DigitalPorts>& ModelDigitalPorts() const { return digital_; }

private:
    // At the closing keyword: a Language, a Typ corner and Ports were given,
    // and the converters name declared ports.
    void CheckSection();
    bool JoinsItsPin() const;
    // "D_to_A d_port port1 port2 vlow vhigh trise tfall corner_name",
    // "A_to_D d_port port1 port2 vlow vhigh corner_name".
    void Converter(const std::vector<std::string>& w, int line);
    void ConverterLevels(const std::vector<std::string>& w, std::size_t fields, int line);

    Context& c_;
    struct Open {
        int line = 0;
        Kw id = Kw::ExternalModel;
        std::string keyword;  // as the standard spells it, for messages
        bool language = false, ports = false;
        std::string languageName;  // lower case
        int converterLine = 0;     // the first D_to_A or A_to_D
        std::set<std::string> corners, portNames, parameterNames;
        std::set<std::string> digital;                            // lower case
        std::vector<std::pair<std::string, int>> converterPorts;  // checked at the end
        std::vector<std::pair<std::string, int>> converterNames;  // levels given by name
        std::string lastSub;
        std::string circuit;  // an [External Circuit]'s name
    } open_;
    std::map<std::string, std::set<std::string>> circuits_;
    std::vector<int> trueDifferential_;
    std::vector<DigitalPorts> digital_;
};

}  // namespace ibis
