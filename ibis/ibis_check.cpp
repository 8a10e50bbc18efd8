// The .ibs, .pkg and .ebd checker: the lexer gives the lines, the keyword
// table says where each keyword belongs and which section's rules read it,
// and once the file is read the checks between sections run.
#include "ibis_check.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <utility>

#include "ami_check.h"
#include "keywords.h"
#include "lexer.h"
#include "messages.h"
#include "rules/algorithmic.h"
#include "rules/board.h"
#include "rules/component.h"
#include "rules/context.h"
#include "rules/external.h"
#include "rules/generic.h"
#include "rules/header.h"
#include "rules/interconnect.h"
#include "rules/model.h"
#include "rules/package.h"
#include "rules/references.h"
#include "rules/series.h"
#include "subparameters.h"

namespace fs = std::filesystem;

namespace ibis {

namespace {

// The keywords that name what they begin: the name is one word.
// clang-format off
const Kw kNamedKeywords[] = {
    Kw::Model, Kw::Submodel, Kw::ModelSelector, Kw::DefinePackageModel, Kw::PackageModel,
    Kw::ExternalCircuit, Kw::TestData, Kw::TestLoad, Kw::InterconnectModelSet,
    Kw::InterconnectModel};
// The keywords whose line holds nothing after them.
const Kw kBareKeywords[] = {
    Kw::Package, Kw::PinNumbers, Kw::ModelData, Kw::EndModelData, Kw::EndPackageModel,
    Kw::EndBoardDescription, Kw::ReferenceDesignatorMap, Kw::ModelSpec, Kw::ReceiverThresholds,
    Kw::AddSubmodel, Kw::DriverSchedule, Kw::Pulldown, Kw::Pullup, Kw::GndClamp, Kw::PowerClamp,
    Kw::IssoPu, Kw::IssoPd, Kw::Ramp, Kw::RisingWaveform, Kw::FallingWaveform,
    Kw::CompositeCurrent, Kw::On, Kw::Off, Kw::SeriesCurrent, Kw::SeriesMosfet, Kw::ExternalModel,
    Kw::EndExternalModel, Kw::EndExternalCircuit, Kw::AlgorithmicModel, Kw::EndAlgorithmicModel,
    Kw::SubmodelSpec, Kw::GndPulseTable, Kw::PowerPulseTable, Kw::SeriesSwitchGroups,
    Kw::NodeDeclarations, Kw::EndNodeDeclarations, Kw::EndCircuitCall, Kw::CCompCorner,
    Kw::InitialDelay, Kw::AlternatePackageModels, Kw::EndAlternatePackageModels, Kw::End,
    Kw::RisingWaveformNear, Kw::FallingWaveformNear, Kw::RisingWaveformFar,
    Kw::FallingWaveformFar, Kw::DiffRisingWaveformNear, Kw::DiffFallingWaveformNear,
    Kw::DiffRisingWaveformFar, Kw::DiffFallingWaveformFar, Kw::EndInterconnectModel,
    Kw::EndInterconnectModelSet, Kw::EndInterconnectModelGroup, Kw::EndBusLabel,
    Kw::EndEmiComponent, Kw::EndEmiModel};
// The keywords whose rows are their content: one that holds none says nothing.
const Kw kRowKeywords[] = {
    Kw::Pin, Kw::DiffPin, Kw::PinMapping, Kw::SeriesPinMapping, Kw::SeriesSwitchGroups,
    Kw::RepeaterPin, Kw::ClockPins, Kw::AddSubmodel, Kw::DriverSchedule, Kw::ModelSpec,
    Kw::ReceiverThresholds, Kw::SubmodelSpec, Kw::CCompCorner, Kw::InitialDelay,
    Kw::PinNumbers, Kw::MergedPins, Kw::PinList, Kw::PathDescription,
    Kw::ReferenceDesignatorMap, Kw::AlternatePackageModels, Kw::NodeDeclarations,
    Kw::InterconnectModelGroup, Kw::GndPulseTable, Kw::PowerPulseTable, Kw::SeriesCurrent,
    Kw::SeriesMosfet, Kw::CompositeCurrent, Kw::IssoPu, Kw::IssoPd, Kw::TestLoad,
    Kw::RisingWaveformNear, Kw::FallingWaveformNear, Kw::RisingWaveformFar,
    Kw::FallingWaveformFar, Kw::DiffRisingWaveformNear, Kw::DiffFallingWaveformNear,
    Kw::DiffRisingWaveformFar, Kw::DiffFallingWaveformFar};
// clang-format on

// Which of the three lists each keyword is on, looked up by its Kw once per
// keyword line (a file may hold millions).
struct KeywordLists {
    std::bitset<256> named, bare, rows;
    KeywordLists() {
        for (Kw id : kNamedKeywords) named.set(static_cast<std::size_t>(id));
        for (Kw id : kBareKeywords) bare.set(static_cast<std::size_t>(id));
        for (Kw id : kRowKeywords) rows.set(static_cast<std::size_t>(id));
    }
};

const KeywordLists& Lists() {
    static const KeywordLists kLists;
    return kLists;
}

// A line's text as quoted in a message: at most 40 characters, marked when cut.
std::string Excerpt(const std::string& text) {
    return text.size() <= 40 ? text : text.substr(0, 40) + "...";
}

class FileChecker {
public:
    FileChecker(const std::string& name, std::string_view text, Kind kind, const Options& options,
                const std::string& folder)
        : lexer_(text),
          header_(c_),
          components_(c_),
          models_(c_),
          packages_(c_),
          board_(c_),
          external_(c_),
          interconnect_(c_),
          algorithmic_(c_, models_),
          references_(c_, models_),
          series_(c_, models_, components_),
          generic_(c_) {
        c_.name = name;
        c_.kind = kind;
        c_.options = options;
        c_.cap = ReportCap(options.maxReports);
        c_.folder = folder;
        for (const KeywordDef* k = KeywordsBegin(); k != KeywordsEnd(); ++k)
            if (k->closedBy != nullptr) openerOf_[Index(FindKeyword(k->closedBy)->id)] = k;
    }
    FileResult Run();

private:
    void TextRules(const Line& l);
    void Keyword(const Line& l);
    void CheckVersion(const KeywordDef& def, const std::string& raw, int line);
    void PairWithCloser(const KeywordDef& def, const std::string& raw, int line);
    void CheckPlace(const KeywordDef& def, const std::string& raw, int line);
    void KeywordForm(const Line& l);
    void OnlyWhatTheFileHolds(const KeywordDef& def, const std::string& raw, int line);
    void SubmodelOnly(const KeywordDef& def, const std::string& raw, int line);
    void NameAlone(const KeywordDef& def, const std::string& raw,
                   const std::vector<std::string>& words, int line);
    void Data(const Line& l);
    void SubparameterOnce(const DataLine& d);
    void ArgumentLength(const KeywordLine& k);
    void OpenSection(const KeywordDef& def, const KeywordLine& k);
    void RequiredInSection();
    void RequiredInFile();
    // The rules of `section` (Shared: those of the section the file is in).
    void ToSection(Section section, const KeywordLine* k, const DataLine* d);
    void Finish();

