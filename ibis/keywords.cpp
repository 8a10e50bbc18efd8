#include "keywords.h"

#include <unordered_map>

namespace ibis {

namespace {

// id, name, as the standard spells it, since, where it stands, once, rules, its lines, opens,
// ends a section, closed by, where it is required, when (a condition its section's rules check)
// clang-format off
const KeywordDef kKeywords[] = {
    {Kw::IbisVer, "ibis ver", "IBIS Ver", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr, kInFile, nullptr},
    {Kw::CommentChar, "comment char", "Comment Char", 11, Scope::File, false, Section::Header, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::FileName, "file name", "File Name", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr, kInFile, nullptr},
    {Kw::FileRev, "file rev", "File Rev", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr, kInFile, nullptr},
    {Kw::Date, "date", "Date", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Source, "source", "Source", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Notes, "notes", "Notes", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Disclaimer, "disclaimer", "Disclaimer", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Copyright, "copyright", "Copyright", 21, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::End, "end", "End", 11, Scope::File, true, Section::Header, Data::Rows, Scope::None, false, nullptr, kInFile, nullptr},
    {Kw::Component, "component", "Component", 11, Scope::File, false, Section::Component, Data::Rows, Scope::Component, false, nullptr, kInIbs, nullptr},
    {Kw::Model, "model", "Model", 11, Scope::File, false, Section::Model, Data::Rows, Scope::Model, false, nullptr, kOptional, "for every model a [Pin], [Model Selector] or [Series Pin Mapping] row names"},
    {Kw::ModelSelector, "model selector", "Model Selector", 32, Scope::File, false, Section::Model, Data::Rows, Scope::Selector, false, nullptr, kOptional, "for every selector a [Pin] row names"},
    {Kw::Submodel, "submodel", "Submodel", 32, Scope::File, false, Section::Model, Data::Rows, Scope::Model, false, nullptr, kOptional, nullptr},
    {Kw::DefinePackageModel, "define package model", "Define Package Model", 21, Scope::File, false, Section::Package, Data::OneLine, Scope::Package, false, nullptr, kOptional, nullptr},
    {Kw::BeginBoardDescription, "begin board description", "Begin Board Description", 32, Scope::File, false, Section::Board, Data::OneLine, Scope::Board, false, nullptr, kOptional, nullptr},
    {Kw::ExternalCircuit, "external circuit", "External Circuit", 41, Scope::File, false, Section::External, Data::Rows, Scope::None, false, "end external circuit", kOptional, "for every circuit a [Circuit Call] names"},
    {Kw::EndExternalCircuit, "end external circuit", "End External Circuit", 41, Scope::File, false, Section::External, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [External Circuit]"},
    {Kw::TestData, "test data", "Test Data", 40, Scope::File, false, Section::References, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::TestLoad, "test load", "Test Load", 40, Scope::File, false, Section::References, Data::Rows, Scope::None, false, nullptr, kOptional, "for every load a [Test Data] names"},
    {Kw::InterconnectModelSet, "interconnect model set", "Interconnect Model Set", 70, Scope::File, false, Section::Interconnect, Data::Rows, Scope::None, false, "end interconnect model set", kOptional, nullptr},
    {Kw::EndInterconnectModelSet, "end interconnect model set", "End Interconnect Model Set", 70, Scope::File, false, Section::Interconnect, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Interconnect Model Set]"},
    {Kw::InterconnectModel, "interconnect model", "Interconnect Model", 70, Scope::Other, false, Section::Interconnect, Data::Rows, Scope::None, false, "end interconnect model", kOptional, nullptr},
    {Kw::EndInterconnectModel, "end interconnect model", "End Interconnect Model", 70, Scope::Other, false, Section::Interconnect, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Interconnect Model]"},
    {Kw::Manufacturer, "manufacturer", "Manufacturer", 11, Scope::Component, true, Section::Shared, Data::OneLine, Scope::None, false, nullptr, kInComponent | kInPackage | kInBoard, nullptr},
    {Kw::Package, "package", "Package", 11, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr, kOptional, "in every [Component] that names no [Package Model]"},
    {Kw::Pin, "pin", "Pin", 11, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr, kInComponent, nullptr},
    {Kw::PackageModel, "package model", "Package Model", 21, Scope::Component, true, Section::Component, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::AlternatePackageModels, "alternate package models", "Alternate Package Models", 40, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, "end alternate package models", kOptional, nullptr},
    {Kw::EndAlternatePackageModels, "end alternate package models", "End Alternate Package Models", 40, Scope::Component, true, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Alternate Package Models]"},
    {Kw::PinMapping, "pin mapping", "Pin Mapping", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::DiffPin, "diff pin", "Diff Pin", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::SeriesPinMapping, "series pin mapping", "Series Pin Mapping", 30, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::SeriesSwitchGroups, "series switch groups", "Series Switch Groups", 30, Scope::Component, true, Section::Series, Data::Rows, Scope::None, false, nullptr, kOptional, "in a [Component] with Series_switch models"},
    {Kw::NodeDeclarations, "node declarations", "Node Declarations", 41, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, "end node declarations", kOptional, nullptr},
    {Kw::EndNodeDeclarations, "end node declarations", "End Node Declarations", 41, Scope::Component, true, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Node Declarations]"},
    {Kw::CircuitCall, "circuit call", "Circuit Call", 41, Scope::Component, false, Section::Component, Data::Rows, Scope::None, false, "end circuit call", kOptional, nullptr},
    {Kw::EndCircuitCall, "end circuit call", "End Circuit Call", 41, Scope::Component, false, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Circuit Call]"},
    {Kw::RepeaterPin, "repeater pin", "Repeater Pin", 60, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::ClockPins, "clock pins", "Clock Pins", 71, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::BusLabel, "bus label", "Bus Label", 70, Scope::Component, false, Section::Component, Data::Rows, Scope::None, false, "end bus label", kOptional, nullptr},
    {Kw::EndBusLabel, "end bus label", "End Bus Label", 70, Scope::Component, false, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Bus Label]"},
    {Kw::DieSupplyPads, "die supply pads", "Die Supply Pads", 70, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::InterconnectModelGroup, "interconnect model group", "Interconnect Model Group", 70, Scope::Component, false, Section::Interconnect, Data::Rows, Scope::None, false, "end interconnect model group", kOptional, nullptr},
    {Kw::EndInterconnectModelGroup, "end interconnect model group", "End Interconnect Model Group", 70, Scope::Component, false, Section::Interconnect, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Interconnect Model Group]"},
    {Kw::BeginEmiComponent, "begin emi component", "Begin EMI Component", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, "end emi component", kOptional, nullptr},
    {Kw::PinEmi, "pin emi", "Pin EMI", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::PinDomainEmi, "pin domain emi", "Pin Domain EMI", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::EndEmiComponent, "end emi component", "End EMI Component", 50, Scope::Component, true, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Begin EMI Component]"},
    {Kw::ModelSpec, "model spec", "Model Spec", 32, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::ReceiverThresholds, "receiver thresholds", "Receiver Thresholds", 40, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::AddSubmodel, "add submodel", "Add Submodel", 32, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::DriverSchedule, "driver schedule", "Driver Schedule", 32, Scope::Model, true, Section::References, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::TemperatureRange, "temperature range", "Temperature Range", 11, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::VoltageRange, "voltage range", "Voltage Range", 11, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, "in a model without all four [... Reference] keywords it needs"},
    {Kw::PullupReference, "pullup reference", "Pullup Reference", 11, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::PulldownReference, "pulldown reference", "Pulldown Reference", 11, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::PowerClampReference, "power clamp reference", "POWER Clamp Reference", 11, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::GndClampReference, "gnd clamp reference", "GND Clamp Reference", 11, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::ExternalReference, "external reference", "External Reference", 41, Scope::Model, true, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::CCompCorner, "c comp corner", "C Comp Corner", 60, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::TtGnd, "ttgnd", "TTgnd", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::TtPower, "ttpower", "TTpower", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Pulldown, "pulldown", "Pulldown", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, "in a model whose Model_type drives low (outputs, I/Os, 3-states, open drain/sink)"},
    {Kw::Pullup, "pullup", "Pullup", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, "in a model whose Model_type drives high (outputs, I/Os, 3-states, open source)"},
    {Kw::GndClamp, "gnd clamp", "GND Clamp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::PowerClamp, "power clamp", "POWER Clamp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Rgnd, "rgnd", "Rgnd", 21, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Rpower, "rpower", "Rpower", 21, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Rac, "rac", "Rac", 21, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Cac, "cac", "Cac", 21, Scope::Model, true, Section::Model, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::On, "on", "On", 30, Scope::Model, false, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, "in a Series_switch model"},
    {Kw::Off, "off", "Off", 30, Scope::Model, false, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, "in a Series_switch model"},
    {Kw::RSeries, "r series", "R Series", 30, Scope::Model, true, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::LSeries, "l series", "L Series", 30, Scope::Model, true, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::RlSeries, "rl series", "Rl Series", 30, Scope::Model, true, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::CSeries, "c series", "C Series", 30, Scope::Model, true, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::LcSeries, "lc series", "Lc Series", 30, Scope::Model, true, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::RcSeries, "rc series", "Rc Series", 30, Scope::Model, true, Section::Series, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::SeriesCurrent, "series current", "Series Current", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::SeriesMosfet, "series mosfet", "Series MOSFET", 30, Scope::Model, false, Section::Series, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Ramp, "ramp", "Ramp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, "in a model whose Model_type drives"},
    {Kw::RisingWaveform, "rising waveform", "Rising Waveform", 21, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::FallingWaveform, "falling waveform", "Falling Waveform", 21, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::CompositeCurrent, "composite current", "Composite Current", 50, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::IssoPu, "isso pu", "ISSO PU", 50, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::IssoPd, "isso pd", "ISSO PD", 50, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::AlgorithmicModel, "algorithmic model", "Algorithmic Model", 50, Scope::Model, true, Section::Algorithmic, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::EndAlgorithmicModel, "end algorithmic model", "End Algorithmic Model", 50, Scope::Model, true, Section::Algorithmic, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Algorithmic Model]"},
    {Kw::ExternalModel, "external model", "External Model", 41, Scope::Model, true, Section::External, Data::Rows, Scope::None, false, "end external model", kOptional, nullptr},
    {Kw::EndExternalModel, "end external model", "End External Model", 41, Scope::Model, true, Section::External, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [External Model]"},
    {Kw::BeginEmiModel, "begin emi model", "Begin EMI Model", 50, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, "end emi model", kOptional, nullptr},
    {Kw::EndEmiModel, "end emi model", "End EMI Model", 50, Scope::Model, true, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Begin EMI Model]"},
    {Kw::InitialDelay, "initial delay", "Initial Delay", 61, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::SubmodelSpec, "submodel spec", "Submodel Spec", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::GndPulseTable, "gnd pulse table", "GND Pulse Table", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::PowerPulseTable, "power pulse table", "POWER Pulse Table", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::RisingWaveformNear, "rising waveform near", "Rising Waveform Near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::FallingWaveformNear, "falling waveform near", "Falling Waveform Near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::RisingWaveformFar, "rising waveform far", "Rising Waveform Far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::FallingWaveformFar, "falling waveform far", "Falling Waveform Far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::DiffRisingWaveformNear, "diff rising waveform near", "Diff Rising Waveform Near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::DiffFallingWaveformNear, "diff falling waveform near", "Diff Falling Waveform Near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::DiffRisingWaveformFar, "diff rising waveform far", "Diff Rising Waveform Far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::DiffFallingWaveformFar, "diff falling waveform far", "Diff Falling Waveform Far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::Oem, "oem", "OEM", 21, Scope::Package, true, Section::Package, Data::Text, Scope::None, false, nullptr, kInPackage, nullptr},
    {Kw::Description, "description", "Description", 21, Scope::Package, true, Section::Shared, Data::Text, Scope::None, false, nullptr, kInPackage, nullptr},
    {Kw::NumberOfSections, "number of sections", "Number Of Sections", 21, Scope::Package, true, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::NumberOfPins, "number of pins", "Number Of Pins", 21, Scope::Package, true, Section::Shared, Data::OneLine, Scope::None, false, nullptr, kInPackage | kInBoard, nullptr},
    {Kw::PinNumbers, "pin numbers", "Pin Numbers", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr, kInPackage, nullptr},
    {Kw::MergedPins, "merged pins", "Merged Pins", 51, Scope::Package, true, Section::None, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::ModelData, "model data", "Model Data", 21, Scope::Package, true, Section::Package, Data::OneLine, Scope::None, false, "end model data", kInPackage, nullptr},
    {Kw::EndModelData, "end model data", "End Model Data", 21, Scope::Package, true, Section::None, Data::OneLine, Scope::None, false, nullptr, kOptional, "after every [Model Data]"},
    {Kw::ResistanceMatrix, "resistance matrix", "Resistance Matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr, kOptional, nullptr},
    {Kw::InductanceMatrix, "inductance matrix", "Inductance Matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr, kInPackage, nullptr},
    {Kw::CapacitanceMatrix, "capacitance matrix", "Capacitance Matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr, kInPackage, nullptr},
    {Kw::Bandwidth, "bandwidth", "Bandwidth", 21, Scope::Package, false, Section::Package, Data::OneLine, Scope::None, false, nullptr, kOptional, "after a Banded_matrix"},
    {Kw::Row, "row", "Row", 21, Scope::Package, false, Section::Package, Data::Rows, Scope::None, false, nullptr, kOptional, "for every pin of a Banded_matrix or Full_matrix"},
    {Kw::EndPackageModel, "end package model", "End Package Model", 21, Scope::Package, true, Section::Package, Data::OneLine, Scope::None, true, nullptr, kOptional, "after every [Define Package Model]"},
    {Kw::PinList, "pin list", "Pin List", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, false, nullptr, kInBoard, nullptr},
    {Kw::PathDescription, "path description", "Path Description", 32, Scope::Board, false, Section::Board, Data::Rows, Scope::None, false, nullptr, kInBoard, nullptr},
    {Kw::ReferenceDesignatorMap, "reference designator map", "Reference Designator Map", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, false, nullptr, kOptional, "when a [Path Description] names a part's pin"},
    {Kw::EndBoardDescription, "end board description", "End Board Description", 32, Scope::Board, true, Section::Board, Data::OneLine, Scope::None, true, nullptr, kOptional, "after every [Begin Board Description]"},
};
// clang-format on

}  // namespace

const KeywordDef* FindKeyword(const std::string& key) {
    static const std::unordered_map<std::string, const KeywordDef*> index = [] {
        std::unordered_map<std::string, const KeywordDef*> m;
        for (const KeywordDef& k : kKeywords) m.emplace(k.name, &k);
        return m;
    }();
    const auto found = index.find(key);
    return found == index.end() ? nullptr : found->second;
}

const std::vector<std::string>& KeywordSpellings() {
    static const std::vector<std::string> kSpelled = [] {
        std::vector<std::string> out;
        for (const KeywordDef& k : kKeywords) out.emplace_back(k.spelled);
        return out;
    }();
    return kSpelled;
}

const KeywordDef& KeywordOf(Kw id) { return kKeywords[static_cast<int>(id)]; }

const KeywordDef* KeywordsBegin() { return std::begin(kKeywords); }
const KeywordDef* KeywordsEnd() { return std::end(kKeywords); }

}  // namespace ibis
