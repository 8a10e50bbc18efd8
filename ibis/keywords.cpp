#include "keywords.h"

#include <unordered_map>

namespace ibis {

namespace {

// name, since, where it stands, once, rules, its lines, opens, ends a section, closed by
// clang-format off
const KeywordDef kKeywords[] = {
    {"ibis ver", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {"comment char", 11, Scope::File, false, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {"file name", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {"file rev", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {"date", 11, Scope::File, true, Section::Header, Data::OneLine, Scope::None, false, nullptr},
    {"source", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {"notes", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {"disclaimer", 11, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {"copyright", 21, Scope::File, true, Section::Header, Data::Text, Scope::None, false, nullptr},
    {"end", 11, Scope::File, true, Section::Header, Data::Rows, Scope::None, false, nullptr},
    {"component", 11, Scope::File, false, Section::Component, Data::Rows, Scope::Component, false, nullptr},
    {"model", 11, Scope::File, false, Section::Model, Data::Rows, Scope::Model, false, nullptr},
    {"model selector", 32, Scope::File, false, Section::Model, Data::Rows, Scope::Selector, false, nullptr},
    {"submodel", 32, Scope::File, false, Section::Model, Data::Rows, Scope::Model, false, nullptr},
    {"define package model", 21, Scope::File, false, Section::Package, Data::Rows, Scope::Package, false, nullptr},
    {"begin board description", 32, Scope::File, false, Section::Board, Data::Rows, Scope::Board, false, nullptr},
    {"external circuit", 41, Scope::File, false, Section::External, Data::Rows, Scope::None, false, "end external circuit"},
    {"end external circuit", 41, Scope::File, false, Section::External, Data::Rows, Scope::None, false, nullptr},
    {"test data", 40, Scope::File, false, Section::References, Data::Rows, Scope::None, false, nullptr},
    {"test load", 40, Scope::File, false, Section::References, Data::Rows, Scope::None, false, nullptr},
    {"interconnect model set", 70, Scope::File, false, Section::None, Data::Rows, Scope::None, false, "end interconnect model set"},
    {"end interconnect model set", 70, Scope::File, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"interconnect model", 70, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, "end interconnect model"},
    {"end interconnect model", 70, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"manufacturer", 11, Scope::Component, true, Section::Shared, Data::OneLine, Scope::None, false, nullptr},
    {"package", 11, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {"pin", 11, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {"package model", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {"alternate package models", 40, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, "end alternate package models"},
    {"end alternate package models", 40, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"pin mapping", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {"diff pin", 21, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {"series pin mapping", 30, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, nullptr},
    {"series switch groups", 30, Scope::Component, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"node declarations", 41, Scope::Component, true, Section::Component, Data::Rows, Scope::None, false, "end node declarations"},
    {"end node declarations", 41, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"circuit call", 41, Scope::Component, false, Section::Component, Data::Rows, Scope::None, false, "end circuit call"},
    {"end circuit call", 41, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"repeater pin", 60, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"clock pins", 71, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"bus label", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, "end bus label"},
    {"end bus label", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"die supply pads", 70, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"interconnect model group", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, "end interconnect model group"},
    {"end interconnect model group", 70, Scope::Component, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"begin emi component", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, "end emi component"},
    {"pin emi", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"pin domain emi", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"end emi component", 50, Scope::Component, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"model spec", 32, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"receiver thresholds", 40, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"add submodel", 32, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"driver schedule", 32, Scope::Model, true, Section::References, Data::Rows, Scope::None, false, nullptr},
    {"temperature range", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"voltage range", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"pullup reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"pulldown reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"power clamp reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"gnd clamp reference", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"external reference", 41, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"c comp corner", 60, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"ttgnd", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"ttpower", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"pulldown", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"pullup", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"gnd clamp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"power clamp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"rgnd", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"rpower", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"rac", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"cac", 21, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"on", 30, Scope::Model, false, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"off", 30, Scope::Model, false, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"r series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"l series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"rl series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"c series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"lc series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"rc series", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"series current", 30, Scope::Model, true, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"series mosfet", 30, Scope::Model, false, Section::Series, Data::Rows, Scope::None, false, nullptr},
    {"ramp", 11, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"rising waveform", 21, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"falling waveform", 21, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"composite current", 50, Scope::Model, false, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"isso pu", 50, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"isso pd", 50, Scope::Model, true, Section::Model, Data::Rows, Scope::None, false, nullptr},
    {"algorithmic model", 50, Scope::Model, true, Section::Algorithmic, Data::Rows, Scope::None, false, nullptr},
    {"end algorithmic model", 50, Scope::Model, true, Section::Algorithmic, Data::Rows, Scope::None, false, nullptr},
    {"external model", 41, Scope::Model, true, Section::External, Data::Rows, Scope::None, false, "end external model"},
    {"end external model", 41, Scope::Model, true, Section::External, Data::Rows, Scope::None, false, nullptr},
    {"begin emi model", 50, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, "end emi model"},
    {"end emi model", 50, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"initial delay", 60, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"submodel spec", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"gnd pulse table", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"power pulse table", 32, Scope::Model, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"rising waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"falling waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"rising waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"falling waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"diff rising waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"diff falling waveform near", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"diff rising waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"diff falling waveform far", 40, Scope::Other, false, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"oem", 21, Scope::Package, true, Section::Package, Data::Text, Scope::None, false, nullptr},
    {"description", 21, Scope::Package, true, Section::Shared, Data::Text, Scope::None, false, nullptr},
    {"number of sections", 21, Scope::Package, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"number of pins", 21, Scope::Package, true, Section::Shared, Data::Rows, Scope::None, false, nullptr},
    {"pin numbers", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {"merged pins", 51, Scope::Package, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"model data", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, "end model data"},
    {"end model data", 21, Scope::Package, true, Section::None, Data::Rows, Scope::None, false, nullptr},
    {"resistance matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {"inductance matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {"capacitance matrix", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {"bandwidth", 21, Scope::Package, false, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {"row", 21, Scope::Package, false, Section::Package, Data::Rows, Scope::None, false, nullptr},
    {"end package model", 21, Scope::Package, true, Section::Package, Data::Rows, Scope::None, true, nullptr},
    {"pin list", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, false, nullptr},
    {"path description", 32, Scope::Board, false, Section::Board, Data::Rows, Scope::None, false, nullptr},
    {"reference designator map", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, false, nullptr},
    {"end board description", 32, Scope::Board, true, Section::Board, Data::Rows, Scope::None, true, nullptr},
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

const KeywordDef* KeywordsBegin() { return std::begin(kKeywords); }
const KeywordDef* KeywordsEnd() { return std::end(kKeywords); }

}  // namespace ibis
