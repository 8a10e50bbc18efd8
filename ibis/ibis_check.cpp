// The .ibs, .pkg and .ebd checker: one pass over the lines, keyword by
// keyword, collecting components, models and package models, then the checks
// between sections.
#include "ibis_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "ami_check.h"

namespace fs = std::filesystem;

namespace ibis {

namespace {

// Versions as ten times their number: 1.1 -> 11, 7.2 -> 72.
const int kVersions[] = {11, 20, 21, 30, 31, 32, 40, 41, 42, 50, 51, 60, 61, 70, 71, 72};

enum class Scope { File, Component, Model, Package, Board, Selector, Other };

struct KeywordDef {
    const char* name;  // normalised: lower case, single spaces
    int since;
    Scope scope;  // where it may stand (File: anywhere at the top level)
    bool once;    // at most once in its scope
};

// The keywords, the version that introduced each, and where each belongs.
const KeywordDef kKeywords[] = {
    {"ibis ver", 11, Scope::File, true},
    {"comment char", 11, Scope::File, false},
    {"file name", 11, Scope::File, true},
    {"file rev", 11, Scope::File, true},
    {"date", 11, Scope::File, true},
    {"source", 11, Scope::File, true},
    {"notes", 11, Scope::File, true},
    {"disclaimer", 11, Scope::File, true},
    {"copyright", 21, Scope::File, true},
    {"end", 11, Scope::File, true},
    {"component", 11, Scope::File, false},
    {"model", 11, Scope::File, false},
    {"model selector", 32, Scope::File, false},
    {"submodel", 32, Scope::File, false},
    {"define package model", 21, Scope::File, false},
    {"begin board description", 32, Scope::File, false},
    {"external circuit", 41, Scope::File, false},
    {"end external circuit", 41, Scope::File, false},
    {"test data", 40, Scope::File, false},
    {"test load", 40, Scope::File, false},
    {"interconnect model set", 70, Scope::File, false},
    {"end interconnect model set", 70, Scope::File, false},
    {"interconnect model", 70, Scope::Other, false},
    {"end interconnect model", 70, Scope::Other, false},
    // Component.
    {"manufacturer", 11, Scope::Component, true},
    {"package", 11, Scope::Component, true},
    {"pin", 11, Scope::Component, true},
    {"package model", 21, Scope::Component, true},
    {"alternate package models", 40, Scope::Component, true},
    {"end alternate package models", 40, Scope::Component, true},
    {"pin mapping", 21, Scope::Component, true},
    {"diff pin", 21, Scope::Component, true},
    {"series pin mapping", 30, Scope::Component, true},
    {"series switch groups", 30, Scope::Component, true},
    {"node declarations", 41, Scope::Component, true},
    {"end node declarations", 41, Scope::Component, true},
    {"circuit call", 41, Scope::Component, false},
    {"end circuit call", 41, Scope::Component, false},
    {"repeater pin", 60, Scope::Component, true},
    {"clock pins", 71, Scope::Component, true},
    {"bus label", 70, Scope::Component, false},
    {"end bus label", 70, Scope::Component, false},
    {"die supply pads", 70, Scope::Component, true},
    {"interconnect model group", 70, Scope::Component, false},
    {"end interconnect model group", 70, Scope::Component, false},
    // Model.
    {"model spec", 32, Scope::Model, true},
    {"receiver thresholds", 40, Scope::Model, true},
    {"add submodel", 32, Scope::Model, true},
    {"driver schedule", 32, Scope::Model, true},
    {"temperature range", 11, Scope::Model, true},
    {"voltage range", 11, Scope::Model, true},
    {"pullup reference", 11, Scope::Model, true},
    {"pulldown reference", 11, Scope::Model, true},
    {"power clamp reference", 11, Scope::Model, true},
    {"gnd clamp reference", 11, Scope::Model, true},
    {"external reference", 41, Scope::Model, true},
    {"c comp corner", 60, Scope::Model, true},
    {"ttgnd", 32, Scope::Model, true},
    {"ttpower", 32, Scope::Model, true},
    {"pulldown", 11, Scope::Model, true},
    {"pullup", 11, Scope::Model, true},
    {"gnd clamp", 11, Scope::Model, true},
    {"power clamp", 11, Scope::Model, true},
    {"rgnd", 21, Scope::Model, true},
    {"rpower", 21, Scope::Model, true},
    {"rac", 21, Scope::Model, true},
    {"cac", 21, Scope::Model, true},
    {"on", 30, Scope::Model, false},
    {"off", 30, Scope::Model, false},
    {"r series", 30, Scope::Model, true},
    {"l series", 30, Scope::Model, true},
    {"rl series", 30, Scope::Model, true},
    {"c series", 30, Scope::Model, true},
    {"lc series", 30, Scope::Model, true},
    {"rc series", 30, Scope::Model, true},
    {"series current", 30, Scope::Model, true},
    {"series mosfet", 30, Scope::Model, false},
    {"ramp", 11, Scope::Model, true},
    {"rising waveform", 21, Scope::Model, false},
    {"falling waveform", 21, Scope::Model, false},
    {"composite current", 50, Scope::Model, false},
    {"isso pu", 50, Scope::Model, true},
    {"isso pd", 50, Scope::Model, true},
    {"algorithmic model", 50, Scope::Model, true},
    {"end algorithmic model", 50, Scope::Model, true},
    {"external model", 41, Scope::Model, true},
    {"end external model", 41, Scope::Model, true},
    {"initial delay", 60, Scope::Model, true},
    {"submodel spec", 32, Scope::Model, true},
    {"gnd pulse table", 32, Scope::Model, true},
    {"power pulse table", 32, Scope::Model, true},
    // The waveforms of a [Test Data] section.
    {"rising waveform near", 40, Scope::Other, false},
    {"falling waveform near", 40, Scope::Other, false},
    {"rising waveform far", 40, Scope::Other, false},
    {"falling waveform far", 40, Scope::Other, false},
    {"diff rising waveform near", 40, Scope::Other, false},
    {"diff falling waveform near", 40, Scope::Other, false},
    {"diff rising waveform far", 40, Scope::Other, false},
    {"diff falling waveform far", 40, Scope::Other, false},
    // Package models (.pkg, or [Define Package Model] in an .ibs).
    {"oem", 21, Scope::Package, true},
    {"description", 21, Scope::Package, true},
    {"number of sections", 21, Scope::Package, true},
    {"number of pins", 21, Scope::Package, true},
    {"pin numbers", 21, Scope::Package, true},
    {"model data", 21, Scope::Package, true},
    {"end model data", 21, Scope::Package, true},
    {"resistance matrix", 21, Scope::Package, true},
    {"inductance matrix", 21, Scope::Package, true},
    {"capacitance matrix", 21, Scope::Package, true},
    {"bandwidth", 21, Scope::Package, false},
    {"row", 21, Scope::Package, false},
    {"end package model", 21, Scope::Package, true},
    // Board descriptions (.ebd).
    {"pin list", 32, Scope::Board, true},
    {"end pin list", 32, Scope::Board, true},
    {"path description", 32, Scope::Board, false},
    {"reference designator map", 32, Scope::Board, true},
    {"end reference designator map", 32, Scope::Board, true},
    {"end board description", 32, Scope::Board, true},
};

const KeywordDef* FindKeyword(const std::string& name) {
    for (const KeywordDef& k : kKeywords)
        if (name == k.name) return &k;
    return nullptr;
}

std::string Normalise(const std::string& keyword) {
    std::string out;
    for (char c : keyword) {
        const char d =
            c == '_' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (d == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += d;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string VersionText(int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d", v / 10, v % 10);
    return text;
}

bool ParseVersion(const std::string& text, int& v) {
    for (int known : kVersions) {
        if (text == VersionText(known)) {
            v = known;
            return true;
        }
    }
    return false;
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        std::size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != '\t') ++j;
        words.push_back(s.substr(i, j - i));
        i = j;
    }
    return words;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A number with an optional scale suffix (T G M k m u n p f) and unit letters.
bool Number(const std::string& text, double& value) {
    if (text.empty()) return false;
    const char* begin = text.c_str();
    char* end = nullptr;
    value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value)) return false;
    if (begin[0] == 'i' || begin[0] == 'I' || begin[0] == 'n' || begin[0] == 'N' ||
        text.find("0x") != std::string::npos || text.find("0X") != std::string::npos)
        return false;
    const std::string rest = end;
    if (!rest.empty()) {
        static const std::string kScale = "TGMkmunpf";
        const std::size_t s = kScale.find(rest[0]);
        static const double kFactor[] = {1e12, 1e9, 1e6, 1e3, 1e-3, 1e-6, 1e-9, 1e-12, 1e-15};
        std::size_t unitFrom = 0;
        if (s != std::string::npos) {
            value *= kFactor[s];
            unitFrom = 1;
        }
        for (std::size_t k = unitFrom; k < rest.size(); ++k)
            if (!std::isalpha(static_cast<unsigned char>(rest[k]))) return false;
    }
    return true;
}

// Reserved words (NA, NC, POWER, GND, the matrix forms, ...) are not case
// sensitive: "the file is case-sensitive except for reserved words, keywords,
// sub-parameters and sub-parameter definitions".
bool IsNa(const std::string& s) {
    return s.size() == 2 && (s[0] == 'N' || s[0] == 'n') && (s[1] == 'A' || s[1] == 'a');
}
bool IsNc(const std::string& s) {
    return s.size() == 2 && (s[0] == 'N' || s[0] == 'n') && (s[1] == 'C' || s[1] == 'c');
}
std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The subparameters a [Model] may hold (lower case), by name. The edge-wise
// test loads (Cref_rising and the like) and Vinh+/Vinl- belong to [Model Spec].
bool KnownModelSubparameter(const std::string& name) {
    static const std::set<std::string> kNames = {"model_type",
                                                 "polarity",
                                                 "enable",
                                                 "vinl",
                                                 "vinh",
                                                 "vmeas",
                                                 "vref",
                                                 "cref",
                                                 "rref",
                                                 "c_comp",
                                                 "c_comp_pullup",
                                                 "c_comp_pulldown",
                                                 "c_comp_power_clamp",
                                                 "c_comp_gnd_clamp",
                                                 "rref_diff",
                                                 "cref_diff"};
    return kNames.count(name) > 0;
}

// The IBIS version (times ten) that introduced a [Model] subparameter or a
// Model_type: the timing test load with 2.1, the split die capacitances and
// the differential timing test load with 4.0, the differential model types
// (for [External Model]) with 4.1, the series models with 3.0 (a public 3.0
// sample of a bus switch uses them). The rest were in 1.1.
int ModelSubparameterSince(const std::string& name) {
    if (name == "vmeas" || name == "vref" || name == "cref" || name == "rref") return 21;
    if (name == "c_comp_pullup" || name == "c_comp_pulldown" || name == "c_comp_power_clamp" ||
        name == "c_comp_gnd_clamp")
        return 40;
    if (name == "rref_diff" || name == "cref_diff") return 40;
    return 0;
}

// [Model Spec] came with 3.2; its test-load subparameters with 4.0.
int ModelSpecSince(const std::string& name) {
    static const std::set<std::string> k40 = {
        "cref",         "rref",        "cref_rising",  "cref_falling", "rref_rising",
        "rref_falling", "vref_rising", "vref_falling", "vmeas_rising", "vmeas_falling"};
    return k40.count(name) ? 40 : 0;
}

int ModelTypeSince(const std::string& type) {
    if (type == "series" || type == "series_switch") return 30;
    if (type == "input_diff" || type == "output_diff" || type == "i/o_diff" ||
        type == "3-state_diff")
        return 41;
    return 0;
}

struct Table {
    int line = 0;
    std::vector<std::vector<double>> rows;  // first column, then typ (min, max when given)
    std::vector<int> rowLines;
    std::vector<std::vector<bool>> na;  // per row: NA in that column
    bool vFixture = false;              // a waveform's V_fixture given
};

struct ModelInfo {
    std::string name;
    int line = 0;
    std::string type;
    int typeLine = 0;
    bool cComp = false;
    bool voltage = false;                 // [Voltage Range] or a reference keyword
    std::map<std::string, Table> tables;  // by keyword: pulldown, pullup, ..., rising waveform
    std::vector<Table> rising, falling;
    double rampR = NAN, rampF = NAN;  // typ slopes, V/s
    int rampLine = 0;
    bool ramp = false;
    std::vector<ExecutableLine> executables;
    bool submodel = false;  // a [Submodel], not a [Model]
    std::string submodelType;
    std::vector<std::pair<std::string, int>> addSubmodels;  // [Add Submodel]: name, line
};

struct ComponentInfo {
    std::string name;
    int line = 0;
    bool manufacturer = false, package = false, pin = false;
    std::string packageModel;
    int packageModelLine = 0;
    std::map<std::string, int> pins;                     // pin name -> line
    std::vector<std::pair<std::string, int>> pinModels;  // model name, line
    std::map<std::string, std::string> pinModel;         // pin name -> model name
    // [Pin Mapping]: the bus labels of each pin, with the line.
    std::vector<std::pair<std::string, std::vector<std::string>>> mapping;
    std::vector<int> mappingLines;
    std::set<std::string> nodes;  // [Node Declarations]
    struct SeriesRow {
        std::string pin, pin2, model;
        int line = 0;
    };
    std::vector<SeriesRow> series;  // [Series Pin Mapping]
};

// A [Circuit Call]: the [External Circuit] it names and the pins and nodes its
// subparameters connect.
struct CircuitCall {
    std::size_t component = 0;
    std::string circuit;
    int line = 0;
    int pinKinds = 0;  // how many of Signal_pin, Diff_signal_pins, Series_pins
    std::vector<std::pair<std::string, int>> pins;   // must be pins of the component
    std::vector<std::pair<std::string, int>> nodes;  // pins or declared nodes
};

struct PackageInfo {
    std::string name;
    int line = 0;
    int pinCount = -1, pinCountLine = 0;
    std::vector<std::string> pins;
    std::map<std::string, int> pinIndex;  // position in `pins`, by name
    bool ended = false;
    bool matrices = false;
    bool inductance = false, capacitance = false;
};

class Checker {
public:
    Checker(std::string name, const std::string& text, Kind kind, const Options& options,
            std::string folder)
        : name_(std::move(name)),
          text_(text),
          kind_(kind),
          options_(options),
          folder_(std::move(folder)) {}
    FileResult Run();

private:
    void Add(Message id, int line, const std::string& text) {
        result_.reports.push_back(MakeReport(id, name_, line, text));
    }
    // Reports `what` when the version it needs (0: any) is above the declared one.
    void NewerThanDeclared(const std::string& what, int since, int line) {
        if (version_ != 0 && since > version_)
            Add(Message::ModelFeatureTooNew, line,
                what + " needs IBIS " + VersionText(since) + " or later; the file declares " +
                    VersionText(version_));
    }
    void Keyword(const std::string& name, const std::string& args, int line);
    void DataLine(const std::string& text, int line);
    void Finish();
    void CheckReferencedFile(const std::string& file, int line, Kind kind);
    void CheckModel(const ModelInfo& m);
    void CheckTableColumns(const Table& t, const std::string& what);
    void CheckExternal();
    void CheckBoardReferences();
    void CheckFileName(const std::string& file, int line, bool isOwn);
    void NumberOrNa(const std::string& word, int line, bool allowNa, double* out = nullptr);

