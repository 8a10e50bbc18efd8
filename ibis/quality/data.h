// The numbers of an .ibs file that its quality checks read: each component's
// package, pins and differential pairs, each model's references, tables,
// waveforms and ramp. Read with the checker's lexer; what the file gets wrong
// is the checker's to report, so this reader keeps what it can and skips the rest.
#pragma once

#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "keywords.h"

namespace ibis::quality {

enum Corner { kTyp = 0, kMin = 1, kMax = 2 };

// A typ/min/max triple; NaN where NA or not given.
struct Triple {
    std::array<double, 3> v = {NAN, NAN, NAN};
    bool given = false;
    int line = 0;
};

// A table: the first column and up to three corners (NaN where NA).
struct Curve {
    int line = 0;
    std::vector<double> x;
    std::vector<std::array<double, 3>> y;
    bool Empty() const { return x.empty(); }
};

struct Waveform {
    bool rising = true;
    Curve table;
    double rFixture = NAN, rDut = 0;
    std::array<double, 3> vFixture = {NAN, NAN, NAN};  // V_fixture, _min, _max
    bool hasComposite = false;
    Curve composite;  // [Composite Current] after it
};

struct Ramp {
    int line = 0;
    Triple dvR, dtR, dvF, dtF;
    double rLoad = NAN;  // NaN: not given (50 ohms)
};

struct Model {
    std::string name, type;  // type in lower case
    int line = 0;
    Triple cComp;
    std::array<Triple, 4> cCompParts;  // pullup, pulldown, power clamp, gnd clamp
    Triple temperature, voltage, pullupRef, pulldownRef, powerClampRef, gndClampRef;
    double vinl = NAN, vinh = NAN, vmeas = NAN, vref = NAN;
    std::map<Kw, Curve> iv;  // [Pullup], [Pulldown], the clamps, [ISSO PU], [ISSO PD]
    std::vector<Waveform> waveforms;
    bool hasRamp = false;
    Ramp ramp;
    bool addSubmodel = false, driverSchedule = false;
};

struct Pin {
    std::string name, signal, model;
    double r = NAN, l = NAN, c = NAN;
    int line = 0;
};

struct DiffPin {
    std::string pin, inv;
    double vdiff = NAN;
    std::array<double, 3> tdelay = {NAN, NAN, NAN};
    int line = 0;
};

struct Component {
    std::string name;
    int line = 0;
    Triple rPkg, lPkg, cPkg;
    bool hasPackage = false;
    std::deque<Pin> pins;  // grows without moving the pins read
    std::vector<DiffPin> diffPins;
    bool hasPinMapping = false;
    std::set<std::string> mappedPins;
    bool hasPackageModel = false;  // per-pin package data by another keyword
    // Each pin's name and index into pins, by name, file order within one name.
    std::vector<std::pair<std::string, std::size_t>> pinsByName;
};

struct Selector {
    std::string name;
    int line = 0;
    std::vector<std::pair<std::string, std::string>> entries;  // model, description
};

struct FileData {
    int version = 0;  // ten times [IBIS Ver]
    std::vector<Component> components;
    std::vector<Model> models;
    std::map<std::string, Selector> selectors;
    std::string claimedScore;         // "IQ Score:" in the file, if any
    std::vector<int> exceptionLines;  // lines documenting "IQ Exception"s
    std::vector<std::pair<std::string, std::size_t>> modelsByName;  // as pinsByName
};

FileData ReadFileData(const std::string& text);

// The model of a name, or the component's pin of a name (the first of it), or
// null; found through the name orders ReadFileData builds.
const Model* FindModel(const FileData& f, const std::string& name);
const Pin* FindPin(const Component& c, const std::string& name);

}  // namespace ibis::quality
