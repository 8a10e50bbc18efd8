#include "model.h"

#include <cstdio>
#include <set>

#include "lexer.h"

namespace ibis {

namespace {

// The IBIS version (times ten) that introduced a Model_type: the series
// models with 3.0 (a public 3.0 sample of a bus switch uses them), the
// differential ones (for [External Model]) with 4.1; the rest were in 1.1.
int ModelTypeSince(const std::string& type) {
    if (type == "series" || type == "series_switch") return 30;
    if (type == "input_diff" || type == "output_diff" || type == "i/o_diff" ||
        type == "3-state_diff")
        return 41;
    return 0;
}

bool IsIvTable(Kw id) {
    return id == Kw::Pulldown || id == Kw::Pullup || id == Kw::GndClamp || id == Kw::PowerClamp ||
           id == Kw::IssoPu || id == Kw::IssoPd;
}

}  // namespace

// The keywords of a model that other sections read, noted for the model they
// stand in (the pulse tables: where a submodel's first one stands). A [Submodel] adds to the
// [Model] that names it: it schedules and adds nothing of its own, and BIRD 148: [Algorithmic
// Model] "is not permitted under the [Submodel] keyword or in [Model]s which are of Model_type
// Terminator, Series or Series_switch" (the type is known when the model ends).
void ModelRules::Note(Kw id, int line) {
    if (models_.empty()) return;
    ModelInfo& m = models_.back();
    if (id == Kw::TtGnd) m.ttGndLine = line;
    if (id == Kw::TtPower) m.ttPowerLine = line;
    if (id == Kw::AlgorithmicModel) m.algorithmicLine = line;
    if (id == Kw::ExternalModel) m.external = true;
    if ((id == Kw::GndPulseTable || id == Kw::PowerPulseTable) && m.pulseLine == 0)
        m.pulseLine = line;
    if (!m.submodel) return;
    const std::string name = "[" + std::string(KeywordOf(id).spelled) + "] in [Submodel] " + m.name;
    if (id == Kw::AlgorithmicModel)
        c_.Add(Message::AlgorithmicModelPlace, line, name + ": it is not permitted there");
    else if (id == Kw::AddSubmodel || id == Kw::DriverSchedule)
        c_.Add(Message::SubmodelTopKeyword, line, name + ": it belongs to a top-level [Model]");
}

void ModelRules::Keyword(const KeywordLine& k) {
    const std::vector<std::string>& words = k.words;
    const int line = k.line;
    CloseSpec();
    CloseComposite();
    if (k.id == Kw::ModelSpec) specLine_ = line;
    if (k.id == Kw::Model || k.id == Kw::Submodel) {
        // A [Submodel] is a section of its own: its tables and clamps are not the model's.
        ModelInfo m;
        m.name = words.empty() ? "" : words[0];
        m.line = line;
        m.submodel = k.id == Kw::Submodel;
        if (m.name.empty()) c_.Add(Message::MissingValue, line, "[" + k.name + "] needs a name");
        c_.NameLength("[" + k.name + "]", m.name, line);
        models_.push_back(std::move(m));
        ValueKeyword(&models_.back(), k);
        return;
    }
    if (k.id == Kw::ModelSelector) {
        selector_ = words.empty() ? "" : words[0];
        c_.NameLength("[Model Selector]", selector_, line);
        ReservedName(k, selector_);
        selectors_[selector_];
        selectorLines_.emplace(selector_, line);
        return;
    }
    if (models_.empty()) {
        if (k.id == Kw::VoltageRange) {
            // Its values are checked wherever it stands.
        } else {
            return;
        }
    }
    ModelInfo* m = models_.empty() ? nullptr : &models_.back();
    ValueKeyword(m, k);
    if (k.id == Kw::CCompCorner) {
        m->cComp = true;
    } else if (k.id == Kw::VoltageRange || k.id == Kw::PullupReference ||
               k.id == Kw::PulldownReference || k.id == Kw::PowerClampReference ||
               k.id == Kw::GndClampReference) {
        if (m != nullptr) {
            m->voltage = true;
            m->references.insert(k.id);
        }
        // "[Voltage Range] typ min max", and each reference voltage the same way.
        if (words.size() < 3)
            c_.Add(Message::MissingValue, line, "[" + k.name + "] needs typ, min and max");
        c_.TooManyValues([&] { return std::string("[" + k.name + "] (typ, min and max)"); },
                         words.size(), 3, line);
        if (!words.empty() && IsNa(words[0]))
            c_.Add(Message::TypicalNa, line, "the typical [" + k.name + "] is NA");
        double v[3] = {NAN, NAN, NAN};
        if (words.size() >= 3)
            for (std::size_t i = 0; i < 3; ++i) c_.NumberOrNa(words[i], line, i > 0, &v[i]);
        if (m != nullptr &&
            (k.id == Kw::VoltageRange || (k.id == Kw::PullupReference && std::isnan(m->supply))))
            m->supply = v[0];
        // The supply's minimum and maximum, by magnitude (an ECL supply is negative).
        if (k.id == Kw::VoltageRange && std::fabs(v[1]) > std::fabs(v[2]))
            c_.Add(Message::MinAboveMax, line,
                   "[Voltage Range] minimum " + words[1] + " is above its maximum " + words[2]);
    } else if (IsIvTable(k.id) || k.id == Kw::RisingWaveform || k.id == Kw::FallingWaveform) {
        Table t;
        t.line = line;
        if (k.id == Kw::RisingWaveform) {
            m->rising.push_back(t);
        } else if (k.id == Kw::FallingWaveform) {
            m->falling.push_back(t);
        } else {
            m->tables[k.id] = t;
        }
    } else if (k.id == Kw::Ramp) {
        m->ramp = true;
        m->rampLine = line;
    }
}

void ModelRules::Data(const DataLine& d) {
    if (d.id == Kw::ModelSelector) {
        selectors_[selector_].emplace_back(d.words[0], d.line);
        if (d.words.size() < 2)
            c_.Add(
                Message::SelectorNoDescription, d.line,
                "[Model Selector] " + selector_ + " entry " + d.words[0] + " has no description");
        return;
    }
    if (d.id == Kw::ModelSpec) {
        if (const SubparameterDef* def = FindSubparameter(Kw::ModelSpec, d.words[0]))
            c_.NewerThanDeclared("the [Model Spec] subparameter " + d.words[0], def->since, d.line);
        SpecData(d);
        return;
    }
    if (d.id == Kw::CompositeCurrent) {
        CompositeData(d);
        return;
    }
    if (d.id == Kw::CCompCorner) {
        CCompCornerData(d);
        return;
    }
    if (models_.empty()) return;
    ModelInfo& m = models_.back();
    if (d.id == Kw::AddSubmodel) {
        AddSubmodelData(m, d);
    } else if (d.id == Kw::Submodel) {
        if (m.submodel) SubmodelData(m, d);
    } else if (d.id == Kw::SubmodelSpec) {
        m.triggers.insert(Lower(d.words[0]));
    } else if (d.id == Kw::Model) {
        ModelData(m, d);
    } else if (IsIvTable(d.id)) {
        TableData(m.tables[d.id], d);
    } else if (d.id == Kw::RisingWaveform || d.id == Kw::FallingWaveform) {
        std::vector<Table>& list = d.id == Kw::RisingWaveform ? m.rising : m.falling;
        if (!list.empty()) WaveformData(list.back(), d);
    } else if (d.id == Kw::Ramp) {
        RampData(m, d);
    } else if (d.id == Kw::ReceiverThresholds) {
        ThresholdData(m, d);
    }
}

void ModelRules::CCompCornerData(const DataLine& d) {
    const SubparameterDef* def = FindSubparameter(Kw::CCompCorner, d.words[0]);
    if (def == nullptr) {
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + d.words[0] + "' is not a [C Comp Corner] subparameter (" +
                   SubparameterNames(Kw::CCompCorner) + ")" +
                   (FindSubparameter(Kw::Model, d.words[0]) != nullptr
                        ? "; it is a [Model] subparameter, given before the model's keywords"
                        : c_.Hint(d.words[0], SubparameterList(Kw::CCompCorner))));
        return;
    }
    c_.CheckSubparameter(*def, d.words, d.line);
}

