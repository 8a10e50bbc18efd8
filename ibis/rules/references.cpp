#include "references.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "lexer.h"

namespace fs = std::filesystem;

namespace ibis {

void ReferenceRules::Keyword(const KeywordLine& k) {
    if (k.id == Kw::DriverSchedule && models_.Current() != nullptr)
        scheduling_.emplace(models_.Current()->name, k.line);
    if (k.id != Kw::TestLoad && k.id != Kw::TestData) return;
    if (k.id == Kw::TestData) testData_.push_back({k.line});
    if (k.id == Kw::TestLoad) lines_.push_back({k.line, false, false});
    const std::string keyword = k.id == Kw::TestLoad ? "[Test Load]" : "[Test Data]";
    if (k.words.empty()) {
        if (k.id == Kw::TestLoad) c_.Add(Message::MissingValue, k.line, "[Test Load] needs a name");
        return;
    }
    // A Test_load finds its [Test Load] by name: each name once a file.
    std::set<std::string>& names = k.id == Kw::TestLoad ? testLoads_ : testDataNames_;
    if (!names.insert(k.words[0]).second)
        c_.Add(Message::ScheduleOrTestReference, k.line,
               keyword + " " + k.words[0] + " is defined twice in this file");
}

namespace {

// A line's words with "=" read as a blank: "Test_load=tl" as "Test_load tl".
std::vector<std::string> WordsWithoutEquals(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += word + " ";
    for (char& ch : text)
        if (ch == '=') ch = ' ';
    std::vector<std::string> out = Split(text);
    if (out.empty()) out.emplace_back("=");
    return out;
}

}  // namespace

void ReferenceRules::Data(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    if (d.id == Kw::TestLoad) {
        TestLoadRow(d);
    } else if (d.id == Kw::TestData) {
        TestDataRow(d);
    } else if (d.id == Kw::DriverSchedule && Lower(w[0]) != "model_name") {
        references_.push_back({w[0], d.line, false});
        scheduled_.emplace_back(w[0], d.line);
        // The model the schedule drives is another model: one scheduling
        // itself would be its own sub-driver.
        if (const ModelInfo* owner = models_.Current(); owner != nullptr && owner->name == w[0])
            c_.Add(Message::ScheduleOrTestReference, d.line,
                   "[Driver Schedule] of " + w[0] + " names " + w[0] + " itself");
        ScheduleRow(d);
    }
}

// "model_name Rise_on_dly Rise_off_dly Fall_on_dly Fall_off_dly": delays are
// times (NA where a model does not switch), never below zero.
void ReferenceRules::ScheduleRow(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    if (w.size() != 5) {
        c_.Add(Message::TableRowColumns, d.line,
               "a [Driver Schedule] row is model_name, Rise_on_dly, Rise_off_dly, Fall_on_dly "
               "and Fall_off_dly");
        return;
    }
    double delay[5] = {};
    for (std::size_t i = 1; i < 5; ++i) {
        delay[i] = NAN;
        c_.NumberOrNa(w[i], d.line, true, &delay[i]);
        if (delay[i] < 0)
            c_.Add(Message::NegativeValue, d.line, "delay " + w[i] + " is below zero");
    }
    // On an edge the model turns on, then off: "0.5n 1.5n" (NaN, for NA, compares false).
    for (std::size_t on : {1u, 3u})
        if (delay[on + 1] <= delay[on])
            c_.Add(Message::ScheduleDelays, d.line,
                   "[Driver Schedule] " + w[0] + ": " + (on == 1 ? "Rise" : "Fall") + "_off_dly " +
                       w[on + 1] + " is not after " + (on == 1 ? "Rise" : "Fall") + "_on_dly " +
                       w[on]);
    if (IsNa(w[1]) && IsNa(w[2]) && IsNa(w[3]) && IsNa(w[4]))
        c_.Add(Message::ScheduleIdle, d.line,
               "[Driver Schedule] " + w[0] + ": every delay is NA; the model never switches");
}

// A [Test Data] line: Test_data_type, or the model or the test load it
// names, checked once all are read.
void ReferenceRules::TestDataRow(const DataLine& d) {
    const std::vector<std::string> w = WordsWithoutEquals(d.words);
    const std::string sub = Lower(w[0]);
    static const std::set<std::string> kSubparameters = {"test_data_type", "driver_model",
                                                         "driver_model_inv", "test_load"};
    if (!kSubparameters.count(sub)) {
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + w[0] +
                   "' is not a [Test Data] subparameter (Test_data_type, Driver_model, "
                   "Driver_model_inv, Test_load)");
        return;
    }
    if (w.size() < 2) {
        c_.Add(Message::MissingValue, d.line, w[0] + " without its value");
        return;
    }
    if (w.size() > 2)
        c_.Add(Message::TextAfterName, d.line,
               w[0] + " " + w[1] + ": '" + w[2] + "' follows its one value; it is ignored");
    if (sub == "driver_model" || sub == "driver_model_inv")
        references_.push_back({w[1], d.line, false, true});
    if (sub == "test_load") references_.push_back({w[1], d.line, true});
    if (testData_.empty()) return;
    TestData& t = testData_.back();
    t.driver = t.driver || sub == "driver_model";
    t.inverse = t.inverse || sub == "driver_model_inv";
    t.load = t.load || sub == "test_load";
    if (sub == "test_data_type") {
        t.differential = Lower(w[1]) == "differential";
        if (!t.differential && Lower(w[1]) != "single_ended")
            c_.Add(Message::EnumeratedValue, d.line,
                   "Test_data_type '" + w[1] + "' is not Differential or Single_ended");
    }
}