    std::string name_;
    const std::string& text_;
    Kind kind_;
    Options options_;
    std::string folder_;
    FileResult result_;

    int version_ = 0;
    bool versionSeen_ = false;
    char comment_ = '|';
    std::set<std::string> testLoads_;
    struct Reference {
        std::string name;
        int line;
        char kind;  // 'M': a [Model]; 'L': a [Test Load]
    };
    std::vector<Reference> references_;
    int bandwidth_ = -1;
    std::string fileName_;
    bool fileRev_ = false, ended_ = false;
    std::string current_;  // the normalised keyword whose data lines follow
    Scope scope_ = Scope::File;
    std::set<std::string> seenInScope_;
    std::vector<ComponentInfo> components_;
    std::vector<ModelInfo> models_;
    std::map<std::string, std::vector<std::pair<std::string, int>>> selectors_;  // name -> models
    std::vector<PackageInfo> packages_;
    std::string matrixForm_;
    int boardStart_ = 0;
    bool boardEnded_ = true;
    int boardPins_ = -1, boardPinLines_ = 0, boardPinsLine_ = 0;
    bool algorithmicOpen_ = false;
    int algorithmicLine_ = 0;
    std::string selectorName_;
    int pinColumns_ = 3;
    int pinMappingColumns_ = 2;
    bool boardManufacturer_ = false, boardPinList_ = false, boardPath_ = false;
    bool waveformFixture_ = false;
    std::string rowPin_;
    int rowIndex_ = -1, rowValues_ = 0;
    std::set<std::string> packageVariables_;
    std::map<std::string, std::string> diffPartner_;
    int tabReports_ = 0;
    std::vector<CircuitCall> circuitCalls_;
    std::set<std::string> externalCircuits_;
    std::map<std::string, int> openSections_;  // opening keyword -> its line, until closed
    // [External Model] / [External Circuit]: what its Language and Corner lines gave.
    struct External {
        int line = 0;
        std::string keyword;
        bool language = false;
        std::set<std::string> corners;
    } external_;
    // A board: its [Pin List] names, the Pin and Node references of its
    // paths, and the designators of its [Reference Designator Map].
    std::set<std::string> boardPinNames_, boardDesignators_;
    std::vector<std::pair<std::string, int>> pathPins_, pathNodes_;
};

// Sections that end with a keyword of their own: the opening keyword, then
// the closing one.
const std::pair<const char*, const char*> kClosedSections[] = {
    {"circuit call", "end circuit call"},
    {"node declarations", "end node declarations"},
    {"external circuit", "end external circuit"},
    {"external model", "end external model"},
    {"interconnect model set", "end interconnect model set"},
    {"interconnect model", "end interconnect model"},
    {"interconnect model group", "end interconnect model group"},
    {"bus label", "end bus label"},
    {"alternate package models", "end alternate package models"},
    {"model data", "end model data"},
    {"pin list", "end pin list"},
    {"reference designator map", "end reference designator map"},
};

void Checker::NumberOrNa(const std::string& word, int line, bool allowNa, double* out) {
    double v = 0;
    if (allowNa && IsNa(word)) return;
    if (!Number(word, v)) {
        Add(Message::NotANumber, line, "'" + word + "' is not a number");
        return;
    }
    if (out != nullptr) *out = v;
}

void Checker::CheckFileName(const std::string& file, int line, bool isOwn) {
    const std::string base = fs::path(file).filename().string();
    const int v = version_ == 0 ? 72 : version_;
    const std::size_t dot = base.rfind('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : base.substr(dot + 1);
    std::string why;
    if (v < 70 && base != Lower(base))
        why = "IBIS " + VersionText(v) + " file names are lower case";
    // Lengths are a "should" before 7.0: a warning.
    const std::size_t stemLimit = v < 31 ? 8 : v < 42 ? 20 : v < 70 ? 40 : 64;
    if (v < 70 && (stem.size() > stemLimit || ext.size() > 3))
        Add(Message::FileNameLong, line,
            "file name '" + file + "': IBIS " + VersionText(v) +
                " file names should have at most " + std::to_string(stemLimit) +
                " characters, a period and 3 for the extension");
    if (v >= 70 && base.size() > 64) why = "a file name has at most 64 characters";
    for (char c : base) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) ||
              std::string("_^$~!#%&-{})(@'`.").find(c) != std::string::npos))
            why = std::string("the character '") + c + "' is not allowed in file names";
    }
    if (!why.empty()) Add(Message::FileNameRules, line, "file name '" + file + "': " + why);
    (void)isOwn;
}

