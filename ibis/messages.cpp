// The checker's messages: numbers, severities and meanings, in one table.
#include "messages.h"

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
        {Message::LineTooLong, S::Error, "file",
         "a line is longer than the declared version allows (80 characters before IBIS 4.0, 120 "
         "from 4.0, 1024 from 7.0; text after the comment character does not count)"},
        {Message::NonAsciiCharacter, S::Error, "file",
         "a character outside printable ASCII (0x20 to 0x7E), tabs and line ends"},
        {Message::TabCharacter, S::Warning, "file",
         "a tab character (allowed, but better avoided)"},
        {Message::UnknownKeyword, S::Error, "file", "an unknown keyword"},
        {Message::KeywordTooNew, S::Error, "file",
         "a keyword newer than the declared IBIS version (the message names the version that "
         "introduced it)"},
        {Message::KeywordOutOfSection, S::Error, "file",
         "a keyword outside the section it belongs to, or a section a .pkg, .ebd or .ims file "
         "cannot hold"},
        {Message::KeywordRepeated, S::Error, "file",
         "a keyword, a subparameter or a [Package] row repeated where it may appear once"},
        {Message::StrayText, S::Error, "file", "text that belongs to no keyword"},
        {Message::NoEnd, S::Error, "file", "no [End] keyword"},
        {Message::TextAfterEnd, S::Warning, "file", "text after [End]"},
        {Message::NotANumber, S::Error, "file",
         "a value that is not a number (numbers may carry the scale suffixes T G M k m u n p f and "
         "a unit)"},
        {Message::MissingValue, S::Error, "file", "a keyword or subparameter without its value"},
        {Message::SectionNotClosed, S::Error, "file", "a section without its closing keyword"},
        // File header.
        {Message::NegativeValue, S::Error, "file",
         "a resistance, inductance or capacitance below zero, a load or fixture resistance "
         "that is not above zero, a time (a delay, a slew time) below zero, or a temperature "
         "below absolute zero"},
        {Message::UnknownSubparameter, S::Warning, "file",
         "a subparameter the standard does not list under its keyword ([Submodel Spec]: "
         "V_trigger_r, V_trigger_f, Off_delay; [External Model] and [External Circuit]: "
         "Language, Corner, Parameters, Ports, D_to_A, A_to_D; [Component]: Si_location, "
         "Timing_location)"},
        {Message::RequiredKeywordMissing, S::Error, "file",
         "a keyword the standard requires is missing (an .ibs file without [Component], a .pkg "
         "file without [Define Package Model], an .ebd file without [Begin Board Description], "
         "an .ims file without [Interconnect Model Set])"},
        {Message::KeywordForm, S::Error, "file",
         "a keyword out of form: its '[' not in column 1, a blank just inside its brackets, or "
         "its words parted by more than one blank or underscore"},
        {Message::TextAfterName, S::Warning, "file",
         "a second word after the name a keyword gives ([Model], [Submodel], [Model Selector], "
         "[Define Package Model], [Package Model], [External Circuit], [Test Data], [Test Load], "
         "an interconnect set or model): the name is one word, the rest is ignored; a word "
         "after a keyword that takes none ([Pulldown], [Ramp], [Model Data], a closing "
         "keyword, ...), or after the one value of a [Test Data] subparameter"},
        {Message::KeywordEmpty, S::Warning, "file",
         "a keyword whose rows are its content holds none (a pin list or mapping, a table, "
         "[Model Spec], [Receiver Thresholds], [Add Submodel], [Driver Schedule], ...): it says "
         "nothing"},
        {Message::IbisVerMissing, S::Error, "header",
         "[IBIS Ver] is missing or not the first keyword"},
        {Message::UnknownIbisVersion, S::Error, "header", "an unknown IBIS version"},
        {Message::HeaderKeywordMissing, S::Error, "header",
         "a required header keyword is missing ([File Name], [File Rev])"},
        {Message::FileNameDiffers, S::Warning, "header",
         "[File Name] differs from the file's real name (renamed after it was written)"},
        {Message::FileNameRules, S::Error, "header",
         "a file name that breaks the declared version's rules (lower case before 7.0, characters, "
         "from 7.0 64 characters for the name and 64 for its path)"},
        {Message::CommentCharInvalid, S::Error, "header",
         "[Comment Char] is not one of the allowed characters followed by _char"},
        {Message::ReferenceAboveFolder, S::Error, "header",
         "a referenced file lies above the folder of the file that names it"},
        {Message::FileNameLong, S::Warning, "header",
         "a file name longer than the declared version says it should be (8, 20 or 40 characters "
         "and a 3-character extension)"},
        {Message::FileInSubfolder, S::Warning, "header",
         "a referenced file in a folder below the referencing file's before IBIS 7.0, which "
         "keeps referenced files beside it"},
        // Component.
        {Message::ComponentName, S::Error, "component",
         "[Component] without a name, or a name used twice"},
        {Message::ComponentNoManufacturer, S::Error, "component",
         "[Component] without [Manufacturer]"},
        {Message::ComponentNoPackage, S::Error, "component",
         "[Component] without [Package] or a [Package Model]"},
        {Message::ComponentNoPin, S::Error, "component", "[Component] without [Pin]"},
        {Message::PackageIncomplete, S::Error, "component",
         "[Package] without R_pkg, L_pkg or C_pkg"},
        {Message::PinLineColumns, S::Error, "component",
         "a [Pin] line with fewer than three columns, or with columns its header does not "
         "declare; a [Pin] keyword line whose columns are not signal_name model_name, then "
         "R_pin L_pin C_pin or none"},
        {Message::PinRepeated, S::Error, "component", "a pin listed twice"},
        {Message::PinModelUnknown, S::Error, "component",
         "a [Pin] model name that names no [Model], [Model Selector] or reserved model name "
         "(POWER, GND, NC, CIRCUITCALL)"},
        {Message::DiffPinNotAPin, S::Error, "component",
         "a [Diff Pin] pin that is not a pin of the component, or a POWER, GND or NC pin"},
        {Message::DiffPinPairing, S::Error, "component",
         "a [Diff Pin] pair of one pin with itself, or a pin in two pairs"},
        {Message::DiffPinColumns, S::Error, "component",
         "a [Diff Pin] line with fewer than four columns or more than six"},
        {Message::PackageModelUnknown, S::Error, "component",
         "a [Package Model] that names no [Define Package Model] of the file or a referenced .pkg"},
        {Message::SelectorModelUnknown, S::Error, "component",
         "a [Model Selector] entry that names no [Model]"},
        {Message::PinMappingInvalid, S::Error, "component",
         "a [Pin Mapping] pin that is not a pin of the component, or a bus label used "
         "inconsistently (a signal pin's label without a POWER or GND pin; a GND pin's pullup_ref "
         "or a POWER pin's pulldown_ref not NC), or a [Pin Mapping] line whose columns are not "
         "pulldown_ref pullup_ref [gnd_clamp_ref power_clamp_ref [ext_ref]], or a row with more "
         "bus labels than that line names columns"},
        {Message::PackageModelPinsDiffer, S::Warning, "component",
         "a [Package Model]'s pins differ from the component's [Pin] list"},
        {Message::CircuitCallUnknown, S::Error, "component",
         "a [Circuit Call] that names no [External Circuit] of the file"},
        {Message::CircuitCallPin, S::Error, "component",
         "a [Circuit Call] pin that is not a pin of the component, a Port_map target that is "
         "neither a pin nor a declared node, or a Port_map port its [External Circuit] does not "
         "declare"},
        {Message::CircuitCallSignalKinds, S::Error, "component",
         "a [Circuit Call] with more than one of Signal_pin, Diff_signal_pins and Series_pins, or "
         "a subparameter without its pins"},
        {Message::NodeDeclaredTwice, S::Error, "component",
         "a node declared twice in [Node Declarations]"},
        {Message::CircuitCallUnknownSubparameter, S::Warning, "component",
         "an unknown [Circuit Call] subparameter"},
        {Message::SeriesPinMappingRow, S::Error, "component",
         "a [Series Pin Mapping] row with fewer than three columns or more than four, a pin that "
         "is not a pin of "
         "the component, a pin joined to itself, or a pair of pins joined by two rows"},
        {Message::SeriesPinMappingModel, S::Error, "component",
         "a [Series Pin Mapping] model that names no [Model] of type Series or Series_switch, "
         "nor a [Model Selector] of such models"},
        {Message::SeriesSwitchGroups, S::Error, "component",
         "a [Series Switch Groups] state that does not begin with On or Off, does not end with "
         "'/', or names a group no [Series Pin Mapping] function_table_group has; a "
         "Series_switch row without its group where the component has [Series Switch Groups], "
         "or a function_table_group in a component without [Series Switch Groups]"},
        {Message::SelectorEmpty, S::Error, "component", "a [Model Selector] that lists no model"},
        {Message::SelectorNoDescription, S::Warning, "component",
         "a [Model Selector] entry without its description"},
        {Message::PackageVariable, S::Error, "component",
         "a [Package] row that is not R_pkg, L_pkg or C_pkg"},
        {Message::NameTooLong, S::Error, "component",
         "a name longer than its column allows (a [Pin] or [Series Pin Mapping] pin 5 "
         "characters; signal and model names, [Model], [Submodel] and [Model Selector] names 20 "
         "before IBIS 4.2, 40 from it; [Component], [Manufacturer] and [Date] 40)"},
        {Message::SelectorRepeated, S::Warning, "component",
         "a [Model Selector] that lists a model twice"},
        {Message::ColumnNames, S::Warning, "component",
         "a [Diff Pin] or [Series Pin Mapping] keyword line naming its columns otherwise than "
         "inv_pin vdiff tdelay_typ tdelay_min tdelay_max, or pin_2 model_name "
         "function_table_group"},
        {Message::PinSeriesModel, S::Warning, "component",
         "a [Pin] naming a Series or Series_switch model, or a [Model Selector] that lists one "
         "(series models join two pins through [Series Pin Mapping])"},
        {Message::TrueDifferentialPins, S::Error, "component",
         "a pin of a true differential [External Model] (Ports A_signal_pos and A_signal_neg) "
         "in no [Diff Pin] pair, or a pair whose two pins name different models"},
        {Message::RepeaterPinUnknown, S::Error, "component",
         "a [Repeater Pin] pin that is not a pin of the component"},
        {Message::PackageValueBeyond, S::Warning, "component",
         "a [Package] value beyond any package, a scale factor left out (R_pkg 50 ohm, L_pkg "
         "1000 nH, C_pkg 1000 pF or more)"},
        {Message::PinValueTooWide, S::Warning, "component",
         "a [Pin] R_pin, L_pin or C_pin wider than its column's 9 characters (the value is "
         "still read)"},
        {Message::SeriesGroupUnswitched, S::Warning, "component",
         "a [Series Pin Mapping] function_table_group that no [Series Switch Groups] state "
         "names: its switches are never set"},
        // Model.
        {Message::ModelNoType, S::Error, "model", "[Model] without Model_type"},
        {Message::ModelTypeUnknown, S::Error, "model", "an unknown Model_type"},
        {Message::ModelNoCComp, S::Error, "model", "[Model] without C_comp"},
        {Message::TypicalNa, S::Error, "model",
         "a typical value NA where one is required (a scalar's typ; a table column whose first or "
         "last entry is NA while it holds data; a typ column without data; a table without "
         "rows)"},
        {Message::MinAboveMax, S::Warning, "model",
         "a minimum above the maximum where both are sizes (C_comp, [Voltage Range] magnitude, "
         "the [Package] values)"},
        {Message::DriverNoIvTables, S::Error, "model",
         "a driver without the I-V tables its Model_type needs ([Pulldown] for push-pull, open "
         "drain, open sink and ECL drivers; [Pullup] for push-pull, open source and ECL ones; "
         "none for a *_diff type its [External Model] describes)"},
        {Message::ModelNoVoltage, S::Error, "model",
         "a model without [Voltage Range], which only all four of [Pullup Reference], [Pulldown "
         "Reference], [POWER Clamp Reference] and [GND Clamp Reference] replace"},
        {Message::DriverNoRamp, S::Error, "model",
         "a driver without [Ramp] (but a *_diff type its [External Model] describes)"},
        {Message::ModelUnknownSubparameter, S::Warning, "model",
         "an unknown [Model] subparameter, or a [Model] subparameter in a [Submodel] (which "
         "gives only its Submodel_type)"},
        {Message::ModelFeatureTooNew, S::Error, "model",
         "a [Model] or [Model Spec] subparameter or a Model_type newer than the declared IBIS "
         "version (the message names the version that introduced it)"},
        {Message::SubmodelRules, S::Error, "model",
         "[Add Submodel] rows (a [Submodel] name and Driving, Non-Driving or All; an Input model's "
         "submodel is not Driving) and Submodel_type (Dynamic_clamp, Bus_hold, Fall_back)"},
        {Message::EnumeratedValue, S::Error, "model",
         "an enumerated value that is none of its values (Polarity: Inverting, Non-Inverting; "
         "Enable: Active-High, Active-Low; Test_load_type: Differential, Single_ended; "
         "Si_location and Timing_location: Die, Pin)"},
        {Message::ScheduleOrTestReference, S::Error, "model",
         "a [Driver Schedule] row, a [Test Data] Driver_model or a [Test Load] Receiver_model that "
         "names no [Model] (or a schedule naming its own model), a Test_load that names no [Test "
         "Load], or a [Test Load] or [Test Data] name defined twice"},
        {Message::ExternalModelLanguageCorner, S::Error, "model",
         "[External Model] or [External Circuit] without Language or a Typ Corner, or with a "
         "Language or corner_name that is none of its values (SPICE, VHDL-AMS, Verilog-AMS, "
         "VHDL-A(MS), Verilog-A(MS), IBIS-ISS; Typ, Min, Max)"},
        {Message::SeriesElementModelType, S::Error, "model",
         "a series element ([R Series], [L Series], [Rl Series], [C Series], [Lc Series], [Rc "
         "Series], [Series Current], [Series MOSFET]) in a model not of type Series or "
         "Series_switch; [Rl Series] without [L Series], or [Rc Series] or [Lc Series] without "
         "[C Series]"},
        {Message::SeriesSwitchStates, S::Error, "model",
         "[On] or [Off] in a model not of type Series_switch, a Series_switch model without both "
         "or with one twice, or a series element of a Series_switch model outside them"},
        {Message::SeriesMosfet, S::Error, "model",
         "[Series MOSFET] outside [On], without its Vds subparameter, or with rows that are not "
         "voltage, typ, min and max"},
        {Message::SeriesModelEmpty, S::Error, "model",
         "a Series model (or a Series_switch state) without any series element"},
        {Message::ModelName, S::Error, "model",
         "a [Model], [Submodel] or [Model Selector] named by a reserved word (POWER, GND, NC, NA, "
         "CIRCUITCALL); a [Model] defined twice or named like a [Model Selector]; a [Submodel] "
         "defined twice"},
        {Message::TerminatorKeyword, S::Error, "model",
         "[Rgnd], [Rpower], [Rac] or [Cac] in a model whose Model_type is not Terminator"},
        {Message::ThresholdOrder, S::Warning, "model",
         "Vinl not below Vinh (in a [Model] or a [Model Spec] corner), S_overshoot_low not "
         "below S_overshoot_high, or a [Receiver Thresholds] Vth outside Vth_min to Vth_max, a "
         "Vinh_ac or Vinh_dc below zero or Vinl_ac or Vinl_dc above zero (they are offsets from "
         "Vth), a Vdiff_ac or Vdiff_dc (or a [Diff Pin] vdiff) below zero, a dc level beyond its "
         "ac one, or Vcross_low "
         "above Vcross_high"},
        {Message::SpecSubparameter, S::Error, "model",
         "a [Model Spec] row without typ, min and max, a [Receiver Thresholds] value that is "
         "not a number (or a Reference_supply none of its values), [Receiver Thresholds] "
         "without Vth, or its Threshold_sensitivity without Reference_supply"},
        {Message::CompositePlace, S::Error, "model",
         "[Composite Current] not directly after a [Rising Waveform] or [Falling Waveform], or "
         "a row that is not time, typ, min and max"},
        {Message::ExternalPorts, S::Error, "model",
         "[External Model] or [External Circuit] without Ports or with a port declared twice, or a "
         "D_to_A or A_to_D line without its fields, naming an undeclared port (port1 and port2 are "
         "in Ports; an [External Circuit]'s d_port too), joining "
         "a port to itself, with vlow above vhigh, a rise or fall time not above zero, or (in an "
         "[External Model]) a d_port other than D_drive, D_enable, D_switch (D_to_A) or "
         "D_receive (A_to_D), or a D_to_A polarity that is not Non-Inverting or Inverting or "
         "not on D_drive, or an [External Model] whose Ports name no analog port for its pin "
         "(A_signal, A_signal_pos and A_signal_neg, or a series model's A_pos and A_neg)"},
        {Message::OpenDriverTable, S::Warning, "model",
         "an open drain or sink with a [Pullup], or an open source with a [Pulldown], that "
         "carries current"},
        {Message::ScheduleDelays, S::Error, "model",
         "a [Driver Schedule] row whose Rise_off_dly or Fall_off_dly is not after the on delay of "
         "the same edge"},
        {Message::ScheduleIdle, S::Warning, "model",
         "a [Driver Schedule] row whose four delays are all NA: the model it names never switches"},
        {Message::ExternalFileMissing, S::Warning, "model",
         "a file named by a Corner line of [External Model] or [External Circuit], or by an "
         "[Interconnect Model]'s File_TS or File_IBIS-ISS, that is not beside the checked file (a "
         "simulator cannot run the model without it)"},
        {Message::SpecDynamicLimits, S::Warning, "model",
         "a [Model Spec] dynamic overshoot or pulse limit given in part (D_overshoot_high or "
         "D_overshoot_low without D_overshoot_time, Pulse_high or Pulse_low without Pulse_time, "
         "or a time without its levels), or a dynamic overshoot level within the static one"},
        {Message::SeriesModelLevels, S::Warning, "model",
         "a Series or Series_switch model without C_comp, or a Series, Series_switch or "
         "Terminator model without [Voltage Range] (or its reference keywords): the standard asks "
         "them of every model, though these models use neither"},
        {Message::SubmodelTopKeyword, S::Warning, "model",
         "[Add Submodel] or [Driver Schedule] inside a [Submodel] (they belong to the "
         "top-level [Model] that adds the submodel)"},
        {Message::ScheduleNested, S::Warning, "model",
         "a [Driver Schedule] in a model that drives nothing (an Input, a Terminator, a series "
         "model), or a row naming such a model or one that has a [Driver Schedule] of its own "
         "(a schedule drives models one level down; schedules do not nest)"},
        {Message::DiffTypeWithoutExternal, S::Warning, "model",
         "a model of Model_type Input_diff, Output_diff, I/O_diff or 3-state_diff without an "
         "[External Model] (those types describe true differential buffers through one)"},
        {Message::AcTerminationPart, S::Warning, "model",
         "a keyword without the one it completes: [Rac] without [Cac] or the reverse (the AC "
         "termination is the two in series), [TTgnd] without [GND Clamp] or [TTpower] without "
         "[POWER Clamp] (the transit time of that clamp's diode), a [Test Load] Td without Zo or "
         "the reverse (its transmission line is the two)"},
        {Message::SubmodelCannotAct, S::Warning, "model",
         "a [Submodel] that cannot act as its type says: a Bus_hold or Fall_back without "
         "V_trigger_r and V_trigger_f in [Submodel Spec] (the voltages that switch it), a "
         "submodel without any I-V or pulse table, or a pulse table in a submodel not of type "
         "Dynamic_clamp"},
        {Message::InputDriverKeyword, S::Warning, "model",
         "a driver's table in a model that never drives (Input, Input_ECL, Input_diff, "
         "Terminator, Series, Series_switch) "
         "([Pulldown], [Pullup], [Ramp], a waveform, [ISSO PD], [ISSO PU])"},
        {Message::TestDriverIdle, S::Warning, "model",
         "a [Test Data] Driver_model or Driver_model_inv naming a model that never drives (an "
         "Input, a Terminator, a series model): golden waveforms are a driver's"},
        {Message::ExternalNoStimulus, S::Warning, "model",
         "an [External Model] of a driver without D_drive, or of a Series_switch without "
         "D_switch, in its Ports or as a D_to_A's d_port: nothing makes it drive or switch"},
        {Message::ConverterLanguage, S::Warning, "model",
         "a D_to_A or A_to_D in an [External Model] or [External Circuit] of Language VHDL-AMS "
         "or Verilog-AMS, which take digital ports directly (converters serve SPICE and the "
         "other analog-only languages)"},
        {Message::IvNotMonotonic, S::Warning, "model",
         "I-V voltages that turn back (no order is required, but a table should be monotonic)"},
        {Message::TablePointRepeated, S::Warning, "model",
         "a table point repeated (the same voltage or time twice)"},
        {Message::TableTooLong, S::Error, "model",
         "a table longer than its limit (100 points for I-V tables, [Series Current] and [Series "
         "MOSFET] among them, 1000 for waveforms and [Composite Current]), or of "
         "fewer than two points; more than 100 [Rising Waveform] or [Falling Waveform] tables "
         "in one model"},
        {Message::TableRowColumns, S::Error, "model",
         "a table row with the wrong number of columns, or a line of values with more than its "
         "typ, min and max (a subparameter, [Voltage Range] and the reference keywords, "
         "[Temperature Range], a [Package] or [Ramp] row) or more than its one value "
         "(Model_type, Submodel_type, R_load, a [Receiver Thresholds] value, [IBIS Ver], a "
         "package's [Number Of Pins], [Bandwidth], [Row] pin or matrix form)"},
        {Message::RampInvalid, S::Error, "model",
         "[Ramp] without dV/dt_r or dV/dt_f, or a ramp that is not V/t"},
        {Message::RampWaveformMismatch, S::Warning, "model",
         "[Ramp] and the waveform of the same edge differ by more than 10 % in 20-80 % slope"},
        {Message::WaveformTimeOrder, S::Error, "model",
         "a V-t or [Composite Current] table whose times do not increase"},
        {Message::WaveformFixture, S::Error, "model", "a waveform without R_fixture or V_fixture"},
        {Message::EdgeDirection, S::Error, "model",
         "a [Rising Waveform] whose typical voltage ends below where it starts, or a [Falling "
         "Waveform] that ends above its start (by more than 1 % of its largest level)"},
        {Message::IvCurrentSign, S::Warning, "model",
         "an I-V table of reversed sign (current into the pin is positive): a [Pulldown] or "
         "[Pullup] whose current at its highest voltage, or a [GND Clamp] or [POWER Clamp] whose "
         "current at its lowest voltage, has the wrong sign"},
        {Message::IssoSpan, S::Warning, "model",
         "[ISSO PU] without [ISSO PD] or the other way round, or an ISSO table that stops short "
         "of the typical Vcc (the tables \"span the typical -Vcc to Vcc voltages\")"},
        {Message::ExecutableLine, S::Error, "model",
         "an [Algorithmic Model] Executable line without platform_compiler_bits, executable and "
         ".ami file"},
        {Message::PlatformCompilerBits, S::Error, "model",
         "platform_compiler_bits not of the form Platform_Compiler_Bits with 32 or 64 bits"},
        {Message::ReferencedFileMissing, S::Error, "model",
         "a file named by [Algorithmic Model] that does not exist"},
        {Message::ExecutableEntryPoint, S::Error, "model",
         "an executable that lacks an AMI entry point its .ami file calls for"},
        {Message::ExecutableUnreadable, S::Caution, "model",
         "an executable this platform cannot read, or not a shared library"},
        {Message::PlatformTwice, S::Warning, "model",
         "two Executable lines of one [Algorithmic Model] for the same platform_compiler_bits"},
        {Message::AlgorithmicModelPlace, S::Error, "model",
         "[Algorithmic Model] in a [Submodel] or in a model of Model_type Terminator, Series or "
         "Series_switch (not permitted there)"},
        {Message::ModelUnused, S::Note, "model",
         "a [Model] that no [Pin] or [Model Selector] uses"},
        // Package models.
        {Message::PackageModelNotClosed, S::Error, "package",
         "[Define Package Model] without [End Package Model]"},
        {Message::PackagePinCount, S::Error, "package",
         "[Number Of Pins] differs from the pins listed in [Pin Numbers], or a pin listed there "
         "twice"},
        {Message::MatrixEntry, S::Error, "package",
         "a matrix entry outside the matrix, a row without its values (a Full_matrix row from the "
         "diagonal to the last pin, a Banded_matrix row the diagonal and its band), a [Row] "
         "repeated or missing, a Sparse_matrix entry given "
         "twice in a row, a Banded_matrix without its [Bandwidth], or a [Bandwidth] under another "
         "form"},
        {Message::MatrixForm, S::Error, "package",
         "an unknown matrix form (Banded_matrix, Sparse_matrix, Full_matrix)"},
        {Message::PackageModelIncomplete, S::Error, "package",
         "a package model without [Manufacturer], [OEM], [Number Of Pins], [Pin Numbers], "
         "[Description], [Model Data], [Inductance Matrix] or [Capacitance Matrix], or a package "
         "model name defined twice in one file"},
        {Message::PackageSection, S::Error, "package",
         "a pin's sections in [Pin Numbers] out of form (Len = x [L = x] [R = x] [C = x] / "
         "segments, each entry once; Fork ... Endfork branches; values numbers not below zero)"},
        {Message::InterconnectModel, S::Warning, "package",
         "an [Interconnect Model] without exactly one of File_TS and File_IBIS-ISS (one per corner "
         "where the lines name typ, min or max), with a Param beside File_TS or given twice, "
         "without Number_of_terminals, or with terminal lines that are not numbered 1 to "
         "Number_of_terminals once each, or of an unknown terminal type; an [Interconnect Model "
         "Set] defined twice in a file or holding two models of one name; an [Interconnect Model "
         "Group] row without the set's file (NA: this file), or naming a set or file that is not "
         "there"},
        {Message::CapacitanceCoupling, S::Warning, "package",
         "a [Capacitance Matrix] coupling entry (off the diagonal) above zero: the matrix is in "
         "Maxwell form, where coupling capacitances are negative (the first in each matrix)"},
        {Message::MatrixNotPhysical, S::Warning, "package",
         "a matrix no passive package has (the first pin in each matrix): a self inductance or "
         "capacitance of zero, an inductive coupling coefficient |Lij| / sqrt(Lii Ljj) above 1, "
         "or capacitance couplings whose magnitudes add to more than the pin's diagonal (a "
         "negative capacitance to ground)"},
        {Message::PackageSectionCount, S::Warning, "package",
         "a [Pin Numbers] pin with more sections (Len segments on its main path) than [Number Of "
         "Sections] declares"},
        // Board descriptions.
        {Message::BoardNotClosed, S::Error, "board",
         "[Begin Board Description] without [End Board Description]"},
        {Message::BoardIncomplete, S::Error, "board",
         "a board description without [Manufacturer], [Number Of Pins], [Pin List] or [Path "
         "Description], or a board name described twice in one file"},
        {Message::BoardPinCount, S::Error, "board",
         "[Number Of Pins] differs from the pins in [Pin List]"},
        {Message::BoardPin, S::Error, "board",
         "a [Pin List] pin listed twice or of more than 8 characters, a [Path Description] Pin "
         "that [Pin List] does not list, or a [Pin List] line whose column is not signal_name"},
        {Message::BoardNode, S::Error, "board",
         "a [Path Description] Node that is not reference_designator.pin, whose designator the "
         "[Reference Designator Map] does not declare, or whose pin the mapped component (when "
         "its file is read) does not have"},
        {Message::BoardPath, S::Error, "board",
         "a [Path Description] that does not begin with Pin, a segment (Len with L, R, C) "
         "without its closing '/' or with an entry twice, Fork and Endfork unbalanced, a branch "
         "that goes on after "
         "its "
         "Node, an unknown entry, a value below zero, a path name used twice, a pin that "
         "begins two paths, or a Pin that leads nowhere"},
        {Message::BoardReference, S::Error, "board",
         "a [Reference Designator Map] row that is not ref_des, file_name and component_name, a "
         "designator mapped twice, or a file that lacks the component named"},
        {Message::BoardFileMissing, S::Warning, "board",
         "a [Reference Designator Map] file that is not beside the board description"},
        {Message::BoardPinNoPath, S::Warning, "board",
         "a [Pin List] pin whose signal is not ground, power or NC (its name begins with neither "
         "GND nor POWER) that no [Path Description] begins at: the signal leads nowhere"},
        // AMI parameter files.
        {Message::AmiParse, S::Error, "ami", "the .ami file does not parse"},
        {Message::AmiRootName, S::Warning, "ami",
         "the root name differs from the .ami file's name"},
        {Message::AmiNoReserved, S::Error, "ami", "no Reserved_Parameters branch"},
        {Message::AmiReservedMissing, S::Error, "ami",
         "a reserved parameter the AMI version requires is missing (AMI_Version, "
         "Init_Returns_Impulse, GetWave_Exists)"},
        {Message::AmiDoesNothing, S::Error, "ami",
         "Init_Returns_Impulse False with GetWave_Exists False: the model can do nothing"},
        {Message::AmiUnknownReserved, S::Warning, "ami", "an unknown reserved parameter"},
        {Message::AmiUsage, S::Error, "ami",
         "a parameter without Usage, or a Usage that is not allowed for it (each reserved "
         "parameter's Usage: Info for the flags, counts and jitter, Out also for jitter and "
         "noise, and Dep wherever Out is allowed, In for DLL_Path and DLL_ID)"},
        {Message::AmiType, S::Error, "ami",
         "a parameter without Type, or an unknown Type, or a Type not allowed for it"},
        {Message::AmiFormat, S::Error, "ami",
         "a parameter without a format (Value, Range, List, Corner, Increment, Steps, Table, or a "
         "jitter format), AMI_Version in a format other than Value, or a Range, Increment or "
         "Steps whose min is above its max or whose typ lies outside them, or of a String or "
         "Boolean; Tx_Jitter and Rx_Clock_PDF in a format other than a distribution"},
        {Message::AmiValueType, S::Error, "ami",
         "a value that is not of the parameter's Type (a String's in double quotes)"},
        {Message::AmiDefaultOutside, S::Error, "ami",
         "a Default outside its Range or not in its List"},
        {Message::AmiNoModelSpecific, S::Warning, "ami", "no Model_Specific branch"},
        {Message::AmiValueCount, S::Error, "ami",
         "a format with the wrong number of values (Value one; Range and Corner three; "
         "Increment and Steps four, the step above zero, a whole number of steps; Gaussian two; "
         "Dual-Dirac and DjRj "
         "three; List one or more, and as many List_Tip entries, a List_Tip only with a List; a "
         "Table's rows as wide as its Labels), or a Usage, Type or Default of more than one "
         "value"},
        {Message::AmiDuplicate, S::Error, "ami",
         "a parameter named twice in one branch, or a Usage, Type, Default, Description, "
         "List_Tip or format given twice in one parameter"},
        {Message::AmiReservedValue, S::Error, "ami",
         "a reserved parameter's value it does not allow (AMI_Version a version of AMI; "
         "Modulation NRZ, PAM4 or PAM; Repeater_Type Redriver or Retimer; Rx_Use_Clock_Input "
         "None, Times or Wave; the counts Ignore_Bits, Max_Init_Aggressors and "
         "Modulation_Levels not below zero, Modulation_Levels two or more; jitter spreads, "
         "frequencies, Tx_V, Tx_R, Rx_R, sensitivities, noise levels and any distribution's "
         "sigma not below zero; a DjRj's minDj not above its maxDj)"},
        {Message::AmiReservedName, S::Warning, "ami",
         "a Model_Specific parameter named like a reserved parameter"},
        {Message::AmiReservedNewer, S::Warning, "ami",
         "a reserved parameter newer than the file's AMI_Version (or [IBIS Ver]), or Usage Dep "
         "(which came with AMI_Resolve in 6.1) in a file that declares an older version; "
         "Use_Init_Output in a file of 6.0 or later (BIRD120 deprecated it: the statistical and "
         "time-domain flows are independent)"},
        {Message::AmiListRepeated, S::Warning, "ami", "a List that gives a value twice"},
        {Message::AmiUnknownLeaf, S::Warning, "ami",
         "a parameter entry that is none of Usage, Type, a format, Default, Description and "
         "List_Tip"},
        {Message::AmiOffGrid, S::Warning, "ami",
         "an Increment's or Steps' typ or Default that is none of the values it offers"},
        {Message::AmiRootEntry, S::Warning, "ami",
         "an entry of the root other than Reserved_Parameters, Model_Specific and Description (a "
         "simulator looks for parameters in those two branches only)"},
        {Message::AmiOtherSide, S::Warning, "ami",
         "a receiver's reserved parameter (Rx_...) in the .ami of an output model or a "
         "repeater's Executable_Tx, or a transmitter's (Tx_...) in that of an input model or an "
         "Executable_Rx"},
        {Message::AmiRootUnnamed, S::Error, "ami",
         "a root without a name (an empty root name is not permitted from IBIS 6.1)"},
        {Message::AmiCompanion, S::Warning, "ami",
         "a parameter without the one it needs: Usage Dep without Resolve_Exists True (no "
         "AMI_Resolve sets it), Modulation PAM without Modulation_Levels, or a Modulation_Levels "
         "that NRZ (2) or PAM4 (4) contradicts"},
    };
    return table;
}