void ModelRules::ModelData(ModelInfo& m, const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    const std::string sub = Lower(w[0].substr(0, w[0].find('=')));
    const SubparameterDef* def = FindSubparameter(Kw::Model, sub);
    if (def == nullptr) {
        c_.Add(Message::ModelUnknownSubparameter, line,
               "'" + w[0] + "' is not a [Model] subparameter" +
                   c_.Hint(w[0].substr(0, w[0].find('=')), SubparameterList(Kw::Model)));
        return;
    }
    if (!m.subparameters.insert(sub).second)
        c_.Add(Message::KeywordRepeated, line,
               w[0].substr(0, w[0].find('=')) + " appears twice in [Model] " + m.name);
    if (sub == "model_type") {
        m.type = w.size() > 1 ? w[1] : "";
        m.typeLine = line;
        c_.TooManyValues([&] { return std::string("Model_type"); }, ValuesAfterName(w).size(), 1,
                         line);
        if (!IsEnumeratedValue(*def, m.type) || m.type.empty())
            c_.Add(Message::ModelTypeUnknown, line,
                   "Model_type '" + m.type + "' is not an IBIS model type" +
                       c_.Hint(m.type, EnumeratedList(*def)));
        c_.NewerThanDeclared("Model_type " + m.type, ModelTypeSince(Lower(m.type)), line);
        return;
    }
    c_.NewerThanDeclared("the subparameter " + w[0], def->since, line);
    SubparameterValues(m, *def, w, line);
    // The die capacitance whole, or split by the split die capacitance
    // subparameters (4.0).
    if (sub.rfind("c_comp", 0) == 0) m.cComp = true;
}