void Checker::Keyword(const std::string& raw, const std::string& args, int line) {
    const std::string key = Normalise(raw);
    const std::vector<std::string> words = Split(args);
    const KeywordDef* def = FindKeyword(key);
    if (def == nullptr) {
        Add(Message::UnknownKeyword, line, "[" + raw + "] is not an IBIS keyword");
        current_.clear();
        return;
    }
    if (!versionSeen_ && key != "ibis ver" && kind_ != Kind::Pkg && kind_ != Kind::Ebd) {
        Add(Message::IbisVerMissing, line,
            "[IBIS Ver] must be the first keyword; found [" + raw + "]");
        versionSeen_ = true;  // reported once
    }
    if (version_ != 0 && def->since > version_) {
        Add(Message::KeywordTooNew, line,
            "[" + raw + "] needs IBIS " + VersionText(def->since) +
                " or later; the file declares " + VersionText(version_));
    }
    current_ = key;
    if (key == "interconnect model" && !openSections_.count("interconnect model set"))
        Add(Message::KeywordOutOfSection, line,
            "[" + raw + "] stands outside an [Interconnect Model Set]");
    for (const auto& [open, close] : kClosedSections) {
        if (key == open) {
            const auto earlier = openSections_.find(key);
            if (earlier != openSections_.end())
                Add(Message::SectionNotClosed, earlier->second,
                    "[" + std::string(open) + "] without [" + close + "] before the next one");
            openSections_[key] = line;
        } else if (key == close) {
            if (openSections_.erase(open) == 0)
                Add(Message::KeywordOutOfSection, line, "[" + raw + "] without [" + open + "]");
        }
    }
    // Scope changes at the keywords that open a section.
    if (key == "component") {
        scope_ = Scope::Component;
        seenInScope_.clear();
        ComponentInfo c;
        c.name = args.empty()          ? ""
                 : Split(args).empty() ? ""
                                       : args.substr(args.find_first_not_of(" \t"));
        while (!c.name.empty() && (c.name.back() == ' ' || c.name.back() == '\t'))
            c.name.pop_back();
        c.line = line;
        if (c.name.empty()) Add(Message::ComponentName, line, "[Component] needs a name");
        for (const ComponentInfo& other : components_)
            if (!c.name.empty() && other.name == c.name)
                Add(Message::ComponentName, line, "[Component] " + c.name + " is defined twice");
        components_.push_back(c);
        return;
    }
    if (key == "model" || key == "submodel") {
        // A [Submodel] is a section of its own: its tables and clamps are not the model's.
        scope_ = Scope::Model;
        seenInScope_.clear();
        ModelInfo m;
        m.name = words.empty() ? "" : words[0];
        m.line = line;
        m.submodel = key == "submodel";
        if (m.name.empty()) Add(Message::MissingValue, line, "[" + raw + "] needs a name");
        models_.push_back(m);
        return;
    }
    if (key == "model selector") {
        scope_ = Scope::Selector;
        seenInScope_.clear();
        selectors_[words.empty() ? "" : words[0]];
        selectorName_ = words.empty() ? "" : words[0];
        return;
    }
    if (key == "define package model") {
        scope_ = Scope::Package;
        seenInScope_.clear();
        PackageInfo p;
        p.name = words.empty() ? "" : words[0];
        p.line = line;
        packages_.push_back(p);
        return;
    }
    if (key == "begin board description") {
        if (!boardEnded_)
            Add(Message::BoardNotClosed, boardStart_,
                "[Begin Board Description] without [End Board Description]");
        scope_ = Scope::Board;
        seenInScope_.clear();
        boardStart_ = line;
        boardEnded_ = false;
        boardPins_ = -1;
        boardPinLines_ = 0;
        boardPinNames_.clear();
        boardDesignators_.clear();
        pathPins_.clear();
        pathNodes_.clear();
        boardManufacturer_ = boardPinList_ = boardPath_ = false;
        return;
    }
    if (key == "on" || key == "off") {
        for (const char* k : {"r series", "l series", "rl series", "c series", "lc series",
                              "rc series", "series current"})
            seenInScope_.erase(k);
    }
    if (def->scope != Scope::File && def->scope != Scope::Other) {
        const bool packageHere = def->scope == Scope::Package && scope_ == Scope::Package;
        const bool boardHere = def->scope == Scope::Board && scope_ == Scope::Board;
        const bool shared =
            key == "manufacturer" || key == "number of pins" || key == "description";
        const bool fits = def->scope == scope_ || packageHere || boardHere ||
                          (shared && (scope_ == Scope::Package || scope_ == Scope::Board ||
                                      scope_ == Scope::Component));
        if (!fits) {
            Add(Message::KeywordOutOfSection, line,
                "[" + raw + "] stands outside the section it belongs to");
        } else if (def->once && !seenInScope_.insert(key).second) {
            Add(Message::KeywordRepeated, line, "[" + raw + "] appears twice in this section");
        }
    } else if (def->once && scope_ == Scope::File) {
        if (!seenInScope_.insert(key).second)
            Add(Message::KeywordRepeated, line, "[" + raw + "] appears twice");
    }

    if (key == "ibis ver") {
        versionSeen_ = true;
        int v = 0;
        if (words.empty() || !ParseVersion(words[0], v)) {
            Add(Message::UnknownIbisVersion, line,
                "IBIS version '" + (words.empty() ? std::string() : words[0]) +
                    "' is not one of 1.1, 2.1, 3.2, 4.0, 4.1, 4.2, 5.0, 5.1, 6.0, 6.1, 7.0, 7.1, "
                    "7.2");
        } else {
            version_ = v;
        }
        if (!options_.version.empty()) {
            int forced = 0;
            if (ParseVersion(options_.version, forced)) version_ = forced;
        }
    } else if (key == "comment char") {
        static const std::string kAllowed = "!\"#$%&'()*,:;<>?@\\^`{|}~";
        if (words.empty() || words[0].size() != 6 || words[0].substr(1) != "_char" ||
            kAllowed.find(words[0][0]) == std::string::npos) {
            Add(Message::CommentCharInvalid, line,
                "[Comment Char] '" + (words.empty() ? "" : words[0]) + "' is not one of " +
                    kAllowed + " followed by _char");
        } else {
            comment_ = words[0][0];
        }
    } else if (key == "file name") {
        if (words.empty()) {
            Add(Message::MissingValue, line, "[File Name] needs a value");
        } else {
            fileName_ = words[0];
            CheckFileName(words[0], line, true);
            const std::string real = fs::path(name_).filename().string();
            if (words[0] != real)
                Add(Message::FileNameDiffers, line,
                    "[File Name] " + words[0] + " is not this file's name, " + real);
        }
    } else if (key == "file rev") {
        fileRev_ = true;
        if (words.empty()) Add(Message::MissingValue, line, "[File Rev] needs a value");
    } else if (key == "end") {
        ended_ = true;
    } else if (key == "pin list" || key == "path description") {
        (key == "pin list" ? boardPinList_ : boardPath_) = true;
    } else if (key == "manufacturer") {
        if (scope_ == Scope::Board) boardManufacturer_ = true;
        if (scope_ == Scope::Component && !components_.empty())
            components_.back().manufacturer = true;
        if (words.empty()) Add(Message::MissingValue, line, "[Manufacturer] needs a value");
    } else if (key == "package") {
        if (!components_.empty()) components_.back().package = true;
    } else if (key == "pin" && scope_ == Scope::Component && !components_.empty()) {
        components_.back().pin = true;
        pinColumns_ = 3 + static_cast<int>(words.size() >= 5 ? 3 : 0);
    } else if (key == "pin mapping") {
        pinMappingColumns_ = static_cast<int>(words.size());
    } else if (key == "package model" && scope_ == Scope::Component && !components_.empty()) {
        components_.back().packageModel = words.empty() ? "" : words[0];
        components_.back().packageModelLine = line;
        if (words.empty()) Add(Message::MissingValue, line, "[Package Model] needs a name");
    } else if (key == "c comp corner") {
        if (!models_.empty()) models_.back().cComp = true;
    } else if (key == "voltage range" || key == "pullup reference" || key == "pulldown reference" ||
               key == "power clamp reference" || key == "gnd clamp reference") {
        if (!models_.empty()) models_.back().voltage = true;
        if (key == "voltage range") {
            if (words.size() < 3)
                Add(Message::MissingValue, line, "[Voltage Range] needs typ, min and max");
            double typ = 0, mn = 0, mx = 0;
            if (!words.empty() && IsNa(words[0]))
                Add(Message::TypicalNa, line, "the typical [Voltage Range] is NA");
            if (words.size() >= 3) {
                NumberOrNa(words[0], line, false, &typ);
                NumberOrNa(words[1], line, true, &mn);
                NumberOrNa(words[2], line, true, &mx);
            }
        }
    } else if (key == "pulldown" || key == "pullup" || key == "gnd clamp" || key == "power clamp" ||
               key == "rising waveform" || key == "falling waveform") {
        if (!models_.empty()) {
            Table t;
            t.line = line;
            if (key == "rising waveform") {
                models_.back().rising.push_back(t);
            } else if (key == "falling waveform") {
                models_.back().falling.push_back(t);
            } else {
                models_.back().tables[key] = t;
            }
            waveformFixture_ = false;
        }
    } else if (key == "ramp") {
        if (!models_.empty()) {
            models_.back().ramp = true;
            models_.back().rampLine = line;
        }
    } else if (key == "external model") {
        external_ = External{line, "[External Model]", false, {}};
    } else if (key == "end external model" || key == "end external circuit") {
        CheckExternal();
    } else if (key == "external circuit") {
        external_ = External{line, "[External Circuit]", false, {}};
        if (words.empty())
            Add(Message::MissingValue, line, "[External Circuit] needs a name");
        else
            externalCircuits_.insert(words[0]);
    } else if (key == "circuit call" && scope_ == Scope::Component && !components_.empty()) {
        CircuitCall call;
        call.component = components_.size() - 1;
        call.circuit = words.empty() ? "" : words[0];
        call.line = line;
        if (words.empty())
            Add(Message::MissingValue, line,
                "[Circuit Call] needs the name of an [External Circuit]");
        circuitCalls_.push_back(call);
    } else if (key == "algorithmic model") {
        algorithmicOpen_ = true;
        algorithmicLine_ = line;
    } else if (key == "end algorithmic model") {
        if (!algorithmicOpen_)
            Add(Message::KeywordOutOfSection, line,
                "[End Algorithmic Model] without [Algorithmic Model]");
        algorithmicOpen_ = false;
    } else if (key == "number of pins") {
        int n = words.empty() ? -1 : std::atoi(words[0].c_str());
        if (words.empty() || n < 0)
            Add(Message::MissingValue, line, "[Number Of Pins] needs a count");
        if (scope_ == Scope::Package && !packages_.empty()) {
            packages_.back().pinCount = n;
            packages_.back().pinCountLine = line;
        } else if (scope_ == Scope::Board) {
            boardPins_ = n;
            boardPinsLine_ = line;
        }
    } else if (key == "resistance matrix" || key == "inductance matrix" ||
               key == "capacitance matrix") {
        if (!packages_.empty()) {
            packages_.back().matrices = true;
            if (key == "inductance matrix") packages_.back().inductance = true;
            if (key == "capacitance matrix") packages_.back().capacitance = true;
        }
        const std::string form = words.empty() ? "" : Lower(words[0]);
        matrixForm_ = form == "banded_matrix"   ? "Banded_matrix"
                      : form == "sparse_matrix" ? "Sparse_matrix"
                      : form == "full_matrix"   ? "Full_matrix"
                                                : (words.empty() ? "" : words[0]);
        if (matrixForm_ != "Banded_matrix" && matrixForm_ != "Sparse_matrix" &&
            matrixForm_ != "Full_matrix")
            Add(Message::MatrixForm, line,
                "[" + raw + "] form '" + matrixForm_ +
                    "' is not Banded_matrix, Sparse_matrix or Full_matrix");
    } else if (key == "model data") {
        if (!packages_.empty()) packages_.back().matrices = true;
    } else if (key == "test load") {
        if (words.empty())
            Add(Message::MissingValue, line, "[Test Load] needs a name");
        else
            testLoads_.insert(words[0]);
    } else if (key == "bandwidth") {
        bandwidth_ = words.empty() ? -1 : std::atoi(words[0].c_str());
        if (words.empty() || bandwidth_ < 0)
            Add(Message::MissingValue, line, "[Bandwidth] needs a count");
    } else if (key == "row") {
        rowPin_ = words.empty() ? "" : words[0];
        rowIndex_ = -1;
        if (!packages_.empty()) {
            const auto& index = packages_.back().pinIndex;
            const auto at = index.find(rowPin_);
            if (at == index.end()) {
                Add(Message::MatrixEntry, line, "[Row] " + rowPin_ + " is not in [Pin Numbers]");
            } else {
                rowIndex_ = at->second;
            }
        }
        rowValues_ = 0;
    } else if (key == "end package model") {
        if (!packages_.empty()) packages_.back().ended = true;
        scope_ = Scope::File;
    } else if (key == "end board description") {
        boardEnded_ = true;
        CheckBoardReferences();
        if (!boardManufacturer_ || boardPins_ < 0 || !boardPinList_ || !boardPath_)
            Add(Message::BoardIncomplete, boardStart_,
                "the board description lacks " + std::string(!boardManufacturer_ ? "[Manufacturer]"
                                                             : boardPins_ < 0 ? "[Number Of Pins]"
                                                             : !boardPinList_
                                                                 ? "[Pin List]"
                                                                 : "[Path Description]"));
        if (boardPins_ >= 0 && boardPinLines_ != boardPins_)
            Add(Message::BoardPinCount, boardPinsLine_,
                "[Number Of Pins] " + std::to_string(boardPins_) + ", but [Pin List] lists " +
                    std::to_string(boardPinLines_));
        scope_ = Scope::File;
    }
}

