#include "keywords.h"

#include <unordered_map>

namespace ibis {

namespace {

// id, name, since, where it stands, once, rules, its lines, opens, ends a section, closed by
// clang-format off
const KeywordDef kKeywords[] = {
    {Kw::IbisVer, "ibis ver", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {Kw::CommentChar, "comment char", 11, Scope::File, false, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {Kw::FileName, "file name", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {Kw::FileRev, "file rev", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {Kw::Date, "date", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {Kw::Source, "source", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {Kw::Notes, "notes", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {Kw::Disclaimer, "disclaimer", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {Kw::Copyright, "copyright", 21, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {Kw::End, "end", 11, Scope::File, true, Section::Header, Data::Rows, Scope::None, false, nullptr},
    {Kw::Component, "component", 11, Scope::File, false, Section::Component, Data::Rows, Scope::Component, false, nullptr},
    {Kw::Model, "model", 11, Scope::File, false, Section::Model, Data::Rows, Scope::Model, false, nullptr},
    {Kw::ModelSelector, "model selector", 32, Scope::File, false, Section::Model, Data::Rows, Scope::Selector, false, nullptr},
    {Kw::Submodel, "submodel", 32, Scope::File, false, Section::Model, Data::Rows, Scope::Model, false, nullptr},
    {Kw::DefinePackageModel, "define package model", 21, Scope::File, false, Section::Package, Data::Rows, Scope::Package, false, nullptr},
    {Kw::BeginBoardDescription, "begin board description", 32, Scope::File, false, Section::Board, Data::Rows, Scope::Board, false, nullptr},
    {Kw::ExternalCircuit, "external circuit", 41, Scope::File, false, Section::External, Data::Rows, Scope::None, false, "end external circuit"},
    {Kw::EndExternalCircuit, "end external circuit", 41, Scope::File, false, Section::External, Data::Rows, Scope::None, false, nullptr},
    {Kw::TestData, "test data", 40, Scope::File, false, Section::References, Data::Rows, Scope::None, false, nullptr},
    {Kw::TestLoad, "test load", 40, Scope::File, false, Section::References, Data::Rows, Scope::None, false, nullptr},
    {Kw::InterconnectModelSet, "interconnect model set", 70, Scope::File, false, Section::None, Data::Rows, Scope::None, false, "end interconnect model set"},
    {Kw::EndInterconnectModelSet, "end interconnect model set", 70, Scope::File, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::InterconnectModel, "interconnect model", 70, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, "end interconnect model"},
    {Kw::EndInterconnectModel, "end interconnect model", 70, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::Manufacturer, "manufacturer", 11, Scope::Component, true, Section::Shared, Data::OneLine, Scope::None, false, nullptr},
    {Kw::Package, "package", 11, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {Kw::Pin, "pin", 11, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {Kw::PackageModel, "package model", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {Kw::AlternatePackageModels, "alternate package models", 40, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, "end alternate package models"},
    {Kw::EndAlternatePackageModels, "end alternate package models", 40, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::PinMapping, "pin mapping", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {Kw::DiffPin, "diff pin", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {Kw::SeriesPinMapping, "series pin mapping", 30, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {Kw::SeriesSwitchGroups, "series switch groups", 30, Scope::Component, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::NodeDeclarations, "node declarations", 41, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, "end node declarations"},
    {Kw::EndNodeDeclarations, "end node declarations", 41, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::CircuitCall, "circuit call", 41, Scope::Component, false, Section::Component, Data::Rows, Scope::None, false, "end circuit call"},
    {Kw::EndCircuitCall, "end circuit call", 41, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::RepeaterPin, "repeater pin", 60, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::ClockPins, "clock pins", 71, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::BusLabel, "bus label", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, "end bus label"},
    {Kw::EndBusLabel, "end bus label", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::DieSupplyPads, "die supply pads", 70, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::InterconnectModelGroup, "interconnect model group", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, "end interconnect model group"},
    {Kw::EndInterconnectModelGroup, "end interconnect model group", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::BeginEmiComponent, "begin emi component", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, "end emi component"},
    {Kw::PinEmi, "pin emi", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::PinDomainEmi, "pin domain emi", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::EndEmiComponent, "end emi component", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::ModelSpec, "model spec", 32, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::ReceiverThresholds, "receiver thresholds", 40, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::AddSubmodel, "add submodel", 32, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::DriverSchedule, "driver schedule", 32, Scope::Model, true, Section::References, Data::Rows, Scope::None, false, nullptr},
    {Kw::TemperatureRange, "temperature range", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::VoltageRange, "voltage range", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::PullupReference, "pullup reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::PulldownReference, "pulldown reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::PowerClampReference, "power clamp reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::GndClampReference, "gnd clamp reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::ExternalReference, "external reference", 41, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::CCompCorner, "c comp corner", 60, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::TtGnd, "ttgnd", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::TtPower, "ttpower", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::Pulldown, "pulldown", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::Pullup, "pullup", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::GndClamp, "gnd clamp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::PowerClamp, "power clamp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::Rgnd, "rgnd", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::Rpower, "rpower", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::Rac, "rac", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::Cac, "cac", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::On, "on", 30, Scope::Model, false, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::Off, "off", 30, Scope::Model, false, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::RSeries, "r series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::LSeries, "l series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::RlSeries, "rl series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::CSeries, "c series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::LcSeries, "lc series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::RcSeries, "rc series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::SeriesCurrent, "series current", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::SeriesMosfet, "series mosfet", 30, Scope::Model, false, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {Kw::Ramp, "ramp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::RisingWaveform, "rising waveform", 21, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::FallingWaveform, "falling waveform", 21, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::CompositeCurrent, "composite current", 50, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::IssoPu, "isso pu", 50, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::IssoPd, "isso pd", 50, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {Kw::AlgorithmicModel, "algorithmic model", 50, Scope::Model, true, Section::Algorithmic, Data::Rows, Scope::None, false, nullptr},
    {Kw::EndAlgorithmicModel, "end algorithmic model", 50, Scope::Model, true, Section::Algorithmic, Data::Rows, Scope::None, false, nullptr},
    {Kw::ExternalModel, "external model", 41, Scope::Model, true, Section::External, Data::Rows, Scope::None, false, "end external model"},
    {Kw::EndExternalModel, "end external model", 41, Scope::Model, true, Section::External, Data::Rows, Scope::None, false, nullptr},
    {Kw::BeginEmiModel, "begin emi model", 50, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, "end emi model"},
    {Kw::EndEmiModel, "end emi model", 50, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::InitialDelay, "initial delay", 61, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::SubmodelSpec, "submodel spec", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::GndPulseTable, "gnd pulse table", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::PowerPulseTable, "power pulse table", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::RisingWaveformNear, "rising waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::FallingWaveformNear, "falling waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::RisingWaveformFar, "rising waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::FallingWaveformFar, "falling waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::DiffRisingWaveformNear, "diff rising waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::DiffFallingWaveformNear, "diff falling waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::DiffRisingWaveformFar, "diff rising waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::DiffFallingWaveformFar, "diff falling waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::Oem, "oem", 21, Scope::Package, true, Section::Package, Data::Text, Scope::None, false, nullptr},
    {Kw::Description, "description", 21, Scope::Package, true, Section::Shared, Data::Text, Scope::None, false, nullptr},
    {Kw::NumberOfSections, "number of sections", 21, Scope::Package, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::NumberOfPins, "number of pins", 21, Scope::Package, true, Section::Shared, Data::Rows, Scope::None, false, nullptr},
    {Kw::PinNumbers, "pin numbers", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {Kw::MergedPins, "merged pins", 51, Scope::Package, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::ModelData, "model data", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, "end model data"},
    {Kw::EndModelData, "end model data", 21, Scope::Package, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {Kw::ResistanceMatrix, "resistance matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {Kw::InductanceMatrix, "inductance matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {Kw::CapacitanceMatrix, "capacitance matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {Kw::Bandwidth, "bandwidth", 21, Scope::Package, false, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {Kw::Row, "row", 21, Scope::Package, false, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {Kw::EndPackageModel, "end package model", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, true, nullptr},
    {Kw::PinList, "pin list", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, false, nullptr},
    {Kw::PathDescription, "path description", 32, Scope::Board, false, Section::Board, Data::Rows, Scope::None, false, nullptr},
    {Kw::ReferenceDesignatorMap, "reference designator map", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, false, nullptr},
    {Kw::EndBoardDescription, "end board description", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, true, nullptr},
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

const KeywordDef& KeywordOf(Kw id) { return kKeywords[static_cast<int>(id)]; }

const KeywordDef* KeywordsBegin() { return std::begin(kKeywords); }
const KeywordDef* KeywordsEnd() { return std::end(kKeywords); }

}  // namespace ibis