bool ModelRules::ReadRow(Table& t, const DataLine& d, const char* tooFew,
                         std::array<double, 4>& row) {
    const std::vector<std::string>& w = d.words;
    if (w.size() != 4) {
        c_.Add(Message::TableRowColumns, d.line, tooFew);
        return false;
    }
    row.fill(NAN);
    for (std::size_t i = 0; i < 4; ++i) c_.NumberOrNa(w[i], d.line, i > 0, &row[i]);
    for (std::size_t c = 1; c < 4; ++c) {
        const bool na = IsNa(w[c]);
        if (t.rows == 0) t.firstNa[c] = na;
        t.lastNa[c] = na;
        t.data[c] = t.data[c] || !na;
    }
    return true;
}

void ModelRules::FollowFirstColumn(Table& t, double x) {
    t.beforeLast = t.last;
    t.last = x;
    ++t.rows;
}

void ModelRules::TableData(Table& t, const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    std::array<double, 4> row;
    if (!ReadRow(t, d, "an I-V row needs voltage, I(typ), I(min) and I(max)", row)) return;
    for (std::size_t c = 1; c < 4; ++c)
        t.current = t.current || (std::isfinite(row[c]) && row[c] != 0);
    if (std::isfinite(row[0]) && std::isfinite(row[1])) {
        if (row[0] > t.topV) t.topV = row[0], t.topI = row[1];
        if (row[0] < t.bottomV) t.bottomV = row[0], t.bottomI = row[1];
    }
    // No order is required; a table that turns back on itself is reported
    // (the direction is that of its first two points).
    if (t.rows > 0 && std::isfinite(row[0])) {
        const double last = t.last;
        if (row[0] == last) {
            c_.Add(Message::TablePointRepeated, line,
                   "voltage " + w[0] + " appears twice in [" + d.key + "]");
        } else if (t.rows >= 2 && std::isfinite(t.beforeLast) &&
                   (row[0] > last) != (last > t.beforeLast)) {
            c_.Add(
                Message::IvNotMonotonic, line,
                "voltage " + w[0] + " turns the table's voltages back; they should be monotonic");
        }
    }
    FollowFirstColumn(t, row[0]);
}

