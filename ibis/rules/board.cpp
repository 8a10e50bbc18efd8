#include "board.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "lexer.h"

namespace ibis {

namespace fs = std::filesystem;

void BoardRules::Keyword(const KeywordLine& k) {
    const std::vector<std::string>& words = k.words;
    const int line = k.line;
    if (k.id != Kw::PathDescription) ClosePath();
    if (k.id == Kw::BeginBoardDescription) {
        if (!ended_)
            c_.Add(Message::BoardNotClosed, start_,
                   "[Begin Board Description] without [End Board Description]");
        start_ = line;
        pinsLine_ = 0;
        if (words.empty())
            c_.Add(Message::MissingValue, line, "[Begin Board Description] needs a name");
        else if (!boardNames_.insert(words[0]).second)
            c_.Add(Message::BoardIncomplete, line,
                   "board description " + words[0] + " is described twice in this file");
        pins_ = -1;
        pinLines_ = 0;
        pinList_ = false;
        pinNames_.clear();
        designators_.clear();
        pathPins_.clear();
        pathNodes_.clear();
        signalPins_.clear();
        path_.reset();
        pathNames_.clear();
        references_.clear();
        partPins_.clear();
        ended_ = false;
    } else if (k.id == Kw::Manufacturer) {
        if (words.empty()) c_.Add(Message::MissingValue, line, "[Manufacturer] needs a value");
    } else if (k.id == Kw::NumberOfPins) {
        const std::optional<double> count = words.empty() ? std::nullopt : Number(words[0]);
        // A count beyond any board (above INT_MAX) is kept as INT_MAX: no [Pin List] reaches it.
        const int n = !count || *count < 0 || *count != std::floor(*count) ? -1
                      : *count >= static_cast<double>(INT_MAX)             ? INT_MAX
                                                               : static_cast<int>(*count);
        if (n < 0) c_.Add(Message::MissingValue, line, "[Number Of Pins] needs a count");
        c_.TooManyValues([&] { return std::string("[Number Of Pins]"); }, words.size(), 1, line);
        pins_ = n;
        pinsLine_ = line;
    } else if (k.id == Kw::PinList) {
        pinList_ = true;
        // "[Pin List] signal_name": its one column named.
        if (!words.empty() && (words.size() != 1 || Lower(words[0]) != "signal_name"))
            c_.Add(Message::BoardPin, line, "the [Pin List] line names its column signal_name");
    } else if (k.id == Kw::PathDescription) {
        PathStart(k);
    } else if (k.id == Kw::EndBoardDescription) {
        ClosePath();
        ended_ = true;
        CheckReferences();
        if (pins_ >= 0 && pinLines_ != pins_)
            c_.Add(Message::BoardPinCount, pinsLine_,
                   "[Number Of Pins] " + std::to_string(pins_) + ", but [Pin List] lists " +
                       std::to_string(pinLines_));
    }
}

void BoardRules::Data(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    if (d.id == Kw::PinList) {
        ++pinLines_;
        if (w.size() != 2)
            c_.Add(Message::BoardPin, d.line, "a [Pin List] row is pin_name and signal_name");
        if (!pinNames_.insert(Lower(w[0])).second)
            c_.Add(Message::BoardPin, d.line, "pin " + w[0] + " is listed twice in [Pin List]");
        // "Any pin associated with a signal name that begins with GND or POWER
        // will be interpreted as connecting to" the board's ground or power.
        const std::string signal = w.size() > 1 ? Upper(w[1]) : std::string();
        if (!signal.empty() && signal.rfind("GND", 0) != 0 && signal.rfind("POWER", 0) != 0 &&
            signal != "NC")
            signalPins_.emplace_back(w[0], d.line);
        // "The pin names cannot exceed eight characters in length."
        if (w[0].size() > 8)
            c_.Add(Message::BoardPin, d.line,
                   "pin name " + w[0] + " has " + std::to_string(w[0].size()) +
                       " characters; a [Pin List] pin name has at most 8");
    } else if (d.id == Kw::PathDescription) {
        PathData(d);
    } else if (d.id == Kw::ReferenceDesignatorMap) {
        if (!designators_.insert(Lower(w[0])).second)
            c_.Add(Message::BoardReference, d.line, "designator " + w[0] + " is mapped twice");
        if (w.size() < 3) {
            c_.Add(Message::BoardReference, d.line,
                   "a [Reference Designator Map] row is ref_des, file_name and component_name");
        } else {
            // A component name may hold blanks: the rest of the row.
            std::string component = w[2];
            for (std::size_t i = 3; i < w.size(); ++i) component += " " + w[i];
            references_.push_back({w[0], w[1], component, d.line});
        }
    }
}

void BoardRules::CheckReferences() {
    std::map<std::string, std::string> pathOf;  // pin (lower case) -> path
    for (const auto& [pin, at] : pathPins_)
        if (!pathOf.emplace(Lower(pin), pin).second)
            c_.Add(Message::BoardPath, at, "pin " + pin + " begins two paths");
    CheckReferencedFiles();
    for (const auto& [pin, at] : signalPins_)
        if (!pathOf.count(Lower(pin)))
            c_.Add(Message::BoardPinNoPath, at,
                   "pin " + pin + " carries a signal, but no [Path Description] begins at it");
    if (pinList_)
        for (const auto& [pin, at] : pathPins_)
            if (!pinNames_.count(Lower(pin)))
                c_.Add(Message::BoardPin, at,
                       "[Path Description] pin " + pin + " is not in [Pin List]");
    for (const auto& [node, at] : pathNodes_) {
        const std::size_t dot = node.find('.');
        const std::string designator = node.substr(0, dot);
        if (dot == std::string::npos || dot == 0 || dot + 1 == node.size())
            c_.Add(Message::BoardNode, at, "Node " + node + " is not reference_designator.pin");
        else if (!designators_.count(Lower(designator)))
            c_.Add(Message::BoardNode, at,
                   "Node " + node + ": designator " + designator +
                       " is not in the [Reference Designator Map]");
        else if (const auto part = partPins_.find(Lower(designator));
                 part != partPins_.end() && !part->second.count(Lower(node.substr(dot + 1))))
            c_.Add(Message::BoardNode, at,
                   "Node " + node + ": " + node.substr(dot + 1) +
                       " is not a pin of the component " + designator + " names");
    }
}

// Each mapped file, when the folder is followed: present (a WARNING: boards
// ship without their parts' files) and holding the component it names.
void BoardRules::CheckReferencedFiles() {
    if (c_.folder.empty()) return;
    for (const Reference& r : references_) {
        const fs::path rel(r.file);
        bool above = rel.is_absolute();
        for (const auto& part : rel) above = above || part == "..";
        if (above) {
            c_.Add(Message::ReferenceAboveFolder, r.line,
                   r.file + " lies above the folder of " + fs::path(c_.name).filename().string());
            continue;
        }
        std::ifstream in(fs::path(c_.folder) / rel, std::ios::binary);
        if (!in) {
            c_.Add(Message::BoardFileMissing, r.line,
                   r.file + " does not exist beside " + fs::path(c_.name).filename().string());
            continue;
        }
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        const IbsModels parts = ReadAlgorithmicModels(text);
        bool found = false;
        for (const std::string& name : parts.components) found = found || name == r.component;
        if (!found) {
            const bool board = Lower(fs::path(r.file).extension().string()) == ".ebd";
            c_.Add(Message::BoardReference, r.line,
                   r.file + " has no " + (board ? "[Begin Board Description] " : "[Component] ") +
                       r.component + c_.Hint(r.component, parts.components));
            continue;
        }
        std::set<std::string>& pins = partPins_[Lower(r.designator)];
        for (const auto& [component, pin] : parts.pins)
            if (component == r.component) pins.insert(Lower(pin));
    }
}

void BoardRules::Finish() {
    if (!ended_)
        c_.Add(Message::BoardNotClosed, start_,
               "[Begin Board Description] without [End Board Description]");
}

}  // namespace ibis