    Context c_;
    Lexer lexer_;
    HeaderRules header_;
    ComponentRules components_;
    ModelRules models_;
    PackageRules packages_;
    BoardRules board_;
    ExternalRules external_;
    InterconnectRules interconnect_;
    AlgorithmicRules algorithmic_;
    ReferenceRules references_;
    SeriesRules series_;
    GenericRules generic_;

    std::string current_;  // the keyword whose data lines follow; empty: none
    const KeywordDef* currentDef_ = nullptr;
    // The last keyword whose rows are its content, its line and its lines read.
    const KeywordDef* rowsDef_ = nullptr;
    int rowsLine_ = 0, rowsRead_ = 0;
    void CloseRows();
    std::bitset<256> seenInScope_;  // the keywords met in the current section, by Kw
    // Marks `id` seen in the section; false when it was already.
    bool FirstInScope(Kw id) {
        const auto bit = static_cast<std::size_t>(id);
        if (seenInScope_.test(bit)) return false;
        seenInScope_.set(bit);
        return true;
    }
    // What the table requires of the section open (a [Component], [Define
    // Package Model] or board description) and of the file.
    std::bitset<256> presentInSection_, presentInFile_;
    const KeywordDef* sectionOpener_ = nullptr;  // null: checked, or none open
    std::string sectionName_;
    int sectionLine_ = 0;
    std::string currentRaw_;               // the current keyword as written
    std::set<std::string> subparameters_;  // those the current keyword gave, lower case
    // By keyword: an opening keyword's line until it is closed (0: not
    // open), and the keyword a closing keyword closes.
    std::array<int, 256> openLine_{};
    std::array<const KeywordDef*, 256> openerOf_{};
    static std::size_t Index(Kw id) { return static_cast<std::size_t>(id); }
    int tabReports_ = 0;
};

void FileChecker::ToSection(Section section, const KeywordLine* k, const DataLine* d) {
    if (section == Section::Shared)
        section = c_.scope == Scope::Board     ? Section::Board
                  : c_.scope == Scope::Package ? Section::Package
                                               : Section::Component;
    switch (section) {
        case Section::Header:
            if (k) header_.Keyword(*k);  // the header's keywords hold one line each
            return;
        case Section::Component:
            return k ? components_.Keyword(*k) : components_.Data(*d);
        case Section::Model:
            return k ? models_.Keyword(*k) : models_.Data(*d);
        case Section::Package:
            return k ? packages_.Keyword(*k) : packages_.Data(*d);
        case Section::Board:
            return k ? board_.Keyword(*k) : board_.Data(*d);
        case Section::External:
            return k ? external_.Keyword(*k) : external_.Data(*d);
        case Section::Algorithmic:
            return k ? algorithmic_.Keyword(*k) : algorithmic_.Data(*d);
        case Section::Interconnect:
            return k ? interconnect_.Keyword(*k) : interconnect_.Data(*d);
        case Section::References:
            return k ? references_.Keyword(*k) : references_.Data(*d);
        case Section::Series:
            return k ? series_.Keyword(*k) : series_.Data(*d);
        case Section::None:
            // The pins a [Repeater Pin] row names are the component's too.
            if (d != nullptr && d->id == Kw::RepeaterPin) components_.Data(*d);
            // A [Submodel Spec] row tells the submodel what switches it.
            if (d != nullptr && d->id == Kw::SubmodelSpec) models_.Data(*d);
            // [Number Of Sections] bounds the package's pin sections.
            if (k != nullptr && k->id == Kw::NumberOfSections) packages_.Keyword(*k);
            return k ? generic_.Keyword(*k) : generic_.Data(*d);
        case Section::Shared:
            return;
    }
}

void FileChecker::TextRules(const Line& l) {
    for (char c : l.raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\t') {
            if (tabReports_++ < 3) c_.Add(Message::TabCharacter, l.number, "a tab character");
        } else if (u < 0x20 || u > 0x7E) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", u);
            c_.Add(Message::NonAsciiCharacter, l.number,
                   std::string("character ") + code + " is not allowed in an IBIS file");
            break;
        }
    }
    // 80 characters before 4.0, 120 from it, 1024 from 7.0 (which allows file
    // names of up to 256 characters).
    const std::size_t limit = c_.version != 0 && c_.version < 40   ? 80
                              : c_.version == 0 || c_.version < 70 ? 120
                                                                   : 1024;
    if (l.content.size() > limit)
        c_.Add(Message::LineTooLong, l.number,
               "the line has " + std::to_string(l.content.size()) + " characters; IBIS " +
                   (c_.version == 0 ? std::string("4.0 and later allow")
                                    : VersionText(c_.version) + " allows") +
                   " " + std::to_string(limit));
}