void ModelRules::WaveformData(Table& t, const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    if (w[0].find('=') != std::string::npos || (w.size() >= 2 && w[1][0] == '=')) {
        const std::string sub = Lower(w[0].substr(0, w[0].find('=')));
        const SubparameterDef* def = FindSubparameter(d.id, sub);
        if (def == nullptr) {
            c_.Add(Message::ModelUnknownSubparameter, line,
                   "'" + w[0] + "' is not a waveform subparameter" +
                       c_.Hint(sub, SubparameterList(d.id)));
            return;
        }
        if (sub == "r_fixture") t.rFixture = true;
        if (sub == "v_fixture") t.vFixture = true;
        if (!models_.empty()) SubparameterValues(models_.back(), *def, w, line);
        return;
    }
    std::array<double, 4> row;
    if (!ReadRow(t, d, "a V-t row needs time, V(typ), V(min) and V(max)", row)) return;
    if (t.rows > 0 && std::isfinite(row[0])) {
        const double last = t.last;
        if (row[0] == last) {
            c_.Add(Message::TablePointRepeated, line, "time " + w[0] + " appears twice");
        } else if (row[0] < last) {
            c_.Add(Message::WaveformTimeOrder, line,
                   "time " + w[0] + " is before the one above it; times must increase");
        }
    }
    FollowFirstColumn(t, row[0]);
    t.edge.push_back({row[0], row[1]});
}

void ModelRules::RampData(ModelInfo& m, const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    const std::string sub = Lower(w[0]);
    if (sub.rfind("r_load", 0) == 0) {
        SubparameterValues(m, *FindSubparameter(Kw::Ramp, "R_load"), w, line);
        return;
    }
    if (sub != "dv/dt_r" && sub != "dv/dt_f") {
        c_.Add(Message::RampInvalid, line,
               "[Ramp] holds dV/dt_r, dV/dt_f and R_load, not '" + w[0] + "'");
        return;
    }
    (sub == "dv/dt_r" ? m.rampRise : m.rampFall) = true;
    if (w.size() < 4) {
        c_.Add(Message::RampInvalid, line, w[0] + " needs typ, min and max");
        return;
    }
    c_.TooManyValues([&] { return std::string(w[0] + " (typ, min and max)"); }, w.size() - 1, 3,
                     line);
    if (IsNa(w[1])) c_.Add(Message::TypicalNa, line, "the typical " + w[0] + " is NA");
    for (std::size_t i = 1; i < 4; ++i) {
        if (i > 1 && IsNa(w[i])) continue;
        const std::size_t slash = w[i].find('/');
        const std::optional<double> dv =
            slash == std::string::npos ? std::nullopt : Number(w[i].substr(0, slash));
        const std::optional<double> dt =
            slash == std::string::npos ? std::nullopt : Number(w[i].substr(slash + 1));
        if (!dv || !dt || !(*dt > 0) || !(*dv > 0)) {
            c_.Add(Message::RampInvalid, line, "'" + w[i] + "' is not a ramp dV/dt");
            continue;
        }
        if (i == 1) (sub == "dv/dt_r" ? m.rampR : m.rampF) = *dv / *dt;
    }
}

void ModelRules::CheckTableColumns(const Table& t, const std::string& what) {
    // "Only the first and last entries of a column that holds data must be
    // numbers"; NA elsewhere is interpolated. A typ column needs data, so a
    // table needs rows.
    if (t.rows == 0) {
        c_.Add(Message::TypicalNa, t.line, what + " holds no rows");
        return;
    }
    for (std::size_t c = 1; c < 4; ++c) {
        static const char* kColumn[] = {"", "typical", "minimum", "maximum"};
        if (!t.data[c]) {
            if (c == 1)
                c_.Add(Message::TypicalNa, t.line,
                       what + " has no typical data (every typ entry is NA)");
            continue;
        }
        if (t.firstNa[c] || t.lastNa[c])
            c_.Add(Message::TypicalNa, t.line,
                   what + ": the " + std::string(kColumn[c]) + " column holds data but its " +
                       (t.firstNa[c] ? "first" : "last") + " entry is NA");
    }
}