void ReferenceRules::TestLoadRow(const DataLine& d) {
    const std::vector<std::string> v = WordsWithoutEquals(d.words);
    const std::string sub = Lower(v[0]);
    if (sub == "test_load_type") {
        if (v.size() < 2 || (Lower(v[1]) != "differential" && Lower(v[1]) != "single_ended"))
            c_.Add(Message::EnumeratedValue, d.line,
                   "Test_load_type '" + (v.size() < 2 ? std::string() : v[1]) +
                       "' is not Differential or Single_ended");
        return;
    }
    static const std::set<std::string> kElements = {
        "c1_near", "rs_near", "ls_near",     "c2_near",   "rp1_near", "rp2_near",
        "td",      "zo",      "rp1_far",     "rp2_far",   "c2_far",   "ls_far",
        "rs_far",  "c1_far",  "r_diff_near", "r_diff_far"};
    static const std::set<std::string> kOthers = {"v_term1", "v_term2", "receiver_model",
                                                  "receiver_model_inv"};
    if (!lines_.empty() && (sub == "td" || sub == "zo"))
        (sub == "td" ? lines_.back().td : lines_.back().zo) = true;
    if (!kElements.count(sub) && !kOthers.count(sub)) {
        c_.Add(Message::ModelUnknownSubparameter, d.line,
               "'" + v[0] + "' is not a [Test Load] subparameter");
        return;
    }
    c_.TooManyValues([&] { return v[0]; }, v.size() - 1, 1, d.line);
    // The receiver a test load holds is a model of the file.
    if ((sub == "receiver_model" || sub == "receiver_model_inv") && v.size() >= 2)
        references_.push_back({v[1], d.line, false});
    const std::optional<double> value =
        kElements.count(sub) && v.size() >= 2 ? Number(v[1]) : std::nullopt;
    if (value && *value < 0)
        c_.Add(Message::NegativeValue, d.line, v[0] + " " + v[1] + " is below zero");
}