Report MakeReport(Message id, const std::string& file, int line, std::string text) {
    Report r;
    r.number = static_cast<int>(id);
    r.file = file;
    r.line = line;
    r.text = std::move(text);
    for (const MessageDef& m : MessageTable())
        if (m.id == id) r.severity = m.severity;
    return r;
}

bool ReportCap::Admit(Message id, const std::string& file) {
    if (limit_ <= 0) return true;
    const std::pair<std::string, int> key(file, static_cast<int>(id));
    if (++seen_[key] <= limit_) return true;
    Omitted& o = omitted_[key];
    if (o.count++ == 0) {
        const Report first = MakeReport(id, file, 0, "");
        o.number = first.number;
        o.severity = first.severity;
        o.file = file;
    }
    return false;
}

void ReportCap::Add(std::vector<Report>& reports, Message id, const std::string& file, int line,
                    std::string text) {
    if (Admit(id, file)) reports.push_back(MakeReport(id, file, line, std::move(text)));
}

void ReportCap::Absorb(const std::vector<Omitted>& omitted) {
    for (const Omitted& o : omitted) {
        Omitted& mine = omitted_[{o.file, o.number}];
        const int before = mine.count;
        mine = o;
        mine.count += before;
    }
}

std::vector<Omitted> ReportCap::Omissions() const {
    std::vector<Omitted> out;
    for (const auto& entry : omitted_) out.push_back(entry.second);
    return out;
}

std::string MessageTableMarkdown() {
    std::string out = "| number | severity | section | meaning |\n|---|---|---|---|\n";
    for (const MessageDef& m : MessageTable())
        out += "| " + std::to_string(static_cast<int>(m.id)) + " | " + SeverityName(m.severity) +
               " | " + m.section + " | " + m.meaning + " |\n";
    return out;
}

}  // namespace ibis