void Checker::DataLine(const std::string& text, int line) {
    const std::vector<std::string> w = Split(text);
    if (w.empty()) return;
    const std::string& k = current_;
    if (k.empty()) {
        Add(Message::StrayText, line, "'" + text.substr(0, 40) + "' belongs to no keyword");
        return;
    }
    // Text keywords that may continue over several lines.
    if (k == "notes" || k == "disclaimer" || k == "copyright" || k == "source" ||
        k == "description" || k == "oem") {
        return;
    }
    if (k == "end") {
        Add(Message::TextAfterEnd, line, "text after [End] is ignored");
        return;
    }
    if (k == "date" || k == "file rev" || k == "manufacturer" || k == "file name" ||
        k == "ibis ver" || k == "comment char") {
        Add(Message::StrayText, line,
            "'" + text.substr(0, 40) + "' belongs to no keyword ([" + k + "] takes one line)");
        return;
    }
    if (k == "pin" && scope_ == Scope::Component && !components_.empty()) {
        ComponentInfo& c = components_.back();
        if (w.size() < 3 || (w.size() != 3 && static_cast<int>(w.size()) != pinColumns_)) {
            Add(Message::PinLineColumns, line,
                "a [Pin] line needs pin, signal and model" +
                    std::string(pinColumns_ == 6 ? " (and R_pin, L_pin, C_pin)" : ""));
            return;
        }
        if (!c.pins.emplace(w[0], line).second)
            Add(Message::PinRepeated, line, "pin " + w[0] + " is listed twice");
        static const std::set<std::string> kReservedModels = {"POWER", "GND", "NC", "NA",
                                                              "CIRCUITCALL"};
        const std::string model = kReservedModels.count(Upper(w[2])) ? Upper(w[2]) : w[2];
        c.pinModels.emplace_back(model, line);
        c.pinModel[w[0]] = model;
        for (std::size_t i = 3; i < w.size(); ++i) NumberOrNa(w[i], line, true);
        return;
    }
    if (k == "package" && !components_.empty()) {
        if (w.size() < 4) {
            Add(Message::TableRowColumns, line,
                "a [Package] line needs variable, typ, min and max");
            return;
        }
        packageVariables_.insert(components_.back().name + "\n" + w[0]);
        if (IsNa(w[1])) Add(Message::TypicalNa, line, "the typical " + w[0] + " is NA");
        for (std::size_t i = 1; i < 4; ++i) NumberOrNa(w[i], line, i > 1);
        return;
    }
    if (k == "diff pin" && !components_.empty()) {
        ComponentInfo& c = components_.back();
        if (w.size() < 4) {
            Add(Message::DiffPinColumns, line,
                "a [Diff Pin] line needs pin, inv_pin, vdiff and tdelay_typ");
            return;
        }
        for (int i = 0; i < 2; ++i)
            if (!c.pins.count(w[static_cast<std::size_t>(i)]))
                Add(Message::DiffPinNotAPin, line,
                    "[Diff Pin] " + w[static_cast<std::size_t>(i)] +
                        " is not a pin of [Component] " + c.name);
        if (w[0] == w[1])
            Add(Message::DiffPinPairing, line, "[Diff Pin] pairs pin " + w[0] + " with itself");
        for (int i = 0; i < 2; ++i) {
            const std::string& p = w[static_cast<std::size_t>(i)];
            if (diffPartner_.count(c.name + "\n" + p))
                Add(Message::DiffPinPairing, line, "pin " + p + " is in two [Diff Pin] pairs");
            diffPartner_[c.name + "\n" + p] = w[static_cast<std::size_t>(1 - i)];
        }
        // "If NA is entered in the vdiff, tdelay_typ, or tdelay_min columns,
        // its entry is interpreted as 0 V or 0 ns" (4.1; from 4.2 a vdiff of
        // NA means 200 mV): NA is allowed in every column.
        for (std::size_t i = 2; i < w.size(); ++i) NumberOrNa(w[i], line, true);
        return;
    }
    if (k == "series pin mapping" && !components_.empty()) {
        if (w.size() < 3) {
            Add(Message::SeriesPinMappingRow, line,
                "a [Series Pin Mapping] row needs pin, pin_2 and model_name");
            return;
        }
        components_.back().series.push_back({w[0], w[1], w[2], line});
        return;
    }
    if (k == "node declarations" && !components_.empty()) {
        for (const std::string& node : w)
            if (!components_.back().nodes.insert(node).second)
                Add(Message::NodeDeclaredTwice, line,
                    "node " + node + " is declared twice in [Component] " +
                        components_.back().name);
        return;
    }
    if (k == "circuit call" && !circuitCalls_.empty()) {
        CircuitCall& call = circuitCalls_.back();
        const std::string sub = Lower(w[0]);
        const std::size_t pins = sub == "signal_pin"                                 ? 1
                                 : sub == "diff_signal_pins" || sub == "series_pins" ? 2
                                                                                     : 0;
        if (pins > 0) {
            if (++call.pinKinds == 2)
                Add(Message::CircuitCallSignalKinds, line,
                    "a [Circuit Call] takes one of Signal_pin, Diff_signal_pins and Series_pins");
            if (w.size() != pins + 1)
                Add(Message::CircuitCallSignalKinds, line,
                    w[0] + " needs " + (pins == 1 ? "one pin" : "two pins"));
            for (std::size_t i = 1; i < w.size() && i <= pins; ++i)
                call.pins.emplace_back(w[i], line);
        } else if (sub == "port_map") {
            if (w.size() < 3)
                Add(Message::CircuitCallSignalKinds, line,
                    "Port_map needs a port and the pin or node it connects");
            // A plain "Port_map port node" line; longer or dotted forms name
            // model terminals and are left to the tools.
            if (w.size() == 3 && w[2].find('.') == std::string::npos)
                call.nodes.emplace_back(w[2], line);
        } else if (sub != "parameters" && sub != "converter_parameters") {
            Add(Message::CircuitCallUnknownSubparameter, line,
                "'" + w[0] + "' is not a [Circuit Call] subparameter");
        }
        return;
    }
    if (k == "pin mapping" && !components_.empty()) {
        if (!components_.back().pins.count(w[0]))
            Add(Message::PinMappingInvalid, line,
                "[Pin Mapping] " + w[0] + " is not a pin of [Component] " +
                    components_.back().name);
        std::vector<std::string> labels(w.begin() + 1, w.end());
        for (std::string& label : labels)
            if (IsNc(label)) label = "NC";
        components_.back().mapping.emplace_back(w[0], labels);
        components_.back().mappingLines.push_back(line);
        // "Each line must contain either three, five or six entries."
        if (w.size() != 3 && w.size() != 5 && w.size() != 6)
            Add(Message::PinMappingInvalid, line,
                "[Pin Mapping] " + w[0] + " gives " + std::to_string(w.size() - 1) +
                    " bus labels; a row holds the pin and two, four or five of them");
        for (const std::string& label : labels)
            if (label.size() > 15)
                Add(Message::PinMappingInvalid, line,
                    "[Pin Mapping] bus label " + label + " is longer than 15 characters");
        return;
    }
    if (k == "test load" && w.size() >= 2 && Lower(w[0]) == "test_load_type") {
        if (Lower(w[1]) != "differential" && Lower(w[1]) != "single_ended")
            Add(Message::EnumeratedValue, line,
                "Test_load_type '" + w[1] + "' is not Differential or Single_ended");
        return;
    }
    if (k == "test data" && w.size() >= 2) {
        // The model and the test load a [Test Data] names, checked once all are read.
        const std::string sub = Lower(w[0]);
        if (sub == "driver_model" || sub == "driver_model_inv")
            references_.push_back({w[1], line, 'M'});
        if (sub == "test_load") references_.push_back({w[1], line, 'L'});
        return;
    }
    if (k == "driver schedule" && !w.empty() && Lower(w[0]) != "model_name") {
        references_.push_back({w[0], line, 'M'});
        return;
    }
    if (k == "model selector") {
        selectors_[selectorName_].emplace_back(w[0], line);
        return;
    }
    if (k == "model spec") {
        NewerThanDeclared("the [Model Spec] subparameter " + w[0], ModelSpecSince(Lower(w[0])),
                          line);
        return;
    }
    if (k == "add submodel" && !models_.empty()) {
        // submodel_name and mode: Driving, Non-Driving or All.
        if (w.size() != 2) {
            Add(Message::SubmodelRules, line,
                "an [Add Submodel] row needs a submodel name and a mode");
            return;
        }
        const std::string mode = Lower(w[1]);
        if (mode != "driving" && mode != "non-driving" && mode != "all")
            Add(Message::SubmodelRules, line,
                "[Add Submodel] mode '" + w[1] + "' is not Driving, Non-Driving or All");
        if (mode == "driving" && Lower(models_.back().type) == "input")
            Add(Message::SubmodelRules, line,
                "an Input model's submodel " + w[0] + " cannot be Driving");
        models_.back().addSubmodels.emplace_back(w[0], line);
        return;
    }
    if (k == "submodel" && !models_.empty() && models_.back().submodel) {
        ModelInfo& m = models_.back();
        if (Lower(w[0]) == "submodel_type") {
            m.submodelType = w.size() > 1 ? w[1] : "";
            m.typeLine = line;
            static const std::set<std::string> kSubmodelTypes = {"dynamic_clamp", "bus_hold",
                                                                 "fall_back"};
            if (!kSubmodelTypes.count(Lower(m.submodelType)))
                Add(Message::SubmodelRules, line,
                    "Submodel_type '" + m.submodelType +
                        "' is not Dynamic_clamp, Bus_hold or Fall_back");
        } else if (!KnownModelSubparameter(Lower(w[0]).substr(0, Lower(w[0]).find('=')))) {
            Add(Message::ModelUnknownSubparameter, line,
                "'" + w[0] + "' is not a [Submodel] subparameter");
        }
        return;
    }
    if (k == "model" && !models_.empty()) {
        ModelInfo& m = models_.back();
        const std::string sub = Lower(w[0]);
        if (sub == "model_type") {
            static const std::set<std::string> kTypes = {
                "input",         "output",          "i/o",         "3-state",
                "open_drain",    "open_sink",       "open_source", "i/o_open_drain",
                "i/o_open_sink", "i/o_open_source", "input_ecl",   "output_ecl",
                "i/o_ecl",       "3-state_ecl",     "terminator",  "series",
                "series_switch", "input_diff",      "output_diff", "i/o_diff",
                "3-state_diff"};
            m.type = w.size() > 1 ? w[1] : "";
            m.typeLine = line;
            if (!kTypes.count(Lower(m.type)))
                Add(Message::ModelTypeUnknown, line,
                    "Model_type '" + m.type + "' is not an IBIS model type");
            NewerThanDeclared("Model_type " + m.type, ModelTypeSince(Lower(m.type)), line);
        } else if (!KnownModelSubparameter(sub.substr(0, sub.find('=')))) {
            Add(Message::ModelUnknownSubparameter, line,
                "'" + w[0] + "' is not a [Model] subparameter");
        } else {
            NewerThanDeclared("the subparameter " + w[0], ModelSubparameterSince(sub), line);
        }
        // The die capacitance whole, or split by the split die capacitance
        // subparameters (4.0).
        if (sub.rfind("c_comp_", 0) == 0) m.cComp = true;
        // Enumerated values.
        if (sub == "polarity" && w.size() > 1 && Lower(w[1]) != "inverting" &&
            Lower(w[1]) != "non-inverting")
            Add(Message::EnumeratedValue, line,
                "Polarity '" + w[1] + "' is not Inverting or Non-Inverting");
        if (sub == "enable" && w.size() > 1 && Lower(w[1]) != "active-high" &&
            Lower(w[1]) != "active-low")
            Add(Message::EnumeratedValue, line,
                "Enable '" + w[1] + "' is not Active-High or Active-Low");
        if (sub == "c_comp") {
            m.cComp = true;
            if (w.size() < 4) {
                Add(Message::MissingValue, line, "C_comp needs typ, min and max");
            } else {
                if (IsNa(w[1])) Add(Message::TypicalNa, line, "the typical C_comp is NA");
                double typ = NAN, mn = NAN, mx = NAN;
                NumberOrNa(w[1], line, true, &typ);
                NumberOrNa(w[2], line, true, &mn);
                NumberOrNa(w[3], line, true, &mx);
                if (mn > mx)
                    Add(Message::MinAboveMax, line,
                        "C_comp minimum " + w[2] + " is above its maximum " + w[3]);
            }
        }
        return;
    }
    if ((k == "pulldown" || k == "pullup" || k == "gnd clamp" || k == "power clamp") &&
        !models_.empty()) {
        Table& t = models_.back().tables[k];
        if (w.size() != 4) {
            Add(Message::TableRowColumns, line,
                "an I-V row needs voltage, I(typ), I(min) and I(max)");
            return;
        }
        std::vector<double> row(4, NAN);
        for (std::size_t i = 0; i < 4; ++i) NumberOrNa(w[i], line, i > 0, &row[i]);
        t.na.push_back({false, IsNa(w[1]), IsNa(w[2]), IsNa(w[3])});
        // No order is required; a table that turns back on itself is
        // reported (the direction is that of its first two points).
        if (!t.rows.empty() && std::isfinite(row[0])) {
            const double last = t.rows.back()[0];
            if (row[0] == last) {
                Add(Message::TablePointRepeated, line,
                    "voltage " + w[0] + " appears twice in [" + k + "]");
            } else if (t.rows.size() >= 2 && std::isfinite(t.rows[t.rows.size() - 2][0]) &&
                       (row[0] > last) != (last > t.rows[t.rows.size() - 2][0])) {
                Add(Message::IvNotMonotonic, line,
                    "voltage " + w[0] +
                        " turns the table's voltages back; they should be monotonic");
            }
        }
        t.rows.push_back(row);
        t.rowLines.push_back(line);
        return;
    }
    if ((k == "rising waveform" || k == "falling waveform") && !models_.empty()) {
        std::vector<Table>& list =
            k == "rising waveform" ? models_.back().rising : models_.back().falling;
        if (list.empty()) return;
        Table& t = list.back();
        if (w.size() >= 2 && (w[1] == "=" || w[0].find('=') != std::string::npos)) {
            if (Lower(w[0]).rfind("r_fixture", 0) == 0) waveformFixture_ = true;
            if (Lower(w[0]).rfind("r_fixture", 0) == 0) t.rowLines.insert(t.rowLines.begin(), -1);
            if (Lower(w[0].substr(0, w[0].find('='))) == "v_fixture") t.vFixture = true;
            return;
        }
        if (w.size() != 4) {
            Add(Message::TableRowColumns, line, "a V-t row needs time, V(typ), V(min) and V(max)");
            return;
        }
        std::vector<double> row(4, NAN);
        for (std::size_t i = 0; i < 4; ++i) NumberOrNa(w[i], line, i > 0, &row[i]);
        t.na.push_back({false, IsNa(w[1]), IsNa(w[2]), IsNa(w[3])});
        if (!t.rows.empty() && std::isfinite(row[0])) {
            const double last = t.rows.back()[0];
            if (row[0] == last) {
                Add(Message::TablePointRepeated, line, "time " + w[0] + " appears twice");
            } else if (row[0] < last) {
                Add(Message::WaveformTimeOrder, line,
                    "time " + w[0] + " is before the one above it; times must increase");
            }
        }
        t.rows.push_back(row);
        return;
    }
    if (k == "ramp" && !models_.empty()) {
        ModelInfo& m = models_.back();
        const std::string sub = Lower(w[0]);
        if (sub.rfind("r_load", 0) == 0) return;
        if (sub != "dv/dt_r" && sub != "dv/dt_f") {
            Add(Message::RampInvalid, line,
                "[Ramp] holds dV/dt_r, dV/dt_f and R_load, not '" + w[0] + "'");
            return;
        }
        if (w.size() < 4) {
            Add(Message::RampInvalid, line, w[0] + " needs typ, min and max");
            return;
        }
        if (IsNa(w[1])) Add(Message::TypicalNa, line, "the typical " + w[0] + " is NA");
        for (std::size_t i = 1; i < 4; ++i) {
            if (i > 1 && IsNa(w[i])) continue;
            const std::size_t slash = w[i].find('/');
            double dv = 0, dt = 0;
            if (slash == std::string::npos || !Number(w[i].substr(0, slash), dv) ||
                !Number(w[i].substr(slash + 1), dt) || !(dt > 0)) {
                Add(Message::RampInvalid, line, "'" + w[i] + "' is not a ramp dV/dt");
                continue;
            }
            if (i == 1) (sub == "dv/dt_r" ? m.rampR : m.rampF) = dv / dt;
        }
        return;
    }
    if (k == "algorithmic model" && !models_.empty()) {
        if (Lower(w[0]) != "executable") {
            Add(Message::ExecutableLine, line,
                "[Algorithmic Model] holds Executable lines, not '" + w[0] + "'");
            return;
        }
        if (w.size() != 4) {
            Add(Message::ExecutableLine, line,
                "an Executable line needs platform_compiler_bits, the executable and the .ami "
                "file");
            return;
        }
        const std::vector<std::string> parts = [&] {
            std::vector<std::string> out;
            std::size_t at = 0;
            for (std::size_t u; (u = w[1].find('_', at)) != std::string::npos; at = u + 1)
                out.push_back(w[1].substr(at, u - at));
            out.push_back(w[1].substr(at));
            return out;
        }();
        if (parts.size() != 3 || parts[0].empty() || parts[1].empty() ||
            (parts[2] != "32" && parts[2] != "64"))
            Add(Message::PlatformCompilerBits, line,
                "'" + w[1] + "' is not Platform_Compiler_Bits with 32 or 64 bits");
        ExecutableLine e;
        e.model = models_.back().name;
        e.platform = w[1];
        e.executable = w[2];
        e.amiFile = w[3];
        e.line = line;
        models_.back().executables.push_back(e);
        return;
    }
    if (k == "pin numbers" && !packages_.empty()) {
        const std::string low = Lower(w[0]);
        if (low == "fork" || low == "endfork" || low.find('=') != std::string::npos) return;
        packages_.back().pinIndex.emplace(w[0], static_cast<int>(packages_.back().pins.size()));
        packages_.back().pins.push_back(w[0]);
        return;
    }
    if ((k == "resistance matrix" || k == "inductance matrix" || k == "capacitance matrix" ||
         k == "row") &&
        !packages_.empty()) {
        const auto n = static_cast<int>(packages_.back().pins.size());
        if (matrixForm_ == "Sparse_matrix") {
            if (w.size() % 2 != 0)
                Add(Message::MatrixEntry, line, "a Sparse_matrix row holds pairs of pin and value");
            for (std::size_t i = 0; i + 1 < w.size(); i += 2) {
                const auto at = packages_.back().pinIndex.find(w[i]);
                if (at == packages_.back().pinIndex.end())
                    Add(Message::MatrixEntry, line, "pin " + w[i] + " is not in [Pin Numbers]");
                // Only the diagonal and the entries to its right are given.
                else if (rowIndex_ >= 0 && at->second < rowIndex_)
                    Add(Message::MatrixEntry, line,
                        "pin " + w[i] + " lies below the diagonal of [Row] " + rowPin_ +
                            " (a Sparse_matrix gives the upper triangle)");
                NumberOrNa(w[i + 1], line, false);
            }
            return;
        }
        for (const std::string& v : w) NumberOrNa(v, line, false);
        rowValues_ += static_cast<int>(w.size());
        // A Banded_matrix row: the diagonal and at most [Bandwidth] entries right of it.
        if (matrixForm_ == "Banded_matrix" && bandwidth_ >= 0 && rowValues_ > bandwidth_ + 1)
            Add(Message::MatrixEntry, line,
                "[Row] " + rowPin_ + " of a Banded_matrix of bandwidth " +
                    std::to_string(bandwidth_) + " holds at most " +
                    std::to_string(bandwidth_ + 1) + " values");
        if (matrixForm_ == "Full_matrix" && rowIndex_ >= 0 && rowValues_ > n - rowIndex_)
            Add(Message::MatrixEntry, line,
                "[Row] " + rowPin_ + " of a Full_matrix holds at most " +
                    std::to_string(n - rowIndex_) + " values");
        return;
    }
    if (k == "pin list") {
        ++boardPinLines_;
        if (!boardPinNames_.insert(Lower(w[0])).second)
            Add(Message::BoardPin, line, "pin " + w[0] + " is listed twice in [Pin List]");
        return;
    }
    if (k == "path description") {
        // "Pin name" and "Node designator.pin" among the path's entries.
        for (std::size_t i = 0; i + 1 < w.size(); ++i) {
            const std::string sub = Lower(w[i]);
            if (sub == "pin") pathPins_.emplace_back(w[i + 1], line);
            if (sub == "node") pathNodes_.emplace_back(w[i + 1], line);
        }
        return;
    }
    if (k == "reference designator map") {
        boardDesignators_.insert(Lower(w[0]));
        return;
    }
    if (k == "external model" || k == "external circuit") {
        const std::string sub = Lower(w[0]);
        if (sub == "language") {
            external_.language = true;
            static const std::set<std::string> kLanguages = {
                "spice", "vhdl-ams", "verilog-ams", "vhdl-a(ms)", "verilog-a(ms)", "ibis-iss"};
            if (w.size() < 2 || !kLanguages.count(Lower(w[1])))
                Add(Message::ExternalModelLanguageCorner, line,
                    "Language " + (w.size() < 2 ? std::string("needs a value") : "'" + w[1] + "'") +
                        (w.size() < 2 ? ""
                                      : " is none of SPICE, VHDL-AMS, Verilog-AMS, VHDL-A(MS), "
                                        "Verilog-A(MS), IBIS-ISS"));
        } else if (sub == "corner") {
            if (w.size() < 4) {
                Add(Message::ExternalModelLanguageCorner, line,
                    "a Corner line needs corner_name, file_name and circuit_name");
            } else {
                const std::string corner = Lower(w[1]);
                if (corner != "typ" && corner != "min" && corner != "max")
                    Add(Message::ExternalModelLanguageCorner, line,
                        "corner_name '" + w[1] + "' is none of Typ, Min, Max");
                else
                    external_.corners.insert(corner);
            }
        }
        return;
    }
}