// A schedule switches drivers: the model that holds it drives its pin through
// them, and each model it names is a driver with no schedule of its own.
void ReferenceRules::CheckSchedules() {
    std::map<std::string, std::string> types;  // [Model] name -> Model_type
    for (const ModelInfo& m : models_.Models())
        if (!m.submodel && !m.type.empty()) types.emplace(m.name, m.type);
    const auto idle = [&](const std::string& name) {
        const auto t = types.find(name);
        return t != types.end() && !IsDriverType(t->second);
    };
    for (const auto& [name, line] : scheduling_)
        if (idle(name))
            c_.Add(Message::ScheduleNested, line,
                   "[Driver Schedule] in " + name + " (" + types[name] +
                       "), a model that drives nothing");
    for (const auto& [name, line] : scheduled_)
        if (scheduling_.count(name))
            c_.Add(Message::ScheduleNested, line,
                   "[Driver Schedule] names " + name +
                       ", which has a [Driver Schedule] of its own: schedules do not nest");
        else if (idle(name))
            c_.Add(Message::ScheduleNested, line,
                   "[Driver Schedule] names " + name + " (" + types[name] +
                       "), a model that drives nothing");
}

void ReferenceRules::Finish() {
    CheckSchedules();
    // A test load's transmission line is its delay and its impedance.
    for (const TransmissionLine& l : lines_)
        if (l.td != l.zo)
            c_.Add(Message::AcTerminationPart, l.at,
                   std::string("[Test Load] has ") + (l.td ? "Td without Zo" : "Zo without Td") +
                       ": its transmission line is the two");
    for (const TestData& t : testData_) {
        if (!t.driver || !t.load)
            c_.Add(Message::ScheduleOrTestReference, t.line,
                   std::string("[Test Data] needs ") + (!t.driver ? "Driver_model" : "Test_load"));
        else if (t.differential && !t.inverse)
            c_.Add(Message::ScheduleOrTestReference, t.line,
                   "a Differential [Test Data] needs Driver_model_inv");
    }
}

CrossReferences::CrossReferences(Context& c, const Sections& s) : c_(c), s_(s) {
    const std::deque<ModelInfo>& models = s_.models.Models();
    modelIndex_.reserve(models.size());
    for (std::size_t k = 0; k < models.size(); ++k) {
        if (models[k].submodel)
            submodelNames_.insert(models[k].name);
        else
            modelIndex_.emplace(models[k].name, k);
    }
}

void CrossReferences::CheckNames() {
    const std::deque<ModelInfo>& models = s_.models.Models();
    for (const ReferenceRules::Reference& r : s_.references.References()) {
        const auto model = modelIndex_.find(r.name);
        if (!r.testLoad && model == modelIndex_.end())
            c_.Add(Message::ScheduleOrTestReference, r.line,
                   "\"" + r.name + "\" names no [Model] of this file");
        // The golden waveforms of [Test Data] are a driver's.
        if (r.drives && model != modelIndex_.end() && !models[model->second].type.empty() &&
            !IsDriverType(models[model->second].type))
            c_.Add(Message::TestDriverIdle, r.line,
                   "[Test Data] driver \"" + r.name + "\" is of Model_type " +
                       models[model->second].type + ", which never drives");
        if (r.testLoad && !s_.references.TestLoads().count(r.name))
            c_.Add(Message::ScheduleOrTestReference, r.line,
                   "\"" + r.name + "\" names no [Test Load] of this file");
    }
    for (const ModelInfo& m : s_.models.Models())
        for (const auto& [name, line] : m.addSubmodels)
            if (!submodelNames_.count(name))
                c_.Add(Message::SubmodelRules, line,
                       "[Add Submodel] " + name + " names no [Submodel] of this file");
}

void CrossReferences::CheckCircuitCalls() {
    for (const CircuitCall& call : s_.components.CircuitCalls()) {
        const ComponentInfo& c = s_.components.Components()[call.component];
        const auto circuit = s_.external.Circuits().find(call.circuit);
        if (!call.circuit.empty() && circuit == s_.external.Circuits().end())
            c_.Add(Message::CircuitCallUnknown, call.line,
                   "[Circuit Call] " + call.circuit + " names no [External Circuit] of this file");
        // "Port_map port pin_or_node": the port is one the circuit declares.
        if (circuit != s_.external.Circuits().end() && !circuit->second.empty())
            for (const auto& [port, line] : call.ports)
                if (!circuit->second.count(port))
                    c_.Add(Message::CircuitCallPin, line,
                           "Port_map " + port + ": [External Circuit] " + call.circuit +
                               " declares no such port");
        for (const auto& [pin, line] : call.pins)
            if (!c.pins.count(pin))
                c_.Add(Message::CircuitCallPin, line,
                       pin + " is not a pin of [Component] " + c.name);
        for (const auto& [node, line] : call.nodes)
            if (!c.pins.count(node) && !c.Extra().nodes.count(node))
                c_.Add(Message::CircuitCallPin, line,
                       "Port_map " + node + " is neither a pin of [Component] " + c.name +
                           " nor a node of its [Node Declarations]");
    }
}

