#include "interconnect.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "lexer.h"

namespace ibis {

namespace {

constexpr const char* kTerminalTypes[] = {"pin_i/o",  "pin_rail",   "pad_i/o",
                                          "pad_rail", "buffer_i/o", "buffer_rail"};

bool IsCorner(const std::string& lower) {
    return lower == "typ" || lower == "min" || lower == "max";
}

// A terminal number or Number_of_terminals value: digits only; -1 otherwise.
long Count(const std::string& word) {
    if (word.empty() || word.size() > 9 ||
        !std::all_of(word.begin(), word.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
        return -1;
    return std::strtol(word.c_str(), nullptr, 10);
}

}  // namespace

void InterconnectRules::Keyword(const KeywordLine& k) {
    Close();
    const std::string name = k.words.empty() ? "" : k.words[0];
    if (k.id == Kw::InterconnectModelSet) {
        set_ = name;
        setModels_.clear();
        if (!sets_.insert(name).second)
            c_.Add(Message::InterconnectModel, k.line,
                   "[Interconnect Model Set] " + name + " is defined twice in this file");
    } else if (k.id == Kw::EndInterconnectModelSet) {
        set_.clear();
    } else if (k.id == Kw::InterconnectModelGroup) {
        group_ = name;
    } else if (k.id == Kw::EndInterconnectModelGroup) {
        group_.clear();
    } else if (k.id == Kw::InterconnectModel) {
        OpenModel(k);
    }
}

// The Open Forum on the names: an [Interconnect Model Set]'s [Interconnect
// Model]s "should have the different names (for error reporting)".
void InterconnectRules::OpenModel(const KeywordLine& k) {
    open_.line = k.line;
    open_.name = k.words.empty() ? "" : k.words[0];
    if (!set_.empty() && !setModels_.insert(open_.name).second)
        c_.Add(Message::InterconnectModel, k.line,
               "[Interconnect Model Set] " + set_ + " holds a second [Interconnect Model] " +
                   open_.name);
}

// A group row names an [Interconnect Model Set] and the file that holds it,
// NA for this one.
void InterconnectRules::GroupRow(const DataLine& d) {
    const std::string group = "[Interconnect Model Group] " + group_;
    if (d.words.size() < 2) {
        c_.Add(Message::InterconnectModel, d.line,
               group + ": '" + d.words[0] +
                   "' needs the file that holds the set after it (NA: this file)");
        return;
    }
    if (IsNa(d.words[1])) {
        groupSetsHere_.emplace_back(d.words[0], d.line);
        return;
    }
    c_.CheckFileName(d.words[1], d.line);
    if (c_.folder.empty()) return;
    std::error_code ec;
    const std::filesystem::path file = std::filesystem::path(c_.folder) / d.words[1];
    if (!std::filesystem::is_regular_file(file, ec)) {
        c_.Add(Message::InterconnectModel, d.line,
               group + ": " + d.words[1] + ", which holds set " + d.words[0] + ", does not exist");
        return;
    }
    const std::set<std::string>& sets = SetsOf(file);
    if (!sets.count(d.words[0]))
        c_.Add(Message::InterconnectModel, d.line,
               group + ": " + d.words[1] + " defines no [Interconnect Model Set] " + d.words[0]);
}

// The sets a file defines; an .ims file is checked in turn, once.
const std::set<std::string>& InterconnectRules::SetsOf(const std::filesystem::path& file) {
    const std::string key = file.lexically_normal().string();
    const auto known = setsByFile_.find(key);
    if (known != setsByFile_.end()) return known->second;
    std::set<std::string>& sets = setsByFile_[key];
    std::error_code ec;
    const bool self = std::filesystem::equivalent(file, c_.name, ec);
    if (!self && Lower(file.extension().string()) == ".ims") {
        const FileResult sub = CheckFile(file.string(), c_.options);
        for (const Report& r : sub.reports) c_.reports.push_back(r);
        c_.cap.Absorb(sub.omitted);
    }
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& name : NamesAfterKeyword(text, Kw::InterconnectModelSet))
        sets.insert(name);
    return sets;
}

void InterconnectRules::Finish() {
    Close();
    for (const auto& [set, line] : groupSetsHere_)
        if (!sets_.count(set))
            c_.Add(Message::InterconnectModel, line,
                   "[Interconnect Model Group] names set " + set +
                       " in this file (NA), which defines no such [Interconnect Model Set]");
}

void InterconnectRules::Data(const DataLine& d) {
    if (d.words.empty()) return;
    if (d.id == Kw::InterconnectModelGroup) {
        GroupRow(d);
        return;
    }
    if (open_.line == 0) {
        // A set holds its keywords and [Interconnect Model]s, no lines of its own.
        if (d.id == Kw::InterconnectModelSet)
            c_.Add(Message::UnknownSubparameter, d.line,
                   "'" + d.words[0] + "' is no line an [Interconnect Model Set] holds");
        return;
    }
    const SubparameterDef* def = FindSubparameter(Kw::InterconnectModel, d.words[0]);
    if (def == nullptr) {
        if (Count(d.words[0]) >= 0)
            TerminalLine(d);
        else
            c_.Add(Message::UnknownSubparameter, d.line,
                   "'" + d.words[0] + "' is neither a terminal line nor a subparameter of " +
                       "[Interconnect Model] (" + SubparameterNames(Kw::InterconnectModel) + ")" +
                       c_.Hint(d.words[0], SubparameterList(Kw::InterconnectModel)));
        return;
    }
    const std::string sub = Lower(def->name);
    if (sub == "file_ts" || sub == "file_ibis-iss") FileLine(sub, d);
    if (sub == "number_of_terminals") NumberOfTerminals(d);
    if (sub != "param") return;
    if (open_.firstParam == 0) open_.firstParam = d.line;
    if (d.words.size() >= 2 && !open_.params.insert(d.words[1]).second)
        c_.Add(Message::InterconnectModel, d.line,
               "[Interconnect Model] " + open_.name + ": Param " + d.words[1] + " is given twice");
}

// One model file, or one per corner when the lines name typ, min or max.
void InterconnectRules::FileLine(const std::string& sub, const DataLine& d) {
    ++(sub == "file_ts" ? open_.touchstone : open_.iss);
    const std::string corner = d.words.size() >= 2 ? Lower(d.words[1]) : "";
    const bool named = IsCorner(corner);
    // "File_TS [corner] file": the file beside this one (a simulator needs it).
    const std::size_t file = named ? 2 : 1;
    if (d.words.size() > file) {
        c_.CheckFileName(d.words[file], d.line);
        c_.CheckReferencedFile(d.words[file], d.line, Message::ExternalFileMissing);
    }
    if (open_.corners.insert(sub + " " + (named ? corner : "")).second) return;
    c_.Add(Message::InterconnectModel, d.line,
           "[Interconnect Model] " + open_.name + " names its model file" +
               (named ? " for the " + corner + " corner" : "") + " twice");
}

void InterconnectRules::NumberOfTerminals(const DataLine& d) {
    const std::vector<std::string> values = ValuesAfterName(d.words);
    const long n = values.empty() ? -1 : Count(values[0]);
    if (n > 0) {
        open_.terminals = n;
        return;
    }
    open_.terminals = 0;
    c_.Add(Message::InterconnectModel, d.line,
           "[Interconnect Model] " + open_.name + ": Number_of_terminals " +
               (values.empty() ? "has no value"
                               : "'" + values[0] + "' is not a whole number above 0"));
}

void InterconnectRules::TerminalLine(const DataLine& d) {
    open_.numbers.emplace_back(Count(d.words[0]), d.line);
    const std::string terminal = "[Interconnect Model] " + open_.name + ": terminal " + d.words[0];
    if (d.words.size() < 4) {
        c_.Add(Message::InterconnectModel, d.line,
               terminal + " needs a terminal type, a qualifier and the qualifier's entry");
        return;
    }
    const std::string type = Lower(d.words[1]);
    if (std::find(std::begin(kTerminalTypes), std::end(kTerminalTypes), type) ==
        std::end(kTerminalTypes))
        c_.Add(Message::InterconnectModel, d.line,
               terminal + ": '" + d.words[1] +
                   "' is not a terminal type (Pin_I/O, Pin_Rail, Pad_I/O, Pad_Rail, Buffer_I/O, "
                   "Buffer_Rail)");
}

// Number_of_terminals counts the terminal lines, numbered 1 to N, each once.
void InterconnectRules::CheckTerminals(const std::string& model) {
    if (open_.terminals < 0) {
        c_.Add(Message::InterconnectModel, open_.line, model + " gives no Number_of_terminals");
        return;
    }
    if (open_.terminals == 0) return;  // its value was reported
    std::vector<std::pair<long, int>> sorted = open_.numbers;
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> twice;  // the lines of repeated numbers
    for (std::size_t i = 1; i < sorted.size(); ++i)
        if (sorted[i].first == sorted[i - 1].first) twice.push_back(sorted[i].second);
    std::sort(twice.begin(), twice.end());
    for (const auto& [number, line] : open_.numbers) {
        if (number < 1 || number > open_.terminals)
            c_.Add(Message::InterconnectModel, line,
                   model + ": terminal " + std::to_string(number < 0 ? 0 : number) +
                       " is outside 1 to Number_of_terminals " + std::to_string(open_.terminals));
        else if (std::binary_search(twice.begin(), twice.end(), line))
            c_.Add(Message::InterconnectModel, line,
                   model + ": terminal " + std::to_string(number) + " is given twice");
    }
    if (static_cast<long>(open_.numbers.size()) != open_.terminals)
        c_.Add(Message::InterconnectModel, open_.line,
               model + ": Number_of_terminals is " + std::to_string(open_.terminals) + " but " +
                   std::to_string(open_.numbers.size()) + " terminal lines follow");
}

void InterconnectRules::Close() {
    if (open_.line == 0) return;
    const std::string model = "[Interconnect Model] " + open_.name;
    if (open_.touchstone + open_.iss == 0)
        c_.Add(Message::InterconnectModel, open_.line,
               model + " names no File_TS or File_IBIS-ISS");
    else if (open_.touchstone > 0 && open_.iss > 0)
        c_.Add(Message::InterconnectModel, open_.line,
               model + " names both a File_TS and a File_IBIS-ISS; it takes one");
    if (open_.touchstone > 0 && open_.firstParam != 0)
        c_.Add(Message::InterconnectModel, open_.firstParam,
               model + ": Param passes values to an IBIS-ISS subcircuit; File_TS takes none");
    CheckTerminals(model);
    open_ = Open{};
}

}  // namespace ibis