// "Keywords must be enclosed in square brackets and must start in column 1",
// no blank just inside the brackets, one blank or underscore between words.
void FileChecker::KeywordForm(const Line& l) {
    const std::string& n = l.name;
    const auto separator = [](char ch) { return ch == ' ' || ch == '\t' || ch == '_'; };
    std::string fault;
    if (l.column != 0)
        fault = "starts in column " + std::to_string(l.column + 1) + ", not 1";
    else if (!n.empty() && (std::isspace(static_cast<unsigned char>(n.front())) ||
                            std::isspace(static_cast<unsigned char>(n.back()))))
        fault = "has a blank just inside its brackets";
    else
        for (std::size_t i = 1; i < n.size() && fault.empty(); ++i)
            if (separator(n[i]) && separator(n[i - 1]))
                fault = "parts its words with more than one blank or underscore";
    if (!fault.empty()) c_.Add(Message::KeywordForm, l.number, "[" + n + "] " + fault);
}

// A .pkg file holds package models, a .ebd file board descriptions, an .ims
// file interconnect model sets (7.0), each besides the header.
void FileChecker::OnlyWhatTheFileHolds(const KeywordDef& def, const std::string& raw, int line) {
    const bool pkg = c_.kind == Kind::Pkg, ebd = c_.kind == Kind::Ebd, ims = c_.kind == Kind::Ims;
    if (!(pkg || ebd || ims) || def.scope != Scope::File || def.section == Section::Header) return;
    const Kw holds = pkg   ? Kw::DefinePackageModel
                     : ebd ? Kw::BeginBoardDescription
                           : Kw::InterconnectModelSet;
    if (def.id == holds || (ims && def.id == Kw::EndInterconnectModelSet)) return;
    c_.Add(Message::KeywordOutOfSection, line,
           "[" + raw + "] has no place in " +
               (pkg   ? "a .pkg"
                : ebd ? "a .ebd"
                      : "an .ims") +
               " file, which holds " +
               (pkg   ? "[Define Package Model]s"
                : ebd ? "board descriptions"
                      : "[Interconnect Model Set]s"));
}