void Checker::CheckExternal() {
    if (external_.line == 0) return;
    if (!external_.language)
        Add(Message::ExternalModelLanguageCorner, external_.line,
            external_.keyword + " has no Language");
    if (!external_.corners.count("typ"))
        Add(Message::ExternalModelLanguageCorner, external_.line,
            external_.keyword + " has no Corner line for Typ");
    external_ = External{};
}

void Checker::CheckBoardReferences() {
    // Every path starts at a pin of the board's [Pin List]; every node names
    // a designator of the [Reference Designator Map].
    if (boardPinList_)
        for (const auto& [pin, at] : pathPins_)
            if (!boardPinNames_.count(Lower(pin)))
                Add(Message::BoardPin, at,
                    "[Path Description] pin " + pin + " is not in [Pin List]");
    for (const auto& [node, at] : pathNodes_) {
        const std::size_t dot = node.find('.');
        const std::string designator = node.substr(0, dot);
        if (dot == std::string::npos || dot == 0 || dot + 1 == node.size())
            Add(Message::BoardNode, at, "Node " + node + " is not reference_designator.pin");
        else if (!boardDesignators_.count(Lower(designator)))
            Add(Message::BoardNode, at,
                "Node " + node + ": designator " + designator +
                    " is not in the [Reference Designator Map]");
    }
}

