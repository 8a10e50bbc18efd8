// The checker's messages: the rules' vocabulary. Each has a number (what a
// report prints), a severity and a meaning; MessageTable() lists them all.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "ibis_check.h"

namespace ibis {

// The checker's messages; the number is what a report prints.
enum class Message : int {
    LineTooLong = 1001,
    NonAsciiCharacter = 1002,
    TabCharacter = 1003,
    UnknownKeyword = 1004,
    KeywordTooNew = 1005,
    KeywordOutOfSection = 1006,
    KeywordRepeated = 1007,
    StrayText = 1008,
    NoEnd = 1009,
    TextAfterEnd = 1010,
    NotANumber = 1011,
    MissingValue = 1012,
    SectionNotClosed = 1013,
    NegativeValue = 1014,
    UnknownSubparameter = 1015,
    RequiredKeywordMissing = 1016,
    KeywordForm = 1017,
    TextAfterName = 1018,
    KeywordEmpty = 1019,
    IbisVerMissing = 1101,
    UnknownIbisVersion = 1102,
    HeaderKeywordMissing = 1103,
    FileNameDiffers = 1104,
    FileNameRules = 1105,
    CommentCharInvalid = 1106,
    ReferenceAboveFolder = 1107,
    FileNameLong = 1108,
    FileInSubfolder = 1109,
    ComponentName = 2001,
    ComponentNoManufacturer = 2002,
    ComponentNoPackage = 2003,
    ComponentNoPin = 2004,
    PackageIncomplete = 2005,
    PinLineColumns = 2101,
    PinRepeated = 2102,
    PinModelUnknown = 2103,
    DiffPinNotAPin = 2104,
    DiffPinPairing = 2105,
    DiffPinColumns = 2106,
    PackageModelUnknown = 2107,
    SelectorModelUnknown = 2108,
    PinMappingInvalid = 2109,
    PackageModelPinsDiffer = 2110,
    CircuitCallUnknown = 2111,
    CircuitCallPin = 2112,
    CircuitCallSignalKinds = 2113,
    NodeDeclaredTwice = 2114,
    CircuitCallUnknownSubparameter = 2115,
    SeriesPinMappingRow = 2116,
    SeriesPinMappingModel = 2117,
    SeriesSwitchGroups = 2118,
    SelectorEmpty = 2119,
    SelectorNoDescription = 2120,
    PackageVariable = 2121,
    NameTooLong = 2122,
    SelectorRepeated = 2123,
    ColumnNames = 2124,
    PinSeriesModel = 2125,
    TrueDifferentialPins = 2126,
    RepeaterPinUnknown = 2127,
    PackageValueBeyond = 2128,
    PinValueTooWide = 2129,
    SeriesGroupUnswitched = 2130,
    ModelNoType = 3001,
    ModelTypeUnknown = 3002,
    ModelNoCComp = 3003,
    TypicalNa = 3004,
    MinAboveMax = 3005,
    DriverNoIvTables = 3006,
    ModelNoVoltage = 3007,
    DriverNoRamp = 3008,
    ModelUnknownSubparameter = 3009,
    ModelFeatureTooNew = 3010,
    SubmodelRules = 3011,
    EnumeratedValue = 3012,
    ScheduleOrTestReference = 3013,
    ExternalModelLanguageCorner = 3014,
    SeriesElementModelType = 3015,
    SeriesSwitchStates = 3016,
    SeriesMosfet = 3017,
    SeriesModelEmpty = 3018,
    ModelName = 3019,
    TerminatorKeyword = 3020,
    ThresholdOrder = 3022,
    SpecSubparameter = 3023,
    CompositePlace = 3024,
    ExternalPorts = 3025,
    OpenDriverTable = 3026,
    ScheduleDelays = 3027,
    ScheduleIdle = 3028,
    ExternalFileMissing = 3029,
    SpecDynamicLimits = 3030,
    SeriesModelLevels = 3031,
    SubmodelTopKeyword = 3032,
    ScheduleNested = 3033,
    DiffTypeWithoutExternal = 3034,
    AcTerminationPart = 3035,  // a keyword without the one it completes
    SubmodelCannotAct = 3036,
    InputDriverKeyword = 3037,
    TestDriverIdle = 3038,
    ExternalNoStimulus = 3039,
    ConverterLanguage = 3040,
    IvNotMonotonic = 3101,
    TablePointRepeated = 3102,
    TableTooLong = 3103,
    TableRowColumns = 3104,
    RampInvalid = 3105,
    RampWaveformMismatch = 3106,
    WaveformTimeOrder = 3107,
    WaveformFixture = 3108,
    EdgeDirection = 3109,
    IvCurrentSign = 3110,
    IssoSpan = 3111,
    ExecutableLine = 3201,
    PlatformCompilerBits = 3202,
    ReferencedFileMissing = 3203,
    ExecutableEntryPoint = 3204,
    ExecutableUnreadable = 3205,
    PlatformTwice = 3206,
    AlgorithmicModelPlace = 3207,
    ModelUnused = 3301,
    PackageModelNotClosed = 4001,
    PackagePinCount = 4002,
    MatrixEntry = 4003,
    MatrixForm = 4004,
    PackageModelIncomplete = 4005,
    PackageSection = 4006,
    InterconnectModel = 4007,
    CapacitanceCoupling = 4008,
    MatrixNotPhysical = 4009,
    PackageSectionCount = 4010,
    BoardNotClosed = 5001,
    BoardIncomplete = 5002,
    BoardPinCount = 5003,
    BoardPin = 5004,
    BoardNode = 5005,
    BoardPath = 5006,
    BoardReference = 5007,
    BoardFileMissing = 5008,
    BoardPinNoPath = 5009,
    AmiParse = 6001,
    AmiRootName = 6002,
    AmiNoReserved = 6003,
    AmiReservedMissing = 6004,
    AmiDoesNothing = 6005,
    AmiUnknownReserved = 6006,
    AmiUsage = 6007,
    AmiType = 6008,
    AmiFormat = 6009,
    AmiValueType = 6010,
    AmiDefaultOutside = 6011,
    AmiNoModelSpecific = 6012,
    AmiValueCount = 6013,
    AmiDuplicate = 6014,
    AmiReservedValue = 6015,
    AmiReservedName = 6016,
    AmiReservedNewer = 6017,
    AmiListRepeated = 6018,
    AmiUnknownLeaf = 6019,
    AmiOffGrid = 6020,
    AmiRootEntry = 6021,
    AmiOtherSide = 6022,
    AmiRootUnnamed = 6023,
    AmiCompanion = 6024,
};

struct MessageDef {
    Message id;
    Severity severity;
    const char* section;
    const char* meaning;
};
// Every message the checker can report, in number order.
const std::vector<MessageDef>& MessageTable();
// The same as a Markdown table (the README carries it).
std::string MessageTableMarkdown();

// A report of message `id` (its number and severity from the table).
Report MakeReport(Message id, const std::string& file, int line, std::string text);

// Keeps at most `limit` reports of one message number in one file (0: every
// one) and counts the ones it turns away.
class ReportCap {
public:
    explicit ReportCap(int limit = 0) : limit_(limit) {}
    // Whether a report of `id` in `file` is to be kept; one turned away is counted.
    bool Admit(Message id, const std::string& file);
    // Appends the report, or counts it when its file already has `limit` of them.
    void Add(std::vector<Report>& reports, Message id, const std::string& file, int line,
             std::string text);
    // Counts reports another check turned away (a file this one names).
    void Absorb(const std::vector<Omitted>& omitted);
    // What was turned away, by file and number.
    std::vector<Omitted> Omissions() const;

private:
    int limit_;
    std::map<std::pair<std::string, int>, int> seen_;  // kept or not, by file and number
    std::map<std::pair<std::string, int>, Omitted> omitted_;
};

}  // namespace ibis