// The keywords that name what they begin take one word: a second is text the
// name does not hold (a [Pin] or [Package Model] would not find it). A
// keyword that takes nothing holds nothing on its line.
void FileChecker::NameAlone(const KeywordDef& def, const std::string& raw,
                            const std::vector<std::string>& words, int line) {
    const std::size_t id = static_cast<std::size_t>(def.id);
    if (!words.empty() && Lists().bare.test(id)) {
        c_.Add(Message::TextAfterName, line,
               "[" + raw + "] takes nothing on its line; '" + words[0] + "' is ignored");
        return;
    }
    if (words.size() < 2 || !Lists().named.test(id)) return;
    c_.Add(Message::TextAfterName, line,
           "[" + raw + "] " + words[0] + ": '" + words[1] +
               "' follows the name, which is one word; it is ignored");
}

// [Submodel Spec], [GND Pulse Table] and [POWER Pulse Table] describe a
// submodel: they stand in a [Submodel], not in the [Model] that adds it.
void FileChecker::SubmodelOnly(const KeywordDef& def, const std::string& raw, int line) {
    if (def.id != Kw::SubmodelSpec && def.id != Kw::GndPulseTable && def.id != Kw::PowerPulseTable)
        return;
    const ModelInfo* m = models_.Current();
    if (m != nullptr && !m->submodel)
        c_.Add(Message::KeywordOutOfSection, line,
               "[" + raw + "] stands in [Model] " + m->name + "; it belongs to a [Submodel]");
}

// A keyword against the file's version: [IBIS Ver] first, nothing newer.
void FileChecker::CheckVersion(const KeywordDef& def, const std::string& raw, int line) {
    if (!c_.versionSeen && def.id != Kw::IbisVer && c_.kind != Kind::Pkg && c_.kind != Kind::Ebd) {
        c_.Add(Message::IbisVerMissing, line,
               "[IBIS Ver] must be the first keyword; found [" + raw + "]");
        c_.versionSeen = true;  // reported once
    }
    if (c_.version != 0 && def.since > c_.version) {
        c_.Add(Message::KeywordTooNew, line,
               "[" + raw + "] needs IBIS " + VersionText(def.since) +
                   " or later; the file declares " + VersionText(c_.version));
    }
}

// Sections closed by a keyword of their own: an opener not closed before the
// next, a closer without its opener.
void FileChecker::PairWithCloser(const KeywordDef& def, const std::string& raw, int line) {
    if (def.closedBy != nullptr) {
        if (const int earlier = openLine_[Index(def.id)]; earlier != 0)
            c_.Add(Message::SectionNotClosed, earlier,
                   "[" + std::string(def.spelled) + "] without [" +
                       FindKeyword(def.closedBy)->spelled + "] before the next one");
        openLine_[Index(def.id)] = line;
    } else if (const KeywordDef* opener = openerOf_[Index(def.id)]; opener != nullptr) {
        if (std::exchange(openLine_[Index(opener->id)], 0) == 0)
            c_.Add(Message::KeywordOutOfSection, line,
                   "[" + raw + "] without [" + opener->spelled + "]");
    }
}

// A keyword in the section it belongs to, as often as it may be.
void FileChecker::CheckPlace(const KeywordDef& def, const std::string& raw, int line) {
    if (def.scope == Scope::File || def.scope == Scope::Other) {
        if (def.once && c_.scope == Scope::File && !FirstInScope(def.id))
            c_.Add(Message::KeywordRepeated, line, "[" + raw + "] appears twice");
        return;
    }
    const bool shared = def.section == Section::Shared;
    const bool fits = def.scope == c_.scope ||
                      (shared && (c_.scope == Scope::Package || c_.scope == Scope::Board ||
                                  c_.scope == Scope::Component));
    if (!fits) {
        c_.Add(Message::KeywordOutOfSection, line,
               "[" + raw + "] stands outside the section it belongs to");
    } else if (def.once && !FirstInScope(def.id)) {
        c_.Add(Message::KeywordRepeated, line, "[" + raw + "] appears twice in this section");
    }
    SubmodelOnly(def, raw, line);
    if (def.id == Kw::TtGnd || def.id == Kw::TtPower || def.id == Kw::AlgorithmicModel ||
        def.id == Kw::AddSubmodel || def.id == Kw::DriverSchedule || def.id == Kw::ExternalModel ||
        def.id == Kw::GndPulseTable || def.id == Kw::PowerPulseTable)
        models_.Note(def.id, line);
}