void ModelRules::Finish() {
    CloseSpec();
    CloseComposite();
    for (const ModelInfo& m : models_) {
        CheckModel(m);
        CheckValues(m);
    }
    CheckSelectors();
}

// A rising waveform is the output going from low to high, a falling one from
// high to low: its typical column ends above (below) where it starts. A flat
// edge (an open drain released into a fixture at ground) passes; a turn the
// other way by more than 1 % of its largest level (at least 1 mV) does not.
void ModelRules::CheckEdgeDirection(const ModelInfo& m, const Table& t, bool rising) {
    double first = NAN, last = NAN, largest = 1e-3;
    for (const auto& [time, v] : t.edge) {
        if (!std::isfinite(v)) continue;
        if (std::isnan(first)) first = v;
        last = v;
        largest = std::max(largest, std::fabs(v));
    }
    if (std::isnan(first)) return;
    const double change = rising ? last - first : first - last;
    if (change >= -0.01 * largest) return;
    c_.Add(Message::EdgeDirection, t.line,
           std::string(rising ? "a [Rising Waveform]" : "a [Falling Waveform]") + " of " + m.name +
               " goes from " + Shown(first) + " V to " + Shown(last) +
               " V: " + (rising ? "down" : "up"));
}

// Current into the pin is positive. A pulldown sinks it where the pin is
// high (its highest voltage); a pullup, whose voltages are measured from its
// supply, sources it where the pin is low (its highest voltage); the ground
// clamp conducts out of the pin below ground, the power clamp into it above
// the supply (the lowest voltage of each). Wrong signs beyond 1 uA are warned.
void ModelRules::CheckCurrentSigns(const ModelInfo& m) {
    struct Side {
        Kw table;
        bool atTop;     // read at the highest voltage, else the lowest
        int sign;       // the sign the current has there
        Kw moved;       // the reference keyword that moves its ground level
        bool toGround;  // a table measured from ground (pulldown, ground clamp)
    };
    static const Side kSides[] = {{Kw::Pulldown, true, 1, Kw::PulldownReference, true},
                                  {Kw::Pullup, true, -1, Kw::PullupReference, false},
                                  {Kw::GndClamp, false, -1, Kw::GndClampReference, true},
                                  {Kw::PowerClamp, false, 1, Kw::PowerClampReference, false}};
    // ECL tables, and a pulldown or ground clamp measured from a reference of
    // its own, have their voltages from another level.
    if (Lower(m.type).find("ecl") != std::string::npos) return;
    for (const Side& side : kSides) {
        const auto at = m.tables.find(side.table);
        if (at == m.tables.end()) continue;
        if (side.toGround && m.references.count(side.moved)) continue;
        const Table& t = at->second;
        const double v = side.atTop ? t.topV : t.bottomV, i = side.atTop ? t.topI : t.bottomI;
        if (!std::isfinite(i) || (side.atTop ? v <= 0 : v >= 0) || i * side.sign >= -1e-6) continue;
        c_.Add(Message::IvCurrentSign, t.line,
               "[" + std::string(KeywordOf(side.table).spelled) + "] of " + m.name + " gives " +
                   Shown(i) + " A at " + Shown(v) + " V; current into the pin is positive, so " +
                   (side.sign > 0 ? "it should be above zero there"
                                  : "it should be below zero there"));
    }
}