bool CrossReferences::Use(const std::string& model) {
    if (modelIndex_.count(model)) {
        used_.insert(model);
        return true;
    }
    const auto selector = s_.models.Selectors().find(model);
    if (selector == s_.models.Selectors().end()) return false;
    // Each selector's entries once, however many pins name it.
    if (expanded_.insert(model).second)
        for (const auto& entry : selector->second) used_.insert(entry.first);
    return true;
}

// The Series or Series_switch model `model` is or its selector lists; empty
// when none. Each selector is looked at once.
std::string CrossReferences::SeriesModelIn(const std::string& model) {
    // Pins mostly name the model of the pin before them.
    if (seriesAsked_ && model == seriesAsked_->first) return seriesAsked_->second;
    seriesAsked_ = {model, SeriesModelOf(model)};
    return seriesAsked_->second;
}

// A selector a [Series Pin Mapping] row names chooses among series models.
void CrossReferences::CheckSeriesSelector(const std::string& selector, int line) {
    const auto found = s_.models.Selectors().find(selector);
    if (found == s_.models.Selectors().end()) return;
    const std::deque<ModelInfo>& models = s_.models.Models();
    for (const auto& entry : found->second) {
        const auto model = modelIndex_.find(entry.first);
        if (model == modelIndex_.end()) continue;  // reported with the selector
        const std::string& type = models[model->second].type;
        if (Lower(type) != "series" && Lower(type) != "series_switch")
            c_.Add(Message::SeriesPinMappingModel, line,
                   "[Series Pin Mapping] names [Model Selector] \"" + selector +
                       "\", which lists \"" + entry.first + "\" of Model_type " + type +
                       ", not Series or Series_switch");
    }
}

std::string CrossReferences::SeriesModelOf(const std::string& model) {
    const std::deque<ModelInfo>& models = s_.models.Models();
    const auto isSeries = [&](const std::string& name) {
        const auto found = modelIndex_.find(name);
        if (found == modelIndex_.end()) return false;
        const std::string type = Lower(models[found->second].type);
        return type == "series" || type == "series_switch";
    };
    if (modelIndex_.count(model)) return isSeries(model) ? model : "";
    const auto cached = selectorSeries_.find(model);
    if (cached != selectorSeries_.end()) return cached->second;
    std::string found;
    const auto selector = s_.models.Selectors().find(model);
    if (selector != s_.models.Selectors().end())
        for (const auto& entry : selector->second)
            if (found.empty() && isSeries(entry.first)) found = entry.first;
    selectorSeries_[model] = found;
    return found;
}