// A keyword whose rows are its content, closed with none, says nothing.
void FileChecker::CloseRows() {
    if (rowsDef_ != nullptr && rowsRead_ == 0)
        c_.Add(Message::KeywordEmpty, rowsLine_,
               "[" + std::string(rowsDef_->spelled) + "] holds no rows; it says nothing");
    rowsDef_ = nullptr;
}

void FileChecker::Keyword(const Line& l) {
    subparameters_.clear();
    KeywordForm(l);
    CloseRows();
    const std::string& raw = l.name;
    const std::string& key = l.key;
    const int line = l.number;
    const KeywordDef* def = FindKeyword(key);
    if (def != nullptr && Lists().rows.test(static_cast<std::size_t>(def->id))) {
        rowsDef_ = def;
        rowsLine_ = line;
        rowsRead_ = 0;
    }
    if (def == nullptr) {
        c_.Add(Message::UnknownKeyword, line,
               "[" + raw + "] is not an IBIS keyword" + c_.Hint(raw, KeywordSpellings(), "[", "]"));
        current_.clear();
        currentDef_ = nullptr;
        return;
    }
    CheckVersion(*def, raw, line);
    OnlyWhatTheFileHolds(*def, raw, line);
    NameAlone(*def, raw, l.words, line);
    current_ = key;
    currentRaw_ = raw;
    currentDef_ = def;
    if (def->id == Kw::InterconnectModel && openLine_[Index(Kw::InterconnectModelSet)] == 0)
        c_.Add(Message::KeywordOutOfSection, line,
               "[" + raw + "] stands outside an [Interconnect Model Set]");
    PairWithCloser(*def, raw, line);
    const KeywordLine k{raw, key, l.args, l.words, line, def->id};
    // "The length of the Component Name must not exceed 40 characters", the
    // manufacturer's name and [Date]'s field likewise; blanks are allowed.
    if (def->id == Kw::Component || def->id == Kw::Manufacturer || def->id == Kw::Date)
        ArgumentLength(k);
    presentInFile_.set(static_cast<std::size_t>(def->id));
    presentInSection_.set(static_cast<std::size_t>(def->id));
    if (def->opens != Scope::None) {
        OpenSection(*def, k);
        ToSection(def->section, &k, nullptr);
        return;
    }
    if (def->id == Kw::On || def->id == Kw::Off) {
        // A Series_switch model's [On] and [Off] each hold their own series elements.
        for (Kw series : {Kw::RSeries, Kw::LSeries, Kw::RlSeries, Kw::CSeries, Kw::LcSeries,
                          Kw::RcSeries, Kw::SeriesCurrent, Kw::SeriesMosfet})
            seenInScope_.reset(static_cast<std::size_t>(series));
    }
    // An [Interconnect Model Set] names its [Manufacturer] (one line) and
    // gives its [Description] (text); they describe the set, not a section's
    // contents.
    if ((def->id == Kw::Manufacturer || def->id == Kw::Description) &&
        openLine_[Index(Kw::InterconnectModelSet)] != 0)
        return;
    CheckPlace(*def, raw, line);
    ToSection(def->section, &k, nullptr);
    if (def->endsSection) {
        RequiredInSection();
        c_.scope = Scope::File;
    }
}

// The text after a keyword, blanks at its ends left out.
std::string Argument(const KeywordLine& k) {
    const std::size_t first = k.args.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return k.args.substr(first, k.args.find_last_not_of(" \t") + 1 - first);
}

void FileChecker::ArgumentLength(const KeywordLine& k) {
    const std::string text = Argument(k);
    if (text.size() > 40)
        c_.Add(Message::NameTooLong, k.line,
               "[" + std::string(KeywordOf(k.id).spelled) + "] '" + Excerpt(text) + "' has " +
                   std::to_string(text.size()) + " characters; at most 40 are allowed");
}

void FileChecker::OpenSection(const KeywordDef& def, const KeywordLine& k) {
    RequiredInSection();
    c_.scope = def.opens;
    seenInScope_.reset();
    presentInSection_.reset();
    sectionOpener_ = &def;
    sectionLine_ = k.line;
    sectionName_ = def.id == Kw::Component ? Argument(k) : k.words.empty() ? "" : k.words[0];
}