// The IBIS Quality Specification quotes IBIS 7.1 on [ISSO PU] and [ISSO PD]:
// "Each of the tables are aligned with and span the typical -Vcc to Vcc
// voltages", and the checker correlates the current at Vtable = +Vcc, "so that
// point is required". A table of the pair without the other, or one that
// stops short of Vcc, is warned.
void ModelRules::CheckIssoSpan(const ModelInfo& m) {
    const auto pu = m.tables.find(Kw::IssoPu), pd = m.tables.find(Kw::IssoPd);
    if (pu == m.tables.end() && pd == m.tables.end()) return;
    if ((pu == m.tables.end()) != (pd == m.tables.end())) {
        const Table& t = (pu == m.tables.end() ? pd : pu)->second;
        c_.Add(Message::IssoSpan, t.line,
               "[Model] " + m.name + " has [" + (pu == m.tables.end() ? "ISSO PD" : "ISSO PU") +
                   "] without [" + (pu == m.tables.end() ? "ISSO PU" : "ISSO PD") + "]");
    }
    if (!(m.supply > 0)) return;
    for (const auto& at : {pu, pd}) {
        if (at == m.tables.end() || !(at->second.topV < m.supply * 0.99)) continue;
        c_.Add(Message::IssoSpan, at->second.line,
               "[" + std::string(KeywordOf(at->first).spelled) + "] of " + m.name + " stops at " +
                   Shown(at->second.topV) + " V, short of Vcc " + Shown(m.supply) + " V");
    }
}

void ModelRules::CheckModel(const ModelInfo& m) {
    for (const auto& [id, table] : m.tables)
        CheckTableColumns(table, "[" + std::string(KeywordOf(id).spelled) + "] of " + m.name);
    for (const std::vector<Table>* list : {&m.rising, &m.falling})
        for (const Table& t : *list) {
            CheckTableColumns(
                t, std::string(list == &m.rising ? "a [Rising Waveform]" : "a [Falling Waveform]") +
                       " of " + m.name);
            if (t.rows < 2)
                c_.Add(Message::TableTooLong, t.line,
                       "a waveform of " + m.name + " has " + std::to_string(t.rows) +
                           " point(s); it needs at least two");
            CheckEdgeDirection(m, t, list == &m.rising);
        }
    CheckCurrentSigns(m);
    CheckIssoSpan(m);
    if (m.submodel) {
        CheckSubmodel(m);
        return;
    }
    if (m.type.empty()) {
        c_.Add(Message::ModelNoType, m.line, "[Model] " + m.name + " has no Model_type");
        return;
    }
    const std::string type = Lower(m.type);
    CheckSupplyLevels(m, type);
    CheckDriverTables(m, type);
    CheckInputDrives(m, type);
    CheckTableSizes(m);
    CheckWaveforms(m);
}

// An input never drives its pin: a pullup, pulldown, ramp, waveform or ISSO
// table describes a driver that is not there.
void ModelRules::CheckInputDrives(const ModelInfo& m, const std::string& type) {
    if (type != "input" && type != "input_ecl" && type != "input_diff" && type != "terminator" &&
        type != "series" && type != "series_switch")
        return;
    std::vector<std::pair<std::string, int>> found;
    for (Kw id : {Kw::Pulldown, Kw::Pullup, Kw::IssoPd, Kw::IssoPu})
        if (const auto t = m.tables.find(id); t != m.tables.end())
            found.emplace_back("[" + std::string(KeywordOf(id).spelled) + "]", t->second.line);
    if (m.ramp) found.emplace_back("[Ramp]", m.rampLine);
    if (!m.rising.empty()) found.emplace_back("[Rising Waveform]", m.rising[0].line);
    if (!m.falling.empty()) found.emplace_back("[Falling Waveform]", m.falling[0].line);
    for (const auto& [keyword, line] : found)
        c_.Add(Message::InputDriverKeyword, line,
               keyword + " in " + m.name + " (" + m.type + "), a model that never drives");
}