void Checker::CheckTableColumns(const Table& t, const std::string& what) {
    // "Only the first and last entries of a column that holds data must be
    // numbers"; NA elsewhere is interpolated. A typ column needs data.
    if (t.na.empty()) return;
    for (std::size_t c = 1; c < 4; ++c) {
        bool data = false;
        for (const auto& row : t.na) data = data || !row[c];
        static const char* kColumn[] = {"", "typical", "minimum", "maximum"};
        if (!data) {
            if (c == 1)
                Add(Message::TypicalNa, t.line,
                    what + " has no typical data (every typ entry is NA)");
            continue;
        }
        if (t.na.front()[c] || t.na.back()[c])
            Add(Message::TypicalNa, t.line,
                what + ": the " + std::string(kColumn[c]) + " column holds data but its " +
                    (t.na.front()[c] ? "first" : "last") + " entry is NA");
    }
}

void Checker::CheckModel(const ModelInfo& m) {
    for (const auto& [name, table] : m.tables)
        CheckTableColumns(table, "[" + name + "] of " + m.name);
    for (const std::vector<Table>* list : {&m.rising, &m.falling})
        for (const Table& t : *list) {
            CheckTableColumns(
                t, std::string(list == &m.rising ? "a [Rising Waveform]" : "a [Falling Waveform]") +
                       " of " + m.name);
            if (t.rows.size() < 2)
                Add(Message::TableTooLong, t.line,
                    "a waveform of " + m.name + " has " + std::to_string(t.rows.size()) +
                        " point(s); it needs at least two");
        }
    if (m.submodel) {
        if (m.submodelType.empty())
            Add(Message::SubmodelRules, m.line, "[Submodel] " + m.name + " has no Submodel_type");
        return;
    }
    if (m.type.empty()) {
        Add(Message::ModelNoType, m.line, "[Model] " + m.name + " has no Model_type");
        return;
    }
    const std::string type = Lower(m.type);
    const bool terminator = type == "terminator" || type == "series" || type == "series_switch";
    if (!m.cComp && type != "series" && type != "series_switch")
        Add(Message::ModelNoCComp, m.line, "[Model] " + m.name + " has no C_comp");
    static const std::set<std::string> kDrivers = {
        "output",          "i/o",         "3-state",        "open_drain",
        "open_sink",       "open_source", "i/o_open_drain", "i/o_open_sink",
        "i/o_open_source", "output_ecl",  "i/o_ecl",        "3-state_ecl",
        "output_diff",     "i/o_diff",    "3-state_diff"};
    const bool drives = kDrivers.count(type) > 0;
    const bool pushPull = type == "output" || type == "i/o" || type == "3-state" ||
                          type == "output_diff" || type == "i/o_diff" || type == "3-state_diff";
    if (!terminator && !m.voltage)
        Add(Message::ModelNoVoltage, m.line,
            "[Model] " + m.name + " has no [Voltage Range] or [... Reference] keywords");
    if (pushPull && (!m.tables.count("pulldown") || !m.tables.count("pullup")))
        Add(Message::DriverNoIvTables, m.line,
            "[Model] " + m.name + " (" + m.type + ") needs [Pulldown] and [Pullup]");
    if (drives && !m.ramp)
        Add(Message::DriverNoRamp, m.line, "[Model] " + m.name + " (" + m.type + ") has no [Ramp]");
    for (const auto& [name, table] : m.tables)
        if (table.rows.size() > 100)
            Add(Message::TableTooLong, table.line,
                "[" + name + "] of " + m.name + " has " + std::to_string(table.rows.size()) +
                    " points; at most 100");
    // A waveform's 20-80 % slope against the ramp of the same edge.
    for (int edge = 0; edge < 2; ++edge) {
        const std::vector<Table>& list = edge == 0 ? m.rising : m.falling;
        const double ramp = edge == 0 ? m.rampR : m.rampF;
        for (const Table& t : list) {
            // At most 100 points before IBIS 4.0, 1000 from 4.0.
            const std::size_t most = version_ != 0 && version_ < 40 ? 100 : 1000;
            if (t.rows.size() > most)
                Add(Message::TableTooLong, t.line,
                    "a waveform of " + m.name + " has " + std::to_string(t.rows.size()) +
                        " points; at most " + std::to_string(most) +
                        (most == 100 ? " before IBIS 4.0" : ""));
            // "R_fixture and V_fixture are required" for every waveform table.
            if (t.rowLines.empty() || t.rowLines.front() != -1)
                Add(Message::WaveformFixture, t.line, "the waveform has no R_fixture");
            if (!t.vFixture) Add(Message::WaveformFixture, t.line, "the waveform has no V_fixture");
            if (t.rows.size() < 2 || !std::isfinite(ramp)) continue;
            const double v0 = t.rows.front()[1], v1 = t.rows.back()[1];
            const double lo = v0 + 0.2 * (v1 - v0), hi = v0 + 0.8 * (v1 - v0);
            double tLo = NAN, tHi = NAN;
            for (std::size_t i = 1; i < t.rows.size(); ++i) {
                const auto& a = t.rows[i - 1];
                const auto& b = t.rows[i];
                auto cross = [&](double level, double& at) {
                    if (std::isnan(at) && (a[1] - level) * (b[1] - level) <= 0 && a[1] != b[1])
                        at = a[0] + (level - a[1]) / (b[1] - a[1]) * (b[0] - a[0]);
                };
                cross(lo, tLo);
                cross(hi, tHi);
            }
            if (!(tHi > tLo)) continue;
            const double slope = 0.6 * std::fabs(v1 - v0) / (tHi - tLo);
            if (std::fabs(slope - ramp) > 0.1 * ramp) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "the %s waveform's 20-80 %% slope %.3g V/ns differs from [Ramp] %.3g "
                              "V/ns by more than 10 %%",
                              edge == 0 ? "rising" : "falling", slope * 1e-9, ramp * 1e-9);
                Add(Message::RampWaveformMismatch, t.line, text);
            }
        }
    }
}