// The keywords the table requires in every section of the open one's kind.
void FileChecker::RequiredInSection() {
    const KeywordDef* opener = sectionOpener_;
    sectionOpener_ = nullptr;
    if (opener == nullptr) return;
    const unsigned need = c_.scope == Scope::Component ? kInComponent
                          : c_.scope == Scope::Package ? kInPackage
                          : c_.scope == Scope::Board   ? kInBoard
                                                       : kOptional;
    if (need == kOptional) return;
    // The keywords each kind of section requires, listed once.
    static const auto kRequired = [] {
        std::array<std::vector<const KeywordDef*>, 3> lists;
        for (const KeywordDef* k = KeywordsBegin(); k != KeywordsEnd(); ++k)
            for (std::size_t i = 0; i < 3; ++i)
                if (k->need & (i == 0 ? kInComponent : i == 1 ? kInPackage : kInBoard))
                    lists[i].push_back(k);
        return lists;
    }();
    const std::size_t list = need == kInComponent ? 0 : need == kInPackage ? 1 : 2;
    for (const KeywordDef* k : kRequired[list]) {
        if (presentInSection_.test(static_cast<std::size_t>(k->id))) continue;
        const Message m = need == kInPackage ? Message::PackageModelIncomplete
                          : need == kInBoard ? Message::BoardIncomplete
                          : k->id == Kw::Pin ? Message::ComponentNoPin
                                             : Message::ComponentNoManufacturer;
        c_.Add(m, sectionLine_,
               "[" + std::string(opener->spelled) + "] " + sectionName_ + " has no [" + k->spelled +
                   "]");
    }
}

// The keywords every file of its kind holds: the header's in .ibs, .pkg and
// .ebd files, a [Component] in an .ibs file.
void FileChecker::RequiredInFile() {
    if (c_.kind != Kind::Ibs && c_.kind != Kind::Pkg && c_.kind != Kind::Ebd &&
        c_.kind != Kind::Ims)
        return;
    // A .pkg, .ebd or .ims file is the container of its one kind of section.
    const std::pair<Kind, Kw> kHolds[] = {{Kind::Ims, Kw::InterconnectModelSet},
                                          {Kind::Pkg, Kw::DefinePackageModel},
                                          {Kind::Ebd, Kw::BeginBoardDescription}};
    for (const auto& [kind, id] : kHolds)
        if (c_.kind == kind && !presentInFile_.test(static_cast<std::size_t>(id)))
            c_.Add(Message::RequiredKeywordMissing, 1,
                   "the file has no [" + std::string(KeywordOf(id).spelled) + "]; " +
                       (kind == Kind::Ims   ? "an .ims"
                        : kind == Kind::Pkg ? "a .pkg"
                                            : "an .ebd") +
                       " file holds at least one");
    for (const KeywordDef* k = KeywordsBegin(); k != KeywordsEnd(); ++k) {
        const bool need = (k->need & kInFile) != 0 || ((k->need & kInIbs) && c_.kind == Kind::Ibs);
        if (!need || presentInFile_.test(static_cast<std::size_t>(k->id))) continue;
        const std::string name = "[" + std::string(k->spelled) + "]";
        if (k->id == Kw::IbisVer) {
            if (!c_.versionSeen) c_.Add(Message::IbisVerMissing, 1, name + " is missing");
        } else if (k->id == Kw::End) {
            c_.Add(Message::NoEnd, c_.lastLine, "the file has no [End] (it ends at this line)");
        } else if (k->need & kInIbs) {
            c_.Add(Message::RequiredKeywordMissing, 1,
                   "the file has no " + name + "; an .ibs file describes at least one");
        } else {
            c_.Add(Message::HeaderKeywordMissing, 1, name + " is missing");
        }
    }
}

void FileChecker::Data(const Line& l) {
    ++rowsRead_;
    if (currentDef_ == nullptr) {
        c_.Add(Message::StrayText, l.number, "'" + Excerpt(l.content) + "' belongs to no keyword");
        return;
    }
    switch (currentDef_->data) {
        case ibis::Data::Text:  // text that may continue over several lines
            return;
        case ibis::Data::OneLine: {
            // A [Model] subparameter after one of the model's keywords is
            // not the model's: it stands before them.
            std::string where;
            if (currentDef_->scope == Scope::Model && !l.words.empty() &&
                FindSubparameter(Kw::Model, l.words[0]) != nullptr)
                where = "; " + l.words[0] +
                        " is a [Model] subparameter, given before the model's "
                        "keywords";
            c_.Add(Message::StrayText, l.number,
                   "'" + Excerpt(l.content) + "' belongs to no keyword ([" +
                       std::string(currentDef_->spelled) + "] takes one line" + where + ")");
            return;
        }
        case ibis::Data::Rows:
            break;
    }
    const DataLine d{current_, l.content, l.words, l.number, currentDef_->id};
    SubparameterOnce(d);
    ToSection(currentDef_->section, nullptr, &d);
}