// C_comp and the supply: [Voltage Range], or all four reference keywords.
void ModelRules::CheckSupplyLevels(const ModelInfo& m, const std::string& type) {
    const bool series = type == "series" || type == "series_switch";
    const bool terminator = type == "terminator" || series;
    if (!m.cComp && !series)
        c_.Add(Message::ModelNoCComp, m.line, "[Model] " + m.name + " has no C_comp");
    // The Open Forum (2010) on a series model: C_comp and [Voltage Range]
    // "are required by the IBIS specification ... even if they don't make
    // sense for the series model". Warned: a simulator does not need them.
    if ((series && !m.cComp) || (terminator && !m.voltage))
        c_.Add(Message::SeriesModelLevels, m.line,
               "[Model] " + m.name + " (" + m.type + ") has no " +
                   (series && !m.cComp ? (m.voltage ? "C_comp" : "C_comp or [Voltage Range]")
                                       : "[Voltage Range]") +
                   "; the standard asks C_comp and [Voltage Range] of every model");
    if (terminator) return;
    if (!m.voltage)
        c_.Add(Message::ModelNoVoltage, m.line,
               "[Model] " + m.name + " has no [Voltage Range] or [... Reference] keywords");
    // "[Voltage Range] ... is required unless ALL FOUR of the other voltage
    // reference keywords are supplied".
    if (!m.voltage || m.references.count(Kw::VoltageRange)) return;
    std::string missing;
    for (Kw reference : {Kw::PullupReference, Kw::PulldownReference, Kw::PowerClampReference,
                         Kw::GndClampReference})
        if (!m.references.count(reference))
            missing +=
                std::string(missing.empty() ? "" : ", ") + "[" + KeywordOf(reference).spelled + "]";
    if (!missing.empty())
        c_.Add(Message::ModelNoVoltage, m.line,
               "[Model] " + m.name +
                   " has no [Voltage Range], which only all four reference keywords replace; it "
                   "lacks " +
                   missing);
}

// The I-V tables and [Ramp] a driver needs, and the side an open driver lacks.
bool IsDriverType(const std::string& type) {
    static const std::set<std::string> kDrivers = {
        "output",          "i/o",         "3-state",        "open_drain",
        "open_sink",       "open_source", "i/o_open_drain", "i/o_open_sink",
        "i/o_open_source", "output_ecl",  "i/o_ecl",        "3-state_ecl",
        "output_diff",     "i/o_diff",    "3-state_diff"};
    return kDrivers.count(Lower(type)) > 0;
}

void ModelRules::CheckDriverTables(const ModelInfo& m, const std::string& type) {
    // A true differential buffer's [External Model] describes the pair;
    // single-ended tables of one pin have nothing to describe there.
    const bool pairExternal =
        m.external && type.size() > 5 && type.substr(type.size() - 5) == "_diff";
    const bool drives = IsDriverType(type) && !pairExternal;
    const bool pushPull = type == "output" || type == "i/o" || type == "3-state" ||
                          type == "output_diff" || type == "i/o_diff" || type == "3-state_diff";
    // [Pulldown] for every driver that sinks current (push-pull, open drain
    // and sink, ECL), [Pullup] for every one that sources it (push-pull, open
    // source, ECL).
    const bool ecl = type == "output_ecl" || type == "i/o_ecl" || type == "3-state_ecl";
    // Open drains and sinks only pull down, open sources only pull up.
    const bool openLow = type == "open_drain" || type == "open_sink" || type == "i/o_open_drain" ||
                         type == "i/o_open_sink";
    const bool openHigh = type == "open_source" || type == "i/o_open_source";
    const bool needsPulldown = (pushPull || ecl || openLow) && drives;
    const bool needsPullup = (pushPull || ecl || openHigh) && drives;
    const bool noPulldown = needsPulldown && !m.tables.count(Kw::Pulldown);
    const bool noPullup = needsPullup && !m.tables.count(Kw::Pullup);
    if (noPulldown || noPullup)
        c_.Add(Message::DriverNoIvTables, m.line,
               "[Model] " + m.name + " (" + m.type + ") needs " +
                   (needsPulldown && needsPullup ? "[Pulldown] and [Pullup]"
                    : needsPulldown              ? "[Pulldown]"
                                                 : "[Pullup]"));
    // An open drain or sink has no pullup, an open source no pulldown: a
    // table of the side it lacks carries no current.
    for (const auto& [side, open] :
         {std::pair<Kw, bool>{Kw::Pullup, openLow}, std::pair<Kw, bool>{Kw::Pulldown, openHigh}}) {
        const auto table = m.tables.find(side);
        if (open && table != m.tables.end() && table->second.current)
            c_.Add(Message::OpenDriverTable, table->second.line,
                   "[" + std::string(KeywordOf(side).spelled) + "] of " + m.name + " (" + m.type +
                       ") carries current; an open " +
                       (openLow ? "drain or sink has no pullup" : "source has no pulldown"));
    }
    if (drives && !m.ramp)
        c_.Add(Message::DriverNoRamp, m.line,
               "[Model] " + m.name + " (" + m.type + ") has no [Ramp]");
    if (m.ramp && (!m.rampRise || !m.rampFall))
        c_.Add(Message::RampInvalid, m.rampLine,
               std::string("[Ramp] of ") + m.name + " has no " +
                   (!m.rampRise ? "dV/dt_r" : "dV/dt_f"));
}

