// The subparameters the standard lists under a keyword: for each, the keyword
// it stands under, the version that brought it, what its value is and the
// values an enumerated one takes. The rules look a subparameter up here, so
// one table says what a [Model], its [Model Spec], [Receiver Thresholds],
// waveforms and [Ramp], a [Component], a [Submodel] and an [External Model]
// or [External Circuit] may hold.
#pragma once

#include <string>
#include <vector>

#include "keywords.h"

namespace ibis {

enum class SubValue {
    Enumerated,  // one of `values`
    Number,      // one number
    TypMinMax,   // typ, min and max (min and max may be NA)
    Text,        // words the keyword's own rules read
};

enum class SubSign {
    Any,
    NotNegative,  // a size: a capacitance, an inductance, a resistance of a load model
    Positive,     // a load or fixture resistance
};

struct SubparameterDef {
    Kw owner;          // the keyword it stands under (waveforms: [Rising Waveform])
    const char* name;  // lower case, as the standard spells it
    int since;         // ten times the IBIS version that brought it; 0: with its keyword
    SubValue value;
    SubSign sign;
    const char* values;  // Enumerated: the values as the standard spells them, blank separated
};

// The subparameter `name` (any case; text from '=' on is ignored) of the
// keyword `owner`, or null when the standard lists no such subparameter
// there. [Falling Waveform] shares [Rising Waveform]'s, [Submodel] the
// [Model]'s levels and loads, [External Circuit] [External Model]'s.
const SubparameterDef* FindSubparameter(Kw owner, const std::string& name);

// Whether `value` (any case) is one of an Enumerated subparameter's values.
bool IsEnumeratedValue(const SubparameterDef& def, const std::string& value);
// Its values for messages: "Inverting or Non-Inverting".
std::string EnumeratedNames(const SubparameterDef& def);
// The same as a list, for hints.
std::vector<std::string> EnumeratedList(const SubparameterDef& def);

// The whole table, for tests that walk it.
const SubparameterDef* SubparametersBegin();
const SubparameterDef* SubparametersEnd();

// The subparameters of a keyword as the standard spells them, for messages:
// "Si_location, Timing_location".
std::string SubparameterNames(Kw owner);
// The same as a list, for hints.
std::vector<std::string> SubparameterList(Kw owner);

}  // namespace ibis