// A subparameter gives its value once under its keyword; an [External Model]
// has a Corner line for each corner, its Ports and Parameters may run over
// several lines and it has a converter for each digital port. ([Model]'s own
// rules report its subparameters.)
void FileChecker::SubparameterOnce(const DataLine& d) {
    if (d.words.empty() || d.id == Kw::Model) return;
    const SubparameterDef* def = FindSubparameter(d.id, d.words[0]);
    // Param lines name a parameter each; the file lines may give one per
    // corner (the interconnect rules report a repeat).
    if (def == nullptr || def->owner == Kw::ExternalModel) return;
    const std::string name = Lower(def->name);
    if (def->owner == Kw::InterconnectModel && name != "number_of_terminals" &&
        name != "unused_port_termination")
        return;
    if (!subparameters_.insert(name).second)
        c_.Add(Message::KeywordRepeated, d.line,
               std::string(def->name) + " appears twice under [" + currentRaw_ + "]");
}

void FileChecker::Finish() {
    CloseRows();
    components_.SealPins();
    RequiredInSection();
    RequiredInFile();
    algorithmic_.FinishOpen();
    for (const KeywordDef* def = KeywordsBegin(); def != KeywordsEnd(); ++def) {
        const int line = openLine_[Index(def->id)];
        if (line == 0) continue;
        c_.Add(Message::SectionNotClosed, line,
               "[" + std::string(def->spelled) + "] without [" +
                   FindKeyword(def->closedBy)->spelled + "]");
    }
    board_.Finish();
    interconnect_.Finish();
    references_.Finish();
    CrossReferences cross(c_, Sections{components_, models_, packages_, external_, references_});
    cross.CheckNames();
    packages_.Finish();
    cross.CheckCircuitCalls();
    components_.Finish();
    cross.CheckComponents();
    cross.CheckTrueDifferential();
    cross.CheckExternalStimulus();
    cross.CheckSelectors();
    models_.Finish();
    series_.Finish();
    cross.CheckUnused();
    algorithmic_.CheckExecutables();
}

FileResult FileChecker::Run() {
    bool ended = false;  // "[End] marks the end of the file": what follows is not read
    for (Line l; lexer_.Next(l);) {
        c_.lastLine = std::max(c_.lastLine, l.number);
        if (ended) {
            if (l.kind == Line::Blank) continue;
            c_.Add(Message::TextAfterEnd, l.number, "text after [End] is ignored");
            break;
        }
        TextRules(l);
        switch (l.kind) {
            case Line::Blank:
                break;
            case Line::Unclosed:
                c_.Add(Message::UnknownKeyword, l.number, "'" + l.name + "' has no closing ']'");
                break;
            case Line::Keyword:
                Keyword(l);
                lexer_.SetCommentChar(c_.commentChar);
                ended = currentDef_ != nullptr && currentDef_->id == Kw::End;
                break;
            case Line::Data:
                Data(l);
                break;
        }
    }
    Finish();
    FileResult result;
    result.file = c_.name;
    result.reports = std::move(c_.reports);
    result.omitted = c_.cap.Omissions();
    return result;
}

}  // namespace

Kind KindOf(const std::string& path, std::string_view text) {
    const std::string ext = Lower(fs::path(path).extension().string());
    if (ext == ".ibs") return Kind::Ibs;
    if (ext == ".pkg") return Kind::Pkg;
    if (ext == ".ebd") return Kind::Ebd;
    if (ext == ".ami") return Kind::Ami;
    if (ext == ".ims") return Kind::Ims;
    const std::string low = Lower(std::string(text.substr(0, 4096)));
    if (low.find("[begin board description]") != std::string::npos) return Kind::Ebd;
    if (low.find("[define package model]") != std::string::npos &&
        low.find("[component]") == std::string::npos)
        return Kind::Pkg;
    if (low.find("[interconnect model set]") != std::string::npos &&
        low.find("[component]") == std::string::npos)
        return Kind::Ims;
    if (low.find("[ibis ver]") != std::string::npos) return Kind::Ibs;
    if (low.find_first_not_of(" \t\r\n") != std::string::npos &&
        low[low.find_first_not_of(" \t\r\n")] == '(')
        return Kind::Ami;
    return Kind::Unknown;
}