// An I-V table has two points or more, 100 at most.
void ModelRules::CheckTableSizes(const ModelInfo& m) {
    for (const auto& [id, table] : m.tables)
        if (table.rows == 1)
            c_.Add(Message::TableTooLong, table.line,
                   "[" + std::string(KeywordOf(id).spelled) + "] of " + m.name +
                       " has 1 point; an I-V table needs at least two");
        else if (table.rows > 100)
            c_.Add(Message::TableTooLong, table.line,
                   "[" + std::string(KeywordOf(id).spelled) + "] of " + m.name + " has " +
                       std::to_string(table.rows) + " points; at most 100");
}

// Each waveform's size and fixture, its 20-80 % slope against the ramp of its edge.
void ModelRules::CheckWaveforms(const ModelInfo& m) {
    for (int edge = 0; edge < 2; ++edge) {
        const std::vector<Table>& list = edge == 0 ? m.rising : m.falling;
        const double ramp = edge == 0 ? m.rampR : m.rampF;
        // Up to 100 waveform tables of each edge in one model.
        if (list.size() > 100)
            c_.Add(Message::TableTooLong, list[100].line,
                   m.name + " has " + std::to_string(list.size()) + " " +
                       (edge == 0 ? "[Rising Waveform]" : "[Falling Waveform]") +
                       " tables; at most 100");
        for (const Table& t : list) {
            // At most 100 points before IBIS 4.0, 1000 from 4.0.
            const std::size_t most = c_.version != 0 && c_.version < 40 ? 100 : 1000;
            if (t.rows > most)
                c_.Add(Message::TableTooLong, t.line,
                       "a waveform of " + m.name + " has " + std::to_string(t.rows) +
                           " points; at most " + std::to_string(most) +
                           (most == 100 ? " before IBIS 4.0" : ""));
            // "R_fixture and V_fixture are required" for every waveform table.
            if (!t.rFixture)
                c_.Add(Message::WaveformFixture, t.line, "the waveform has no R_fixture");
            if (!t.vFixture)
                c_.Add(Message::WaveformFixture, t.line, "the waveform has no V_fixture");
            if (t.edge.size() < 2 || !std::isfinite(ramp)) continue;
            const double v0 = t.edge.front()[1], v1 = t.edge.back()[1];
            const double lo = v0 + 0.2 * (v1 - v0), hi = v0 + 0.8 * (v1 - v0);
            double tLo = NAN, tHi = NAN;
            for (std::size_t i = 1; i < t.edge.size(); ++i) {
                const auto& a = t.edge[i - 1];
                const auto& b = t.edge[i];
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
                              "the %s waveform's 20-80 %% slope %.3g V/ns differs from [Ramp] "
                              "%.3g V/ns by more than 10 %%",
                              edge == 0 ? "rising" : "falling", slope * 1e-9, ramp * 1e-9);
                c_.Add(Message::RampWaveformMismatch, t.line, text);
            }
        }
    }
}

}  // namespace ibis
