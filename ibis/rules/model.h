// [Model] and [Submodel] sections with their tables, waveforms and ramps, and
// [Model Selector].
#pragma once

#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "context.h"

namespace ibis {

// What the rules keep of a table, row by row (the rows themselves are not
// kept: a 50 MB file of models holds them all at once otherwise).
struct Table {
    int line = 0;
    std::size_t rows = 0;                             // rows read
    double last = NAN, beforeLast = NAN;              // the first column of the last two rows
    std::array<bool, 4> data{}, firstNa{}, lastNa{};  // per column: any number; NA first; NA last
    bool rFixture = false, vFixture = false;          // a waveform's fixture given
    bool current = false;                             // an I-V row gives a current other than 0
    std::vector<std::array<double, 2>> edge;          // a waveform's time and typ value per row
    // An I-V table's typ current at its highest and at its lowest voltage.
    double topV = -INFINITY, topI = NAN, bottomV = INFINITY, bottomI = NAN;
};

struct ModelInfo {
    std::string name;
    int line = 0;
    std::string type;
    int typeLine = 0;
    bool cComp = false;
    bool voltage = false;     // [Voltage Range] or a reference keyword
    std::set<Kw> references;  // [Voltage Range] and the [... Reference] keywords given
    double supply = NAN;      // the typical supply: [Voltage Range], else [Pullup Reference]
    std::set<std::string> subparameters;  // the single subparameters given (lower case)
    std::map<Kw, Table>
        tables;  // the I-V tables by keyword: [Pulldown], [Pullup], the clamps, ISSO
    std::vector<Table> rising, falling;
    double rampR = NAN, rampF = NAN;  // typ slopes, V/s
    int rampLine = 0;
    bool ramp = false, rampRise = false, rampFall = false;  // [Ramp], its dV/dt_r and dV/dt_f
    bool submodel = false;                                  // a [Submodel], not a [Model]
    std::string submodelType;
    std::set<std::string> triggers;  // [Submodel Spec] rows given (lower case)
    int pulseLine = 0;               // its first [GND Pulse Table] or [POWER Pulse Table]
    std::vector<std::pair<std::string, int>> addSubmodels;  // [Add Submodel]: name, line
    std::vector<int> terminatorLines;                       // [Rgnd], [Rpower], [Rac], [Cac]
    int racLine = 0, cacLine = 0;                           // the AC termination's two halves
    int ttGndLine = 0, ttPowerLine = 0;                     // the clamps' transit times
    int algorithmicLine = 0;                                // its [Algorithmic Model]
    bool external = false;                                  // it has an [External Model]
    double vinl = NAN, vinh = NAN;
    double vth = NAN, vthMin = NAN, vthMax = NAN;  // [Receiver Thresholds]
    // Its input levels, offsets from Vth: Vinh_ac, Vinh_dc, Vinl_ac, Vinl_dc.
    double inputOffsets[4] = {NAN, NAN, NAN, NAN};
    // A differential receiver's: Vdiff_ac, Vdiff_dc, Vcross_low, Vcross_high.
    double diffLevels[4] = {NAN, NAN, NAN, NAN};
    int vinLine = 0, thresholdsLine = 0, vthLine = 0;
    bool vthGiven = false, thresholdRows = false;
    int sensitivityLine = 0;  // Threshold_sensitivity's line
    bool referenceSupply = false;
    bool afterWaveform = false;  // the keyword before is a waveform (for [Composite Current])
};

// Whether a Model_type drives its pin (any case): the outputs, I/Os and
// 3-states of every kind, open drains, sinks and sources.
bool IsDriverType(const std::string& type);

class ModelRules {
public:
    explicit ModelRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // Each model's own rules: what its type needs, its tables and waveforms.
    void Finish();

    const std::deque<ModelInfo>& Models() const { return models_; }
    // [Model Selector] name -> its models with their lines.
    const std::map<std::string, std::vector<std::pair<std::string, int>>>& Selectors() const {
        return selectors_;
    }
    // A keyword of the model being read that another section reads ([TTgnd],
    // [TTpower], [Algorithmic Model], [External Model], [Add Submodel],
    // [Driver Schedule], the pulse tables).
    void Note(Kw id, int line);
    // The model being read, or null before the first.
    const ModelInfo* Current() const { return models_.empty() ? nullptr : &models_.back(); }

private:
    void ModelData(ModelInfo& m, const DataLine& d);
    void SubmodelData(ModelInfo& m, const DataLine& d);     // submodel.cpp
    void AddSubmodelData(ModelInfo& m, const DataLine& d);  // submodel.cpp
    // A row of four columns (a number, then numbers or NA) into `row` and its
    // NA flags into `t`; false, reported as `tooFew`, when it has not four.
    bool ReadRow(Table& t, const DataLine& d, const char* tooFew, std::array<double, 4>& row);
    // The row's first column against the two before it, then kept as the last.
    void FollowFirstColumn(Table& t, double x);
    void TableData(Table& t, const DataLine& d);
    void WaveformData(Table& t, const DataLine& d);
    void RampData(ModelInfo& m, const DataLine& d);
    void CheckModel(const ModelInfo& m);
    void CheckSubmodel(const ModelInfo& m);  // submodel.cpp
    void CheckTableColumns(const Table& t, const std::string& what);
    // model_values.cpp: the values and places the standard gives each keyword.
    void ValueKeyword(ModelInfo* m, const KeywordLine& k);
    void ReservedName(const KeywordLine& k, const std::string& name);
    // A [Model], waveform or [Ramp] subparameter's values as the schema gives
    // them; Vinl and Vinh kept for their order.
    void SubparameterValues(ModelInfo& m, const SubparameterDef& def,
                            const std::vector<std::string>& w, int line);
    void SpecData(const DataLine& d);
    // The [Model Spec] just read: its dynamic limits complete and beyond the static ones.
    void CloseSpec();
    void SpecOrder();
    void CheckInputOffsets(const ModelInfo& m);
    void CheckEdgeDirection(const ModelInfo& m, const Table& t, bool rising);
    void CheckCurrentSigns(const ModelInfo& m);
    void CheckIssoSpan(const ModelInfo& m);
    void CheckSupplyLevels(const ModelInfo& m, const std::string& type);
    void CheckDriverTables(const ModelInfo& m, const std::string& type);
    void CheckInputDrives(const ModelInfo& m, const std::string& type);
    void CheckTableSizes(const ModelInfo& m);
    void CheckWaveforms(const ModelInfo& m);
    void ThresholdData(ModelInfo& m, const DataLine& d);
    void CompositeData(const DataLine& d);
    void CCompCornerData(const DataLine& d);
    void CheckValues(const ModelInfo& m);
    void CheckSelectors();

    Context& c_;
    std::deque<ModelInfo> models_;
    std::map<std::string, std::vector<std::pair<std::string, int>>> selectors_;
    std::string selector_;  // the [Model Selector] being read
    std::map<std::string, int> selectorLines_;
    double compositeLast_ = NAN;  // the last time of the [Composite Current] being read
    int compositeLine_ = 0;       // its keyword's line; 0: none open
    std::size_t compositeRows_ = 0;
    void CloseComposite();
    // The [Model Spec] being read: its line (0: none open) and, by lower-case
    // name, the typ, min and max of the overshoot and pulse rows (NaN: NA).
    int specLine_ = 0;
    std::map<std::string, std::array<double, 3>> spec_;
};

}  // namespace ibis