bool CrossReferences::PackageModelElsewhere(const std::string& name) {
    if (c_.folder.empty()) return false;
    const fs::path pkg = fs::path(c_.folder) / (Lower(name) + ".pkg");
    std::error_code ec;
    if (!fs::is_regular_file(pkg, ec)) return false;
    const FileResult sub = CheckFile(pkg.string(), c_.options);
    for (const Report& r : sub.reports) c_.reports.push_back(r);
    c_.cap.Absorb(sub.omitted);
    std::ifstream in(pkg);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<std::string> names = NamesAfterKeyword(text, Kw::DefinePackageModel);
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string CrossReferences::ModelHint(const std::string& name, bool selectors) {
    if (hintNames_[0].empty()) {  // made once, when first asked
        for (const ModelInfo& m : s_.models.Models()) hintNames_[0].push_back(m.name);
        hintNames_[1] = hintNames_[0];
        for (const auto& entry : s_.models.Selectors()) hintNames_[1].push_back(entry.first);
    }
    return c_.Hint(name, hintNames_[selectors ? 1 : 0]);
}

void CrossReferences::CheckComponents() {
    std::set<std::string> packageNames;
    for (const PackageInfo& p : s_.packages.Packages()) packageNames.insert(p.name);
    const std::deque<ModelInfo>& models = s_.models.Models();
    for (const ComponentInfo& c : s_.components.Components()) {
        for (std::size_t i = 0; i < c.pins.size(); ++i) {
            const PinTable::Entry entry = c.pins.At(i);
            static const std::set<std::string> kReserved = {"POWER", "GND", "NC", "CIRCUITCALL"};
            if (kReserved.count(*entry.model)) continue;
            if (!Use(*entry.model)) {
                c_.AddLazily(Message::PinModelUnknown, entry.line, [&] {
                    return "[Pin] of " + c.name + " names model \"" + *entry.model +
                           "\", which is not defined" + ModelHint(*entry.model, true);
                });
                continue;
            }
            // A series model joins two pins: [Series Pin Mapping] names it, not [Pin].
            const std::string series = SeriesModelIn(*entry.model);
            if (!series.empty())
                c_.AddLazily(Message::PinSeriesModel, entry.line, [&] {
                    return "[Pin] of " + c.name + " names \"" + *entry.model + "\"" +
                           (series == *entry.model ? ""
                                                   : ", whose selector lists \"" + series + "\"") +
                           ", a series model; series models join two pins through [Series Pin "
                           "Mapping]";
                });
        }
        // Series models connect two pins of the component; they are used
        // through [Series Pin Mapping], not [Pin].
        for (const ComponentInfo::SeriesRow& row : c.Extra().series) {
            const auto found = modelIndex_.find(row.model);
            if (found != modelIndex_.end()) {
                const ModelInfo& model = models[found->second];
                used_.insert(row.model);
                const std::string type = Lower(model.type);
                if (type != "series" && type != "series_switch")
                    c_.Add(Message::SeriesPinMappingModel, row.line,
                           "[Series Pin Mapping] names model \"" + row.model + "\" of Model_type " +
                               model.type + ", not Series or Series_switch");
            } else if (!Use(row.model)) {
                c_.Add(Message::SeriesPinMappingModel, row.line,
                       "[Series Pin Mapping] names model \"" + row.model +
                           "\", which is not defined" + ModelHint(row.model, true));
            } else {
                CheckSeriesSelector(row.model, row.line);
            }
        }
        for (const PackageInfo& p : s_.packages.Packages()) {
            if (p.name != c.packageModel || p.pins.empty()) continue;
            const std::set<std::string> packagePins(p.pins.begin(), p.pins.end());
            bool same = packagePins.size() == c.pins.size();
            for (const std::string& pin : packagePins) same = same && c.pins.count(pin) > 0;
            if (!same)
                c_.Add(Message::PackageModelPinsDiffer, c.packageModelLine,
                       "[Package Model] " + p.name + " lists " +
                           std::to_string(packagePins.size()) + " pins, [Component] " + c.name +
                           " " + std::to_string(c.pins.size()) + ", not the same ones");
        }
        if (!c.packageModel.empty() && !packageNames.count(c.packageModel) &&
            !PackageModelElsewhere(c.packageModel))
            c_.Add(Message::PackageModelUnknown, c.packageModelLine,
                   "[Package Model] " + c.packageModel + " is defined neither here nor in " +
                       Lower(c.packageModel) + ".pkg" +
                       c_.Hint(c.packageModel,
                               std::vector<std::string>(packageNames.begin(), packageNames.end())));
        for (const auto& [name, line] : c.Extra().alternatePackages)
            if (!packageNames.count(name) && !PackageModelElsewhere(name))
                c_.Add(Message::PackageModelUnknown, line,
                       "[Alternate Package Models] " + name + " is defined neither here nor in " +
                           Lower(name) + ".pkg");
    }
}

// What switches a model its [External Model] describes: the simulator's
// D_drive for a driver (the stimulus it sends the buffer), its D_switch for
// a Series_switch (on or off), either listed in Ports or converted by a D_to_A.
void CrossReferences::CheckExternalStimulus() {
    const std::deque<ModelInfo>& all = s_.models.Models();
    const ModelInfo* owner = nullptr;
    std::size_t next = 0;
    for (const ExternalRules::DigitalPorts& e : s_.external.ModelDigitalPorts()) {
        for (; next < all.size() && all[next].line < e.line; ++next)
            if (!all[next].submodel) owner = &all[next];
        if (owner == nullptr) continue;
        const bool driver = IsDriverType(owner->type);
        const bool toggles = Lower(owner->type) == "series_switch";
        const char* port = driver ? "d_drive" : toggles ? "d_switch" : nullptr;
        if (port != nullptr && !e.names.count(port))
            c_.Add(Message::ExternalNoStimulus, e.line,
                   "the [External Model] of " + owner->name + " (" + owner->type + ") has no " +
                       (driver ? "D_drive" : "D_switch") +
                       " in Ports or a D_to_A: nothing makes it " + (driver ? "drive" : "switch"));
    }
}

// The [External Model] of a true differential buffer: "The [Diff Pin]
// keyword is still required within the same [Component] definition ... The
// models referenced by each pin listed under [Diff Pin] MUST be the same."
void CrossReferences::CheckTrueDifferential() {
    const std::vector<int>& lines = s_.external.TrueDifferential();
    if (lines.empty()) return;
    // The [Model]s holding those [External Model]s: both lists are in file
    // order, so one walk pairs each with the last [Model] above it.
    std::set<std::string> models;
    const std::deque<ModelInfo>& all = s_.models.Models();
    const ModelInfo* owner = nullptr;
    std::size_t next = 0;
    for (const int line : lines) {
        for (; next < all.size() && all[next].line < line; ++next)
            if (!all[next].submodel) owner = &all[next];
        if (owner != nullptr) models.insert(owner->name);
    }
    for (const ComponentInfo& c : s_.components.Components()) {
        const auto& pairs = c.Extra().diffPins;  // pin, inv_pin, pin, inv_pin, ...
        const auto modelOf = [&](const std::string& pin) {
            const std::optional<PinTable::Entry> e = c.pins.Find(pin);
            return e ? *e->model : std::string();
        };
        std::set<std::string> paired;
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
            paired.insert(pairs[i].first);
            paired.insert(pairs[i + 1].first);
            const std::string a = modelOf(pairs[i].first), b = modelOf(pairs[i + 1].first);
            if ((models.count(a) || models.count(b)) && a != b)
                c_.Add(Message::TrueDifferentialPins, pairs[i].second,
                       "[Diff Pin] " + pairs[i].first + " and " + pairs[i + 1].first +
                           " name models " + a + " and " + b +
                           "; the pins of a true differential [External Model] name the same one");
        }
        for (std::size_t i = 0; i < c.pins.size(); ++i) {
            const PinTable::Entry e = c.pins.At(i);
            if (models.count(*e.model) && !paired.count(e.name))
                c_.Add(Message::TrueDifferentialPins, e.line,
                       "pin " + e.name + " of " + c.name + " names " + *e.model +
                           ", a true differential [External Model], but is in no [Diff Pin] pair");
        }
    }
}

void CrossReferences::CheckSelectors() {
    for (const auto& [selector, entries] : s_.models.Selectors())
        for (const auto& [model, line] : entries)
            if (!modelIndex_.count(model))
                c_.Add(Message::SelectorModelUnknown, line,
                       "[Model Selector] " + selector + " names model \"" + model +
                           "\", which is not defined" + ModelHint(model, false));
}

void CrossReferences::CheckUnused() {
    if (c_.kind != Kind::Ibs || s_.components.Components().empty()) return;
    for (const ModelInfo& m : s_.models.Models())
        if (!m.submodel && !used_.count(m.name))  // by name: a later model of the name is the same
            c_.Add(Message::ModelUnused, m.line,
                   "[Model] " + m.name + " is not used by any [Pin] or [Model Selector]");
}

}  // namespace ibis