FileResult CheckText(const std::string& name, std::string_view text, Kind kind,
                     const Options& options, const std::string& folder) {
    FileResult result;
    if (kind == Kind::Ami) {
        result.file = name;
        ReportCap cap(options.maxReports);
        CheckAmiText(name, std::string(text), result.reports, nullptr, 0, &cap);
        result.omitted = cap.Omissions();
    } else {
        FileChecker checker(name, text, kind, options, folder);
        result = checker.Run();
    }
    // This file's reports first, by line, then those of the files it names,
    // by file and line (each file compared once, not at every comparison).
    std::vector<Report>& reports = result.reports;
    const auto others = std::stable_partition(reports.begin(), reports.end(),
                                              [&](const Report& r) { return r.file == name; });
    std::stable_sort(reports.begin(), others,
                     [](const Report& a, const Report& b) { return a.line < b.line; });
    std::stable_sort(others, reports.end(), [](const Report& a, const Report& b) {
        if (a.file != b.file) return a.file < b.file;
        return a.line < b.line;
    });
    for (const Report& r : result.reports) ++result.counts[static_cast<int>(r.severity)];
    for (const Omitted& o : result.omitted) result.counts[static_cast<int>(o.severity)] += o.count;
    result.passed = result.counts[0] == 0 && (!options.werror || result.counts[1] == 0);
    return result;
}

namespace {

// A file's bytes, mapped read-only when the system allows (no copy, no
// zero-filled buffer), else read whole.
class FileText {
public:
    explicit FileText(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) return;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            readable_ = true;
            size_ = static_cast<std::size_t>(st.st_size);
            if (size_ > 0) {
                void* p = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
                if (p != MAP_FAILED) {
                    map_ = p;
                } else {
                    copy_.resize(size_);
                    const ssize_t got = ::pread(fd, &copy_[0], size_, 0);
                    copy_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
                }
            }
        }
        ::close(fd);
    }
    ~FileText() {
        if (map_ != nullptr) ::munmap(map_, size_);
    }
    FileText(const FileText&) = delete;
    FileText& operator=(const FileText&) = delete;
    bool Readable() const { return readable_; }
    std::string_view Text() const {
        return map_ != nullptr ? std::string_view(static_cast<const char*>(map_), size_)
                               : std::string_view(copy_);
    }

private:
    bool readable_ = false;
    void* map_ = nullptr;
    std::size_t size_ = 0;
    std::string copy_;
};

}  // namespace

FileResult CheckFile(const std::string& path, const Options& options) {
    const FileText file(path);
    if (!file.Readable()) {
        FileResult r;
        r.file = path;
        r.readable = false;
        r.passed = false;
        return r;
    }
    const std::string_view text = file.Text();
    const std::string folder = fs::path(path).parent_path().string();
    return CheckText(path, text, KindOf(path, text), options, folder.empty() ? "." : folder);
}

std::string FormatReport(const Report& r) {
    return std::string(SeverityName(r.severity)) + " " + std::to_string(r.number) + " " + r.file +
           ":" + std::to_string(r.line) + ": " + r.text;
}

IbsModels ReadAlgorithmicModels(const std::string& text) {
    // The lines as the checker reads them; of those only [Component] names,
    // the [Pin] rows' pins and model names and the Executable lines, and a
    // board description's names and [Pin List] pins.
    IbsModels out;
    std::string current, model, component;
    const KeywordDef* kw = nullptr;  // the keyword whose lines these are
    Lexer lexer(text);
    for (Line l; lexer.Next(l);) {
        if (l.kind == Line::Unclosed) kw = nullptr;
        if (l.kind == Line::Keyword) {
            current = l.key;
            kw = FindKeyword(current);
            const Kw id = kw == nullptr ? Kw::End : kw->id;
            if (id == Kw::CommentChar && !l.words.empty())
                if (const std::optional<char> c = CommentCharArgument(l.words[0]))
                    lexer.SetCommentChar(*c);
            if (id == Kw::Component && !l.words.empty()) {
                // A component name may hold blanks: the rest of the line.
                std::string name = l.args;
                name.erase(0, name.find_first_not_of(" \t"));
                name.erase(name.find_last_not_of(" \t") + 1);
                component = name;
                out.components.push_back(component);
            }
            if (id == Kw::Model && !l.words.empty()) model = l.words[0];
            // A board a board description maps in, by its name and its [Pin List].
            if (id == Kw::BeginBoardDescription && !l.words.empty()) {
                component = l.words[0];
                out.components.push_back(component);
            }
        }
        if (l.kind != Line::Data) continue;
        const std::vector<std::string>& w = l.words;
        const Kw id = kw == nullptr ? Kw::End : kw->id;
        if (id == Kw::Pin && w.size() >= 3) out.pinModels.emplace_back(component, w[2]);
        if ((id == Kw::Pin || id == Kw::PinList) && !w.empty())
            out.pins.emplace_back(component, w[0]);
        const std::string sub = w.empty() ? "" : Lower(w[0]);
        if (id == Kw::AlgorithmicModel && w.size() == 4 &&
            (sub == "executable" || sub == "executable_rx" || sub == "executable_tx"))
            out.executables.push_back({model, w[1], w[2], w[3], l.number, ExecutableHalf(sub)});
    }
    return out;
}

}  // namespace ibis