void Checker::CheckReferencedFile(const std::string& file, int line, Kind kind) {
    if (folder_.empty()) return;
    const fs::path rel(file);
    for (const auto& part : rel) {
        if (part == ".." || rel.is_absolute()) {
            Add(Message::ReferenceAboveFolder, line,
                file + " lies above the folder of " + fs::path(name_).filename().string());
            return;
        }
    }
    const fs::path path = fs::path(folder_) / rel;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        Add(Message::AlgorithmicFileMissing, line,
            file + " does not exist beside " + fs::path(name_).filename().string());
        return;
    }
    (void)kind;
}

void Checker::Finish() {
    if (kind_ == Kind::Ibs || kind_ == Kind::Pkg || kind_ == Kind::Ebd) {
        if (!versionSeen_) Add(Message::IbisVerMissing, 1, "[IBIS Ver] is missing");
        if (fileName_.empty()) Add(Message::HeaderKeywordMissing, 1, "[File Name] is missing");
        if (!fileRev_) Add(Message::HeaderKeywordMissing, 1, "[File Rev] is missing");
        if (!ended_) Add(Message::NoEnd, 1, "the file has no [End]");
    }
    if (algorithmicOpen_)
        Add(Message::SectionNotClosed, algorithmicLine_,
            "[Algorithmic Model] without [End Algorithmic Model]");
    for (const auto& [open, close] : kClosedSections) {
        const auto still = openSections_.find(open);
        if (still != openSections_.end())
            Add(Message::SectionNotClosed, still->second,
                "[" + std::string(open) + "] without [" + close + "]");
    }
    if (!boardEnded_)
        Add(Message::BoardNotClosed, boardStart_,
            "[Begin Board Description] without [End Board Description]");
    std::set<std::string> modelNames, submodelNames, used, expanded;
    std::map<std::string, std::size_t> modelIndex;
    for (std::size_t k = 0; k < models_.size(); ++k) {
        (models_[k].submodel ? submodelNames : modelNames).insert(models_[k].name);
        if (!models_[k].submodel) modelIndex.emplace(models_[k].name, k);
    }
    for (const Reference& r : references_) {
        if (r.kind == 'M' && !modelNames.count(r.name))
            Add(Message::ScheduleOrTestReference, r.line,
                "\"" + r.name + "\" names no [Model] of this file");
        if (r.kind == 'L' && !testLoads_.count(r.name))
            Add(Message::ScheduleOrTestReference, r.line,
                "\"" + r.name + "\" names no [Test Load] of this file");
    }
    for (const ModelInfo& m : models_)
        for (const auto& [name, line] : m.addSubmodels)
            if (!submodelNames.count(name))
                Add(Message::SubmodelRules, line,
                    "[Add Submodel] " + name + " names no [Submodel] of this file");
    // Package models: this file's, and those of <name>.pkg files beside it.
    std::set<std::string> packageNames;
    for (const PackageInfo& p : packages_) {
        packageNames.insert(p.name);
        if (!p.ended)
            Add(Message::PackageModelNotClosed, p.line,
                "[Define Package Model] " + p.name + " has no [End Package Model]");
        if (p.pinCount >= 0 && p.pinCount != static_cast<int>(p.pins.size()))
            Add(Message::PackagePinCount, p.pinCountLine,
                "[Number Of Pins] " + std::to_string(p.pinCount) + ", but [Pin Numbers] lists " +
                    std::to_string(p.pins.size()));
        if (!p.matrices)
            Add(Message::PackageModelIncomplete, p.line,
                "[Define Package Model] " + p.name + " has no matrices");
        // [Inductance Matrix] and [Capacitance Matrix] are required ([Resistance
        // Matrix] is not).
        else if (!p.inductance || !p.capacitance)
            Add(Message::PackageModelIncomplete, p.line,
                "[Define Package Model] " + p.name + " has no " +
                    (!p.inductance ? "[Inductance Matrix]" : "[Capacitance Matrix]"));
    }
    for (const CircuitCall& call : circuitCalls_) {
        const ComponentInfo& c = components_[call.component];
        if (!call.circuit.empty() && !externalCircuits_.count(call.circuit))
            Add(Message::CircuitCallUnknown, call.line,
                "[Circuit Call] " + call.circuit + " names no [External Circuit] of this file");
        for (const auto& [pin, line] : call.pins)
            if (!c.pins.count(pin))
                Add(Message::CircuitCallPin, line, pin + " is not a pin of [Component] " + c.name);
        for (const auto& [node, line] : call.nodes)
            if (!c.pins.count(node) && !c.nodes.count(node))
                Add(Message::CircuitCallPin, line,
                    "Port_map " + node + " is neither a pin of [Component] " + c.name +
                        " nor a node of its [Node Declarations]");
    }
    for (const ComponentInfo& c : components_) {
        if (!c.manufacturer)
            Add(Message::ComponentNoManufacturer, c.line,
                "[Component] " + c.name + " has no [Manufacturer]");
        if (!c.package && c.packageModel.empty())
            Add(Message::ComponentNoPackage, c.line, "[Component] " + c.name + " has no [Package]");
        if (!c.pin) Add(Message::ComponentNoPin, c.line, "[Component] " + c.name + " has no [Pin]");
        // "The bus connections for EVERY pin listed under the [Pin] keyword
        // must be given" once [Pin Mapping] is there.
        if (!c.mapping.empty()) {
            std::set<std::string> mapped;
            for (const auto& row : c.mapping) mapped.insert(row.first);
            for (const auto& [pin, pinLine] : c.pins)
                if (!mapped.count(pin))
                    Add(Message::PinMappingInvalid, c.mappingLines.front(),
                        "[Pin Mapping] gives no bus connections for pin " + pin);
        }
        if (c.package) {
            for (const char* v : {"R_pkg", "L_pkg", "C_pkg"})
                if (!packageVariables_.count(c.name + "\n" + v))
                    Add(Message::PackageIncomplete, c.line,
                        "[Package] of " + c.name + " has no " + v);
        }
        for (const auto& [model, line] : c.pinModels) {
            static const std::set<std::string> kReserved = {"POWER", "GND", "NC", "NA",
                                                            "CIRCUITCALL"};
            if (kReserved.count(model)) continue;
            if (modelNames.count(model)) {
                used.insert(model);
            } else if (selectors_.count(model)) {
                // Each selector's entries once, however many pins name it.
                if (expanded.insert(model).second)
                    for (const auto& entry : selectors_[model]) used.insert(entry.first);
            } else {
                Add(Message::PinModelUnknown, line,
                    "[Pin] of " + c.name + " names model \"" + model + "\", which is not defined");
            }
        }
        // Series models connect two pins of the component; they are used
        // through [Series Pin Mapping], not [Pin].
        for (const ComponentInfo::SeriesRow& row : c.series) {
            for (const std::string* pin : {&row.pin, &row.pin2})
                if (!c.pins.count(*pin))
                    Add(Message::SeriesPinMappingRow, row.line,
                        "[Series Pin Mapping] " + *pin + " is not a pin of [Component] " + c.name);
            const auto found = modelIndex.find(row.model);
            const auto model = found == modelIndex.end()
                                   ? models_.end()
                                   : models_.begin() + static_cast<long>(found->second);
            if (model != models_.end()) {
                used.insert(row.model);
                const std::string type = Lower(model->type);
                if (type != "series" && type != "series_switch")
                    Add(Message::SeriesPinMappingModel, row.line,
                        "[Series Pin Mapping] names model \"" + row.model + "\" of Model_type " +
                            model->type + ", not Series or Series_switch");
            } else if (selectors_.count(row.model)) {
                if (expanded.insert(row.model).second)
                    for (const auto& entry : selectors_[row.model]) used.insert(entry.first);
            } else {
                Add(Message::SeriesPinMappingModel, row.line,
                    "[Series Pin Mapping] names model \"" + row.model + "\", which is not defined");
            }
        }
        for (const PackageInfo& p : packages_) {
            if (p.name != c.packageModel || p.pins.empty()) continue;
            std::set<std::string> packagePins(p.pins.begin(), p.pins.end()), componentPins;
            for (const auto& entry : c.pins) componentPins.insert(entry.first);
            if (packagePins != componentPins)
                Add(Message::PackageModelPinsDiffer, c.packageModelLine,
                    "[Package Model] " + p.name + " lists " + std::to_string(packagePins.size()) +
                        " pins, [Component] " + c.name + " " +
                        std::to_string(componentPins.size()) + ", not the same ones");
        }
        // A bus label that a signal pin uses must belong to a POWER or GND pin,
        // or it connects to nothing.
        std::set<std::string> supplyLabels;
        for (const auto& [pin, labels] : c.mapping) {
            const auto model = c.pinModel.find(pin);
            if (model != c.pinModel.end() && (model->second == "POWER" || model->second == "GND"))
                supplyLabels.insert(labels.begin(), labels.end());
        }
        for (std::size_t r = 0; r < c.mapping.size(); ++r) {
            const auto model = c.pinModel.find(c.mapping[r].first);
            // A GND pin names its bus under pulldown_ref, a POWER pin under
            // pullup_ref; the other of the two columns is NC.
            const std::vector<std::string>& labels = c.mapping[r].second;
            if (model != c.pinModel.end() && labels.size() >= 2) {
                if (model->second == "GND" && labels[1] != "NC")
                    Add(Message::PinMappingInvalid, c.mappingLines[r],
                        "[Pin Mapping] GND pin " + c.mapping[r].first + " gives pullup_ref " +
                            labels[1] + "; it must be NC");
                if (model->second == "POWER" && labels[0] != "NC")
                    Add(Message::PinMappingInvalid, c.mappingLines[r],
                        "[Pin Mapping] POWER pin " + c.mapping[r].first + " gives pulldown_ref " +
                            labels[0] + "; it must be NC");
            }
            if (model == c.pinModel.end() || model->second == "POWER" || model->second == "GND")
                continue;
            for (const std::string& label : c.mapping[r].second)
                if (label != "NC" && !supplyLabels.count(label))
                    Add(Message::PinMappingInvalid, c.mappingLines[r],
                        "[Pin Mapping] bus label " + label + " of pin " + c.mapping[r].first +
                            " belongs to no POWER or GND pin");
        }
        if (!c.packageModel.empty() && !packageNames.count(c.packageModel)) {
            bool found = false;
            if (!folder_.empty()) {
                const fs::path pkg = fs::path(folder_) / (Lower(c.packageModel) + ".pkg");
                std::error_code ec;
                if (fs::is_regular_file(pkg, ec)) {
                    const FileResult sub = CheckFile(pkg.string(), options_);
                    for (const Report& r : sub.reports) result_.reports.push_back(r);
                    std::ifstream in(pkg);
                    const std::string text((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
                    // The name after [Define Package Model], whatever the blanks.
                    std::istringstream lines(text);
                    for (std::string l; !found && std::getline(lines, l);) {
                        const std::size_t open = l.find('['), close = l.find(']');
                        if (open == std::string::npos || close == std::string::npos || close < open)
                            continue;
                        if (Normalise(l.substr(open + 1, close - open - 1)) !=
                            "define package model")
                            continue;
                        const std::vector<std::string> after = Split(l.substr(close + 1));
                        found = !after.empty() && after[0] == c.packageModel;
                    }
                }
            }
            if (!found)
                Add(Message::PackageModelUnknown, c.packageModelLine,
                    "[Package Model] " + c.packageModel + " is defined neither here nor in " +
                        Lower(c.packageModel) + ".pkg");
        }
    }
    for (const auto& [selector, entries] : selectors_)
        for (const auto& [model, line] : entries)
            if (!modelNames.count(model))
                Add(Message::SelectorModelUnknown, line,
                    "[Model Selector] " + selector + " names model \"" + model +
                        "\", which is not defined");
    for (const ModelInfo& m : models_) {
        CheckModel(m);
        if (!m.submodel && !components_.empty() && !used.count(m.name) && kind_ == Kind::Ibs)
            Add(Message::ModelUnused, m.line,
                "[Model] " + m.name + " is not used by any [Pin] or [Model Selector]");
        for (const ExecutableLine& e : m.executables) {
            CheckFileName(e.executable, e.line, false);
            CheckFileName(e.amiFile, e.line, false);
            const std::size_t before = result_.reports.size();
            CheckReferencedFile(e.amiFile, e.line, Kind::Ami);
            CheckReferencedFile(e.executable, e.line, Kind::Unknown);
            if (folder_.empty() || result_.reports.size() != before) continue;
            // The .ami file, then the executable's exports against what it asks for.
            bool getWave = true;
            const std::string amiPath = (fs::path(folder_) / e.amiFile).string();
            std::ifstream in(amiPath, std::ios::binary);
            const std::string amiText((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
            CheckAmiText(amiPath, amiText, result_.reports, &getWave, version_);
            std::vector<std::string> exports;
            std::string format;
            const std::string exePath = (fs::path(folder_) / e.executable).string();
            if (!ReadExports(exePath, exports, format)) {
                Add(Message::ExecutableUnreadable, e.line,
                    e.executable + " is not an ELF or PE shared library this checker can read");
                continue;
            }
            std::vector<std::string> needed = {"AMI_Init", "AMI_Close"};
            if (getWave) needed.push_back("AMI_GetWave");
            for (const std::string& n : needed)
                if (std::find(exports.begin(), exports.end(), n) == exports.end())
                    Add(Message::ExecutableEntryPoint, e.line,
                        e.executable + " does not export " + n);
        }
    }
}

FileResult Checker::Run() {
    result_.file = name_;
    // Lines, with the per-line rules of the declared version (known once
    // [IBIS Ver] is read, which comes first).
    std::size_t at = 0;
    int line = 0;
    while (at <= text_.size()) {
        std::size_t end = text_.find('\n', at);
        if (end == std::string::npos) end = text_.size();
        std::string l = text_.substr(at, end - at);
        at = end + 1;
        ++line;
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (at > text_.size() && l.empty()) break;
        for (char c : l) {
            const auto u = static_cast<unsigned char>(c);
            if (u == '\t') {
                if (tabReports_++ < 3) Add(Message::TabCharacter, line, "a tab character");
            } else if (u < 0x20 || u > 0x7E) {
                char code[8];
                std::snprintf(code, sizeof code, "0x%02X", u);
                Add(Message::NonAsciiCharacter, line,
                    std::string("character ") + code + " is not allowed in an IBIS file");
                break;
            }
        }
        // [Comment Char] names the new comment character as its argument
        // ("|_char" is valid): that line is read before comments are cut.
        const std::size_t lead = l.find_first_not_of(" \t");
        const bool commentCharLine =
            lead != std::string::npos && l[lead] == '[' &&
            Normalise(l.substr(lead + 1, l.find(']', lead) - lead - 1)) == "comment char";
        const std::size_t comment = commentCharLine ? std::string::npos : l.find(comment_);
        const std::string content = comment == std::string::npos ? l : l.substr(0, comment);
        const std::size_t limit = version_ != 0 && version_ < 40 ? 80 : 120;
        if (content.size() > limit)
            Add(Message::LineTooLong, line,
                "the line has " + std::to_string(content.size()) + " characters; IBIS " +
                    (version_ == 0 ? std::string("4.0 and later allow")
                                   : VersionText(version_) + " allows") +
                    " " + std::to_string(limit));
        const std::size_t first = content.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        if (content[first] == '[') {
            const std::size_t close = content.find(']', first);
            if (close == std::string::npos) {
                Add(Message::UnknownKeyword, line,
                    "'" + content.substr(first, 40) + "' has no closing ']'");
                continue;
            }
            Keyword(content.substr(first + 1, close - first - 1), content.substr(close + 1), line);
        } else {
            DataLine(content, line);
        }
    }
    Finish();
    return result_;
}

}  // namespace

Kind KindOf(const std::string& path, const std::string& text) {
    const std::string ext = Lower(fs::path(path).extension().string());
    if (ext == ".ibs") return Kind::Ibs;
    if (ext == ".pkg") return Kind::Pkg;
    if (ext == ".ebd") return Kind::Ebd;
    if (ext == ".ami") return Kind::Ami;
    const std::string low = Lower(text.substr(0, 4096));
    if (low.find("[begin board description]") != std::string::npos) return Kind::Ebd;
    if (low.find("[define package model]") != std::string::npos &&
        low.find("[component]") == std::string::npos)
        return Kind::Pkg;
    if (low.find("[ibis ver]") != std::string::npos) return Kind::Ibs;
    if (low.find_first_not_of(" \t\r\n") != std::string::npos &&
        low[low.find_first_not_of(" \t\r\n")] == '(')
        return Kind::Ami;
    return Kind::Unknown;
}

FileResult CheckText(const std::string& name, const std::string& text, Kind kind,
                     const Options& options, const std::string& folder) {
    FileResult result;
    if (kind == Kind::Ami) {
        result.file = name;
        CheckAmiText(name, text, result.reports, nullptr);
    } else {
        Checker checker(name, text, kind, options, folder);
        result = checker.Run();
    }
    // This file's reports first, then those of the files it names, each by
    // line (a strict weak ordering: by file, then line).
    std::stable_sort(result.reports.begin(), result.reports.end(),
                     [&](const Report& a, const Report& b) {
                         const bool aOwn = a.file == name, bOwn = b.file == name;
                         if (aOwn != bOwn) return aOwn;
                         if (a.file != b.file) return a.file < b.file;
                         return a.line < b.line;
                     });
    for (const Report& r : result.reports) ++result.counts[static_cast<int>(r.severity)];
    result.passed = result.counts[0] == 0 && (!options.werror || result.counts[1] == 0);
    return result;
}

FileResult CheckFile(const std::string& path, const Options& options) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    if (!in || fs::is_directory(path, ec)) {
        FileResult r;
        r.file = path;
        r.readable = false;
        r.passed = false;
        return r;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string folder = fs::path(path).parent_path().string();
    return CheckText(path, text, KindOf(path, text), options, folder.empty() ? "." : folder);
}

std::string FormatReport(const Report& r) {
    return std::string(SeverityName(r.severity)) + " " + std::to_string(r.number) + " " +
           fs::path(r.file).filename().string() + ":" + std::to_string(r.line) + ": " + r.text;
}

IbsModels ReadAlgorithmicModels(const std::string& text) {
    IbsModels out;
    // A light second pass: [Component], [Pin] model names and Executable lines.
    // The same reading of lines as the checker's: the comment character of
    // [Comment Char] (read before comments are cut), component names whole.
    std::string current, model, component;
    char comment = '|';
    int line = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(at, end - at);
        at = end + 1;
        ++line;
        if (!l.empty() && l.back() == '\r') l.pop_back();
        const std::size_t lead = l.find_first_not_of(" \t");
        const bool commentCharLine =
            lead != std::string::npos && l[lead] == '[' &&
            Normalise(l.substr(lead + 1, l.find(']', lead) - lead - 1)) == "comment char";
        if (commentCharLine) {
            const std::vector<std::string> arg = Split(l.substr(l.find(']') + 1));
            if (!arg.empty() && arg[0].size() == 6 && arg[0].substr(1) == "_char")
                comment = arg[0][0];
            continue;
        }
        const std::size_t bar = l.find(comment);
        if (bar != std::string::npos) l.resize(bar);
        const std::vector<std::string> w = Split(l);
        if (w.empty()) continue;
        if (w[0][0] == '[') {
            const std::size_t close = l.find(']');
            current = Normalise(l.substr(l.find('[') + 1,
                                         close == std::string::npos ? 0 : close - l.find('[') - 1));
            const std::vector<std::string> rest = close == std::string::npos
                                                      ? std::vector<std::string>{}
                                                      : Split(l.substr(close + 1));
            if (current == "component" && !rest.empty()) {
                // A component name may hold blanks: the rest of the line.
                std::string name = l.substr(close + 1);
                name.erase(0, name.find_first_not_of(" \t"));
                name.erase(name.find_last_not_of(" \t") + 1);
                component = name;
                out.components.push_back(component);
            }
            if (current == "model" && !rest.empty()) model = rest[0];
            continue;
        }
        if (current == "pin" && w.size() >= 3) out.pinModels.emplace_back(component, w[2]);
        if (current == "algorithmic model" && w.size() == 4 && Lower(w[0]) == "executable")
            out.executables.push_back({model, w[1], w[2], w[3], line});
    }
    return out;
}

}  // namespace ibis
