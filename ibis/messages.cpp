// The checker's messages: numbers, severities and meanings, in one table.
#include <string>
#include <utility>

#include "ibis_check.h"

namespace ibis {

const char* SeverityName(Severity s) {
    switch (s) {
        case Severity::Error:
            return "ERROR";
        case Severity::Warning:
            return "WARNING";
        case Severity::Caution:
            return "CAUTION";
        case Severity::Note:
            return "NOTE";
    }
    return "?";
}

const std::vector<MessageDef>& MessageTable() {
    using S = Severity;
    static const std::vector<MessageDef> table = {
        // The file as text.
        {1001, S::Error, "file",
         "a line is longer than the declared version allows (80 characters before IBIS 4.0, 120 "
         "from 4.0; text after the comment character does not count)"},
        {1002, S::Error, "file",
         "a character outside printable ASCII (0x20 to 0x7E), tabs and line ends"},
        {1003, S::Warning, "file", "a tab character (allowed, but better avoided)"},
        {1004, S::Error, "file", "an unknown keyword"},
        {1005, S::Error, "file",
         "a keyword newer than the declared IBIS version (the message names the version that "
         "introduced it)"},
        {1006, S::Error, "file", "a keyword outside the section it belongs to"},
        {1007, S::Error, "file", "a keyword repeated where it may appear once"},
        {1008, S::Error, "file", "text that belongs to no keyword"},
        {1009, S::Error, "file", "no [End] keyword"},
        {1010, S::Warning, "file", "text after [End]"},
        {1011, S::Error, "file",
         "a value that is not a number (numbers may carry the scale suffixes T G M k m u n p f and "
         "a unit)"},
        {1012, S::Error, "file", "a keyword or subparameter without its value"},
        {1013, S::Error, "file", "a section without its closing keyword"},
        // File header.
        {1101, S::Error, "header", "[IBIS Ver] is missing or not the first keyword"},
        {1102, S::Error, "header", "an unknown IBIS version"},
        {1103, S::Error, "header",
         "a required header keyword is missing ([File Name], [File Rev])"},
        {1104, S::Warning, "header",
         "[File Name] differs from the file's real name (renamed after it was written)"},
        {1105, S::Error, "header",
         "a file name that breaks the declared version's rules (lower case before 7.0, characters, "
         "64 characters from 7.0)"},
        {1106, S::Error, "header",
         "[Comment Char] is not one of the allowed characters followed by _char"},
        {1107, S::Error, "header",
         "a referenced file lies above the folder of the file that names it"},
        {1108, S::Warning, "header",
         "a file name longer than the declared version says it should be (8, 20 or 40 characters "
         "and a 3-character extension)"},
        // Component.
        {2001, S::Error, "component", "[Component] without a name, or a name used twice"},
        {2002, S::Error, "component", "[Component] without [Manufacturer]"},
        {2003, S::Error, "component", "[Component] without [Package] or a [Package Model]"},
        {2004, S::Error, "component", "[Component] without [Pin]"},
        {2005, S::Error, "component", "[Package] without R_pkg, L_pkg or C_pkg"},
        {2101, S::Error, "component",
         "a [Pin] line with fewer than three columns, or with columns its header does not declare"},
        {2102, S::Error, "component", "a pin listed twice"},
        {2103, S::Error, "component",
         "a [Pin] model name that names no [Model], [Model Selector] or reserved word"},
        {2104, S::Error, "component", "a [Diff Pin] pin that is not a pin of the component"},
        {2105, S::Error, "component",
         "a [Diff Pin] pair of one pin with itself, or a pin in two pairs"},
        {2106, S::Error, "component", "a [Diff Pin] line with fewer than four columns"},
        {2107, S::Error, "component",
         "a [Package Model] that names no [Define Package Model] of the file or a referenced .pkg"},
        {2108, S::Error, "component", "a [Model Selector] entry that names no [Model]"},
        {2109, S::Error, "component",
         "a [Pin Mapping] pin that is not a pin of the component, or a bus label used "
         "inconsistently (a signal pin's label without a POWER or GND pin; a GND pin's pullup_ref "
         "or a POWER pin's pulldown_ref not NC)"},
        {2110, S::Warning, "component",
         "a [Package Model]'s pins differ from the component's [Pin] list"},
        {2111, S::Error, "component",
         "a [Circuit Call] that names no [External Circuit] of the file"},
        {2112, S::Error, "component",
         "a [Circuit Call] pin that is not a pin of the component, or a Port_map target that is "
         "neither a pin nor a declared node"},
        {2113, S::Error, "component",
         "a [Circuit Call] with more than one of Signal_pin, Diff_signal_pins and Series_pins, or "
         "a subparameter without its pins"},
        {2114, S::Error, "component", "a node declared twice in [Node Declarations]"},
        {2115, S::Warning, "component", "an unknown [Circuit Call] subparameter"},
        {2116, S::Error, "component",
         "a [Series Pin Mapping] row with fewer than three columns, or a pin that is not a pin of "
         "the component"},
        {2117, S::Error, "component",
         "a [Series Pin Mapping] model that names no [Model Selector] and no [Model] of type "
         "Series or Series_switch"},
        // Model.
        {3001, S::Error, "model", "[Model] without Model_type"},
        {3002, S::Error, "model", "an unknown Model_type"},
        {3003, S::Error, "model", "[Model] without C_comp"},
        {3004, S::Error, "model",
         "a typical value NA where one is required (a scalar's typ; a table column whose first or "
         "last entry is NA while it holds data; a typ column without data)"},
        {3005, S::Warning, "model",
         "a minimum above the maximum where both are sizes (C_comp, [Voltage Range] magnitude)"},
        {3006, S::Error, "model",
         "a driver without the I-V tables its Model_type needs ([Pulldown], [Pullup])"},
        {3007, S::Error, "model",
         "a model without [Voltage Range] or the [... Reference] keywords"},
        {3008, S::Error, "model", "a driver without [Ramp]"},
        {3009, S::Warning, "model", "an unknown [Model] subparameter"},
        {3010, S::Error, "model",
         "a [Model] or [Model Spec] subparameter or a Model_type newer than the declared IBIS "
         "version (the message names the version that introduced it)"},
        {3011, S::Error, "model",
         "[Add Submodel] rows (a [Submodel] name and Driving, Non-Driving or All; an Input model's "
         "submodel is not Driving) and Submodel_type (Dynamic_clamp, Bus_hold, Fall_back)"},
        {3012, S::Error, "model",
         "an enumerated value that is none of its values (Polarity: Inverting, Non-Inverting; "
         "Enable: Active-High, Active-Low; Test_load_type: Differential, Single_ended)"},
        {3013, S::Error, "model",
         "a [Driver Schedule] row or a [Test Data] Driver_model that names no [Model], or a "
         "Test_load "
         "that names no [Test Load]"},
        {3014, S::Error, "model",
         "[External Model] or [External Circuit] without Language or a Typ Corner, or with a "
         "Language or corner_name that is none of its values (SPICE, VHDL-AMS, Verilog-AMS, "
         "VHDL-A(MS), Verilog-A(MS), IBIS-ISS; Typ, Min, Max)"},
        {3101, S::Warning, "model",
         "I-V voltages that turn back (no order is required, but a table should be monotonic)"},
        {3102, S::Warning, "model", "a table point repeated (the same voltage or time twice)"},
        {3103, S::Error, "model",
         "a table longer than its limit (100 points for I-V tables, 1000 for waveforms)"},
        {3104, S::Error, "model", "a table row with the wrong number of columns"},
        {3105, S::Error, "model", "[Ramp] without dV/dt_r or dV/dt_f, or a ramp that is not V/t"},
        {3106, S::Warning, "model",
         "[Ramp] and the waveform of the same edge differ by more than 10 % in 20-80 % slope"},
        {3107, S::Error, "model", "a V-t table whose times do not increase"},
        {3108, S::Error, "model", "a waveform without R_fixture or V_fixture"},
        {3201, S::Error, "model",
         "an [Algorithmic Model] Executable line without platform_compiler_bits, executable and "
         ".ami file"},
        {3202, S::Error, "model",
         "platform_compiler_bits not of the form Platform_Compiler_Bits with 32 or 64 bits"},
        {3203, S::Error, "model", "a file named by [Algorithmic Model] that does not exist"},
        {3204, S::Error, "model",
         "an executable that lacks an AMI entry point its .ami file calls for"},
        {3205, S::Caution, "model",
         "an executable this platform cannot read, or not a shared library"},
        {3301, S::Note, "model", "a [Model] that no [Pin] or [Model Selector] uses"},
        // Package models.
        {4001, S::Error, "package", "[Define Package Model] without [End Package Model]"},
        {4002, S::Error, "package",
         "[Number Of Pins] differs from the pins listed in [Pin Numbers]"},
        {4003, S::Error, "package",
         "a matrix entry outside the matrix, or a row without its values"},
        {4004, S::Error, "package",
         "an unknown matrix form (Banded_matrix, Sparse_matrix, Full_matrix)"},
        {4005, S::Error, "package",
         "a package model without [Model Data], [Resistance Matrix], [Inductance Matrix] or "
         "[Capacitance Matrix]"},
        // Board descriptions.
        {5001, S::Error, "board", "[Begin Board Description] without [End Board Description]"},
        {5002, S::Error, "board",
         "a board description without [Manufacturer], [Number Of Pins], [Pin List] or [Path "
         "Description]"},
        {5003, S::Error, "board", "[Number Of Pins] differs from the pins in [Pin List]"},
        {5004, S::Error, "board",
         "a [Pin List] pin listed twice, or a [Path Description] Pin that [Pin List] does not "
         "list"},
        {5005, S::Error, "board",
         "a [Path Description] Node that is not reference_designator.pin or whose designator the "
         "[Reference Designator Map] does not declare"},
        // AMI parameter files.
        {6001, S::Error, "ami", "the .ami file does not parse"},
        {6002, S::Warning, "ami", "the root name differs from the .ami file's name"},
        {6003, S::Error, "ami", "no Reserved_Parameters branch"},
        {6004, S::Error, "ami",
         "a reserved parameter the AMI version requires is missing (AMI_Version, "
         "Init_Returns_Impulse, GetWave_Exists)"},
        {6005, S::Error, "ami",
         "Init_Returns_Impulse False with GetWave_Exists False: the model can do nothing"},
        {6006, S::Warning, "ami", "an unknown reserved parameter"},
        {6007, S::Error, "ami", "a parameter without Usage, or a Usage that is not allowed for it"},
        {6008, S::Error, "ami",
         "a parameter without Type, or an unknown Type, or a Type not allowed for it"},
        {6009, S::Error, "ami",
         "a parameter without a format (Value, Range, List, Corner, Increment, Steps, Table, or a "
         "jitter format), or AMI_Version in a format other than Value"},
        {6010, S::Error, "ami", "a value that is not of the parameter's Type"},
        {6011, S::Error, "ami", "a Default outside its Range or not in its List"},
        {6012, S::Warning, "ami", "no Model_Specific branch"},
    };
    return table;
}

Report MakeReport(int number, const std::string& file, int line, std::string text) {
    Report r;
    r.number = number;
    r.file = file;
    r.line = line;
    r.text = std::move(text);
    for (const MessageDef& m : MessageTable())
        if (m.number == number) r.severity = m.severity;
    return r;
}

std::string MessageTableMarkdown() {
    std::string out = "| number | severity | section | meaning |\n|---|---|---|---|\n";
    for (const MessageDef& m : MessageTable())
        out += "| " + std::to_string(m.number) + " | " + SeverityName(m.severity) + " | " +
               m.section + " | " + m.meaning + " |\n";
    return out;
}

}  // namespace ibis
