#include "board.h"

#include <cstdlib>

#include "lexer.h"

namespace ibis {

void BoardRules::Keyword(const KeywordLine& k) {
    const std::string& key = k.key;
    const std::vector<std::string>& words = k.words;
    const int line = k.line;
    if (key == "begin board description") {
        if (!ended_)
            c_.Add(Message::BoardNotClosed, start_,
                   "[Begin Board Description] without [End Board Description]");
        start_ = line;
        pins_ = -1;
        pinLines_ = 0;
        manufacturer_ = pinList_ = path_ = false;
        pinNames_.clear();
        designators_.clear();
        pathPins_.clear();
        pathNodes_.clear();
        ended_ = false;
    } else if (key == "manufacturer") {
        manufacturer_ = true;
        if (words.empty()) c_.Add(Message::MissingValue, line, "[Manufacturer] needs a value");
    } else if (key == "number of pins") {
        const int n = words.empty() ? -1 : std::atoi(words[0].c_str());
        if (words.empty() || n < 0)
            c_.Add(Message::MissingValue, line, "[Number Of Pins] needs a count");
        pins_ = n;
        pinsLine_ = line;
    } else if (key == "pin list") {
        pinList_ = true;
    } else if (key == "path description") {
        path_ = true;
    } else if (key == "end board description") {
        ended_ = true;
        CheckReferences();
        if (!manufacturer_ || pins_ < 0 || !pinList_ || !path_)
            c_.Add(
                Message::BoardIncomplete, start_,
                "the board description lacks " + std::string(!manufacturer_ ? "[Manufacturer]"
                                                             : pins_ < 0    ? "[Number Of Pins]"
                                                             : !pinList_    ? "[Pin List]"
                                                                         : "[Path Description]"));
        if (pins_ >= 0 && pinLines_ != pins_)
            c_.Add(Message::BoardPinCount, pinsLine_,
                   "[Number Of Pins] " + std::to_string(pins_) + ", but [Pin List] lists " +
                       std::to_string(pinLines_));
    }
}

void BoardRules::Data(const DataLine& d) {
    const std::vector<std::string>& w = d.words;
    if (d.key == "pin list") {
        ++pinLines_;
        if (!pinNames_.insert(Lower(w[0])).second)
            c_.Add(Message::BoardPin, d.line, "pin " + w[0] + " is listed twice in [Pin List]");
    } else if (d.key == "path description") {
        // "Pin name" and "Node designator.pin" among the path's entries.
        for (std::size_t i = 0; i + 1 < w.size(); ++i) {
            const std::string sub = Lower(w[i]);
            if (sub == "pin") pathPins_.emplace_back(w[i + 1], d.line);
            if (sub == "node") pathNodes_.emplace_back(w[i + 1], d.line);
        }
    } else if (d.key == "reference designator map") {
        designators_.insert(Lower(w[0]));
    }
}

void BoardRules::CheckReferences() {
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
    }
}

void BoardRules::Finish() {
    if (!ended_)
        c_.Add(Message::BoardNotClosed, start_,
               "[Begin Board Description] without [End Board Description]");
}

}  // namespace ibis
