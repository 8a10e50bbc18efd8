// The IBIS keywords: where each may stand, the version that introduced it,
// whether it may appear once, which section's rules read it, what its lines
// hold, the keyword that closes it and where it is required.
#pragma once

#include <string>
#include <vector>

namespace ibis {

// Every keyword by identifier, in the table's order: rules name keywords by
// these, so a misspelt keyword does not compile.
enum class Kw : unsigned char {
    IbisVer,
    CommentChar,
    FileName,
    FileRev,
    Date,
    Source,
    Notes,
    Disclaimer,
    Copyright,
    End,
    Component,
    Model,
    ModelSelector,
    Submodel,
    DefinePackageModel,
    BeginBoardDescription,
    ExternalCircuit,
    EndExternalCircuit,
    TestData,
    TestLoad,
    InterconnectModelSet,
    EndInterconnectModelSet,
    InterconnectModel,
    EndInterconnectModel,
    Manufacturer,
    Package,
    Pin,
    PackageModel,
    AlternatePackageModels,
    EndAlternatePackageModels,
    PinMapping,
    DiffPin,
    SeriesPinMapping,
    SeriesSwitchGroups,
    NodeDeclarations,
    EndNodeDeclarations,
    CircuitCall,
    EndCircuitCall,
    RepeaterPin,
    ClockPins,
    BusLabel,
    EndBusLabel,
    DieSupplyPads,
    InterconnectModelGroup,
    EndInterconnectModelGroup,
    BeginEmiComponent,
    PinEmi,
    PinDomainEmi,
    EndEmiComponent,
    ModelSpec,
    ReceiverThresholds,
    AddSubmodel,
    DriverSchedule,
    TemperatureRange,
    VoltageRange,
    PullupReference,
    PulldownReference,
    PowerClampReference,
    GndClampReference,
    ExternalReference,
    CCompCorner,
    TtGnd,
    TtPower,
    Pulldown,
    Pullup,
    GndClamp,
    PowerClamp,
    Rgnd,
    Rpower,
    Rac,
    Cac,
    On,
    Off,
    RSeries,
    LSeries,
    RlSeries,
    CSeries,
    LcSeries,
    RcSeries,
    SeriesCurrent,
    SeriesMosfet,
    Ramp,
    RisingWaveform,
    FallingWaveform,
    CompositeCurrent,
    IssoPu,
    IssoPd,
    AlgorithmicModel,
    EndAlgorithmicModel,
    ExternalModel,
    EndExternalModel,
    BeginEmiModel,
    EndEmiModel,
    InitialDelay,
    SubmodelSpec,
    GndPulseTable,
    PowerPulseTable,
    RisingWaveformNear,
    FallingWaveformNear,
    RisingWaveformFar,
    FallingWaveformFar,
    DiffRisingWaveformNear,
    DiffFallingWaveformNear,
    DiffRisingWaveformFar,
    DiffFallingWaveformFar,
    Oem,
    Description,
    NumberOfSections,
    NumberOfPins,
    PinNumbers,
    MergedPins,
    ModelData,
    EndModelData,
    ResistanceMatrix,
    InductanceMatrix,
    CapacitanceMatrix,
    Bandwidth,
    Row,
    EndPackageModel,
    PinList,
    PathDescription,
    ReferenceDesignatorMap,
    EndBoardDescription,
};

// Where a keyword stands: at the top level (File) or inside a section. Other:
// inside sections this checker does not follow ([Test Data] waveforms,
// [Interconnect Model]); None: opens no section.
enum class Scope { File, Component, Model, Package, Board, Selector, Other, None };

// The rules that read a keyword and its lines (rules/*.h). Shared: the
// section the file is in ([Manufacturer], [Number Of Pins], [Description]).
enum class Section {
    None,
    Header,
    Component,
    Model,
    Package,
    Board,
    External,
    Algorithmic,
    References,
    Series,
    Interconnect,
    Shared
};

// What the lines after a keyword hold: rows for its rules, free text, or
// nothing (the keyword's value is on its own line).
enum class Data { Rows, Text, OneLine };

// Where a keyword is required: in every file of the header's kind (.ibs,
// .pkg, .ebd), in every .ibs file, in every [Component], [Define Package
// Model] or board description. The checker reports its absence from the
// table alone; requirements under a condition (a Model_type, another
// keyword) are the section rules', written beside the keyword as `when`.
enum Need : unsigned {
    kOptional = 0,
    kInFile = 1u << 0,
    kInIbs = 1u << 1,
    kInComponent = 1u << 2,
    kInPackage = 1u << 3,
    kInBoard = 1u << 4,
};

struct KeywordDef {
    Kw id;
    const char* name;     // normalised: lower case, single blanks
    const char* spelled;  // as the standard writes it, for messages
    int since;            // ten times the version: 1.1 -> 11
    Scope scope;          // where it may stand (File: anywhere at the top level)
    bool once;            // at most once in its scope
    Section section;
    Data data;
    Scope opens;           // the section it begins, or None
    bool endsSection;      // back at the top level after it
    const char* closedBy;  // the keyword that must close it, or null
    unsigned need;         // Need bits: where it must be present
    const char* when;      // required under this condition (checked by its rules), or null
};

// The keyword of a normalised name, or null.
const KeywordDef* FindKeyword(const std::string& key);
// Every keyword as the standard spells it, for hints.
const std::vector<std::string>& KeywordSpellings();
// The keyword of an identifier.
const KeywordDef& KeywordOf(Kw id);
// Every keyword, in table order.
const KeywordDef* KeywordsBegin();
const KeywordDef* KeywordsEnd();

}  // namespace ibis
