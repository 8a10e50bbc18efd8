// Names one section gives and others use, and the checks between sections once
// the whole file is read: [Pin] and [Series Pin Mapping] models, [Model
// Selector] entries, [Add Submodel], [Driver Schedule] and [Test Data] names,
// [Circuit Call]s, [Package Model]s, and models no pin uses.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "component.h"
#include "context.h"
#include "external.h"
#include "model.h"
#include "package.h"

namespace ibis {

// [Test Load] names, and the model and test-load names that [Test Data] and
// [Driver Schedule] rows give.
class ReferenceRules {
public:
    ReferenceRules(Context& c, const ModelRules& models) : c_(c), models_(models) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);

    struct Reference {
        std::string name;
        int line;
        bool testLoad;        // a [Test Load]; else a [Model]
        bool drives = false;  // a [Test Data] Driver_model or Driver_model_inv
    };
    const std::vector<Reference>& References() const { return references_; }
    const std::set<std::string>& TestLoads() const { return testLoads_; }
    // Each [Test Data] names its driver (and its inverse when differential)
    // and its test load; no model a schedule drives schedules others.
    void Finish();

private:
    void ScheduleRow(const DataLine& d);
    void CheckSchedules();
    void TestLoadRow(const DataLine& d);
    void TestDataRow(const DataLine& d);

    Context& c_;
    const ModelRules& models_;  // the model a [Driver Schedule] belongs to
    // Each [Test Load]'s transmission line: its line, Td and Zo given.
    struct TransmissionLine {
        int at;
        bool td, zo;
    };
    std::vector<TransmissionLine> lines_;
    std::set<std::string> testLoads_, testDataNames_;
    std::vector<Reference> references_;
    std::map<std::string, int> scheduling_;  // the models that have a [Driver Schedule]: its line
    std::vector<std::pair<std::string, int>> scheduled_;  // each row's model and line
    struct TestData {
        int line = 0;
        bool driver = false, inverse = false, load = false, differential = false;
    };
    std::vector<TestData> testData_;
};

struct Sections {
    const ComponentRules& components;
    const ModelRules& models;
    const PackageRules& packages;
    const ExternalRules& external;
    const ReferenceRules& references;
};

// The checks between sections, in the order a reader meets them.
class CrossReferences {
public:
    CrossReferences(Context& c, const Sections& s);
    // [Test Data] and [Driver Schedule] names, [Add Submodel] names.
    void CheckNames();
    // Each [Circuit Call]'s circuit, pins and nodes.
    void CheckCircuitCalls();
    // Each component's [Pin] and [Series Pin Mapping] models and its package
    // model (here, or in <name>.pkg beside the file).
    void CheckComponents();
    // [Model Selector] entries name models.
    void CheckSelectors();
    // The pins of a true differential [External Model] pair up in [Diff Pin].
    void CheckTrueDifferential();
    // A driver's [External Model] reads D_drive, a Series_switch's D_switch.
    void CheckExternalStimulus();
    // Models no [Pin] or [Model Selector] uses.
    void CheckUnused();

private:
    // Marks `model` used (a selector: its entries); false when it is neither.
    bool Use(const std::string& model);
    std::string SeriesModelIn(const std::string& model);
    std::string SeriesModelOf(const std::string& model);
    void CheckSeriesSelector(const std::string& selector, int line);
    bool PackageModelElsewhere(const std::string& name);
    // "; did you mean X?" for a model name one slip from a [Model]'s or,
    // with `selectors`, a [Model Selector]'s.
    std::string ModelHint(const std::string& name, bool selectors);

    Context& c_;
    Sections s_;
    std::unordered_set<std::string> submodelNames_, used_, expanded_;
    std::unordered_map<std::string, std::string>
        selectorSeries_;  // selector -> a series model it lists
    std::optional<std::pair<std::string, std::string>> seriesAsked_;  // the last model asked
    std::unordered_map<std::string, std::size_t> modelIndex_;
    std::vector<std::string> hintNames_[2];  // the models; the models and selectors
};

}  // namespace ibis
